#include <gtest/gtest.h>

#include <random>

#include "graphics/blend_mode.h"
#include "graphics/blitter.h"
#include "graphics/colour.h"
#include "graphics_test_support.h"
#include "platform/byte_order.h"

using namespace tob;
using namespace tob::gfx;

namespace {

constexpr uint32_t kCopyDepths[] = {8, 16, 24, 32};

class Blits : public tob::test::GraphicsFixture {
  protected:
    std::mt19937 rng{1234};

    void random_plane(uint32_t n, int w, int h, uint32_t depth) {
        ASSERT_EQ(call("galloc", {n, uint32_t(w), uint32_t(h), depth}), 1u);
        Plane* p = plane(n);
        for (uint32_t i = 0; i < p->bytes(); ++i) p->bits()[i] = uint8_t(rng());
        for (uint32_t i = 0; i < p->colour_count(); ++i) p->set_colour(i, rng() & 0xFFFFFF);
    }
    // Plane `to` becomes a copy of plane `from`.
    void clone(uint32_t from, uint32_t to) {
        const Plane* f = plane(from);
        ASSERT_EQ(call("galloc", {to, uint32_t(f->width()), uint32_t(f->height()), f->depth()}),
                  1u);
        std::memcpy(plane(to)->bits(), f->bits(), f->bytes());
        for (uint32_t i = 0; i < f->colour_count(); ++i) plane(to)->set_colour(i, f->colour(i));
    }
    bool same_pixels(uint32_t a, uint32_t b, Box area) {
        const Plane *p = plane(a), *q = plane(b);
        uint32_t bpp = p->depth() / 8;
        for (int64_t y = area.top; y < area.bottom; ++y)
            if (std::memcmp(p->row(int32_t(y)) + area.left * bpp,
                            q->row(int32_t(y)) + area.left * bpp, size_t(area.width()) * bpp) != 0)
                return false;
        return true;
    }
    ScriptAddr record(uint8_t mode, uint8_t level, uint8_t level2, uint32_t c1, uint32_t c2,
                      uint8_t channels = 7) {
        uint8_t b[12] = {mode, channels, level, level2};
        store_le32(b + 4, c1);
        store_le32(b + 8, c2);
        return put(b, sizeof b);
    }
};

}  // namespace

// gcopy and gblit at 1:1 run the same routines: for every mode and depth pair,
// with and without a mask plane, the pixels are identical.
TEST_F(Blits, UnscaledAndScaledCopiesAgree) {
    const uint8_t levels[] = {0, 1, 128, 254, 255};
    for (uint32_t sd : kCopyDepths) {
        for (uint32_t dd : kCopyDepths) {
            random_plane(1, 13, 7, sd);
            random_plane(2, 17, 9, dd);
            random_plane(5, 13, 7, 8);
            for (uint8_t mode = 0; mode < 36; ++mode) {
                for (bool masked : {false, true}) {
                    call(masked ? "gattach" : "gdetach", {1, 5});
                    uint8_t level = levels[rng() % 5], level2 = levels[rng() % 5];
                    ScriptAddr rec = record(mode, level, level2, rng() & 0x1FFFFFF,
                                            rng() & 0xFFFFFF, uint8_t(rng()));
                    clone(2, 3);
                    clone(2, 4);
                    ScriptAddr src = put_rect(2, 1, 12, 7);
                    uint32_t a = call("gcopy", {3, 4, 2, 1, src, rec});
                    uint32_t b = call("gblit", {4, put_rect(4, 2, 14, 8), 1, src, rec, 0});
                    SCOPED_TRACE(testing::Message() << sd << "->" << dd << " mode " << int(mode)
                                                    << " masked " << masked);
                    EXPECT_EQ(a, b);
                    EXPECT_TRUE(same_pixels(3, 4, plane(3)->bounds()));
                }
            }
        }
    }
}

