// The execution context of one program instance. Its 64-byte layout is also the
// script-visible jump buffer of setjmp/longjmp, so every offset is fixed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vm/script_memory.h"

namespace tob {

enum class ContextState : uint8_t { Running = 0, Finished = 1, Failed = 2 };

struct VmContext {
    uint32_t thread_index = 0;
    uint8_t state = 0;  // ContextState
    uint8_t z = 0, l = 0, b = 0;
    ScriptAddr pc = 0;
    ScriptAddr refcount_addr = 0;  // word right behind the program area
    ScriptAddr program_base = 0;
    ScriptAddr stack_base = 0;
    uint32_t program_size = 0;
    uint32_t stack_size = 0;
    uint32_t r[8] = {};  // r6 frame pointer, r7 stack pointer
};

static_assert(sizeof(VmContext) == 64);
static_assert(offsetof(VmContext, thread_index) == 0);
static_assert(offsetof(VmContext, state) == 4);
static_assert(offsetof(VmContext, z) == 5);
static_assert(offsetof(VmContext, l) == 6);
static_assert(offsetof(VmContext, b) == 7);
static_assert(offsetof(VmContext, pc) == 8);
static_assert(offsetof(VmContext, refcount_addr) == 12);
static_assert(offsetof(VmContext, program_base) == 16);
static_assert(offsetof(VmContext, stack_base) == 20);
static_assert(offsetof(VmContext, program_size) == 24);
static_assert(offsetof(VmContext, stack_size) == 28);
static_assert(offsetof(VmContext, r) == 32);

constexpr int kFramePointer = 6;
constexpr int kStackPointer = 7;
constexpr uint32_t kContextWords = 16;

}  // namespace tob
