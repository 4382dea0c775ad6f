// Differential test: seeded random integer expressions over int and unsigned
// variables, compiled and run by our compiler and machine (once with the
// variables read at run time, once written as constants so that folding does
// the work) and compared with what gcc -fwrapv computes for the same text.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "program_support.h"

using namespace tob::compiler::testing;

namespace {

constexpr uint64_t kDefaultSeed = 0x5EED2024;
constexpr int kExpressionCount = 3000;
constexpr int kBatchSize = 150;  // expressions per compiled script
constexpr int kMaxDepth = 5;
constexpr int kMaxReportedMismatches = 20;

// splitmix64: the same sequence on every standard library.
class Random {
  public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t below(uint32_t n) { return uint32_t(next() % n); }
    bool chance(uint32_t percent) { return below(100) < percent; }
    template <typename T, size_t N>
    const T& pick(const T (&items)[N]) {
        return items[below(N)];
    }

  private:
    uint64_t state_;
};

enum class Type { Int, Unsigned };

// The variables: `a` and `u` are globals, `b` and `v` locals of main.
constexpr int kVariables = 4;
constexpr const char* kVariableNames[kVariables] = {"a", "b", "u", "v"};
constexpr Type kVariableTypes[kVariables] = {Type::Int, Type::Int, Type::Unsigned, Type::Unsigned};

enum class Kind { Variable, Constant, Unary, Cast, Binary, Conditional };

struct Expr {
    Kind kind;
    Type type;
    std::string op;    // operator of Unary and Binary
    int variable = 0;  // Variable
    uint32_t value = 0;
    bool hex = false;   // how a Constant is written in the script
    bool bare = false;  // a Binary left without parentheses where precedence allows
    std::unique_ptr<Expr> a, b, c;
};
using ExprPtr = std::unique_ptr<Expr>;

ExprPtr make(Kind kind, Type type, std::string op = {}) {
    auto e = std::make_unique<Expr>();
    e->kind = kind;
    e->type = type;
    e->op = std::move(op);
    return e;
}

// Values the checks should meet often: edges of the signed and unsigned
// ranges, shift-sized numbers, small numbers of both signs.
uint32_t interesting_value(Random& rng) {
    static constexpr uint32_t kEdges[] = {
        0,          1,          2,          3,          7,          31,         32,
        33,         0x7FFF,     0x8000,     0xFFFF,     0x10000,    0x7FFFFFFF, 0x80000000,
        0x80000001, 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFF9, 0xFFFF8000, 0x55555555, 0xAAAAAAAA};
    switch (rng.below(4)) {
        case 0:
            return rng.pick(kEdges);
        case 1:
            return uint32_t(int32_t(rng.below(41)) - 8);
        case 2:
            return uint32_t(int32_t(rng.below(2001)) - 1000);
        default:
            return uint32_t(rng.next());
    }
}

ExprPtr constant(uint32_t value, bool hex) {
    ExprPtr e = make(Kind::Constant, Type::Int);
    e->value = value;
    e->hex = hex;
    return e;
}

ExprPtr binary(const char* op, Type type, ExprPtr l, ExprPtr r) {
    ExprPtr e = make(Kind::Binary, type, op);
    e->a = std::move(l);
    e->b = std::move(r);
    return e;
}

// Both operands of an arithmetic operator are brought to one type: unsigned
// if either is (only 32-bit types occur here, so this is also C's rule).
Type common(const Expr& l, const Expr& r) {
    return l.type == Type::Unsigned || r.type == Type::Unsigned ? Type::Unsigned : Type::Int;
}

ExprPtr generate(Random& rng, int depth);

ExprPtr leaf(Random& rng) {
    if (rng.chance(60)) {
        ExprPtr e = make(Kind::Variable, Type::Int);
        e->variable = int(rng.below(kVariables));
        e->type = kVariableTypes[e->variable];
        return e;
    }
    ExprPtr e = constant(interesting_value(rng), rng.chance(50));
    if (rng.chance(25)) {
        ExprPtr cast = make(Kind::Cast, Type::Unsigned);
        cast->a = std::move(e);
        return cast;
    }
    return e;
}

ExprPtr generate_binary(Random& rng, int depth) {
    static constexpr const char* kOps[] = {
        "+", "-",  "*", "/",  "%",  "<<", ">>", "&",  "|", "^", "+",  "-",  "&",
        "<", "<=", ">", ">=", "==", "!=", "&&", "||", "/", "%", "<<", ">>", "*"};
    const std::string op = rng.pick(kOps);
    ExprPtr l = generate(rng, depth - 1);
    ExprPtr r = generate(rng, depth - 1);
    if (op == "<<" || op == ">>") {
        // Every shift count is masked as the machine masks it; C needs it too.
        const Type t = r->type;
        r = binary("&", t, std::move(r), constant(31, false));
    } else if (op == "/" || op == "%") {
        // No division by zero and no INT_MIN / -1: either the divisor is made
        // positive and odd, or both sides are made odd (an odd dividend is
        // never INT_MIN, an odd divisor never zero).
        static constexpr uint32_t kMasks[] = {0x7FFFFFFF, 0xFFFF, 0xFF, 0xF, 7};
        if (rng.chance(50)) {
            const Type t = r->type;
            r = binary("&", t, std::move(r), constant(rng.pick(kMasks), rng.chance(50)));
            r = binary("|", t, std::move(r), constant(1, false));
        } else {
            const Type lt = l->type, rt = r->type;
            l = binary("|", lt, std::move(l), constant(1, false));
            r = binary("|", rt, std::move(r), constant(1, false));
        }
    }
    const bool logical = op == "<" || op == "<=" || op == ">" || op == ">=" || op == "==" ||
                         op == "!=" || op == "&&" || op == "||";
    const Type type = logical ? Type::Int : common(*l, *r);
    ExprPtr e = binary(op.c_str(), type, std::move(l), std::move(r));
    e->bare = rng.chance(50);
    return e;
}

ExprPtr generate(Random& rng, int depth) {
    if (depth <= 0 || rng.chance(20)) return leaf(rng);
    const uint32_t choice = rng.below(100);
    if (choice < 70) return generate_binary(rng, depth);
    if (choice < 85) {
        static constexpr const char* kUnary[] = {"-", "~", "!"};
        const std::string op = rng.pick(kUnary);
        ExprPtr a = generate(rng, depth - 1);
        ExprPtr e = make(Kind::Unary, op == "!" ? Type::Int : a->type, op);
        e->a = std::move(a);
        return e;
    }
    if (choice < 92) {
        ExprPtr e = make(Kind::Cast, rng.chance(50) ? Type::Int : Type::Unsigned);
        e->a = generate(rng, depth - 1);
        return e;
    }
    // The type of ?: is that of the part after "?" when the part after ":" is
    // int, otherwise unsigned: for int and unsigned the same as in C.
    ExprPtr e = make(Kind::Conditional, Type::Int);
    e->a = generate(rng, depth - 1);
    e->b = generate(rng, depth - 1);
    e->c = generate(rng, depth - 1);
    e->type = e->c->type == Type::Int ? e->b->type : Type::Unsigned;
    return e;
}

const char* type_name(Type t) {
    return t == Type::Int ? "int" : "unsigned";
}

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%" PRIX32, value);
    return text;
}

