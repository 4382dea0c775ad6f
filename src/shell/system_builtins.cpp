// The system value built-ins: getsystem and setsystem, by name.
#include "shell/system_values.h"
#include "vm/trap.h"

namespace tob {
namespace {

uint32_t builtin_getsystem(TrapCall& call) {
    auto name = call.string(0, 256);
    return name ? get_system_value(*name) : 0;
}

uint32_t builtin_setsystem(TrapCall& call) {
    auto name = call.string(0, 256);
    return name ? set_system_value(*name, call.integer(1)) : 0;
}

constexpr TrapBinding kBindings[] = {
    {"getsystem", builtin_getsystem},
    {"setsystem", builtin_setsystem},
};

}  // namespace

std::span<const TrapBinding> system_builtins() {
    return kBindings;
}

}  // namespace tob
