// Placeholder of the interpreter interface until the interpreter lands.
#pragma once

#include <atomic>
#include <cstdint>

#include "vm/script_memory.h"
#include "vm/vm_context.h"

namespace tob {
enum class RuntimeError : int { DivideByZero = 0, ProgramOverrun = 1, StackOverrun = 2, IllegalInstruction = 3 };
const char* runtime_error_message(RuntimeError e);
struct Machine {
    ScriptMemory* memory = nullptr;
    std::atomic<uint32_t> stop{0};
    void (*trap)(Machine& m, uint32_t number, VmContext& ctx) = nullptr;
    void* user = nullptr;
};
int run_slice(Machine& m, VmContext& ctx);
void raise_runtime_error(Machine& m, VmContext& ctx, RuntimeError e);
}  // namespace tob
