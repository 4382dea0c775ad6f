// MT19937: the standard recurrence and tempering.
#include "runtime/random_generator.h"

namespace tob {
namespace {
constexpr uint32_t kMatrixA = 0x9908B0DF;
constexpr uint32_t kUpperMask = 0x80000000;
constexpr uint32_t kLowerMask = 0x7FFFFFFF;
constexpr uint32_t kLcgMultiplier = 69069;
constexpr uint32_t kTemperingB = 0x9D2C5680;
constexpr uint32_t kTemperingC = 0xEFC60000;
}  // namespace

void RandomGenerator::seed(uint32_t seed) {
    for (uint32_t& word : state_) {
        word = seed & 0xFFFF0000;
        seed = kLcgMultiplier * seed + 1;
        word |= (seed & 0xFFFF0000) >> 16;
        seed = kLcgMultiplier * seed + 1;
    }
    index_ = kStateWords;
}

uint32_t RandomGenerator::next() {
    if (index_ >= kStateWords) {
        if (index_ == kStateWords + 1) seed(kDefaultSeed);
        auto twist = [](uint32_t upper, uint32_t lower, uint32_t far) {
            uint32_t y = (upper & kUpperMask) | (lower & kLowerMask);
            return far ^ (y >> 1) ^ ((y & 1) ? kMatrixA : 0);
        };
        size_t k = 0;
        for (; k < kStateWords - kShift; ++k)
            state_[k] = twist(state_[k], state_[k + 1], state_[k + kShift]);
        for (; k < kStateWords - 1; ++k)
            state_[k] = twist(state_[k], state_[k + 1], state_[k + kShift - kStateWords]);
        state_[k] = twist(state_[k], state_[0], state_[kShift - 1]);
        index_ = 0;
    }
    uint32_t y = state_[index_++];
    y ^= y >> 11;
    y ^= (y << 7) & kTemperingB;
    y ^= (y << 15) & kTemperingC;
    y ^= y >> 18;
    return y;
}

RandomGenerator& script_random() {
    static RandomGenerator generator;
    return generator;
}

}  // namespace tob
