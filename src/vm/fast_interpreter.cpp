// The fast interpreter: runs blocks of pre-decoded steps from the thread's
// block cache, one dispatch per step and one cache lookup per block. Whatever
// cannot run as a block (an undecodable instruction, the slice's last few
// instructions) runs on the reference interpreter (reference_interpreter.cpp),
// so both give identical results.
#include <cmath>
#include <cstring>
#include <iterator>
#include <utility>

#include "vm/block_cache.h"
#include "vm/interpreter.h"
#include "vm/interpreter_ops.h"

namespace tob {

using namespace vm_ops;

namespace {

// Word by word: the registers were just written one at a time (by compiled
// code, or by a built-in setting r0), and one wide read of narrow writes
// would wait for them to reach the cache.
inline void copy_registers(uint32_t* to, const uint32_t* from) {
    const volatile uint32_t* w = from;
    to[0] = w[0], to[1] = w[1], to[2] = w[2], to[3] = w[3];
    to[4] = w[4], to[5] = w[5], to[6] = w[6], to[7] = w[7];
}

// What compiled code needs to call a built-in as the `trap` step below does.
struct NativeRunner {
    Machine& m;
    VmContext& ctx;
    SliceGate* gate;
    BlockCache& cache;
    const ScriptMemory& mem;
};

// The next slice begins under compiled code: the cache checks its blocks if
// it must, and the code learns the epoch.
void begin_slice(NativeRunner& run, NativeFrame* nf) {
    run.cache.start_slice(run.mem.serial());
    nf->epoch = run.cache.epoch();
}

// A pure built-in called from compiled code, as the `trap` step calls one;
// anything else is left to that step. The result goes back in the high half.
uint64_t call_builtin_from_code(NativeFrame* nf, uint32_t number, uint32_t sp) {
    NativeRunner& run = *static_cast<NativeRunner*>(nf->runner);
    VmContext& ctx = run.ctx;
    TrapHook* const hook = run.m.trap_hook;
    const std::optional<uint32_t> result =
        hook ? hook->call_if_pure(run.m, number, ctx, sp) : std::nullopt;
    if (!result) return kCallNotPure;
    const uint64_t called = uint64_t(*result) << 32;
    const bool running =
        !run.m.stop.load(std::memory_order_relaxed) && ctx.state == uint8_t(ContextState::Running);
    // One of the slices the gate let begin without asking: nothing of the
    // slice's start is left to do (no other code ran; the checks were counted).
    if (nf->quick > 0 && running) {
        --nf->quick;
        return called | kCallGoOn;
    }
    // A pure built-in never replaces the context: the next slice is the gate's to allow.
    if (!run.gate || !run.gate->next_slice() || !running) return called | kCallEnds;
    begin_slice(run, nf);
    const uint32_t quick = run.gate->quick_slices();
    nf->quick = run.cache.count_quick_slices(quick);
    return called | kCallGoOn;
}

// The budget ran out in compiled code: the next slice follows at once if the
// gate agrees, as at `found` below.
uint32_t next_slice_from_code(NativeFrame* nf) {
    NativeRunner& run = *static_cast<NativeRunner*>(nf->runner);
    if (!run.gate || !run.gate->next_slice()) return 0;
    begin_slice(run, nf);
    return 1;
}

}  // namespace

void forget_decoded_code() {
    BlockCache::current().mark_dirty();
}

int run_slice(Machine& m, VmContext& ctx, SliceGate* gate) {
    if (m.stop.load(std::memory_order_relaxed)) return 1;
    if (ctx.state != uint8_t(ContextState::Running)) return 1;
    const ScriptMemory* const mem = m.memory;
    if (!mem) {
        raise_runtime_error(m, ctx, RuntimeError::ProgramOverrun);
        return 1;
    }

    // Step handlers, by step kind: the opcodes' own, then the fused ones.
#define TOB_STEP_LABEL(num, name, mnem, form, operands) &&s_##name,
    // clang-format off
    static const void* const kHandlers[] = {
        TOB_OPCODE_LIST(TOB_STEP_LABEL)
        &&s_CmpJump, &&s_CmpImmJump, &&s_SubJump, &&s_SubImmJump,
        &&s_LeaLoad, &&s_LeaStore, &&s_LeaStep,
        &&s_LocalConstJump, &&s_LocalAdd, &&s_LocalSub, &&s_ConstLocalAdd, &&s_ConstLocalSub,
        &&s_TwoConstants, &&s_ElementAddress,
        &&s_LocalsJump, &&s_LocalsAdd, &&s_LocalsSub, &&s_LocalsAddStore, &&s_LocalsSubStore,
        &&s_ConstAddStore, &&s_ConstSubStore,
        &&s_ConstDiv, &&s_ConstMod, &&s_LoadSubJump, &&s_LeaveRet,
        &&s_LoadAdd, &&s_LoadSub, &&s_LoadMul, &&s_LoadDiv, &&s_LoadMod,
        &&s_LoadAnd, &&s_LoadOr, &&s_LoadXor,
        &&s_StubCall, &&s_StubReturn,
        &&s_Continue,
        &&s_Native,
    };
    // clang-format on
#undef TOB_STEP_LABEL
    static_assert(std::size(kHandlers) == kHandlerCount);

    BlockCache& cache = BlockCache::current();
    cache.start_slice(mem->serial());

    // The limit only grows; a failed check is repeated against the current one.
    uint32_t limit = mem->limit();
    uint8_t* const base = mem->base();
    // The registers live in the frame that compiled code works on.
    NativeFrame nf{};
    uint32_t(&r)[8] = nf.r;
    std::memcpy(r, ctx.r, sizeof r);
    nf.base = base;
    nf.watched = cache.watched();
    nf.stack_base = ctx.stack_base;
    // Compiled code leaves every stack access to the interpreter unless the
    // stack lies in script memory with room on either side.
    const bool stack_inside =
        ctx.stack_base >= kLowGuard + 4 && uint64_t(ctx.stack_base) + ctx.stack_size + 4 <= limit;
    nf.stack_size = stack_inside ? ctx.stack_size : 0;
    nf.program_base = ctx.program_base;
    nf.program_size = ctx.program_size;
    nf.stop = &m.stop;
    NativeRunner runner{m, ctx, gate, cache, *mem};
    nf.call_builtin = call_builtin_from_code;
    nf.next_slice = next_slice_from_code;
    nf.runner = &runner;
    const void* const native_entry = cache.native_entry();
    uint32_t pc = ctx.pc;
    // The flags Z, L and B as the bytes 0, 1 and 2 of one word, so that they
    // stay in a host register (a longjmp buffer may give them any byte value).
    uint32_t f = uint32_t(ctx.z) | uint32_t(ctx.l) << 8 | uint32_t(ctx.b) << 16;
    const uint32_t stack_base = ctx.stack_base;
    const uint32_t stack_size = ctx.stack_size;
    uint32_t budget = kSliceBudget;  // instructions this slice may still run
    const uint32_t program_base = ctx.program_base, program_size = ctx.program_size;
    auto callable = [&m, program_base, program_size](uint32_t target) {
        return target - program_base < program_size || !m.live_code ||
               m.live_code->code_alive(target);
    };

    Block* blk = nullptr;
    Block** link_slot = nullptr;  // where to note the block found for pc
    const uint32_t link_generation = cache.generation();
    Step* u = nullptr;  // the running step
    RuntimeError error = RuntimeError::IllegalInstruction;

#define SAVE()                           \
    do {                                 \
        ctx.pc = pc;                     \
        copy_registers(ctx.r, r);        \
        ctx.z = uint8_t(f);              \
        ctx.l = uint8_t(f >> 8);         \
        ctx.b = uint8_t(f >> 16);        \
    } while (0)
#define LOAD_STATE()                                                        \
    do {                                                                    \
        pc = ctx.pc;                                                        \
        copy_registers(r, ctx.r);                                           \
        f = uint32_t(ctx.z) | uint32_t(ctx.l) << 8 | uint32_t(ctx.b) << 16; \
    } while (0)
#define SET_FLAGS(zv, lv, bv) \
    (f = uint32_t(bool(zv)) | uint32_t(bool(lv)) << 8 | uint32_t(bool(bv)) << 16)
#define SET_Z(v) (f = (f & ~0xFFu) | uint32_t(bool(v)))
#define COMPARE(x, y)                                            \
    do {                                                         \
        const uint32_t x_ = (x), y_ = (y);                       \
        SET_FLAGS(x_ == y_, int32_t(x_) < int32_t(y_), x_ < y_); \
    } while (0)
#define D r[u->d]
#define S r[u->s]
#define FITS(addr, len) TOB_VM_FITS(addr, len)
// A failing step leaves pc at its instruction, as the reference interpreter does.
#define FAIL(label) \
    do {            \
        pc = u->at; \
        goto label; \
    } while (0)
#define CHECK_AT(addr, len, part)                                       \
    if (!FITS(addr, len) && (limit = mem->limit(), !FITS(addr, len))) { \
        pc = u->at + (part);                                            \
        goto program_overrun;                                           \
    }
#define CHECK(addr, len) CHECK_AT(addr, len, 0)
// The second instruction of a fused `lea` pair starts 6 bytes in.
#define CHECK_SECOND(addr) CHECK_AT(addr, 4, 6)
#define STACK_CHECK() \
    if (r[7] - stack_base >= stack_size) FAIL(stack_overrun)
// After a store: if it rewrote decoded code, the rest of the block is stale, so
// the slice goes on at the next instruction with every block to be checked again.
#define STORED(addr, len) \
    if (cache.covers(addr, len)) goto code_written
#define NEXT_STEP()        \
    do {                   \
        ++u;               \
        goto * u->handler; \
    } while (0)
// Linking: leaving the block for `target` goes on to the block that `*slot` (a step's link
// or a return exit) reached last time if it still starts there and is valid,
// else through the lookup, which then stores what it finds in `*slot`.
#define LEAVE_VIA(slot, target)                                                      \
    do {                                                                             \
        const uint32_t to_ = (target);                                               \
        Block* const nb_ = *(slot);                                                  \
        if (nb_->pc == to_ && nb_->epoch == cache.epoch() && nb_->count <= budget && \
            !m.stop.load(std::memory_order_relaxed)) {                               \
            budget -= nb_->count;                                                    \
            blk = nb_;                                                               \
            u = nb_->step();                                                         \
            goto * nb_->entry;                                                       \
        }                                                                            \
        link_slot = (slot);                                                          \
        GO(to_);                                                                     \
    } while (0)
// A return: the exits remember the last two places returned to; a third
// place replaces the older one (a function called from two places, as a
// recursion is, finds both).
#define RETURN_TO(target)                                               \
    do {                                                                \
        const uint32_t back_ = (target);                                \
        if (blk->exit[0]->pc == back_) LEAVE_VIA(&blk->exit[0], back_); \
        if (blk->exit[1]->pc == back_) LEAVE_VIA(&blk->exit[1], back_); \
        blk->exit[1] = blk->exit[0];                                    \
        LEAVE_VIA(&blk->exit[0], back_);                                \
    } while (0)
// Budget refunds: a block's whole count is taken from the budget when it
// starts; leaving it before its end gives back the instructions after the
// running step, which did not run.
#define REFUND_REST() (budget += blk->count - u->index - 1u)
// A jump taken from inside the block.
#define TAKE(target)                 \
    do {                             \
        REFUND_REST();               \
        LEAVE_VIA(&u->link, target); \
    } while (0)
// A conditional jump as a host branch: taken leaves the block, not taken goes
// on with the next step.
#define BRANCH()                    \
    do {                            \
        if (TAKEN()) TAKE(u->imm2); \
        NEXT_STEP();                \
    } while (0)
#define GO(target)     \
    do {               \
        pc = (target); \
        goto fetch;    \
    } while (0)

// The instructions written once for both loops (interpreter_ops.h).
#define TOB_VM_OP(name, ...) \
    s_##name : {             \
        __VA_ARGS__          \
        NEXT_STEP();         \
    }
#define D_ D
#define S_ S
#define IMM_ u->imm
#define FINISH()              \
    do {                      \
        pc = u->at + u->size; \
        goto finished;        \
    } while (0)
#define LOAD_OP_STEP(name, expression)                 \
    s_##name : {                                       \
        const uint32_t a = r[6] + u->imm;              \
        CHECK(a, 4);                                   \
        const uint32_t v = load_le32(base + a), y = S; \
        D = (expression);                              \
        NEXT_STEP();                                   \
    }
