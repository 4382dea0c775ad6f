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

// Division by a constant without a divide instruction: one 64-bit reciprocal
// of the divisor's magnitude gives the exact quotient and remainder of every
// 32-bit magnitude (the reciprocal is rounded up: 2^64 / m + 1). 0 stands for
// "none" and is what a magnitude below 2 gets (0, 1, -1: the plain rules).
inline uint64_t divisor_reciprocal(uint32_t divisor) {
#ifdef __SIZEOF_INT128__
    const uint32_t m = int32_t(divisor) < 0 ? 0u - divisor : divisor;
    return m < 2 ? 0 : ~uint64_t(0) / m + 1;
#else
    (void)divisor;
    return 0;
#endif
}
#ifdef __SIZEOF_INT128__
__extension__ typedef unsigned __int128 uint128_for_division;
// signed_div(a, divisor) and signed_mod(a, divisor), given the divisor's
// nonzero reciprocal.
inline uint32_t reciprocal_div(uint32_t a, uint32_t divisor, uint64_t reciprocal) {
    const bool negative = (int32_t(a) < 0) != (int32_t(divisor) < 0);
    const uint32_t magnitude = int32_t(a) < 0 ? 0u - a : a;
    const uint32_t q = uint32_t(uint128_for_division(reciprocal) * magnitude >> 64);
    return negative ? 0u - q : q;
}
inline uint32_t reciprocal_mod(uint32_t a, uint32_t divisor, uint64_t reciprocal) {
    const uint32_t magnitude = int32_t(a) < 0 ? 0u - a : a;
    const uint32_t m = int32_t(divisor) < 0 ? 0u - divisor : divisor;
    const uint64_t fraction = reciprocal * magnitude;
    const uint32_t rem = uint32_t(uint128_for_division(fraction) * m >> 64);
    return int32_t(a) < 0 ? 0u - rem : rem;
}
#else
inline uint32_t reciprocal_div(uint32_t a, uint32_t divisor, uint64_t) {
    return signed_div(a, divisor);
}
inline uint32_t reciprocal_mod(uint32_t a, uint32_t divisor, uint64_t) {
    return signed_mod(a, divisor);
}
#endif

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
#define TOB_VM_SET_Z(value) (z = uint8_t(value))
#define TOB_VM_SET_FLAGS(zv, lv, bv) (z = uint8_t(zv), l = uint8_t(lv), b = uint8_t(bv))
// [addr, addr + len) lies in [kLowGuard, limit): one subtraction, one addition
// and one compare (an address below the guard wraps to far above any limit).
#define TOB_VM_FITS(addr, len) \
    (uint64_t(uint32_t((addr)-kLowGuard)) + (uint64_t(len) + kLowGuard) <= limit)

// The instructions both loops run the same way, each written once. Before
// expanding TOB_VM_SHARED_OPS a loop defines:
//   TOB_VM_OP(name, body...)  wraps a body into its dispatch: decoding the
//                             operands, then going on with the next instruction;
//   D_, S_, IMM_              the destination and source registers and the
//                             instruction's immediate (address, offset or value);
//   CHECK(addr, len)          a memory access that must lie in script memory;
//   STACK_CHECK()             r7 still inside the context's stack;
//   FAIL(label)               leaves for an error with pc at the instruction;
//   STORED(addr, len)         after a store (it may have rewritten code);
//   FINISH()                  the program ends after this instruction;
//   SET_Z(v), SET_FLAGS(z, l, b)  set Z alone, or all three flags;
// and COMPARE(x, y), base (script memory's host address), r[8] and the flags
// z, l and b. Jumps, calls, returns and the built-in call are each loop's own:
// that is where the loops differ.
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
    X(Fneg, S_ ^ kIntMinBits)                  \
    X(MovImm, IMM_)                            \
    X(MovAddr, IMM_)                           \
    X(LeaFrame, r[6] + IMM_)                   \
    X(AddImm, D_ + IMM_)
// Float operations of x = D_ and y = S_ as floats.
#define TOB_VM_FLOAT_OPS(X) \
    X(Fadd, x + y)          \
    X(Fmul, x* y)           \
    X(Fdiv, x / y)          \
    X(Fmod, float(std::fmod(double(x), double(y))))
