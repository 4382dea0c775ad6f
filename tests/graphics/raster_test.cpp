#include <gtest/gtest.h>

#include "graphics/colour.h"
#include "graphics_test_support.h"
#include "platform/byte_order.h"

using namespace tob;
using namespace tob::gfx;

namespace {

class Raster : public tob::test::GraphicsFixture {
  protected:
    // Plane 1 (8-bit) as text, '.' for 0, '#' for anything else.
    std::string picture() {
        std::string s;
        const Plane* p = plane(1);
        for (int y = 0; y < p->height(); ++y) {
            for (int x = 0; x < p->width(); ++x) s += *p->pixel_address(x, y) ? '#' : '.';
            s += '\n';
        }
        return s;
    }
    uint32_t poly(std::vector<int32_t> xy, uint32_t colour = 0x01000001) {
        std::vector<uint32_t> w(xy.begin(), xy.end());
        return call("gpoly", {1, put_words(w), uint32_t(xy.size() / 2), colour});
    }
};

}  // namespace

TEST_F(Raster, FillsConvertColoursAndKeepToTheClip) {
    ASSERT_EQ(call("galloc", {2, 5, 3, 32}), 1u);
    EXPECT_EQ(call("gfill", {2, 0, 0x80123456}), 1u);
    EXPECT_EQ(load_le32(plane(2)->pixel_address(4, 2)), 0x00123456u);  // alpha 0
    ASSERT_EQ(call("galloc", {3, 5, 3, 16}), 1u);
    EXPECT_EQ(call("gfill", {3, put_rect(1, 1, 3, 2), 0xFFFFFF}), 1u);
    EXPECT_EQ(load_le16(plane(3)->pixel_address(2, 1)), 0x7FFF);
    EXPECT_EQ(load_le16(plane(3)->pixel_address(3, 1)), 0);
    ASSERT_EQ(call("galloc", {4, 5, 3, 24}), 1u);
    EXPECT_EQ(call("gfill", {4, 0, 0x01000003}), 1u);
    EXPECT_EQ(read_pixel_rgb(*plane(4), 0, 0), default_palette_entry(3));

    ASSERT_EQ(call("galloc", {1, 6, 4, 8}), 1u);
    ASSERT_EQ(call("gclip", {1, put_rect(1, 1, 4, 3)}), 1u);
    EXPECT_EQ(call("gfill", {1, put_rect(-100, -100, 100, 100), 0x01000009}), 1u);
    EXPECT_EQ(picture(), "......\n.###..\n.###..\n......\n");
    EXPECT_EQ(call("gfill", {1, put_rect(4, 0, 6, 4), 0x01000009}), 0u);
    EXPECT_EQ(call("gfill", {1, put_rect(3, 3, 1, 1), 0x01000009}), 0u);
    ASSERT_EQ(call("galloc", {5, 8, 8, 4}), 1u);
    EXPECT_EQ(call("gfill", {5, 0, 0}), 0u);
}

