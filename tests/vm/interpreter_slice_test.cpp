// Time slices and failures: the 255-instruction budget, `trap` ending a slice,
// the stop flag and the context state, and the four run-time errors, including
// every address that lies outside script memory.
#include <functional>

#include "base/settings.h"
#include "vm_test_support.h"

using namespace tob;
using namespace tob::test;

namespace {

class Slices : public VmTest, public TrapHook {
  protected:
    std::vector<std::pair<uint32_t, uint32_t>> traps;  // (number, pc at the call)

    void install_trap_hook() { m.trap_hook = this; }
    void trap(Machine&, uint32_t number, VmContext& c) override {
        traps.push_back({number, c.pc});
        c.r[0] = 1000 + number;  // what a dispatcher does with a built-in's result
    }
};

TEST_F(Slices, ABudgetOf255InstructionsPerSlice) {
    Assembler a = assembler();
    a.nop(1000).imm(Op::Leave, 0);  // leaving the outermost frame ends the program
    load(a);
    const uint32_t pcs[] = {255, 510, 765};
    for (uint32_t expected : pcs) {
        run_slice(m, ctx);
        EXPECT_EQ(ctx.pc, program + expected);
        EXPECT_EQ(ctx.state, 0);
    }
    EXPECT_EQ(run_slice(m, ctx), 1);
    EXPECT_EQ(ctx.pc, program + 1005);
    EXPECT_EQ(ctx.state, uint8_t(ContextState::Finished));
    EXPECT_TRUE(reports.empty());
}

TEST_F(Slices, TrapEndsTheSliceAndTheNextStartsAfterIt) {
    install_trap_hook();
    Assembler a = assembler();
    a.movi(1, 1).movi(2, 2).movi(3, 3).trap(0x1234).reg(Op::Mov, 4, 0).trap(7);
    load(a);
    run_slice(m, ctx);
    ASSERT_EQ(traps.size(), 1u);
    EXPECT_EQ(traps[0].first, 0x1234u);
    EXPECT_EQ(traps[0].second, program + 21) << "pc already past the trap";
    EXPECT_EQ(ctx.r[3], 3u);
    EXPECT_EQ(ctx.r[0], 0x1234u + 1000) << "the hook's result is kept";
    run_slice(m, ctx);
    ASSERT_EQ(traps.size(), 2u);
    EXPECT_EQ(ctx.r[4], 0x1234u + 1000);
    EXPECT_EQ(ctx.r[0], 1007u);
}

TEST_F(Slices, TrapWithoutAHookOnlyEndsTheSlice) {
    Assembler a = assembler();
    a.movi(0, 5).trap(3).movi(0, 6);
    exec(a);
    EXPECT_EQ(ctx.r[0], 5u);
    EXPECT_EQ(ctx.pc, program + 9);
}

TEST_F(Slices, StoppedMachinesAndEndedContextsRunNothing) {
    Assembler a = assembler();
    a.movi(0, 5);
    load(a);
    struct Case {
        uint32_t stop;
        uint8_t state;
    } cases[] = {{1, 0}, {0, 1}, {0, 2}, {0, 3}};
    for (const auto& c : cases) {
        reset_context();
        m.stop.store(c.stop);
        ctx.state = c.state;
        EXPECT_EQ(run_slice(m, ctx), 1);
        EXPECT_EQ(ctx.pc, program);
        EXPECT_EQ(ctx.r[0], 0u);
        EXPECT_EQ(ctx.state, c.state);
    }
    EXPECT_TRUE(reports.empty());
}

TEST_F(Slices, AnErrorInOneContextStopsEveryOther) {
    Assembler a = assembler();
    a.raw8(0xFF);
    load(a);
    VmContext other = ctx;
    run_slice(m, ctx);
    expect_error(RuntimeError::IllegalInstruction);
    run_slice(m, other);
    EXPECT_EQ(other.pc, program);
    EXPECT_EQ(other.state, 0);
}

TEST(RuntimeErrors, MessagesAreReportedAtLevelOne) {
    EXPECT_STREQ(runtime_error_message(RuntimeError::DivideByZero), "０で除算しました");
    EXPECT_STREQ(runtime_error_message(RuntimeError::ProgramOverrun),
                 "プログラム領域をオーバーしました");
    EXPECT_STREQ(runtime_error_message(RuntimeError::StackOverrun),
                 "スタック領域をオーバーしました");
    EXPECT_STREQ(runtime_error_message(RuntimeError::IllegalInstruction),
                 "不正な命令コードが現れました");

    std::vector<std::string> shown;
    ErrorSink previous = set_error_sink({[&](const std::string& t) { shown.push_back(t); }, false});
    const int32_t old_setting = settings().error;
    for (int32_t level : {0, 1}) {
        settings().error = level;
        set_error_level(level);
        Machine m;
        VmContext ctx;
        raise_runtime_error(m, ctx, RuntimeError::StackOverrun);
        // Whether or not the report is shown, the machine stops.
        EXPECT_EQ(ctx.state, uint8_t(ContextState::Failed));
        EXPECT_EQ(m.stop.load(), 1u);
    }
    settings().error = old_setting;
    set_error_level(old_setting);
    set_error_sink(previous);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "スタック領域をオーバーしました");
}

