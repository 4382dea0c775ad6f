// Fonts through fontconfig, glyphs through FreeType: lookup with the face
// aliases, the cell-height size request, and drawing text into coverage.
#include "platform/text_raster.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <tuple>
#include <utility>

#include "platform/cp932.h"

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

// The faces games ask for, in full-width and ASCII spellings (and the Chinese
// ones translations ask for).
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
        // Chinese faces, as translated games name them.
        {"SimHei", {"WenQuanYi Micro Hei"}},
        {"黑体", {"WenQuanYi Micro Hei"}},
        {"SimSun", {"WenQuanYi Micro Hei"}},
        {"宋体", {"WenQuanYi Micro Hei"}},
        {"Microsoft YaHei", {"WenQuanYi Micro Hei"}},
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

FontFile lookup(const std::vector<std::string>& families, bool bold, char32_t must_cover) {
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
                    FcCharSetHasChar(chars, FcChar32(must_cover));
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

FontFile find_font_file(std::string_view face_utf8, bool bold, char32_t must_cover) {
    std::lock_guard lock(fontconfig_mutex());
    static std::map<std::tuple<std::string, bool, char32_t>, FontFile> cache;
    auto key = std::make_tuple(std::string(face_utf8), bold, must_cover);
    if (auto it = cache.find(key); it != cache.end()) return it->second;
    FontFile f = lookup(font_families_for(face_utf8), bold, must_cover);
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

// ---- 1-bit glyphs ----

namespace {

// One FreeType library for every raster font; faces are made and dropped
// under its lock (FreeType's rule), and used under their font's own lock.
struct SharedLibrary {
    std::mutex mutex;
    FT_Library ft = nullptr;
    SharedLibrary() {
        if (FT_Init_FreeType(&ft) != 0) ft = nullptr;
    }
    ~SharedLibrary() {
        if (ft) FT_Done_FreeType(ft);
    }
};
SharedLibrary& shared_library() {
    static SharedLibrary lib;
    return lib;
}

constexpr int64_t kDefaultCell = 16;
constexpr double kItalicSlant = 0.25;  // horizontal shift per unit of height
constexpr int kEmboldenDivisor = 20;   // bold stroke = em / 20
// The glyph bitmaps one font keeps before it starts afresh.
constexpr size_t kGlyphCacheBytes = 32u << 20;

FT_Fixed fixed(double v) {
    return FT_Fixed(std::lround(v * 65536.0));
}

int32_t round_px(double v) {
    return int32_t(std::lround(v));
}

}  // namespace

char32_t charset_sample(uint8_t charset) {
    switch (charset) {
        case kCharsetHangul:
            return 0xAC00;  // 가
        case kCharsetGb2312:
            return 0x8FD9;  // 这, simplified only
        case kCharsetChineseBig5:
            return 0x9019;  // 這, traditional
        case kCharsetShiftJis:
            return kHiraganaA;
        default:
            return 'A';
    }
}

void angle_cos_sin(int64_t tenths, double& c, double& s) {
    int64_t a = tenths % 3600;
    if (a < 0) a += 3600;
    switch (a) {
        case 0:
            c = 1, s = 0;
            return;
        case 900:
            c = 0, s = 1;
            return;
        case 1800:
            c = -1, s = 0;
            return;
        case 2700:
            c = 0, s = -1;
            return;
        default:
            break;
    }
    double rad = double(a) * M_PI / 1800.0;
    c = std::cos(rad);
    s = std::sin(rad);
}

RasterFont::~RasterFont() {
    if (face_) {
        std::lock_guard lock(shared_library().mutex);
        FT_Done_Face(static_cast<FT_Face>(face_));
    }
}

std::unique_ptr<RasterFont> RasterFont::open(const RasterFontSpec& spec) {
    if (spec.height > kMaxRasterHeight || spec.height < -kMaxRasterHeight) return nullptr;
    std::unique_ptr<RasterFont> f(new RasterFont);
    angle_cos_sin(spec.escapement, f->cos_, f->sin_);
    int64_t cell = spec.height == 0 ? kDefaultCell : spec.height;

    // Without a face: boxes in a cell of the asked height.
    auto box_metrics = [&] {
        int32_t h = int32_t(cell > 0 ? cell : -cell);
        h = std::max(h, 1);
        f->metrics_.cell_height = h;
        f->metrics_.ascent = h * 13 / 16;
        f->metrics_.descent = h - f->metrics_.ascent;
        f->metrics_.underline_offset = std::min(1, f->metrics_.descent - 1);
        f->metrics_.strike_offset = -f->metrics_.ascent / 3;
    };

    FontFile file = find_font_file(spec.face_utf8, spec.bold, charset_sample(spec.charset));
    SharedLibrary& lib = shared_library();
    FT_Face face = nullptr;
    if (!file.path.empty() && lib.ft) {
        std::lock_guard lock(lib.mutex);
        if (FT_New_Face(lib.ft, file.path.c_str(), file.index, &face) != 0) face = nullptr;
    }
    if (face && !FT_IS_SCALABLE(face)) {
        std::lock_guard lock(lib.mutex);
        FT_Done_Face(face);
        face = nullptr;
    }
    if (!face) {
        box_metrics();
        return f;
    }
    f->face_ = face;

    // Cell metrics as the platform defines them: the Windows ascent and
    // descent of the OS/2 table, else the horizontal header's.
    double units = face->units_per_EM ? face->units_per_EM : 1000;
    double win_ascent = face->ascender, win_descent = -face->descender;
    if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        win_ascent = os2->usWinAscent;
        win_descent = os2->usWinDescent;
    } else if (auto* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
               hhea && hhea->Ascender - hhea->Descender > 0) {
        win_ascent = hhea->Ascender;
        win_descent = -hhea->Descender;
    }
    if (win_ascent + win_descent <= 0) win_ascent = units * 0.8, win_descent = units * 0.2;
    double ppem;
    RasterMetrics& m = f->metrics_;
    if (cell > 0) {
        ppem = double(cell) * units / (win_ascent + win_descent);
        m.cell_height = int32_t(cell);
        m.ascent = round_px(double(cell) * win_ascent / (win_ascent + win_descent));
        m.descent = m.cell_height - m.ascent;
    } else {
        ppem = double(-cell);
        m.ascent = round_px(win_ascent * ppem / units);
        m.descent = round_px(win_descent * ppem / units);
        m.cell_height = std::max(m.ascent + m.descent, 1);
    }
    if (m.cell_height > kMaxRasterHeight || ppem > double(kMaxRasterHeight)) return nullptr;
    FT_F26Dot6 size = std::max<FT_F26Dot6>(FT_F26Dot6(std::lround(ppem * 64)), 1);
    if (FT_Set_Char_Size(face, 0, size, 72, 72) != 0) {
        std::lock_guard lock(lib.mutex);
        FT_Done_Face(face);
        f->face_ = nullptr;
        box_metrics();
        return f;
    }
    double scale = ppem / units;
    m.underline_thickness = std::max(1, round_px(face->underline_thickness * scale));
    m.underline_offset =
        std::max(1, round_px(-face->underline_position * scale) - m.underline_thickness / 2);
    // The rules stay inside the cell.
    m.underline_offset = std::min(m.underline_offset, m.descent - m.underline_thickness);
    m.strike_thickness = m.underline_thickness;
    m.strike_offset = -round_px(double(m.ascent) * 0.3);
    if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        os2 && os2->version != 0xFFFF && os2->yStrikeoutSize > 0) {
        m.strike_thickness = std::max(1, round_px(os2->yStrikeoutSize * scale));
        m.strike_offset = -round_px(os2->yStrikeoutPosition * scale);
    }
    f->synthetic_bold_ = spec.bold && !(face->style_flags & FT_STYLE_FLAG_BOLD);
    f->synthetic_italic_ = spec.italic && !(face->style_flags & FT_STYLE_FLAG_ITALIC);
    if (f->synthetic_bold_) f->embolden_ = std::max<long>(64, long(size) / kEmboldenDivisor);
    return f;
}

