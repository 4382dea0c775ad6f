// The key table: one row per key, read once into lookup arrays by scan code.
#include "platform/keys.h"

#include <SDL_keycode.h>
#include <SDL_scancode.h>

#include <array>

namespace tob::platform {
namespace {

struct ScancodeName {
    int scancode;
    std::string_view name;
};

#include "platform/key_tables.inc"

bool same_name(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

struct KeyRow {
    SDL_Scancode scancode;
    uint8_t vk;   // virtual key
    uint8_t dik;  // DirectInput key code
};

// Letters and digits: the virtual key is the character (the layout may move
// them; `virtual_key` asks the key code first). F13..F24 have no DirectInput
// code past F15.
constexpr KeyRow kKeys[] = {
    {SDL_SCANCODE_A, 'A', 0x1E},
    {SDL_SCANCODE_B, 'B', 0x30},
    {SDL_SCANCODE_C, 'C', 0x2E},
    {SDL_SCANCODE_D, 'D', 0x20},
    {SDL_SCANCODE_E, 'E', 0x12},
    {SDL_SCANCODE_F, 'F', 0x21},
    {SDL_SCANCODE_G, 'G', 0x22},
    {SDL_SCANCODE_H, 'H', 0x23},
    {SDL_SCANCODE_I, 'I', 0x17},
    {SDL_SCANCODE_J, 'J', 0x24},
    {SDL_SCANCODE_K, 'K', 0x25},
    {SDL_SCANCODE_L, 'L', 0x26},
    {SDL_SCANCODE_M, 'M', 0x32},
    {SDL_SCANCODE_N, 'N', 0x31},
    {SDL_SCANCODE_O, 'O', 0x18},
    {SDL_SCANCODE_P, 'P', 0x19},
    {SDL_SCANCODE_Q, 'Q', 0x10},
    {SDL_SCANCODE_R, 'R', 0x13},
    {SDL_SCANCODE_S, 'S', 0x1F},
    {SDL_SCANCODE_T, 'T', 0x14},
    {SDL_SCANCODE_U, 'U', 0x16},
    {SDL_SCANCODE_V, 'V', 0x2F},
    {SDL_SCANCODE_W, 'W', 0x11},
    {SDL_SCANCODE_X, 'X', 0x2D},
    {SDL_SCANCODE_Y, 'Y', 0x15},
    {SDL_SCANCODE_Z, 'Z', 0x2C},
    {SDL_SCANCODE_1, '1', 0x02},
    {SDL_SCANCODE_2, '2', 0x03},
    {SDL_SCANCODE_3, '3', 0x04},
    {SDL_SCANCODE_4, '4', 0x05},
    {SDL_SCANCODE_5, '5', 0x06},
    {SDL_SCANCODE_6, '6', 0x07},
    {SDL_SCANCODE_7, '7', 0x08},
    {SDL_SCANCODE_8, '8', 0x09},
    {SDL_SCANCODE_9, '9', 0x0A},
    {SDL_SCANCODE_0, '0', 0x0B},
    {SDL_SCANCODE_RETURN, 13, 0x1C},
    {SDL_SCANCODE_ESCAPE, 27, 0x01},
    {SDL_SCANCODE_BACKSPACE, 8, 0x0E},
    {SDL_SCANCODE_TAB, 9, 0x0F},
    {SDL_SCANCODE_SPACE, 32, 0x39},
    // Punctuation of the US keyboard, by place.
    {SDL_SCANCODE_MINUS, 189, 0x0C},
    {SDL_SCANCODE_EQUALS, 187, 0x0D},
    {SDL_SCANCODE_LEFTBRACKET, 219, 0x1A},
    {SDL_SCANCODE_RIGHTBRACKET, 221, 0x1B},
    {SDL_SCANCODE_BACKSLASH, 220, 0x2B},
    {SDL_SCANCODE_NONUSHASH, 220, 0x2B},
    {SDL_SCANCODE_SEMICOLON, 186, 0x27},
    {SDL_SCANCODE_APOSTROPHE, 222, 0x28},
    {SDL_SCANCODE_GRAVE, 192, 0x29},
    {SDL_SCANCODE_COMMA, 188, 0x33},
    {SDL_SCANCODE_PERIOD, 190, 0x34},
    {SDL_SCANCODE_SLASH, 191, 0x35},
    {SDL_SCANCODE_NONUSBACKSLASH, 226, 0x56},
    // Locks and the keys around the arrows.
    {SDL_SCANCODE_CAPSLOCK, 20, 0x3A},
    {SDL_SCANCODE_PRINTSCREEN, 44, 0xB7},
    {SDL_SCANCODE_SYSREQ, 44, 0xB7},
    {SDL_SCANCODE_SCROLLLOCK, 145, 0x46},
    {SDL_SCANCODE_PAUSE, 19, 0xC5},
    {SDL_SCANCODE_INSERT, 45, 0xD2},
    {SDL_SCANCODE_HOME, 36, 0xC7},
    {SDL_SCANCODE_PAGEUP, 33, 0xC9},
    {SDL_SCANCODE_DELETE, 46, 0xD3},
    {SDL_SCANCODE_END, 35, 0xCF},
    {SDL_SCANCODE_PAGEDOWN, 34, 0xD1},
    {SDL_SCANCODE_RIGHT, 39, 0xCD},
    {SDL_SCANCODE_LEFT, 37, 0xCB},
    {SDL_SCANCODE_DOWN, 40, 0xD0},
    {SDL_SCANCODE_UP, 38, 0xC8},
    // The keypad.
    {SDL_SCANCODE_NUMLOCKCLEAR, 144, 0x45},
    {SDL_SCANCODE_KP_DIVIDE, 111, 0xB5},
    {SDL_SCANCODE_KP_MULTIPLY, 106, 0x37},
    {SDL_SCANCODE_KP_MINUS, 109, 0x4A},
    {SDL_SCANCODE_KP_PLUS, 107, 0x4E},
    {SDL_SCANCODE_KP_ENTER, 13, 0x9C},
    {SDL_SCANCODE_KP_1, 97, 0x4F},
    {SDL_SCANCODE_KP_2, 98, 0x50},
    {SDL_SCANCODE_KP_3, 99, 0x51},
    {SDL_SCANCODE_KP_4, 100, 0x4B},
    {SDL_SCANCODE_KP_5, 101, 0x4C},
    {SDL_SCANCODE_KP_6, 102, 0x4D},
    {SDL_SCANCODE_KP_7, 103, 0x47},
    {SDL_SCANCODE_KP_8, 104, 0x48},
    {SDL_SCANCODE_KP_9, 105, 0x49},
    {SDL_SCANCODE_KP_0, 96, 0x52},
    {SDL_SCANCODE_KP_PERIOD, 110, 0x53},
    {SDL_SCANCODE_KP_COMMA, 108, 0xB3},
    {SDL_SCANCODE_KP_EQUALS, 146, 0x8D},
    // Function keys.
    {SDL_SCANCODE_F1, 112, 0x3B},
    {SDL_SCANCODE_F2, 113, 0x3C},
    {SDL_SCANCODE_F3, 114, 0x3D},
    {SDL_SCANCODE_F4, 115, 0x3E},
    {SDL_SCANCODE_F5, 116, 0x3F},
    {SDL_SCANCODE_F6, 117, 0x40},
    {SDL_SCANCODE_F7, 118, 0x41},
    {SDL_SCANCODE_F8, 119, 0x42},
    {SDL_SCANCODE_F9, 120, 0x43},
    {SDL_SCANCODE_F10, 121, 0x44},
    {SDL_SCANCODE_F11, 122, 0x57},
    {SDL_SCANCODE_F12, 123, 0x58},
    {SDL_SCANCODE_F13, 124, 0x64},
    {SDL_SCANCODE_F14, 125, 0x65},
    {SDL_SCANCODE_F15, 126, 0x66},
    {SDL_SCANCODE_F16, 127, 0},
    {SDL_SCANCODE_F17, 128, 0},
    {SDL_SCANCODE_F18, 129, 0},
    {SDL_SCANCODE_F19, 130, 0},
    {SDL_SCANCODE_F20, 131, 0},
    {SDL_SCANCODE_F21, 132, 0},
    {SDL_SCANCODE_F22, 133, 0},
    {SDL_SCANCODE_F23, 134, 0},
    {SDL_SCANCODE_F24, 135, 0},
    // Modifiers and the Windows keys.
    {SDL_SCANCODE_LCTRL, 17, 0x1D},
    {SDL_SCANCODE_LSHIFT, 16, 0x2A},
    {SDL_SCANCODE_LALT, 18, 0x38},
    {SDL_SCANCODE_LGUI, 91, 0xDB},
    {SDL_SCANCODE_RCTRL, 17, 0x9D},
    {SDL_SCANCODE_RSHIFT, 16, 0x36},
    {SDL_SCANCODE_RALT, 18, 0xB8},
    {SDL_SCANCODE_RGUI, 92, 0xDC},
    {SDL_SCANCODE_APPLICATION, 93, 0xDD},
    // The Japanese keyboard: ro (backslash and underscore), kana, yen,
    // convert, no-convert, and the half/full-width key (Kanji).
    {SDL_SCANCODE_INTERNATIONAL1, 226, 0x73},
    {SDL_SCANCODE_INTERNATIONAL2, 21, 0x70},
    {SDL_SCANCODE_INTERNATIONAL3, 220, 0x7D},
    {SDL_SCANCODE_INTERNATIONAL4, 28, 0x79},
    {SDL_SCANCODE_INTERNATIONAL5, 29, 0x7B},
    {SDL_SCANCODE_LANG3, 21, 0x70},
    {SDL_SCANCODE_LANG4, 21, 0x70},
    {SDL_SCANCODE_LANG5, 25, 0x94},
};

struct Tables {
    std::array<uint8_t, SDL_NUM_SCANCODES> vk{}, dik{};
    constexpr Tables() {
        for (const KeyRow& k : kKeys) {
            vk[size_t(k.scancode)] = k.vk;
            dik[size_t(k.scancode)] = k.dik;
        }
    }
};
constexpr Tables kTables;

bool in_range(int scancode) {
    return scancode > 0 && scancode < SDL_NUM_SCANCODES;
}

}  // namespace

int virtual_key(int scancode, int keycode) {
    if (keycode >= SDLK_a && keycode <= SDLK_z) return 'A' + (keycode - SDLK_a);
    if (keycode >= SDLK_0 && keycode <= SDLK_9) return '0' + (keycode - SDLK_0);
    // Keys whose unshifted character exists only on the Japanese layout, and
    // the brackets it moves one key over, go by their character.
    switch (keycode) {
        case SDLK_AT:
            return 192;
        case SDLK_COLON:
            return 186;
        case SDLK_CARET:
            return 222;
        case SDLK_LEFTBRACKET:
            return 219;
        case SDLK_RIGHTBRACKET:
            return 221;
        default:
            break;
    }
    return in_range(scancode) ? kTables.vk[size_t(scancode)] : 0;
}

int sided_virtual_key(int scancode) {
    switch (scancode) {
        case SDL_SCANCODE_LSHIFT:
            return kVkLeftShift;
        case SDL_SCANCODE_RSHIFT:
            return kVkRightShift;
        case SDL_SCANCODE_LCTRL:
            return kVkLeftControl;
        case SDL_SCANCODE_RCTRL:
            return kVkRightControl;
        case SDL_SCANCODE_LALT:
            return kVkLeftAlt;
        case SDL_SCANCODE_RALT:
            return kVkRightAlt;
        default:
            return 0;
    }
}

int direct_input_key(int scancode) {
    return in_range(scancode) ? kTables.dik[size_t(scancode)] : 0;
}

int32_t default_key_code(int scancode) {
    return scancode >= 0 && scancode < SDL_NUM_SCANCODES ? kDefaultKeyCodes[scancode] : 0;
}

int scancode_from_name(std::string_view name) {
    if (name.empty()) return SDL_SCANCODE_UNKNOWN;
    for (const ScancodeName& n : kScancodeNames)
        if (same_name(name, n.name)) return n.scancode;
    return SDL_SCANCODE_UNKNOWN;
}

}  // namespace tob::platform
