// What each instruction family computes: arithmetic and flags, the memory forms,
// increments, zero tests, floats and conditional jumps, on hand-assembled code.
#include "vm/interpreter_ops.h"

#include <bit>
#include <cmath>
#include <limits>

#include "vm_test_support.h"

using namespace tob;
using namespace tob::test;

namespace {

constexpr uint32_t kIntMin = 0x80000000u;
constexpr uint32_t kNaN = 0x7FC00000u;

uint32_t bits(float f) {
    return std::bit_cast<uint32_t>(f);
}
uint32_t neg(int32_t v) {
    return uint32_t(v);
}

class Ops : public VmTest {
  protected:
    struct Outcome {
        uint32_t d;
        uint8_t z, l, b;
    };

    // Runs `op r2, r5` (one-register forms read r5 and write r2) with every flag
    // preset to `flags`, and returns r2 and the flags.
    Outcome binary(Op op, uint32_t d, uint32_t s, uint8_t flags = 0) {
        reset_context();
        ctx.r[2] = d;
        ctx.r[5] = s;
        ctx.z = ctx.l = ctx.b = flags;
        Assembler a = assembler();
        a.reg(op, 2, 5).stop();
        exec(a);
        EXPECT_EQ(ctx.r[5], s) << opcode_info(op).name << " changed its source";
        return {ctx.r[2], ctx.z, ctx.l, ctx.b};
    }
};

TEST_F(Ops, IntegerArithmeticWrapsAndDividesTowardZero) {
    struct Case {
        Op op;
        uint32_t d, s, want;
    } cases[] = {
        {Op::Mov, 1, 9, 9},
        {Op::Add, 5, 7, 12},
        {Op::Add, 0xFFFFFFFF, 2, 1},
        {Op::Sub, 5, 7, neg(-2)},
        {Op::Mul, 0x10000, 0x10001, 0x10000},
        {Op::Mul, neg(-3), 7, neg(-21)},
        {Op::Div, neg(-7), 2, neg(-3)},
        {Op::Mod, neg(-7), 2, neg(-1)},
        {Op::Div, 7, neg(-2), neg(-3)},
        {Op::Mod, 7, neg(-2), 1},
        {Op::Div, kIntMin, neg(-1), kIntMin},
        {Op::Mod, kIntMin, neg(-1), 0},
        {Op::Shl, 1, 33, 2},
        {Op::Shl, 3, 31, kIntMin},
        {Op::Shr, kIntMin, 31, 1},
        {Op::Shr, kIntMin, 36, 0x08000000},
        {Op::Sar, kIntMin, 4, 0xF8000000},
        {Op::Sar, 0x40000000, 0xFFFFFFFE, 1},
        {Op::And, 0xF0F0, 0xFF00, 0xF000},
        {Op::Or, 0xF0F0, 0x0F00, 0xFFF0},
        {Op::Xor, 0xF0F0, 0xFF00, 0x0FF0},
        // One-register forms: D receives the result of S.
        {Op::Neg, 0, 5, neg(-5)},
        {Op::Neg, 0, kIntMin, kIntMin},
        {Op::Not, 0, 0x0F0F, 0xFFFFF0F0},
        {Op::Set, 7, 0, 1},
        {Op::Set, 7, 5, 0},
    };
    for (const auto& c : cases) {
        Outcome o = binary(c.op, c.d, c.s, 1);
        EXPECT_EQ(o.d, c.want) << opcode_info(c.op).name << " " << c.d << ", " << c.s;
        if (c.op != Op::Sub) {
            EXPECT_TRUE(o.z && o.l && o.b) << opcode_info(c.op).name << " touched flags";
        }
    }
}

// Division by a constant through its reciprocal gives what the divide
// instruction gives, for every sign, magnitude and edge of the range.
TEST(ConstantDivision, ReciprocalMatchesTheDivideInstruction) {
    std::vector<uint32_t> values = {0,           1,           2,       3,          5,     7,
                                    10,          255,         256,     1000,       65535, 65536,
                                    0x7FFFFFFEu, 0x7FFFFFFFu, kIntMin, kIntMin + 1};
    for (size_t i = 0, n = values.size(); i < n; ++i) values.push_back(0u - values[i]);
    uint32_t x = 12345;
    for (int i = 0; i < 200; ++i) values.push_back(x = x * 1103515245u + 12345u);
    for (uint32_t divisor : values) {
        const uint64_t reciprocal = vm_ops::divisor_reciprocal(divisor);
        const uint32_t magnitude = int32_t(divisor) < 0 ? 0u - divisor : divisor;
        if (magnitude < 2) {
            EXPECT_EQ(reciprocal, 0u) << divisor;
            continue;
        }
        ASSERT_NE(reciprocal, 0u) << divisor;
        for (uint32_t a : values) {
            EXPECT_EQ(vm_ops::reciprocal_div(a, divisor, reciprocal),
                      vm_ops::signed_div(a, divisor))
                << int32_t(a) << " / " << int32_t(divisor);
            EXPECT_EQ(vm_ops::reciprocal_mod(a, divisor, reciprocal),
                      vm_ops::signed_mod(a, divisor))
                << int32_t(a) << " % " << int32_t(divisor);
        }
    }
}

TEST_F(Ops, CompareAndSubtractSetAllThreeFlags) {
    struct Case {
        uint32_t d, s;
        uint8_t z, l, b;
    } cases[] = {
        {0xFFFFFFFF, 1, 0, 1, 0},       {1, 0xFFFFFFFF, 0, 0, 1}, {5, 5, 1, 0, 0},
        {kIntMin, 0x7FFFFFFF, 0, 1, 0}, {3, 4, 0, 1, 1},          {4, 3, 0, 0, 0},
    };
    for (const auto& c : cases) {
        for (Op op : {Op::Cmp, Op::Sub, Op::CmpImm, Op::SubImm}) {
            reset_context();
            ctx.r[2] = c.d;
            ctx.r[5] = c.s;
            Assembler a = assembler();
            if (op == Op::Cmp || op == Op::Sub)
                a.reg(op, 2, 5);
            else
                a.reg_imm(op, 2, c.s);
            exec(a.stop());
            SCOPED_TRACE(testing::Message() << opcode_info(op).name << " " << c.d << ", " << c.s);
            EXPECT_EQ(ctx.z, c.z);
            EXPECT_EQ(ctx.l, c.l);
            EXPECT_EQ(ctx.b, c.b);
            bool subtracts = op == Op::Sub || op == Op::SubImm;
            EXPECT_EQ(ctx.r[2], subtracts ? c.d - c.s : c.d);
        }
    }
}

TEST_F(Ops, ImmediateAndRegisterMoves) {
    Assembler a = assembler();
    a.movi(0, 5)
        .reg_imm(Op::MovAddr, 1, 0x12345678)
        .reg_imm(Op::AddImm, 0, neg(-7))
        .movi(3, 33)
        .movi(4, 44)
        .reg(Op::Xchg, 3, 4)
        .stop();
    exec(a);
    EXPECT_EQ(ctx.r[0], neg(-2));
    EXPECT_EQ(ctx.r[1], 0x12345678u);
    EXPECT_EQ(ctx.r[3], 44u);
    EXPECT_EQ(ctx.r[4], 33u);
}

TEST_F(Ops, LoadsExtendByWidthInEveryAddressingForm) {
    // Unaligned on purpose: the value starts one byte into the block.
    const ScriptAddr at = data + 1;
    const uint8_t bytes[] = {0x80, 0xFF, 0x7F, 0x01, 0xAA};
    std::memcpy(host(at, 5), bytes, 5);
    struct Case {
        Op abs, frame, ind;
        uint32_t want;
    } cases[] = {
        {Op::LoadU8Abs, Op::LoadU8Frame, Op::LoadU8Ind, 0x80},
        {Op::LoadS8Abs, Op::LoadS8Frame, Op::LoadS8Ind, 0xFFFFFF80},
        {Op::LoadU16Abs, Op::LoadU16Frame, Op::LoadU16Ind, 0xFF80},
        {Op::LoadS16Abs, Op::LoadS16Frame, Op::LoadS16Ind, 0xFFFFFF80},
        {Op::Load32Abs, Op::Load32Frame, Op::Load32Ind, 0x017FFF80},
    };
    for (const auto& c : cases) {
        reset_context();
        ctx.r[6] = at + 16;
        ctx.r[3] = at;
        Assembler a = assembler();
        // Frame forms use r6 even when the S nibble names another register.
        a.reg_imm(c.abs, 0, at).reg_imm(c.frame, 1, neg(-16), 3).reg(c.ind, 2, 3).stop();
        exec(a);
        EXPECT_EQ(ctx.r[0], c.want) << opcode_info(c.abs).name;
        EXPECT_EQ(ctx.r[1], c.want) << opcode_info(c.frame).name;
        EXPECT_EQ(ctx.r[2], c.want) << opcode_info(c.ind).name;
    }
    reset_context();
    ctx.r[6] = at + 16;
    exec(assembler().reg_imm(Op::LeaFrame, 4, neg(-20), 6).stop());
    EXPECT_EQ(ctx.r[4], at - 4);
}

TEST_F(Ops, StoresWriteExactlyTheirWidth) {
    struct Case {
        Op abs, frame, ind;
        uint32_t width;
    } cases[] = {
        {Op::Store8Abs, Op::Store8Frame, Op::Store8Ind, 1},
        {Op::Store16Abs, Op::Store16Frame, Op::Store16Ind, 2},
        {Op::Store32Abs, Op::Store32Frame, Op::Store32Ind, 4},
    };
    const uint8_t value[] = {0xD4, 0xC3, 0xB2, 0xA1};
    for (const auto& c : cases) {
        reset_context();
        std::memset(host(data, 64), 0xEE, 64);
        const ScriptAddr targets[] = {data + 1, data + 17, data + 33};
        ctx.r[1] = 0xA1B2C3D4;
        ctx.r[6] = data + 100;
        ctx.r[3] = targets[2];
        Assembler a = assembler();
        a.reg_imm(c.abs, 0, targets[0], 1)
            .reg_imm(c.frame, 6, targets[1] - (data + 100), 1)
            .reg(c.ind, 3, 1)
            .stop();
        exec(a);
        for (ScriptAddr t : targets) {
            SCOPED_TRACE(testing::Message() << opcode_info(c.abs).name << " at +" << t - data);
            EXPECT_EQ(*host(t - 1), 0xEE);
            for (uint32_t i = 0; i < c.width; ++i) EXPECT_EQ(*host(t + i), value[i]);
            EXPECT_EQ(*host(t + c.width), 0xEE);
        }
    }
}

TEST_F(Ops, IncrementsWrapInTheirWidthAndZeroExtend) {
    struct Case {
        Op op;
        uint32_t before, d, after;
    } cases[] = {
        {Op::PreInc8, 0xFF, 0x00, 0x00},        {Op::PostInc8, 0xFF, 0xFF, 0x00},
        {Op::PreDec8, 0x00, 0xFF, 0xFF},        {Op::PostDec8, 0x80, 0x80, 0x7F},
        {Op::PreInc16, 0xFFFF, 0, 0},           {Op::PostInc16, 0xFFFF, 0xFFFF, 0},
        {Op::PreDec16, 0x0000, 0xFFFF, 0xFFFF}, {Op::PostDec16, 0x8000, 0x8000, 0x7FFF},
    };
    for (const auto& c : cases) {
        for (bool in_place : {true, false}) {
            reset_context();
            std::memset(host(data, 8), 0x5A, 8);
            const bool word = c.op >= Op::PreInc16;
            host(data + 1)[0] = uint8_t(c.before);
            if (word) host(data + 1)[1] = uint8_t(c.before >> 8);
            ctx.r[3] = data + 1;
            Assembler a = assembler();
            if (in_place)
                a.reg(c.op, 3);  // the register holds the address before, the value after
            else
                a.reg(c.op, 4, 3);
            exec(a.stop());
            SCOPED_TRACE(testing::Message()
                         << opcode_info(c.op).name << (in_place ? " in place" : ""));
            EXPECT_EQ(ctx.r[in_place ? 3 : 4], c.d);
            uint32_t after = host(data + 1)[0] | (word ? host(data + 1)[1] << 8 : 0);
            EXPECT_EQ(after, c.after);
            EXPECT_EQ(*host(data), 0x5A);
            EXPECT_EQ(*host(data + (word ? 3 : 2)), 0x5A);
        }
    }
}

TEST_F(Ops, WordIncrementsReturnTheNewOrOldValue) {
    set_word(data, 10);
    ctx.r[3] = data;
    ctx.r[5] = data;
    Assembler a = assembler();
    a.reg_imm(Op::PreOp, 3, 5, 3)               // in place: r3 = 15
        .reg_imm(Op::PostOp, 4, neg(-1), 5)     // r4 = 15, memory 14
        .reg_imm(Op::PostOp, 5, 0x7FFFFFFF, 5)  // r5 = 14, memory wraps
        .stop();
    exec(a);
    EXPECT_EQ(ctx.r[3], 15u);
    EXPECT_EQ(ctx.r[4], 15u);
    EXPECT_EQ(ctx.r[5], 14u);
    EXPECT_EQ(word(data), 14u + 0x7FFFFFFFu);
}

TEST_F(Ops, ZeroTestsSetOnlyZ) {
    struct Case {
        Op abs, frame;
        uint32_t width;
    } cases[] = {{Op::Zero8Abs, Op::Zero8Frame, 1},
                 {Op::Zero16Abs, Op::Zero16Frame, 2},
                 {Op::Zero32Abs, Op::Zero32Frame, 4}};
    for (const auto& c : cases) {
        for (bool zero : {true, false}) {
            reset_context();
            set_word(data, zero ? 0 : 1u << (8 * (c.width - 1)));
            host(data)[c.width] = 0xFF;  // the byte after the operand does not count
            ctx.r[6] = data + 8;
            ctx.l = ctx.b = 1;
            for (Op op : {c.abs, c.frame}) {
                ctx.z = !zero;
                Assembler a = assembler();
                a.imm(op, op == c.abs ? data : neg(-8)).stop();
                ctx.pc = program;
                exec(a);
                EXPECT_EQ(ctx.z, zero) << opcode_info(op).name;
                EXPECT_EQ(ctx.l + ctx.b, 2) << opcode_info(op).name;
            }
        }
    }
}

TEST_F(Ops, FloatArithmeticFollowsIeeeSinglePrecision) {
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        Op op;
        uint32_t d, s, want;
    } cases[] = {
        {Op::Fadd, bits(1.5f), bits(2.25f), bits(3.75f)},
        {Op::Fadd, bits(16777216.0f), bits(1.0f), bits(16777216.0f)},
        {Op::Fsub, bits(1.0f), bits(2.5f), bits(-1.5f)},
        {Op::Fmul, bits(-3.0f), bits(0.5f), bits(-1.5f)},
        {Op::Fdiv, bits(1.0f), bits(0.0f), bits(inf)},
        {Op::Fdiv, bits(1.0f), bits(-0.0f), bits(-inf)},
        {Op::Fmod, bits(5.5f), bits(2.0f), bits(1.5f)},
        {Op::Fmod, bits(-5.5f), bits(2.0f), bits(-1.5f)},
        {Op::Fmod, bits(1e30f), bits(3.0f), bits(float(std::fmod(double(1e30f), 3.0)))},
        {Op::Fneg, 0, bits(0.0f), bits(-0.0f)},
        {Op::Fneg, 0, 0x7FC00001, 0xFFC00001},
        {Op::Itof, 0, 16777217, bits(16777216.0f)},
        {Op::Itof, 0, neg(-5), bits(-5.0f)},
        {Op::Itof, 0, 0x7FFFFFFF, bits(2147483648.0f)},
        {Op::Ftoi, 0, bits(3.9f), 3},
        {Op::Ftoi, 0, bits(-3.9f), neg(-3)},
        {Op::Ftoi, 0, bits(2147483520.0f), 2147483520u},
        {Op::Ftoi, 0, bits(-2147483648.0f), kIntMin},
        {Op::Ftoi, 0, bits(2147483648.0f), kIntMin},
        {Op::Ftoi, 0, bits(-2147483904.0f), kIntMin},
        {Op::Ftoi, 0, bits(inf), kIntMin},
        {Op::Ftoi, 0, kNaN, kIntMin},
    };
    for (const auto& c : cases)
        EXPECT_EQ(binary(c.op, c.d, c.s).d, c.want)
            << opcode_info(c.op).name << " " << c.d << ", " << c.s;
    for (Op op : {Op::Fdiv, Op::Fmod}) {
        uint32_t r = binary(op, bits(0.0f), bits(0.0f)).d;
        EXPECT_TRUE(std::isnan(std::bit_cast<float>(r))) << opcode_info(op).name;
    }
}

