// Text rasterising on FreeType and fontconfig: a face asked for by name (the
// names games use, mapped through an alias table) drawn at a cell height into
// an 8-bit coverage bitmap (menus, debug view) or as cached 1-bit glyphs with
// style simulation and escapement (the platform text functions), and
// measured. Without a usable font file, text is laid out as hollow boxes so
// callers keep working.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tob::platform {

struct FontRequest {
    std::string face_utf8;  // empty: the default Japanese sans face
    int cell_height = 16;   // ascent + descent in pixels
    bool bold = false;
    bool italic = false;
};

// 0 = uncovered, 255 = fully covered; `baseline` is the row of the baseline.
struct CoverageBitmap {
    int width = 0, height = 0;
    int baseline = 0;
    std::vector<uint8_t> pixels;  // width × height, top row first
    uint8_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

struct TextExtent {
    int width = 0, height = 0;
};

// The font families, best first, that a requested face name stands for: an
// alias for the faces games ask for, the name itself otherwise; always ending
// in the generic Japanese-capable fallbacks.
std::vector<std::string> font_families_for(std::string_view face_utf8);

// The font file (and face index in it) chosen for a request; empty when
// fontconfig finds nothing. Prefers, among the families in their order, a face
// that has `must_cover` (by default: Japanese text).
struct FontFile {
    std::string path;
    int index = 0;
};
FontFile find_font_file(std::string_view face_utf8, bool bold, char32_t must_cover = 0x3042);

// Character sets a font may be asked for, and a character that shows a face
// covers one (a face without it is passed over when another has it).
inline constexpr uint8_t kCharsetShiftJis = 128, kCharsetHangul = 129, kCharsetGb2312 = 134,
                         kCharsetChineseBig5 = 136;
char32_t charset_sample(uint8_t charset);

class Font {
  public:
    // Never fails: without a font file the font draws hollow boxes.
    static std::unique_ptr<Font> open(const FontRequest& request);
    // A font that always draws boxes (no file looked up): fixed metrics.
    static std::unique_ptr<Font> boxes(int cell_height);
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    bool has_face() const { return face_ != nullptr; }
    int cell_height() const { return cell_height_; }
    int ascent() const { return ascent_; }
    TextExtent measure(std::string_view utf8) const;
    CoverageBitmap render(std::string_view utf8) const;

  private:
    // A character as FreeType drew it, kept so that text drawn again (every
    // frame, often) is not rasterised again.
    struct Glyph {
        int advance = 0;
        int left = 0, top = 0, width = 0, rows = 0;
        std::vector<uint8_t> pixels;  // width × rows coverage, empty without a bitmap
    };
    static constexpr size_t kGlyphCacheLimit = 4096;

    Font() = default;
    int advance(uint32_t code_point) const;
    // The cached glyph of a code point (the caller holds cache_mutex_).
    const Glyph& glyph(uint32_t code_point) const;

    struct Library;
    std::unique_ptr<Library> library_;
    void* face_ = nullptr;  // FT_Face
    FontRequest request_;
    int cell_height_ = 16;
    int ascent_ = 13;
    bool synthetic_bold_ = false;
    mutable std::mutex cache_mutex_;
    mutable std::unordered_map<uint32_t, Glyph> cache_;
};

// Decodes UTF-8; malformed bytes become U+FFFD.
std::vector<uint32_t> decode_utf8(std::string_view s);

// ---- 1-bit glyphs for the platform text functions ----

// Largest cell height or em size a raster font is made at.
inline constexpr int64_t kMaxRasterHeight = 8192;

struct RasterFontSpec {
    std::string face_utf8;
    int64_t height = 0;  // > 0 cell height, < 0 em height, 0 a cell of 16
    bool bold = false;
    bool italic = false;
    int64_t escapement = 0;  // tenths of a degree, counter-clockwise
    uint8_t charset = kCharsetShiftJis;
};

// One glyph: rows of bits, most significant first, placed with its top-left
// pixel at (pen x + left, baseline y - top) where the pen stands on the
// baseline (already turned by the escapement).
struct MonoGlyph {
    int32_t left = 0, top = 0;
    int32_t width = 0, rows = 0, pitch = 0;
    int32_t advance = 0;  // whole pixels along the baseline
    bool rendered = false;
    std::vector<uint8_t> bits;
};

// Pixel metrics of a raster font. Rule offsets count downwards from the
// baseline to the rule's first row.
struct RasterMetrics {
    int32_t ascent = 0, descent = 0, cell_height = 0;
    int32_t underline_offset = 1, underline_thickness = 1;
    int32_t strike_offset = -4, strike_thickness = 1;
};

// A font at one size, style and escapement, with its glyphs cached. Safe to
// use from several threads: glyph work runs under the font's own lock.
class RasterFont {
  public:
    // Null when the size is beyond kMaxRasterHeight. Without a font file the
    // font draws hollow boxes.
    static std::unique_ptr<RasterFont> open(const RasterFontSpec& spec);
    ~RasterFont();
    RasterFont(const RasterFont&) = delete;
    RasterFont& operator=(const RasterFont&) = delete;

    const RasterMetrics& metrics() const { return metrics_; }
    bool has_face() const { return face_ != nullptr; }
    // The escapement's direction: the baseline runs along (cos, -sin) in
    // y-down pixel coordinates; exact at multiples of 90 degrees.
    double cos_angle() const { return cos_; }
    double sin_angle() const { return sin_; }
    bool turned() const { return sin_ != 0 || cos_ != 1; }

    // Sum of the advances of `text` (saturating at INT64_MAX / 2).
    int64_t advance_sum(std::span<const char32_t> text);
    // Under the font's lock, for each character of `text` with the pen at
    // `pen` pixels along the baseline: asks `wanted` whether its glyph can be
    // seen and, if so, calls `draw` with it rendered. Only glyphs that are
    // drawn are rendered.
    using GlyphWanted = std::function<bool(int64_t pen, int32_t advance)>;
    using GlyphDraw = std::function<void(const MonoGlyph& glyph, int64_t pen)>;
    void draw_glyphs(std::span<const char32_t> text, const GlyphWanted& wanted,
                     const GlyphDraw& draw);

  private:
    RasterFont() = default;
    MonoGlyph& glyph(char32_t c, bool render);  // under mutex_
    void render_box(MonoGlyph& g) const;

    std::mutex mutex_;
    void* face_ = nullptr;  // FT_Face
    RasterMetrics metrics_;
    double cos_ = 1, sin_ = 0;
    bool synthetic_bold_ = false, synthetic_italic_ = false;
    long embolden_ = 0;  // 26.6
    std::unordered_map<char32_t, MonoGlyph> glyphs_;
    size_t cached_bytes_ = 0;
};

// Exact cosine and sine of an angle in tenths of a degree (any value): exact
// 0 and +-1 at multiples of 900.
void angle_cos_sin(int64_t tenths, double& cos_out, double& sin_out);

// The faces a text program may offer for choosing, as CP932 names: the
// aliases whose faces are installed and fixed-pitch, then the installed
// families that are scalable, fixed-pitch (spacing mono or dual) and cover
// Japanese, named in Japanese where the family has such a name. Names that
// do not fit 31 bytes of CP932 or begin with "@" are left out; no duplicates.
std::vector<std::string> list_fixed_pitch_faces();

}  // namespace tob::platform
