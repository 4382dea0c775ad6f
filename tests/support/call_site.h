// A script call site for tests of built-ins: a context whose stack lives in
// script memory, arguments pushed the way compiled code pushes them, and the
// caller's clean-up `add r7,$4n` after the return address.
#pragma once

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "vm/interpreter.h"
#include "vm/script_memory.h"
#include "vm/trap.h"
#include "vm/vm_context.h"

namespace tob::test {

inline uint32_t word(float f) {
    return std::bit_cast<uint32_t>(f);
}
inline float real(uint32_t w) {
    return std::bit_cast<float>(w);
}

struct CallSite {
    static constexpr uint32_t kStackSize = 4096;
    static constexpr uint8_t kCleanup[2] = {0x3B, 0x77};  // add r7, imm32

    ScriptMemory mem;
    Machine machine;
    VmContext ctx;
    ScriptAddr code = 0;
    TrapTable table;
    std::unique_ptr<TrapDispatcher> dispatcher;

    explicit CallSite(uint64_t memory_span = 16 << 20) : mem(memory_span) {
        machine.memory = &mem;
        ctx.stack_size = kStackSize;
        ctx.stack_base = mem.allocate(ctx.stack_size, BlockKind::Stack);
        ctx.r[kStackPointer] = ctx.stack_base + ctx.stack_size;
        code = mem.allocate(64, BlockKind::Program);
        dispatcher = std::make_unique<TrapDispatcher>(machine, table);
    }

    // Pushes the arguments last first, then a return address whose next
    // instruction is the clean-up (none for zero arguments or when `cleanup`
    // is false).
    void call_with(const std::vector<uint32_t>& args, bool cleanup = true) {
        for (auto it = args.rbegin(); it != args.rend(); ++it) push(*it);
        uint8_t* c = mem.host(code, 6);
        std::memset(c, 0, 6);
        if (cleanup && !args.empty()) {
            uint32_t bytes = uint32_t(args.size()) * 4;
            uint8_t add[6] = {kCleanup[0],         kCleanup[1],          uint8_t(bytes),
                              uint8_t(bytes >> 8), uint8_t(bytes >> 16), uint8_t(bytes >> 24)};
            std::memcpy(c, add, 6);
        }
        push(code);
    }
    void push(uint32_t v) {
        ctx.r[kStackPointer] -= 4;
        mem.write32(ctx.r[kStackPointer], v);
    }

    // Calls built-in `name` through the dispatcher with a fresh stack; r0.
    uint32_t call(std::string_view name, const std::vector<uint32_t>& args) {
        ctx.r[kStackPointer] = ctx.stack_base + ctx.stack_size;
        call_with(args);
        dispatcher->dispatch(uint32_t(trap_number(name)), ctx);
        return ctx.r[0];
    }
    float call_real(std::string_view name, const std::vector<uint32_t>& args) {
        return real(call(name, args));
    }

    // A zero-terminated copy of `text` in script memory, in a block of at
    // least `capacity` bytes.
    ScriptAddr string(std::string_view text, uint32_t capacity = 0) {
        uint32_t size = std::max<uint32_t>(uint32_t(text.size()) + 1, capacity);
        ScriptAddr a = mem.allocate(size);
        std::memcpy(mem.host(a, size), text.data(), text.size());
        return a;
    }
    std::string read(ScriptAddr a) const {
        auto s = mem.c_string(a);
        return s ? std::string(*s) : std::string("<bad>");
    }
};

}  // namespace tob::test
