// Built-ins of the copy and drawing family: gcopy, gblit, gfill, gline, gpoly.
// Handlers translate the script's words and pointers and call the copy engine
// and raster routines.
#include <vector>

#include "graphics/blitter.h"
#include "graphics/graphics.h"
#include "graphics/plane_table.h"
#include "graphics/raster.h"
#include "vm/trap.h"

namespace tob {
namespace {

using namespace gfx;

std::optional<std::optional<Rect>> rect_arg(TrapCall& call, int i) {
    return read_optional_rect(call.memory(), call.word(i));
}

uint32_t builtin_gcopy(TrapCall& call) {
    Plane* dst = plane(call.word(0));
    const Plane* src = plane(call.word(3));
    auto rect = rect_arg(call, 4);
    auto blend = read_blend_record(call.memory(), call.word(5));
    if (!dst || !src || !rect || !blend) return 0;
    return copy_unscaled(*dst, call.integer(1), call.integer(2), *src,
                         plane_table().mask_of(call.word(3)), *rect, *blend);
}

uint32_t builtin_gblit(TrapCall& call) {
    Plane* dst = plane(call.word(0));
    const Plane* src = plane(call.word(2));
    auto drect = rect_arg(call, 1);
    auto srect = rect_arg(call, 3);
    auto blend = read_blend_record(call.memory(), call.word(4));
    if (!dst || !src || !drect || !srect || !blend) return 0;
    return copy_scaled(*dst, *drect, *src, plane_table().mask_of(call.word(2)), *srect, *blend,
                       call.word(5));
}

uint32_t builtin_gfill(TrapCall& call) {
    Plane* p = plane(call.word(0));
    auto rect = rect_arg(call, 1);
    if (!p || !rect) return 0;
    return fill_rect(*p, *rect, call.word(2));
}

uint32_t builtin_gline(TrapCall& call) {
    Plane* p = plane(call.word(0));
    if (!p) return 0;
    return draw_line(*p, call.integer(1), call.integer(2), call.integer(3), call.integer(4),
                     call.word(5));
}

uint32_t builtin_gpoly(TrapCall& call) {
    Plane* p = plane(call.word(0));
    int32_t count = call.integer(2);
    if (!p || count < 3 || uint32_t(count) > kMaxPolygonVertices) return 0;
    ScriptAddr at = call.word(1);
    if (!call.pointer(1, uint32_t(count) * 8)) return 0;
    std::vector<Point> pts(static_cast<size_t>(count));
    for (size_t i = 0; i < pts.size(); ++i) {
        uint32_t x = 0, y = 0;
        call.memory().read32(at + uint32_t(8 * i), x);
        call.memory().read32(at + uint32_t(8 * i + 4), y);
        pts[i] = {int32_t(x), int32_t(y)};
    }
    return fill_polygon(*p, pts, call.word(3));
}

constexpr TrapBinding kBindings[] = {
    {"gcopy", builtin_gcopy}, {"gblit", builtin_gblit}, {"gfill", builtin_gfill},
    {"gline", builtin_gline}, {"gpoly", builtin_gpoly},
};

}  // namespace

std::span<const TrapBinding> blit_builtins() {
    return kBindings;
}

}  // namespace tob
