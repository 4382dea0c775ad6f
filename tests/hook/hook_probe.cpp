// A small program linked like the engine (platform library, hook library found
// beside it, immediate binding), so that the hook patches its slots at start.
// Each scenario checks what the hook did from the inside; a shell script runs
// each in a fresh folder and reads the log. Prints "ok" and exits 0 on success.
// usage: hook_probe make-table FILE [bad] | installs | same-pixels | mapped |
//        mapped-threads | redirect DIR | all DIR
#include <dlfcn.h>
#include <link.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "hook/code_table.h"
#include "hook/elf_slots.h"
#include "hook/morvane_hook.h"
#include "platform/file.h"
#include "platform/winapi.h"

[[gnu::used]] static void (*const kept_hook_init)() = &morvane_hook_init;

namespace {

using namespace morvane::hook;
namespace fs = std::filesystem;

int failures = 0;

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "FAILED: %s\n", what);
        ++failures;
    }
}

template <typename F>
F platform(const char* name) {
    void* lib = dlopen("libtob_winapi.so", RTLD_NOW | RTLD_NOLOAD);
    F f = lib ? reinterpret_cast<F>(dlsym(lib, name)) : nullptr;
    if (lib) dlclose(lib);
    return f;
}

// The pair the generated table maps, and to what.
constexpr uint8_t kLead = 0x88, kTrail = 0x9F;   // 亜 in CP932
constexpr char16_t kMapped = 0x4E2D;             // 中
constexpr char kFaceGbk[] = "\xBA\xDA\xCC\xE5";  // 黑体

int make_table(const char* path, bool bad) {
    std::string out(kTableFileBytes, '\0');
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + size_t(i)] = char(v >> (8 * i));
    };
    put32(0, bad ? 0x21212121 : kTableMagic);
    put32(4, kTableVersion);
    put32(8, 1);
    std::memcpy(out.data() + kTableFaceOffset, kFaceGbk, sizeof kFaceGbk - 1);
    put32(kTableHeaderBytes + 4 * (size_t(kLead) << 8 | kTrail), kMapped);
    std::ofstream(path, std::ios::binary) << out;
    return 0;
}

struct Canvas {
    static constexpr int kWidth = 200, kHeight = 40;
    std::vector<uint32_t> pixels = std::vector<uint32_t>(kWidth * kHeight, 0);
    TobBitmap bitmap{pixels.data(), kWidth, kHeight, kWidth * 4, 32, nullptr, 0};
    HDC dc = tob_create_bitmap_dc(&bitmap);
    HFONT font = nullptr;
    Canvas() {
        LOGFONTA lf{};
        lf.lfHeight = 24;
        lf.lfCharSet = TOB_SHIFTJIS_CHARSET;
        std::memcpy(lf.lfFaceName, "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E", 13);
        font = CreateFontIndirectA(&lf);
        SelectObject(dc, font);
    }
    ~Canvas() {
        tob_delete_dc(dc);
        DeleteObject(font);
    }
};

void installs() {
    Canvas fonts_made;  // one font made through the hook
    auto real_text_out = platform<decltype(&TextOutA)>("TextOutA");
    auto real_create_file = platform<decltype(&CreateFileA)>("CreateFileA");
    check(real_text_out &&
              reinterpret_cast<void*>(&TextOutA) != reinterpret_cast<void*>(real_text_out),
          "the slot of TextOutA leads to the hook");
    check(reinterpret_cast<void*>(&CreateFileA) != reinterpret_cast<void*>(real_create_file),
          "the slot of CreateFileA leads to the hook");
    // The rewritten slots' pages are as read-only as the loader left them.
    struct Main {
        uintptr_t bias;
        const ElfW(Phdr) * phdrs;
        size_t count;
    } main{};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            *static_cast<Main*>(data) = {info->dlpi_addr, info->dlpi_phdr, info->dlpi_phnum};
            return 1;
        },
        &main);
    std::span<const ElfW(Phdr)> phdrs(main.phdrs, main.count);
    const ElfW(Dyn)* dynamic = nullptr;
    for (const auto& p : phdrs)
        if (p.p_type == PT_DYNAMIC)
            dynamic = reinterpret_cast<const ElfW(Dyn)*>(main.bias + p.p_vaddr);
    auto tables = read_dynamic(dynamic, main.bias, loaded_range(phdrs, main.bias));
    auto slots = find_slots(tables, main.bias, "TextOutA", reinterpret_cast<uintptr_t>(&TextOutA));
    check(!slots.empty(), "a slot holds the hook's TextOutA");
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        uintptr_t lo = 0, hi = 0;
        char perms[5] = {};
        if (std::sscanf(line.c_str(), "%lx-%lx %4s", &lo, &hi, perms) != 3) continue;
        for (uintptr_t* s : slots)
            if (reinterpret_cast<uintptr_t>(s) >= lo && reinterpret_cast<uintptr_t>(s) < hi)
                check(perms[1] == '-', "the slot's page is read-only again");
    }
}

