// Decoded code for the fast interpreter: straight-line runs of instructions
// ("blocks") turned once into arrays of pre-decoded steps, kept per OS thread
// and checked against the code bytes they came from before each slice uses them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "vm/native_blocks.h"
#include "vm/opcodes.h"

namespace tob {

// Step kinds: one per opcode (same number), then the fused and synthetic ones.
enum class StepKind : uint8_t {
    // A compare (cmp, cmp $, sub, sub $) and the conditional jump after it.
    CmpJump = kOpcodeCount,
    CmpImmJump,
    SubJump,
    SubImmJump,
    // `lea rA, d(r6)` and a 32-bit load, store or step through rA.
    LeaLoad,
    LeaStore,
    LeaStep,
    // `movl rX, $n; movl rY, d(r6); sub rY, rX; jcc`: a local against a constant.
    LocalConstJump,
    // `lea rA, d; movl rA, (rA); add|sub rA, rX; lea rB, e; movl (rB), rA`: e = d +|- x.
    LocalAdd,
    LocalSub,
    // The same after `movl rX, $n`: e = d +|- n.
    ConstLocalAdd,
    ConstLocalSub,
    // `movl rX, $n; movl rY, $m`.
    TwoConstants,
    // `movl rI, d(r6); movl rP, $n; add rP, rI`: an element address.
    ElementAddress,
    // `movl rX, d(r6); movl rY, e(r6); sub rY, rX; jcc`: two locals compared.
    LocalsJump,
    // `movl rX, d(r6); movl rY, e(r6); add|sub rY, rX`, then maybe
    // `movl f(r6), rY`: an operation on two locals, its result stored.
    LocalsAdd,
    LocalsSub,
    LocalsAddStore,
    LocalsSubStore,
    // `movl rX, $n; movl rY, e(r6); add|sub rY, rX; movl f(r6), rY`.
    ConstAddStore,
    ConstSubStore,
    // `movl rY, $n; movl rZ, d(r6); div|mod rZ, rY`: by a constant.
    ConstDiv,
    ConstMod,
    // `movl rZ, d(r6); sub rZ, rY; jcc`.
    LoadSubJump,
    // `leave n; ret`: a function's end.
    LeaveRet,
    // `movl rZ, d(r6)` and an operation `op rZ, rY`.
    LoadAdd,
    LoadSub,
    LoadMul,
    LoadDiv,
    LoadMod,
    LoadAnd,
    LoadOr,
    LoadXor,
    // `call` of a built-in's stub (`trap n; ret`), whose instructions the
    // block goes on with, and the stub's `ret` when it returns to the
    // instruction after that call, where the block goes on again.
    StubCall,
    StubReturn,
    // The block ends without a jump: go on at the next instruction.
    Continue,
};
inline constexpr uint32_t kStepKindCount = uint32_t(StepKind::Continue) + 1;
// The handlers a block cache is given: one per step kind, then the one that
// runs a block's compiled code.
inline constexpr uint32_t kNativeHandler = kStepKindCount;
inline constexpr uint32_t kHandlerCount = kStepKindCount + 1;

// One decoded instruction (or fused sequence). Registers are indices 0..7.
// Trivial, so that scratch arrays of steps cost nothing to set up.
struct Block;
struct Step {
    const void* handler;
    union {
        Block* link;          // jumps and calls: the block their target had last time
        uint64_t reciprocal;  // division by a constant: its reciprocal (0: none)
    };
    uint32_t imm;   // immediate, address, frame offset or jump target
    uint32_t imm2;  // second immediate of a fused step (its jump target, its step)
    uint32_t imm3;  // third one
    uint32_t at;    // address of its (first) instruction
    uint8_t size;   // bytes of its instructions: the next one is at at + size
    uint8_t index;  // instructions of the block before this step's last one
    uint8_t d, s;
    uint8_t taken;   // fused jumps: taken-mask by z | l << 1 | b << 2
    uint8_t d2, s2;  // registers of a fused step's later instructions
    uint8_t kind;    // StepKind, while decoding
};
static_assert(sizeof(Step) == 40);

// A decoded run: header, steps, then a copy of the code bytes it was made
// from. A run goes on at the target of an unconditional jump and past
// conditional jumps (their taken side leaves the block), so its code may come
// from several places: up to kBlockMaxSegments ranges, copied one after another.
inline constexpr uint32_t kBlockMaxSegments = 4;
struct Block {
    uint32_t pc = 0;
    uint32_t epoch = 0;  // the cache epoch in which the bytes were last checked
    uint16_t len = 0;    // code bytes covered, all segments
    uint8_t count = 0;   // instructions covered (each counts against the slice budget)
    uint8_t steps = 0;
    uint8_t segments = 0;
    bool calls_builtin = false;  // it has a `trap` step
    uint8_t seg_len[kBlockMaxSegments] = {};
    uint32_t seg_pc[kBlockMaxSegments] = {};
    // Returns: the blocks of the last two places returned to (the cache's
    // sentinel until then).
    Block* exit[2] = {nullptr, nullptr};
    // Where running the block starts: the handler of its compiled code, or
    // else its first step's.
    const void* entry = nullptr;
    // Its compiled code; without any, the code that goes back to the
    // interpreter at its start (null when nothing is compiled on this host).
    const void* native = nullptr;

