// The trap table and the trap dispatcher: how compiled scripts reach the
// engine's built-ins. A script calls a built-in through a stub `trap n; ret`;
// the dispatcher serialises built-in calls under one lock, hands the handler
// the argument words on the script stack, and stores its result in r0.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vm/interpreter.h"
#include "vm/script_memory.h"
#include "vm/vm_context.h"

namespace tob {

inline constexpr uint32_t kTrapCount = 314;

// What the engine knows about each built-in, independent of its handler.
struct TrapInfo {
    uint16_t number;
    const char* name;
    int32_t argc;   // argument words; -1 for a variable count (never checked)
    uint32_t fail;  // result when the built-in fails or is not available
    const char* declaration;
};
extern const std::array<TrapInfo, kTrapCount> kTrapInfo;

// Trap number of a built-in, or -1.
int trap_number(std::string_view name);

// The declarations header scripts include: a `#trap` line before each
// declaration, in table order.
std::string builtins_header();

class TrapDispatcher;
class TrapCall;
class ScriptEngine;
using TrapHandler = uint32_t (*)(TrapCall& call);

// What a handler does besides reading its argument words (default: anything).
// The interpreter keeps its decoded code across a built-in that never writes
// script memory, and the dispatcher runs a pure one without the trap lock.
enum class TrapEffects : uint8_t {
    Any,             // engine state, script memory, the running context
    NoMemoryWrites,  // engine state (under the trap lock), but no script memory
                     // write and no change of context
    Pure,            // reads script memory only: no engine state, no report,
                     // no register but r7 (through the argument reads)
};

struct TrapBinding {
    const char* name;
    TrapHandler handler;
    TrapEffects effects = TrapEffects::Any;
};

// A built-in family: a name for reports and its handlers by built-in name.
struct BuiltinFamily {
    const char* name;
    std::span<const TrapBinding> (*bindings)();
};

// What binding every family found wrong; empty lists when all is well.
struct BindReport {
    std::vector<std::string> unknown;    // "family: name" that no built-in has
    std::vector<std::string> duplicate;  // "family: name" bound by an earlier family too
    std::vector<std::string> unbound;    // built-ins no family bound
    bool ok() const { return unknown.empty() && duplicate.empty() && unbound.empty(); }
    // One line per problem, for the developer who broke the list.
    std::string describe() const;
};

// The handler of built-ins whose family is not built yet: it returns the
// failure value, and binding it tells "not built" apart from "forgotten".
uint32_t builtin_not_built(TrapCall& call);

// Handlers by trap number. Every entry starts as an unbound stub that returns
// the built-in's failure value; each family binds its own handlers by name.
class TrapTable {
  public:
    TrapTable();
    // False when no built-in has that name.
    bool bind(std::string_view name, TrapHandler handler, TrapEffects effects = TrapEffects::Any);
    // Binds one family's list; returns the number of names that were unknown.
    int bind_all(std::span<const TrapBinding> bindings);
    // Binds every family and reports unknown names, names bound twice and
    // built-ins left unbound.
    BindReport bind_families(std::span<const BuiltinFamily> families);
    TrapHandler handler(uint32_t number) const { return handlers_[number]; }
    TrapEffects effects(uint32_t number) const { return effects_[number]; }
    // True while no family has bound the built-in.
    bool is_stub(uint32_t number) const;

  private:
    std::array<TrapHandler, kTrapCount> handlers_;
    std::array<TrapEffects, kTrapCount> effects_{};
};

// One built-in call in progress: argument access and the calling context.
// Arguments that lie outside the caller's stack read as 0; pointers are
// translated and checked through script memory, never used raw.
class TrapCall {
  public:
    TrapCall(TrapDispatcher& dispatcher, uint32_t number, VmContext& caller);
    // The same with the caller's stack pointer given (the context holds it too).
    TrapCall(TrapDispatcher& dispatcher, uint32_t number, VmContext& caller, ScriptAddr sp);

    uint32_t number() const { return number_; }
    const TrapInfo& info() const { return kTrapInfo[number_]; }
    TrapDispatcher& dispatcher() { return dispatcher_; }
    Machine& machine();
    ScriptMemory& memory();

    // The context whose r0 receives the result; `jump` and `longjmp` replace it.
    VmContext* context() const;
    void set_context(VmContext* ctx);
    // The context that executed the trap.
    VmContext& caller() { return caller_; }