#define LOCAL_OP_STEP(name, compares, lead, operand, expression) \
    s_##name : {                                                 \
        const uint32_t from = r[6] + u->imm;                     \
        const uint32_t x = (operand);                            \
        D = from;                                                \
        CHECK_AT(from, 4, (lead) + 6);                           \
        const uint32_t v = load_le32(base + from);               \
        if (compares) COMPARE(v, x);                             \
        const uint32_t now = (expression);                       \
        D = now;                                                 \
        const uint32_t to = r[6] + u->imm2;                      \
        r[u->d2] = to;                                           \
        CHECK_AT(to, 4, (lead) + 16);                            \
        store_le32(base + to, now);                              \
        STORED(to, 4);                                           \
        NEXT_STEP();                                             \
    }
// movl rX, d(r6) (or movl rX, $n); movl rY, e(r6); op rY, rX; then maybe
// movl f(r6), rY, whose address uses r6 as the operation left it.
#define LOCALS_STEP(name, from_constant, compares, stores, expression) \
    s_##name : {                                                       \
        uint32_t x = u->imm;                                           \
        if (!(from_constant)) {                                        \
            const uint32_t a = r[6] + u->imm;                          \
            CHECK(a, 4);                                               \
            x = load_le32(base + a);                                   \
        }                                                              \
        S = x;                                                         \
        const uint32_t from = r[6] + u->imm3;                          \
        CHECK_AT(from, 4, 6);                                          \
        const uint32_t v = load_le32(base + from);                     \
        if (compares) COMPARE(v, x);                                   \
        D = (expression);                                              \
        if (stores) {                                                  \
            const uint32_t to = r[6] + u->imm2;                        \
            CHECK_AT(to, 4, 14);                                       \
            store_le32(base + to, D);                                  \
            STORED(to, 4);                                             \
        }                                                              \
        NEXT_STEP();                                                   \
    }
