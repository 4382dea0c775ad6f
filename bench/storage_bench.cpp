// Storage benchmarks: expanding a 64 MiB text side by side with ncompress's
// `compress -d` on the same text (the ratio is printed at the end), and the
// latency of opening one member of a 10,000-entry archive.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "storage/archive_reader.h"
#include "storage/archive_writer.h"
#include "storage/exp_file.h"
#include "storage/lzw.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kTextSize = 64u << 20;
constexpr int kArchiveEntries = 10000;
constexpr const char* kNcompress = "/usr/bin/compress";

// Files shared by the benchmarks, made once in a temporary folder.
struct Fixture {
    fs::path dir;
    std::vector<uint8_t> text;
    std::vector<uint8_t> packed;  // our compressed form of text

    Fixture() {
        char tmpl[] = "/tmp/tob_bench_XXXXXX";
        dir = mkdtemp(tmpl);
        text = make_text();
        packed = tob::lzw_compress(text);
        write(dir / "text.txt", text);
        write(dir / "text.tob", packed);
        std::string z = "'" + (dir / "text.txt").string() + "'";
        if (std::system((std::string(kNcompress) + " -c " + z + " > " + z + ".Z").c_str()) != 0) {
            std::fprintf(stderr, "bench: %s failed; is ncompress installed?\n", kNcompress);
        }
        std::vector<tob::ArchiveMemoryInput> members;
        for (int i = 0; i < kArchiveEntries; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "cg\\ev%05d.png", i);
            members.push_back({name, std::vector<uint8_t>(64, uint8_t(i))});
        }
        write(dir / "data.bin", tob::build_archive(std::move(members), 12345));
    }
    ~Fixture() { fs::remove_all(dir); }

    static void write(const fs::path& p, const std::vector<uint8_t>& b) {
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    }

    // Words drawn from a small vocabulary, as in script sources and scenario text.
    static std::vector<uint8_t> make_text() {
        static const char* const kWords[] = {
            "the", "engine", "sprite", "plane",  "window", "script", "message", "return",
            "if",  "else",   "while",  "for",    "int",    "char",   "void",    "x",
            "y",   "width",  "height", "colour", "sound",  "play",   "stop",    "wait",
            "0",   "1",      "255",    "640",    "480",    "=",      "+",       "(",
            ")",   "{",      "}",      ";",      "//",     "load",   "save",    "page"};
        std::vector<uint8_t> out;
        out.reserve(kTextSize);
        uint32_t x = 7;
        while (out.size() < kTextSize) {
            x = x * 1103515245 + 12345;
            const char* w = kWords[(x >> 16) % std::size(kWords)];
            out.insert(out.end(), w, w + std::strlen(w));
            out.push_back((x >> 8) % 9 == 0 ? '\n' : ' ');
        }
        out.resize(kTextSize);
        return out;
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_ExpandInMemory(benchmark::State& state) {
    const auto& f = fixture();
    for (auto _ : state) {
        auto r = tob::lzw_expand(f.packed);
        if (r.data.size() != kTextSize) state.SkipWithError("bad expansion");
        benchmark::DoNotOptimize(r.data.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations() * kTextSize));
}

// From the file, as the engine opens it: the fair comparison with ncompress.
void BM_ExpandFile(benchmark::State& state) {
    const auto& f = fixture();
    for (auto _ : state) {
        auto r = tob::read_expanded_file("text.tob", f.dir);
        if (!r || r->size() != kTextSize) state.SkipWithError("bad expansion");
    }
    state.SetBytesProcessed(int64_t(state.iterations() * kTextSize));
}

void BM_NcompressExpandFile(benchmark::State& state) {
    const auto& f = fixture();
    std::string cmd =
        std::string(kNcompress) + " -d -c '" + (f.dir / "text.txt.Z").string() + "' > /dev/null";
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("ncompress failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations() * kTextSize));
}

void BM_Compress(benchmark::State& state) {
    const auto& f = fixture();
    for (auto _ : state) benchmark::DoNotOptimize(tob::lzw_compress(f.text).size());
    state.SetBytesProcessed(int64_t(state.iterations() * kTextSize));
}

void BM_OpenArchiveMember(benchmark::State& state) {
    const auto& f = fixture();
    bool cached = state.range(0) != 0;
    int i = 0;
    for (auto _ : state) {
        if (!cached) tob::clear_archive_directory_cache();
        char path[64];
        std::snprintf(path, sizeof path, "data\\cg\\EV%05d.png", (i++ * 7919) % kArchiveEntries);
        auto r = tob::ArchiveReader::open(path, f.dir);
        if (!r || r->size() != 64) state.SkipWithError("member not found");
    }
    state.SetLabel(cached ? "directory cached" : "directory read every time");
}

BENCHMARK(BM_ExpandInMemory)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExpandFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NcompressExpandFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Compress)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenArchiveMember)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// Keeps each benchmark's time per iteration so the ratio can be printed.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& r : runs) {
            if (r.run_type == Run::RT_Iteration && r.iterations > 0) {
                seconds[r.benchmark_name()] = r.real_accumulated_time / double(r.iterations);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    fixture();  // build the data before any timing
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto ours = reporter.seconds.find("BM_ExpandFile/real_time");
    auto theirs = reporter.seconds.find("BM_NcompressExpandFile/real_time");
    if (ours != reporter.seconds.end() && theirs != reporter.seconds.end()) {
        const auto& f = fixture();
        std::printf(
            "\nexpanding 64 MiB of text: ours %.1f MiB/s, ncompress %.1f MiB/s, "
            "speed ratio ours/ncompress = %.2f (compressed: ours %zu bytes, ncompress %ju bytes)\n",
            64 / ours->second, 64 / theirs->second, theirs->second / ours->second, f.packed.size(),
            uintmax_t(fs::file_size(f.dir / "text.txt.Z")));
    }
    benchmark::Shutdown();
    return 0;
}