    Step* step() { return reinterpret_cast<Step*>(this + 1); }
    const Step* step() const { return reinterpret_cast<const Step*>(this + 1); }
    const uint8_t* bytes() const {
        return reinterpret_cast<const uint8_t*>(reinterpret_cast<const Step*>(this + 1) + steps);
    }
};
static_assert(sizeof(Block) % alignof(Step) == 0);

inline constexpr uint32_t kBlockMaxInstructions = 32;
inline constexpr uint32_t kBlockMaxBytes = 240;  // all segments

// The decoded blocks of one OS thread. Blocks are valid for one epoch; a new
// slice starts a new epoch, so code changed between slices (by a built-in or
// another thread) is seen, and a store by the running slice into bytes that a
// block of this epoch covers starts a new epoch at once.
class BlockCache {
  public:
    BlockCache();

    // The calling thread's cache.
    static BlockCache& current();

    // Starts a slice: a new epoch after a built-in call (or anything else that
    // marked the cache dirty), on another machine's
    // memory, or every kRecheckSlices slices (the code another script thread
    // rewrites is seen by then); otherwise the blocks checked before stay valid,
    // as nothing but this thread's own watched stores can have changed them.
    void start_slice(uint64_t memory) {
        if (dirty_ || memory != memory_ || ++quiet_slices_ >= kRecheckSlices) {
            memory_ = memory;
            quiet_slices_ = 0;
            dirty_ = false;
            new_epoch();
        }
    }
    // Script memory may have been written behind the interpreter's back (a
    // built-in call, the host): the next slice checks every block again.
    void mark_dirty() { dirty_ = true; }

    // Starts a new epoch: every block must be checked again before it runs.
    void new_epoch() {
        if (++epoch_ == 0) clear();
        watched_[0] = 0xFFFFFFFFu;
        watched_[1] = 0;
    }
    uint32_t epoch() const { return epoch_; }
    const uint32_t* epoch_word() const { return &epoch_; }

    // The block starting at `pc` if it is valid in this epoch, else the sentinel
    // (whose pc never matches a valid block start by itself and whose epoch is 0).
    Block* probe(uint32_t pc) const { return table_[slot(pc)]; }

    // Never matches a block start that is valid in an epoch.
    Block* sentinel() { return &sentinel_; }
    // Counts the times the arena was emptied: block pointers from an earlier
    // generation are dangling.
    uint32_t generation() const { return generation_; }

    // The block at `pc`, checked against the code or decoded anew; null when the
    // first instruction cannot be decoded (illegal, bad register, not all mapped).
    // Script memory starts at `base` and is readable below `limit`.
    // `handlers` maps step kinds to the interpreter's handler addresses, and
    // kNativeHandler to the one that runs compiled code.
    Block* find(uint32_t pc, const uint8_t* base, uint32_t limit, const void* const* handlers);

    // The tail block: the steps of `blk` that fit `budget` instructions, then a
    // step running `end` at the address the slice stopped at. Returns the
    // shortened block, whose count is the instructions it runs; its steps,
    // from tail_steps(), are scratch that the next tail replaces.
    Block* cut_tail(const Block& blk, uint32_t budget, const void* end);
    Step* tail_steps() { return tail_steps_.data(); }

    // Whether a store of `len` bytes at `addr` touches code of a block of this epoch.
    bool covers(uint32_t addr, uint32_t len) const {
        return addr < watched_[1] && uint64_t(addr) + len > watched_[0];
    }
    // The code bytes blocks of this epoch cover, [lo, hi), as compiled code reads them.
    const uint32_t* watched() const { return watched_; }
    // Blocks compiled to host code on this thread so far.
    uint64_t compiled_blocks() const { return native_.compiled(); }
    // Where the interpreter enters compiled code.
    const void* native_entry() const { return native_.entry(); }

  private:
    static constexpr uint32_t kSlots = 4096;
    static constexpr uint32_t kRecheckSlices = 256;
    static constexpr size_t kArenaBytes = 512u << 10;

    static uint32_t slot(uint32_t pc) { return (pc ^ (pc >> 12)) & (kSlots - 1); }
    void clear();
    void mark(const Block& b) {
        for (uint32_t i = 0; i < b.segments; ++i) {
            if (b.seg_pc[i] < watched_[0]) watched_[0] = b.seg_pc[i];
            if (b.seg_pc[i] + b.seg_len[i] > watched_[1]) watched_[1] = b.seg_pc[i] + b.seg_len[i];
        }
    }
    Block* decode(uint32_t pc, const uint8_t* base, uint32_t limit, const void* const* handlers);

    std::array<Block*, kSlots> table_{};
    // Scratch for the tail block.
    Block tail_head_;
    std::array<Step, kBlockMaxInstructions + 1> tail_steps_;
    std::unique_ptr<uint64_t[]> arena_;
    size_t used_ = 0;  // bytes of the arena in use
    uint32_t epoch_ = 1;
    uint32_t watched_[2] = {0xFFFFFFFFu, 0};  // code bytes covered by blocks checked this epoch
    NativeCode native_;
    Block sentinel_;
    uint64_t memory_ = 0;  // serial of the script memory of the last slice
    uint32_t quiet_slices_ = 0;
    uint32_t generation_ = 0;
    bool dirty_ = true;
};

}  // namespace tob
