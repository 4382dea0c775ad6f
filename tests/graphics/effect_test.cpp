// The image effects: values that follow from their formulas, the fast paths
// against their plain references pixel for pixel, the warp effects, and the
// built-ins' handling of bad arguments.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <set>

#include "graphics/effects.h"
#include "graphics/warp.h"
#include "graphics_test_support.h"

namespace tob::test {
namespace {

using namespace gfx;

constexpr uint32_t kDepths[] = {8, 16, 24, 32};

class Effects : public GraphicsFixture {
  protected:
    Effects() {
        table.bind_all(effect_builtins());
        init_graphics_effects();
    }
    ~Effects() override { shutdown_graphics_effects(); }

    Plane* make(uint32_t n, int32_t w, int32_t h, uint32_t depth) {
        plane_table().put(n, Plane::create(mem, w, h, depth));
        return plane(n);
    }
    static uint8_t* at(Plane* p, int x, int y) { return p->row(y) + x * int(p->depth() / 8); }
    static uint32_t raw(Plane* p, int x, int y) {
        uint32_t v = 0;
        std::memcpy(&v, at(p, x, y), p->depth() / 8);
        return v;
    }
    static void set(Plane* p, int x, int y, uint32_t v) {
        std::memcpy(at(p, x, y), &v, p->depth() / 8);
    }
    void randomise(Plane* p, uint32_t seed) {
        std::mt19937 rng(seed);
        for (int y = 0; y < p->height(); ++y)
            for (int x = 0; x < p->width() * int(p->depth() / 8); ++x)
                p->row(y)[x] = uint8_t(rng());
    }
    static std::vector<uint8_t> pixels(Plane* p) {
        return std::vector<uint8_t>(p->bits(), p->bits() + p->bytes());
    }
    static bool same(Plane* a, Plane* b) { return pixels(a) == pixels(b); }
};

TEST_F(Effects, GradationAveragesTheFourNeighbours) {
    for (uint32_t depth : {8u, 32u}) {
        Plane* src = make(1, 3, 1, depth);
        Plane* dst = make(2, 3, 1, depth);
        const uint32_t fill = depth == 8 ? 1 : 0x01010101;
        for (int x = 0; x < 3; ++x) set(src, x, 0, uint32_t(40 * x) * fill);
        ASSERT_EQ(gradation(*dst, 0, 0, *src, std::nullopt), 1u);
        EXPECT_EQ(raw(dst, 0, 0), 10 * fill);
        EXPECT_EQ(raw(dst, 1, 0), 40 * fill);
        EXPECT_EQ(raw(dst, 2, 0), 70 * fill);
    }
    // 8 bits to 32 is not a pair it works on.
    EXPECT_EQ(gradation(*make(3, 3, 1, 32), 0, 0, *make(4, 3, 1, 8), std::nullopt), 0u);
    EXPECT_EQ(gradation(*make(3, 3, 1, 32), 0, 0, *make(4, 3, 1, 24), std::nullopt), 1u);
}

TEST_F(Effects, BlurRadiusOneAveragesThree) {
    for (uint32_t depth : {8u, 24u, 32u}) {
        Plane* src = make(1, 5, 1, depth);
        Plane* dst = make(2, 5, 1, depth);
        const uint32_t fill = depth == 8 ? 1 : depth == 24 ? 0x010101 : 0x01010101;
        set(src, 2, 0, 255 * fill);
        ASSERT_EQ(blur(*dst, 0, 0, *src, std::nullopt, 1), 1u);
        const uint32_t want[] = {0, 85, 85, 85, 0};
        for (int x = 0; x < 5; ++x) EXPECT_EQ(raw(dst, x, 0), want[x] * fill) << depth << " " << x;
    }
    EXPECT_EQ(blur(*make(1, 5, 1, 8), 0, 0, *make(2, 5, 1, 32), std::nullopt, 1), 0u);
}

// Running sums against the mean summed afresh; both methods, clipped areas,
// the same plane as source and destination.
TEST_F(Effects, BlurMatchesItsReference) {
    std::mt19937 rng(5);
    for (uint32_t depth : kDepths) {
        for (int32_t amount : {1, 2, 8, 127, 1000, -1, -3, -200}) {
            Plane* src = make(1, 37, 23, depth);
            randomise(src, rng());
            Plane* a = make(2, 41, 29, depth);
            randomise(a, 7);
            Plane* b = make(3, 41, 29, depth);
            randomise(b, 7);
            Rect r{3, 2, 33, 21};
            int32_t x = int32_t(rng() % 20) - 5, y = int32_t(rng() % 12) - 4;
            EXPECT_EQ(blur(*a, x, y, *src, r, amount), reference::blur(*b, x, y, *src, r, amount));
            EXPECT_TRUE(same(a, b)) << depth << " " << amount;
            // In place.
            Plane* c = make(4, 37, 23, depth);
            randomise(c, 3);
            Plane* d = make(5, 37, 23, depth);
            randomise(d, 3);
            blur(*c, 2, 1, *c, r, amount);
            reference::blur(*d, 2, 1, *d, r, amount);
            EXPECT_TRUE(same(c, d)) << depth << " " << amount;
        }
    }
}

TEST_F(Effects, MonotoneMapsBrightnessOntoTheRamp) {
    for (uint32_t depth : {16u, 32u}) {
        Plane* p = make(1, 32, 1, depth);
        for (int x = 0; x < 32; ++x)
            set(p, x, 0,
                depth == 16 ? uint32_t(x | x << 5 | x << 10) : uint32_t(x * 8) * 0x010101u);
        auto before = pixels(p);
        ASSERT_EQ(monotone(*p, std::nullopt, 0x000000, 0xFFFFFF), 1u);
        EXPECT_EQ(pixels(p), before) << depth;
    }
    EXPECT_EQ(monotone(*make(1, 4, 4, 8), std::nullopt, 0, 0xFFFFFF), 0u);
    // White on a dark-to-light ramp of red to blue gives the light colour;
    // alpha stays.
    Plane* p = make(2, 1, 1, 32);
    set(p, 0, 0, 0x7FFFFFFF);
    monotone(*p, std::nullopt, 0xFF0000, 0x0000FF);
    EXPECT_EQ(raw(p, 0, 0), 0x7F0000FFu);
}

TEST_F(Effects, TiledPlacesTheSourceCornerAtTheCentre) {
    Plane* src = make(1, 5, 3, 8);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) set(src, x, y, uint32_t(y * 5 + x));
    Plane* dst = make(2, 12, 9, 8);
    ASSERT_EQ(tiled(*dst, std::nullopt, *src, std::nullopt, 0, 0x10000), 1u);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 12; ++x) {
            const int sx = ((x - 6) % 5 + 5) % 5, sy = ((y - 4) % 3 + 3) % 3;
            ASSERT_EQ(raw(dst, x, y), uint32_t(sy * 5 + sx)) << x << "," << y;
        }
    EXPECT_EQ(tiled(*dst, std::nullopt, *make(3, 4, 4, 32), std::nullopt, 0, 0x10000), 0u);
    EXPECT_EQ(tiled(*make(4, 8, 8, 4), std::nullopt, *make(5, 8, 8, 4), std::nullopt, 0, 1), 1u);
}

