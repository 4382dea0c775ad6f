// Interpreter speed on hand-assembled byte code (a counting loop, an array sum
// and recursive Fibonacci), side by side with the same programs in Lua 5.4.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "vm/interpreter.h"
#include "vm/opcodes.h"

#ifdef TOB_BENCH_LUA
#include <lua.hpp>
#endif

using namespace tob;

namespace {

// Slices follow one another as in the engine's thread loop when nothing else
// wants the processor (without the loop's own checks between them).
struct BackToBack final : SliceGate {
    bool next_slice() override { return true; }
    bool after_call(const VmContext&) override { return true; }
};

// Just enough of an assembler for three programs; `at` gives the position of
// an operand to patch once its target is known.
class Code {
  public:
    explicit Code(ScriptAddr origin) : origin_(origin) {}
    ScriptAddr here() const { return origin_ + ScriptAddr(bytes.size()); }
    size_t at() const { return bytes.size() - 4; }
    Code& o(Op op) { return emit(encode(op)); }
    Code& r(Op op, uint32_t d, uint32_t s) { return emit(encode(op, reg_byte(d, s))); }
    Code& ri(Op op, uint32_t d, uint32_t imm, uint32_t s = 0) {
        return emit(encode(op, reg_byte(d, s), imm));
    }
    Code& i(Op op, uint32_t imm) { return emit(encode(op, 0, imm)); }
    void patch(size_t at, uint32_t v) {
        for (int k = 0; k < 4; ++k) bytes[at + size_t(k)] = uint8_t(v >> (8 * k));
    }
    std::vector<uint8_t> bytes;

  private:
    Code& emit(const Instruction& ins) {
        bytes.insert(bytes.end(), ins.bytes.begin(), ins.bytes.begin() + ins.size);
        return *this;
    }
    ScriptAddr origin_;
};

class Vm {
  public:
    static constexpr uint32_t kStackSize = 64 << 10;
    static constexpr uint32_t kDataWords = 1024;

    Vm() : memory_(64u << 20) {
        m_.memory = &memory_;
        program = memory_.allocate(4096, BlockKind::Program);
        stack_ = memory_.allocate(kStackSize, BlockKind::Stack);
        data = memory_.allocate(4 * kDataWords, BlockKind::ScriptHeap);
        for (uint32_t k = 0; k < kDataWords; ++k) memory_.write32(data + 4 * k, k);
    }

    void load(const Code& c) { memory_.copy_in(program, c.bytes.data(), uint32_t(c.bytes.size())); }
    // A built-in that does nothing: what remains is the cost of ending the slice.
    struct QuietTraps : TrapHook {
        void trap(Machine&, uint32_t, VmContext&) override {}
    } quiet_;
    void quiet_traps() { m_.trap_hook = &quiet_; }

    // Runs the program from its start to its end; false on a run-time error.
    bool run() {
        ctx_ = VmContext{};
        ctx_.pc = ctx_.program_base = program;
        ctx_.stack_base = stack_;
        ctx_.stack_size = kStackSize;
        ctx_.r[kStackPointer] = stack_ + kStackSize;
        BackToBack gate;
        while (ctx_.state == 0) run_slice(m_, ctx_, &gate);
        return ctx_.state == uint8_t(ContextState::Finished);
    }
    uint32_t r0() const { return ctx_.r[0]; }

    ScriptAddr program = 0, data = 0;

