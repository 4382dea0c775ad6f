// Fuzz target: the image effects with arbitrary arguments. The input is a
// list of calls: every filter and warp effect with rectangles, quadrilaterals,
// angles, zooms, amounts and slots taken from the bytes (huge and negative
// ones included), on small planes of every depth that are made, replaced and
// freed between the calls.
#include <cstdint>
#include <cstring>
#include <optional>

#include "graphics/effects.h"
#include "graphics/plane_table.h"
#include "graphics/warp.h"

namespace {

using namespace tob::gfx;

constexpr uint32_t kPlanes = 4;

struct Input {
    const uint8_t* data;
    size_t size;
    uint8_t byte() {
        if (!size) return 0;
        --size;
        return *data++;
    }
    // Mostly small values, sometimes any 32-bit value.
    int32_t value() {
        const uint8_t kind = byte();
        if (kind < 160) return int32_t(int8_t(byte()));
        if (kind < 220) return int32_t(int16_t(byte() | byte() << 8));
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = v << 8 | byte();
        return int32_t(v);
    }
    std::optional<Rect> rect() {
        if (byte() & 1) return std::nullopt;
        return Rect{value(), value(), value(), value()};
    }
    std::optional<Quad> quad() {
        if (byte() & 1) return std::nullopt;
        Quad q;
        for (auto& p : q) p = {value(), value()};
        return q;
    }
};

const uint32_t kDepths[] = {1, 4, 8, 16, 24, 32};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tob::ScriptMemory mem(64u << 20);
    PlaneTable& table = plane_table();
    table.set_memory(&mem);
    reset_effects();
    Input in{data, size};
    for (uint32_t n = 0; n < kPlanes; ++n)
        table.put(
            n, Plane::create(mem, 1 + in.byte() % 40, 1 + in.byte() % 40, kDepths[in.byte() % 6]));
    for (int calls = 0; calls < 64 && in.size; ++calls) {
        const uint8_t op = in.byte() % 24;
        Plane* a = table.get(in.byte() % kPlanes);
        Plane* b = table.get(in.byte() % kPlanes);
        const uint32_t slot = in.byte() % 10;
        if (op >= 12 && op < 22) {
            switch (op) {
                case 12:
                    ef_init(slot, in.byte() % 5, in.rect(), in.byte() % 5, in.rect());
                    break;
                case 13:
                    ef_free(slot);
                    break;
                case 14:
                    ef_rotate(slot, in.value(), in.value(), in.value(), in.value());
                    break;
                case 15:
                    ef_tunnel(slot, in.value(), in.value());
                    break;
                case 16:
                    ef_land(slot, in.value(), in.value(), in.value());
                    break;
                case 17:
                    ef_ball(slot, in.value(), in.value(), in.value());
                    break;
                case 18:
                    ef_whirl(slot, in.value());
                    break;
                case 19:
                    ef_raster(slot, in.value(), in.value(), in.value());
                    break;
                case 20:
                    ef_blob(slot, in.value(), in.value(), in.value(), in.value());
                    break;
                default:
                    ef_water(slot);
                    break;
            }
            continue;
        }
        if (op == 22) {  // replace a plane
            table.put(
                in.byte() % kPlanes,
                Plane::create(mem, 1 + in.byte() % 40, 1 + in.byte() % 40, kDepths[in.byte() % 6]));
            continue;
        }
        if (op == 23) {
            table.clear(in.byte() % kPlanes);
            continue;
        }
        if (!a || !b) continue;
        if (op < 6) {
            const uint32_t clip = in.byte();
            if (clip & 1) a->set_clip({in.value(), in.value(), in.value(), in.value()});
        }
        switch (op) {
            case 0:
                freemap(*a, in.quad(), *b, in.rect(), in.value());
                break;
            case 1:
                smooth(*a, in.rect(), *b, in.rect(), in.value());
                break;
            case 2:
                rotate(*a, in.rect(), *b, in.rect(), in.value(), in.value());
                break;
            case 3:
                tiled(*a, in.rect(), *b, in.rect(), in.value(), in.value());
                break;
            case 4:
                scroll(*a, in.rect(), in.value(), in.value());
                break;
            case 5:
                noise(*a, in.rect(), in.value());
                break;
            case 6:
                slice(*a, in.rect(), in.value());
                break;
            case 7:
                gradation(*a, in.value(), in.value(), *b, in.rect());
                break;
            case 8:
                mosaic(*a, in.value(), in.value(), *b, in.rect(), in.value(), in.value());
                break;
            case 9:
                monotone(*a, in.rect(), uint32_t(in.value()), uint32_t(in.value()));
                break;
            case 10:
                blur(*a, in.value(), in.value(), *b, in.rect(), in.value());
                break;
            default:
                fire(*a, in.rect());
                break;
        }
    }
    reset_effects();
    table.set_memory(nullptr);
    return 0;
}
