// The runtime library's public face: the general built-ins family by family,
// each family's handlers bound by name, and the hooks the engine calls at its
// initialisation and shutdown.
#pragma once

#include <cstddef>
#include <span>

namespace tob {

struct TrapBinding;
class TrapTable;
class ScriptMemory;

// Every family has a binding list for the trap table and hooks for engine
// initialisation and shutdown.

// memcpy, memmove, memset, memcmp, memswap, mbs*, str*, sprintf, atoi, ftoa.
extern const TrapBinding kStringTraps[];
extern const size_t kStringTrapCount;
void init_strings();
void shutdown_strings();

// srand, rand, random, abs, sgn, tsin, tcos, tatan, the float functions,
// bezier, neville, linear.
extern const TrapBinding kMathTraps[];
extern const size_t kMathTrapCount;
void init_math();
void shutdown_math();

// kf_setkey, kf_calc, kf_getindex, kf_getkey.
extern const TrapBinding kKeyframeTraps[];
extern const size_t kKeyframeTrapCount;
void init_keyframes();
void shutdown_keyframes();

// rc_empty ... rc_check.
extern const TrapBinding kRectTraps[];
extern const size_t kRectTrapCount;
void init_rects();
void shutdown_rects();

// crc16, crc32, log_clear, log_out.
extern const TrapBinding kCrcLogTraps[];
extern const size_t kCrcLogTrapCount;
void init_crc_log();
void shutdown_crc_log();

// pack_*, fopen ... fputs, sysfile, sysio, mload, malloc, free, file_check.
// Initialisation takes over script memory (closing and freeing what an earlier
// run left); shutdown saves the system file and closes and frees everything.
extern const TrapBinding kScriptFileTraps[];
extern const size_t kScriptFileTrapCount;
void init_script_files(ScriptMemory& memory);
void shutdown_script_files();

// nfa_compile, nfa_free, rex_match, rex_free. Initialisation and shutdown
// free every compiled pattern and match result.
std::span<const TrapBinding> regex_builtins();
void init_regex(ScriptMemory& memory);
void shutdown_regex();

// Binds every family of the runtime library; returns the number of names the
// trap table did not know (0 when the lists and the table agree).
int bind_runtime(TrapTable& table);
// Engine initialisation and shutdown of every family.
void init_runtime(ScriptMemory& memory);
void shutdown_runtime();

}  // namespace tob