TEST_F(Effects, TiledMatchesItsReference) {
    std::mt19937 rng(11);
    for (uint32_t depth : kDepths) {
        for (int32_t zoom : {0x10000, 0x18000, 0x4000, 0, 1, -0x10000, 0x7FFFFFFF, INT32_MIN}) {
            const int32_t angle = int32_t(rng());
            Plane* src = make(1, 16 + int(rng() % 20), 8 + int(rng() % 20), depth);
            randomise(src, rng());
            Plane* a = make(2, 50, 40, depth);
            Plane* b = make(3, 50, 40, depth);
            Rect d{-3, 5, 47, 60};
            Rect s{1, 2, 13, 7};
            EXPECT_EQ(tiled(*a, d, *src, s, angle, zoom),
                      reference::tiled(*b, d, *src, s, angle, zoom));
            EXPECT_TRUE(same(a, b)) << depth << " zoom " << zoom << " angle " << angle;
        }
    }
}

TEST_F(Effects, ScrollWrapsTheArea) {
    Plane* p = make(1, 8, 6, 8);
    auto value = [](int x, int y) { return uint32_t(y * 16 + x); };
    struct Case {
        int32_t dx, dy;
    } cases[] = {{1, 0}, {0, 1}, {3, 2}, {-1, -1}, {9, 13}, {INT32_MIN, INT32_MAX}, {0, 0}};
    const Rect r{1, 1, 7, 5};  // 6 x 4
    for (const Case& c : cases) {
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 8; ++x) set(p, x, y, value(x, y));
        ASSERT_EQ(scroll(*p, r, c.dx, c.dy), 1u);
        const int sx = int(((int64_t(c.dx) % 6) + 6) % 6), sy = int(((int64_t(c.dy) % 4) + 4) % 4);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 8; ++x) {
                uint32_t want = value(x, y);
                if (x >= 1 && x < 7 && y >= 1 && y < 5)
                    want = value(1 + (x - 1 + sx) % 6, 1 + (y - 1 + sy) % 4);
                ASSERT_EQ(raw(p, x, y), want) << c.dx << "," << c.dy << " at " << x << "," << y;
            }
    }
}

