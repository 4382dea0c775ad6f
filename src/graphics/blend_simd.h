// Vector (SSE2) row kernels for the hot routines on 32-bit pixels. Each gives
// exactly the pixels of the scalar routine it replaces.
#pragma once

#include <array>

#include "graphics/blend_mode.h"

namespace tob::gfx {

using KernelTable = std::array<std::array<RowKernel, 16>, kRoutineCount>;

// Puts the vector kernels into the copy tables (plain and masked).
void install_vector_kernels(KernelTable& plain, KernelTable& masked);

}  // namespace tob::gfx
