#include "graphics/row_ops.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/byte_order.h"

using namespace tob;
using namespace tob::gfx;
namespace ro = tob::gfx::row_ops;

namespace {

constexpr RowFormat kFormats[] = {RowFormat::k32, RowFormat::k24, RowFormat::k565, RowFormat::k555};
constexpr uint32_t kBytes[] = {4, 3, 2, 2};

uint32_t bytes_of(RowFormat f) {
    return kBytes[int(f)];
}
uint32_t get(const std::vector<uint8_t>& v, RowFormat f, size_t i) {
    uint32_t x = 0;
    std::memcpy(&x, &v[i * bytes_of(f)], bytes_of(f));
    return x;
}
void set(std::vector<uint8_t>& v, RowFormat f, size_t i, uint32_t x) {
    std::memcpy(&v[i * bytes_of(f)], &x, bytes_of(f));
}
// A one-row image of n pixels.
Rows row(std::vector<uint8_t>& v) {
    return {v.data(), int64_t(v.size())};
}

}  // namespace

TEST(RowOps, ConversionsWidenNarrowAndRoundTrip) {
    struct Case {
        RowFormat from, to;
        uint32_t in, out;
    } cases[] = {
        {RowFormat::k555, RowFormat::k32, 0x7FFF, 0xFFFFFFFF},
        {RowFormat::k555, RowFormat::k32, 0x0421, 0xFF080808},
        {RowFormat::k565, RowFormat::k24, 0xFFFF, 0xFFFFFF},
        {RowFormat::k565, RowFormat::k32, 0x0020, 0xFF000400},  // green 1 of 63 widens to 4
        {RowFormat::k32, RowFormat::k565, 0x80FF8040, 0xFC08},
        {RowFormat::k32, RowFormat::k555, 0x80FF8040, 0x7E08},
        {RowFormat::k24, RowFormat::k32, 0x123456, 0xFF123456},
        {RowFormat::k32, RowFormat::k32, 0x12345678, 0x12345678},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> src(4), dst(4);
        set(src, c.from, 0, c.in);
        ro::convert(c.from, c.to, 1, 1, row(dst), row(src));
        EXPECT_EQ(get(dst, c.to, 0), c.out) << int(c.from) << "->" << int(c.to);
    }
    // 16-bit pixels survive a trip through every deeper format.
    for (RowFormat f16 : {RowFormat::k555, RowFormat::k565}) {
        uint32_t n = f16 == RowFormat::k555 ? 32768 : 65536;
        std::vector<uint8_t> a(n * 2), wide(n * 4), back(n * 2);
        for (uint32_t i = 0; i < n; ++i) set(a, f16, i, i);
        for (RowFormat deep : {RowFormat::k24, RowFormat::k32}) {
            ro::convert(f16, deep, int32_t(n), 1, row(wide), row(a));
            ro::convert(deep, f16, int32_t(n), 1, row(back), row(wide));
            EXPECT_EQ(a, back);
        }
    }
}

TEST(RowOps, BlendsFadesAndMasks) {
    for (RowFormat f : kFormats) {
        SCOPED_TRACE(int(f));
        const uint32_t b = bytes_of(f);
        std::vector<uint8_t> bg(3 * b), src(3 * b), out(3 * b, 0xEE), mask = {255, 0, 128};
        set(bg, f, 0, 0x0000), set(bg, f, 1, 0x1234), set(bg, f, 2, 0x0000);
        set(src, f, 0, 0x7C1F), set(src, f, 1, 0x03E0), set(src, f, 2, 0x7FFF);
        // Level 255 is the source itself; in place works.
        ro::blend(f, 255, 3, 1, row(out), row(bg), row(src));
        for (int i = 0; i < 3; ++i) EXPECT_EQ(get(out, f, i), get(src, f, i));
        std::vector<uint8_t> inplace = bg;
        ro::keyed_blend(f, 255, 3, 1, row(inplace), row(inplace), row(src), 0x03E0);
        EXPECT_EQ(get(inplace, f, 0), get(src, f, 0));
        EXPECT_EQ(get(inplace, f, 1), get(bg, f, 1));  // the key: background kept
        // A full mask is the source.
        ro::mask_blend(f, ConstRows{mask.data(), 3}, 3, 1, row(out), row(bg), row(src));
        EXPECT_EQ(get(out, f, 0), get(src, f, 0));
        std::vector<uint8_t> white(3 * b);
        ro::fade(f, 255, 3, 1, row(white), row(src), 0xFFFFFF);
        ro::mask_colour(f, ConstRows{mask.data(), 3}, 3, 1, row(out), row(bg), 0xFFFFFF);
        EXPECT_EQ(get(out, f, 0) & 0xFFFFFF, get(white, f, 0) & 0xFFFFFF);
        // Keyed copy.
        std::vector<uint8_t> dst = bg;
        ro::keyed_copy(f, 0x7FFF, 3, 1, row(dst), row(src));
        EXPECT_EQ(get(dst, f, 0), get(src, f, 0));
        EXPECT_EQ(get(dst, f, 2), get(bg, f, 2));
    }
    // The 8-bit formats blend by level + 1 of 256; mask 0 is a weight of 1.
    std::vector<uint8_t> bg = {0, 0, 0, 200}, src = {255, 255, 255, 0}, out(4), m = {0};
    ro::blend(RowFormat::k32, 127, 1, 1, row(out), row(bg), row(src));
    EXPECT_EQ(out, (std::vector<uint8_t>{127, 127, 127, 100}));
    ro::mask_colour(RowFormat::k32, ConstRows{m.data(), 1}, 1, 1, row(out), row(bg), 0xFFFFFF);
    EXPECT_EQ(out, (std::vector<uint8_t>{0, 0, 0, 200}));
}

TEST(RowOps, GreyAndMonotone) {
    // Pure red: grey = 38 * 255 = 9690, i.e. 75 of 255.
    std::vector<uint8_t> src = {0, 0, 255, 77, 1, 2, 3, 4}, dst(8);
    ro::desaturate(RowFormat::k32, 255, 2, 1, row(dst), row(src), true, 0x030201);
    EXPECT_EQ(std::vector<uint8_t>(dst.begin(), dst.begin() + 4),
              (std::vector<uint8_t>{75, 75, 75, 77}));
    EXPECT_EQ(dst[4], 0);  // the keyed pixel is not written
    ro::desaturate(RowFormat::k32, 255, 2, 1, row(dst), row(src), false, 0);
    EXPECT_EQ(dst[4], 1 + ((3 * 38 + 77 * 2 + 13 * 1 - 128) * 256 >> 15));
    ro::monotone(RowFormat::k32, 0x0000FF, 1, 1, row(dst), row(src), false, 0);
    EXPECT_EQ(std::vector<uint8_t>(dst.begin(), dst.begin() + 4),
              (std::vector<uint8_t>{75, 0, 0, 77}));
    ro::monotone(RowFormat::k565, 0xFFFFFF, 1, 1, row(dst), row(src), false, 0);
}
