// The scripts' random generator: MT19937 with the 1998 reference seeding (two
// steps of a 69069 linear congruential generator per state word).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tob {

class RandomGenerator {
  public:
    static constexpr uint32_t kDefaultSeed = 4357;  // used when drawn before any seeding

    void seed(uint32_t seed);
    // The next tempered 32-bit output.
    uint32_t next();

  private:
    static constexpr size_t kStateWords = 624;
    static constexpr size_t kShift = 397;
    std::array<uint32_t, kStateWords> state_{};
    size_t index_ = kStateWords + 1;  // not seeded yet
};

// The one generator of the engine: `srand`, `rand` and `random` draw from it,
// and so do the image effects that need chance.
RandomGenerator& script_random();

}  // namespace tob
