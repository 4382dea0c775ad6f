// The platform text library as its callers see it: fonts made from LOGFONTA
// records, extents, and text written into bitmaps of every depth in exactly
// the colours asked for, inside the text's (turned) box, clipped safely.
#include "platform/winapi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "platform/cp932.h"
#include "platform/text_raster.h"

namespace {

LOGFONTA logfont(LONG height, LONG angle = 0, LONG weight = 0) {
    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfEscapement = lf.lfOrientation = angle;
    lf.lfWeight = weight;
    lf.lfCharSet = TOB_SHIFTJIS_CHARSET;
    lf.lfQuality = TOB_NONANTIALIASED_QUALITY;
    lf.lfPitchAndFamily = TOB_FIXED_PITCH;
    std::string face = tob::utf8_to_cp932("ＭＳ ゴシック");
    std::memcpy(lf.lfFaceName, face.data(), face.size());
    return lf;
}

// A top-down bitmap of one depth, its pixels starting as `fill` bytes.
struct Bitmap {
    int32_t width, height, depth;
    int64_t stride;
    std::vector<uint8_t> bits;
    std::vector<uint8_t> colours;
    HDC dc = nullptr;

    Bitmap(int32_t w, int32_t h, int32_t d, uint8_t fill = 0, std::vector<uint8_t> table = {})
        : width(w), height(h), depth(d), colours(std::move(table)) {
        stride = ((int64_t(w) * d + 31) / 32) * 4;
        bits.assign(size_t(stride * h), fill);
        TobBitmap b{bits.data(), w, h, stride, d, colours.data(), int32_t(colours.size() / 4)};
        dc = tob_create_bitmap_dc(&b);
    }
    ~Bitmap() { tob_delete_dc(dc); }
    uint32_t pixel(int32_t x, int32_t y) const {
        const uint8_t* row = bits.data() + y * stride;
        switch (depth) {
            case 1:
                return (row[x / 8] >> (7 - x % 8)) & 1;
            case 4:
                return x % 2 ? row[x / 2] & 15 : row[x / 2] >> 4;
            case 8:
                return row[x];
            case 16:
                return uint32_t(row[2 * x] | row[2 * x + 1] << 8);
            case 24:
                return uint32_t(row[3 * x] | row[3 * x + 1] << 8 | row[3 * x + 2] << 16);
            default:
                return uint32_t(row[4 * x] | row[4 * x + 1] << 8 | row[4 * x + 2] << 16 |
                                uint32_t(row[4 * x + 3]) << 24);
        }
    }
};

struct Font {
    HFONT h;
    explicit Font(const LOGFONTA& lf) : h(CreateFontIndirectA(&lf)) {}
    ~Font() { DeleteObject(h); }
};

const std::vector<uint8_t> kBlackWhite = {0, 0, 0, 0, 255, 255, 255, 0};
const std::string kText = tob::utf8_to_cp932("Aa漢字かな");

SIZE extent(HDC dc, const std::string& text) {
    SIZE s{};
    EXPECT_TRUE(GetTextExtentPoint32A(dc, text.data(), int(text.size()), &s));
    return s;
}

}  // namespace

TEST(Cp932ToUtf16, UnmappedCharactersBecomeTheMiddleDot) {
    struct Case {
        std::string in;
        std::u16string out;
    } cases[] = {
        {"A\x83\x41", u"Aア"},   {"\x85\x40", u"\u30FB"},  // a lead and trail that map to nothing
        {"x\x81", u"x\u30FB"},                             // a lead byte at the end
        {"\xA0", u"\u30FB"},                               // a single byte without a character
        {"\xB1", u"\uFF71"},                               // half-width katakana
        {"\x87\x40", u"\u2460"},                           // an NEC special character
    };
    for (const Case& c : cases) EXPECT_EQ(tob::cp932_to_utf16(c.in), c.out);
}

