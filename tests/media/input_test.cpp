// The input devices: key numbering, the keyboard tables, typed characters,
// the joystick mapping, getpoint's snapshots, and the built-ins' records.
#include <SDL_keyboard.h>
#include <SDL_keycode.h>
#include <SDL_scancode.h>
#include <gtest/gtest.h>

#include <thread>

#include "../support/call_site.h"
#include "media/media.h"
#include "platform/keys.h"
#include "base/settings.h"

using namespace tob;
using E = platform::WindowEvent;

namespace {

// A US layout's key code (SDL's own map needs the display started).
SDL_Keycode us_key(SDL_Scancode sc) {
    if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) return SDLK_a + (sc - SDL_SCANCODE_A);
    if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) return SDLK_1 + (sc - SDL_SCANCODE_1);
    if (sc == SDL_SCANCODE_0) return SDLK_0;
    return SDL_SCANCODE_TO_KEYCODE(sc);
}

E key_event(E::Type type, SDL_Scancode sc, bool repeat = false, int locks = 0) {
    E e;
    e.type = type;
    e.scancode = sc;
    e.key = platform::virtual_key(sc, us_key(sc));
    e.repeat = repeat;
    e.locks = locks;
    return e;
}

E button_event(E::Type type, int button, bool double_click = false) {
    E e;
    e.type = type;
    e.button = button;
    e.double_click = double_click;
    return e;
}

}  // namespace

