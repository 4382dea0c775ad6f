// Program images: contexts with their program area (and its shared reference
// count word), stacks, the external data area, and loading a ".c" source.
#include <algorithm>
#include <cstring>

#include "vm/engine.h"

namespace tob {
namespace {

bool has_c_extension(std::string_view path) {
    size_t dot = path.rfind('.');
    if (dot == std::string_view::npos) return false;
    std::string_view ext = path.substr(dot);
    return ext.size() == 2 && (ext[1] == 'c' || ext[1] == 'C');
}

}  // namespace

bool ScriptEngine::allocate_external_area(uint32_t size) {
    free_external_area();
    if (size == 0) return true;
    external_base_ = memory_.allocate(size, BlockKind::Engine);
    if (!external_base_) return false;
    external_size_ = size;
    return true;
}

void ScriptEngine::free_external_area() {
    if (external_base_) memory_.free(external_base_);
    external_base_ = 0;
    external_size_ = 0;
}

uint32_t ScriptEngine::adjust_refcount(ScriptAddr addr, int delta) {
    // The count word follows the program bytes and need not be aligned, so it
    // is changed under a lock rather than with an atomic instruction.
    std::lock_guard lock(refcount_mutex_);
    uint32_t count = 0;
    if (!memory_.read32(addr, count)) return 0;
    count = uint32_t(int64_t(count) + delta);
    memory_.write32(addr, count);
    return count;
}

VmContext* ScriptEngine::create_context(uint32_t program_size, uint32_t stack_size) {
    if (uint64_t(program_size) + 4 > 0xFFFFFFFFull) return nullptr;
    auto ctx = std::make_unique<VmContext>();
    ScriptAddr program = memory_.allocate(program_size + 4, BlockKind::Program);
    if (!program) return nullptr;
    // A stack of size 0 (`StackSize=0`) still gets a block so its address is
    // real, but holds nothing: the first push is a stack overrun.
    ScriptAddr stack = memory_.allocate(std::max<uint32_t>(stack_size, 16), BlockKind::Stack);
    if (!stack) {
        memory_.free(program);
        return nullptr;
    }
    ctx->pc = program;
    ctx->program_base = program;
    ctx->program_size = program_size;
    ctx->refcount_addr = program + program_size;
    memory_.write32(ctx->refcount_addr, 1);
    ctx->stack_base = stack;
    ctx->stack_size = stack_size;
    ctx->r[kStackPointer] = stack + stack_size;
    {
        std::lock_guard lock(refcount_mutex_);
        live_programs_.push_back({program, program_size});
    }
    return ctx.release();
}

VmContext* ScriptEngine::clone_context(const VmContext& parent, uint32_t stack_size) {
    auto ctx = std::make_unique<VmContext>();
    ctx->program_base = parent.program_base;
    ctx->pc = parent.pc;
    ctx->refcount_addr = parent.refcount_addr;
    ctx->program_size = parent.program_size;
    adjust_refcount(ctx->refcount_addr, +1);
    ctx->stack_size = stack_size > 0 ? stack_size : parent.stack_size;
    ctx->stack_base = memory_.allocate(ctx->stack_size, BlockKind::Stack);
    if (!ctx->stack_base) {
        adjust_refcount(ctx->refcount_addr, -1);
        return nullptr;
    }
    ctx->r[kStackPointer] = ctx->stack_base + ctx->stack_size;
    return ctx.release();
}

void ScriptEngine::release_context(VmContext* ctx) {
    if (!ctx) return;
    uint32_t left = adjust_refcount(ctx->refcount_addr, -1);
    if (int32_t(left) < 1 && ctx->program_base) {
        {
            std::lock_guard lock(refcount_mutex_);
            std::erase_if(live_programs_,
                          [&](const auto& p) { return p.first == ctx->program_base; });
        }
        memory_.free(ctx->program_base);
    }
    memory_.free(ctx->stack_base);
    delete ctx;
}

bool ScriptEngine::in_live_program(ScriptAddr addr) const {
    std::lock_guard lock(refcount_mutex_);
    for (const auto& [base, size] : live_programs_)
        if (addr >= base && addr - base < size) return true;
    return false;
}

VmContext* ScriptEngine::load_program(std::string_view path, uint32_t program_size,
                                      uint32_t stack_size) {
    if (!has_c_extension(path) || !compiler_) return nullptr;
    if (program_size == 0) {
        auto measured = compiler_(path, 0, 0);
        if (!measured) return nullptr;
        program_size = *measured;
    }
    VmContext* ctx = create_context(program_size, stack_size);
    if (!ctx) return nullptr;
    if (!compiler_(path, ctx->program_base, program_size)) {
        release_context(ctx);
        return nullptr;
    }
    return ctx;
}

}  // namespace tob
