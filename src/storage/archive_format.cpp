// The member order of archives.
#include "storage/archive_format.h"

#include "platform/cp932.h"

namespace tob {
namespace {

// Lower case for ASCII letters; "/" is the same separator as "\".
uint8_t fold(uint8_t c) {
    if (c >= 'A' && c <= 'Z') return uint8_t(c + ('a' - 'A'));
    return c == '/' ? '\\' : c;
}

}  // namespace

int archive_name_compare(std::string_view a, std::string_view b) {
    bool trail = false;  // the byte after a lead byte is compared as it is
    for (size_t i = 0;; ++i) {
        if (i == a.size() || i == b.size()) {
            return a.size() == b.size() ? 0 : (i == a.size() ? -1 : 1);
        }
        uint8_t x = uint8_t(a[i]), y = uint8_t(b[i]);
        if (!trail) {
            x = fold(x);
            y = fold(y);
        }
        if (x != y) return x < y ? -1 : 1;
        trail = !trail && is_sjis_lead(x);
    }
}

}  // namespace tob