TEST(WinapiFonts, CellHeightIsThePositiveSizeAndLimitsHold) {
    Bitmap b(1, 1, 32);
    for (LONG h : {1, 8, 12, 16, 24, 31, 100, 8192}) {
        Font f(logfont(h));
        ASSERT_NE(f.h, nullptr) << h;
        SelectObject(b.dc, f.h);
        EXPECT_EQ(extent(b.dc, kText).cy, h);
    }
    // 0 stands for 16; a negative height is the em, so the cell is larger.
    Font zero(logfont(0)), em(logfont(-20));
    SelectObject(b.dc, zero.h);
    EXPECT_EQ(extent(b.dc, "x").cy, 16);
    SelectObject(b.dc, em.h);
    EXPECT_GE(extent(b.dc, "x").cy, 20);
    for (LONG h : {8193, -8193, INT_MIN, INT_MAX}) {
        LOGFONTA lf = logfont(h);
        EXPECT_EQ(CreateFontIndirectA(&lf), nullptr) << h;
    }
    EXPECT_EQ(CreateFontIndirectA(nullptr), nullptr);
}

TEST(WinapiFonts, ObjectsAnswerAndStaleHandlesAreRefused) {
    LOGFONTA lf = logfont(20, 900, 700);
    lf.lfFaceName[31] = 'x';  // no zero in the field: 31 bytes are read
    Font f(lf);
    ASSERT_NE(f.h, nullptr);
    LOGFONTA back{};
    EXPECT_EQ(GetObjectA(f.h, sizeof back, &back), 60);
    EXPECT_EQ(GetObjectA(f.h, 0, nullptr), 60);
    EXPECT_EQ(back.lfHeight, 20);
    EXPECT_EQ(back.lfEscapement, 900);
    EXPECT_EQ(back.lfWeight, 700);
    EXPECT_EQ(back.lfFaceName[31], 0);
    Bitmap b(4, 4, 8);
    HGDIOBJ stock = GetCurrentObject(b.dc, TOB_OBJ_FONT);
    ASSERT_NE(stock, nullptr);
    EXPECT_EQ(SelectObject(b.dc, f.h), stock);
    EXPECT_EQ(GetCurrentObject(b.dc, TOB_OBJ_FONT), f.h);
    int made_up = 0;
    EXPECT_EQ(SelectObject(b.dc, &made_up), nullptr);
    EXPECT_FALSE(DeleteObject(&made_up));
    EXPECT_EQ(GetObjectA(&made_up, 60, &back), 0);
    EXPECT_FALSE(TextOutA(reinterpret_cast<HDC>(&made_up), 0, 0, "a", 1));
    EXPECT_EQ(SetBkMode(b.dc, 7), 0);
    TobBitmap bad{nullptr, 4, 4, 4, 32, nullptr, 0};
    EXPECT_EQ(tob_create_bitmap_dc(&bad), nullptr);
    bad = {b.bits.data(), 4, 4, 4, 12, nullptr, 0};
    EXPECT_EQ(tob_create_bitmap_dc(&bad), nullptr);
}

// Opaque text writes the text colour and the background colour and nothing
// else, exactly over its cell box; 32-bit pixels get alpha 0.
TEST(WinapiText, PlainGlyphsWriteOnlyTheTwoColoursInsideTheOpaqueBox) {
    struct Case {
        int depth;
        uint32_t text, back;  // as stored
    } cases[] = {
        {32, 0xFF2010, 0x1020FF},
        {24, 0xFF2010, 0x1020FF},
        {16, (0xFF >> 3) << 10 | (0x20 >> 3) << 5 | (0x10 >> 3), (0x10 >> 3) << 10 | 4 << 5 | 31},
    };
    Font f(logfont(24));
    for (const Case& c : cases) {
        Bitmap b(200, 40, c.depth, 0xAA);
        SelectObject(b.dc, f.h);
        SetTextColor(b.dc, 0x1020FF);  // 0x00BBGGRR
        SetBkColor(b.dc, 0xFF2010);
        SetBkMode(b.dc, TOB_OPAQUE);
        SIZE s = extent(b.dc, kText);
        ASSERT_TRUE(TextOutA(b.dc, 5, 7, kText.data(), int(kText.size())));
        uint32_t untouched = Bitmap(1, 1, c.depth, 0xAA).pixel(0, 0);
        int text_pixels = 0;
        for (int y = 0; y < b.height; ++y)
            for (int x = 0; x < b.width; ++x) {
                uint32_t p = b.pixel(x, y);
                bool inside = x >= 5 && x < 5 + s.cx && y >= 7 && y < 7 + s.cy;
                if (!inside) {
                    ASSERT_EQ(p, untouched) << c.depth << " at " << x << "," << y;
                    continue;
                }
                ASSERT_TRUE(p == c.text || p == c.back) << c.depth << " " << std::hex << p;
                text_pixels += p == c.text;
            }
        EXPECT_GT(text_pixels, 50) << c.depth;
    }
}

