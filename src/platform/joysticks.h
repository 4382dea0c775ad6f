// The attached joysticks and game controllers, in the order they arrived.
// A removed device leaves its slot empty until a new device takes it. Lives
// on the window thread, which also pumps the events that keep it current.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace tob::platform {

// One device as it is now: the two stick axes as the host reports them
// (-32768..32767), a d-pad held on either axis (-1, 0, 1; controllers only),
// and the button bits (controllers: A, B, X, Y, left and right shoulder, Back,
// Start, left and right stick as bits 0..9; other joysticks: button i as bit i).
struct JoystickReading {
    int x = 0, y = 0;
    int pad_x = 0, pad_y = 0;
    uint32_t buttons = 0;
};

class JoystickTable {
  public:
    JoystickTable() = default;
    JoystickTable(const JoystickTable&) = delete;
    JoystickTable& operator=(const JoystickTable&) = delete;
    ~JoystickTable() { close_all(); }

    // At most this many slots (devices beyond are ignored).
    void set_capacity(int slots) { capacity_ = slots; }
    // A device arrived (its host device index) / left (its instance id).
    void attach(int device_index);
    void detach(int instance_id);
    // Slots in use so far, empty ones included.
    int count() const { return int(slots_.size()); }
    // Nothing for a number outside the table or an empty slot.
    std::optional<JoystickReading> read(int slot) const;
    void close_all();

  private:
    struct Slot {
        void* joystick = nullptr;    // SDL_Joystick*
        void* controller = nullptr;  // SDL_GameController*, when it is one
        int instance_id = -1;
    };
    static void close(Slot& s);
    std::vector<Slot> slots_;
    int capacity_ = 4;
};

}  // namespace tob::platform
