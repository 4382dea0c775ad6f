// Runs arbitrary bytes as a program for a bounded number of slices. The first
// 33 bytes choose the registers (raw, or pointers into the program, stack or
// data block) and the flags; the rest is the code.
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

struct Env {
    ScriptMemory memory{16u << 20};
    ScriptAddr program = memory.allocate(kProgramSize, BlockKind::Program);
    ScriptAddr stack = memory.allocate(kStackSize, BlockKind::Stack);
    ScriptAddr data = memory.allocate(kDataSize, BlockKind::ScriptHeap);
    Machine machine;
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

void trap_hook(Machine&, uint32_t number, VmContext& ctx) {
    ctx.r[0] = number * 2654435761u;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
    static Env env;
    uint8_t header[kHeaderSize] = {};
    std::memcpy(header, input, size < kHeaderSize ? size : kHeaderSize);
    const uint8_t* code = input + (size < kHeaderSize ? size : kHeaderSize);
    const size_t code_size = size - size_t(code - input);

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
    m.trap = (header[32] & 8) ? trap_hook : nullptr;
    m.stop.store(0);
    for (int i = 0; i < kMaxSlices && ctx.state == 0 && !m.stop.load(); ++i) {
        if (run_slice(m, ctx) != 1) __builtin_trap();
    }
    if (ctx.state > 2) __builtin_trap();
    if (ctx.state == 2 && !m.stop.load()) __builtin_trap();
    return 0;
}
