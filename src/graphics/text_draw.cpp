// `gtext`: the text box, plain text drawn by the platform text functions into
// the plane's own pixels, and smooth text drawn at eight times the size into
// the scratch plane and reduced. Every text call goes through the exported
// platform functions, so a hook library sees them all.
#include <algorithm>
#include <cmath>

#include "graphics/colour.h"
#include "graphics/plane_table.h"
#include "graphics/raster.h"
#include "graphics/text.h"
#include "platform/text_raster.h"

namespace tob::gfx {
namespace {

constexpr COLORREF kWhite = 0xFFFFFF;
constexpr COLORREF kGrey = 0x7F7F7F;
constexpr uint8_t kGreyLevel = 127;

// 0x00RRGGBB -> 0x00BBGGRR.
COLORREF colorref(uint32_t rgb) {
    return (rgb & 0xFF) << 16 | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

uint32_t screen_colour(uint32_t index) {
    return palette_state().screen[index] & 0xFFFFFF;
}

bool fits_int(int64_t v) {
    return v >= INT32_MIN && v <= INT32_MAX;
}

// A device context for one drawing, deleted with it.
class DrawingContext {
  public:
    explicit DrawingContext(const TobBitmap& b) : dc_(tob_create_bitmap_dc(&b)) {}
    ~DrawingContext() {
        if (dc_) tob_delete_dc(dc_);
    }
    DrawingContext(const DrawingContext&) = delete;
    DrawingContext& operator=(const DrawingContext&) = delete;
    HDC get() const { return dc_; }

  private:
    HDC dc_;
};

// The box of `text` in the font selected into `dc`; nullopt when it cannot be measured.
std::optional<Box> measure(HDC dc, std::string_view text, const FontRecord& rec) {
    SIZE size{};
    if (!GetTextExtentPoint32A(dc, text.data(), int(text.size()), &size)) return std::nullopt;
    return text_box(size.cx, size.cy, rec.angle, rec.style & kStyleItalic);
}

uint32_t draw_plain(Plane& p, int32_t x, int32_t y, uint32_t attr, std::string_view text,
                    const FontRecord& rec, HFONT font) {
    // 8-bit planes: a table of black but for white at the text index and grey
    // at the background index, so exactly those two indexes are written.
    std::array<uint8_t, 256 * 4> table{};
    TobBitmap bm{p.row(0),
                 p.width(),
                 p.height(),
                 -int64_t(p.pitch()),
                 int32_t(p.depth()),
                 p.colours(),
                 int32_t(p.colour_count())};
    COLORREF text_colour = colorref(screen_colour(attr_text_index(attr)));
    COLORREF back_colour = colorref(screen_colour(attr_background_index(attr)));
    if (p.depth() == 8) {
        size_t t = attr_text_index(attr) * 4, g = attr_background_index(attr) * 4;
        table[t] = table[t + 1] = table[t + 2] = 255;
        table[g] = table[g + 1] = table[g + 2] = kGreyLevel;
        bm.colours = table.data();
        bm.colour_count = 256;
        text_colour = kWhite;
        back_colour = kGrey;
    }
    DrawingContext dc(bm);
    if (!dc.get()) return 1;  // no device context: nothing drawn
    SelectObject(dc.get(), font);
    auto box = measure(dc.get(), text, rec);
    if (!box) return 1;
    int64_t ox = int64_t(x) - box->left, oy = int64_t(y) - box->top;
    if (!fits_int(ox) || !fits_int(oy)) return 1;  // nowhere near the plane
    SetTextColor(dc.get(), text_colour);
    SetBkColor(dc.get(), back_colour);
    SetBkMode(dc.get(), attr & kAttrOpaque ? TOB_OPAQUE : TOB_TRANSPARENT);
    TextOutA(dc.get(), int(ox), int(oy), text.data(), int(text.size()));
    return 1;
}

uint32_t draw_smooth(Plane& p, int32_t x, int32_t y, uint32_t attr, std::string_view text,
                     const FontRecord& rec, HFONT font) {
    TextState& st = text_state();
    std::optional<Box> box;
    {
        TobBitmap none{nullptr, 0, 0, 0, 1, nullptr, 0};
        DrawingContext dc(none);
        if (!dc.get()) return 1;
        SelectObject(dc.get(), font);
        box = measure(dc.get(), text, rec);
    }
    if (!box) return 1;
    // The scratch area: whole bytes plus a block of margin each way.
    const int64_t wn = ((box->width() + 7) & ~int64_t(7)) + 8;
    const int64_t hn = box->height() + 8;
    if (uint64_t(wn / 8) * uint64_t(hn) > kMaxScratchBytes || !st.reserve_scratch(wn, hn))
        return 1;  // no memory: nothing drawn
    if (!fits_int(box->left) || !fits_int(box->top) || box->left == INT32_MIN ||
        box->top == INT32_MIN)
        return 1;
    Box area = Box{x, y, int64_t(x) + wn / 8, int64_t(y) + hn / 8}
                   .intersect(Box::of(p.clip()))
                   .intersect(p.bounds());
    if (area.empty()) return 0;

    const int64_t pitch = st.scratch_pitch();
    uint8_t* scratch = st.scratch();
    for (int64_t r = 0; r < hn; ++r) std::fill_n(scratch + r * pitch, wn / 8, uint8_t(0));
    static constexpr uint8_t kBlackWhite[8] = {0, 0, 0, 0, 255, 255, 255, 0};
    TobBitmap bm{scratch, int32_t(wn), int32_t(hn), pitch, 1, kBlackWhite, 2};
    {
        DrawingContext dc(bm);
        if (!dc.get()) return 1;
        SelectObject(dc.get(), font);
        SetTextColor(dc.get(), kWhite);
        SetBkMode(dc.get(), TOB_TRANSPARENT);
        TextOutA(dc.get(), int(-box->left), int(-box->top), text.data(), int(text.size()));
    }
    if (attr & kAttrOpaque)
        fill_rect(
            p,
            Rect{int32_t(area.left), int32_t(area.top), int32_t(area.right), int32_t(area.bottom)},
            screen_colour(attr_background_index(attr)));
    write_coverage(p, area, x, y, scratch, pitch, screen_colour(attr_text_index(attr)),
                   attr & kAttrAlpha);
    return 1;
}

}  // namespace

Box text_box(int64_t cx, int64_t cy, int64_t angle, bool italic) {
    if (italic) cx += 1 + cy / 4;
    int64_t a = angle % 3600;
    if (a < 0) a += 3600;
    if (a == 0) return {0, 0, cx, cy};
    if (a == 2700) return {-cy, 0, 0, cx};
    double cs, sn;
    platform::angle_cos_sin(a, cs, sn);
    const double xs[4] = {0, double(cx) * cs, double(cy) * sn, double(cx) * cs + double(cy) * sn};
    const double ys[4] = {0, -double(cx) * sn, double(cy) * cs, -double(cx) * sn + double(cy) * cs};
    auto lo = [](const double* v) { return int64_t(std::floor(*std::min_element(v, v + 4))); };
    auto hi = [](const double* v) { return int64_t(std::ceil(*std::max_element(v, v + 4))); };
    return {lo(xs), lo(ys), hi(xs), hi(ys)};
}

uint32_t draw_text(uint32_t plane_number, int32_t x, int32_t y, uint32_t attr,
                   std::string_view text, uint32_t thread) {
    Plane* p = plane(plane_number);
    if (!p || thread >= kTextThreads) return 0;
    TextState& st = text_state();
    uint32_t slot = st.current(thread);
    if (slot >= kFontSlots) return 0;
    if (text.empty()) return 1;
    HFONT font = st.font(slot);
    if (!font) return 0;
    FontRecord rec = decode_font_record(st.record(slot));
    if (!(rec.style & kStyleSmooth)) return draw_plain(*p, x, y, attr, text, rec, font);
    if (p->depth() < 8) return 1;  // smooth text needs 8 bits or more
    return draw_smooth(*p, x, y, attr, text, rec, font);
}

}  // namespace tob::gfx
