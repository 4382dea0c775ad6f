// Native libraries scripts load and call: 256 library slots, export tokens
// (small numbers, never host addresses) that die with their load, and calls
// of n 32-bit arguments through libffi.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tob {

class ScriptMemory;

// The file a script's library name stands for: the path resolves like any
// script path; a name ending in ".dll" (any case) or without an extension
// looks in that folder, ignoring case, for "<name>.so", then "lib<name>.so";
// a name ending in ".so" is that file. Nullopt when nothing is there.
std::optional<std::filesystem::path> plugin_library_path(std::string_view cp932_name);

inline constexpr int kPluginSlots = 256;
inline constexpr int kMaxPluginArguments = 255;

// Loads a library into a free slot and attaches it; the slot, or -1.
int32_t load_plugin(std::string_view cp932_name);
// Closes a slot's library; its tokens are refused from now on.
bool unload_plugin(int32_t slot);
// The token of an export of a loaded library (the same for the same export
// of the same load), or 0.
uint32_t plugin_export(int32_t slot, std::string_view name);
// Calls an export with the arguments; 0 for an unknown or stale token or
// more than kMaxPluginArguments arguments.
uint32_t call_plugin(uint32_t token, std::span<const uint32_t> args);

// Engine initialisation and shutdown: every library is closed. The memory
// is what `pointer` translates; `send_message` carries window commands.
void init_plugins(ScriptMemory* memory);
void shutdown_plugins();
void set_plugin_messenger(std::function<uint32_t(uint32_t, uint32_t, uint32_t)> send);

}  // namespace tob
