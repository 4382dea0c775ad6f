// CP932 text operations behind the mbs* and str* built-ins.
#include "runtime/mbstring.h"

#include <algorithm>

#include "platform/cp932.h"

namespace tob {
namespace {

uint8_t fold_lower(uint8_t c) {
    return c >= 'A' && c <= 'Z' ? uint8_t(c + ('a' - 'A')) : c;
}

// The character at s[pos] as one value, and its length.
uint32_t char_value(std::string_view s, size_t pos, size_t& len) {
    len = cp932_char_length(s, pos);
    uint32_t v = uint8_t(s[pos]);
    return len == 2 ? v << 8 | uint8_t(s[pos + 1]) : v;
}

int sign(int64_t d) {
    return d < 0 ? -1 : d > 0 ? 1 : 0;
}

}  // namespace

size_t mbs_length(std::string_view s) {
    size_t n = 0;
    for (size_t pos = 0; pos < s.size(); pos += cp932_char_length(s, pos)) ++n;
    return n;
}

size_t cp932_prefix_length(std::string_view s, size_t limit) {
    if (s.size() <= limit) return s.size();
    size_t pos = 0;
    while (pos < s.size()) {
        size_t len = cp932_char_length(s, pos);
        if (pos + len > limit) break;
        pos += len;
    }
    return pos;
}

int mbs_compare(std::string_view a, std::string_view b, bool ignore_case) {
    size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        size_t la = 0, lb = 0;
        uint32_t ca = i < a.size() ? char_value(a, i, la) : 0;
        uint32_t cb = j < b.size() ? char_value(b, j, lb) : 0;
        if (ignore_case) {
            if (la == 1) ca = fold_lower(uint8_t(ca));
            if (lb == 1) cb = fold_lower(uint8_t(cb));
        }
        if (ca != cb) return ca < cb ? -1 : 1;
        i += std::max<size_t>(la, 1);
        j += std::max<size_t>(lb, 1);
    }
    return 0;
}

void mbs_change_case(std::span<char> s, bool upper) {
    std::string_view view(s.data(), s.size());
    for (size_t pos = 0; pos < s.size();) {
        size_t len = cp932_char_length(view, pos);
        char& c = s[pos];
        if (len == 1) {
            if (upper && c >= 'a' && c <= 'z') c = char(c - ('a' - 'A'));
            if (!upper && c >= 'A' && c <= 'Z') c = char(c + ('a' - 'A'));
        }
        pos += len;
    }
}

std::string_view mbs_cut(std::string_view src, int32_t start, int32_t count) {
    size_t pos = 0;
    for (int32_t i = 0; i < start && pos < src.size(); ++i) pos += cp932_char_length(src, pos);
    size_t end = pos;
    for (int32_t i = 0; i < count && end < src.size(); ++i) end += cp932_char_length(src, end);
    return src.substr(pos, end - pos);
}

std::optional<size_t> mbs_find(std::string_view s, uint32_t c) {
    for (size_t pos = 0; pos < s.size();) {
        size_t len = 0;
        if (char_value(s, pos, len) == c) return pos;
        pos += len;
    }
    if (c == 0) return s.size();
    return std::nullopt;
}

int byte_compare(std::string_view a, std::string_view b, bool ignore_case) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        uint8_t x = uint8_t(a[i]), y = uint8_t(b[i]);
        if (ignore_case) x = fold_lower(x), y = fold_lower(y);
        if (x != y) return x < y ? -1 : 1;
    }
    return sign(int64_t(a.size()) - int64_t(b.size()));
}

void ascii_change_case(std::span<char> s, bool upper) {
    for (char& c : s) {
        if (upper && c >= 'a' && c <= 'z') c = char(c - ('a' - 'A'));
        if (!upper && c >= 'A' && c <= 'Z') c = char(c + ('a' - 'A'));
    }
}

int32_t parse_decimal(std::string_view s) {
    size_t pos = 0;
    auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (pos < s.size() && blank(s[pos])) ++pos;
    bool negative = false;
    if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) negative = s[pos++] == '-';
    // Accumulate the magnitude, saturating just past the 32-bit range.
    constexpr int64_t kCap = int64_t(1) << 32;
    int64_t v = 0;
    for (; pos < s.size() && s[pos] >= '0' && s[pos] <= '9'; ++pos)
        v = std::min(kCap, v * 10 + (s[pos] - '0'));
    if (negative) v = -v;
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

}  // namespace tob
