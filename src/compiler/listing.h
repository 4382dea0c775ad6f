// The assembly listing of one compilation: every instruction and datum as a
// line of text, with the source lines echoed between them. Collected in
// memory (CP932, "\n" line ends); the compile entry writes it out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "vm/opcodes.h"

namespace tob::compiler {

// What the listing writes for an instruction's operands: the registers, the
// number (immediate, frame offset, step or trap number) and, where the bytes
// hold an address, the name written instead (symbol, label or string label).
// A frame operand with a name is listed under that name ("a[2]").
struct ListedOperands {
    uint32_t d = 0, s = 0;
    int32_t value = 0;
    std::string_view name;
};

// The one variant the listing shows: a compare with zero that tests a value
// for truth is written `cmpl` (any other compare with an immediate is `cmp`).
inline constexpr std::string_view kTruthTestMnemonic = "cmpl";

// One instruction's listing line: the table's mnemonic (or `mnemonic` for a
// variant), then its operands in the table's operand form, destination first.
std::string instruction_line(Op op, const ListedOperands& operands, std::string_view mnemonic = {});

class Listing {
  public:
    Listing() = default;
    Listing(bool enabled, bool echo_source) : enabled_(enabled), echo_source_(echo_source) {}

    bool enabled() const { return enabled_; }
    // One formatted line (printf style); nothing when the listing is off.
    void line(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void write(std::string_view text) {
        if (enabled_) text_ += text;
    }
    // A source line (without its newline) as "*\t<line>\n", only when source
    // echo is on; empty lines are left out.
    void source_line(std::string_view line) {
        if (enabled_ && echo_source_ && !line.empty()) echo(line);
    }
    // One instruction's line (see instruction_line).
    void instruction(Op op, const ListedOperands& operands, std::string_view mnemonic = {}) {
        if (enabled_) text_ += instruction_line(op, operands, mnemonic);
    }
    // A line of an assembly block, without its newline; empty lines are left out.
    void asm_line(std::string_view line);

    const std::string& text() const { return text_; }

  private:
    void echo(std::string_view line);

    bool enabled_ = false;
    bool echo_source_ = false;
    std::string text_;
};

}  // namespace tob::compiler
