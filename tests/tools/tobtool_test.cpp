// tobtool run as game makers run it: pack/list/unpack and compress/expand round
// trips, refusal of unsafe member names, and exit statuses on bad input.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>

#include "../storage/storage_test_support.h"
#include "storage/archive_writer.h"
#include "storage/lzw.h"

using namespace tob;
using namespace tob::test;
namespace fs = std::filesystem;

namespace {

int run(const std::string& args) {
    std::string cmd = std::string(TOBTOOL_PATH) + " " + args + " >/dev/null 2>&1";
    int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(Tobtool, PackUnpackAndCompressRoundTrip) {
    TempDir dir;
    dir.write("game/a.txt", "alpha");
    dir.write("game/Sub/B.txt", "beta");
    dir.write("game/表/ソ.txt", "so");
    const std::string d = dir.path.string();
    ASSERT_EQ(run("pack " + d + "/game " + d + "/game.bin"), 0);
    EXPECT_EQ(run("list " + d + "/game.bin"), 0);
    ASSERT_EQ(run("unpack " + d + "/game.bin " + d + "/out"), 0);
    for (const char* f : {"a.txt", "Sub/B.txt", "表/ソ.txt"}) {
        EXPECT_EQ(read_file(dir.path / "out" / f), read_file(dir.path / "game" / f)) << f;
    }

    ASSERT_EQ(run("compress " + d + "/game/a.txt " + d + "/a.z"), 0);
    EXPECT_EQ(read_file(dir.path / "a.z"), lzw_compress(bytes("alpha")));
    ASSERT_EQ(run("expand " + d + "/a.z " + d + "/a.out"), 0);
    EXPECT_EQ(read_file(dir.path / "a.out"), bytes("alpha"));
}

TEST(Tobtool, RefusesUnsafeNamesAndBadInput) {
    TempDir dir;
    const std::string d = dir.path.string();
    for (std::string name :
         {"..\\evil", "a\\..\\..\\evil", "\\etc\\x", "/abs", "C:\\x", "a\\\\b"}) {
        dir.write("bad.bin", build_archive({{"ok.txt", bytes("1")}, {name, bytes("x")}}, 1));
        EXPECT_EQ(run("unpack " + d + "/bad.bin " + d + "/out"), 1) << name;
        EXPECT_FALSE(fs::exists(dir.path / "out")) << name;  // nothing is written
    }
    dir.write("plain.txt", "not an archive, not compressed");
    EXPECT_EQ(run("list " + d + "/plain.txt"), 1);
    EXPECT_EQ(run("expand " + d + "/plain.txt " + d + "/x"), 1);
    EXPECT_EQ(run("expand " + d + "/missing " + d + "/x"), 1);
    EXPECT_EQ(run("pack " + d + "/missing " + d + "/x.bin"), 1);
    EXPECT_EQ(run("unpack " + d + "/plain.txt"), 64);
    EXPECT_EQ(run("no-such-command"), 64);
    EXPECT_EQ(run(""), 64);
    // Asking for help is not wrong usage: the usage goes to standard output.
    for (const char* help : {"--help", "-h", "help"}) {
        EXPECT_EQ(run(help), 0) << help;
        std::string cmd =
            std::string(TOBTOOL_PATH) + " " + help + " 2>/dev/null | grep -q '^usage: tobtool'";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << help;
    }
}
