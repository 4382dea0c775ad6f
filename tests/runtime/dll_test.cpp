// Native plug-ins: name mapping, slots, tokens that die with their load, and
// calls with their arguments in order through the real trap path.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <vector>

#include "base/current_folder.h"
#include "platform/byte_order.h"
#include "runtime/plugins.h"
#include "runtime/runtime.h"
#include "support/call_site.h"

namespace tob {
namespace {

namespace fs = std::filesystem;

struct DllTest : ::testing::Test {
    fs::path dir;
    fs::path old = current_folder();
    void SetUp() override {
        dir = fs::temp_directory_path() / ("tob_dll_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::copy_file(TOB_TEST_PLUGIN, dir / "libtobtest.so");
        set_current_folder(dir);
    }
    void TearDown() override {
        shutdown_plugins();
        set_current_folder(old);
        fs::remove_all(dir);
    }
};

TEST_F(DllTest, NamesMapToSharedObjects) {
    std::ofstream(dir / "Other.so") << "";
    std::ofstream(dir / "plain.txt") << "";
    struct Case {
        const char* name;
        std::optional<fs::path> want;
    } cases[] = {
        {"tobtest.dll", dir / "libtobtest.so"},
        {"TOBTEST.DLL", dir / "libtobtest.so"},
        {"tobtest", dir / "libtobtest.so"},
        {"libtobtest.so", dir / "libtobtest.so"},
        {"other.dll", dir / "Other.so"},
        {"kernel32.dll", std::nullopt},
        {"plain.txt", std::nullopt},
        {"tobtest.so", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& t : cases) EXPECT_EQ(plugin_library_path(t.name), t.want) << t.name;
}

TEST_F(DllTest, CallsThroughTheTrapPath) {
    test::CallSite site;
    site.table.bind_all(dll_builtins());
    init_plugins(&site.mem);
    int32_t lib = int32_t(site.call("dll_load", {site.string("TobTest.dll")}));
    ASSERT_GE(lib, 0);
    auto proc = [&](const char* name) {
        return site.call("dll_proc", {uint32_t(lib), site.string(name)});
    };
    uint32_t constant = proc("tob_constant");
    uint32_t ones = proc("tob_all_ones"), write = proc("tob_write");
    EXPECT_EQ(proc("tob_constant"), constant) << "same export, same token";
    EXPECT_EQ(proc("no_such_export"), 0u);
    EXPECT_EQ(site.call("dll_call", {proc("tob_attached")}), 1u);
    EXPECT_EQ(site.call("dll_call", {constant}), 0x1234u);
    EXPECT_EQ(site.call("dll_call", {ones}), 0xFFFFFFFFu);
    // Up to eight words take a typed call, more go through libffi: both
    // keep the words in order, in registers and on the stack.
    struct Call {
        const char* name;
        std::vector<uint32_t> args;
        uint32_t want;
    } calls[] = {
        {"tob_add4", {1, 2, 3, 4}, 10},
        {"tob_add4", {0xFFFFFFFF, 1, 0x80000000, 0x7FFFFFFF}, 0xFFFFFFFF},
        {"tob_weighted8", {1, 2, 3, 4, 5, 6, 7, 8}, 204},
        {"tob_weighted8", {8, 7, 6, 5, 4, 3, 2, 1}, 120},
        {"tob_weighted8", {0, 0, 0, 0, 0, 0, 0, 0x10000000}, 0x80000000},
        {"tob_weighted", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 385},
        {"tob_weighted", {10, 9, 8, 7, 6, 5, 4, 3, 2, 1}, 220},
        {"tob_weighted", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80000001}, 10},
    };
    for (const Call& c : calls) {
        std::vector<uint32_t> args = {proc(c.name)};
        args.insert(args.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(site.call("dll_call", args), c.want) << c.name << " with " << c.args.size();
    }
    ScriptAddr cell = site.string("", 4);
    EXPECT_EQ(site.call("dll_call", {write, cell, 0xCAFEF00Du}), 1u);
    EXPECT_EQ(load_le32(site.mem.host(cell, 4)), 0xCAFEF00Du);
    EXPECT_EQ(site.call("dll_call", {write, 0x7FFFFFFEu, 1}), 0u) << "checked translation";

    // no clean-up instruction: the count is unknown, nothing is called
    site.ctx.r[kStackPointer] = site.ctx.stack_base + site.ctx.stack_size;
    site.call_with({constant}, false);
    site.dispatcher->dispatch(uint32_t(trap_number("dll_call")), site.ctx);
    EXPECT_EQ(site.ctx.r[0], 0u);

    EXPECT_EQ(site.call("dll_call", {12345}), 0u) << "unknown token";
    EXPECT_EQ(site.call("dll_unload", {uint32_t(lib)}), 1u);
    EXPECT_EQ(site.call("dll_unload", {uint32_t(lib)}), 0u);
    EXPECT_EQ(site.call("dll_unload", {uint32_t(-1)}), 0u) << "negative numbers are no slots";
    EXPECT_EQ(site.call("dll_call", {constant}), 0u) << "stale token";
    int32_t again = int32_t(site.call("dll_load", {site.string("tobtest")}));
    EXPECT_EQ(again, lib) << "the slot is reused";
    EXPECT_EQ(site.call("dll_call", {constant}), 0u) << "still stale after reuse";
    EXPECT_EQ(int32_t(site.call("dll_load", {site.string("kernel32.dll")})), -1);
}

TEST_F(DllTest, SlotsRunOut) {
    int32_t first = load_plugin("tobtest.dll");
    ASSERT_EQ(first, 0);
    for (int i = 1; i < kPluginSlots; ++i) ASSERT_EQ(load_plugin("tobtest.dll"), i);
    EXPECT_EQ(load_plugin("tobtest.dll"), -1);
    EXPECT_TRUE(unload_plugin(7));
    EXPECT_EQ(load_plugin("tobtest.dll"), 7);
}

}  // namespace
}  // namespace tob
