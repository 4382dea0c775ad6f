// The expanded-file reader over plain files and archive members, the
// whole-file read the compiler uses, and the compressed-file writer.
#include "storage/exp_file.h"

#include <gtest/gtest.h>

#include "storage/archive_writer.h"
#include "storage/storage.h"
#include "storage_test_support.h"

using namespace tob;
using namespace tob::test;

namespace {

class ExpFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clear_archive_directory_cache();
        dir.write("plain.txt", "plain text");
        dir.write("short.txt", "tob");
        dir.write("packed.dat", lzw_compress(bytes("compressed contents")));
        dir.write("data.bin", build_archive({{"in.dat", lzw_compress(bytes("member contents"))},
                                             {"raw.txt", bytes("raw member")}},
                                            11));
    }
    TempDir dir;
    CapturedReports reports;
};

}  // namespace

TEST_F(ExpFileTest, ReadsCompressedAndStoredFilesAlike) {
    struct Case {
        const char* path;
        std::string contents;
        bool in_memory;
    } cases[] = {
        {"plain.txt", "plain text", false},          {"short.txt", "tob", false},
        {"packed.dat", "compressed contents", true}, {"data\\in.dat", "member contents", true},
        {"data\\raw.txt", "raw member", false},
    };
    for (const auto& c : cases) {
        auto f = ExpFile::open(c.path, dir.path);
        ASSERT_TRUE(f) << c.path;
        EXPECT_EQ(f->in_memory(), c.in_memory) << c.path;
        EXPECT_EQ(f->size(), int64_t(c.contents.size())) << c.path;
        std::string buf(64, '\0');
        size_t got = 0;
        EXPECT_TRUE(f->read(buf.data(), buf.size(), &got));
        EXPECT_EQ(buf.substr(0, got), c.contents) << c.path;
        EXPECT_EQ(read_expanded_file(c.path, dir.path), bytes(c.contents)) << c.path;
        auto text = read_expanded_text(c.path, dir.path, 1);
        EXPECT_EQ(text, c.contents) << c.path;
        if (text) {
            EXPECT_GT(text->capacity(), text->size()) << c.path;
        }
    }
    EXPECT_EQ(reports.take(), "");
}

TEST_F(ExpFileTest, InMemorySeek) {
    auto f = ExpFile::open("packed.dat", dir.path);
    ASSERT_TRUE(f && f->in_memory());
    struct Step {
        int64_t offset;
        int origin;
        int64_t result;
    } steps[] = {
        {0, kSeekEnd, 19},    {20, kSeekSet, -1},     {5, kSeekSet, 5},
        {3, kSeekCurrent, 8}, {-9, kSeekCurrent, -1}, {7, 9, 8},  // unknown origin: unchanged
        {-19, kSeekEnd, 0},   {1, kSeekEnd, -1},
    };
    for (const auto& s : steps) EXPECT_EQ(f->seek(s.offset, s.origin), s.result);
    f->seek(-4, kSeekEnd);
    char buf[8];
    size_t got = 0;
    EXPECT_TRUE(f->read(buf, sizeof buf, &got));
    EXPECT_EQ(std::string(buf, got), "ents");
}

TEST_F(ExpFileTest, CorruptCompressedFilesAndMissingFilesFail) {
    auto stream = lzw_compress(bytes("some text to spoil"));
    stream[9] ^= 0xFF;
    dir.write("bad.dat", stream);
    EXPECT_FALSE(ExpFile::open("bad.dat", dir.path));
    EXPECT_EQ(reports.take(), "圧縮ファイルが壊れています。FILE - bad.dat\n");
    EXPECT_FALSE(read_expanded_file("missing.c", dir.path));
    EXPECT_EQ(reports.take(), "ファイルのオープンに失敗しました。FILE - missing.c\n");
    EXPECT_FALSE(read_expanded_text("bad.dat", dir.path));
    EXPECT_EQ(reports.take(), "圧縮ファイルが壊れています。FILE - bad.dat\n");
}

TEST_F(ExpFileTest, WritesCompressedFiles) {
    auto text = bytes("a script's saved data, saved data, saved data");
    ASSERT_TRUE(write_compressed_file("Save\\slot1.dat", text, dir.path) == false);  // no folder
    EXPECT_EQ(reports.take(), "ファイルの作成に失敗しました FILE - Save\\slot1.dat\n");
    std::filesystem::create_directory(dir.path / "save");
    ASSERT_TRUE(write_compressed_file("Save\\slot1.dat", text, dir.path));
    EXPECT_EQ(read_file(dir.path / "save/slot1.dat"), lzw_compress(text));
    EXPECT_EQ(read_expanded_file("save/SLOT1.DAT", dir.path), text);

    // Empty data is refused but leaves a header that reads back as an empty file.
    EXPECT_FALSE(write_compressed_file("empty.dat", {}, dir.path));
    EXPECT_EQ(read_file(dir.path / "empty.dat").size(), kCompressedHeaderSize);
    EXPECT_EQ(read_expanded_file("empty.dat", dir.path), std::vector<uint8_t>{});
}
