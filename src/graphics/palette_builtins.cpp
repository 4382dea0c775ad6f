// The palette built-ins: the script palette, the colour map and HSV conversions.
#include <algorithm>

#include "graphics/colour.h"
#include "graphics/pages.h"
#include "graphics/plane.h"
#include "graphics/plane_table.h"
#include "vm/trap.h"

namespace tob::gfx {
namespace {

uint32_t builtin_pal_set(TrapCall& call) {
    uint32_t i = call.word(0);
    if (i > 255) return 0;
    palette_state().script[i] = call.word(1);
    return 1;
}

uint32_t builtin_pal_get(TrapCall& call) {
    uint32_t i = call.word(0);
    return i > 255 ? 0 : palette_state().script[i];
}

// The entries pal_sets/pal_gets move: min(count, 256 - first), or 0.
uint32_t span_of(TrapCall& call) {
    uint32_t first = call.word(0);
    int32_t count = call.integer(1);
    if (first > 255 || count < 1) return 0;
    return std::min<uint32_t>(uint32_t(count), 256 - first);
}

uint32_t builtin_pal_sets(TrapCall& call) {
    uint32_t n = span_of(call), first = call.word(0);
    if (n == 0) return 0;
    const uint8_t* src = call.pointer(2, n * 4);
    if (!src) return 0;
    for (uint32_t k = 0; k < n; ++k)
        palette_state().script[first + k] = uint32_t(src[4 * k]) | uint32_t(src[4 * k + 1]) << 8 |
                                            uint32_t(src[4 * k + 2]) << 16 |
                                            uint32_t(src[4 * k + 3]) << 24;
    return 1;
}

uint32_t builtin_pal_gets(TrapCall& call) {
    uint32_t n = span_of(call), first = call.word(0);
    if (n == 0) return 0;
    uint8_t* dst = call.pointer(2, n * 4);
    if (!dst) return 0;
    for (uint32_t k = 0; k < n; ++k) {
        uint32_t v = palette_state().script[first + k];
        for (int b = 0; b < 4; ++b) dst[4 * k + uint32_t(b)] = uint8_t(v >> (8 * b));
    }
    return 1;
}

uint32_t builtin_pal_load(TrapCall& call) {
    Plane* p = plane(call.word(0));
    if (!p || p->depth() > 8) return 0;
    uint32_t dest = call.word(1), first = call.word(2);
    int32_t count = call.integer(3);
    if (first >= p->colour_count() || dest > 255 || count < 1) return 0;
    uint32_t copied = 0;
    for (; copied < uint32_t(count) && first + copied < p->colour_count() && dest + copied <= 255;
         ++copied)
        palette_state().script[dest + copied] = p->colour(first + copied);
    return copied;
}

uint32_t builtin_pal_change(TrapCall&) {
    PaletteState& ps = palette_state();
    for (int i = 0; i < 256; ++i) ps.screen[size_t(i)] = ps.script[size_t(i)] & 0xFFFFFF;
    // An 8-bit view page shows the new colours at once.
    Plane* view = plane(plane_table().view_page);
    if (view && view->depth() == 8) request_update(std::nullopt);
    return 1;
}

uint32_t builtin_pal_map(TrapCall& call) {
    if (call.word(0) == 0) return 0;
    const uint8_t* src = call.pointer(0, 256 * 4);
    if (!src) return 0;
    uint32_t palette[256];
    for (int i = 0; i < 256; ++i)
        palette[i] =
            uint32_t(src[4 * i]) | uint32_t(src[4 * i + 1]) << 8 | uint32_t(src[4 * i + 2]) << 16;
    build_colour_map(palette, palette_state().map.data());
    return 1;
}

uint32_t builtin_rgbtohsv(TrapCall& call) {
    return rgb_to_hsv(call.word(0));
}
uint32_t builtin_hsvtorgb(TrapCall& call) {
    return hsv_to_rgb(call.word(0));
}

constexpr TrapBinding kBindings[] = {
    {"pal_map", builtin_pal_map},       {"pal_load", builtin_pal_load},
    {"pal_set", builtin_pal_set},       {"pal_get", builtin_pal_get},
    {"pal_sets", builtin_pal_sets},     {"pal_gets", builtin_pal_gets},
    {"pal_change", builtin_pal_change}, {"rgbtohsv", builtin_rgbtohsv},
    {"hsvtorgb", builtin_hsvtorgb},
};

}  // namespace

std::span<const TrapBinding> palette_builtins() {
    return kBindings;
}

}  // namespace tob::gfx
