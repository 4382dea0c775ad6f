// The stack and the calling convention: push and pop, calls and returns, the
// frame `enter` builds and `leave` takes down, and how the outermost frame and
// a thread's entry function end the program.
#include "vm_test_support.h"

using namespace tob;
using namespace tob::test;

namespace {

class Calls : public VmTest, public TrapHook {
  protected:
    // Snapshot of the context taken by the trap hook.
    struct Snapshot {
        uint32_t number = 0;
        VmContext ctx;
    };
    std::vector<Snapshot> traps;

    void install_trap_hook() { m.trap_hook = this; }
    void trap(Machine&, uint32_t number, VmContext& c) override { traps.push_back({number, c}); }
};

TEST_F(Calls, PushAndPopMoveWordsThroughTheStack) {
    // Below an outer word: popping the stack's topmost word would leave the stack.
    ctx.r[7] = stack_top() - 4;
    ctx.r[1] = 0xCAFEF00D;
    Assembler a = assembler();
    a.reg(Op::Push, 7, 1).imm(Op::PushImm, 77).reg(Op::Pop, 2, 7).reg(Op::Pop, 3, 7).stop();
    exec(a);
    EXPECT_EQ(ctx.r[2], 77u);
    EXPECT_EQ(ctx.r[3], 0xCAFEF00Du);
    EXPECT_EQ(ctx.r[7], stack_top() - 4);
    EXPECT_EQ(word(stack_top() - 8), 0xCAFEF00Du);
    EXPECT_EQ(word(stack_top() - 12), 77u);
}

TEST_F(Calls, FramesFollowTheCallingConvention) {
    // main: f(1, 2, 3) with r1..r6 holding values the callee must preserve.
    // f(a, b, c) = a + b * c, with one local.
    install_trap_hook();
    Assembler a = assembler();
    auto f = a.label();
    auto after_call = a.label();
    for (uint32_t i = 1; i <= 6; ++i) a.movi(i, 10 + i);
    a.imm(Op::PushImm, 3).imm(Op::PushImm, 2).imm(Op::PushImm, 1);
    a.to(Op::Call, f);
    a.bind(after_call).reg_imm(Op::AddImm, 7, 12, 7).trap(1);
    a.bind(f).imm(Op::Enter, 4).trap(2);
    a.reg_imm(Op::Load32Frame, 0, 12, 6)
        .reg_imm(Op::Load32Frame, 1, 16, 6)
        .reg(Op::Mul, 0, 1)
        .reg_imm(Op::Load32Frame, 1, 8, 6)
        .reg(Op::Add, 0, 1)
        .reg_imm(Op::Store32Frame, 6, uint32_t(-24), 0)
        .reg_imm(Op::Load32Frame, 5, uint32_t(-24), 6)
        .imm(Op::Leave, 4)
        .op(Op::Ret);
    load(a);
    run(2);
    ASSERT_EQ(traps.size(), 2u);

    // Inside f, right after `enter 4`.
    const VmContext& in = traps[0].ctx;
    const uint32_t fp = in.r[6];
    EXPECT_EQ(fp, stack_top() - 12 - 4 - 4);
    EXPECT_EQ(word(fp), 16u) << "caller's r6";
    const uint32_t return_address = word(fp + 4);
    EXPECT_EQ(return_address, a.at(after_call));
    EXPECT_EQ(word(fp + 8), 1u);
    EXPECT_EQ(word(fp + 12), 2u);
    EXPECT_EQ(word(fp + 16), 3u);
    for (uint32_t i = 1; i <= 5; ++i) EXPECT_EQ(word(fp - 24 + 4 * i), 10 + i) << "saved r" << i;
    EXPECT_EQ(in.r[7], fp - 20 - 4);
    // The return address points at the caller's clean-up, which the trap
    // dispatcher recognises by its first two bytes.
    EXPECT_EQ(uint16_t(host(return_address)[0] | host(return_address)[1] << 8), kCallCleanupTag);

    // Back in main after the clean-up.
    const VmContext& out = traps[1].ctx;
    EXPECT_EQ(out.r[0], 7u);
    for (uint32_t i = 1; i <= 6; ++i) EXPECT_EQ(out.r[i], 10 + i) << "r" << i << " restored";
    EXPECT_EQ(out.r[7], stack_top());
    EXPECT_EQ(out.state, 0);
}

TEST_F(Calls, CallThroughARegisterPushesTheNextInstruction) {
    install_trap_hook();
    ctx.r[7] = stack_top() - 4;
    Assembler a = assembler();
    auto f = a.label();
    a.reg_label(Op::MovAddr, 0, f).reg(Op::CallReg, 0, 0).trap(1);
    a.bind(f).trap(2).op(Op::Ret);
    load(a);
    run(2);
    ASSERT_EQ(traps.size(), 2u);
    EXPECT_EQ(traps[0].number, 2u);
    EXPECT_EQ(word(traps[0].ctx.r[7]), program + 8) << "return address after the 2-byte call";
    EXPECT_EQ(traps[1].number, 1u);
    EXPECT_EQ(traps[1].ctx.r[7], stack_top() - 4);
}

TEST_F(Calls, LeavingTheOutermostFrameEndsTheProgramWithoutRestoring) {
    // A program started by the engine: nothing pushed, `main` entered directly.
    Assembler a = assembler();
    a.imm(Op::Enter, 8).movi(1, 99).movi(6, 98).imm(Op::Leave, 8).movi(1, 1);
    exec(a, ContextState::Finished);
    EXPECT_EQ(ctx.state, uint8_t(ContextState::Finished));
    EXPECT_EQ(ctx.r[1], 99u);
    EXPECT_EQ(ctx.r[6], 98u);
    EXPECT_EQ(ctx.r[7], stack_top() - 32);
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(m.stop.load(), 0u);
    // A finished context never runs again.
    const uint32_t pc = ctx.pc;
    run_slice(m, ctx);
    EXPECT_EQ(ctx.pc, pc);
}

TEST_F(Calls, ReturningToTheThreadSentinelEndsTheThread) {
    // A script thread's entry: argument and the 0xFFFFFFFF return address pushed.
    ctx.r[7] -= 8;
    set_word(ctx.r[7], kThreadReturnAddress);
    set_word(ctx.r[7] + 4, 5);
    Assembler a = assembler();
    a.imm(Op::Enter, 0)
        .movi(1, 99)
        .reg_imm(Op::Load32Frame, 0, 8, 6)
        .imm(Op::Leave, 0)
        .op(Op::Ret)
        .movi(0, 1234);
    exec(a, ContextState::Finished);
    EXPECT_EQ(ctx.state, uint8_t(ContextState::Finished));
    EXPECT_EQ(ctx.r[0], 5u);
    EXPECT_EQ(ctx.r[1], 0u) << "inner frames restore their registers";
    EXPECT_EQ(ctx.pc, kThreadReturnAddress);
    EXPECT_EQ(ctx.r[7], stack_top() - 4);
    EXPECT_TRUE(reports.empty());
}

TEST_F(Calls, RecursionComputesFibonacci) {
    // fib(n) = n < 2 ? n : fib(n - 1) + fib(n - 2), as the code generator
    // would lay it out.
    Assembler a = assembler();
    auto fib = a.label(), small = a.label(), done = a.label();
    a.imm(Op::Enter, 0).imm(Op::PushImm, 15).to(Op::Call, fib).reg_imm(Op::AddImm, 7, 4, 7);
    a.imm(Op::Leave, 0);
    a.bind(fib).imm(Op::Enter, 0).reg_imm(Op::Load32Frame, 1, 8, 6);
    a.reg_imm(Op::CmpImm, 1, 2).to(Op::Jl, small);
    a.reg_imm(Op::SubImm, 1, 1).reg(Op::Push, 1, 1).to(Op::Call, fib).reg_imm(Op::AddImm, 7, 4, 7);
    a.reg(Op::Mov, 2, 0);
    a.reg_imm(Op::SubImm, 1, 1).reg(Op::Push, 1, 1).to(Op::Call, fib).reg_imm(Op::AddImm, 7, 4, 7);
    a.reg(Op::Add, 0, 2).to(Op::Jmp, done);
    a.bind(small).reg(Op::Mov, 0, 1);
    a.bind(done).imm(Op::Leave, 0).op(Op::Ret);
    load(a);
    EXPECT_GT(run(), 10);
    EXPECT_EQ(ctx.state, uint8_t(ContextState::Finished));
    EXPECT_TRUE(reports.empty()) << joined_reports();
    EXPECT_EQ(ctx.r[0], 610u);
    EXPECT_EQ(ctx.r[7], stack_top() - 24);
}

}  // namespace
