// Pages and the screen: the view page the window shows and the active page,
// the display origin, painting the view page into a frame for the window,
// the dirty-rectangle list, the window shape and the drag plane.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "graphics/geometry.h"

namespace tob {
struct TrapBinding;
}

namespace tob::gfx {

class Plane;

inline constexpr uint32_t kDirtyCapacity = 2048;

// A picture for the window: 0x00RRGGBB pixels, top row first.
struct Frame {
    int32_t width = 0, height = 0;
    std::vector<uint32_t> pixels;
    void resize(int32_t w, int32_t h) {
        width = w;
        height = h;
        pixels.assign(size_t(w) * size_t(h), 0);
    }
};

// What painting needs to know besides the planes.
struct PaintSettings {
    int32_t screen_width = 640, screen_height = 480;
    int32_t origin_x = 0, origin_y = 0;
    int32_t offset_x = 0, offset_y = 0;  // the picture inside the client area
    bool stretched = false;              // windowed with a client size unlike the screen's
};

// Paints the part `area` of the screen (screen coordinates) from the view
// page into `frame` (screen-sized). Stretched windows take the whole page
// without the origin (the window scales the frame); otherwise the origin
// shifts the page and the strips it leaves uncovered are black. A missing
// view page paints black. 8-bit pages show through the screen colour table.
void paint(const Plane* view, const PaintSettings& s, const Box& area, Frame& frame);

// The same straight into a picture's memory (a window's texture), one pass
// over the area: `pixels` is the picture's pixel (area.left, area.top), rows
// `pitch` pixels apart. `area` must lie inside the screen (see
// `screen_area`); every pixel of it is written.
void paint(const Plane* view, const PaintSettings& s, const Box& area, uint32_t* pixels,
           ptrdiff_t pitch);
// `area` cut to the screen.
Box screen_area(const PaintSettings& s, const Box& area);

// The dirty-rectangle list.
class DirtyList {
  public:
    DirtyList() { rects_.reserve(kDirtyCapacity); }
    void clear() { rects_.clear(); }
    // Adds a rectangle; when the list is full everything merges into one
    // bounding rectangle and the result is false.
    bool add(const Rect& r);
    std::span<const Rect> rects() const { return rects_; }
    // Copies from `src` only what the list covers, each pixel once, into `dst`
    // at (x, y) for the source area `src_rect` (the whole source when absent);
    // then empties the list. Same depths copy bytes; 8-bit into 24/32-bit
    // goes through the source's colour table; other pairs copy nothing.
    void copy(Plane& dst, int32_t x, int32_t y, const Plane& src, std::optional<Rect> src_rect);

  private:
    std::vector<Rect> rects_;
    // Scratch for `copy`, kept so that copying allocates nothing once warm.
    std::vector<Box> work_;
    std::vector<std::pair<int64_t, int64_t>> spans_;
    std::vector<int64_t> edges_;
};

// The shell's side of `update` and of window shaping: set by the window.
struct ScreenHooks {
    // Repaints the window from the view page (`area` in screen coordinates,
    // or everything) and returns once it is shown.
    std::function<void(std::optional<Box> area)> update;
    // Sets the window's shape (rows of opaque runs), or none for a plain window.
    std::function<void(std::optional<std::vector<Rect>> shape)> set_shape;
    bool has_window = false;
};

struct PageState {
    std::atomic<int32_t> origin_x{0}, origin_y{0};
    int32_t screen_width = 640, screen_height = 480, screen_depth = 24;
    std::atomic<int32_t> client_width{640}, client_height{480};
    std::atomic<int32_t> offset_x{0}, offset_y{0};
    std::atomic<bool> full_screen{false};
    std::atomic<uint32_t> drag_plane{0xFFFFFFFF};
    std::atomic<uint32_t> drag_colour{0};
    std::mutex mutex;  // guards the dirty list and the hooks
    DirtyList dirty;
    ScreenHooks hooks;

    PaintSettings paint_settings() const;
};
PageState& page_state();

// Asks the window to repaint `area` (screen coordinates) or everything, and
// returns once it is shown; nothing happens without a window.
void request_update(std::optional<Box> area);

// Graphics start-up of the pages: the screen size and depth, the 3-3-2
// palettes, view and active page 0 as a new plane of the screen size, black,
// origin (0, 0). False when plane 0 cannot be made.
bool start_pages(int32_t width, int32_t height, int32_t depth);

// Whether a left press at client (x, y) starts dragging the window.
bool drag_test(int32_t x, int32_t y);

// The window shape from a plane: for every row the runs of pixels that are
// not the key colour. nullopt: no shape (a missing plane).
std::optional<std::vector<Rect>> shape_from_plane(const Plane* p, uint32_t colour_index);

// vpage, apage, setorg, update, drt_init, drt_set, drt_copy, setrgn, setdrag.
std::span<const TrapBinding> page_builtins();
// pal_map, pal_load, pal_set, pal_get, pal_sets, pal_gets, pal_change,
// rgbtohsv, hsvtorgb.
std::span<const TrapBinding> palette_builtins();

// The colour-space conversions: (H << 16) | (S << 8) | V with H in 2048 steps.
uint32_t rgb_to_hsv(uint32_t rgb);
uint32_t hsv_to_rgb(uint32_t hsv);
// Builds the 5-5-5 colour map for a palette (entries 1–255 take part).
void build_colour_map(const uint32_t* palette, uint8_t* map);

}  // namespace tob::gfx
