// The script file built-ins on a temporary game folder: pack round trips (plain,
// compressed and archived), streams in both modes, the system file, tracked heap
// blocks across a restart, wildcard checks, and writes that fail half-way.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <fstream>
#include <random>

#include "base/current_folder.h"
#include "base/error_report.h"
#include "runtime/file_match.h"
#include "runtime/runtime.h"
#include "runtime/script_files.h"
#include "runtime/whole_file.h"
#include "storage/archive_writer.h"
#include "support/call_site.h"

using namespace tob;
using tob::test::CallSite;
namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void spit(const fs::path& p, std::string_view bytes) {
    std::ofstream(p, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// Writes beyond `limit` bytes fail (EFBIG) while this lives.
struct FileSizeLimit {
    rlimit old{};
    explicit FileSizeLimit(rlim_t limit) {
        signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit r = old;
        r.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &r);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old); }
};

struct Files : ::testing::Test {
    CallSite site;
    fs::path dir;
    ErrorSink old_sink;
    fs::path old_folder;

    Files() {
        dir = fs::temp_directory_path() /
              ("tob_files_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "sub");
        old_folder = current_folder();
        set_current_folder(dir);
        old_sink = set_error_sink({[](const std::string&) {}, true});
        site.table.bind_all(script_file_builtins());
        init_script_files(site.mem);
    }
    ~Files() override {
        shutdown_script_files();
        set_error_sink(old_sink);
        set_current_folder(old_folder);
        fs::remove_all(dir);
    }
    uint32_t call(std::string_view name, std::vector<uint32_t> args) {
        return site.call(name, args);
    }
    int32_t icall(std::string_view name, std::vector<uint32_t> args) {
        return int32_t(call(name, args));
    }
    ScriptAddr str(std::string_view s, uint32_t cap = 0) { return site.string(s, cap); }
    std::string bytes(ScriptAddr a, uint32_t n) {
        return {reinterpret_cast<char*>(site.mem.host(a, n)), n};
    }
    size_t entries() { return size_t(std::distance(fs::directory_iterator(dir), {})); }
};

std::string noise(size_t n) {
    std::mt19937 gen(7);
    std::string s(n, '\0');
    for (char& c : s) c = char(gen());
    return s;
}

}  // namespace

TEST_F(Files, PackRoundTripAndSlots) {
    std::string text = "repeat repeat repeat repeat " + noise(300);
    ScriptAddr data = str(text);
    EXPECT_EQ(call("pack_save", {str("save.dat"), data, uint32_t(text.size())}), 1u);
    EXPECT_EQ(slurp(dir / "save.dat").substr(0, 4), std::string("tob\0", 4));
    EXPECT_EQ(call("pack_save", {str("empty.dat"), data, 0}), 0u);  // nothing to compress
    EXPECT_FALSE(fs::exists(dir / "empty.dat"));

    int32_t h = icall("pack_open", {str("SAVE.DAT")});  // names ignore case
    ASSERT_EQ(h, 1);
    EXPECT_EQ(icall("pack_size", {uint32_t(h)}), int32_t(text.size()));
    ScriptAddr buf = str("", 1024);
    EXPECT_EQ(icall("pack_read", {uint32_t(h), buf, 100}), 100);
    EXPECT_EQ(bytes(buf, 100), text.substr(0, 100));
    EXPECT_EQ(icall("pack_seek", {uint32_t(h), uint32_t(-10), 2}), int32_t(text.size()) - 10);
    EXPECT_EQ(icall("pack_read", {uint32_t(h), buf, 100}), 10);  // the rest, then nothing
    EXPECT_EQ(icall("pack_read", {uint32_t(h), buf, 100}), 0);
    EXPECT_EQ(icall("pack_read", {uint32_t(h), 0x7FFFFF00, 1000}), -1);  // a wild buffer
    EXPECT_EQ(icall("pack_seek", {uint32_t(h), uint32_t(text.size()) + 1, 0}), -1);

    for (int i = 2; i <= kPackSlots; ++i) EXPECT_EQ(icall("pack_open", {str("save.dat")}), i);
    EXPECT_EQ(icall("pack_open", {str("save.dat")}), 0);  // the 17th
    EXPECT_EQ(icall("pack_close", {0}), 0);
    EXPECT_EQ(icall("pack_close", {17}), 0);
    EXPECT_EQ(icall("pack_close", {5}), 1);
    EXPECT_EQ(icall("pack_close", {5}), 1);  // already closed
    EXPECT_EQ(icall("pack_read", {5, buf, 4}), -1);
    EXPECT_EQ(icall("pack_size", {5}), -1);
    EXPECT_EQ(icall("pack_open", {str("missing.dat")}), 0);
    EXPECT_EQ(icall("pack_open", {str("save.dat")}), 5);  // the lowest free slot
}