TEST_F(Ops, FloatSubtractComparesAndNaNIsUnordered) {
    struct Case {
        uint32_t d, s;
        uint8_t z, l;
    } cases[] = {
        {bits(1.0f), bits(2.0f), 0, 1},  {bits(2.0f), bits(1.0f), 0, 0},
        {bits(-0.0f), bits(0.0f), 1, 0}, {kNaN, bits(1.0f), 0, 0},
        {bits(1.0f), kNaN, 0, 0},        {kNaN, kNaN, 0, 0},
    };
    for (const auto& c : cases) {
        Outcome o = binary(Op::Fsub, c.d, c.s, 1);
        EXPECT_EQ(o.z, c.z) << c.d << " - " << c.s;
        EXPECT_EQ(o.l, c.l) << c.d << " - " << c.s;
        EXPECT_EQ(o.b, 0) << c.d << " - " << c.s;
    }
}

TEST_F(Ops, ConditionalJumpsFollowSignedAndUnsignedOrder) {
    struct Jump {
        Op op;
        bool (*taken)(uint32_t, uint32_t);
    } jumps[] = {
        {Op::Je, [](uint32_t a, uint32_t b) { return a == b; }},
        {Op::Jne, [](uint32_t a, uint32_t b) { return a != b; }},
        {Op::Jg, [](uint32_t a, uint32_t b) { return int32_t(a) > int32_t(b); }},
        {Op::Jge, [](uint32_t a, uint32_t b) { return int32_t(a) >= int32_t(b); }},
        {Op::Jl, [](uint32_t a, uint32_t b) { return int32_t(a) < int32_t(b); }},
        {Op::Jle, [](uint32_t a, uint32_t b) { return int32_t(a) <= int32_t(b); }},
        {Op::Ja, [](uint32_t a, uint32_t b) { return a > b; }},
        {Op::Jae, [](uint32_t a, uint32_t b) { return a >= b; }},
        {Op::Jb, [](uint32_t a, uint32_t b) { return a < b; }},
        {Op::Jbe, [](uint32_t a, uint32_t b) { return a <= b; }},
        {Op::Jmp, [](uint32_t, uint32_t) { return true; }},
    };
    const uint32_t values[] = {0, 1, 2, 0x7FFFFFFF, kIntMin, 0xFFFFFFFF};
    for (const auto& j : jumps) {
        for (uint32_t x : values) {
            for (uint32_t y : values) {
                reset_context();
                ctx.r[1] = x;
                ctx.r[2] = y;
                Assembler a = assembler();
                auto taken = a.label();
                a.reg(Op::Cmp, 1, 2).to(j.op, taken).movi(0, 0).stop();
                a.bind(taken).movi(0, 1).stop();
                exec(a);
                EXPECT_EQ(ctx.r[0], j.taken(x, y) ? 1u : 0u)
                    << opcode_info(j.op).name << " after cmp " << x << ", " << y;
            }
        }
    }
}

