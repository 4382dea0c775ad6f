// Statements: blocks, control flow, switch dispatch, labels and returns, with
// the code of each generated as soon as it is parsed.
#include "compiler/parser.h"

namespace tob::compiler {

void Parser::gen_statement_expression(int32_t e, NodePool::Mark mark) {
    cg_.flush_return();
    cg_.reset_registers();
    cg_.gen(e);
    nodes_.release(mark);
}

void Parser::gen_condition(int32_t e, bool sense, int32_t label, NodePool::Mark mark) {
    cg_.flush_return();
    cg_.reset_registers();
    cg_.condition(e, sense, label);
    nodes_.release(mark);
}

void Parser::statement() {
    Nesting nesting(*this, Msg::Syntax);
    // A waiting return jump goes out before anything else.
    cg_.flush_return();
    switch (peek()) {
        case Tok::Semicolon:
            consume();
            return;
        case Tok::LBrace:
            consume();
            while (peek() != Tok::RBrace) statement();
            consume();
            return;
        case Tok::KwIf:
            if_statement();
            return;
        case Tok::KwWhile:
            while_statement();
            return;
        case Tok::KwDo:
            do_statement();
            return;
        case Tok::KwFor:
            for_statement();
            return;
        case Tok::KwSwitch:
            switch_statement();
            return;
        case Tok::KwCase:
            case_labels();
            return;
        case Tok::KwDefault:
            default_label();
            return;
        case Tok::KwReturn:
            return_statement();
            return;
        case Tok::KwGoto:
            goto_statement();
            return;
        case Tok::KwBreak:
        case Tok::KwContinue: {
            const int32_t label = peek() == Tok::KwBreak ? break_label_ : continue_label_;
            consume();
            if (label == 0) fe_.diag.fail(Msg::Syntax);  // no loop or switch around it
            cg_.jump(Op::Jmp, label);
            expect(Tok::Semicolon);
            return;
        }
        case Tok::KwStatic:
        case Tok::KwExtern:
        case Tok::KwTypedef:
            local_declaration();
            return;
        default:
            break;
    }
    if (starts_type()) {
        local_declaration();
        return;
    }
    if (peek() == Tok::Identifier) {
        Token name = take();
        const SymbolKind k = name.global->kind;
        const bool label_name =
            k == SymbolKind::New || k == SymbolKind::Label || k == SymbolKind::LabelUsed;
        if (label_name && accept(Tok::Colon)) {
            label_statement(name);
            return;
        }
        push_front(name);
    }
    NodePool::Mark m = nodes_.mark();
    const uint32_t types = types_.down_mark();
    int32_t e = expression();
    expect(Tok::Semicolon);
    gen_statement_expression(e, m);
    types_.release_down(types);
}

void Parser::if_statement() {
    consume();
    expect(Tok::LParen);
    Marks m = mark();
    int32_t e = expression();
    expect(Tok::RParen);
    const int32_t otherwise = cg_.new_label();
    gen_condition(e, false, otherwise, m.nodes);
    release(m);
    statement();
    if (accept(Tok::KwElse)) {
        cg_.flush_return();
        int32_t end = 0;
        if (cg_.reachable()) {
            end = cg_.new_label();
            cg_.jump(Op::Jmp, end);
        }
        cg_.define_label(otherwise);
        statement();
        if (end) cg_.define_label(end);
    } else {
        cg_.define_label(otherwise);
    }
}

void Parser::while_statement() {
    consume();
    const int32_t exit = cg_.new_label();
    const int32_t again = cg_.new_label();
    cg_.define_label(again);
    expect(Tok::LParen);
    Marks m = mark();
    int32_t e = expression();
    expect(Tok::RParen);
    if (accept(Tok::Semicolon)) {
        // An empty body: the loop is the test alone.
        gen_condition(e, true, again, m.nodes);
        release(m);
    } else {
        gen_condition(e, false, exit, m.nodes);
        release(m);
        const int32_t saved_break = break_label_, saved_continue = continue_label_;
        break_label_ = exit;
        continue_label_ = again;
        statement();
        break_label_ = saved_break;
        continue_label_ = saved_continue;
        cg_.flush_return();
        if (cg_.reachable()) cg_.jump(Op::Jmp, again);
    }
    cg_.define_label(exit);
}

void Parser::do_statement() {
    consume();
    const int32_t exit = cg_.new_label();
    const int32_t next = cg_.new_label();
    const int32_t top = cg_.new_label();
    cg_.define_label(top);
    const int32_t saved_break = break_label_, saved_continue = continue_label_;
    break_label_ = exit;
    continue_label_ = next;
    statement();
    break_label_ = saved_break;
    continue_label_ = saved_continue;
    cg_.define_label(next);
    expect(Tok::KwWhile);
    expect(Tok::LParen);
    Marks m = mark();
    int32_t e = expression();
    expect(Tok::RParen);
    gen_condition(e, true, top, m.nodes);
    release(m);
    expect(Tok::Semicolon);
    cg_.define_label(exit);
}

void Parser::for_statement() {
    consume();
    expect(Tok::LParen);
    const int32_t exit = cg_.new_label();
    if (peek() != Tok::Semicolon) {
        Marks m = mark();
        int32_t e = expression();
        gen_statement_expression(e, m.nodes);
        release(m);
    }
    expect(Tok::Semicolon);
    const int32_t top = cg_.new_label();
    cg_.define_label(top);
    if (peek() != Tok::Semicolon) {
        Marks m = mark();
        int32_t e = expression();
        gen_condition(e, false, exit, m.nodes);
        release(m);
    }
    expect(Tok::Semicolon);
    // The third expression is kept until the body has been generated; the
    // body's own statements give back only what they make.
    NodePool::Mark third_mark = nodes_.mark();
    int32_t third = -1;
    if (peek() != Tok::RParen) third = expression();
    expect(Tok::RParen);
    const int32_t next = third < 0 ? top : cg_.new_label();
    const int32_t saved_break = break_label_, saved_continue = continue_label_;
    break_label_ = exit;
    continue_label_ = next;
    statement();
    break_label_ = saved_break;
    continue_label_ = saved_continue;
    if (third >= 0) {
        cg_.define_label(next);
        gen_statement_expression(third, third_mark);
    }
    cg_.jump(Op::Jmp, top);
    cg_.define_label(exit);
}

void Parser::switch_statement() {
    consume();
    expect(Tok::LParen);
    Marks m = mark();
    int32_t e = expression();
    expect(Tok::RParen);
    cg_.flush_return();
    cg_.reset_registers();
    cg_.gen(e);
    const uint8_t reg = cg_.reg_a();
    release(m);

    const int32_t saved_break = break_label_, saved_test = test_label_,
                  saved_default = default_label_;
    const bool saved_in_switch = in_switch_;
    const uint8_t saved_register = switch_register_;
    const int32_t exit = cg_.new_label();
    break_label_ = exit;
    in_switch_ = true;
    switch_register_ = reg;
    test_label_ = 0;
    default_label_ = 0;
    cg_.set_reachable(false);
    statement();
    cg_.flush_return();
    if (default_label_) {
        // Every case value is tried before the default.
        int32_t after = 0;
        if (cg_.reachable()) {
            after = cg_.new_label();
            cg_.jump(Op::Jmp, after);
        }
        if (test_label_) cg_.define_label(test_label_);
        cg_.jump(Op::Jmp, default_label_);
        if (after) cg_.define_label(after);
    } else if (test_label_) {
        cg_.define_label(test_label_);
    }
    cg_.define_label(exit);
    break_label_ = saved_break;
    test_label_ = saved_test;
    default_label_ = saved_default;
    in_switch_ = saved_in_switch;
    switch_register_ = saved_register;
}

void Parser::case_labels() {
    if (!in_switch_) fe_.diag.fail(Msg::Syntax);
    std::vector<int32_t> values;
    while (accept(Tok::KwCase)) {
        values.push_back(constant_value());
        expect(Tok::Colon);
    }
    cg_.flush_return();
    const int32_t body = cg_.new_label();
    if (cg_.reachable()) cg_.jump(Op::Jmp, body);  // falling through skips the tests
    if (test_label_) {
        cg_.define_label(test_label_);
        test_label_ = 0;
    }
    for (size_t i = 0; i + 1 < values.size(); ++i) {
        cg_.compare_immediate(switch_register_, values[i]);
        cg_.jump(Op::Je, body);
    }
    cg_.compare_immediate(switch_register_, values.back());
    test_label_ = cg_.new_label();
    cg_.jump(Op::Jne, test_label_);
    cg_.define_label(body);
    statement();
}

void Parser::default_label() {
    if (!in_switch_ || default_label_ != 0) fe_.diag.fail(Msg::Syntax);
    consume();
    expect(Tok::Colon);
    cg_.flush_return();
    if (test_label_ == 0) {
        // The tests still come first: jump to where they will be.
        test_label_ = cg_.new_label();
        cg_.jump(Op::Jmp, test_label_);
    }
    default_label_ = cg_.new_label();
    cg_.define_label(default_label_);
    statement();
}

void Parser::return_statement() {
    consume();
    if (peek() != Tok::Semicolon) {
        Marks m = mark();
        int32_t e = expression();
        cg_.flush_return();
        cg_.reset_registers();
        cg_.gen(e);
        release(m);
    }
    expect(Tok::Semicolon);
    cg_.set_pending_return(return_label_);
}

void Parser::goto_statement() {
    consume();
    if (peek() != Tok::Identifier) fe_.diag.fail(Msg::Syntax);
    Symbol* s = take().global;
    if (s->kind == SymbolKind::New) {
        s->kind = SymbolKind::LabelUsed;
        s->value = cg_.new_label();
        s->type = function_id_;
    } else if (s->kind != SymbolKind::Label && s->kind != SymbolKind::LabelUsed) {
        fe_.diag.fail(Msg::Syntax);
    } else if (s->type != function_id_) {
        fe_.diag.fail(Msg::Syntax);  // a label of another function
    }
    cg_.jump(Op::Jmp, s->value);
    expect(Tok::Semicolon);
}

void Parser::label_statement(const Token& name) {
    Symbol* s = name.global;
    if (s->kind == SymbolKind::Label) fe_.diag.fail(Msg::BadType);
    if (s->kind == SymbolKind::LabelUsed) {
        if (s->type != function_id_) fe_.diag.fail(Msg::Syntax);
    } else {
        s->value = cg_.new_label();
        s->type = function_id_;
    }
    s->kind = SymbolKind::Label;
    cg_.define_label(s->value);
    statement();
}

}  // namespace tob::compiler
