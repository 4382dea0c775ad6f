// Helpers for the parser and code generator tests: compile a script held in
// memory (measuring first, as the loader does), run it on the interpreter, and
// look at main's result, global variables and the traps it called.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "compiler/compiler.h"
#include "vm/interpreter.h"
#include "vm/script_memory.h"

namespace tob::compiler::testing {

struct ProgramRun {
    CompileResult measured;
    CompileResult compiled;
    bool ran = false;
    uint8_t state = 0;    // context state after the run
    uint32_t result = 0;  // r0: main's return value
    // Traps called: number and the first argument word.
    std::vector<std::pair<uint32_t, uint32_t>> traps;
};

class ProgramHarness : public TrapHook {
  public:
    static constexpr uint32_t kStackSize = 64 << 10;
    static constexpr uint32_t kExternalSize = 256;
    static constexpr uint32_t kMaxSteps = 1u << 20;

    ProgramHarness() : memory_(uint64_t(64) << 20) {
        external_ = memory_.allocate(kExternalSize);
        machine_.memory = &memory_;
        machine_.trap_hook = this;
    }

    void trap(Machine&, uint32_t number, VmContext& ctx) override {
        uint32_t arg = 0;
        memory_.read32(ctx.r[7] + 4, arg);  // above the stub's return address
        current_->traps.emplace_back(number, arg);
        ctx.r[0] = arg * 2;
    }

    CompileOptions options(const std::map<std::string, std::string>& files,
                           const std::string& main) {
        CompileOptions o;
        o.source_path = main;
        o.reader = memory_source_reader(files);
        o.external_base = external_;
        o.external_size = kExternalSize;
        o.exports = &exports_;
        o.collect_messages = true;
        o.report_messages = false;
        return o;
    }

    // Compiles `files[main]` into a fresh program area and runs main.
    ProgramRun run(const std::map<std::string, std::string>& files,
                   const std::string& main = "main.c") {
        ProgramRun r;
        CompileOptions o = options(files, main);
        r.measured = compile(o);
        if (!r.measured.ok) return r;
        const uint32_t size = r.measured.code_size + r.measured.data_size;
        o.memory = &memory_;
        o.base = memory_.allocate(size + 4, BlockKind::Program);
        o.size = size;
        o.listing = listing_;
        o.echo_source = echo_;
        r.compiled = compile(o);
        program_base_ = o.base;
        if (!r.compiled.ok) return r;
        // Measuring counts exactly what the real compile writes.
        EXPECT_EQ(r.compiled.code_size, r.measured.code_size);
        EXPECT_EQ(r.compiled.data_size, r.measured.data_size);
        VmContext ctx{};
        ctx.program_base = ctx.pc = o.base;
        ctx.program_size = size;
        ctx.stack_base = memory_.allocate(kStackSize, BlockKind::Stack);
        ctx.stack_size = kStackSize;
        ctx.r[7] = ctx.stack_base + kStackSize;
        current_ = &r;
        for (uint32_t i = 0; i < kMaxSteps && ctx.state == 0 && machine_.stop == 0; ++i)
            run_slice(machine_, ctx);
        r.ran = true;
        r.state = ctx.state;
        r.result = ctx.r[0];
        return r;
    }
    ProgramRun run(const std::string& source) { return run({{"main.c", source}}); }

    // Main's result of `source`, or a marker when it did not compile or finish.
    int32_t result_of(const std::string& source) {
        ProgramRun r = run(source);
        if (!r.compiled.ok) {
            ADD_FAILURE() << source << "\n" << r.measured.messages << r.compiled.messages;
            return INT32_MIN;
        }
        EXPECT_EQ(r.state, 1) << source;
        return int32_t(r.result);
    }

    void set_listing(bool listing, bool echo) {
        listing_ = listing;
        echo_ = echo;
    }
    ScriptMemory& memory() { return memory_; }
    ScriptAddr external() const { return external_; }
    ScriptAddr program_base() const { return program_base_; }
    ExportedFunctions& exports() { return exports_; }

  private:
    ScriptMemory memory_;
    Machine machine_;
    ScriptAddr external_ = 0;
    ScriptAddr program_base_ = 0;
    ExportedFunctions exports_;
    ProgramRun* current_ = nullptr;
    bool listing_ = false;
    bool echo_ = false;
};

}  // namespace tob::compiler::testing
