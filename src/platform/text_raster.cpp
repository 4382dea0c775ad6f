// Fonts through fontconfig, glyphs through FreeType: lookup with the face
// aliases, the cell-height size request, and drawing text into coverage.
#include "platform/text_raster.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

namespace tob::platform {
namespace {

// The generic faces that draw Japanese, best first.
constexpr const char* kSansFallbacks[] = {"IPAGothic", "IPAexGothic", "Noto Sans CJK JP",
                                          "WenQuanYi Micro Hei", "sans-serif"};
constexpr const char* kSerifFallbacks[] = {"IPAMincho", "IPAexMincho", "Noto Serif CJK JP"};

struct Alias {
    const char* requested;
    std::vector<const char*> families;
};

// The faces games ask for, in full-width and ASCII spellings.
const std::vector<Alias>& aliases() {
    static const std::vector<Alias> table = {
        {"ＭＳ ゴシック", {"IPAGothic"}},
        {"MS Gothic", {"IPAGothic"}},
        {"ＭＳ Ｐゴシック", {"IPAPGothic", "IPAGothic"}},
        {"MS PGothic", {"IPAPGothic", "IPAGothic"}},
        {"MS UI Gothic", {"IPAPGothic", "IPAGothic"}},
        {"ＭＳ 明朝", {"IPAMincho", "IPAexMincho", "Noto Serif CJK JP"}},
        {"MS Mincho", {"IPAMincho", "IPAexMincho", "Noto Serif CJK JP"}},
        {"ＭＳ Ｐ明朝", {"IPAPMincho", "IPAMincho", "Noto Serif CJK JP"}},
        {"MS PMincho", {"IPAPMincho", "IPAMincho", "Noto Serif CJK JP"}},
    };
    return table;
}

constexpr FcChar32 kHiraganaA = 0x3042;
constexpr uint32_t kReplacement = 0xFFFD;

std::mutex& fontconfig_mutex() {
    static std::mutex m;
    return m;
}

// Loaded once; fontconfig keeps it for the life of the process.
FcConfig* fontconfig() {
    static FcConfig* config = FcInitLoadConfigAndFonts();
    return config;
}

FontFile lookup(const std::vector<std::string>& families, bool bold) {
    FontFile found;
    FcConfig* config = fontconfig();
    if (!config) return found;
    FcPattern* pattern = FcPatternCreate();
    for (const std::string& f : families)
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(f.c_str()));
    FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcFontSet* set = FcFontSort(config, pattern, FcFalse, nullptr, &result);
    if (set) {
        // The best match that covers Japanese; else the best match at all.
        for (int pass = 0; pass < 2 && found.path.empty(); ++pass)
            for (int i = 0; i < set->nfont; ++i) {
                FcChar8* file = nullptr;
                if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) != FcResultMatch) continue;
                FcCharSet* chars = nullptr;
                bool japanese =
                    FcPatternGetCharSet(set->fonts[i], FC_CHARSET, 0, &chars) == FcResultMatch &&
                    FcCharSetHasChar(chars, kHiraganaA);
                if (pass == 0 && !japanese) continue;
                int index = 0;
                FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &index);
                found.path = reinterpret_cast<const char*>(file);
                found.index = index;
                break;
            }
        FcFontSetDestroy(set);
    }
    FcPatternDestroy(pattern);
    return found;
}

int ceil_26_6(long v) {
    return int((v + 63) >> 6);
}

}  // namespace

std::vector<std::string> font_families_for(std::string_view face_utf8) {
    std::vector<std::string> out;
    bool serif = false;
    bool known = false;
    for (const Alias& a : aliases())
        if (face_utf8 == a.requested) {
            for (const char* f : a.families) out.emplace_back(f);
            serif = std::string_view(a.requested).find("明朝") != std::string_view::npos ||
                    std::string_view(a.requested).find("Mincho") != std::string_view::npos;
            known = true;
        }
    if (!known && !face_utf8.empty()) out.emplace_back(face_utf8);
    if (serif)
        for (const char* f : kSerifFallbacks)
            if (std::find(out.begin(), out.end(), f) == out.end()) out.emplace_back(f);
    for (const char* f : kSansFallbacks)
        if (std::find(out.begin(), out.end(), f) == out.end()) out.emplace_back(f);
    return out;
}

FontFile find_font_file(std::string_view face_utf8, bool bold) {
    std::lock_guard lock(fontconfig_mutex());
    static std::map<std::pair<std::string, bool>, FontFile> cache;
    auto key = std::make_pair(std::string(face_utf8), bold);
    if (auto it = cache.find(key); it != cache.end()) return it->second;
    FontFile f = lookup(font_families_for(face_utf8), bold);
    cache.emplace(key, f);
    return f;
}

