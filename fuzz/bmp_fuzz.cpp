// Fuzz target: bitmap files. Any bytes either decode into a plane whose pixels
// all came from inside the input, or are refused; a decoded plane is written
// back out and read again.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "graphics/bmp_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tob::ScriptMemory mem(4u << 20);  // small: huge claimed sizes fail fast
    auto plane = tob::gfx::decode_bmp(mem, std::span<const uint8_t>(data, size));
    if (!plane) return 0;
    if (plane->width() <= 0 || plane->height() <= 0) std::abort();
    if (plane->bytes() > (1u << 20)) return 0;  // room for the second plane
    tob::gfx::Box area = plane->bounds();
    area.left = area.width() / 3;  // a part that may start inside a byte
    auto again = tob::gfx::decode_bmp(mem, tob::gfx::encode_bmp(*plane, area));
    if (!again || again->width() != area.width() || again->depth() != plane->depth()) std::abort();
    return 0;
}