  private:
    ScriptMemory memory_;
    Machine m_;
    VmContext ctx_;
    ScriptAddr stack_ = 0;
};

// main: r0 = 0; do r0 += 1 while (r0 < n). 3 instructions per iteration.
Code counting_loop(ScriptAddr at, uint32_t n) {
    Code c(at);
    c.i(Op::Enter, 0).ri(Op::MovImm, 0, 0).ri(Op::MovImm, 1, n);
    const ScriptAddr loop = c.here();
    c.ri(Op::AddImm, 0, 1).r(Op::Cmp, 0, 1).i(Op::Jl, loop);
    c.i(Op::Leave, 0);
    return c;
}

// main: r0 = 0; do { r0 += 1; push r0; trap; pop } while (r0 < n): a built-in
// call every 6 instructions, as a game's drawing loop makes them.
Code trap_loop(ScriptAddr at, uint32_t n) {
    Code c(at);
    c.i(Op::Enter, 0).ri(Op::MovImm, 0, 0).ri(Op::MovImm, 1, n);
    const ScriptAddr loop = c.here();
    c.ri(Op::AddImm, 0, 1).r(Op::Push, 0, 0).i(Op::Trap, 5).ri(Op::AddImm, 7, 4, 7);
    c.r(Op::Cmp, 0, 1).i(Op::Jl, loop);
    c.i(Op::Leave, 0);
    return c;
}

// main: sum the words of an array through a pointer. 5 instructions per word.
Code array_sum(ScriptAddr at, ScriptAddr array, uint32_t words) {
    Code c(at);
    c.i(Op::Enter, 0)
        .ri(Op::MovImm, 0, 0)
        .ri(Op::MovImm, 1, array)
        .ri(Op::MovImm, 2, array + 4 * words);
    const ScriptAddr loop = c.here();
    c.r(Op::Load32Ind, 3, 1).r(Op::Add, 0, 3).ri(Op::AddImm, 1, 4).r(Op::Cmp, 1, 2).i(Op::Jb, loop);
    c.i(Op::Leave, 0);
    return c;
}

// main calls fib(n); fib(k) = k < 2 ? k : fib(k - 1) + fib(k - 2), laid out as
// compiled code would be: frame loads, pushed arguments, clean-up adds.
Code fibonacci(ScriptAddr at, uint32_t n) {
    Code c(at);
    c.i(Op::Enter, 0).i(Op::PushImm, n).i(Op::Call, 0);
    const size_t call_main = c.at();
    c.ri(Op::AddImm, 7, 4, 7).i(Op::Leave, 0);
    const ScriptAddr fib = c.here();
    c.patch(call_main, fib);
    c.i(Op::Enter, 0).ri(Op::Load32Frame, 1, 8, 6).ri(Op::CmpImm, 1, 2).i(Op::Jl, 0);
    const size_t to_small = c.at();
    for (int k = 0; k < 2; ++k) {
        c.ri(Op::SubImm, 1, 1).r(Op::Push, 1, 1).i(Op::Call, fib).ri(Op::AddImm, 7, 4, 7);
        if (k == 0) c.r(Op::Mov, 2, 0);
    }
    c.r(Op::Add, 0, 2).i(Op::Jmp, 0);
    const size_t to_done = c.at();
    c.patch(to_small, c.here());
    c.r(Op::Mov, 0, 1);
    c.patch(to_done, c.here());
    c.i(Op::Leave, 0).o(Op::Ret);
    return c;
}

// Instructions `fibonacci` executes inside fib(k): 7 for k < 2, else 17 plus
// both calls; main adds 5.
uint64_t fib_instructions(uint32_t k) {
    return k < 2 ? 7 : 17 + fib_instructions(k - 1) + fib_instructions(k - 2);
}

// items/s: loop iterations, array words or fib calls, comparable across machines;
// instr/s: byte-code instructions (ours only).
uint64_t fib_calls(uint32_t k) {
    return k < 2 ? 1 : 1 + fib_calls(k - 1) + fib_calls(k - 2);
}

void report(benchmark::State& state, uint64_t instructions_per_run, uint64_t items_per_run) {
    const double runs = double(state.iterations());
    if (instructions_per_run)
        state.counters["instr/s"] =
            benchmark::Counter(runs * double(instructions_per_run), benchmark::Counter::kIsRate);
    state.counters["items/s"] =
        benchmark::Counter(runs * double(items_per_run), benchmark::Counter::kIsRate);
}

constexpr uint32_t kLoopCount = 1'000'000;
constexpr uint32_t kFibArgument = 22;

void BM_CountingLoop_Vm(benchmark::State& state) {
    Vm vm;
    vm.load(counting_loop(vm.program, kLoopCount));
    for (auto _ : state) {
        if (!vm.run() || vm.r0() != kLoopCount) state.SkipWithError("wrong result");
        benchmark::DoNotOptimize(vm.r0());
    }
    report(state, 3ull * kLoopCount + 4, kLoopCount);
}
BENCHMARK(BM_CountingLoop_Vm)->Unit(benchmark::kMillisecond);

constexpr uint32_t kTrapLoopCount = 100'000;

void BM_TrapLoop_Vm(benchmark::State& state) {
    Vm vm;
    vm.quiet_traps();
    vm.load(trap_loop(vm.program, kTrapLoopCount));
    for (auto _ : state) {
        if (!vm.run() || vm.r0() != kTrapLoopCount) state.SkipWithError("wrong result");
        benchmark::DoNotOptimize(vm.r0());
    }
    report(state, 6ull * kTrapLoopCount + 4, kTrapLoopCount);
}
BENCHMARK(BM_TrapLoop_Vm)->Unit(benchmark::kMillisecond);

void BM_ArraySum_Vm(benchmark::State& state) {
    Vm vm;
    vm.load(array_sum(vm.program, vm.data, Vm::kDataWords));
    const uint32_t want = Vm::kDataWords * (Vm::kDataWords - 1) / 2;
    for (auto _ : state) {
        if (!vm.run() || vm.r0() != want) state.SkipWithError("wrong result");
        benchmark::DoNotOptimize(vm.r0());
    }
    report(state, 5ull * Vm::kDataWords + 5, Vm::kDataWords);
}
BENCHMARK(BM_ArraySum_Vm)->Unit(benchmark::kMicrosecond);

void BM_Fibonacci_Vm(benchmark::State& state) {
    Vm vm;
    vm.load(fibonacci(vm.program, kFibArgument));
    for (auto _ : state) {
        if (!vm.run() || vm.r0() != 17711) state.SkipWithError("wrong result");
        benchmark::DoNotOptimize(vm.r0());
    }
    report(state, fib_instructions(kFibArgument) + 5, fib_calls(kFibArgument));
}
BENCHMARK(BM_Fibonacci_Vm)->Unit(benchmark::kMillisecond);

#ifdef TOB_BENCH_LUA
constexpr const char* kLuaPrograms = R"(
function count(n) local i = 0 while i < n do i = i + 1 end return i end
function fib(k) if k < 2 then return k end return fib(k - 1) + fib(k - 2) end
function sum(t) local s = 0 for i = 1, #t do s = s + t[i] end return s end
array = {} for i = 1, 1024 do array[i] = i - 1 end
)";

