// Input devices: the keyboard tables, mouse buttons, click counters, wheel and
// pointer, typed characters and joysticks, as the window thread collects them
// from its events, and the reads the input built-ins make of them.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string_view>

#include "platform/joysticks.h"
#include "platform/window.h"
#include "vm/script_memory.h"

namespace tob {

// Typed characters: 512 bytes; when full, the oldest character is lost, so at
// most 511 are kept. The window thread alone pushes; `key_get` and `key_init`
// on any script thread pop and clear. Head and tail count characters and
// only grow (the slot is the count modulo the size), so "empty" and "full"
// never look alike, and a tail moved by the window (dropping the oldest) and
// one moved by a reader settle by compare-and-swap: a pop that loses the race
// reads again instead of returning a slot the window may have reused.
class CharacterRing {
  public:
    static constexpr uint32_t kSize = 512;
    void push(uint8_t c);
    // -1 when empty.
    int pop();
    // Empties the ring by moving the tail to the head.
    void clear();

  private:
    std::array<std::atomic<uint8_t>, kSize> bytes_{};
    std::atomic<uint32_t> head_{0}, tail_{0};
};

// The two 256-byte keyboard tables `getkey` copies: virtual keys (high bit
// down, low bit a toggle flipped on each press, the lock keys' low bit their
// lock state; the mouse buttons too) and DirectInput key codes (0x80 down).
class KeyTables {
  public:
    static constexpr size_t kKeys = 256;
    using Table = std::array<uint8_t, kKeys>;
    static constexpr uint8_t kDown = 0x80, kToggle = 0x01;

    void key(const platform::WindowEvent& e);
    // A mouse button's virtual key (1, 2, 4, 5, 6).
    void button(int vk, bool down);
    // Focus left the window: nothing stays down (toggles stay).
    void release_all();
    const Table& virtual_keys() const { return vk_; }
    const Table& direct_input() const { return dik_; }

  private:
    void set_vk(int vk, bool down, bool press);
    Table vk_{}, dik_{};
};

// Output records of the input built-ins.
inline constexpr uint32_t kKeyRecordBytes = 256, kJoyRecordBytes = 12, kMouseRecordBytes = 16,
                          kPointRecordBytes = 16, kRectRecordBytes = 16;
// The window commands of the polled devices.
inline constexpr uint32_t kGetKeyCommand = 1204, kGetJoyCommand = 1205, kGetMouseCommand = 1206;
// getpoint's flags beside the button bits.
inline constexpr uint32_t kPointLeftPressed = 0x10000, kPointRightPressed = 0x20000,
                          kPointMiddlePressed = 0x40000, kPointLeftDouble = 0x1000000,
                          kPointRightDouble = 0x2000000, kPointMiddleDouble = 0x4000000;
inline constexpr uint32_t kPointerSnapshots = 32;
inline constexpr int kJoystickSlotsWin32 = 4, kJoystickSlotsDirectInput = 16;

// A stick axis of -32768..32767 as scripts see it: -1000..1000 over the outer
// half of each side, 0 over the inner half (the Win32 joystick mapping with
// half range 32767, centre -1).
int joystick_axis(int raw);
// The 12-byte record's words: x, y, buttons (a held d-pad drives its axis).
std::array<uint32_t, 3> joystick_record(const platform::JoystickReading& r);

// What getpoint needs to know of the window.
struct PointerView {
    bool active = true;                       // the application has the focus
    int client_width = 0, client_height = 0;  // the picture's part of the window
    int width = 640, height = 480;            // the logical screen (`Width`, `Height`)
    int menu_offset = 0;                      // a menu bar shown over the full-screen picture
};

enum MouseButton : uint32_t { kLeftButton = 1, kRightButton = 2, kMiddleButton = 4 };

class InputState {
  public:
    // Window thread: the events that change the devices' state.
    void key(const platform::WindowEvent& e) { keys_.key(e); }
    // Control characters a key types (Backspace, Tab, Enter, Escape,
    // Ctrl+A..Z), on presses and repeats.
    void type_controls(const platform::WindowEvent& e);
    void type_text(std::string_view cp932);
    // The pointer moved to (x, y) client pixels.
    void motion(const platform::WindowEvent& e, int x, int y);
    // A held button was dragged past the window's edge: the window lets the
    // capture go and the buttons read as up until they are pressed again.
    void release_captured_buttons();
    void button(const platform::WindowEvent& e, int x, int y);
    void wheel(int delta);
    void focus_lost();
    void joystick(const platform::WindowEvent& e);
    // The pointer's place without an event (the desktop's cursor, a warp).
    void set_pointer(int x, int y);

    // `Input`: 0 the window-message devices, else the direct ones; sets the
    // joystick capacity.
    void set_mode(int input);
    int mode() const { return mode_; }
    void close_joysticks() { joysticks_.close_all(); }

    // Window thread: commands 1204..1206 with their script addresses.
    uint32_t command(ScriptMemory& memory, uint32_t message, uint32_t wparam, uint32_t lparam);

    // Script thread: getpoint for the thread numbered `thread`.
    uint32_t get_point(ScriptMemory& memory, ScriptAddr record, uint32_t thread,
                       const PointerView& view);
    CharacterRing& characters() { return characters_; }

    // Read by tests and the shell.
    uint32_t buttons() const { return buttons_.load(); }
    uint32_t clicks(size_t i) const { return clicks_[i].load(); }
    int32_t wheel_total() const { return wheel_.load(); }
    int pointer_x() const { return x_.load(); }
    int pointer_y() const { return y_.load(); }
    const KeyTables& keys() const { return keys_; }

  private:
    uint32_t get_key(ScriptMemory& memory, ScriptAddr out);
    uint32_t get_joy(ScriptMemory& memory, uint32_t number, ScriptAddr out);
    uint32_t get_mouse(ScriptMemory& memory, ScriptAddr out);

    // Shared with script threads (single-word reads without a lock).
    std::atomic<uint32_t> buttons_{0};
    // Left, right, middle presses; left, right, middle double clicks.
    std::array<std::atomic<uint32_t>, 6> clicks_{};
    std::atomic<int32_t> wheel_{0};
    std::atomic<int32_t> x_{0}, y_{0};
    CharacterRing characters_;

    // Window thread only.
    KeyTables keys_;
    uint32_t held_ = 0;                                    // every button held, the extra ones too
    int32_t moved_x_ = 0, moved_y_ = 0, wheel_moved_ = 0;  // since the last direct read
    platform::JoystickTable joysticks_;
    int mode_ = 0;

    // Script threads (under the trap lock): the counters at each thread's
    // last snapshot and the wheel at its last read.
    struct Snapshot {
        std::array<uint32_t, 6> clicks{};
        int32_t wheel = 0;
    };
    std::array<Snapshot, kPointerSnapshots> snapshots_{};
};

// The one instance of the process.
InputState& input_state();

}  // namespace tob
