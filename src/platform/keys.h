// Key numbering: the host's keys (USB usage numbers, as SDL's scan codes have
// them, and the layout's key codes) mapped to the two numberings scripts see:
// Windows virtual keys and DirectInput key codes.
#pragma once

#include <cstdint>
#include <string_view>

namespace tob::platform {

// Virtual-key codes the engine itself looks at.
inline constexpr int kVkBackspace = 8, kVkTab = 9, kVkEnter = 13, kVkShift = 16, kVkControl = 17,
                     kVkAlt = 18, kVkEscape = 27, kVkF8 = 119, kVkF10 = 121;
inline constexpr int kVkLeftShift = 160, kVkRightShift = 161, kVkLeftControl = 162,
                     kVkRightControl = 163, kVkLeftAlt = 164, kVkRightAlt = 165;
inline constexpr int kVkCapsLock = 20, kVkNumLock = 144, kVkScrollLock = 145;
// Mouse buttons have virtual keys too: left, right, middle, the two extra ones.
inline constexpr int kVkLeftButton = 1, kVkRightButton = 2, kVkMiddleButton = 4, kVkExtra1 = 5,
                     kVkExtra2 = 6;

// The virtual key of a key: letters and digits by `keycode` (the layout's
// key code, SDL numbering), everything else by `scancode` (its place on the
// keyboard, US and Japanese keyboards), except the punctuation that the
// Japanese layout puts elsewhere (@ : ^ [ ]), which goes by its character.
// The Japanese ; key shares the US ; key's place and code (186). Modifiers give the generic code
// (Shift 16, Control 17, Alt 18). 0 for keys without one.
int virtual_key(int scancode, int keycode);
// The left/right code of a modifier key (160..165), else 0.
int sided_virtual_key(int scancode);
// The DirectInput key code: the key's set-1 scan code, keys with the E0
// prefix + 0x80, the Japanese keys with their own codes. 0 for none.
int direct_input_key(int scancode);

// The key code SDL gives a scan code on a keyboard without a layout (what
// headless runs type with). 0 for none.
int32_t default_key_code(int scancode);
// The scan code SDL names `name` (any case: "Return", "Left Shift", "a"); 0
// (unknown) for none.
int scancode_from_name(std::string_view name);

}  // namespace tob::platform
