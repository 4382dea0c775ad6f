// The media subsystem's public face for the engine: the input devices' state
// and the built-in families to bind.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "media/input.h"

namespace tob {

struct TrapBinding;

// How the input built-ins reach the window, set by the window's owner before
// scripts run. Without them there is no window: commands give 0 and the
// cursor built-ins change nothing.
struct InputHooks {
    // Sends window command 1204..1206 and waits for its result.
    std::function<uint32_t(uint32_t message, uint32_t wparam, uint32_t lparam)> send;
    std::function<PointerView()> pointer_view;
    // In effect when they return. Rectangles and points are in the logical
    // screen's coordinates (as getpoint reports them); a clip rectangle lies
    // within the picture (left, top, right, bottom; nullopt releases it).
    std::function<void(bool shown)> show_cursor;
    std::function<void(std::optional<std::array<int32_t, 4>>)> clip_cursor;
    std::function<void(int32_t x, int32_t y)> set_cursor_pos;
};
InputHooks& input_hooks();

// Input built-ins: getkey, getjoy, getmouse, getpoint, cur_set, cur_clip,
// cur_setpos, key_init, key_get.
std::span<const TrapBinding> input_builtins();

}  // namespace tob
