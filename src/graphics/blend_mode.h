// The blend mode record scripts pass to copies, and its preparation for one
// copy: the mode folded to the routine that runs (levels 0 and 255, the table
// modes), weights, colours converted for the destination, and the row routine
// picked from the dispatch table for the depth pair and mask flag.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "graphics/blend_tables.h"
#include "graphics/plane.h"
#include "vm/script_memory.h"

namespace tob::gfx {

inline constexpr uint32_t kModeCount = 36;
inline constexpr uint32_t kBlendRecordBytes = 12;

// The 12-byte record: mode, channels, level, level2, colour1, colour2.
struct BlendRecord {
    uint8_t mode = 0;
    uint8_t channels = 0;
    uint8_t level = 0;
    uint8_t level2 = 0;
    uint32_t colour1 = 0;
    uint32_t colour2 = 0;
};
static_assert(sizeof(BlendRecord) == kBlendRecordBytes);
static_assert(offsetof(BlendRecord, level2) == 3 && offsetof(BlendRecord, colour1) == 4 &&
              offsetof(BlendRecord, colour2) == 8);

// A null address means mode 0 with every parameter 0; nullopt for a bad pointer.
std::optional<BlendRecord> read_blend_record(const ScriptMemory& mem, ScriptAddr addr);

// The routines that run: script modes 0-25 keep their number; 26, 28, ... 34
// run as the table blend and 27, 29, ... 35 as the alpha-weighted table blend.
enum Routine : uint8_t {
    kCopy,
    kKeyCopy,
    kDestKey,
    kBlend,
    kKeyBlend,
    kTint,
    kKeyTint,
    kAlpha,
    kBehind,
    kCombined,
    kTintAlpha,
    kThreshold,
    kSoftThreshold,
    kAdd,
    kSubtract,
    kMultiply,
    kAnd,
    kOr,
    kXor,
    kScreen,
    kLighten,
    kDarken,
    kChannels,
    kAlphaTransfer,
    kCoverage,
    kMonoAlpha,
    kTableBlend,
    kTableAlpha,
    kRoutineCount
};
// Routines that read the source's mask plane instead of its alpha.
constexpr bool uses_mask(Routine r) {
    return r == kAlpha || r == kTintAlpha || r == kThreshold || r == kSoftThreshold;
}

// Everything a row routine needs, fixed for one copy.
struct BlendParams {
    uint32_t level = 0, level2 = 0;
    uint32_t w = 0, w2 = 0;                   // weights: level + 1, or 0 for level 0
    uint32_t channel_mask = 0;                // mode 22: 0x00RRGGBB byte mask
    uint32_t key = 0;                         // colour1 as a raw destination pixel value
    uint32_t colour2 = 0;                     // colour2 as 0x00RRGGBB
    uint32_t colour2_raw = 0;                 // colour2 as a raw destination pixel value
    bool remap = false;                       // 8 -> 8 copies go through the colour map
    std::array<uint32_t, 256> src_palette{};  // 0xFFRRGGBB, unused entries black
    std::array<uint32_t, 256> dst_palette{};
    const uint8_t* colour_map = nullptr;  // 32 K cells -> index
    const uint8_t* table = nullptr;       // T2..T6 for the table routines
    const BlendTables* tables = nullptr;
    std::array<uint8_t, 256> soft{};  // mode 12's weight per alpha
};

// One row: n pixels from src (contiguous, source format) onto dst, with n mask
// values for the masked routines.
using RowKernel = void (*)(uint8_t* dst, const uint8_t* src, const uint8_t* mask, uint32_t n,
                           const BlendParams& p);

// Index of a depth pair: (source bytes - 1) * 4 + (destination bytes - 1).
constexpr uint32_t combination(uint32_t src_depth, uint32_t dst_depth) {
    return (src_depth / 8 - 1) * 4 + (dst_depth / 8 - 1);
}

// The scalar routines (the reference) and the ones copies use, which replace
// some of them with vector code. Null where the routine does not exist for
// the pair.
RowKernel scalar_kernel(Routine r, uint32_t combo, bool masked);
RowKernel fast_kernel(Routine r, uint32_t combo, bool masked);

// A blend prepared for one copy.
struct PreparedBlend {
    Routine routine = kCopy;
    bool masked = false;
    bool draws = true;           // false: the mode draws nothing at these levels
    RowKernel kernel = nullptr;  // null: no routine for this pair
    BlendParams params;
};

// Folds the record for the copy from `src` to `dst` (both 8 to 32 bits);
// `has_mask` tells whether the source has a usable mask plane. Nullopt for a
// mode of 36 or more.
std::optional<PreparedBlend> prepare_blend(const BlendRecord& rec, const Plane& dst,
                                           const Plane& src, bool has_mask);

}  // namespace tob::gfx
