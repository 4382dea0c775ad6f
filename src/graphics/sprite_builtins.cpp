// Built-ins of the sprite family: sp_flag, sp_init, sp_setbg, sp_getbg,
// sp_redraw, sp_set, sp_reset, sp_link, sp_draw, sp_bgorg, sp_org, sp_sort,
// sp_rect. Handlers translate words and pointers and call the sprite pool.
#include "graphics/graphics.h"
#include "graphics/sprites.h"
#include "vm/trap.h"

namespace tob {
namespace {

using namespace gfx;

uint32_t builtin_sp_flag(TrapCall& call) {
    return sprites().set_default_flags(uint16_t(call.word(0)));
}

uint32_t builtin_sp_init(TrapCall& call) {
    sprites().init(call.word(0));
    return 1;
}

uint32_t builtin_sp_setbg(TrapCall& call) {
    return sprites().set_background(call.word(0));
}

uint32_t builtin_sp_getbg(TrapCall&) {
    return sprites().background();
}

uint32_t builtin_sp_redraw(TrapCall& call) {
    sprites().redraw(call.word(0));
    return 1;
}

uint32_t builtin_sp_set(TrapCall& call) {
    SpriteSystem& s = sprites();
    std::optional<Rect> source;
    if (call.word(5)) {
        source = read_rect(call.memory(), call.word(5));
        if (!source) return s.dummy_address();
    }
    auto blend = read_blend_record(call.memory(), call.word(6));
    if (!blend) return s.dummy_address();
    return s.create(call.word(0), call.word(1), call.integer(2), call.integer(3), call.word(4),
                    source, *blend);
}

uint32_t builtin_sp_reset(TrapCall& call) {
    return sprites().reset(call.word(0));
}

uint32_t builtin_sp_link(TrapCall& call) {
    return sprites().link(call.word(0), call.word(1));
}

uint32_t builtin_sp_draw(TrapCall& call) {
    const ScriptAddr out = call.word(1);
    if (out && !call.memory().valid(out, kRectBytes)) return 0;
    auto update = sprites().draw(call.word(0));
    if (!update) return 0;
    if (out) write_rect(call.memory(), out, *update);
    return 1;
}

uint32_t builtin_sp_bgorg(TrapCall& call) {
    sprites().set_background_origin(call.integer(0), call.integer(1));
    return 1;
}

uint32_t builtin_sp_org(TrapCall& call) {
    sprites().set_origin(call.word(0), call.integer(1), call.integer(2));
    return 1;
}

uint32_t builtin_sp_sort(TrapCall& call) {
    sprites().sort(call.word(0), call.word(1));
    return 1;
}

uint32_t builtin_sp_rect(TrapCall& call) {
    const ScriptAddr out = call.word(1);
    if (!call.word(0) || !call.memory().valid(out, kRectBytes)) return 0;
    auto r = sprites().placed_rect(call.word(0));
    if (!r) return 0;
    return write_rect(call.memory(), out, *r) ? 1 : 0;
}

constexpr TrapBinding kBindings[] = {
    {"sp_flag", builtin_sp_flag},     {"sp_init", builtin_sp_init},
    {"sp_setbg", builtin_sp_setbg},   {"sp_getbg", builtin_sp_getbg},
    {"sp_redraw", builtin_sp_redraw}, {"sp_set", builtin_sp_set},
    {"sp_reset", builtin_sp_reset},   {"sp_link", builtin_sp_link},
    {"sp_draw", builtin_sp_draw},     {"sp_bgorg", builtin_sp_bgorg},
    {"sp_org", builtin_sp_org},       {"sp_sort", builtin_sp_sort},
    {"sp_rect", builtin_sp_rect},
};

}  // namespace

std::span<const TrapBinding> sprite_builtins() {
    return kBindings;
}

void init_sprites(ScriptMemory& memory) {
    sprites().attach(memory);
}

void shutdown_sprites() {
    sprites().detach();
}

}  // namespace tob
