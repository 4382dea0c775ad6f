// Rectangle operations and the rc_* built-ins. Every built-in fails with 0 for
// a null or bad rectangle pointer.
#include "runtime/rect.h"

#include <algorithm>

#include "runtime/runtime.h"
#include "vm/trap.h"

namespace tob {
namespace {
int32_t wrapping_add(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) + uint32_t(b));
}
int32_t wrapping_sub(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) - uint32_t(b));
}
}  // namespace

std::optional<Rect> load_rect(const ScriptMemory& memory, ScriptAddr addr) {
    uint32_t w[4];
    if (!memory.valid(addr, sizeof(Rect))) return std::nullopt;
    for (uint32_t i = 0; i < 4; ++i) memory.read32(addr + 4 * i, w[i]);
    return Rect{int32_t(w[0]), int32_t(w[1]), int32_t(w[2]), int32_t(w[3])};
}

bool store_rect(ScriptMemory& memory, ScriptAddr addr, const Rect& r) {
    if (!memory.valid(addr, sizeof(Rect))) return false;
    memory.write32(addr + offsetof(Rect, left), uint32_t(r.left));
    memory.write32(addr + offsetof(Rect, top), uint32_t(r.top));
    memory.write32(addr + offsetof(Rect, right), uint32_t(r.right));
    memory.write32(addr + offsetof(Rect, bottom), uint32_t(r.bottom));
    return true;
}

bool rect_empty(const Rect& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

bool rect_contains(const Rect& r, int32_t x, int32_t y) {
    return r.left <= x && x < r.right && r.top <= y && y < r.bottom;
}

Rect rect_offset(const Rect& r, int32_t dx, int32_t dy) {
    return {wrapping_add(r.left, dx), wrapping_add(r.top, dy), wrapping_add(r.right, dx),
            wrapping_add(r.bottom, dy)};
}

Rect rect_inflate(const Rect& r, int32_t dx, int32_t dy) {
    return {wrapping_sub(r.left, dx), wrapping_sub(r.top, dy), wrapping_add(r.right, dx),
            wrapping_add(r.bottom, dy)};
}

std::optional<Rect> rect_intersection(const Rect& a, const Rect& b) {
    Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (rect_empty(a) || rect_empty(b) || rect_empty(r)) return std::nullopt;
    return r;
}

std::optional<Rect> rect_union(const Rect& a, const Rect& b) {
    if (rect_empty(a)) return rect_empty(b) ? std::nullopt : std::optional<Rect>(b);
    if (rect_empty(b)) return a;
    return Rect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

// --- the built-ins ---

namespace {

uint32_t trap_rc_empty(TrapCall& call) {
    return store_rect(call.memory(), call.address(0), {}) ? 1 : 0;
}

uint32_t trap_rc_set(TrapCall& call) {
    Rect r{call.integer(1), call.integer(2), call.integer(3), call.integer(4)};
    return store_rect(call.memory(), call.address(0), r) ? 1 : 0;
}

uint32_t trap_rc_setwh(TrapCall& call) {
    int32_t x = call.integer(1), y = call.integer(2);
    Rect r{x, y, wrapping_add(x, call.integer(3)), wrapping_add(y, call.integer(4))};
    return store_rect(call.memory(), call.address(0), r) ? 1 : 0;
}

uint32_t trap_rc_copy(TrapCall& call) {
    auto src = load_rect(call.memory(), call.address(1));
    return src && store_rect(call.memory(), call.address(0), *src) ? 1 : 0;
}

uint32_t trap_rc_move(TrapCall& call) {
    auto r = load_rect(call.memory(), call.address(0));
    if (!r) return 0;
    return store_rect(call.memory(), call.address(0),
                      rect_offset(*r, call.integer(1), call.integer(2)));
}

uint32_t trap_rc_inflate(TrapCall& call) {
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

uint32_t trap_rc_intersect(TrapCall& call) {
    return combine(call, rect_intersection);
}
uint32_t trap_rc_union(TrapCall& call) {
    return combine(call, rect_union);
}

uint32_t trap_rc_in(TrapCall& call) {
    auto r = load_rect(call.memory(), call.address(0));
    return r && rect_contains(*r, call.integer(1), call.integer(2)) ? 1 : 0;
}

uint32_t trap_rc_check(TrapCall& call) {
    auto r = load_rect(call.memory(), call.address(0));
    return r && rect_empty(*r) ? 1 : 0;
}

}  // namespace

extern const TrapBinding kRectTraps[] = {
    {"rc_empty", trap_rc_empty}, {"rc_set", trap_rc_set},
    {"rc_setwh", trap_rc_setwh}, {"rc_copy", trap_rc_copy},
    {"rc_move", trap_rc_move},   {"rc_intersect", trap_rc_intersect},
    {"rc_union", trap_rc_union}, {"rc_inflate", trap_rc_inflate},
    {"rc_in", trap_rc_in},       {"rc_check", trap_rc_check},
};
extern const size_t kRectTrapCount = std::size(kRectTraps);

void init_rects() {}
void shutdown_rects() {}

}  // namespace tob
