#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "graphics/blend_mode.h"
#include "graphics/blend_simd.h"
#include "graphics/colour.h"

using namespace tob::gfx;

// Every vector routine gives the scalar reference's pixels: random pixels,
// keys that match and keys that do not, alpha 0 and 255, the extreme levels,
// widths odd and even, every depth pair and mask flag.
TEST(Kernels, VectorRoutinesMatchTheScalarReference) {
    std::mt19937 rng(99);
    int compared = 0;
    const uint32_t levels[] = {0, 1, 2, 127, 128, 254, 255};
    for (uint32_t r = 0; r < kRoutineCount; ++r) {
        for (uint32_t combo = 0; combo < 16; ++combo) {
            for (bool masked : {false, true}) {
                RowKernel ref = scalar_kernel(Routine(r), combo, masked);
                // The kernel copies use, and the SSE2 one where a wider one is used.
                RowKernel candidates[] = {
                    fast_kernel(Routine(r), combo, masked),
                    combo == 15 ? sse2_kernel_32(Routine(r), masked) : nullptr};
                for (RowKernel fast : candidates) {
                    if (!fast || fast == ref) continue;
                    ASSERT_NE(ref, nullptr);
                    const uint32_t sb = combo / 4 + 1, db = combo % 4 + 1;
                    for (uint32_t width :
                         {1u, 2u, 3u, 4u, 5u, 7u, 8u, 15u, 16u, 17u, 33u, 64u, 301u}) {
                        for (uint32_t level : levels) {
                            for (uint32_t level2 : {0u, 1u, 30u, 255u}) {
                                BlendParams p;
                                p.level = level, p.level2 = level2;
                                p.w = level ? level + 1 : 0;
                                p.w2 = level2 ? level2 + 1 : 0;
                                p.tables = &blend_tables();
                                p.colour_map = palette_state().map.data();
                                p.colour2 = rng() & 0xFFFFFF;
                                for (auto& c : p.src_palette) c = rng() | 0xFF000000;
                                for (auto& c : p.dst_palette) c = rng() | 0xFF000000;
                                for (uint32_t i = 0; i < 256; ++i)
                                    p.soft[i] = i < level ? 255
                                                : i < level + level2
                                                    ? uint8_t(255 - (i - level) * 255 / level2)
                                                    : 0;
                                std::vector<uint8_t> src(width * sb), dst(width * db), mask(width);
                                for (auto& b : src) b = uint8_t(rng());
                                for (auto& b : dst) b = uint8_t(rng());
                                for (auto& b : mask) b = uint8_t(rng());
                                // Extreme alphas and mask values, and pixels equal to the key.
                                for (uint32_t i = 0; i < width; i += 3) {
                                    if (sb == 4) src[i * 4 + 3] = i % 2 ? 0 : 255;
                                    if (db == 4) dst[i * 4 + 3] = i % 2 ? 255 : 0;
                                    mask[i] = i % 2 ? 0 : 255;
                                }
                                uint32_t k = 0;
                                std::memcpy(&k, &src[(width / 2) * sb], sb);
                                p.key = (sb == 4 ? k & 0xFFFFFF : k);
                                if (rng() % 2) p.key ^= 1;
                                std::vector<uint8_t> a = dst, b = dst;
                                ref(a.data(), src.data(), mask.data(), width, p);
                                fast(b.data(), src.data(), mask.data(), width, p);
                                ASSERT_EQ(a, b) << "routine " << r << " combo " << combo
                                                << " masked " << masked << " width " << width
                                                << " level " << level << " level2 " << level2;
                                ++compared;
                            }
                        }
                    }
                }
            }
        }
    }
    RecordProperty("compared", compared);
}

// The alpha composite divides exactly: every source and destination channel
// value at every strength, over opaque and translucent destinations.
TEST(Kernels, AlphaCompositeIsExactEverywhere) {
    RowKernel ref = scalar_kernel(kAlpha, 15, false);
    for (RowKernel fast : {fast_kernel(kAlpha, 15, false), sse2_kernel_32(kAlpha, false)}) {
        BlendParams p;
        p.w = 256;
        p.tables = &blend_tables();
        std::vector<uint8_t> src(256 * 4), a(256 * 4), b(256 * 4);
        for (uint32_t alpha = 0; alpha < 256; ++alpha) {
            for (uint32_t dst_alpha : {255u, 0u, 1u, 128u, 254u}) {
                for (uint32_t s = 0; s < 256; ++s) {
                    for (uint32_t d = 0; d < 256; ++d) {
                        uint8_t* px = &src[4 * d];
                        px[0] = uint8_t(s), px[1] = uint8_t(255 - s), px[2] = uint8_t(s ^ d),
                        px[3] = uint8_t(alpha);
                        uint8_t* q = &a[4 * d];
                        q[0] = uint8_t(d), q[1] = uint8_t(d * 7), q[2] = uint8_t(255 - d),
                        q[3] = uint8_t(dst_alpha);
                    }
                    b = a;
                    ref(a.data(), src.data(), nullptr, 256, p);
                    fast(b.data(), src.data(), nullptr, 256, p);
                    ASSERT_EQ(a, b)
                        << "alpha " << alpha << " dst alpha " << dst_alpha << " s " << s;
                }
                if (dst_alpha != 255 && alpha % 15 != 0)
                    break;  // translucent: a sample of strengths
            }
        }
    }
}