// Hooked text output and measuring against the platform's own.
void same_pixels() {
    auto real_text_out = platform<decltype(&TextOutA)>("TextOutA");
    auto real_extent = platform<decltype(&GetTextExtentPoint32A)>("GetTextExtentPoint32A");
    const std::string texts[] = {
        "Abc 123",
        "\x8A\xBF\x8E\x9A\x82\xA9\x82\xC8 \x95\x5C\x8E\xA6",  // 漢字かな 表示
        "\x88\x9F\x88\xA0",                                   // 亜唖
        "x\x85\x40y",                                         // a pair CP932 lacks
        std::string(300, 'W'),                                // longer than the stack buffer
    };
    for (const std::string& t : texts) {
        Canvas hooked, plain;
        check(TextOutA(hooked.dc, 2, 4, t.data(), int(t.size())), "hooked TextOutA");
        check(real_text_out(plain.dc, 2, 4, t.data(), int(t.size())), "platform TextOutA");
        check(hooked.pixels == plain.pixels, ("same pixels for " + t.substr(0, 20)).c_str());
        SIZE a{}, b{};
        check(GetTextExtentPoint32A(hooked.dc, t.data(), int(t.size()), &a) &&
                  real_extent(plain.dc, t.data(), int(t.size()), &b) && a.cx == b.cx &&
                  a.cy == b.cy,
              "same extents");
    }
    Canvas c;
    check(TextOutA(c.dc, 0, 0, nullptr, 0) == real_text_out(c.dc, 0, 0, nullptr, 0), "null text");
    check(TextOutA(c.dc, 0, 0, "a", -1) == real_text_out(c.dc, 0, 0, "a", -1), "negative length");
}

// A mapped pair draws as its character in the substitute face.
void mapped() {
    const char pair[] = {char(kLead), char(kTrail)};
    Canvas hooked, expected, unmapped;
    check(TextOutA(hooked.dc, 2, 4, pair, 2), "hooked TextOutA");
    check(GetCurrentObject(hooked.dc, TOB_OBJ_FONT) == hooked.font, "the caller's font is back");

    LOGFONTA lf{};
    check(GetObjectA(expected.font, sizeof lf, &lf) == int(sizeof lf), "GetObjectA");
    std::memset(lf.lfFaceName, 0, sizeof lf.lfFaceName);
    std::memcpy(lf.lfFaceName, kFaceGbk, sizeof kFaceGbk - 1);
    lf.lfCharSet = 134;
    HFONT substitute = CreateFontIndirectA(&lf);
    HGDIOBJ previous = SelectObject(expected.dc, substitute);
    const char16_t text[] = {kMapped};
    check(TextOutW(expected.dc, 2, 4, text, 1), "TextOutW");
    SIZE want{};
    GetTextExtentPoint32W(expected.dc, text, 1, &want);
    SelectObject(expected.dc, previous);
    DeleteObject(substitute);
    check(hooked.pixels == expected.pixels,
          "the pair looks like its character in the substitute face");

    SIZE got{};
    check(GetTextExtentPoint32A(hooked.dc, pair, 2, &got) && got.cx == want.cx && got.cy == want.cy,
          "the extents agree");
    auto real_text_out = platform<decltype(&TextOutA)>("TextOutA");
    real_text_out(unmapped.dc, 2, 4, pair, 2);
    check(unmapped.pixels != hooked.pixels, "unhooked, the pair draws as itself");
    // Seventeen fonts through the cache, and every one still draws.
    for (int h = 10; h < 27; ++h) {
        Canvas c;
        LOGFONTA other{};
        GetObjectA(c.font, sizeof other, &other);
        other.lfHeight = h;
        HFONT f = CreateFontIndirectA(&other);
        SelectObject(c.dc, f);
        check(TextOutA(c.dc, 0, 0, pair, 2), "drawing with many sizes");
        SelectObject(c.dc, c.font);
        DeleteObject(f);
    }
}