// movl rY, $n; movl rZ, d(r6); div|mod rZ, rY: without a divide instruction
// when the step has the divisor's reciprocal.
#define CONST_DIVIDE_STEP(name, divide, by_reciprocal) \
    s_##name : {                                       \
        const uint32_t y = u->imm;                     \
        S = y;                                         \
        const uint32_t a = r[6] + u->imm3;             \
        CHECK_AT(a, 4, 6);                             \
        const uint32_t v = load_le32(base + a);        \
        D = v;                                         \
        if (u->reciprocal) {                           \
            D = by_reciprocal(v, y, u->reciprocal);    \
            NEXT_STEP();                               \
        }                                              \
        if (y == 0) {                                  \
            pc = u->at + 12;                           \
            goto divide_by_zero;                       \
        }                                              \
        D = divide(v, y);                              \
        NEXT_STEP();                                   \
    }
#define DIVIDE_STEP(name, divide)                      \
    s_##name : {                                       \
        const uint32_t a = r[6] + u->imm;              \
        CHECK(a, 4);                                   \
        const uint32_t v = load_le32(base + a), y = S; \
        D = v;                                         \
        if (y == 0) {                                  \
            pc = u->at + 6;                            \
            goto divide_by_zero;                       \
        }                                              \
        D = divide(v, y);                              \
        NEXT_STEP();                                   \
    }
