// The two checksums scripts compute over memory.
#pragma once

#include <cstdint>
#include <span>

namespace tob {

// CRC with polynomial 0x1021, MSB first, initial 0xFFFF, no reflection; the
// result is the 32-bit complement of the final 16-bit value (upper half all
// ones). "123456789" gives 0xFFFFD64E; no bytes give 0xFFFF0000.
uint32_t crc16(std::span<const uint8_t> data);
// CRC-32 with polynomial 0x04C11DB7, MSB first, initial 0xFFFFFFFF, final
// complement. "123456789" gives 0xFC891918; no bytes give 0.
uint32_t crc32(std::span<const uint8_t> data);

}  // namespace tob