TEST_F(Raster, StraightAndAntiAliasedLines) {
    ASSERT_EQ(call("galloc", {1, 6, 5, 8}), 1u);
    EXPECT_EQ(call("gline", {1, 4, 1, 1, 1, 0x01000001}), 1u);
    EXPECT_EQ(call("gline", {1, 5, 4, 5, uint32_t(-50), 0x01000001}), 1u);
    EXPECT_EQ(picture(), ".....#\n.#####\n.....#\n.....#\n.....#\n");
    EXPECT_EQ(call("gline", {1, 10, 0, 10, 4, 0x01000001}), 0u);
    EXPECT_EQ(
        call("gline", {1, uint32_t(-10), uint32_t(-10), uint32_t(-1), uint32_t(-3), 0x01000001}),
        0u);

    // A diagonal: the whole colour on the line, shares on its neighbours that
    // add up to the colour (white on black, per channel).
    ASSERT_EQ(call("galloc", {2, 8, 8, 24}), 1u);
    EXPECT_EQ(call("gline", {2, 0, 0, 7, 7, 0xFFFFFF}), 1u);
    for (int i = 0; i < 8; ++i) {
        uint32_t on = read_pixel_rgb(*plane(2), i, i);
        uint32_t below = i < 7 ? read_pixel_rgb(*plane(2), i, i + 1) : 0;
        EXPECT_EQ(blue_of(on) + blue_of(below), 255u) << i;
        EXPECT_GE(blue_of(on), 250u);
    }
    // A shallow line spreads its colour over two rows.
    ASSERT_EQ(call("galloc", {3, 9, 3, 24}), 1u);
    EXPECT_EQ(call("gline", {3, 0, 0, 8, 1, 0xFFFFFF}), 1u);
    for (int x = 0; x <= 8; ++x) {
        uint32_t sum = 0;
        for (int y = 0; y < 3; ++y) sum += blue_of(read_pixel_rgb(*plane(3), x, y));
        EXPECT_EQ(sum, 255u) << x;
    }

    // Cut by the plane's edges: the same pixels as on a bigger plane.
    ASSERT_EQ(call("galloc", {4, 40, 30, 32}), 1u);
    ASSERT_EQ(call("galloc", {5, 20, 15, 32}), 1u);
    call("gline", {4, uint32_t(-13), 27, 35, 2, 0xABCDEF});
    call("gline", {5, uint32_t(-13), 27, 35, 2, 0xABCDEF});
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(read_pixel_rgb(*plane(4), x, y), read_pixel_rgb(*plane(5), x, y));
    // Far-away end points cost no more than the plane.
    call("gline", {5, 0x80000000, 0x80000000, 0x7FFFFFFF, 0x7FFFFFFE, 0xFFFFFF});
    call("gline", {5, 0x80000000, 0x7FFFFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFFFF});
}

TEST_F(Raster, PolygonsFillEvenOdd) {
    ASSERT_EQ(call("galloc", {1, 8, 6, 8}), 1u);
    EXPECT_EQ(poly({1, 1, 5, 1, 5, 4, 1, 4}), 1u);
    EXPECT_EQ(picture(), "........\n.####...\n.####...\n.####...\n........\n........\n");

    // Two overlapping squares as one outline: the overlap is outside.
    call("gfill", {1, 0, 0x01000000});
    EXPECT_EQ(poly({0, 0, 4, 0, 4, 4, 2, 4, 2, 2, 6, 2, 6, 6, 0, 6, 0, 0}), 1u);
    EXPECT_EQ(call("gpoly", {1, put_words({0, 0, 4, 0, 4, 4}), 3, 0x01000001}), 1u);

    call("gfill", {1, 0, 0x01000000});
    EXPECT_EQ(poly({0, 0, 8, 0, 8, 6, 0, 6, 0, 0, 2, 2, 6, 2, 6, 4, 2, 4, 2, 2}), 1u);
    EXPECT_EQ(picture(), "########\n########\n##....##\n##....##\n########\n########\n");

    // The clip rectangle cuts the fill.
    call("gfill", {1, 0, 0x01000000});
    call("gclip", {1, put_rect(2, 1, 5, 3)});
    EXPECT_EQ(poly({-100, -100, 100, -100, 100, 100, -100, 100}), 1u);
    call("gclip", {1, 0});
    EXPECT_EQ(picture(), "........\n..###...\n..###...\n........\n........\n........\n");

    EXPECT_EQ(poly({0, 0, 5, 5}), 0u);
    EXPECT_EQ(call("gpoly", {1, 0, 3, 1}), 0u);
    EXPECT_EQ(call("gpoly", {1, put_words({0, 0}), 0x7FFFFFFF, 1}), 0u);
    // Extreme coordinates neither overflow nor take long.
    EXPECT_EQ(poly({INT32_MIN, INT32_MIN, INT32_MAX, INT32_MIN + 1, 3, INT32_MAX}), 1u);
}
