// Formatting of listing lines.
#include "compiler/listing.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace tob::compiler {

namespace {

// Mnemonics shorter than four letters, and the float group that lines up with
// the integer arithmetic, are followed by two tabs; the others by one.
bool wide_gap(Op op, std::string_view mnemonic) {
    return mnemonic.size() < 4 || (op >= Op::Ftoi && op <= Op::Fneg);
}

void append(std::string& line, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void append(std::string& line, const char* fmt, ...) {
    char buf[48];  // registers and 32-bit numbers only
    va_list ap;
    va_start(ap, fmt);
    const int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n > 0) line.append(buf, std::min(size_t(n), sizeof buf - 1));
}

}  // namespace

std::string instruction_line(Op op, const ListedOperands& o, std::string_view mnemonic) {
    const OpcodeInfo& info = opcode_info(op);
    if (mnemonic.empty()) mnemonic = info.mnemonic;
    std::string line = "\t";
    line += mnemonic;
    if (info.operands == Operands::None) return line += '\n';
    line += wide_gap(op, mnemonic) ? "\t\t" : "\t";
    const int d = int(o.d), s = int(o.s), v = o.value;
    switch (info.operands) {
        case Operands::None:
            break;
        case Operands::TrapNum:
            append(line, "%d", v);
            break;
        case Operands::RegReg:
            append(line, "r%d, r%d", d, s);
            break;
        case Operands::RegImm:
            append(line, "r%d, $%d", d, v);
            break;
        case Operands::RegAddr:
            append(line, "r%d, $", d);
            line += o.name;
            break;
        case Operands::RegSym:
            append(line, "r%d, ", d);
            line += o.name;
            break;
        case Operands::RegFrame:
            append(line, "r%d, %d(r6)", d, v);
            break;
        case Operands::RegInd:
            append(line, "r%d, (r%d)", d, s);
            break;
        case Operands::SymReg:
            line += o.name;
            append(line, ", r%d", s);
            break;
        case Operands::FrameReg:
            if (o.name.empty())
                append(line, "%d(r6)", v);
            else
                line += o.name;
            append(line, ", r%d", s);
            break;
        case Operands::IndReg:
            append(line, "(r%d), r%d", d, s);
            break;
        case Operands::Src:
            append(line, "r%d", s);
            break;
        case Operands::Dst:
            append(line, "r%d", d);
            break;
        case Operands::Imm:
            append(line, "$%d", v);
            break;
        case Operands::RegStep:
            append(line, "r%d, %d", d, v);
            break;
        case Operands::IndSrc:
            append(line, "(r%d)", s);
            break;
        case Operands::Target:
        case Operands::Sym:
            line += o.name;
            break;
        case Operands::Frame:
            append(line, "%d(r6)", v);
            break;
    }
    return line += '\n';
}

void Listing::line(const char* fmt, ...) {
    if (!enabled_) return;
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n < 0) return;
    if (size_t(n) < sizeof buf) {
        text_.append(buf, size_t(n));
        return;
    }
    std::string big(size_t(n) + 1, '\0');
    va_start(ap, fmt);
    std::vsnprintf(big.data(), big.size(), fmt, ap);
    va_end(ap);
    big.resize(size_t(n));
    text_ += big;
}

void Listing::echo(std::string_view line) {
    text_ += "*\t";
    text_ += line;
    text_ += '\n';
}

void Listing::asm_line(std::string_view line) {
    if (!enabled_ || line.empty()) return;
    text_ += line;
    text_ += '\n';
}

}  // namespace tob::compiler
