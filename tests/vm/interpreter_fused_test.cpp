// The fast interpreter against the plain reference: seeded random programs full
// of the sequences the compiler emits (and of wild ones), plus compiled scripts,
// run slice by slice on both; contexts, memory and reports must match after every slice.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "base/error_report.h"
#include "compiler/compiler.h"
#include "vm/block_cache.h"
#include "vm/interpreter.h"
#include "vm/opcodes.h"

namespace tob {
namespace {

constexpr uint32_t kProgramSize = 2048;
constexpr uint32_t kStackSize = 1024;
constexpr uint32_t kDataSize = 1024;

// One machine with its own script memory; two of them are built identically.
struct World : TrapHook {
    ScriptMemory memory{16u << 20};
    Machine m;
    VmContext ctx;
    ScriptAddr program = 0, stack = 0, data = 0;
    std::vector<std::string> reports;
    std::vector<uint32_t> traps;

    // A built-in that leaves a visible trace: r0 gets the number, r1 is stored.
    // The pure ones only read their argument (the word at r7) into r0.
    void trap(Machine& mm, uint32_t number, VmContext& c) override {
        traps.push_back(number);
        if (pure(number)) {
            uint32_t argument = 0;
            memory.read32(c.r[kStackPointer], argument);
            c.r[0] = number ^ argument;
            return;
        }
        c.r[0] = number;
        memory.write32(data, c.r[1]);
        if (number == 7) mm.stop.store(1);
        // One that changes where it returns to.
        if (number == 4) memory.write32(c.r[kStackPointer], c.r[1]);
    }
    // Its stores never reach code: even numbers may say so.
    bool leaves_memory(uint32_t number) const override { return number % 2 == 0 || pure(number); }
    bool pure(uint32_t number) const override { return number % 3 == 0; }

    World() {
        m.memory = &memory;
        m.trap_hook = this;
        program = memory.allocate(kProgramSize, BlockKind::Program);
        stack = memory.allocate(kStackSize, BlockKind::Stack);
        data = memory.allocate(kDataSize, BlockKind::ScriptHeap);
        ctx.pc = ctx.program_base = program;
        ctx.program_size = kProgramSize;
        ctx.stack_base = stack;
        ctx.stack_size = kStackSize;
        ctx.r[kStackPointer] = stack + kStackSize;
    }
};

// Lets `left` more slices follow at once within one call.
struct CountingGate final : SliceGate {
    int left = 0;
    bool next_slice() override { return left-- > 0; }
    bool after_call(const VmContext&) override { return left-- > 0; }
};

// Runs `fast` with run_slice and `plain` with run_slice_reference until both end,
// comparing everything after every call; `between` may change both worlds alike
// before each call, and each call runs up to 1 + `run_on` slices (a gate that
// agrees `run_on` times). Returns the number of calls.
int run_both(World& fast, World& plain, int max_slices = 2000,
             const std::function<void(World&, World&)>& between = {}, int run_on = 0) {
    int slices = 0;
    for (; slices < max_slices; ++slices) {
        if (between) between(fast, plain);
        for (World* w : {&fast, &plain}) {
            ErrorSink previous = set_error_sink(
                {[w](const std::string& text) { w->reports.push_back(text); }, true});
            CountingGate gate;
            gate.left = run_on;
            if (w == &fast)
                run_slice(w->m, w->ctx, run_on ? &gate : nullptr);
            else
                run_slice_reference(w->m, w->ctx, run_on ? &gate : nullptr);
            set_error_sink(previous);
        }
        const std::string at = "slice " + std::to_string(slices);
        EXPECT_EQ(0, std::memcmp(&fast.ctx, &plain.ctx, sizeof(VmContext)))
            << at << ": pc " << fast.ctx.pc << " vs " << plain.ctx.pc << " r " <<
            [&] {
                std::string t;
                for (int i = 0; i < 8; ++i)
                    t += std::to_string(fast.ctx.r[i]) + "/" + std::to_string(plain.ctx.r[i]) + " ";
                t += "z" + std::to_string(fast.ctx.z) + "/" + std::to_string(plain.ctx.z);
                t += " l" + std::to_string(fast.ctx.l) + "/" + std::to_string(plain.ctx.l);
                t += " b" + std::to_string(fast.ctx.b) + "/" + std::to_string(plain.ctx.b);
                return t;
            }();
        EXPECT_EQ(fast.m.stop.load(), plain.m.stop.load()) << at;
        EXPECT_EQ(fast.reports, plain.reports) << at;
        EXPECT_EQ(fast.traps, plain.traps) << at;
        for (auto [addr, size] : {std::pair{fast.program, kProgramSize},
                                  {fast.stack, kStackSize},
                                  {fast.data, kDataSize}}) {
            EXPECT_EQ(
                0, std::memcmp(fast.memory.host(addr, size), plain.memory.host(addr, size), size))
                << at << ": memory at " << addr;
        }
        if (::testing::Test::HasFailure()) return slices;
        if (fast.ctx.state != 0 || fast.m.stop.load()) return slices + 1;
    }
    return slices;
}

// Writes instructions at random: mostly the compiler's sequences, with operands
// that sometimes point into the code itself, outside memory, or at r8..r15.
class RandomProgram {
  public:
    RandomProgram(uint32_t seed, const World& w) : rng_(seed), w_(w) {}

