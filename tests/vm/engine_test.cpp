// Programs, script threads and the thread built-ins, on hand-assembled
// programs served by a stand-in compiler.
#include "vm/engine.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <functional>
#include <map>
#include <thread>

#include "vm_test_support.h"

using namespace tob;
using namespace tob::test;

namespace {

// Writes one program: `jmp main` first, helpers to call built-ins through
// trap stubs (emitted at the end), and access to extern words.
class ProgramWriter {
  public:
    ProgramWriter(ScriptAddr origin, ScriptAddr external) : a(origin), external_(external) {
        main_ = a.label();
        a.to(Op::Jmp, main_);
    }
    void begin_main() {
        a.bind(main_);
        a.imm(Op::Enter, 0);
    }
    void end_main() { a.imm(Op::Leave, 0).op(Op::Ret); }
    // Calls built-in `name` with immediate arguments; the result is in r0.
    void call(const char* name, std::vector<uint32_t> args) {
        for (auto it = args.rbegin(); it != args.rend(); ++it) a.imm(Op::PushImm, *it);
        a.to(Op::Call, stub(name));
        if (!args.empty()) a.reg_imm(Op::AddImm, 7, uint32_t(args.size() * 4), 7);
    }
    // Calls a built-in whose first argument is the address of a label.
    void call_with_label(const char* name, Assembler::Label l, std::vector<uint32_t> rest) {
        for (auto it = rest.rbegin(); it != rest.rend(); ++it) a.imm(Op::PushImm, *it);
        a.reg_label(Op::MovAddr, 1, l);
        a.reg(Op::Push, 1, 1);
        a.to(Op::Call, stub(name));
        a.reg_imm(Op::AddImm, 7, uint32_t(4 + rest.size() * 4), 7);
    }
    ScriptAddr ext(uint32_t word) const { return external_ + 4 * word; }
    void store_r0(uint32_t word) { a.reg_imm(Op::Store32Abs, 0, ext(word), 0); }
    // A zero-terminated string placed in the code (jumped over).
    Assembler::Label string(const std::string& s) {
        Assembler::Label l = a.label(), after = a.label();
        a.to(Op::Jmp, after);
        a.bind(l);
        for (char c : s) a.raw8(uint8_t(c));
        a.raw8(0);
        a.bind(after);
        return l;
    }
    std::vector<uint8_t> finish() {
        for (auto& [n, l] : stubs_) {
            a.bind(l);
            a.trap(uint16_t(trap_number(n))).op(Op::Ret);
        }
        return a.finish();
    }
    Assembler a;

  private:
    Assembler::Label stub(const std::string& name) {
        auto it = stubs_.find(name);
        if (it == stubs_.end()) it = stubs_.emplace(name, a.label()).first;
        return it->second;
    }
    ScriptAddr external_;
    Assembler::Label main_;
    std::map<std::string, Assembler::Label> stubs_;
};

class EngineTest : public ::testing::Test {
  public:
    EngineTest() : engine(256u << 20) {
        previous_ = set_error_sink({[this](const std::string& t) {
                                        std::lock_guard lock(mutex);
                                        reports.push_back(t);
                                    },
                                    true});
        engine.allocate_external_area(4096);
        engine.set_sizes(0, 4096);
        engine.set_compiler([this](std::string_view path, ScriptAddr base,
                                   uint32_t size) -> std::optional<uint32_t> {
            auto it = programs.find(std::string(path));
            if (it == programs.end()) return std::nullopt;
            ProgramWriter w(base ? base : 0x10000, engine.external_base());
            it->second(w);
            std::vector<uint8_t> bytes = w.finish();
            ++compiles;
            if (base == 0) return uint32_t(bytes.size());
            if (bytes.size() > size) return std::nullopt;
            engine.memory().copy_in(base, bytes.data(), uint32_t(bytes.size()));
            return uint32_t(bytes.size());
        });
        engine.set_exit_handler([this] { ++exit_calls; });
        engine.initialise();
        engine.reset_thread_table();
    }
    ~EngineTest() override {
        engine.stop_all_threads();
        set_error_sink(previous_);
    }

