// Helpers shared by the two interpreter loops: little-endian access in place,
// memory operand widths, and the machine's arithmetic rules.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "vm/interpreter.h"
#include "vm/relaxed_access.h"

namespace tob::vm_ops {

inline constexpr uint32_t kLowGuard = ScriptMemory::kLowGuard;
inline constexpr uint32_t kFrameWords = 6;  // r1..r6, saved by `enter`
inline constexpr uint32_t kFrameBytes = 4 * kFrameWords;
inline constexpr uint32_t kIntMinBits = 0x80000000u;
inline constexpr uint8_t kHighNibbleBits = 0x88;  // a register nibble of 8..15

// Little-endian reads and writes of script memory (relaxed atomic accesses,
// see vm/relaxed_access.h).
using relaxed::load_8;
using relaxed::load_le16;
using relaxed::load_le32;
using relaxed::store_8;
using relaxed::store_le16;
using relaxed::store_le32;

// Memory operand widths and extensions.
enum class Width { U8, S8, U16, S16, W32 };

constexpr uint32_t width_bytes(Width w) {
    return w == Width::U8 || w == Width::S8 ? 1 : w == Width::W32 ? 4 : 2;
}

constexpr uint32_t width_mask(Width w) {
    return width_bytes(w) == 4 ? 0xFFFFFFFFu : (1u << 8 * width_bytes(w)) - 1;
}

template <Width W>
inline uint32_t load(const uint8_t* p) {
    if constexpr (W == Width::U8) return load_8(p);
    if constexpr (W == Width::S8) return uint32_t(int32_t(int8_t(load_8(p))));
    if constexpr (W == Width::U16) return load_le16(p);
    if constexpr (W == Width::S16) return uint32_t(int32_t(int16_t(load_le16(p))));
    if constexpr (W == Width::W32) return load_le32(p);
}

template <Width W>
inline void store(uint8_t* p, uint32_t v) {
    if constexpr (W == Width::U8) store_8(p, v);
    if constexpr (W == Width::U16) store_le16(p, v);
    if constexpr (W == Width::W32) store_le32(p, v);
}

inline float as_float(uint32_t bits) {
    return std::bit_cast<float>(bits);
}
inline uint32_t as_bits(float f) {
    return std::bit_cast<uint32_t>(f);
}

// Truncation toward zero; NaN and values outside the 32-bit range give 0x80000000.
inline uint32_t float_to_int(float f) {
    if (f >= -2147483648.0f && f < 2147483648.0f) return uint32_t(int32_t(f));
    return kIntMinBits;
}

// Signed division truncating toward zero; INT_MIN / -1 wraps to INT_MIN
// (remainder 0) instead of trapping. The divisor is not 0.
inline uint32_t signed_div(uint32_t a, uint32_t b) {
    if (b == 0xFFFFFFFFu) return 0u - a;
    return uint32_t(int32_t(a) / int32_t(b));
}
inline uint32_t signed_mod(uint32_t a, uint32_t b) {
    if (b == 0xFFFFFFFFu) return 0;
    return uint32_t(int32_t(a) % int32_t(b));
}

// Bytes that must lie before the limit for an instruction to be fetched without
// an exact size check.
inline constexpr uint32_t kFetchSlack = 64;

// State handling both loops write alike. They expect the loop's locals: ctx
// (the context), pc, r[8], the flags z, l, b and limit (the script memory's
// top). Macros rather than lambdas, so that pc, the registers and the flags
// never have their address taken and can live in host registers.
#define TOB_VM_SAVE()                    \
    do {                                 \
        ctx.pc = pc;                     \
        std::memcpy(ctx.r, r, sizeof r); \
        ctx.z = z;                       \
        ctx.l = l;                       \
        ctx.b = b;                       \
    } while (0)
#define TOB_VM_COMPARE(x, y)               \
    do {                                   \
        const uint32_t x_ = (x), y_ = (y); \
        z = x_ == y_;                      \
        l = int32_t(x_) < int32_t(y_);     \
        b = x_ < y_;                       \
    } while (0)
// [addr, addr + len) lies in [kLowGuard, limit): one subtraction, one addition
// and one compare (an address below the guard wraps to far above any limit).
#define TOB_VM_FITS(addr, len) \
    (uint64_t(uint32_t((addr)-kLowGuard)) + (uint64_t(len) + kLowGuard) <= limit)

// The instructions both loops run the same way, each written once. A loop
// names its operands before expanding a list: D_ and S_ the destination and
// source registers, ABS_ an absolute address operand, FRAME_ a frame-relative
// one (r6 + offset); z, l and b are the flags.
#define TOB_VM_BINARY_OPS(X)                   \
    X(Mov, S_)                                 \
    X(Set, S_ == 0 ? 1u : 0u)                  \
    X(Add, D_ + S_)                            \
    X(Mul, D_* S_)                             \
    X(Shl, D_ << (S_ & 31))                    \
    X(Shr, D_ >> (S_ & 31))                    \
    X(Sar, uint32_t(int32_t(D_) >> (S_ & 31))) \
    X(Neg, 0u - S_)                            \
    X(Not, ~S_)                                \
    X(And, D_& S_)                             \
    X(Or, D_ | S_)                             \
    X(Xor, D_ ^ S_)                            \
    X(Ftoi, float_to_int(as_float(S_)))        \
    X(Itof, as_bits(float(int32_t(S_))))       \
    X(Fneg, S_ ^ kIntMinBits)
// Float operations of x = D_ and y = S_ as floats.
#define TOB_VM_FLOAT_OPS(X) \
    X(Fadd, x + y)          \
    X(Fmul, x* y)           \
    X(Fdiv, x / y)          \
    X(Fmod, float(std::fmod(double(x), double(y))))
// Jumps and when they are taken.
#define TOB_VM_JUMPS(X) \
    X(Jmp, true)        \
    X(Je, z)            \
    X(Jne, !z)          \
    X(Jg, !l && !z)     \
    X(Jge, !l || z)     \
    X(Jl, l && !z)      \
    X(Jle, l || z)      \
    X(Ja, !b && !z)     \
    X(Jae, !b || z)     \
    X(Jb, b && !z)      \
    X(Jbe, b || z)
// D_ = the value at an address, by width.
#define TOB_VM_LOADS(X)          \
    X(LoadU8Abs, U8, ABS_)       \
    X(LoadS8Abs, S8, ABS_)       \
    X(LoadU16Abs, U16, ABS_)     \
    X(LoadS16Abs, S16, ABS_)     \
    X(Load32Abs, W32, ABS_)      \
    X(LoadU8Frame, U8, FRAME_)   \
    X(LoadS8Frame, S8, FRAME_)   \
    X(LoadU16Frame, U16, FRAME_) \
    X(LoadS16Frame, S16, FRAME_) \
    X(Load32Frame, W32, FRAME_)  \
    X(LoadU8Ind, U8, S_)         \
    X(LoadS8Ind, S8, S_)         \
    X(LoadU16Ind, U16, S_)       \
    X(LoadS16Ind, S16, S_)       \
    X(Load32Ind, W32, S_)
// The value of S_ stored at an address, by width.
#define TOB_VM_STORES(X)         \
    X(Store8Abs, U8, ABS_)       \
    X(Store16Abs, U16, ABS_)     \
    X(Store32Abs, W32, ABS_)     \
    X(Store8Frame, U8, FRAME_)   \
    X(Store16Frame, U16, FRAME_) \
    X(Store32Frame, W32, FRAME_) \
    X(Store8Ind, U8, D_)         \
    X(Store16Ind, U16, D_)       \
    X(Store32Ind, W32, D_)
// Byte and 16-bit increments through S_: the step and whether D_ gets the old value.
#define TOB_VM_STEPS(X)                  \
    X(PreInc8, U8, 1u, false)            \
    X(PostInc8, U8, 1u, true)            \
    X(PreDec8, U8, 0xFFFFFFFFu, false)   \
    X(PostDec8, U8, 0xFFFFFFFFu, true)   \
    X(PreInc16, U16, 1u, false)          \
    X(PostInc16, U16, 1u, true)          \
    X(PreDec16, U16, 0xFFFFFFFFu, false) \
    X(PostDec16, U16, 0xFFFFFFFFu, true)

}  // namespace tob::vm_ops

namespace tob {
// Runs at most `max_instructions` of `ctx` one at a time, with every rule of a
// slice. True when it stopped for the count or the stop flag; false when the
// context ended, failed or called a built-in (the slice must end).
bool run_reference_steps(Machine& m, VmContext& ctx, uint32_t max_instructions);
}  // namespace tob
