// The compiler behind the real program loader: scripts that include the
// engine's built-ins header, call another program, and share an exported
// function and extern variables with it.
#include "vm/engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "compiler/compiler.h"
#include "base/error_report.h"
#include "base/settings.h"
#include "vm/trap.h"

using namespace tob;
using namespace tob::compiler;

namespace {

class CompiledEngine : public ::testing::Test {
  public:
    CompiledEngine() : engine(uint64_t(256) << 20) {
        previous_ = set_error_sink({[this](const std::string& t) { reports.push_back(t); }, true});
        engine.allocate_external_area(4096);
        engine.set_sizes(0, 64 << 10);
        ProgramCompilerSetup setup;
        setup.memory = &engine.memory();
        setup.reader = [this](std::string_view path) {
            auto it = files.find(std::string(path));
            if (it == files.end()) return SourceData{};
            return SourceData{SourceStatus::Ok, it->second};
        };
        setup.exports = &exports;
        setup.external_base = [this] { return engine.external_base(); };
        setup.external_size = [this] { return engine.external_size(); };
        setup.collect_messages = [] { return settings().error > 0; };
        engine.set_compiler(make_program_compiler(setup));
        engine.initialise();
        engine.reset_thread_table();
        files["builtins.h"] = builtins_header();
    }
    ~CompiledEngine() override {
        engine.stop_all_threads();
        set_error_sink(previous_);
    }

    ScriptEngine::Outcome run_main() {
        EXPECT_TRUE(engine.run_program("main.c"));
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (engine.any_thread_alive() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_FALSE(engine.any_thread_alive());
        return engine.outcome();
    }

    ScriptEngine engine;
    ExportedFunctions exports;
    std::map<std::string, std::string> files;
    std::vector<std::string> reports;
    ErrorSink previous_;
};

}  // namespace

TEST_F(CompiledEngine, ProgramsCallEachOtherThroughExportsAndExterns) {
    files["main.c"] =
        "#include \"builtins.h\"\n"
        "extern int result, calls;\n"
        "extern int helper(int x) { calls++; return x * 3; }\n"
        "int main() {\n"
        "    int r;\n"
        "    r = call(\"sub.c\");  /* the called program's result */\n"
        "    return r * 10000 + result * 100 + calls;\n"
        "}\n";
    files["sub.c"] =
        "extern int result, calls;\n"
        "int main() { result = helper(14); return 7; }\n";
    settings().error = 1;
    set_error_level(1);
    ScriptEngine::Outcome o = run_main();
    settings().error = 0;
    set_error_level(0);
    EXPECT_TRUE(o.finished);
    EXPECT_FALSE(o.failed);
    EXPECT_EQ(o.result, 74201u);
    for (const std::string& r : reports) ADD_FAILURE() << r;
}

TEST_F(CompiledEngine, CompileErrorsAreReportedOnce) {
    settings().error = 1;
    set_error_level(1);
    files["main.c"] = "int main() { return @; }\n";
    EXPECT_FALSE(engine.run_program("main.c"));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "main.c(1) : 文法エラー。\nint main() { return @■; }\n");
    settings().error = 0;
    set_error_level(0);
}
