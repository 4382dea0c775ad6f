#include "vm/trap.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "../support/call_site.h"
#include "base/error_report.h"
#include "base/settings.h"

using namespace tob;

namespace {

struct Reports {
    std::vector<std::string> texts;
    ErrorSink previous;
    Reports() {
        previous = set_error_sink({[this](const std::string& t) { texts.push_back(t); }, true});
    }
    ~Reports() { set_error_sink(previous); }
};

using test::CallSite;

VmContext* g_replacement = nullptr;

uint32_t doubler(TrapCall& call) {
    return uint32_t(call.integer(0) * 2);
}
uint32_t summer(TrapCall& call) {
    uint32_t sum = 0;
    for (int i = 0; i < call.pushed_words(); ++i) sum += call.word(i);
    return sum;
}
uint32_t replacer(TrapCall& call) {
    call.set_context(g_replacement);
    return 77;
}
uint32_t string_length(TrapCall& call) {
    auto s = call.string(0);
    return s ? uint32_t(s->size()) : 0xFFFFFFFF;
}

}  // namespace

TEST(TrapTable, NumberingAndBinding) {
    EXPECT_EQ(kTrapInfo.size(), 314u);
    for (uint32_t i = 0; i < kTrapCount; ++i) {
        EXPECT_EQ(kTrapInfo[i].number, i);
        EXPECT_EQ(trap_number(kTrapInfo[i].name), int(i)) << kTrapInfo[i].name;
    }
    EXPECT_EQ(trap_number(""), -1);
    EXPECT_EQ(trap_number("zzz"), -1);
    EXPECT_EQ(trap_number("jump"), 0);
    EXPECT_EQ(trap_number("getsystem"), 271);
    EXPECT_EQ(trap_number("log_out"), 313);
    EXPECT_EQ(trap_number("nope"), -1);
    EXPECT_EQ(kTrapInfo[trap_number("thd_end")].argc, 1);
    EXPECT_EQ(kTrapInfo[trap_number("sprintf")].argc, -1);

    TrapTable table;
    EXPECT_TRUE(table.is_stub(0));
    EXPECT_TRUE(table.bind("abs", doubler));
    EXPECT_FALSE(table.bind("no_such_builtin", doubler));
    EXPECT_FALSE(table.is_stub(uint32_t(trap_number("abs"))));
    TrapBinding list[] = {{"sgn", doubler}, {"bogus", doubler}};
    EXPECT_EQ(table.bind_all(list), 1);
}

TEST(TrapDispatch, HandlerGetsArgumentsAndResultLandsInR0) {
    CallSite site;
    TrapTable table;
    table.bind("abs", doubler);
    table.bind("sprintf", summer);
    table.bind("strlen", string_length);
    TrapDispatcher d(site.machine, table);
    EXPECT_EQ(site.machine.trap_hook, &d);

    site.call_with({21});
    d.dispatch(uint32_t(trap_number("abs")), site.ctx);
    EXPECT_EQ(site.ctx.r[0], 42u);

    site.call_with({1, 2, 3, 4, 5});
    d.dispatch(uint32_t(trap_number("sprintf")), site.ctx);
    EXPECT_EQ(site.ctx.r[0], 15u);

    // A string argument is read through script memory; a wild one is refused.
    ScriptAddr s = site.mem.allocate(8);
    std::memcpy(site.mem.host(s, 4), "abc", 4);
    site.call_with({s});
    d.dispatch(uint32_t(trap_number("strlen")), site.ctx);
    EXPECT_EQ(site.ctx.r[0], 3u);
    site.call_with({0xDEADBEEF});
    d.dispatch(uint32_t(trap_number("strlen")), site.ctx);
    EXPECT_EQ(site.ctx.r[0], 0xFFFFFFFFu);

    // Built-ins that are not bound return their failure value.
    site.call_with({1});
    d.dispatch(uint32_t(trap_number("thd_suspend")), site.ctx);
    EXPECT_EQ(site.ctx.r[0], kTrapInfo[trap_number("thd_suspend")].fail);
    EXPECT_EQ(site.machine.stop.load(), 0u);
}

TEST(TrapDispatch, ArgumentsBeyondTheStackReadAsZero) {
    CallSite site;
    TrapTable table;
    table.bind("abs", doubler);
    TrapDispatcher d(site.machine, table);
    site.push(site.code);  // a call with nothing pushed, right at the stack top
    TrapCall call(d, uint32_t(trap_number("abs")), site.ctx);
    EXPECT_EQ(call.words_on_stack(), 0u);
    EXPECT_EQ(call.word(0), 0u);
    EXPECT_EQ(call.word(-1), 0u);
    EXPECT_EQ(call.pointer(0, 4), nullptr);
}

TEST(TrapDispatch, WordBlocksMatchSingleWords) {
    CallSite site;
    TrapTable table;
    TrapDispatcher d(site.machine, table);
    site.call_with({7, 8, 9});  // three words right below the stack top
    TrapCall call(d, uint32_t(trap_number("abs")), site.ctx);
    struct Case {
        int first;
        std::vector<uint32_t> want;
    } cases[] = {
        {0, {7, 8, 9}}, {1, {8, 9, 0, 0}}, {3, {0, 0}}, {-1, {0, 7, 8}}, {0, {}}, {2, {9}},
    };
    for (const Case& c : cases) {
        std::vector<uint32_t> got(c.want.size(), 0xAAAAAAAA);
        call.words(c.first, got);
        EXPECT_EQ(got, c.want) << "from word " << c.first;
        for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], call.word(c.first + int(i)));
    }
}

