#include "graphics/pages.h"

#include <algorithm>
#include <cstring>

#include "graphics/colour.h"
#include "graphics/plane.h"
#include "graphics/plane_table.h"
#include "graphics/raster.h"
#include "graphics/screen_rows.h"

namespace tob::gfx {

Box screen_area(const PaintSettings& s, const Box& area) {
    return area.intersect({0, 0, s.screen_width, s.screen_height});
}

void paint(const Plane* view, const PaintSettings& s, const Box& area, uint32_t* pixels,
           ptrdiff_t pitch) {
    const Box a = screen_area(s, area);
    if (a.empty()) return;
    // Where screen pixel (x, y) comes from, and the black strips a shifted
    // page leaves uncovered.
    int64_t dx = s.stretched ? 0 : int64_t(s.origin_x) + s.offset_x;
    int64_t dy = s.stretched ? 0 : int64_t(s.origin_y) + s.offset_y;
    Box shown{0, 0, s.screen_width, s.screen_height};
    if (!s.stretched) {
        if (s.origin_x > 0) shown.right -= s.origin_x;
        if (s.origin_x < 0) shown.left -= int64_t(s.origin_x);
        if (s.origin_y > 0) shown.bottom -= s.origin_y;
        if (s.origin_y < 0) shown.top -= int64_t(s.origin_y);
    }
    // Columns whose source lies inside the page and outside the strips: the
    // same for every row.
    int64_t x0 = a.left, x1 = a.left;
    if (view) {
        x0 = std::max({a.left, shown.left, -dx});
        x1 = std::min({a.right, shown.right, int64_t(view->width()) - dx});
        if (x1 < x0) x0 = x1 = a.left;
    }
    for (int64_t y = a.top; y < a.bottom; ++y) {
        uint32_t* out = pixels + (y - a.top) * pitch;  // screen pixel (a.left, y)
        int64_t sy = y + dy;
        bool page_row =
            view && y >= shown.top && y < shown.bottom && sy >= 0 && sy < view->height();
        if (!page_row || x0 == x1) {
            std::fill(out, out + a.width(), 0u);
            continue;
        }
        std::fill(out, out + (x0 - a.left), 0u);
        convert_screen_row(*view, sy, x0 + dx, x1 + dx, out + (x0 - a.left));
        std::fill(out + (x1 - a.left), out + a.width(), 0u);
    }
}

void paint(const Plane* view, const PaintSettings& s, const Box& area, Frame& frame) {
    if (frame.width != s.screen_width || frame.height != s.screen_height)
        frame.resize(s.screen_width, s.screen_height);
    const Box a = screen_area(s, area);
    if (a.empty()) return;
    paint(view, s, a, frame.pixels.data() + a.top * frame.width + a.left, frame.width);
}

bool DirtyList::add(const Rect& r) {
    if (rects_.size() < kDirtyCapacity) {
        rects_.push_back(r);
        return true;
    }
    Rect all = r;
    for (const Rect& q : rects_) {
        all.left = std::min(all.left, q.left);
        all.top = std::min(all.top, q.top);
        all.right = std::max(all.right, q.right);
        all.bottom = std::max(all.bottom, q.bottom);
    }
    rects_.assign(1, all);
    return false;
}

void DirtyList::copy(Plane& dst, int32_t x, int32_t y, const Plane& src,
                     std::optional<Rect> src_rect) {
    Box s = src_rect ? Box::of(*src_rect) : src.bounds();
    // The destination area, cut to the destination's clip rectangle, with the
    // source moved to match and cut to the source plane.
    Box d{x, y, int64_t(x) + s.width(), int64_t(y) + s.height()};
    Box clipped = d.intersect(Box::of(dst.clip())).intersect(dst.bounds());
    int64_t sx = s.left - d.left, sy = s.top - d.top;  // source = destination + (sx, sy)
    clipped = clipped.intersect({src.bounds().left - sx, src.bounds().top - sy,
                                 src.bounds().right - sx, src.bounds().bottom - sy});
    std::vector<Box>& work = work_;
    work.clear();
    for (const Rect& r : rects_) {
        Box b = Box::of(r).intersect(clipped);
        if (!b.empty()) work.push_back(b);
    }
    rects_.clear();
    if (work.empty()) return;

    const uint32_t dd = dst.depth(), sd = src.depth();
    bool same = dd == sd && dd >= 8;
    bool indexed_to_true = sd == 8 && (dd == 24 || dd == 32);
    if (!same && !indexed_to_true) return;
    const uint32_t dbytes = dd / 8;

    // Rows between two consecutive edges (a top or a bottom of some
    // rectangle) are covered by the same rectangles: their spans, sorted and
    // merged so that each pixel is copied once, are worked out once per band.
    std::vector<int64_t>& edges = edges_;
    edges.clear();
    for (const Box& b : work) {
        edges.push_back(b.top);
        edges.push_back(b.bottom);
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    std::vector<std::pair<int64_t, int64_t>>& spans = spans_;
    for (size_t e = 0; e + 1 < edges.size(); ++e) {
        const int64_t band_top = edges[e], band_bottom = edges[e + 1];
        spans.clear();
        for (const Box& b : work)
            if (b.top <= band_top && b.bottom > band_top) spans.push_back({b.left, b.right});
        if (spans.empty()) continue;
        std::sort(spans.begin(), spans.end());
        size_t merged = 0;
        for (size_t k = 1; k < spans.size(); ++k) {
            if (spans[k].first <= spans[merged].second)
                spans[merged].second = std::max(spans[merged].second, spans[k].second);
            else
                spans[++merged] = spans[k];
        }
        spans.resize(merged + 1);
        for (int64_t row = band_top; row < band_bottom; ++row) {
            uint8_t* drow = dst.row(int32_t(row));
            const uint8_t* srow = src.row(int32_t(row + sy));
            for (auto [l, r] : spans) {
                if (same) {
                    std::memmove(drow + l * dbytes, srow + (l + sx) * dbytes,
                                 size_t(r - l) * dbytes);
                } else {
                    for (int64_t px = l; px < r; ++px) {
                        uint32_t c = src.colour(srow[px + sx]);
                        uint8_t* o = drow + px * dbytes;
                        o[0] = uint8_t(c);
                        o[1] = uint8_t(c >> 8);
                        o[2] = uint8_t(c >> 16);
                    }
                }
            }
        }
    }
}

PaintSettings PageState::paint_settings() const {
    PaintSettings s;
    s.screen_width = screen_width;
    s.screen_height = screen_height;
    s.origin_x = origin_x;
    s.origin_y = origin_y;
    s.offset_x = offset_x;
    s.offset_y = offset_y;
    s.stretched = !full_screen && (client_width != screen_width || client_height != screen_height);
    return s;
}

PageState& page_state() {
    static PageState state;
    return state;
}

void request_update(std::optional<Box> area) {
    std::function<void(std::optional<Box>)> update;
    {
        std::lock_guard lock(page_state().mutex);
        update = page_state().hooks.update;  // called outside the lock: it waits for the window
    }
    if (update) update(area);
}

bool start_pages(int32_t width, int32_t height, int32_t depth) {
    PageState& ps = page_state();
    ps.screen_width = width;
    ps.screen_height = height;
    ps.screen_depth = depth;
    ps.origin_x = 0;
    ps.origin_y = 0;
    ps.drag_plane = 0xFFFFFFFF;
    {
        std::lock_guard lock(ps.mutex);
        ps.dirty.clear();
    }
    PlaneTable& t = plane_table();
    reset_palettes();
    t.view_page = 0;
    t.active_page = 0;
    if (!t.memory()) return false;
    auto page = Plane::create(*t.memory(), width, height, depth);
    if (!page) return false;
    // Black; a plane fresh from script memory is all zero bytes already,
    // which is black unless the depth's black is another pixel value.
    t.put(0, std::move(page));
    if (pixel_value(0, uint32_t(depth)) != 0) fill_rect(*t.get(0), Rect{0, 0, width, height}, 0);
    return true;
}

bool drag_test(int32_t x, int32_t y) {
    uint32_t n = page_state().drag_plane;
    if (n >= kPlaneSlots) return false;
    auto p = plane_table().acquire(n);
    if (!p || x < 0 || y < 0 || x >= p->width() || y >= p->height()) return false;
    return read_pixel_rgb(*p, x, y) == page_state().drag_colour;
}

std::optional<std::vector<Rect>> shape_from_plane(const Plane* p, uint32_t index) {
    if (!p) return std::nullopt;
    std::vector<Rect> runs;
    uint32_t key_rgb = palette_state().screen[index & 255];
    for (int32_t y = 0; y < p->height(); ++y) {
        int32_t start = -1;
        for (int32_t x = 0; x <= p->width(); ++x) {
            bool opaque = false;
            if (x < p->width()) {
                if (p->depth() == 8)
                    opaque = p->row(y)[x] != (index & 255);
                else if (p->depth() == 16)
                    opaque = (read_pixel_rgb(*p, x, y) & 0xF8F8F8) != (key_rgb & 0xF8F8F8);
                else
                    opaque = read_pixel_rgb(*p, x, y) != key_rgb;
            }
            if (opaque && start < 0) start = x;
            if (!opaque && start >= 0) {
                runs.push_back({start, y, x, y + 1});
                start = -1;
            }
        }
    }
    return runs;
}

}  // namespace tob::gfx
