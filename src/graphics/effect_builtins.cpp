// Built-ins of the image effects family: the filters (freemap ... fire) and
// the warp effects (ef_init ... ef_water). Handlers translate the script's
// words and pointers and call the effects.
#include "graphics/effects.h"
#include "graphics/graphics.h"
#include "graphics/plane_table.h"
#include "graphics/warp.h"
#include "vm/trap.h"

namespace tob {
namespace {

using namespace gfx;

std::optional<std::optional<Rect>> rect_arg(TrapCall& call, int i) {
    return read_optional_rect(call.memory(), call.word(i));
}

std::optional<std::optional<Quad>> quad_arg(TrapCall& call, int i) {
    if (!call.word(i)) return std::optional<Quad>{};
    if (!call.pointer(i, kQuadBytes)) return std::nullopt;
    Quad q;
    for (uint32_t k = 0; k < 4; ++k) {
        uint32_t x = 0, y = 0;
        call.memory().read32(call.word(i) + 8 * k, x);
        call.memory().read32(call.word(i) + 8 * k + 4, y);
        q[k] = {int32_t(x), int32_t(y)};
    }
    return std::optional<Quad>{q};
}

uint32_t builtin_freemap(TrapCall& call) {
    Plane* dst = plane(call.word(0));
    const Plane* src = plane(call.word(2));
    auto quad = quad_arg(call, 1);
    auto rect = rect_arg(call, 3);
    if (!dst || !src || !quad || !rect) return 0;
    return freemap(*dst, *quad, *src, *rect, call.integer(4));
}

uint32_t builtin_smooth(TrapCall& call) {
    Plane* dst = plane(call.word(0));
    const Plane* src = plane(call.word(2));
    auto drect = rect_arg(call, 1);
    auto srect = rect_arg(call, 3);
    if (!dst || !src || !drect || !srect) return 0;
    return smooth(*dst, *drect, *src, *srect, call.integer(4));
}

uint32_t builtin_rotate(TrapCall& call) {
    Plane* dst = plane(call.word(0));
    const Plane* src = plane(call.word(2));
    auto drect = rect_arg(call, 1);
    auto srect = rect_arg(call, 3);
    if (!dst || !src || !drect || !srect) return 0;
    return rotate(*dst, *drect, *src, *srect, call.integer(4), call.integer(5));
}

uint32_t builtin_tiled(TrapCall& call) {
    Plane* dst = plane(call.word(0));
    const Plane* src = plane(call.word(2));
    auto drect = rect_arg(call, 1);
    auto srect = rect_arg(call, 3);
    if (!dst || !src || !drect || !srect) return 0;
    return tiled(*dst, *drect, *src, *srect, call.integer(4), call.integer(5));
}

uint32_t builtin_scroll(TrapCall& call) {
    Plane* p = plane(call.word(0));
    auto rect = rect_arg(call, 1);
    if (!p || !rect) return 0;
    return scroll(*p, *rect, call.integer(2), call.integer(3));
}

uint32_t builtin_noise(TrapCall& call) {
    Plane* p = plane(call.word(0));
    auto rect = rect_arg(call, 1);
    if (!p || !rect) return 0;
    return noise(*p, *rect, call.integer(2));
}

uint32_t builtin_slice(TrapCall& call) {
    Plane* p = plane(call.word(0));
    auto rect = rect_arg(call, 1);
    if (!p || !rect) return 0;
    return slice(*p, *rect, call.integer(2));
}

uint32_t builtin_gradation(TrapCall& call) {
    Plane* dst = plane(call.word(0));
    const Plane* src = plane(call.word(3));
    auto rect = rect_arg(call, 4);
    if (!dst || !src || !rect) return 0;
    return gradation(*dst, call.integer(1), call.integer(2), *src, *rect);
}

uint32_t builtin_mosaic(TrapCall& call) {
    Plane* dst = plane(call.word(0));
    const Plane* src = plane(call.word(3));
    auto rect = rect_arg(call, 4);
    if (!dst || !src || !rect) return 0;
    return mosaic(*dst, call.integer(1), call.integer(2), *src, *rect, call.integer(5),
                  call.integer(6));
}

uint32_t builtin_monotone(TrapCall& call) {
    Plane* p = plane(call.word(0));
    auto rect = rect_arg(call, 1);
    if (!p || !rect) return 0;
    return monotone(*p, *rect, call.word(2), call.word(3));
}

uint32_t builtin_blur(TrapCall& call) {
    Plane* dst = plane(call.word(0));
    const Plane* src = plane(call.word(3));
    auto rect = rect_arg(call, 4);
    if (!dst || !src || !rect) return 0;
    return blur(*dst, call.integer(1), call.integer(2), *src, *rect, call.integer(5));
}

uint32_t builtin_fire(TrapCall& call) {
    Plane* p = plane(call.word(0));
    auto rect = rect_arg(call, 1);
    if (!p || !rect) return 0;
    return fire(*p, *rect);
}

uint32_t builtin_ef_init(TrapCall& call) {
    auto drect = rect_arg(call, 2);
    auto srect = rect_arg(call, 4);
    if (!drect || !srect) return 0;
    return ef_init(call.word(0), call.word(1), *drect, call.word(3), *srect);
}

uint32_t builtin_ef_free(TrapCall& call) {
    return ef_free(call.word(0));
}

uint32_t builtin_ef_rotate(TrapCall& call) {
    return ef_rotate(call.word(0), call.integer(1), call.integer(2), call.integer(3),
                     call.integer(4));
}

uint32_t builtin_ef_tunnel(TrapCall& call) {
    return ef_tunnel(call.word(0), call.integer(1), call.integer(2));
}

uint32_t builtin_ef_land(TrapCall& call) {
    return ef_land(call.word(0), call.integer(1), call.integer(2), call.integer(3));
}

uint32_t builtin_ef_ball(TrapCall& call) {
    return ef_ball(call.word(0), call.integer(1), call.integer(2), call.integer(3));
}

uint32_t builtin_ef_whirl(TrapCall& call) {
    return ef_whirl(call.word(0), call.integer(1));
}

uint32_t builtin_ef_raster(TrapCall& call) {
    return ef_raster(call.word(0), call.integer(1), call.integer(2), call.integer(3));
}

uint32_t builtin_ef_blob(TrapCall& call) {
    return ef_blob(call.word(0), call.integer(1), call.integer(2), call.integer(3),
                   call.integer(4));
}

uint32_t builtin_ef_water(TrapCall& call) {
    return ef_water(call.word(0));
}

constexpr TrapBinding kBindings[] = {
    {"freemap", builtin_freemap},     {"smooth", builtin_smooth},
    {"rotate", builtin_rotate},       {"tiled", builtin_tiled},
    {"scroll", builtin_scroll},       {"noise", builtin_noise},
    {"slice", builtin_slice},         {"gradation", builtin_gradation},
    {"mosaic", builtin_mosaic},       {"monotone", builtin_monotone},
    {"blur", builtin_blur},           {"fire", builtin_fire},
    {"ef_init", builtin_ef_init},     {"ef_free", builtin_ef_free},
    {"ef_rotate", builtin_ef_rotate}, {"ef_tunnel", builtin_ef_tunnel},
    {"ef_land", builtin_ef_land},     {"ef_ball", builtin_ef_ball},
    {"ef_whirl", builtin_ef_whirl},   {"ef_raster", builtin_ef_raster},
    {"ef_blob", builtin_ef_blob},     {"ef_water", builtin_ef_water},
};

}  // namespace

std::span<const TrapBinding> effect_builtins() {
    return kBindings;
}

void init_graphics_effects(uint32_t (*random)()) {
    gfx::reset_effects();
    gfx::set_effect_random(random);
}

void shutdown_graphics_effects() {
    gfx::reset_effects();
    gfx::set_effect_random(nullptr);
}

}  // namespace tob
