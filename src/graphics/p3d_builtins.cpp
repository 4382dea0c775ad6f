// Built-ins of the 3D renderer family: p3d_init ... p3d_render. Handlers read
// the script's floats and records (null or bad pointers give 0) and call the
// renderer.
#include <bit>
#include <optional>

#include "base/current_folder.h"
#include "graphics/graphics.h"
#include "graphics/render3d.h"
#include "storage/exp_file.h"
#include "vm/trap.h"

namespace tob {
namespace {

using namespace gfx;

std::optional<float> float_at(const ScriptMemory& mem, ScriptAddr at) {
    uint32_t v = 0;
    if (!mem.read32(at, v)) return std::nullopt;
    return std::bit_cast<float>(v);
}

// Three floats at a pointer argument; nullopt for a null or bad pointer.
std::optional<Vec3> vec_arg(TrapCall& call, int i) {
    const ScriptAddr at = call.word(i);
    if (!at || !call.pointer(i, 12)) return std::nullopt;
    return Vec3{*float_at(call.memory(), at), *float_at(call.memory(), at + 4),
                *float_at(call.memory(), at + 8)};
}

uint32_t builtin_p3d_init(TrapCall& call) {
    return renderer3d().init(call.word(0), call.real(1), call.real(2), call.real(3));
}

uint32_t builtin_p3d_uninit(TrapCall&) {
    return renderer3d().uninit();
}

uint32_t builtin_p3d_tex(TrapCall& call) {
    return renderer3d().tex(call.word(0));
}

uint32_t builtin_p3d_load(TrapCall& call) {
    auto name = call.string(0);
    if (!name) return 0;
    auto bytes = read_expanded_file(*name, current_folder());
    if (!bytes) return 0;
    return renderer3d().load(*bytes);
}

uint32_t builtin_p3d_free(TrapCall& call) {
    return renderer3d().free(call.word(0));
}

uint32_t builtin_p3d_clear(TrapCall&) {
    return renderer3d().clear();
}

uint32_t builtin_p3d_view(TrapCall& call) {
    auto pos = vec_arg(call, 0);
    auto orient = vec_arg(call, 1);
    if (!pos || !orient) return 0;
    return renderer3d().view(*pos, *orient);
}

uint32_t builtin_p3d_env(TrapCall& call) {
    return renderer3d().env(call.real(0), call.real(1), call.real(2));
}

uint32_t builtin_p3d_light(TrapCall& call) {
    const uint8_t* rec = call.word(0) ? call.pointer(0, kLightRecordBytes) : nullptr;
    auto colour = vec_arg(call, 0);
    if (!rec || !colour) return 0;
    return renderer3d().light(*colour, rec[12], call.real(1), call.real(2), call.real(3));
}

uint32_t builtin_p3d_material(TrapCall& call) {
    const uint8_t* rec = call.word(2) ? call.pointer(2, kMaterialBytes) : nullptr;
    if (!rec) return 0;
    Material m;
    m.colour = uint32_t(rec[0] | rec[1] << 8 | rec[2] << 16) | uint32_t(rec[3]) << 24;
    m.texture = uint32_t(rec[4] | rec[5] << 8 | rec[6] << 16) | uint32_t(rec[7]) << 24;
    m.mode = rec[8];
    return renderer3d().material(call.word(0), call.integer(1), m);
}

uint32_t builtin_p3d_setobj(TrapCall& call) {
    auto pos = vec_arg(call, 1);
    auto rot = vec_arg(call, 2);
    if (!pos || !rot) return 0;
    return renderer3d().setobj(call.word(0), *pos, *rot);
}

uint32_t builtin_p3d_render(TrapCall&) {
    return renderer3d().render();
}

constexpr TrapBinding kBindings[] = {
    {"p3d_init", builtin_p3d_init},     {"p3d_uninit", builtin_p3d_uninit},
    {"p3d_tex", builtin_p3d_tex},       {"p3d_load", builtin_p3d_load},
    {"p3d_free", builtin_p3d_free},     {"p3d_clear", builtin_p3d_clear},
    {"p3d_view", builtin_p3d_view},     {"p3d_env", builtin_p3d_env},
    {"p3d_light", builtin_p3d_light},   {"p3d_material", builtin_p3d_material},
    {"p3d_setobj", builtin_p3d_setobj}, {"p3d_render", builtin_p3d_render},
};

}  // namespace

std::span<const TrapBinding> p3d_builtins() {
    return kBindings;
}

void init_graphics_3d(ScriptMemory& memory) {
    renderer3d().attach(&memory);
}

void shutdown_graphics_3d() {
    renderer3d().detach();
}

}  // namespace tob