TEST(KeyNumbering, VirtualKeysAndDirectInputCodes) {
    struct Row {
        SDL_Scancode sc;
        int vk, dik;
    };
    const Row rows[] = {
        {SDL_SCANCODE_A, 'A', 0x1E},
        {SDL_SCANCODE_Z, 'Z', 0x2C},
        {SDL_SCANCODE_1, '1', 0x02},
        {SDL_SCANCODE_0, '0', 0x0B},
        {SDL_SCANCODE_ESCAPE, 27, 0x01},
        {SDL_SCANCODE_RETURN, 13, 0x1C},
        {SDL_SCANCODE_KP_ENTER, 13, 0x9C},
        {SDL_SCANCODE_SPACE, 32, 0x39},
        {SDL_SCANCODE_LSHIFT, 16, 0x2A},
        {SDL_SCANCODE_RSHIFT, 16, 0x36},
        {SDL_SCANCODE_LCTRL, 17, 0x1D},
        {SDL_SCANCODE_RCTRL, 17, 0x9D},
        {SDL_SCANCODE_LALT, 18, 0x38},
        {SDL_SCANCODE_RALT, 18, 0xB8},
        {SDL_SCANCODE_UP, 38, 0xC8},
        {SDL_SCANCODE_LEFT, 37, 0xCB},
        {SDL_SCANCODE_RIGHT, 39, 0xCD},
        {SDL_SCANCODE_DOWN, 40, 0xD0},
        {SDL_SCANCODE_PAUSE, 19, 0xC5},
        {SDL_SCANCODE_NUMLOCKCLEAR, 144, 0x45},
        {SDL_SCANCODE_CAPSLOCK, 20, 0x3A},
        {SDL_SCANCODE_SCROLLLOCK, 145, 0x46},
        {SDL_SCANCODE_PRINTSCREEN, 44, 0xB7},
        {SDL_SCANCODE_LGUI, 91, 0xDB},
        {SDL_SCANCODE_RGUI, 92, 0xDC},
        {SDL_SCANCODE_APPLICATION, 93, 0xDD},
        {SDL_SCANCODE_F1, 112, 0x3B},
        {SDL_SCANCODE_F12, 123, 0x58},
        {SDL_SCANCODE_F13, 124, 0x64},
        {SDL_SCANCODE_F24, 135, 0},
        {SDL_SCANCODE_KP_0, 96, 0x52},
        {SDL_SCANCODE_KP_9, 105, 0x49},
        {SDL_SCANCODE_KP_MULTIPLY, 106, 0x37},
        {SDL_SCANCODE_KP_PLUS, 107, 0x4E},
        {SDL_SCANCODE_KP_MINUS, 109, 0x4A},
        {SDL_SCANCODE_KP_PERIOD, 110, 0x53},
        {SDL_SCANCODE_KP_DIVIDE, 111, 0xB5},
        // US punctuation.
        {SDL_SCANCODE_SEMICOLON, 186, 0x27},
        {SDL_SCANCODE_EQUALS, 187, 0x0D},
        {SDL_SCANCODE_COMMA, 188, 0x33},
        {SDL_SCANCODE_MINUS, 189, 0x0C},
        {SDL_SCANCODE_PERIOD, 190, 0x34},
        {SDL_SCANCODE_SLASH, 191, 0x35},
        {SDL_SCANCODE_GRAVE, 192, 0x29},
        {SDL_SCANCODE_LEFTBRACKET, 219, 0x1A},
        {SDL_SCANCODE_BACKSLASH, 220, 0x2B},
        {SDL_SCANCODE_RIGHTBRACKET, 221, 0x1B},
        {SDL_SCANCODE_APOSTROPHE, 222, 0x28},
        {SDL_SCANCODE_NONUSBACKSLASH, 226, 0x56},
        // The Japanese keyboard's own keys.
        {SDL_SCANCODE_INTERNATIONAL1, 226, 0x73},  // ro
        {SDL_SCANCODE_INTERNATIONAL2, 21, 0x70},   // kana
        {SDL_SCANCODE_INTERNATIONAL3, 220, 0x7D},  // yen
        {SDL_SCANCODE_INTERNATIONAL4, 28, 0x79},   // convert
        {SDL_SCANCODE_INTERNATIONAL5, 29, 0x7B},   // no convert
        {SDL_SCANCODE_LANG5, 25, 0x94},            // kanji
    };
    for (const Row& r : rows) {
        EXPECT_EQ(platform::virtual_key(r.sc, us_key(r.sc)), r.vk) << SDL_GetScancodeName(r.sc);
        EXPECT_EQ(platform::direct_input_key(r.sc), r.dik) << SDL_GetScancodeName(r.sc);
    }
    // Letters and digits follow the layout: the key where US has Q types A
    // on a French keyboard.
    EXPECT_EQ(platform::virtual_key(SDL_SCANCODE_Q, SDLK_a), 'A');
    EXPECT_EQ(platform::direct_input_key(SDL_SCANCODE_Q), 0x10);  // DirectInput keeps the place
    // The Japanese layout's @, :, ^ and brackets by their characters.
    EXPECT_EQ(platform::virtual_key(SDL_SCANCODE_LEFTBRACKET, SDLK_AT), 192);
    EXPECT_EQ(platform::virtual_key(SDL_SCANCODE_APOSTROPHE, SDLK_COLON), 186);
    EXPECT_EQ(platform::virtual_key(SDL_SCANCODE_EQUALS, SDLK_CARET), 222);
    EXPECT_EQ(platform::virtual_key(SDL_SCANCODE_RIGHTBRACKET, SDLK_LEFTBRACKET), 219);
    EXPECT_EQ(platform::virtual_key(SDL_SCANCODE_NONUSHASH, SDLK_RIGHTBRACKET), 221);
    EXPECT_EQ(platform::virtual_key(SDL_SCANCODE_UNKNOWN, SDLK_UNKNOWN), 0);
    EXPECT_EQ(platform::virtual_key(9999, 0), 0);
    EXPECT_EQ(platform::direct_input_key(-1), 0);
    EXPECT_EQ(platform::sided_virtual_key(SDL_SCANCODE_RCTRL), 163);
    EXPECT_EQ(platform::sided_virtual_key(SDL_SCANCODE_A), 0);
}

