#include "vm/script_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>

#include "vm/relaxed_access.h"

namespace tob {
namespace {

constexpr uint64_t kCommitStep = 1u << 20;  // grow the usable space 1 MiB at a time

uint64_t page_size() {
    static const uint64_t size = uint64_t(sysconf(_SC_PAGESIZE));
    return size;
}

uint64_t round_up(uint64_t v, uint64_t to) {
    return (v + to - 1) / to * to;
}

}  // namespace

ScriptMemory::ScriptMemory(uint64_t span) {
    static std::atomic<uint64_t> next_serial{1};
    serial_ = next_serial.fetch_add(1, std::memory_order_relaxed);
    span_ = std::min(round_up(std::max<uint64_t>(span, 2 * kLowGuard), page_size()), kMaxSpan);
    // Reserve address space only; pages become usable as the allocator grows.
    void* p = mmap(nullptr, span_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) {
        span_ = 0;
        return;
    }
    base_ = static_cast<uint8_t*>(p);
}

ScriptMemory::~ScriptMemory() {
    if (base_) munmap(base_, span_);
}

bool ScriptMemory::commit_to(uint64_t new_top) {
    uint64_t top = limit_.load(std::memory_order_relaxed);
    if (new_top <= top) return true;
    uint64_t target = std::min(round_up(new_top, kCommitStep), span_);
    if (target < new_top) return false;
    if (mprotect(base_ + top, target - top, PROT_READ | PROT_WRITE) != 0) return false;
    limit_.store(uint32_t(target), std::memory_order_relaxed);
    return true;
}

ScriptAddr ScriptMemory::allocate(uint32_t size, BlockKind kind) {
    if (!base_) return 0;
    uint64_t need = round_up(std::max<uint64_t>(size, 1), kAlignment);
    if (need > span_) return 0;
    std::lock_guard lock(mutex_);

    // Best fit among the free blocks, else carve from the top.
    auto it = free_by_size_.lower_bound({uint32_t(need), 0});
    ScriptAddr addr = 0;
    if (it != free_by_size_.end()) {
        auto [fsize, faddr] = *it;
        free_by_size_.erase(it);
        free_by_addr_.erase(faddr);
        if (fsize > need) {
            ScriptAddr rest = faddr + uint32_t(need);
            uint32_t rest_size = fsize - uint32_t(need);
            free_by_addr_[rest] = rest_size;
            free_by_size_.insert({rest_size, rest});
        }
        addr = faddr;
    } else {
        if (brk_ + need > span_ || !commit_to(brk_ + need)) return 0;
        addr = ScriptAddr(brk_);
        brk_ += need;
    }
    used_[addr] = Block{uint32_t(need), kind};
    return addr;  // free memory is always zero, so the block needs no clearing
}

void ScriptMemory::release(ScriptAddr addr, uint32_t size) {
    for (const auto& entry : observers_) entry.second(addr, size);
    // Keep the invariant that free memory is zero: whole pages are handed back
    // to the system (they come back zero), the edges are cleared by hand.
    uint64_t ps = page_size();
    uint64_t lo = round_up(addr, ps);
    uint64_t hi = (uint64_t(addr) + size) / ps * ps;
    if (hi > lo && hi - lo >= 16 * ps) {
        std::memset(base_ + addr, 0, lo - addr);
        madvise(base_ + lo, hi - lo, MADV_DONTNEED);
        std::memset(base_ + hi, 0, uint64_t(addr) + size - hi);
    } else {
        std::memset(base_ + addr, 0, size);
    }

    // Coalesce with the neighbours.
    uint64_t start = addr, end = uint64_t(addr) + size;
    auto next = free_by_addr_.lower_bound(addr);
    if (next != free_by_addr_.begin()) {
        auto prev = std::prev(next);
        if (uint64_t(prev->first) + prev->second == start) {
            start = prev->first;
            free_by_size_.erase({prev->second, prev->first});
            free_by_addr_.erase(prev);
        }
    }
    if (next != free_by_addr_.end() && next->first == end) {
        end += next->second;
        free_by_size_.erase({next->second, next->first});
        free_by_addr_.erase(next);
    }
    if (end == brk_) {
        brk_ = start;  // give the top back to the bump region
        return;
    }
    free_by_addr_[ScriptAddr(start)] = uint32_t(end - start);
    free_by_size_.insert({uint32_t(end - start), ScriptAddr(start)});
}

bool ScriptMemory::free(ScriptAddr addr) {
    std::lock_guard lock(mutex_);
    auto it = used_.find(addr);
    if (it == used_.end()) return false;
    uint32_t size = it->second.size;
    used_.erase(it);
    release(addr, size);
    return true;
}

void ScriptMemory::free_all(BlockKind kind) {
    std::lock_guard lock(mutex_);
    for (auto it = used_.begin(); it != used_.end();) {
        if (it->second.kind == kind) {
            ScriptAddr addr = it->first;
            uint32_t size = it->second.size;
            it = used_.erase(it);
            release(addr, size);
        } else {
            ++it;
        }
    }
}

int ScriptMemory::add_release_observer(ReleaseObserver observer) {
    std::lock_guard lock(mutex_);
    int id = next_observer_++;
    observers_.emplace_back(id, std::move(observer));
    return id;
}

void ScriptMemory::remove_release_observer(int id) {
    std::lock_guard lock(mutex_);
    std::erase_if(observers_, [id](const auto& entry) { return entry.first == id; });
}

uint32_t ScriptMemory::block_size(ScriptAddr addr) const {
    std::lock_guard lock(mutex_);
    auto it = used_.find(addr);
    return it == used_.end() ? 0 : it->second.size;
}

size_t ScriptMemory::block_count(BlockKind kind) const {
    std::lock_guard lock(mutex_);
    return size_t(std::count_if(used_.begin(), used_.end(),
                                [kind](const auto& b) { return b.second.kind == kind; }));
}

bool ScriptMemory::write32(ScriptAddr addr, uint32_t value) {
    uint8_t* p = host(addr, 4);
    if (!p) return false;
    relaxed::store_le32(p, value);
    return true;
}

std::optional<std::string_view> ScriptMemory::c_string(ScriptAddr addr, uint32_t max_len) const {
    if (!valid(addr, 1)) return std::nullopt;
    uint64_t avail = uint64_t(limit()) - addr;
    uint64_t scan = std::min<uint64_t>(avail, uint64_t(max_len) + 1);
    const char* p = reinterpret_cast<const char*>(base_ + addr);
    const void* nul = std::memchr(p, 0, scan);
    if (!nul) return std::nullopt;
    return std::string_view(p, size_t(static_cast<const char*>(nul) - p));
}

namespace {

uint32_t to_little_endian(uint32_t v) {
    if constexpr (std::endian::native == std::endian::little) return v;
    return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
}

}  // namespace

bool ScriptMemory::load_shared32(ScriptAddr addr, uint32_t& out) const {
    uint8_t* p = host(addr, 4);
    if (!p || addr % 4 != 0) return false;
    out = to_little_endian(
        std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(p)).load(std::memory_order_relaxed));
    return true;
}

bool ScriptMemory::store_shared32(ScriptAddr addr, uint32_t value) {
    uint8_t* p = host(addr, 4);
    if (!p || addr % 4 != 0) return false;
    std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(p))
        .store(to_little_endian(value), std::memory_order_relaxed);
    return true;
}

bool ScriptMemory::copy_in(ScriptAddr dst, const void* src, uint32_t len) {
    if (len == 0) return true;
    uint8_t* p = host(dst, len);
    if (!p) return false;
    std::memmove(p, src, len);
    return true;
}

bool ScriptMemory::copy_out(void* dst, ScriptAddr src, uint32_t len) const {
    if (len == 0) return true;
    const uint8_t* p = host(src, len);
    if (!p) return false;
    std::memmove(dst, p, len);
    return true;
}

}  // namespace tob
