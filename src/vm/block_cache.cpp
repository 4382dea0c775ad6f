// Decoding runs of instructions into blocks of steps, and the per-thread cache
// that keeps them: a direct-mapped table over one bump arena, emptied when full.
#include "vm/block_cache.h"

#include <algorithm>
#include <cstring>

#include "vm/interpreter_ops.h"
#include "vm/script_memory.h"

namespace tob {
namespace {

uint32_t load_imm(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint8_t taken_mask(Op op) {
    uint8_t mask = 0;
    for (uint8_t f = 0; f < 8; ++f)
        if (jump_taken(op, f & 1, f & 2, f & 4)) mask = uint8_t(mask | 1u << f);
    return mask;
}

// One instruction read from the code, its operands split out.
struct Decoded {
    Op op;
    uint32_t size;
    uint8_t d = 0, s = 0;
    uint32_t imm = 0;
};

// Reads the instruction at `p` if it is legal and its `avail` bytes hold it whole.
bool read_instruction(const uint8_t* p, uint32_t avail, Decoded& out) {
    if (avail == 0 || !is_opcode(p[0])) return false;
    const OpcodeInfo& info = kOpcodes[p[0]];
    if (info.size > avail) return false;
    out.op = info.op;
    out.size = info.size;
    switch (info.form) {
        case Form::O:
            break;
        case Form::OR:
        case Form::ORI:
            if (p[1] & 0x88) return false;
            out.d = p[1] & 7;
            out.s = p[1] >> 4;
            if (info.form == Form::ORI) out.imm = load_imm(p + 2);
            break;
        case Form::OI:
            out.imm = load_imm(p + 1);
            break;
        case Form::OT:
            out.imm = uint32_t(p[1] | p[2] << 8);
            break;
    }
    return true;
}

// `lea rA, d; movl rA, (rA); add|sub rA, rX; lea rB, e; movl (rB), rA` at w.
bool match_local_op(const Decoded* w, uint32_t n, Step& st) {
    auto is = [&](uint32_t i, Op op) { return i < n && w[i].op == op; };
    if (!(is(0, Op::LeaFrame) && is(1, Op::Load32Ind) && (is(2, Op::Add) || is(2, Op::Sub)) &&
          is(3, Op::LeaFrame) && is(4, Op::Store32Ind)))
        return false;
    const uint32_t a = w[0].d, x = w[2].s, bb = w[3].d;
    if (!(w[1].d == a && w[1].s == a && w[2].d == a && x != a && bb != a && w[4].d == bb &&
          w[4].s == a))
        return false;
    st.kind = uint8_t(w[2].op == Op::Add ? StepKind::LocalAdd : StepKind::LocalSub);
    st.d = uint8_t(a);
    st.s = uint8_t(x);
    st.d2 = uint8_t(bb);
    st.imm = w[0].imm;
    st.imm2 = w[3].imm;
    return true;
}

// `movl rY, $n; movl rZ, d(r6); div|mod rZ, rY` at w (Y is neither Z nor r6).
bool match_const_divide(const Decoded* w, uint32_t n, Step& st) {
    if (n < 3 || !(w[0].op == Op::MovImm || w[0].op == Op::MovAddr) || w[1].op != Op::Load32Frame ||
        !(w[2].op == Op::Div || w[2].op == Op::Mod))
        return false;
    const uint32_t y = w[0].d, z = w[1].d;
    if (y == z || y == 6 || w[2].d != z || w[2].s != y) return false;
    st.kind = uint8_t(w[2].op == Op::Div ? StepKind::ConstDiv : StepKind::ConstMod);
    st.s = uint8_t(y);
    st.d = uint8_t(z);
    st.imm = w[0].imm;
    st.imm3 = w[1].imm;
    st.reciprocal = vm_ops::divisor_reciprocal(w[0].imm);
    return true;
}

bool has_link(uint8_t kind) {
    return kind != uint8_t(StepKind::ConstDiv) && kind != uint8_t(StepKind::ConstMod);
}

// Matches the compiler's common sequences at w[0..n) (n instructions decoded
// whole); fills the fused step and returns how many instructions it covers, or
// 0 when none starts here. Registers that one part writes and a later part reads
// must differ where the fused step keeps values in host registers.
uint32_t match_fused(const Decoded* w, uint32_t n, Step& st) {
    auto is = [&](uint32_t i, Op op) { return i < n && w[i].op == op; };
    auto is_const = [&](uint32_t i) { return is(i, Op::MovImm) || is(i, Op::MovAddr); };
    auto kind = [&](StepKind k) { return uint32_t(k); };
    if (is_const(0) && is(1, Op::Load32Frame) && is(2, Op::Sub) && n > 3 && is_jump(w[3].op) &&
        w[0].d != w[1].d && w[0].d != 6 && w[2].d == w[1].d && w[2].s == w[0].d) {
        st.kind = kind(StepKind::LocalConstJump);
        st.d = w[1].d;
        st.s = w[0].d;
        st.imm = w[0].imm;
        st.imm2 = w[3].imm;
        st.imm3 = w[1].imm;
        st.taken = taken_mask(w[3].op);
        return 4;
    }
    if (is_const(0) && n > 1) {
        Step rest{};
        if (match_local_op(w + 1, n - 1, rest) && rest.s == w[0].d && w[0].d != 6) {
            // ... with a constant as x.
            st = rest;
            st.kind = kind(rest.kind == kind(StepKind::LocalAdd) ? StepKind::ConstLocalAdd
                                                                 : StepKind::ConstLocalSub);
            st.s = w[0].d;
            st.imm3 = w[0].imm;
            return 6;
        }
    }
    if (match_local_op(w, n, st)) return 5;
    if (match_const_divide(w, n, st)) return 3;
    if ((is_const(0) || is(0, Op::Load32Frame)) && is(1, Op::Load32Frame) &&
        (is(2, Op::Add) || is(2, Op::Sub)) && w[0].d != 6 && w[0].d != w[1].d && w[2].d == w[1].d &&
        w[2].s == w[0].d) {
        // An operation of a local with a constant or another local (X is
        // neither r6 nor Y, so both addresses use the same r6).
        const bool add = w[2].op == Op::Add, constant = is_const(0);
        st.d = w[1].d;
        st.s = w[0].d;
        st.imm = w[0].imm;
        st.imm3 = w[1].imm;
        if (!constant && !add && n > 3 && is_jump(w[3].op)) {
            st.kind = kind(StepKind::LocalsJump);
            st.imm2 = w[3].imm;
            st.taken = taken_mask(w[3].op);
            return 4;
        }
        if (is(3, Op::Store32Frame) && w[3].s == w[1].d) {
            st.imm2 = w[3].imm;
            st.kind = constant ? kind(add ? StepKind::ConstAddStore : StepKind::ConstSubStore)
                               : kind(add ? StepKind::LocalsAddStore : StepKind::LocalsSubStore);
            return 4;
        }
        if (!constant) {
            st.kind = kind(add ? StepKind::LocalsAdd : StepKind::LocalsSub);
            return 3;
        }
    }
    Step divide{};
    if (is_const(0) && is_const(1) && !match_const_divide(w + 1, n - 1, divide)) {
        st.kind = kind(StepKind::TwoConstants);
        st.d = w[0].d;
        st.s = w[1].d;
        st.imm = w[0].imm;
        st.imm2 = w[1].imm;
        return 2;
    }
    if (is(0, Op::Load32Frame) && is_const(1) && is(2, Op::Add) && w[1].d != w[0].d &&
        w[2].d == w[1].d && w[2].s == w[0].d) {
        st.kind = kind(StepKind::ElementAddress);
        st.d = w[0].d;
        st.s = w[1].d;
        st.imm = w[0].imm;
        st.imm2 = w[1].imm;
        return 3;
    }
    if (is(0, Op::Load32Frame) && n > 1 && w[1].d == w[0].d && w[1].s != w[0].d) {
        static constexpr std::pair<Op, StepKind> kLoadOps[] = {
            {Op::Add, StepKind::LoadAdd}, {Op::Sub, StepKind::LoadSub},
            {Op::Mul, StepKind::LoadMul}, {Op::Div, StepKind::LoadDiv},
            {Op::Mod, StepKind::LoadMod}, {Op::And, StepKind::LoadAnd},
            {Op::Or, StepKind::LoadOr},   {Op::Xor, StepKind::LoadXor},
        };
        if (w[1].op == Op::Sub && n > 2 && is_jump(w[2].op)) {
            st.kind = kind(StepKind::LoadSubJump);
            st.d = w[0].d;
            st.s = w[1].s;
            st.imm = w[0].imm;
            st.imm2 = w[2].imm;
            st.taken = taken_mask(w[2].op);
            return 3;
        }
        for (auto [op, k] : kLoadOps) {
            if (w[1].op != op) continue;
            st.kind = kind(k);
            st.d = w[0].d;
            st.s = w[1].s;
            st.imm = w[0].imm;
            return 2;
        }
    }
    if (is(0, Op::Leave) && is(1, Op::Ret)) {
        st.kind = kind(StepKind::LeaveRet);
        st.imm = w[0].imm;
        return 2;
    }
    if (n > 1 && is_jump(w[1].op)) {
        // A compare and its jump.
        StepKind k = StepKind::Continue;
        if (w[0].op == Op::Cmp) k = StepKind::CmpJump;
        if (w[0].op == Op::CmpImm) k = StepKind::CmpImmJump;
        if (w[0].op == Op::Sub) k = StepKind::SubJump;
        if (w[0].op == Op::SubImm) k = StepKind::SubImmJump;
        if (k != StepKind::Continue) {
            st.kind = kind(k);
            st.imm2 = w[1].imm;
            st.taken = taken_mask(w[1].op);
            return 2;
        }
    }
    if (is(0, Op::LeaFrame) && n > 1) {
        // A local reached through its address.
        const Decoded& second = w[1];
        if (second.op == Op::Load32Ind && second.s == w[0].d) {
            st.kind = kind(StepKind::LeaLoad);
            st.d2 = second.d;
            return 2;
        }
        if (second.op == Op::Store32Ind && second.d == w[0].d) {
            st.kind = kind(StepKind::LeaStore);
            st.s2 = second.s;
            return 2;
        }
        if ((second.op == Op::PostOp || second.op == Op::PreOp) && second.s == w[0].d) {
            st.kind = kind(StepKind::LeaStep);
            st.d2 = second.d;
            st.imm2 = second.imm;
            st.taken = second.op == Op::PostOp;
            return 2;
        }
    }
    return 0;
}

// memcmp for the short runs blocks cover, without the call: 8 bytes at a time,
// the last (or only) piece read overlapping the one before.
uint64_t load8(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
uint32_t load4(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
bool same_bytes(const uint8_t* a, const uint8_t* b, uint32_t len) {
    if (len >= 8) {
        uint64_t diff = load8(a + len - 8) ^ load8(b + len - 8);
        for (uint32_t i = 0; i + 8 < len; i += 8) diff |= load8(a + i) ^ load8(b + i);
        return diff == 0;
    }
    if (len >= 4) return ((load4(a) ^ load4(b)) | (load4(a + len - 4) ^ load4(b + len - 4))) == 0;
    uint32_t diff = 0;
    for (uint32_t i = 0; i < len; ++i) diff |= uint32_t(a[i] ^ b[i]);
    return diff == 0;
}

}  // namespace

BlockCache::BlockCache() : arena_(new uint64_t[kArenaBytes / 8]) {
    sentinel_.pc = 0;
    sentinel_.epoch = 0;
    sentinel_.exit[0] = sentinel_.exit[1] = &sentinel_;
    tail_head_.exit[0] = tail_head_.exit[1] = &sentinel_;
    table_.fill(&sentinel_);
}

BlockCache& BlockCache::current() {
    thread_local BlockCache cache;
    return cache;
}

void BlockCache::clear() {
    ++generation_;
    table_.fill(&sentinel_);
    used_ = 0;
    epoch_ = 1;
    watched_[0] = 0xFFFFFFFFu;
    watched_[1] = 0;
    native_.clear();
}

Block* BlockCache::cut_tail(const Block& blk, uint32_t budget, const void* end) {
    // Steps are copied whole: the reference interpreter runs what is left when
    // the budget ends inside a fused step.
    const Step* steps = blk.step();
    uint32_t n = 0, done = 0, stop_at = blk.pc;
    for (; n < blk.steps && steps[n].index < budget; ++n) {
        tail_steps_[n] = steps[n];
        done = steps[n].index + 1u;
        // A stub's call goes on in the stub, its return after the call.
        const bool stub = steps[n].kind == uint8_t(StepKind::StubCall) ||
                          steps[n].kind == uint8_t(StepKind::StubReturn);
        stop_at = stub ? steps[n].imm : steps[n].at + steps[n].size;
    }
    tail_steps_[n] = Step{};
    tail_steps_[n].handler = end;
    tail_steps_[n].at = stop_at;
    tail_head_.count = uint8_t(done);
    return &tail_head_;
}

Block* BlockCache::find(uint32_t pc, const uint8_t* base, uint32_t limit,
                        const void* const* handlers) {
    Block* b = table_[slot(pc)];
    if (b->pc == pc && b->epoch != 0) {
        const uint8_t* copy = b->bytes();
        bool same = true;
        for (uint32_t i = 0; i < b->segments && same; ++i) {
            const uint32_t at = b->seg_pc[i], len = b->seg_len[i];
            same = at >= ScriptMemory::kLowGuard && uint64_t(at) + len <= limit &&
                   same_bytes(copy, base + at, len);
            copy += len;
        }
        if (same) {
            b->epoch = epoch_;
            mark(*b);
            return b;
        }
    }
    return decode(pc, base, limit, handlers);
}

Block* BlockCache::decode(uint32_t pc, const uint8_t* base, uint32_t limit,
                          const void* const* handlers) {
    // Decode into scratch arrays first: the block's size is known only at the end.
    constexpr uint32_t kWindow = 6;  // the longest fused sequence
    std::array<Step, kBlockMaxInstructions + 1> steps;
    std::array<uint32_t, kBlockMaxSegments> seg_pc{};
    std::array<uint32_t, kBlockMaxSegments> seg_len{};
    uint32_t nsteps = 0, count = 0, nseg = 0, bytes = 0;  // bytes of closed segments
    uint32_t start = pc, at = pc;                         // the open segment, the next instruction
    bool closed = false;
    auto readable = [&](uint32_t addr) {
        if (addr < ScriptMemory::kLowGuard || addr >= limit) return 0u;
        if (bytes + (addr - start) >= kBlockMaxBytes) return 0u;
        const uint32_t room = kBlockMaxBytes - bytes - (addr - start);
        return std::min(limit - addr, room);
    };
    // Whether `target` holds a built-in's stub, `trap n; ret`, that fits the
    // block after the open segment (`at` is the call's end).
    auto stub_at = [&](uint32_t target, Decoded& trap, Decoded& ret) {
        if (target < ScriptMemory::kLowGuard || target >= limit) return false;
        const uint32_t used = bytes + (at - start);
        if (used >= kBlockMaxBytes) return false;
        const uint32_t avail = std::min(limit - target, kBlockMaxBytes - used);
        return read_instruction(base + target, avail, trap) && trap.op == Op::Trap &&
               read_instruction(base + target + trap.size, avail - trap.size, ret) &&
               ret.op == Op::Ret;
    };
    while (count < kBlockMaxInstructions && !closed) {
        // The instructions from here, as far as they decode and fit the block.
        Decoded w[kWindow];
        uint32_t n = 0, end = at;
        const uint32_t avail = readable(at);
        while (n < kWindow && count + n < kBlockMaxInstructions &&
               read_instruction(base + end, avail - (end - at), w[n])) {
            end += w[n].size;
            if (transfers_control(w[n++].op)) break;
        }
        if (n == 0) break;
        // Zero bytes (nops) after code are mostly the unused end of a program
        // area: a block stops before them rather than copy and check them.
        if (w[0].op == Op::Nop && nsteps > 0) break;
        Step st{};
        uint32_t parts = match_fused(w, n, st);
        st.at = at;
        if (parts == 0) {
            parts = 1;
            st.kind = uint8_t(w[0].op);
        }
        if (st.kind < kOpcodeCount || st.kind == uint32_t(StepKind::CmpJump) ||
            st.kind == uint32_t(StepKind::CmpImmJump) || st.kind == uint32_t(StepKind::SubJump) ||
            st.kind == uint32_t(StepKind::SubImmJump) || st.kind == uint32_t(StepKind::LeaLoad) ||
            st.kind == uint32_t(StepKind::LeaStore) || st.kind == uint32_t(StepKind::LeaStep)) {
            // Steps that name the first instruction's registers and immediate.
            st.d = w[0].d;
            st.s = w[0].s;
            st.imm = w[0].imm;
        }
        for (uint32_t i = 0; i < parts; ++i) at += w[i].size;
        count += parts;
        st.size = uint8_t(at - st.at);
        st.index = uint8_t(count - 1);
        if (has_link(st.kind)) st.link = &sentinel_;
        const Op last = w[parts - 1].op;
        Decoded trap, ret;
        if (last == Op::Call && parts == 1 && nseg + 3 <= kBlockMaxSegments &&
            count + 2 <= kBlockMaxInstructions && stub_at(w[0].imm, trap, ret)) {
            // A built-in's stub: the block goes on with its two instructions,
            // in a segment of their own, and then after the call.
            const uint32_t target = w[0].imm;
            st.kind = uint8_t(StepKind::StubCall);
            st.d = w[0].d;
            st.s = w[0].s;
            st.imm = target;
            st.handler = handlers[st.kind];
            steps[nsteps++] = st;
            Step t{};
            t.kind = uint8_t(Op::Trap);
            t.imm = trap.imm;
            t.at = target;
            t.size = uint8_t(trap.size);
            t.index = uint8_t(count++);
            t.link = &sentinel_;
            t.handler = handlers[t.kind];
            steps[nsteps++] = t;
            Step back{};
            back.kind = uint8_t(StepKind::StubReturn);
            back.imm = at;
            back.at = target + trap.size;
            back.size = uint8_t(ret.size);
            back.index = uint8_t(count++);
            back.link = &sentinel_;
            back.handler = handlers[back.kind];
            steps[nsteps++] = back;
            seg_pc[nseg] = start;
            seg_len[nseg++] = at - start;
            bytes += at - start;
            seg_pc[nseg] = target;
            seg_len[nseg++] = trap.size + ret.size;
            bytes += trap.size + ret.size;
            start = at;
            continue;
        }
        if (last == Op::Jmp && parts == 1) {
            // Go on at the target, in a new segment, unless it is code of this
            // block (a loop: the jump links to the block that starts there, so
            // that a loop's blocks start at its head, where its sequences
            // fuse) or room is out.
            const uint32_t target = w[0].imm;
            bool inside = target - start < at - start;
            for (uint32_t i = 0; i < nseg; ++i) inside = inside || target - seg_pc[i] < seg_len[i];
            if (!inside && nseg + 1 < kBlockMaxSegments && count < kBlockMaxInstructions &&
                target >= ScriptMemory::kLowGuard && target < limit) {
                seg_pc[nseg] = start;
                seg_len[nseg++] = at - start;
                bytes += at - start;
                start = at = target;
                continue;  // the jump counts, but needs no step
            }
            closed = true;
        } else if (transfers_control(last) && !is_conditional_jump(last)) {
            closed = true;
        }
        // Conditional jumps leave the block only when taken: decoding goes on.
        if (st.kind == uint32_t(Op::Nop)) continue;  // counts, but does nothing
        st.handler = handlers[st.kind];
        steps[nsteps++] = st;
    }
    if (count == 0) return nullptr;
    if (at > start || nseg == 0) {
        seg_pc[nseg] = start;
        seg_len[nseg++] = at - start;
        bytes += at - start;
    }
    if (!closed) {
        Step st{};
        st.kind = uint8_t(StepKind::Continue);
        st.handler = handlers[st.kind];
        st.link = &sentinel_;
        st.at = at;
        st.index = uint8_t(count - 1);
        steps[nsteps++] = st;
    }

    const size_t size = sizeof(Block) + nsteps * sizeof(Step) + bytes;
    const size_t words = (size + 7) / 8;
    if (used_ + words > kArenaBytes / 8 || native_.nearly_full()) {
        const uint32_t keep = epoch_;
        clear();
        epoch_ = keep;
        for (uint32_t i = 0; i < nsteps; ++i)
            if (has_link(steps[i].kind)) steps[i].link = &sentinel_;
    }
    Block* b = new (arena_.get() + used_) Block;
    used_ += words;
    b->pc = pc;
    b->epoch = epoch_;
    b->len = uint16_t(bytes);
    b->count = uint8_t(count);
    b->steps = uint8_t(nsteps);
    b->segments = uint8_t(nseg);
    b->calls_builtin = false;
    for (uint32_t i = 0; i < nsteps; ++i)
        if (steps[i].kind == uint8_t(Op::Trap)) b->calls_builtin = true;
    b->exit[0] = b->exit[1] = &sentinel_;
    std::memcpy(b->step(), steps.data(), nsteps * sizeof(Step));
    uint8_t* copy = const_cast<uint8_t*>(b->bytes());
    for (uint32_t i = 0; i < nseg; ++i) {
        b->seg_pc[i] = seg_pc[i];
        b->seg_len[i] = uint8_t(seg_len[i]);
        std::memcpy(copy, base + seg_pc[i], seg_len[i]);
        copy += seg_len[i];
    }
    const void* code = native_.compile(*b);
    b->entry = code ? handlers[kNativeHandler] : b->step()[0].handler;
    b->native = code ? code : native_.interpreted_entry();
    table_[slot(pc)] = b;
    mark(*b);
    return b;
}

}  // namespace tob
