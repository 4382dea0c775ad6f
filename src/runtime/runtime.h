// The runtime library's public face: the general built-ins family by family,
// each family's handlers bound by name, and the hooks the engine calls at its
// initialisation and shutdown.
#pragma once

#include <cstdint>
#include <span>

namespace tob {

struct TrapBinding;
class ScriptMemory;

// Each family's handlers live in <family>_builtins.cpp; families with state
// have hooks for engine initialisation and shutdown.

// memcpy, memmove, memset, memcmp, memswap, mbs*, str*, sprintf, atoi, ftoa.
std::span<const TrapBinding> string_builtins();
void init_strings();
void shutdown_strings();

// srand, rand, random, abs, sgn, tsin, tcos, tatan, the float functions,
// bezier, neville, linear.
std::span<const TrapBinding> math_builtins();
void init_math();
// Seeds the scripts' generator (device start-up does, engine initialisation
// does not).
void seed_script_random(uint32_t seed);
void shutdown_math();

// kf_setkey, kf_calc, kf_getindex, kf_getkey.
std::span<const TrapBinding> keyframe_builtins();

// rc_empty ... rc_check.
std::span<const TrapBinding> rect_builtins();

// crc16, crc32, log_clear, log_out.
std::span<const TrapBinding> crc_log_builtins();
void init_crc_log();
void shutdown_crc_log();

// pack_*, fopen ... fputs, sysfile, sysio, mload, malloc, free, file_check.
// Initialisation takes over script memory (closing and freeing what an earlier
// run left); shutdown saves the system file and closes and frees everything.
std::span<const TrapBinding> script_file_builtins();
void init_script_files(ScriptMemory& memory);
void shutdown_script_files();

// nfa_compile, nfa_free, rex_match, rex_free. Initialisation and shutdown
// free every compiled pattern and match result.
std::span<const TrapBinding> regex_builtins();
void init_regex(ScriptMemory& memory);
void shutdown_regex();

// ini_seti, ini_sets, ini_geti, ini_gets: the game's configuration file.
std::span<const TrapBinding> ini_builtins();

// find_*, dir_*, file_copy ... file_settime. Initialisation and shutdown
// close every open search.
std::span<const TrapBinding> files_builtins();
void init_files();
void shutdown_files();

// exec, shell, mbox, caption, wallpaper.
std::span<const TrapBinding> desktop_builtins();

// dll_load, dll_unload, dll_proc, dll_call. Initialisation and shutdown
// close every library.
std::span<const TrapBinding> dll_builtins();
void init_dll(ScriptMemory& memory);
void shutdown_dll();

// Engine initialisation and shutdown of every family.
void init_runtime(ScriptMemory& memory);
void shutdown_runtime();

}  // namespace tob
