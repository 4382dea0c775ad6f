// Conversion of CP932 source text for messages. Stand-in until the platform's
// code-page table is available: ASCII passes, the position mark is kept, every
// other character becomes U+FFFD.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "compiler/char_class.h"

namespace tob::compiler {

inline std::string cp932_to_utf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        uint8_t c = uint8_t(s[i]);
        if (c < 0x80) {
            out += char(c);
        } else if (c == 0x81 && i + 1 < s.size() && uint8_t(s[i + 1]) == 0xA1) {
            out += "■";
            ++i;
        } else {
            if (is_lead_byte(c) && i + 1 < s.size()) ++i;
            out += "\xEF\xBF\xBD";
        }
    }
    return out;
}

}  // namespace tob::compiler
