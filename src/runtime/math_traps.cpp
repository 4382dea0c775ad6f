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

uint32_t trap_srand(TrapCall& call) {
    uint32_t seed = call.word(0);
    script_random().seed(seed ? seed : platform::tick_count());
    return 1;
}

uint32_t trap_rand(TrapCall&) {
    return script_random().next() & kRandMask;
}

// Declared with one unused argument word, which is accepted and ignored.
uint32_t trap_random(TrapCall&) {
    return result(double(script_random().next() & kRandomMantissaMask) / double(kRandomMantissaMask));
}

uint32_t trap_abs(TrapCall& call) {
    int32_t n = call.integer(0);
    // Negated as unsigned: the most negative value stays itself, without overflow.
    return n < 1 ? 0u - uint32_t(n) : uint32_t(n);
}

uint32_t trap_sgn(TrapCall& call) {
    int32_t n = call.integer(0);
    return uint32_t(n > 0 ? 1 : n < 0 ? -1 : 0);
}

uint32_t trap_tsin(TrapCall& call) {
    return uint32_t(table_sin(call.integer(0)));
}
uint32_t trap_tcos(TrapCall& call) {
    return uint32_t(table_cos(call.integer(0)));
}
uint32_t trap_tatan(TrapCall& call) {
    return uint32_t(table_atan(call.integer(0), call.integer(1)));
}

template <double (*F)(double)>
uint32_t unary(TrapCall& call) {
    return result(F(arg(call, 0)));
}

uint32_t trap_pow(TrapCall& call) {
    return result(std::pow(arg(call, 0), arg(call, 1)));
}

uint32_t trap_bezier(TrapCall& call) {
    return result(bezier(arg(call, 0), arg(call, 1), arg(call, 2), arg(call, 3)));
}
uint32_t trap_neville(TrapCall& call) {
    return result(neville(arg(call, 0), arg(call, 1), arg(call, 2), arg(call, 3)));
}
uint32_t trap_linear(TrapCall& call) {
    return result(linear(arg(call, 0), arg(call, 1), arg(call, 2)));
}

double f_fabs(double x) {
    return std::fabs(x);
}
double f_sqrt(double x) {
    return std::sqrt(x);
}
double f_log(double x) {
    return std::log(x);
}
double f_exp(double x) {
    return std::exp(x);
}
double f_floor(double x) {
    return std::floor(x);
}
double f_ceil(double x) {
    return std::ceil(x);
}
double f_sin(double x) {
    return std::sin(x);
}
double f_cos(double x) {
    return std::cos(x);
}
double f_tan(double x) {
    return std::tan(x);
}
double f_asin(double x) {
    return std::asin(x);
}
double f_acos(double x) {
    return std::acos(x);
}
double f_atan(double x) {
    return std::atan(x);
}

}  // namespace

extern const TrapBinding kMathTraps[] = {
    {"srand", trap_srand},   {"rand", trap_rand},       {"random", trap_random},
    {"abs", trap_abs},       {"sgn", trap_sgn},         {"tsin", trap_tsin},
    {"tcos", trap_tcos},     {"tatan", trap_tatan},     {"fabs", unary<f_fabs>},
    {"sqrt", unary<f_sqrt>}, {"pow", trap_pow},         {"log", unary<f_log>},
    {"exp", unary<f_exp>},   {"floor", unary<f_floor>}, {"ceil", unary<f_ceil>},
    {"sin", unary<f_sin>},   {"cos", unary<f_cos>},     {"tan", unary<f_tan>},
    {"asin", unary<f_asin>}, {"acos", unary<f_acos>},   {"atan", unary<f_atan>},
    {"bezier", trap_bezier}, {"neville", trap_neville}, {"linear", trap_linear},
};
extern const size_t kMathTrapCount = std::size(kMathTraps);

void init_math() {
    sine_table();
    atan_table();
}

void shutdown_math() {}

}  // namespace tob
