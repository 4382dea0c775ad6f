// The kf_* built-ins over keyframe tracks in script memory.
#include "runtime/keyframe.h"
#include "runtime/runtime.h"
#include "vm/trap.h"

namespace tob {
namespace {

uint32_t builtin_kf_setkey(TrapCall& call) {
    ScriptAddr key = call.address(0);
    if (!call.memory().valid(key, sizeof(Keyframe))) return 0;
    call.memory().write32(key + offsetof(Keyframe, time), call.word(1));
    call.memory().write32(key + offsetof(Keyframe, value), call.word(2));
    return 1;
}

uint32_t builtin_kf_calc(TrapCall& call) {
    // A null track or an empty count is nothing to do; a wild track is a failure.
    if (call.address(0) == 0 || call.integer(1) < 1) return 1;
    auto track = KeyTrack::open(call.memory(), call.address(0), call.integer(1));
    if (!track) return 0;
    keyframe_calc(*track);
    return 1;
}

uint32_t builtin_kf_getindex(TrapCall& call) {
    auto track = KeyTrack::open(call.memory(), call.address(0), call.integer(1));
    return track ? uint32_t(keyframe_index(*track, call.real(2))) : uint32_t(-1);
}

uint32_t builtin_kf_getkey(TrapCall& call) {
    auto track = KeyTrack::open(call.memory(), call.address(0), call.integer(1));
    if (!track) return TrapCall::from_float(0);
    return TrapCall::from_float(keyframe_value(*track, call.real(2), call.integer(3)));
}

constexpr TrapBinding kBindings[] = {
    {"kf_setkey", builtin_kf_setkey},
    {"kf_calc", builtin_kf_calc},
    {"kf_getindex", builtin_kf_getindex},
    {"kf_getkey", builtin_kf_getkey},
};

}  // namespace

std::span<const TrapBinding> keyframe_builtins() {
    return kBindings;
}

}  // namespace tob
