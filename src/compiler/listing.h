// The assembly listing of one compilation: every instruction and datum as a
// line of text, with the source lines echoed between them. Collected in
// memory (CP932, "\n" line ends); the compile entry writes it out.
#pragma once

#include <string>
#include <string_view>

namespace tob::compiler {

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