    // Runs "main.c" until every thread has ended (or 5 s pass).
    ScriptEngine::Outcome run_main() {
        EXPECT_TRUE(engine.run_program("main.c"));
        wait_for_threads();
        return engine.outcome();
    }
    void wait_for_threads() {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (engine.any_thread_alive() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_FALSE(engine.any_thread_alive());
    }
    uint32_t ext(uint32_t word) {
        uint32_t v = 0;
        engine.memory().read32(engine.external_base() + 4 * word, v);
        return v;
    }

    ScriptEngine engine;
    std::map<std::string, std::function<void(ProgramWriter&)>> programs;
    std::mutex mutex;
    std::vector<std::string> reports;
    int compiles = 0;
    int exit_calls = 0;
    ErrorSink previous_;
};

}  // namespace

TEST_F(EngineTest, LoadingRulesAndMeasuredSizes) {
    programs["a.c"] = programs["a.C"] = programs["a.cpp"] = programs["a"] = [](ProgramWriter& w) {
        w.begin_main();
        w.end_main();
    };
    VmContext* ctx = engine.load_program("a.C", 0, 1024);
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(compiles, 2);  // measured, then compiled into an exactly full area
    EXPECT_EQ(ctx->program_size, 5u + 5 + 5 + 1);
    EXPECT_EQ(ctx->pc, ctx->program_base);
    EXPECT_EQ(ctx->r[kStackPointer], ctx->stack_base + 1024);
    engine.release_context(ctx);
    EXPECT_EQ(engine.load_program("a.cpp", 0, 1024), nullptr);
    EXPECT_EQ(engine.load_program("a", 0, 1024), nullptr);
    EXPECT_EQ(engine.load_program("a.c", 8, 1024), nullptr);  // too small: the compile fails
    EXPECT_EQ(engine.memory().block_count(BlockKind::Program), 0u);
}

TEST_F(EngineTest, ProgramAreaLivesUntilItsLastContextIsReleased) {
    VmContext* main = engine.create_context(100, 512);
    ASSERT_NE(main, nullptr);
    uint32_t count = 0;
    engine.memory().read32(main->refcount_addr, count);
    EXPECT_EQ(count, 1u);
    VmContext* clone = engine.clone_context(*main, 0);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->stack_size, 512u);
    EXPECT_NE(clone->stack_base, main->stack_base);
    engine.memory().read32(main->refcount_addr, count);
    EXPECT_EQ(count, 2u);
    ScriptAddr base = main->program_base;
    engine.release_context(main);
    EXPECT_TRUE(engine.in_live_program(base + 10));
    EXPECT_EQ(engine.memory().block_size(base), 112u);
    engine.release_context(clone);
    EXPECT_FALSE(engine.in_live_program(base + 10));
    EXPECT_EQ(engine.memory().block_size(base), 0u);
    engine.release_context(nullptr);
}

TEST_F(EngineTest, MainResultAndNormalEnd) {
    programs["main.c"] = [](ProgramWriter& w) {
        w.begin_main();
        w.a.movi(0, 300);
        w.end_main();
    };
    ScriptEngine::Outcome o = run_main();
    EXPECT_TRUE(o.finished);
    EXPECT_FALSE(o.failed);
    EXPECT_EQ(o.result, 300u);
    EXPECT_EQ(engine.memory().block_count(BlockKind::Program), 0u);
    EXPECT_EQ(engine.memory().block_count(BlockKind::Stack), 0u);
}

TEST_F(EngineTest, ThreadsBeginSuspendedResumeAndSleep) {
    programs["main.c"] = [](ProgramWriter& w) {
        Assembler::Label entry = w.a.label();
        w.begin_main();
        w.call_with_label("thd_begin", entry, {7, 1, 10});
        w.store_r0(0);
        w.call("sleep", {30});  // suspended: the entry must not have run
        w.a.reg_imm(Op::Load32Abs, 0, w.ext(3));
        w.store_r0(4);
        w.a.reg_imm(Op::Load32Abs, 1, w.ext(0));  // thread number
        w.a.reg(Op::Push, 1, 1);
        w.call("thd_resume", {});  // the pushed r1 is its argument
        w.a.reg_imm(Op::AddImm, 7, 4, 7);
        w.store_r0(1);
        w.a.reg_imm(Op::Load32Abs, 1, w.ext(0));
        w.a.reg(Op::Push, 1, 1);
        w.call("thd_resume", {});
        w.a.reg_imm(Op::AddImm, 7, 4, 7);
        w.store_r0(2);
        w.call("sleep", {50});
        w.end_main();
        // entry(arg): ext[3] = arg; its return ends the thread.
        w.a.bind(entry);
        w.a.imm(Op::Enter, 0);
        w.a.reg_imm(Op::Load32Frame, 0, 8, 6);
        w.store_r0(3);
        w.a.imm(Op::Leave, 0).op(Op::Ret);
    };
    ScriptEngine::Outcome o = run_main();
    EXPECT_TRUE(o.finished) << (reports.empty() ? "" : reports[0]);
    EXPECT_EQ(ext(0), 1u);  // the second slot
    EXPECT_EQ(ext(4), 0u);  // nothing ran while suspended
    EXPECT_EQ(ext(1), 0u);  // resuming a count of 1 leaves 0
    EXPECT_EQ(ext(2), 0u);  // and again: already below 1
    EXPECT_EQ(ext(3), 7u);  // the entry ran with its argument
}

