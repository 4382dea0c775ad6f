// Little-endian reads and writes of script memory at any host address, for
// the interpreter and for ScriptMemory's word accessors.
//
// Script threads share script memory without locks (a script that shares a
// global between threads is the script's business), so every access is a
// relaxed atomic one: never undefined behaviour in the engine, whatever the
// script does. Aligned words, halfwords and bytes are single relaxed atomic
// accesses, which compile to the same plain moves as before on x86-64; an
// unaligned word or halfword is read or written one relaxed byte at a time.
#pragma once

#include <atomic>
#include <bit>
#include <cstdint>

#if defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
#define TOB_HAS_SANITIZER 1
#endif
#endif
#ifndef TOB_HAS_SANITIZER
#define TOB_HAS_SANITIZER 0
#endif

namespace tob::relaxed {

template <typename T>
inline T load(const uint8_t* p) {
    return std::atomic_ref<T>(*reinterpret_cast<T*>(const_cast<uint8_t*>(p)))
        .load(std::memory_order_relaxed);
}
template <typename T>
inline void store(uint8_t* p, T v) {
    std::atomic_ref<T>(*reinterpret_cast<T*>(p)).store(v, std::memory_order_relaxed);
}
// Whether a T at p can be one access in script byte order.
template <typename T>
inline bool aligned_for(const uint8_t* p) {
    return std::endian::native == std::endian::little &&
           (reinterpret_cast<uintptr_t>(p) & (sizeof(T) - 1)) == 0;
}

inline uint8_t load_8(const uint8_t* p) {
    return load<uint8_t>(p);
}
inline void store_8(uint8_t* p, uint32_t v) {
    store<uint8_t>(p, uint8_t(v));
}
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__SANITIZE_THREAD__) && \
    !defined(__SANITIZE_ADDRESS__) && !TOB_HAS_SANITIZER
// On x86-64 a word or halfword is one plain move at any alignment. The move is
// written as a machine instruction, outside the language's memory model, so it
// is no data race there; it also costs no alignment test. Sanitizer builds use
// the portable atomics below, which the sanitizers understand.
typedef uint16_t any_aligned16 __attribute__((aligned(1), may_alias));
typedef uint32_t any_aligned32 __attribute__((aligned(1), may_alias));
inline uint16_t load_le16(const uint8_t* p) {
    uint32_t v;
    asm("movzwl %1, %0" : "=r"(v) : "m"(*reinterpret_cast<const any_aligned16*>(p)));
    return uint16_t(v);
}
inline uint32_t load_le32(const uint8_t* p) {
    uint32_t v;
    asm("movl %1, %0" : "=r"(v) : "m"(*reinterpret_cast<const any_aligned32*>(p)));
    return v;
}
inline void store_le16(uint8_t* p, uint32_t v) {
    asm volatile("movw %w1, %0" : "=m"(*reinterpret_cast<any_aligned16*>(p)) : "r"(v));
}
inline void store_le32(uint8_t* p, uint32_t v) {
    asm volatile("movl %1, %0" : "=m"(*reinterpret_cast<any_aligned32*>(p)) : "r"(v));
}
#else
inline uint16_t load_le16(const uint8_t* p) {
    if (aligned_for<uint16_t>(p)) [[likely]]
        return load<uint16_t>(p);
    return uint16_t(load_8(p) | load_8(p + 1) << 8);
}
inline uint32_t load_le32(const uint8_t* p) {
    if (aligned_for<uint32_t>(p)) [[likely]]
        return load<uint32_t>(p);
    return uint32_t(load_8(p)) | uint32_t(load_8(p + 1)) << 8 | uint32_t(load_8(p + 2)) << 16 |
           uint32_t(load_8(p + 3)) << 24;
}
inline void store_le16(uint8_t* p, uint32_t v) {
    if (aligned_for<uint16_t>(p)) [[likely]] {
        store<uint16_t>(p, uint16_t(v));
        return;
    }
    store_8(p, v);
    store_8(p + 1, v >> 8);
}
inline void store_le32(uint8_t* p, uint32_t v) {
    if (aligned_for<uint32_t>(p)) [[likely]] {
        store<uint32_t>(p, v);
        return;
    }
    store_8(p, v);
    store_8(p + 1, v >> 8);
    store_8(p + 2, v >> 16);
    store_8(p + 3, v >> 24);
}

#endif

}  // namespace tob::relaxed
