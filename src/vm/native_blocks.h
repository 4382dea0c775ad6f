// Decoded blocks compiled to host machine code (x86-64): the steps a block
// starts with, as far as they are plain register, memory and compare work,
// run as straight host code; the first step it cannot compile, and every
// unusual case (a failing check, a divisor of 0 or -1), goes back to the
// fast interpreter at that step with nothing of the step done, so the
// interpreter's handler decides exactly as it always does. Other hosts get no
// compiled code and lose nothing but speed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tob {

struct Block;

// What compiled code reads and writes; the fast interpreter keeps its
// registers here. The layout is part of the generated code.
struct NativeFrame {
    uint32_t r[8];
    uint32_t f;  // the flags Z, L and B as bytes 0, 1 and 2
    // Compiled code leaves the flags of its compares to be worked out on its
    // way out: while `lazy` is set, they are those of comparing
    // `difference + right` with `right`.
    uint32_t difference, right;
    uint8_t lazy;
    uint32_t exit_pc;  // where a taken jump goes
    uint64_t limit;    // script memory is readable below this
    // For accesses of 1, 2, 4 and 24 bytes: addresses a with
    // a - kLowGuard < room (as 32-bit numbers) are readable.
    uint32_t room[4];
    uint8_t* base;  // script memory's host address
    // The code bytes covered by blocks checked this epoch: [lo, hi).
    const uint32_t* watched;
    // The stack, or a size of 0 unless all of it and 4 bytes on either side
    // lie in script memory: an access the stack check lets through then
    // needs no other.
    uint32_t stack_base, stack_size;
    uint32_t program_base, program_size;  // calls inside the program need no other check
    // Going on from one block's code into the next one's, as the interpreter
    // would: the slice's budget, the block running, the cache's epoch and the
    // machine's stop flag.
    uint32_t budget;
    uint32_t epoch;
    const void* stop;
    Block* blk;
    // A built-in call from compiled code: runs built-in `number` if it is
    // pure, with r7 = `sp`, and says how to go on (see NativeCall) in the low
    // half of its result, r0 in the high half; `runner` is the interpreter's,
    // for it.
    uint64_t (*call_builtin)(NativeFrame* frame, uint32_t number, uint32_t sp);
    // Whether the next slice follows at once when the budget runs out
    // (then it has begun, and `epoch` is the cache's).
    uint32_t (*next_slice)(NativeFrame* frame);
    void* runner;
    uint64_t host_sp;  // the code's own: the host stack on entry
    // Slices that may still begin after a pure built-in call without asking
    // the gate (counted as begun already).
    uint32_t quick;
};

// What `call_builtin` did.
enum NativeCall : uint32_t {
    kCallGoOn = 0,     // called; the next slice follows at once, with a full budget
    kCallNotPure = 1,  // nothing done: the interpreter makes the call
    kCallEnds = 2,     // called, and the slice ends after it
};

// How compiled code ended, in the low byte of its result; the step it ended
// at is the result >> 8.
enum NativeExit : uint32_t {
    kNativeResume = 0,   // run the step on the interpreter: none of it was done
    kNativeTaken = 1,    // the step's jump was taken, to exit_pc
    kNativeWritten = 2,  // the step stored into decoded code: go on after it
    kNativeReturn = 3,   // the step returned, to exit_pc
    kNativeCalled = 4,   // the step called a built-in, and the slice ends after it
};

// Compiled code of one OS thread: blocks are compiled once, when decoded, and
// forgotten together when the block cache empties its arena.
class NativeCode {
  public:
    NativeCode();
    ~NativeCode();
    NativeCode(const NativeCode&) = delete;
    NativeCode& operator=(const NativeCode&) = delete;

    // The entry of `b`'s code, or null when its first step cannot be compiled
    // or the code area is full (the interpreter runs the block).
    const void* compile(const Block& b);
    // Forgets all code (but the entry stub).
    void clear() { used_ = size_ ? kStubBytes : 0; }
    // Code that goes back to the interpreter at the first step of the block
    // the frame names: where compiled code goes on into a block that has no
    // code of its own. Null without an area for code.
    const void* interpreted_entry() const { return size_ ? runnable_ + kInterpretedStub : nullptr; }
    // Where the interpreter enters compiled code (see run_native).
    const void* entry() const { return runnable_; }
    // Whether the next block's code might not fit: the cache then starts
    // afresh, as when its arena is full.
    bool nearly_full() const { return size_ && size_ - used_ < kLargestBlockCode; }
    // Blocks compiled since the thread started (for tests).
    uint64_t compiled() const { return compiled_; }

  private:
    // More than the code of any block (32 steps of at most a few hundred bytes).
    static constexpr size_t kLargestBlockCode = 32u << 10;
    // The shared code at the start of the area: the entry, the interpreted
    // entry and the way out.
    static constexpr size_t kStubBytes = 256;
    static constexpr size_t kInterpretedStub = 128;
    static constexpr size_t kLeaveStub = 144;

    void write_stubs();

    uint8_t* writable_ = nullptr;  // the code area, mapped twice: written here,
    uint8_t* runnable_ = nullptr;  // run from here
    size_t size_ = 0;
    size_t used_ = 0;
    uint64_t compiled_ = 0;
};

// The room for accesses of `len` bytes below `limit` (see NativeFrame::room).
inline uint32_t access_room(uint64_t limit, uint32_t low_guard, uint32_t len) {
    return limit >= uint64_t(low_guard) + len ? uint32_t(limit - low_guard - len + 1) : 0;
}
inline void set_room(NativeFrame& frame, uint64_t limit, uint32_t low_guard) {
    frame.limit = limit;
    frame.room[0] = access_room(limit, low_guard, 1);
    frame.room[1] = access_room(limit, low_guard, 2);
    frame.room[2] = access_room(limit, low_guard, 4);
    frame.room[3] = access_room(limit, low_guard, 24);
}

// Runs compiled code `code` on `frame` through the area's `entry`; returns
// its exit (see NativeExit). The code may call functions: every register the
// ABI lets a callee change is given up.
inline uint32_t run_native(const void* entry, const void* code, NativeFrame* frame) {
#if defined(__x86_64__) && defined(__GNUC__)
    uint64_t result;
    const void* target = code;
    // Below the red zone, so that nothing the compiler keeps there is overwritten by the call.
    asm volatile("lea -128(%%rsp), %%rsp\n\tcall *%[entry]\n\tlea 128(%%rsp), %%rsp"
                 : "=a"(result), "+d"(target)
                 : [entry] "r"(entry), "D"(frame)
                 : "rcx", "rsi", "r8", "r9", "r10", "r11", "xmm0", "xmm1", "xmm2", "xmm3", "xmm4",
                   "xmm5", "xmm6", "xmm7", "xmm8", "xmm9", "xmm10", "xmm11", "xmm12", "xmm13",
                   "xmm14", "xmm15", "memory", "cc");
    return uint32_t(result);
#else
    (void)entry;
    (void)code;
    (void)frame;
    return kNativeResume;
#endif
}

}  // namespace tob
