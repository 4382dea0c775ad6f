// Windows bitmap files: the fixed headers, parsing a file image into a plane,
// and encoding a plane (or part of it) as a file. Only uncompressed bottom-up
// bitmaps are read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "graphics/plane.h"

namespace tob::gfx {

inline constexpr uint8_t kBmpMagic[2] = {'B', 'M'};
inline constexpr uint32_t kFileHeaderSize = 14;
inline constexpr uint32_t kInfoHeaderSize = 40;
inline constexpr uint32_t kCoreHeaderSize = 12;
inline constexpr uint32_t kCompressionNone = 0;

// The 14-byte file header (offsets: type 0, size 2, reserved 6 and 8, data 10).
struct BmpFileHeader {
    uint32_t file_size = 0;
    uint32_t data_offset = 0;
    static constexpr size_t kSizeOffset = 2, kDataOffset = 10;
};

// The 40-byte information header, in file order.
struct BmpInfoHeader {
    uint32_t size = kInfoHeaderSize;
    int32_t width = 0;
    int32_t height = 0;
    uint16_t planes = 1;
    uint16_t bit_count = 0;
    uint32_t compression = kCompressionNone;
    uint32_t image_size = 0;
    int32_t x_pels_per_meter = 0;
    int32_t y_pels_per_meter = 0;
    uint32_t colours_used = 0;
    uint32_t colours_important = 0;
};
static_assert(sizeof(BmpInfoHeader) == kInfoHeaderSize);
static_assert(offsetof(BmpInfoHeader, bit_count) == 14);
static_assert(offsetof(BmpInfoHeader, image_size) == 20);
static_assert(offsetof(BmpInfoHeader, colours_used) == 32);

BmpInfoHeader read_info_header(const uint8_t* p);
void write_info_header(uint8_t* p, const BmpInfoHeader& h);

// Decodes a whole file image into a new plane; null when the file is not a
// bitmap this engine reads or any part of it (colour table, pixel data) lies
// outside the bytes given.
std::unique_ptr<Plane> decode_bmp(ScriptMemory& mem, std::span<const uint8_t> file);

// The file image of the part of `plane` inside `area` (already cut to the
// plane and not empty). Rows of 1- and 4-bit planes start at the area's left
// pixel even when it lies inside a byte.
std::vector<uint8_t> encode_bmp(const Plane& plane, const Box& area);

}  // namespace tob::gfx
