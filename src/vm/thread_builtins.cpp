// The built-ins that start, stop and switch programs and threads: jump, call,
// exit, setjmp, longjmp, thd_begin, thd_end, thd_suspend, thd_resume, sleep.
#include <bit>
#include <cstring>

#include "platform/platform.h"
#include "vm/engine.h"
#include "vm/opcodes.h"

namespace tob {
namespace {

static_assert(std::endian::native == std::endian::little,
              "jump buffers copy the context's words as they lie in memory");

ScriptEngine& engine_of(TrapCall& call) {
    return *call.dispatcher().engine;
}

// The calling thread's slot, or -1 when it is not a valid running thread.
int calling_slot(TrapCall& call) {
    VmContext* ctx = call.context();
    if (!ctx || !engine_of(call).valid_thread(ctx->thread_index)) return -1;
    return int(ctx->thread_index);
}

uint32_t builtin_jump(TrapCall& call) {
    auto path = call.string(0, 4096);
    if (!path) return 0;
    std::string copy(*path);  // the caller's memory goes away below
    ScriptEngine& e = engine_of(call);
    VmContext* fresh = e.load_program(copy);
    if (!fresh) return 0;
    int slot = calling_slot(call);
    if (slot < 0) {
        e.release_context(fresh);
        return 0;
    }
    ScriptThread& t = e.thread(slot);
    int top = t.top.load();
    fresh->thread_index = uint32_t(slot);
    e.release_context(t.contexts[size_t(top)]);
    t.contexts[size_t(top)] = fresh;
    call.set_context(fresh);
    return 1;
}

uint32_t builtin_call(TrapCall& call) {
    auto path = call.string(0, 4096);
    if (!path) return 0;
    std::string copy(*path);
    ScriptEngine& e = engine_of(call);
    VmContext* fresh = e.load_program(copy);
    if (!fresh) return 0;
    int slot = calling_slot(call);
    if (slot < 0 || e.thread(slot).top.load() + 1 >= kContextStackDepth) {
        e.release_context(fresh);
        return 0;
    }
    ScriptThread& t = e.thread(slot);
    int top = t.top.load() + 1;
    fresh->thread_index = uint32_t(slot);
    t.contexts[size_t(top)] = fresh;
    t.top = top;
    return 1;
}

uint32_t builtin_exit(TrapCall& call) {
    if (VmContext* ctx = call.context()) ctx->state = uint8_t(ContextState::Failed);
    return 0;
}

uint32_t builtin_setjmp(TrapCall& call) {
    VmContext* ctx = call.context();
    uint8_t* buf = call.pointer(0, sizeof(VmContext));
    if (!ctx || !buf) return 0;
    VmContext saved = *ctx;
    uint32_t ret = 0;
    call.memory().read32(ctx->r[kStackPointer], ret);
    saved.pc = ret;
    int slot = int(ctx->thread_index);
    saved.r[0] = slot < kThreadSlots ? uint32_t(engine_of(call).thread(slot).top.load()) : 0;
    saved.r[kStackPointer] = ctx->r[kStackPointer] + 4;
    std::memcpy(buf, &saved, sizeof saved);
    return 0;
}

uint32_t builtin_longjmp(TrapCall& call) {
    ScriptEngine& e = engine_of(call);
    const uint8_t* buf = call.pointer(0, sizeof(VmContext));
    // Every argument is read now: the arguments lie on the caller's stack,
    // which goes away below when the caller is a program run by `call`.
    const uint32_t value = call.word(1);
    int slot = calling_slot(call);
    if (!buf || slot < 0) return 0;
    VmContext saved;
    std::memcpy(&saved, buf, sizeof saved);
    ScriptThread& t = e.thread(slot);
    int32_t depth = int32_t(saved.r[0]);
    int top = t.top.load();
    if (saved.thread_index != uint32_t(slot) || depth < 0 || depth > top) return 0;
    VmContext* target = t.contexts[size_t(depth)];
    if (!target || target->program_base != saved.program_base ||
        target->stack_base != saved.stack_base)
        return 0;
    // The frame that called setjmp must still be live, and the saved stack
    // pointer must lie inside that context's stack.
    uint32_t sp = saved.r[kStackPointer];
    if (int32_t(target->r[kStackPointer]) > int32_t(sp)) return 0;
    if (sp < target->stack_base || sp - target->stack_base > target->stack_size) return 0;

    for (int i = top; i > depth; --i) {
        e.release_context(t.contexts[size_t(i)]);
        t.contexts[size_t(i)] = nullptr;
    }
    t.top = depth;
    // Only the machine state comes back; the program, stack and thread fields
    // of the live context stay as they are.
    target->pc = saved.pc;
    target->z = saved.z;
    target->l = saved.l;
    target->b = saved.b;
    std::memcpy(target->r, saved.r, sizeof target->r);
    call.set_context(target);
    return value ? value : 1;
}

uint32_t builtin_thd_begin(TrapCall& call) {
    ScriptEngine& e = engine_of(call);
    VmContext* parent = call.context();
    if (!parent || e.stopped()) return uint32_t(-1);
    int32_t size = call.integer(3);
    uint32_t stack = size < 1                              ? 0
                     : size < int32_t(kMinimumThreadStack) ? kMinimumThreadStack
                                                           : uint32_t(size);
    VmContext* ctx = e.clone_context(*parent, stack);
    if (!ctx) return uint32_t(-1);
    ctx->r[kStackPointer] -= 8;
    e.memory().write32(ctx->r[kStackPointer], kThreadReturnAddress);
    e.memory().write32(ctx->r[kStackPointer] + 4, call.word(1));
    ctx->pc = call.word(0);
    int slot = e.start_thread(ctx, call.word(2) != 0);
    if (slot < 0) {
        e.release_context(ctx);
        return uint32_t(-1);
    }
    for (auto& hook : e.thread_start_hooks()) hook(slot);
    return uint32_t(slot);
}

uint32_t builtin_thd_end(TrapCall& call) {
    ScriptEngine& e = engine_of(call);
    uint32_t n = call.word(0);
    if (!e.valid_thread(n)) return 0;
    VmContext* self = call.context();
    bool own = self && self->thread_index == n;
    bool ok = e.end_thread(n, own ? nullptr : &call.dispatcher().lock());
    call.set_context(self);  // other threads' built-ins ran while we waited
    return ok ? 1 : 0;
}

uint32_t builtin_thd_suspend(TrapCall& call) {
    ScriptEngine& e = engine_of(call);
    uint32_t n = call.word(0);
    if (!e.valid_thread(n)) return uint32_t(-1);
    const int32_t now = e.thread(int(n)).suspend.fetch_add(1) + 1;
    e.wake_waiters();  // the thread looks at its count again
    return uint32_t(now);
}

uint32_t builtin_thd_resume(TrapCall& call) {
    ScriptEngine& e = engine_of(call);
    uint32_t n = call.word(0);
    if (!e.valid_thread(n)) return uint32_t(-1);
    auto& count = e.thread(int(n)).suspend;
    int32_t now = count.load();
    if (now < 1) return 0;
    count.store(now - 1);
    if (now == 1) e.wake_waiters();
    return uint32_t(now - 1);
}

uint32_t builtin_sleep(TrapCall& call) {
    int slot = calling_slot(call);
    if (slot < 0) return 0;
    uint32_t wake = platform::tick_count() + call.word(0);
    engine_of(call).thread(slot).wake_time = wake ? wake : 1;  // 0 means "not sleeping"
    notice(call.machine());
    return 1;
}

constexpr TrapBinding kBindings[] = {
    {"jump", builtin_jump},
    {"call", builtin_call},
    {"exit", builtin_exit},
    {"setjmp", builtin_setjmp},
    {"longjmp", builtin_longjmp},
    {"thd_begin", builtin_thd_begin},
    {"thd_end", builtin_thd_end},
    {"thd_suspend", builtin_thd_suspend},
    {"thd_resume", builtin_thd_resume},
    {"sleep", builtin_sleep},
};

}  // namespace

std::span<const TrapBinding> thread_builtins() {
    return kBindings;
}

}  // namespace tob
