// The reference interpreter: one instruction per dispatch on the opcode byte,
// registers, flags and pc in locals for the whole slice, operands read in place
// from script memory after one bounds check per instruction, and one more per
// load or store. It holds every rule of a slice; the fast interpreter
// (fast_interpreter.cpp) falls back to it for whatever it cannot run as a block.
#include <bit>
#include <cmath>
#include <cstring>
#include <iterator>
#include <utility>

#include "base/error_report.h"
#include "vm/interpreter.h"
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

#if TOB_VM_COMPUTED_GOTO
namespace {
// Where to go for each byte value: the opcode's own label, the illegal
// instruction's for every byte value the table leaves unused.
struct DispatchTable {
    explicit DispatchTable(const void* const* labels) {
        for (uint32_t i = 0; i < 256; ++i) entry[i] = labels[i < kOpcodeCount ? i : kOpcodeCount];
    }
    const void* entry[256];
};
}  // namespace
#endif

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

std::optional<uint32_t> TrapHook::call_if_pure(Machine& m, uint32_t number, VmContext& ctx,
                                               uint32_t sp) {
    if (!pure(number)) return std::nullopt;
    ctx.r[kStackPointer] = sp;
    trap(m, number, ctx);
    return ctx.r[0];
}

void set_stop(Machine& m, uint32_t value) {
    m.stop.store(value);
    notice(m);
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

// One instruction per dispatch, operands read in place.
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
        return target - program_base < program_size || !m.live_code ||
               m.live_code->code_alive(target);
    };

    const uint8_t* code = nullptr;  // the current instruction, pc translated
    uint32_t op = 0;
    uint8_t rb = 0;  // its register byte
    RuntimeError error = RuntimeError::IllegalInstruction;

#define SAVE() TOB_VM_SAVE()
#define COMPARE(x, y) TOB_VM_COMPARE(x, y)
#define SET_Z(v) TOB_VM_SET_Z(v)
#define SET_FLAGS(zv, lv, bv) TOB_VM_SET_FLAGS(zv, lv, bv)

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
    // One entry per byte value, so that illegal opcodes need no separate test:
    // the opcodes' own, then the illegal instruction for every byte value above.
#define TOB_OPCODE_LABEL(num, name, mnem, form, operands) &&op_##name,
    // clang-format off
    static const void* const kOpcodeLabels[] = {
        TOB_OPCODE_LIST(TOB_OPCODE_LABEL)
        &&illegal_instruction,
    };
    // clang-format on
#undef TOB_OPCODE_LABEL
    static_assert(std::size(kOpcodeLabels) == kOpcodeCount + 1);
    static const DispatchTable kDispatch(kOpcodeLabels);
#define DISPATCH() goto* kDispatch.entry[op];
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

// The instructions written once for both loops (interpreter_ops.h): the
// register byte is read and checked for the forms that have one, and pc moves
// past the instruction once it has completed.
#define TOB_VM_OP(name, ...)                                                     \
    CASE(name) {                                                                 \
        constexpr OpcodeInfo info_ = kOpcodes[uint8_t(Op::name)];                \
        if constexpr (info_.form == Form::OR || info_.form == Form::ORI) REGS(); \
        __VA_ARGS__                                                              \
        pc += info_.size;                                                        \
        NEXT();                                                                  \
    }
#define D_ RD
#define S_ RS
#define IMM_ IMM(operand_offset(info_.form))
#define FAIL(label) goto label
#define STORED(addr, len)
#define FINISH()          \
    do {                  \
        pc += info_.size; \
        goto finished;    \
    } while (0)
#define JUMP_CASE(name, condition)                                         \
    CASE(name) {                                                           \
        pc = (condition) ? IMM(1) : pc + kOpcodes[uint8_t(Op::name)].size; \
        NEXT();                                                            \
    }

    for (;;) {
        FETCH();
    dispatch:
        DISPATCH() {
            CASE(Trap) {
                // A built-in call always ends the slice; the hook may replace or
                // free the context, so nothing touches it afterwards.
                const uint32_t number = load_le16(code + 1);
                pc += 3;
                SAVE();
                if (m.trap_hook) m.trap_hook->trap(m, number, ctx);
                return false;
            }
            TOB_VM_SHARED_OPS
            TOB_JUMP_LIST(JUMP_CASE)
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
#undef SET_Z
#undef SET_FLAGS
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
#undef TOB_VM_OP
#undef D_
#undef S_
#undef IMM_
#undef FAIL
#undef STORED
#undef FINISH
#undef JUMP_CASE
#undef FITS
#undef refresh_limit
}

int run_slice_reference(Machine& m, VmContext& ctx, SliceGate* gate) {
    while (gate) {
        if (run_reference_steps(m, ctx, kSliceBudget)) {
            if (m.stop.load(std::memory_order_relaxed) || !gate->next_slice()) break;
        } else if (!gate->after_call(ctx) || m.stop.load(std::memory_order_relaxed) ||
                   ctx.state != uint8_t(ContextState::Running)) {
            break;
        }
    }
    if (!gate) run_reference_steps(m, ctx, kSliceBudget);
    return 1;
}

}  // namespace tob