TEST_F(EngineTest, RuntimeErrorInOneThreadStopsEveryThread) {
    programs["main.c"] = [](ProgramWriter& w) {
        Assembler::Label entry = w.a.label(), spin = w.a.label();
        w.begin_main();
        w.call_with_label("thd_begin", entry, {0, 0, 0});
        w.a.bind(spin).to(Op::Jmp, spin);
        w.a.bind(entry);
        w.a.imm(Op::Enter, 0).movi(1, 5).movi(2, 0).reg(Op::Div, 1, 2);
        w.a.imm(Op::Leave, 0).op(Op::Ret);
    };
    ScriptEngine::Outcome o = run_main();
    EXPECT_TRUE(o.failed);
    EXPECT_FALSE(o.finished);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "０で除算しました");
    EXPECT_TRUE(engine.stopped());
    EXPECT_FALSE(engine.run_program("main.c"));  // nothing starts until a reset
    engine.stop_all_threads();
    EXPECT_FALSE(engine.stopped());
}

TEST_F(EngineTest, ExitClosesTheApplication) {
    programs["main.c"] = [](ProgramWriter& w) {
        Assembler::Label spin = w.a.label();
        w.begin_main();
        w.call("exit", {});
        w.a.bind(spin).to(Op::Jmp, spin);
    };
    ScriptEngine::Outcome o = run_main();
    EXPECT_TRUE(o.exited);
    EXPECT_FALSE(o.failed);
    EXPECT_EQ(exit_calls, 1);
    EXPECT_TRUE(reports.empty());
}