TEST(KeyTables, ModifiersTogglesLocksAndFocusLoss) {
    KeyTables t;
    const auto& vk = t.virtual_keys();
    const auto& dik = t.direct_input();
    t.key(key_event(E::KeyDown, SDL_SCANCODE_RSHIFT));
    EXPECT_EQ(vk[16], 0x81);
    EXPECT_EQ(vk[161], 0x81);
    EXPECT_EQ(vk[160], 0x00);
    EXPECT_EQ(dik[0x36], 0x80);
    t.key(key_event(E::KeyDown, SDL_SCANCODE_LSHIFT));
    t.key(key_event(E::KeyUp, SDL_SCANCODE_RSHIFT));
    EXPECT_EQ(vk[16] & 0x80, 0x80);  // the other side still holds Shift
    EXPECT_EQ(vk[161], 0x01);
    t.key(key_event(E::KeyUp, SDL_SCANCODE_LSHIFT));
    EXPECT_EQ(vk[16] & 0x80, 0);

    // The toggle flips on presses, not on repeats.
    t.key(key_event(E::KeyDown, SDL_SCANCODE_B));
    t.key(key_event(E::KeyDown, SDL_SCANCODE_B, true));
    t.key(key_event(E::KeyDown, SDL_SCANCODE_B, true));
    EXPECT_EQ(vk['B'], 0x81);
    t.key(key_event(E::KeyUp, SDL_SCANCODE_B));
    t.key(key_event(E::KeyDown, SDL_SCANCODE_B));
    EXPECT_EQ(vk['B'], 0x80);

    // Lock keys show the lock.
    t.key(key_event(E::KeyDown, SDL_SCANCODE_CAPSLOCK, false, 1));
    EXPECT_EQ(vk[20], 0x81);
    t.key(key_event(E::KeyUp, SDL_SCANCODE_CAPSLOCK, false, 1));
    EXPECT_EQ(vk[20], 0x01);
    t.key(key_event(E::KeyDown, SDL_SCANCODE_NUMLOCKCLEAR, false, 1));  // Num Lock stays off
    EXPECT_EQ(vk[144], 0x80);

    t.button(platform::kVkRightButton, true);
    t.button(platform::kVkExtra2, true);
    EXPECT_EQ(vk[2] & 0x80, 0x80);
    EXPECT_EQ(vk[6] & 0x80, 0x80);

    t.release_all();
    for (size_t i = 0; i < 256; ++i) {
        EXPECT_EQ(vk[i] & 0x80, 0) << i;
        EXPECT_EQ(dik[i], 0) << i;
    }
    EXPECT_EQ(vk[20], 0x01);  // toggles and locks stay
}

TEST(TypedCharacters, ControlKeysRepeatsTextAndSignExtension) {
    InputState in;
    auto typed = [&](SDL_Scancode sc, bool ctrl = false, bool repeat = false, bool alt = false) {
        E e = key_event(E::KeyDown, sc, repeat);
        e.ctrl = ctrl;
        e.alt = alt;
        in.type_controls(e);
    };
    typed(SDL_SCANCODE_BACKSPACE);
    typed(SDL_SCANCODE_BACKSPACE, false, true);  // repeats type again
    typed(SDL_SCANCODE_TAB);
    typed(SDL_SCANCODE_RETURN);
    typed(SDL_SCANCODE_KP_ENTER);
    typed(SDL_SCANCODE_ESCAPE);
    typed(SDL_SCANCODE_A, true);
    typed(SDL_SCANCODE_Z, true);
    typed(SDL_SCANCODE_RETURN, true);
    typed(SDL_SCANCODE_BACKSPACE, true);
    typed(SDL_SCANCODE_A);                     // plain letters come as text
    typed(SDL_SCANCODE_A, true, false, true);  // Ctrl+Alt is another layer's
    typed(SDL_SCANCODE_F1, true);
    E up = key_event(E::KeyUp, SDL_SCANCODE_RETURN);
    in.type_controls(up);
    in.type_text("\xE9\x83\x41");
    std::vector<int> got;
    for (int c; (c = in.characters().pop()) >= 0;) got.push_back(c);
    EXPECT_EQ(got, (std::vector<int>{8, 8, 9, 13, 13, 27, 1, 26, 10, 127, 0xE9, 0x83, 0x41}));
}