TEST_F(Blits, EqualitiesOfModesMirrorsAndAngles) {
    for (uint32_t sd : kCopyDepths) {
        for (uint32_t dd : kCopyDepths) {
            SCOPED_TRACE(testing::Message() << sd << "->" << dd);
            random_plane(1, 11, 6, sd);
            random_plane(2, 11, 6, dd);
            // Mode 3 at level 255 is mode 0; at level 0 it draws nothing.
            clone(2, 3);
            clone(2, 4);
            call("gcopy", {3, 0, 0, 1, 0, record(3, 255, 0, 0, 0)});
            call("gcopy", {4, 0, 0, 1, 0, record(0, 0, 0, 0, 0)});
            EXPECT_TRUE(same_pixels(3, 4, plane(3)->bounds()));
            clone(2, 3);
            call("gcopy", {3, 0, 0, 1, 0, record(3, 0, 0, 0, 0)});
            EXPECT_TRUE(same_pixels(2, 3, plane(3)->bounds()));
            // Mirroring both rectangles cancels.
            clone(2, 3);
            clone(2, 4);
            call("gblit", {3, put_rect(1, 1, 9, 5), 1, put_rect(0, 0, 5, 6), 0, 0});
            call("gblit", {4, put_rect(9, 5, 1, 1), 1, put_rect(5, 6, 0, 0), 0, 0});
            EXPECT_TRUE(same_pixels(3, 4, plane(3)->bounds()));
            // Angle 2048 is angle 0.
            clone(2, 3);
            clone(2, 4);
            call("gblit", {3, put_rect(1, 1, 9, 5), 1, 0, 0, 2048});
            call("gblit", {4, put_rect(1, 1, 9, 5), 1, 0, 0, 0});
            EXPECT_TRUE(same_pixels(3, 4, plane(3)->bounds()));
        }
    }
}

// A draw cut by the clip rectangle (or by the source's edges) gives the
// pixels of the uncut draw inside the clip and leaves the rest alone.
TEST_F(Blits, ClippedDrawsAreCroppedUnclippedDraws) {
    random_plane(1, 40, 30, 32);
    random_plane(2, 50, 40, 32);
    struct Case {
        const char* builtin;
        std::vector<int32_t> drect, srect;  // gcopy: drect holds x, y
        uint32_t angle;
    } cases[] = {
        {"gcopy", {-5, 3}, {0, 0, 40, 30}, 0},
        {"gcopy", {20, 12}, {-4, -4, 30, 20}, 0},
        {"gblit", {-7, -3, 45, 37}, {3, 2, 38, 29}, 0},     // scaled up
        {"gblit", {44, 31, 2, -9}, {0, 0, 40, 30}, 0},      // mirrored
        {"gblit", {5, 5, 20, 12}, {-10, -10, 50, 40}, 0},   // scaled down, source cut
        {"gblit", {-10, -6, 40, 30}, {0, 0, 40, 30}, 300},  // rotated
    };
    ScriptAddr rec = record(7, 200, 0, 0, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.builtin);
        clone(2, 3);
        clone(2, 4);
        ScriptAddr s = put_rect(c.srect[0], c.srect[1], c.srect[2], c.srect[3]);
        auto draw = [&](uint32_t n) {
            if (std::string(c.builtin) == "gcopy")
                return call("gcopy", {n, uint32_t(c.drect[0]), uint32_t(c.drect[1]), 1, s, rec});
            return call("gblit", {n, put_rect(c.drect[0], c.drect[1], c.drect[2], c.drect[3]), 1, s,
                                  rec, c.angle});
        };
        EXPECT_EQ(draw(3), 1u);
        ASSERT_EQ(call("gclip", {4, put_rect(8, 6, 31, 23)}), 1u);
        EXPECT_EQ(draw(4), 1u);
        Box clip{8, 6, 31, 23};
        EXPECT_TRUE(same_pixels(3, 4, clip));
        for (int64_t y = 0; y < 40; ++y)
            for (int64_t x = 0; x < 50; ++x)
                if (x < clip.left || x >= clip.right || y < clip.top || y >= clip.bottom) {
                    ASSERT_EQ(std::memcmp(plane(4)->pixel_address(x, y),
                                          plane(2)->pixel_address(x, y), 4),
                              0);
                }
    }
}

