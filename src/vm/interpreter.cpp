// The interpreter loop: one dispatch on the opcode byte, registers, flags and pc
// in locals for the whole slice, operands read in place from script memory after
// one bounds check per instruction, and one more per load or store.
#include "vm/interpreter.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <iterator>
#include <utility>

#include "base/error_report.h"
#include "vm/interpreter_ops.h"
#include "vm/opcodes.h"

// Threaded dispatch (one indirect jump at the end of every instruction) where the
// compiler supports label addresses; a plain switch elsewhere.
#if defined(__GNUC__) && !defined(TOB_VM_SWITCH_DISPATCH)
#define TOB_VM_COMPUTED_GOTO 1
#else
#define TOB_VM_COMPUTED_GOTO 0
#endif

namespace tob {

using namespace vm_ops;

const char* runtime_error_message(RuntimeError e) {
    switch (e) {
        case RuntimeError::DivideByZero:
            return "０で除算しました";
        case RuntimeError::ProgramOverrun:
            return "プログラム領域をオーバーしました";
        case RuntimeError::StackOverrun:
            return "スタック領域をオーバーしました";
        case RuntimeError::IllegalInstruction:
            return "不正な命令コードが現れました";
    }
    return "";
}

void set_stop(Machine& m, uint32_t value) {
    m.stop.store(value);
    ScriptAddr word = m.stop_word.load(std::memory_order_relaxed);
    if (word && m.memory) m.memory->store_shared32(word, value);
    if (value && m.stop_listener) m.stop_listener->machine_stopped();
}

uint32_t read_stop_word(const Machine& m) {
    ScriptAddr word = m.stop_word.load(std::memory_order_relaxed);
    uint32_t value = 0;
    if (word && m.memory) m.memory->load_shared32(word, value);
    return value;
}

void raise_runtime_error(Machine& m, VmContext& ctx, RuntimeError e) {
    // The report may block until its box is closed; the machine stops after that.
    report_error(1, "%s", runtime_error_message(e));
    ctx.state = uint8_t(ContextState::Failed);
    set_stop(m, 1);
}

// The plain loop: one instruction per dispatch, operands read in place.
bool run_reference_steps(Machine& m, VmContext& ctx, uint32_t max_instructions) {
    if (m.stop.load(std::memory_order_relaxed)) return true;
    if (ctx.state != uint8_t(ContextState::Running)) return false;
    const ScriptMemory* const mem = m.memory;
    if (!mem) {
        raise_runtime_error(m, ctx, RuntimeError::ProgramOverrun);
        return false;
    }

    // The limit only grows, and another script thread may hand this one a block
    // allocated mid-slice: a check against the cached limit that fails is
    // repeated against the current one before it counts as a fault.
    // (A macro, as a lambda taking them by reference would keep both in memory.)
    uint32_t limit = 0, window = 0;
#define refresh_limit()    \
    (limit = mem->limit(), \
     window = limit - kLowGuard > kFetchSlack ? limit - kLowGuard - kFetchSlack : 0)
    refresh_limit();

    uint8_t* const base = mem->base();
    uint32_t r[8];
    std::memcpy(r, ctx.r, sizeof r);
    uint32_t pc = ctx.pc;
    uint8_t z = ctx.z, l = ctx.l, b = ctx.b;
    const uint32_t stack_base = ctx.stack_base;
    const uint32_t stack_size = ctx.stack_size;
    uint32_t budget = max_instructions + 1;
    // A call leaving this program must land in a program that is still loaded
    // (an exported function of a released program is gone).
    const uint32_t program_base = ctx.program_base, program_size = ctx.program_size;
    auto callable = [&m, program_base, program_size](uint32_t target) {
        return target - program_base < program_size || !m.live_code || m.live_code->code_alive(target);
    };

    const uint8_t* code = nullptr;  // the current instruction, pc translated
    uint32_t op = 0;
    uint8_t rb = 0;  // its register byte
    RuntimeError error = RuntimeError::IllegalInstruction;

#define SAVE() TOB_VM_SAVE()
#define COMPARE(x, y) TOB_VM_COMPARE(x, y)

// Operand access inside an instruction. pc stays at the instruction's first byte
// until it completes, so a failing instruction is left pointing at itself.
#define IMM(offset) load_le32(code + (offset))
#define REGS()                                              \
    do {                                                    \
        rb = code[1];                                       \
        if (rb & kHighNibbleBits) goto illegal_instruction; \
    } while (0)
#define RD r[rb & 7]
#define RS r[rb >> 4]
#define FITS(addr, len) TOB_VM_FITS(addr, len)
#define CHECK(addr, len) \
    if (!FITS(addr, len) && (refresh_limit(), !FITS(addr, len))) goto program_overrun
#define STACK_CHECK() \
    if (r[7] - stack_base >= stack_size) goto stack_overrun

// Polls the stop flag after an instruction, counts the budget and fetches the
// next opcode. Fast path: the longest instruction fits before the limit; near
// the limit the exact size is checked.
#define FETCH()                                                     \
    do {                                                            \
        if (m.stop.load(std::memory_order_relaxed)) goto end_slice; \
        if (--budget == 0) goto end_slice;                          \
        if (pc - kLowGuard >= window) goto fetch_near_limit;        \
        code = base + pc;                                           \
        op = *code;                                                 \
    } while (0)

#if TOB_VM_COMPUTED_GOTO
    // One entry per byte value, so that illegal opcodes need no separate test.
#define TOB_OPCODE_LABEL(num, name, mnem, form, operands) &&op_##name,
#define ILLEGAL4 \
    &&illegal_instruction, &&illegal_instruction, &&illegal_instruction, &&illegal_instruction,
#define ILLEGAL16 ILLEGAL4 ILLEGAL4 ILLEGAL4 ILLEGAL4
    // clang-format off
    static const void* const kDispatch[] = {
        TOB_OPCODE_LIST(TOB_OPCODE_LABEL)
        // 92..255
        ILLEGAL16 ILLEGAL16 ILLEGAL16 ILLEGAL16 ILLEGAL16
        ILLEGAL16 ILLEGAL16 ILLEGAL16 ILLEGAL16 ILLEGAL16 ILLEGAL4
    };
    // clang-format on
#undef ILLEGAL16
#undef ILLEGAL4
#undef TOB_OPCODE_LABEL
    static_assert(std::size(kDispatch) == 256);
#define DISPATCH() goto* kDispatch[op];
#define CASE(name) op_##name:
#define NEXT()      \
    do {            \
        FETCH();    \
        DISPATCH(); \
    } while (0)
#else
#define DISPATCH() switch (Op(op))
#define CASE(name) case Op::name:
#define NEXT() continue
#endif

// One case per memory form: D = [address], [address] = S.
#define LOAD_CASE(name, width, address, size) \
    CASE(name) {                              \
        REGS();                               \
        const uint32_t a = (address);         \
        CHECK(a, width_bytes(width));         \
        RD = load<width>(base + a);           \
        pc += (size);                         \
        NEXT();                               \
    }
#define STORE_CASE(name, width, address, size) \
    CASE(name) {                               \
        REGS();                                \
        const uint32_t a = (address);          \
        CHECK(a, width_bytes(width));          \
        store<width>(base + a, RS);            \
        pc += (size);                          \
        NEXT();                                \
    }
// Byte and 16-bit increments through S; D receives the zero-extended value.
#define STEP_CASE(name, width, delta, post)                       \
    CASE(name) {                                                  \
        REGS();                                                   \
        const uint32_t a = RS;                                    \
        CHECK(a, width_bytes(width));                             \
        const uint32_t old = load<width>(base + a);               \
        const uint32_t now = (old + (delta)) & width_mask(width); \
        store<width>(base + a, now);                              \
        RD = (post) ? old : now;                                  \
        pc += 2;                                                  \
        NEXT();                                                   \
    }
#define ZERO_CASE(name, width, address) \
    CASE(name) {                        \
        const uint32_t a = (address);   \
        CHECK(a, width_bytes(width));   \
        z = load<width>(base + a) == 0; \
        pc += 5;                        \
        NEXT();                         \
    }
#define JUMP_CASE(name, condition)          \
    CASE(name) {                            \
        pc = (condition) ? IMM(1) : pc + 5; \
        NEXT();                             \
    }
#define BINARY_CASE(name, expression) \
    CASE(name) {                      \
        REGS();                       \
        RD = (expression);            \
        pc += 2;                      \
        NEXT();                       \
    }
#define FLOAT_CASE(name, expression)                    \
    CASE(name) {                                        \
        REGS();                                         \
        const float x = as_float(RD), y = as_float(RS); \
        RD = as_bits(expression);                       \
        pc += 2;                                        \
        NEXT();                                         \
    }

    for (;;) {
        FETCH();
    dispatch:
        DISPATCH() {
            CASE(Nop) {
                pc += 1;
                NEXT();
            }
            CASE(Trap) {
                // A built-in call always ends the slice; the hook may replace or
                // free the context, so nothing touches it afterwards.
                const uint32_t number = load_le16(code + 1);
                pc += 3;
                SAVE();
                if (m.trap_hook) m.trap_hook->trap(m, number, ctx);
                return false;
            }
            CASE(Xchg) {
                REGS();
                std::swap(RD, RS);
                pc += 2;
                NEXT();
            }
            // The instructions written once for both loops.
#define D_ RD
#define S_ RS
#define ABS_ IMM(2)
#define FRAME_ (r[6] + IMM(2))
#define LOAD_OP(name, width, address) \
    LOAD_CASE(name, Width::width, address, kOpcodes[uint8_t(Op::name)].size)
#define STORE_OP(name, width, address) \
    STORE_CASE(name, Width::width, address, kOpcodes[uint8_t(Op::name)].size)
#define STEP_OP(name, width, delta, post) STEP_CASE(name, Width::width, delta, post)
            TOB_VM_BINARY_OPS(BINARY_CASE)
            TOB_VM_FLOAT_OPS(FLOAT_CASE)
            TOB_VM_JUMPS(JUMP_CASE)
            TOB_VM_LOADS(LOAD_OP)
            TOB_VM_STORES(STORE_OP)
            TOB_VM_STEPS(STEP_OP)
#undef LOAD_OP
#undef STORE_OP
#undef STEP_OP
#undef D_
#undef S_
#undef ABS_
#undef FRAME_
            CASE(MovImm)
            CASE(MovAddr) {
                REGS();
                RD = IMM(2);
                pc += 6;
                NEXT();
            }
            CASE(LeaFrame) {
                REGS();
                const uint32_t a = r[6] + IMM(2);
                RD = a;
                pc += 6;
                NEXT();
            }
            // Frame-relative forms address through r6 whatever the register byte says.
            CASE(Push) {
                REGS();
                r[7] -= 4;
                STACK_CHECK();
                CHECK(r[7], 4);
                store_le32(base + r[7], RS);
                pc += 2;
                NEXT();
            }
            CASE(PushImm) {
                r[7] -= 4;
                STACK_CHECK();
                CHECK(r[7], 4);
                store_le32(base + r[7], IMM(1));
                pc += 5;
                NEXT();
            }
            CASE(Pop) {
                REGS();
                r[7] += 4;
                STACK_CHECK();
                CHECK(r[7] - 4, 4);
                RD = load_le32(base + r[7] - 4);
                pc += 2;
                NEXT();
            }
            CASE(Enter) {
                // Saves r1..r6 above n bytes of locals; fp then points at the saved r6.
                const uint32_t n = IMM(1);
                r[7] -= kFrameBytes + n;
                STACK_CHECK();
                const uint32_t a = r[7] + n;
                CHECK(a, kFrameBytes);
                for (uint32_t i = 0; i < kFrameWords; ++i) store_le32(base + a + 4 * i, r[1 + i]);
                r[6] = a + kFrameBytes - 4;
                pc += 5;
                NEXT();
            }
            CASE(Leave) {
                // A frame reaching the top of the stack is the outermost one:
                // leaving it ends the program, restoring nothing.
                const uint32_t n = IMM(1);
                if (r[7] - stack_base + n + kFrameBytes >= stack_size) {
                    pc += 5;
                    goto finished;
                }
                r[7] += n;
                CHECK(r[7], kFrameBytes);
                for (uint32_t i = 0; i < kFrameWords; ++i)
                    r[1 + i] = load_le32(base + r[7] + 4 * i);
                r[7] += kFrameBytes;
                pc += 5;
                NEXT();
            }
            CASE(Call) {
                if (!callable(IMM(1))) goto program_overrun;
                r[7] -= 4;
                STACK_CHECK();
                CHECK(r[7], 4);
                store_le32(base + r[7], pc + 5);
                pc = IMM(1);
                NEXT();
            }
            CASE(CallReg) {
                REGS();
                const uint32_t target = RS;
                if (target == 0 || !callable(target)) goto program_overrun;
                r[7] -= 4;
                STACK_CHECK();
                CHECK(r[7], 4);
                store_le32(base + r[7], pc + 2);
                pc = target;
                NEXT();
            }
            CASE(Ret) {
                r[7] += 4;
                STACK_CHECK();
                CHECK(r[7] - 4, 4);
                pc = load_le32(base + r[7] - 4);
                if (pc == kThreadReturnAddress) goto finished;
                NEXT();
            }
            CASE(PreOp)
            CASE(PostOp) {
                REGS();
                const uint32_t a = RS;
                CHECK(a, 4);
                const uint32_t old = load_le32(base + a);
                const uint32_t now = old + IMM(2);
                store_le32(base + a, now);
                RD = Op(op) == Op::PostOp ? old : now;
                pc += 6;
                NEXT();
            }
            ZERO_CASE(Zero8Abs, Width::U8, IMM(1))
            ZERO_CASE(Zero16Abs, Width::U16, IMM(1))
            ZERO_CASE(Zero32Abs, Width::W32, IMM(1))
            ZERO_CASE(Zero8Frame, Width::U8, r[6] + IMM(1))
            ZERO_CASE(Zero16Frame, Width::U16, r[6] + IMM(1))
            ZERO_CASE(Zero32Frame, Width::W32, r[6] + IMM(1))
            CASE(Cmp) {
                REGS();
                COMPARE(RD, RS);
                pc += 2;
                NEXT();
            }
            CASE(CmpImm) {
                REGS();
                COMPARE(RD, IMM(2));
                pc += 6;
                NEXT();
            }
            CASE(AddImm) {
                REGS();
                RD += IMM(2);
                pc += 6;
                NEXT();
            }
            CASE(Sub) {
                REGS();
                COMPARE(RD, RS);
                RD -= RS;
                pc += 2;
                NEXT();
            }
            CASE(SubImm) {
                REGS();
                const uint32_t imm = IMM(2);
                COMPARE(RD, imm);
                RD -= imm;
                pc += 6;
                NEXT();
            }
            CASE(Div)
            CASE(Mod) {
                REGS();
                if (RS == 0) goto divide_by_zero;
                RD = Op(op) == Op::Div ? signed_div(RD, RS) : signed_mod(RD, RS);
                pc += 2;
                NEXT();
            }
            CASE(Fsub) {
                // Comparisons with NaN are false, so NaN clears Z and L.
                REGS();
                const float x = as_float(RD), y = as_float(RS);
                z = x == y;
                l = x < y;
                b = 0;
                RD = as_bits(x - y);
                pc += 2;
                NEXT();
            }
#if !TOB_VM_COMPUTED_GOTO
            default:
                goto illegal_instruction;
#endif
        }
    }

fetch_near_limit:
    refresh_limit();
    if (pc - kLowGuard < window) {
        code = base + pc;
        op = *code;
        goto dispatch;
    }
    CHECK(pc, 1);
    code = base + pc;
    op = *code;
    if (!is_opcode(uint8_t(op))) goto illegal_instruction;
    CHECK(pc, kOpcodes[op].size);
    goto dispatch;

illegal_instruction:
    error = RuntimeError::IllegalInstruction;
    goto raise;
program_overrun:
    error = RuntimeError::ProgramOverrun;
    goto raise;
stack_overrun:
    error = RuntimeError::StackOverrun;
    goto raise;
divide_by_zero:
    error = RuntimeError::DivideByZero;
raise:
    SAVE();
    raise_runtime_error(m, ctx, error);
    return false;

finished:
    SAVE();
    ctx.state = uint8_t(ContextState::Finished);
    return false;

end_slice:
    SAVE();
    return true;

#undef SAVE
#undef COMPARE
#undef IMM
#undef REGS
#undef RD
#undef RS
#undef CHECK
#undef STACK_CHECK
#undef FETCH
#undef DISPATCH
#undef CASE
#undef NEXT
#undef LOAD_CASE
#undef STORE_CASE
#undef STEP_CASE
#undef ZERO_CASE
#undef JUMP_CASE
#undef BINARY_CASE
#undef FLOAT_CASE
#undef FITS
#undef refresh_limit
}

int run_slice_reference(Machine& m, VmContext& ctx) {
    run_reference_steps(m, ctx, kSliceBudget);
    return 1;
}

}  // namespace tob