class Errors : public VmTest {
  protected:
    struct Case {
        const char* what;
        std::function<void(Errors&, Assembler&)> build;  // code; may also set registers
        RuntimeError error;
        uint32_t failing_at;  // offset of the failing instruction in the program
    };

    void check(const Case& c) {
        SCOPED_TRACE(c.what);
        reset_context();
        std::memset(host(program, kProgramSize), 0, kProgramSize);
        Assembler a = assembler();
        c.build(*this, a);
        load(a);
        run(4);
        expect_error(c.error);
        EXPECT_EQ(ctx.pc, program + c.failing_at);
    }
};

TEST_F(Errors, EachFailureRaisesItsRunTimeError) {
    using E = RuntimeError;
    const uint32_t limit = memory_.limit();
    const Case cases[] = {
        {"div by zero", [](Errors&, Assembler& a) { a.movi(1, 7).reg(Op::Div, 1, 2); },
         E::DivideByZero, 6},
        {"mod by zero", [](Errors&, Assembler& a) { a.reg(Op::Mod, 1, 2); }, E::DivideByZero, 0},
        {"opcode 92", [](Errors&, Assembler& a) { a.nop().raw8(92); }, E::IllegalInstruction, 1},
        {"opcode 255", [](Errors&, Assembler& a) { a.raw8(0xFF); }, E::IllegalInstruction, 0},
        {"D nibble 8", [](Errors&, Assembler& a) { a.reg(Op::Add, 8, 0); }, E::IllegalInstruction,
         0},
        {"S nibble 15", [](Errors&, Assembler& a) { a.reg(Op::Mov, 0, 15); }, E::IllegalInstruction,
         0},
        {"unused nibble 9", [](Errors&, Assembler& a) { a.reg_imm(Op::Load32Frame, 0, 0, 9); },
         E::IllegalInstruction, 0},
        {"push at the stack base",
         [](Errors& t, Assembler& a) {
             t.ctx.r[7] = t.stack;
             a.imm(Op::PushImm, 1);
         },
         E::StackOverrun, 0},
        {"pop of the topmost word", [](Errors&, Assembler& a) { a.reg(Op::Pop, 0, 7); },
         E::StackOverrun, 0},
        {"ret with an empty stack", [](Errors&, Assembler& a) { a.nop().op(Op::Ret); },
         E::StackOverrun, 1},
        {"enter beyond the stack", [](Errors&, Assembler& a) { a.imm(Op::Enter, kStackSize); },
         E::StackOverrun, 0},
        {"runaway recursion",
         [](Errors&, Assembler& a) {
             auto f = a.label();
             a.bind(f).to(Op::Call, f);
         },
         E::StackOverrun, 0},
        {"call through r0 = 0", [](Errors&, Assembler& a) { a.reg(Op::CallReg, 0, 0); },
         E::ProgramOverrun, 0},
        {"load from 0", [](Errors&, Assembler& a) { a.reg(Op::LoadU8Ind, 0, 1); },
         E::ProgramOverrun, 0},
        {"load below the guard",
         [](Errors&, Assembler& a) { a.reg_imm(Op::Load32Abs, 0, ScriptMemory::kLowGuard - 2); },
         E::ProgramOverrun, 0},
        {"load across the limit",
         [limit](Errors&, Assembler& a) { a.reg_imm(Op::Load32Abs, 0, limit - 3); },
         E::ProgramOverrun, 0},
        {"store at 0xFFFFFFFE",
         [](Errors& t, Assembler& a) {
             t.ctx.r[3] = 0xFFFFFFFE;
             a.reg(Op::Store16Ind, 3, 0);
         },
         E::ProgramOverrun, 0},
        {"frame store wrapping around",
         [](Errors& t, Assembler& a) {
             t.ctx.r[6] = 0x20;
             a.reg_imm(Op::Store32Frame, 6, 0xFFFFFFF0, 0);
         },
         E::ProgramOverrun, 0},
        {"increment through a wild pointer",
         [](Errors& t, Assembler& a) {
             t.ctx.r[2] = 0x7FFFFFFF;
             a.reg(Op::PreInc16, 2);
         },
         E::ProgramOverrun, 0},
        {"zero test beyond the limit",
         [limit](Errors&, Assembler& a) { a.nop(2).imm(Op::Zero32Abs, limit); }, E::ProgramOverrun,
         2},
        {"stack outside script memory",
         [](Errors& t, Assembler& a) {
             t.ctx.stack_base = 0;
             t.ctx.stack_size = 0xFFFFFFFF;
             t.ctx.r[7] = 0x100;
             a.reg(Op::Push, 7, 0);
         },
         E::ProgramOverrun, 0},
        {"enter with the frame below the guard",
         [](Errors& t, Assembler& a) {
             t.ctx.stack_base = 0;
             t.ctx.stack_size = 0x80000000;
             t.ctx.r[7] = 0x40;
             a.imm(Op::Enter, 0);
         },
         E::ProgramOverrun, 0},
    };
    for (const auto& c : cases) check(c);
}

