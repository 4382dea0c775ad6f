// Copies between planes through the blend routines: the unscaled copy
// (`gcopy`) and the scaled, mirrored or rotated copy (`gblit`). Both cut the
// work to the destination's clip rectangle and the source plane (and its mask
// plane when the mode reads one) and run the same row routines, so where their
// results coincide their pixels are identical.
#pragma once

#include <cstdint>
#include <optional>

#include "graphics/blend_mode.h"
#include "graphics/geometry.h"
#include "graphics/plane.h"

namespace tob::gfx {

// Results: 1 when the copy ran (even if the mode drew nothing at its levels
// or has no routine for the depth pair), 0 when it could not: unsupported
// depths, a mode of 36 or more, or nothing left after clipping.
uint32_t copy_unscaled(Plane& dst, int32_t x, int32_t y, const Plane& src, const Plane* mask,
                       std::optional<Rect> src_rect, const BlendRecord& rec);
uint32_t copy_scaled(Plane& dst, std::optional<Rect> dst_rect, const Plane& src, const Plane* mask,
                     std::optional<Rect> src_rect, const BlendRecord& rec, uint32_t angle);

// 16.16 sine of an angle in 2048 units per turn.
int32_t rotation_sine(uint32_t angle);

}  // namespace tob::gfx
