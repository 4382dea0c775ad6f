// Script path translation: Shift-JIS aware separators, the module directory,
// drives, and case-insensitive lookup on a case-sensitive file system.
#include "platform/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

using namespace tob;
namespace fs = std::filesystem;

namespace {

struct TempDir {
    fs::path path;
    TempDir() {
        char tmpl[] = "/tmp/tob_paths_XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() { fs::remove_all(path); }
    void touch(const fs::path& rel) {
        fs::create_directories((path / rel).parent_path());
        std::ofstream(path / rel) << "x";
    }
};

}  // namespace

TEST(Paths, SeparatorsSkipDoubleByteCharacters) {
    struct Case {
        std::string path;
        std::vector<size_t> separators;
    } cases[] = {
        {"a\\b/c", {1, 3}},       {"\x95\x5c\\x", {2}},  // 表 ends in 0x5C
        {"\x83\x5c\x83\x5c", {}},                        // ソソ
        {"\\\\srv\\", {0, 1, 5}}, {"\x82", {}},          // a lone lead byte at the end
    };
    for (const auto& c : cases) EXPECT_EQ(path_separator_positions(c.path), c.separators) << c.path;
}

TEST(Paths, NamesCompareIgnoringCase) {
    struct Case {
        const char* a;
        const char* b;
        bool equal;
    } cases[] = {
        {"Title.PNG", "title.png", true},
        {"Ａ.txt", "ａ.TXT", true},  // full-width letters
        {"ΑΒΓ", "αβγ", true},        // Greek
        {"ДОМ", "дом", true},        // Cyrillic
        {"表.txt", "表.TXT", true},
        {"ア", "ァ", false},  // small kana are other characters
        {"a", "a.", false},
        {"\x83\x41", "\x83\x61", false},  // raw CP932: trail bytes are not letters
    };
    for (const auto& c : cases) {
        EXPECT_EQ(host_names_equal_ignoring_case(c.a, c.b), c.equal) << c.a << " / " << c.b;
    }
}

TEST(Paths, ResolvesAgainstTheModuleDirectoryIgnoringCase) {
    TempDir dir;
    dir.touch("Data/BG/Title.PNG");
    dir.touch("表/ソ.txt");
    dir.touch("\x83\x5c.dat");  // a name left in raw CP932 bytes
    struct Case {
        std::string script;
        fs::path expected;  // relative to the base
    } cases[] = {
        {"Data\\BG\\Title.PNG", "Data/BG/Title.PNG"},
        {"data\\bg\\title.png", "Data/BG/Title.PNG"},
        {"DATA/bg\\TITLE.png", "Data/BG/Title.PNG"},
        {"data\\\\bg\\title.png", "Data/BG/Title.PNG"},  // empty components drop out
        {"\x95\x5c\\\x83\x5c.TXT", "表/ソ.txt"},         // 0x5C trail bytes are not separators
        {"\x83\x5c.DAT", "\x83\x5c.dat"},
        {"data\\bg\\new.png", "Data/BG/new.png"},          // a new file in existing folders
        {"data\\none\\Title.png", "Data/none/Title.png"},  // kept as written past a miss
        {"data\\.\\BG\\..\\bg\\title.png", "Data/./BG/../BG/Title.PNG"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(to_host_path(c.script, dir.path), dir.path / c.expected) << c.script;
    }
}

TEST(Paths, AbsoluteDriveAndEmptyBase) {
    TempDir dir;
    dir.touch("Sub/File.txt");
    std::string win = dir.path.string();
    std::replace(win.begin(), win.end(), '/', '\\');
    EXPECT_EQ(to_host_path("C:" + win + "\\sub\\file.txt", "/elsewhere"),
              dir.path / "Sub/File.txt");
    EXPECT_EQ(to_host_path(win + "\\SUB\\FILE.TXT", "/elsewhere"), dir.path / "Sub/File.txt");
    EXPECT_EQ(to_host_path("c:a.txt", "/base"), fs::path("/base/a.txt"));  // drive-relative

    // An empty base is the current directory, and the result stays relative.
    fs::path old = fs::current_path();
    fs::current_path(dir.path);
    EXPECT_EQ(to_host_path("sub\\file.txt", {}), fs::path("Sub/File.txt"));
    fs::current_path(old);
}
