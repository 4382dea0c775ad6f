// Decoding runs of instructions into blocks of steps, and the per-thread cache
// that keeps them: a direct-mapped table over one bump arena, emptied when full.
#include "vm/block_cache.h"

#include <cstring>

namespace tob {
namespace {

uint32_t load_imm(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool is_jump(uint8_t op) {
    return op >= uint8_t(Op::Jmp) && op <= uint8_t(Op::Jbe);
}

// Whether a jump ends a block: every control transfer and the built-in call.
bool ends_block(Op op) {
    switch (op) {
        case Op::Trap:
        case Op::Call:
        case Op::CallReg:
        case Op::Ret:
            return true;
        default:
            return is_jump(uint8_t(op));
    }
}

// Whether jump `op` is taken for flags z, l, b of 0 or 1.
bool taken(Op op, bool z, bool l, bool b) {
    switch (op) {
        case Op::Je:
            return z;
        case Op::Jne:
            return !z;
        case Op::Jg:
            return !l && !z;
        case Op::Jge:
            return !l || z;
        case Op::Jl:
            return l && !z;
        case Op::Jle:
            return l || z;
        case Op::Ja:
            return !b && !z;
        case Op::Jae:
            return !b || z;
        case Op::Jb:
            return b && !z;
        case Op::Jbe:
            return b || z;
        default:
            return true;
    }
}

uint8_t taken_mask(Op op) {
    uint8_t mask = 0;
    for (uint8_t f = 0; f < 8; ++f)
        if (taken(op, f & 1, f & 2, f & 4)) mask = uint8_t(mask | 1u << f);
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

}  // namespace

BlockCache::BlockCache() : arena_(new uint64_t[kArenaBytes / 8]) {
    sentinel_.pc = 0;
    sentinel_.epoch = 0;
    table_.fill(&sentinel_);
}

BlockCache& BlockCache::current() {
    thread_local BlockCache cache;
    return cache;
}

void BlockCache::clear() {
    table_.fill(&sentinel_);
    used_ = 0;
    epoch_ = 1;
    lo_ = 0xFFFFFFFFu;
    hi_ = 0;
}

Block* BlockCache::find(uint32_t pc, const uint8_t* code, uint32_t avail,
                        const void* const* handlers) {
    Block* b = table_[slot(pc)];
    if (b->pc == pc && b->epoch != 0 && b->len <= avail &&
        std::memcmp(b->bytes(), code, b->len) == 0) {
        b->epoch = epoch_;
        mark(*b);
        return b;
    }
    return decode(pc, code, avail, handlers);
}

Block* BlockCache::decode(uint32_t pc, const uint8_t* code, uint32_t avail,
                          const void* const* handlers) {
    // Decode into a scratch array first: the block's size is known only at the end.
    std::array<Step, kBlockMaxInstructions + 1> steps;
    uint32_t nsteps = 0, count = 0, at = 0;
    bool closed = false;
    if (avail > kBlockMaxBytes) avail = kBlockMaxBytes;
    while (count < kBlockMaxInstructions && !closed) {
        Decoded ins;
        if (!read_instruction(code + at, avail - at, ins)) break;
        Step st;
        st.off = uint8_t(at);
        st.d = ins.d;
        st.s = ins.s;
        st.imm = ins.imm;
        uint32_t kind = uint32_t(ins.op);
        uint32_t used = ins.size, parts = 1;
        Decoded second;
        const bool pair = count + 1 < kBlockMaxInstructions &&
                          read_instruction(code + at + ins.size, avail - at - ins.size, second);
        if (pair && is_jump(uint8_t(second.op))) {
            // A compare and its jump: one step.
            StepKind fused = StepKind::Continue;
            if (ins.op == Op::Cmp) fused = StepKind::CmpJump;
            if (ins.op == Op::CmpImm) fused = StepKind::CmpImmJump;
            if (ins.op == Op::Sub) fused = StepKind::SubJump;
            if (ins.op == Op::SubImm) fused = StepKind::SubImmJump;
            if (fused != StepKind::Continue) {
                kind = uint32_t(fused);
                st.imm2 = second.imm;
                st.taken = taken_mask(second.op);
                used += second.size;
                parts = 2;
            }
        } else if (pair && ins.op == Op::LeaFrame) {
            // A local reached through its address.
            if (second.op == Op::Load32Ind && second.s == ins.d) {
                kind = uint32_t(StepKind::LeaLoad);
                st.d2 = second.d;
            } else if (second.op == Op::Store32Ind && second.d == ins.d) {
                kind = uint32_t(StepKind::LeaStore);
                st.s2 = second.s;
            } else if ((second.op == Op::PostOp || second.op == Op::PreOp) && second.s == ins.d) {
                kind = uint32_t(StepKind::LeaStep);
                st.d2 = second.d;
                st.imm2 = second.imm;
                st.taken = second.op == Op::PostOp;
            }
            if (kind != uint32_t(ins.op)) {
                used += second.size;
                parts = 2;
            }
        }
        count += parts;
        at += used;
        st.next = uint8_t(at);
        st.index = uint8_t(count - 1);
        closed = ends_block(parts == 2 ? second.op : ins.op);
        if (ins.op == Op::Nop && parts == 1) continue;  // counts, but does nothing
        st.handler = handlers[kind];
        steps[nsteps++] = st;
    }
    if (count == 0) return nullptr;
    if (!closed) {
        Step st;
        st.handler = handlers[uint32_t(StepKind::Continue)];
        st.off = st.next = uint8_t(at);
        st.index = uint8_t(count - 1);
        steps[nsteps++] = st;
    }

    const size_t bytes = sizeof(Block) + nsteps * sizeof(Step) + at;
    const size_t words = (bytes + 7) / 8;
    if (used_ + words > kArenaBytes / 8) {
        const uint32_t keep = epoch_;
        clear();
        epoch_ = keep;
    }
    Block* b = new (arena_.get() + used_) Block;
    used_ += words;
    b->pc = pc;
    b->epoch = epoch_;
    b->len = uint16_t(at);
    b->count = uint8_t(count);
    b->steps = uint8_t(nsteps);
    std::memcpy(b->step(), steps.data(), nsteps * sizeof(Step));
    std::memcpy(const_cast<uint8_t*>(b->bytes()), code, at);
    table_[slot(pc)] = b;
    mark(*b);
    return b;
}

}  // namespace tob