void RasterFont::render_box(MonoGlyph& g) const {
    // A hollow box in the cell, upright (boxes stand in for missing fonts only).
    int32_t w = std::max(g.advance - 2, 1), h = std::max(metrics_.cell_height - 2, 1);
    g.left = 1;
    g.top = metrics_.ascent - 1;
    g.width = w;
    g.rows = h;
    g.pitch = (w + 7) / 8;
    g.bits.assign(size_t(g.pitch) * size_t(h), 0);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            if (x == 0 || y == 0 || x == w - 1 || y == h - 1)
                g.bits[size_t(y) * size_t(g.pitch) + size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
}

MonoGlyph& RasterFont::glyph(char32_t c, bool render) {
    auto [it, fresh] = glyphs_.try_emplace(c);
    MonoGlyph& g = it->second;
    auto face = static_cast<FT_Face>(face_);
    if (fresh) {
        if (!face) {
            g.advance = c < 0x80 ? (metrics_.cell_height + 1) / 2 : metrics_.cell_height;
        } else if (FT_Load_Char(face, c, FT_LOAD_TARGET_MONO | FT_LOAD_NO_BITMAP) == 0) {
            g.advance = int32_t((face->glyph->metrics.horiAdvance + 32) >> 6);
            if (synthetic_bold_) g.advance += int32_t((embolden_ + 32) >> 6);
        }
    }
    if (!render || g.rendered) return g;
    g.rendered = true;
    if (!face) {
        render_box(g);
        cached_bytes_ += g.bits.size();
        return g;
    }
    if (FT_Load_Char(face, c, FT_LOAD_TARGET_MONO | FT_LOAD_NO_BITMAP) != 0) return g;
    FT_GlyphSlot slot = face->glyph;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return g;
    if (synthetic_bold_) FT_Outline_EmboldenXY(&slot->outline, embolden_, 0);
    if (synthetic_italic_ || turned()) {
        // Slant first (in the glyph's own upright frame), then turn.
        double k = synthetic_italic_ ? kItalicSlant : 0;
        FT_Matrix m{fixed(cos_), fixed(k * cos_ - sin_), fixed(sin_), fixed(k * sin_ + cos_)};
        FT_Outline_Transform(&slot->outline, &m);
    }
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) return g;
    const FT_Bitmap& b = slot->bitmap;
    if (b.pixel_mode != FT_PIXEL_MODE_MONO || b.width == 0 || b.rows == 0) return g;
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    g.width = int32_t(b.width);
    g.rows = int32_t(b.rows);
    g.pitch = (g.width + 7) / 8;
    g.bits.resize(size_t(g.pitch) * size_t(g.rows));
    for (int32_t r = 0; r < g.rows; ++r) {
        const uint8_t* src = b.buffer + ptrdiff_t(r) * b.pitch;
        std::copy(src, src + g.pitch, g.bits.begin() + ptrdiff_t(r) * g.pitch);
    }
    cached_bytes_ += g.bits.size();
    return g;
}

