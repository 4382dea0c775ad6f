// System values scripts read and change by name: `getsystem` and `setsystem`.
// The shell owns most of them; full screen belongs to the running host and
// the sprite count to the sprite family, reached through hooks they install.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

namespace tob {

struct SystemValueHooks {
    std::function<uint32_t()> get_fullscreen;
    std::function<uint32_t(int32_t)> set_fullscreen;  // sends the full-screen switch
    std::function<uint32_t()> sprite_count;
};
SystemValueHooks& system_value_hooks();

// Index of a system value name (ignoring case), or -1.
int system_value_index(std::string_view name);
uint32_t get_system_value(std::string_view name);
uint32_t set_system_value(std::string_view name, int32_t value);

struct TrapBinding;
// `getsystem` and `setsystem`.
std::span<const TrapBinding> system_builtins();

}  // namespace tob
