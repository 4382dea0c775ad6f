// Built-ins of the plane family: creating, freeing, loading and saving planes,
// plane information, clip rectangles, single pixels, attachments, colour
// tables and difference images. Handlers translate script words and call the
// plane layer.
#include <cstddef>
#include <cstring>

#include "base/current_folder.h"
#include "base/error_report.h"
#include "graphics/blend_tables.h"
#include "graphics/bmp_format.h"
#include "graphics/colour.h"
#include "graphics/diff_image.h"
#include "graphics/graphics.h"
#include "graphics/plane_table.h"
#include "platform/cp932.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "storage/exp_file.h"
#include "vm/trap.h"

namespace tob {
namespace {

using namespace gfx;

constexpr uint32_t kScriptPalette = 0xFFFFFFFF;  // ggetpal/gsetpal: the script palette

// The record `ginfo` fills, six little-endian words in this order.
struct PlaneInfo {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 0;
    uint32_t row0 = 0;      // address of row 0's first byte (0 for an empty plane)
    uint32_t row_step = 0;  // -pitch: rows are stored bottom-up
    uint32_t colours = 0;   // address of the colour table (0 without one)
};
constexpr uint32_t kInfoWords = 6;
static_assert(sizeof(PlaneInfo) == kInfoWords * 4 && offsetof(PlaneInfo, colours) == 20);

constexpr const char* kCreatePlaneFailed = "CreatePlane : 仮想画面の作成に失敗しました。";
constexpr const char* kLoadPlaneFailed =
    "LoadPlane : 画像ファイルの読み込みに失敗しました。\nFile : %s";
constexpr const char* kSaveCreateFailed = "SavePlane : '%s' ファイルの作成に失敗しました。";
constexpr const char* kSaveWriteFailed = "SavePlane : '%s' ファイルの書き込みに失敗しました。";

// The slot a `galloc`/`gload` argument names: the number itself below 1024,
// otherwise the highest free slot, written to the variable the argument
// points to (-1 when none is free). Nullopt when no slot can be used.
std::optional<uint32_t> choose_slot(TrapCall& call, uint32_t arg) {
    if (arg < kPlaneSlots) return arg;
    int32_t n = plane_table().highest_free_slot();
    if (!call.memory().write32(arg, uint32_t(n))) return std::nullopt;
    if (n < 0) return std::nullopt;
    return uint32_t(n);
}

uint32_t builtin_galloc(TrapCall& call) {
    auto slot = choose_slot(call, call.word(0));
    if (!slot) return 0;
    PlaneTable& t = plane_table();
    t.clear(*slot);
    auto p = Plane::create(call.memory(), call.integer(1), call.integer(2), call.integer(3));
    if (!p) {
        report_error(1, "%s", kCreatePlaneFailed);
        return 0;
    }
    t.put(*slot, std::move(p));
    return 1;
}

uint32_t builtin_gfree(TrapCall& call) {
    uint32_t n = call.word(0);
    if (n >= kPlaneSlots) return 0;
    plane_table().free(n);
    plane_table().set_attachment(n, kNoAttachment);
    return 1;
}

uint32_t builtin_ginit(TrapCall&) {
    plane_table().free_all_but_pages();
    return 1;
}

uint32_t builtin_gload(TrapCall& call) {
    auto name = call.string(1);
    if (!name) return 0;
    auto slot = choose_slot(call, call.word(0));
    if (!slot) return 0;
    plane_table().clear(*slot);
    std::unique_ptr<Plane> p;
    if (auto bytes = read_expanded_file(*name, current_folder()))
        p = decode_bmp(call.memory(), *bytes);
    if (!p) {
        report_error(1, kLoadPlaneFailed, cp932_to_utf8(*name).c_str());
        return 0;
    }
    p->set_file_name(std::string(*name));
    plane_table().put(*slot, std::move(p));
    return 1;
}

uint32_t builtin_gsave(TrapCall& call) {
    auto name = call.string(0);
    Plane* p = plane(call.word(1));
    if (!name || !p) return 0;
    Box area = p->bounds();
    if (call.word(2)) {
        auto r = read_rect(call.memory(), call.word(2));
        if (!r) return 0;
        area = area.intersect(Box::of(*r));
    }
    if (area.empty()) return 0;
    std::vector<uint8_t> image = encode_bmp(*p, area);
    std::string shown = cp932_to_utf8(*name);
    auto file = File::create(to_host_path(*name, current_folder()));
    if (!file) {
        report_error(2, kSaveCreateFailed, shown.c_str());
        return 0;
    }
    if (!file->write(image.data(), image.size()) || !file->close()) {
        report_error(2, kSaveWriteFailed, shown.c_str());
        return 0;
    }
    return 1;
}

uint32_t builtin_ginfo(TrapCall& call) {
    ScriptAddr out = call.word(1);
    if (!out) return 1;
    if (!call.memory().valid(out, kInfoWords * 4)) return 0;
    PlaneInfo info;
    if (const Plane* p = plane(call.word(0))) {
        bool empty = p->width() == 0 || p->height() == 0;
        info.width = uint32_t(p->width());
        info.height = uint32_t(p->height());
        info.depth = p->depth();
        info.row0 = empty ? 0 : p->bits_address() + p->row_offset(0);
        info.row_step = uint32_t(-int32_t(p->pitch()));
        info.colours = p->colours_address();
    }
    const uint32_t words[kInfoWords] = {info.width, info.height,   info.depth,
                                        info.row0,  info.row_step, info.colours};
    for (uint32_t i = 0; i < kInfoWords; ++i) call.memory().write32(out + 4 * i, words[i]);
    return 1;
}

uint32_t builtin_gclip(TrapCall& call) {
    Plane* p = plane(call.word(0));
    if (!p) return 0;
    if (!call.word(1)) {
        p->set_clip({0, 0, p->width(), p->height()});
        return 1;
    }
    auto r = read_rect(call.memory(), call.word(1));
    if (!r) return 0;
    if (r->left > r->right) std::swap(r->left, r->right);
    if (r->top > r->bottom) std::swap(r->top, r->bottom);
    r->left = std::max(r->left, 0);
    r->top = std::max(r->top, 0);
    r->right = std::min(r->right, p->width());
    r->bottom = std::min(r->bottom, p->height());
    // A rectangle wholly outside the plane leaves an empty clip.
    r->right = std::max(r->right, r->left);
    r->bottom = std::max(r->bottom, r->top);
    p->set_clip(*r);
    return 1;
}

uint32_t builtin_getpixel(TrapCall& call) {
    const Plane* p = plane(call.word(0));
    return p ? read_pixel_rgb(*p, call.integer(1), call.integer(2)) : 0;
}

uint32_t builtin_gattach(TrapCall& call) {
    uint32_t n = call.word(0), mask = call.word(1);
    if (n >= kPlaneSlots || mask >= kPlaneSlots) return 0;
    plane_table().set_attachment(n, int32_t(mask));
    return 1;
}

uint32_t builtin_gdetach(TrapCall& call) {
    uint32_t n = call.word(0);
    if (n >= kPlaneSlots) return 0;
    plane_table().set_attachment(n, kNoAttachment);
    return 1;
}

// Shared part of ggetpal and gsetpal: the entries [first, first + result) of
// the script palette or of a plane's colour table, or 0 when none.
uint32_t palette_span(TrapCall& call, uint32_t& first) {
    uint32_t n = call.word(0);
    int32_t f = call.integer(1), count = call.integer(2);
    if (f < 0 || f >= 256 || count <= 0) return 0;
    first = uint32_t(f);
    uint32_t limit;
    if (n == kScriptPalette) {
        limit = 256;
    } else {
        const Plane* p = plane(n);
        if (!p || p->depth() > 8) return 0;
        limit = p->colour_count();
    }
    if (first >= limit) return 0;
    return std::min<uint32_t>(uint32_t(count), limit - first);
}

uint32_t builtin_ggetpal(TrapCall& call) {
    uint32_t first = 0, n = palette_span(call, first);
    if (!n || !call.pointer(3, n * 4)) return 0;
    Plane* p = call.word(0) == kScriptPalette ? nullptr : plane(call.word(0));
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t v = p ? p->colour(first + i) : palette_state().script[first + i];
        call.memory().write32(call.word(3) + 4 * i, v);
    }
    return n;
}

uint32_t builtin_gsetpal(TrapCall& call) {
    uint32_t first = 0, n = palette_span(call, first);
    if (!n || !call.pointer(3, n * 4)) return 0;
    Plane* p = call.word(0) == kScriptPalette ? nullptr : plane(call.word(0));
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t v = 0;
        call.memory().read32(call.word(3) + 4 * i, v);
        if (p)
            p->set_colour(first + i, v);
        else
            palette_state().script[first + i] = v;
    }
    return n;
}