TEST_F(Effects, MosaicFillsBlocksWithTheirCornerAverage) {
    Plane* src = make(1, 5, 3, 8);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) set(src, x, y, uint32_t(y * 40 + x * 8));
    Plane* dst = make(2, 5, 3, 8);
    ASSERT_EQ(mosaic(*dst, 0, 0, *src, std::nullopt, -2, 2), 1u);
    // Blocks: columns 0-1, 2-3, 4; rows 0-1, 2.
    auto corner_mean = [&](int l, int t, int r, int b) {
        return (raw(src, l, t) + raw(src, r, t) + raw(src, l, b) + raw(src, r, b)) >> 2;
    };
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const int l = x / 2 * 2, t = y / 2 * 2;
            EXPECT_EQ(raw(dst, x, y), corner_mean(l, t, std::min(l + 1, 4), std::min(t + 1, 2)))
                << x << "," << y;
        }
    // Both sizes under 2: a plain copy.
    Plane* copy = make(3, 5, 3, 8);
    EXPECT_EQ(mosaic(*copy, 0, 0, *src, std::nullopt, 1, 0), 1u);
    EXPECT_TRUE(same(copy, src));
}

TEST_F(Effects, SmoothStartsStepsAndStaysInside) {
    struct Case {
        int32_t sw, dw;
        std::vector<uint32_t> row, want;
    } cases[] = {
        {3, 2, {0, 100, 200}, {25, 174}},            // start 1/4, step 3/2
        {2, 4, {0, 255}, {0, 62, 126, 190}},         // enlarging: start 0
        {4, 4, {10, 20, 30, 40}, {10, 17, 24, 32}},  // equal sizes step 3/4
    };
    for (const Case& c : cases) {
        Plane* src = make(1, c.sw, 2, 8);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < c.sw; ++x) set(src, x, y, c.row[size_t(x)]);
        Plane* dst = make(2, c.dw, 2, 8);
        ASSERT_EQ(smooth(*dst, std::nullopt, *src, std::nullopt, -1), 1u);
        for (int x = 0; x < c.dw; ++x)
            EXPECT_EQ(raw(dst, x, 0), c.want[size_t(x)]) << c.sw << "->" << c.dw;
    }
    // A source rectangle inside a plane of 255s never reads them.
    Plane* src = make(1, 12, 12, 8);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) set(src, x, y, x >= 3 && x < 9 && y >= 3 && y < 9 ? 7 : 255);
    for (int32_t size : {2, 3, 5, 6, 7, 40}) {
        Plane* dst = make(2, size, size, 8);
        smooth(*dst, std::nullopt, *src, Rect{3, 3, 9, 9}, -1);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) ASSERT_EQ(raw(dst, x, y), 7u) << size;
    }
    EXPECT_EQ(smooth(*make(2, 1, 5, 8), std::nullopt, *src, std::nullopt, -1), 0u);
}

