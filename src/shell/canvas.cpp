// Clipped filling, outlining and text blending into a pixel frame.
#include "shell/canvas.h"

#include <algorithm>

namespace tob {

void Canvas::fill(PixelRect r, uint32_t c) const {
    int x0 = std::max({r.x, clip.x, 0});
    int x1 = std::min({r.x + r.w, clip.x + clip.w, width});
    int y0 = std::max({r.y, clip.y, 0});
    int y1 = std::min({r.y + r.h, clip.y + clip.h, height});
    if (x1 <= x0) return;
    for (int y = y0; y < y1; ++y)
        std::fill(pixels + size_t(y) * size_t(width) + size_t(x0),
                  pixels + size_t(y) * size_t(width) + size_t(x1), c);
}

void Canvas::frame(PixelRect r, uint32_t c) const {
    fill({r.x, r.y, r.w, 1}, c);
    fill({r.x, r.y + r.h - 1, r.w, 1}, c);
    fill({r.x, r.y, 1, r.h}, c);
    fill({r.x + r.w - 1, r.y, 1, r.h}, c);
}

void Canvas::blend(int x, int y, uint32_t c, unsigned coverage) const {
    if (x < 0 || y < 0 || x >= width || y >= height || coverage == 0) return;
    if (!clip.contains(x, y)) return;
    uint32_t& d = pixels[size_t(y) * size_t(width) + size_t(x)];
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        unsigned a = (d >> shift) & 0xFF, b = (c >> shift) & 0xFF;
        out |= ((a * (255 - coverage) + b * coverage + 127) / 255) << shift;
    }
    d = out;
}

void Canvas::text(const platform::Font& font, const std::string& utf8, int x, int y, int right,
                  uint32_t c) const {
    if (utf8.empty() || x >= right) return;
    platform::CoverageBitmap b = font.render(utf8);
    // Only the columns that can show are blended.
    int first = std::max(0, std::max(clip.x, 0) - x);
    int last = std::min({b.width, right - x, std::min(clip.x + clip.w, width) - x});
    for (int row = 0; row < b.height; ++row)
        for (int col = first; col < last; ++col) blend(x + col, y + row, c, b.at(col, row));
}

}  // namespace tob
