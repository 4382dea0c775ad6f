// Colour values and the palette state drawing depends on: the screen colour
// table, the script palette, the 5-5-5 colour map and the colour-mapping flag;
// the conversion of a script colour value for a destination depth; and the
// weighted nearest-colour search.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace tob::gfx {

// Bit 24 of a colour value marks a palette index (low byte).
inline constexpr uint32_t kIndexFlag = 0x01000000;
inline constexpr uint32_t kColourMapCells = 32768;

// 0x00RRGGBB from channels, and back.
constexpr uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) {
    return r << 16 | g << 8 | b;
}
constexpr uint32_t red_of(uint32_t c) {
    return (c >> 16) & 255;
}
constexpr uint32_t green_of(uint32_t c) {
    return (c >> 8) & 255;
}
constexpr uint32_t blue_of(uint32_t c) {
    return c & 255;
}

// The 5-5-5 cell of a colour: (R >> 3) << 10 | (G >> 3) << 5 | (B >> 3).
constexpr uint32_t cell_of(uint32_t c) {
    return ((c >> 9) & 0x7C00) | ((c >> 6) & 0x03E0) | ((c >> 3) & 0x001F);
}

struct PaletteState {
    std::array<uint32_t, 256> screen{};          // screen colour table, 0x00RRGGBB
    std::array<uint32_t, 256> script{};          // script palette, as stored by scripts
    std::array<uint8_t, kColourMapCells> map{};  // palette index per 5-5-5 cell
    std::atomic<int32_t> mapping{0};             // `color_mapping`
};
PaletteState& palette_state();

// Resets the screen table and the script palette to the 3-3-2 palette (the
// colour map is kept) and switches colour mapping off.
void reset_palettes();
// Entry i of the 3-3-2 palette.
uint32_t default_palette_entry(uint32_t i);

// Index of the screen colour table nearest to a true colour: weighted squared
// differences of the channels' top 6 bits (red 900, green 3481, blue 121); the
// first exact match wins at once, otherwise the lowest index of least distance.
uint8_t nearest_screen_index(uint32_t rgb);
uint8_t nearest_index(const std::array<uint32_t, 256>& table, uint32_t rgb);

// A colour value converted for a destination depth: for 8 bits a palette
// index; above, 0x00RRGGBB (an index through the screen table).
uint32_t convert_colour(uint32_t value, uint32_t depth);
// The true colour a value stands for (indexes through the screen table).
uint32_t true_colour(uint32_t value);
// A converted colour as a raw pixel value of the depth (5-5-5 for 16 bits).
uint32_t pixel_value(uint32_t value, uint32_t depth);

}  // namespace tob::gfx