// The composite at every pair of strength and destination alpha, with every
// channel difference S - D from -255 to 255: the vector kernels' one
// multiplier per pixel must give the exact quotient for all of them.
TEST(Kernels, AlphaCompositeIsExactForEveryAlphaPair) {
    RowKernel ref = scalar_kernel(kAlpha, 15, false);
    BlendParams p;
    p.w = 256;
    p.tables = &blend_tables();
    std::vector<uint8_t> src(256 * 4), dst(256 * 4);
    for (uint32_t i = 0; i < 256; ++i) {
        // Blue: S - D = i; green: -i; red: 2i - 255 over 255 - i.
        uint8_t* s = &src[4 * i];
        s[0] = uint8_t(i), s[1] = 0, s[2] = uint8_t(i);
        uint8_t* d = &dst[4 * i];
        d[0] = 0, d[1] = uint8_t(i), d[2] = uint8_t(255 - i);
    }
    for (RowKernel fast : {fast_kernel(kAlpha, 15, false), sse2_kernel_32(kAlpha, false)}) {
        for (uint32_t alpha = 0; alpha < 256; ++alpha) {
            for (uint32_t dst_alpha = 0; dst_alpha < 256; ++dst_alpha) {
                for (uint32_t i = 0; i < 256; ++i) {
                    src[4 * i + 3] = uint8_t(alpha);
                    dst[4 * i + 3] = uint8_t(dst_alpha);
                }
                std::vector<uint8_t> a = dst, b = dst;
                ref(a.data(), src.data(), nullptr, 256, p);
                fast(b.data(), src.data(), nullptr, 256, p);
                ASSERT_EQ(a, b) << "alpha " << alpha << " dst alpha " << dst_alpha;
            }
        }
    }
}

// Modes 7 and 10, plain and masked, at every level class, over the pages a
// copy meets: opaque (the screen), cleared (alpha 0), random alpha, rows that
// change from opaque to random in the middle of a vector, and 24-bit pages;
// sources with runs of alpha 0, 1, 254 and 255 among random values; widths
// that leave tails of every length.
namespace {

enum class Page { kOpaque, kCleared, kRandom, kOpaqueThenRandom, kRgb24 };

void expect_composite_matches(Routine r, bool masked, RowKernel fast, Page page,
                              std::mt19937& rng) {
    const uint32_t combo = page == Page::kRgb24 ? combination(32, 24) : combination(32, 32);
    const uint32_t db = page == Page::kRgb24 ? 3 : 4;
    RowKernel ref = scalar_kernel(r, combo, masked);
    for (uint32_t level : {1u, 2u, 127u, 128u, 254u, 255u}) {
        for (uint32_t width = 1; width <= 40; width += width < 20 ? 1 : 7) {
            BlendParams p;
            p.level = level, p.w = level + 1;
            p.level2 = 100, p.w2 = 101;
            p.colour2 = rng() & 0xFFFFFF;
            p.tables = &blend_tables();
            std::vector<uint8_t> src(width * 4), dst(width * db), mask(width);
            for (auto& b : src) b = uint8_t(rng());
            for (auto& b : dst) b = uint8_t(rng());
            for (auto& b : mask) b = uint8_t(rng());
            const uint8_t runs[] = {0, 1, 254, 255};
            for (uint32_t i = 0; i < width; ++i) {
                if (i % 11 < 4) {
                    src[4 * i + 3] = runs[i % 11];
                    mask[i] = runs[(i + 1) % 4];
                }
                if (page == Page::kOpaque || (page == Page::kOpaqueThenRandom && i < width / 2))
                    dst[4 * i + 3] = 255;
                else if (page == Page::kCleared)
                    dst[4 * i + 3] = 0;
            }
            std::vector<uint8_t> a = dst, b = dst;
            ref(a.data(), src.data(), mask.data(), width, p);
            fast(b.data(), src.data(), mask.data(), width, p);
            ASSERT_EQ(a, b) << "routine " << r << " masked " << masked << " level " << level
                            << " page " << int(page) << " width " << width;
        }
    }
}

}  // namespace

TEST(Kernels, AlphaCompositeMatchesOverEveryKindOfPage) {
    std::mt19937 rng(7);
    for (Routine r : {kAlpha, kTintAlpha}) {
        for (bool masked : {false, true}) {
            for (Page page :
                 {Page::kOpaque, Page::kCleared, Page::kRandom, Page::kOpaqueThenRandom}) {
                for (RowKernel fast :
                     {fast_kernel(r, combination(32, 32), masked), sse2_kernel_32(r, masked)}) {
                    expect_composite_matches(r, masked, fast, page, rng);
                    if (HasFatalFailure()) return;
                }
            }
            expect_composite_matches(r, masked, fast_kernel(r, combination(32, 24), masked),
                                     Page::kRgb24, rng);
            if (HasFatalFailure()) return;
        }
    }
}