TEST(TypedCharacters, RingKeepsTheLatest511) {
    CharacterRing ring;
    EXPECT_EQ(ring.pop(), -1);
    for (int i = 0; i < 600; ++i) ring.push(uint8_t(i));
    std::vector<int> got;
    for (int c; (c = ring.pop()) >= 0;) got.push_back(c);
    ASSERT_EQ(got.size(), 511u);
    EXPECT_EQ(got.front(), (600 - 511) & 0xFF);
    EXPECT_EQ(got.back(), 599 & 0xFF);
}

TEST(TypedCharacters, ReaderEmptiesTheRingWhileTheWindowPushes) {
    CharacterRing ring;
    std::atomic<bool> stop{false};
    std::thread window([&] {
        for (uint32_t i = 0; !stop; ++i) ring.push(uint8_t('a' + i % 26));
    });
    // Every byte read is one the window pushed; clearing never breaks that.
    bool only_letters = true;
    for (int i = 0; i < 20000; ++i) {
        if (i % 7 == 0) ring.clear();
        int c = ring.pop();
        if (c >= 0 && (c < 'a' || c > 'z')) only_letters = false;
    }
    stop = true;
    window.join();
    EXPECT_TRUE(only_letters);
    ring.clear();
    EXPECT_EQ(ring.pop(), -1);
}

TEST(Joysticks, AxisMappingDpadAndRecord) {
    struct Row {
        int raw, expected;
    };
    const Row rows[] = {{-32768, -1000}, {32767, 1000},   {-1, 0},     {0, 0},      {-16385, 0},
                        {16383, 0},      {-16384, 0},     {-16386, 0}, {-16400, 0}, {-24576, -500},
                        {24575, 500},    {-32767, -1000}, {16390, 0},  {16400, 1},  {-16401, -1}};
    for (const Row& r : rows) EXPECT_EQ(joystick_axis(r.raw), r.expected) << r.raw;
    platform::JoystickReading stick;
    stick.x = -1;
    stick.y = -1;
    stick.pad_y = -1;  // d-pad up over a centred stick
    stick.buttons = 0x201;
    auto rec = joystick_record(stick);
    EXPECT_EQ(int32_t(rec[0]), 0);
    EXPECT_EQ(int32_t(rec[1]), -1000);
    EXPECT_EQ(rec[2], 0x201u);
    stick.x = 32767;
    stick.pad_x = -1;  // the d-pad wins over the stick
    EXPECT_EQ(int32_t(joystick_record(stick)[0]), -1000);
}

namespace {

struct PointSite {
    test::CallSite site;
    InputState in;
    ScriptAddr rec = site.mem.allocate(16);
    uint32_t read(uint32_t thread, const PointerView& v = view()) {
        return in.get_point(site.mem, rec, thread, v);
    }
    int32_t word(int i) {
        uint32_t v = 0;
        site.mem.read32(rec + 4 * uint32_t(i), v);
        return int32_t(v);
    }
    static PointerView view() {
        PointerView v;
        v.client_width = v.width = 640;
        v.client_height = v.height = 480;
        return v;
    }
};

}  // namespace

