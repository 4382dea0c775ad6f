// The x86-64 block compiler. The frame is at rdi, script memory's base in
// rsi; the script registers used most (r0, r2, r3, r6, r7) live in host
// registers the ABI keeps across calls (r12, r13, r14, rbp, rbx), the others
// in the frame; r15 holds the budget; rax, rcx, rdx and r8..r11 are scratch.
// The shared entry at the start of the code area saves the host's registers
// and loads the frame's, the shared way out stores them back: every exit of
// every block goes through it.
//
// Every step is compiled in three parts: the addresses it will touch and its
// checks (bounds, stack, divisor), each of which may leave for the
// interpreter before anything of the step is done; then the step's effects in
// the interpreter's own order, registers read from and written to the frame as
// it reads and writes them, so that registers named twice behave alike; then
// the check whether a store reached decoded code, and the step's jump.
#include "vm/native_blocks.h"

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

#include "vm/block_cache.h"
#include "vm/interpreter_ops.h"

#if defined(__x86_64__) && defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#define TOB_NATIVE_BLOCKS 1
#else
#define TOB_NATIVE_BLOCKS 0
#endif

namespace tob {

#if TOB_NATIVE_BLOCKS
namespace {

using vm_ops::kFrameBytes;
using vm_ops::kLowGuard;

// Host registers.
enum Reg : int {
    RAX = 0,
    RCX = 1,
    RDX = 2,
    RBX = 3,
    RSP = 4,
    RBP = 5,
    RSI = 6,
    RDI = 7,
    R8 = 8,
    R9,
    R10,
    R11,
    R12,
    R13,
    R14,
    R15
};
// Condition codes.
enum Cond : uint8_t {
    kB = 2,
    kAE = 3,
    kE = 4,
    kNE = 5,
    kBE = 6,
    kA = 7,
    kS = 8,
    kNS = 9,
    kL = 12,
    kGE = 13,
    kLE = 14,
    kG = 15
};

// A memory operand: [base + index + disp] (index -1: none), or a host
// register in its place (host >= 0), so that a script register is named the
// same way wherever it lives.
struct Mem {
    int base;
    int index = -1;
    int32_t disp = 0;
    int host = -1;
};

// The host registers of script registers (-1: in the frame), and the budget's.
constexpr int kHostOf[8] = {R12, -1, R13, R14, -1, -1, RBP, RBX};
constexpr int kBudgetReg = R15;

// Script register k in the frame.
constexpr Mem frame_slot(uint32_t k) {
    return {RDI, -1, int32_t(offsetof(NativeFrame, r) + 4 * k)};
}
// Script register k wherever the code keeps it.
constexpr Mem reg_slot(uint32_t k) {
    Mem m = frame_slot(k);
    m.host = kHostOf[k];
    return m;
}
constexpr Mem kFlags{RDI, -1, int32_t(offsetof(NativeFrame, f))};
constexpr Mem kDifference{RDI, -1, int32_t(offsetof(NativeFrame, difference))};
constexpr Mem kRight{RDI, -1, int32_t(offsetof(NativeFrame, right))};
constexpr Mem kLazy{RDI, -1, int32_t(offsetof(NativeFrame, lazy))};
constexpr Mem kExitPc{RDI, -1, int32_t(offsetof(NativeFrame, exit_pc))};
constexpr Mem kLimit{RDI, -1, int32_t(offsetof(NativeFrame, limit))};
constexpr Mem kBase{RDI, -1, int32_t(offsetof(NativeFrame, base))};
constexpr Mem kWatched{RDI, -1, int32_t(offsetof(NativeFrame, watched))};
constexpr Mem kStackBase{RDI, -1, int32_t(offsetof(NativeFrame, stack_base))};
constexpr Mem kStackSize{RDI, -1, int32_t(offsetof(NativeFrame, stack_size))};
constexpr Mem kProgramBase{RDI, -1, int32_t(offsetof(NativeFrame, program_base))};
constexpr Mem kProgramSize{RDI, -1, int32_t(offsetof(NativeFrame, program_size))};
constexpr Mem kBudget{RDI, -1, int32_t(offsetof(NativeFrame, budget))};
constexpr Mem kEpoch{RDI, -1, int32_t(offsetof(NativeFrame, epoch))};
constexpr Mem kStop{RDI, -1, int32_t(offsetof(NativeFrame, stop))};
constexpr Mem kBlock{RDI, -1, int32_t(offsetof(NativeFrame, blk))};
constexpr Mem kCallBuiltin{RDI, -1, int32_t(offsetof(NativeFrame, call_builtin))};
constexpr Mem kNextSlice{RDI, -1, int32_t(offsetof(NativeFrame, next_slice))};
constexpr Mem kHostSp{RDI, -1, int32_t(offsetof(NativeFrame, host_sp))};
// Block fields the code reads.
constexpr int32_t kBlockPc = int32_t(offsetof(Block, pc));
constexpr int32_t kBlockEpoch = int32_t(offsetof(Block, epoch));
constexpr int32_t kBlockCount = int32_t(offsetof(Block, count));
constexpr int32_t kBlockNative = int32_t(offsetof(Block, native));
constexpr int32_t kBlockCallsBuiltin = int32_t(offsetof(Block, calls_builtin));
// Script memory at the address in `r` (zero-extended: every 32-bit write of a
// host register clears its upper half).
constexpr Mem script(int r) {
    return {RSI, r, 0};
}

class Assembler {
  public:
    std::vector<uint8_t> code;

    void byte(uint32_t b) { code.push_back(uint8_t(b)); }
    void u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) byte(v >> 8 * i);
    }
    void u64(uint64_t v) {
        for (int i = 0; i < 8; ++i) byte(uint32_t(v >> 8 * i));
    }

    // A REX prefix when needed (or `force`d, for the byte registers spl..dil).
    void rex(bool w, int reg, int index, int base, bool force = false) {
        const uint32_t v = 0x40 | (w ? 8 : 0) | ((reg >> 3) & 1) << 2 | ((index >> 3) & 1) << 1 |
                           ((base >> 3) & 1);
        if (v != 0x40 || force) byte(v);
    }
    void modrm_mem(int reg, const Mem& m) {
        const uint32_t r = uint32_t(reg & 7) << 3;
        if (m.index >= 0) {
            // [base + index + disp] (the bases used are never rbp or r13).
            const uint32_t sib = uint32_t(m.index & 7) << 3 | uint32_t(m.base & 7);
            if (m.disp == 0) {
                byte(0x04 | r);
                byte(sib);
            } else if (m.disp >= -128 && m.disp <= 127) {
                byte(0x44 | r);
                byte(sib);
                byte(uint32_t(m.disp));
            } else {
                byte(0x84 | r);
                byte(sib);
                u32(uint32_t(m.disp));
            }
            return;
        }
        const bool sib = (m.base & 7) == RSP;
        if (m.disp >= -128 && m.disp <= 127) {
            byte(0x40 | r | uint32_t(m.base & 7));
            if (sib) byte(0x24);
            byte(uint32_t(m.disp));
        } else {
            byte(0x80 | r | uint32_t(m.base & 7));
            if (sib) byte(0x24);
            u32(uint32_t(m.disp));
        }
    }
    // op reg, [mem] (or op [mem], reg): opcode bytes after the prefixes.
    void mem_op(std::initializer_list<uint8_t> opcode, int reg, const Mem& m, bool w = false,
                bool byte_reg = false, bool operand16 = false) {
        if (operand16) byte(0x66);
        if (m.host >= 0) {
            rex(w, reg, 0, m.host, byte_reg && (reg >= 4 || m.host >= 4));
            for (uint8_t b : opcode) byte(b);
            byte(0xC0 | uint32_t(reg & 7) << 3 | uint32_t(m.host & 7));
            return;
        }
        rex(w, reg, m.index < 0 ? 0 : m.index, m.base, byte_reg && reg >= 4);
        for (uint8_t b : opcode) byte(b);
        modrm_mem(reg, m);
    }
    void reg_op(std::initializer_list<uint8_t> opcode, int reg, int rm, bool w = false) {
        rex(w, reg, 0, rm);
        for (uint8_t b : opcode) byte(b);
        byte(0xC0 | uint32_t(reg & 7) << 3 | uint32_t(rm & 7));
    }

