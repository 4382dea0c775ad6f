// Character classes of script source bytes (CP932 text): the one table the
// preprocessor and the lexer consult for every byte they read.
#pragma once

#include <array>
#include <cstdint>

namespace tob::compiler {

enum CharClass : uint8_t {
    kBlank = 1 << 0,       // space, tab, carriage return, newline
    kDigit = 1 << 1,       // 0-9
    kHexDigit = 1 << 2,    // 0-9 a-f A-F
    kLower = 1 << 3,       // a-z
    kUpper = 1 << 4,       // A-Z
    kIdentStart = 1 << 5,  // a-z A-Z _
    kLeadByte = 1 << 6,    // first byte of a Shift-JIS double-byte character
};

constexpr std::array<uint8_t, 256> make_char_classes() {
    std::array<uint8_t, 256> t{};
    for (int c : {' ', '\t', '\r', '\n'}) t[c] |= kBlank;
    for (int c = '0'; c <= '9'; ++c) t[c] |= kDigit | kHexDigit;
    for (int c = 'a'; c <= 'f'; ++c) t[c] |= kHexDigit;
    for (int c = 'A'; c <= 'F'; ++c) t[c] |= kHexDigit;
    for (int c = 'a'; c <= 'z'; ++c) t[c] |= kLower | kIdentStart;
    for (int c = 'A'; c <= 'Z'; ++c) t[c] |= kUpper | kIdentStart;
    t['_'] |= kIdentStart;
    for (int c = 0x81; c <= 0x9F; ++c) t[c] |= kLeadByte;
    for (int c = 0xE0; c <= 0xFC; ++c) t[c] |= kLeadByte;
    return t;
}

inline constexpr std::array<uint8_t, 256> kCharClasses = make_char_classes();

constexpr bool has_class(uint8_t c, uint8_t cls) {
    return (kCharClasses[c] & cls) != 0;
}
constexpr bool is_blank(uint8_t c) {
    return has_class(c, kBlank);
}
constexpr bool is_digit(uint8_t c) {
    return has_class(c, kDigit);
}
constexpr bool is_hex_digit(uint8_t c) {
    return has_class(c, kHexDigit);
}
constexpr bool is_ident_start(uint8_t c) {
    return has_class(c, kIdentStart);
}
constexpr bool is_lead_byte(uint8_t c) {
    return has_class(c, kLeadByte);
}
// Bytes that continue an identifier once it has started (lead bytes aside).
constexpr bool is_ident_char(uint8_t c) {
    return has_class(c, kIdentStart | kDigit);
}

constexpr int hex_value(uint8_t c) {
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

// ASCII-only case folding, the rule of every name comparison that ignores case.
constexpr uint8_t fold_case(uint8_t c) {
    return has_class(c, kUpper) ? uint8_t(c | 0x20) : c;
}

}  // namespace tob::compiler