TEST(WinapiText, PaletteDepthsTakeTheNearestEntryFirstOfEquals) {
    // Entry 2 and 5 are both white: the first wins; 3 is grey.
    std::vector<uint8_t> table(16 * 4, 0);
    for (int i : {2, 5})
        table[size_t(i) * 4] = table[size_t(i) * 4 + 1] = table[size_t(i) * 4 + 2] = 255;
    table[12] = table[13] = table[14] = 120;
    Font f(logfont(16));
    for (int depth : {4, 8}) {
        Bitmap b(120, 20, depth, depth == 8 ? 9 : 0x99, table);
        SelectObject(b.dc, f.h);
        SetTextColor(b.dc, 0xF0F0F0);
        SetBkColor(b.dc, 0x808080);
        TextOutA(b.dc, 0, 0, kText.data(), int(kText.size()));
        std::set<uint32_t> seen;
        for (int y = 0; y < b.height; ++y)
            for (int x = 0; x < b.width; ++x) seen.insert(b.pixel(x, y));
        EXPECT_EQ(seen, (std::set<uint32_t>{2, 3, 9})) << depth;
    }
    Bitmap b(64, 16, 1, 0, kBlackWhite);
    SelectObject(b.dc, f.h);
    SetTextColor(b.dc, 0xFFFFFF);
    SetBkMode(b.dc, TOB_TRANSPARENT);
    TextOutA(b.dc, 3, 0, "MW", 2);
    EXPECT_GT(std::count_if(b.bits.begin(), b.bits.end(), [](uint8_t v) { return v != 0; }), 4);
}

// Turned text stays inside the box its extent turns into.
TEST(WinapiText, TurnedTextLandsInsideItsBox) {
    for (LONG angle : {900, 1800, 2700, 450, 3150}) {
        Font f(logfont(20, angle));
        Bitmap b(300, 300, 8, 0, kBlackWhite);
        SelectObject(b.dc, f.h);
        SIZE s = extent(b.dc, kText);
        SetTextColor(b.dc, 0xFFFFFF);
        SetBkMode(b.dc, TOB_TRANSPARENT);
        const int x = 150, y = 150;
        ASSERT_TRUE(TextOutA(b.dc, x, y, kText.data(), int(kText.size())));
        double a = angle * M_PI / 1800, cs = std::cos(a), sn = std::sin(a);
        double xs[4] = {0, s.cx * cs, s.cy * sn, s.cx * cs + s.cy * sn};
        double ys[4] = {0, -s.cx * sn, s.cy * cs, -s.cx * sn + s.cy * cs};
        double l = x + *std::min_element(xs, xs + 4) - 1, r = x + *std::max_element(xs, xs + 4) + 1;
        double t0 = y + *std::min_element(ys, ys + 4) - 1,
               b0 = y + *std::max_element(ys, ys + 4) + 1;
        int set = 0;
        for (int py = 0; py < b.height; ++py)
            for (int px = 0; px < b.width; ++px)
                if (b.pixel(px, py)) {
                    ++set;
                    ASSERT_TRUE(px >= l && px < r && py >= t0 && py < b0)
                        << angle << ": " << px << "," << py;
                }
        EXPECT_GT(set, 50) << angle;
    }
}

TEST(WinapiText, StylesChangeWhatIsDrawn) {
    auto count_pixels = [](const LOGFONTA& lf, SIZE* size = nullptr) {
        Font f(lf);
        Bitmap b(300, 40, 8, 0, kBlackWhite);
        SelectObject(b.dc, f.h);
        SetTextColor(b.dc, 0xFFFFFF);
        SetBkMode(b.dc, TOB_TRANSPARENT);
        if (size) *size = extent(b.dc, kText);
        TextOutA(b.dc, 0, 0, kText.data(), int(kText.size()));
        return std::count_if(b.bits.begin(), b.bits.end(), [](uint8_t v) { return v; });
    };
    SIZE plain_size{}, bold_size{}, italic_size{};
    LOGFONTA lf = logfont(24);
    auto plain = count_pixels(lf, &plain_size);
    lf.lfWeight = 700;
    auto bold = count_pixels(lf, &bold_size);
    EXPECT_GT(bold, plain + plain / 5);
    EXPECT_GT(bold_size.cx, plain_size.cx);  // advances widen
    lf = logfont(24);
    lf.lfItalic = 1;
    count_pixels(lf, &italic_size);
    EXPECT_EQ(italic_size.cx, plain_size.cx);  // no overhang in the extent
    lf = logfont(24);
    lf.lfUnderline = 1;
    EXPECT_GE(count_pixels(lf), plain + plain_size.cx - 2);
    lf = logfont(24);
    lf.lfStrikeOut = 1;
    EXPECT_GT(count_pixels(lf), plain + plain_size.cx / 2);
}