int64_t RasterFont::advance_sum(std::span<const char32_t> text) {
    std::lock_guard lock(mutex_);
    if (cached_bytes_ > kGlyphCacheBytes) glyphs_.clear(), cached_bytes_ = 0;
    int64_t sum = 0;
    constexpr int64_t kLimit = INT64_MAX / 2;
    for (char32_t c : text) sum = std::min(sum + glyph(c, false).advance, kLimit);
    return sum;
}

void RasterFont::draw_glyphs(std::span<const char32_t> text, const GlyphWanted& wanted,
                             const GlyphDraw& draw) {
    std::lock_guard lock(mutex_);
    int64_t pen = 0;
    constexpr int64_t kLimit = INT64_MAX / 4;
    for (char32_t c : text) {
        // No glyph is held between two characters, so the cache may start afresh.
        if (cached_bytes_ > kGlyphCacheBytes) glyphs_.clear(), cached_bytes_ = 0;
        int32_t advance = glyph(c, false).advance;
        if (wanted(pen, advance)) draw(glyph(c, true), pen);
        pen = std::min(pen + advance, kLimit);
    }
}

// ---- The faces offered for choosing ----

namespace {

// The family name to show: the Japanese one where the pattern has it.
std::string display_family(FcPattern* p) {
    FcChar8* first = nullptr;
    FcPatternGetString(p, FC_FAMILY, 0, &first);
    for (int i = 0;; ++i) {
        FcChar8* name = nullptr;
        FcChar8* lang = nullptr;
        if (FcPatternGetString(p, FC_FAMILY, i, &name) != FcResultMatch) break;
        if (FcPatternGetString(p, FC_FAMILYLANG, i, &lang) == FcResultMatch &&
            std::string_view(reinterpret_cast<const char*>(lang)) == "ja")
            return reinterpret_cast<const char*>(name);
    }
    return first ? reinterpret_cast<const char*>(first) : "";
}

bool fixed_pitch(FcPattern* p) {
    int spacing = FC_PROPORTIONAL;
    return FcPatternGetInteger(p, FC_SPACING, 0, &spacing) == FcResultMatch &&
           (spacing == FC_MONO || spacing == FC_DUAL);
}

// The CP932 form of a name when every character has one and it fits.
std::optional<std::string> offered_name(std::string_view utf8) {
    std::string out;
    for (size_t pos = 0; pos < utf8.size();) {
        auto c = next_utf8_char(utf8, pos);
        auto code = c ? unicode_to_cp932(*c) : std::nullopt;
        if (!code) return std::nullopt;
        if (*code >= 0x100) out += char(*code >> 8);
        out += char(*code & 0xFF);
    }
    constexpr size_t kMaxName = 31;
    if (out.empty() || out.size() > kMaxName || out[0] == '@') return std::nullopt;
    return out;
}

}  // namespace

