// The objects of the platform text library: fonts and device contexts behind
// opaque handles, checked against a registry so that a stale or made-up
// handle is refused instead of followed. Font handles are never reused.
#include <iconv.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
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
    uintptr_t last_font_handle = 0;  // handles count up from here, 16 apart
};

// Gives a new font its handle and registers it. Caller holds the lock.
HGDIOBJ register_font(Registry& r, std::shared_ptr<FontObject> f) {
    r.last_font_handle += 16;
    f->handle = reinterpret_cast<HGDIOBJ>(r.last_font_handle);
    HGDIOBJ h = f->handle;
    r.fonts.emplace(h, std::move(f));
    return h;
}

// A context lets go of its font; a font deleted while selected goes now that
// nothing has it. Caller holds the lock.
void release_selection(Registry& r, const std::shared_ptr<FontObject>& f) {
    if (!f || f->stock) return;
    if (--f->selections == 0 && f->delete_pending) r.fonts.erase(f->handle);
}
Registry& registry() {
    static Registry* r = new Registry;  // lives past every static destructor
    return *r;
}

constexpr int32_t kBoldWeight = 600;
constexpr size_t kFaceBytes = TOB_LF_FACESIZE - 1;

// A GBK face name in UTF-8; nullopt when it is not GBK.
std::optional<std::string> gbk_to_utf8(std::string_view gbk) {
    iconv_t cd = iconv_open("UTF-8", "GBK");
    if (cd == iconv_t(-1)) return std::nullopt;
    std::string in(gbk), out(gbk.size() * 2 + 4, '\0');
    char* src = in.data();
    char* dst = out.data();
    size_t src_left = in.size(), dst_left = out.size();
    size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
    iconv_close(cd);
    if (r == size_t(-1) || src_left != 0) return std::nullopt;
    out.resize(out.size() - dst_left);
    return out;
}

}  // namespace

std::string face_name_utf8(const LOGFONTA& lf) {
    std::string_view face(lf.lfFaceName, strnlen(lf.lfFaceName, kFaceBytes));
    if (lf.lfCharSet == kCharsetGb2312)
        if (auto utf8 = gbk_to_utf8(face)) return *utf8;
    return cp932_to_utf8(face);
}

namespace {

std::shared_ptr<FontObject> make_font(const LOGFONTA& lf) {
    RasterFontSpec spec;
    spec.face_utf8 = face_name_utf8(lf);
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
        register_font(r, f);
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
    std::unique_ptr<DeviceContext> gone;  // freed outside the lock
    std::shared_ptr<FontObject> font;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.dcs.find(dc);
    if (it == r.dcs.end()) return 0;
    gone = std::move(it->second);
    r.dcs.erase(it);
    font = gone->font;
    release_selection(r, font);
    return 1;
}

HFONT CreateFontIndirectA(const LOGFONTA* lf) {
    if (!lf) return nullptr;
    auto f = make_font(*lf);
    if (!f) return nullptr;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return static_cast<HFONT>(register_font(r, std::move(f)));
}

BOOL DeleteObject(HGDIOBJ object) {
    std::shared_ptr<FontObject> gone;  // freed outside the lock
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.fonts.find(object);
    if (it == r.fonts.end()) return 0;
    FontObject& f = *it->second;
    if (f.stock) return 1;
    if (f.selections > 0) {
        f.delete_pending = true;  // goes when the last context lets go of it
        return 1;
    }
    gone = std::move(it->second);
    r.fonts.erase(it);
    return 1;
}

HGDIOBJ SelectObject(HDC h, HGDIOBJ object) {
    std::shared_ptr<FontObject> stock = stock_font();
    std::shared_ptr<FontObject> previous;  // may be freed here, outside the lock
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto d = r.dcs.find(h);
    auto f = r.fonts.find(object);
    if (d == r.dcs.end() || f == r.fonts.end()) return nullptr;
    DeviceContext& dc = *d->second;
    previous = dc.font ? dc.font : stock;
    HGDIOBJ previous_handle = previous->handle;
    if (previous != f->second) {
        std::shared_ptr<FontObject> next = f->second;
        if (!next->stock) ++next->selections;
        release_selection(r, previous);
        dc.font = std::move(next);
    }
    return previous_handle;
}

HGDIOBJ GetCurrentObject(HDC h, UINT type) {
    DeviceContext* dc = context_of(h);
    if (!dc || type != TOB_OBJ_FONT) return nullptr;
    return selected_font(*dc)->handle;
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
