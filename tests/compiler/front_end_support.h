// Helpers for the front-end tests: scan a source held in memory into printable
// tokens, with the outcome, the collected messages and the listing.
#pragma once

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "compiler/front_end.h"

namespace tob::compiler::testing {

struct Scan {
    FrontEnd::Outcome outcome = FrontEnd::Outcome::Completed;
    std::vector<std::string> tokens;
    std::string messages;
    std::string listing;
    int32_t pending_trap = -1;
};

// "name", "42", "f:1.5", "\"text\"" (bytes outside ASCII as \xNN), or the spelling.
inline std::string describe(const Lexer& lexer, Tok t) {
    const Token& tok = lexer.token();
    switch (t) {
        case Tok::Identifier:
            return std::string(lexer.text());
        case Tok::Number:
            if (tok.is_float) {
                float f;
                std::memcpy(&f, &tok.value, sizeof f);
                char buf[64];
                std::snprintf(buf, sizeof buf, "f:%g", double(f));
                return buf;
            }
            return std::to_string(int32_t(tok.value));
        case Tok::String: {
            std::string s = "\"";
            for (uint32_t i = 0; i + 1 < tok.str_size; ++i) {
                uint8_t c = uint8_t(tok.str[i]);
                if (c >= 0x20 && c < 0x7F) {
                    s += char(c);
                } else {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\x%02X", c);
                    s += buf;
                }
            }
            return s + "\"";
        }
        default:
            return std::string(token_spelling(t));
    }
}

struct ScanOptions {
    std::string main = "main.c";
    bool top_level = true;  // the end of the source is a normal end
    bool collect = true;
    bool listing = false;
    bool echo_source = false;
};

// Scans every token of the main file `files[options.main]`. Adjacent string
// literals are joined as the parser asks for it.
inline Scan scan_files(std::map<std::string, std::string> files, const ScanOptions& options = {}) {
    FrontEndOptions o;
    o.source_path = options.main;
    o.reader = memory_source_reader(std::move(files));
    o.collect_messages = options.collect;
    o.listing = options.listing;
    o.echo_source = options.echo_source;
    auto fe = std::make_unique<FrontEnd>(o);
    Scan s;
    s.outcome = fe->run([&] {
        fe->lexer.register_keywords();
        fe->diag.set_top_level(options.top_level);
        fe->open_main();
        bool after_string = false;
        for (;;) {
            fe->lexer.set_join_strings(after_string);
            Tok t = fe->lexer.next();
            if (t == Tok::String && after_string) s.tokens.pop_back();
            after_string = t == Tok::String;
            s.tokens.push_back(describe(fe->lexer, t));
            s.pending_trap = fe->pp.pending_trap;
        }
    });
    s.messages = fe->diag.text();
    s.listing = fe->listing.text();
    return s;
}

inline Scan scan(const std::string& source, const ScanOptions& options = {}) {
    return scan_files({{options.main, source}}, options);
}

// Tokens joined by single blanks.
inline std::string joined(const Scan& s) {
    std::string out;
    for (const std::string& t : s.tokens) {
        if (!out.empty()) out += ' ';
        out += t;
    }
    return out;
}

// The number of the first numbered error in the messages, or -1.
inline int error_number(const Scan& s) {
    if (s.outcome != FrontEnd::Outcome::Failed) return -1;
    for (int n = 0; n < kMessageCount; ++n) {
        std::string text = std::string(" : ") + std::string(message_text(Msg(n))) + "。\n";
        if (s.messages.find(text) != std::string::npos) return n;
    }
    return -2;
}

}  // namespace tob::compiler::testing