TEST_F(Errors, DivideByZeroLeavesTheDestination) {
    ctx.r[1] = 42;
    load(assembler().reg(Op::Div, 1, 2));
    run_slice(m, ctx);
    expect_error(RuntimeError::DivideByZero);
    EXPECT_EQ(ctx.r[1], 42u);
}

TEST_F(Errors, FetchesOutsideScriptMemoryOverrun) {
    const uint32_t limit = memory_.limit();
    struct Jump {
        const char* what;
        uint32_t target;
    } jumps[] = {{"address 0", 0},
                 {"below the guard", ScriptMemory::kLowGuard - 1},
                 {"the limit", limit},
                 {"0xFFFFFFFF", 0xFFFFFFFF}};
    for (const auto& j : jumps) {
        SCOPED_TRACE(j.what);
        reset_context();
        load(assembler().imm(Op::Jmp, j.target));
        run_slice(m, ctx);
        expect_error(RuntimeError::ProgramOverrun);
        EXPECT_EQ(ctx.pc, j.target);
    }
}

TEST_F(Errors, InstructionsEndingAtTheLimitStillRun) {
    // The last bytes of script memory: a 6-byte move that ends exactly at the
    // limit runs; the fetch after it overruns.
    const uint32_t limit = memory_.limit();
    Assembler tail(limit - 7);
    tail.nop().movi(0, 5);
    std::memcpy(host(limit - 7, 7), tail.bytes().data(), 7);
    load(assembler().imm(Op::Jmp, limit - 7));
    run_slice(m, ctx);
    expect_error(RuntimeError::ProgramOverrun);
    EXPECT_EQ(ctx.r[0], 5u);
    EXPECT_EQ(ctx.pc, limit);

    // The same move one byte later does not fit and never runs.
    reset_context();
    Assembler cut(limit - 5);
    cut.movi(0, 6);
    std::memcpy(host(limit - 5, 5), cut.bytes().data(), 5);
    load(assembler().imm(Op::Jmp, limit - 5));
    run_slice(m, ctx);
    expect_error(RuntimeError::ProgramOverrun);
    EXPECT_EQ(ctx.r[0], 0u);
    EXPECT_EQ(ctx.pc, limit - 5);
}

TEST_F(Errors, AMachineWithoutMemoryFailsCleanly) {
    m.memory = nullptr;
    run_slice(m, ctx);
    expect_error(RuntimeError::ProgramOverrun);
}

}  // namespace