TEST_F(Effects, SmoothMatchesItsReference) {
    std::mt19937 rng(3);
    for (uint32_t depth : kDepths) {
        for (int k = 0; k < 6; ++k) {
            Plane* src = make(1, 2 + int(rng() % 30), 2 + int(rng() % 30), depth);
            randomise(src, rng());
            Plane* a = make(2, 40, 40, depth);
            Plane* b = make(3, 40, 40, depth);
            Rect d{int32_t(rng() % 10) - 5, int32_t(rng() % 10) - 5, 0, 0};
            d.right = d.left + 2 + int32_t(rng() % 50);
            d.bottom = d.top + 2 + int32_t(rng() % 50);
            EXPECT_EQ(smooth(*a, d, *src, std::nullopt, -1),
                      reference::smooth(*b, d, *src, std::nullopt, -1));
            EXPECT_TRUE(same(a, b)) << depth << " case " << k;
        }
    }
}

TEST_F(Effects, NoiseAddsWithinTheThreshold) {
    for (uint32_t depth : {16u, 24u, 32u}) {
        Plane* p = make(1, 64, 16, depth);
        randomise(p, 9);
        auto before = pixels(p);
        EXPECT_EQ(noise(*p, std::nullopt, 0), 1u);
        EXPECT_EQ(pixels(p), before);
        ASSERT_EQ(noise(*p, std::nullopt, 40), 1u);
        bool changed = false;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 64; ++x) {
                const uint8_t* now = at(p, x, y);
                const uint8_t* was = &before[size_t(now - p->bits())];
                if (depth == 16) {
                    const uint32_t a = uint32_t(now[0] | now[1] << 8),
                                   b = uint32_t(was[0] | was[1] << 8);
                    for (int f = 0; f < 15; f += 5) {
                        const uint32_t fa = (a >> f) & 31, fb = (b >> f) & 31;
                        ASSERT_GE(fa, fb);
                        ASSERT_LE(fa - fb, 40u >> 3);  // v - (t >> 3) < 32 - 26
                        changed |= fa != fb;
                    }
                } else {
                    for (int ch = 0; ch < 3; ++ch) {
                        ASSERT_GE(now[ch], was[ch]);
                        ASSERT_LE(now[ch] - was[ch], 40);
                        changed |= now[ch] != was[ch];
                    }
                    if (depth == 32) {
                        ASSERT_EQ(now[3], was[3]);
                    }
                }
            }
        EXPECT_TRUE(changed) << depth;
    }
    EXPECT_EQ(noise(*make(1, 8, 8, 8), std::nullopt, 40), 0u);
}

TEST_F(Effects, SliceShiftsRowsWithinTheAmount) {
    Plane* p = make(1, 64, 40, 32);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 64; ++x) set(p, x, y, uint32_t(x + 1));
    EXPECT_EQ(slice(*p, std::nullopt, 0), 1u);
    ASSERT_EQ(slice(*p, std::nullopt, 64), 1u);  // k = 16
    std::set<int> shifts;
    for (int y = 0; y < 40; ++y) {
        // The shift is where the value of column 0 went.
        int s = 0;
        if (raw(p, 0, y) == 0) {
            while (s < 64 && raw(p, s, y) == 0) ++s;
        } else {
            s = -int(raw(p, 0, y) - 1);
        }
        ASSERT_GE(s, -16);
        ASSERT_LT(s, 16);
        shifts.insert(s);
        for (int x = 0; x < 64; ++x) {
            const int from = x - s;
            ASSERT_EQ(raw(p, x, y), from >= 0 && from < 64 ? uint32_t(from + 1) : 0u);
        }
    }
    EXPECT_GT(shifts.size(), 5u);
}

