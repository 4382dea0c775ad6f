// Code bytes, data, listing and messages of large generated scripts, pinned by
// checksums: the fast paths of line reading, scanning, symbol lookup and
// emission must leave every byte of the output as it was.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "program_support.h"

using namespace tob::compiler;
using namespace tob::compiler::testing;

namespace {

// FNV-1a over everything a compilation produces.
struct Checksum {
    uint64_t h = 1469598103934665603ull;
    void add(const void* data, size_t n) {
        const auto* p = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
    }
    void add(const std::string& s) { add(s.data(), s.size() + 1); }
    void add(uint32_t v) { add(&v, sizeof v); }
};

// One unit of the generated script: a macro family, a struct with members, a
// static local, labels, strings with escapes and double-byte text, numbers
// in every base, comments and CRLF line ends.
std::string unit(int i) {
    const std::string n = std::to_string(i);
    std::string s;
    s += "#define K" + n + " (" + n + " * 3 + 0x1F)\r\n";
    s += "#define ADD" + n + "(a, B) ((a) + (b) * K" + n + ")\n";
    s += "#define GLUE" + n + "(x) v##x##_" + n + "\n";
    s += "# a comment line\n";
    s += "struct S" + n + " { int m" + n + "; char c; short w[3]; };\n";
    s += "struct S" + n + " g" + n + ";\n";
    s += "int v1_" + n + " = " + n + ", v2_" + n + "[4] = {1, 2, , 4};\n";
    s += "char *msg" + n + " = \"line\\t" + n + "\\x41\\101\\0\" \"\x82\xA0\x82\xA2\\n\";\n";
    s += "float fl" + n + " = " + n + ".25;\n";
    s += "/* a block /* nested " + n + " */ comment\n#not a directive\n*/\n";
    s += "int fn" + n + "(int a, char *p)\n{\n";
    s += "\tstatic int calls = 0b101;\n";
    s += "\tint i, \x88\xEA" + n + ";\n";
    s += "\tstruct S" + n + " *q;\n";
    s += "\tq = &g" + n + ";\n";
    s += "\tq->m" + n + " = ADD" + n + "(a, 2) + GLUE" + n + "(1) + '\\65' + '\x82\xA0';\n";
    s += "\tq->w[1] = (short)(fl" + n + " * 2.5f);\n";
    s += "\t\x88\xEA" + n + " = 012 + 0x0;  // twelve\n";
    s += "\tfor (i = 0; i < a && p[i]; i++) {\n";
    s += "\t\tswitch (p[i] & 3) {\n\t\tcase 0: calls++; break;\n";
    s += "\t\tcase 1: calls += i << 2; continue;\n\t\tdefault: goto out" + n + ";\n\t\t}\n\t}\n";
    s += "out" + n + ":\n";
    s += "\tdo { a = a >> 1; } while (a > 7 || !(a ^ 5));\n";
    s += "\treturn q->m" + n + " + calls + \x88\xEA" + n + " + sizeof(struct S" + n +
         ") + (a ? v2_" + n + "[a & 3] : -1);\n";
    s += "}\n\n";
    return s;
}

std::string generated_program(int units) {
    std::string s = "#include \"lib.h\"\n#trap\nint print(char *text);\n";
    for (int i = 0; i < units; ++i) s += unit(i);
    s += "#asm\n\tnop ; kept as written\n#endasm\n";
    s += "int main()\n{\n\tint t;\n\tt = 0;\n";
    for (int i = 0; i < units; ++i)
        s += "\tt += fn" + std::to_string(i) + "(" + std::to_string(i % 9) + ", msg" +
             std::to_string(i) + ");\n";
    s += "\tprint(\"done\");\n\treturn t + lib_value(3);\n}\n";
    return s;
}

const std::map<std::string, std::string> kLibrary = {
    {"lib.h", "#define TWICE(x) ((x) \\\n  * 2)\nint lib_value(int x) { return TWICE(x); }\n"}};

uint64_t checksum_of_program(int units, bool echo, uint32_t* code_size) {
    ProgramHarness h;
    std::map<std::string, std::string> files = kLibrary;
    files["main.c"] = generated_program(units);
    CompileOptions o = h.options(files, "main.c");
    CompileResult measured = compile(o);
    EXPECT_TRUE(measured.ok) << measured.messages;
    const uint32_t size = measured.code_size + measured.data_size;
    o.memory = &h.memory();
    o.base = h.memory().allocate(size);
    o.size = size;
    o.listing = true;
    o.echo_source = echo;
    CompileResult r = compile(o);
    EXPECT_TRUE(r.ok) << r.messages;
    EXPECT_EQ(r.code_size, measured.code_size);
    EXPECT_EQ(r.data_size, measured.data_size);
    Checksum c;
    c.add(r.code_size);
    c.add(r.data_size);
    c.add(r.listing);
    c.add(r.messages);
    c.add(h.memory().host(o.base, size), size);
    *code_size = r.code_size;
    return c.h;
}

}  // namespace

TEST(OutputStability, LargeProgramKeepsItsBytesAndListing) {
    uint32_t code_size = 0;
    EXPECT_EQ(checksum_of_program(340, true, &code_size), 7409901575606304283u);
    EXPECT_EQ(code_size, 170444u);
    EXPECT_EQ(checksum_of_program(340, false, &code_size), 799510222435967247u);
}

// Messages of broken sources, with their echoed lines and position marks,
// inside macros, includes and long lines.
TEST(OutputStability, MessagesKeepTheirText) {
    const std::string good = generated_program(3);
    const std::string broken[] = {
        good + "int main2() { return @; }\n",
        good + "#define BAD(x) (x + $)\nint z() { return BAD(1); }\n",
        "#include \"lib.h\"\nint f() {\n\tint a;\n\ta = 1 +;\n}\n",
        "int f() {\r\n\tint a;\r\n\ta = TWICE(1 +);\n}\n",
        good + "int y() { return 1 }\n",
        good + "int w() { return " + std::string(5000, '1') + "; }\n",
        good + "int v() { return undefined_name(); }\n",
        good + "int u() { char *p; p = \"open\n\"; }\n",
        // Lines at the length limit: 4094 stored bytes pass, 4095 do not.
        good + "//" + std::string(4091, 'x') + "\nint t() { return @; }\n",
        good + "//" + std::string(4091, 'x') + "\r\nint t() { return @; }\n",
        good + "//" + std::string(4092, 'x') + "\n",
    };
    Checksum c;
    for (const std::string& source : broken) {
        ProgramHarness h;
        std::map<std::string, std::string> files = kLibrary;
        files["main.c"] = source;
        CompileResult r = compile(h.options(files, "main.c"));
        EXPECT_FALSE(r.messages.empty()) << source;
        c.add(uint32_t(r.ok));  // a missing ';' alone does not fail
        c.add(r.messages);
    }
    EXPECT_EQ(c.h, 5293258594313078795u);
}
