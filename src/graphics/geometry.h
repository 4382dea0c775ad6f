// Rectangles as scripts pass them (left, top, right, bottom; right and bottom
// exclusive), read from script memory, and the 64-bit arithmetic on them that
// keeps hostile coordinates from overflowing.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>

#include "vm/script_memory.h"

namespace tob::gfx {

struct Rect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const Rect&) const = default;
};
inline constexpr uint32_t kRectBytes = 16;  // four little-endian signed words
static_assert(sizeof(Rect) == kRectBytes);

// A rectangle in 64-bit coordinates, used wherever sums or differences of
// script values are formed.
struct Box {
    int64_t left = 0, top = 0, right = 0, bottom = 0;

    static Box of(const Rect& r) { return {r.left, r.top, r.right, r.bottom}; }
    int64_t width() const { return right - left; }
    int64_t height() const { return bottom - top; }
    bool empty() const { return right <= left || bottom <= top; }
    Box intersect(const Box& o) const {
        return {std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
                std::min(bottom, o.bottom)};
    }
};

// Reads a rectangle argument; nullopt for a bad pointer.
inline std::optional<Rect> read_rect(const ScriptMemory& mem, ScriptAddr addr) {
    uint32_t v[4];
    for (int i = 0; i < 4; ++i)
        if (!mem.read32(addr + 4u * uint32_t(i), v[i])) return std::nullopt;
    return Rect{int32_t(v[0]), int32_t(v[1]), int32_t(v[2]), int32_t(v[3])};
}

// An optional rectangle argument at a script address: the inner nullopt for a
// null address (the whole plane), the outer nullopt for a bad pointer.
inline std::optional<std::optional<Rect>> read_optional_rect(const ScriptMemory& mem,
                                                            ScriptAddr addr) {
    if (!addr) return std::optional<Rect>{};
    auto r = read_rect(mem, addr);
    if (!r) return std::nullopt;
    return std::optional<Rect>{*r};
}

inline bool write_rect(ScriptMemory& mem, ScriptAddr addr, const Rect& r) {
    return mem.valid(addr, kRectBytes) && mem.write32(addr, uint32_t(r.left)) &&
           mem.write32(addr + 4, uint32_t(r.top)) && mem.write32(addr + 8, uint32_t(r.right)) &&
           mem.write32(addr + 12, uint32_t(r.bottom));
}

}  // namespace tob::gfx