TEST(TrapDispatch, NumberCheck) {
    Reports reports;
    CallSite site;
    TrapTable table;
    TrapDispatcher d(site.machine, table);
    site.call_with({});
    d.dispatch(314, site.ctx);
    ASSERT_EQ(reports.texts.size(), 1u);
    EXPECT_EQ(reports.texts[0], "不正な命令コード - #314");
    EXPECT_EQ(site.ctx.state, uint8_t(ContextState::Failed));
    EXPECT_EQ(site.machine.stop.load(), 1u);
}

TEST(TrapDispatch, ArgumentCountCheckInDebugMode) {
    static int runs = 0;
    TrapHandler counting = [](TrapCall&) -> uint32_t { return uint32_t(++runs); };
    struct Case {
        const char* name;
        std::vector<uint32_t> args;
        bool check;
        bool ok;
    } cases[] = {
        {"thd_end", {1, 2}, true, false},  // two words for a one-word built-in
        {"thd_end", {1, 2}, false, true},  // not checked outside debug mode
        {"thd_end", {1}, true, true},
        {"rand", {}, true, true},  // count 0: no clean-up follows the call
        {"rand", {5}, true, false},
        {"sprintf", {1, 2, 3}, true, true},  // variable counts are never checked
        {"log_out", {}, true, true},
    };
    for (const Case& c : cases) {
        Reports reports;
        CallSite site;
        TrapTable table;
        table.bind(c.name, counting);
        TrapDispatcher d(site.machine, table);
        d.set_check_arguments(c.check);
        site.call_with(c.args);
        runs = 0;
        d.dispatch(uint32_t(trap_number(c.name)), site.ctx);
        SCOPED_TRACE(c.name);
        EXPECT_EQ(runs, c.ok ? 1 : 0);
        EXPECT_EQ(site.machine.stop.load(), c.ok ? 0u : 1u);
        if (!c.ok) {
            ASSERT_EQ(reports.texts.size(), 1u);
            EXPECT_EQ(reports.texts[0], std::string(c.name) + " - 引数の数が違います。");
            EXPECT_EQ(site.ctx.state, uint8_t(ContextState::Failed));
            EXPECT_EQ(site.ctx.r[0], 0u);
        }
    }
}

TEST(TrapDispatch, ResultLandsInTheReplacementContext) {
    CallSite site;
    TrapTable table;
    table.bind("jump", replacer);
    TrapDispatcher d(site.machine, table);
    VmContext other;
    g_replacement = &other;
    site.ctx.r[0] = 5;
    site.call_with({0});
    d.dispatch(0, site.ctx);
    EXPECT_EQ(other.r[0], 77u);
    EXPECT_EQ(site.ctx.r[0], 5u);
    EXPECT_EQ(d.current(), &other);
}

TEST(BuiltinsHeader, MatchesTheTableAndTheShippedCopy) {
    std::string h = builtins_header();
    std::istringstream in(h);
    std::string line;
    std::vector<std::string> decls;
    bool after_trap = false;
    while (std::getline(in, line)) {
        if (after_trap) decls.push_back(line);
        after_trap = line == "#trap";
    }
    ASSERT_EQ(decls.size(), kTrapCount);
    for (uint32_t i = 0; i < kTrapCount; ++i) {
        EXPECT_EQ(decls[i], kTrapInfo[i].declaration);
        std::string name = std::string(kTrapInfo[i].name) + "(";
        EXPECT_NE(decls[i].find(name), std::string::npos) << decls[i];
    }
    std::ifstream shipped(std::string(TOB_SOURCE_DIR) + "/games/demo/tob.h", std::ios::binary);
    ASSERT_TRUE(shipped) << "games/demo/tob.h is missing";
    std::stringstream ss;
    ss << shipped.rdbuf();
    EXPECT_EQ(ss.str(), h) << "regenerate games/demo/tob.h with `tobtool header`";
}

// A pure built-in runs while another thread holds the trap lock; every other
// one waits for it. Only built-ins that write no script memory let decoded
// code live across the call.
TEST(TrapDispatch, EffectsDecideTheLockAndTheDecodedCode) {
    struct Case {
        TrapEffects effects;
        bool waits_for_lock;
        bool leaves_memory;
    };
    const Case cases[] = {
        {TrapEffects::Any, true, false},
        {TrapEffects::NoMemoryWrites, true, true},
        {TrapEffects::Pure, false, true},
    };
    for (const Case& c : cases) {
        CallSite site;
        TrapTable table;
        const uint32_t abs = uint32_t(trap_number("abs"));
        TrapBinding list[] = {{"abs", doubler, c.effects}};
        ASSERT_EQ(table.bind_all(list), 0);
        EXPECT_EQ(table.effects(abs), c.effects);
        TrapDispatcher d(site.machine, table);
        EXPECT_EQ(d.leaves_memory(abs), c.leaves_memory);
        EXPECT_FALSE(d.leaves_memory(kTrapCount));

        site.call_with({21});
        std::unique_lock held(d.lock());
        std::atomic<bool> done{false};
        std::thread caller([&] {
            d.dispatch(abs, site.ctx);
            done = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(done.load(), !c.waits_for_lock) << int(c.effects);
        held.unlock();
        caller.join();
        EXPECT_EQ(site.ctx.r[0], 42u);
    }
}
