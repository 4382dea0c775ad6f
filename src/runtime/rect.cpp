// Rectangle operations on rectangles as scripts store them.
#include "runtime/rect.h"

#include <algorithm>

namespace tob {

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

}  // namespace tob
