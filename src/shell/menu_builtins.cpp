// The menu built-ins: they edit the script's menu model and ask the window to
// show it.
#include "shell/menu_model.h"
#include "shell/window_state.h"
#include "vm/trap.h"

namespace tob {
namespace {

uint32_t builtin_menu_init(TrapCall&) {
    std::lock_guard lock(menu_state().mutex);
    menu_state().model.init();
    return 1;
}

uint32_t builtin_menu_add(TrapCall& call) {
    auto text = call.string(2, 4096);
    if (!text) return 0;
    std::lock_guard lock(menu_state().mutex);
    return menu_state().model.add(call.integer(0), call.integer(1), *text, call.integer(3));
}

uint32_t builtin_menu_del(TrapCall& call) {
    std::lock_guard lock(menu_state().mutex);
    return menu_state().model.remove(call.integer(0));
}

uint32_t builtin_menu_build(TrapCall&) {
    MenuState& s = menu_state();
    std::lock_guard lock(s.mutex);
    MenuBar bar = s.model.build();
    if (s.window_has_menu) {  // a window without a menu installs nothing
        s.bar = std::move(bar);
        ++s.redraws;
    }
    return 1;
}

uint32_t builtin_menu_enable(TrapCall& call) {
    MenuState& s = menu_state();
    std::lock_guard lock(s.mutex);
    return s.model.enable(s.bar, call.integer(0), call.word(1) != 0);
}

uint32_t builtin_menu_check(TrapCall& call) {
    MenuState& s = menu_state();
    std::lock_guard lock(s.mutex);
    return s.model.check(s.bar, call.integer(0), call.word(1) != 0);
}

uint32_t builtin_menu_radio(TrapCall& call) {
    MenuState& s = menu_state();
    std::lock_guard lock(s.mutex);
    return s.model.radio(s.bar, call.integer(0));
}

uint32_t builtin_menu_draw(TrapCall&) {
    MenuState& s = menu_state();
    std::lock_guard lock(s.mutex);
    ++s.redraws;
    return s.window_has_menu ? 1 : 0;
}

uint32_t builtin_menu_get(TrapCall&) {
    return window_state().take_menu_command();
}

constexpr TrapBinding kBindings[] = {
    {"menu_init", builtin_menu_init},     {"menu_add", builtin_menu_add},
    {"menu_del", builtin_menu_del},       {"menu_build", builtin_menu_build},
    {"menu_enable", builtin_menu_enable}, {"menu_check", builtin_menu_check},
    {"menu_radio", builtin_menu_radio},   {"menu_draw", builtin_menu_draw},
    {"menu_get", builtin_menu_get},
};

}  // namespace

std::span<const TrapBinding> menu_builtins() {
    return kBindings;
}

}  // namespace tob
