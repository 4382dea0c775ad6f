// The ini_seti, ini_sets, ini_geti and ini_gets built-ins: the game's
// configuration file, read and written by scripts.
#include <optional>
#include <string>

#include "runtime/config_file.h"
#include "runtime/runtime.h"
#include "vm/trap.h"

namespace tob {
namespace {

// A string argument that may be null (address 0); nullopt in `bad` marks a
// pointer that is not null but leads outside script memory.
struct OptionalText {
    std::optional<std::string_view> text;
    bool bad = false;
};

OptionalText optional_text(TrapCall& call, int i) {
    if (call.address(i) == 0) return {};
    auto s = call.string(i);
    if (!s) return {std::nullopt, true};
    return {s, false};
}

uint32_t builtin_ini_seti(TrapCall& call) {
    auto section = call.string(0);
    auto key = optional_text(call, 1);
    if (!section || key.bad) return 0;
    std::string value = std::to_string(call.integer(2));
    return game_config().set(*section, key.text, value) ? 1 : 0;
}

uint32_t builtin_ini_sets(TrapCall& call) {
    auto section = call.string(0);
    auto key = optional_text(call, 1);
    auto text = optional_text(call, 2);
    if (!section || key.bad || text.bad) return 0;
    return game_config().set(*section, key.text, text.text) ? 1 : 0;
}

uint32_t builtin_ini_geti(TrapCall& call) {
    auto section = call.string(0);
    auto key = call.string(1);
    if (!section || !key) return call.word(2);
    return uint32_t(game_config().get_int(*section, *key, call.integer(2)));
}

uint32_t builtin_ini_gets(TrapCall& call) {
    auto section = optional_text(call, 0);
    auto key = optional_text(call, 1);
    auto fallback = optional_text(call, 2);
    int32_t size = call.integer(4);
    if (section.bad || key.bad || fallback.bad || size < 1) return 0;
    uint8_t* buffer = call.pointer(3, uint32_t(size));
    if (!buffer) return 0;
    bool is_list = !section.text || !key.text;
    std::string text = game_config().get_string(section.text, key.text, fallback.text.value_or(""));
    return copy_profile_text(text, is_list, buffer, uint32_t(size));
}

constexpr TrapBinding kBindings[] = {
    {"ini_seti", builtin_ini_seti},
    {"ini_sets", builtin_ini_sets},
    {"ini_geti", builtin_ini_geti},
    {"ini_gets", builtin_ini_gets},
};

}  // namespace

std::span<const TrapBinding> ini_builtins() {
    return kBindings;
}

}  // namespace tob