// D_ = the value at an address, by width.
#define TOB_VM_LOADS(X)               \
    X(LoadU8Abs, U8, IMM_)            \
    X(LoadS8Abs, S8, IMM_)            \
    X(LoadU16Abs, U16, IMM_)          \
    X(LoadS16Abs, S16, IMM_)          \
    X(Load32Abs, W32, IMM_)           \
    X(LoadU8Frame, U8, r[6] + IMM_)   \
    X(LoadS8Frame, S8, r[6] + IMM_)   \
    X(LoadU16Frame, U16, r[6] + IMM_) \
    X(LoadS16Frame, S16, r[6] + IMM_) \
    X(Load32Frame, W32, r[6] + IMM_)  \
    X(LoadU8Ind, U8, S_)              \
    X(LoadS8Ind, S8, S_)              \
    X(LoadU16Ind, U16, S_)            \
    X(LoadS16Ind, S16, S_)            \
    X(Load32Ind, W32, S_)
// The value of S_ stored at an address, by width.
#define TOB_VM_STORES(X)              \
    X(Store8Abs, U8, IMM_)            \
    X(Store16Abs, U16, IMM_)          \
    X(Store32Abs, W32, IMM_)          \
    X(Store8Frame, U8, r[6] + IMM_)   \
    X(Store16Frame, U16, r[6] + IMM_) \
    X(Store32Frame, W32, r[6] + IMM_) \
    X(Store8Ind, U8, D_)              \
    X(Store16Ind, U16, D_)            \
    X(Store32Ind, W32, D_)
// Z set when the value at an address is zero, by width.
#define TOB_VM_ZEROS(X)              \
    X(Zero8Abs, U8, IMM_)            \
    X(Zero16Abs, U16, IMM_)          \
    X(Zero32Abs, W32, IMM_)          \
    X(Zero8Frame, U8, r[6] + IMM_)   \
    X(Zero16Frame, U16, r[6] + IMM_) \
    X(Zero32Frame, W32, r[6] + IMM_)
// Increments through S_: the width, the step (IMM_ for the 32-bit forms) and
// whether D_ gets the old value; D_ gets the value zero-extended.
#define TOB_VM_STEPS(X)                  \
    X(PreInc8, U8, 1u, false)            \
    X(PostInc8, U8, 1u, true)            \
    X(PreDec8, U8, 0xFFFFFFFFu, false)   \
    X(PostDec8, U8, 0xFFFFFFFFu, true)   \
    X(PreInc16, U16, 1u, false)          \
    X(PostInc16, U16, 1u, true)          \
    X(PreDec16, U16, 0xFFFFFFFFu, false) \
    X(PostDec16, U16, 0xFFFFFFFFu, true) \
    X(PreOp, W32, IMM_, false)           \
    X(PostOp, W32, IMM_, true)

// clang-format off
#define TOB_VM_BINARY_OP(name, expression) TOB_VM_OP(name, D_ = (expression);)
#define TOB_VM_FLOAT_OP(name, expression)                                      \
    TOB_VM_OP(name, const float x = as_float(D_); const float y = as_float(S_); \
              D_ = as_bits(expression);)
#define TOB_VM_LOAD_OP(name, width, address)                      \
    TOB_VM_OP(name, const uint32_t a = (address);                 \
              CHECK(a, width_bytes(Width::width));                \
              D_ = load<Width::width>(base + a);)
#define TOB_VM_STORE_OP(name, width, address)                     \
    TOB_VM_OP(name, const uint32_t a = (address);                 \
              CHECK(a, width_bytes(Width::width));                \
              store<Width::width>(base + a, S_);                  \
              STORED(a, width_bytes(Width::width));)
#define TOB_VM_ZERO_OP(name, width, address)                      \
    TOB_VM_OP(name, const uint32_t a = (address);                 \
              CHECK(a, width_bytes(Width::width));                \
              SET_Z(load<Width::width>(base + a) == 0);)
#define TOB_VM_STEP_OP(name, width, delta, post)                              \
    TOB_VM_OP(name, const uint32_t a = S_;                                    \
              CHECK(a, width_bytes(Width::width));                            \
              const uint32_t old = load<Width::width>(base + a);              \
              const uint32_t now = (old + (delta)) & width_mask(Width::width);\
              store<Width::width>(base + a, now);                             \
              D_ = (post) ? old : now;                                        \
              STORED(a, width_bytes(Width::width));)