// dload/dcopy after the image is in hand: hands the bounding box out, then
// applies the image.
uint32_t apply_diff_call(TrapCall& call, Plane& p, std::span<const uint8_t> image) {
    ScriptAddr rect_out = call.word(4);
    auto header = read_diff_header(image);
    if (!header) return 0;
    if (rect_out && !write_rect(call.memory(), rect_out, header->bounds)) return 0;
    return apply_diff(p, call.integer(1), call.integer(2), image) ? 1 : 0;
}

uint32_t builtin_dload(TrapCall& call) {
    Plane* p = plane(call.word(0));
    auto name = call.string(3);
    if (!p || !name) return 0;
    auto bytes = read_expanded_file(*name, current_folder());
    if (!bytes) return 0;
    return apply_diff_call(call, *p, *bytes);
}

uint32_t builtin_dcopy(TrapCall& call) {
    Plane* p = plane(call.word(0));
    ScriptAddr image = call.word(3);
    ScriptMemory& mem = call.memory();
    if (!p || !mem.valid(image, kDiffHeaderSize)) return 0;
    // The stream is read in place up to the end of script memory at most.
    uint32_t available = mem.limit() - image;
    return apply_diff_call(call, *p, {mem.host(image, available), available});
}

constexpr TrapBinding kBindings[] = {
    {"galloc", builtin_galloc},   {"gfree", builtin_gfree},
    {"ginit", builtin_ginit},     {"gload", builtin_gload},
    {"gsave", builtin_gsave},     {"ginfo", builtin_ginfo},
    {"gclip", builtin_gclip},     {"getpixel", builtin_getpixel, TrapEffects::NoMemoryWrites},
    {"gattach", builtin_gattach}, {"gdetach", builtin_gdetach},
    {"ggetpal", builtin_ggetpal}, {"gsetpal", builtin_gsetpal},
    {"dload", builtin_dload},     {"dcopy", builtin_dcopy},
};

}  // namespace

std::span<const TrapBinding> plane_builtins() {
    return kBindings;
}

void init_graphics_planes(ScriptMemory& memory) {
    PlaneTable& t = plane_table();
    t.set_memory(&memory);
    t.view_page = 0;
    t.active_page = 0;
    reset_palettes();
}

// Every plane goes, not only the pages: a restart (menu or file drop) starts
// the game over, and planes of the run before would only hold script memory
// that nothing can name any more (their slot numbers are forgotten with the
// script's variables); restart after restart would run out of it.
void shutdown_graphics_planes() {
    plane_table().set_memory(nullptr);
}

}  // namespace tob
