// The interpreter: runs the byte code of one VmContext for one time slice of at
// most 255 instructions, and owns the machine's run-time errors and stop flag.
// Every instruction fetch, load and store is bounds-checked against script memory.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "vm/script_memory.h"
#include "vm/vm_context.h"

namespace tob {

enum class RuntimeError : int {
    DivideByZero = 0,
    ProgramOverrun = 1,
    StackOverrun = 2,
    IllegalInstruction = 3
};

// The message of a run-time error (UTF-8), as the error report shows it.
const char* runtime_error_message(RuntimeError e);

// Instructions one slice runs at most; a `trap` ends the slice earlier.
inline constexpr uint32_t kSliceBudget = 255;

struct Machine;

// Serves the machine's `trap n` instructions (the trap dispatcher, or a test's
// own); it may replace contexts.
class TrapHook {
  public:
    virtual void trap(Machine& m, uint32_t number, VmContext& ctx) = 0;
    // True when built-in `number` writes nothing in script memory, so that
    // decoded code stays valid across the call. Unknown: false.
    virtual bool leaves_memory(uint32_t /*number*/) const { return false; }
    // True when built-in `number` reads only the stack pointer of the context
    // (its arguments) and script memory, writes nothing but r0 (and, for a
    // call that fails its checks, the context's state), and never replaces
    // the context: the interpreter then hands over only r7 and takes back
    // only r0. Implies leaves_memory. Unknown: false.
    virtual bool pure(uint32_t /*number*/) const { return false; }
    // Runs built-in `number` when it is pure, in one call, with the stack
    // pointer `sp` (which it stores in the context too): its result, also in
    // the context's r0; nothing, and nothing done, when it is not pure.
    virtual std::optional<uint32_t> call_if_pure(Machine& m, uint32_t number, VmContext& ctx,
                                                 uint32_t sp);

  protected:
    ~TrapHook() = default;
};

// Knows whether code at an address belongs to a loaded program (the script
// engine); asked only for calls that leave the calling program.
class LiveCode {
  public:
    virtual bool code_alive(uint32_t addr) const = 0;

  protected:
    ~LiveCode() = default;
};

// Hears that the stop flag was raised (the script engine, whose waiting
// threads must see it at once).
class StopListener {
  public:
    virtual void machine_stopped() = 0;

  protected:
    ~StopListener() = default;
};

struct Machine {
    ScriptMemory* memory = nullptr;
    std::atomic<uint32_t> stop{0};  // the global stop flag
    // A copy of the stop flag in script memory for plug-ins (0: none); kept
    // by `set_stop`.
    std::atomic<ScriptAddr> stop_word{0};
    // Serves `trap n`; unset, a trap does nothing but end the slice.
    TrapHook* trap_hook = nullptr;
    // Unset, every call target is accepted.
    const LiveCode* live_code = nullptr;
    // Told after `set_stop` raised the stop flag. Unset: nobody is told.
    StopListener* stop_listener = nullptr;
    // Advanced (by `notice`) after every change that may end a thread's run
    // of slices: the thread loop then looks at everything again.
    std::atomic<uint32_t> attention{0};
};

// After a change a running thread must look at between its slices.
inline void notice(Machine& m) {
    m.attention.fetch_add(1, std::memory_order_release);
}

// Asked when a slice has used its whole budget whether the next slice may
// begin at once (the script thread's loop says yes while nothing it looks at
// between slices has changed). Going on saves the return to the caller and
// the call back; the slices run are the same as with one call per slice.
class SliceGate {
  public:
    virtual bool next_slice() = 0;
    // The same after a slice that ended with a built-in call, asked before
    // anything touches `ctx`: false unless `ctx` is still the context to run
    // (the call may have replaced or freed it).
    virtual bool after_call(const VmContext& ctx) = 0;

  protected:
    ~SliceGate() = default;
};

// Runs one slice of `ctx`: nothing when the stop flag is set or the context is
// not running; otherwise up to 255 instructions, ending early after a `trap`,
// when the context finishes, or when the stop flag becomes set (it is polled
// between runs of at most 32 instructions). With a gate, a slice that used its
// budget or called a built-in goes on as the next one while the gate agrees.
// Always returns 1.
// Every fetch, load and store must lie in script memory, else run-time error 1;
// a register byte naming r8..r15 in either nibble is an illegal instruction.
// A failing instruction leaves pc at its first byte.
int run_slice(Machine& m, VmContext& ctx, SliceGate* gate = nullptr);

// `run_slice` keeps decoded code per OS thread. The script's own stores into it
// are seen at once; it is checked against the code again after every built-in
// call and at least every 256 slices, so code another script thread rewrites is
// seen within 256 slices. Host code that rewrites script code outside a built-in
// call calls this on the thread that runs the script so that its next slice
// sees the change.
void forget_decoded_code();

// The same, one instruction per dispatch: the plain reference that `run_slice`,
// which runs common instruction sequences as one step, must match in every
// observable effect (tests compare the two).
int run_slice_reference(Machine& m, VmContext& ctx, SliceGate* gate = nullptr);

// Sets the stop flag and its copy, the stop word.
void set_stop(Machine& m, uint32_t value);
// What the stop word holds now (a plug-in may have written it); 0 without one.
uint32_t read_stop_word(const Machine& m);

// Reports the error's message at level 1, then sets the context's state to 2
// and the stop flag.
void raise_runtime_error(Machine& m, VmContext& ctx, RuntimeError e);

}  // namespace tob
