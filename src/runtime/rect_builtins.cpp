// The rc_* built-ins. Every built-in fails with 0 for a null or bad rectangle
// pointer.
#include "runtime/rect.h"
#include "runtime/runtime.h"
#include "vm/trap.h"

namespace tob {
namespace {

uint32_t builtin_rc_empty(TrapCall& call) {
    return store_rect(call.memory(), call.address(0), {}) ? 1 : 0;
}

uint32_t builtin_rc_set(TrapCall& call) {
    Rect r{call.integer(1), call.integer(2), call.integer(3), call.integer(4)};
    return store_rect(call.memory(), call.address(0), r) ? 1 : 0;
}

uint32_t builtin_rc_setwh(TrapCall& call) {
    int32_t x = call.integer(1), y = call.integer(2);
    Rect r{x, y, wrapping_add(x, call.integer(3)), wrapping_add(y, call.integer(4))};
    return store_rect(call.memory(), call.address(0), r) ? 1 : 0;
}

uint32_t builtin_rc_copy(TrapCall& call) {
    auto src = load_rect(call.memory(), call.address(1));
    return src && store_rect(call.memory(), call.address(0), *src) ? 1 : 0;
}

uint32_t builtin_rc_move(TrapCall& call) {
    auto r = load_rect(call.memory(), call.address(0));
    if (!r) return 0;
    return store_rect(call.memory(), call.address(0),
                      rect_offset(*r, call.integer(1), call.integer(2)));
}

uint32_t builtin_rc_inflate(TrapCall& call) {
    auto r = load_rect(call.memory(), call.address(0));
    if (!r) return 0;
    return store_rect(call.memory(), call.address(0),
                      rect_inflate(*r, call.integer(1), call.integer(2)));
}

// Both operands are read before the destination is written, so it may alias either.
uint32_t combine(TrapCall& call, std::optional<Rect> (*op)(const Rect&, const Rect&)) {
    auto a = load_rect(call.memory(), call.address(1));
    auto b = load_rect(call.memory(), call.address(2));
    if (!a || !b || !call.memory().valid(call.address(0), sizeof(Rect))) return 0;
    auto r = op(*a, *b);
    store_rect(call.memory(), call.address(0), r.value_or(Rect{}));
    return r ? 1 : 0;
}

uint32_t builtin_rc_intersect(TrapCall& call) {
    return combine(call, rect_intersection);
}
uint32_t builtin_rc_union(TrapCall& call) {
    return combine(call, rect_union);
}

uint32_t builtin_rc_in(TrapCall& call) {
    auto r = load_rect(call.memory(), call.address(0));
    return r && rect_contains(*r, call.integer(1), call.integer(2)) ? 1 : 0;
}

uint32_t builtin_rc_check(TrapCall& call) {
    auto r = load_rect(call.memory(), call.address(0));
    return r && rect_empty(*r) ? 1 : 0;
}

constexpr TrapBinding kBindings[] = {
    {"rc_empty", builtin_rc_empty},
    {"rc_set", builtin_rc_set},
    {"rc_setwh", builtin_rc_setwh},
    {"rc_copy", builtin_rc_copy},
    {"rc_move", builtin_rc_move},
    {"rc_intersect", builtin_rc_intersect},
    {"rc_union", builtin_rc_union},
    {"rc_inflate", builtin_rc_inflate},
    {"rc_in", builtin_rc_in, TrapEffects::Pure},
    {"rc_check", builtin_rc_check, TrapEffects::Pure},
};

}  // namespace

std::span<const TrapBinding> rect_builtins() {
    return kBindings;
}

}  // namespace tob