    std::vector<uint8_t> build() {
        while (bytes_.size() + 40 < kProgramSize - 64) {
            starts_.push_back(uint32_t(bytes_.size()));
            sequence();
        }
        // Calls of stubs: one of them, else any instruction start.
        for (size_t at : stub_calls_)
            put32(at, w_.program + (stubs_.empty() ? starts_[pick(0, uint32_t(starts_.size() - 1))]
                                                   : stubs_[pick(0, uint32_t(stubs_.size() - 1))]));
        // Jump targets: usually an instruction start, sometimes anywhere.
        for (auto [at, any] : targets_) {
            uint32_t t = w_.program + (any ? pick(0, uint32_t(bytes_.size()))
                                           : starts_[pick(0, uint32_t(starts_.size() - 1))]);
            put32(at, t);
        }
        return bytes_;
    }

  private:
    uint32_t pick(uint32_t lo, uint32_t hi) {
        return std::uniform_int_distribution<uint32_t>(lo, hi)(rng_);
    }
    bool chance(int percent) { return pick(0, 99) < uint32_t(percent); }
    uint32_t reg() { return chance(2) ? pick(8, 15) : chance(5) ? pick(6, 7) : pick(0, 5); }
    uint8_t regs(uint32_t d, uint32_t s) { return uint8_t(s << 4 | d); }
    // A frame offset: a local (fp points near the stack top), or a wild one.
    uint32_t offset() {
        if (chance(85)) return uint32_t(-int32_t(pick(1, 12) * 4));
        return chance(50) ? pick(0, 0xFFFFFFFF) : uint32_t(pick(0, 40));
    }
    uint32_t imm() {
        return chance(60)   ? pick(0, 5)
               : chance(50) ? pick(0, 0xFFFFFFFF)
                            : w_.data + 4 * pick(0, 8);
    }

    void put32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes_[at + size_t(i)] = uint8_t(v >> (8 * i));
    }
    void emit(Op op, uint8_t rb = 0, uint32_t operand = 0) {
        const Instruction ins = encode(op, rb, operand);
        bytes_.insert(bytes_.end(), ins.bytes.begin(), ins.bytes.begin() + ins.size);
    }
    void jump(Op op) {
        emit(op);
        targets_.push_back({bytes_.size() - 4, chance(3)});
    }
    Op any_jump() { return Op(uint8_t(Op::Jmp) + pick(0, 10)); }

