// The nfa_compile, nfa_free, rex_match and rex_free built-ins.
#include "runtime/mbstring.h"
#include "runtime/regex_table.h"
#include "runtime/runtime.h"
#include "vm/trap.h"

namespace tob {
namespace {

uint32_t builtin_nfa_compile(TrapCall& call) {
    auto pattern = call.string(0, kStringScanLimit);
    return pattern ? regex_table().compile(*pattern) : 0;
}

uint32_t builtin_nfa_free(TrapCall& call) {
    return regex_table().release_automaton(call.word(0)) ? 1 : 0;
}

uint32_t builtin_rex_match(TrapCall& call) {
    return regex_table().match(call.word(0), call.address(1), call.address(2), call.word(3) != 0);
}

uint32_t builtin_rex_free(TrapCall& call) {
    return regex_table().release_result(call.address(0)) ? 1 : 0;
}

constexpr TrapBinding kRegexBuiltins[] = {
    {"nfa_compile", builtin_nfa_compile},
    {"nfa_free", builtin_nfa_free},
    {"rex_match", builtin_rex_match},
    {"rex_free", builtin_rex_free},
};

}  // namespace

std::span<const TrapBinding> regex_builtins() {
    return kRegexBuiltins;
}

void init_regex(ScriptMemory& memory) {
    regex_table().attach(memory);
}

void shutdown_regex() {
    regex_table().detach();
}

}  // namespace tob
