// The machine's instruction set, written once: number, name, the mnemonic the
// assembly listing prints, the encoding form and the operand syntax of all 92
// opcodes. The interpreter, the code generator and the listing all read this table.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tob {

// Encoding forms. The register byte carries S in its high nibble and D in its
// low nibble; immediates are 32-bit little-endian, the trap number 16-bit.
enum class Form : uint8_t {
    O,    // opcode
    OR,   // opcode, register byte
    ORI,  // opcode, register byte, imm32
    OI,   // opcode, imm32
    OT,   // opcode, u16
};

constexpr uint32_t form_size(Form f) {
    switch (f) {
        case Form::O:
            return 1;
        case Form::OR:
            return 2;
        case Form::ORI:
            return 6;
        case Form::OI:
            return 5;
        case Form::OT:
            return 3;
    }
    return 1;
}

// Where the imm32 (or the trap number) starts: after the opcode and the register byte.
constexpr uint32_t operand_offset(Form f) {
    return f == Form::ORI ? 2 : 1;
}

// How the listing writes the operands, destination first. "sym" is an absolute
// address printed as a name, "d(r6)" a frame offset, "label" a jump or call target.
enum class Operands : uint8_t {
    None,      // nop, ret, enter, leave (the frame size is not printed)
    TrapNum,   // trap n
    RegReg,    // rD, rS
    RegImm,    // rD, $n
    RegAddr,   // rD, $sym
    RegSym,    // rD, sym
    RegFrame,  // rD, d(r6)
    RegInd,    // rD, (rS)
    SymReg,    // sym, rS
    FrameReg,  // d(r6), rS
    IndReg,    // (rD), rS
    Src,       // rS
    Dst,       // rD (one-register forms carry the register in both nibbles)
    Imm,       // $n
    Target,    // label or function name
    RegStep,   // rD, n
    IndSrc,    // (rS)
    Sym,       // sym
    Frame,     // d(r6)
};