    void load32(int r, const Mem& m) { mem_op({0x8B}, r, m); }
    void load64(int r, const Mem& m) { mem_op({0x8B}, r, m, true); }
    void store64(const Mem& m, int r) { mem_op({0x89}, r, m, true); }
    void store32(const Mem& m, int r) { mem_op({0x89}, r, m); }
    void store16(const Mem& m, int r) { mem_op({0x89}, r, m, false, false, true); }
    void store8(const Mem& m, int r) { mem_op({0x88}, r, m, false, true); }
    void store_imm32(const Mem& m, uint32_t v) {
        mem_op({0xC7}, 0, m);
        u32(v);
    }
    void movzx8(int r, const Mem& m) { mem_op({0x0F, 0xB6}, r, m); }
    void movsx8(int r, const Mem& m) { mem_op({0x0F, 0xBE}, r, m); }
    void movzx16(int r, const Mem& m) { mem_op({0x0F, 0xB7}, r, m); }
    void movsx16(int r, const Mem& m) { mem_op({0x0F, 0xBF}, r, m); }
    void mov_imm(int r, uint32_t v) {
        rex(false, 0, 0, r);
        byte(0xB8 + (r & 7));
        u32(v);
    }
    void mov_imm64(int r, uint64_t v) {
        rex(true, 0, 0, r);
        byte(0xB8 + (r & 7));
        u64(v);
    }
    void mov(int dst, int src) { reg_op({0x89}, src, dst); }
    void mov64(int dst, int src) { reg_op({0x89}, src, dst, true); }
    // 32-bit operations dst op= src: add 0x01, or 0x09, and 0x21, sub 0x29, xor 0x31, cmp 0x39.
    void alu(uint8_t op, int dst, int src, bool w = false) { reg_op({op}, src, dst, w); }
    // The same with an immediate: /0 add, /1 or, /4 and, /5 sub, /6 xor, /7 cmp.
    void alu_imm(int ext, int dst, uint32_t v, bool w = false) {
        reg_op({0x81}, ext, dst, w);
        u32(v);
    }
    void imul(int dst, int src, bool w = false) { reg_op({0x0F, 0xAF}, dst, src, w); }
    void mul64(int src) { reg_op({0xF7}, 4, src, true); }
    void idiv(int src) { reg_op({0xF7}, 7, src); }
    void cdq() { byte(0x99); }
    void neg(int r) { reg_op({0xF7}, 3, r); }
    void bit_not(int r) { reg_op({0xF7}, 2, r); }
    // Shift by cl: /4 shl, /5 shr, /7 sar (the count is taken modulo 32, as the machine does).
    void shift_cl(int ext, int r) { reg_op({0xD3}, ext, r); }
    void shift_imm64(int ext, int r, uint8_t n) {
        reg_op({0xC1}, ext, r, true);
        byte(n);
    }
    void test(int a, int b) { reg_op({0x85}, b, a); }
    void cmov(uint8_t cc, int dst, int src) { reg_op({0x0F, uint8_t(0x40 + cc)}, dst, src); }
    void setcc(uint8_t cc, int r) { reg_op({0x0F, uint8_t(0x90 + cc)}, 0, r); }
    void setcc_mem(uint8_t cc, const Mem& m) { mem_op({0x0F, uint8_t(0x90 + cc)}, 0, m); }
    // lea dst, [base + disp]: 32-bit (wrapping) or 64-bit.
    void lea(int dst, int base, int32_t disp, bool w = false) {
        mem_op({0x8D}, dst, Mem{base, -1, disp}, w);
    }
    void cmp64_mem(int r, const Mem& m) { mem_op({0x3B}, r, m, true); }
    void cmp_mem_imm(const Mem& m, uint32_t v) {
        mem_op({0x81}, 7, m);
        u32(v);
    }
    void jmp_reg(int r) { reg_op({0xFF}, 4, r); }
    // jmp rel32 to `to`, an offset from where the code will start.
    void jmp_to(int64_t to) {
        byte(0xE9);
        u32(uint32_t(to - int64_t(code.size() + 4)));
    }
    void push(int r) {
        rex(false, 0, 0, r);
        byte(0x50 + (r & 7));
    }
    void pop(int r) {
        rex(false, 0, 0, r);
        byte(0x58 + (r & 7));
    }
    void call_mem(const Mem& m) { mem_op({0xFF}, 2, m); }
    void jmp_mem(const Mem& m) { mem_op({0xFF}, 4, m); }
    void cmp8_mem_imm(const Mem& m, uint8_t v) {
        mem_op({0x80}, 7, m);
        byte(v);
    }
    void store_imm8(const Mem& m, uint8_t v) {
        mem_op({0xC6}, 0, m);
        byte(v);
    }
    // jmp rel32 whose target is patched later; returns where.
    size_t jmp32() {
        byte(0xE9);
        u32(0);
        return code.size() - 4;
    }
    void cmp32_mem(int r, const Mem& m) { mem_op({0x3B}, r, m); }
    void sub32_mem(int r, const Mem& m) { mem_op({0x2B}, r, m); }
    // A forward jump whose target is set later; returns where to patch.
    size_t jcc(uint8_t cc) {
        byte(0x0F);
        byte(0x80 + cc);
        u32(0);
        return code.size() - 4;
    }
    size_t jcc_short(uint8_t cc) {
        byte(0x70 + cc);
        byte(0);
        return code.size() - 1;
    }
    void patch(size_t at, size_t to) {
        const uint32_t rel = uint32_t(to - (at + 4));
        std::memcpy(&code[at], &rel, 4);
    }
    void patch_short(size_t at) { code[at] = uint8_t(code.size() - (at + 1)); }
    void ret() { byte(0xC3); }
};

// Works out the flags kept by compiled code's compares (NativeFrame::lazy)
// into the frame's flag bytes, when there are any. Changes rcx and rdx.
void emit_lazy_flags(Assembler& a) {
    a.cmp8_mem_imm(kLazy, 0);
    const size_t none = a.jcc_short(kE);
    a.load32(RCX, kDifference);
    a.load32(RDX, kRight);
    a.alu(0x01, RCX, RDX);  // the left operand
    a.alu(0x39, RCX, RDX);
    a.setcc_mem(kE, kFlags);
    a.setcc_mem(kL, Mem{RDI, -1, kFlags.disp + 1});
    a.setcc_mem(kB, Mem{RDI, -1, kFlags.disp + 2});
    a.store_imm8(kLazy, 0);
    a.patch_short(none);
}

