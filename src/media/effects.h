// The channel effects: chorus, compressor, distortion, echo, flanger,
// gargle, parametric equaliser and reverb, our own DSP with the platform's
// meanings, ranges and defaults. A channel stores each effect's parameter
// record as 32-bit words; a record with any word out of range (or NaN) runs
// with the effect's defaults, as the platform refused such records.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "media/mixer.h"

namespace tob::media {

enum class Effect : int {
    Chorus = 0,
    Compressor,
    Distortion,
    Echo,
    Flanger,
    Gargle,
    ParamEq,
    Reverb,
};
inline constexpr int kEffectCount = 8;
// Words in each effect's record, in bit order, and where each record starts
// in a channel's store.
inline constexpr std::array<int, kEffectCount> kEffectWords = {7, 6, 5, 5, 7, 2, 3, 4};
inline constexpr std::array<int, kEffectCount> kEffectOffset = {0, 7, 13, 18, 23, 30, 32, 35};
inline constexpr int kEffectWordTotal = 39;

// One parameter: a float (or an integer word) with its range and default.
struct EffectParam {
    const char* name;
    bool integer;
    float min, max, fallback;
};
// The parameters of `e`, in record order.
std::span<const EffectParam> effect_params(Effect e);

// The record's values as floats: the record itself when every word is in
// range, else the defaults.
std::array<float, 7> effect_values(Effect e, std::span<const uint32_t> words);

// The chain of the effects whose bits are set, in bit order, at `rate`.
// nullptr when no bit is set.
std::unique_ptr<EffectChain> make_effect_chain(uint32_t bits,
                                               const std::array<uint32_t, kEffectWordTotal>& words,
                                               uint32_t rate);
// One effect alone (tests).
std::unique_ptr<EffectChain> make_effect(Effect e, std::span<const float> values, uint32_t rate);

}  // namespace tob::media
