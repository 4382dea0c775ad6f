#include "shell/config.h"

#include <gtest/gtest.h>

#include <fstream>

#include "base/error_report.h"
#include "base/ini_file.h"

using namespace tob;

namespace {
std::filesystem::path write_temp(const std::string& name, const std::string& text) {
    auto dir = std::filesystem::temp_directory_path() / "tob_config_test";
    std::filesystem::create_directories(dir);
    auto p = dir / name;
    std::ofstream(p, std::ios::binary) << text;
    return p;
}
}  // namespace

TEST(IniFile, PrivateProfileSemantics) {
    IniFile ini = IniFile::parse(
        "; comment\r\n[general]\r\n  Width =  800 \r\nwidth=1024\r\nEmpty=\r\nNeg=-12\r\n"
        "Junk=abc\r\nPartly=42px\r\nHuge=99999999999\r\nQuoted=\"a b\"\r\n[General]\r\nHeight=1\r\n"
        "[Other]\r\nHeight=2\r\n");
    EXPECT_EQ(ini.get_int("GENERAL", "width", 0), 800);  // first duplicate wins, names ignore case
    EXPECT_EQ(ini.get_int("General", "Empty", 7), 7);    // empty value gives the default
    EXPECT_EQ(ini.get_int("General", "Missing", 7), 7);
    EXPECT_EQ(ini.get_int("General", "Neg", 0), -12);
    EXPECT_EQ(ini.get_int("General", "Junk", 7), 0);
    EXPECT_EQ(ini.get_int("General", "Partly", 0), 42);
    EXPECT_EQ(ini.get_int("General", "Huge", 0), INT32_MAX);
    EXPECT_EQ(ini.get_int("General", "Height", 0), 0);  // only the first section counts
    EXPECT_EQ(ini.get_int("Other", "Height", 0), 2);
    EXPECT_EQ(ini.get_string("General", "Quoted", ""), "a b");
    EXPECT_EQ(ini.get_string("Nope", "x", "dflt"), "dflt");

    // Double-byte names: ASCII letters fold, trail bytes never do (0x83 0x41
    // is one katakana, 0x83 0x61 another).
    IniFile jp = IniFile::parse("[\x83\x41]\nKey=1\n");
    EXPECT_EQ(jp.get_int("\x83\x41", "KEY", 0), 1);
    EXPECT_EQ(jp.get_int("\x83\x61", "Key", 0), 0);
}

TEST(IniFile, SetKeepsOtherLinesAndSavesAtomically) {
    IniFile ini = IniFile::parse("[A]\nx=1\n\n[B]\ny=2\n");
    ini.set("a", "X", "5");
    ini.set("A", "z", "6");
    ini.set("C", "w", "7");
    EXPECT_TRUE(ini.remove("B", "y"));
    EXPECT_FALSE(ini.remove("B", "y"));
    EXPECT_EQ(ini.text(), "[A]\r\nx=5\r\nz=6\r\n\r\n[B]\r\n[C]\r\nw=7\r\n");
    auto p = write_temp("saved.ini", "old");
    ASSERT_TRUE(ini.save(p));
    EXPECT_EQ(IniFile::load(p).get_int("C", "w", 0), 7);
    EXPECT_FALSE(std::filesystem::exists(p.string() + ".tmp"));
    EXPECT_FALSE(ini.save("/nonexistent-dir/x.ini"));
}

TEST(Configuration, MissingFileGivesEveryDefault) {
    Settings s;
    read_configuration("/nonexistent/game.cfg", "game", s);
    EXPECT_EQ(s.width, 640);
    EXPECT_EQ(s.height, 480);
    EXPECT_EQ(s.depth, 24);
    EXPECT_EQ(s.title, "");
    EXPECT_EQ(s.menu, 0);
    EXPECT_EQ(s.auto_hide_menu, 0);
    EXPECT_EQ(s.main_script, "game\\game.c");
    EXPECT_EQ(s.program_size, 0u);
    EXPECT_EQ(s.stack_size, 65536u);
    EXPECT_EQ(s.heap_size, 1024u * 1024u);
    EXPECT_EQ(s.global_focus.load(), 1);
    EXPECT_EQ(s.full_screen, -1);
}

TEST(Configuration, KeysAndRules) {
    auto p = write_temp("keys.cfg",
                        "[General]\nTitle=My Game\nWidth=800\nHeight=600\nMenu=1\nDraw=1\n"
                        "AutoHideMenu=1\nProgramSize=256\nStackSize=128\nHeapSize=0\n"
                        "Execute=scripts\\main.c\nFullScreen=2\nGlobalFocus=0\nDebugMode=1\n");
    Settings s;
    read_configuration(p, "game", s);
    EXPECT_EQ(s.title, "My Game");
    EXPECT_EQ(s.width, 800);
    EXPECT_EQ(s.auto_hide_menu, 1);  // kept: both Draw and Menu are set
    EXPECT_EQ(s.program_size, 256u << 10);
    EXPECT_EQ(s.stack_size, 128u << 10);
    EXPECT_EQ(s.heap_size, 0u);
    EXPECT_EQ(s.main_script, "scripts\\main.c");
    EXPECT_EQ(s.full_screen, 2);
    EXPECT_EQ(s.global_focus.load(), 0);
    EXPECT_EQ(s.debug_mode, 1);

    auto q = write_temp("hide.cfg", "[General]\nMenu=1\nAutoHideMenu=1\n");
    read_configuration(q, "game", s);
    EXPECT_EQ(s.auto_hide_menu, 0);  // no Draw: forced off
}

TEST(Configuration, AbsurdSizesFallBackWithAReport) {
    std::vector<std::string> texts;
    ErrorSink old = set_error_sink({[&](const std::string& t) { texts.push_back(t); }, true});
    auto p = write_temp("sizes.cfg", "[General]\nStackSize=-4\nHeapSize=99999999\n");
    Settings s;
    read_configuration(p, "game", s);
    set_error_sink(old);
    EXPECT_EQ(s.stack_size, 65536u);
    EXPECT_EQ(s.heap_size, 1024u << 10);
    EXPECT_EQ(texts.size(), 2u);
}

TEST(Configuration, LongTitlesAreCutOnACharacterBoundary) {
    std::string title(254, 'a');
    title += "\x82\xa0";  // a double-byte character across the 255-byte limit
    auto p = write_temp("title.cfg", "[General]\nTitle=" + title + "\n");
    Settings s;
    read_configuration(p, "game", s);
    EXPECT_EQ(s.title, std::string(254, 'a'));
}