TEST(WinapiText, CoordinatesFarOutsideDrawNothing) {
    Font f(logfont(30, 450));
    Bitmap b(50, 50, 32, 0);
    SelectObject(b.dc, f.h);
    std::string long_text(5000, 'W');
    for (auto [x, y] : {std::pair{INT_MIN, INT_MIN},
                        {INT_MAX, INT_MAX},
                        {INT_MIN, 0},
                        {0, INT_MAX},
                        {-1000000, 10}})
        EXPECT_TRUE(TextOutA(b.dc, x, y, long_text.data(), int(long_text.size())));
    Font upright(logfont(30));
    SelectObject(b.dc, upright.h);
    EXPECT_TRUE(TextOutA(b.dc, INT_MAX - 5, INT_MIN + 5, long_text.data(), 5000));
    EXPECT_TRUE(std::all_of(b.bits.begin(), b.bits.end(), [](uint8_t v) { return v == 0; }));
    EXPECT_FALSE(TextOutA(b.dc, 0, 0, "x", -1));
    EXPECT_TRUE(TextOutA(b.dc, 0, 0, nullptr, 0));
}

// Only glyphs that can reach the bitmap are rendered: a long line of large
// distinct characters costs no more than its first few.
TEST(WinapiText, GlyphsFarFromTheBitmapAreNotRendered) {
    Font f(logfont(8192));
    Bitmap b(64, 64, 8, 0, kBlackWhite);
    SelectObject(b.dc, f.h);
    SetTextColor(b.dc, 0xFFFFFF);
    std::u16string text;
    for (char16_t c = 0x4E00; c < 0x4E00 + 400; ++c) text += c;  // 400 distinct kanji
    // Rendered, the 400 glyphs would take 8 MiB each.
    EXPECT_TRUE(TextOutW(b.dc, -8000, -100, text.data(), int(text.size())));
}

// Script threads and the window thread may draw at once, with one font.
TEST(WinapiText, ThreadsDrawingWithOneFontAgree) {
    Font f(logfont(18));
    auto draw = [&f](std::vector<uint8_t>& out) {
        for (int round = 0; round < 20; ++round) {
            Bitmap b(400, 24, 8, 0);
            SelectObject(b.dc, f.h);
            std::string text = tob::utf8_to_cp932("並行して描く文字列" + std::to_string(round));
            TextOutA(b.dc, 0, 0, text.data(), int(text.size()));
            out = b.bits;
        }
    };
    std::vector<uint8_t> a, b, c;
    std::thread t1(draw, std::ref(a)), t2(draw, std::ref(b));
    t1.join();
    t2.join();
    draw(c);
    EXPECT_EQ(a, c);
    EXPECT_EQ(b, c);
}

TEST(WinapiFaces, OfferedFacesAreFixedPitchJapaneseWithoutVerticalNames) {
    std::vector<std::string> faces = tob::platform::list_fixed_pitch_faces();
    auto has = [&](const char* utf8) {
        return std::find(faces.begin(), faces.end(), tob::utf8_to_cp932(utf8)) != faces.end();
    };
    EXPECT_TRUE(has("ＭＳ ゴシック"));
    EXPECT_FALSE(has("ＭＳ Ｐゴシック"));
    EXPECT_FALSE(has("IPA Pゴシック"));
    EXPECT_FALSE(has("DejaVu Sans"));
    std::set<std::string> unique(faces.begin(), faces.end());
    EXPECT_EQ(unique.size(), faces.size());
    for (const std::string& f : faces) {
        EXPECT_FALSE(f.empty());
        EXPECT_NE(f[0], '@');
        EXPECT_LE(f.size(), 31u);
    }
}
