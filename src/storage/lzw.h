// The compressed file format: "tob" and a zero byte, the expanded size (32 bits,
// big-endian), then variable-width LZW codes (9 to 15 bits, most significant bit
// first) with codes for end of data, widen and dictionary reset.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace tob {

inline constexpr std::array<uint8_t, 4> kCompressedMagic = {'t', 'o', 'b', 0};
inline constexpr size_t kCompressedHeaderSize = 8;  // magic + expanded size

enum class LzwError {
    kNone,
    kNotCompressed,  // no magic
    kBadCode,        // a code that is not a literal where one must be, or beyond the next free one
    kTooWide,        // widened past 15 bits
    kTableFull,      // a dictionary code past the largest without a reset
    kTooLong,        // more data than the header declares
    kTruncated,      // the data ends before the declared size was produced
    kNoMemory,
};

// A short English description, for tools.
const char* describe(LzwError e);

// Receives compressed bytes in blocks; false stops the compression.
using ByteSink = std::function<bool(std::span<const uint8_t>)>;

// True when `file` starts with the compressed-file magic.
bool is_compressed(std::span<const uint8_t> file);

// Writes the compressed form of `data` (header and codes) to `sink` in blocks of
// at most 16 KiB. Empty data writes only the header. False when the sink fails.
bool lzw_compress(std::span<const uint8_t> data, const ByteSink& sink);
// The same into memory.
std::vector<uint8_t> lzw_compress(std::span<const uint8_t> data);

struct LzwResult {
    std::vector<uint8_t> data;
    LzwError error = LzwError::kNone;
};

// Expands a whole compressed file (header included). Succeeds only when the
// stream yields exactly the declared size: either at its end code, or when the
// data runs out after the last byte (the end code missing). Memory grows with the
// output actually produced, never to a declared size the stream does not back.
LzwResult lzw_expand(std::span<const uint8_t> file);

}  // namespace tob
