// Files seen by scripts: path forms, searches and their records, attributes,
// times under a fixed time zone, copy/move/delete refusals and special folders.
#include "runtime/host_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "base/current_folder.h"
#include "platform/byte_order.h"
#include "runtime/runtime.h"
#include "support/call_site.h"

namespace tob {
namespace {

namespace fs = std::filesystem;

struct Scratch {
    fs::path dir;
    fs::path old_folder = current_folder();
    explicit Scratch(const char* tag) {
        dir = fs::temp_directory_path() /
              (std::string("tob_files_") + tag + "_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        set_current_folder(dir);
    }
    ~Scratch() {
        set_current_folder(old_folder);
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }
    void file(const std::string& name, const std::string& text) {
        std::ofstream(dir / name, std::ios::binary) << text;
    }
};

struct FixedZone {
    std::string old;
    bool had;
    explicit FixedZone(const char* tz) {
        const char* o = std::getenv("TZ");
        had = o != nullptr;
        if (o) old = o;
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~FixedZone() {
        if (had)
            ::setenv("TZ", old.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
};

TEST(ScriptFolderText, FormsPathsForScripts) {
    struct Case {
        const char* path;
        std::optional<std::string> want;
    } cases[] = {
        {"/", "\\"},
        {"/home/a/game", "\\home\\a\\game\\"},
        {"/home/a/game/", "\\home\\a\\game\\"},
        {"/tmp/\xe8\xa1\xa8", "\\tmp\\\x95\x5c\\"},  // a double-byte name keeps its bytes
        {"/tmp/\xf0\x9f\x98\x80", std::nullopt},     // no CP932 form
    };
    for (const Case& t : cases) EXPECT_EQ(script_folder_text(t.path), t.want) << t.path;
}

TEST(FindRecord, GoldenLayout) {
    FoundEntry e;
    e.name = "a.txt";
    e.attributes = 0x21;
    e.created = 0x0102030405060708ull;
    e.accessed = 1;
    e.written = 2;
    e.size = 0x100000005ull;
    uint8_t r[kFindRecordSize + 2];
    std::memset(r, 0xAA, sizeof r);
    write_find_record(e, r);
    EXPECT_EQ(load_le32(r + 0), 0x21u);
    EXPECT_EQ(load_le32(r + 4), 0x05060708u);
    EXPECT_EQ(load_le32(r + 8), 0x01020304u);
    EXPECT_EQ(load_le32(r + 12), 1u);
    EXPECT_EQ(load_le32(r + 20), 2u);
    EXPECT_EQ(load_le32(r + 28), 1u);
    EXPECT_EQ(load_le32(r + 32), 5u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(r + 44)), "a.txt");
    EXPECT_EQ(r[304], 0);
    EXPECT_EQ(r[317], 0);
    EXPECT_EQ(r[318], 0xAA) << "wrote past the record";
    // a long name is cut before its terminator, never inside a character
    e.name = std::string(258, 'x') + "\x83\x41";
    write_find_record(e, r);
    EXPECT_EQ(std::strlen(reinterpret_cast<char*>(r + 44)), 258u);
    EXPECT_EQ(file_time_of(0, 0), 116444736000000000ull);
}

TEST(Search, WildcardsDotsAndOrder) {
    Scratch s("search");
    s.file("b.txt", "12345");
    s.file("A.txt", "");
    s.file("c.dat", "");
    s.file(".hidden", "");
    fs::create_directory(s.dir / "Sub");
    auto names = [](const std::vector<FoundEntry>& es) {
        std::string out;
        for (const auto& e : es) out += e.name + ",";
        return out;
    };
    EXPECT_EQ(names(search_entries("*.txt")), "A.txt,b.txt,");
    EXPECT_EQ(names(search_entries("*")), ".,..,.hidden,A.txt,b.txt,c.dat,Sub,");
    EXPECT_EQ(names(search_entries("B.TXT")), "b.txt,");
    EXPECT_EQ(names(search_entries("sub\\*.*")), ".,..,");
    EXPECT_EQ(names(search_entries("missing\\*")), "");
    auto all = search_entries("*");
    EXPECT_EQ(all[0].attributes, kAttrDirectory);
    EXPECT_EQ(all[2].attributes, kAttrNormalFile | kAttrHidden);
    EXPECT_EQ(all[4].size, 5u);
    EXPECT_EQ(all[6].attributes, kAttrDirectory);
    EXPECT_EQ(names(search_entries("\\")), "");
    auto root = search_entries("\\*");
    ASSERT_FALSE(root.empty());
    EXPECT_NE(root[0].name, ".");
}

TEST(Search, HandlesRunOut) {
    Scratch s("handles");
    s.file("x", "");
    FindTable t;
    const FoundEntry* e = nullptr;
    for (int i = 1; i <= FindTable::kSlots; ++i) ASSERT_EQ(t.open("x", e), i);
    EXPECT_EQ(t.open("x", e), -1);
    EXPECT_TRUE(t.close(5));
    EXPECT_FALSE(t.close(5));
    e = nullptr;
    EXPECT_EQ(t.open("x", e), 5);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->name, "x");
    EXPECT_EQ(t.next(5), nullptr);  // one entry only
    EXPECT_EQ(t.next(0), nullptr);
    EXPECT_EQ(t.next(65), nullptr);
    EXPECT_EQ(t.open("nothing*", e), -1);
}

// Names as find records show them: CP932, "?" for each character (or stray
// byte) without a CP932 form, in case-insensitive order where a double-byte
// character's second byte is never taken for a letter.
TEST(Search, RecordNamesInCp932AndTheirOrder) {
    Scratch s("cp932");
    struct Case {
        const char* host;    // UTF-8 (or stray bytes) on disk
        const char* script;  // the record's name
    } cases[] = {
        {"\xFF.bin", "?.bin"},
        {"\xF0\x9F\x98\x80\xF0\x9F\x98\x80", "??"},
        {"A.txt", "A.txt"},
        {"a.txt", "a.txt"},
        {"a\xF0\x9F\x98\x80"
         "b.txt",
         "a?b.txt"},
        {"abcdefg\xE3\x82\xA2", "abcdefg\x83\x41"},  // a character across the eighth byte
        {"ABCDEFG\xE3\x82\xBC", "ABCDEFG\x83\x5B"},
        {"B.txt", "B.txt"},
        {"LONGNAME_a.txt", "LONGNAME_a.txt"},  // equal beyond eight bytes but for case
        {"longname_a.txt", "longname_a.txt"},
        {"Longname_b.txt", "Longname_b.txt"},
        {"\xE3\x82\xA2", "\x83\x41"},  // its second byte is 'A', not 'a' (above '[')
        {"\xE3\x82\xBC", "\x83\x5B"},
        {"\xE8\xA1\xA8.txt", "\x95\x5c.txt"},
    };
    std::string want = ".,..,";
    for (auto it = std::rbegin(cases); it != std::rend(cases); ++it) s.file(it->host, "");
    for (const Case& c : cases) want += std::string(c.script) + ",";
    test::CallSite site;
    site.table.bind_all(files_builtins());
    ScriptAddr rec = site.string("", kFindRecordSize);
    int32_t h = int32_t(site.call("find_first", {site.string("*"), rec}));
    ASSERT_GT(h, 0);
    std::string got = site.read(rec + 44) + ",";
    while (site.call("find_next", {uint32_t(h), rec})) got += site.read(rec + 44) + ",";
    EXPECT_EQ(site.call("find_close", {uint32_t(h)}), 1u);
    EXPECT_EQ(got, want);
}

TEST(Times, RoundTripInAFixedZone) {
    FixedZone zone("JST-9");
    struct Case {
        SystemTime t;
        bool valid;
    } cases[] = {
        {{2024, 2, 0, 29, 23, 59, 58, 250}, true}, {{2023, 2, 0, 29, 0, 0, 0, 0}, false},
        {{2024, 13, 0, 1, 0, 0, 0, 0}, false},     {{2024, 1, 0, 1, 24, 0, 0, 0}, false},
        {{2024, 1, 0, 1, 0, 0, 0, 1000}, false},   {{1600, 1, 0, 1, 0, 0, 0, 0}, false},
    };
    for (const Case& c : cases) {
        auto ts = from_local_system_time(c.t);
        ASSERT_EQ(ts.has_value(), c.valid) << c.t.year << "-" << c.t.month << "-" << c.t.day;
        if (!ts) continue;
        SystemTime back = local_system_time(ts->tv_sec, ts->tv_nsec);
        EXPECT_EQ(back.year, 2024);
        EXPECT_EQ(back.day_of_week, 4);  // a Thursday
        EXPECT_EQ(back.hour, 23);
        EXPECT_EQ(back.milliseconds, 250);
    }
    // 1970-01-01 00:00 UTC is 09:00 in this zone
    EXPECT_EQ(local_system_time(0, 0).hour, 9);
}

TEST(HostFiles, CopyMoveDeleteRefusals) {
    Scratch s("copy");
    s.file("a", "alpha");
    s.file("b", "beta");
    fs::path a = s.dir / "a", b = s.dir / "b", c = s.dir / "c";
    EXPECT_FALSE(copy_host_file(a, b, true));
    EXPECT_TRUE(copy_host_file(a, b, false));
    EXPECT_TRUE(copy_host_file(a, c, true));
    EXPECT_FALSE(copy_host_file(s.dir / "missing", c, false));
    EXPECT_FALSE(copy_host_file(s.dir, c, false));
    EXPECT_FALSE(copy_host_file(a, a, false));
    ASSERT_TRUE(set_file_attributes(c, kAttrReadOnly | kAttrHidden));
    EXPECT_EQ(file_attributes(c), kAttrNormalFile | kAttrReadOnly);
    EXPECT_FALSE(copy_host_file(a, c, false)) << "read-only destination";
    EXPECT_FALSE(delete_host_file(c)) << "read-only file";
    EXPECT_TRUE(copy_host_file(c, s.dir / "d", true));
    EXPECT_EQ(file_attributes(s.dir / "d") & kAttrReadOnly, kAttrReadOnly) << "the bit travels";
    EXPECT_TRUE(set_file_attributes(c, 0));
    EXPECT_TRUE(delete_host_file(c));
    EXPECT_FALSE(move_host_file(a, b)) << "never replaces";
    EXPECT_TRUE(move_host_file(a, s.dir / "e"));
    EXPECT_EQ(file_attributes(a), kAttrMissing);
    EXPECT_FALSE(delete_host_file(s.dir));
    EXPECT_TRUE(create_host_folder(s.dir / "f"));
    EXPECT_FALSE(create_host_folder(s.dir / "f"));
    s.file("f/x", "");
    EXPECT_FALSE(delete_host_folder(s.dir / "f"));
    EXPECT_TRUE(delete_host_file(s.dir / "f" / "x"));
    EXPECT_TRUE(delete_host_folder(s.dir / "f"));
    std::ifstream in(s.dir / "b");
    std::string text;
    in >> text;
    EXPECT_EQ(text, "alpha");
    for (const auto& entry : fs::directory_iterator(s.dir))
        EXPECT_EQ(entry.path().filename().string().find(".XXX"), std::string::npos);
}

// A folder on another file system than `here` (tmpfs under /dev/shm beside a
// disk, or the other way round), or nothing.
std::optional<fs::path> folder_on_another_file_system(const fs::path& here) {
    struct stat a {};
    if (::stat(here.c_str(), &a) != 0) return std::nullopt;
    for (const char* candidate : {"/dev/shm", "/run/user", "/var/tmp", "/tmp"}) {
        struct stat b {};
        if (::stat(candidate, &b) == 0 && S_ISDIR(b.st_mode) && b.st_dev != a.st_dev &&
            ::access(candidate, W_OK) == 0)
            return fs::path(candidate);
    }
    return std::nullopt;
}

// Makes a file undeletable while it lives: immutable where the file system
// and our rights allow (root included), else through its folder's write bit.
struct StuckFile {
    fs::path file;
    int fd = -1;
    bool folder = false;
    static bool set_immutable(int fd, bool on) {
        int flags = 0;
        if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) return false;
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        return ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    static bool possible(const fs::path& file) {
        StuckFile probe(file);
        return probe.fd >= 0 || probe.folder;
    }
    explicit StuckFile(fs::path f) : file(std::move(f)) {
        fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0 && set_immutable(fd, true)) return;
        if (fd >= 0) ::close(fd);
        fd = -1;
        if (::geteuid() != 0) {
            fs::permissions(file.parent_path(), fs::perms::owner_write, fs::perm_options::remove);
            folder = true;
        }
    }
    ~StuckFile() {
        if (fd >= 0) {
            set_immutable(fd, false);
            ::close(fd);
        }
        if (folder)
            fs::permissions(file.parent_path(), fs::perms::owner_write, fs::perm_options::add);
    }
};

TEST(HostFiles, MoveAcrossFileSystemsCopiesThenDeletes) {
    Scratch s("cross");
    auto other = folder_on_another_file_system(s.dir);
    if (!other) GTEST_SKIP() << "no writable folder on another file system";
    fs::path far = *other / ("tob_cross_" + std::to_string(::getpid()));
    fs::remove_all(far);
    ASSERT_TRUE(fs::create_directories(far));
    struct Cleanup {
        fs::path p;
        ~Cleanup() {
            std::error_code ec;
            fs::permissions(p, fs::perms::owner_all, fs::perm_options::add, ec);
            fs::remove_all(p, ec);
        }
    } cleanup{far};

    s.file("data", "payload");
    s.file("kept", "old");
    fs::create_directory(s.dir / "folder");
    std::ofstream(far / "taken") << "theirs";
    struct timespec times[2] = {{1000000000, 0}, {1234567890, 500000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (s.dir / "data").c_str(), times, 0), 0);
    ASSERT_TRUE(set_file_attributes(s.dir / "data", kAttrReadOnly));

    struct Case {
        fs::path from, to;
        bool moved;
        const char* why;
    } cases[] = {
        {s.dir / "kept", far / "taken", false, "an existing destination is never replaced"},
        {s.dir / "folder", far / "folder", false, "folders move only within a file system"},
        {s.dir / "missing", far / "missing", false, "nothing to move"},
        {s.dir / "data", far / "data", true, "a read-only file moves with its bit and time"},
    };
    for (const Case& c : cases) {
        bool had = fs::exists(c.from), dest_had = fs::exists(c.to);
        EXPECT_EQ(move_host_file(c.from, c.to), c.moved) << c.why;
        EXPECT_EQ(fs::exists(c.from), had && !c.moved) << c.why;
        EXPECT_EQ(fs::exists(c.to), dest_had || c.moved) << c.why;
    }
    std::ifstream taken(far / "taken"), moved(far / "data");
    std::string text;
    taken >> text;
    EXPECT_EQ(text, "theirs");
    moved >> text;
    EXPECT_EQ(text, "payload");
    EXPECT_EQ(file_attributes(far / "data"), kAttrNormalFile | kAttrReadOnly);
    struct stat st {};
    ASSERT_EQ(::stat((far / "data").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1234567890);
    EXPECT_EQ(st.st_mtim.tv_nsec, 500000000);
    for (const auto& entry : fs::directory_iterator(far))
        EXPECT_EQ(entry.path().filename().string().find(".XXX"), std::string::npos);

    // A source that cannot be deleted: the copy is taken back, the source stays.
    s.file("stuck", "x");
    if (!StuckFile::possible(s.dir / "stuck")) GTEST_SKIP() << "cannot make a file undeletable";
    {
        StuckFile stuck(s.dir / "stuck");
        EXPECT_FALSE(move_host_file(s.dir / "stuck", far / "stuck"));
    }
    EXPECT_TRUE(fs::exists(s.dir / "stuck"));
    EXPECT_FALSE(fs::exists(far / "stuck"));
}

TEST(SpecialFolders, FollowHomeAndXdg) {
    Scratch s("xdg");
    fs::create_directories(s.dir / "home" / "Docs");
    fs::create_directories(s.dir / "home" / "Desktop");
    fs::create_directories(s.dir / "cfg");
    fs::create_directories(s.dir / "data");
    std::ofstream(s.dir / "cfg" / "user-dirs.dirs")
        << "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\nXDG_MUSIC_DIR=\"$HOME/Music\"\n";
    struct Env {
        const char* name;
        std::string old;
        bool had;
    } env[] = {{"HOME", "", false}, {"XDG_CONFIG_HOME", "", false}, {"XDG_DATA_HOME", "", false}};
    for (auto& e : env)
        if (const char* v = std::getenv(e.name)) e.old = v, e.had = true;
    ::setenv("HOME", (s.dir / "home").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (s.dir / "cfg").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (s.dir / "data").c_str(), 1);
    struct Case {
        int32_t id;
        std::optional<fs::path> want;
    } cases[] = {
        {0, s.dir / "home" / "Desktop"},
        {16, s.dir / "home" / "Desktop"},
        {5, s.dir / "home" / "Docs"},
        {13, std::nullopt},  // listed but missing
        {39, std::nullopt},  // not listed
        {26, s.dir / "cfg"},
        {28, s.dir / "data"},
        {40, s.dir / "home"},
        {36, s.dir / "data" / "morvane" / "windows"},
        {37, s.dir / "data" / "morvane" / "windows" / "system32"},
        {99, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(special_folder(c.id), c.want) << c.id;
    for (auto& e : env)
        if (e.had)
            ::setenv(e.name, e.old.c_str(), 1);
        else
            ::unsetenv(e.name);
}

TEST(FilesBuiltins, ThroughTheTrapPath) {
    Scratch s("builtins");
    FixedZone zone("UTC0");
    fs::path cwd = fs::current_path();  // dir_setcur moves the process too
    s.file("data.bin", "0123456789");
    test::CallSite site;
    site.table.bind_all(files_builtins());
    ScriptAddr rec = site.string("", kFindRecordSize);
    ScriptAddr name = site.string("DATA.BIN");
    EXPECT_EQ(site.call("file_size", {name}), 10u);
    EXPECT_EQ(site.call("file_size", {site.string("none")}), 0u);
    EXPECT_EQ(int32_t(site.call("find_first", {name, rec})), 1);
    EXPECT_EQ(site.read(rec + 44), "data.bin");
    EXPECT_EQ(int32_t(site.call("find_first", {name, 0x7FFFFF00u})), -1) << "bad record";
    EXPECT_EQ(site.call("find_next", {1, rec}), 0u);
    EXPECT_EQ(site.call("find_close", {1}), 1u);
    EXPECT_EQ(site.call("file_getattr", {site.string("none")}), kAttrMissing);

    // times: written set, read back; creation only when asked
    ScriptAddr t1 = site.string("", 16), t2 = site.string("", 16);
    uint8_t* w = site.mem.host(t2, 16);
    write_system_time({2020, 5, 0, 17, 12, 30, 15, 0}, w);
    EXPECT_EQ(site.call("file_settime", {name, 0, 0, t2}), 1u);
    std::memset(w, 0, 16);
    EXPECT_EQ(site.call("file_gettime", {name, 0, 0x80000000u, t2}), 1u);
    SystemTime got = read_system_time(w);
    EXPECT_EQ(got.year, 2020);
    EXPECT_EQ(got.day_of_week, 0);  // a Sunday
    EXPECT_EQ(got.minute, 30);
    // a bad record address fails before anything is set
    write_system_time({2001, 1, 0, 1, 0, 0, 0, 0}, site.mem.host(t1, 16));
    EXPECT_EQ(site.call("file_settime", {name, 0, t1, 0x7FFFFFF8u}), 0u);
    write_system_time({2001, 2, 0, 30, 0, 0, 0, 0}, w);
    EXPECT_EQ(site.call("file_settime", {name, 0, t1, t2}), 0u) << "invalid date";
    EXPECT_EQ(site.call("file_gettime", {name, 0, 0, t2}), 1u);
    EXPECT_EQ(read_system_time(w).year, 2020) << "nothing changed";

    // folders
    ScriptAddr buf = site.string("", 260);
    EXPECT_EQ(site.call("dir_create", {site.string("Sub")}), 1u);
    EXPECT_EQ(site.call("dir_setcur", {site.string("sub")}), 1u);
    std::string want = *script_folder_text(fs::canonical(s.dir / "Sub"));
    EXPECT_EQ(site.call("dir_getcur", {buf}), want.size());
    EXPECT_EQ(site.read(buf), want);
    EXPECT_EQ(site.call("dir_setcur", {site.string("..")}), 1u);
    EXPECT_EQ(site.call("dir_getcur", {0x7FFFFFF0u}), 0u);
    EXPECT_EQ(site.call("dir_getpath", {40, 0}), 0u);
    EXPECT_EQ(site.call("dir_delete", {site.string("SUB")}), 1u);
    fs::current_path(cwd);
}

}  // namespace
}  // namespace tob
