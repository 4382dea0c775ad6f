// The page built-ins: vpage, apage, setorg, update, the dirty list, setrgn
// and setdrag.
#include "graphics/colour.h"
#include "graphics/pages.h"
#include "graphics/plane_table.h"
#include "base/error_report.h"
#include "vm/trap.h"

namespace tob::gfx {
namespace {

std::optional<Rect> rect_arg(TrapCall& call, int i) {
    return read_rect(call.memory(), call.address(i));
}

uint32_t set_page(TrapCall& call, std::atomic<uint32_t>& page, const char* operation) {
    uint32_t n = call.word(0);
    if (n >= kPlaneSlots) {
        report_error(1, "%s : パラメータが範囲外です。", operation);
        return 0;
    }
    if (!plane(n)) return 0;
    page = n;
    return 1;
}

uint32_t builtin_vpage(TrapCall& call) {
    return set_page(call, plane_table().view_page, "SetViewPage");
}
uint32_t builtin_apage(TrapCall& call) {
    return set_page(call, plane_table().active_page, "SetActivePage");
}

uint32_t builtin_setorg(TrapCall& call) {
    page_state().origin_x = call.integer(0);
    page_state().origin_y = call.integer(1);
    return 1;
}

uint32_t builtin_update(TrapCall& call) {
    PageState& ps = page_state();
    std::optional<Box> area;
    if (call.word(0) != 0) {
        auto r = rect_arg(call, 0);
        if (!r) return 0;
        Box b = Box::of(*r);
        b = {b.left - ps.offset_x, b.top - ps.offset_y, b.right - ps.offset_x,
             b.bottom - ps.offset_y};
        b = b.intersect({0, 0, ps.screen_width, ps.screen_height});
        if (b.empty()) return 0;
        area = b;
    }
    request_update(area);
    return 1;
}

uint32_t builtin_drt_init(TrapCall&) {
    std::lock_guard lock(page_state().mutex);
    page_state().dirty.clear();
    return 1;
}

uint32_t builtin_drt_set(TrapCall& call) {
    auto r = rect_arg(call, 0);
    if (!r) return 0;
    std::lock_guard lock(page_state().mutex);
    return page_state().dirty.add(*r) ? 1 : 0;
}

uint32_t builtin_drt_copy(TrapCall& call) {
    PageState& ps = page_state();
    std::lock_guard lock(ps.mutex);
    if (ps.dirty.rects().empty()) return 1;
    Plane* dst = plane(call.word(0));
    Plane* src = plane(call.word(3));
    if (!dst || !src) return 0;
    std::optional<Rect> src_rect;
    if (call.word(4) != 0) {
        src_rect = rect_arg(call, 4);
        if (!src_rect) return 0;
    }
    ps.dirty.copy(*dst, call.integer(1), call.integer(2), *src, src_rect);
    return 1;
}

uint32_t builtin_setrgn(TrapCall& call) {
    PageState& ps = page_state();
    std::function<void(std::optional<std::vector<Rect>>)> set_shape;
    {
        std::lock_guard lock(ps.mutex);
        if (!ps.hooks.has_window) return 0;
        set_shape = ps.hooks.set_shape;
    }
    uint32_t n = call.word(0);
    Plane* p = plane(n);
    if (p && (p->width() == 0 || p->height() == 0)) return 1;
    auto shape = shape_from_plane(p, call.word(1));
    if (set_shape) set_shape(std::move(shape));
    return 1;
}

uint32_t builtin_setdrag(TrapCall& call) {
    PageState& ps = page_state();
    {
        std::lock_guard lock(ps.mutex);
        if (!ps.hooks.has_window) return 0;
    }
    ps.drag_plane = call.word(0);
    uint32_t index = call.word(1);
    if (index < 256) ps.drag_colour = palette_state().screen[index];
    return 1;
}

constexpr TrapBinding kBindings[] = {
    {"vpage", builtin_vpage},       {"apage", builtin_apage},       {"setorg", builtin_setorg},
    {"update", builtin_update},     {"drt_init", builtin_drt_init}, {"drt_set", builtin_drt_set},
    {"drt_copy", builtin_drt_copy}, {"setrgn", builtin_setrgn},     {"setdrag", builtin_setdrag},
};

}  // namespace

std::span<const TrapBinding> page_builtins() {
    return kBindings;
}

}  // namespace tob::gfx