TEST_F(EngineTest, StopAllThreadsEndsRunawayThreads) {
    programs["main.c"] = [](ProgramWriter& w) {
        Assembler::Label entry = w.a.label(), spin = w.a.label();
        w.begin_main();
        w.call_with_label("thd_begin", entry, {0, 0, 0});
        w.a.bind(spin).to(Op::Jmp, spin);
        w.a.bind(entry);
        Assembler::Label loop = w.a.label();
        w.a.bind(loop).to(Op::Jmp, loop);
    };
    ASSERT_TRUE(engine.run_program("main.c"));
    // Both threads are running (a loaded machine may take a moment to start them).
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (engine.running_threads() < 2 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(engine.running_threads(), 2);
    engine.stop_all_threads();
    EXPECT_EQ(engine.running_threads(), 0);
    EXPECT_FALSE(engine.any_thread_alive());
    EXPECT_FALSE(engine.stopped());
    EXPECT_FALSE(engine.outcome().failed);
    EXPECT_EQ(engine.memory().block_count(BlockKind::Stack), 0u);
}

// Threads blocked in `sleep` or suspended use no processor time and no longer
// count as runnable, and they see at once (well before their longest wait of
// 250 ms) what ends the wait: a resume from another thread, stop-all-threads.
TEST_F(EngineTest, WaitingThreadsAreIdleAndSeeChangesAtOnce) {
    using namespace std::chrono;
    programs["main.c"] = [](ProgramWriter& w) {
        Assembler::Label entry = w.a.label();
        w.begin_main();
        w.call_with_label("thd_begin", entry, {7, 1, 0});  // suspended
        w.store_r0(0);
        w.call("sleep", {100});  // the new thread is waiting by now
        w.a.reg_imm(Op::Load32Abs, 1, w.ext(0));
        w.a.reg(Op::Push, 1, 1);
        w.call("thd_resume", {});
        w.a.reg_imm(Op::AddImm, 7, 4, 7);
        w.a.movi(0, 1);
        w.store_r0(2);
        w.call("sleep", {60000});
        w.end_main();
        // entry(arg): ext[3] = arg, then sleeps.
        w.a.bind(entry);
        w.a.imm(Op::Enter, 0);
        w.a.reg_imm(Op::Load32Frame, 0, 8, 6);
        w.store_r0(3);
        w.call("sleep", {60000});
        w.a.imm(Op::Leave, 0).op(Op::Ret);
    };
    ASSERT_TRUE(engine.run_program("main.c"));
    auto wait_for = [](const std::function<bool()>& done) {
        auto until = steady_clock::now() + seconds(5);
        while (!done() && steady_clock::now() < until)
            std::this_thread::sleep_for(microseconds(200));
        return done();
    };
    ASSERT_TRUE(wait_for([&] { return ext(2) == 1; }));
    auto resumed = steady_clock::now();
    ASSERT_TRUE(wait_for([&] { return ext(3) == 7; }));
    EXPECT_LT(steady_clock::now() - resumed, milliseconds(100)) << "the resumed thread waited";

    // Both sleep for a minute: nothing runs.
    ASSERT_TRUE(wait_for([&] { return engine.runnable_threads() == 0; }));
    EXPECT_EQ(engine.running_threads(), 2);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    std::this_thread::sleep_for(milliseconds(500));
    getrusage(RUSAGE_SELF, &after);
    auto cpu = [](const rusage& u) {
        return seconds(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
               microseconds(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
    };
    EXPECT_LT(cpu(after) - cpu(before), milliseconds(5));  // 1% of 500 ms

    auto stopping = steady_clock::now();
    engine.stop_all_threads();
    EXPECT_LT(steady_clock::now() - stopping, milliseconds(100));
    EXPECT_FALSE(engine.any_thread_alive());
}

TEST_F(EngineTest, JumpReplacesAndCallReturnsTheCalledResult) {
    programs["main.c"] = [](ProgramWriter& w) {
        Assembler::Label b = w.string("b.c"), missing = w.string("nope.c"), spin = w.a.label();
        w.begin_main();
        w.call_with_label("call", b, {});
        w.store_r0(0);
        w.call_with_label("call", missing, {});
        w.store_r0(1);
        w.call_with_label("jump", b, {});
        w.a.bind(spin).to(Op::Jmp, spin);  // never reached: the jump replaced us
    };
    programs["b.c"] = [](ProgramWriter& w) {
        w.begin_main();
        w.a.reg_imm(Op::Load32Abs, 0, w.ext(2)).reg_imm(Op::AddImm, 0, 1);
        w.store_r0(2);
        w.a.movi(0, 9);
        w.end_main();
    };
    ScriptEngine::Outcome o = run_main();
    EXPECT_TRUE(o.finished);
    EXPECT_EQ(o.result, 9u);
    EXPECT_EQ(ext(0), 9u);
    EXPECT_EQ(ext(1), 0u);
    EXPECT_EQ(ext(2), 2u);  // b ran twice, sharing the extern word with main
    EXPECT_EQ(engine.memory().block_count(BlockKind::Program), 0u);
}

TEST_F(EngineTest, CallsNestAtMost32Deep) {
    // Each level counts itself in ext[0] and returns call's result + 1.
    programs["main.c"] = [](ProgramWriter& w) {
        Assembler::Label self = w.string("main.c");
        w.begin_main();
        w.a.reg_imm(Op::Load32Abs, 0, w.ext(0)).reg_imm(Op::AddImm, 0, 1);
        w.store_r0(0);
        w.call_with_label("call", self, {});
        w.a.reg_imm(Op::AddImm, 0, 1);
        w.end_main();
    };
    ScriptEngine::Outcome o = run_main();
    EXPECT_TRUE(o.finished);
    EXPECT_EQ(ext(0), 32u);
    EXPECT_EQ(o.result, 32u);
    EXPECT_EQ(engine.memory().block_count(BlockKind::Program), 0u);
}

TEST_F(EngineTest, SetjmpLongjmp) {
    programs["main.c"] = [](ProgramWriter& w) {
        Assembler::Label buf = w.a.label(), after = w.a.label(), again = w.a.label();
        w.a.to(Op::Jmp, after);
        w.a.bind(buf);
        for (int i = 0; i < 64; ++i) w.a.raw8(0);
        w.a.bind(after);
        w.begin_main();
        w.call_with_label("setjmp", buf, {});
        w.a.reg_imm(Op::CmpImm, 0, 0);
        w.a.to(Op::Jne, again);
        w.a.reg_imm(Op::Load32Abs, 0, w.ext(0)).reg_imm(Op::AddImm, 0, 1);
        w.store_r0(0);
        w.call_with_label("longjmp", buf, {5});
        w.store_r0(3);  // not reached
        w.a.bind(again);
        w.store_r0(1);  // 5, from longjmp
        w.end_main();
    };
    ScriptEngine::Outcome o = run_main();
    EXPECT_TRUE(o.finished) << (reports.empty() ? "" : reports[0]);
    EXPECT_EQ(ext(0), 1u);
    EXPECT_EQ(ext(1), 5u);
    EXPECT_EQ(ext(3), 0u);
}

TEST_F(EngineTest, CallingIntoAReleasedProgramIsAnError) {
    // lib.c leaves the address of one of its functions in ext[0] and ends; its
    // area is released, and calling the function afterwards must not run it.
    programs["main.c"] = [](ProgramWriter& w) {
        Assembler::Label lib = w.string("lib.c");
        w.begin_main();
        w.call_with_label("call", lib, {});
        w.a.reg_imm(Op::Load32Abs, 1, w.ext(0)).reg(Op::CallReg, 1, 1);
        w.a.movi(0, 1);
        w.store_r0(1);  // never reached
        w.end_main();
    };
    programs["lib.c"] = [](ProgramWriter& w) {
        Assembler::Label f = w.a.label();
        w.begin_main();
        w.a.reg_label(Op::MovAddr, 0, f);
        w.store_r0(0);
        w.end_main();
        w.a.bind(f);
        w.a.movi(0, 2);
        w.store_r0(1);
        w.a.op(Op::Ret);
    };
    ScriptEngine::Outcome o = run_main();
    EXPECT_TRUE(o.failed);
    EXPECT_EQ(ext(1), 0u);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "プログラム領域をオーバーしました");
}

TEST_F(EngineTest, StopWordFollowsTheStopFlagAndWritingItStopsEveryThread) {
    ScriptAddr word = engine.stop_word();
    ASSERT_NE(word, 0u);
    auto stop_word = [&] {
        uint32_t v = 0xDEAD;
        engine.memory().read32(engine.stop_word(), v);
        return v;
    };
    EXPECT_EQ(stop_word(), 0u);

    programs["main.c"] = [](ProgramWriter& w) {
        Assembler::Label entry = w.a.label(), spin = w.a.label(), loop = w.a.label();
        w.begin_main();
        w.call_with_label("thd_begin", entry, {0, 0, 0});
        w.a.bind(spin).to(Op::Jmp, spin);
        w.a.bind(entry);
        w.a.bind(loop).to(Op::Jmp, loop);
    };
    ASSERT_TRUE(engine.run_program("main.c"));
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (engine.running_threads() < 2 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(engine.running_threads(), 2);
    // A plug-in writes the word: every thread ends, as stop-all ends them,
    // which is no failure.
    engine.memory().write32(word, 1);
    wait_for_threads();
    EXPECT_TRUE(engine.stopped());
    EXPECT_FALSE(engine.outcome().failed);
    EXPECT_FALSE(engine.outcome().finished);
    EXPECT_TRUE(reports.empty());
    engine.stop_all_threads();  // the reset clears flag and word
    EXPECT_FALSE(engine.stopped());
    EXPECT_EQ(stop_word(), 0u);

    // A run-time error sets it.
    programs["main.c"] = [](ProgramWriter& w) {
        w.begin_main();
        w.a.movi(1, 5).movi(2, 0).reg(Op::Div, 1, 2);
        w.end_main();
    };
    EXPECT_TRUE(run_main().failed);
    EXPECT_EQ(stop_word(), 1u);
    // Initialisation makes a new word holding the flag as it is; shutdown
    // frees it.
    engine.shutdown();
    EXPECT_EQ(engine.stop_word(), 0u);
    EXPECT_EQ(engine.memory().block_size(word), 0u);
    engine.initialise();
    ASSERT_NE(engine.stop_word(), 0u);
    EXPECT_EQ(stop_word(), 1u);
    engine.stop_all_threads();
    EXPECT_EQ(stop_word(), 0u);
}
