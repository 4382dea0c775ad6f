// Compiled scripts side by side with other implementations, in one run:
// - compile speed: a generated script of 40,000+ lines loaded by our engine
//   (measuring compile and compile into memory, as a load with ProgramSize 0
//   does) and compiled by `tcc -c` on the same file;
// - interpreter speed: a counting loop with a modulo and a branch, recursive
//   Fibonacci and a byte-array sieve, in the script language on our machine
//   and in Lua 5.4.
// Prints each figure and the ratios (above 1: ours is faster). `--interpreter-only
// [WORD]` skips the compile-speed part and runs only the programs whose name holds
// WORD (handy under callgrind); `--compile-only [RUNS]` skips the interpreter
// part and takes the best of RUNS runs of each compile-speed figure (9 by
// default; 1 under callgrind, where `time_loads` and `time_full_compiles` are
// the functions to collect).
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/current_folder.h"
#include "base/settings.h"
#include "compiler/compiler.h"
#include "shell/engine_host.h"
#include "vm/engine.h"

#ifdef TOB_BENCH_LUA
#include <lua.hpp>
#endif

using namespace tob;
using Clock = std::chrono::steady_clock;

namespace {

// Slices follow one another as in the engine's thread loop when nothing else
// wants the processor (without the loop's own checks between them).
struct BackToBack final : SliceGate {
    bool next_slice() override { return true; }
    bool after_call(const VmContext&) override { return true; }
};

// Best time of `runs` runs, in seconds.
double best_of(int runs, const std::function<void()>& f) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        auto t0 = Clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return best;
}

// A script in the common subset of the script language and C: many small
// functions with loops, conditions, arithmetic and calls.
std::string generated_script(int functions, int* lines) {
    std::string s;
    int n = 0;
    auto line = [&](const std::string& l) {
        s += l;
        s += '\n';
        ++n;
    };
    line("int table[64];");
    for (int f = 0; f < functions; ++f) {
        std::string name = "f" + std::to_string(f);
        line("int " + name + "(int a, int b)");
        line("{");
        line("    int i, s, t;");
        line("    s = 0;");
        line("    t = a * " + std::to_string(f % 7 + 1) + ";");
        line("    for (i = 0; i < a; i++) {");
        line("        if (i % 3 == 0)");
        line("            s = s + i * b - t;");
        line("        else if (i % 5 == 1)");
        line("            s = s - (b << 2) + table[i & 63];");
        line("        else");
        line("            s = s ^ (i + " + std::to_string(f) + ");");
        line("    }");
        line("    while (t > 100) t = t / 2 - 1;");
        if (f > 0) line("    s = s + f" + std::to_string(f - 1) + "(t & 7, s & 15);");
        line("    return s + t;");
        line("}");
        line("");
    }
    line("int main()");
    line("{");
    line("    return f" + std::to_string(functions - 1) + "(3, 4);");
    line("}");
    *lines = n;
    return s;
}

struct Program {
    const char* name;
    const char* script;
    const char* lua;
};

const Program kPrograms[] = {
    {"counting loop with % and a branch",
     "int main() { int i, n; n = 0;\n"
     "  for (i = 0; i < 3000000; i++) { if (i % 3 == 0) n += 2; else n -= 1; }\n"
     "  return n; }\n",
     "local n = 0\n"
     "for i = 0, 2999999 do if i % 3 == 0 then n = n + 2 else n = n - 1 end end\n"
     "return n\n"},
    {"recursive fib(27)",
     "int fib(int n) { if (n < 2) return n; return fib(n - 1) + fib(n - 2); }\n"
     "int main() { return fib(27); }\n",
     "local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end\n"
     "return fib(27)\n"},
    {"byte-array sieve of 1,000,000, 3 times",
     "char flags[1000000];\n"
     "int main() { int r, i, k, count;\n"
     "  for (r = 0; r < 3; r++) { count = 0;\n"
     "    for (i = 2; i < 1000000; i++) flags[i] = 1;\n"
     "    for (i = 2; i < 1000000; i++) if (flags[i]) { count++;\n"
     "      for (k = i + i; k < 1000000; k += i) flags[k] = 0; } }\n"
     "  return count; }\n",
     "local flags = {}\n"
     "local count\n"
     "for r = 1, 3 do count = 0\n"
     "  for i = 2, 999999 do flags[i] = true end\n"
     "  for i = 2, 999999 do if flags[i] then count = count + 1\n"
     "    for k = i + i, 999999, i do flags[k] = false end end end end\n"
     "return count\n"},
};

compiler::SourceReader reader_for(const std::string& text) {
    return compiler::memory_source_reader({{"bench.c", text}});
}

