// The numeric built-ins: random numbers, integer and table trigonometry, the
// float functions on single-precision bit patterns, and the interpolation
// formulas. Float results are computed in double and rounded to single.
#include <cmath>

#include "platform/platform.h"
#include "runtime/interpolate.h"
#include "runtime/math_tables.h"
#include "runtime/random_generator.h"
#include "runtime/runtime.h"
#include "vm/trap.h"

namespace tob {
namespace {

// Largest 24-bit value: `random` maps the low 24 bits of a draw onto [0, 1].
constexpr uint32_t kRandomMantissaMask = 0xFFFFFF;
constexpr uint32_t kRandMask = 0x7FFFFFFF;

uint32_t result(double v) {
    return TrapCall::from_float(float(v));
}
double arg(const TrapCall& call, int i) {
    return double(call.real(i));
}

uint32_t builtin_srand(TrapCall& call) {
    uint32_t seed = call.word(0);
    script_random().seed(seed ? seed : platform::tick_count());
    return 1;
}

uint32_t builtin_rand(TrapCall&) {
    return script_random().next() & kRandMask;
}

// Declared with one unused argument word, which is accepted and ignored.
uint32_t builtin_random(TrapCall&) {
    return result(double(script_random().next() & kRandomMantissaMask) /
                  double(kRandomMantissaMask));
}

uint32_t builtin_abs(TrapCall& call) {
    int32_t n = call.integer(0);
    // Negated as unsigned: the most negative value stays itself, without overflow.
    return n < 1 ? 0u - uint32_t(n) : uint32_t(n);
}

uint32_t builtin_sgn(TrapCall& call) {
    int32_t n = call.integer(0);
    return uint32_t(n > 0 ? 1 : n < 0 ? -1 : 0);
}

uint32_t builtin_tsin(TrapCall& call) {
    return uint32_t(table_sin(call.integer(0)));
}
uint32_t builtin_tcos(TrapCall& call) {
    return uint32_t(table_cos(call.integer(0)));
}
uint32_t builtin_tatan(TrapCall& call) {
    return uint32_t(table_atan(call.integer(0), call.integer(1)));
}

uint32_t builtin_pow(TrapCall& call) {
    return result(std::pow(arg(call, 0), arg(call, 1)));
}

uint32_t builtin_bezier(TrapCall& call) {
    return result(bezier(arg(call, 0), arg(call, 1), arg(call, 2), arg(call, 3)));
}
uint32_t builtin_neville(TrapCall& call) {
    return result(neville(arg(call, 0), arg(call, 1), arg(call, 2), arg(call, 3)));
}
uint32_t builtin_linear(TrapCall& call) {
    return result(linear(arg(call, 0), arg(call, 1), arg(call, 2)));
}

uint32_t builtin_fabs(TrapCall& call) {
    return result(std::fabs(arg(call, 0)));
}
uint32_t builtin_sqrt(TrapCall& call) {
    return result(std::sqrt(arg(call, 0)));
}
uint32_t builtin_log(TrapCall& call) {
    return result(std::log(arg(call, 0)));
}
uint32_t builtin_exp(TrapCall& call) {
    return result(std::exp(arg(call, 0)));
}
uint32_t builtin_floor(TrapCall& call) {
    return result(std::floor(arg(call, 0)));
}
uint32_t builtin_ceil(TrapCall& call) {
    return result(std::ceil(arg(call, 0)));
}
uint32_t builtin_sin(TrapCall& call) {
    return result(std::sin(arg(call, 0)));
}
uint32_t builtin_cos(TrapCall& call) {
    return result(std::cos(arg(call, 0)));
}
uint32_t builtin_tan(TrapCall& call) {
    return result(std::tan(arg(call, 0)));
}
uint32_t builtin_asin(TrapCall& call) {
    return result(std::asin(arg(call, 0)));
}
uint32_t builtin_acos(TrapCall& call) {
    return result(std::acos(arg(call, 0)));
}
uint32_t builtin_atan(TrapCall& call) {
    return result(std::atan(arg(call, 0)));
}

constexpr TrapBinding kBindings[] = {
    {"srand", builtin_srand},
    {"rand", builtin_rand, TrapEffects::NoMemoryWrites},
    {"random", builtin_random, TrapEffects::NoMemoryWrites},
    {"abs", builtin_abs, TrapEffects::Pure},
    {"sgn", builtin_sgn, TrapEffects::Pure},
    {"tsin", builtin_tsin, TrapEffects::Pure},
    {"tcos", builtin_tcos, TrapEffects::Pure},
    {"tatan", builtin_tatan, TrapEffects::Pure},
    {"fabs", builtin_fabs, TrapEffects::Pure},
    {"sqrt", builtin_sqrt, TrapEffects::Pure},
    {"pow", builtin_pow, TrapEffects::Pure},
    {"log", builtin_log, TrapEffects::Pure},
    {"exp", builtin_exp, TrapEffects::Pure},
    {"floor", builtin_floor, TrapEffects::Pure},
    {"ceil", builtin_ceil, TrapEffects::Pure},
    {"sin", builtin_sin, TrapEffects::Pure},
    {"cos", builtin_cos, TrapEffects::Pure},
    {"tan", builtin_tan, TrapEffects::Pure},
    {"asin", builtin_asin, TrapEffects::Pure},
    {"acos", builtin_acos, TrapEffects::Pure},
    {"atan", builtin_atan, TrapEffects::Pure},
    {"bezier", builtin_bezier},
    {"neville", builtin_neville},
    {"linear", builtin_linear},
};

}  // namespace

std::span<const TrapBinding> math_builtins() {
    return kBindings;
}

void seed_script_random(uint32_t seed) {
    script_random().seed(seed);
}

void init_math() {
    sine_table();
    atan_table();
}

void shutdown_math() {}

}  // namespace tob
