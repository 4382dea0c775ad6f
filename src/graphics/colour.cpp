// Palette state, colour conversion and the nearest-colour search.
#include "graphics/colour.h"

#include "graphics/blend_tables.h"

namespace tob::gfx {

PaletteState& palette_state() {
    static PaletteState state;
    return state;
}

uint32_t default_palette_entry(uint32_t i) {
    return rgb(((i >> 5) & 7) * 255 / 7, ((i >> 2) & 7) * 255 / 7, (i & 3) * 255 / 3);
}

void reset_palettes() {
    PaletteState& s = palette_state();
    for (uint32_t i = 0; i < 256; ++i) s.screen[i] = s.script[i] = default_palette_entry(i);
    s.mapping = 0;
}

uint8_t nearest_index(const std::array<uint32_t, 256>& table, uint32_t c) {
    const ColourWeights& w = colour_weights();
    int r = int(red_of(c) >> 2), g = int(green_of(c) >> 2), b = int(blue_of(c) >> 2);
    uint32_t best = UINT32_MAX;
    uint8_t best_index = 0;
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t e = table[i];
        uint32_t d = w.green(g - int(green_of(e) >> 2));
        if (d >= best) continue;
        d += w.red(r - int(red_of(e) >> 2));
        if (d >= best) continue;
        d += w.blue(b - int(blue_of(e) >> 2));
        if (d >= best) continue;
        if (d == 0) return uint8_t(i);
        best = d;
        best_index = uint8_t(i);
    }
    return best_index;
}

uint8_t nearest_screen_index(uint32_t c) {
    return nearest_index(palette_state().screen, c);
}

uint32_t true_colour(uint32_t value) {
    return value & kIndexFlag ? palette_state().screen[value & 255] & 0xFFFFFF : value & 0xFFFFFF;
}

uint32_t convert_colour(uint32_t value, uint32_t depth) {
    if (depth <= 8) return value & kIndexFlag ? value & 255 : nearest_screen_index(value);
    return true_colour(value);
}

uint32_t pixel_value(uint32_t value, uint32_t depth) {
    uint32_t c = convert_colour(value, depth);
    if (depth == 16) return ((c >> 19) & 31) << 10 | ((c >> 11) & 31) << 5 | ((c >> 3) & 31);
    return c;
}

}  // namespace tob::gfx
