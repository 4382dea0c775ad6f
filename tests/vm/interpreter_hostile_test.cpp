// Hostile byte code: thousands of seeded random programs with wild registers,
// wild stack fields and a trap hook that scribbles over the context. None may
// crash the host; each ends running, finished, or failed with exactly one report.
#include <random>

#include "vm_test_support.h"

using namespace tob;
using namespace tob::test;

namespace {

class Hostile : public VmTest, public TrapHook {
  protected:
    static constexpr uint32_t kCodeBytes = 512;
    static constexpr int kPrograms = 2500;
    static constexpr int kMaxSlices = 40;

    std::mt19937 rng;
    bool tame = false;  // valid registers and addresses only, to run deeper
    int total_slices = 0;

    uint32_t pick(uint32_t n) { return uint32_t(rng() % n); }

    // A word from the edges of every area and of script memory, a small number,
    // or anything at all.
    uint32_t wild_word() {
        if (tame) return pick(4) == 0 ? pick(64) : data + pick(kDataSize - 3);
        const uint32_t limit = memory_.limit();
        const uint32_t near[] = {program, program + kCodeBytes, stack, stack_top(),
                                 data,    data + kDataSize,     limit, ScriptMemory::kLowGuard,
                                 0};
        switch (pick(10)) {
            case 0:
                return near[pick(std::size(near))] + pick(16) - 8;
            case 1:
                return pick(64);
            case 2:
                return 0xFFFFFFFF - pick(64);
            case 3:
                return 0x80000000u + pick(64) - 32;
            case 4:
                return uint32_t(rng());
            case 5:
            case 6:
                return stack + pick(kStackSize + 8);
            default:
                return data + pick(kDataSize);
        }
    }

    uint8_t register_byte() {
        // Mostly valid nibbles; now and then one of 8..15.
        auto nibble = [&] { return !tame && pick(64) == 0 ? 8 + pick(8) : pick(8); };
        return reg_byte(nibble(), nibble());
    }

    // A random instruction stream built from the opcode table: real opcodes
    // with real encodings, jumping mostly inside the code. Tame streams only
    // jump to earlier instruction starts (loops) and only address the data block.
    void random_instructions(Assembler& a) {
        std::vector<uint32_t> starts;
        while (a.bytes().size() + kMaxInstructionSize < kCodeBytes) {
            const OpcodeInfo& info = kOpcodes[pick(kOpcodeCount)];
            const bool jump = info.operands == Operands::Target;
            starts.push_back(a.here());
            uint32_t imm = wild_word();
            if (jump && tame)
                imm = starts[pick(uint32_t(starts.size()))];
            else if (jump && pick(4) != 0)
                imm = program + pick(kCodeBytes);
            if (info.form == Form::OT) imm = rng();
            const Instruction ins = encode(info.op, register_byte(), imm);
            for (uint32_t i = 0; i < ins.size; ++i) a.raw8(ins.bytes[i]);
        }
    }

    void random_bytes(Assembler& a) {
        for (uint32_t i = 0; i < kCodeBytes; ++i) a.raw8(uint8_t(rng()));
    }

    void randomise_context() {
        for (uint32_t& r : ctx.r) r = wild_word();
        ctx.r[kStackPointer] = pick(8) == 0 ? wild_word() : stack_top() - 4 * pick(16);
        if (tame) ctx.r[kStackPointer] = stack_top() - 4 * pick(16);
        ctx.z = uint8_t(pick(2));
        ctx.l = uint8_t(pick(2));
        ctx.b = uint8_t(pick(2));
        if (!tame && pick(10) == 0) {
            ctx.stack_base = wild_word();
            ctx.stack_size = wild_word();
        }
    }

    // Built-ins as seen from the machine: they write r0, and a broken one might
    // write anything into the context, including pc.
    void trap(Machine&, uint32_t, VmContext& c) override {
        c.r[0] = wild_word();
        if (pick(4) == 0) c.r[pick(8)] = wild_word();
        if (pick(16) == 0) c.pc = wild_word();
    }

    void run_hostile(int seed, bool structured) {
        SCOPED_TRACE(testing::Message()
                     << (structured ? "instructions" : "bytes") << ", seed " << seed);
        rng.seed(uint32_t(seed));
        std::memset(host(program, kProgramSize), 0, kProgramSize);
        std::memset(host(stack, kStackSize), 0, kStackSize);
        std::memset(host(data, kDataSize), 0, kDataSize);
        reset_context();
        tame = structured && pick(2) == 0;
        m.trap_hook = pick(2) ? this : nullptr;
        Assembler a = assembler();
        structured ? random_instructions(a) : random_bytes(a);
        load(a);
        randomise_context();

        for (int slice = 0; slice < kMaxSlices && ctx.state == 0 && !m.stop.load(); ++slice) {
            ASSERT_EQ(run_slice(m, ctx), 1);
            ++total_slices;
        }
        ASSERT_LE(ctx.state, 2);
        if (ctx.state == uint8_t(ContextState::Failed)) {
            ASSERT_EQ(reports.size(), 1u);
            EXPECT_NE(m.stop.load(), 0u);
            bool known = false;
            for (int e = 0; e < 4; ++e)
                known |= reports[0] == runtime_error_message(RuntimeError(e));
            EXPECT_TRUE(known) << reports[0];
        } else {
            EXPECT_TRUE(reports.empty()) << joined_reports();
            EXPECT_EQ(m.stop.load(), 0u);
        }
    }
};

TEST_F(Hostile, RandomBytesNeverHarmTheHost) {
    for (int seed = 0; seed < kPrograms && !HasFatalFailure(); ++seed) run_hostile(seed, false);
}

TEST_F(Hostile, RandomInstructionsNeverHarmTheHost) {
    int ended[3] = {};
    for (int seed = 0; seed < kPrograms && !HasFatalFailure(); ++seed) {
        run_hostile(seed, true);
        ++ended[ctx.state];
    }
    // The generator reaches every outcome and runs deep enough to matter.
    EXPECT_GT(ended[0], kPrograms / 20);
    EXPECT_GT(ended[1], kPrograms / 100);
    EXPECT_GT(ended[2], kPrograms / 2);
    EXPECT_GT(total_slices, 4 * kPrograms);
}

}  // namespace
