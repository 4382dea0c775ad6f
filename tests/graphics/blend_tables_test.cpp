#include "graphics/blend_tables.h"

#include <gtest/gtest.h>

#include <cmath>

#include "graphics/colour.h"

using namespace tob::gfx;

// Each table checked over all 65,536 cells against its formula, written out
// here independently of the builder.
TEST(BlendTables, EveryCellMatchesItsFormula) {
    const BlendTables& t = blend_tables();
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            SCOPED_TRACE(testing::Message() << "a=" << a << " b=" << b);
            ASSERT_EQ(t.at(kTableMultiply, a, b), (a * b + 128) / 255);
            double x = a ? double(b) / a : 0;
            int combined =
                a == 0 ? 255 : int(std::min(255L, std::lround(255 * x / (1 - b / 255.0 + x))));
            ASSERT_EQ(t.at(kTableCombined, a, b), combined);
            ASSERT_EQ(t.at(kTableOverlay, a, b),
                      b < 128 ? 2 * a * b / 255 : 255 - 2 * (255 - a) * (255 - b) / 255);
            ASSERT_EQ(t.at(kTableHardLight, a, b),
                      a < 128 ? 2 * a * b / 255 : 255 - 2 * (255 - a) * (255 - b) / 255);
            double sa = a / 255.0, sb = b / 255.0;
            double lift = sb <= 32.0 / 255.0 ? ((16 * sb - 12) * sb + 4) * sb : std::sqrt(sb);
            double soft =
                sa <= 0.5 ? sb + (sb - sb * sb) * (2 * sa - 1) : sb + (lift - sb) * (2 * sa - 1);
            ASSERT_EQ(t.at(kTableSoftLight, a, b), std::clamp(std::lround(255 * soft), 0L, 255L));
            int dodge = a + b > 255 ? 255 : b == 0 ? 0 : 255 * b / (255 - a);
            ASSERT_EQ(t.at(kTableDodge, a, b), dodge);
            int burn = a + b < 255 ? 0 : a == 0 ? 255 : 255 - 255 * (255 - b) / a;
            ASSERT_EQ(t.at(kTableBurn, a, b), burn);
        }
    }
}

TEST(BlendTables, SoftLightDarkensBelowHalfAndLightensAbove) {
    const BlendTables& t = blend_tables();
    for (int d = 0; d < 256; ++d) {
        EXPECT_LE(t.at(kTableSoftLight, 0, d), d);
        EXPECT_GE(t.at(kTableSoftLight, 255, d), d);
        EXPECT_NEAR(t.at(kTableSoftLight, 128, d), d, 2);
        for (int s = 1; s < 256; ++s)
            ASSERT_GE(t.at(kTableSoftLight, s, d), t.at(kTableSoftLight, s - 1, d));
    }
    EXPECT_EQ(t.at(kTableSoftLight, 255, 0), 0);
    EXPECT_EQ(t.at(kTableSoftLight, 255, 255), 255);
}

TEST(BlendTables, ClampExpansionAndColourWeights) {
    const BlendTables& t = blend_tables();
    for (int v = -256; v < 512; ++v) ASSERT_EQ(t.clamped(v), std::clamp(v, 0, 255));
    for (uint32_t v = 0; v < 32768; ++v) {
        auto w = [](uint32_t f) { return uint32_t(std::lround(f * 255.0 / 31.0)); };
        ASSERT_EQ(t.expand555[v], rgb(w(v >> 10 & 31), w(v >> 5 & 31), w(v & 31)));
    }
    const ColourWeights& cw = colour_weights();
    for (int d = -63; d <= 63; ++d) {
        ASSERT_EQ(cw.red(d), uint32_t(900 * d * d));
        ASSERT_EQ(cw.green(d), uint32_t(3481 * d * d));
        ASSERT_EQ(cw.blue(d), uint32_t(121 * d * d));
    }
}

TEST(Colour, NearestIndexAndConversions) {
    reset_palettes();
    PaletteState& s = palette_state();
    // Exact colours of the 3-3-2 palette find their own index.
    for (uint32_t i = 0; i < 256; ++i) ASSERT_EQ(nearest_screen_index(s.screen[i]), i);
    // Ties go to the lowest index; distance uses the top 6 bits only.
    s.screen.fill(0x000000);
    s.screen[7] = 0x0000FC;
    s.screen[9] = 0x0000FC;
    EXPECT_EQ(nearest_screen_index(0x0000FF), 7);
    // Channel weights: a green miss of 4 costs more than a blue miss of 20,
    // a red miss of 4 less than either.
    s.screen.fill(0xFFFFFF);
    s.screen[1] = 0x001000;
    s.screen[2] = 0x000050;
    EXPECT_EQ(nearest_screen_index(0), 2);
    s.screen[3] = 0x100000;
    EXPECT_EQ(nearest_screen_index(0), 3);
    reset_palettes();

    EXPECT_EQ(convert_colour(0x01000005, 8), 5u);
    EXPECT_EQ(convert_colour(0x01000005, 24), default_palette_entry(5));
    EXPECT_EQ(convert_colour(0xAA123456, 32), 0x123456u);
    EXPECT_EQ(convert_colour(0x00FFFFFF, 8), 255u);
    EXPECT_EQ(pixel_value(0x00FFFFFF, 16), 0x7FFFu);
    EXPECT_EQ(pixel_value(0x00080000, 16), 0x0400u);
}
