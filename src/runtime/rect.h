// Rectangles as scripts store them: four signed 32-bit values, the right and
// bottom edges exclusive. The operations wrap around like the 32-bit values
// they work on and never overflow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "vm/script_memory.h"

namespace tob {

struct Rect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const Rect&) const = default;
};
static_assert(sizeof(Rect) == 16);
static_assert(offsetof(Rect, left) == 0);
static_assert(offsetof(Rect, top) == 4);
static_assert(offsetof(Rect, right) == 8);
static_assert(offsetof(Rect, bottom) == 12);

// Reads and writes a rectangle in script memory; nullopt / false for a null or
// bad address.
std::optional<Rect> load_rect(const ScriptMemory& memory, ScriptAddr addr);
bool store_rect(ScriptMemory& memory, ScriptAddr addr, const Rect& r);

// 32-bit sums and differences that wrap as the script's words do.
inline int32_t wrapping_add(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) + uint32_t(b));
}
inline int32_t wrapping_sub(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) - uint32_t(b));
}

bool rect_empty(const Rect& r);
bool rect_contains(const Rect& r, int32_t x, int32_t y);
Rect rect_offset(const Rect& r, int32_t dx, int32_t dy);
Rect rect_inflate(const Rect& r, int32_t dx, int32_t dy);
// The common part of a and b; nullopt when it is empty (or either is).
std::optional<Rect> rect_intersection(const Rect& a, const Rect& b);
// The smallest rectangle holding both; an empty one is ignored; nullopt when
// both are empty.
std::optional<Rect> rect_union(const Rect& a, const Rect& b);

}  // namespace tob