std::vector<std::string> list_fixed_pitch_faces() {
    std::lock_guard lock(fontconfig_mutex());
    std::vector<std::string> out;
    FcConfig* config = fontconfig();
    if (!config) return out;
    // Installed families: family name (as shown) -> fixed pitch.
    std::set<std::string> installed_fixed, listed;
    std::vector<std::string> families;
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_FAMILYLANG, FC_SPACING, FC_CHARSET,
                                            static_cast<char*>(nullptr));
    FcFontSet* set = FcFontList(config, pattern, objects);
    if (set) {
        for (int i = 0; i < set->nfont; ++i) {
            FcPattern* p = set->fonts[i];
            if (!fixed_pitch(p)) continue;
            for (int k = 0;; ++k) {
                FcChar8* name = nullptr;
                if (FcPatternGetString(p, FC_FAMILY, k, &name) != FcResultMatch) break;
                installed_fixed.insert(reinterpret_cast<const char*>(name));
            }
            FcCharSet* chars = nullptr;
            if (FcPatternGetCharSet(p, FC_CHARSET, 0, &chars) != FcResultMatch ||
                !FcCharSetHasChar(chars, kHiraganaA))
                continue;
            families.push_back(display_family(p));
        }
        FcFontSetDestroy(set);
    }
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);

    auto add = [&](std::string_view utf8) {
        auto name = offered_name(utf8);
        if (name && listed.insert(*name).second) out.push_back(*name);
    };
    // Aliases first, in the table's order, when their first face is there.
    for (const Alias& a : aliases())
        if (!a.families.empty() && installed_fixed.count(a.families.front())) add(a.requested);
    std::vector<std::string> rest;
    for (const std::string& f : families)
        if (auto name = offered_name(f)) rest.push_back(*name);
    std::sort(rest.begin(), rest.end());
    for (const std::string& n : rest)
        if (listed.insert(n).second) out.push_back(n);
    return out;
}

}  // namespace tob::platform
