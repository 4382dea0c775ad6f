// Applying difference images.
#include "graphics/diff_image.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_order.h"

namespace tob::gfx {
namespace {

constexpr uint8_t kEscape = 0;
constexpr uint8_t kEndOfRow = 0;
constexpr uint8_t kEndOfData = 1;

}  // namespace

std::optional<DiffHeader> read_diff_header(std::span<const uint8_t> image) {
    if (image.size() < kDiffHeaderSize) return std::nullopt;
    const uint8_t* p = image.data();
    DiffHeader h;
    h.magic = load_le32(p);
    h.unused[0] = load_le32(p + 4);
    h.unused[1] = load_le32(p + 8);
    h.depth = load_le32(p + 12);
    h.bounds = {int32_t(load_le32(p + 16)), int32_t(load_le32(p + 20)), int32_t(load_le32(p + 24)),
                int32_t(load_le32(p + 28))};
    return h;
}

bool apply_diff(Plane& plane, int32_t x, int32_t y, std::span<const uint8_t> image) {
    auto h = read_diff_header(image);
    if (!h || h->magic != kDiffMagic || h->depth != plane.depth() || h->depth < 8) return false;
    Box b = Box::of(h->bounds);
    if (b.empty() || x + b.left < 0 || x + b.right > plane.width() || y + b.top < 0 ||
        y + b.bottom > plane.height())
        return false;

    const uint32_t bpp = plane.depth() / 8;
    const int64_t width = plane.width(), height = plane.height();
    int64_t px = x, py = y;
    size_t i = kDiffHeaderSize;
    const size_t n = image.size();
    while (i < n) {
        uint8_t op = image[i++];
        if (op != kEscape) {
            px += op;
            continue;
        }
        if (i >= n) break;
        uint8_t k = image[i++];
        if (k == kEndOfRow) {
            px = x;
            ++py;
            continue;
        }
        if (k == kEndOfData) break;
        // k - 1 literal pixels; those outside the plane or the data are dropped.
        size_t count = std::min<size_t>(k - 1u, (n - i) / bpp);
        if (py >= 0 && py < height) {
            int64_t first = std::max<int64_t>(px, 0);
            int64_t last = std::min<int64_t>(px + int64_t(count), width);
            if (first < last) {
                std::memcpy(plane.row(int32_t(py)) + first * bpp,
                            &image[i + size_t(first - px) * bpp], size_t(last - first) * bpp);
            }
        }
        if (count < k - 1u) break;
        i += count * bpp;
        px += count;
    }
    return true;
}

}  // namespace tob::gfx
