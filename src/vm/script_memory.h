// The script address space: one reserved block of host memory that holds every
// byte a script can address. Script addresses are 32-bit offsets into it, always
// below 2^31, and nothing below 64 KiB is ever valid, so a null pointer never is.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "vm/relaxed_access.h"

namespace tob {

using ScriptAddr = uint32_t;

// What a block is for; `free_all` releases every block of one kind at once.
enum class BlockKind : uint8_t { Engine, Program, Stack, ScriptHeap };

class ScriptMemory {
  public:
    static constexpr uint32_t kLowGuard = 0x10000;    // never mapped: catches null pointers
    static constexpr uint64_t kMaxSpan = 1ull << 31;  // addresses stay below 2^31
    static constexpr uint32_t kAlignment = 16;

    // Reserves `span` bytes of address space (rounded to pages, at most 2 GiB).
    explicit ScriptMemory(uint64_t span = kMaxSpan);
    ~ScriptMemory();
    ScriptMemory(const ScriptMemory&) = delete;
    ScriptMemory& operator=(const ScriptMemory&) = delete;

    // False when the reservation itself failed; every allocation then fails.
    bool ok() const { return base_ != nullptr; }

    // Zero-filled block of `size` bytes, or 0 when the space is exhausted.
    // Thread-safe. A size of 0 yields a minimal block.
    ScriptAddr allocate(uint32_t size, BlockKind kind = BlockKind::Engine);
    // Releases a block returned by `allocate`; false (and nothing happens) for
    // anything else, including 0.
    bool free(ScriptAddr addr);
    // Releases every block of the given kind.
    void free_all(BlockKind kind);
    // Size of the block that starts at `addr`, or 0 when no block starts there.
    uint32_t block_size(ScriptAddr addr) const;
    // Number of live blocks of a kind (tests and diagnostics).
    size_t block_count(BlockKind kind) const;

    // Called with a block's range just before `free` or `free_all` releases it
    // (and clears its bytes), so that a holder of a script address can copy out
    // what it still needs. Runs under the allocator's lock: an observer may read
    // the bytes but must not allocate or free. Returns an id for removal.
    using ReleaseObserver = std::function<void(ScriptAddr addr, uint32_t size)>;
    int add_release_observer(ReleaseObserver observer);
    void remove_release_observer(int id);

    // Checked translation: the host pointer for [addr, addr + len), or nullptr
    // when any byte of the range lies outside the usable space.
    uint8_t* host(ScriptAddr addr, uint32_t len = 1) const {
        return valid(addr, len) ? base_ + addr : nullptr;
    }
    bool valid(ScriptAddr addr, uint32_t len = 1) const {
        // One subtraction and one compare: addr >= kLowGuard and addr + len <= limit.
        uint64_t lim = limit_.load(std::memory_order_relaxed);
        return uint64_t(addr) - kLowGuard + len <= lim - kLowGuard && addr >= kLowGuard;
    }
    // Raw base for the interpreter's fast path; only valid together with `limit`.
    uint8_t* base() const { return base_; }
    // Unique for the process's lifetime (unlike the address, which may be reused).
    uint64_t serial() const { return serial_; }
    // One past the highest usable address. Only grows.
    uint32_t limit() const { return limit_.load(std::memory_order_relaxed); }

    // Little-endian word access (relaxed atomic: script threads share these
    // words without locks); false when the range is invalid.
    bool read32(ScriptAddr addr, uint32_t& out) const {
        const uint8_t* p = host(addr, 4);
        if (!p) return false;
        out = relaxed::load_le32(p);
        return true;
    }
    bool write32(ScriptAddr addr, uint32_t value);
    // A zero-terminated string starting at `addr`, at most `max_len` bytes long
    // (without the terminator); nullopt when it leaves the space or is longer.
    std::optional<std::string_view> c_string(ScriptAddr addr, uint32_t max_len = 1u << 20) const;
    // Copies bytes in and out; false when the script range is invalid. These
    // and `c_string` work on bytes without atomic accesses (see tests/tsan.supp).
    bool copy_in(ScriptAddr dst, const void* src, uint32_t len);
    // Atomic access to an aligned little-endian word that threads share (the
    // stop word, the window-state block); false when `addr` is unaligned or
    // invalid.
    bool load_shared32(ScriptAddr addr, uint32_t& out) const;
    bool store_shared32(ScriptAddr addr, uint32_t value);
    bool copy_out(void* dst, ScriptAddr src, uint32_t len) const;

  private:
    struct Block {
        uint32_t size;
        BlockKind kind;
    };
    bool commit_to(uint64_t new_top);              // caller holds mutex_
    void release(ScriptAddr addr, uint32_t size);  // zero + coalesce; caller holds mutex_

    uint8_t* base_ = nullptr;
    uint64_t serial_ = 0;
    uint64_t span_ = 0;
    std::atomic<uint32_t> limit_{kLowGuard};  // committed top
    uint64_t brk_ = kLowGuard;                // top of carved space

    mutable std::mutex mutex_;
    std::unordered_map<ScriptAddr, Block> used_;
    std::map<ScriptAddr, uint32_t> free_by_addr_;
    std::set<std::pair<uint32_t, ScriptAddr>> free_by_size_;
    std::vector<std::pair<int, ReleaseObserver>> observers_;
    int next_observer_ = 1;
};

}  // namespace tob
