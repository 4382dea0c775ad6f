// The hook library's logic, run without patching anything: text conversion
// through a code-page table, table files, the substitute-font cache, archive
// redirects, the logging switch and the search for dynamic-linkage slots.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "hook/code_table.h"
#include "hook/elf_slots.h"
#include "hook/font_cache.h"
#include "hook/redirect.h"

using namespace morvane::hook;

namespace {

std::unique_ptr<CodeTable> table_with(const std::map<uint16_t, uint32_t>& entries) {
    auto t = std::make_unique<CodeTable>();
    t->entries.reset(new uint32_t[kTableEntries]());
    for (auto [code, c] : entries) t->entries[code] = c;
    std::strcpy(t->face, "SimHei");
    return t;
}

// A table file's bytes: header, face and the given entries.
std::string table_file(const std::map<uint16_t, uint32_t>& entries, uint32_t magic = kTableMagic,
                       uint32_t version = kTableVersion) {
    std::string out(kTableFileBytes, '\0');
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + size_t(i)] = char(v >> (8 * i));
    };
    put32(0, magic);
    put32(4, version);
    put32(8, 5);
    std::memcpy(out.data() + kTableFaceOffset, "SimHei", 6);
    for (auto [code, c] : entries) put32(kTableHeaderBytes + 4 * size_t(code), c);
    return out;
}

class BytesSource final : public TableSource {
  public:
    explicit BytesSource(std::string bytes, size_t readable = SIZE_MAX)
        : bytes_(std::move(bytes)), readable_(std::min(readable, bytes_.size())) {}
    std::optional<uint64_t> size() override { return bytes_.size(); }
    size_t read(uint64_t offset, void* buf, size_t n) override {
        if (offset >= readable_) return 0;
        n = std::min<size_t>(n, readable_ - offset);
        std::memcpy(buf, bytes_.data() + offset, n);
        return n;
    }

  private:
    std::string bytes_;
    size_t readable_;
};

}  // namespace

TEST(HookConversion, TextBecomesUtf16ThroughTheTableAndCp932) {
    auto table = table_with({{0x889F, 0x4E2D},      // 亜 -> 中
                             {0x88A0, 0x20000},     // 唖 -> a character above the basic plane
                             {0x88A1, 0xD800},      // not a scalar value
                             {0x88A2, 0x110000}});  // beyond Unicode
    // Entries that are not scalar values count as none, as loading makes them.
    table->entries[0x88A1] = table->entries[0x88A2] = 0;
    struct Case {
        const char* name;
        std::string text;
        bool with_table;
        size_t capacity;
        std::vector<char16_t> out;  // empty with failed = true: the conversion fails
        bool failed, used_private;
    };
    const std::vector<Case> cases = {
        {"ascii", "Abc 1", true, 16, {'A', 'b', 'c', ' ', '1'}, false, false},
        {"katakana", "\x83\x41\xB1", true, 16, {0x30A2, 0xFF71}, false, false},
        {"0x5C trail", "\x95\x5C\x5C", true, 16, {0x8868, '\\'}, false, false},
        {"lone lead byte at the end", "a\x82", true, 16, {'a', 0x82}, false, false},
        {"undefined bytes stand for themselves",
         "\x80\xA0\xFD\xFF",
         true,
         16,
         {0x80, 0xA0, 0xFD, 0xFF},
         false,
         false},
        {"pair without a CP932 mapping", "ab\x85\x40", true, 16, {}, true, false},
        {"lead byte before a non-trail", "\x81\x20", true, 16, {}, true, false},
        {"table hit", "x\x88\x9F", true, 16, {'x', 0x4E2D}, false, true},
        {"table hit above 0xFFFF", "\x88\xA0", true, 16, {0xD840, 0xDC00}, false, true},
        {"no table: plain CP932", "\x88\x9F", false, 16, {0x4E9C}, false, false},
        {"surrogate entry goes through CP932", "\x88\xA1", true, 16, {0x5A03}, false, false},
        {"entry beyond Unicode goes through CP932", "\x88\xA2", true, 16, {0x963F}, false, false},
        {"exact capacity", "abc", true, 3, {'a', 'b', 'c'}, false, false},
        {"capacity too small", "abcd", true, 3, {}, true, false},
        {"pair needs two units, one left", "a\x88\xA0", true, 2, {}, true, true},
        {"zero capacity", "a", true, 0, {}, true, false},
        {"empty text", "", true, 0, {}, false, false},
    };
    for (const Case& c : cases) {
        std::vector<char16_t> out(c.capacity + 4, u'#');
        bool used = false;
        ptrdiff_t n =
            convert_text(c.text.data(), c.text.size(), c.with_table ? table.get() : nullptr,
                         out.data(), c.capacity, used);
        SCOPED_TRACE(c.name);
        if (c.failed) {
            EXPECT_EQ(n, -1);
        } else {
            ASSERT_EQ(n, ptrdiff_t(c.out.size()));
            EXPECT_EQ(std::vector<char16_t>(out.begin(), out.begin() + n), c.out);
            EXPECT_EQ(used, c.used_private);
        }
        for (size_t i = c.capacity; i < out.size(); ++i) EXPECT_EQ(out[i], u'#') << "past capacity";
    }
}