#define JUMP_STEP(name, condition)                                                         \
    s_##name : {                                                                           \
        const bool z = (f & 0xFFu) != 0, l = (f & 0xFF00u) != 0, b = (f & 0xFF0000u) != 0; \
        (void)z, (void)l, (void)b;                                                         \
        if (condition) TAKE(u->imm);                                                       \
        NEXT_STEP();                                                                       \
    }
// Flags just set by a compare are 0 or 1: the jump's taken-mask decides, by
// z | l << 1 | b << 2.
#define TAKEN() ((u->taken >> ((f | f >> 7 | f >> 14) & 7)) & 1)

fetch:
    // Per block: the stop flag, the budget, then the block valid in this epoch.
    if (m.stop.load(std::memory_order_relaxed)) {
        cache.mark_dirty();  // the machine is being stopped: whatever runs next checks anew
        goto end_slice;
    }
    if (budget == 0) {
        if (!gate || !gate->next_slice()) goto end_slice;
        budget = kSliceBudget;
        cache.start_slice(mem->serial());
    }
    blk = cache.probe(pc);
    if (blk->pc != pc || blk->epoch != cache.epoch()) goto miss;
found:
    if (link_slot) {
        // Linking: the exit that came here remembers the block, unless the
        // arena was emptied since the slice started (its step is gone).
        if (link_generation == cache.generation()) *link_slot = blk;
        link_slot = nullptr;
    }
    // run the block
    if (blk->count > budget) {
        // The slice ends inside it, unless the next one follows at once: the
        // boundary inside the block is then seen by nobody. A block with a
        // built-in call ends its slice exactly, as the call may have to come
        // first in the next one.
        if (!gate || blk->calls_builtin || !gate->next_slice()) goto tail;
        budget += kSliceBudget;
        const uint32_t epoch = cache.epoch();
        cache.start_slice(mem->serial());
        if (cache.epoch() != epoch) goto fetch;  // the block is checked again
    }
    budget -= blk->count;
    u = blk->step();
    goto * blk->entry;

