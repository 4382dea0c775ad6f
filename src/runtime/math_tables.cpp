// The sine and arctangent tables, rounded to nearest from double precision.
#include "runtime/math_tables.h"

#include <cmath>
#include <numbers>

namespace tob {

const std::array<int32_t, kSineTableSize>& sine_table() {
    static const std::array<int32_t, kSineTableSize> table = [] {
        std::array<int32_t, kSineTableSize> t{};
        for (size_t i = 0; i < t.size(); ++i)
            t[i] = int32_t(
                std::lround(kFixedOne * std::sin(double(i) * 2 * std::numbers::pi / kAngleSteps)));
        return t;
    }();
    return table;
}

const std::array<int32_t, kAtanTableSize>& atan_table() {
    static const std::array<int32_t, kAtanTableSize> table = [] {
        std::array<int32_t, kAtanTableSize> t{};
        for (size_t i = 0; i < t.size(); ++i)
            t[i] = int32_t(std::lround(std::atan(double(i) / kAtanSteps) * (kAngleSteps / 2) /
                                       std::numbers::pi));
        return t;
    }();
    return table;
}

int32_t table_sin(int32_t angle) {
    return sine_table()[size_t(angle & kAngleMask)];
}

int32_t table_cos(int32_t angle) {
    return sine_table()[size_t(int32_t(uint32_t(angle) + kQuarterTurn) & kAngleMask)];
}

int32_t table_atan(int32_t x, int32_t y) {
    if (x == 0 && y == 0) return 0;
    // 64-bit magnitudes: |INT32_MIN| and |x| * 256 do not fit in 32 bits.
    int64_t ax = std::abs(int64_t(x)), ay = std::abs(int64_t(y));
    int32_t v;
    if (ax < ay)
        v = kQuarterTurn - atan_table()[size_t(ax * kAtanSteps / ay)];
    else
        v = atan_table()[size_t(ay * kAtanSteps / ax)];
    if (x <= 0) v = kAngleSteps / 2 - v;
    return y > 0 ? v & kAngleMask : (kAngleSteps - v) & kAngleMask;
}

}  // namespace tob
