// Feeds arbitrary bytes as a script source through the compiler's front end
// (preprocessor and lexer). Every include name reads the same bytes again, so
// nesting, the included-once rule and macro expansion across files all run.
#include <cstddef>
#include <cstdint>
#include <string>

#include "compiler/front_end.h"

using namespace tob::compiler;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string source(reinterpret_cast<const char*>(data), size);
    FrontEndOptions options;
    options.source_path = "fuzz\\main.c";
    options.reader = [&source](std::string_view) { return SourceData{SourceStatus::Ok, source}; };
    options.collect_messages = true;
    options.listing = true;
    options.echo_source = true;
    auto fe = std::make_unique<FrontEnd>(options);
    fe->run([&] {
        fe->lexer.register_keywords();
        fe->diag.set_top_level(true);
        fe->open_main();
        bool after_string = false;
        for (;;) {
            fe->lexer.set_join_strings(after_string);
            Tok t = fe->lexer.next();
            after_string = t == Tok::String;
            // Walk through the scopes the parser would use.
            fe->lexer.set_member_suffix(t == Tok::Dot ? 7 : 0);
            if (t == Tok::LParen) fe->lexer.set_scope(NameScope::Local);
            if (t == Tok::LBrace) fe->lexer.set_scope(NameScope::Body);
            if (t == Tok::RBrace) {
                fe->lexer.set_scope(NameScope::Global);
                fe->symbols.clear_locals();
            }
        }
    });
    return 0;
}
