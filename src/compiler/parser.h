// The parser and driver of one compilation: reads the token stream top-down,
// one top-level declaration at a time, checks types, folds constants and hands
// each statement's expression tree to the code generator at once.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "compiler/codegen.h"
#include "compiler/exports.h"
#include "compiler/front_end.h"
#include "compiler/nodes.h"
#include "compiler/types.h"

namespace tob::compiler {

struct ParserSetup {
    ScriptAddr external_base = 0;  // shared area of `extern` variables
    uint32_t external_size = 0;
    ExportedFunctions* exports = nullptr;
};

class Parser {
  public:
    // Deepest nesting of parentheses, unary operators, statements and declarators.
    static constexpr int kMaxNesting = 200;

    Parser(FrontEnd& fe, TypeTable& types, NodePool& nodes, CodeGen& cg, const ParserSetup& setup);

    // Keywords, `main`, the jump to it, and the first line of the main file.
    void start(std::string_view file_name);
    // Top-level declarations until the source ends (SourceEnded) or an error.
    void parse_program();
    // The end of the source: .comm lines, the undefined-name check, summary.
    bool finish();

    uint32_t external_used() const { return external_used_; }

  private:
    enum class Storage { None, Static, Extern, Typedef };
    // Symbol flags.
    static constexpr uint8_t kParameter = 1;
    static constexpr uint8_t kStaticFunction = 2;

    struct Declarator {
        Token name;
        bool has_name = false;
        TypeRef type = type::Long;
        int parameter_count = 0;
        bool parameters_seen = false;  // the first list declares the parameters
    };
    struct DeclOp {
        TypeTag tag;
        int32_t count;
    };

    // --- tokens (parser.cpp) ---
    Tok peek() {
        if (queued_ == 0) read_token();
        return queue_[0].kind;
    }
    const Token& tok() {
        peek();
        return queue_[0];
    }
    void consume() {
        if (queued_ == 2) queue_[0] = queue_[1];
        if (queued_ > 0) --queued_;
    }
    Token take() {
        peek();
        Token t = queue_[0];
        consume();
        return t;
    }
    bool accept(Tok t) {
        if (peek() != t) return false;
        consume();
        return true;
    }
    void read_token() {
        fe_.lexer.next(queue_[0]);
        queued_ = 1;
    }
    void expect(Tok t);
    void push_front(const Token& t);
    void set_scope(NameScope s) { fe_.lexer.set_scope(s); }

    // Bounds the recursion of the parser (and so of the code generator).
    class Nesting {
      public:
        Nesting(Parser& p, Msg m) : p_(p) {
            if (++p_.nesting_ > kMaxNesting) p_.fe_.diag.fail(m);
        }
        ~Nesting() { --p_.nesting_; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;

      private:
        Parser& p_;
    };

    // --- declarations (parser_decl.cpp) ---
    void top_level_declaration();
    Storage storage_class();
    bool starts_type();
    std::optional<TypeRef> type_specifier();
    TypeRef struct_specifier();
    void struct_members(TypeRef st, bool is_union, int32_t number);
    Declarator declarator(TypeRef base, bool abstract, uint32_t member_suffix = 0,
                          bool parameter = false);
    void declarator_ops(std::vector<DeclOp>& ops, Declarator& d, bool abstract, uint32_t suffix,
                        bool parameter);
    int parameter_list(Declarator& d);
    void member_name(Token& t, uint32_t number);
    void declare_function(Symbol* s, TypeRef function_type);
    void declare_global(Declarator& d, Storage st);
    void declare_local(Declarator& d, Storage st);
    void function_definition(Declarator& d, Storage st);
    void knr_declarations();
    void trap_stub(Declarator& d);
    void data_initializer(uint32_t address, TypeRef t);
    void data_scalar(uint32_t address, TypeRef t);
    void local_initializer(int32_t offset, TypeRef t, const std::string& name);
    void local_declaration();
    std::string listing_name(const Symbol* s) const;

