// Ring copies: at most two pieces, one up to the end and one from the start.
#include "net/ring.h"

#include <algorithm>
#include <cstring>

namespace tob::net {

uint32_t Ring::put(const uint8_t* data, uint32_t len) {
    uint32_t n = std::min(len, free_space());
    if (n == 0) return 0;
    uint32_t first = std::min(n, kSize - write_);
    std::memcpy(buf_.data() + write_, data, first);
    std::memcpy(buf_.data(), data + first, n - first);
    write_ = (write_ + n) & (kSize - 1);
    return n;
}

uint32_t Ring::peek(uint8_t* out, uint32_t len) const {
    uint32_t n = std::min(len, pending());
    if (n == 0) return 0;
    uint32_t first = std::min(n, kSize - read_);
    std::memcpy(out, buf_.data() + read_, first);
    std::memcpy(out + first, buf_.data(), n - first);
    return n;
}

uint32_t Ring::take(uint8_t* out, uint32_t len) {
    uint32_t n = peek(out, len);
    drop(n);
    return n;
}

}  // namespace tob::net