TEST_F(Files, MloadReadsPlainCompressedAndArchivedFiles) {
    std::string text = noise(64) + std::string(5000, 'z');
    ScriptAddr data = str(text);
    ASSERT_EQ(call("pack_save", {str("sub\\packed.bin"), data, uint32_t(text.size())}), 1u);
    spit(dir / "plain.txt", "0123456789");
    auto archive = build_archive({{"inner.txt", {'a', 'b', 'c', 'd'}}}, 99);
    spit(dir / "arc.bin", std::string(archive.begin(), archive.end()));

    ScriptAddr whole = call("mload", {str("sub/packed.bin"), 0, 0});
    ASSERT_NE(whole, 0u);
    EXPECT_EQ(bytes(whole, uint32_t(text.size())), text);
    ScriptAddr part = call("mload", {str("plain.txt"), 3, 4});
    ASSERT_NE(part, 0u);
    EXPECT_EQ(bytes(part, 4), "3456");
    ScriptAddr member = call("mload", {str("arc\\inner.txt"), 1, 0});
    ASSERT_NE(member, 0u);
    EXPECT_EQ(bytes(member, 3), "bcd");
    // Past the end of an expanded file or a member the seek fails, and so does mload;
    // a plain file can be positioned past its end and reads nothing there.
    EXPECT_EQ(call("mload", {str("sub\\packed.bin"), 999999, 4}), 0u);
    EXPECT_EQ(call("mload", {str("arc\\inner.txt"), 5, 1}), 0u);
    ScriptAddr beyond = call("mload", {str("plain.txt"), 50, 4});
    ASSERT_NE(beyond, 0u);
    EXPECT_EQ(bytes(beyond, 4), std::string(4, '\0'));
    EXPECT_EQ(call("mload", {str("nothing.txt"), 0, 0}), 0u);
    EXPECT_EQ(script_files().block_count(), 4u);
    EXPECT_EQ(call("free", {part}), 1u);  // mload blocks are tracked like malloc's
}