TEST_F(Blits, OverlappingCopiesWithinOnePlane) {
    for (int dx : {-3, 0, 3}) {
        for (int dy : {-2, 0, 2}) {
            random_plane(1, 20, 12, 24);
            clone(1, 2);  // reference source, untouched
            clone(1, 3);
            ScriptAddr src = put_rect(4, 3, 15, 9);
            call("gcopy", {1, uint32_t(4 + dx), uint32_t(3 + dy), 1, src, 0});
            call("gcopy", {3, uint32_t(4 + dx), uint32_t(3 + dy), 2, src, 0});
            EXPECT_TRUE(same_pixels(1, 3, plane(1)->bounds())) << dx << "," << dy;
            // Scaled and mirrored onto itself as well.
            clone(1, 2);
            clone(1, 3);
            ScriptAddr d = put_rect(18, 10, 1, 0);
            call("gblit", {1, d, 1, src, 0, 0});
            call("gblit", {3, d, 2, src, 0, 0});
            EXPECT_TRUE(same_pixels(1, 3, plane(1)->bounds())) << dx << "," << dy;
        }
    }
}

TEST_F(Blits, MaskPlaneReplacesSourceAlphaAndCutsTheSource) {
    random_plane(1, 8, 8, 24);
    ASSERT_EQ(call("galloc", {5, 4, 8, 8}), 1u);  // narrower mask
    std::memset(plane(5)->bits(), 255, plane(5)->bytes());
    ASSERT_EQ(call("galloc", {2, 8, 8, 32}), 1u);
    call("gattach", {1, 5});
    EXPECT_EQ(call("gcopy", {2, 0, 0, 1, 0, record(7, 255, 0, 0, 0)}), 1u);
    // Copied where the mask is, nothing to the right of it.
    EXPECT_EQ(load_le32(plane(2)->pixel_address(3, 2)),
              0xFF000000 | read_pixel_rgb(*plane(1), 3, 2));
    EXPECT_EQ(load_le32(plane(2)->pixel_address(4, 2)), 0u);
    // Modes that read no mask copy the whole source.
    EXPECT_EQ(call("gcopy", {2, 0, 0, 1, 0, record(0, 0, 0, 0, 0)}), 1u);
    EXPECT_EQ(load_le32(plane(2)->pixel_address(6, 2)),
              0xFF000000 | read_pixel_rgb(*plane(1), 6, 2));
}

TEST_F(Blits, HostileRectanglesAndEmptyCopies) {
    random_plane(1, 16, 16, 32);
    random_plane(2, 16, 16, 32);
    const int32_t M = INT32_MIN, X = INT32_MAX;
    const std::vector<std::vector<int32_t>> rects = {
        {0, 0, 0, 0},     {5, 5, 5, 9},     {M, M, X, X}, {X, X, M, M},
        {M, 0, M + 1, 1}, {X - 1, 0, X, 1}, {0, 0, X, 1}, {-1, -1, 1, 1}};
    for (const auto& d : rects) {
        for (const auto& s : rects) {
            ScriptAddr dr = put_rect(d[0], d[1], d[2], d[3]), sr = put_rect(s[0], s[1], s[2], s[3]);
            for (uint32_t angle : {0u, 1u, 700u}) call("gblit", {2, dr, 1, sr, 0, angle});
            call("gcopy", {2, uint32_t(d[0]), uint32_t(d[1]), 1, sr, 0});
        }
    }
    EXPECT_EQ(call("gcopy", {2, 0, 0, 1, put_rect(3, 3, 3, 8), 0}), 0u);
    EXPECT_EQ(call("gcopy", {2, 16, 0, 1, 0, 0}), 0u);
    EXPECT_EQ(call("gblit", {2, put_rect(2, 2, 2, 9), 1, 0, 0, 0}), 0u);
    EXPECT_EQ(call("gblit", {2, 0, 1, put_rect(4, 4, 9, 4), 0, 0}), 0u);
}

TEST_F(Blits, RotationTurnsThePicture) {
    // A quarter turn of a 4x2 picture centred in an 8x8 plane stands it up.
    ASSERT_EQ(call("galloc", {1, 4, 2, 8}), 1u);
    for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 2; ++y) *plane(1)->pixel_address(x, y) = uint8_t(1 + x + 4 * y);
    ASSERT_EQ(call("galloc", {2, 8, 8, 8}), 1u);
    EXPECT_EQ(call("gblit", {2, put_rect(2, 3, 6, 5), 1, 0, 0, 512}), 1u);
    std::string got;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) got += char('0' + *plane(2)->pixel_address(x, y));
        got += '\n';
    }
    EXPECT_EQ(got,
              "00000000\n"
              "00000000\n"
              "00051000\n"
              "00062000\n"
              "00073000\n"
              "00084000\n"
              "00000000\n"
              "00000000\n");
}
