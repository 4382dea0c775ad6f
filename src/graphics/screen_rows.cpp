// The conversion of page rows into the window's pixels. A 32-bit row only
// loses its alpha byte, so the vector loop runs at the speed of a copy; a
// 24-bit row spreads three bytes into four with one shuffle per four pixels.
#include "graphics/screen_rows.h"

#include <immintrin.h>

#include <cstring>

#include "graphics/colour.h"
#include "graphics/plane.h"

namespace tob::gfx {
namespace {

constexpr uint32_t kColourBits = 0x00FFFFFF;

uint32_t expand5(uint32_t v) {
    return (v * 255 + 15) / 31;
}

struct Expand5Table {
    uint32_t red[32], green[32], blue[32];
    Expand5Table() {
        for (uint32_t v = 0; v < 32; ++v) {
            red[v] = expand5(v) << 16;
            green[v] = expand5(v) << 8;
            blue[v] = expand5(v);
        }
    }
};

void screen_row_16(const uint8_t* row, uint32_t* out, size_t n) {
    static const Expand5Table t;
    for (size_t i = 0; i < n; ++i) {
        uint32_t v = uint32_t(row[2 * i]) | uint32_t(row[2 * i + 1]) << 8;
        out[i] = t.red[(v >> 10) & 31] | t.green[(v >> 5) & 31] | t.blue[v & 31];
    }
}

__attribute__((target("avx2"))) void screen_row_32_avx2_kernel(const uint8_t* src, uint32_t* out,
                                                               size_t n) {
    const __m256i mask = _mm256_set1_epi32(int32_t(kColourBits));
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * i));
        __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * i + 32));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_and_si256(a, mask));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i + 8), _mm256_and_si256(b, mask));
    }
    for (; i + 8 <= n; i += 8) {
        __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_and_si256(a, mask));
    }
    screen_row_32_sse2(src + 4 * i, out + i, n - i);
}

__attribute__((target("ssse3"))) void screen_row_24_ssse3_kernel(const uint8_t* src, uint32_t* out,
                                                                 size_t n) {
    // Four pixels from twelve bytes; the fourth byte of each comes from a
    // zero (an index with the top bit set).
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    size_t i = 0;
    // A load takes 16 bytes: keep at least 16 bytes of the row ahead.
    for (; i + 6 <= n; i += 4) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_shuffle_epi8(v, spread));
    }
    screen_row_24_plain(src + 3 * i, out + i, n - i);
}

struct Kernels {
    ScreenRowFn row32 = screen_row_32_sse2;
    ScreenRowFn row24 = screen_row_24_plain;
    Kernels() {
        if (ScreenRowFn f = screen_row_32_avx2()) row32 = f;
        if (ScreenRowFn f = screen_row_24_ssse3()) row24 = f;
    }
};

const Kernels& kernels() {
    static const Kernels k;
    return k;
}

template <bool Fast>
void convert(const Plane& p, int64_t y, int64_t x0, int64_t x1, uint32_t* out) {
    const uint8_t* row = p.row(int32_t(y));
    const size_t n = size_t(x1 - x0);
    switch (p.depth()) {
        case 32:
            (Fast ? kernels().row32 : screen_row_32_plain)(row + 4 * x0, out, n);
            break;
        case 24:
            (Fast ? kernels().row24 : screen_row_24_plain)(row + 3 * x0, out, n);
            break;
        case 16:
            if (Fast) {
                screen_row_16(row + 2 * x0, out, n);
            } else {
                for (int64_t x = x0; x < x1; ++x) {
                    uint32_t v = uint32_t(row[2 * x]) | uint32_t(row[2 * x + 1]) << 8;
                    *out++ = expand5((v >> 10) & 31) << 16 | expand5((v >> 5) & 31) << 8 |
                             expand5(v & 31);
                }
            }
            break;
        case 8: {
            const auto& screen = palette_state().screen;
            for (int64_t x = x0; x < x1; ++x) *out++ = screen[row[x]];
            break;
        }
        default:
            for (int64_t x = x0; x < x1; ++x) *out++ = read_pixel_rgb(p, x, y);
            break;
    }
}

}  // namespace

void screen_row_32_plain(const uint8_t* src, uint32_t* out, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* s = src + 4 * i;
        out[i] = uint32_t(s[2]) << 16 | uint32_t(s[1]) << 8 | s[0];
    }
}

void screen_row_32_sse2(const uint8_t* src, uint32_t* out, size_t n) {
    const __m128i mask = _mm_set1_epi32(int32_t(kColourBits));
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_and_si128(v, mask));
    }
    screen_row_32_plain(src + 4 * i, out + i, n - i);
}

ScreenRowFn screen_row_32_avx2() {
    return __builtin_cpu_supports("avx2") ? screen_row_32_avx2_kernel : nullptr;
}

void screen_row_24_plain(const uint8_t* src, uint32_t* out, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* s = src + 3 * i;
        out[i] = uint32_t(s[2]) << 16 | uint32_t(s[1]) << 8 | s[0];
    }
}

ScreenRowFn screen_row_24_ssse3() {
    return __builtin_cpu_supports("ssse3") ? screen_row_24_ssse3_kernel : nullptr;
}

void convert_screen_row(const Plane& p, int64_t y, int64_t x0, int64_t x1, uint32_t* out) {
    convert<true>(p, y, x0, x1, out);
}

void convert_screen_row_plain(const Plane& p, int64_t y, int64_t x0, int64_t x1, uint32_t* out) {
    convert<false>(p, y, x0, x1, out);
}

}  // namespace tob::gfx