    void sequence() {
        const uint32_t x = reg(), y = reg(), a = reg(), b2 = reg();
        switch (pick(0, 17)) {
            case 0:  // compare with a constant (or what a register holds) and branch
                if (chance(70)) emit(Op::MovImm, regs(x, 0), imm());
                emit(Op::Load32Frame, regs(y, 6), offset());
                emit(Op::Sub, chance(90) ? regs(y, x) : regs(reg(), reg()));
                if (chance(80)) jump(any_jump());
                break;
            case 1:  // constant into a local, two constants
                emit(Op::MovImm, regs(x, 0), imm());
                if (chance(50))
                    emit(Op::Store32Frame, regs(6, x), offset());
                else
                    emit(Op::MovAddr, regs(y, 0), imm());
                break;
            case 2:  // v += x through the local's address
                emit(Op::LeaFrame, regs(a, 6), offset());
                emit(Op::Load32Ind, chance(90) ? regs(a, a) : regs(a, reg()));
                emit(chance(50) ? Op::Add : Op::Sub, regs(a, x));
                emit(Op::LeaFrame, regs(b2, 6), offset());
                emit(Op::Store32Ind, chance(90) ? regs(b2, a) : regs(reg(), a));
                if (chance(50)) jump(Op::Jmp);
                break;
            case 3:  // i++ and store through an address
                emit(Op::LeaFrame, regs(a, 6), offset());
                if (chance(50))
                    emit(chance(50) ? Op::PostOp : Op::PreOp, regs(a, a), chance(80) ? 1 : imm());
                else
                    emit(Op::Store32Ind, regs(a, x));
                if (chance(60)) jump(Op::Jmp);
                break;
            case 4:  // element address
                emit(Op::Load32Frame, regs(x, 6), offset());
                emit(Op::MovAddr, regs(y, 0), chance(70) ? w_.data : imm());
                emit(Op::Add, regs(y, x));
                emit(chance(50) ? Op::LoadS8Ind : Op::Store8Ind, regs(y, y));
                break;
            case 5:  // compares and jumps
                emit(chance(50) ? Op::Cmp : Op::Sub, regs(x, y));
                jump(any_jump());
                break;
            case 6:
                emit(chance(50) ? Op::CmpImm : Op::SubImm, regs(x, 0), imm());
                jump(any_jump());
                break;
            case 7:  // calls and returns
                if (chance(50)) {
                    emit(Op::Push, regs(x, x));
                    jump(Op::Call);
                    emit(Op::AddImm, 0x77, 4);
                } else {
                    emit(Op::Enter, 0, pick(0, 3) * 4);
                }
                break;
            case 8:
                emit(Op::Leave, 0, chance(80) ? 0 : pick(0, 3) * 4);
                if (chance(80)) emit(Op::Ret);
                break;
            case 9:  // point the frame somewhere else: into the code, the data, nowhere
                emit(Op::MovAddr, regs(6, 0),
                     chance(40)   ? w_.program + pick(0, 600)
                     : chance(50) ? w_.data + 64
                                  : imm());
                break;
            case 10:
                emit(Op::Trap, 0, chance(10) ? 7 : pick(0, 5));
                break;
            case 16:  // a built-in's stub, or an argument and a call of one
                if (chance(40)) {
                    // Rarely one that stops the machine or returns elsewhere;
                    // the code before it jumps over it.
                    const Instruction trap =
                        encode(Op::Trap, 0, chance(3) ? 7 : chance(10) ? 4 : pick(0, 3) * 3 / 2);
                    const Instruction ret = encode(Op::Ret, 0, 0);
                    const uint32_t after = uint32_t(bytes_.size()) + encode(Op::Jmp, 0, 0).size +
                                           trap.size + ret.size;
                    emit(Op::Jmp, 0, w_.program + after);
                    stubs_.push_back(uint32_t(bytes_.size()));
                    bytes_.insert(bytes_.end(), trap.bytes.begin(), trap.bytes.begin() + trap.size);
                    bytes_.insert(bytes_.end(), ret.bytes.begin(), ret.bytes.begin() + ret.size);
                    break;
                }
                if (chance(70)) emit(Op::Push, regs(x, x));
                emit(Op::Call);
                stub_calls_.push_back(bytes_.size() - 4);
                if (chance(70)) emit(Op::AddImm, 0x77, 4);
                break;
            case 11:  // a random instruction
                emit(Op(pick(0, kOpcodeCount - 1)), uint8_t(pick(0, 255)), imm());
                break;
            case 12:  // v += constant: the constant's register is the one added
                emit(Op::MovImm, regs(x, 0), imm());
                emit(Op::LeaFrame, regs(a, 6), offset());
                emit(Op::Load32Ind, regs(a, a));
                emit(chance(50) ? Op::Add : Op::Sub, regs(a, x));
                emit(Op::LeaFrame, regs(b2, 6), offset());
                emit(Op::Store32Ind, regs(b2, a));
                break;
            case 13:  // a local with a local or a constant: stored, compared or kept
                if (chance(50))
                    emit(Op::Load32Frame, regs(x, 6), offset());
                else
                    emit(Op::MovImm, regs(x, 0), imm());
                emit(Op::Load32Frame, regs(y, 6), offset());
                emit(chance(50) ? Op::Add : Op::Sub, chance(90) ? regs(y, x) : regs(reg(), reg()));
                if (chance(40))
                    emit(Op::Store32Frame, regs(6, chance(90) ? y : reg()), offset());
                else if (chance(50))
                    jump(any_jump());
                break;
            case 14: {  // a local divided by a constant
                static constexpr uint32_t kDivisors[] = {
                    0, 1, 0xFFFFFFFFu, 2, 3, 10, 0xFFFFFFFDu, 0x80000000u, 0x7FFFFFFFu};
                emit(Op::MovImm, regs(x, 0), chance(80) ? kDivisors[pick(0, 8)] : imm());
                emit(Op::Load32Frame, regs(y, 6), offset());
                emit(chance(50) ? Op::Div : Op::Mod, chance(90) ? regs(y, x) : regs(reg(), reg()));
                break;
            }
            case 15: {  // plain register and memory work between the sequences
                static constexpr Op kPlain[] = {
                    Op::Push,      Op::Pop,       Op::PushImm,    Op::Xchg,        Op::Set,
                    Op::Neg,       Op::Not,       Op::Shl,        Op::Sar,         Op::Mul,
                    Op::Div,       Op::LoadU8Abs, Op::LoadS16Abs, Op::Store16Abs,  Op::Zero8Frame,
                    Op::Zero32Abs, Op::PostInc8,  Op::PreDec16,   Op::LoadS8Frame, Op::Fneg,
                };
                const Op op = kPlain[pick(0, std::size(kPlain) - 1)];
                const OpcodeInfo& info = kOpcodes[uint8_t(op)];
                uint32_t operand = imm();
                if (op == Op::Zero8Frame || op == Op::LoadS8Frame) operand = offset();
                if (info.form == Form::OI && op != Op::PushImm && op != Op::Zero8Frame)
                    operand = w_.data + pick(0, 40);
                emit(op, chance(50) ? regs(x, x) : regs(x, y), operand);
                break;
            }
            default:
                emit(Op(pick(0, 1) ? Op::Mod : Op::Add), regs(x, y));
                break;
        }
    }

