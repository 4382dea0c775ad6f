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
    uint32_t f;        // the flags Z, L and B as bytes 0, 1 and 2
    uint32_t exit_pc;  // where a taken jump goes
    uint64_t limit;    // script memory is readable below this
    uint8_t* base;     // script memory's host address
    // The code bytes covered by blocks checked this epoch: [lo, hi).
    const uint32_t* watched;
    uint32_t stack_base, stack_size;
    uint32_t program_base, program_size;  // calls inside the program need no other check
    // Going on from one block's code into the next one's, as the interpreter
    // would: the slice's budget, the block running, the cache's epoch and the
    // machine's stop flag.
    uint32_t budget;
    const uint32_t* epoch;
    const void* stop;
    Block* blk;
};

// How compiled code ended, in the low byte of its result; the step it ended
// at is the result >> 8.
enum NativeExit : uint32_t {
    kNativeResume = 0,   // run the step on the interpreter: none of it was done
    kNativeTaken = 1,    // the step's jump was taken, to exit_pc
    kNativeWritten = 2,  // the step stored into decoded code: go on after it
    kNativeReturn = 3,   // the step returned, to exit_pc
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
    const void* interpreted_entry() const { return size_ ? runnable_ : nullptr; }
    // Whether the next block's code might not fit: the cache then starts
    // afresh, as when its arena is full.
    bool nearly_full() const { return size_ && size_ - used_ < kLargestBlockCode; }
    // Blocks compiled since the thread started (for tests).
    uint64_t compiled() const { return compiled_; }

  private:
    // More than the code of any block (32 steps of at most a few hundred bytes).
    static constexpr size_t kLargestBlockCode = 32u << 10;
    static constexpr size_t kStubBytes = 16;

    uint8_t* writable_ = nullptr;  // the code area, mapped twice: written here,
    uint8_t* runnable_ = nullptr;  // run from here
    size_t size_ = 0;
    size_t used_ = 0;
    uint64_t compiled_ = 0;
};

// Runs compiled code on `frame`; returns its exit (see NativeExit).
inline uint32_t run_native(const void* code, NativeFrame* frame) {
#if defined(__x86_64__) && defined(__GNUC__)
    uint64_t result;
    // Below the red zone, so that nothing the compiler keeps there is overwritten by the call.
    asm volatile("lea -128(%%rsp), %%rsp\n\tcall *%[code]\n\tlea 128(%%rsp), %%rsp"
                 : "=a"(result)
                 : [code] "r"(code), "D"(frame)
                 : "rcx", "rdx", "rsi", "r8", "r9", "r10", "r11", "memory", "cc");
    return uint32_t(result);
#else
    (void)code;
    (void)frame;
    return kNativeResume;
#endif
}

}  // namespace tob