// The host condition of a fused jump's taken-mask (by z | l << 1 | b << 2),
// or false for a mask no single condition gives.
bool host_condition(uint8_t mask, uint8_t& cc) {
    static constexpr std::pair<Op, Cond> kJumps[] = {
        {Op::Je, kE},   {Op::Jne, kNE}, {Op::Jg, kG},   {Op::Jge, kGE}, {Op::Jl, kL},
        {Op::Jle, kLE}, {Op::Ja, kA},   {Op::Jae, kAE}, {Op::Jb, kB},   {Op::Jbe, kBE},
    };
    for (auto [op, c] : kJumps) {
        uint8_t m = 0;
        for (uint8_t f = 0; f < 8; ++f)
            if (jump_taken(op, f & 1, f & 2, f & 4)) m = uint8_t(m | 1u << f);
        if (m == mask) {
            cc = c;
            return true;
        }
    }
    return false;
}

struct MemoryForm;

class BlockCompiler {
  public:
    // `leave`: where the way out is, from the start of this block's code.
    BlockCompiler(const Block& b, int64_t leave) : b_(b), leave_(leave) {}

    // The code, empty when not even the first step compiles.
    std::vector<uint8_t> run() {
        for (index_ = 0; index_ < b_.steps; ++index_) {
            const Step& st = b_.step()[index_];
            const size_t before = a_.code.size(), bails = bails_.size(), takens = takens_.size();
            const size_t checked = frame_checked_.size();
            const bool lazy_set = lazy_set_;
            ended_ = false;
            if (!step(st)) {
                frame_checked_.resize(checked);
                lazy_set_ = lazy_set;
                a_.code.resize(before);
                bails_.resize(bails);
                takens_.resize(takens);
                if (index_ == 0) return {};
                exit(kNativeResume);
                ended_ = true;
                break;
            }
            frame_moved(st);
        }
        // Every block ends in a step that leaves it: a jump compiled as an
        // exit, or a step left to the interpreter.
        if (!ended_) return {};
        for (const Bail& b : bails_) {
            a_.patch(b.at, a_.code.size());
            a_.mov_imm(RAX, b.exit);
            a_.jmp_to(leave_);
        }
        for (const Taken& t : takens_) {
            a_.patch(t.at, a_.code.size());
            index_ = t.index;
            taken(t.target);
        }
        return std::move(a_.code);
    }

  private:
    struct Bail {
        size_t at;
        uint32_t exit;
    };
    // A conditional jump's taken side, compiled after the block's straight line.
    struct Taken {
        size_t at;
        uint32_t index;
        uint32_t target;
    };

