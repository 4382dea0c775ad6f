// Token kinds of the script language and the current token the lexer hands to
// the parser.
#pragma once

#include <cstdint>
#include <string_view>

namespace tob::compiler {

struct Symbol;

enum class Tok : uint8_t {
    Identifier,
    Number,  // integers, floats and character constants
    String,
    // Keywords, in registration order ("void" is the same keyword as "int").
    KwInt,
    KwChar,
    KwStruct,
    KwUnion,
    KwSigned,
    KwUnsigned,
    KwStatic,
    KwGoto,
    KwReturn,
    KwBreak,
    KwContinue,
    KwIf,
    KwElse,
    KwFor,
    KwDo,
    KwWhile,
    KwSwitch,
    KwCase,
    KwDefault,
    KwTypedef,
    KwSizeof,
    KwLong,
    KwShort,
    KwFloat,
    KwExtern,
    // Operators and punctuators.
    Not,           // !
    Tilde,         // ~
    Inc,           // ++
    Dec,           // --
    Star,          // *
    Slash,         // /
    Percent,       // %
    Plus,          // +
    Minus,         // -
    Shr,           // >>
    Shl,           // <<
    Greater,       // >
    GreaterEqual,  // >=
    Less,          // <
    LessEqual,     // <=
    Equal,         // ==
    NotEqual,      // !=
    Amp,           // &
    Pipe,          // |
    Caret,         // ^
    AndAnd,        // &&
    OrOr,          // ||
    Question,      // ?
    Assign,        // =
    Comma,         // ,
    LParen,        // (
    RParen,        // )
    LBracket,      // [
    RBracket,      // ]
    LBrace,        // {
    RBrace,        // }
    Colon,         // :
    Semicolon,     // ;
    Dot,           // .
    Arrow,         // ->
    MulAssign,     // *=
    DivAssign,     // /=
    ModAssign,     // %=
    AddAssign,     // +=
    SubAssign,     // -=
    ShrAssign,     // >>=
    ShlAssign,     // <<=
    AndAssign,     // &=
    OrAssign,      // |=
    XorAssign,     // ^=
};

// Keyword spellings in registration order, with their tokens.
struct KeywordSpelling {
    std::string_view text;
    Tok token;
};
inline constexpr KeywordSpelling kKeywords[] = {
    {"int", Tok::KwInt},
    {"void", Tok::KwInt},
    {"char", Tok::KwChar},
    {"struct", Tok::KwStruct},
    {"union", Tok::KwUnion},
    {"signed", Tok::KwSigned},
    {"unsigned", Tok::KwUnsigned},
    {"static", Tok::KwStatic},
    {"goto", Tok::KwGoto},
    {"return", Tok::KwReturn},
    {"break", Tok::KwBreak},
    {"continue", Tok::KwContinue},
    {"if", Tok::KwIf},
    {"else", Tok::KwElse},
    {"for", Tok::KwFor},
    {"do", Tok::KwDo},
    {"while", Tok::KwWhile},
    {"switch", Tok::KwSwitch},
    {"case", Tok::KwCase},
    {"default", Tok::KwDefault},
    {"typedef", Tok::KwTypedef},
    {"sizeof", Tok::KwSizeof},
    {"long", Tok::KwLong},
    {"short", Tok::KwShort},
    {"float", Tok::KwFloat},
    {"extern", Tok::KwExtern},
};

// Spelling of a token kind, for diagnostics and tests.
std::string_view token_spelling(Tok t);

struct Token {
    Tok kind = Tok::Semicolon;
    // Number: the 32-bit value, or a float's bit pattern when is_float is set.
    uint32_t value = 0;
    bool is_float = false;
    // String literal: start in the name heap and length with the terminating zero.
    const char* str = nullptr;
    uint32_t str_size = 0;
    // Identifier: the entry in force and the global entry found for the name.
    Symbol* sym = nullptr;
    Symbol* global = nullptr;
};

}  // namespace tob::compiler
