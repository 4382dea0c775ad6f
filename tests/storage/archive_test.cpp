// Archives: the format against hand-made golden files, the lookup order of the
// archive-aware open, member-bounded seeks and reads, and corrupt archives.
#include <gtest/gtest.h>

#include "platform/byte_order.h"
#include "storage/archive_directory.h"
#include "storage/archive_format.h"
#include "storage/archive_reader.h"
#include "storage/archive_writer.h"
#include "storage_test_support.h"

using namespace tob;
using namespace tob::test;

namespace {

const std::string kData = std::string(TOB_TEST_DATA) + "/data/";

// golden.bin, written by hand from the format with seed 0x1234ABCD:
//   "Readme.txt" = "hello, archive\n", "sub\Title.png" = "PNGDATA", "表.txt" = "hyo".
const std::vector<ArchiveMemoryInput> kGoldenMembers = {
    {"Readme.txt", bytes("hello, archive\n")},
    {"sub\\Title.png", bytes("PNGDATA")},
    {"\x95\x5c.txt", bytes("hyo")},
};
constexpr uint32_t kGoldenSeed = 0x1234ABCD;

std::string read_all(ArchiveReader& r) {
    std::string s(size_t(r.size()) + 16, '\0');
    size_t got = 0;
    EXPECT_TRUE(r.read(s.data(), s.size(), &got));
    s.resize(got);
    return s;
}

// An archive assembled word by word, so that tests can store any values.
std::vector<uint8_t> raw_archive(uint32_t seed, uint32_t count, uint32_t names_size,
                                 const std::vector<uint32_t>& words, const std::string& tail) {
    std::vector<uint8_t> out(kArchiveMagic.begin(), kArchiveMagic.end());
    auto put = [&out](uint32_t v) {
        uint8_t b[4];
        store_le32(b, v);
        out.insert(out.end(), b, b + 4);
    };
    ArchiveKeyChain keys(seed);
    put(seed);
    put(count ^ keys.next());
    put(names_size ^ keys.next());
    for (uint32_t w : words) put(w ^ keys.next());
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

}  // namespace

TEST(ArchiveFormat, MixAndKeyChain) {
    EXPECT_EQ(archive_mix(0x12345678), 0xA3B64D90u);
    ArchiveKeyChain keys(kGoldenSeed);
    uint32_t k1 = keys.next();
    EXPECT_EQ(k1, archive_mix(kGoldenSeed ^ kArchiveKey));
    EXPECT_EQ(keys.next(), archive_mix(k1 ^ kArchiveKey));
}

TEST(ArchiveFormat, GoldenArchiveReadsAndWritesByteForByte) {
    auto golden = read_file(kData + "golden.bin");
    ASSERT_EQ(golden.size(), 113u);
    auto parsed = ArchiveDirectory::parse(golden);
    ASSERT_TRUE(parsed.directory);
    const auto& dir = *parsed.directory;
    EXPECT_EQ(dir.seed(), kGoldenSeed);
    ASSERT_EQ(dir.count(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        auto m = dir.member(i);
        EXPECT_EQ(m.name, kGoldenMembers[i].name);
        EXPECT_EQ(
            std::vector<uint8_t>(golden.begin() + m.offset, golden.begin() + m.offset + m.size),
            kGoldenMembers[i].data);
    }
    // The writer sorts its input and must produce the same bytes.
    auto shuffled = kGoldenMembers;
    std::swap(shuffled[0], shuffled[2]);
    EXPECT_EQ(build_archive(shuffled, kGoldenSeed), golden);
}

TEST(ArchiveFormat, MemberOrderFoldsAsciiOutsideDoubleByteCharacters) {
    struct Case {
        std::string a, b;
        int expected;
    } cases[] = {
        {"TITLE.PNG", "title.png", 0},
        {"a", "B", -1},
        {"_x", "a", -1},  // '_' sorts before letters, as in the platform's order
        {"ab", "abc", -1},
        {"z", "\x82\xa0", -1},         // unsigned bytes
        {"\x83\x41", "\x83\x61", -1},  // trail bytes are not folded: ア vs ヂ
        {"a\\b", "a.b", 1},
        {"a/b", "A\\B", 0},  // both separators are one
    };
    for (const auto& c : cases) {
        EXPECT_EQ(archive_name_compare(c.a, c.b), c.expected) << c.a << " " << c.b;
        EXPECT_EQ(archive_name_compare(c.b, c.a), -c.expected);
    }
}

TEST(ArchiveFormat, LookupIgnoresCaseAndFindsMembersOutOfOrder) {
    auto golden = ArchiveDirectory::parse(read_file(kData + "golden.bin"));
    ASSERT_TRUE(golden.directory);
    EXPECT_EQ(golden.directory->find("README.TXT")->size, 15u);
    EXPECT_EQ(golden.directory->find("SUB/title.png")->size, 7u);  // "/" stands for "\"
    EXPECT_EQ(golden.directory->find("\x95\x5c.TXT")->size, 3u);
    EXPECT_FALSE(golden.directory->find("sub"));

    // Sorted by another case-insensitive order: ab.txt, a-c.txt, b.txt. A binary
    // search for ab.txt goes the wrong way; the linear scan finds it.
    auto other = ArchiveDirectory::parse(read_file(kData + "platform_order.bin"));
    ASSERT_TRUE(other.directory);
    for (const char* name : {"ab.txt", "a-c.txt", "b.txt", "AB.TXT"}) {
        EXPECT_TRUE(other.directory->find(name)) << name;
    }
    EXPECT_FALSE(other.directory->find("c.txt"));
}

TEST(ArchiveFormat, CorruptDirectoriesAreRejected) {
    const std::string names = "a.txt";
    const std::string body = names + '\0' + "DATA";
    const uint32_t data_at = 20 + 12 + 6;
    struct Case {
        const char* what;
        std::vector<uint8_t> archive;
        ArchiveError error;
    } cases[] = {
        {"valid", raw_archive(5, 1, 6, {0, data_at, 4}, body), ArchiveError::kNone},
        {"short header", std::vector<uint8_t>(kArchiveMagic.begin(), kArchiveMagic.end()),
         ArchiveError::kRead},
        {"bad magic", bytes("QRV-ARC1xxxxxxxxxxxxxxxxxxxx"), ArchiveError::kNotAnArchive},
        {"count near 2^32", raw_archive(5, 0xFFFFFFFF, 6, {0, data_at, 4}, body),
         ArchiveError::kCorrupt},
        {"count wraps to a small size in 32 bits",
         raw_archive(5, 0x40000001, 6, {0, data_at, 4}, body), ArchiveError::kCorrupt},
        {"names past the end", raw_archive(5, 1, 600, {0, data_at, 4}, body),
         ArchiveError::kCorrupt},
        {"name offset past the names", raw_archive(5, 1, 6, {6, data_at, 4}, body),
         ArchiveError::kCorrupt},
        {"name without terminator", raw_archive(5, 1, 5, {0, data_at - 1, 4}, names + "DATA"),
         ArchiveError::kCorrupt},
        {"data past the end", raw_archive(5, 1, 6, {0, data_at, 5}, body), ArchiveError::kCorrupt},
        {"data offset + size wraps", raw_archive(5, 1, 6, {0, 0xFFFFFFF0, 0x20}, body),
         ArchiveError::kCorrupt},
        {"directory cut short", raw_archive(5, 2, 0, {0, data_at}, ""), ArchiveError::kCorrupt},
    };
    for (const auto& c : cases) {
        auto r = ArchiveDirectory::parse(c.archive);
        EXPECT_EQ(r.error, c.error) << c.what;
        EXPECT_EQ(r.directory.has_value(), c.error == ArchiveError::kNone) << c.what;
    }
    auto empty = ArchiveDirectory::parse(raw_archive(9, 0, 0, {}, ""));
    ASSERT_TRUE(empty.directory);
    EXPECT_FALSE(empty.directory->find("a.txt"));
}

class ArchiveOpen : public ::testing::Test {
  protected:
    void SetUp() override {
        clear_archive_directory_cache();
        dir.write(
            "data/bg.bin",
            build_archive({{"title.png", bytes("0123456789")}, {"ev\\01.png", bytes("event")}}, 1));
        dir.write(
            "data.bin",
            build_archive({{"bg\\other.png", bytes("other")}, {"se\\a.wav", bytes("wave")}}, 2));
        dir.write("data/bg/plain.png", "plain");
        dir.write("\x95\x5c.bin", build_archive({{"\x83\x5c.txt", bytes("so")}}, 3));
    }
    std::optional<ArchiveReader> open(std::string_view path) {
        return ArchiveReader::open(path, dir.path);
    }
    TempDir dir;
    CapturedReports reports;
};

TEST_F(ArchiveOpen, FindsPlainFilesFirstThenTheNearestArchive) {
    struct Case {
        std::string path;
        std::string contents;  // empty: the open fails
        std::string report;
    } cases[] = {
        {"data\\bg\\plain.png", "plain", ""},
        {"data\\bg\\title.png", "0123456789", ""},
        {"DATA/BG/TITLE.PNG", "0123456789", ""},
        {"data\\bg\\ev\\01.png", "event", ""},
        {"data\\se\\a.wav", "wave", ""},
        {"\x95\x5c\\\x83\x5c.txt", "so", ""},
        // data\bg.bin opens, so data.bin is never searched.
        {"data\\bg\\other.png", "", "ファイルが見つかりません。FILE - data\\bg\\other.png\n"},
        {"nofile.png", "", "ファイルのオープンに失敗しました。FILE - nofile.png\n"},
        {"none\\x.png", "", "ファイルのオープンに失敗しました。FILE - none\\x.png\n"},
        {"\\x.png", "", "ファイルのオープンに失敗しました。FILE - \\x.png\n"},
    };
    for (const auto& c : cases) {
        auto r = open(c.path);
        EXPECT_EQ(r.has_value(), !c.contents.empty()) << c.path;
        if (r) {
            EXPECT_EQ(read_all(*r), c.contents) << c.path;
        }
        EXPECT_EQ(reports.take(), c.report) << c.path;
    }
    EXPECT_FALSE(open("data\\bg\\plain.png")->in_archive());
    EXPECT_TRUE(open("data\\bg\\title.png")->in_archive());
}

TEST_F(ArchiveOpen, SeeksAndReadsStayInsideTheMember) {
    auto r = open("data\\bg\\title.png");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->size(), 10);
    struct Step {
        int64_t offset;
        int origin;
        int64_t result;
    } steps[] = {
        {0, kSeekEnd, 10},    {0, kSeekSet, 0},      {11, kSeekSet, -1},    {-1, kSeekSet, -1},
        {4, kSeekSet, 4},     {6, kSeekCurrent, 10}, {1, kSeekCurrent, -1}, {-11, kSeekCurrent, -1},
        {-3, kSeekEnd, 7},    {1, kSeekEnd, -1},     {-11, kSeekEnd, -1},   {0, 3, -1},
        {0, kSeekCurrent, 7},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(r->seek(s.offset, s.origin), s.result) << s.offset << "/" << s.origin;
    }
    char buf[32] = {};
    size_t got = 99;
    ASSERT_TRUE(r->read(buf, sizeof buf, &got));
    EXPECT_EQ(std::string(buf, got), "789");
    ASSERT_TRUE(r->read(buf, sizeof buf, &got));
    EXPECT_EQ(got, 0u);
    r->seek(0, kSeekSet);
    EXPECT_EQ(r->read_u8(), '0');
    EXPECT_EQ(r->read_u16(), '1' | '2' << 8);
    r->seek(9, kSeekSet);
    EXPECT_EQ(r->read_u16(), '9');  // the missing byte reads as 0
}

TEST_F(ArchiveOpen, BadArchivesFailWithTheReadMessage) {
    dir.write("bad.bin", "QRV-ARC2 too short");
    dir.write("junk.bin", "this is not an archive at all");
    for (std::string path : {"bad\\a.png", "junk\\a.png"}) {
        EXPECT_FALSE(open(path));
        EXPECT_EQ(reports.take(), "ファイルの読み込み失敗しました。FILE - " + path + "\n");
    }
}

TEST_F(ArchiveOpen, ARewrittenArchiveIsReadAgain) {
    ASSERT_TRUE(open("data\\bg\\title.png"));
    dir.write("data/bg.bin", build_archive({{"title.png", bytes("new title, longer")}}, 4));
    auto r = open("data\\bg\\title.png");
    ASSERT_TRUE(r);
    EXPECT_EQ(read_all(*r), "new title, longer");
    EXPECT_FALSE(open("data\\bg\\ev\\01.png"));
}