// A value of type int as C reads it: no hex above INT_MAX (C would make that
// constant unsigned) and no 2147483648 (C would make it a long).
std::string c_int(uint32_t value) {
    const int32_t v = int32_t(value);
    if (v == INT32_MIN) return "(-2147483647 - 1)";
    if (v < 0) return "(-" + std::to_string(-v) + ")";
    return std::to_string(v);
}

// In the script every number constant is a long, hex ones above 0x7FFFFFFF too.
std::string script_int(uint32_t value, bool as_hex) {
    if (as_hex) return hex(value);
    return c_int(value);
}

struct Values {
    uint32_t of[kVariables];
};

enum class Dialect { Script, ScriptFolded, C };

// Binary operators bind as in C: higher binds tighter.
int precedence(const std::string& op) {
    static const std::pair<const char*, int> kLevels[] = {
        {"*", 13},  {"/", 13}, {"%", 13},  {"+", 12}, {"-", 12},  {"<<", 11},
        {">>", 11}, {"<", 10}, {"<=", 10}, {">", 10}, {">=", 10}, {"==", 9},
        {"!=", 9},  {"&", 8},  {"^", 7},   {"|", 6},  {"&&", 5},  {"||", 4}};
    for (const auto& [name, level] : kLevels)
        if (op == name) return level;
    return 0;
}

