// Line reading, directives and macro expansion.
#include "compiler/preprocessor.h"

#include <cstring>
#include <new>

#include "compiler/char_class.h"
#include "compiler/lexer.h"

namespace tob::compiler {
namespace {

constexpr std::string_view kPositionMark = "\x81\xA1";  // "■" in CP932
constexpr size_t kTabWidth = 4;

enum class Directive { Define, Include, Trap, Asm, EndAsm, Comment };
struct DirectiveWord {
    std::string_view word;
    Directive directive;
};
// Matched as prefixes, case-sensitively, in this order.
constexpr DirectiveWord kDirectives[] = {
    {"define", Directive::Define}, {"include", Directive::Include}, {"trap", Directive::Trap},
    {"asm", Directive::Asm},       {"endasm", Directive::EndAsm},   {" ", Directive::Comment},
};

std::string_view without_newline(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    return line;
}

}  // namespace

Preprocessor::Preprocessor(Diagnostics& diag, NameHeap& heap, SymbolTable& symbols,
                           Listing& listing, SourceReader reader)
    : diag_(diag), heap_(heap), symbols_(symbols), listing_(listing), reader_(std::move(reader)) {
    pos_ = end_ = line_.data();
}

// ---------------------------------------------------------------------------
// Files and lines

void Preprocessor::start(std::string_view base_dir, std::string_view name) {
    base_dir_ = base_dir;
    included_.assign(1, std::string(name));
    top_ = 0;
    open_file(0, base_dir_ + std::string(name));
    next();
}

void Preprocessor::open_file(size_t index, std::string path) {
    SourceFile& f = files_[index];
    f = SourceFile{};
    bool too_long = path.size() >= kPathSize;
    f.path = std::move(path);
    if (too_long) diag_.fail(index == 0 ? Msg::OpenFailed : Msg::IncludeName);
    if (!reader_) diag_.fail(Msg::OpenFailed);
    SourceData data = reader_(f.path);
    if (data.status == SourceStatus::OpenFailed) diag_.fail(Msg::OpenFailed);
    if (data.status != SourceStatus::Ok) diag_.fail(Msg::ReadFailed);
    if (data.bytes.size() >= kMaxSourceSize) diag_.fail(Msg::NoMemory);
    f.text = std::move(data.bytes);
    f.text += '\n';
    f.has_cr = std::memchr(f.text.data(), '\r', f.text.size()) != nullptr;
    if (keep_) {
        // Without memory to keep it, no source is kept at all (and nothing is
        // compared later): the compile itself goes on.
        try {
            kept_.push_back({f.path, {}});
            f.kept = int32_t(kept_.size() - 1);
        } catch (const std::bad_alloc&) {
            keep_ = false;
            kept_lost_ = true;
        }
    }
}

void Preprocessor::release_file(size_t index) {
    SourceFile& f = files_[index];
    if (f.kept >= 0) kept_[size_t(f.kept)].text = std::move(f.text);
    f = SourceFile{};
}

std::vector<Preprocessor::KeptSource> Preprocessor::take_kept_sources() {
    for (size_t i = 0; i < kIncludeDepth; ++i)
        if (files_[i].kept >= 0) release_file(i);
    return std::move(kept_);
}

void Preprocessor::fetch_line() {
    for (;;) {
        SourceFile& f = files_[top_];
        ++f.line;
        const uint8_t* text = reinterpret_cast<const uint8_t*>(f.text.data());
        const size_t size = f.text.size();
        // Most lines hold no carriage return and fit: they are read in place.
        // (A lead byte takes its trail unread, but never a "\r" or "\n", so
        // pairing cannot change where a line ends.)
        if (f.pos < size) {
            const uint8_t* from = text + f.pos;
            const void* nl = std::memchr(from, '\n', size - f.pos);
            size_t len = (nl ? size_t(static_cast<const uint8_t*>(nl) - from) + 1 : size - f.pos);
            if (len <= kLineMax && (!f.has_cr || !std::memchr(from, '\r', len))) {
                line_start_ = from;
                f.pos += uint32_t(len);
                line_len_ = len;
                return;
            }
        }
        line_start_ = line_.data();
        size_t n = 0;
        auto store = [&](uint8_t c) {
            if (n >= kLineMax) {
                line_len_ = n;
                pos_ = end_ = line_.data() + n;
                diag_.fail(Msg::LineTooLong);
            }
            line_[n++] = c;
        };
        while (f.pos < size) {
            uint8_t c = text[f.pos++];
            if (c == '\r') continue;
            store(c);
            if (c == '\n') break;
            // A lead byte takes its trail unread, but never the line's end.
            if (is_lead_byte(c) && f.pos < size && text[f.pos] != '\n' && text[f.pos] != '\r')
                store(text[f.pos++]);
        }
        if (n > 0) {
            line_len_ = n;
            return;
        }
        // The file is exhausted.
        line_len_ = 0;
        pos_ = end_ = line_.data();
        if (top_ == 0) diag_.fail(Msg::EndOfFile);
        release_file(top_);  // releases the buffer
        --top_;
    }
}

void Preprocessor::read_line() {
    for (;;) {
        fetch_line();
        pos_ = line_start_;
        end_ = pos_ + line_len_;
        if (comment_depth > 0) return;
        std::string_view line(reinterpret_cast<const char*>(line_start_), line_len_);
        bool hash = line[0] == '#';
        if (!hash || !directive_switch_ || suspended_ > 0) {
            if (assembly_) {
                listing_.asm_line(without_newline(line));
                continue;
            }
            if (!hash) listing_.source_line(without_newline(line));
            return;
        }
        if (directive()) return;
    }
}

void Preprocessor::next_slow() {
    for (;;) {
        if (pos_ == end_) {
            if (depth_ > 0) {
                pop();
                return;
            }
            read_line();
            continue;
        }
        if (depth_ > 0 && *pos_ == '#' && try_paste()) continue;
        cur_ = *pos_++;
        return;
    }
}

std::string Preprocessor::echo_line() const {
    // The mark stands at the read position; inside a macro expansion at the
    // place where the outermost expansion will resume.
    const uint8_t* mark = depth_ > 0 ? stack_[0].pos : pos_;
    uintptr_t begin = reinterpret_cast<uintptr_t>(line_start_);
    uintptr_t at_addr = reinterpret_cast<uintptr_t>(mark);
    size_t at = at_addr >= begin && at_addr - begin <= line_len_ ? at_addr - begin : line_len_;

    std::string out;
    size_t column = 0;
    bool marked = false;
    for (size_t i = 0; i < line_len_;) {
        if (!marked && i >= at) {
            out += kPositionMark;
            column += kPositionMark.size();
            marked = true;
        }
        uint8_t c = line_start_[i];
        if (c == '\r' || c == '\n') break;
        if (c == '\t') {
            do {
                out += ' ';
            } while (++column % kTabWidth != 0);
            ++i;
        } else if (is_lead_byte(c) && i + 1 < line_len_ && line_start_[i + 1] != '\n') {
            out += char(c);
            out += char(line_start_[i + 1]);
            column += 2;
            i += 2;
        } else {
            out += char(c);
            ++column;
            ++i;
        }
    }
    if (!marked) out += kPositionMark;
    out += '\n';
    return out;
}

// ---------------------------------------------------------------------------
// Directives

bool Preprocessor::directive() {
    std::string_view rest(reinterpret_cast<const char*>(line_start_) + 1, line_len_ - 1);
    pos_ = line_start_ + 1;
    for (const DirectiveWord& d : kDirectives) {
        if (!rest.starts_with(d.word)) continue;
        pos_ += d.word.size();
        switch (d.directive) {
            case Directive::Define:
                define();
                return false;
            case Directive::Include:
                return include();
            case Directive::Trap:
                pending_trap = trap_counter_++;
                return true;
            case Directive::Asm:
                if (assembly_) diag_.fail(Msg::Directive);
                assembly_ = true;
                return false;
            case Directive::EndAsm:
                if (!assembly_) diag_.fail(Msg::Directive);
                assembly_ = false;
                return false;
            case Directive::Comment:
                return false;
        }
    }
    diag_.fail(Msg::Directive);
}

void Preprocessor::define() {
    const uint32_t arg_fill = arg_fill_;
    directive_switch_ = false;
    next();
    Symbol* macro = lexer_ ? lexer_->read_macro_name() : nullptr;
    if (!macro) diag_.fail(Msg::Directive);
    macro->kind = SymbolKind::Macro;
    macro->type = 0;
    macro->text = "";
    macro->text_size = 0;
    if (cur_ == '(') {
        define_parameters(*macro);
        define_body_with_parameters(*macro);
    } else if (cur_ != '\n') {
        // The character behind the name is dropped; the body is the rest of
        // the line with its newline.
        heap_.begin();
        next();
        while (cur_ != '\n') {
            heap_.put(cur_);
            next();
        }
        heap_.put('\n');
        macro->text_size = uint32_t(heap_.open_size());
        macro->text = heap_.finish();
    }
    // The line is discarded, with whatever expansion reading the name began.
    unwind_macros(arg_fill);
    directive_switch_ = true;
}

void Preprocessor::define_parameters(Symbol& macro) {
    next();  // "("
    skip_blanks();
    params_.clear();
    while (cur_ != ')') {
        if (!is_ident_start(cur_) && !is_lead_byte(cur_)) diag_.fail(Msg::Syntax);
        if (params_.size() == kMaxParameters) diag_.fail(Msg::Directive);
        params_.emplace_back();
        read_raw_identifier(params_.back());
        scratch_ = macro.name;
        scratch_ += '_';
        scratch_ += std::to_string(params_.size() - 1);
        if (symbols_.find_global(scratch_)) diag_.fail(Msg::Syntax);
        Symbol* p = symbols_.global(scratch_);
        p->kind = SymbolKind::Macro;
        p->type = 0;
        p->text = "";
        p->text_size = 0;
        skip_blanks();
        if (cur_ == ',') {
            next();
            skip_blanks();
        }
    }
    macro.type = int32_t(params_.size());
}

void Preprocessor::define_body_with_parameters(Symbol& macro) {
    next();  // the character after ")"
    if (cur_ == '\n') return;
    heap_.begin();
    std::string word;
    while (cur_ != '\n') {
        if (is_ident_start(cur_) || is_lead_byte(cur_)) {
            read_raw_identifier(word);
            size_t i = 0;
            while (i < params_.size() && !names_equal_ignoring_case(params_[i], word)) ++i;
            if (i < params_.size())
                put_parameter_name(macro, i);
            else
                heap_.put(word);
            continue;
        }
        if (cur_ == '\\' && peek() == '\n') {
            // A backslash at the end of the line joins the next line.
            next();
            next();
            continue;
        }
        heap_.put(cur_);
        next();
    }
    heap_.put('\n');
    macro.text_size = uint32_t(heap_.open_size());
    macro.text = heap_.finish();
}

void Preprocessor::put_parameter_name(const Symbol& macro, size_t index) {
    heap_.put(std::string_view(macro.name));
    heap_.put('_');
    heap_.put(std::to_string(index));
}

bool Preprocessor::include() {
    if (top_ + 1 == kIncludeDepth) diag_.fail(Msg::IncludeDepth);
    Suspension suspension(*this);
    next();
    skip_blanks();
    if (cur_ != '"') diag_.fail(Msg::IncludeName);
    std::string name;
    next();
    while (cur_ != '"') {
        if (cur_ == '\n') diag_.fail(Msg::IncludeName);
        if (is_lead_byte(cur_) && lead_pairs()) {
            name += char(cur_);
            next();
        }
        name += char(cur_);
        next();
    }
    if (already_included(name)) return false;
    std::string path = base_dir_ + name;
    if (path.size() >= kPathSize) diag_.fail(Msg::IncludeName);
    included_.push_back(name);
    ++top_;
    open_file(top_, std::move(path));
    return false;
}

bool Preprocessor::already_included(std::string_view name) const {
    for (const std::string& n : included_)
        if (names_equal_ignoring_case(n, name)) return true;
    return false;
}

// ---------------------------------------------------------------------------
// Macros

void Preprocessor::read_raw_identifier(std::string& out) {
    out.clear();
    while (is_ident_char(cur_) || is_lead_byte(cur_)) {
        if (out.size() + 2 > kLineMax) diag_.fail(Msg::LineTooLong);
        if (is_lead_byte(cur_) && lead_pairs()) {
            out += char(cur_);
            next();
        }
        out += char(cur_);
        next();
    }
}

Symbol& Preprocessor::parameter_symbol(const Symbol& macro, size_t index) {
    scratch_ = macro.name;
    scratch_ += '_';
    scratch_ += std::to_string(index);
    Symbol* p = symbols_.find_global(scratch_);
    if (!p || p->kind != SymbolKind::Macro) diag_.fail(Msg::Internal);
    return *p;
}

void Preprocessor::arg_put(uint8_t c) {
    // The content stays below the buffer's last byte, zeros included.
    if (arg_fill_ + 1 >= kArgBufferSize) diag_.fail(Msg::SymbolBuffer);
    args_[arg_fill_++] = c;
}

void Preprocessor::expand(Symbol& macro) {
    if (depth_ == kMacroDepth) diag_.fail(Msg::MacroDepth);
    const uint32_t saved_fill = arg_fill_;
    const size_t count = size_t(macro.type > 0 ? macro.type : 0);
    if (count > 0) {
        Suspension suspension(*this);
        struct Collecting {
            bool& flag;
            bool old;
            ~Collecting() { flag = old; }
        } collecting{collecting_, collecting_};
        collecting_ = true;

        skip_blanks();
        uint8_t close = ';';
        if (cur_ == '(') {
            next();
            close = ')';
        }
        for (size_t i = 0; i < count; ++i) {
            skip_blanks();
            Symbol& param = parameter_symbol(macro, i);
            const uint8_t separator = i + 1 < count ? ',' : close;
            const uint32_t start = arg_fill_;
            int nesting = 0;
            for (;;) {
                uint8_t c = cur_;
                if (is_ident_start(c) || is_lead_byte(c)) {
                    // An identifier is copied whole, never expanded.
                    do {
                        if (is_lead_byte(cur_) && lead_pairs()) {
                            arg_put(cur_);
                            next();
                        }
                        arg_put(cur_);
                        next();
                    } while (is_ident_char(cur_) || is_lead_byte(cur_));
                    continue;
                }
                if (nesting == 0 && c == separator) break;
                if (c == '(') ++nesting;
                if (c == ')') --nesting;
                arg_put(c);
                next();
            }
            param.text = reinterpret_cast<const char*>(args_.data() + start);
            param.text_size = arg_fill_ - start;
            arg_put(0);
            if (separator != ';') next();
        }
    }
    push(pos_, end_, cur_, saved_fill);
    pos_ = reinterpret_cast<const uint8_t*>(macro.text);
    end_ = pos_ + macro.text_size;
    next();
}

bool Preprocessor::try_paste() {
    // At "##" followed by an identifier: splice the macro of that name in.
    const uint8_t* p = pos_;
    if (end_ - p < 3 || p[1] != '#' || !is_ident_start(p[2])) return false;
    p += 2;
    scratch_.clear();
    while (p != end_ && (is_ident_char(*p) || is_lead_byte(*p))) {
        if (scratch_.size() + 2 > kLineMax) diag_.fail(Msg::LineTooLong);
        if (is_lead_byte(*p) && p + 1 != end_ && p[1] != '\n') scratch_ += char(*p++);
        scratch_ += char(*p++);
    }
    Symbol* macro = symbols_.find_global(scratch_);
    if (!macro || macro->kind != SymbolKind::Macro) return false;
    if (macro->type != 0) diag_.fail(Msg::Directive);
    if (end_ - p >= 2 && p[0] == '#' && p[1] == '#') p += 2;
    uint8_t saved = ' ';
    if (p != end_) saved = *p++;
    push(p, end_, saved, arg_fill_);
    pos_ = reinterpret_cast<const uint8_t*>(macro->text);
    end_ = pos_ + macro->text_size;
    return true;
}

void Preprocessor::push(const uint8_t* pos, const uint8_t* end, uint8_t saved, uint32_t arg_fill) {
    if (depth_ == kMacroDepth || ++expansions_ > kMaxExpansions) diag_.fail(Msg::MacroDepth);
    stack_[depth_++] = MacroFrame{pos, end, saved, arg_fill};
}

void Preprocessor::pop() {
    const MacroFrame& f = stack_[--depth_];
    pos_ = f.pos;
    end_ = f.end;
    cur_ = f.saved_char;
    // Arguments being copied right now lie above the saved fill: keep them.
    if (!collecting_) arg_fill_ = f.saved_arg_fill;
}

void Preprocessor::unwind_macros(uint32_t arg_fill) {
    if (depth_ == 0) return;
    depth_ = 0;
    arg_fill_ = arg_fill;
}

}  // namespace tob::compiler