TEST(HookConversion, LogNamesConvertOrFail) {
    EXPECT_EQ(cp932_to_utf8_for_log("\x82\x6C\x82\x72 Gothic", 11), "ＭＳ Gothic");
    EXPECT_EQ(cp932_to_utf8_for_log("\x85\x40", 2), std::nullopt);
}

TEST(HookTable, FilesAreCheckedAndTheirMessagesExact) {
    const std::string good = table_file({{0x889F, 0x4E2D}, {0x88A1, 0xDC00}, {0x88A2, 0x7FFFFFFF}});
    struct Case {
        const char* name;
        std::string bytes;
        size_t readable;
        const char* message;
    };
    const Case cases[] = {
        {"good", good, SIZE_MAX,
         "[table] 已加载 /t/morvane_cp.tbl: 5 个私有码位, 中文字体=SimHei\r\n"},
        {"short header", good.substr(0, 75), SIZE_MAX, "[table] 头部读取失败\r\n"},
        {"magic", table_file({}, 0x5450434E), SIZE_MAX, "[table] magic/version 不匹配\r\n"},
        {"version", table_file({}, kTableMagic, 2), SIZE_MAX, "[table] magic/version 不匹配\r\n"},
        {"one byte too long", good + '\0', SIZE_MAX, "[table] 文件大小不对\r\n"},
        {"one byte too short", good.substr(0, good.size() - 1), SIZE_MAX,
         "[table] 文件大小不对\r\n"},
        {"body read short", good, good.size() - 1, "[table] 表体读取失败\r\n"},
    };
    for (const Case& c : cases) {
        BytesSource source(c.bytes, c.readable);
        TableLoad load = load_table(source, "/t/morvane_cp.tbl");
        EXPECT_EQ(load.message, c.message) << c.name;
        EXPECT_EQ(load.table != nullptr, std::string(c.name) == "good") << c.name;
        if (!load.table) continue;
        EXPECT_EQ(load.table->private_count, 5u);
        EXPECT_STREQ(load.table->face, "SimHei");
        EXPECT_EQ(load.table->entries[0x889F], 0x4E2Du);
        EXPECT_EQ(load.table->entries[0x88A1], 0u);  // a surrogate
        EXPECT_EQ(load.table->entries[0x88A2], 0u);  // beyond Unicode
    }
    EXPECT_EQ(table_open_failed_message("/t/morvane_cp.tbl", 2),
              "[table] 打不开 /t/morvane_cp.tbl (err=2) -> 退回纯 CP932 直通\r\n");

    // A face of 64 bytes without a zero keeps 63.
    std::string long_face = good;
    std::memset(long_face.data() + kTableFaceOffset, 'F', kTableFaceBytes);
    BytesSource source(long_face);
    EXPECT_EQ(std::string(load_table(source, "p").table->face), std::string(63, 'F'));
}

