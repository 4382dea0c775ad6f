#include "base/settings.h"

namespace tob {

Settings& Settings::operator=(const Settings& o) {
    if (this == &o) return *this;
    module_dir = o.module_dir;
    config_path = o.config_path;
    window_class = o.window_class;
    mutex_name = o.mutex_name;
    main_script = o.main_script;
    title = o.title;
    debug_mode = o.debug_mode;
    error = o.error;
    menu = o.menu;
    auto_hide_menu = o.auto_hide_menu;
    resize = o.resize;
    width = o.width;
    height = o.height;
    depth = o.depth;
    mmx = o.mmx;
    draw = o.draw;
    sound = o.sound;
    music = o.music;
    input = o.input;
    multiple_running = o.multiple_running;
    net = o.net;
    program_size = o.program_size;
    stack_size = o.stack_size;
    heap_size = o.heap_size;
    cd = o.cd;
    global_focus = o.global_focus.load();
    global_sound = o.global_sound.load();
    full_screen = o.full_screen;
    error_display = o.error_display;
    vsync = o.vsync;
    return *this;
}

Settings& settings() {
    static Settings instance;
    return instance;
}

}  // namespace tob