struct Lua {
    lua_State* L = luaL_newstate();
    Lua() {
        luaL_openlibs(L);
        luaL_dostring(L, kLuaPrograms);
    }
    ~Lua() { lua_close(L); }
    lua_Integer call(const char* fn, lua_Integer arg) {
        lua_getglobal(L, fn);
        lua_pushinteger(L, arg);
        lua_call(L, 1, 1);
        lua_Integer r = lua_tointeger(L, -1);
        lua_pop(L, 1);
        return r;
    }
    lua_Integer sum() {
        lua_getglobal(L, "sum");
        lua_getglobal(L, "array");
        lua_call(L, 1, 1);
        lua_Integer r = lua_tointeger(L, -1);
        lua_pop(L, 1);
        return r;
    }
};

void BM_CountingLoop_Lua(benchmark::State& state) {
    Lua lua;
    for (auto _ : state) {
        if (lua.call("count", kLoopCount) != kLoopCount) state.SkipWithError("wrong result");
    }
    report(state, 0, kLoopCount);
}
BENCHMARK(BM_CountingLoop_Lua)->Unit(benchmark::kMillisecond);

void BM_ArraySum_Lua(benchmark::State& state) {
    Lua lua;
    for (auto _ : state) {
        if (lua.sum() != Vm::kDataWords * (Vm::kDataWords - 1) / 2)
            state.SkipWithError("wrong result");
    }
    report(state, 0, Vm::kDataWords);
}
BENCHMARK(BM_ArraySum_Lua)->Unit(benchmark::kMicrosecond);

void BM_Fibonacci_Lua(benchmark::State& state) {
    Lua lua;
    for (auto _ : state) {
        if (lua.call("fib", kFibArgument) != 17711) state.SkipWithError("wrong result");
    }
    report(state, 0, fib_calls(kFibArgument));
}
BENCHMARK(BM_Fibonacci_Lua)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
