// Building the blend tables.
#include "graphics/blend_tables.h"

#include <cmath>
#include <memory>
#include <thread>

namespace tob::gfx {
namespace {

// Rounded half away from zero, as lround, and clamped to 0..255; without the
// library call (the tables take 131,072 of these). v - trunc(v) is exact.
uint8_t to_byte(double v) {
    if (!(v > 0)) return 0;
    if (v >= 255) return 255;
    const int r = int(v);
    return uint8_t(v - r >= 0.5 ? r + 1 : r);
}

// Soft light on 0..1 values: darkens below a source of one half, lightens
// above; the lightening follows a cubic below a destination of 32/255 and the
// square root above it.
double soft_light(double s, double d) {
    if (s <= 0.5) return d + (d - d * d) * (2 * s - 1);
    double lift = d <= 32.0 / 255.0 ? ((16 * d - 12) * d + 4) * d : std::sqrt(d);
    return d + (lift - d) * (2 * s - 1);
}

template <TableId Id>
uint8_t formula(uint32_t a, uint32_t b) {
    if constexpr (Id == kTableMultiply) return uint8_t((a * b + 128) / 255);
    if constexpr (Id == kTableCombined) {
        if (a == 0) return 255;
        double x = double(b) / double(a);
        return to_byte(std::min(255.0, 255.0 * x / (1.0 - double(b) / 255.0 + x)));
    }
    if constexpr (Id == kTableOverlay)
        return uint8_t(b < 128 ? 2 * a * b / 255 : 255 - 2 * (255 - a) * (255 - b) / 255);
    if constexpr (Id == kTableSoftLight) return to_byte(255.0 * soft_light(a / 255.0, b / 255.0));
    if constexpr (Id == kTableHardLight)
        return uint8_t(a < 128 ? 2 * a * b / 255 : 255 - 2 * (255 - a) * (255 - b) / 255);
    if constexpr (Id == kTableDodge) {
        if (a + b > 255) return 255;
        return uint8_t(b == 0 ? 0 : 255 * b / (255 - a));
    }
    if constexpr (Id == kTableBurn) {
        if (a + b < 255) return 0;
        return uint8_t(a == 0 ? 255 : 255 - 255 * (255 - b) / a);
    }
    return 0;
}

// One table, its formula inlined into the loop.
template <TableId Id>
void fill(BlendTables& t) {
    for (uint32_t s = 0; s < 256; ++s)
        for (uint32_t d = 0; d < 256; ++d) t.t[Id][s << 8 | d] = formula<Id>(s, d);
}

std::unique_ptr<BlendTables> build() {
    auto t = std::make_unique<BlendTables>();
    fill<kTableMultiply>(*t);
    fill<kTableCombined>(*t);
    fill<kTableOverlay>(*t);
    fill<kTableSoftLight>(*t);
    fill<kTableHardLight>(*t);
    fill<kTableDodge>(*t);
    fill<kTableBurn>(*t);
    for (int i = 0; i < 768; ++i)
        t->clamp[size_t(i)] = uint8_t(i < 256 ? 0 : i > 511 ? 255 : i - 256);
    for (uint32_t f = 0; f < 32; ++f) t->widen5[f] = uint8_t((f * 255 + 15) / 31);
    for (uint32_t v = 0; v < 32768; ++v)
        t->expand555[v] = uint32_t(t->widen5[(v >> 10) & 31]) << 16 |
                          uint32_t(t->widen5[(v >> 5) & 31]) << 8 | t->widen5[v & 31];
    return t;
}

}  // namespace

uint8_t table_formula(TableId id, uint32_t a, uint32_t b) {
    switch (id) {
        case kTableMultiply:
            return formula<kTableMultiply>(a, b);
        case kTableCombined:
            return formula<kTableCombined>(a, b);
        case kTableOverlay:
            return formula<kTableOverlay>(a, b);
        case kTableSoftLight:
            return formula<kTableSoftLight>(a, b);
        case kTableHardLight:
            return formula<kTableHardLight>(a, b);
        case kTableDodge:
            return formula<kTableDodge>(a, b);
        case kTableBurn:
            return formula<kTableBurn>(a, b);
    }
    return 0;
}

const BlendTables& blend_tables() {
    // Never freed: they may be built on the warming thread after statics
    // whose destructors still draw, and must outlive them.
    static const BlendTables* const tables = build().release();
    return *tables;
}

void warm_blend_tables() {
    // Joined when the program ends, so that the thread never outlives the tables.
    struct Warmer {
        std::thread thread{[] { blend_tables(); }};
        ~Warmer() { thread.join(); }
    };
    static Warmer warmer;
}

const ColourWeights& colour_weights() {
    static const ColourWeights w = [] {
        ColourWeights c;
        for (int d = -63; d <= 63; ++d) {
            uint32_t sq = uint32_t(d * d);
            c.r[size_t(d + 63)] = kRedWeight * sq;
            c.g[size_t(d + 63)] = kGreenWeight * sq;
            c.b[size_t(d + 63)] = kBlueWeight * sq;
        }
        return c;
    }();
    return w;
}

}  // namespace tob::gfx
