// The objects of the platform text library: fonts and device contexts behind
// opaque handles, checked against a registry so that a stale or made-up
// handle is refused instead of followed.
#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "platform/cp932.h"
#include "platform/winapi_internal.h"

namespace tob::platform::gdi {
namespace {

struct Registry {
    std::mutex mutex;
    std::unordered_map<const void*, std::shared_ptr<FontObject>> fonts;
    std::unordered_map<const void*, std::unique_ptr<DeviceContext>> dcs;
};
Registry& registry() {
    static Registry* r = new Registry;  // lives past every static destructor
    return *r;
}

constexpr int32_t kBoldWeight = 600;
constexpr size_t kFaceBytes = TOB_LF_FACESIZE - 1;

std::shared_ptr<FontObject> make_font(const LOGFONTA& lf) {
    RasterFontSpec spec;
    size_t n = strnlen(lf.lfFaceName, kFaceBytes);
    spec.face_utf8 = cp932_to_utf8(std::string_view(lf.lfFaceName, n));
    spec.height = lf.lfHeight;
    spec.bold = lf.lfWeight >= kBoldWeight;
    spec.italic = lf.lfItalic != 0;
    spec.escapement = lf.lfEscapement;
    spec.charset = lf.lfCharSet;
    auto raster = RasterFont::open(spec);
    if (!raster) return nullptr;
    auto f = std::make_shared<FontObject>();
    f->logfont = lf;
    f->logfont.lfFaceName[kFaceBytes] = 0;
    f->raster = std::move(raster);
    return f;
}

std::shared_ptr<FontObject> stock_font() {
    static std::shared_ptr<FontObject> stock = [] {
        LOGFONTA lf{};
        lf.lfHeight = 16;
        lf.lfCharSet = TOB_SHIFTJIS_CHARSET;
        lf.lfQuality = TOB_NONANTIALIASED_QUALITY;
        lf.lfPitchAndFamily = TOB_FIXED_PITCH;
        auto f = make_font(lf);
        f->stock = true;
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        r.fonts.emplace(f.get(), f);
        return f;
    }();
    return stock;
}

bool valid_bitmap(const TobBitmap& b) {
    switch (b.depth) {
        case 1:
        case 4:
        case 8:
        case 16:
        case 24:
        case 32:
            break;
        default:
            return false;
    }
    if (b.width < 0 || b.height < 0) return false;
    if (b.width == 0 || b.height == 0) return true;
    if (!b.bits) return false;
    uint64_t row_bytes = (uint64_t(b.width) * uint64_t(b.depth) + 7) / 8;
    uint64_t stride = b.stride < 0 ? uint64_t(-b.stride) : uint64_t(b.stride);
    if (stride < row_bytes) return false;
    if (b.depth <= 8 && (b.colour_count < 0 || (b.colour_count > 0 && !b.colours))) return false;
    return true;
}

}  // namespace

std::shared_ptr<FontObject> font_of(HGDIOBJ h) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.fonts.find(h);
    return it == r.fonts.end() ? nullptr : it->second;
}

DeviceContext* context_of(HDC h) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.dcs.find(h);
    return it == r.dcs.end() ? nullptr : it->second.get();
}

std::shared_ptr<FontObject> selected_font(DeviceContext& dc) {
    if (!dc.font) dc.font = stock_font();
    return dc.font;
}

}  // namespace tob::platform::gdi

using namespace tob::platform::gdi;

extern "C" {

HDC tob_create_bitmap_dc(const TobBitmap* bitmap) {
    if (!bitmap || !valid_bitmap(*bitmap)) return nullptr;
    auto dc = std::make_unique<DeviceContext>();
    dc->bitmap = *bitmap;
    if (bitmap->depth <= 8) {
        int32_t n = std::min(bitmap->colour_count, int32_t(1) << bitmap->depth);
        if (n > 0) dc->colours.assign(bitmap->colours, bitmap->colours + size_t(n) * 4);
    }
    dc->bitmap.colours = nullptr;
    auto* handle = reinterpret_cast<HDC>(dc.get());
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.dcs.emplace(handle, std::move(dc));
    return handle;
}

BOOL tob_delete_dc(HDC dc) {
    std::unique_ptr<DeviceContext> gone;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.dcs.find(dc);
    if (it == r.dcs.end()) return 0;
    gone = std::move(it->second);
    r.dcs.erase(it);
    return 1;
}

HFONT CreateFontIndirectA(const LOGFONTA* lf) {
    if (!lf) return nullptr;
    auto f = make_font(*lf);
    if (!f) return nullptr;
    auto* handle = reinterpret_cast<HFONT>(f.get());
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.fonts.emplace(handle, std::move(f));
    return handle;
}

BOOL DeleteObject(HGDIOBJ object) {
    std::shared_ptr<FontObject> gone;  // freed outside the lock
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.fonts.find(object);
    if (it == r.fonts.end()) return 0;
    if (it->second->stock) return 1;
    // A context that still has it selected keeps it alive until it lets go.
    gone = std::move(it->second);
    r.fonts.erase(it);
    return 1;
}

HGDIOBJ SelectObject(HDC h, HGDIOBJ object) {
    DeviceContext* dc = context_of(h);
    auto f = font_of(object);
    if (!dc || !f) return nullptr;
    HGDIOBJ previous = selected_font(*dc).get();
    dc->font = std::move(f);
    return previous;
}

HGDIOBJ GetCurrentObject(HDC h, UINT type) {
    DeviceContext* dc = context_of(h);
    if (!dc || type != TOB_OBJ_FONT) return nullptr;
    return selected_font(*dc).get();
}

int GetObjectA(HGDIOBJ object, int size, void* out) {
    auto f = font_of(object);
    if (!f) return 0;
    if (!out) return int(sizeof(LOGFONTA));
    if (size <= 0) return 0;
    size_t n = std::min(size_t(size), sizeof(LOGFONTA));
    std::memcpy(out, &f->logfont, n);
    return int(n);
}

COLORREF SetTextColor(HDC h, COLORREF colour) {
    DeviceContext* dc = context_of(h);
    if (!dc) return TOB_CLR_INVALID;
    return std::exchange(dc->text_colour, colour & 0xFFFFFF);
}

COLORREF SetBkColor(HDC h, COLORREF colour) {
    DeviceContext* dc = context_of(h);
    if (!dc) return TOB_CLR_INVALID;
    return std::exchange(dc->background_colour, colour & 0xFFFFFF);
}

int SetBkMode(HDC h, int mode) {
    DeviceContext* dc = context_of(h);
    if (!dc || (mode != TOB_OPAQUE && mode != TOB_TRANSPARENT)) return 0;
    return std::exchange(dc->background_mode, mode);
}

}  // extern "C"
