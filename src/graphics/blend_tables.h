// Lookup tables of the blend modes, built once on first use: the 64 KB
// [source][destination] tables T0 (multiply) to T6 (burn), the clamp table of
// the add and subtract modes, the 5-5-5 expansion table, and the weighted
// squared differences of the nearest-colour search.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tob::gfx {

using Table256 = std::array<uint8_t, 256 * 256>;  // [source * 256 + destination]

enum TableId : int {
    kTableMultiply,
    kTableCombined,
    kTableOverlay,
    kTableSoftLight,
    kTableHardLight,
    kTableDodge,
    kTableBurn
};
inline constexpr int kTableCount = 7;

struct alignas(256) BlendTables {
    std::array<Table256, kTableCount> t;
    std::array<uint8_t, 768> clamp;         // index + 256 for -256..511
    std::array<uint32_t, 32768> expand555;  // 0x00RRGGBB per 5-5-5 value
    std::array<uint8_t, 32> widen5;         // round(f * 255 / 31)

    uint8_t at(TableId id, uint32_t s, uint32_t d) const { return t[id][s << 8 | d]; }
    uint8_t clamped(int32_t v) const { return clamp[size_t(v + 256)]; }
};
const BlendTables& blend_tables();
// Builds the tables on a thread of their own, so that start-up does not wait
// for them and the first blend rarely does; a first use before they are done
// waits for them. Later calls do nothing.
void warm_blend_tables();

// The formulas the tables hold, one entry at a time (also the tests' reference).
uint8_t table_formula(TableId id, uint32_t s, uint32_t d);

// Squared differences of 6-bit channels (-63..63), weighted per channel.
struct ColourWeights {
    std::array<uint32_t, 127> r, g, b;
    uint32_t red(int d) const { return r[size_t(d + 63)]; }
    uint32_t green(int d) const { return g[size_t(d + 63)]; }
    uint32_t blue(int d) const { return b[size_t(d + 63)]; }
};
const ColourWeights& colour_weights();

inline constexpr uint32_t kRedWeight = 900, kGreenWeight = 3481, kBlueWeight = 121;

}  // namespace tob::gfx
