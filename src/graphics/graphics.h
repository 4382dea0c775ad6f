// The graphics subsystem's public face for the engine: start-up and shutdown
// of the plane table and palette state, and the built-in families to bind.
#pragma once

#include <span>

#include "vm/script_memory.h"

namespace tob {

struct TrapBinding;

// Attaches the plane table to the engine's script memory (freeing any planes
// left from before), resets the view and active
// page numbers to 0, the palettes to the 3-3-2 palette and colour mapping to off, builds the blend
// tables, and installs the `color_mapping` system value.
void init_graphics_planes(ScriptMemory& memory);
// Frees every plane (the pages too) and detaches the table from script memory.
void shutdown_graphics_planes();

// Plane built-ins: galloc, gfree, ginit, gload, gsave, ginfo, gclip, getpixel,
// gattach, gdetach, ggetpal, gsetpal, dload, dcopy.
std::span<const TrapBinding> plane_builtins();
// Copy and drawing built-ins: gcopy, gblit, gfill, gline, gpoly.
std::span<const TrapBinding> blit_builtins();

// Sprite built-ins: sp_flag, sp_init, sp_setbg, sp_getbg, sp_redraw, sp_set,
// sp_reset, sp_link, sp_draw, sp_bgorg, sp_org, sp_sort, sp_rect.
std::span<const TrapBinding> sprite_builtins();
// Hit-area built-ins: hit_init, hit_set, hit_reset, hit_check, hit_rect,
// hit_point.
std::span<const TrapBinding> hit_builtins();
// Engine initialisation: the sprite and hit records in script memory, empty
// (`sprites().count()` answers `sp_count`). Shutdown frees them.
void init_sprites(ScriptMemory& memory);
void shutdown_sprites();

// Image effects: freemap, smooth, rotate, tiled, scroll, noise, slice,
// gradation, mosaic, monotone, blur, fire and the ef_ warp effects.
std::span<const TrapBinding> effect_builtins();
// Frees every warp effect context; the effects draw chance from `random`
// (the engine's script generator; null: a private one).
void init_graphics_effects(uint32_t (*random)() = nullptr);
void shutdown_graphics_effects();

// The small 3D renderer: p3d_init ... p3d_render. Initialisation places the
// model slot records in script memory; shutdown frees every model, the depth
// buffer and the records.
std::span<const TrapBinding> p3d_builtins();
void init_graphics_3d(ScriptMemory& memory);
void shutdown_graphics_3d();

namespace gfx {
// Text: font slots back to their defaults, every thread on slot 0, the
// scratch plane of smooth text freed; at shutdown the fonts are deleted too.
void init_text();
void shutdown_text();
// font_list, font_use, font_set, font_get, gtext, gtextf.
std::span<const TrapBinding> text_builtins();
}  // namespace gfx

}  // namespace tob