    uint32_t exit_code(NativeExit kind) const { return uint32_t(kind) | uint32_t(index_) << 8; }
    void exit(NativeExit kind) {
        a_.mov_imm(RAX, exit_code(kind));
        a_.jmp_to(leave_);
    }
    // Leaves for the interpreter at this step when `cc` holds.
    void bail_if(uint8_t cc) { bails_.push_back({a_.jcc(cc), exit_code(kNativeResume)}); }
    // Bails unless [addr, addr + len) lies in [kLowGuard, limit).
    void check(int addr, uint32_t len) {
        static_assert(kFrameBytes == 24);
        const int room = len == 1 ? 0 : len == 2 ? 1 : len == 4 ? 2 : len == kFrameBytes ? 3 : -1;
        a_.lea(R11, addr, -int32_t(kLowGuard));
        if (room >= 0) {
            a_.cmp32_mem(R11,
                         Mem{RDI, -1, int32_t(offsetof(NativeFrame, room) + 4 * uint32_t(room))});
            bail_if(kAE);
            return;
        }
        a_.alu_imm(0, R11, len + kLowGuard, true);
        a_.cmp64_mem(R11, kLimit);
        bail_if(kA);
    }
    // Bails unless `sp` lies inside the context's stack; then 4 bytes at
    // sp - 4 or sp are in script memory (see NativeFrame::stack_size).
    void stack_check(int sp) {
        a_.mov(R10, sp);
        a_.sub32_mem(R10, kStackBase);
        a_.cmp32_mem(R10, kStackSize);
        bail_if(kAE);
    }
    // Compares [addr, addr + len) with the code bytes this epoch's blocks
    // cover: after it, "above" means they overlap. Returns the jump to patch
    // past the caller's reaction, taken when addr is at or above their end.
    size_t compare_watched(int addr, uint32_t len) {
        a_.load64(R11, kWatched);
        a_.cmp32_mem(addr, Mem{R11, -1, 4});
        const size_t above = a_.jcc_short(kAE);
        a_.lea(R10, addr, int32_t(len), true);
        a_.load32(R9, Mem{R11, -1, 0});
        a_.alu(0x39, R10, R9, true);
        return above;
    }
    // Bails when a store of `len` bytes at `addr` would touch decoded code.
    void bail_if_watched(int addr, uint32_t len) {
        const size_t above = compare_watched(addr, len);
        bail_if(kA);
        a_.patch_short(above);
    }
    // The return: the address popped is in r10 (kept over a call that
    // begins the next slice). On into the block of either of the last two places this block
    // returned to, as the interpreter would; else back to it.
    void returned() {
        constexpr int to = R10;
        std::vector<size_t> slow;
        a_.mov_imm64(RAX, reinterpret_cast<uintptr_t>(&b_.exit[0]));
        a_.load64(RCX, Mem{RAX, -1, 8});
        a_.load64(RAX, Mem{RAX});
        a_.cmp32_mem(to, Mem{RAX, -1, kBlockPc});
        const size_t first = a_.jcc_short(kE);
        a_.mov64(RAX, RCX);
        a_.cmp32_mem(to, Mem{RAX, -1, kBlockPc});
        slow.push_back(a_.jcc(kNE));
        a_.patch_short(first);
        go_on(RAX, 0, slow);
        a_.store32(kExitPc, to);
        exit(kNativeReturn);
        ended_ = true;
    }
    // After a store of `len` bytes at `addr`: whether it touched decoded code.
    void stored(int addr, uint32_t len) {
        const size_t above = compare_watched(addr, len);
        const size_t below = a_.jcc_short(kBE);
        exit(kNativeWritten);
        a_.patch_short(above);
        a_.patch_short(below);
    }
    // The flags of the subtraction just made, whose result is in
    // `difference` and whose right operand is `right` (a register or, with
    // `constant`, the value): kept to be worked out on the way out (see
    // NativeFrame::lazy). The host flags stay as the subtraction left them.
    void flags(int difference, int right, bool constant = false, uint32_t value = 0) {
        a_.store32(kDifference, difference);
        if (constant)
            a_.store_imm32(kRight, value);
        else
            a_.store32(kRight, right);
        if (!lazy_set_) {
            a_.store_imm8(kLazy, 1);
            lazy_set_ = true;
        }
    }
    void flags_imm(int difference, uint32_t value) { flags(difference, -1, true, value); }
    // After flags(): the fused jump to `target` when `cc` holds.
    void branch(uint8_t cc, uint32_t target) { takens_.push_back({a_.jcc(cc), index_, target}); }
    // The jump is taken: on into the block its link names, if the interpreter
    // would go there without a lookup (the one starting at `target`, checked
    // this epoch, within the budget, the machine not stopping), into its code
    // or, when it has none, back to the interpreter at its start; else back
    // to the interpreter, which takes the jump.
    void taken(uint32_t target) {
        const Step& st = b_.step()[index_];
        std::vector<size_t> slow;
        if (target == b_.pc) {
            // A loop of one block: on into itself, if still valid.
            a_.mov_imm64(RAX, reinterpret_cast<uintptr_t>(&b_));
        } else {
            a_.mov_imm64(RAX, reinterpret_cast<uintptr_t>(&st.link));
            a_.load64(RAX, Mem{RAX});
            a_.cmp_mem_imm(Mem{RAX, -1, kBlockPc}, target);
            slow.push_back(a_.jcc(kNE));
        }
        go_on(RAX, b_.count - st.index - 1u, slow);
        a_.store_imm32(kExitPc, target);
        exit(kNativeTaken);
        ended_ = true;
    }
    // Goes on into block `next` (whose pc is checked) unless it fails a check,
    // after giving back `refund` instructions of this block; failures jump to
    // `slow`, which is bound to the code after this.
    void go_on(int next, uint32_t refund, std::vector<size_t>& slow) {
        a_.load32(RCX, kEpoch);
        a_.cmp32_mem(RCX, Mem{next, -1, kBlockEpoch});
        slow.push_back(a_.jcc(kNE));
        a_.load64(R9, kStop);
        a_.cmp_mem_imm(Mem{R9}, 0);
        slow.push_back(a_.jcc(kNE));
        // A block without code of its own has the interpreted entry.
        a_.load64(RDX, Mem{next, -1, kBlockNative});
        a_.movzx8(RCX, Mem{next, -1, kBlockCount});
        if (refund) a_.alu_imm(0, kBudgetReg, refund);
        a_.alu(0x29, kBudgetReg, RCX);
        const size_t short_of = a_.jcc(kB);  // budget < count
        a_.store64(kBlock, next);
        a_.jmp_reg(RDX);
        // Short of budget: the next slice follows at once if the gate agrees,
        // as the interpreter would ask it, unless the block calls a built-in
        // (the slice must then end exactly).
        a_.patch(short_of, a_.code.size());
        a_.alu(0x01, kBudgetReg, RCX);
        std::vector<size_t> refused;
        a_.cmp8_mem_imm(Mem{next, -1, kBlockCallsBuiltin}, 0);
        refused.push_back(a_.jcc(kNE));
        // What the code after this may still need: the block, and a return's
        // address (see returned), over a call that may change them.
        a_.push(next);
        a_.push(R10);
        a_.push(RDI);
        a_.push(RDI);  // the stack stays aligned
        a_.call_mem(kNextSlice);
        a_.mov(RCX, RAX);
        a_.pop(RDI);
        a_.pop(RDI);
        a_.pop(R10);
        a_.pop(next);
        a_.load64(RSI, kBase);
        a_.test(RCX, RCX);
        refused.push_back(a_.jcc(kE));
        a_.alu_imm(0, kBudgetReg, kSliceBudget);
        // A new epoch: the interpreter checks the block first, with the new
        // slice's budget.
        a_.load32(RCX, kEpoch);
        a_.cmp32_mem(RCX, Mem{next, -1, kBlockEpoch});
        const size_t checked_again = a_.jcc(kNE);
        a_.movzx8(RCX, Mem{next, -1, kBlockCount});
        a_.alu(0x29, kBudgetReg, RCX);  // the budget is more than a block's count
        a_.store64(kBlock, next);
        a_.jmp_mem(Mem{next, -1, kBlockNative});
        a_.patch(checked_again, a_.code.size());
        if (refund) a_.alu_imm(5, kBudgetReg, refund);
        slow.push_back(a_.jmp32());
        // The budget as it was.
        for (size_t at : refused) a_.patch(at, a_.code.size());
        if (refund) a_.alu_imm(5, kBudgetReg, refund);
        for (size_t at : slow) a_.patch(at, a_.code.size());
    }
    // The host register that holds script register k: its own, or else
    // `scratch` loaded from the frame. Only for reads before the step writes.
    int read_reg(uint32_t k, int scratch) {
        if (kHostOf[k] >= 0) return kHostOf[k];
        a_.load32(scratch, frame_slot(k));
        return scratch;
    }
    // D - S, its flags, and for a subtraction the result in D.
    void subtract(const Step& st, bool store) {
        const Mem D = reg_slot(st.d);
        const int s = read_reg(st.s, RCX);
        if (D.host >= 0 && store) {
            a_.alu(0x29, D.host, s);
            flags(D.host, s);
            return;
        }
        a_.load32(RAX, D);
        a_.alu(0x29, RAX, s);
        flags(RAX, s);
        if (store) a_.store32(D, RAX);
    }
    // A call's checks and the push of its return address. Calls leaving the
    // program, and pushes onto decoded code, are the interpreter's.
    void call(const Step& st) {
        a_.mov_imm(RAX, st.imm);
        a_.sub32_mem(RAX, kProgramBase);
        a_.cmp32_mem(RAX, kProgramSize);
        bail_if(kAE);
        reg_plus(RDX, 7, uint32_t(-4));
        stack_check(RDX);
        bail_if_watched(RDX, 4);
        a_.store32(reg_slot(7), RDX);
        a_.mov_imm(RAX, st.at + st.size);
        a_.store32(script(RDX), RAX);
    }
    // `r` = script register k + d (wrapping).
    void reg_plus(int r, uint32_t k, uint32_t d) { a_.lea(r, read_reg(k, r), int32_t(d)); }
    // `r` = the frame address d(r6).
    void frame_address(int r, uint32_t d) { reg_plus(r, 6, d); }
    // The same, checked for an access of `len` bytes, unless an earlier step
    // of the block checked as much there with r6 as it is.
    void frame_access(int r, uint32_t d, uint32_t len) {
        frame_address(r, d);
        for (const auto& [offset, checked] : frame_checked_)
            if (offset == d && checked >= len) return;
        check(r, len);
        frame_checked_.push_back({d, len});
    }
    // After a step that may write r6: its frame addresses move.
    void frame_moved(const Step& st) {
        const bool writes = st.d == 6 || st.s == 6 || st.d2 == 6 || st.s2 == 6 ||
                            st.kind == uint8_t(Op::Enter) || st.kind == uint8_t(StepKind::LeaveRet);
        if (writes) frame_checked_.clear();
    }
    void load_width(int dst, int addr, vm_ops::Width w) {
        switch (w) {
            case vm_ops::Width::U8:
                a_.movzx8(dst, script(addr));
                break;
            case vm_ops::Width::S8:
                a_.movsx8(dst, script(addr));
                break;
            case vm_ops::Width::U16:
                a_.movzx16(dst, script(addr));
                break;
            case vm_ops::Width::S16:
                a_.movsx16(dst, script(addr));
                break;
            case vm_ops::Width::W32:
                a_.load32(dst, script(addr));
                break;
        }
    }
    void store_width(int addr, int value, vm_ops::Width w) {
        switch (vm_ops::width_bytes(w)) {
            case 1:
                a_.store8(script(addr), value);
                break;
            case 2:
                a_.store16(script(addr), value);
                break;
            default:
                a_.store32(script(addr), value);
                break;
        }
    }