TEST_F(Files, StreamsInTextAndBinaryMode) {
    uint32_t w = call("fopen", {str("sub\\log.txt"), str("w")});
    ASSERT_NE(w, 0u);
    EXPECT_EQ(icall("fputs", {str("one\ntwo"), w}), 0);
    ScriptAddr rec = str("\n3\r\n", 8);
    EXPECT_EQ(call("fwrite", {rec, 2, 2, w}), 2u);
    EXPECT_EQ(icall("fclose", {w}), 0);
    EXPECT_EQ(icall("fclose", {w}), -1);  // closed handles fail
    EXPECT_EQ(slurp(dir / "sub" / "log.txt"), "one\r\ntwo\r\n3\r\r\n");

    ScriptAddr line = str("", 64);
    uint32_t r = call("fopen", {str("SUB\\LOG.TXT"), str("rt")});
    ASSERT_NE(r, 0u);
    std::vector<std::string> lines;
    while (call("fgets", {line, 64, r}) == line) lines.push_back(site.read(line));
    EXPECT_EQ(lines, (std::vector<std::string>{"one\n", "two\n", "3\r\n"}));
    EXPECT_EQ(icall("ftell", {r}), 14);
    EXPECT_EQ(icall("fseek", {r, 1, 0}), 0);
    EXPECT_EQ(call("fgets", {line, 3, r}), line);  // at most size - 1 bytes
    EXPECT_EQ(site.read(line), "ne");
    EXPECT_EQ(icall("fseek", {r, 0, 7}), -1);
    EXPECT_EQ(icall("fclose", {r}), 0);

    uint32_t b = call("fopen", {str("sub\\log.txt"), str("rb+")});
    ASSERT_NE(b, 0u);
    ScriptAddr buf = str("", 32);
    EXPECT_EQ(call("fread", {buf, 4, 10, b}), 3u);  // 14 bytes: three whole items
    EXPECT_EQ(bytes(buf, 5), "one\r\n");
    EXPECT_EQ(icall("fseek", {b, 0, 0}), 0);
    EXPECT_EQ(call("fwrite", {str("ONE\n"), 1, 4, b}), 4u);
    EXPECT_EQ(icall("fclose", {b}), 0);
    EXPECT_EQ(slurp(dir / "sub" / "log.txt").substr(0, 5), "ONE\n\n");

    // Bad handles, modes, paths and buffers fail without reaching the file system.
    EXPECT_EQ(call("fopen", {str("sub\\log.txt"), str("q")}), 0u);
    EXPECT_EQ(call("fopen", {str("none\\x.txt"), str("r")}), 0u);
    EXPECT_EQ(call("fopen", {0, str("r")}), 0u);
    uint32_t handles[] = {0, 9999, 3, 0xDEADBEEF};
    for (uint32_t bad : handles) {
        EXPECT_EQ(call("fread", {buf, 1, 4, bad}), 0u);
        EXPECT_EQ(call("fwrite", {buf, 1, 4, bad}), 0u);
        EXPECT_EQ(icall("fseek", {bad, 0, 0}), -1);
        EXPECT_EQ(icall("ftell", {bad}), -1);
        EXPECT_EQ(call("fgets", {buf, 8, bad}), 0u);
        EXPECT_LT(icall("fputs", {buf, bad}), 0);
        EXPECT_NE(icall("fclose", {bad}), 0);
    }
    uint32_t s = call("fopen", {str("sub\\log.txt"), str("rb")});
    EXPECT_EQ(call("fread", {0x7FFFFF00, 1, 4096, s}), 0u);
    EXPECT_EQ(call("fread", {buf, uint32_t(-1), 2, s}), 0u);
    EXPECT_EQ(call("fgets", {buf, 0, s}), 0u);
}

TEST_F(Files, SystemFileIsSavedAtShutdownEvenAfterItsBlockWasFreed) {
    ScriptAddr buf = call("malloc", {8});
    std::memcpy(site.mem.host(buf, 8), "initial!", 8);
    // A missing file: 0, but the registration stays; sysio 1 then creates it.
    EXPECT_EQ(call("sysfile", {str("sys.dat"), buf, 8}), 0u);
    EXPECT_EQ(call("sysio", {1}), 1u);
    EXPECT_EQ(slurp(dir / "sys.dat"), "initial!");
    std::memcpy(site.mem.host(buf, 8), "changed.", 8);
    EXPECT_EQ(call("sysio", {0}), 1u);
    EXPECT_EQ(bytes(buf, 8), "initial!");

    std::memcpy(site.mem.host(buf, 8), "final!!!", 8);
    EXPECT_EQ(call("free", {buf}), 1u);  // the buffer's block goes away
    call("malloc", {8});                 // and its memory may be reused
    shutdown_script_files();
    EXPECT_EQ(slurp(dir / "sys.dat"), "final!!!");

    // The same for a buffer in a program area that the engine releases.
    init_script_files(site.mem);
    ScriptAddr program = site.mem.allocate(64, BlockKind::Program);
    std::memcpy(site.mem.host(program + 16, 4), "prog", 4);
    EXPECT_EQ(call("sysfile", {str("sys.dat"), program + 16, 4}), 1u);
    EXPECT_EQ(bytes(program + 16, 4), "fina");  // loaded from the file
    std::memcpy(site.mem.host(program + 16, 4), "prog", 4);
    site.mem.free(program);
    EXPECT_EQ(call("sysio", {1}), 1u);
    EXPECT_EQ(slurp(dir / "sys.dat"), "prog");

    EXPECT_EQ(call("sysfile", {0, buf, 8}), 0u);
    EXPECT_EQ(call("sysfile", {str("x"), 0x7FFFFFF0, 64}), 0u);  // a wild buffer registers nothing
}

