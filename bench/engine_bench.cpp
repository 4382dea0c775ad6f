// Script speed end to end: the real `engine --headless` running the programs in
// bench/programs/ beside `lua5.4` running their Lua twins. Runs are interleaved
// (engine, Lua, next program, ...), each figure is the best of N times, and
// both sides must print the same result.
//
// usage: engine_bench [--runs N] [--engine PATH] [--lua PATH] [PROGRAM...]
// Defaults: 5 runs, the engine built beside this benchmark, `lua5.4` from PATH,
// every program. Prints one line per program with engine / Lua wall-clock
// time, the same for processor time (user + system, which other load on the
// machine disturbs less), and the wall-clock ratio without each side's
// start-up (the time of the empty program, measured in the same rounds).
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char* const kPrograms[] = {"loop", "fib", "queens", "strlen"};

struct Run {
    bool ok = false;
    double seconds = 0;
    double cpu_seconds = 0;  // user + system
    std::string output;      // the last non-empty line of standard output
};

std::string last_line(const fs::path& file) {
    std::ifstream in(file);
    std::string line, last;
    while (std::getline(in, line))
        if (!line.empty()) last = line;
    return last;
}

// Runs argv with standard output in `out_file`; wall-clock time of the run.
Run run(const std::vector<std::string>& args, const fs::path& out_file) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    Run r;
    pid_t pid = 0;
    auto t0 = Clock::now();
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return r;
    int status = 0;
    struct rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid) return r;
    r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    r.cpu_seconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                    double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    r.output = last_line(out_file);
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    fs::path self = fs::absolute(argv[0]);
    std::string engine = (self.parent_path().parent_path() / "engine").string();
    std::string lua = "lua5.4";
    std::vector<std::string> programs;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--engine" && i + 1 < argc)
            engine = argv[++i];
        else if (a == "--lua" && i + 1 < argc)
            lua = argv[++i];
        else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr,
                         "usage: engine_bench [--runs N] [--engine PATH] [--lua PATH] "
                         "[PROGRAM...]\n");
            return 2;
        } else
            programs.push_back(a);
    }
    if (programs.empty()) programs.assign(std::begin(kPrograms), std::end(kPrograms));

    const fs::path dir = fs::path(TOB_SOURCE_DIR) / "bench" / "programs";
    const fs::path out = fs::temp_directory_path() / ("engine_bench." + std::to_string(getpid()));
    // The empty program goes first: its times are each side's start-up.
    programs.insert(programs.begin(), "empty");
    const size_t n = programs.size();
    std::vector<double> best_engine(n, 1e30), best_lua(n, 1e30);
    std::vector<double> cpu_engine(n, 1e30), cpu_lua(n, 1e30);
    std::vector<std::string> result(n);
    bool failed = false;
    for (int round = 0; round < runs && !failed; ++round) {
        for (size_t p = 0; p < n; ++p) {
            Run e = run({engine, "--headless", (dir / (programs[p] + ".c")).string()}, out);
            Run l = run({lua, (dir / (programs[p] + ".lua")).string()}, out);
            if (!e.ok || !l.ok || e.output != l.output) {
                std::fprintf(stderr, "%s: engine %s \"%s\", lua %s \"%s\"\n", programs[p].c_str(),
                             e.ok ? "ok" : "failed", e.output.c_str(), l.ok ? "ok" : "failed",
                             l.output.c_str());
                failed = true;
                break;
            }
            result[p] = e.output;
            best_engine[p] = std::min(best_engine[p], e.seconds);
            best_lua[p] = std::min(best_lua[p], l.seconds);
            cpu_engine[p] = std::min(cpu_engine[p], e.cpu_seconds);
            cpu_lua[p] = std::min(cpu_lua[p], l.cpu_seconds);
        }
    }
    std::error_code ec;
    fs::remove(out, ec);
    if (failed) return 1;

    std::printf("best of %d, engine --headless beside lua5.4 (start-up: the empty program)\n",
                runs);
    std::printf("%-8s %10s %10s %14s %12s %16s\n", "program", "engine s", "lua s", "engine / lua",
                "cpu ratio", "without start-up");
    for (size_t p = 0; p < n; ++p) {
        std::printf("%-8s %10.3f %10.3f %13.2fx %11.2fx", programs[p].c_str(), best_engine[p],
                    best_lua[p], best_engine[p] / best_lua[p], cpu_engine[p] / cpu_lua[p]);
        const double e = best_engine[p] - best_engine[0], l = best_lua[p] - best_lua[0];
        if (p > 0 && e > 0 && l > 0) std::printf(" %15.2fx", e / l);
        std::printf("\n");
    }
    return 0;
}
