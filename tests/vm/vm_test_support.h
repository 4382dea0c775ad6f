// Helpers for the interpreter tests: a tiny assembler that encodes instructions
// from the opcode table, and a fixture with a program area, a stack and a data
// block in script memory, a context on them, and captured error reports.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/error_report.h"
#include "vm/interpreter.h"
#include "vm/opcodes.h"

namespace tob::test {

class Assembler {
  public:
    struct Label {
        size_t id;
    };

    explicit Assembler(ScriptAddr origin) : origin_(origin) {}

    ScriptAddr here() const { return origin_ + ScriptAddr(bytes_.size()); }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

    // One method per encoding form; each checks the opcode has that form.
    Assembler& op(Op o) { return emit(o, Form::O); }
    Assembler& reg(Op o, uint32_t d, uint32_t s) { return emit(o, Form::OR, reg_byte(d, s)); }
    // One-register forms carry the register in both nibbles, as the compiler writes them.
    Assembler& reg(Op o, uint32_t r) { return reg(o, r, r); }
    Assembler& reg_imm(Op o, uint32_t d, uint32_t imm, uint32_t s = 0) {
        return emit(o, Form::ORI, reg_byte(d, s), imm);
    }
    Assembler& imm(Op o, uint32_t imm) { return emit(o, Form::OI, 0, imm); }
    Assembler& trap(uint16_t number) { return emit(Op::Trap, Form::OT, 0, number); }
    // Shorthands for the most common instructions.
    Assembler& movi(uint32_t d, uint32_t value) { return reg_imm(Op::MovImm, d, value); }
    Assembler& nop(size_t count = 1) {
        for (size_t i = 0; i < count; ++i) op(Op::Nop);
        return *this;
    }
    // Ends a slice cleanly: with no trap hook installed a `trap` does nothing else.
    Assembler& stop() { return trap(0); }

    Label label() {
        labels_.push_back(kUnbound);
        return Label{labels_.size() - 1};
    }
    Assembler& bind(Label l) {
        labels_[l.id] = here();
        return *this;
    }
    ScriptAddr at(Label l) const { return labels_[l.id]; }
    // An OI instruction (jump or call) whose target is a label.
    Assembler& to(Op o, Label l) {
        emit(o, Form::OI);
        fixups_.push_back({bytes_.size() - 4, l.id});
        return *this;
    }

    // An ORI instruction whose immediate is a label's address (`movl rD, $f`).
    Assembler& reg_label(Op o, uint32_t d, Label l) {
        emit(o, Form::ORI, reg_byte(d, 0));
        fixups_.push_back({bytes_.size() - 4, l.id});
        return *this;
    }

    Assembler& raw8(uint8_t v) {
        bytes_.push_back(v);
        return *this;
    }

    // The encoded program with every label reference filled in.
    std::vector<uint8_t> finish() const {
        std::vector<uint8_t> out = bytes_;
        for (const auto& f : fixups_) {
            ScriptAddr target = labels_[f.label];
            EXPECT_NE(target, kUnbound) << "label " << f.label << " never bound";
            for (int i = 0; i < 4; ++i) out[f.offset + size_t(i)] = uint8_t(target >> (8 * i));
        }
        return out;
    }

  private:
    static constexpr ScriptAddr kUnbound = 0;
    struct Fixup {
        size_t offset;
        size_t label;
    };

    Assembler& emit(Op o, Form form, uint8_t regs = 0, uint32_t operand = 0) {
        EXPECT_EQ(opcode_info(o).form, form) << opcode_info(o).name << " has another form";
        const Instruction ins = encode(o, regs, operand);
        bytes_.insert(bytes_.end(), ins.bytes.begin(), ins.bytes.begin() + ins.size);
        return *this;
    }

    ScriptAddr origin_;
    std::vector<uint8_t> bytes_;
    std::vector<ScriptAddr> labels_;
    std::vector<Fixup> fixups_;
};

class VmTest : public ::testing::Test {
  public:
    static constexpr uint32_t kProgramSize = 8192;
    static constexpr uint32_t kStackSize = 1024;
    static constexpr uint32_t kDataSize = 4096;

    VmTest() : memory_(64u << 20) {
        previous_sink_ =
            set_error_sink({[this](const std::string& text) { reports.push_back(text); }, true});
        m.memory = &memory_;
        program = memory_.allocate(kProgramSize, BlockKind::Program);
        stack = memory_.allocate(kStackSize, BlockKind::Stack);
        data = memory_.allocate(kDataSize, BlockKind::ScriptHeap);
        reset_context();
    }
    ~VmTest() override { set_error_sink(previous_sink_); }

    // A fresh running context at the program's start with an empty stack, the
    // stop flag clear and no reports.
    void reset_context() {
        reports.clear();
        m.stop.store(0);
        ctx = VmContext{};
        ctx.pc = ctx.program_base = program;
        ctx.program_size = kProgramSize;
        ctx.stack_base = stack;
        ctx.stack_size = kStackSize;
        ctx.r[kStackPointer] = stack_top();
    }

    ScriptAddr stack_top() const { return stack + kStackSize; }
    Assembler assembler() const { return Assembler(program); }

    void load(const Assembler& a) {
        std::vector<uint8_t> bytes = a.finish();
        ASSERT_LE(bytes.size(), kProgramSize);
        std::memcpy(memory_.host(program, kProgramSize), bytes.data(), bytes.size());
    }

    // Runs slices until the context is no longer running or the machine stops;
    // returns the number of slices.
    int run(int max_slices = 10000) {
        int slices = 0;
        while (slices < max_slices && ctx.state == 0 && !m.stop.load()) {
            run_slice(m, ctx);
            ++slices;
        }
        return slices;
    }

    // Loads the program, runs one slice and expects it to end without an error,
    // leaving the context in state `expected`.
    void exec(const Assembler& a, ContextState expected = ContextState::Running) {
        load(a);
        run_slice(m, ctx);
        EXPECT_EQ(ctx.state, uint8_t(expected)) << "reports: " << joined_reports();
        EXPECT_TRUE(reports.empty()) << joined_reports();
    }

    // Expects exactly one run-time error, `e`, to have stopped the machine.
    void expect_error(RuntimeError e) {
        EXPECT_EQ(ctx.state, uint8_t(ContextState::Failed));
        EXPECT_NE(m.stop.load(), 0u);
        ASSERT_EQ(reports.size(), 1u) << joined_reports();
        EXPECT_EQ(reports[0], runtime_error_message(e));
    }

    uint8_t* host(ScriptAddr addr, uint32_t len = 1) { return memory_.host(addr, len); }
    uint32_t word(ScriptAddr addr) {
        uint32_t v = 0;
        EXPECT_TRUE(memory_.read32(addr, v));
        return v;
    }
    void set_word(ScriptAddr addr, uint32_t v) { ASSERT_TRUE(memory_.write32(addr, v)); }

    std::string joined_reports() const {
        std::string s;
        for (const auto& r : reports) s += r + "\n";
        return s;
    }

    ScriptMemory memory_;
    Machine m;
    VmContext ctx;
    ScriptAddr program = 0, stack = 0, data = 0;
    std::vector<std::string> reports;

  private:
    ErrorSink previous_sink_;
};

}  // namespace tob::test
