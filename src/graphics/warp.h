// The animated warp effects: eight slots, each redrawing a destination area
// from a source through a coarse grid of source coordinates (one point per
// 8 x 8 block) that the effect rebuilds on every call.
#pragma once

#include <cstdint>
#include <optional>

#include "graphics/geometry.h"

namespace tob::gfx {

inline constexpr uint32_t kEffectSlots = 8;

// Each returns the built-in's result: 1 (or non-zero) when it drew, 0 for a
// slot of 8 or more, a slot without a context, or planes that are gone or
// no longer the size and depth the context was made for.
uint32_t ef_init(uint32_t slot, uint32_t dst, std::optional<Rect> dst_rect, uint32_t src,
                 std::optional<Rect> src_rect);
uint32_t ef_free(uint32_t slot);
uint32_t ef_rotate(uint32_t slot, int32_t cx, int32_t cy, int32_t zoom, int32_t angle);
uint32_t ef_tunnel(uint32_t slot, int32_t scale, int32_t travel);
uint32_t ef_land(uint32_t slot, int32_t height, int32_t pitch, int32_t yaw);
uint32_t ef_ball(uint32_t slot, int32_t scale, int32_t angle_b, int32_t angle_c);
uint32_t ef_whirl(uint32_t slot, int32_t twist);
uint32_t ef_raster(uint32_t slot, int32_t phase, int32_t period, int32_t amplitude);
uint32_t ef_blob(uint32_t slot, int32_t x, int32_t y, int32_t radius, int32_t strength);
uint32_t ef_water(uint32_t slot);

// Frees every slot (engine start and shutdown).
void reset_effects();

// For tests: redraws the slot's current grid with the plain per-pixel
// formula that the fast drawing must match; and reads a water height of grid
// point (i, j): `field` 0 is the one `ef_blob` writes next, 1 the one drawn
// last (0 outside the grid or before any water).
uint32_t ef_redraw_reference(uint32_t slot);
int32_t ef_water_height(uint32_t slot, int field, int32_t i, int32_t j);

}  // namespace tob::gfx