    // Argument word i (0 = first), as the various script types.
    uint32_t word(int i) const;
    int32_t integer(int i) const { return int32_t(word(i)); }
    float real(int i) const;
    ScriptAddr address(int i) const { return word(i); }
    // Argument words first, first + 1, ... into `out`, with one range check;
    // words outside the caller's stack read as 0, as with `word`.
    void words(int first, std::span<uint32_t> out) const;
    // Address of argument word i itself (for variable-argument built-ins).
    ScriptAddr word_address(int i) const { return args_ + 4u * uint32_t(i); }
    // Number of argument words available on the caller's stack from word 0 up.
    uint32_t words_on_stack() const;
    // Words the caller pushed, read from its clean-up instruction (0 without one).
    int32_t pushed_words() const;

    // Argument i as a pointer to `len` bytes of script memory; nullptr when any
    // byte is outside it.
    uint8_t* pointer(int i, uint32_t len) const { return memory_.host(word(i), len); }
    // Argument i as a zero-terminated CP932 string; nullopt for a bad pointer.
    std::optional<std::string_view> string(int i, uint32_t max_len = 1u << 20) const {
        return memory_.c_string(word(i), max_len);
    }

    // A float result travels as its bit pattern.
    static uint32_t from_float(float f);

  private:
    TrapDispatcher& dispatcher_;
    ScriptMemory& memory_;
    uint32_t number_;
    VmContext& caller_;
    ScriptAddr args_;
};

// Argument reads are in every built-in call: inline.
inline uint32_t TrapCall::words_on_stack() const {
    uint64_t top = uint64_t(caller_.stack_base) + caller_.stack_size;
    if (args_ < caller_.stack_base || args_ > top) return 0;
    return uint32_t((top - args_) / 4);
}

inline uint32_t TrapCall::word(int i) const {
    if (i < 0 || uint32_t(i) >= words_on_stack()) return 0;
    uint32_t v = 0;
    memory_.read32(args_ + 4u * uint32_t(i), v);
    return v;
}

// Installs itself as the machine's trap hook. Owns the trap lock and the
// current context; `engine` is for the layers above to find their state.
class TrapDispatcher final : public TrapHook {
  public:
    TrapDispatcher(Machine& machine, const TrapTable& table);
    ~TrapDispatcher();

    void dispatch(uint32_t number, VmContext& ctx);
    bool leaves_memory(uint32_t number) const override {
        return number < kTrapCount && table_.effects(number) != TrapEffects::Any;
    }
    bool pure(uint32_t number) const override {
        return number < kTrapCount && table_.effects(number) == TrapEffects::Pure;
    }
    std::optional<uint32_t> call_if_pure(Machine& m, uint32_t number, VmContext& ctx,
                                         uint32_t sp) override;
    // Makes this dispatcher the machine's trap hook (done on construction).
    void install();

    Machine& machine() { return machine_; }
    std::mutex& lock() { return lock_; }
    // Threads blocked waiting for the trap lock right now.
    int lock_waiters() const { return lock_waiters_.load(std::memory_order_relaxed); }
    VmContext* current() const { return current_; }
    void set_current(VmContext* ctx) { current_ = ctx; }

    // The argument-count check (the `DebugMode` setting).
    void set_check_arguments(bool on) { check_arguments_ = on; }
    bool check_arguments() const { return check_arguments_; }

    ScriptEngine* engine = nullptr;

  private:
    void trap(Machine& m, uint32_t number, VmContext& ctx) override;
    int32_t counted_arguments(const VmContext& ctx) const;

    Machine& machine_;
    const TrapTable& table_;
    std::mutex lock_;
    std::atomic<int> lock_waiters_{0};
    VmContext* current_ = nullptr;
    std::atomic<bool> check_arguments_{false};
};

// Every built-in call makes one: inline.
inline TrapCall::TrapCall(TrapDispatcher& dispatcher, uint32_t number, VmContext& caller,
                          ScriptAddr sp)
    : dispatcher_(dispatcher),
      memory_(*dispatcher.machine().memory),
      number_(number),
      caller_(caller),
      args_(sp + 4) {}

// Words pushed by the caller whose return address is `ret`: the byte count of
// the `add r7,$4n` that follows the call, divided by 4; 0 without one.
int32_t pushed_words_at(const ScriptMemory& mem, ScriptAddr ret);

}  // namespace tob
