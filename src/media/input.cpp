// The input devices' state: collected on the window thread from its events,
// read by the polled-device commands there and by getpoint and the character
// built-ins on script threads.
#include "media/input.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_order.h"
#include "platform/keys.h"

namespace tob {

void CharacterRing::push(uint8_t c) {
    uint32_t head = head_.load(std::memory_order_relaxed);
    uint32_t tail = tail_.load();
    // Full: the oldest character goes. A reader that took it first already
    // made the room.
    if (head - tail >= kSize - 1) tail_.compare_exchange_strong(tail, tail + 1);
    bytes_[head % kSize].store(c, std::memory_order_relaxed);
    head_.store(head + 1);
}

int CharacterRing::pop() {
    uint32_t tail = tail_.load();
    for (;;) {
        if (tail == head_.load()) return -1;
        int c = bytes_[tail % kSize].load(std::memory_order_relaxed);
        // The window overwrites this slot only after moving the tail past it.
        if (tail_.compare_exchange_weak(tail, tail + 1)) return c;
    }
}

void CharacterRing::clear() {
    uint32_t tail = tail_.load();
    // Never moves the tail back behind characters the window dropped.
    for (;;) {
        uint32_t head = head_.load();
        if (int32_t(head - tail) <= 0 || tail_.compare_exchange_weak(tail, head)) return;
    }
}

void KeyTables::set_vk(int vk, bool down, bool press) {
    if (vk <= 0 || vk >= int(kKeys)) return;
    uint8_t& b = vk_[size_t(vk)];
    if (press) b ^= kToggle;
    b = uint8_t(down ? (b | kDown) : (b & ~kDown));
}

void KeyTables::key(const platform::WindowEvent& e) {
    using E = platform::WindowEvent;
    bool down = e.type == E::KeyDown;
    bool press = down && !e.repeat;
    set_vk(e.key, down, press);
    set_vk(platform::sided_virtual_key(e.scancode), down, press);
    // The lock keys show the lock the key left.
    auto lock = [&](int vk, int bit) {
        vk_[size_t(vk)] = uint8_t((vk_[size_t(vk)] & kDown) | ((e.locks & bit) ? kToggle : 0));
    };
    if (e.key == platform::kVkCapsLock) lock(platform::kVkCapsLock, 1);
    if (e.key == platform::kVkNumLock) lock(platform::kVkNumLock, 2);
    if (e.key == platform::kVkScrollLock) lock(platform::kVkScrollLock, 4);
    // A generic modifier stays down while either side is.
    auto generic = [&](int vk, int left, int right) {
        if (e.key != vk) return;
        bool held = (vk_[size_t(left)] | vk_[size_t(right)]) & kDown;
        vk_[size_t(vk)] = uint8_t((vk_[size_t(vk)] & kToggle) | (held ? kDown : 0));
    };
    generic(platform::kVkShift, platform::kVkLeftShift, platform::kVkRightShift);
    generic(platform::kVkControl, platform::kVkLeftControl, platform::kVkRightControl);
    generic(platform::kVkAlt, platform::kVkLeftAlt, platform::kVkRightAlt);
    if (int dik = platform::direct_input_key(e.scancode)) dik_[size_t(dik)] = down ? kDown : 0;
}

void KeyTables::button(int vk, bool down) {
    set_vk(vk, down, down);
}

void KeyTables::release_all() {
    for (uint8_t& b : vk_) b &= kToggle;
    dik_.fill(0);
}

int joystick_axis(int raw) {
    // Win32: half range (max - min) / 2, centre min + half range, and the
    // inner half of each side is dead.
    constexpr int kHalf = (32767 - -32768) / 2, kCentre = -32768 + kHalf, kH = kHalf / 2;
    int v = 0;
    if (raw < kCentre - kH)
        v = (raw - kCentre + kH) * 1000 / kH;
    else if (raw > kCentre + kH)
        v = (raw - kCentre - kH) * 1000 / kH;
    return std::clamp(v, -1000, 1000);
}

std::array<uint32_t, 3> joystick_record(const platform::JoystickReading& r) {
    int x = r.pad_x ? r.pad_x * 1000 : joystick_axis(r.x);
    int y = r.pad_y ? r.pad_y * 1000 : joystick_axis(r.y);
    return {uint32_t(x), uint32_t(y), r.buttons};
}

// With Ctrl, Enter types a line feed and Backspace a delete, as the
// platform's keyboard translation has it.
constexpr uint8_t kCtrlEnter = 10, kCtrlBackspace = 127;

void InputState::type_controls(const platform::WindowEvent& e) {
    if (e.type != platform::WindowEvent::KeyDown) return;
    switch (e.key) {
        case platform::kVkBackspace:
            characters_.push(e.ctrl ? kCtrlBackspace : uint8_t(e.key));
            return;
        case platform::kVkEnter:
            characters_.push(e.ctrl ? kCtrlEnter : uint8_t(e.key));
            return;
        case platform::kVkTab:
        case platform::kVkEscape:
            characters_.push(uint8_t(e.key));
            return;
        default:
            // Ctrl with a letter types its control character (Ctrl+Alt is
            // another layer's character, not a control one).
            if (e.ctrl && !e.alt && e.key >= 'A' && e.key <= 'Z')
                characters_.push(uint8_t(e.key - 'A' + 1));
    }
}

void InputState::type_text(std::string_view cp932) {
    for (char c : cp932) characters_.push(uint8_t(c));
}

void InputState::motion(const platform::WindowEvent& e, int x, int y) {
    set_pointer(x, y);
    moved_x_ += e.dx;
    moved_y_ += e.dy;
}

void InputState::release_captured_buttons() {
    buttons_.fetch_and(~uint32_t(kLeftButton | kRightButton | kMiddleButton));
}

void InputState::button(const platform::WindowEvent& e, int x, int y) {
    using E = platform::WindowEvent;
    bool down = e.type == E::MouseDown;
    set_pointer(x, y);
    static constexpr int kVk[] = {platform::kVkLeftButton, platform::kVkRightButton,
                                  platform::kVkMiddleButton, platform::kVkExtra1,
                                  platform::kVkExtra2};
    for (int i = 0; i < 5; ++i)
        if (e.button == 1 << i) keys_.button(kVk[i], down);
    held_ = down ? (held_ | uint32_t(e.button)) : (held_ & ~uint32_t(e.button));
    int index = e.button == kLeftButton     ? 0
                : e.button == kRightButton  ? 1
                : e.button == kMiddleButton ? 2
                                            : -1;
    if (index < 0) return;  // the extra buttons have no counters
    if (down) {
        clicks_[size_t(index)].fetch_add(1);
        if (e.double_click) clicks_[size_t(index + 3)].fetch_add(1);
        buttons_.fetch_or(uint32_t(e.button));
    } else {
        buttons_.fetch_and(~uint32_t(e.button));
    }
}

void InputState::wheel(int delta) {
    wheel_.fetch_add(delta);
    wheel_moved_ += delta;
}

void InputState::focus_lost() {
    keys_.release_all();
    // The direct mouse belongs to the window in the foreground.
    held_ = 0;
}

void InputState::joystick(const platform::WindowEvent& e) {
    if (e.type == platform::WindowEvent::JoyAdded)
        joysticks_.attach(e.x);
    else if (e.type == platform::WindowEvent::JoyRemoved)
        joysticks_.detach(e.x);
}

void InputState::set_pointer(int x, int y) {
    x_ = x;
    y_ = y;
}

void InputState::set_mode(int input) {
    mode_ = input;
    joysticks_.set_capacity(input ? kJoystickSlotsDirectInput : kJoystickSlotsWin32);
}

uint32_t InputState::command(ScriptMemory& memory, uint32_t message, uint32_t wparam,
                             uint32_t lparam) {
    switch (message) {
        case kGetKeyCommand:
            return get_key(memory, wparam);
        case kGetJoyCommand:
            return get_joy(memory, wparam, lparam);
        case kGetMouseCommand:
            return get_mouse(memory, lparam);
        default:
            return 0;
    }
}

uint32_t InputState::get_key(ScriptMemory& memory, ScriptAddr out) {
    uint8_t* p = memory.host(out, kKeyRecordBytes);
    if (!p) return 0;
    const KeyTables::Table& t = mode_ ? keys_.direct_input() : keys_.virtual_keys();
    std::memcpy(p, t.data(), t.size());
    return 1;
}

uint32_t InputState::get_joy(ScriptMemory& memory, uint32_t number, ScriptAddr out) {
    uint8_t* p = memory.host(out, kJoyRecordBytes);
    if (!p) return 0;
    auto reading = joysticks_.read(int(std::min<uint32_t>(number, INT32_MAX)));
    if (!reading) return 0;
    auto words = joystick_record(*reading);
    for (size_t i = 0; i < words.size(); ++i) store_le32(p + 4 * i, words[i]);
    return 1;
}

uint32_t InputState::get_mouse(ScriptMemory& memory, ScriptAddr out) {
    uint8_t* p = memory.host(out, kMouseRecordBytes);
    if (!p) return 0;
    std::array<uint32_t, 4> words{};
    if (mode_) {
        // Motion and wheel since the last read; the first four buttons.
        words = {uint32_t(moved_x_), uint32_t(moved_y_), uint32_t(wheel_moved_), held_ & 0xF};
        moved_x_ = moved_y_ = wheel_moved_ = 0;
    } else {
        words[3] = buttons_.load() & (kLeftButton | kRightButton | kMiddleButton);
    }
    for (size_t i = 0; i < words.size(); ++i) store_le32(p + 4 * i, words[i]);
    return 1;
}

uint32_t InputState::get_point(ScriptMemory& memory, ScriptAddr record, uint32_t thread,
                               const PointerView& view) {
    // A context with a thread number outside the table has no snapshot.
    if (thread >= kPointerSnapshots) return 0;
    Snapshot& snap = snapshots_[thread];
    if (record == 0) {
        for (size_t i = 0; i < clicks_.size(); ++i) snap.clicks[i] = clicks_[i].load();
        snap.wheel = wheel_.load();
        return 1;
    }
    uint8_t* p = memory.host(record, kPointRecordBytes);
    if (!p) return 0;
    int32_t x = -1, y = -1;
    if (view.active) {
        x = x_.load();
        y = y_.load();
        if (view.client_width != view.width || view.client_height != view.height) {
            if (view.client_width > 0) x = int32_t(int64_t(view.width) * x / view.client_width);
            if (view.client_height > 0) y = int32_t(int64_t(view.height) * y / view.client_height);
        }
        y += view.menu_offset;
    }
    int32_t wheel = wheel_.load();
    int32_t delta = int32_t(uint32_t(wheel) - uint32_t(snap.wheel));
    snap.wheel = wheel;
    static constexpr uint32_t kFlags[6] = {kPointLeftPressed,   kPointRightPressed,
                                           kPointMiddlePressed, kPointLeftDouble,
                                           kPointRightDouble,   kPointMiddleDouble};
    uint32_t flags = buttons_.load() & (kLeftButton | kRightButton | kMiddleButton);
    for (size_t i = 0; i < clicks_.size(); ++i)
        if (clicks_[i].load() != snap.clicks[i]) flags |= kFlags[i];
    const uint32_t words[4] = {uint32_t(x), uint32_t(y), uint32_t(delta), flags};
    for (size_t i = 0; i < 4; ++i) store_le32(p + 4 * i, words[i]);
    return 1;
}

InputState& input_state() {
    static InputState state;
    return state;
}

}  // namespace tob