TEST_F(Effects, FirePixelsOnlyCool) {
    for (uint32_t depth : kDepths) {
        Plane* p = make(1, 16, 12, depth);
        const uint32_t colour = depth == 8    ? 200
                                : depth == 16 ? (20 | 10 << 5 | 5 << 10)
                                              : 0x80C86432;
        const uint32_t cooler = depth == 8    ? 198
                                : depth == 16 ? (19 | 9 << 5 | 4 << 10)
                                              : 0x80C76331;
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 16; ++x) set(p, x, y, colour & (depth == 24 ? 0xFFFFFF : ~0u));
        ASSERT_EQ(fire(*p, std::nullopt), 1u);
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 16; ++x) {
                const uint32_t v = raw(p, x, y);
                const uint32_t c = colour & (depth == 24 ? 0xFFFFFF : ~0u);
                const uint32_t k = cooler & (depth == 24 ? 0xFFFFFF : ~0u);
                if (y == 11)
                    ASSERT_EQ(v, c);
                else
                    ASSERT_TRUE(v == c || v == k) << depth << " " << std::hex << v;
            }
    }
}

TEST_F(Effects, FreemapAndRotateCopyExactly) {
    for (uint32_t depth : kDepths) {
        Plane* src = make(1, 31, 20, depth);
        randomise(src, depth);
        Plane* dst = make(2, 31, 20, depth);
        ASSERT_EQ(freemap(*dst, std::nullopt, *src, std::nullopt, -1), 1u);
        EXPECT_TRUE(same(dst, src)) << depth;
        Plane* r0 = make(3, 31, 20, depth);
        ASSERT_EQ(rotate(*r0, std::nullopt, *src, std::nullopt, 0, -1), 1u);
        EXPECT_TRUE(same(r0, src)) << depth;
        Plane* r1 = make(4, 31, 20, depth);
        ASSERT_EQ(rotate(*r1, std::nullopt, *src, std::nullopt, 1024, -1), 1u);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 31; ++x)
                ASSERT_EQ(raw(r1, x, y), raw(src, 30 - x, 19 - y)) << depth;
    }
}

// A rectangle drawn as two triangles covers its whole closed box: no seam
// along the diagonal, nothing outside.
TEST_F(Effects, FreemapCoversAQuadWithoutSeams) {
    Plane* src = make(1, 40, 30, 32);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) set(src, x, y, 0xFF000000u | uint32_t(x << 8 | y));
    for (Quad q : {Quad{QuadPoint{3, 4}, {3, 46}, {59, 46}, {59, 4}},
                   Quad{QuadPoint{10, 2}, {2, 40}, {50, 48}, {58, 8}}}) {
        Plane* dst = make(2, 64, 52, 32);
        ASSERT_EQ(freemap(*dst, q, *src, std::nullopt, -1), 1u);
        for (int y = 0; y < 52; ++y) {
            int first = -1, last = -1, count = 0;
            for (int x = 0; x < 64; ++x)
                if (raw(dst, x, y)) {
                    if (first < 0) first = x;
                    last = x, ++count;
                }
            if (count) {
                EXPECT_EQ(count, last - first + 1) << "hole in row " << y;
            }
        }
        if (q[0].x == 3) {
            for (int y = 0; y < 52; ++y)
                for (int x = 0; x < 64; ++x)
                    ASSERT_EQ(raw(dst, x, y) != 0, x >= 3 && x <= 59 && y >= 4 && y <= 46)
                        << x << "," << y;
            // Corners show the source's corners.
            EXPECT_EQ(raw(dst, 3, 4), raw(src, 0, 0));
            EXPECT_EQ(raw(dst, 59, 46), raw(src, 39, 29));
            EXPECT_EQ(raw(dst, 3, 46), raw(src, 0, 29));
            EXPECT_EQ(raw(dst, 59, 4), raw(src, 39, 0));
        }
    }
    // The key colour is not drawn.
    Plane* dst = make(2, 40, 30, 32);
    set(dst, 0, 0, 0x12345678);
    freemap(*dst, std::nullopt, *src, std::nullopt, int32_t(raw(src, 0, 0) & 0xFFFFFF));
    EXPECT_EQ(raw(dst, 0, 0), 0x12345678u);
}