// X(number, Name, "mnemonic", form, operands)
#define TOB_OPCODE_LIST(X)                       \
    X(0, Nop, "nop", O, None)                    \
    X(1, Trap, "trap", OT, TrapNum)              \
    X(2, Xchg, "xchg", OR, RegReg)               \
    X(3, Mov, "movl", OR, RegReg)                \
    X(4, MovImm, "movl", ORI, RegImm)            \
    X(5, MovAddr, "movl", ORI, RegAddr)          \
    X(6, LoadU8Abs, "movbl", ORI, RegSym)        \
    X(7, LoadS8Abs, "movsbl", ORI, RegSym)       \
    X(8, LoadU16Abs, "movwl", ORI, RegSym)       \
    X(9, LoadS16Abs, "movswl", ORI, RegSym)      \
    X(10, Load32Abs, "movl", ORI, RegSym)        \
    X(11, LeaFrame, "lea", ORI, RegFrame)        \
    X(12, LoadU8Frame, "movbl", ORI, RegFrame)   \
    X(13, LoadS8Frame, "movsbl", ORI, RegFrame)  \
    X(14, LoadU16Frame, "movwl", ORI, RegFrame)  \
    X(15, LoadS16Frame, "movswl", ORI, RegFrame) \
    X(16, Load32Frame, "movl", ORI, RegFrame)    \
    X(17, LoadU8Ind, "movbl", OR, RegInd)        \
    X(18, LoadS8Ind, "movsbl", OR, RegInd)       \
    X(19, LoadU16Ind, "movwl", OR, RegInd)       \
    X(20, LoadS16Ind, "movswl", OR, RegInd)      \
    X(21, Load32Ind, "movl", OR, RegInd)         \
    X(22, Store8Abs, "movb", ORI, SymReg)        \
    X(23, Store16Abs, "movw", ORI, SymReg)       \
    X(24, Store32Abs, "movl", ORI, SymReg)       \
    X(25, Store8Frame, "movb", ORI, FrameReg)    \
    X(26, Store16Frame, "movw", ORI, FrameReg)   \
    X(27, Store32Frame, "movl", ORI, FrameReg)   \
    X(28, Store8Ind, "movb", OR, IndReg)         \
    X(29, Store16Ind, "movw", OR, IndReg)        \
    X(30, Store32Ind, "movl", OR, IndReg)        \
    X(31, Push, "push", OR, Src)                 \
    X(32, PushImm, "push", OI, Imm)              \
    X(33, Pop, "pop", OR, Dst)                   \
    X(34, Enter, "enter", OI, None)              \
    X(35, Leave, "leave", OI, None)              \
    X(36, Call, "call", OI, Target)              \
    X(37, CallReg, "call", OR, Src)              \
    X(38, Ret, "ret", O, None)                   \
    X(39, PreOp, "preop", ORI, RegStep)          \
    X(40, PostOp, "postop", ORI, RegStep)        \
    X(41, PreInc8, "preinc", OR, IndSrc)         \
    X(42, PostInc8, "postinc", OR, IndSrc)       \
    X(43, PreDec8, "predec", OR, IndSrc)         \
    X(44, PostDec8, "postdec", OR, IndSrc)       \
    X(45, PreInc16, "preinc", OR, IndSrc)        \
    X(46, PostInc16, "postinc", OR, IndSrc)      \
    X(47, PreDec16, "predec", OR, IndSrc)        \
    X(48, PostDec16, "postdec", OR, IndSrc)      \
    X(49, Zero8Abs, "zerob", OI, Sym)            \
    X(50, Zero16Abs, "zerow", OI, Sym)           \
    X(51, Zero32Abs, "zerol", OI, Sym)           \
    X(52, Zero8Frame, "zerob", OI, Frame)        \
    X(53, Zero16Frame, "zerow", OI, Frame)       \
    X(54, Zero32Frame, "zerol", OI, Frame)       \
    X(55, Cmp, "cmp", OR, RegReg)                \
    X(56, CmpImm, "cmp", ORI, RegImm)            \
    X(57, Set, "set", OR, Dst)                   \
    X(58, Add, "add", OR, RegReg)                \
    X(59, AddImm, "add", ORI, RegImm)            \
    X(60, Sub, "sub", OR, RegReg)                \
    X(61, SubImm, "sub", ORI, RegImm)            \
    X(62, Mul, "mul", OR, RegReg)                \
    X(63, Div, "div", OR, RegReg)                \
    X(64, Mod, "mod", OR, RegReg)                \
    X(65, Shl, "shl", OR, RegReg)                \
    X(66, Shr, "shr", OR, RegReg)                \
    X(67, Sar, "sar", OR, RegReg)                \
    X(68, Neg, "neg", OR, Dst)                   \
    X(69, Not, "not", OR, Dst)                   \
    X(70, And, "and", OR, RegReg)                \
    X(71, Or, "or", OR, RegReg)                  \
    X(72, Xor, "xor", OR, RegReg)                \
    X(73, Jmp, "jmp", OI, Target)                \
    X(74, Je, "je", OI, Target)                  \
    X(75, Jne, "jne", OI, Target)                \
    X(76, Jg, "jg", OI, Target)                  \
    X(77, Jge, "jge", OI, Target)                \
    X(78, Jl, "jl", OI, Target)                  \
    X(79, Jle, "jle", OI, Target)                \
    X(80, Ja, "ja", OI, Target)                  \
    X(81, Jae, "jae", OI, Target)                \
    X(82, Jb, "jb", OI, Target)                  \
    X(83, Jbe, "jbe", OI, Target)                \
    X(84, Ftoi, "ftoi", OR, Dst)                 \
    X(85, Itof, "itof", OR, Dst)                 \
    X(86, Fadd, "fadd", OR, RegReg)              \
    X(87, Fsub, "fsub", OR, RegReg)              \
    X(88, Fmul, "fmul", OR, RegReg)              \
    X(89, Fdiv, "fdiv", OR, RegReg)              \
    X(90, Fmod, "fmod", OR, RegReg)              \
    X(91, Fneg, "fneg", OR, Dst)

enum class Op : uint8_t {
#define TOB_OPCODE_ENUM(num, name, mnem, form, operands) name = num,
    TOB_OPCODE_LIST(TOB_OPCODE_ENUM)
#undef TOB_OPCODE_ENUM
};

struct OpcodeInfo {
    Op op;
    std::string_view name;      // the enum name, for diagnostics
    std::string_view mnemonic;  // as the listing prints it
    Form form;
    Operands operands;
    uint32_t size;  // bytes of the encoded instruction
};