// `enclosed`: whether the caller needs the expression as one operand in
// parentheses; a Binary may do without them when the caller says so.
void render(const Expr& e, Dialect d, const Values& values, std::string& out,
            bool enclosed = true) {
    auto sub = [&](const Expr& x) { render(x, d, values, out); };
    switch (e.kind) {
        case Kind::Variable:
            if (d != Dialect::ScriptFolded) {
                out += kVariableNames[e.variable];
            } else if (e.type == Type::Int) {
                out += script_int(values.of[e.variable], e.variable % 2 == 0);
            } else {
                out += "((unsigned)" + hex(values.of[e.variable]) + ")";
            }
            return;
        case Kind::Constant:
            out += d == Dialect::C ? c_int(e.value) : script_int(e.value, e.hex);
            return;
        case Kind::Unary:
            out += "(" + e.op;
            sub(*e.a);
            out += ")";
            return;
        case Kind::Cast:
            out += "((";
            out += type_name(e.type);
            out += ")";
            sub(*e.a);
            out += ")";
            return;
        case Kind::Conditional:
            out += "(";
            sub(*e.a);
            out += " ? ";
            sub(*e.b);
            out += " : ";
            sub(*e.c);
            out += ")";
            return;
        case Kind::Binary:
            break;
    }
    const bool is_unsigned = e.type == Type::Unsigned;
    if (d == Dialect::C && e.op == "<<") {
        // The type of a shift comes from both operands here, not from the left
        // one alone as in C; the left shift is done on unsigned in C so that no
        // signed overflow happens, and converted back.
        out += is_unsigned ? "((unsigned)" : "((int)((unsigned)";
        sub(*e.a);
        out += " << ";
        sub(*e.b);
        out += is_unsigned ? ")" : "))";
        return;
    }
    if (d == Dialect::C && e.op == ">>") {
        // As above: an unsigned count makes the shift logical.
        out += is_unsigned ? "((unsigned)" : "((int)";
        sub(*e.a);
        out += " >> ";
        sub(*e.b);
        out += ")";
        return;
    }
    if (d == Dialect::C && is_unsigned && (e.op == "/" || e.op == "%")) {
        // The machine divides signed only, unsigned operands too.
        out += "((unsigned)((int)";
        sub(*e.a);
        out += " " + e.op + " (int)";
        sub(*e.b);
        out += "))";
        return;
    }
    // Left-associative: an operand of the same level stays bare on the left only.
    const int level = precedence(e.op);
    auto bare = [&](const Expr& x, bool left) {
        if (x.kind != Kind::Binary || !x.bare) return false;
        return left ? precedence(x.op) >= level : precedence(x.op) > level;
    };
    if (enclosed) out += "(";
    render(*e.a, d, values, out, !bare(*e.a, true));
    out += " " + e.op + " ";
    render(*e.b, d, values, out, !bare(*e.b, false));
    if (enclosed) out += ")";
}

std::string render(const Expr& e, Dialect d, const Values& values) {
    std::string out;
    render(e, d, values, out);
    return out;
}

struct Case {
    ExprPtr expr;
    Values values;
    std::string script;  // with the variables
    std::string folded;  // with the variables' values written in
    std::string c;
};

std::vector<Case> generate_cases(uint64_t seed, int count) {
    Random rng(seed);
    std::vector<Case> cases;
    cases.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        Case c;
        for (uint32_t& v : c.values.of) v = interesting_value(rng);
        c.expr = generate(rng, 1 + int(rng.below(kMaxDepth)));
        c.script = render(*c.expr, Dialect::Script, c.values);
        c.folded = render(*c.expr, Dialect::ScriptFolded, c.values);
        c.c = render(*c.expr, Dialect::C, c.values);
        cases.push_back(std::move(c));
    }
    return cases;
}

std::string assignments(const Values& values, Dialect d) {
    std::string out;
    for (int i = 0; i < kVariables; ++i) {
        out += std::string(kVariableNames[i]) + " = ";
        if (kVariableTypes[i] == Type::Unsigned) {
            out += hex(values.of[i]) + (d == Dialect::C ? "u" : "");
        } else {
            out += c_int(values.of[i]);
        }
        out += "; ";
    }
    return out;
}