// Threads drawing the mapped pair in more sizes than the font cache holds:
// fonts are evicted while other threads may still draw with them, and every
// drawing must still look as it does alone.
void mapped_threads() {
    const char pair[] = {char(kLead), char(kTrail)};
    constexpr int kSizes = 24;
    auto draw = [&](int size) {
        Canvas c;
        LOGFONTA lf{};
        GetObjectA(c.font, sizeof lf, &lf);
        lf.lfHeight = 10 + size;
        HFONT f = CreateFontIndirectA(&lf);
        SelectObject(c.dc, f);
        TextOutA(c.dc, 1, 1, pair, 2);
        SelectObject(c.dc, c.font);
        DeleteObject(f);
        return c.pixels;
    };
    std::vector<std::vector<uint32_t>> alone;
    for (int s = 0; s < kSizes; ++s) alone.push_back(draw(s));
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3; ++round)
                for (int s = 0; s < kSizes; ++s) {
                    int size = (s * 7 + t * 5 + round) % kSizes;
                    if (draw(size) != alone[size]) ++mismatches;
                }
        });
    for (auto& th : threads) th.join();
    check(mismatches == 0, "threads drawing through an evicting font cache see their own fonts");
}

std::string read_file(const fs::path& p) {
    auto f = tob::File::open_read(p);
    if (!f) return "(none)";
    std::string out(size_t(f->size().value_or(0)), '\0');
    f->read_exact_at(0, out.data(), out.size());
    return out;
}

void redirect(const fs::path& dir) {
    std::ofstream(dir / "data.bin") << "original";
    std::ofstream(dir / "data_cn.bin") << "translated";
    check(read_file(dir / "data.bin") == "translated", "data.bin opens data_cn.bin");
    check(read_file(dir / "DATA.BIN") == "translated", "names ignore case");
    check(read_file(dir / "data_cn.bin") == "translated", "data_cn.bin opens itself");
    HANDLE h = CreateFileA((dir / "data.bin").c_str(), TOB_GENERIC_READ | TOB_GENERIC_WRITE, 0,
                           nullptr, TOB_OPEN_EXISTING, 0, nullptr);
    char buf[8] = {};
    check(h != TOB_INVALID_HANDLE_VALUE &&
              ::read(int(reinterpret_cast<intptr_t>(h)), buf, 8) == 8 &&
              std::string(buf, 8) == "original",
          "opening for writing is not redirected");
    CloseHandle(h);
    fs::remove(dir / "data_cn.bin");
    check(read_file(dir / "data.bin") == "original", "a vanished copy opens the archive itself");
}

}  // namespace

int main(int argc, char** argv) {
    std::string what = argc > 1 ? argv[1] : "";
    if (what == "make-table" && argc > 2) return make_table(argv[2], argc > 3);
    if (what == "installs" || what == "all") installs();
    if (what == "same-pixels") same_pixels();
    if (what == "mapped" || what == "all") mapped();
    if (what == "mapped-threads") mapped_threads();
    if ((what == "redirect" || what == "all") && argc > 2) redirect(argv[2]);
    if (failures) return 1;
    std::puts("ok");
    return 0;
}