TEST(GetPoint, SnapshotsFlagsAndWheelPerThread) {
    PointSite p;
    InputState& in = p.in;
    EXPECT_EQ(in.get_point(p.site.mem, 0, 0, p.view()), 1u);
    EXPECT_EQ(in.get_point(p.site.mem, 0, 5, p.view()), 1u);
    in.button(button_event(E::MouseDown, kLeftButton), 10, 20);
    in.button(button_event(E::MouseUp, kLeftButton), 10, 20);
    in.button(button_event(E::MouseDown, kLeftButton, true), 10, 20);
    in.button(button_event(E::MouseUp, kLeftButton), 10, 20);
    in.button(button_event(E::MouseDown, kMiddleButton), 10, 20);
    in.wheel(240);
    ASSERT_EQ(p.read(0), 1u);
    EXPECT_EQ(p.word(0), 10);
    EXPECT_EQ(p.word(1), 20);
    EXPECT_EQ(p.word(2), 240);
    EXPECT_EQ(uint32_t(p.word(3)),
              kMiddleButton | kPointLeftPressed | kPointLeftDouble | kPointMiddlePressed);
    // The press flags stay until the next snapshot; the wheel is read once.
    p.read(0);
    EXPECT_EQ(p.word(2), 0);
    EXPECT_EQ(uint32_t(p.word(3)) & kPointLeftPressed, kPointLeftPressed);
    // Thread 5 has its own snapshot and wheel.
    p.read(5);
    EXPECT_EQ(p.word(2), 240);
    EXPECT_EQ(uint32_t(p.word(3)) & kPointLeftDouble, kPointLeftDouble);
    in.get_point(p.site.mem, 0, 0, p.view());
    p.read(0);
    EXPECT_EQ(uint32_t(p.word(3)), uint32_t(kMiddleButton));
    p.read(5);
    EXPECT_EQ(uint32_t(p.word(3)) & kPointLeftPressed, kPointLeftPressed);
    in.button(button_event(E::MouseDown, kRightButton, true), 0, 0);
    p.read(0);
    EXPECT_EQ(uint32_t(p.word(3)) & ~uint32_t(7), kPointRightPressed | kPointRightDouble);
    in.button(button_event(E::MouseDown, 8), 0, 0);  // the extra buttons have no counters
    in.get_point(p.site.mem, 0, 0, p.view());
    in.button(button_event(E::MouseDown, 16), 0, 0);
    p.read(0);
    EXPECT_EQ(uint32_t(p.word(3)) & ~uint32_t(7), 0u);

    // A context numbered outside the table neither reads nor snapshots.
    p.site.mem.write32(p.rec, 0xEEEEEEEE);
    EXPECT_EQ(p.read(32), 0u);
    EXPECT_EQ(p.read(0xFFFFFFFF), 0u);
    EXPECT_EQ(in.get_point(p.site.mem, 0, 32, p.view()), 0u);
    EXPECT_EQ(uint32_t(p.word(0)), 0xEEEEEEEEu);
    // A record that does not fit gets nothing.
    EXPECT_EQ(in.get_point(p.site.mem, p.site.mem.limit() - 8, 0, p.view()), 0u);
}

TEST(GetPoint, ScalingMenuOffsetAndInactive) {
    PointSite p;
    p.in.set_pointer(100, 60);
    PointerView v = p.view();
    v.client_width = 1280;  // the window stretched to twice the width
    v.client_height = 480;
    p.read(1, v);
    EXPECT_EQ(p.word(0), 50);
    EXPECT_EQ(p.word(1), 60);
    v.client_height = 960;
    p.in.set_pointer(101, 61);
    p.read(1, v);
    EXPECT_EQ(p.word(0), 50);  // integer division
    EXPECT_EQ(p.word(1), 30);
    v = p.view();
    v.menu_offset = 19;  // a menu bar shown over the full screen
    p.read(1, v);
    EXPECT_EQ(p.word(0), 101);
    EXPECT_EQ(p.word(1), 80);
    p.in.set_pointer(-20, 700);  // outside the window
    p.read(1, p.view());
    EXPECT_EQ(p.word(0), -20);
    EXPECT_EQ(p.word(1), 700);
    v.active = false;
    p.read(1, v);
    EXPECT_EQ(p.word(0), -1);
    EXPECT_EQ(p.word(1), -1);
}

namespace {

struct BuiltinSite {
    test::CallSite site;
    int sends = 0;
    bool active = true;
    uint32_t answer = 1;
    std::optional<std::array<int32_t, 4>> clip;
    int clips = 0;
    BuiltinSite() {
        site.table.bind_all(input_builtins());
        InputHooks& h = input_hooks();
        h.send = [this](uint32_t, uint32_t, uint32_t) {
            ++sends;
            return answer;
        };
        h.pointer_view = [this] {
            PointerView v;
            v.active = active;
            return v;
        };
        h.clip_cursor = [this](std::optional<std::array<int32_t, 4>> r) {
            clip = r;
            ++clips;
        };
    }
    ~BuiltinSite() { input_hooks() = {}; }
    ScriptAddr filled(uint32_t size) {
        ScriptAddr a = site.mem.allocate(size);
        std::memset(site.mem.host(a, size), 0x5A, size);
        return a;
    }
    bool all(ScriptAddr a, uint32_t size, uint8_t v) {
        const uint8_t* p = site.mem.host(a, size);
        return std::all_of(p, p + size, [v](uint8_t b) { return b == v; });
    }
};

}  // namespace

