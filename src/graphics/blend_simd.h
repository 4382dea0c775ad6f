// Vector row kernels for the hot routines on 32-bit pixels: SSE2 everywhere,
// AVX2 for the alpha composite where the processor has it. Each gives exactly
// the pixels of the scalar routine it replaces.
#pragma once

#include <array>

#include "graphics/blend_mode.h"

namespace tob::gfx {

using KernelTable = std::array<std::array<RowKernel, 16>, kRoutineCount>;

// Puts the vector kernels into the copy tables (plain and masked); the AVX2
// ones only when `wide` and the processor has AVX2.
void install_vector_kernels(KernelTable& plain, KernelTable& masked, bool wide = true);

// Puts the AVX2 kernels (the alpha composite of modes 7 and 10) into the
// tables; only for processors that have AVX2.
void install_avx2_kernels(KernelTable& plain, KernelTable& masked);

// The SSE2 kernel that replaces a routine for 32-bit pixels, or null (for
// tests on processors where a wider one is used).
RowKernel sse2_kernel_32(Routine r, bool masked);

}  // namespace tob::gfx
