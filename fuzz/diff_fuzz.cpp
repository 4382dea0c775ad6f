// Fuzz target: difference images applied to planes of every depth the format
// allows; the stream must never write outside the plane or read past the data.
// The first two bytes choose the placement point.
#include <cstdint>
#include <span>

#include "graphics/diff_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tob::ScriptMemory mem(64u << 20);
    if (size < 2) return 0;
    int32_t x = int8_t(data[0]), y = int8_t(data[1]);
    std::span<const uint8_t> image(data + 2, size - 2);
    for (uint32_t depth : {8u, 16u, 24u, 32u}) {
        auto plane = tob::gfx::Plane::create(mem, 37, 23, depth);
        if (plane) tob::gfx::apply_diff(*plane, x, y, image);
    }
    return 0;
}
