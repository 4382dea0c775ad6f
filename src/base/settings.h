// Process-wide settings read from the configuration file at start-up and read
// everywhere afterwards. Only the few flags scripts may change are atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>

namespace tob {

struct Settings {
    std::filesystem::path module_dir;   // folder of the game (current directory while running)
    std::filesystem::path config_path;  // <base>.cfg
    std::string window_class = "TOBX_MAIN";
    std::string mutex_name = "TOBX_MUTEX";
    std::string main_script;  // CP932 script path (`Execute`)
    std::string title;        // CP932 (`Title`)

    int32_t debug_mode = 0;
    int32_t error = 0;
    int32_t menu = 0;
    int32_t auto_hide_menu = 1;
    int32_t resize = 0;
    int32_t width = 640;
    int32_t height = 480;
    int32_t depth = 24;
    int32_t mmx = 0;
    int32_t draw = 0;
    int32_t sound = 0;
    int32_t music = 0;
    int32_t input = 0;
    int32_t multiple_running = 0;
    int32_t net = 0;
    uint32_t program_size = 0;         // bytes
    uint32_t stack_size = 64u << 10;   // bytes
    uint32_t heap_size = 1024u << 10;  // bytes
    int32_t cd = 0;
    std::atomic<int32_t> global_focus{1};
    std::atomic<int32_t> global_sound{1};
    int32_t full_screen = -1;
    int32_t error_display = 1;
    int32_t vsync = 0;  // `VSync`: presenting waits for the display's refresh

    Settings() = default;
    Settings(const Settings& o) { *this = o; }
    Settings& operator=(const Settings& o);
};

// The one instance of the process.
Settings& settings();

}  // namespace tob