TEST_F(Files, FailedWritesLeaveTheOldFile) {
    spit(dir / "save.dat", "old contents");
    std::string big = noise(200000);
    ScriptAddr data = str(big);
    ScriptAddr sys = call("malloc", {uint32_t(big.size())});
    std::memcpy(site.mem.host(sys, uint32_t(big.size())), big.data(), big.size());
    EXPECT_EQ(call("sysfile", {str("save.dat"), sys, uint32_t(big.size())}), 1u);
    {
        FileSizeLimit limit(4096);
        EXPECT_EQ(call("pack_save", {str("save.dat"), data, uint32_t(big.size())}), 0u);
        EXPECT_EQ(call("sysio", {1}), 0u);
        EXPECT_FALSE(write_whole_file(dir / "save.dat",
                                      {reinterpret_cast<const uint8_t*>(big.data()), big.size()}));
    }
    EXPECT_EQ(slurp(dir / "save.dat"), "old contents");
    EXPECT_EQ(entries(), 2u);  // save.dat and sub: no temporary file left behind
    EXPECT_EQ(call("pack_save", {str("save.dat"), data, uint32_t(big.size())}), 1u);
    EXPECT_EQ(entries(), 2u);
}

TEST_F(Files, HeapBlocksAreTrackedAndFreedOnRestart) {
    std::vector<ScriptAddr> blocks;
    for (int i = 0; i < 1500; ++i)
        blocks.push_back(call("malloc", {16}));  // past the first capacity
    EXPECT_EQ(std::count(blocks.begin(), blocks.end(), 0u), 0);
    EXPECT_EQ(call("free", {blocks[7]}), 1u);
    EXPECT_EQ(call("free", {blocks[7]}), 0u);      // twice
    EXPECT_EQ(call("free", {blocks[8] + 4}), 0u);  // not a block's start
    EXPECT_EQ(call("free", {0}), 0u);
    EXPECT_EQ(call("free", {site.code}), 0u);  // not from malloc
    EXPECT_NE(site.mem.block_size(site.code), 0u);
    EXPECT_EQ(call("malloc", {0x7FFFFFFF}), 0u);  // too large: nothing is listed
    EXPECT_EQ(script_files().block_count(), 1499u);

    spit(dir / "a.txt", "x");
    ASSERT_EQ(icall("pack_open", {str("a.txt")}), 1);
    init_script_files(site.mem);  // engine re-initialisation
    EXPECT_EQ(site.mem.block_count(BlockKind::ScriptHeap), 0u);
    EXPECT_EQ(script_files().block_count(), 0u);
    EXPECT_EQ(icall("pack_size", {1}), -1);
}

TEST_F(Files, FileCheckWithWildcards) {
    spit(dir / "Save01.dat", "");
    spit(dir / "sub" / "\xe8\xa1\xa8.txt",
         "");  // "表.txt": its CP932 name ends a character in 0x5C
    struct Case {
        std::string path;
        uint32_t found;
    } cases[] = {
        {"save01.dat", 1}, {"*.dat", 1},         {"save??.DAT", 1}, {"save?.dat", 0}, {"*.txt", 0},
        {"sub\\*.txt", 1}, {"SUB/\x95\x5c*", 1}, {"sub\\?.txt", 1}, {"sub", 1},       {"sub\\", 0},
        {"nowhere\\*", 0}, {"sub\\*.*", 1},      {"sub\\*.png", 0}, {"S*", 1},
    };
    for (const Case& c : cases) EXPECT_EQ(call("file_check", {str(c.path)}), c.found) << c.path;
    EXPECT_EQ(call("file_check", {0}), 0u);

    EXPECT_TRUE(wildcard_match("*.*", "README"));
    EXPECT_TRUE(wildcard_match("a*b*c", "aXbYbZc"));
    EXPECT_FALSE(wildcard_match("a*b*c", "aXbYbZ"));
    EXPECT_TRUE(wildcard_match("?", "\x95\x5c"));  // one double-byte character
    EXPECT_FALSE(wildcard_match("\x95\x5c",
                                "\x95"
                                "a"));
}
