// The platform library's handles: files opened under the Win32 dispositions
// with case-insensitive names, and fonts that live while a context has them
// selected and whose handles, once gone, stay refused.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/cp932.h"
#include "platform/file.h"
#include "platform/winapi.h"
#include "platform/winapi_internal.h"

namespace fs = std::filesystem;

namespace {

struct TempDir {
    fs::path path;
    TempDir() {
        char tmpl[] = "/tmp/tob_winapi_XXXXXX";
        path = mkdtemp(tmpl);
        fs::create_directories(path / "Data");
        write("Data/File.TXT", "hello");
    }
    ~TempDir() { fs::remove_all(path); }
    void write(const std::string& rel, const std::string& text) const {
        std::ofstream(path / rel, std::ios::binary) << text;
    }
    std::string read(const std::string& rel) const {
        std::ifstream in(path / rel, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

int fd_of(HANDLE h) {
    return h == TOB_INVALID_HANDLE_VALUE ? -1 : int(reinterpret_cast<intptr_t>(h));
}

std::string read_all(int fd) {
    std::string out;
    char buf[64];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) out.append(buf, size_t(n));
    return out;
}

}  // namespace

TEST(WinapiFiles, DispositionsAndCaseInsensitiveNames) {
    struct Case {
        const char* name;  // relative to the folder
        DWORD access, disposition;
        bool opens;
        int error;             // errno when it does not open
        const char* contents;  // what Data/File.TXT holds afterwards
    };
    const Case cases[] = {
        {"Data/File.TXT", TOB_GENERIC_READ, TOB_OPEN_EXISTING, true, 0, "hello"},
        {"data/file.txt", TOB_GENERIC_READ, TOB_OPEN_EXISTING, true, 0, "hello"},
        {"DATA/FILE.txt", 0, TOB_OPEN_EXISTING, true, 0, "hello"},
        {"data/missing.txt", TOB_GENERIC_READ, TOB_OPEN_EXISTING, false, ENOENT, "hello"},
        {"data/file.txt", TOB_GENERIC_WRITE, TOB_CREATE_NEW, false, EEXIST, "hello"},
        {"data/file.txt", TOB_GENERIC_READ, TOB_TRUNCATE_EXISTING, false, EINVAL, "hello"},
        {"data/file.txt", TOB_GENERIC_WRITE, 0, false, EINVAL, "hello"},
        {"data/file.txt", TOB_GENERIC_READ, 6, false, EINVAL, "hello"},
        {"data", TOB_GENERIC_READ, TOB_OPEN_EXISTING, false, EISDIR, "hello"},
        {"data/file.txt", TOB_GENERIC_WRITE, TOB_OPEN_ALWAYS, true, 0, "hello"},
        {"data/file.txt", TOB_GENERIC_WRITE, TOB_TRUNCATE_EXISTING, true, 0, ""},
        {"data/file.txt", TOB_GENERIC_ALL, TOB_CREATE_ALWAYS, true, 0, ""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::string name = (dir.path / c.name).native();
        errno = 0;
        HANDLE h = CreateFileA(name.c_str(), c.access, TOB_FILE_SHARE_READ, nullptr, c.disposition,
                               0, nullptr);
        SCOPED_TRACE(std::string(c.name) + " disposition " + std::to_string(c.disposition));
        EXPECT_EQ(h != TOB_INVALID_HANDLE_VALUE, c.opens);
        if (c.opens) {
            if (c.access == TOB_GENERIC_READ) {
                EXPECT_EQ(read_all(fd_of(h)), "hello");
            }
            EXPECT_TRUE(CloseHandle(h));
        } else {
            EXPECT_EQ(errno, c.error);
        }
        EXPECT_EQ(dir.read("Data/File.TXT"), c.contents);
    }
    EXPECT_EQ(CreateFileA(nullptr, TOB_GENERIC_READ, 0, nullptr, TOB_OPEN_EXISTING, 0, nullptr),
              TOB_INVALID_HANDLE_VALUE);
    EXPECT_FALSE(CloseHandle(TOB_INVALID_HANDLE_VALUE));
}

TEST(WinapiFiles, NewFilesLandInTheExistingFolderAndAttributesAnswer) {
    TempDir dir;
    std::string made = (dir.path / "DATA/new.txt").native();
    HANDLE h = CreateFileA(made.c_str(), TOB_GENERIC_WRITE, 0, nullptr, TOB_CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, TOB_INVALID_HANDLE_VALUE);
    ASSERT_EQ(::write(fd_of(h), "x", 1), 1);
    CloseHandle(h);
    EXPECT_EQ(dir.read("Data/new.txt"), "x");

    dir.write(".hidden", "");
    fs::permissions(dir.path / "Data/new.txt", fs::perms::owner_read);
    struct Case {
        const char* name;
        DWORD attributes;
    };
    const Case cases[] = {
        {"data", TOB_FILE_ATTRIBUTE_DIRECTORY},
        {"DATA/file.txt", TOB_FILE_ATTRIBUTE_NORMAL},
        {"data/NEW.TXT", TOB_FILE_ATTRIBUTE_READONLY},
        {".hidden", TOB_FILE_ATTRIBUTE_HIDDEN},
        {"data/none.txt", TOB_INVALID_FILE_ATTRIBUTES},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GetFileAttributesA((dir.path / c.name).c_str()), c.attributes) << c.name;
    EXPECT_EQ(GetFileAttributesA(nullptr), TOB_INVALID_FILE_ATTRIBUTES);
}

TEST(WinapiFiles, EngineFilesOpenThroughTheSameLookup) {
    TempDir dir;
    auto f = tob::File::open_read(dir.path / "DATA/file.txt");
    ASSERT_TRUE(f.has_value());
    char buf[5];
    EXPECT_TRUE(f->read_exact_at(0, buf, 5));
    EXPECT_EQ(std::string(buf, 5), "hello");
    EXPECT_FALSE(tob::File::open_read(dir.path / "data").has_value());
    auto out = tob::File::create(dir.path / "data/FILE.txt");
    ASSERT_TRUE(out.has_value());
    EXPECT_TRUE(out->write("bye", 3));
    EXPECT_TRUE(out->close());
    EXPECT_EQ(dir.read("Data/File.TXT"), "bye");
}

namespace {

LOGFONTA small_font() {
    LOGFONTA lf{};
    lf.lfHeight = 12;
    lf.lfCharSet = TOB_SHIFTJIS_CHARSET;
    return lf;
}

struct Context {
    TobBitmap bitmap{nullptr, 0, 0, 0, 32, nullptr, 0};
    HDC dc = tob_create_bitmap_dc(&bitmap);
    ~Context() { tob_delete_dc(dc); }
};

bool alive(HGDIOBJ font) {
    LOGFONTA lf;
    return GetObjectA(font, sizeof lf, &lf) == int(sizeof lf);
}

}  // namespace

TEST(WinapiFonts, DeletingASelectedFontWaitsForTheLastContext) {
    LOGFONTA lf = small_font();
    HFONT f = CreateFontIndirectA(&lf);
    ASSERT_NE(f, nullptr);
    auto a = std::make_unique<Context>();
    Context b;
    HGDIOBJ stock = SelectObject(a->dc, f);
    ASSERT_NE(stock, nullptr);
    ASSERT_EQ(SelectObject(b.dc, f), stock);
    EXPECT_EQ(SelectObject(b.dc, f), f);  // selecting it again changes nothing
    EXPECT_TRUE(DeleteObject(f));
    EXPECT_TRUE(alive(f));  // both contexts still draw with it
    SIZE s{};
    EXPECT_TRUE(GetTextExtentPoint32A(a->dc, "ab", 2, &s));
    EXPECT_EQ(SelectObject(b.dc, stock), f);
    EXPECT_TRUE(alive(f));
    a.reset();  // deleting the last context that had it lets it go
    EXPECT_FALSE(alive(f));
    EXPECT_FALSE(DeleteObject(f));
    EXPECT_EQ(SelectObject(b.dc, f), nullptr);

    HFONT g = CreateFontIndirectA(&lf);
    EXPECT_NE(g, f);  // handles are never reused
    EXPECT_FALSE(alive(f));
    EXPECT_TRUE(DeleteObject(g));
    EXPECT_FALSE(alive(g));
    EXPECT_TRUE(DeleteObject(stock));  // the default font stays
    EXPECT_TRUE(alive(stock));
}

TEST(WinapiFonts, FaceNamesAreGbkForTheChineseCharacterSet) {
    struct Case {
        const char* bytes;
        uint8_t charset;
        const char* utf8;
    };
    const Case cases[] = {
        {"\xBA\xDA\xCC\xE5", 134, "黑体"},
        {"\xCB\xCE\xCC\xE5", 134, "宋体"},
        {"SimHei", 134, "SimHei"},
        {"\x82\xA0", 128, "あ"},
        {"\x82\xA0", 0, "あ"},
        {"\xFF\xFF", 134, "\xEF\xBF\xBD\xEF\xBF\xBD"},  // not GBK: read as CP932
    };
    for (const Case& c : cases) {
        LOGFONTA lf{};
        lf.lfCharSet = c.charset;
        std::strncpy(lf.lfFaceName, c.bytes, sizeof lf.lfFaceName - 1);
        EXPECT_EQ(tob::platform::gdi::face_name_utf8(lf), c.utf8) << c.utf8;
    }
}