miss:
    blk = nullptr;
    if (!FITS(pc, 1) && (limit = mem->limit(), !FITS(pc, 1))) goto reference;
    blk = cache.find(pc, base, limit, kHandlers);
    if (blk) goto found;
reference:
    // The reference interpreter runs what blocks cannot: it raises the right error for an
    // instruction that cannot be decoded. The exit that led here links nowhere.
    link_slot = nullptr;
    SAVE();
    if (!run_reference_steps(m, ctx, 1)) {
        cache.mark_dirty();
        return 1;
    }
    LOAD_STATE();
    --budget;
    cache.new_epoch();  // its stores were not watched
    goto fetch;

tail:
    // The steps that fit the budget, then one that ends the slice.
    blk = cache.cut_tail(*blk, budget, &&s_EndSlice);
    budget -= blk->count;
    u = cache.tail_steps();
    goto * u->handler;
s_EndSlice:
    pc = u->at;
    if (budget == 0) goto fetch;  // where the next slice may follow
    SAVE();
    if (!run_reference_steps(m, ctx, budget)) {
        cache.mark_dirty();
        return 1;
    }
    LOAD_STATE();
    budget = 0;
    cache.new_epoch();  // its stores were not watched
    goto fetch;

code_written:
    pc = u->at + u->size;
    REFUND_REST();
    cache.new_epoch();
    goto fetch;

    // ---- steps ----
