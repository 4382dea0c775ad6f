// Reading and writing Windows bitmaps.
#include "graphics/bmp_format.h"

#include <cstring>

#include "graphics/colour.h"
#include "platform/byte_order.h"

namespace tob::gfx {
namespace {

constexpr uint32_t kCoreEntryBytes = 3;

void store_le16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v), p[1] = uint8_t(v >> 8);
}

// Bounds-checked cursor over the file image.
struct Reader {
    std::span<const uint8_t> data;
    const uint8_t* at(uint64_t offset, uint64_t len) const {
        return offset <= data.size() && len <= data.size() - offset ? data.data() + offset
                                                                    : nullptr;
    }
};

}  // namespace

BmpInfoHeader read_info_header(const uint8_t* p) {
    BmpInfoHeader h;
    h.size = load_le32(p);
    h.width = int32_t(load_le32(p + 4));
    h.height = int32_t(load_le32(p + 8));
    h.planes = load_le16(p + 12);
    h.bit_count = load_le16(p + 14);
    h.compression = load_le32(p + 16);
    h.image_size = load_le32(p + 20);
    h.x_pels_per_meter = int32_t(load_le32(p + 24));
    h.y_pels_per_meter = int32_t(load_le32(p + 28));
    h.colours_used = load_le32(p + 32);
    h.colours_important = load_le32(p + 36);
    return h;
}

void write_info_header(uint8_t* p, const BmpInfoHeader& h) {
    store_le32(p, h.size);
    store_le32(p + 4, uint32_t(h.width));
    store_le32(p + 8, uint32_t(h.height));
    store_le16(p + 12, h.planes);
    store_le16(p + 14, h.bit_count);
    store_le32(p + 16, h.compression);
    store_le32(p + 20, h.image_size);
    store_le32(p + 24, uint32_t(h.x_pels_per_meter));
    store_le32(p + 28, uint32_t(h.y_pels_per_meter));
    store_le32(p + 32, h.colours_used);
    store_le32(p + 36, h.colours_important);
}

std::unique_ptr<Plane> decode_bmp(ScriptMemory& mem, std::span<const uint8_t> file) {
    Reader in{file};
    uint64_t pos = 0;
    std::optional<uint32_t> data_offset;
    if (const uint8_t* m = in.at(0, 2); m && m[0] == kBmpMagic[0] && m[1] == kBmpMagic[1]) {
        const uint8_t* fh = in.at(0, kFileHeaderSize);
        if (!fh) return nullptr;
        data_offset = load_le32(fh + BmpFileHeader::kDataOffset);
        pos = kFileHeaderSize;
    }

    const uint8_t* size_field = in.at(pos, 4);
    if (!size_field) return nullptr;
    BmpInfoHeader h;
    bool core = false;
    if (load_le32(size_field) == kCoreHeaderSize) {
        const uint8_t* ch = in.at(pos, kCoreHeaderSize);
        if (!ch) return nullptr;
        h.size = kCoreHeaderSize;
        h.width = load_le16(ch + 4);
        h.height = load_le16(ch + 6);
        h.planes = load_le16(ch + 8);
        h.bit_count = load_le16(ch + 10);
        core = true;
        pos += kCoreHeaderSize;
    } else {
        const uint8_t* ih = in.at(pos, kInfoHeaderSize);
        if (!ih) return nullptr;
        h = read_info_header(ih);
        if (h.size != kInfoHeaderSize) return nullptr;
        pos += kInfoHeaderSize;
    }
    // Top-down (negative height) and compressed bitmaps are not read.
    if (h.compression != kCompressionNone || h.width <= 0 || h.height <= 0 ||
        !is_plane_depth(h.bit_count))
        return nullptr;

    uint64_t full_size = row_pitch(uint64_t(h.width), h.bit_count) * uint64_t(h.height);
    if (full_size > kMaxPlaneBytes) return nullptr;
    uint64_t image_size = h.image_size == 0 || h.image_size > full_size ? full_size : h.image_size;

    // The colour table: a palette depth may list fewer colours than its
    // maximum, never more; a deeper bitmap's optional table is skipped.
    uint32_t max_colours = default_colour_count(h.bit_count);
    uint64_t colours = h.colours_used;
    if (core || colours == 0) colours = max_colours;
    if (colours > (max_colours ? max_colours : kMaxColours)) return nullptr;
    uint32_t entry_bytes = core ? kCoreEntryBytes : kColourEntryBytes;
    const uint8_t* table = in.at(pos, colours * entry_bytes);
    if (!table) return nullptr;
    pos += colours * entry_bytes;
    if (data_offset) pos = *data_offset;
    const uint8_t* pixels = in.at(pos, image_size);
    if (!pixels) return nullptr;

    auto plane =
        Plane::create(mem, h.width, h.height, h.bit_count, max_colours ? uint32_t(colours) : 0);
    if (!plane) return nullptr;
    for (uint32_t i = 0; i < plane->colour_count(); ++i) {
        const uint8_t* e = table + i * entry_bytes;
        plane->set_colour(i, rgb(e[2], e[1], e[0]));
    }
    std::memcpy(plane->bits(), pixels, size_t(image_size));
    return plane;
}

std::vector<uint8_t> encode_bmp(const Plane& plane, const Box& area) {
    const uint32_t depth = plane.depth();
    const uint32_t w = uint32_t(area.width()), h = uint32_t(area.height());
    const uint32_t colours = plane.colour_count();
    const uint32_t pitch = uint32_t(row_pitch(w, depth));
    const uint32_t table_bytes = colours * kColourEntryBytes;
    const uint32_t data_offset = kFileHeaderSize + kInfoHeaderSize + table_bytes;
    std::vector<uint8_t> out(size_t(data_offset) + size_t(pitch) * h);

    out[0] = kBmpMagic[0];
    out[1] = kBmpMagic[1];
    store_le32(&out[BmpFileHeader::kSizeOffset], uint32_t(out.size()));
    store_le32(&out[BmpFileHeader::kDataOffset], data_offset);
    BmpInfoHeader ih;
    ih.width = int32_t(w);
    ih.height = int32_t(h);
    ih.bit_count = uint16_t(depth);
    ih.image_size = pitch * h;
    ih.colours_used = ih.colours_important = colours;
    write_info_header(&out[kFileHeaderSize], ih);
    if (table_bytes)
        std::memcpy(&out[kFileHeaderSize + kInfoHeaderSize], plane.colours(), table_bytes);

    uint8_t* dst = out.data() + data_offset;
    const uint32_t left = uint32_t(area.left);
    for (int64_t y = area.bottom - 1; y >= area.top; --y, dst += pitch) {
        const uint8_t* src = plane.row(int32_t(y));
        if (depth >= 8) {
            std::memcpy(dst, src + left * (depth / 8), size_t(w) * (depth / 8));
            continue;
        }
        // Sub-byte pixels are moved one at a time so the row starts at `left`.
        const uint32_t per_byte = 8 / depth, mask = (1u << depth) - 1;
        for (uint32_t x = 0; x < w; ++x) {
            uint32_t sx = left + x;
            uint32_t shift = (per_byte - 1 - sx % per_byte) * depth;
            uint32_t v = (src[sx / per_byte] >> shift) & mask;
            dst[x / per_byte] |= uint8_t(v << (per_byte - 1 - x % per_byte) * depth);
        }
    }
    return out;
}

}  // namespace tob::gfx