    bool step(const Step& st);
    bool memory(const MemoryForm& form, const Step& st);
    bool plain(Op op, const Step& st);
    bool fused(StepKind kind, const Step& st);

    const Block& b_;
    const int64_t leave_;
    Assembler a_;
    std::vector<Bail> bails_;
    std::vector<Taken> takens_;
    bool lazy_set_ = false;  // this block has set the frame's lazy flag
    // Frame offsets checked since r6 last changed, and for how many bytes.
    std::vector<std::pair<uint32_t, uint32_t>> frame_checked_;
    uint32_t index_ = 0;
    bool ended_ = false;  // the last step compiled leaves the block
};

using vm_ops::Width;

bool BlockCompiler::step(const Step& st) {
    if (st.kind < kOpcodeCount) return plain(Op(st.kind), st);
    return fused(StepKind(st.kind), st);
}

// The instructions that touch memory at one address: what they do, the
// width, where the address comes from (the immediate, a frame offset, or the
// register S; stores through D), and for increments the step and whether D
// gets the old value.
enum class Access : uint8_t { Load, Store, Zero, Step };
enum class Address : uint8_t { Absolute, Frame, Register };
struct MemoryForm {
    Op op;
    Access access;
    Width width;
    Address address;
    uint32_t delta = 0;
    bool post = false;
};
constexpr uint32_t kDown = 0xFFFFFFFFu;
constexpr MemoryForm kMemoryForms[] = {
    {Op::LoadU8Abs, Access::Load, Width::U8, Address::Absolute},
    {Op::LoadS8Abs, Access::Load, Width::S8, Address::Absolute},
    {Op::LoadU16Abs, Access::Load, Width::U16, Address::Absolute},
    {Op::LoadS16Abs, Access::Load, Width::S16, Address::Absolute},
    {Op::Load32Abs, Access::Load, Width::W32, Address::Absolute},
    {Op::LoadU8Frame, Access::Load, Width::U8, Address::Frame},
    {Op::LoadS8Frame, Access::Load, Width::S8, Address::Frame},
    {Op::LoadU16Frame, Access::Load, Width::U16, Address::Frame},
    {Op::LoadS16Frame, Access::Load, Width::S16, Address::Frame},
    {Op::Load32Frame, Access::Load, Width::W32, Address::Frame},
    {Op::LoadU8Ind, Access::Load, Width::U8, Address::Register},
    {Op::LoadS8Ind, Access::Load, Width::S8, Address::Register},
    {Op::LoadU16Ind, Access::Load, Width::U16, Address::Register},
    {Op::LoadS16Ind, Access::Load, Width::S16, Address::Register},
    {Op::Load32Ind, Access::Load, Width::W32, Address::Register},
    {Op::Store8Abs, Access::Store, Width::U8, Address::Absolute},
    {Op::Store16Abs, Access::Store, Width::U16, Address::Absolute},
    {Op::Store32Abs, Access::Store, Width::W32, Address::Absolute},
    {Op::Store8Frame, Access::Store, Width::U8, Address::Frame},
    {Op::Store16Frame, Access::Store, Width::U16, Address::Frame},
    {Op::Store32Frame, Access::Store, Width::W32, Address::Frame},
    {Op::Store8Ind, Access::Store, Width::U8, Address::Register},
    {Op::Store16Ind, Access::Store, Width::U16, Address::Register},
    {Op::Store32Ind, Access::Store, Width::W32, Address::Register},
    {Op::Zero8Abs, Access::Zero, Width::U8, Address::Absolute},
    {Op::Zero16Abs, Access::Zero, Width::U16, Address::Absolute},
    {Op::Zero32Abs, Access::Zero, Width::W32, Address::Absolute},
    {Op::Zero8Frame, Access::Zero, Width::U8, Address::Frame},
    {Op::Zero16Frame, Access::Zero, Width::U16, Address::Frame},
    {Op::Zero32Frame, Access::Zero, Width::W32, Address::Frame},
    {Op::PreInc8, Access::Step, Width::U8, Address::Register, 1, false},
    {Op::PostInc8, Access::Step, Width::U8, Address::Register, 1, true},
    {Op::PreDec8, Access::Step, Width::U8, Address::Register, kDown, false},
    {Op::PostDec8, Access::Step, Width::U8, Address::Register, kDown, true},
    {Op::PreInc16, Access::Step, Width::U16, Address::Register, 1, false},
    {Op::PostInc16, Access::Step, Width::U16, Address::Register, 1, true},
    {Op::PreDec16, Access::Step, Width::U16, Address::Register, kDown, false},
    {Op::PostDec16, Access::Step, Width::U16, Address::Register, kDown, true},
    {Op::PreOp, Access::Step, Width::W32, Address::Register, 0,
     false},  // the step is the immediate
    {Op::PostOp, Access::Step, Width::W32, Address::Register, 0, true},
};

// Register operations D = D op S: the ALU opcode, or a shift's extension.
struct RegisterForm {
    Op op;
    bool shift;
    uint8_t code;
};
constexpr RegisterForm kRegisterForms[] = {
    {Op::Add, false, 0x01}, {Op::And, false, 0x21}, {Op::Or, false, 0x09}, {Op::Xor, false, 0x31},
    {Op::Shl, true, 4},     {Op::Shr, true, 5},     {Op::Sar, true, 7},
};

bool BlockCompiler::memory(const MemoryForm& form, const Step& st) {
    const Mem D = reg_slot(st.d), S = reg_slot(st.s);
    const uint32_t bytes = vm_ops::width_bytes(form.width);
    switch (form.address) {
        case Address::Absolute:
            a_.mov_imm(RDX, st.imm);
            break;
        case Address::Frame:
            frame_access(RDX, st.imm, bytes);
            break;
        case Address::Register:
            a_.load32(RDX, form.access == Access::Store ? D : S);
            break;
    }
    if (form.address != Address::Frame) check(RDX, bytes);
    switch (form.access) {
        case Access::Load:
            load_width(RAX, RDX, form.width);
            a_.store32(D, RAX);
            break;
        case Access::Store:
            store_width(RDX, read_reg(st.s, RAX), form.width);
            stored(RDX, bytes);
            break;
        case Access::Zero: {
            // Only Z changes: L and B must be those of the last compare.
            load_width(RAX, RDX, form.width);
            emit_lazy_flags(a_);
            lazy_set_ = false;
            a_.test(RAX, RAX);
            a_.setcc_mem(kE, kFlags);
            break;
        }
        case Access::Step: {
            const uint32_t delta =
                form.op == Op::PreOp || form.op == Op::PostOp ? st.imm : form.delta;
            load_width(RAX, RDX, form.width);
            a_.lea(RCX, RAX, int32_t(delta));
            if (form.width != Width::W32) a_.alu_imm(4, RCX, vm_ops::width_mask(form.width));
            store_width(RDX, RCX, form.width);
            a_.store32(D, form.post ? RAX : RCX);
            stored(RDX, bytes);
            break;
        }
    }
    return true;
}

