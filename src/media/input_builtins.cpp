// The input built-ins: the polled devices through window commands (only while
// the application is active; zeros otherwise), getpoint and typed characters
// on the script thread, and the cursor through the window.
#include <cstring>

#include "media/media.h"
#include "platform/byte_order.h"
#include "base/settings.h"
#include "vm/trap.h"

namespace tob {

InputHooks& input_hooks() {
    static InputHooks hooks;
    return hooks;
}

namespace {

PointerView pointer_view() {
    const InputHooks& h = input_hooks();
    if (h.pointer_view) return h.pointer_view();
    PointerView v;
    v.width = v.client_width = settings().width;
    v.height = v.client_height = settings().height;
    return v;
}

// Sends a polled-device command while the application is active; on failure
// the record (already checked) is zeroed.
uint32_t poll(uint32_t message, uint32_t wparam, uint32_t lparam, uint8_t* record, uint32_t size) {
    const InputHooks& h = input_hooks();
    uint32_t r = 0;
    if (h.send && pointer_view().active) r = h.send(message, wparam, lparam);
    if (r == 0) std::memset(record, 0, size);
    return r ? 1 : 0;
}

uint32_t builtin_getkey(TrapCall& call) {
    uint8_t* p = call.pointer(0, kKeyRecordBytes);
    if (!p) return 0;
    return poll(kGetKeyCommand, call.address(0), kKeyRecordBytes, p, kKeyRecordBytes);
}

uint32_t builtin_getjoy(TrapCall& call) {
    uint8_t* p = call.pointer(1, kJoyRecordBytes);
    if (!p) return 0;
    return poll(kGetJoyCommand, call.word(0), call.address(1), p, kJoyRecordBytes);
}

uint32_t builtin_getmouse(TrapCall& call) {
    if (call.address(0) == 0) return 0;
    uint8_t* p = call.pointer(0, kMouseRecordBytes);
    if (!p) return 0;
    return poll(kGetMouseCommand, 0, call.address(0), p, kMouseRecordBytes);
}

uint32_t builtin_getpoint(TrapCall& call) {
    return input_state().get_point(call.memory(), call.address(0), call.caller().thread_index,
                                   pointer_view());
}

uint32_t builtin_cur_set(TrapCall& call) {
    int32_t n = call.integer(0);
    if (n != 0 && n != 1) return 0;
    if (input_hooks().show_cursor) input_hooks().show_cursor(n == 1);
    return 1;
}

uint32_t builtin_cur_clip(TrapCall& call) {
    const InputHooks& h = input_hooks();
    if (call.address(0) == 0) {
        if (h.clip_cursor) h.clip_cursor(std::nullopt);
        return 1;
    }
    const uint8_t* p = call.pointer(0, kRectRecordBytes);
    if (!p) return 0;
    std::array<int32_t, 4> r{};
    for (size_t i = 0; i < 4; ++i) r[i] = int32_t(load_le32(p + 4 * i));
    // Within the picture; nothing left releases the cursor.
    r[0] = std::max(r[0], 0);
    r[1] = std::max(r[1], 0);
    r[2] = std::min(r[2], settings().width);
    r[3] = std::min(r[3], settings().height);
    std::optional<std::array<int32_t, 4>> clip;
    if (r[0] < r[2] && r[1] < r[3]) clip = r;
    if (h.clip_cursor) h.clip_cursor(clip);
    return 1;
}

uint32_t builtin_cur_setpos(TrapCall& call) {
    if (input_hooks().set_cursor_pos)
        input_hooks().set_cursor_pos(call.integer(0), call.integer(1));
    return 1;
}

uint32_t builtin_key_init(TrapCall&) {
    input_state().characters().clear();
    return 1;
}

uint32_t builtin_key_get(TrapCall&) {
    int c = input_state().characters().pop();
    return c < 0 ? 0 : uint32_t(int32_t(int8_t(uint8_t(c))));
}

constexpr TrapBinding kBindings[] = {
    {"getkey", builtin_getkey},         {"getjoy", builtin_getjoy},
    {"getmouse", builtin_getmouse},     {"getpoint", builtin_getpoint},
    {"cur_set", builtin_cur_set},       {"cur_clip", builtin_cur_clip},
    {"cur_setpos", builtin_cur_setpos}, {"key_init", builtin_key_init},
    {"key_get", builtin_key_get},
};

}  // namespace

std::span<const TrapBinding> input_builtins() {
    return kBindings;
}

}  // namespace tob
