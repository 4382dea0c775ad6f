// Keyframe tracks: arrays of {time, value, coefficient, work} floats that
// scripts own, interpolated in ten modes. The track lives in script memory and
// is read and written field by field through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "vm/script_memory.h"

namespace tob {

// One key as scripts lay it out.
struct Keyframe {
    float time;
    float value;
    float coefficient;  // Newton divided difference, filled by kf_calc
    float work;         // scratch for kf_calc
};
static_assert(sizeof(Keyframe) == 16);
static_assert(offsetof(Keyframe, time) == 0);
static_assert(offsetof(Keyframe, value) == 4);
static_assert(offsetof(Keyframe, coefficient) == 8);
static_assert(offsetof(Keyframe, work) == 12);

enum class KeyMode : int32_t {
    Step = 0,
    Linear = 1,
    Square = 2,        // y0 + (y1 - y0) u^2
    SquareRoot = 3,    // y0 + (y1 - y0) sqrt(u)
    Newton = 4,        // polynomial through every key (needs kf_calc)
    NevilleEnd = 5,    // neville(y0, y1, y1, u)
    NevilleStart = 6,  // neville(y0, y0, y1, u)
    BezierEnd = 7,     // bezier(y0, y1, y1, u)
    BezierStart = 8,   // bezier(y0, y0, y1, u)
    Hermite = 9,
};

// A track of `count` keys at a script address, checked once on opening.
class KeyTrack {
  public:
    // Nullopt when the address is 0, count < 1, or the keys do not lie in
    // script memory.
    static std::optional<KeyTrack> open(ScriptMemory& memory, ScriptAddr addr, int32_t count);

    int32_t count() const { return count_; }
    float time(int32_t i) const { return get(i, offsetof(Keyframe, time)); }
    float value(int32_t i) const { return get(i, offsetof(Keyframe, value)); }
    float coefficient(int32_t i) const { return get(i, offsetof(Keyframe, coefficient)); }
    float work(int32_t i) const { return get(i, offsetof(Keyframe, work)); }
    void set_coefficient(int32_t i, float v) { set(i, offsetof(Keyframe, coefficient), v); }
    void set_work(int32_t i, float v) { set(i, offsetof(Keyframe, work), v); }

  private:
    KeyTrack(ScriptMemory& memory, ScriptAddr addr, int32_t count)
        : memory_(&memory), addr_(addr), count_(count) {}
    float get(int32_t i, size_t field) const;
    void set(int32_t i, size_t field, float v);

    ScriptMemory* memory_;
    ScriptAddr addr_;
    int32_t count_;
};

// Stores the Newton divided differences f[t0 .. tj] into each key's coefficient.
void keyframe_calc(KeyTrack& track);
// Index i with time[i] <= t < time[i + 1], or -1 (also at or after the last key).
int32_t keyframe_index(const KeyTrack& track, float t);
// The interpolated value at t in `mode` (0 for an unknown mode).
float keyframe_value(const KeyTrack& track, float t, int32_t mode);

}  // namespace tob
