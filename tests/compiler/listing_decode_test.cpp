// Everything the code generator emits for large scripts, decoded from the
// program area with the opcode table and checked against the listing,
// instruction by instruction: opcode, registers, numbers, the operand form's
// text, and every label and symbol name standing for the address it encodes.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "compiler/listing.h"
#include "program_support.h"

using namespace tob;
using namespace tob::compiler;
using namespace tob::compiler::testing;

namespace {

std::string read_file(const std::string& path) {
    std::ifstream in(std::string(TOB_TEST_DATA) + "/" + path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The language tour of the script tests, with the built-in declarations it
// includes put in place.
std::string language_tour() {
    std::string tour = read_file("../scripts/language.c");
    const std::string include = "#include \"../../games/demo/tob.h\"";
    const size_t at = tour.find(include);
    if (at == std::string::npos) return {};
    return tour.replace(at, include.size(), read_file("../../games/demo/tob.h"));
}

// Units covering what the tour may not: every load and store width, narrow
// increments, zero tests of globals and locals, float arithmetic, unsigned
// compares, calls through pointers, spills and local array element stores.
std::string unit(int i) {
    const std::string n = std::to_string(i);
    std::string s;
    s += "char c" + n + "; unsigned char uc" + n + "; short s" + n + "; unsigned short us" + n +
         ";\n";
    s += "long l" + n + "[4]; float f" + n + " = " + n + ".5;\n";
    s += "int u" + n + "(int a, char *p) {\n";
    s += "\tchar lc; unsigned char luc; short ls; unsigned short lus; long arr[3]; float lf;\n";
    s += "\tunsigned int ua; int (*fp)(int, char *);\n";
    s += "\tunsigned char *ucp; unsigned short *usp; short *sp;\n";
    s += "\tucp = p; usp = &lus; sp = &ls; a += *ucp + *usp + *sp;\n";
    s += "\t*p = 1; *sp = 2; *usp = 3; ++*ucp; (*ucp)--; (*usp)++;\n";
    s += "\tl" + n + "[0] = a; a = ua >> 2; if (a < 5) a = !a; if (ua > a) a = print(\"u\");\n";
    s += "\tswitch (a) { case 1: a = 2; break; case 5: a = 3; }\n";
    s += "\ta += (a < 5) + (ua > a);\n";
    s += "\tlf = lf % 2.0; a += u" + n + "(3, \"x\");\n";
    s += "\tlc = c" + n + "; luc = uc" + n + "; ls = s" + n + "; lus = us" + n + ";\n";
    s += "\tc" + n + " = lc + 1; uc" + n + " = luc; s" + n + " = ls; us" + n + " = lus;\n";
    s += "\tc" + n + "++; --uc" + n + "; s" + n + "--; ++us" + n + "; lc++; --ls; ++l" + n +
         "[1]; l" + n + "[2]--;\n";
    s += "\tif (!c" + n + " || s" + n + " && lc) a = -a; if (!lus) a = ~a;\n";
    s += "\tif (l" + n + "[1]) a ^= 3; while (arr[0]) arr[0] = 0;\n";
    s += "\tarr[2] = a * " + n + "; arr[1] = arr[2] / 3 % 7 << 2 >> 1 | 8 & a;\n";
    s += "\tlf = f" + n + " * 2.0 - a / 1.5 + (float)a; lf = -lf; a += (int)lf;\n";
    s += "\tif (lf > f" + n + ") a++; if (lf <= 0.25) a--;\n";
    s += "\tua = a; if (ua > 9) a = 1; if (ua <= 3 || ua >= 7 && ua < 100) a += 2;\n";
    s += "\tfp = u" + n + "; if (a > 1000) return fp(a - 1, p);\n";
    s += "\ta = ((((((((a * 2) - 1) * 3) - 2) * 5) - 3) * 7) - 4) * (a + (a + (a + (a + 1))));\n";
    s += "\treturn a > 2 ? p[a & 3] : a == 3 ? *p : a != 1 && a >= 0;\n";
    s += "}\n";
    return s;
}

std::string generated_units(int count) {
    std::string s = "#trap\nint print(char *text);\n";
    for (int i = 0; i < count; ++i) s += unit(i);
    s += "int main() {\n\tint t; t = 0;\n";
    for (int i = 0; i < count; ++i) s += "\tt += u" + std::to_string(i) + "(t, \"abc\");\n";
    s += "\treturn t;\n}\n";
    return s;
}

uint32_t read32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The name part of a listed operand, for the forms whose bytes hold an address.
std::string listed_name(Operands form, const std::string& operands) {
    switch (form) {
        case Operands::RegAddr:
            return operands.substr(operands.find(", $") + 3);
        case Operands::RegSym:
            return operands.substr(operands.find(", ") + 2);
        case Operands::SymReg:
        case Operands::FrameReg:
            return operands.substr(0, operands.rfind(", "));
        case Operands::Target:
        case Operands::Sym:
            return operands;
        default:
            return {};
    }
}

// "x+4" is the address of x plus 4.
std::pair<std::string, int32_t> split_offset(const std::string& name) {
    const size_t at = name.find_last_of("+-");
    if (at == std::string::npos || at == 0) return {name, 0};
    return {name.substr(0, at), std::stoi(name.substr(at))};
}

struct DecodeCheck {
    std::set<Op> seen;
    uint32_t instructions = 0;
};

// Walks the listing and the code side by side.
void check_listing_against_code(const std::string& listing, const uint8_t* code, uint32_t code_size,
                                uint32_t base, DecodeCheck& out) {
    std::map<std::string, uint32_t> code_labels;            // name: address
    std::map<std::string, uint32_t> named;                  // symbol or data label: address
    std::vector<std::pair<std::string, uint32_t>> targets;  // names a code address must have
    std::vector<std::string> pending;                       // labels waiting for their line
    uint32_t at = 0;
    std::istringstream lines(listing);
    std::string line;
    int line_number = 0;
    bool after_label = false;
    while (std::getline(lines, line)) {
        ++line_number;
        SCOPED_TRACE("listing line " + std::to_string(line_number) + ": " + line);
        if (line.empty() || line[0] == ';' || line[0] == '.' || line[0] == '*') continue;
        if (line[0] != '\t') {
            ASSERT_EQ(line.back(), ':');
            pending.push_back(line.substr(0, line.size() - 1));
            after_label = true;
            continue;
        }
        if (line[1] == '.') {
            // A datum: the label just before it names it (a string placed
            // where it is used comes between a code label and its code).
            if (after_label) pending.pop_back();
            after_label = false;
            continue;
        }
        after_label = false;
        for (const std::string& name : pending) code_labels[name] = base + at;
        pending.clear();

        ASSERT_LT(at, code_size) << "the listing shows more instructions than the code holds";
        const uint8_t* p = code + at;
        ASSERT_TRUE(is_opcode(p[0]));
        const OpcodeInfo& info = kOpcodes[p[0]];
        ASSERT_LE(at + info.size, code_size);
        ListedOperands o;
        const Form form = info.form;
        if (form == Form::OR || form == Form::ORI) {
            o.d = reg_d(p[1]);
            o.s = reg_s(p[1]);
        }
        uint32_t operand = 0;
        if (form == Form::ORI || form == Form::OI) operand = read32(p + operand_offset(form));
        if (form == Form::OT) operand = uint32_t(p[1] | p[2] << 8);
        o.value = int32_t(operand);

        // The operand text after the mnemonic and its gap.
        const size_t gap = line.find('\t', 1);
        const std::string mnemonic =
            line.substr(1, gap == std::string::npos ? std::string::npos : gap - 1);
        const std::string operands =
            gap == std::string::npos ? "" : line.substr(line.find_first_not_of('\t', gap));
        std::string name = listed_name(info.operands, operands);
        if (info.operands == Operands::FrameReg && name.find("(r6)") != std::string::npos)
            name.clear();  // the offset, not a local's name
        o.name = name;
        std::string_view variant;
        if (mnemonic == kTruthTestMnemonic) {
            EXPECT_EQ(info.op, Op::CmpImm);
            EXPECT_EQ(operand, 0u);
            variant = kTruthTestMnemonic;
        }
        std::string expected = instruction_line(info.op, o, variant);
        expected.pop_back();
        EXPECT_EQ(line, expected) << "at code offset " << at;

        // Names stand for the address the bytes hold.
        if (info.operands == Operands::Target) {
            targets.emplace_back(name, operand);
        } else if (!name.empty() && info.operands != Operands::FrameReg) {
            auto [symbol, offset] = split_offset(name);
            const uint32_t address = operand - uint32_t(offset);
            auto [it, fresh] = named.emplace(symbol, address);
            EXPECT_EQ(it->second, address) << symbol << " stands for two addresses";
        }
        out.seen.insert(info.op);
        ++out.instructions;
        at += info.size;
    }
    EXPECT_EQ(at, code_size) << "code the listing does not show";
    std::set<uint32_t> labelled;
    for (const auto& [name, address] : code_labels) labelled.insert(address);
    for (const auto& [name, address] : targets) {
        auto it = code_labels.find(name);
        if (it != code_labels.end()) {
            EXPECT_EQ(it->second, address) << name;
        } else {
            // A function's own label number (the entry jump to main) is
            // listed by the function's name.
            EXPECT_TRUE(labelled.count(address)) << name << " leads to no label";
        }
    }
    // A function's name used as a value is its entry.
    for (const auto& [name, address] : named) {
        auto it = code_labels.find(name);
        if (it != code_labels.end()) {
            EXPECT_EQ(it->second, address) << name;
        }
    }
}

DecodeCheck compile_and_check(const std::string& source) {
    DecodeCheck check;
    ProgramHarness h;
    CompileOptions o = h.options({{"main.c", source}}, "main.c");
    CompileResult measured = compile(o);
    EXPECT_TRUE(measured.ok) << measured.messages;
    if (!measured.ok) return check;
    const uint32_t size = measured.code_size + measured.data_size;
    o.memory = &h.memory();
    o.base = h.memory().allocate(size);
    o.size = size;
    o.listing = true;
    CompileResult r = compile(o);
    EXPECT_TRUE(r.ok) << r.messages;
    check_listing_against_code(r.listing, h.memory().host(o.base, size), r.code_size, o.base,
                               check);
    return check;
}

}  // namespace

TEST(ListingDecode, EveryInstructionOfTheLanguageTourMatchesItsLine) {
    const std::string tour = language_tour();
    ASSERT_FALSE(tour.empty());
    DecodeCheck c = compile_and_check(tour);
    EXPECT_GT(c.instructions, 1000u);
}

TEST(ListingDecode, EveryInstructionOfGeneratedUnitsMatchesItsLine) {
    DecodeCheck c = compile_and_check(generated_units(60));
    EXPECT_GT(c.instructions, 10000u);
    // Everything the code generator writes: all but nop, the register compare
    // and the subtraction of an immediate.
    std::string missing;
    for (const OpcodeInfo& info : kOpcodes)
        if (!c.seen.count(info.op)) missing += std::string(info.name) + " ";
    EXPECT_EQ(missing, "Nop Cmp SubImm ");
}