TEST_F(Ops, OpcodeTableMatchesTheEncodings) {
    EXPECT_EQ(form_size(Form::O), 1u);
    EXPECT_EQ(form_size(Form::OR), 2u);
    EXPECT_EQ(form_size(Form::ORI), 6u);
    EXPECT_EQ(form_size(Form::OI), 5u);
    EXPECT_EQ(form_size(Form::OT), 3u);
    // The listing prints `movl` for every 32-bit move form.
    for (Op op : {Op::Mov, Op::MovImm, Op::MovAddr, Op::Load32Abs, Op::Load32Frame, Op::Load32Ind,
                  Op::Store32Abs, Op::Store32Frame, Op::Store32Ind})
        EXPECT_EQ(opcode_info(op).mnemonic, "movl");
    // Encodings: register byte S:D, little-endian operands.
    struct Case {
        Instruction ins;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {encode(Op::MovImm, reg_byte(0, 0), 5), {0x04, 0x00, 0x05, 0x00, 0x00, 0x00}},
        {encode(Op::Mov, reg_byte(1, 2)), {0x03, 0x21}},
        {encode(Op::Trap, 0, 0x1234), {0x01, 0x34, 0x12}},
        {encode(Op::Jmp, 0, 0x00012345), {0x49, 0x45, 0x23, 0x01, 0x00}},
        {encode(Op::Ret), {0x26}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::vector<uint8_t>(c.ins.bytes.begin(), c.ins.bytes.begin() + c.ins.size),
                  c.bytes);
    }
    // The call clean-up as the code generator emits it carries the tag the trap
    // dispatcher looks for.
    Assembler a(program);
    a.reg_imm(Op::AddImm, kStackPointer, 12, kStackPointer);
    const auto& bytes = a.bytes();
    ASSERT_EQ(bytes.size(), opcode_info(Op::AddImm).size);
    EXPECT_EQ(bytes[0], kCallCleanupOpcode);
    EXPECT_EQ(bytes[1], kCallCleanupRegByte);
    EXPECT_EQ(uint16_t(bytes[0] | bytes[1] << 8), kCallCleanupTag);
}

}  // namespace