std::vector<uint32_t> decode_utf8(std::string_view s) {
    std::vector<uint32_t> out;
    for (size_t i = 0; i < s.size();) {
        auto b = uint8_t(s[i]);
        int extra = b < 0x80             ? 0
                    : (b & 0xE0) == 0xC0 ? 1
                    : (b & 0xF0) == 0xE0 ? 2
                    : (b & 0xF8) == 0xF0 ? 3
                                         : -1;
        uint32_t cp = extra <= 0 ? b : b & (0x3Fu >> extra);
        bool ok = extra >= 0 && i + size_t(extra) < s.size();
        for (int k = 1; ok && k <= extra; ++k) {
            auto c = uint8_t(s[i + size_t(k)]);
            if ((c & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (c & 0x3Fu);
        }
        if (!ok) {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        out.push_back(cp);
        i += size_t(extra) + 1;
    }
    return out;
}

struct Font::Library {
    FT_Library ft = nullptr;
    ~Library() {
        if (ft) FT_Done_FreeType(ft);
    }
};

Font::~Font() {
    if (face_) FT_Done_Face(static_cast<FT_Face>(face_));
}

std::unique_ptr<Font> Font::boxes(int cell_height) {
    std::unique_ptr<Font> f(new Font);
    f->cell_height_ = std::max(cell_height, 1);
    f->ascent_ = f->cell_height_ * 13 / 16;
    return f;
}

std::unique_ptr<Font> Font::open(const FontRequest& request) {
    std::unique_ptr<Font> f = boxes(request.cell_height);
    f->request_ = request;
    FontFile file = find_font_file(request.face_utf8, request.bold);
    if (file.path.empty()) return f;
    auto lib = std::make_unique<Library>();
    if (FT_Init_FreeType(&lib->ft) != 0) return f;
    FT_Face face = nullptr;
    if (FT_New_Face(lib->ft, file.path.c_str(), file.index, &face) != 0) return f;
    // The cell height is ascender − descender, as the size is asked for.
    FT_Size_RequestRec size{FT_SIZE_REQUEST_TYPE_CELL, 0, FT_Long(f->cell_height_) << 6, 0, 0};
    if (FT_Request_Size(face, &size) != 0 &&
        FT_Set_Pixel_Sizes(face, 0, FT_UInt(f->cell_height_)) != 0) {
        FT_Done_Face(face);
        return f;
    }
    if (request.italic) {
        FT_Matrix shear{0x10000, 0x3000, 0, 0x10000};  // about 10 degrees
        FT_Set_Transform(face, &shear, nullptr);
    }
    f->synthetic_bold_ = request.bold && !(face->style_flags & FT_STYLE_FLAG_BOLD);
    f->ascent_ = std::clamp(ceil_26_6(face->size->metrics.ascender), 0, f->cell_height_);
    f->library_ = std::move(lib);
    f->face_ = face;
    return f;
}

const Font::Glyph& Font::glyph(uint32_t code_point) const {
    auto found = cache_.find(code_point);
    if (found != cache_.end()) return found->second;
    if (cache_.size() >= kGlyphCacheLimit) cache_.clear();
    Glyph& g = cache_[code_point];
    if (!face_) {
        g.advance = code_point < 0x80 ? (cell_height_ + 1) / 2 : cell_height_;
        return g;
    }
    auto face = static_cast<FT_Face>(face_);
    if (FT_Load_Char(face, code_point, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) != 0) return g;
    FT_GlyphSlot slot = face->glyph;
    int a = int((slot->advance.x + 32) >> 6);
    g.advance = synthetic_bold_ ? a + 1 : a;
    if (synthetic_bold_ && slot->format == FT_GLYPH_FORMAT_OUTLINE)
        FT_Outline_Embolden(&slot->outline, 1 << 6);
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) == 0 &&
        slot->bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
        const FT_Bitmap& b = slot->bitmap;
        g.left = slot->bitmap_left;
        g.top = slot->bitmap_top;
        g.width = int(b.width);
        g.rows = int(b.rows);
        g.pixels.resize(size_t(g.width) * size_t(g.rows));
        for (int r = 0; r < g.rows; ++r)
            std::memcpy(g.pixels.data() + size_t(r) * size_t(g.width),
                        b.buffer + ptrdiff_t(r) * b.pitch, size_t(g.width));
    }
    return g;
}

int Font::advance(uint32_t code_point) const {
    std::lock_guard lock(cache_mutex_);
    return glyph(code_point).advance;
}

TextExtent Font::measure(std::string_view utf8) const {
    TextExtent e{0, cell_height_};
    for (uint32_t cp : decode_utf8(utf8)) e.width += advance(cp);
    return e;
}

CoverageBitmap Font::render(std::string_view utf8) const {
    CoverageBitmap out;
    std::vector<uint32_t> text = decode_utf8(utf8);
    TextExtent e = measure(utf8);
    out.width = e.width;
    out.height = e.height;
    out.baseline = ascent_;
    out.pixels.assign(size_t(out.width) * size_t(out.height), 0);
    std::lock_guard lock(cache_mutex_);
    int pen = 0;
    for (uint32_t cp : text) {
        const Glyph& g = glyph(cp);
        const int a = g.advance;
        if (!face_) {
            // A hollow box inside the character cell.
            int x0 = pen + 1, x1 = pen + a - 2, y0 = 1, y1 = out.height - 2;
            for (int x = x0; x <= x1; ++x)
                for (int y = y0; y <= y1; ++y)
                    if (x == x0 || x == x1 || y == y0 || y == y1)
                        out.pixels[size_t(y) * size_t(out.width) + size_t(x)] = 255;
            pen += a;
            continue;
        }
        for (int r = 0; r < g.rows; ++r) {
            int y = out.baseline - g.top + r;
            if (y < 0 || y >= out.height) continue;
            const uint8_t* src = g.pixels.data() + size_t(r) * size_t(g.width);
            for (int c = 0; c < g.width; ++c) {
                int x = pen + g.left + c;
                if (x < 0 || x >= out.width) continue;
                uint8_t& d = out.pixels[size_t(y) * size_t(out.width) + size_t(x)];
                d = std::max(d, src[c]);
            }
        }
        pen += a;
    }
    return out;
}

}  // namespace tob::platform
