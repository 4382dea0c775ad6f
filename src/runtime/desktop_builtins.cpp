// The exec, shell, mbox, caption and wallpaper built-ins.
#include "platform/cp932.h"
#include "runtime/desktop.h"
#include "runtime/host_programs.h"
#include "runtime/runtime.h"
#include "vm/trap.h"

namespace tob {
namespace {

// A string argument where null means empty; nullopt for a bad pointer.
std::optional<std::string_view> text_or_empty(TrapCall& call, int i) {
    if (call.address(i) == 0) return std::string_view();
    return call.string(i);
}

uint32_t builtin_exec(TrapCall& call) {
    auto line = call.string(0);
    return line && run_command_line(*line) ? 1 : 0;
}

uint32_t builtin_shell(TrapCall& call) {
    // The verb is accepted and not used: every file opens the one way it can.
    auto file = call.string(1);
    auto parameters = text_or_empty(call, 2);
    if (!file || !parameters) return 0;
    return shell_open(*file, *parameters) ? 1 : 0;
}

uint32_t builtin_mbox(TrapCall& call) {
    auto caption = text_or_empty(call, 1);
    auto text = text_or_empty(call, 2);
    if (!caption || !text) return 0;
    return show_message_box(
        message_box_request(call.word(0), cp932_to_utf8(*caption), cp932_to_utf8(*text)));
}

uint32_t builtin_caption(TrapCall& call) {
    auto text = text_or_empty(call, 0);
    if (!text) return 0;
    return set_window_caption(cp932_to_utf8(*text)) ? 1 : 0;
}

uint32_t builtin_wallpaper(TrapCall&) {
    // There is no desktop wallpaper setting to change here.
    return 1;
}

constexpr TrapBinding kBindings[] = {
    {"exec", builtin_exec},       {"shell", builtin_shell},         {"mbox", builtin_mbox},
    {"caption", builtin_caption}, {"wallpaper", builtin_wallpaper},
};

}  // namespace

std::span<const TrapBinding> desktop_builtins() {
    return kBindings;
}

}  // namespace tob