s_Trap : {
    // A built-in call always ends the slice; the hook may replace or free the
    // context, so nothing touches it afterwards.
    pc = u->at + u->size;
    TrapHook* const hook = m.trap_hook;
    // A pure one reads its arguments through r7 and sets r0, nothing more: the
    // context gets the rest only if the slice ends here.
    if (const std::optional<uint32_t> result =
            hook ? hook->call_if_pure(m, u->imm, ctx, r[7]) : std::nullopt) {
        r[0] = *result;
        if (!gate || !gate->next_slice() || m.stop.load(std::memory_order_relaxed) ||
            ctx.state != uint8_t(ContextState::Running)) {
            SAVE();
            return 1;
        }
        budget = kSliceBudget;
        link_slot = nullptr;
        cache.start_slice(mem->serial());
        goto fetch;
    }
    SAVE();
    if (!hook || !hook->leaves_memory(u->imm)) cache.mark_dirty();  // it may write anywhere
    if (hook) hook->trap(m, u->imm, ctx);
    // The next slice follows at once if the gate agrees that the context is
    // still the one to run, and it still has the areas this loop keeps.
    if (!gate || !gate->after_call(ctx) || m.stop.load(std::memory_order_relaxed) ||
        ctx.state != uint8_t(ContextState::Running) || ctx.stack_base != stack_base ||
        ctx.stack_size != stack_size || ctx.program_base != program_base ||
        ctx.program_size != program_size)
        return 1;
    LOAD_STATE();
    budget = kSliceBudget;
    link_slot = nullptr;
    cache.start_slice(mem->serial());
    goto fetch;
}
    TOB_VM_SHARED_OPS
    TOB_JUMP_LIST(JUMP_STEP)
// A call's checks and push; a push onto decoded code goes on at the target
// in a new epoch (links are not followed into one).
#define CALL_PUSH()                                   \
    do {                                              \
        if (!callable(u->imm)) FAIL(program_overrun); \
        r[7] -= 4;                                    \
        STACK_CHECK();                                \
        CHECK(r[7], 4);                               \
        store_le32(base + r[7], u->at + u->size);     \
        if (cache.covers(r[7], 4)) {                  \
            REFUND_REST();                            \
            cache.new_epoch();                        \
            GO(u->imm);                               \
        }                                             \
    } while (0)
s_Call : {
    CALL_PUSH();
    LEAVE_VIA(&u->link, u->imm);
}
s_StubCall : {
    // As `call`, but the block goes on with the stub's instructions.
    CALL_PUSH();
    NEXT_STEP();
}
s_StubReturn : {
    // As `ret`; returning after the stub's call, the block goes on.
    r[7] += 4;
    STACK_CHECK();
    CHECK(r[7] - 4, 4);
    const uint32_t to = load_le32(base + r[7] - 4);
    if (to == u->imm) NEXT_STEP();
    REFUND_REST();
    if (to == kThreadReturnAddress) {
        pc = to;
        goto finished;
    }
    RETURN_TO(to);
}
s_CallReg : {
    const uint32_t target = S;
    if (target == 0 || !callable(target)) FAIL(program_overrun);
    r[7] -= 4;
    STACK_CHECK();
    CHECK(r[7], 4);
    store_le32(base + r[7], u->at + u->size);
    if (cache.covers(r[7], 4)) cache.new_epoch();
    GO(target);
}
s_Ret : {
    r[7] += 4;
    STACK_CHECK();
    CHECK(r[7] - 4, 4);
    const uint32_t to = load_le32(base + r[7] - 4);
    if (to == kThreadReturnAddress) {
        pc = to;
        goto finished;
    }
    RETURN_TO(to);
}

    // ---- fused steps ----