struct TempDir {
    std::filesystem::path path;
    TempDir() {
        char tmpl[] = "/tmp/tob_differential_XXXXXX";
        if (mkdtemp(tmpl)) path = tmpl;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
};

// All cases in one C program, built with gcc once; one result per line.
std::vector<uint32_t> run_with_gcc(const std::vector<Case>& cases, std::string& error) {
    TempDir dir;
    if (dir.path.empty()) {
        error = "no temporary directory";
        return {};
    }
    {
        std::ofstream c(dir.path / "cases.c");
        c << "#include <stdio.h>\nint a, b;\nunsigned u, v;\nint main(void) {\n";
        for (const Case& k : cases)
            c << "    " << assignments(k.values, Dialect::C) << "printf(\"%u\\n\", (unsigned)"
              << k.c << ");\n";
        c << "    return 0;\n}\n";
    }
    const std::string d = dir.path.string();
    const std::string command = "gcc -std=c11 -fwrapv -O0 -w -o '" + d + "/cases' '" + d +
                                "/cases.c' && '" + d + "/cases' > '" + d + "/results.txt'";
    if (std::system(command.c_str()) != 0) {
        error = "failed: " + command;
        return {};
    }
    std::ifstream in(dir.path / "results.txt");
    std::vector<uint32_t> results;
    unsigned long value = 0;
    while (in >> value) results.push_back(uint32_t(value));
    if (results.size() != cases.size()) error = "gcc's program gave too few results";
    return results;
}

std::string script_of(const std::vector<const std::string*>& expressions,
                      const std::vector<const Values*>& values) {
    std::string s = "#trap\nint report(int value);\nint a;\nunsigned u;\nint main() {\n";
    if (!values.empty()) s += "    int b;\n    unsigned v;\n";
    for (size_t i = 0; i < expressions.size(); ++i) {
        s += "    ";
        if (!values.empty()) s += assignments(*values[i], Dialect::Script);
        s += "report(" + *expressions[i] + ");\n";
    }
    return s + "    return 0;\n}\n";
}

// Runs one script of `report(...)` calls and gives the reported values, or
// nothing when it did not compile or run to its end.
std::optional<std::vector<uint32_t>> run_script(ProgramHarness& h, const std::string& source,
                                                size_t expected, std::string& error) {
    ProgramRun r = h.run(source);
    if (!r.compiled.ok) {
        error = r.measured.messages + r.compiled.messages;
        return std::nullopt;
    }
    if (r.state != 1 || r.traps.size() != expected) {
        error = "the script stopped after " + std::to_string(r.traps.size()) + " results";
        return std::nullopt;
    }
    std::vector<uint32_t> out;
    for (const auto& [number, value] : r.traps) out.push_back(value);
    return out;
}

}  // namespace

// Under the language's own rules and gcc's -fwrapv arithmetic, every
// expression gives the same 32 bits, whether its variables are read at run
// time or its constants are folded by the compiler.
TEST(Differential, RandomIntegerExpressionsMatchGcc) {
    uint64_t seed = kDefaultSeed;
    if (const char* text = std::getenv("TOB_DIFFERENTIAL_SEED"))
        seed = std::strtoull(text, nullptr, 0);
    SCOPED_TRACE("seed " + hex(uint32_t(seed)) + " (set TOB_DIFFERENTIAL_SEED to repeat another)");
    if (std::system("gcc --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "gcc is not available";

    const std::vector<Case> cases = generate_cases(seed, kExpressionCount);
    std::string error;
    const std::vector<uint32_t> expected = run_with_gcc(cases, error);
    ASSERT_TRUE(error.empty()) << error;

    int mismatches = 0;
    auto report_mismatch = [&](const Case& k, bool folded, uint32_t got, uint32_t want) {
        if (++mismatches > kMaxReportedMismatches) return;
        ADD_FAILURE() << (folded ? "folded: " : "run time: ") << (folded ? k.folded : k.script)
                      << "\n  with " << assignments(k.values, Dialect::Script) << "\n  gave "
                      << hex(got) << ", gcc " << hex(want) << " for " << k.c;
    };

    for (const bool folded : {false, true}) {
        ProgramHarness h;
        for (size_t start = 0; start < cases.size(); start += kBatchSize) {
            const size_t end = std::min(cases.size(), start + kBatchSize);
            std::vector<const std::string*> texts;
            std::vector<const Values*> values;
            for (size_t i = start; i < end; ++i) {
                texts.push_back(folded ? &cases[i].folded : &cases[i].script);
                if (!folded) values.push_back(&cases[i].values);
            }
            auto results = run_script(h, script_of(texts, values), end - start, error);
            if (!results) {
                // Find the expressions at fault one by one.
                for (size_t i = start; i < end; ++i) {
                    std::vector<const Values*> one;
                    if (!folded) one.push_back(values[i - start]);
                    if (!run_script(h, script_of({texts[i - start]}, one), 1, error))
                        ADD_FAILURE() << *texts[i - start] << "\n  " << error;
                }
                continue;
            }
            for (size_t i = start; i < end; ++i)
                if ((*results)[i - start] != expected[i])
                    report_mismatch(cases[i], folded, (*results)[i - start], expected[i]);
        }
    }
    EXPECT_EQ(mismatches, 0) << "expressions that differ from gcc (the first "
                             << kMaxReportedMismatches << " are shown)";
}
