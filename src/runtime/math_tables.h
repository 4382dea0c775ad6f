// Fixed-point trigonometry in the engine's angle unit (2048 steps per turn):
// the 16.16 sine table and the arctangent table behind tsin, tcos and tatan.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tob {

inline constexpr int32_t kAngleSteps = 2048;
inline constexpr int32_t kAngleMask = kAngleSteps - 1;
inline constexpr int32_t kQuarterTurn = kAngleSteps / 4;
inline constexpr int32_t kFixedOne = 65536;  // 1.0 in 16.16
// A full turn plus a quarter, so a cosine can be read at an offset of 512.
inline constexpr size_t kSineTableSize = kAngleSteps + kQuarterTurn;
// atan(i / 256) for i = 0..256, in angle units.
inline constexpr int32_t kAtanSteps = 256;
inline constexpr size_t kAtanTableSize = kAtanSteps + 1;

// Built on first use (engine initialisation touches them), then read-only.
const std::array<int32_t, kSineTableSize>& sine_table();
const std::array<int32_t, kAtanTableSize>& atan_table();

// 16.16 sine and cosine of an angle taken modulo 2048.
int32_t table_sin(int32_t angle);
int32_t table_cos(int32_t angle);
// Angle of the vector (x, y), 0..2047, from the positive x axis towards the
// positive y axis; (0, 0) gives 0. Exact for every pair of 32-bit values.
int32_t table_atan(int32_t x, int32_t y);

}  // namespace tob
