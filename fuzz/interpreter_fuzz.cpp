// Runs arbitrary bytes as a program for a bounded number of slices, on the fast
// interpreter and on the plain reference side by side: after every slice both
// must agree on the context, the stop flag and all memory. The first 33 bytes
// choose the registers (raw, or pointers into the program, stack or data block)
// and the flags (and whether built-ins run, some of them pure, and slices may
// follow one another within one call); the rest is the code.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "vm/interpreter.h"

using namespace tob;

namespace {

constexpr uint32_t kProgramSize = 64 << 10;
constexpr uint32_t kStackSize = 4 << 10;
constexpr uint32_t kDataSize = 4 << 10;
constexpr int kMaxSlices = 64;
constexpr size_t kHeaderSize = 33;

// Even numbers are pure: they read the word at r7 (their argument) as one
// that reads script memory would; odd ones set r0 alone.
struct ScrambleTraps : TrapHook {
    ScriptMemory* memory = nullptr;
    void trap(Machine&, uint32_t number, VmContext& ctx) override {
        uint32_t argument = 0;
        if (pure(number) && memory) memory->read32(ctx.r[7], argument);
        ctx.r[0] = number * 2654435761u ^ argument;
    }
    bool pure(uint32_t number) const override { return number % 2 == 0; }
};

struct Env {
    ScriptMemory memory{16u << 20};
    ScriptAddr program = memory.allocate(kProgramSize, BlockKind::Program);
    ScriptAddr stack = memory.allocate(kStackSize, BlockKind::Stack);
    ScriptAddr data = memory.allocate(kDataSize, BlockKind::ScriptHeap);
    Machine machine;
    ScrambleTraps traps;
};

// The top two bits pick what the word means, so the fuzzer finds valid pointers.
uint32_t register_value(const Env& env, uint32_t v) {
    switch (v >> 30) {
        case 0:
            return v;
        case 1:
            return env.program + (v & (kProgramSize - 1));
        case 2:
            return env.stack + v % (kStackSize + 1);
        default:
            return env.data + (v & (kDataSize - 1));
    }
}

// Lets a few slices follow at once within one call.
struct FewSlices final : SliceGate {
    int left = 0;
    bool next_slice() override { return left-- > 0; }
    bool after_call(const VmContext&) override { return left-- > 0; }
};

// Loads the input into `env` and returns the context to run.
VmContext prepare(Env& env, const uint8_t* header, const uint8_t* code, size_t code_size) {
    std::memset(env.memory.host(env.program, kProgramSize), 0, kProgramSize);
    std::memset(env.memory.host(env.stack, kStackSize), 0, kStackSize);
    std::memset(env.memory.host(env.data, kDataSize), 0, kDataSize);
    env.memory.copy_in(env.program, code,
                       uint32_t(code_size < kProgramSize ? code_size : kProgramSize));
    VmContext ctx;
    ctx.pc = ctx.program_base = env.program;
    ctx.program_size = kProgramSize;
    ctx.stack_base = env.stack;
    ctx.stack_size = kStackSize;
    for (int i = 0; i < 8; ++i) {
        uint32_t v;
        std::memcpy(&v, header + 4 * i, 4);
        ctx.r[i] = register_value(env, v);
    }
    ctx.z = header[32] & 1;
    ctx.l = header[32] >> 1 & 1;
    ctx.b = header[32] >> 2 & 1;
    Machine& m = env.machine;
    m.memory = &env.memory;
    env.traps.memory = &env.memory;
    m.trap_hook = (header[32] & 8) ? &env.traps : nullptr;
    m.stop.store(0);
    return ctx;
}

bool same_memory(const Env& a, const Env& b, ScriptAddr at_a, ScriptAddr at_b, uint32_t size) {
    return std::memcmp(a.memory.host(at_a, size), b.memory.host(at_b, size), size) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
    static Env fast, plain;
    uint8_t header[kHeaderSize] = {};
    std::memcpy(header, input, size < kHeaderSize ? size : kHeaderSize);
    const uint8_t* code = input + (size < kHeaderSize ? size : kHeaderSize);
    const size_t code_size = size - size_t(code - input);
    // Both environments lay their blocks out alike, so addresses agree.
    if (fast.program != plain.program || fast.stack != plain.stack) __builtin_trap();

    VmContext fc = prepare(fast, header, code, code_size);
    VmContext pc = prepare(plain, header, code, code_size);
    forget_decoded_code();  // the program was rewritten behind the interpreter's back
    for (int i = 0; i < kMaxSlices && fc.state == 0 && !fast.machine.stop.load(); ++i) {
        FewSlices fast_gate, plain_gate;
        fast_gate.left = plain_gate.left = header[32] >> 4;
        const bool gated = header[32] >> 4 != 0;
        if (run_slice(fast.machine, fc, gated ? &fast_gate : nullptr) != 1) __builtin_trap();
        run_slice_reference(plain.machine, pc, gated ? &plain_gate : nullptr);
        if (std::memcmp(&fc, &pc, sizeof fc) != 0) __builtin_trap();
        if (fast.machine.stop.load() != plain.machine.stop.load()) __builtin_trap();
        if (!same_memory(fast, plain, fast.program, plain.program, kProgramSize) ||
            !same_memory(fast, plain, fast.stack, plain.stack, kStackSize) ||
            !same_memory(fast, plain, fast.data, plain.data, kDataSize))
            __builtin_trap();
    }
    if (fc.state > 2) __builtin_trap();
    if (fc.state == 2 && !fast.machine.stop.load()) __builtin_trap();
    return 0;
}
