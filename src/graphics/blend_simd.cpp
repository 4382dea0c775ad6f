// Vector row kernels (filled in where a benchmark shows a gain).
#include "graphics/blend_simd.h"

namespace tob::gfx {

void install_vector_kernels(KernelTable&, KernelTable&) {}

}  // namespace tob::gfx