bool BlockCompiler::plain(Op op, const Step& st) {
    const Mem D = reg_slot(st.d), S = reg_slot(st.s);
    for (const MemoryForm& form : kMemoryForms)
        if (form.op == op) return memory(form, st);
    for (const RegisterForm& form : kRegisterForms) {
        if (form.op != op) continue;
        if (!form.shift && D.host >= 0) {
            a_.alu(form.code, D.host, read_reg(st.s, RCX));
            return true;
        }
        a_.load32(RAX, D);
        a_.load32(RCX, S);
        if (form.shift)
            a_.shift_cl(form.code, RAX);
        else
            a_.alu(form.code, RAX, RCX);
        a_.store32(D, RAX);
        return true;
    }
    switch (op) {
        case Op::Mov:
            a_.store32(D, read_reg(st.s, RAX));
            return true;
        case Op::MovImm:
        case Op::MovAddr:
            a_.store_imm32(D, st.imm);
            return true;
        case Op::LeaFrame:
            frame_address(RAX, st.imm);
            a_.store32(D, RAX);
            return true;
        case Op::AddImm:
            if (D.host >= 0) {
                a_.alu_imm(0, D.host, st.imm);
                return true;
            }
            a_.load32(RAX, D);
            a_.alu_imm(0, RAX, st.imm);
            a_.store32(D, RAX);
            return true;
        case Op::Mul:
            a_.load32(RAX, D);
            a_.load32(RCX, S);
            a_.imul(RAX, RCX);
            a_.store32(D, RAX);
            return true;
        case Op::Neg:
            a_.load32(RAX, S);
            a_.neg(RAX);
            a_.store32(D, RAX);
            return true;
        case Op::Not:
            a_.load32(RAX, S);
            a_.bit_not(RAX);
            a_.store32(D, RAX);
            return true;
        case Op::Fneg:
            a_.load32(RAX, S);
            a_.alu_imm(6, RAX, vm_ops::kIntMinBits);
            a_.store32(D, RAX);
            return true;
        case Op::Set:
            a_.load32(RCX, S);
            a_.alu(0x31, RAX, RAX);
            a_.test(RCX, RCX);
            a_.setcc(kE, RAX);
            a_.store32(D, RAX);
            return true;
        case Op::Xchg:
            a_.load32(RAX, D);
            a_.load32(RCX, S);
            a_.store32(D, RCX);
            a_.store32(S, RAX);
            return true;
        case Op::Cmp:
        case Op::Sub:
            subtract(st, op == Op::Sub);
            return true;
        case Op::CmpImm:
        case Op::SubImm:
            a_.load32(RAX, D);
            a_.alu_imm(5, RAX, st.imm);
            flags_imm(RAX, st.imm);
            if (op == Op::SubImm) a_.store32(D, RAX);
            return true;
        case Op::Div:
        case Op::Mod:
            // 0 raises the error and -1 wraps: both on the interpreter.
            a_.load32(RCX, S);
            a_.lea(RDX, RCX, 1);
            a_.alu_imm(7, RDX, 1);
            bail_if(kBE);  // S + 1 is 0 or 1
            a_.load32(RAX, D);
            a_.cdq();
            a_.idiv(RCX);
            a_.store32(D, op == Op::Div ? RAX : RDX);
            return true;
        case Op::Push:
        case Op::PushImm:
            reg_plus(RDX, 7, uint32_t(-4));
            stack_check(RDX);
            a_.store32(reg_slot(7), RDX);
            if (op == Op::Push) {
                a_.store32(script(RDX), read_reg(st.s, RAX));
            } else {
                a_.mov_imm(RAX, st.imm);
                a_.store32(script(RDX), RAX);
            }
            stored(RDX, 4);
            return true;
        case Op::Pop:
            reg_plus(RCX, 7, 4);
            stack_check(RCX);
            a_.lea(RDX, RCX, -4);
            a_.store32(reg_slot(7), RCX);
            a_.load32(RAX, script(RDX));
            a_.store32(D, RAX);
            return true;
        case Op::Enter: {
            // r7 -= 24 + n; the frame's six words at r7 + n; r6 = the last of them.
            a_.load32(RCX, reg_slot(7));
            a_.alu_imm(5, RCX, kFrameBytes + st.imm);
            stack_check(RCX);
            a_.lea(RDX, RCX, int32_t(st.imm));
            check(RDX, kFrameBytes);
            a_.store32(reg_slot(7), RCX);
            for (uint32_t k = 0; k < vm_ops::kFrameWords; ++k) {
                a_.load32(RAX, reg_slot(1 + k));
                a_.store32(Mem{RSI, RDX, int32_t(4 * k)}, RAX);
            }
            a_.lea(RAX, RDX, int32_t(kFrameBytes - 4));
            a_.store32(reg_slot(6), RAX);
            stored(RDX, kFrameBytes);
            return true;
        }
        case Op::Jmp:
            taken(st.imm);
            return true;
        case Op::Call:
            call(st);
            taken(st.imm);
            return true;
        case Op::Trap: {
            // A pure built-in is called from here (its arguments through
            // r7, its result in r0); any other is the interpreter's.
            a_.mov_imm(RSI, st.imm);
            a_.mov(RDX, read_reg(7, RDX));
            a_.push(RDI);
            a_.push(RDI);  // the stack stays aligned
            a_.call_mem(kCallBuiltin);
            a_.pop(RDI);
            a_.pop(RDI);
            a_.load64(RSI, kBase);
            a_.alu_imm(7, RAX, kCallNotPure);
            bail_if(kE);
            // r0 = the result
            a_.mov64(RCX, RAX);
            a_.shift_imm64(5, RCX, 32);
            a_.store32(reg_slot(0), RCX);
            a_.test(RAX, RAX);
            const size_t called = a_.jcc_short(kE);
            exit(kNativeCalled);
            a_.patch_short(called);
            // The next slice, with a full budget for what follows the call.
            const uint32_t rest = b_.count - st.index - 1u;
            a_.mov_imm(kBudgetReg, kSliceBudget - rest);
            if (index_ + 1u == b_.steps) {
                taken(st.at + st.size);
                return true;
            }
            // The block goes on, if the new slice has not started a new epoch
            // (its bytes are then to be checked again): else the interpreter
            // goes on after the call.
            a_.load32(RCX, kEpoch);
            a_.mov_imm64(RAX, reinterpret_cast<uintptr_t>(&b_));
            a_.cmp32_mem(RCX, Mem{RAX, -1, kBlockEpoch});
            const size_t same = a_.jcc_short(kE);
            a_.store_imm32(kExitPc, st.at + st.size);
            exit(kNativeTaken);
            a_.patch_short(same);
            return true;
        }
        case Op::Ret:
            reg_plus(RCX, 7, 4);
            stack_check(RCX);
            a_.lea(RDX, RCX, -4);
            a_.store32(reg_slot(7), RCX);
            a_.load32(R10, script(RDX));
            returned();
            return true;
        default:
            return false;
    }
}

