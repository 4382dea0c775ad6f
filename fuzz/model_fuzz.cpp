// Fuzz target: model files. The loader takes arbitrary bytes; what loads is
// given materials, placed under a camera and lights taken from the input and
// rendered into a small plane (each depth in turn).
#include <bit>
#include <cstdint>
#include <cstring>

#include "graphics/plane_table.h"
#include "graphics/render3d.h"

namespace {

using namespace tob::gfx;

// The last bytes of the input steer the scene; the model is the rest.
struct Tail {
    const uint8_t* data;
    size_t size;
    uint32_t word() {
        uint32_t v = 0;
        for (int i = 0; i < 4 && size; ++i) v = v << 8 | data[--size];
        return v;
    }
    float real() { return std::bit_cast<float>(word()); }
    Vec3 vec() { return {real(), real(), real()}; }
};

const uint32_t kDepths[] = {8, 16, 24, 32};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tob::ScriptMemory mem(64u << 20);
    const size_t steer = size < 96 ? size : 96;
    Tail t{data + size - steer, steer};
    PlaneTable& table = plane_table();
    table.set_memory(&mem);
    Renderer3D& r = renderer3d();
    r.attach(&mem);
    const uint32_t depth = kDepths[t.word() % 4];
    table.put(1, Plane::create(mem, 1 + t.word() % 48, 1 + t.word() % 40, depth));
    table.put(2, Plane::create(mem, 1 + t.word() % 8, 1 + t.word() % 8, kDepths[t.word() % 4]));
    r.init(1, t.real(), t.real(), t.real());
    const tob::ScriptAddr model = r.load({data, size - steer});
    if (model) {
        for (uint32_t n = 0; n < 4; ++n)
            r.material(model, int32_t(t.word() % 256),
                       Material{t.word(), t.word() % 4, uint8_t(t.word() % 8)});
        r.clear();
        r.view(t.vec(), t.vec());
        const Vec3 ambient = t.vec();
        r.env(ambient.x, ambient.y, ambient.z);
        for (int i = 0; i < 3; ++i)
            r.light(t.vec(), uint8_t(t.word() % 3), t.real(), t.real(), t.real());
        r.setobj(model, t.vec(), t.vec());
        r.setobj(model, t.vec(), t.vec());
        r.render();
        r.free(model);
    }
    r.detach();
    table.set_memory(nullptr);
    return 0;
}
