// The plane: an off-screen image whose pixels and colour table live in script
// memory (scripts get their addresses from `ginfo`). Rows are stored bottom-up,
// as in a Windows bitmap: row 0, the top of the picture, is last in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "graphics/geometry.h"
#include "vm/script_memory.h"

namespace tob::gfx {

// Largest pixel memory of one plane; keeps every byte offset inside a plane
// well within 31 bits.
inline constexpr uint64_t kMaxPlaneBytes = 1ull << 30;
inline constexpr uint32_t kMaxColours = 256;
inline constexpr uint32_t kColourEntryBytes = 4;  // blue, green, red, reserved

bool is_plane_depth(int64_t depth);
// Colour-table entries a created plane gets: 2, 16, 256, or 0 above 8 bits.
uint32_t default_colour_count(uint32_t depth);
// Bytes per row: rows are padded to 32 bits.
uint64_t row_pitch(uint64_t width, uint32_t depth);

// A view of pixel rows for the raster routines: row y starts at row0 + y * step.
struct Surface {
    uint8_t* row0 = nullptr;
    int64_t step = 0;
    int32_t width = 0, height = 0;
    uint32_t depth = 0;
    const uint8_t* colours = nullptr;  // 4-byte entries, or null above 8 bits
    uint32_t colour_count = 0;

    uint8_t* row(int64_t y) const { return row0 + y * step; }
};

class Plane {
  public:
    // A blank plane (zero pixels, default colour table). `colour_count` 0 takes
    // the depth's default; it may not exceed that default. Null on invalid
    // sizes or when script memory is exhausted.
    static std::unique_ptr<Plane> create(ScriptMemory& mem, int64_t width, int64_t height,
                                         int64_t depth, uint32_t colour_count = 0);
    ~Plane();
    Plane(const Plane&) = delete;
    Plane& operator=(const Plane&) = delete;

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    uint32_t depth() const { return depth_; }
    uint32_t pitch() const { return pitch_; }
    uint32_t bytes() const { return pitch_ * uint32_t(height_); }

    // Pixel memory: first byte in memory (the bottom row) and its script address.
    uint8_t* bits() const { return bits_; }
    ScriptAddr bits_address() const { return bits_addr_; }
    // Byte offset of row y from bits().
    uint32_t row_offset(int32_t y) const { return uint32_t(height_ - 1 - y) * pitch_; }
    uint8_t* row(int32_t y) const { return bits_ + row_offset(y); }
    // Address of pixel (x, y); null outside the plane.
    uint8_t* pixel_address(int64_t x, int64_t y) const;

    // Colour table: `colour_count` entries of blue, green, red, reserved.
    uint8_t* colours() const { return colours_; }
    ScriptAddr colours_address() const { return colours_addr_; }
    uint32_t colour_count() const { return colour_count_; }
    // Entry i as 0x00RRGGBB (0 beyond the table).
    uint32_t colour(uint32_t i) const;
    void set_colour(uint32_t i, uint32_t rgb);

    Rect clip() const { return clip_; }
    void set_clip(const Rect& r) { clip_ = r; }
    Box bounds() const { return {0, 0, width_, height_}; }

    const std::string& file_name() const { return file_name_; }
    void set_file_name(std::string name) { file_name_ = std::move(name); }

    Surface surface() const;

  private:
    Plane(ScriptMemory& mem) : mem_(mem) {}

    ScriptMemory& mem_;
    int32_t width_ = 0, height_ = 0;
    uint32_t depth_ = 0, pitch_ = 0;
    uint8_t* bits_ = nullptr;
    ScriptAddr bits_addr_ = 0;
    uint8_t* colours_ = nullptr;
    ScriptAddr colours_addr_ = 0;
    uint32_t colour_count_ = 0;
    Rect clip_;
    std::string file_name_;
};

// Reads one pixel as 0x00RRGGBB (palette depths through the plane's own table).
uint32_t read_pixel_rgb(const Plane& p, int64_t x, int64_t y);

}  // namespace tob::gfx