bool BlockCompiler::fused(StepKind kind, const Step& st) {
    const Mem D = reg_slot(st.d), S = reg_slot(st.s);
    uint8_t cc = 0;
    switch (kind) {
        case StepKind::CmpJump:
        case StepKind::SubJump:
            if (!host_condition(st.taken, cc)) return false;
            subtract(st, kind == StepKind::SubJump);
            branch(cc, st.imm2);
            return true;
        case StepKind::CmpImmJump:
        case StepKind::SubImmJump:
            if (!host_condition(st.taken, cc)) return false;
            a_.load32(RAX, D);
            a_.alu_imm(5, RAX, st.imm);
            flags_imm(RAX, st.imm);
            if (kind == StepKind::SubImmJump) a_.store32(D, RAX);
            branch(cc, st.imm2);
            return true;
        case StepKind::LoadSubJump: {
            // movl rD, d(r6); sub rD, rS; jcc.
            if (!host_condition(st.taken, cc)) return false;
            frame_access(RDX, st.imm, 4);
            a_.load32(RAX, script(RDX));
            const int right = read_reg(st.s, RCX);
            a_.alu(0x29, RAX, right);
            flags(RAX, right);
            a_.store32(D, RAX);
            branch(cc, st.imm2);
            return true;
        }
        case StepKind::LocalConstJump:
            // movl rS, $n; movl rD, d(r6); sub rD, rS; jcc.
            if (!host_condition(st.taken, cc)) return false;
            frame_access(RDX, st.imm3, 4);
            a_.store_imm32(S, st.imm);
            a_.load32(RAX, script(RDX));
            a_.alu_imm(5, RAX, st.imm);
            flags_imm(RAX, st.imm);
            a_.store32(D, RAX);
            branch(cc, st.imm2);
            return true;
        case StepKind::LocalsJump:
            // movl rS, d(r6); movl rD, e(r6); sub rD, rS; jcc (S is not r6).
            if (!host_condition(st.taken, cc)) return false;
            frame_access(RDX, st.imm, 4);
            frame_access(R8, st.imm3, 4);
            a_.load32(RCX, script(RDX));
            a_.store32(S, RCX);
            a_.load32(RAX, script(R8));
            a_.alu(0x29, RAX, RCX);
            flags(RAX, RCX);
            a_.store32(D, RAX);
            branch(cc, st.imm2);
            return true;
        case StepKind::LocalsAdd:
        case StepKind::LocalsSub:
        case StepKind::LocalsAddStore:
        case StepKind::LocalsSubStore:
        case StepKind::ConstAddStore:
        case StepKind::ConstSubStore: {
            // movl rS, d(r6) (or $n); movl rD, e(r6); add|sub rD, rS; then maybe
            // movl f(r6), rD, whose address sees rD when D is r6: not compiled.
            const bool constant =
                kind == StepKind::ConstAddStore || kind == StepKind::ConstSubStore;
            const bool stores =
                constant || kind == StepKind::LocalsAddStore || kind == StepKind::LocalsSubStore;
            const bool add = kind == StepKind::LocalsAdd || kind == StepKind::LocalsAddStore ||
                             kind == StepKind::ConstAddStore;
            if (stores && st.d == 6) return false;
            if (!constant) {
                frame_access(RDX, st.imm, 4);
            }
            frame_access(R8, st.imm3, 4);
            if (stores) {
                frame_access(R9, st.imm2, 4);
            }
            if (constant)
                a_.mov_imm(RCX, st.imm);
            else
                a_.load32(RCX, script(RDX));
            a_.store32(S, RCX);
            a_.load32(RAX, script(R8));
            a_.alu(add ? 0x01 : 0x29, RAX, RCX);
            if (!add) flags(RAX, RCX);
            a_.store32(D, RAX);
            if (stores) {
                a_.store32(script(R9), RAX);
                stored(R9, 4);
            }
            return true;
        }
        case StepKind::LocalAdd:
        case StepKind::LocalSub:
        case StepKind::ConstLocalAdd:
        case StepKind::ConstLocalSub: {
            // [movl rS, $n;] lea rD, d(r6); movl rD, (rD); add|sub rD, rS;
            // lea rD2, e(r6); movl (rD2), rD.
            if (st.d == 6 || st.d2 == 6) return false;
            const bool constant =
                kind == StepKind::ConstLocalAdd || kind == StepKind::ConstLocalSub;
            const bool add = kind == StepKind::LocalAdd || kind == StepKind::ConstLocalAdd;
            frame_access(RDX, st.imm, 4);
            frame_access(R8, st.imm2, 4);
            if (constant) {
                a_.mov_imm(RCX, st.imm3);
                a_.store32(S, RCX);
            }
            const int x = constant ? RCX : read_reg(st.s, RCX);
            a_.load32(RAX, script(RDX));
            a_.alu(add ? 0x01 : 0x29, RAX, x);
            if (!add) flags(RAX, x);
            a_.store32(D, RAX);
            a_.store32(reg_slot(st.d2), R8);
            a_.store32(script(R8), RAX);
            stored(R8, 4);
            return true;
        }
        case StepKind::TwoConstants:
            a_.store_imm32(D, st.imm);
            a_.store_imm32(S, st.imm2);
            return true;
        case StepKind::ElementAddress:
            // movl rD, d(r6); movl rS, $n; add rS, rD.
            frame_access(RDX, st.imm, 4);
            a_.load32(RAX, script(RDX));
            a_.store32(D, RAX);
            a_.alu_imm(0, RAX, st.imm2);
            a_.store32(S, RAX);
            return true;
        case StepKind::LoadAdd:
        case StepKind::LoadSub:
        case StepKind::LoadMul:
        case StepKind::LoadAnd:
        case StepKind::LoadOr:
        case StepKind::LoadXor:
            // movl rD, d(r6); op rD, rS.
            frame_access(RDX, st.imm, 4);
            a_.load32(RAX, script(RDX));
            {
                const int right = read_reg(st.s, RCX);
                if (kind == StepKind::LoadMul) {
                    a_.imul(RAX, right);
                } else {
                    a_.alu(kind == StepKind::LoadAdd   ? 0x01
                           : kind == StepKind::LoadSub ? 0x29
                           : kind == StepKind::LoadAnd ? 0x21
                           : kind == StepKind::LoadOr  ? 0x09
                                                       : 0x31,
                           RAX, right);
                    if (kind == StepKind::LoadSub) flags(RAX, right);
                }
            }
            a_.store32(D, RAX);
            return true;
        case StepKind::LoadDiv:
        case StepKind::LoadMod:
            frame_access(RDX, st.imm, 4);
            a_.load32(RCX, S);
            a_.lea(R8, RCX, 1);
            a_.alu_imm(7, R8, 1);
            bail_if(kBE);  // a divisor of 0 or -1
            a_.load32(RAX, script(RDX));
            a_.cdq();
            a_.idiv(RCX);
            a_.store32(D, kind == StepKind::LoadDiv ? RAX : RDX);
            return true;
        case StepKind::ConstDiv:
        case StepKind::ConstMod: {
            // movl rS, $n; movl rD, d(r6); div|mod rD, rS, by the reciprocal.
            if (st.reciprocal == 0) return false;
            frame_access(RDX, st.imm3, 4);
            a_.store_imm32(S, st.imm);
            a_.load32(R8, script(RDX));  // the dividend
            // rcx = its magnitude
            a_.mov(RCX, R8);
            a_.mov(RAX, R8);
            a_.neg(RAX);
            a_.test(R8, R8);
            a_.cmov(kS, RCX, RAX);
            a_.mov_imm64(RAX, st.reciprocal);
            const bool negative_divisor = int32_t(st.imm) < 0;
            if (kind == StepKind::ConstDiv) {
                a_.mul64(RCX);  // rdx = the quotient's magnitude
                a_.mov(RAX, RDX);
                a_.neg(RAX);
                a_.test(R8, R8);
                // negative when the signs differ
                a_.cmov(negative_divisor ? kNS : kS, RDX, RAX);
                a_.store32(D, RDX);
            } else {
                const uint32_t m = negative_divisor ? 0u - st.imm : st.imm;
                a_.imul(RAX, RCX, true);  // the fraction
                a_.mov_imm(RCX, m);
                a_.mul64(RCX);  // rdx = the remainder's magnitude
                a_.mov(RAX, RDX);
                a_.neg(RAX);
                a_.test(R8, R8);
                a_.cmov(kS, RDX, RAX);
                a_.store32(D, RDX);
            }
            return true;
        }
        case StepKind::LeaLoad:
            // lea rD, d(r6); movl rD2, (rD).
            frame_access(RDX, st.imm, 4);
            a_.store32(D, RDX);
            a_.load32(RAX, script(RDX));
            a_.store32(reg_slot(st.d2), RAX);
            return true;
        case StepKind::LeaStore:
            // lea rD, d(r6); movl (rD), rS2.
            frame_access(RDX, st.imm, 4);
            a_.store32(D, RDX);
            a_.load32(RAX, reg_slot(st.s2));
            a_.store32(script(RDX), RAX);
            stored(RDX, 4);
            return true;
        case StepKind::LeaStep:
            // lea rD, d(r6); preop|postop rD2, n.
            frame_access(RDX, st.imm, 4);
            a_.store32(D, RDX);
            a_.load32(RAX, script(RDX));
            a_.lea(RCX, RAX, int32_t(st.imm2));
            a_.store32(script(RDX), RCX);
            a_.store32(reg_slot(st.d2), st.taken ? RAX : RCX);
            stored(RDX, 4);
            return true;
        case StepKind::Continue:
            taken(st.at);
            return true;
        case StepKind::StubCall:
            call(st);  // its target is the next step
            return true;
        case StepKind::StubReturn:
            // Any other return address is the interpreter's.
            reg_plus(RCX, 7, 4);
            stack_check(RCX);
            a_.lea(RDX, RCX, -4);
            a_.load32(R10, script(RDX));
            a_.alu_imm(7, R10, st.imm);
            bail_if(kNE);
            a_.store32(reg_slot(7), RCX);
            return true;
        case StepKind::LeaveRet: {
            // leave n; ret. The outermost frame, whose leave ends the program,
            // is the interpreter's.
            const uint32_t n = st.imm;
            a_.load32(RCX, reg_slot(7));  // the frame: r7 + n
            a_.alu_imm(0, RCX, n);
            a_.mov(R10, RCX);
            a_.sub32_mem(R10, kStackBase);
            a_.alu_imm(0, R10, kFrameBytes);
            a_.cmp32_mem(R10, kStackSize);
            bail_if(kAE);
            check(RCX, kFrameBytes);
            a_.lea(R8, RCX, int32_t(kFrameBytes + 4));  // r7 after the return
            stack_check(R8);
            a_.lea(RDX, R8, -4);
            for (uint32_t k = 0; k < vm_ops::kFrameWords; ++k) {
                a_.load32(RAX, Mem{RSI, RCX, int32_t(4 * k)});
                a_.store32(reg_slot(1 + k), RAX);
            }
            a_.store32(reg_slot(7), R8);
            a_.load32(R10, script(RDX));
            returned();
            return true;
        }
        default:
            return false;
    }
}

}  // namespace

