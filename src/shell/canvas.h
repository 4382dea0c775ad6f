// Drawing the engine's own window parts (the menu bar, the debug output
// window) into frames of 0x00RRGGBB pixels: rectangles, lines and text
// blended from the font's coverage, all clipped.
#pragma once

#include <cstdint>
#include <string>

#include "platform/text_raster.h"

namespace tob {

struct PixelRect {
    int x = 0, y = 0, w = 0, h = 0;
    bool contains(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

// A frame, drawn only inside `clip` (and always inside the frame).
struct Canvas {
    uint32_t* pixels;
    int width, height;
    PixelRect clip{0, 0, 1 << 30, 1 << 30};

    void fill(PixelRect r, uint32_t colour) const;
    // A one-pixel outline.
    void frame(PixelRect r, uint32_t colour) const;
    void blend(int x, int y, uint32_t colour, unsigned coverage) const;
    // Text with its cell's top-left at (x, y), cut at `right`.
    void text(const platform::Font& font, const std::string& utf8, int x, int y, int right,
              uint32_t colour) const;
};

}  // namespace tob
