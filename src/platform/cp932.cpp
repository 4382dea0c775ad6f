// CP932 <-> Unicode conversion over the generated tables in cp932_table.inc.
#include "platform/cp932.h"

#include <algorithm>
#include <iterator>

namespace tob {
namespace {

#include "platform/cp932_table.inc"

constexpr uint16_t kUnmapped = 0xFFFF;

// ASCII is itself in CP932, both ways: the conversions below skip the tables for it.
constexpr bool ascii_maps_to_itself() {
    for (uint16_t c = 0; c < 0x80; ++c)
        if (kCp932FromUnicode[c][0] != c || kCp932FromUnicode[c][1] != c ||
            kCp932SingleByte[c] != c)
            return false;
    return true;
}
static_assert(ascii_maps_to_itself());
constexpr uint8_t kTrailFirst = 0x40;
constexpr uint8_t kTrailLast = 0xFC;
constexpr size_t kTrailsPerLead = kTrailLast - kTrailFirst + 1;
constexpr uint8_t kSecondLeadRangeFirst = 0xE0;
constexpr size_t kLeadsInFirstRange = 0x9F - 0x81 + 1;

static_assert(std::size(kCp932DoubleByte) == 60 * kTrailsPerLead);

size_t lead_index(uint8_t lead) {
    return lead < kSecondLeadRangeFirst ? lead - 0x81u
                                        : kLeadsInFirstRange + (lead - kSecondLeadRangeFirst);
}

}  // namespace

std::optional<char32_t> cp932_to_unicode(uint16_t code) {
    uint16_t u = kUnmapped;
    if (code < 0x100) {
        u = kCp932SingleByte[code];
    } else {
        uint8_t lead = uint8_t(code >> 8), trail = uint8_t(code);
        if (is_sjis_lead(lead) && trail >= kTrailFirst && trail <= kTrailLast) {
            u = kCp932DoubleByte[lead_index(lead) * kTrailsPerLead + (trail - kTrailFirst)];
        }
    }
    if (u == kUnmapped) return std::nullopt;
    return char32_t(u);
}

std::optional<uint16_t> unicode_to_cp932(char32_t c) {
    if (c < 0x80) return uint16_t(c);
    if (c >= kUnmapped) return std::nullopt;
    const auto* first = std::begin(kCp932FromUnicode);
    const auto* last = std::end(kCp932FromUnicode);
    const auto* it = std::lower_bound(first, last, c,
                                      [](const uint16_t(&e)[2], char32_t v) { return e[0] < v; });
    if (it == last || (*it)[0] != c) return std::nullopt;
    return (*it)[1];
}

char32_t next_cp932_char(std::string_view s, size_t& pos) {
    uint8_t b = uint8_t(s[pos]);
    if (is_sjis_lead(b) && pos + 1 < s.size() && is_sjis_trail(uint8_t(s[pos + 1]))) {
        uint16_t code = uint16_t(b << 8 | uint8_t(s[pos + 1]));
        pos += 2;
        return cp932_to_unicode(code).value_or(kReplacementChar);
    }
    pos += 1;
    return cp932_to_unicode(b).value_or(kReplacementChar);
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

std::optional<char32_t> next_utf8_char(std::string_view s, size_t& pos) {
    uint8_t b = uint8_t(s[pos]);
    size_t extra;
    char32_t c, min;
    if (b < 0x80) {
        ++pos;
        return b;
    } else if (b >= 0xC2 && b <= 0xDF) {
        extra = 1, c = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        extra = 2, c = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        extra = 3, c = b & 0x07, min = 0x10000;
    } else {
        ++pos;
        return std::nullopt;
    }
    if (s.size() - pos <= extra) {
        ++pos;
        return std::nullopt;
    }
    for (size_t i = 1; i <= extra; ++i) {
        uint8_t t = uint8_t(s[pos + i]);
        if ((t & 0xC0) != 0x80) {
            ++pos;
            return std::nullopt;
        }
        c = c << 6 | (t & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++pos;
        return std::nullopt;
    }
    pos += extra + 1;
    return c;
}

std::string cp932_to_utf8(std::string_view s) {
    std::string out;
    out.reserve(s.size() + s.size() / 2);
    for (size_t pos = 0; pos < s.size();) append_utf8(out, next_cp932_char(s, pos));
    return out;
}

std::u16string cp932_to_utf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (size_t pos = 0; pos < s.size();) {
        char32_t c = next_cp932_char(s, pos);
        // CP932 reaches only the basic plane: one unit per character.
        out += c == kReplacementChar ? kCp932DefaultChar : char16_t(c);
    }
    return out;
}

std::string utf8_to_cp932(std::string_view s) {
    // A leading ASCII run (often the whole text) is copied as it is.
    size_t ascii = 0;
    while (ascii < s.size() && uint8_t(s[ascii]) < 0x80) ++ascii;
    std::string out(s.substr(0, ascii));
    if (ascii == s.size()) return out;
    out.reserve(s.size());
    for (size_t pos = ascii; pos < s.size();) {
        auto c = next_utf8_char(s, pos);
        auto code = c ? unicode_to_cp932(*c) : std::nullopt;
        if (!code) {
            out += kCp932Unmappable;
        } else if (*code < 0x100) {
            out += char(*code);
        } else {
            out += char(*code >> 8);
            out += char(*code & 0xFF);
        }
    }
    return out;
}

bool cp932_equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    auto fold = [](uint8_t c) { return c >= 'A' && c <= 'Z' ? uint8_t(c + 32) : c; };
    for (size_t i = 0; i < a.size(); ++i) {
        uint8_t x = uint8_t(a[i]), y = uint8_t(b[i]);
        if (is_sjis_lead(x) && i + 1 < a.size()) {
            if (x != y || a[i + 1] != b[i + 1]) return false;
            ++i;
            continue;
        }
        if (fold(x) != fold(y)) return false;
    }
    return true;
}

}  // namespace tob
