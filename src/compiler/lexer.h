// The lexer: turns the preprocessor's character stream into tokens, looks
// every identifier up in the symbol tables (keywords and macros included) and
// triggers macro expansion.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "compiler/diagnostics.h"
#include "compiler/name_heap.h"
#include "compiler/preprocessor.h"
#include "compiler/symbols.h"
#include "compiler/token.h"

namespace tob::compiler {

// Which table names are taken from.
enum class NameScope : uint8_t {
    Global,  // outside functions: the global entry is in force
    Local,   // local declarations: the local entry (created when missing) is in force
    Body,    // function body: the local entry when declared, otherwise the global one
};

class Lexer {
  public:
    static constexpr size_t kTextMax = 4094;  // bytes kept of an identifier or number
    // Expansions one token may take before it is refused (message 7).
    static constexpr uint32_t kMaxExpansionsPerToken = 1024;

    Lexer(Diagnostics& diag, Preprocessor& pp, SymbolTable& symbols, NameHeap& heap);
    Lexer(const Lexer&) = delete;
    Lexer& operator=(const Lexer&) = delete;

    // Registers the keywords, in their fixed order.
    void register_keywords();

    // Reads the next token into `token()` and returns its kind.
    Tok next() { return next(own_); }
    const Token& token() const { return own_; }
    // Reads the next token straight into `out` (the parser's queue), not into `token()`.
    Tok next(Token& out);
    // Spelling of the last identifier (with the member suffix when one applied).
    std::string_view text() const { return {text_.data(), text_len_}; }

    NameScope scope() const { return scope_; }
    void set_scope(NameScope s) { scope_ = s; }
    // Struct number appended as "_<n>" to names while members are read; 0 for none.
    uint32_t member_suffix() const { return member_suffix_; }
    void set_member_suffix(uint32_t n) { member_suffix_ = n; }
    // While on, a string literal continues the previous one (adjacent literals).
    void set_join_strings(bool on) { join_ = on; }

    // For `define`: reads one token in the global context and returns its
    // global entry when it is an identifier that is no symbol yet, else null.
    Symbol* read_macro_name();

  private:
    bool identifier();
    // Reads the name into text_ and returns its hash_name.
    uint32_t read_identifier_text();
    Tok number();
    Tok character_constant();
    Tok string_literal();
    // After a backslash: the byte value of the sequence, or one of these.
    static constexpr int kContinuation = -1;  // backslash-newline: nothing
    static constexpr int kPlainNext = -2;     // a double-byte character follows
    int escape();
    void block_comment();
    Tok single(Tok t);
    // After an operator's first character: `t2` when `c2` follows (and so on),
    // else `plain`.
    Tok pick(uint8_t c2, Tok t2, Tok plain);
    Tok pick(uint8_t c2, Tok t2, uint8_t c3, Tok t3, Tok plain);

    Diagnostics& diag_;
    Preprocessor& pp_;
    SymbolTable& symbols_;
    NameHeap& heap_;

    Token own_;
    Token* out_ = &own_;                      // where the token being read goes
    std::array<char, kTextMax + 24> text_{};  // room for a member suffix
    size_t text_len_ = 0;
    NameScope scope_ = NameScope::Global;
    uint32_t member_suffix_ = 0;
    bool join_ = false;
    const char* last_str_ = nullptr;  // the last string literal finished
    uint32_t last_str_size_ = 0;
};

}  // namespace tob::compiler
