// Programs and message boxes: command-line splitting, program lookup,
// message box styles and the headless answers.
#include "runtime/desktop.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "base/current_folder.h"
#include "runtime/host_programs.h"
#include "runtime/runtime.h"
#include "support/call_site.h"

namespace tob {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

TEST(CommandLine, SplitsLikeThePlatform) {
    struct Case {
        const char* line;
        Args want;
    } cases[] = {
        {"", {}},
        {"   ", {}},
        {"prog", {"prog"}},
        {"  prog  a   b ", {"prog", "a", "b"}},
        {"\"C:\\Program Files\\x.exe\" arg", {"C:\\Program Files\\x.exe", "arg"}},
        {"p \"a b\" c", {"p", "a b", "c"}},
        {"p a\\\\b", {"p", "a\\\\b"}},        // backslashes before no quote stay
        {"p a\\\\\"b c\"", {"p", "a\\b c"}},  // 2n backslashes + quote: n, quote groups
        {"p a\\\\\\\"b", {"p", "a\\\"b"}},    // 2n+1: n and a literal quote
        {"p \"a\"\"b\"", {"p", "a\"b"}},      // "" inside quotes
        {"p \"\"", {"p", ""}},                // an empty argument
        {"p \"unterminated", {"p", "unterminated"}},
        {"p\\x\\ a", {"p\\x\\", "a"}},                // no backslash rules in the name
        {"p \x95\x5c\"x y\"", {"p", "\x95\x5cx y"}},  // a trail byte 0x5C is no backslash
        {"/bin/sh -c \"echo ok > out.txt\"", {"/bin/sh", "-c", "echo ok > out.txt"}},
    };
    for (const Case& t : cases) EXPECT_EQ(split_command_line(t.line), t.want) << t.line;
}

TEST(Programs, FoundInTheCurrentFolderThenOnPath) {
    fs::path dir = fs::temp_directory_path() / ("tob_prog_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::path old = current_folder();
    set_current_folder(dir);
    std::ofstream(dir / "Tool") << "#!/bin/sh\n";
    ::chmod((dir / "Tool").c_str(), 0755);
    std::ofstream(dir / "plain") << "";
    struct Case {
        const char* name;
        std::optional<fs::path> want;
    } cases[] = {
        {"tool", dir / "Tool"},    {"TOOL.EXE", dir / "Tool"}, {"plain", std::nullopt},
        {"missing", std::nullopt}, {"sh", fs::path()},  // found on PATH
        {"/bin/sh", "/bin/sh"},    {"", std::nullopt},
    };
    for (const Case& t : cases) {
        auto got = find_program(t.name);
        if (t.want && t.want->empty())
            EXPECT_TRUE(got.has_value()) << t.name;
        else
            EXPECT_EQ(got, t.want) << t.name;
    }
    EXPECT_FALSE(run_command_line("missing.exe a b"));
    EXPECT_TRUE(run_command_line("/bin/sh -c \"echo ok > out.txt\""));
    for (int i = 0; i < 200 && !fs::exists(dir / "out.txt"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(fs::exists(dir / "out.txt"));
    set_current_folder(old);
    fs::remove_all(dir);
}

TEST(MessageBox, StylesGiveButtonsDefaultsAndIcons) {
    struct Case {
        uint32_t style;
        size_t buttons;
        uint32_t default_code;
        uint32_t escape_code;
        MessageBoxRequest::Icon icon;
    } cases[] = {
        {0, 1, kIdOk, kIdOk, MessageBoxRequest::None},
        {1 | 0x100, 2, kIdCancel, kIdCancel, MessageBoxRequest::None},
        {2 | 0x200 | 0x10, 3, kIdIgnore, 0, MessageBoxRequest::Error},
        {3 | 0x30, 3, kIdYes, kIdCancel, MessageBoxRequest::Warning},
        {4 | 0x100 | 0x40, 2, kIdNo, 0, MessageBoxRequest::Information},
        {4 | 0x300, 2, kIdYes, 0, MessageBoxRequest::None},  // no fourth button
        {5, 2, kIdRetry, kIdCancel, MessageBoxRequest::None},
        {15, 1, kIdOk, kIdOk, MessageBoxRequest::None},
    };
    for (const Case& t : cases) {
        MessageBoxRequest r = message_box_request(t.style, "c", "t");
        EXPECT_EQ(r.buttons.size(), t.buttons) << t.style;
        EXPECT_EQ(r.default_code, t.default_code) << t.style;
        EXPECT_EQ(r.escape_code, t.escape_code) << t.style;
        EXPECT_EQ(r.icon, t.icon) << t.style;
    }
}

TEST(DesktopBuiltins, HeadlessAnswers) {
    set_desktop_window({});
    test::CallSite site;
    site.table.bind_all(desktop_builtins());
    ::testing::internal::CaptureStderr();
    uint32_t r = site.call("mbox", {4 | 0x100, site.string("Title"), site.string("Go on?")});
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(r, kIdNo);
    EXPECT_NE(err.find("Title: Go on?"), std::string::npos);
    EXPECT_EQ(site.call("mbox", {0, 0x7FFFFFF0u, 0}), 0u);
    EXPECT_EQ(site.call("caption", {site.string("x")}), 1u);
    EXPECT_EQ(site.call("wallpaper", {site.string("x.bmp"), 0}), 1u);
    EXPECT_EQ(site.call("exec", {site.string("no_such_program_here")}), 0u);
    EXPECT_EQ(site.call("exec", {0x7FFFFFF0u}), 0u);

    std::string seen;
    DesktopWindow w;
    w.set_caption = [&seen](const std::string& t) {
        seen = t;
        return true;
    };
    set_desktop_window(w);
    EXPECT_EQ(site.call("caption", {site.string("\x83\x65\x83\x58\x83\x67")}), 1u);
    EXPECT_EQ(seen, "\xe3\x83\x86\xe3\x82\xb9\xe3\x83\x88");  // テスト
    set_desktop_window({});
}

}  // namespace
}  // namespace tob
