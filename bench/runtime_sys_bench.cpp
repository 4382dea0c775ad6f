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

#include <filesystem>
#include <fstream>
#include <string>

#include "base/current_folder.h"
#include "base/settings.h"
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

void BM_DllCallTrap(benchmark::State& state) {
    bench_folder();
    test::CallSite site;
    site.table.bind_all(dll_builtins());
    init_dll(site.mem);
    uint32_t lib = site.call("dll_load", {site.string("tobtest.dll")});
    uint32_t f = site.call("dll_proc", {lib, site.string("tob_add4")});
    for (auto _ : state) benchmark::DoNotOptimize(site.call("dll_call", {f, 1, 2, 3, 4}));
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
    ::dlclose(h);
}
BENCHMARK(BM_FfiCallBare);

void BM_FindLoop(benchmark::State& state) {
    bench_folder();
    test::CallSite site;
    site.table.bind_all(files_builtins());
    ScriptAddr rec = site.string("", 320), pattern = site.string("many\\*.*");
    for (auto _ : state) {
        int32_t h = int32_t(site.call("find_first", {pattern, rec}));
        int n = 1;
        while (site.call("find_next", {uint32_t(h), rec})) ++n;
        site.call("find_close", {uint32_t(h)});
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_FindLoop)->Unit(benchmark::kMillisecond);

void BM_ReaddirStat(benchmark::State& state) {
    fs::path dir = bench_folder() / "many";
    for (auto _ : state) {
        DIR* d = ::opendir(dir.c_str());
        int n = 0;
        while (struct dirent* e = ::readdir(d)) {
            struct stat st;
            ::fstatat(dirfd(d), e->d_name, &st, 0);
            ++n;
        }
        ::closedir(d);
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_ReaddirStat)->Unit(benchmark::kMillisecond);

void BM_IniGeti(benchmark::State& state) {
    bench_folder();
    test::CallSite site;
    site.table.bind_all(ini_builtins());
    ScriptAddr section = site.string("Section49"), key = site.string("Key8");
    for (auto _ : state) benchmark::DoNotOptimize(site.call("ini_geti", {section, key, 0}));
}
BENCHMARK(BM_IniGeti);

}  // namespace

BENCHMARK_MAIN();
