// Tokens, literals, comments and identifier lookup.
#include "compiler/lexer.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "compiler/char_class.h"

namespace tob::compiler {
namespace {

constexpr std::string_view kSpellings[] = {
    "identifier", "number", "string", "int",    "char",  "struct",   "union",   "signed",
    "unsigned",   "static", "goto",   "return", "break", "continue", "if",      "else",
    "for",        "do",     "while",  "switch", "case",  "default",  "typedef", "sizeof",
    "long",       "short",  "float",  "extern", "!",     "~",        "++",      "--",
    "*",          "/",      "%",      "+",      "-",     ">>",       "<<",      ">",
    ">=",         "<",      "<=",     "==",     "!=",    "&",        "|",       "^",
    "&&",         "||",     "?",      "=",      ",",     "(",        ")",       "[",
    "]",          "{",      "}",      ":",      ";",     ".",        "->",      "*=",
    "/=",         "%=",     "+=",     "-=",     ">>=",   "<<=",      "&=",      "|=",
    "^=",
};
static_assert(std::size(kSpellings) == size_t(Tok::XorAssign) + 1);

// First characters of the operators and punctuators.
constexpr std::array<bool, 256> make_operator_starts() {
    std::array<bool, 256> t{};
    for (char c : std::string_view("!~+-*%><=&|^?,()[]{}:;.")) t[uint8_t(c)] = true;
    return t;
}
constexpr std::array<bool, 256> kOperatorStarts = make_operator_starts();

uint32_t float_bits(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

}  // namespace

std::string_view token_spelling(Tok t) {
    return kSpellings[size_t(t)];
}

Lexer::Lexer(Diagnostics& diag, Preprocessor& pp, SymbolTable& symbols, NameHeap& heap)
    : diag_(diag), pp_(pp), symbols_(symbols), heap_(heap) {}

void Lexer::register_keywords() {
    for (const KeywordSpelling& k : kKeywords) {
        Symbol* s = symbols_.global(k.text);
        s->kind = SymbolKind::Keyword;
        s->value = int32_t(k.token);
    }
}

Symbol* Lexer::read_macro_name() {
    const NameScope scope = scope_;
    const uint32_t suffix = member_suffix_;
    const bool join = join_;
    // A directive is read in the middle of another token's reading.
    Token* const out = out_;
    scope_ = NameScope::Global;
    member_suffix_ = 0;
    join_ = false;
    Tok t = next(own_);
    out_ = out;
    scope_ = scope;
    member_suffix_ = suffix;
    join_ = join;
    if (t != Tok::Identifier || own_.global->kind != SymbolKind::New) return nullptr;
    return own_.global;
}

Tok Lexer::next(Token& out) {
    out_ = &out;
    // A macro that ends its own text with its own name is popped before it is
    // pushed again, so depth alone never stops it: count the expansions too.
    uint32_t expansions = 0;
    for (;;) {
        pp_.skip_blanks();
        const uint8_t c = pp_.cur();
        if (is_ident_start(c) || is_lead_byte(c)) {
            if (identifier()) return out_->kind;
            if (++expansions > kMaxExpansionsPerToken) diag_.fail(Msg::MacroDepth);
            continue;  // a macro was expanded
        }
        if (is_digit(c)) return number();
        if (c == '\'') return character_constant();
        if (c == '"') return string_literal();
        if (c == '/') {
            pp_.next();
            if (pp_.cur() == '/') {
                while (pp_.cur() != '\n') pp_.next();
                continue;
            }
            if (pp_.cur() == '*') {
                block_comment();
                continue;
            }
            return pick('=', Tok::DivAssign, Tok::Slash);
        }
        // "#", "$", "@", "`", "\\", half-width katakana, control bytes...
        if (!kOperatorStarts[c]) diag_.fail(Msg::Syntax);
        pp_.next();  // operators: the first character
        switch (c) {
            case '!':
                return pick('=', Tok::NotEqual, Tok::Not);
            case '~':
                return single(Tok::Tilde);
            case '+':
                return pick('+', Tok::Inc, '=', Tok::AddAssign, Tok::Plus);
            case '-':
                if (pp_.cur() == '>') return pick('>', Tok::Arrow, Tok::Minus);
                return pick('-', Tok::Dec, '=', Tok::SubAssign, Tok::Minus);
            case '*':
                return pick('=', Tok::MulAssign, Tok::Star);
            case '%':
                return pick('=', Tok::ModAssign, Tok::Percent);
            case '>':
                if (pp_.cur() == '>') {
                    pp_.next();
                    return pick('=', Tok::ShrAssign, Tok::Shr);
                }
                return pick('=', Tok::GreaterEqual, Tok::Greater);
            case '<':
                if (pp_.cur() == '<') {
                    pp_.next();
                    return pick('=', Tok::ShlAssign, Tok::Shl);
                }
                return pick('=', Tok::LessEqual, Tok::Less);
            case '=':
                return pick('=', Tok::Equal, Tok::Assign);
            case '&':
                return pick('&', Tok::AndAnd, '=', Tok::AndAssign, Tok::Amp);
            case '|':
                return pick('|', Tok::OrOr, '=', Tok::OrAssign, Tok::Pipe);
            case '^':
                return pick('=', Tok::XorAssign, Tok::Caret);
            case '?':
                return single(Tok::Question);
            case ',':
                return single(Tok::Comma);
            case '(':
                return single(Tok::LParen);
            case ')':
                return single(Tok::RParen);
            case '[':
                return single(Tok::LBracket);
            case ']':
                return single(Tok::RBracket);
            case '{':
                return single(Tok::LBrace);
            case '}':
                return single(Tok::RBrace);
            case ':':
                return single(Tok::Colon);
            case ';':
                return single(Tok::Semicolon);
            case '.':
                return single(Tok::Dot);
            default:
                diag_.fail(Msg::Syntax);
        }
    }
}

void Lexer::block_comment() {
    // Comments nest; a matched pair of marks is consumed whole.
    pp_.comment_depth = 1;
    pp_.next();  // the star of the opening mark
    while (pp_.comment_depth > 0) {
        const uint8_t d = pp_.cur();
        pp_.next();
        if (d == '*' && pp_.cur() == '/') {
            --pp_.comment_depth;
            pp_.next();
        } else if (d == '/' && pp_.cur() == '*') {
            ++pp_.comment_depth;
            pp_.next();
        }
    }
}

Tok Lexer::single(Tok t) {
    *out_ = Token{t};
    return t;
}

Tok Lexer::pick(uint8_t c2, Tok t2, Tok plain) {
    if (c2 != 0 && pp_.cur() == c2) {
        pp_.next();
        return single(t2);
    }
    return single(plain);
}

Tok Lexer::pick(uint8_t c2, Tok t2, uint8_t c3, Tok t3, Tok plain) {
    if (pp_.cur() == c3) {
        pp_.next();
        return single(t3);
    }
    return pick(c2, t2, plain);
}

// ---------------------------------------------------------------------------
// Identifiers

uint32_t Lexer::read_identifier_text() {
    // The name's hash (hash_name) is taken on the way, for the lookups.
    auto step = [](uint32_t h, uint8_t c) { return h * 7 ^ uint32_t(int32_t(int8_t(c))); };
    uint32_t h = 0;
    text_len_ = 0;
    if (pp_.reading_plain() && is_ident_char(pp_.cur())) {
        // The usual case: single-byte characters within the line, copied
        // straight from it (a line is never longer than the text kept).
        static_assert(Preprocessor::kLineMax <= kTextMax);
        h = step(h, pp_.cur());
        size_t len = 0;
        text_[len++] = char(pp_.cur());
        const uint8_t* p = pp_.read_pos();
        const uint8_t* end = pp_.read_end();
        while (p != end && is_ident_char(*p)) {
            h = step(h, *p);
            text_[len++] = char(*p++);
        }
        text_len_ = len;
        pp_.continue_at(p);
    }
    auto put = [this, &h, step](uint8_t c) {
        // Longer than a line could hold: only pasting can build such a name.
        if (text_len_ >= kTextMax) diag_.fail(Msg::LineTooLong);
        h = step(h, c);
        text_[text_len_++] = char(c);
    };
    while (is_ident_char(pp_.cur()) || is_lead_byte(pp_.cur())) {
        if (is_lead_byte(pp_.cur()) && pp_.lead_pairs()) {
            put(pp_.cur());
            pp_.next();
        }
        put(pp_.cur());
        pp_.next();
    }
    return h;
}

bool Lexer::identifier() {
    uint32_t h = read_identifier_text();
    Symbol* global = symbols_.global(text(), h);
    if (global->kind == SymbolKind::Keyword) {
        *out_ = Token{Tok(global->value)};
        return true;
    }
    if (global->kind == SymbolKind::Macro) {
        pp_.expand(*global);
        return false;
    }
    if (member_suffix_ != 0) {
        int n = std::snprintf(text_.data() + text_len_, text_.size() - text_len_, "_%u",
                              member_suffix_);
        text_len_ += size_t(n);
        h = hash_name(text());
        global = symbols_.global(text(), h);
    }
    *out_ = Token{Tok::Identifier};
    out_->global = global;
    out_->sym = global;
    if (scope_ != NameScope::Global) {
        Symbol* local = symbols_.local(text(), h, *global);
        if (scope_ == NameScope::Local || local->kind != SymbolKind::New) out_->sym = local;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Numbers and literals

Tok Lexer::number() {
    uint32_t value = 0;
    bool is_float = false;
    bool decimal = true;
    if (pp_.cur() == '0') {
        pp_.next();
        const uint8_t c = pp_.cur();
        if (c == 'x' || c == 'X') {
            decimal = false;
            pp_.next();
            while (is_hex_digit(pp_.cur())) {
                value = value * 16 + uint32_t(hex_value(pp_.cur()));
                pp_.next();
            }
        } else if (c == 'b' || c == 'B') {
            decimal = false;
            pp_.next();
            while (pp_.cur() == '0' || pp_.cur() == '1') {
                value = value * 2 + uint32_t(pp_.cur() - '0');
                pp_.next();
            }
        }
    }
    if (decimal) {
        while (is_digit(pp_.cur())) {
            value = value * 10 + uint32_t(pp_.cur() - '0');
            pp_.next();
        }
        if (pp_.cur() == '.') {
            // "<signed value>." and the fraction digits, read as a float.
            int n = std::snprintf(text_.data(), text_.size(), "%d.", int32_t(value));
            size_t len = size_t(n);
            pp_.next();
            while (is_digit(pp_.cur())) {
                if (len >= kTextMax) diag_.fail(Msg::LineTooLong);
                text_[len++] = char(pp_.cur());
                pp_.next();
            }
            float f = 0;
            auto r = std::from_chars(text_.data(), text_.data() + len, f);
            if (r.ec == std::errc::result_out_of_range) {
                double d = 0;  // a tiny fraction: let the double round it
                std::from_chars(text_.data(), text_.data() + len, d);
                f = float(d);
            }
            value = float_bits(f);
            is_float = true;
        }
    }
    if (pp_.cur() == 'f' || pp_.cur() == 'F') {
        pp_.next();
        if (!is_float) {
            value = float_bits(float(int32_t(value)));
            is_float = true;
        }
    }
    *out_ = Token{Tok::Number};
    out_->value = value;
    out_->is_float = is_float;
    return out_->kind;
}

int Lexer::escape() {
    pp_.next();  // the backslash
    const uint8_t c = pp_.cur();
    auto take = [this](int v) {
        pp_.next();
        return v;
    };
    switch (c) {
        case '\n':
            pp_.next();  // the literal goes on in the next line
            return kContinuation;
        case 'n':
            return take(10);
        case 't':
            return take(9);
        case 'r':
            return take(13);
        case 'b':
            return take(8);
        case 'f':
            return take(12);
        case 'x': {
            pp_.next();
            int v = 0;
            for (int i = 0; i < 2 && is_hex_digit(pp_.cur()); ++i) {
                v = v * 16 + hex_value(pp_.cur());
                pp_.next();
            }
            return v;
        }
        case '0': {
            pp_.next();
            int v = 0;
            for (int i = 0; i < 3 && pp_.cur() >= '0' && pp_.cur() <= '7'; ++i) {
                v = v * 8 + (pp_.cur() - '0');
                pp_.next();
            }
            return v & 0xFF;
        }
        default:
            break;
    }
    if (is_digit(c)) {
        // Decimal, not octal: "\65" is "A".
        int v = 0;
        for (int i = 0; i < 3 && is_digit(pp_.cur()); ++i) {
            v = v * 10 + (pp_.cur() - '0');
            pp_.next();
        }
        return v & 0xFF;
    }
    // A double-byte character is never split by the backslash before it.
    if (is_lead_byte(c) && pp_.lead_pairs()) return kPlainNext;
    return take(c);
}

Tok Lexer::character_constant() {
    Preprocessor::Suspension suspension(pp_);
    pp_.next();  // the opening quote
    uint32_t value = 0;
    for (;;) {
        uint8_t c = pp_.cur();
        if (c == '\n') diag_.fail(Msg::StringLine);
        if (c == '\\') {
            int e = escape();
            if (e == kContinuation) continue;
            if (e >= 0) {
                value = uint32_t(e);
                break;
            }
            c = pp_.cur();
        }
        if (is_lead_byte(c) && pp_.lead_pairs()) {
            pp_.next();
            value = uint32_t(c) << 8 | pp_.cur();
        } else {
            value = c;
        }
        pp_.next();
        break;
    }
    if (pp_.cur() != '\'') diag_.fail(Msg::Quote);
    pp_.next();
    *out_ = Token{Tok::Number};
    out_->value = value;
    return out_->kind;
}

Tok Lexer::string_literal() {
    Preprocessor::Suspension suspension(pp_);
    if (join_ && last_str_)
        heap_.reopen(last_str_, last_str_size_ - 1);
    else
        heap_.begin();
    pp_.next();  // the opening quote
    for (;;) {
        uint8_t c = pp_.cur();
        if (c == '"') {
            pp_.next();
            break;
        }
        if (c == '\n') diag_.fail(Msg::StringLine);
        if (c == '\\') {
            int e = escape();
            if (e >= 0) heap_.put(uint8_t(e));
            if (e != kPlainNext) continue;
            c = pp_.cur();
        }
        if (is_lead_byte(c) && pp_.lead_pairs()) {
            heap_.put(c);
            pp_.next();
        }
        heap_.put(pp_.cur());
        pp_.next();
    }
    last_str_size_ = uint32_t(heap_.open_size() + 1);
    last_str_ = heap_.finish();
    *out_ = Token{Tok::String};
    out_->str = last_str_;
    out_->str_size = last_str_size_;
    return out_->kind;
}

}  // namespace tob::compiler
