// Rows of a page as the window shows them: 0x00RRGGBB pixels. The 32-bit and
// 24-bit rows have vector versions (SSE2/SSSE3, AVX2 where the processor has
// it) that give exactly the pixels of the plain loops, which stay as the
// reference.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tob::gfx {

class Plane;

// n pixels of a 32-bit row (blue, green, red, alpha bytes) with the alpha
// byte cleared.
void screen_row_32_plain(const uint8_t* src, uint32_t* out, size_t n);
void screen_row_32_sse2(const uint8_t* src, uint32_t* out, size_t n);
// Null where the processor lacks AVX2.
using ScreenRowFn = void (*)(const uint8_t* src, uint32_t* out, size_t n);
ScreenRowFn screen_row_32_avx2();

// n pixels of a 24-bit row (blue, green, red bytes).
void screen_row_24_plain(const uint8_t* src, uint32_t* out, size_t n);
// Null where the processor lacks SSSE3.
ScreenRowFn screen_row_24_ssse3();

// Pixels [x0, x1) of row y of `p` as the window shows them; the caller has
// checked both lie inside the plane. 8-bit pages go through the screen
// colour table. `convert_screen_row` takes the fastest kernels,
// `convert_screen_row_plain` only the plain loops.
void convert_screen_row(const Plane& p, int64_t y, int64_t x0, int64_t x1, uint32_t* out);
void convert_screen_row_plain(const Plane& p, int64_t y, int64_t x0, int64_t x1, uint32_t* out);

}  // namespace tob::gfx
