// The text hook's cost, side by side in one run. This program is linked like
// the engine, so the hook rewrites its own slots at start:
// - TextOutA of a 40-character line through the hook, beside the platform's
//   TextOutA called directly (the hook's target: at most 1.1x);
// - the hook's conversion alone, beside glibc iconv CP932 -> UTF-16LE (at
//   least 5x faster);
// - CreateFileA of an archive whose redirect is cached, beside the platform's
//   CreateFileA of the translated name and a bare open(2) (at most 1.2x).
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <iconv.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "hook/code_table.h"
#include "hook/morvane_hook.h"
#include "platform/winapi.h"
#include "ratio_reporter.h"

[[gnu::used]] static void (*const kept_hook_init)() = &morvane_hook_init;

namespace {

namespace fs = std::filesystem;

// 40 characters: kanji, kana, full-width and ASCII, with 0x5C trail bytes.
const std::string kLine =
    "\x83\x51\x81\x5B\x83\x80\x82\xF0\x8A\x4A\x8E\x6E\x82\xB5\x82\xDC\x82\xB7\x81\x42"  // ゲームを開始します。
    "\x95\x5C\x8E\xA6\x82\xCD\x90\xB3\x8F\xED\x82\xC5\x82\xB7"  // 表示は正常です
    " Morvane 2D engine v1.0 (ok)";                             // 23 bytes

template <typename F>
F platform(const char* name) {
    void* lib = dlopen("libtob_winapi.so", RTLD_NOW | RTLD_NOLOAD);
    F f = lib ? reinterpret_cast<F>(dlsym(lib, name)) : nullptr;
    if (lib) dlclose(lib);
    return f;
}

struct Canvas {
    std::vector<uint32_t> pixels = std::vector<uint32_t>(640 * 48);
    TobBitmap bitmap{pixels.data(), 640, 48, 640 * 4, 32, nullptr, 0};
    HDC dc = tob_create_bitmap_dc(&bitmap);
    HFONT font;
    Canvas() {
        LOGFONTA lf{};
        lf.lfHeight = 16;
        lf.lfCharSet = TOB_SHIFTJIS_CHARSET;
        lf.lfQuality = TOB_NONANTIALIASED_QUALITY;
        font = CreateFontIndirectA(&lf);
        SelectObject(dc, font);
    }
    ~Canvas() {
        tob_delete_dc(dc);
        DeleteObject(font);
    }
};

void bm_text_out_hooked(benchmark::State& state) {
    Canvas c;
    for (auto _ : state)
        benchmark::DoNotOptimize(TextOutA(c.dc, 4, 4, kLine.data(), int(kLine.size())));
    state.SetItemsProcessed(state.iterations());
}

void bm_text_out_platform(benchmark::State& state) {
    Canvas c;
    auto text_out = platform<decltype(&TextOutA)>("TextOutA");
    for (auto _ : state)
        benchmark::DoNotOptimize(text_out(c.dc, 4, 4, kLine.data(), int(kLine.size())));
    state.SetItemsProcessed(state.iterations());
}

void bm_convert_hook(benchmark::State& state) {
    char16_t out[256];
    for (auto _ : state) {
        bool used = false;
        benchmark::DoNotOptimize(
            morvane::hook::convert_text(kLine.data(), kLine.size(), nullptr, out, 256, used));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

void bm_convert_iconv(benchmark::State& state) {
    iconv_t cd = iconv_open("UTF-16LE", "CP932");
    char16_t out[256];
    for (auto _ : state) {
        char* in = const_cast<char*>(kLine.data());
        size_t in_left = kLine.size(), out_left = sizeof out;
        char* dst = reinterpret_cast<char*>(out);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        benchmark::DoNotOptimize(iconv(cd, &in, &in_left, &dst, &out_left));
        benchmark::ClobberMemory();
    }
    iconv_close(cd);
    state.SetItemsProcessed(state.iterations());
}

struct Archives {
    fs::path dir;
    std::string requested, translated;
    Archives() {
        char tmpl[] = "/tmp/hook_bench_XXXXXX";
        dir = mkdtemp(tmpl);
        requested = (dir / "data.bin").native();
        translated = (dir / "data_cn.bin").native();
        std::ofstream(requested) << "original";
        std::ofstream(translated) << "translated";
    }
    ~Archives() { fs::remove_all(dir); }
};

Archives& archives() {
    static Archives a;
    return a;
}

void close_handle(HANDLE h) {
    ::close(int(reinterpret_cast<intptr_t>(h)));
}

void bm_open_redirected(benchmark::State& state) {
    const std::string& name = archives().requested;
    close_handle(CreateFileA(name.c_str(), TOB_GENERIC_READ, TOB_FILE_SHARE_READ, nullptr,
                             TOB_OPEN_EXISTING, 0, nullptr));  // the redirect is cached now
    for (auto _ : state)
        close_handle(CreateFileA(name.c_str(), TOB_GENERIC_READ, TOB_FILE_SHARE_READ, nullptr,
                                 TOB_OPEN_EXISTING, 0, nullptr));
    state.SetItemsProcessed(state.iterations());
}

void bm_open_platform(benchmark::State& state) {
    const std::string& name = archives().translated;
    auto create_file = platform<decltype(&CreateFileA)>("CreateFileA");
    for (auto _ : state)
        close_handle(create_file(name.c_str(), TOB_GENERIC_READ, TOB_FILE_SHARE_READ, nullptr,
                                 TOB_OPEN_EXISTING, 0, nullptr));
    state.SetItemsProcessed(state.iterations());
}

void bm_open_posix(benchmark::State& state) {
    const std::string& name = archives().translated;
    for (auto _ : state) ::close(::open(name.c_str(), O_RDONLY | O_CLOEXEC));
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(bm_text_out_hooked);
BENCHMARK(bm_text_out_platform);
BENCHMARK(bm_convert_hook);
BENCHMARK(bm_convert_iconv);
BENCHMARK(bm_open_redirected);
BENCHMARK(bm_open_platform);
BENCHMARK(bm_open_posix);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    tob::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto ns = [&](const std::string& name) {
        for (const auto& [k, v] : reporter.rate)
            if (k.rfind(name, 0) == 0 && v > 0) return 1e9 / v;
        return 0.0;
    };
    auto row = [&](const char* what, const char* a, const char* b, const char* goal) {
        double x = ns(a), y = ns(b);
        std::printf("%-34s %10.0f ns %10.0f ns %8.2fx   (%s)\n", what, x, y, y > 0 ? x / y : 0.0,
                    goal);
    };
    std::printf("\n%-34s %13s %13s %9s\n", "", "hook", "reference", "ratio");
    row("TextOutA, 40 characters", "bm_text_out_hooked", "bm_text_out_platform",
        "hook / platform TextOutA, at most 1.1");
    double convert = ns("bm_convert_hook"), iconv_ns = ns("bm_convert_iconv");
    std::printf("%-34s %10.0f ns %10.0f ns %8.2fx   (%s)\n", "conversion of the line", convert,
                iconv_ns, convert > 0 ? iconv_ns / convert : 0.0,
                "iconv / hook: times faster, at least 5");
    row("CreateFileA, cached redirect", "bm_open_redirected", "bm_open_platform",
        "hook / platform CreateFileA, at most 1.2");
    row("CreateFileA, cached redirect", "bm_open_redirected", "bm_open_posix",
        "hook / bare open(2), for information");
    return 0;
}