namespace {

std::vector<LOGFONTA> made;
std::vector<HGDIOBJ> deleted;

HFONT fake_create(const LOGFONTA* lf) {
    made.push_back(*lf);
    return reinterpret_cast<HFONT>(uintptr_t(made.size()) * 16);
}
BOOL fake_delete(HGDIOBJ h) {
    deleted.push_back(h);
    return 1;
}
HFONT failing_create(const LOGFONTA*) {
    return nullptr;
}

LOGFONTA font_of_height(int h) {
    LOGFONTA lf{};
    lf.lfHeight = h;
    std::strcpy(lf.lfFaceName, "SimHei");
    lf.lfCharSet = kGb2312Charset;
    return lf;
}

}  // namespace

TEST(HookFonts, SixteenFontsAreKeptAndTheLeastRecentlyUsedGoes) {
    made.clear();
    deleted.clear();
    FontCache cache;
    std::vector<HFONT> first;
    for (int i = 0; i < 16; ++i)
        first.push_back(cache.acquire(font_of_height(i + 1), fake_create, fake_delete));
    EXPECT_EQ(made.size(), 16u);
    EXPECT_EQ(cache.acquire(font_of_height(1), fake_create, fake_delete),
              first[0]);  // a hit refreshes
    EXPECT_EQ(made.size(), 16u);
    HFONT seventeenth = cache.acquire(font_of_height(17), fake_create, fake_delete);
    ASSERT_EQ(deleted.size(), 1u);
    EXPECT_EQ(deleted[0], first[1]);  // height 2 was least recently used
    EXPECT_NE(seventeenth, first[1]);
    EXPECT_EQ(cache.acquire(font_of_height(1), fake_create, fake_delete), first[0]);
    cache.acquire(font_of_height(2), fake_create, fake_delete);  // made again, evicting height 3
    EXPECT_EQ(deleted.back(), first[2]);
    EXPECT_EQ(made.size(), 18u);

    // A font that cannot be made is not kept.
    FontCache failing;
    EXPECT_EQ(failing.acquire(font_of_height(1), failing_create, fake_delete), nullptr);
    EXPECT_EQ(failing.font_at(0), nullptr);
}

TEST(HookFonts, SubstituteTakesTheTableFaceAndGb2312) {
    LOGFONTA current{};
    current.lfHeight = 24;
    current.lfWeight = 700;
    current.lfCharSet = 128;
    std::memset(current.lfFaceName, 'x', sizeof current.lfFaceName);  // no zero
    LOGFONTA lf = substitute_logfont(current, "SimHei");
    EXPECT_STREQ(lf.lfFaceName, "SimHei");
    for (size_t i = 6; i < sizeof lf.lfFaceName; ++i) EXPECT_EQ(lf.lfFaceName[i], 0);
    EXPECT_EQ(lf.lfCharSet, kGb2312Charset);
    EXPECT_EQ(lf.lfHeight, 24);
    EXPECT_EQ(lf.lfWeight, 700);
    std::string long_face(40, 'F');
    EXPECT_EQ(std::string(substitute_logfont(current, long_face.c_str()).lfFaceName),
              std::string(31, 'F'));
}

namespace {

std::set<std::string> existing;
bool fake_exists(const char* name) {
    return existing.count(name) != 0;
}

}  // namespace

