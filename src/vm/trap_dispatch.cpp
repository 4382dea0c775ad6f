// The trap dispatcher: number and argument-count checks, the trap lock, the
// current context, and argument access for handlers.
#include <algorithm>
#include <bit>

#include "base/error_report.h"
#include "vm/opcodes.h"
#include "vm/relaxed_access.h"
#include "vm/trap.h"

namespace tob {

int32_t pushed_words_at(const ScriptMemory& mem, ScriptAddr ret) {
    const uint8_t* p = mem.host(ret, 6);
    if (!p || p[0] != kCallCleanupOpcode || p[1] != kCallCleanupRegByte) return 0;
    uint32_t bytes =
        uint32_t(p[2]) | uint32_t(p[3]) << 8 | uint32_t(p[4]) << 16 | uint32_t(p[5]) << 24;
    return int32_t(bytes) / 4;
}

// --- TrapCall ---

TrapCall::TrapCall(TrapDispatcher& dispatcher, uint32_t number, VmContext& caller)
    : TrapCall(dispatcher, number, caller, caller.r[kStackPointer]) {}

Machine& TrapCall::machine() {
    return dispatcher_.machine();
}
ScriptMemory& TrapCall::memory() {
    return memory_;
}
VmContext* TrapCall::context() const {
    return dispatcher_.current();
}
void TrapCall::set_context(VmContext* ctx) {
    dispatcher_.set_current(ctx);
}

void TrapCall::words(int first, std::span<uint32_t> out) const {
    uint32_t on_stack = words_on_stack();
    size_t have = first < 0 || uint32_t(first) >= on_stack
                      ? 0
                      : std::min<size_t>(out.size(), on_stack - uint32_t(first));
    const uint8_t* p =
        have ? memory_.host(args_ + 4u * uint32_t(first), uint32_t(have) * 4) : nullptr;
    if (first < 0 || (have && !p)) {  // the unusual cases, word by word
        for (size_t i = 0; i < out.size(); ++i) out[i] = word(first + int(i));
        return;
    }
    for (size_t i = 0; i < have; ++i) out[i] = relaxed::load_le32(p + 4 * i);
    for (size_t i = have; i < out.size(); ++i) out[i] = 0;
}

float TrapCall::real(int i) const {
    return std::bit_cast<float>(word(i));
}

uint32_t TrapCall::from_float(float f) {
    return std::bit_cast<uint32_t>(f);
}

int32_t TrapCall::pushed_words() const {
    uint32_t ret = 0;
    if (!memory_.read32(caller_.r[kStackPointer], ret)) return 0;
    return pushed_words_at(memory_, ret);
}

// --- TrapDispatcher ---

TrapDispatcher::TrapDispatcher(Machine& machine, const TrapTable& table)
    : machine_(machine), table_(table) {
    install();
}

void TrapDispatcher::install() {
    machine_.trap_hook = this;
}

TrapDispatcher::~TrapDispatcher() {
    if (machine_.trap_hook == this) machine_.trap_hook = nullptr;
}

void TrapDispatcher::trap(Machine&, uint32_t number, VmContext& ctx) {
    dispatch(number, ctx);
}

std::optional<uint32_t> TrapDispatcher::call_if_pure(Machine&, uint32_t number, VmContext& ctx,
                                                     uint32_t sp) {
    if (!pure(number)) return std::nullopt;
    ctx.r[kStackPointer] = sp;
    if (check_arguments_.load(std::memory_order_relaxed)) {
        dispatch(number, ctx);  // counts the arguments first
        return ctx.r[0];
    }
    TrapCall call(*this, number, ctx, sp);
    const uint32_t result = table_.handler(number)(call);
    ctx.r[0] = result;
    return result;
}

int32_t TrapDispatcher::counted_arguments(const VmContext& ctx) const {
    uint32_t ret = 0;
    if (!machine_.memory->read32(ctx.r[kStackPointer], ret)) return 0;
    return pushed_words_at(*machine_.memory, ret);
}

void TrapDispatcher::dispatch(uint32_t number, VmContext& ctx) {
    auto fail = [&] {
        ctx.state = uint8_t(ContextState::Failed);
        set_stop(machine_, 1);
    };
    if (number >= kTrapCount) {
        report_error(1, "不正な命令コード - #%d", int(number));
        fail();
        return;
    }
    const TrapInfo& info = kTrapInfo[number];
    if (check_arguments_.load(std::memory_order_relaxed) && info.argc >= 0 &&
        counted_arguments(ctx) != info.argc) {
        report_error(1, "%s - 引数の数が違います。", info.name);
        fail();
        // The handler is not run: it would read words that were never pushed.
        ctx.r[0] = 0;
        return;
    }
    if (table_.effects(number) == TrapEffects::Pure) {
        // It touches nothing shared but the script memory it reads: no lock,
        // and the caller stays the current context.
        TrapCall call(*this, number, ctx);
        ctx.r[0] = table_.handler(number)(call);
        return;
    }
    std::unique_lock guard(lock_, std::try_to_lock);
    if (!guard.owns_lock()) {
        // Counted, so that the holder gives way between its slices.
        lock_waiters_.fetch_add(1, std::memory_order_relaxed);
        notice(machine_);
        guard.lock();
        lock_waiters_.fetch_sub(1, std::memory_order_relaxed);
    }
    current_ = &ctx;
    TrapCall call(*this, number, ctx);
    uint32_t result = table_.handler(number)(call);
    if (current_) current_->r[0] = result;
}

}  // namespace tob
