// Smooth text's reduction: 8 x 8 blocks of the 1-bit scratch plane become 256
// coverage levels, written by the destination's depth with the multiply table.
#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "graphics/blend_tables.h"
#include "graphics/text.h"

namespace tob::gfx {
namespace {

constexpr uint8_t kFullLastRow = 31;  // B[255]: seven full rows (224) + 31 = 255

constexpr std::array<uint8_t, 256> make_coverage(bool last_row) {
    std::array<uint8_t, 256> t{};
    for (int b = 0; b < 256; ++b) t[size_t(b)] = uint8_t(4 * std::popcount(unsigned(b)));
    if (last_row) t[255] = kFullLastRow;
    return t;
}
constexpr std::array<uint8_t, 256> kCoverageA = make_coverage(false);
constexpr std::array<uint8_t, 256> kCoverageB = make_coverage(true);

uint32_t to_555(uint32_t rgb) {
    return ((rgb >> 19) & 31) << 10 | ((rgb >> 11) & 31) << 5 | ((rgb >> 3) & 31);
}

}  // namespace

uint8_t coverage_a(uint8_t bits) {
    return kCoverageA[bits];
}
uint8_t coverage_b(uint8_t bits) {
    return kCoverageB[bits];
}

uint8_t block_coverage(const uint8_t* rows, int64_t pitch, int64_t column) {
    const uint8_t* p = rows + column;
    unsigned sum = 0;
    for (int r = 0; r < 7; ++r, p += pitch) sum += kCoverageA[*p];
    return uint8_t(sum + kCoverageB[*p]);
}

// Eight blocks at once: the set bits of each byte counted in parallel and
// summed over the eight rows; the tables' sum is four times that count, less
// one where the last row's byte is full (B[255] = 31, not 32).
bool row_coverage(const uint8_t* rows, int64_t pitch, int64_t first, int64_t count, uint8_t* out) {
    bool any = false;
    int64_t i = 0;
    for (; i + 8 <= count; i += 8) {
        uint64_t sum = 0, last = 0;
        for (int r = 0; r < 8; ++r) {
            uint64_t v;
            std::memcpy(&v, rows + r * pitch + first + i, 8);
            last = v;
            v = v - ((v >> 1) & 0x5555555555555555ull);
            v = (v & 0x3333333333333333ull) + ((v >> 2) & 0x3333333333333333ull);
            sum += (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Full;
        }
        if (!sum) {
            std::memset(out + i, 0, 8);
            continue;
        }
        any = true;
        for (int j = 0; j < 8; ++j) {
            unsigned n = unsigned(sum >> (8 * j)) & 0xFF;
            unsigned full = (unsigned(last >> (8 * j)) & 0xFF) == 0xFF;
            out[i + j] = uint8_t(4 * n - full);
        }
    }
    for (; i < count; ++i) any |= (out[i] = block_coverage(rows, pitch, first + i)) != 0;
    return any;
}

void write_coverage(Plane& dst, const Box& area, int64_t x, int64_t y, const uint8_t* scratch,
                    int64_t pitch, uint32_t rgb, bool alpha) {
    const Table256& t0 = blend_tables().t[kTableMultiply];
    auto mix = [&t0](uint32_t c, uint32_t d, uint32_t colour, uint32_t max) {
        return std::min<uint32_t>(t0[(255 - c) << 8 | d] + t0[c << 8 | colour], max);
    };
    const uint32_t depth = dst.depth();
    const uint32_t r = (rgb >> 16) & 255, g = (rgb >> 8) & 255, b = rgb & 255;
    const uint32_t c555 = to_555(rgb);
    std::vector<uint8_t> coverage(size_t(area.width()));
    for (int64_t py = area.top; py < area.bottom; ++py) {
        const uint8_t* rows = scratch + (py - y) * 8 * pitch;
        if (!row_coverage(rows, pitch, area.left - x, area.width(), coverage.data())) continue;
        uint8_t* row = dst.row(int32_t(py));
        for (int64_t px = area.left; px < area.right; ++px) {
            uint32_t c = coverage[size_t(px - area.left)];
            if (c == 0) continue;
            switch (depth) {
                case 32:
                case 24: {
                    uint8_t* p = row + px * (depth / 8);
                    if (alpha && depth == 32) {
                        uint32_t v = c << 24 | rgb;
                        p[0] = uint8_t(v), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v >> 16),
                        p[3] = uint8_t(v >> 24);
                    } else if (alpha) {
                        p[0] = uint8_t(c555), p[1] = uint8_t(c555 >> 8), p[2] = uint8_t(c);
                    } else if (c >= 255) {
                        p[0] = uint8_t(b), p[1] = uint8_t(g), p[2] = uint8_t(r);
                    } else {
                        p[0] = uint8_t(mix(c, p[0], b, 255));
                        p[1] = uint8_t(mix(c, p[1], g, 255));
                        p[2] = uint8_t(mix(c, p[2], r, 255));
                    }
                    break;
                }
                case 16: {
                    uint8_t* p = row + px * 2;
                    uint32_t v = c555;
                    if (c < 255) {
                        uint32_t d = uint32_t(p[0]) | uint32_t(p[1]) << 8;
                        v = mix(c, (d >> 10) & 31, (c555 >> 10) & 31, 31) << 10 |
                            mix(c, (d >> 5) & 31, (c555 >> 5) & 31, 31) << 5 |
                            mix(c, d & 31, c555 & 31, 31);
                    }
                    p[0] = uint8_t(v), p[1] = uint8_t(v >> 8);
                    break;
                }
                case 8:
                    row[px] = uint8_t(c);
                    break;
                default:
                    return;
            }
        }
    }
}

}  // namespace tob::gfx
