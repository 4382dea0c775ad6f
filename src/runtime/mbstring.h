// Character-aware operations on CP932 (Shift-JIS) text: a lead byte and the
// byte after it are one character, and a lead byte right before the end of the
// text is a character of its own. Trail bytes are never taken for letters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tob {

// Longest string a built-in scans for its terminator (the whole address space).
inline constexpr uint32_t kStringScanLimit = 0x7FFFFFFF;

// Number of characters in `s`.
size_t mbs_length(std::string_view s);

// Length of the longest prefix of `s` of at most `limit` bytes that does not
// end inside a double-byte character.
size_t cp932_prefix_length(std::string_view s, size_t limit);

// Compares character by character, a double-byte character as one 16-bit value,
// the end of a text as 0; ignoring the case of ASCII letters when asked.
// Returns -1, 0 or 1.
int mbs_compare(std::string_view a, std::string_view b, bool ignore_case);

// Converts the single-byte ASCII letters of `s` in place.
void mbs_change_case(std::span<char> s, bool upper);

// Bytes of `src` that make up `count` characters from character `start` on;
// both are cut at the end of `src`, negative values count as 0.
std::string_view mbs_cut(std::string_view src, int32_t start, int32_t count);

// Byte offset of the first character equal to `c` (a byte, or lead << 8 |
// trail for a double-byte character); 0 finds the terminator at s.size().
std::optional<size_t> mbs_find(std::string_view s, uint32_t c);

// Byte-wise comparison (unsigned), optionally folding ASCII letters; -1, 0 or 1.
int byte_compare(std::string_view a, std::string_view b, bool ignore_case);

// Converts the ASCII letters of `s` in place, byte by byte.
void ascii_change_case(std::span<char> s, bool upper);

// Decimal conversion: leading white space, an optional sign, digits; the value
// saturates at the 32-bit limits; 0 when no digit follows.
int32_t parse_decimal(std::string_view s);

}  // namespace tob
