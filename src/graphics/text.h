// Text in planes: the 32 font slots and each script thread's current font,
// the text box, plain text drawn by the platform text functions straight into
// a plane, and smooth text drawn eight times larger into a 1-bit scratch plane
// and reduced 8 x 8 to coverage.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/geometry.h"
#include "graphics/plane.h"
#include "platform/winapi.h"

namespace tob::gfx {

inline constexpr uint32_t kFontSlots = 32;
inline constexpr uint32_t kTextThreads = 32;
inline constexpr uint32_t kFontRecordBytes = 44;
inline constexpr uint32_t kFaceFieldBytes = 32;
// The face name is read as at most 31 bytes, even when the field holds no zero.
inline constexpr uint32_t kFaceNameBytes = kFaceFieldBytes - 1;
// `gtextf` formats into 1,024 bytes: 1,023 and a zero.
inline constexpr size_t kFormattedTextBytes = 1023;
// A scratch plane larger than this counts as no memory.
inline constexpr uint64_t kMaxScratchBytes = 64ull << 20;
inline constexpr int64_t kSmoothScale = 8;

// The font record scripts pass by address (little-endian fields).
struct FontRecord {
    char face[kFaceFieldBytes];
    int32_t size;   // cell height in pixels
    int32_t angle;  // tenths of a degree
    uint32_t style;
};
static_assert(sizeof(FontRecord) == kFontRecordBytes);
static_assert(offsetof(FontRecord, size) == 32);
static_assert(offsetof(FontRecord, angle) == 36);
static_assert(offsetof(FontRecord, style) == 40);

using FontRecordBytes = std::array<uint8_t, kFontRecordBytes>;

enum FontStyle : uint32_t {
    kStyleBold = 1u << 0,
    kStyleItalic = 1u << 1,
    kStyleUnderline = 1u << 2,
    kStyleStrikeOut = 1u << 3,
    kStyleSmooth = 1u << 4,
};

// Text attribute: text and background colour indexes into the screen colour
// table, an opaque background, coverage written as alpha.
inline constexpr uint32_t kAttrOpaque = 1u << 30;
inline constexpr uint32_t kAttrAlpha = 1u << 31;
inline uint32_t attr_text_index(uint32_t attr) {
    return attr & 0xFF;
}
inline uint32_t attr_background_index(uint32_t attr) {
    return (attr >> 8) & 0xFF;
}

FontRecord decode_font_record(const FontRecordBytes& bytes);
// Face "ＭＳ ゴシック", size 16, angle 0, style 0.
FontRecordBytes default_font_record();
// The platform font description of a record (height = size, eight times for
// smooth text); nullopt when that height does not fit.
std::optional<LOGFONTA> logfont_for(const FontRecord& record);

// The text's box relative to the drawing origin, from its extent: italic
// adds 1 + cy / 4 to cx; the extent is turned by the angle and the box
// encloses the turned rectangle (minimums floored, maximums ceiled).
Box text_box(int64_t cx, int64_t cy, int64_t angle, bool italic);

// Font slots, current fonts and the scratch plane. Built-ins run one at a
// time (under the trap lock), so this needs no lock of its own.
class TextState {
  public:
    // Slots to the default record without fonts, every thread on slot 0, the
    // scratch plane gone.
    void reset();
    void release_fonts();

    FontRecordBytes& record(uint32_t slot) { return slots_[slot].record; }
    void use(uint32_t thread, uint8_t slot) { current_[thread] = slot; }
    uint8_t current(uint32_t thread) const { return current_[thread]; }
    // The slot's font, made again only when its record changed since it was
    // made; null when it cannot be made.
    HFONT font(uint32_t slot);

    // The 1-bit scratch plane of smooth text: rows of `scratch_pitch` bytes.
    // Grows to at least w x h (keeping each dimension at its largest); false
    // when that would pass kMaxScratchBytes.
    bool reserve_scratch(int64_t w, int64_t h);
    uint8_t* scratch() { return scratch_.data(); }
    int64_t scratch_pitch() const { return scratch_width_ / 8; }

  private:
    struct Slot {
        FontRecordBytes record{};
        FontRecordBytes made_from{};
        HFONT font = nullptr;
    };
    std::array<Slot, kFontSlots> slots_{};
    std::array<uint8_t, kTextThreads> current_{};
    std::vector<uint8_t> scratch_;
    int64_t scratch_width_ = 0, scratch_height_ = 0;
};
TextState& text_state();

// `gtext`: draws `text` (CP932) into plane `plane` with its box's top-left at
// (x, y), in the current font of script thread `thread`.
uint32_t draw_text(uint32_t plane, int32_t x, int32_t y, uint32_t attr, std::string_view text,
                   uint32_t thread);

// The face names `font_list` offers, CP932, each at most 31 bytes.
std::vector<std::string> offered_faces();

// ---- Smoothing ----

// Coverage of one 8 x 8 block: A[b] = 4 x set bits of b over the first seven
// rows, B (A with B[255] = 31) over the eighth; a full block gives 255.
uint8_t coverage_a(uint8_t bits);
uint8_t coverage_b(uint8_t bits);
// Block at byte `column` of the eight rows from `rows` on, `pitch` apart.
uint8_t block_coverage(const uint8_t* rows, int64_t pitch, int64_t column);
// The same for `count` blocks from byte `first` on, into `out`; false when
// every one is 0. Equal to block_coverage block by block, only faster.
bool row_coverage(const uint8_t* rows, int64_t pitch, int64_t first, int64_t count, uint8_t* out);

// Writes the coverage of the scratch rows into `area` of `dst` (already
// clipped), whose block (0, 0) lands at (x, y): pixels of coverage 0 are left
// alone; the rest take the text colour `rgb` (0x00RRGGBB) by the destination's
// depth, or coverage as alpha when `alpha` is set; 8-bit planes get the
// coverage itself.
void write_coverage(Plane& dst, const Box& area, int64_t x, int64_t y, const uint8_t* scratch,
                    int64_t pitch, uint32_t rgb, bool alpha);

}  // namespace tob::gfx