// ---- warp effects ----------------------------------------------------------

TEST_F(Effects, WarpsReproduceTheSourceWhenFlat) {
    for (uint32_t depth : kDepths) {
        Plane* src = make(1, 64, 32, depth);
        randomise(src, depth + 1);
        Plane* dst = make(2, 64, 32, depth);
        ASSERT_EQ(ef_init(0, 2, std::nullopt, 1, std::nullopt), 1u);
        ASSERT_EQ(ef_rotate(0, 32, 16, 0x10000, 0), 1u);
        EXPECT_TRUE(same(dst, src)) << depth;
        make(2, 64, 32, depth);
        ASSERT_EQ(ef_init(0, 2, std::nullopt, 1, std::nullopt), 1u);
        ASSERT_EQ(ef_water(0), 1u);
        EXPECT_TRUE(same(plane(2), src)) << depth;
    }
}

// Each effect draws fast; the plain per-pixel drawing of the same grid over
// it must change nothing.
TEST_F(Effects, WarpDrawingMatchesItsReference) {
    std::mt19937 rng(17);
    using Step = std::function<uint32_t()>;
    const Step steps[] = {
        [] { return ef_rotate(0, 20, 10, 0x14000, 300); },
        [] { return ef_tunnel(0, 40, 77); },
        [] { return ef_land(0, 800, 100, 40); },
        [] { return ef_ball(0, 120, 50, 300); },
        [] { return ef_whirl(0, 3); },
        [] { return ef_raster(0, 9, 40, 12); },
        [] { return uint32_t(ef_blob(0, -1, -1, 20, 300) && ef_water(0) && ef_water(0)); },
    };
    for (uint32_t depth : kDepths) {
        for (auto [sw, sh] : {std::pair{45, 27}, std::pair{64, 32}}) {
            Plane* src = make(1, 50, 37, depth);
            randomise(src, rng());
            Plane* dst = make(2, 83, 61, depth);
            for (size_t k = 0; k < std::size(steps); ++k) {
                ASSERT_EQ(ef_init(0, 2, Rect{5, 3, 80, 60}, 1, Rect{2, 3, 2 + sw, 3 + sh}), 1u);
                ASSERT_EQ(steps[k](), 1u) << k;
                const auto fast = pixels(dst);
                ASSERT_EQ(ef_redraw_reference(0), 1u);
                EXPECT_EQ(pixels(dst), fast) << "depth " << depth << " effect " << k;
            }
        }
    }
}

TEST_F(Effects, BlobsRaiseOnlyNearbyCellsAndRipplesDieAway) {
    make(1, 64, 64, 32);
    make(2, 128, 128, 32);
    ASSERT_EQ(ef_init(3, 2, std::nullopt, 1, std::nullopt), 1u);
    ASSERT_EQ(ef_blob(3, 64, 64, 9, 100), 1u);  // cell radius 2 at grid point (8, 8)
    for (int j = -1; j <= 17; ++j)
        for (int i = -1; i <= 17; ++i) {
            const int32_t h = ef_water_height(3, 0, i, j);
            if (std::hypot(i - 8, j - 8) > 2) {
                ASSERT_EQ(h, 0) << i << "," << j;
            }
        }
    EXPECT_EQ(ef_water_height(3, 0, 8, 8), 100);
    auto energy = [] {
        int64_t e = 0;
        for (int j = 0; j <= 16; ++j)
            for (int i = 0; i <= 16; ++i) e += std::abs(ef_water_height(3, 1, i, j));
        return e;
    };
    auto spread = [] {
        int far = 0;
        for (int j = 0; j <= 16; ++j)
            for (int i = 0; i <= 16; ++i)
                if (ef_water_height(3, 1, i, j) && std::hypot(i - 8, j - 8) > 4) ++far;
        return far;
    };
    for (int k = 0; k < 6; ++k) ASSERT_EQ(ef_water(3), 1u);
    EXPECT_GT(spread(), 0);
    const int64_t early = energy();
    for (int k = 0; k < 200; ++k) ef_water(3);
    EXPECT_LT(energy(), early / 4);
    // Huge strengths saturate instead of wrapping.
    ASSERT_EQ(ef_blob(3, 64, 64, 9, INT32_MAX), 1u);
    EXPECT_EQ(ef_water_height(3, 0, 8, 8), INT16_MAX);
    EXPECT_EQ(ef_blob(3, -1, -1, 1000, 5), 1u);  // a grid no wider than 2R: the middle
}

