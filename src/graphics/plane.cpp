// Plane creation, pixel addressing and the default colour tables.
#include "graphics/plane.h"

#include <cstring>

#include "platform/byte_order.h"

namespace tob::gfx {
namespace {

// Levels of the default 16-colour table; level 3 is full intensity.
constexpr uint8_t kLevel4[4] = {0, 127, 255, 255};

uint32_t default_entry(uint32_t depth, uint32_t i) {
    auto rgb = [](uint32_t r, uint32_t g, uint32_t b) { return r << 16 | g << 8 | b; };
    switch (depth) {
        case 1:
            return i ? 0xFFFFFF : 0;
        case 4: {
            uint32_t hi = (i >> 3) & 1;
            return rgb(kLevel4[(i >> 2) & 3], kLevel4[hi << 1 | ((i >> 1) & 1)],
                       kLevel4[hi << 1 | (i & 1)]);
        }
        case 8:
            return rgb(((i >> 5) & 7) * 255 / 7, ((i >> 2) & 7) * 255 / 7, (i & 3) * 255 / 3);
        default:
            return 0;
    }
}

uint32_t widen5(uint32_t f) {
    return (f << 3) | (f >> 2);
}

}  // namespace

bool is_plane_depth(int64_t depth) {
    return depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
}

uint32_t default_colour_count(uint32_t depth) {
    return depth <= 8 && is_plane_depth(depth) ? 1u << depth : 0;
}

uint64_t row_pitch(uint64_t width, uint32_t depth) {
    return (width * depth + 31) / 32 * 4;
}

std::unique_ptr<Plane> Plane::create(ScriptMemory& mem, int64_t width, int64_t height,
                                     int64_t depth, uint32_t colour_count) {
    if (!is_plane_depth(depth) || width < 0 || height < 0 || width > INT32_MAX ||
        height > INT32_MAX)
        return nullptr;
    uint32_t d = uint32_t(depth);
    uint64_t pitch = row_pitch(uint64_t(width), d);
    if (pitch * uint64_t(height) > kMaxPlaneBytes) return nullptr;
    uint32_t defaults = default_colour_count(d);
    if (colour_count == 0) colour_count = defaults;
    if (colour_count > defaults) return nullptr;

    std::unique_ptr<Plane> p(new Plane(mem));
    p->width_ = int32_t(width);
    p->height_ = int32_t(height);
    p->depth_ = d;
    p->pitch_ = uint32_t(pitch);
    p->bits_addr_ = mem.allocate(uint32_t(pitch * uint64_t(height)));
    if (!p->bits_addr_) return nullptr;
    p->bits_ = mem.host(p->bits_addr_, 1);
    if (colour_count) {
        p->colours_addr_ = mem.allocate(colour_count * kColourEntryBytes);
        if (!p->colours_addr_) return nullptr;
        p->colours_ = mem.host(p->colours_addr_, colour_count * kColourEntryBytes);
        p->colour_count_ = colour_count;
        for (uint32_t i = 0; i < colour_count; ++i) p->set_colour(i, default_entry(d, i));
    }
    p->clip_ = {0, 0, p->width_, p->height_};
    return p;
}

Plane::~Plane() {
    if (bits_addr_) mem_.free(bits_addr_);
    if (colours_addr_) mem_.free(colours_addr_);
}

uint8_t* Plane::pixel_address(int64_t x, int64_t y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return nullptr;
    return row(int32_t(y)) + ((uint64_t(x) * depth_) >> 3);
}

uint32_t Plane::colour(uint32_t i) const {
    if (i >= colour_count_) return 0;
    return load_le32(colours_ + i * kColourEntryBytes) & 0xFFFFFF;
}

void Plane::set_colour(uint32_t i, uint32_t rgb) {
    if (i < colour_count_) store_le32(colours_ + i * kColourEntryBytes, rgb & 0xFFFFFF);
}

Surface Plane::surface() const {
    Surface s;
    s.row0 = height_ ? row(0) : bits_;
    s.step = -int64_t(pitch_);
    s.width = width_;
    s.height = height_;
    s.depth = depth_;
    s.colours = colours_;
    s.colour_count = colour_count_;
    return s;
}

uint32_t read_pixel_rgb(const Plane& p, int64_t x, int64_t y) {
    const uint8_t* a = p.pixel_address(x, y);
    if (!a) return 0;
    switch (p.depth()) {
        case 1:
            return p.colour((*a >> (7 - (x & 7))) & 1);
        case 4:
            return p.colour((x & 1) ? (*a & 15) : (*a >> 4));
        case 8:
            return p.colour(*a);
        case 16: {
            uint32_t v = load_le16(a);
            return widen5((v >> 10) & 31) << 16 | widen5((v >> 5) & 31) << 8 | widen5(v & 31);
        }
        default:
            return uint32_t(a[2]) << 16 | uint32_t(a[1]) << 8 | a[0];
    }
}

}  // namespace tob::gfx
