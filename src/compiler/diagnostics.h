// Compiler diagnostics: the numbered message table, the collected message text
// of one compilation, and the abort that ends a compilation at its first
// numbered error. Source text stays CP932 everywhere in the compiler; messages
// are built in UTF-8, converting paths and echoed lines when a message is made
// (columns of the echoed line are counted on the CP932 bytes).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tob::compiler {

// Numbers of the compiler's messages.
enum class Msg : uint8_t {
    Internal = 0,
    NoMemory = 1,
    OpenFailed = 2,
    ReadFailed = 3,
    Directive = 4,
    IncludeName = 5,
    IncludeDepth = 6,
    MacroDepth = 7,
    Declaration = 8,
    Expression = 9,
    DivideByZero = 10,
    NoConstant = 11,
    Syntax = 12,
    NoVariable = 13,
    BadType = 14,
    Undefined = 15,
    StringLine = 16,
    Quote = 17,
    TooManyGlobals = 18,
    TooManyLocals = 19,
    SymbolBuffer = 20,
    LineTooLong = 21,
    HeapOverflow = 22,
    ProgramFull = 23,
    EndOfFile = 24,
};

inline constexpr int kMessageCount = 25;

// UTF-8 text of message `m`.
std::string_view message_text(Msg m);

// Thrown by `Diagnostics::fail`; caught only at the compile entry, it unwinds
// all nested parsing at once. Never leaves the compiler.
struct CompileAbort {
    Msg msg;
};
// Thrown instead when the main file ends where the parser allows it: the
// normal end of a compilation.
struct SourceEnded {};

// Where the reader stands, for the position part of a message.
class SourcePosition {
  public:
    virtual ~SourcePosition() = default;
    virtual std::string_view current_path() const = 0;  // CP932
    virtual int32_t current_line() const = 0;
    // The current line as echoed under a numbered error (CP932, ends with "\n").
    virtual std::string echo_line() const = 0;
};

class Diagnostics {
  public:
    // Size of the collected text, terminator included.
    static constexpr size_t kBufferSize = 8192;

    // Messages are collected only when `collect` is set (error boxes enabled).
    explicit Diagnostics(bool collect) : collect_(collect) {}
    Diagnostics(const Diagnostics&) = delete;
    Diagnostics& operator=(const Diagnostics&) = delete;

    void attach(const SourcePosition* position) { position_ = position; }

    // Set by the parser while it stands between top-level declarations: the end
    // of the main file is then the normal end of the source.
    void set_top_level(bool on) { top_level_ = on; }
    bool top_level() const { return top_level_; }

    // Records numbered message `m` with its position and abandons the compilation.
    [[noreturn]] void fail(Msg m);
    // "<path>(<line>) : <item> がありません" — a missing token; compilation goes on.
    void missing(std::string_view item_utf8);
    // Appends a finished UTF-8 line such as the undefined-name messages.
    void append(std::string_view utf8);

    bool collecting() const { return collect_; }
    const std::string& text() const { return text_; }
    // Number of numbered or missing-token messages recorded, collected or not.
    uint32_t count() const { return count_; }

  private:
    std::string position_prefix() const;

    bool collect_;
    bool top_level_ = false;
    uint32_t count_ = 0;
    const SourcePosition* position_ = nullptr;
    std::string text_;
};

// Message items for `missing`.
inline constexpr std::string_view kMissingIdentifier = "識別子";

}  // namespace tob::compiler
