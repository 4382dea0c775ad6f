// Settings, searches and plug-in calls, each beside what it stands on, in one
// run: dll_call through the real trap path beside a bare ffi_call of the same
// 4-argument function; a find_first/find_next loop over 10,000 files beside a
// plain readdir + stat loop; ini_geti on an unchanged 500-line file.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <dlfcn.h>
#include <ffi.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>

#include "base/current_folder.h"
#include "base/settings.h"
#include "ratio_reporter.h"
#include "runtime/runtime.h"
#include "support/call_site.h"

namespace {

namespace fs = std::filesystem;
using namespace tob;

fs::path bench_folder() {
    static fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("tob_sys_bench_" + std::to_string(::getpid()));
        fs::create_directories(d / "many");
        for (int i = 0; i < 10000; ++i) std::ofstream(d / "many" / ("file" + std::to_string(i)));
        std::ofstream cfg(d / "bench.cfg");
        for (int i = 0; i < 50; ++i) {
            cfg << "[Section" << i << "]\r\n";
            for (int k = 0; k < 9; ++k) cfg << "Key" << k << "=" << i * 10 + k << "\r\n";
        }
        fs::copy_file(TOB_TEST_PLUGIN, d / "libtobtest.so");
        set_current_folder(d);
        settings().config_path = d / "bench.cfg";
        return d;
    }();
    return dir;
}

// The arguments stay on the script stack as compiled code leaves them, and
// each call goes through the machine's trap hook as a `trap` instruction does.
uint32_t trap(test::CallSite& site, int number) {
    site.machine.trap_hook->trap(site.machine, uint32_t(number), site.ctx);
    return site.ctx.r[0];
}

void BM_DllCallTrap(benchmark::State& state) {
    bench_folder();
    test::CallSite site;
    site.table.bind_all(dll_builtins());
    init_dll(site.mem);
    uint32_t lib = site.call("dll_load", {site.string("tobtest.dll")});
    uint32_t f = site.call("dll_proc", {lib, site.string("tob_add4")});
    if (site.call("dll_call", {f, 1, 2, 3, 4}) != 10)
        state.SkipWithError("tob_add4 gave a wrong sum");
    site.ctx.r[kStackPointer] = site.ctx.stack_base + site.ctx.stack_size;
    site.call_with({f, 1, 2, 3, 4});
    const int number = trap_number("dll_call");
    for (auto _ : state) benchmark::DoNotOptimize(trap(site, number));
    state.SetItemsProcessed(state.iterations());
    shutdown_dll();
}
BENCHMARK(BM_DllCallTrap);

