// Code page 932 (Shift-JIS as the Windows engine used it) <-> Unicode.
// One table, generated from the C library's "CP932" converter, serves the whole
// engine: paths, fonts, error texts, script strings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tob {

// What an undecodable byte sequence becomes when converting to Unicode.
inline constexpr char32_t kReplacementChar = 0xFFFD;
// What an unmappable character becomes when converting to CP932.
inline constexpr char kCp932Unmappable = '?';

// True for the first byte of a double-byte character (0x81-0x9F, 0xE0-0xFC).
inline bool is_sjis_lead(uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Equality of CP932 names ignoring case: ASCII letters fold, double-byte
// characters (trail bytes included) compare exactly.
bool cp932_equal_ignoring_case(std::string_view a, std::string_view b);

// True for a byte that may follow a lead byte (0x40-0x7E, 0x80-0xFC).
inline bool is_sjis_trail(uint8_t b) {
    return b >= 0x40 && b <= 0xFC && b != 0x7F;
}

// The Unicode character of a CP932 code: a single byte (code < 0x100) or a
// double byte written lead << 8 | trail. Nullopt when the code is unmapped.
std::optional<char32_t> cp932_to_unicode(uint16_t code);

// The CP932 code of `c` (one byte if < 0x100, else lead << 8 | trail), or nullopt.
std::optional<uint16_t> unicode_to_cp932(char32_t c);

// Length in bytes (1 or 2) of the character starting at s[pos]: 2 when s[pos]
// is a lead byte followed by another byte. pos must be < s.size().
inline size_t cp932_char_length(std::string_view s, size_t pos) {
    return is_sjis_lead(uint8_t(s[pos])) && pos + 1 < s.size() ? 2 : 1;
}

// Decodes the character at s[pos] and advances pos past it. A lead byte with a
// valid trail byte that maps to nothing consumes both bytes; any other byte that
// maps to nothing (a lone or truncated lead byte, 0x80, 0xA0, 0xFD-0xFF)
// consumes one. Both give kReplacementChar. pos must be < s.size().
char32_t next_cp932_char(std::string_view s, size_t& pos);

// Converts CP932 text to UTF-8; undecodable bytes become U+FFFD (see
// next_cp932_char). Never fails.
std::string cp932_to_utf8(std::string_view s);

// What an unmapped character becomes in text output: U+30FB, the character
// the platform's own CP932 converter puts in place of one.
inline constexpr char16_t kCp932DefaultChar = 0x30FB;

// Converts CP932 text to UTF-16 for text output: every undecodable character
// (see next_cp932_char) becomes kCp932DefaultChar. Never fails.
std::u16string cp932_to_utf16(std::string_view s);

// Converts UTF-8 text to CP932; characters without a CP932 code, and malformed
// UTF-8 bytes, become '?'. Never fails.
std::string utf8_to_cp932(std::string_view s);

// Appends the UTF-8 encoding of `c` (a valid scalar value) to `out`.
void append_utf8(std::string& out, char32_t c);

// Decodes the UTF-8 character at s[pos] and advances pos; a malformed byte
// gives nullopt and advances by one. pos must be < s.size().
std::optional<char32_t> next_utf8_char(std::string_view s, size_t& pos);

}  // namespace tob