TEST_F(Effects, WarpsRefuseBadSlotsAndStalePlanes) {
    make(1, 64, 64, 32);
    make(2, 64, 64, 32);
    EXPECT_EQ(ef_init(8, 2, std::nullopt, 1, std::nullopt), 0u);
    EXPECT_EQ(ef_init(0, 2, Rect{0, 0, 7, 64}, 1, std::nullopt), 0u);  // under 8 wide
    EXPECT_EQ(ef_init(0, 2, std::nullopt, 3, std::nullopt), 0u);       // no source
    make(4, 64, 64, 16);
    EXPECT_EQ(ef_init(0, 4, std::nullopt, 1, std::nullopt), 0u);  // depths differ
    const std::vector<uint32_t> slot8[] = {{8, 1, 1, 0x10000, 0}, {8, 1, 1}, {8, 1, 1, 1},
                                           {8, 1, 1, 1},          {8, 1},    {8, 1, 1, 1},
                                           {8, 1, 1, 1, 1},       {8},       {8}};
    const char* names[] = {"ef_rotate", "ef_tunnel", "ef_land",  "ef_ball", "ef_whirl",
                           "ef_raster", "ef_blob",   "ef_water", "ef_free"};
    for (size_t k = 0; k < std::size(names); ++k)
        EXPECT_EQ(call(names[k], slot8[k]), 0u) << names[k];
    // Slot 5 was never made.
    EXPECT_EQ(ef_water(5), 0u);
    // A freed plane, and one replaced by another size.
    ASSERT_EQ(ef_init(0, 2, std::nullopt, 1, std::nullopt), 1u);
    ASSERT_EQ(ef_whirl(0, 2), 1u);
    plane_table().clear(1);
    EXPECT_EQ(ef_whirl(0, 2), 0u);
    make(1, 64, 64, 32);
    EXPECT_EQ(ef_whirl(0, 2), 1u);
    make(2, 32, 64, 32);
    EXPECT_EQ(ef_water(0), 0u);
    EXPECT_EQ(ef_rotate(0, 0, 0, 1, 1), 0u);
}

TEST_F(Effects, BuiltinsTranslateArguments) {
    make(1, 16, 16, 32);
    make(2, 16, 16, 32);
    const ScriptAddr rect = put_rect(0, 0, 8, 8);
    EXPECT_EQ(call("blur", {2, 0, 0, 1, rect, 2}), 1u);
    EXPECT_EQ(call("blur", {2, 0, 0, 1, 0xFFFFFFF0u, 2}), 0u);  // bad rectangle pointer
    EXPECT_EQ(call("freemap", {2, 0, 1, 0, 0xFFFFFFFFu}), 1u);
    EXPECT_EQ(call("freemap", {2, 0xFFFFFFF0u, 1, 0, 0xFFFFFFFFu}), 0u);
    EXPECT_EQ(call("tiled", {2, 0, 1, rect, 100, 0}), 1u);
    EXPECT_EQ(call("smooth", {2, 0, 9, 0, 0xFFFFFFFFu}), 0u);  // no plane 9
    EXPECT_EQ(call("ef_init", {0, 2, rect, 1, 0}), 1u);
    EXPECT_EQ(call("ef_raster", {0, 1, 0, 50}), 1u);  // period 0: no wave
    EXPECT_EQ(call("ef_free", {0}), 1u);
}

}  // namespace
}  // namespace tob::test
