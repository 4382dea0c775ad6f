// Regular expressions beside PCRE2's interpreter (no JIT), in one run: typical
// script lines (Shift-JIS dialogue, name=value, CSV numbers, commands), the
// compile time of the same patterns, and pathological patterns where ours
// grows linearly and PCRE2 backtracks until its match limit.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <benchmark/benchmark.h>
#include <pcre2.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "runtime/regex.h"

namespace {

// Patterns whose byte semantics agree in both engines on the lines below
// (no line breaks, only ASCII classes).
const char* const kPatterns[] = {
    "^([^=]+)=(.*)$",   "\\d+",        "[0-9]+,[0-9]+", "\x81\x75.*\x81\x76",
    "^@(\\w+) +(\\d+)", "(abc|abd)+x",
};

std::vector<std::string> make_lines() {
    // 「」 and a few kana and kanji in Shift-JIS.
    const std::string open = "\x81\x75", close = "\x81\x76";
    const char* words[] = {"\x82\xa0\x82\xa2", "\x8d\xa1\x93\xfa", "\x83\x41\x83\x43",
                           "\x88\x9f\x89\x40", "\x82\xcd",         "\x8e\x84"};
    const char* names[] = {"volume", "speed", "name", "flag", "window"};
    const char* commands[] = {"bg", "se", "bgm", "chara", "wait"};
    std::mt19937 rng(7);
    auto pick = [&](int n) { return int(rng() % uint32_t(n)); };
    std::vector<std::string> lines;
    for (int i = 0; i < 200; ++i) {
        std::string s;
        switch (i % 5) {
            case 0:
                s = words[pick(6)] + open;
                for (int k = 0; k < 6 + pick(10); ++k) s += words[pick(6)];
                s += close;
                break;
            case 1:
                s = std::string(names[pick(5)]) + "=" + std::to_string(pick(1000)) + words[pick(6)];
                break;
            case 2:
                for (int k = 0; k < 8; ++k) s += (k ? "," : "") + std::to_string(pick(100000));
                break;
            case 3:
                s = "@" + std::string(commands[pick(5)]) + " " + std::to_string(pick(100)) +
                    " fade";
                break;
            default:
                s = std::string(pick(2) ? "abcabd" : "abdabc") + (pick(2) ? "x" : "y") +
                    words[pick(6)];
                break;
        }
        lines.push_back(s);
    }
    return lines;
}

const std::vector<std::string>& lines() {
    static const std::vector<std::string> l = make_lines();
    return l;
}

size_t total_bytes() {
    size_t n = 0;
    for (auto& l : lines()) n += l.size();
    return n;
}

struct Pcre {
    pcre2_code* code = nullptr;
    pcre2_match_data* data = nullptr;
    explicit Pcre(const char* pattern) {
        int err = 0;
        PCRE2_SIZE off = 0;
        code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED, 0, &err,
                             &off, nullptr);
        if (!code) std::abort();
        data = pcre2_match_data_create_from_pattern(code, nullptr);
    }
    ~Pcre() {
        pcre2_match_data_free(data);
        pcre2_code_free(code);
    }
    int match(const std::string& s) {
        return pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(s.data()), s.size(), 0, 0, data,
                           nullptr);
    }
};

// Both engines find the same whole match on every line before anything is timed.
void check_agreement() {
    for (const char* p : kPatterns) {
        auto ours = tob::regex::compile(p);
        Pcre theirs(p);
        for (auto& l : lines()) {
            auto m = tob::regex::search(*ours, l, false);
            int rc = theirs.match(l);
            PCRE2_SIZE* ov = pcre2_get_ovector_pointer(theirs.data);
            bool same = (m && rc > 0 && m->start == ov[0] && m->end == ov[1]) || (!m && rc < 0);
            if (!same) {
                std::fprintf(stderr, "engines disagree: pattern %s on %s\n", p, l.c_str());
                std::exit(1);
            }
        }
    }
}

void BM_Lines_Ours(benchmark::State& state) {
    auto a = tob::regex::compile(kPatterns[state.range(0)]);
    for (auto _ : state)
        for (auto& l : lines()) benchmark::DoNotOptimize(tob::regex::search(*a, l, false));
    state.SetBytesProcessed(int64_t(state.iterations() * total_bytes()));
    state.SetLabel(kPatterns[state.range(0)]);
}
void BM_Lines_Pcre2(benchmark::State& state) {
    Pcre p(kPatterns[state.range(0)]);
    for (auto _ : state)
        for (auto& l : lines()) benchmark::DoNotOptimize(p.match(l));
    state.SetBytesProcessed(int64_t(state.iterations() * total_bytes()));
    state.SetLabel(kPatterns[state.range(0)]);
}
BENCHMARK(BM_Lines_Ours)->DenseRange(0, 5);
BENCHMARK(BM_Lines_Pcre2)->DenseRange(0, 5);

void BM_Compile_Ours(benchmark::State& state) {
    for (auto _ : state)
        for (const char* p : kPatterns) benchmark::DoNotOptimize(tob::regex::compile(p));
}
void BM_Compile_Pcre2(benchmark::State& state) {
    for (auto _ : state)
        for (const char* p : kPatterns) {
            int err = 0;
            PCRE2_SIZE off = 0;
            pcre2_code* c = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(p), PCRE2_ZERO_TERMINATED, 0,
                                          &err, &off, nullptr);
            pcre2_code_free(c);
        }
}
BENCHMARK(BM_Compile_Ours);
BENCHMARK(BM_Compile_Pcre2);

const char* const kPathological[] = {"(a*)*b", "(a|a)*b", "(a|aa)*c"};

// n "a"s, then "x" and the pattern's last letter: the required letter is
// there, so neither engine can skip the search, and the only match is the
// letter at the very end.
std::string pathological_subject(int pattern, int64_t n) {
    std::string last(kPathological[pattern]);
    return std::string(size_t(n), 'a') + "x" + last.back();
}

void BM_Pathological_Ours(benchmark::State& state) {
    auto a = tob::regex::compile(kPathological[state.range(0)]);
    std::string s = pathological_subject(int(state.range(0)), state.range(1));
    tob::regex::MatchStats stats;
    for (auto _ : state) benchmark::DoNotOptimize(tob::regex::search(*a, s, false, &stats));
    state.counters["pairs"] = double(stats.pairs);
    state.SetLabel(kPathological[state.range(0)]);
}
void BM_Pathological_Pcre2(benchmark::State& state) {
    Pcre p(kPathological[state.range(0)]);
    std::string s = pathological_subject(int(state.range(0)), state.range(1));
    int rc = 0;
    for (auto _ : state) benchmark::DoNotOptimize(rc = p.match(s));
    state.SetLabel(std::string(kPathological[state.range(0)]) +
                   (rc == PCRE2_ERROR_MATCHLIMIT ? " match limit"
                    : rc == PCRE2_ERROR_NOMATCH  ? " no match"
                                                 : " other"));
}
BENCHMARK(BM_Pathological_Ours)
    ->ArgsProduct({{0, 1, 2}, {1000, 10000}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Pathological_Pcre2)
    ->ArgsProduct({{0, 1, 2}, {1000, 10000}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    check_agreement();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