TEST(InputBuiltins, PolledRecordsAreZeroedOnFailureAndCheckedFirst) {
    BuiltinSite b;
    ScriptAddr keys = b.filled(256), joy = b.filled(12), mouse = b.filled(16);
    EXPECT_EQ(b.site.call("getkey", {keys}), 1u);
    EXPECT_TRUE(b.all(keys, 256, 0x5A));  // the window filled it (here: left as it was)
    b.answer = 0;
    EXPECT_EQ(b.site.call("getkey", {keys}), 0u);
    EXPECT_TRUE(b.all(keys, 256, 0));
    EXPECT_EQ(b.site.call("getjoy", {3, joy}), 0u);
    EXPECT_TRUE(b.all(joy, 12, 0));
    b.answer = 1;
    b.active = false;
    int sends = b.sends;
    std::memset(b.site.mem.host(mouse, 16), 0x5A, 16);
    EXPECT_EQ(b.site.call("getmouse", {mouse}), 0u);
    EXPECT_TRUE(b.all(mouse, 16, 0));
    EXPECT_EQ(b.sends, sends);  // inactive: nothing is sent
    b.active = true;
    // Records that do not fit, and getmouse's null record: 0, nothing sent
    // or written.
    ScriptAddr end = b.site.mem.limit();
    EXPECT_EQ(b.site.call("getkey", {end - 255}), 0u);
    EXPECT_EQ(b.site.call("getjoy", {0, end - 11}), 0u);
    EXPECT_EQ(b.site.call("getjoy", {0, 0}), 0u);
    EXPECT_EQ(b.site.call("getmouse", {0}), 0u);
    EXPECT_EQ(b.site.call("getmouse", {end - 15}), 0u);
    EXPECT_EQ(b.sends, sends);
}

TEST(InputBuiltins, CursorAndCharacters) {
    BuiltinSite b;
    settings().width = 320;
    settings().height = 240;
    EXPECT_EQ(b.site.call("cur_set", {2}), 0u);
    EXPECT_EQ(b.site.call("cur_set", {uint32_t(-1)}), 0u);
    EXPECT_EQ(b.site.call("cur_set", {0}), 1u);
    EXPECT_EQ(b.site.call("cur_setpos", {5, 6}), 1u);

    ScriptAddr rect = b.site.mem.allocate(16);
    auto set = [&](int32_t l, int32_t t, int32_t r, int32_t bo) {
        for (int i = 0; i < 4; ++i)
            b.site.mem.write32(rect + 4 * uint32_t(i),
                               uint32_t(std::array{l, t, r, bo}[size_t(i)]));
    };
    set(-10, 20, 400, 100);
    EXPECT_EQ(b.site.call("cur_clip", {rect}), 1u);
    ASSERT_TRUE(b.clip);
    EXPECT_EQ(*b.clip, (std::array<int32_t, 4>{0, 20, 320, 100}));  // within the picture
    set(400, 0, 500, 10);                                           // nothing left of it: released
    EXPECT_EQ(b.site.call("cur_clip", {rect}), 1u);
    EXPECT_FALSE(b.clip);
    b.clip = std::array<int32_t, 4>{};
    EXPECT_EQ(b.site.call("cur_clip", {0}), 1u);
    EXPECT_FALSE(b.clip);
    int clips = b.clips;
    EXPECT_EQ(b.site.call("cur_clip", {b.site.mem.limit() - 8}), 0u);
    EXPECT_EQ(b.clips, clips);
    settings().width = 640;
    settings().height = 480;

    CharacterRing& ring = input_state().characters();
    ring.clear();
    EXPECT_EQ(b.site.call("key_get", {}), 0u);
    ring.push(0xE9);
    ring.push('x');
    EXPECT_EQ(int32_t(b.site.call("key_get", {})), -23);
    EXPECT_EQ(b.site.call("key_init", {}), 1u);
    EXPECT_EQ(b.site.call("key_get", {}), 0u);
}
