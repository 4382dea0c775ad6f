// Text rasterising: UTF-8 decoding, the face aliases, the box font used when
// no font file is found, and real glyphs where a Japanese font is installed.
#include "platform/text_raster.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tob::platform;

namespace {

int covered(const CoverageBitmap& b) {
    return int(std::count_if(b.pixels.begin(), b.pixels.end(), [](uint8_t c) { return c > 0; }));
}

}  // namespace

TEST(TextRaster, DecodesUtf8AndReplacesMalformedBytes) {
    struct Case {
        std::string in;
        std::vector<uint32_t> out;
    } cases[] = {
        {"Ab", {'A', 'b'}},
        {"ア", {0x30A2}},
        {"\xC3\xA9", {0xE9}},
        {"\xF0\x9F\x98\x80", {0x1F600}},
        {"\xE3\x82", {0xFFFD, 0xFFFD}},        // cut short
        {"\x80x", {0xFFFD, 'x'}},              // a stray continuation byte
        {"\xE3(\xA2", {0xFFFD, '(', 0xFFFD}},  // a lead byte without its trail
    };
    for (const Case& c : cases) EXPECT_EQ(decode_utf8(c.in), c.out) << c.in;
}

TEST(TextRaster, FaceNamesMapToFamiliesEndingInJapaneseFallbacks) {
    auto gothic = font_families_for("ＭＳ ゴシック");
    ASSERT_FALSE(gothic.empty());
    EXPECT_EQ(gothic.front(), "IPAGothic");
    EXPECT_EQ(gothic.back(), "sans-serif");
    auto mincho = font_families_for("ＭＳ 明朝");
    EXPECT_EQ(mincho.front(), "IPAMincho");
    for (const char* chinese : {"SimHei", "SimSun", "黑体", "宋体", "Microsoft YaHei"})
        EXPECT_EQ(font_families_for(chinese).front(), "WenQuanYi Micro Hei") << chinese;
    auto unknown = font_families_for("Some Face");
    EXPECT_EQ(unknown.front(), "Some Face");
    EXPECT_NE(std::find(unknown.begin(), unknown.end(), "IPAGothic"), unknown.end());
    // No family is listed twice.
    for (const auto& list : {gothic, mincho, unknown}) {
        auto sorted = list;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
    }
}

TEST(TextRaster, BoxFontMeasuresAndDrawsHollowBoxes) {
    auto f = Font::boxes(12);
    EXPECT_FALSE(f->has_face());
    EXPECT_EQ(f->measure("ab").width, 12);
    EXPECT_EQ(f->measure("あa").width, 18);
    EXPECT_EQ(f->measure("").width, 0);
    CoverageBitmap b = f->render("あ");
    ASSERT_EQ(b.width, 12);
    ASSERT_EQ(b.height, 12);
    EXPECT_EQ(b.at(1, 1), 255);  // the box's corner
    EXPECT_EQ(b.at(5, 5), 0);    // hollow inside
    EXPECT_EQ(b.at(0, 0), 0);    // a margin around it
    EXPECT_EQ(f->render("").pixels.size(), 0u);
}

TEST(TextRaster, JapaneseTextGetsCoverageWithAnInstalledFont) {
    FontRequest request;
    request.face_utf8 = "ＭＳ ゴシック";
    request.cell_height = 16;
    auto f = Font::open(request);
    if (!f->has_face()) GTEST_SKIP() << "no Japanese font installed";
    CoverageBitmap b = f->render("メニュー");
    EXPECT_EQ(b.height, 16);
    EXPECT_GE(b.width, 4 * 12);  // four full-width characters
    EXPECT_GT(covered(b), 40);
    EXPECT_GT(b.baseline, 8);
    EXPECT_LE(b.baseline, 16);
    // A space has width but no ink; bold ink covers more than regular.
    CoverageBitmap space = f->render(" ");
    EXPECT_GT(space.width, 0);
    EXPECT_EQ(covered(space), 0);
    request.bold = true;
    auto bold = Font::open(request);
    EXPECT_GT(covered(bold->render("メニュー")), covered(b));
}
