// The main window's state shared with script threads: activity flags, client
// size and the last menu command (the mouse, keys and typed characters are
// the input devices' own, media/input.h). Written on the window thread, read by built-ins without
// a lock, so every word is a relaxed atomic.
#pragma once

#include <atomic>
#include <cstdint>

namespace tob {

struct WindowState {
    std::atomic<int32_t> full_screen{0};
    std::atomic<int32_t> menu_bar_offset{0};
    std::atomic<uint32_t> last_menu_command{0};
    std::atomic<int32_t> closing{0};
    std::atomic<int32_t> active{1};      // 0 while paused by deactivation
    std::atomic<int32_t> app_active{1};  // the application has the focus
    std::atomic<int32_t> client_width{640}, client_height{480};
    // Reads and clears the last menu command.
    uint32_t take_menu_command() { return last_menu_command.exchange(0); }
};

WindowState& window_state();

}  // namespace tob
