// The parser's token handling and the driver: start, the loop over top-level
// declarations, and the end of the source with the undefined-name check.
#include "compiler/parser.h"

#include "platform/cp932.h"

namespace tob::compiler {

Parser::Parser(FrontEnd& fe, TypeTable& types, NodePool& nodes, CodeGen& cg,
               const ParserSetup& setup)
    : fe_(fe), types_(types), nodes_(nodes), cg_(cg), setup_(setup) {}

// ---------------------------------------------------------------------------
// Tokens: read only when asked for, so that the scope in force when a token
// is read is the one the parser has set for it.

void Parser::expect(Tok t) {
    if (accept(t)) return;
    std::string_view item = kMissingIdentifier;
    switch (t) {
        case Tok::KwWhile:
            item = "'while'";
            break;
        case Tok::LParen:
            item = "'('";
            break;
        case Tok::RParen:
            item = "')'";
            break;
        case Tok::RBracket:
            item = "']'";
            break;
        case Tok::Colon:
            item = "':'";
            break;
        case Tok::Semicolon:
            item = "';'";
            break;
        default:
            break;
    }
    fe_.diag.missing(item);
}

void Parser::push_front(const Token& t) {
    if (queued_ == 2) fe_.diag.fail(Msg::Internal);
    if (queued_ == 1) queue_[1] = queue_[0];
    queue_[0] = t;
    ++queued_;
}

// ---------------------------------------------------------------------------
// Driver

void Parser::start(std::string_view file_name) {
    fe_.lexer.register_keywords();
    Symbol* main = fe_.symbols.global("main");
    main->kind = SymbolKind::Function;
    main->type = type::Long;
    main->value = cg_.new_label();
    char_pointer_ = types_.pointer_to(type::Char);
    fe_.listing.line(".file \"%.*s\"\n", int(file_name.size()), file_name.data());
    fe_.listing.line(".text\n\n");
    cg_.jump(Op::Jmp, main->value);
    fe_.open_main();
}

void Parser::parse_program() {
    for (;;) {
        fe_.symbols.clear_locals();
        set_scope(NameScope::Global);
        types_.set_global(true);
        // Only here may the source end.
        fe_.diag.set_top_level(true);
        while (peek() == Tok::Semicolon) consume();
        fe_.diag.set_top_level(false);
        top_level_declaration();
    }
}

bool Parser::finish() {
    std::span<Symbol> globals = fe_.symbols.globals();
    for (const Symbol& s : globals)
        if (s.kind == SymbolKind::GlobalVar && s.value >= 0)
            fe_.listing.line(".comm %s, %u\n", s.name, types_.size_of(s.type));

    bool ok = true;
    for (Symbol& s : globals) {
        if (s.kind == SymbolKind::Function && !cg_.label_defined(s.value)) {
            std::optional<ExportedFunction> e;
            if (setup_.exports) e = setup_.exports->find(s.name);
            if (e) {
                // Calls go into the program that exported it.
                cg_.resolve_outside(s.value, e->address);
                continue;
            }
            fe_.diag.append(tob::cp932_to_utf8(s.name) + " 関数は定義されていません。\n");
            ok = false;
        } else if (s.kind == SymbolKind::LabelUsed) {
            fe_.diag.append(tob::cp932_to_utf8(s.name) + " ラベルは定義されていません。\n");
            ok = false;
        }
    }
    if (!ok) return false;
    fe_.listing.line("\n;==================================================\n");
    fe_.listing.line("; Compiled %u lines.\n", uint32_t(fe_.pp.main_line() - 1));
    fe_.listing.line("; Total internal labels  : %u.\n", cg_.label_count());
    fe_.listing.line("; Total program size : %u bytes.\n", cg_.code_size());
    fe_.listing.line("; Total data size : %u bytes.\n", cg_.data_size());
    fe_.listing.line("; Total external data size : %u bytes.\n\n", external_used_);
    return true;
}

}  // namespace tob::compiler
