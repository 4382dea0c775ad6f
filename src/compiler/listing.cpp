// Formatting of listing lines.
#include "compiler/listing.h"

#include <cstdarg>
#include <cstdio>

namespace tob::compiler {

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