void BM_FfiCallBare(benchmark::State& state) {
    void* h = ::dlopen((bench_folder() / "libtobtest.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    void* f = ::dlsym(h, "tob_add4");
    ffi_type* types[4] = {&ffi_type_uint32, &ffi_type_uint32, &ffi_type_uint32, &ffi_type_uint32};
    ffi_cif cif;
    ffi_prep_cif(&cif, FFI_DEFAULT_ABI, 4, &ffi_type_uint32, types);
    uint32_t a[4] = {1, 2, 3, 4};
    void* p[4] = {&a[0], &a[1], &a[2], &a[3]};
    for (auto _ : state) {
        ffi_arg r = 0;
        ffi_call(&cif, FFI_FN(f), &r, p);
        benchmark::DoNotOptimize(r);
    }
    state.SetItemsProcessed(state.iterations());
    ::dlclose(h);
}
BENCHMARK(BM_FfiCallBare);

// One find_first/find_next/find_close loop over the folder; the entries seen.
struct FindLoop {
    test::CallSite site;
    ScriptAddr rec = 0, pattern = 0;
    int first = trap_number("find_first"), next = trap_number("find_next"),
        close = trap_number("find_close");
    FindLoop() {
        bench_folder();
        site.table.bind_all(files_builtins());
        rec = site.string("", 320);
        pattern = site.string("many\\*.*");
    }
    void args(std::initializer_list<uint32_t> words) {
        site.ctx.r[kStackPointer] = site.ctx.stack_base + site.ctx.stack_size;
        site.call_with(words);
    }
    int run() {
        args({pattern, rec});
        uint32_t h = trap(site, first);
        int n = 1;
        args({h, rec});
        while (trap(site, next)) ++n;
        args({h});
        trap(site, close);
        return n;
    }
};

// The same folder through readdir and fstatat alone.
int readdir_loop(const fs::path& dir) {
    DIR* d = ::opendir(dir.c_str());
    int n = 0;
    while (struct dirent* e = ::readdir(d)) {
        struct stat st;
        ::fstatat(dirfd(d), e->d_name, &st, 0);
        ++n;
    }
    ::closedir(d);
    return n;
}

void BM_FindLoop(benchmark::State& state) {
    FindLoop loop;
    int64_t entries = 0;
    for (auto _ : state) entries += loop.run();
    state.SetItemsProcessed(entries);
}
BENCHMARK(BM_FindLoop)->Unit(benchmark::kMillisecond);

void BM_ReaddirStat(benchmark::State& state) {
    fs::path dir = bench_folder() / "many";
    int64_t entries = 0;
    for (auto _ : state) entries += readdir_loop(dir);
    state.SetItemsProcessed(entries);
}
BENCHMARK(BM_ReaddirStat)->Unit(benchmark::kMillisecond);

void BM_IniGeti(benchmark::State& state) {
    bench_folder();
    test::CallSite site;
    site.table.bind_all(ini_builtins());
    ScriptAddr section = site.string("Section49"), key = site.string("Key8");
    site.call_with({section, key, 0});
    const int number = trap_number("ini_geti");
    for (auto _ : state) benchmark::DoNotOptimize(trap(site, number));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IniGeti);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    tob::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto rate = [&](const char* name) { return reporter.rate[name]; };
    auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    std::printf("\n%-28s %12s %12s %7s\n", "per operation", "ours", "reference", "ratio");
    double dll = rate("BM_DllCallTrap"), ffi = rate("BM_FfiCallBare");
    if (dll > 0 && ffi > 0)
        std::printf("%-28s %9.1f ns %9.1f ns %6.2fx  (time, target at most 1.5x)\n",
                    "dll_call / bare ffi_call", 1e9 / dll, 1e9 / ffi, ratio(ffi, dll));
    double find = rate("BM_FindLoop"), readdir = rate("BM_ReaddirStat");
    if (find > 0 && readdir > 0)
        std::printf("%-28s %9.0f ns %9.0f ns %6.2fx  (speed, target at least 0.5x)\n",
                    "find entry / readdir+stat", 1e9 / find, 1e9 / readdir, ratio(find, readdir));
    // The two folder loops again, taking turns, best of 25 each: a busy
    // machine slows both alike and the ratio stays put.
    {
        FindLoop loop;
        fs::path dir = bench_folder() / "many";
        using Clock = std::chrono::steady_clock;
        double best_find = 1e30, best_readdir = 1e30;
        int entries = 0;
        for (int round = 0; round < 25; ++round) {
            auto t0 = Clock::now();
            entries = loop.run();
            auto t1 = Clock::now();
            readdir_loop(dir);
            auto t2 = Clock::now();
            best_find = std::min(best_find, std::chrono::duration<double>(t1 - t0).count());
            best_readdir = std::min(best_readdir, std::chrono::duration<double>(t2 - t1).count());
        }
        std::printf("%-28s %9.0f ns %9.0f ns %6.2fx  (the same, interleaved, best of 25)\n",
                    "find entry / readdir+stat", 1e9 * best_find / entries,
                    1e9 * best_readdir / entries, ratio(best_readdir, best_find));
    }
    if (double ini = rate("BM_IniGeti"); ini > 0)
        std::printf("%-28s %9.0f ns %12s %7s  (target under 2000 ns)\n", "ini_geti", 1e9 / ini, "",
                    "");
    std::error_code ec;
    fs::remove_all(bench_folder(), ec);
    return 0;
}
