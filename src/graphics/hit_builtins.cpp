// Built-ins of the hit-area family: hit_init, hit_set, hit_reset, hit_check,
// hit_rect, hit_point.
#include "graphics/graphics.h"
#include "graphics/sprites.h"
#include "vm/trap.h"

namespace tob {
namespace {

using namespace gfx;

uint32_t builtin_hit_init(TrapCall& call) {
    sprites().hit_init(call.word(0));
    return 1;
}

uint32_t builtin_hit_set(TrapCall& call) {
    std::optional<Rect> rect;
    if (call.word(3)) {
        rect = read_rect(call.memory(), call.word(3));
        if (!rect) return 0;
    }
    return sprites().hit_set(call.word(0), call.word(1), call.word(2), rect, call.integer(4));
}

uint32_t builtin_hit_reset(TrapCall& call) {
    return sprites().hit_reset(call.word(0));
}

uint32_t builtin_hit_check(TrapCall& call) {
    return sprites().hit_check(call.word(0));
}

uint32_t builtin_hit_rect(TrapCall& call) {
    auto r = read_rect(call.memory(), call.word(0));
    return r ? sprites().hit_rect(*r, call.word(1)) : 0;
}

uint32_t builtin_hit_point(TrapCall& call) {
    return sprites().hit_point(call.integer(0), call.integer(1), call.word(2));
}

constexpr TrapBinding kBindings[] = {
    {"hit_init", builtin_hit_init},   {"hit_set", builtin_hit_set},
    {"hit_reset", builtin_hit_reset}, {"hit_check", builtin_hit_check},
    {"hit_rect", builtin_hit_rect},   {"hit_point", builtin_hit_point},
};

}  // namespace

std::span<const TrapBinding> hit_builtins() {
    return kBindings;
}

}  // namespace tob