    // --- statements (parser_stmt.cpp) ---
    void statement();
    void if_statement();
    void while_statement();
    void do_statement();
    void for_statement();
    void switch_statement();
    void case_labels();
    void default_label();
    void return_statement();
    void goto_statement();
    void label_statement(const Token& name);
    void gen_statement_expression(int32_t e, NodePool::Mark mark);
    void gen_condition(int32_t e, bool sense, int32_t label, NodePool::Mark mark);
    struct Marks {
        NodePool::Mark nodes;
        uint32_t types;
    };
    Marks mark() const { return {nodes_.mark(), types_.down_mark()}; }
    void release(const Marks& m) {
        nodes_.release(m.nodes);
        types_.release_down(m.types);
    }

    // --- expressions (parser_expr.cpp, expr_build.cpp) ---
    int32_t expression();
    int32_t assignment();
    int32_t conditional();
    int32_t binary(int min_precedence);
    int32_t unary();
    int32_t postfix(int32_t e);
    int32_t primary();
    int32_t identifier_expression();
    int32_t cast_or_parenthesised();
    int32_t sizeof_expression();
    int32_t member_access(int32_t e, bool arrow);
    int32_t call(int32_t callee);
    TypeRef type_name();
    int32_t constant_value();

    int32_t add(const Node& n) { return nodes_.add(n); }
    Node& node(int32_t i) { return nodes_[i]; }
    int32_t constant(int32_t value, TypeRef t = type::Long);
    int32_t float_constant(float f);
    bool is_const(int32_t e) const { return nodes_[e].kind == NodeKind::Const; }
    bool is_lvalue(int32_t e) const {
        const NodeKind k = nodes_[e].kind;
        return k == NodeKind::Global || k == NodeKind::Local || k == NodeKind::Deref;
    }
    TypeRef value_type(int32_t e) const { return nodes_[e].type; }
    bool pointer_like(TypeRef t) const { return types_.is_pointer(t) || types_.is_array(t); }
    // Arrays give the address of their first element; functions their address.
    int32_t rvalue(int32_t e) {
        const Node& n = nodes_[e];
        if (n.kind == NodeKind::Function || (is_lvalue(e) && types_.is_array(n.obj)))
            return address_value(e);
        return e;
    }
    int32_t address_value(int32_t e);
    int32_t convert(int32_t e, TypeRef to);
    int32_t make_binary(Tok op, int32_t l, int32_t r);
    int32_t make_arith(Op op, int32_t l, int32_t r, TypeRef result);
    int32_t make_compare(Tok rel, int32_t l, int32_t r);
    int32_t make_unary(Tok op, int32_t e);
    int32_t make_deref(int32_t e);
    int32_t make_address(int32_t e);
    int32_t make_assign(Tok op, int32_t target, int32_t value);
    int32_t make_incdec(int32_t target, bool post, bool dec);
    int32_t make_cast(TypeRef t, int32_t e);
    int32_t make_conditional(int32_t c, int32_t a, int32_t b);
    int32_t lvalue_node(Symbol* s);
    int32_t retype(int32_t e, TypeRef t);
    int32_t scale(int32_t e, uint32_t size);
    int32_t member_lvalue(int32_t base, bool arrow, int32_t offset, TypeRef obj);
    uint32_t size_of_expression(int32_t e);
    TypeRef lvalue_value_type(TypeRef obj) const;
    // Types that only live inside an expression go to the temporary area.
    TypeRef temporary_pointer_to(TypeRef t);
    TypeRef temporary_function(TypeRef result);

    FrontEnd& fe_;
    TypeTable& types_;
    NodePool& nodes_;
    CodeGen& cg_;
    ParserSetup setup_;

    std::array<Token, 2> queue_{};
    int queued_ = 0;
    int nesting_ = 0;
    int parameter_depth_ = 0;
    bool function_records_temporary_ = false;

    bool in_function_ = false;
    int32_t function_id_ = 0;
    int32_t return_label_ = 0;
    uint32_t frame_size_ = 0;
    int32_t struct_count_ = 0;
    int32_t static_count_ = 0;
    uint32_t external_used_ = 0;
    TypeRef char_pointer_ = 0;
    struct StaticLocal {
        std::string name;
        uint32_t size;
    };
    std::vector<StaticLocal> static_locals_;

    // Innermost loop and switch.
    int32_t break_label_ = 0;
    int32_t continue_label_ = 0;
    bool in_switch_ = false;
    uint8_t switch_register_ = 0;
    int32_t test_label_ = 0;
    int32_t default_label_ = 0;
};

}  // namespace tob::compiler
