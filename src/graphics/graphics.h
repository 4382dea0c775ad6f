// The graphics subsystem's public face for the engine: start-up and shutdown
// of the plane table and palette state, and the built-in families to bind.
#pragma once

#include <filesystem>
#include <span>

#include "vm/script_memory.h"

namespace tob {

struct TrapBinding;

// Attaches the plane table to the engine's script memory (freeing any planes
// left from before), takes the folder relative image paths start at, resets the view and active
// page numbers to 0, the palettes to the 3-3-2 palette and colour mapping to off, builds the blend
// tables, and installs the `color_mapping` system value.
void init_graphics_planes(ScriptMemory& memory, const std::filesystem::path& module_dir = {});
// Frees every plane (the pages too) and detaches the table from script memory.
void shutdown_graphics_planes();

// Plane built-ins: galloc, gfree, ginit, gload, gsave, ginfo, gclip, getpixel,
// gattach, gdetach, ggetpal, gsetpal, dload, dcopy.
std::span<const TrapBinding> plane_builtins();
// Copy and drawing built-ins: gcopy, gblit, gfill, gline, gpoly.
std::span<const TrapBinding> blit_builtins();

}  // namespace tob