// Runs `argv` as a process of its own (no shell in between) and waits for it.
bool run_process(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Compile speed beside `tcc -c` on the same file. Ours is a program load as
// the engine does it with ProgramSize 0 (the measuring compile, then the
// compile into the program area), reading the source through the engine's
// own file layer; tcc's time includes its process start and the object file
// it writes, so its start-up alone (an empty file) is shown as well. One full
// compile into memory, without the measuring compile's image, is shown too.
// The best time of `runs` loads of "bench.c" as the engine does them.
double time_loads(ScriptEngine& engine, int runs, bool* ok) {
    return best_of(runs, [&] {
        VmContext* ctx = engine.load_program("bench.c", 0, 64 << 10);
        *ok &= ctx != nullptr;
        engine.release_context(ctx);
    });
}

// The best time of `runs` full compiles into memory.
double time_full_compiles(const compiler::CompileOptions& o, int runs, bool* ok) {
    return best_of(runs, [&] { *ok &= compiler::compile(o).ok; });
}

void compile_speed(ScriptEngine& engine, compiler::ExportedFunctions& exports, int runs) {
    int lines = 0;
    std::string script = generated_script(2600, &lines);
    auto dir = std::filesystem::temp_directory_path() / ("tob_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "bench.c") << script;
    std::ofstream(dir / "empty.c") << "int x;\n";
    set_current_folder(dir);

    compiler::ProgramCompilerSetup setup;
    setup.memory = &engine.memory();
    setup.reader = EngineHost::source_reader();
    setup.exports = &exports;
    setup.external_base = [&engine] { return engine.external_base(); };
    setup.external_size = [&engine] { return engine.external_size(); };
    setup.collect_messages = [] { return false; };
    engine.set_compiler(compiler::make_program_compiler(setup));

    bool load_ok = true;
    double load = time_loads(engine, runs, &load_ok);

    // One compile into memory, the sizes known: no image to place.
    compiler::CompileOptions o;
    o.source_path = "bench.c";
    o.reader = setup.reader;
    o.exports = &exports;
    o.external_base = engine.external_base();
    o.external_size = engine.external_size();
    o.report_messages = false;
    compiler::CompileResult measured = compiler::compile(o);
    const uint32_t size = measured.code_size + measured.data_size;
    VmContext* area = engine.create_context(size, 64 << 10);
    o.memory = &engine.memory();
    o.base = area->program_base;
    o.size = size;
    bool full_ok = measured.ok;
    double full = time_full_compiles(o, runs, &full_ok);
    engine.release_context(area);

    std::printf("compile: %d lines\n", lines);
    std::printf("  ours, a load (measure + compile)  %8.1f ms  %10.0f lines/s%s\n", load * 1e3,
                lines / load, load_ok ? "" : "  (FAILED)");
    std::printf("  ours, one full compile            %8.1f ms  %10.0f lines/s%s\n", full * 1e3,
                lines / full, full_ok ? "" : "  (FAILED)");
    const std::string source = (dir / "bench.c").string(), object = (dir / "bench.o").string();
    if (std::system("command -v tcc >/dev/null 2>&1") == 0) {
        bool tcc_ok = true;
        double tcc = best_of(runs, [&] {
            tcc_ok &= run_process({"tcc", "-c", source, "-o", object});
        });
        double start = best_of(runs, [&] {
            run_process({"tcc", "-c", (dir / "empty.c").string(), "-o", object});
        });
        std::printf("  tcc -c                            %8.1f ms  %10.0f lines/s%s\n", tcc * 1e3,
                    lines / tcc, tcc_ok ? "" : "  (FAILED)");
        std::printf("  tcc -c of an empty file           %8.1f ms\n", start * 1e3);
        std::printf("  ratio (tcc time / ours): %.2f\n", tcc / load);
        std::printf("  ratio (tcc time without its start-up / ours): %.2f\n", (tcc - start) / load);
        std::printf("  ratio (tcc time / one full compile): %.2f\n", tcc / full);
    } else {
        std::printf("  tcc is not installed: no comparison\n");
    }
    std::filesystem::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
    const bool interpreter_only = argc > 1 && std::string(argv[1]) == "--interpreter-only";
    const std::string only = interpreter_only && argc > 2 ? argv[2] : "";
    const bool compile_only = argc > 1 && std::string(argv[1]) == "--compile-only";
    const int runs = compile_only && argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
    ScriptEngine engine(512u << 20);
    engine.allocate_external_area(1 << 20);
    compiler::ExportedFunctions exports;

    if (!interpreter_only) compile_speed(engine, exports, runs);
    if (compile_only) return 0;
    // --- interpreter speed ---
    std::printf("\ninterpreter (best of 3):\n");
    for (const Program& p : kPrograms) {
        if (std::string(p.name).find(only) == std::string::npos) continue;
        engine.set_compiler(
            [&](std::string_view, ScriptAddr base, uint32_t size) -> std::optional<uint32_t> {
                compiler::CompileOptions o;
                o.source_path = "bench.c";
                o.reader = reader_for(p.script);
                o.memory = base ? &engine.memory() : nullptr;
                o.base = base;
                o.size = size;
                o.exports = &exports;
                o.report_messages = true;
                o.collect_messages = true;
                auto r = compiler::compile(o);
                if (!r.ok) return std::nullopt;
                return r.code_size + r.data_size;
            });
        uint32_t result = 0;
        bool ok = true;
        double t_ours = best_of(3, [&] {
            VmContext* ctx = engine.load_program("bench.c", 0, 64 << 10);
            if (!ctx) {
                ok = false;
                return;
            }
            BackToBack gate;
            while (ctx->state == 0) run_slice(engine.machine(), *ctx, &gate);
            ok &= ctx->state == uint8_t(ContextState::Finished);
            result = ctx->r[0];
            engine.release_context(ctx);
        });
        std::printf("  %-40s ours %8.1f ms (result %d)%s\n", p.name, t_ours * 1e3, int(result),
                    ok ? "" : " FAILED");
#ifdef TOB_BENCH_LUA
        long long lua_result = 0;
        double t_lua = best_of(3, [&] {
            lua_State* L = luaL_newstate();
            luaL_openlibs(L);
            if (luaL_dostring(L, p.lua) == LUA_OK) lua_result = lua_tointeger(L, -1);
            lua_close(L);
        });
        std::printf("  %-40s lua  %8.1f ms (result %lld)  ratio (lua time / ours): %.2f\n", "",
                    t_lua * 1e3, lua_result, t_lua / t_ours);
#endif
    }
    return 0;
}
