// The blitter's row operations, used by sprites, text and effects: blends of
// two images into a third (keyed, by an 8-bit mask, toward a colour, by a
// level), fades, keyed copies, conversions between the four pixel formats,
// desaturation and monotone tinting. Every operation works row by row over
// (width, height) with byte row steps (negative for bottom-up planes); the
// output may be the background itself (blending in place).
#pragma once

#include <cstdint>

namespace tob::gfx {

// Pixel formats of the row operations, in blitter group order.
enum class RowFormat : uint8_t { k32, k24, k565, k555 };
inline constexpr int kRowFormats = 4;

// Rows of an image: row y starts at p + y * step.
struct Rows {
    uint8_t* p = nullptr;
    int64_t step = 0;
    uint8_t* row(int64_t y) const { return p + y * step; }
};
struct ConstRows {
    const uint8_t* p = nullptr;
    int64_t step = 0;
    ConstRows() = default;
    ConstRows(const uint8_t* q, int64_t s) : p(q), step(s) {}
    ConstRows(Rows r) : p(r.p), step(r.step) {}
    const uint8_t* row(int64_t y) const { return p + y * step; }
};

// Colours are 0x00RRGGBB; keys are raw pixel values of the format (the low
// 24 bits for 32-bit pixels). 16-bit formats blend with a 5-bit weight
// (level >> 3, then + 1) on their fields.
namespace row_ops {

// out = bg blended toward src by level + 1 where src is not the key, else bg.
void keyed_blend(RowFormat f, uint32_t level, int32_t w, int32_t h, Rows out, ConstRows bg,
                 ConstRows src, uint32_t key);
// out = bg blended toward src by mask + 1 (mask: 8-bit rows).
void mask_blend(RowFormat f, ConstRows mask, int32_t w, int32_t h, Rows out, ConstRows bg,
                ConstRows src);
// out = bg blended toward colour by mask + 1 (anti-aliased text, coverage).
void mask_colour(RowFormat f, ConstRows mask, int32_t w, int32_t h, Rows out, ConstRows bg,
                 uint32_t colour);
// out = bg blended toward src by level + 1.
void blend(RowFormat f, uint32_t level, int32_t w, int32_t h, Rows out, ConstRows bg,
           ConstRows src);
// out = src blended toward colour by level + 1.
void fade(RowFormat f, uint32_t level, int32_t w, int32_t h, Rows out, ConstRows src,
          uint32_t colour);
// dst = src where src is not the key.
void keyed_copy(RowFormat f, uint32_t key, int32_t w, int32_t h, Rows dst, ConstRows src);
// Converts pixels; 5- and 6-bit fields widen as (f << 3) | (f >> 2) and
// (f << 2) | (f >> 4), a 32-bit destination gets alpha 255 (a 32-bit source
// copied to 32 bits keeps its own).
void convert(RowFormat from, RowFormat to, int32_t w, int32_t h, Rows dst, ConstRows src);
// Moves every channel toward grey (38R + 77G + 13B, weights summing to 128)
// by level + 1; with `keyed`, pixels equal to the key are left alone.
void desaturate(RowFormat f, uint32_t level, int32_t w, int32_t h, Rows dst, ConstRows src,
                bool keyed, uint32_t key);
// Grey times a colour: channel = grey * (colour channel + 1) >> 15, alpha
// kept; keyed as above.
void monotone(RowFormat f, uint32_t colour, int32_t w, int32_t h, Rows dst, ConstRows src,
              bool keyed, uint32_t key);

}  // namespace row_ops
}  // namespace tob::gfx