TEST(HookRedirect, OnlyReadOnlyOpensOfExistingFiles) {
    struct Case {
        uint32_t access, disposition;
        bool applies;
    };
    const Case cases[] = {
        {TOB_GENERIC_READ, TOB_OPEN_EXISTING, true},
        {0, TOB_OPEN_EXISTING, true},
        {TOB_GENERIC_READ | TOB_GENERIC_WRITE, TOB_OPEN_EXISTING, false},
        {TOB_GENERIC_WRITE, TOB_OPEN_EXISTING, false},
        {TOB_GENERIC_READ, TOB_OPEN_ALWAYS, false},
        {TOB_GENERIC_READ, TOB_CREATE_ALWAYS, false},
        {TOB_GENERIC_READ, TOB_CREATE_NEW, false},
        {TOB_GENERIC_READ, TOB_TRUNCATE_EXISTING, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(redirect_applies(c.access, c.disposition), c.applies)
            << c.access << " " << c.disposition;
}

TEST(HookRedirect, ArchivesGoToTheirTranslatedCopies) {
    existing = {"/g/data_cn.bin",
                "/g/DATA_cn.bin",
                "/g/data_cn_cn.bin",
                "_cn.bin",
                "a_cn.bin",
                "/g/x.txt_cn.bin",
                std::string(kMaxHostName - 7, 'n') + "_cn.bin",
                std::string(kMaxHostName - 6, 'n') + "_cn.bin"};
    struct Case {
        std::string name;
        std::string target;  // empty: opened as asked
    };
    const Case cases[] = {
        {"/g/data.bin", "/g/data_cn.bin"},
        {"/g/DATA.BIN", "/g/DATA_cn.bin"},
        {"/g/data_cn.bin", ""},  // already translated
        {"/g/DATA_CN.BIN", ""},
        {".bin", ""},  // four characters: nothing before the extension
        {"a.bin", "a_cn.bin"},
        {"/g/other.bin", ""},  // no translated copy
        {"/g/x.txt", ""},
        {"/g/" + std::string(kMaxHostName, 'n') + ".bin", ""},  // longer than a host name
        {std::string(kMaxHostName - 7, 'n') + ".bin",
         std::string(kMaxHostName - 7, 'n') + "_cn.bin"},
        {std::string(kMaxHostName - 6, 'n') + ".bin", ""},  // the copy's name would be too long
    };
    for (const Case& c : cases) {
        RedirectCache cache;
        RedirectChoice r = cache.choose(c.name, fake_exists);
        EXPECT_EQ(r.name(), c.target) << c.name;
        EXPECT_EQ(r.found_now, !c.target.empty()) << c.name;
        EXPECT_FALSE(r.from_cache);
        EXPECT_EQ(cache.size(), c.target.empty() ? 0u : 1u);
    }
}

TEST(HookRedirect, EightPairsAreCachedAndANinthStillRedirects) {
    existing.clear();
    RedirectCache cache;
    for (int i = 0; i < 9; ++i) existing.insert("/g/a" + std::to_string(i) + "_cn.bin");
    for (int i = 0; i < 9; ++i) {
        RedirectChoice r = cache.choose("/g/a" + std::to_string(i) + ".bin", fake_exists);
        EXPECT_TRUE(r.found_now);
        EXPECT_EQ(r.name(), "/g/a" + std::to_string(i) + "_cn.bin");
    }
    EXPECT_EQ(cache.size(), 8u);
    existing.clear();  // cached pairs no longer look at the disk
    RedirectChoice hit = cache.choose("/G/A3.Bin", fake_exists);
    EXPECT_TRUE(hit.from_cache);
    EXPECT_FALSE(hit.found_now);
    EXPECT_EQ(hit.name(), "/g/a3_cn.bin");
    EXPECT_TRUE(cache.choose("/g/a8.bin", fake_exists).name().empty());  // the ninth was not kept
    cache.forget("/g/A3.bin");
    EXPECT_EQ(cache.size(), 7u);
    EXPECT_TRUE(cache.choose("/g/a3.bin", fake_exists).name().empty());
}

TEST(HookLog, TheSwitchWantsALeadingOne) {
    struct Case {
        const char* value;
        bool on;
    };
    const Case cases[] = {{"1", true}, {"0", false},   {"10", true}, {nullptr, false},
                          {"", false}, {"yes", false}, {"01", false}};
    for (const Case& c : cases)
        EXPECT_EQ(logging_switch_on(c.value), c.on) << (c.value ? c.value : "unset");
}

namespace {

// A made-up program image: string and symbol tables, relocations and slots.
struct Image {
    const char strings[40] = "\0TextOutA\0CreateFileA\0Other";
    ElfW(Sym) symbols[4] = {};
    uintptr_t slots[5] = {};
    ElfW(Rela) plt[3] = {};
    ElfW(Rela) rela[2] = {};
    ElfW(Dyn) dynamic[10] = {};

    Image(uintptr_t bias, uintptr_t real) {
        symbols[1].st_name = 1;   // TextOutA
        symbols[2].st_name = 10;  // CreateFileA
        symbols[3].st_name = 22;  // Other
        for (uintptr_t& s : slots) s = real;
        slots[2] = real + 1;  // CreateFileA's slot holds something else
        auto at = [&](const void* p) { return ElfW(Addr)(reinterpret_cast<uintptr_t>(p) - bias); };
        plt[0] = {at(&slots[0]), ELF64_R_INFO(1, R_X86_64_JUMP_SLOT), 0};
        plt[1] = {at(&slots[2]), ELF64_R_INFO(2, R_X86_64_JUMP_SLOT), 0};
        plt[2] = {at(&slots[3]), ELF64_R_INFO(3, R_X86_64_JUMP_SLOT), 0};
        rela[0] = {at(&slots[1]), ELF64_R_INFO(1, R_X86_64_GLOB_DAT), 0};
        rela[1] = {at(&slots[4]), ELF64_R_INFO(1, R_X86_64_64), 0};  // not a slot
        dynamic[0] = {DT_JMPREL, {at(plt)}};
        dynamic[1] = {DT_PLTRELSZ, {sizeof plt}};
        dynamic[2] = {DT_PLTREL, {DT_RELA}};
        dynamic[3] = {DT_RELA, {at(rela)}};
        dynamic[4] = {DT_RELASZ, {sizeof rela}};
        dynamic[5] = {DT_RELAENT, {sizeof(ElfW(Rela))}};
        dynamic[6] = {DT_SYMTAB, {at(symbols)}};
        dynamic[7] = {DT_STRTAB, {at(strings)}};
        dynamic[8] = {DT_STRSZ, {sizeof strings}};
        dynamic[9] = {DT_NULL, {0}};
    }
};

}  // namespace

TEST(HookSlots, SlotsMatchByNameAndByWhatTheyHold) {
    const uintptr_t real = 0x12345678;
    struct Case {
        const char* name;
        bool relocated;  // the loader wrote addresses into the dynamic section
    };
    for (Case c : {Case{"addresses", true}, Case{"offsets from the bias", false}}) {
        SCOPED_TRACE(c.name);
        auto image = std::make_unique<Image>(c.relocated ? 0 : 0x1000, real);
        uintptr_t base = reinterpret_cast<uintptr_t>(image.get());
        uintptr_t bias = c.relocated ? 0 : 0x1000;
        LoadedRange range = c.relocated ? LoadedRange{base, base + sizeof(Image)} : LoadedRange{};
        DynamicTables t = read_dynamic(image->dynamic, bias, range);
        auto text = find_slots(t, bias, "TextOutA", real);
        EXPECT_EQ(text, (std::vector<uintptr_t*>{&image->slots[0], &image->slots[1]}));
        EXPECT_TRUE(find_slots(t, bias, "CreateFileA", real).empty());
        EXPECT_EQ(find_slots(t, bias, "CreateFileA", real + 1).size(), 1u);
        EXPECT_TRUE(find_slots(t, bias, "TextOut", real).empty());
        EXPECT_TRUE(find_slots(t, bias, "Missing", real).empty());
    }
}

TEST(HookSlots, PagesKeepTheProtectionTheLoaderLeft) {
    ElfW(Phdr) phdrs[3] = {};
    phdrs[0] = {PT_LOAD, PF_R | PF_X, 0, 0x0, 0, 0, 0x2000, 0x1000};
    phdrs[1] = {PT_LOAD, PF_R | PF_W, 0, 0x3000, 0, 0, 0x3000, 0x1000};
    phdrs[2] = {PT_GNU_RELRO, PF_R, 0, 0x3000, 0, 0, 0x1800, 1};
    const uintptr_t bias = 0x10000;
    struct Case {
        uintptr_t address;
        int prot;
    };
    const Case cases[] = {
        {bias + 0x1008, PROT_READ | PROT_EXEC},  {bias + 0x3010, PROT_READ},  // inside RELRO
        {bias + 0x4010, PROT_READ | PROT_WRITE},  // RELRO's last, partial page stays writable
        {bias + 0x5ff8, PROT_READ | PROT_WRITE}, {bias + 0x9000, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(page_protection(phdrs, bias, c.address, 0x1000), c.prot) << std::hex << c.address;
    EXPECT_EQ(loaded_range(phdrs, bias).low, bias);
    EXPECT_EQ(loaded_range(phdrs, bias).high, bias + 0x6000);
}
