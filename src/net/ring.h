// The byte ring between a session's thread and the built-ins: 8192 bytes, at
// most 8191 pending (one byte always stays free), copies in at most two pieces
// around the end. Not locked: the session guards its rings with one mutex.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace tob::net {

class Ring {
  public:
    static constexpr uint32_t kSize = 8192;

    uint32_t pending() const { return (write_ - read_) & (kSize - 1); }
    uint32_t free_space() const { return (read_ - write_ - 1) & (kSize - 1); }
    bool empty() const { return read_ == write_; }

    // Copies in min(len, free space) bytes; returns the count.
    uint32_t put(const uint8_t* data, uint32_t len);
    // Copies out min(len, pending) bytes; returns the count.
    uint32_t take(uint8_t* out, uint32_t len);
    // Copies out up to `len` pending bytes without taking them.
    uint32_t peek(uint8_t* out, uint32_t len) const;
    // Drops `n` pending bytes (n <= pending()).
    void drop(uint32_t n) { read_ = (read_ + n) & (kSize - 1); }
    void clear() { read_ = write_ = 0; }

  private:
    std::array<uint8_t, kSize> buf_{};
    uint32_t read_ = 0;
    uint32_t write_ = 0;
};

}  // namespace tob::net
