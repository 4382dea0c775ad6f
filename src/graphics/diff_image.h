// "DIFF" difference images: a run-length coded patch (skips and literal runs,
// row by row) applied to a plane at a placement point.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "graphics/geometry.h"
#include "graphics/plane.h"

namespace tob::gfx {

inline constexpr uint32_t kDiffMagic = 0x46464944;  // "DIFF" read little-endian
inline constexpr uint32_t kDiffHeaderSize = 32;

// Header fields in file order: magic, two unused words, depth, bounding box.
struct DiffHeader {
    uint32_t magic = 0;
    uint32_t unused[2] = {};
    uint32_t depth = 0;
    Rect bounds;
};
static_assert(sizeof(DiffHeader) == kDiffHeaderSize);
static_assert(offsetof(DiffHeader, depth) == 12 && offsetof(DiffHeader, bounds) == 16);

// The header, or nullopt when fewer than 32 bytes are given.
std::optional<DiffHeader> read_diff_header(std::span<const uint8_t> image);

// Applies `image` to `plane` at (x, y). Fails (plane untouched) on a wrong
// magic, a depth other than the plane's (or below 8 bits), an empty bounding
// box, or a box that does not fit the plane at (x, y). The run stream itself is
// not trusted: pixels outside the plane are dropped and the stream ends with
// the data.
bool apply_diff(Plane& plane, int32_t x, int32_t y, std::span<const uint8_t> image);

}  // namespace tob::gfx
