// CRC check values and the debug output behind log_out and log_clear.
#include <gtest/gtest.h>

#include <cstdio>

#include "runtime/crc.h"
#include "runtime/debug_output.h"
#include "runtime/runtime.h"
#include "support/call_site.h"

using namespace tob;
using tob::test::CallSite;

TEST(Crc, CheckValues) {
    struct Case {
        std::string data;
        uint32_t crc16, crc32;
    } cases[] = {
        {"123456789", 0xFFFFD64E, 0xFC891918},
        {"abc", 0xFFFFAEB5, 0x648CBB73},
        {"", 0xFFFF0000, 0},
    };
    CallSite site;
    site.table.bind_all(crc_log_builtins());
    for (const Case& c : cases) {
        ScriptAddr buf = site.string(c.data);
        auto n = uint32_t(c.data.size());
        EXPECT_EQ(site.call("crc16", {buf, n}), c.crc16) << c.data;
        EXPECT_EQ(site.call("crc32", {buf, n}), c.crc32) << c.data;
    }
    // Lengths below 1 are an empty buffer; a buffer outside script memory fails.
    EXPECT_EQ(site.call("crc16", {0, uint32_t(-4)}), 0xFFFF0000u);
    EXPECT_EQ(site.call("crc32", {0, uint32_t(-4)}), 0u);
    EXPECT_EQ(site.call("crc16", {0x7FFFFFF0, 100}), 0u);
    EXPECT_EQ(site.call("crc32", {site.string("x"), 0x7FFFFFFF}), 0u);
}

TEST(DebugOutput, LogBuiltinsFormatIntoTheInstalledOutput) {
    CallSite site;
    site.table.bind_all(crc_log_builtins());
    ScriptAddr fmt = site.string("%s=%d");
    ScriptAddr name = site.string("hp");

    set_debug_output(std::nullopt);
    EXPECT_EQ(site.call("log_out", {fmt, name, 3}), 0u);
    EXPECT_EQ(site.call("log_clear", {}), 0u);

    std::vector<std::string> lines;
    int clears = 0;
    set_debug_output(
        DebugOutput{[&](std::string_view t) { lines.emplace_back(t); }, [&] { ++clears; }});
    EXPECT_EQ(site.call("log_out", {fmt, name, 3}), 1u);
    EXPECT_EQ(site.call("log_out", {fmt, name}), 1u);  // a missing word formats as 0
    EXPECT_EQ(site.call("log_clear", {}), 1u);
    // The text is cut to the 4096-byte buffer of the debug window.
    EXPECT_EQ(site.call("log_out", {site.string("%5000d"), 1}), 1u);
    set_debug_output(std::nullopt);

    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "hp=3");
    EXPECT_EQ(lines[1], "hp=0");
    EXPECT_EQ(lines[2], std::string(4095, ' '));
    EXPECT_EQ(clears, 1);
}

TEST(DebugOutput, LinePrinterWritesUtf8Lines) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    DebugOutput out = line_printer(f);
    out.write("\x83\x4a\x95\x5c");  // "カ表"
    out.write("done\n");
    out.clear();
    std::rewind(f);
    char buf[64] = {};
    size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    EXPECT_EQ(std::string(buf, n), "カ表\ndone\n");
}
