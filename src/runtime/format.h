// The printf-style formatter shared by every built-in that formats text
// (`sprintf`, `log_out`, `gtextf`): conversions read 32-bit argument words from
// the script stack, strings are read through script memory, output is bounded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vm/script_memory.h"

namespace tob {

class TrapCall;

// Formats `format` like printf with the argument words in `words`:
// - flags "-+ #0", width and precision (digits or `*`, each `*` one word);
// - d i u o x X c: one word; with `ll`, `I64`, `j` or `q` two words (low first);
//   `hh` and `h` narrow the value, `l`, `I32`, `I`, `z` and `t` keep 32 bits;
// - f F e E g G a A: two words holding a double (low word first);
// - s: a script address read through `memory` ("(null)" when not readable);
// - p: one word as eight upper-case hex digits; n: consumes its word, writes nothing;
// - an unknown conversion is copied literally and consumes nothing.
// A conversion never reads past the end of `words`: missing words count as 0.
// The result holds at most `limit` bytes, cut on a CP932 character boundary.
std::string format_words(std::string_view format, std::span<const uint32_t> words,
                         const ScriptMemory& memory, size_t limit);

// The words a variable-argument built-in's caller pushed, from argument `first`
// on: as many as the caller's clean-up instruction says and the stack holds.
std::vector<uint32_t> variadic_words(const TrapCall& call, int first);

// Formats with the format string at argument `format_arg` and the words pushed
// after it; nullopt when the format pointer is not a readable string.
std::optional<std::string> format_call(TrapCall& call, int format_arg, size_t limit);

}  // namespace tob