    std::mt19937 rng_;
    const World& w_;
    std::vector<uint8_t> bytes_;
    std::vector<uint32_t> starts_;
    std::vector<uint32_t> stubs_;
    std::vector<size_t> stub_calls_;
    std::vector<std::pair<size_t, bool>> targets_;
};

// Both worlds start alike: registers, flags and locals from the seed.
void start(World& w, const std::vector<uint8_t>& code, uint32_t seed) {
    w.memory.copy_in(w.program, code.data(), uint32_t(code.size()));
    std::mt19937 rng(seed ^ 0x5EED);
    for (int i = 0; i < 6; ++i) w.ctx.r[i] = rng() % 4 == 0 ? rng() : rng() % 8;
    w.ctx.r[kFramePointer] = w.stack + kStackSize - 64;
    w.ctx.r[kStackPointer] = w.stack + kStackSize - 128;
    w.ctx.z = uint8_t(rng() % 3);  // a flag other than 0 or 1 comes from a longjmp buffer
    w.ctx.l = uint8_t(rng() % 2);
    for (uint32_t i = 0; i < 16; ++i)
        w.memory.write32(w.stack + kStackSize - 112 + 4 * i, rng() % 5);
}

TEST(InterpreterFused, RandomProgramsMatchTheReferenceAtEverySlice) {
    int slices = 0;
    for (uint32_t seed = 1; seed <= 400; ++seed) {
        World fast, plain;
        ASSERT_EQ(fast.program, plain.program);
        const std::vector<uint8_t> code = RandomProgram(seed, fast).build();
        start(fast, code, seed);
        start(plain, code, seed);
        slices += run_both(fast, plain);
        ASSERT_FALSE(::testing::Test::HasFailure()) << "seed " << seed;
    }
    EXPECT_GT(slices, 1000);  // the programs do run for a while
}

#if defined(__x86_64__) && defined(__linux__)
// On this host most blocks run as host code: the comparisons above are
// comparisons of compiled code with the reference.
TEST(InterpreterFused, BlocksAreCompiledToHostCode) {
    const uint64_t before = BlockCache::current().compiled_blocks();
    for (uint32_t seed = 1; seed <= 100; ++seed) {
        World fast, plain;
        const std::vector<uint8_t> code = RandomProgram(seed, fast).build();
        start(fast, code, seed);
        start(plain, code, seed);
        run_both(fast, plain);
    }
    EXPECT_GT(BlockCache::current().compiled_blocks() - before, 200u);
}
#endif

// The same with slices that follow one another within one call: the slice
// boundary falls inside blocks, wherever the budget happens to end.
TEST(InterpreterFused, SlicesFollowingAtOnceMatchTheReference) {
    int calls = 0;
    for (uint32_t seed = 1; seed <= 200; ++seed) {
        World fast, plain;
        const std::vector<uint8_t> code = RandomProgram(seed, fast).build();
        start(fast, code, seed);
        start(plain, code, seed);
        calls += run_both(fast, plain, 2000, {}, int(1 + seed % 5));
        ASSERT_FALSE(::testing::Test::HasFailure()) << "seed " << seed;
    }
    EXPECT_GT(calls, 200);
}

// The budget splits fused sequences: starting the same loop with every possible
// budget phase, each slice still ends exactly where the plain one does.
TEST(InterpreterFused, SlicesEndWhereThePlainInterpreterEnds) {
    for (uint32_t nops = 0; nops < 12; ++nops) {
        World fast, plain;
        std::vector<uint8_t> code(nops, uint8_t(Op::Nop));
        auto put = [&code](Op op, uint8_t rb, uint32_t v) {
            const Instruction ins = encode(op, rb, v);
            code.insert(code.end(), ins.bytes.begin(), ins.bytes.begin() + ins.size);
        };
        const uint32_t loop = fast.program + uint32_t(code.size());
        put(Op::MovImm, 0x00, 500);                // movl r0, $500
        put(Op::Load32Frame, 0x62, uint32_t(-4));  // movl r2, -4(r6)
        put(Op::Sub, 0x02, 0);                     // sub r2, r0
        put(Op::Jge, 0, 0);                        // jge end (patched)
        const size_t exit_at = code.size() - 4;
        put(Op::LeaFrame, 0x60, uint32_t(-4));  // lea r0, -4(r6)
        put(Op::PostOp, 0x00, 1);               // postop r0, 1
        put(Op::Jmp, 0, loop);
        const uint32_t end = fast.program + uint32_t(code.size());
        for (int i = 0; i < 4; ++i) code[exit_at + size_t(i)] = uint8_t(end >> (8 * i));
        put(Op::Trap, 0, 7);  // stops the machine
        for (int run_on : {0, 1, 2}) {
            World fast2, plain2;
            start(fast2, code, nops);
            start(plain2, code, nops);
            EXPECT_GT(run_both(fast2, plain2, 2000, {}, run_on), 1) << run_on;
            EXPECT_EQ(fast2.traps.size(), 1u);
        }
    }
}

// A store that rewrites the next instruction of a fused sequence takes effect,
// as it does one instruction at a time.
TEST(InterpreterFused, StoresIntoTheFollowingCodeAreSeen) {
    World fast, plain;
    std::vector<uint8_t> code;
    auto put = [&code](Op op, uint8_t rb, uint32_t v) {
        const Instruction ins = encode(op, rb, v);
        code.insert(code.end(), ins.bytes.begin(), ins.bytes.begin() + ins.size);
    };
    // r6 points at the code, so `postop` through -d(r6) rewrites the `jmp` after it.
    const uint32_t jmp_at = fast.program + 6 + 6 + 6;
    put(Op::MovAddr, 0x06, jmp_at + 1);  // movl r6, $jmp_at + 1 (the jump target)
    put(Op::LeaFrame, 0x61, 0);          // lea r1, 0(r6)
    put(Op::PostOp, 0x11, 6);            // postop r1, 6: target moves 6 bytes on
    put(Op::Jmp, 0, fast.program + 23);  // jmp: first to trap 1, after the store to trap 7
    put(Op::Trap, 0, 1);
    put(Op::Trap, 0, 2);
    put(Op::Trap, 0, 7);
    start(fast, code, 0);
    start(plain, code, 0);
    fast.ctx.r[kFramePointer] = plain.ctx.r[kFramePointer] = 0;
    run_both(fast, plain);
    EXPECT_EQ(fast.traps, std::vector<uint32_t>{7});
}

// Code rewritten between slices (as a built-in or another script thread may do)
// runs in its new form from the next slice on: opcodes turned into the heads of
// fused sequences or jumps, and operands changed under a loop that keeps running.
TEST(InterpreterFused, CodeRewrittenBetweenSlicesIsSeen) {
    const Op heads[] = {Op::MovImm, Op::Load32Frame, Op::LeaFrame, Op::Sub, Op::Cmp,
                        Op::Jmp,    Op::Jge,         Op::Leave,    Op::Nop, Op::PostOp};
    int patched = 0;
    for (uint32_t seed = 1; seed <= 200; ++seed) {
        World fast, plain;
        const std::vector<uint8_t> code = RandomProgram(seed, fast).build();
        start(fast, code, seed);
        start(plain, code, seed);
        std::mt19937 rng(seed * 7919);
        run_both(fast, plain, 2000, [&](World& a, World& b) {
            if (rng() % 2) return;
            // Near the current pc most of the time, so that the code about to run changes.
            const uint32_t pc = a.ctx.pc - a.program;
            uint32_t at = pc < kProgramSize - 32 && rng() % 4 ? pc + rng() % 24
                                                              : uint32_t(rng() % code.size());
            uint8_t bytes[4];
            const uint32_t len = 1 + rng() % 4;
            for (uint32_t i = 0; i < len; ++i)
                bytes[i] = rng() % 2 ? uint8_t(heads[rng() % std::size(heads)]) : uint8_t(rng());
            for (World* w : {&a, &b}) w->memory.copy_in(w->program + at, bytes, len);
            forget_decoded_code();
            ++patched;
        });
        ASSERT_FALSE(::testing::Test::HasFailure()) << "seed " << seed;
    }
    EXPECT_GT(patched, 200);
}

// A loop bound patched between slices: the loop ends at the new bound.
TEST(InterpreterFused, LoopBoundRewrittenBetweenSlicesTakesEffect) {
    World fast, plain;
    std::vector<uint8_t> code;
    auto put = [&code](Op op, uint8_t rb, uint32_t v) {
        const Instruction ins = encode(op, rb, v);
        code.insert(code.end(), ins.bytes.begin(), ins.bytes.begin() + ins.size);
    };
    const uint32_t loop = fast.program;
    put(Op::MovImm, 0x00, 100000);             // movl r0, $100000 (patched to 300)
    put(Op::Load32Frame, 0x62, uint32_t(-4));  // movl r2, -4(r6)
    put(Op::Sub, 0x02, 0);                     // sub r2, r0
    put(Op::Jge, 0, loop + 36);                // jge end
    put(Op::LeaFrame, 0x60, uint32_t(-4));     // lea r0, -4(r6)
    put(Op::PostOp, 0x00, 1);                  // postop r0, 1
    put(Op::Jmp, 0, loop);
    ASSERT_EQ(code.size(), 36u);
    put(Op::Trap, 0, 7);  // stops the machine
    start(fast, code, 0);
    start(plain, code, 0);
    for (World* w : {&fast, &plain}) w->memory.write32(w->ctx.r[kFramePointer] - 4, 0);
    int slice = 0;
    const int slices = run_both(fast, plain, 2000, [&slice](World& a, World& b) {
        if (slice++ != 2) return;
        for (World* w : {&a, &b}) w->memory.write32(w->program + 2, 300);
        forget_decoded_code();
    });
    EXPECT_EQ(fast.traps, std::vector<uint32_t>{7});
    EXPECT_LT(slices, 20);
    uint32_t counter = 0;
    fast.memory.read32(fast.ctx.r[kFramePointer] - 4, counter);
    EXPECT_EQ(counter, 300u);
}

// More code than the per-thread block store holds: a loop through 16,000 small
// runs joined by jumps, runs while the store is emptied and refilled
// many times over, and still matches the reference interpreter.
TEST(InterpreterFused, CodeLargerThanTheBlockStoreRunsCorrectly) {
    constexpr uint32_t kBlocks = 16000;  // 9 bytes each
    World fast, plain;
    ScriptAddr code_at = 0;
    for (World* w : {&fast, &plain}) {
        code_at = w->memory.allocate(kBlocks * 9 + 64, BlockKind::Program);
        ASSERT_NE(code_at, 0u);
    }
    std::vector<uint8_t> code;
    auto put = [&code](Op op, uint8_t rb, uint32_t v) {
        const Instruction ins = encode(op, rb, v);
        code.insert(code.end(), ins.bytes.begin(), ins.bytes.begin() + ins.size);
    };
    // Block i: `add r3, r1; jmp next`; the last one counts rounds in r2 and
    // leaves after three.
    for (uint32_t i = 0; i + 1 < kBlocks; ++i) {
        put(Op::Add, 0x13, 0);  // add r3, r1
        put(Op::Jmp, 0, code_at + uint32_t(code.size()) + 7);
        put(Op::Nop, 0, 0);
        put(Op::Nop, 0, 0);
    }
    put(Op::AddImm, 0x02, 1);  // add r2, $1
    put(Op::CmpImm, 0x02, 3);  // cmp r2, $3
    put(Op::Jl, 0, code_at);   // jl start
    put(Op::Trap, 0, 7);       // stops the machine
    for (World* w : {&fast, &plain}) {
        w->memory.copy_in(code_at, code.data(), uint32_t(code.size()));
        w->ctx.pc = code_at;
        w->ctx.r[1] = 3;
    }
    // The jumps skip the two nops, so each block is two instructions.
    const uint32_t generation = BlockCache::current().generation();
    run_both(fast, plain, 1000);
    EXPECT_GE(BlockCache::current().generation(), generation + 2);  // emptied on the way
    EXPECT_EQ(fast.traps, std::vector<uint32_t>{7});
    EXPECT_EQ(fast.ctx.r[3], 3 * (kBlocks - 1) * 3);
}

// Code rewritten by another thread, with nothing to tell this one, is seen
// within 256 slices; after `forget_decoded_code` it is seen at the next slice.
TEST(InterpreterFused, CodeRewrittenUnannouncedIsSeenWithinTwoHundredFiftySixSlices) {
    World w;
    std::vector<uint8_t> code;
    auto put = [&code](Op op, uint8_t rb, uint32_t v) {
        const Instruction ins = encode(op, rb, v);
        code.insert(code.end(), ins.bytes.begin(), ins.bytes.begin() + ins.size);
    };
    put(Op::AddImm, 0x00, 1);    // loop: add r0, $1
    put(Op::Jmp, 0, w.program);  // jmp loop
    w.memory.copy_in(w.program, code.data(), uint32_t(code.size()));
    for (bool announce : {false, true}) {
        w.ctx.pc = w.program;
        w.memory.write32(w.program + 2, 1);
        forget_decoded_code();
        run_slice(w.m, w.ctx);
        w.memory.write32(w.program + 2, 1000);  // add r0, $1000 from now on
        if (announce) forget_decoded_code();
        int slices = 0;
        for (uint32_t before = w.ctx.r[0]; w.ctx.r[0] - before < 1000; ++slices) {
            before = w.ctx.r[0];
            run_slice(w.m, w.ctx);
        }
        EXPECT_LE(slices, announce ? 1 : 256);
    }
}

// Scripts as the compiler writes them: loops over locals and arrays, calls,
// recursion, pointers and a run-time error.
TEST(InterpreterFused, CompiledScriptsMatchTheReference) {
    const char* scripts[] = {
        "int main() { int i, n; n = 0;\n"
        "  for (i = 0; i < 700; i++) { if (i % 3 == 0) n += 2; else n -= 1; }\n"
        "  return n; }\n",
        "int fib(int n) { if (n < 2) return n; return fib(n - 1) + fib(n - 2); }\n"
        "int main() { return fib(12); }\n",
        "char flags[300];\n"
        "int main() { int i, k, count; count = 0;\n"
        "  for (i = 2; i < 300; i++) flags[i] = 1;\n"
        "  for (i = 2; i < 300; i++) if (flags[i]) { count++;\n"
        "    for (k = i + i; k < 300; k += i) flags[k] = 0; }\n"
        "  return count; }\n",
        "int a[20];\n"
        "int sum(int* p, int n) { int s; s = 0; while (n-- > 0) s += *p++; return s; }\n"
        "int main() { int i, j; for (i = 0; i < 20; i++) a[i] = i * i - 7;\n"
        "  j = 0; for (i = 0; i < 50; i++) { j += sum(a, i % 20); j ^= i << 3; }\n"
        "  return j / (j - j); }\n",
    };
    for (int run_on : {0, 3})
        for (const char* text : scripts) {
            World fast, plain;
            for (World* w : {&fast, &plain}) {
                compiler::CompileOptions o;
                o.source_path = "t.c";
                o.reader = compiler::memory_source_reader({{"t.c", text}});
                o.memory = &w->memory;
                o.base = w->program;
                o.size = kProgramSize;
                o.report_messages = false;
                o.collect_messages = true;
                ASSERT_TRUE(compiler::compile(o).ok) << text;
            }
            EXPECT_GT(run_both(fast, plain, 100000, {}, run_on), 1) << text;
            EXPECT_NE(fast.ctx.state, 0) << text;
        }
}


// A loop calling built-ins through their stubs, as compiled scripts do: the
// stubs' instructions run inside the calling block. Pure and other built-ins,
// one that makes its stub return elsewhere, and a stub rewritten between
// slices, with slices ending at every budget phase and following at once.
TEST(InterpreterFused, BuiltinStubsInALoopMatchTheReference) {
    for (int run_on : {0, 1, 3}) {
        for (uint32_t phase = 0; phase < 12; ++phase) {
            World fast, plain;
            std::vector<uint8_t> code;
            std::vector<std::pair<size_t, std::string>> fixups;
            std::map<std::string, uint32_t> labels;
            auto put = [&](Op op, uint8_t rb, uint32_t v = 0, const char* label = nullptr) {
                const Instruction ins = encode(op, rb, v);
                code.insert(code.end(), ins.bytes.begin(), ins.bytes.begin() + ins.size);
                if (label) fixups.push_back({code.size() - 4, label});
            };
            auto here = [&](const std::string& name) {
                labels[name] = fast.program + uint32_t(code.size());
            };
            for (uint32_t i = 0; i < phase; ++i) put(Op::Nop, 0);  // moves the budget's end
            here("loop");
            put(Op::MovImm, 0x00, 100);                // movl r0, $100
            put(Op::Load32Frame, 0x62, uint32_t(-4));  // movl r2, -4(r6)
            put(Op::Sub, 0x02);                        // sub r2, r0
            put(Op::Jge, 0, 0, "end");
            put(Op::Push, 0x22);  // push r2
            put(Op::Call, 0, 0, "pure");
            put(Op::AddImm, 0x77, 4);
            put(Op::Load32Frame, 0x62, uint32_t(-8));   // movl r2, -8(r6)
            put(Op::Add, 0x02);                         // add r2, r0
            put(Op::Store32Frame, 0x26, uint32_t(-8));  // movl -8(r6), r2
            // More instructions than a slice's budget before the next call.
            put(Op::MovImm, 0x00, 0);
            put(Op::Store32Frame, 0x06, uint32_t(-12));  // j = 0
            here("inner");
            put(Op::MovImm, 0x00, 60);
            put(Op::Load32Frame, 0x62, uint32_t(-12));
            put(Op::Sub, 0x02);
            put(Op::Jge, 0, 0, "inner end");
            put(Op::LeaFrame, 0x60, uint32_t(-12));
            put(Op::PostOp, 0x00, 1);
            put(Op::Jmp, 0, 0, "inner");
            here("inner end");
            put(Op::Call, 0, 0, "other");
            put(Op::Call, 0, 0, "elsewhere");
            put(Op::Jmp, 0, 0, "end");  // not where it returns
            here("back");
            put(Op::LeaFrame, 0x60, uint32_t(-4));  // lea r0, -4(r6)
            put(Op::PostOp, 0x00, 1);               // postop r0, 1
            put(Op::Jmp, 0, 0, "loop");
            here("end");
            put(Op::Trap, 0, 7);  // stops the machine
            here("pure");
            put(Op::Trap, 0, 3);
            put(Op::Ret, 0);
            here("other");
            put(Op::Trap, 0, 2);
            put(Op::Ret, 0);
            here("elsewhere");  // returns to r1: "back", past the jump after its call
            put(Op::Trap, 0, 4);
            put(Op::Ret, 0);
            for (auto& [at, name] : fixups)
                for (int i = 0; i < 4; ++i) code[at + size_t(i)] = uint8_t(labels[name] >> (8 * i));
            start(fast, code, 1);
            start(plain, code, 1);
            for (World* w : {&fast, &plain}) {
                w->memory.write32(w->ctx.r[kFramePointer] - 4, 0);
                w->memory.write32(w->ctx.r[kFramePointer] - 8, 0);
                w->ctx.r[1] = labels["back"];
            }
            int slice = 0;
            run_both(
                fast, plain, 20000,
                [&](World& a, World& b) {
                    if (slice++ != 300) return;
                    // The pure stub becomes another pure built-in.
                    const uint8_t six[2] = {6, 0};
                    for (World* w : {&a, &b}) w->memory.copy_in(labels["pure"] + 1, six, 2);
                    forget_decoded_code();
                },
                run_on);
            ASSERT_FALSE(::testing::Test::HasFailure()) << "phase " << phase << " run on " << run_on;
            EXPECT_EQ(fast.traps.back(), 7u);
            uint32_t counter = 0;
            fast.memory.read32(fast.ctx.r[kFramePointer] - 4, counter);
            EXPECT_EQ(counter, 100u);
        }
    }
}

}  // namespace
}  // namespace tob