s_LoadSubJump : {
    const uint32_t a = r[6] + u->imm;
    CHECK(a, 4);
    const uint32_t v = load_le32(base + a), y = S;
    COMPARE(v, y);
    D = v - y;
    BRANCH();
}
s_LeaveRet : {
    // leave n (5 bytes), then ret.
    const uint32_t n = u->imm;
    if (r[7] - stack_base + n + kFrameBytes >= stack_size) {
        pc = u->at + 5;  // the outermost frame: the program ends after `leave`
        goto finished;
    }
    r[7] += n;
    CHECK(r[7], kFrameBytes);
    r[1] = load_le32(base + r[7]);
    r[2] = load_le32(base + r[7] + 4);
    r[3] = load_le32(base + r[7] + 8);
    r[4] = load_le32(base + r[7] + 12);
    r[5] = load_le32(base + r[7] + 16);
    r[6] = load_le32(base + r[7] + 20);
    r[7] += kFrameBytes + 4;
    if (r[7] - stack_base >= stack_size) {
        pc = u->at + 5;
        goto stack_overrun;
    }
    CHECK_AT(r[7] - 4, 4, 5);
    const uint32_t to = load_le32(base + r[7] - 4);
    if (to == kThreadReturnAddress) {
        pc = to;
        goto finished;
    }
    RETURN_TO(to);
}
s_CmpJump : {
    COMPARE(D, S);
    BRANCH();
}
s_CmpImmJump : {
    COMPARE(D, u->imm);
    BRANCH();
}
s_SubJump : {
    COMPARE(D, S);
    D -= S;
    BRANCH();
}
s_SubImmJump : {
    COMPARE(D, u->imm);
    D -= u->imm;
    BRANCH();
}
s_LeaLoad : {
    const uint32_t a = r[6] + u->imm;
    D = a;
    CHECK_SECOND(a);
    r[u->d2] = load_le32(base + a);
    NEXT_STEP();
}
s_LeaStore : {
    const uint32_t a = r[6] + u->imm;
    D = a;
    CHECK_SECOND(a);
    store_le32(base + a, r[u->s2]);
    STORED(a, 4);
    NEXT_STEP();
}
s_LeaStep : {
    const uint32_t a = r[6] + u->imm;
    D = a;
    CHECK_SECOND(a);
    const uint32_t old = load_le32(base + a);
    const uint32_t now = old + u->imm2;
    store_le32(base + a, now);
    r[u->d2] = u->taken ? old : now;
    STORED(a, 4);
    NEXT_STEP();
}
s_LocalConstJump : {
    // movl rX, $n; movl rY, d(r6); sub rY, rX; jcc (X and Y differ).
    const uint32_t x = u->imm, a = r[6] + u->imm3;
    S = x;
    CHECK_AT(a, 4, 6);
    const uint32_t y = load_le32(base + a);
    COMPARE(y, x);
    D = y - x;
    BRANCH();
}
    // lea rA, d(r6); movl rA, (rA); add|sub rA, rX; lea rB, e(r6); movl (rB), rA
    // (A differs from X and B).
    LOCAL_OP_STEP(LocalAdd, false, 0, S, v + x)
    LOCAL_OP_STEP(LocalSub, true, 0, S, v - x)
    // The same after `movl rX, $n` (X is the x register, not r6).
    LOCAL_OP_STEP(ConstLocalAdd, false, 6, (S = u->imm3), v + x)
    LOCAL_OP_STEP(ConstLocalSub, true, 6, (S = u->imm3), v - x)
s_LocalsJump : {
    const uint32_t a = r[6] + u->imm;
    CHECK(a, 4);
    const uint32_t x = load_le32(base + a);
    S = x;
    const uint32_t from = r[6] + u->imm3;
    CHECK_AT(from, 4, 6);
    const uint32_t v = load_le32(base + from);
    COMPARE(v, x);
    D = v - x;
    BRANCH();
}
    LOCALS_STEP(LocalsAdd, false, false, false, v + x)
    LOCALS_STEP(LocalsSub, false, true, false, v - x)
    LOCALS_STEP(LocalsAddStore, false, false, true, v + x)
    LOCALS_STEP(LocalsSubStore, false, true, true, v - x)
    LOCALS_STEP(ConstAddStore, true, false, true, v + x)
    LOCALS_STEP(ConstSubStore, true, true, true, v - x)