#define TOB_VM_SHARED_OPS                                                            \
    TOB_VM_BINARY_OPS(TOB_VM_BINARY_OP)                                              \
    TOB_VM_FLOAT_OPS(TOB_VM_FLOAT_OP)                                                \
    TOB_VM_LOADS(TOB_VM_LOAD_OP)                                                     \
    TOB_VM_STORES(TOB_VM_STORE_OP)                                                   \
    TOB_VM_ZEROS(TOB_VM_ZERO_OP)                                                     \
    TOB_VM_STEPS(TOB_VM_STEP_OP)                                                     \
    TOB_VM_OP(Nop, )                                                                 \
    TOB_VM_OP(Xchg, std::swap(D_, S_);)                                              \
    /* Frame-relative forms address through r6 whatever the register byte says. */  \
    TOB_VM_OP(Push,                                                                  \
              r[7] -= 4;                                                             \
              STACK_CHECK();                                                         \
              CHECK(r[7], 4);                                                        \
              store_le32(base + r[7], S_);                                           \
              STORED(r[7], 4);)                                                      \
    TOB_VM_OP(PushImm,                                                               \
              r[7] -= 4;                                                             \
              STACK_CHECK();                                                         \
              CHECK(r[7], 4);                                                        \
              store_le32(base + r[7], IMM_);                                         \
              STORED(r[7], 4);)                                                      \
    TOB_VM_OP(Pop,                                                                   \
              r[7] += 4;                                                             \
              STACK_CHECK();                                                         \
              CHECK(r[7] - 4, 4);                                                    \
              D_ = load_le32(base + r[7] - 4);)                                      \
    /* Saves r1..r6 (kFrameWords) above n bytes of locals; fp then points at */   \
    /* the saved r6. */     \
    TOB_VM_OP(Enter,                                                                 \
              const uint32_t n = IMM_;                                               \
              r[7] -= kFrameBytes + n;                                               \
              STACK_CHECK();                                                         \
              const uint32_t a = r[7] + n;                                           \
              CHECK(a, kFrameBytes);                                                 \
              store_le32(base + a, r[1]);                                            \
              store_le32(base + a + 4, r[2]);                                        \
              store_le32(base + a + 8, r[3]);                                        \
              store_le32(base + a + 12, r[4]);                                       \
              store_le32(base + a + 16, r[5]);                                       \
              store_le32(base + a + 20, r[6]);                                       \
              r[6] = a + kFrameBytes - 4;                                            \
              STORED(a, kFrameBytes);)                                               \
    /* A frame reaching the top of the stack is the outermost one: leaving it */    \
    /* ends the program, restoring nothing. */                                      \
    TOB_VM_OP(Leave,                                                                 \
              const uint32_t n = IMM_;                                               \
              if (r[7] - stack_base + n + kFrameBytes >= stack_size) FINISH();       \
              r[7] += n;                                                             \
              CHECK(r[7], kFrameBytes);                                              \
              r[1] = load_le32(base + r[7]);                                         \
              r[2] = load_le32(base + r[7] + 4);                                     \
              r[3] = load_le32(base + r[7] + 8);                                     \
              r[4] = load_le32(base + r[7] + 12);                                    \
              r[5] = load_le32(base + r[7] + 16);                                    \
              r[6] = load_le32(base + r[7] + 20);                                    \
              r[7] += kFrameBytes;)                                                  \
    TOB_VM_OP(Cmp, COMPARE(D_, S_);)                                                 \
    TOB_VM_OP(CmpImm, COMPARE(D_, IMM_);)                                            \
    TOB_VM_OP(Sub, COMPARE(D_, S_); D_ -= S_;)                                       \
    TOB_VM_OP(SubImm, const uint32_t imm = IMM_; COMPARE(D_, imm); D_ -= imm;)       \
    TOB_VM_OP(Div, if (S_ == 0) FAIL(divide_by_zero); D_ = signed_div(D_, S_);)      \
    TOB_VM_OP(Mod, if (S_ == 0) FAIL(divide_by_zero); D_ = signed_mod(D_, S_);)      \
    /* Comparisons with NaN are false, so NaN clears Z and L. */                     \
    TOB_VM_OP(Fsub,                                                                  \
              const float x = as_float(D_);                                          \
              const float y = as_float(S_);                                          \
              SET_FLAGS(x == y, x < y, 0);                                           \
              D_ = as_bits(x - y);)
// clang-format on

}  // namespace tob::vm_ops

namespace tob {
// Runs at most `max_instructions` of `ctx` one at a time, with every rule of a
// slice. True when it stopped for the count or the stop flag; false when the
// context ended, failed or called a built-in (the slice must end).
bool run_reference_steps(Machine& m, VmContext& ctx, uint32_t max_instructions);
}  // namespace tob
