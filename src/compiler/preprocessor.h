// The character source of the lexer: source files read line by line through
// the include stack, the directives (define, include, trap, asm, endasm and
// the "# " comment line), macro expansion with arguments and "##" pasting.
// There is no separate pass: the lexer pulls one character at a time.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "compiler/char_class.h"
#include "compiler/diagnostics.h"
#include "compiler/listing.h"
#include "compiler/name_heap.h"
#include "compiler/source_reader.h"
#include "compiler/symbols.h"

namespace tob::compiler {

class Lexer;

class Preprocessor final : public SourcePosition {
  public:
    static constexpr size_t kIncludeDepth = 16;      // entries of the include stack
    static constexpr size_t kLineMax = 4094;         // stored bytes of one line
    static constexpr size_t kPathSize = 260;         // path field, terminator included
    static constexpr size_t kMacroDepth = 16;        // nested expansions
    static constexpr size_t kArgBufferSize = 16384;  // text of macro arguments
    static constexpr size_t kMaxParameters = 255;
    static constexpr size_t kMaxSourceSize = size_t(256) << 20;
    // Expansions of one compilation: macros that multiply their text at every
    // level are stopped long before they exhaust time (message 7).
    static constexpr uint32_t kMaxExpansions = 1u << 24;

    Preprocessor(Diagnostics& diag, NameHeap& heap, SymbolTable& symbols, Listing& listing,
                 SourceReader reader);
    Preprocessor(const Preprocessor&) = delete;
    Preprocessor& operator=(const Preprocessor&) = delete;

    void attach(Lexer& lexer) { lexer_ = &lexer; }

    // Opens the main file `base_dir` + `name` and reads its first character.
    void start(std::string_view base_dir, std::string_view name);

    // The current character (one byte of look-ahead).
    uint8_t cur() const { return cur_; }
    // Makes the next source character the current one.
    void next() {
        if (pos_ != end_ && depth_ == 0) {
            cur_ = *pos_++;
            return;
        }
        next_slow();
    }
    void skip_blanks() {
        while (is_blank(cur_)) {
            if (depth_ == 0) {
                // Blanks inside the line are passed over without feeding them one by one.
                const uint8_t* p = pos_;
                while (p != end_ && is_blank(*p)) ++p;
                pos_ = p;
            }
            next();
        }
    }
    // Direct access for scanners, outside macro expansions only: the unread
    // rest of the text (the current character is the byte before it), and
    // the way back: the bytes before `p` count as read, the one at `p`
    // becomes current.
    bool reading_plain() const { return depth_ == 0; }
    const uint8_t* read_pos() const { return pos_; }
    const uint8_t* read_end() const { return end_; }
    void continue_at(const uint8_t* p) {
        pos_ = p;
        next();
    }
    // The byte at the read position in the text being read, or -1 at its end.
    int peek() const { return pos_ != end_ ? *pos_ : -1; }
    // Whether a lead byte just made current takes the next byte as its trail:
    // never across the end of a line or of the text being read.
    bool lead_pairs() const { return pos_ != end_ && *pos_ != '\n'; }

    // Splices the body of `macro` (a Macro symbol) into the character stream,
    // first collecting its arguments when it has parameters.
    void expand(Symbol& macro);

    // Nesting depth of block comments, kept by the lexer.
    uint32_t comment_depth = 0;

    // Trap number set by a `trap` directive, -1 when none; the parser clears it.
    int32_t pending_trap = -1;

    // Lines read while a suspension lives are never taken as directives
    // (string continuations, macro arguments, directive operands).
    class Suspension {
      public:
        explicit Suspension(Preprocessor& pp) : pp_(pp) { ++pp_.suspended_; }
        ~Suspension() { --pp_.suspended_; }
        Suspension(const Suspension&) = delete;
        Suspension& operator=(const Suspension&) = delete;

      private:
        Preprocessor& pp_;
    };

    uint32_t macro_depth() const { return uint32_t(depth_); }
    uint32_t include_depth() const { return uint32_t(top_); }
    // Lines read from the main file so far.
    int32_t main_line() const { return files_[0].line; }

    // The files read, in order, with their text ("\n" appended): kept while
    // `keep_sources` is on, for a compile that later checks they are unchanged.
    struct KeptSource {
        std::string path;
        std::string text;
    };
    void keep_sources(bool on) { keep_ = on; }
    // Hands over what was kept; call once the compilation is over.
    std::vector<KeptSource> take_kept_sources();
    // Whether a source could not be kept (memory ran out).
    bool kept_sources_lost() const { return kept_lost_; }

    // SourcePosition
    std::string_view current_path() const override { return files_[top_].path; }
    int32_t current_line() const override { return files_[top_].line; }
    std::string echo_line() const override;

  private:
    struct SourceFile {
        std::string path;  // base directory + name as written (CP932)
        std::string text;  // the whole file with "\n" appended
        uint32_t pos = 0;
        int32_t line = 0;
        int32_t kept = -1;    // index into kept_, or -1
        bool has_cr = false;  // the text holds a carriage return somewhere
    };
    struct MacroFrame {
        const uint8_t* pos;
        const uint8_t* end;
        uint8_t saved_char;
        uint32_t saved_arg_fill;
    };

    void next_slow();
    void read_line();
    void fetch_line();
    void open_file(size_t index, std::string path);
    void release_file(size_t index);
    // Carries out the directive on the current line; true when the rest of
    // the line goes to the lexer.
    bool directive();
    void define();
    void define_parameters(Symbol& macro);
    void define_body_with_parameters(Symbol& macro);
    bool include();
    bool already_included(std::string_view name) const;
    void read_raw_identifier(std::string& out);
    Symbol& parameter_symbol(const Symbol& macro, size_t index);
    void put_parameter_name(const Symbol& macro, size_t index);
    bool try_paste();
    void push(const uint8_t* pos, const uint8_t* end, uint8_t saved, uint32_t arg_fill);
    void pop();
    void arg_put(uint8_t c);
    void unwind_macros(uint32_t arg_fill);

    Diagnostics& diag_;
    NameHeap& heap_;
    SymbolTable& symbols_;
    Listing& listing_;
    SourceReader reader_;
    Lexer* lexer_ = nullptr;

    std::array<SourceFile, kIncludeDepth> files_;
    size_t top_ = 0;
    std::string base_dir_;
    std::vector<std::string> included_;  // names as written, the main file first
    bool keep_ = false;
    bool kept_lost_ = false;
    std::vector<KeptSource> kept_;

    // The current line: most lines are read where they stand in the file's
    // text; one that loses carriage returns (or is too long) is copied to line_.
    std::array<uint8_t, kLineMax + 2> line_{};
    const uint8_t* line_start_ = line_.data();
    size_t line_len_ = 0;
    const uint8_t* pos_ = nullptr;  // read position in the text being read
    const uint8_t* end_ = nullptr;  // end of that text
    uint8_t cur_ = '\n';

    bool directive_switch_ = true;
    bool assembly_ = false;
    int suspended_ = 0;
    int32_t trap_counter_ = 0;

    std::array<MacroFrame, kMacroDepth> stack_{};
    size_t depth_ = 0;
    std::array<uint8_t, kArgBufferSize> args_{};
    uint32_t arg_fill_ = 0;
    bool collecting_ = false;  // macro arguments are being copied
    uint32_t expansions_ = 0;

    std::string scratch_;              // names built while expanding
    std::vector<std::string> params_;  // parameter spellings of a define
};

}  // namespace tob::compiler