s_TwoConstants : {
    D = u->imm;
    S = u->imm2;
    NEXT_STEP();
}
s_ElementAddress : {
    // movl rI, d(r6); movl rP, $n; add rP, rI (I and P differ).
    const uint32_t a = r[6] + u->imm;
    CHECK(a, 4);
    const uint32_t i = load_le32(base + a);
    D = i;
    S = u->imm2 + i;
    NEXT_STEP();
}
    // movl rZ, d(r6); op rZ, rY (Z and Y differ).
    LOAD_OP_STEP(LoadAdd, v + y)
    LOAD_OP_STEP(LoadMul, v * y)
    LOAD_OP_STEP(LoadAnd, v & y)
    LOAD_OP_STEP(LoadOr, v | y)
    LOAD_OP_STEP(LoadXor, v ^ y)
s_LoadSub : {
    const uint32_t a = r[6] + u->imm;
    CHECK(a, 4);
    const uint32_t v = load_le32(base + a), y = S;
    COMPARE(v, y);
    D = v - y;
    NEXT_STEP();
}
    CONST_DIVIDE_STEP(ConstDiv, signed_div, reciprocal_div)
    CONST_DIVIDE_STEP(ConstMod, signed_mod, reciprocal_mod)
    DIVIDE_STEP(LoadDiv, signed_div)
    DIVIDE_STEP(LoadMod, signed_mod)
s_Continue:
    LEAVE_VIA(&u->link, u->at);
s_Native : {
    // The block's compiled code runs its steps as far as it can; the step it
    // stops at says how to go on.
    nf.f = f;
    if (nf.limit != limit) set_room(nf, limit, kLowGuard);  // the limit rarely grows
    nf.budget = budget;
    nf.epoch = cache.epoch();
    nf.blk = blk;
    const uint32_t result = run_native(native_entry, blk->native, &nf);
    budget = nf.budget;
    blk = nf.blk;  // where it ended: it may have gone on into other blocks
    // Byte by byte: the code sets the flags one byte at a time, and one wide
    // read of narrow stores would wait for them to reach the cache.
    const uint8_t* const flag_bytes = reinterpret_cast<const uint8_t*>(&nf.f);
    f = uint32_t(flag_bytes[0]) | uint32_t(flag_bytes[1]) << 8 | uint32_t(flag_bytes[2]) << 16;
    u = blk->step() + (result >> 8);
    if ((result & 0xFF) == kNativeResume) goto * u->handler;
    switch (result & 0xFF) {
        case kNativeTaken:
            TAKE(nf.exit_pc);
        case kNativeCalled:
            // The built-in ran, and its slice ends after it.
            pc = u->at + u->size;
            SAVE();
            return 1;
        case kNativeReturn:
            if (nf.exit_pc == kThreadReturnAddress) {
                pc = nf.exit_pc;
                goto finished;
            }
            RETURN_TO(nf.exit_pc);
        default:
            goto code_written;
    }
}

program_overrun:
    error = RuntimeError::ProgramOverrun;
    goto raise;
stack_overrun:
    error = RuntimeError::StackOverrun;
    goto raise;
divide_by_zero:
    error = RuntimeError::DivideByZero;
raise:
    cache.mark_dirty();
    SAVE();
    raise_runtime_error(m, ctx, error);
    return 1;

finished:
    cache.mark_dirty();
    SAVE();
    ctx.state = uint8_t(ContextState::Finished);
    return 1;

end_slice:
    SAVE();
    return 1;

#undef CALL_PUSH
#undef SAVE
#undef LOAD_STATE
#undef COMPARE
#undef D
#undef S
#undef FITS
#undef FAIL
#undef CHECK
#undef CHECK_AT
#undef CHECK_SECOND
#undef STACK_CHECK
#undef STORED
#undef NEXT_STEP
#undef GO
#undef BRANCH
#undef LEAVE_VIA
#undef RETURN_TO
#undef TAKE
#undef REFUND_REST
#undef TOB_VM_OP
#undef D_
#undef S_
#undef IMM_
#undef FINISH
#undef JUMP_STEP
#undef LOCAL_OP_STEP
#undef DIVIDE_STEP
#undef LOCALS_STEP
#undef CONST_DIVIDE_STEP
#undef LOAD_OP_STEP
#undef TAKEN
#undef SET_Z
#undef SET_FLAGS
}

}  // namespace tob
