// The configuration file as scripts see it: reads, defaults, lists,
// deletions, truncation and re-reading after outside changes.
#include "runtime/config_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "base/settings.h"
#include "runtime/runtime.h"
#include "support/call_site.h"

namespace tob {
namespace {

namespace fs = std::filesystem;

struct ConfigFileTest : ::testing::Test {
    fs::path dir;
    fs::path path;
    void SetUp() override {
        dir = fs::temp_directory_path() / ("tob_cfg_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        path = dir / "game.cfg";
        write("[Game]\r\nWidth=640\r\nName = \"Hero\"\r\nEmpty=\r\n[Other]\r\nA=1\r\n");
    }
    void TearDown() override { fs::remove_all(dir); }
    void write(const std::string& text) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    }
    std::string read() {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
};

TEST_F(ConfigFileTest, ReadsValuesAndDefaults) {
    ConfigFile c(path);
    struct Case {
        const char* section;
        const char* key;
        int32_t want;
    } cases[] = {
        {"game", "WIDTH", 640},
        {"Game", "Missing", -5},
        {"None", "Width", -5},
        {"Game", "Empty", -5},
    };
    for (const Case& t : cases) EXPECT_EQ(c.get_int(t.section, t.key, -5), t.want) << t.key;
    EXPECT_EQ(c.get_string("Game", "Name", "x"), "Hero");
    EXPECT_EQ(c.get_string("Game", "Nope", "dflt"), "dflt");
}

TEST_F(ConfigFileTest, ListsSectionsAndKeys) {
    ConfigFile c(path);
    EXPECT_EQ(c.get_string(std::nullopt, std::nullopt, ""), std::string("Game\0Other\0\0", 12));
    EXPECT_EQ(c.get_string("game", std::nullopt, ""), std::string("Width\0Name\0Empty\0\0", 18));
    EXPECT_EQ(c.get_string("none", std::nullopt, ""), std::string("\0", 1));
}

TEST_F(ConfigFileTest, SetsAndDeletesThroughTheFile) {
    ConfigFile c(path);
    ASSERT_TRUE(c.set("Game", "Width", "800"));
    ASSERT_TRUE(c.set("New", "K", "v"));
    ASSERT_TRUE(c.set("Game", "Name", std::nullopt));
    ASSERT_TRUE(c.set("Other", std::nullopt, std::nullopt));
    EXPECT_EQ(read(), "[Game]\r\nWidth=800\r\nEmpty=\r\n[New]\r\nK=v\r\n");
    EXPECT_FALSE(fs::exists(dir / "game.cfg.tmp"));
    ConfigFile fresh(path);
    EXPECT_EQ(fresh.get_int("Game", "Width", 0), 800);
    EXPECT_EQ(fresh.get_string("Other", "A", "gone"), "gone");
}

TEST_F(ConfigFileTest, ReadsAgainAfterAnOutsideChange) {
    ConfigFile c(path);
    EXPECT_EQ(c.get_int("Game", "Width", 0), 640);
    write("[Game]\r\nWidth=1024\r\n");
    EXPECT_EQ(c.get_int("Game", "Width", 0), 1024);
    fs::remove(path);
    EXPECT_EQ(c.get_int("Game", "Width", 7), 7);
}

TEST_F(ConfigFileTest, FailedWriteReportsFailure) {
    ConfigFile c(dir / "missing_folder" / "x.cfg");
    EXPECT_FALSE(c.set("A", "B", "C"));
    EXPECT_EQ(c.get_int("A", "B", 3), 3);
}

TEST(CopyProfileText, TruncatesLikeTheProfileReader) {
    struct Case {
        std::string text;
        bool list;
        uint32_t size;
        uint32_t want_result;
        std::string want_bytes;  // the buffer's first bytes
    } cases[] = {
        {"hello", false, 10, 5, std::string("hello\0", 6)},
        {"hello", false, 3, 2, std::string("he\0", 3)},
        {"hello", false, 1, 0, std::string("\0", 1)},
        {"\x83\x41\x83\x43", false, 4, 2, std::string("\x83\x41\0", 3)},  // no half character
        {std::string("ab\0cd\0\0", 7), true, 10, 6, std::string("ab\0cd\0\0", 7)},
        {std::string("ab\0cd\0\0", 7), true, 6, 4, std::string("ab\0c\0\0", 6)},
        {std::string("\0", 1), true, 4, 0, std::string("\0", 1)},
    };
    for (const Case& t : cases) {
        std::string buf(16, '#');
        uint32_t n =
            copy_profile_text(t.text, t.list, reinterpret_cast<uint8_t*>(buf.data()), t.size);
        EXPECT_EQ(n, t.want_result) << t.text;
        EXPECT_EQ(buf.substr(0, t.want_bytes.size()), t.want_bytes) << t.text;
        EXPECT_EQ(buf[t.size], '#') << "wrote past the buffer: " << t.text;
    }
}

TEST_F(ConfigFileTest, BuiltinsThroughTheTrapPath) {
    settings().config_path = path;
    test::CallSite site;
    site.table.bind_all(ini_builtins());
    ScriptAddr game = site.string("Game"), width = site.string("Width");
    ScriptAddr buf = site.string("", 32);
    EXPECT_EQ(site.call("ini_geti", {game, width, 1}), 640u);
    EXPECT_EQ(site.call("ini_seti", {game, width, uint32_t(-3)}), 1u);
    EXPECT_EQ(int32_t(site.call("ini_geti", {game, width, 1})), -3);
    EXPECT_EQ(site.call("ini_gets", {game, site.string("Nope"), 0, buf, 32}), 0u);
    EXPECT_EQ(site.read(buf), "");
    EXPECT_EQ(site.call("ini_gets", {game, width, 0, buf, 32}), 2u);
    EXPECT_EQ(site.read(buf), "-3");
    // bad pointers fail and write nothing
    EXPECT_EQ(site.call("ini_gets", {game, width, 0, 0x7FFFFFF0u, 32}), 0u);
    EXPECT_EQ(site.call("ini_sets", {game, 0x7FFFFFF0u, 0}), 0u);
    EXPECT_EQ(site.call("ini_sets", {game, width, 0}), 1u);
    EXPECT_EQ(site.call("ini_geti", {game, width, 9}), 9u);
}

}  // namespace
}  // namespace tob