inline constexpr std::array kOpcodes = {
#define TOB_OPCODE_INFO(num, name, mnem, form, operands) \
    OpcodeInfo{Op::name, #name, mnem, Form::form, Operands::operands, form_size(Form::form)},
    TOB_OPCODE_LIST(TOB_OPCODE_INFO)
#undef TOB_OPCODE_INFO
};

inline constexpr uint32_t kOpcodeCount = 92;  // byte values above 91 are illegal instructions
inline constexpr uint32_t kMaxInstructionSize = 6;

static_assert(kOpcodes.size() == kOpcodeCount);
static_assert(
    [] {
        for (uint32_t i = 0; i < kOpcodes.size(); ++i)
            if (uint32_t(kOpcodes[i].op) != i) return false;
        return true;
    }(),
    "the opcode table lists every opcode once, in numeric order");

constexpr const OpcodeInfo& opcode_info(Op op) {
    return kOpcodes[uint8_t(op)];
}
constexpr bool is_opcode(uint8_t byte) {
    return byte < kOpcodeCount;
}

// Register byte: S (source, base or pointer) in the high nibble, D in the low.
constexpr uint8_t reg_byte(uint32_t d, uint32_t s) {
    return uint8_t((s & 15) << 4 | (d & 15));
}
constexpr uint32_t reg_s(uint8_t rb) {
    return rb >> 4;
}
constexpr uint32_t reg_d(uint8_t rb) {
    return rb & 15u;
}

// One encoded instruction, as the code generator writes it into a program area.
struct Instruction {
    std::array<uint8_t, kMaxInstructionSize> bytes{};
    uint32_t size = 0;
};

// Encodes `op` in its form: the register byte is used by OR and ORI, `operand`
// is the imm32 of ORI and OI or the trap number of OT.
constexpr Instruction encode(Op op, uint8_t regs = 0, uint32_t operand = 0) {
    const OpcodeInfo& info = opcode_info(op);
    Instruction ins;
    ins.size = info.size;
    ins.bytes[0] = uint8_t(op);
    uint32_t at = 1;
    if (info.form == Form::OR || info.form == Form::ORI) ins.bytes[at++] = regs;
    for (uint32_t i = 0; at + i < info.size; ++i) ins.bytes[at + i] = uint8_t(operand >> (8 * i));
    return ins;
}

// The call clean-up `add r7, $4n` that follows every call with arguments: opcode
// 59 with the register byte 0x77, then the byte count. The trap dispatcher
// recognises it by its first two bytes read as one little-endian 16-bit value.
inline constexpr uint8_t kCallCleanupOpcode = uint8_t(Op::AddImm);
inline constexpr uint8_t kCallCleanupRegByte = 0x77;
inline constexpr uint16_t kCallCleanupTag = uint16_t(kCallCleanupRegByte << 8 | kCallCleanupOpcode);
static_assert(kCallCleanupTag == 0x773B);
static_assert(encode(Op::AddImm, reg_byte(7, 7), 8).bytes[0] == kCallCleanupOpcode &&
              encode(Op::AddImm, reg_byte(7, 7), 8).bytes[1] == kCallCleanupRegByte);

// Jumps and the flags that take them: z (equal), l (signed less), b (unsigned
// below), as a compare or subtraction leaves them. X(Name, condition)
#define TOB_JUMP_LIST(X) \
    X(Jmp, true)         \
    X(Je, z)             \
    X(Jne, !z)           \
    X(Jg, !l && !z)      \
    X(Jge, !l || z)      \
    X(Jl, l && !z)       \
    X(Jle, l || z)       \
    X(Ja, !b && !z)      \
    X(Jae, !b || z)      \
    X(Jb, b && !z)       \
    X(Jbe, b || z)

constexpr bool is_jump(Op op) {
    switch (op) {
#define TOB_JUMP_CASE(name, condition) case Op::name:
        TOB_JUMP_LIST(TOB_JUMP_CASE)
#undef TOB_JUMP_CASE
        return true;
        default:
            return false;
    }
}

// Whether jump `op` is taken with these flags.
constexpr bool jump_taken(Op op, bool z, bool l, bool b) {
    switch (op) {
#define TOB_JUMP_CASE(name, condition) \
    case Op::name:                     \
        return condition;
        TOB_JUMP_LIST(TOB_JUMP_CASE)
#undef TOB_JUMP_CASE
        default:
            return false;
    }
}

constexpr bool is_conditional_jump(Op op) {
    return is_jump(op) && op != Op::Jmp;
}

// Whether execution may go on elsewhere than at the next instruction: jumps,
// calls, returns and the built-in call (whose handler may switch contexts).
constexpr bool transfers_control(Op op) {
    return is_jump(op) || op == Op::Call || op == Op::CallReg || op == Op::Ret || op == Op::Trap;
}

static_assert(
    [] {
        for (const OpcodeInfo& info : kOpcodes)
            if (is_jump(info.op) != (info.operands == Operands::Target && info.op != Op::Call))
                return false;
        return true;
    }(),
    "the jump list names every jump of the table");

// Return address placed under a thread's entry function: `ret` to it ends the context.
inline constexpr uint32_t kThreadReturnAddress = 0xFFFFFFFF;

}  // namespace tob
