// Table-driven CRCs; the tables are generated at compile time.
#include "runtime/crc.h"

#include <array>

namespace tob {
namespace {

constexpr uint16_t kCrc16Polynomial = 0x1021;
constexpr uint16_t kCrc16Initial = 0xFFFF;
constexpr uint32_t kCrc32Polynomial = 0x04C11DB7;
constexpr uint32_t kCrc32Initial = 0xFFFFFFFF;

template <typename T, T Polynomial>
constexpr std::array<T, 256> msb_first_table() {
    constexpr int kBits = sizeof(T) * 8;
    std::array<T, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        T c = T(i << (kBits - 8));
        for (int b = 0; b < 8; ++b)
            c = T((c & (T(1) << (kBits - 1))) ? (c << 1) ^ Polynomial : c << 1);
        t[i] = c;
    }
    return t;
}

constexpr auto kCrc16Table = msb_first_table<uint16_t, kCrc16Polynomial>();
constexpr auto kCrc32Table = msb_first_table<uint32_t, kCrc32Polynomial>();

}  // namespace

uint32_t crc16(std::span<const uint8_t> data) {
    uint16_t crc = kCrc16Initial;
    for (uint8_t b : data) crc = uint16_t(crc << 8 ^ kCrc16Table[(crc >> 8 ^ b) & 0xFF]);
    return ~uint32_t(crc);
}

uint32_t crc32(std::span<const uint8_t> data) {
    if (data.empty()) return 0;
    uint32_t crc = kCrc32Initial;
    for (uint8_t b : data) crc = crc << 8 ^ kCrc32Table[(crc >> 24 ^ b) & 0xFF];
    return ~crc;
}

}  // namespace tob
