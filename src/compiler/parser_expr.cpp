// Expression syntax: precedence levels, unary and postfix operators, casts,
// sizeof, calls, member access and primary expressions.
#include "compiler/parser.h"

namespace tob::compiler {
namespace {

// Binding strength of binary operators; 0 for anything else.
int precedence(Tok t) {
    switch (t) {
        case Tok::OrOr:
            return 4;
        case Tok::AndAnd:
            return 5;
        case Tok::Pipe:
            return 6;
        case Tok::Caret:
            return 7;
        case Tok::Amp:
            return 8;
        case Tok::Equal:
        case Tok::NotEqual:
            return 9;
        case Tok::Less:
        case Tok::LessEqual:
        case Tok::Greater:
        case Tok::GreaterEqual:
            return 10;
        case Tok::Shr:
        case Tok::Shl:
            return 11;
        case Tok::Plus:
        case Tok::Minus:
            return 12;
        case Tok::Star:
        case Tok::Slash:
        case Tok::Percent:
            return 13;
        default:
            return 0;
    }
}

bool is_assignment(Tok t) {
    switch (t) {
        case Tok::Assign:
        case Tok::MulAssign:
        case Tok::DivAssign:
        case Tok::ModAssign:
        case Tok::AddAssign:
        case Tok::SubAssign:
        case Tok::ShrAssign:
        case Tok::ShlAssign:
        case Tok::AndAssign:
        case Tok::OrAssign:
        case Tok::XorAssign:
            return true;
        default:
            return false;
    }
}

}  // namespace

int32_t Parser::expression() {
    int32_t e = assignment();
    while (accept(Tok::Comma)) {
        int32_t right = rvalue(assignment());
        Node n;
        n.kind = NodeKind::Comma;
        n.a = rvalue(e);
        n.b = right;
        n.type = value_type(right);
        n.obj = n.type;
        e = add(n);
    }
    return e;
}

int32_t Parser::assignment() {
    Nesting nesting(*this, Msg::Expression);
    int32_t target = conditional();
    const Tok t = peek();
    if (!is_assignment(t)) return target;
    consume();
    int32_t value = assignment();
    return make_assign(t, target, value);
}

int32_t Parser::conditional() {
    int32_t c = binary(precedence(Tok::OrOr));
    if (!accept(Tok::Question)) return c;
    int32_t a = expression();
    expect(Tok::Colon);
    int32_t b = conditional();
    return make_conditional(c, a, b);
}

int32_t Parser::binary(int min_precedence) {
    int32_t left = unary();
    for (;;) {
        const Tok t = peek();
        const int p = precedence(t);
        if (p == 0 || p < min_precedence) return left;
        consume();
        int32_t right = binary(p + 1);
        left = make_binary(t, left, right);
    }
}

int32_t Parser::unary() {
    Nesting nesting(*this, Msg::Expression);
    switch (peek()) {
        case Tok::Not:
        case Tok::Tilde:
        case Tok::Minus: {
            const Tok t = take().kind;
            return make_unary(t, unary());
        }
        case Tok::Star:
            consume();
            return make_deref(unary());
        case Tok::Amp:
            consume();
            return make_address(unary());
        case Tok::Inc:
        case Tok::Dec: {
            const bool dec = take().kind == Tok::Dec;
            return make_incdec(unary(), false, dec);
        }
        case Tok::KwSizeof:
            return sizeof_expression();
        case Tok::LParen:
            return cast_or_parenthesised();
        default:
            return postfix(primary());
    }
}

int32_t Parser::cast_or_parenthesised() {
    consume();  // "("
    if (starts_type()) {
        TypeRef t = type_name();
        expect(Tok::RParen);
        return make_cast(t, unary());
    }
    int32_t e = expression();
    expect(Tok::RParen);
    return postfix(e);
}

TypeRef Parser::type_name() {
    std::optional<TypeRef> base = type_specifier();
    if (!base) fe_.diag.fail(Msg::BadType);
    // The type lives only as long as the expression.
    const bool global = types_.global();
    types_.set_global(false);
    Declarator d = declarator(*base, true);
    types_.set_global(global);
    if (d.has_name) fe_.diag.fail(Msg::Expression);
    return d.type;
}

int32_t Parser::sizeof_expression() {
    consume();
    if (accept(Tok::LParen)) {
        if (starts_type()) {
            TypeRef t = type_name();
            expect(Tok::RParen);
            return constant(int32_t(types_.size_of(t)));
        }
        int32_t e = expression();
        expect(Tok::RParen);
        return constant(int32_t(size_of_expression(postfix(e))));
    }
    return constant(int32_t(size_of_expression(unary())));
}

int32_t Parser::postfix(int32_t e) {
    for (;;) {
        switch (peek()) {
            case Tok::LBracket: {
                consume();
                int32_t index = expression();
                expect(Tok::RBracket);
                e = make_deref(make_binary(Tok::Plus, e, index));
                break;
            }
            case Tok::LParen:
                consume();
                e = call(e);
                break;
            case Tok::Dot:
            case Tok::Arrow: {
                const bool arrow = take().kind == Tok::Arrow;
                e = member_access(e, arrow);
                break;
            }
            case Tok::Inc:
            case Tok::Dec: {
                const bool dec = take().kind == Tok::Dec;
                e = make_incdec(e, true, dec);
                break;
            }
            default:
                return e;
        }
    }
}

int32_t Parser::member_access(int32_t e, bool arrow) {
    TypeRef st;
    int32_t base = e;
    if (arrow) {
        base = rvalue(e);
        const TypeRef t = value_type(base);
        if (!pointer_like(t) || !types_.is_struct(types_.target(t))) fe_.diag.fail(Msg::BadType);
        st = types_.target(t);
    } else {
        if (!is_lvalue(e) || !types_.is_struct(node(e).obj)) fe_.diag.fail(Msg::BadType);
        st = node(e).obj;
    }
    // The member's name is read with the struct's number appended.
    fe_.lexer.set_member_suffix(uint32_t(types_.struct_number(st)));
    const Tok k = peek();
    fe_.lexer.set_member_suffix(0);
    if (k != Tok::Identifier) fe_.diag.fail(Msg::BadType);
    Symbol* m = take().sym;
    if (m->kind != SymbolKind::Member) fe_.diag.fail(Msg::BadType);
    return member_lvalue(base, arrow, m->value, m->type);
}

int32_t Parser::call(int32_t callee) {
    std::vector<int32_t> args;
    int32_t deepest = -1;
    if (peek() != Tok::RParen) {
        for (;;) {
            int32_t a = rvalue(assignment());
            if (deepest < 0 || node(a).depth > node(deepest).depth) deepest = a;
            args.push_back(a);
            if (!accept(Tok::Comma)) break;
        }
    }
    expect(Tok::RParen);
    Node n;
    n.kind = NodeKind::Call;
    TypeRef result = type::Long;
    if (node(callee).kind == NodeKind::Function) {
        result = node(callee).sym->type;
        n.a = callee;
    } else {
        n.a = rvalue(callee);
        const TypeRef t = value_type(n.a);
        if (types_.is_function(t))
            result = types_.target(t);
        else if (types_.is_pointer(t) && types_.is_function(types_.target(t)))
            result = types_.target(types_.target(t));
        else if (!types_.is_scalar(t) && !types_.is_array(t))
            fe_.diag.fail(Msg::BadType);
    }
    n.b = nodes_.add_args(args);
    n.c = deepest;
    n.value = int32_t(args.size());
    n.type = is_basic(result) ? widened(result) : result;
    n.obj = n.type;
    return add(n);
}

int32_t Parser::primary() {
    switch (peek()) {
        case Tok::Number: {
            Token t = take();
            return t.is_float ? constant(int32_t(t.value), type::Float)
                              : constant(int32_t(t.value));
        }
        case Tok::String: {
            Token t = take();
            fe_.lexer.set_join_strings(true);  // adjacent literals form one string
            while (peek() == Tok::String) t = take();
            fe_.lexer.set_join_strings(false);
            Node n;
            n.kind = NodeKind::String;
            n.str = t.str;
            n.str_size = t.str_size;
            n.type = n.obj = char_pointer_;
            return add(n);
        }
        case Tok::Identifier:
            return identifier_expression();
        case Tok::LParen: {
            consume();
            int32_t e = expression();
            expect(Tok::RParen);
            return e;
        }
        default:
            fe_.diag.fail(Msg::Expression);
    }
}

int32_t Parser::identifier_expression() {
    Token t = take();
    Symbol* s = t.sym;
    if (s->kind == SymbolKind::New) s = t.global;  // not a local: the global name
    Node n;
    switch (s->kind) {
        case SymbolKind::Function:
            n.kind = NodeKind::Function;
            n.sym = s;
            n.type = n.obj = is_basic(s->type) ? widened(s->type) : s->type;
            return add(n);
        case SymbolKind::GlobalVar:
        case SymbolKind::LocalVar:
            return lvalue_node(s);
        case SymbolKind::New:
            break;
        default:
            fe_.diag.fail(Msg::Expression);
    }
    // An unknown name: a function when a call follows, or one that an earlier
    // program exported.
    Symbol* g = t.global;
    if (peek() != Tok::LParen) {
        std::optional<ExportedFunction> e;
        if (setup_.exports) e = setup_.exports->find(g->name);
        if (!e) fe_.diag.fail(Msg::Undefined);
        const bool global = types_.global();
        types_.set_global(true);  // the symbol outlives this function
        TypeRef r = e->basic_result;
        for (uint32_t i = 0; i < e->pointer_depth; ++i) r = types_.pointer_to(r);
        types_.set_global(global);
        g->type = r;
    } else {
        g->type = type::Long;
    }
    g->kind = SymbolKind::Function;
    g->value = cg_.new_label();
    n.kind = NodeKind::Function;
    n.sym = g;
    n.type = n.obj = is_basic(g->type) ? widened(g->type) : g->type;
    return add(n);
}

int32_t Parser::constant_value() {
    Marks m = mark();
    const int32_t e = conditional();
    const Node n = node(e);
    int32_t value = n.value;
    if (n.kind == NodeKind::Const && n.type == type::Float)
        value = node(convert(e, type::Long)).value;
    release(m);
    if (n.kind != NodeKind::Const) fe_.diag.fail(Msg::NoConstant);
    return value;
}

}  // namespace tob::compiler