NativeCode::NativeCode() {
    // One area mapped twice, so that no page is ever writable and runnable at once.
    const size_t size = 2u << 20;
    const int fd = memfd_create("tob-native-code", MFD_CLOEXEC);
    if (fd < 0) return;
    if (ftruncate(fd, off_t(size)) == 0) {
        void* w = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        void* x = mmap(nullptr, size, PROT_READ | PROT_EXEC, MAP_SHARED, fd, 0);
        if (w != MAP_FAILED && x != MAP_FAILED) {
            writable_ = static_cast<uint8_t*>(w);
            runnable_ = static_cast<uint8_t*>(x);
            size_ = size;
            write_stubs();
            used_ = kStubBytes;
        } else {
            if (w != MAP_FAILED) munmap(w, size);
            if (x != MAP_FAILED) munmap(x, size);
        }
    }
    close(fd);
}

// The entry: rdi is the frame, rdx the code to run. The host's registers are
// saved and the stack aligned for calls; then the frame's registers are
// loaded.
// The way out: eax is the exit; the registers go back to the frame and the
// host's are restored.
// The interpreted entry: the way out with kNativeResume (step 0).
void NativeCode::write_stubs() {
    static constexpr int kSaved[] = {RBX, RBP, R12, R13, R14, R15};
    Assembler enter;
    for (int r : kSaved) enter.push(r);
    enter.store64(kHostSp, RSP);
    enter.alu_imm(4, RSP, 0xFFFFFFF0u, true);
    enter.load64(RSI, kBase);
    enter.load32(kBudgetReg, kBudget);
    for (uint32_t k = 0; k < 8; ++k)
        if (kHostOf[k] >= 0) enter.load32(kHostOf[k], frame_slot(k));
    enter.jmp_reg(RDX);

    Assembler interpreted;
    interpreted.mov_imm(RAX, kNativeResume);
    interpreted.jmp_to(int64_t(kLeaveStub) - int64_t(kInterpretedStub));

    Assembler leave;
    emit_lazy_flags(leave);
    leave.store32(kBudget, kBudgetReg);
    for (uint32_t k = 0; k < 8; ++k)
        if (kHostOf[k] >= 0) leave.store32(frame_slot(k), kHostOf[k]);
    leave.load64(RSP, kHostSp);
    for (auto it = std::rbegin(kSaved); it != std::rend(kSaved); ++it) leave.pop(*it);
    leave.ret();

    static_assert(kInterpretedStub + 16 <= kLeaveStub);
    if (enter.code.size() > kInterpretedStub || interpreted.code.size() > 16 ||
        leave.code.size() > kStubBytes - kLeaveStub)
        std::abort();  // the layout above is wrong
    std::memset(writable_, 0xCC, kStubBytes);
    std::memcpy(writable_, enter.code.data(), enter.code.size());
    std::memcpy(writable_ + kInterpretedStub, interpreted.code.data(), interpreted.code.size());
    std::memcpy(writable_ + kLeaveStub, leave.code.data(), leave.code.size());
}

NativeCode::~NativeCode() {
    if (!size_) return;
    munmap(writable_, size_);
    munmap(runnable_, size_);
}

const void* NativeCode::compile(const Block& b) {
    if (!size_) return nullptr;
    std::vector<uint8_t> code = BlockCompiler(b, int64_t(kLeaveStub) - int64_t(used_)).run();
    if (code.empty() || code.size() > size_ - used_) return nullptr;
    std::memcpy(writable_ + used_, code.data(), code.size());
    const void* entry = runnable_ + used_;
    used_ += (code.size() + 15) & ~size_t(15);
    if (used_ > size_) used_ = size_;
    ++compiled_;
    return entry;
}

#else

NativeCode::NativeCode() = default;
NativeCode::~NativeCode() = default;
const void* NativeCode::compile(const Block&) {
    return nullptr;
}

#endif

}  // namespace tob
