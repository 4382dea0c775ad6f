// The byte layout other parts of the engine rely on: the first instruction
// jumps to main, trap stubs are `trap n; ret`, a call with arguments is
// followed by `add r7,$4n` (0x3B 0x77 imm32) and one without by nothing, and
// `enter` carries the function's final frame size.
#include <gtest/gtest.h>

#include "program_support.h"
#include "vm/opcodes.h"

using namespace tob;
using namespace tob::compiler::testing;

namespace {

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Finds `needle` in the program's code, or -1.
long find(const std::vector<uint8_t>& code, const std::vector<uint8_t>& needle) {
    for (size_t i = 0; i + needle.size() <= code.size(); ++i)
        if (std::equal(needle.begin(), needle.end(), code.begin() + long(i))) return long(i);
    return -1;
}

}  // namespace

TEST(CodeShape, EntryStubsCallsAndFrames) {
    ProgramHarness h;
    ProgramRun r = h.run(
        "#trap\nint first(int a);\n#trap\nint second(int a, int b);\n"
        "int two(int a, int b) { int x[3]; x[0] = a; return x[0] + b; }\n"
        "int none() { return 4; }\n"
        "int main() { return two(1, 2) + none(); }\n");
    ASSERT_TRUE(r.compiled.ok);
    EXPECT_EQ(r.result, 7u);
    const ScriptAddr base = h.program_base();
    const uint8_t* p = h.memory().host(base, r.compiled.code_size);
    std::vector<uint8_t> code(p, p + r.compiled.code_size);

    // jmp main at the program base; main is the last function, right before
    // the code ends with its `leave n; ret`.
    ASSERT_EQ(code[0], uint8_t(Op::Jmp));
    uint32_t main_at = le32(&code[1]) - base;
    ASSERT_LT(main_at, code.size());
    EXPECT_EQ(code[main_at], uint8_t(Op::Enter));

    // Trap stubs in directive order: trap 0; ret and trap 1; ret.
    EXPECT_GE(find(code, {uint8_t(Op::Trap), 0, 0, uint8_t(Op::Ret)}), 0);
    EXPECT_GE(find(code, {uint8_t(Op::Trap), 1, 0, uint8_t(Op::Ret)}), 0);

    // two(1, 2): the clean-up of two words follows the call.
    long cleanup = find(code, {kCallCleanupOpcode, kCallCleanupRegByte, 8, 0, 0, 0});
    ASSERT_GE(cleanup, 5);
    EXPECT_EQ(code[size_t(cleanup) - 5], uint8_t(Op::Call));
    // none(): the instruction after its call is not a clean-up.
    uint32_t none_at = 0;
    for (size_t i = 0; i + 5 <= code.size(); ++i)
        if (code[i] == uint8_t(Op::Call) && long(i) != cleanup - 5 && le32(&code[i + 1]) > base &&
            le32(&code[i + 1]) - base < main_at) {
            none_at = uint32_t(i);
            EXPECT_NE(code[i + 5], kCallCleanupOpcode);
        }
    EXPECT_NE(none_at, 0u);

    // two() keeps 3 ints of locals: its `enter` and `leave` carry 12.
    uint32_t two_at = le32(&code[size_t(cleanup) - 4]) - base;
    ASSERT_EQ(code[two_at], uint8_t(Op::Enter));
    EXPECT_EQ(le32(&code[two_at + 1]), 12u);
    EXPECT_GE(find(code, {uint8_t(Op::Leave), 12, 0, 0, 0, uint8_t(Op::Ret)}), 0);
}
