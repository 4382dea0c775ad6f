// Text rasterising on FreeType and fontconfig: a face asked for by name (the
// names games use, mapped through an alias table) drawn at a cell height into
// an 8-bit coverage bitmap, and measured. Without a usable font file, text is
// laid out as hollow boxes so callers keep working.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
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
// fontconfig finds nothing. Prefers a face that covers Japanese text.
struct FontFile {
    std::string path;
    int index = 0;
};
FontFile find_font_file(std::string_view face_utf8, bool bold);

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

}  // namespace tob::platform
