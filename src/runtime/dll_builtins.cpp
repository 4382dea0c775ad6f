// The dll_load, dll_unload, dll_proc and dll_call built-ins: native
// libraries called with 32-bit words.
#include <array>

#include "runtime/plugins.h"
#include "runtime/runtime.h"
#include "vm/trap.h"

namespace tob {
namespace {

uint32_t builtin_dll_load(TrapCall& call) {
    auto name = call.string(0);
    return name ? uint32_t(load_plugin(*name)) : call.info().fail;
}

uint32_t builtin_dll_unload(TrapCall& call) {
    return unload_plugin(call.integer(0)) ? 1 : 0;
}

uint32_t builtin_dll_proc(TrapCall& call) {
    auto name = call.string(1);
    return name ? plugin_export(call.integer(0), *name) : 0;
}

uint32_t builtin_dll_call(TrapCall& call) {
    // The caller's clean-up tells how many words it pushed: the token and
    // the arguments. Without one the count is unknown and nothing is called.
    int32_t n = call.pushed_words() - 1;
    if (n < 0 || n > kMaxPluginArguments) return 0;
    std::array<uint32_t, kMaxPluginArguments + 1> words;  // the token, then n arguments
    std::span<uint32_t> pushed(words.data(), size_t(n) + 1);
    call.words(0, pushed);
    return call_plugin(words[0], pushed.subspan(1));
}

constexpr TrapBinding kBindings[] = {
    {"dll_load", builtin_dll_load},
    {"dll_unload", builtin_dll_unload},
    {"dll_proc", builtin_dll_proc},
    {"dll_call", builtin_dll_call},
};

}  // namespace

std::span<const TrapBinding> dll_builtins() {
    return kBindings;
}

void init_dll(ScriptMemory& memory) {
    init_plugins(&memory);
}

void shutdown_dll() {
    shutdown_plugins();
}

}  // namespace tob
