// The main window's state shared with script threads: activity flags, client
// size, mouse buttons and click counters, the wheel, typed characters and the
// last menu command. Written on the window thread, read by built-ins without
// a lock, so every word is a relaxed atomic.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace tob {

// Typed characters for the input built-ins: 512 bytes; when full, the oldest
// character is lost, so at most 511 are kept.
class CharacterRing {
  public:
    static constexpr uint32_t kSize = 512;
    void push(uint8_t c);
    // -1 when empty.
    int pop();
    void clear();

  private:
    std::array<uint8_t, kSize> bytes_{};
    std::atomic<uint32_t> head_{0}, tail_{0};
};

enum MouseButton : uint32_t { kLeftButton = 1, kRightButton = 2, kMiddleButton = 4 };

struct WindowState {
    std::atomic<int32_t> full_screen{0};
    std::atomic<int32_t> menu_bar_offset{0};
    std::atomic<uint32_t> last_menu_command{0};
    std::atomic<int32_t> closing{0};
    std::atomic<int32_t> active{1};      // 0 while paused by deactivation
    std::atomic<int32_t> app_active{1};  // the application has the focus
    std::atomic<int32_t> client_width{640}, client_height{480};
    std::atomic<uint32_t> buttons{0};
    // Presses and double clicks: left, right, middle presses; left, right,
    // middle double clicks.
    std::array<std::atomic<uint32_t>, 6> clicks{};
    std::atomic<int32_t> wheel{0};
    std::atomic<int32_t> mouse_x{0}, mouse_y{0};
    CharacterRing characters;

    // Mouse events as the window reports them.
    void button_down(MouseButton b, bool double_click);
    void button_up(MouseButton b);
    // Reads and clears the last menu command.
    uint32_t take_menu_command() { return last_menu_command.exchange(0); }
};

WindowState& window_state();

}  // namespace tob
