// Expression trees: the parser builds one small tree per expression statement,
// condition or return value, and the code generator turns it into code at
// once. Nodes live in a pool that is emptied after every statement.
#pragma once

#include <cstdint>
#include <vector>

#include "compiler/diagnostics.h"
#include "compiler/symbols.h"
#include "compiler/token.h"
#include "compiler/types.h"
#include "vm/opcodes.h"

namespace tob::compiler {

enum class NodeKind : uint8_t {
    Const,           // value: the 32-bit value or a float's bits
    String,          // str, str_size: a literal, placed as a datum when generated
    Global,          // lvalue: global or static variable sym at offset value
    Local,           // lvalue: frame offset value
    Deref,           // lvalue: memory at the address a
    GlobalAddr,      // address of sym plus value
    LocalAddr,       // frame address value
    FuncAddr,        // address of function sym
    Function,        // function designator sym (callee)
    Binary,          // op a, b
    Unary,           // op a (neg, fneg, not, set, itof, ftoi)
    Compare,         // rel a, b in `mode`
    LogAnd,          // a && b
    LogOr,           // a || b
    LogNot,          // !a
    Cond,            // a ? b : c
    Comma,           // a, b
    Assign,          // a = b
    CompoundAssign,  // a op= b
    IncDec,          // prefix or postfix step on a
    Call,            // a(args): `value` arguments from args[b]; c: the deepest one
};

enum class CompareMode : uint8_t { Signed, Unsigned, Float, Bits };

// IncDec flags.
inline constexpr uint8_t kPostfix = 1;
inline constexpr uint8_t kDecrement = 2;

struct Node {
    NodeKind kind = NodeKind::Const;
    Op op = Op::Nop;
    CompareMode mode = CompareMode::Signed;
    Tok rel = Tok::Equal;
    uint8_t flags = 0;
    uint16_t depth = 1;
    TypeRef type = type::Long;  // type of the value
    TypeRef obj = type::Long;   // lvalues: type of the object
    int32_t a = -1, b = -1, c = -1;
    int32_t value = 0;
    Symbol* sym = nullptr;
    const char* str = nullptr;
    uint32_t str_size = 0;
};

class NodePool {
  public:
    // Deepest tree accepted: generation recurses along it.
    static constexpr uint16_t kMaxDepth = 400;
    static constexpr size_t kMaxNodes = 1 << 16;

    explicit NodePool(Diagnostics& diag) : diag_(diag) { nodes_.reserve(256); }

    int32_t add(const Node& n) {
        uint16_t d = 0;
        for (int32_t child : {n.a, n.b, n.c})
            if (child >= 0 && nodes_[size_t(child)].depth > d) d = nodes_[size_t(child)].depth;
        if (d >= kMaxDepth) diag_.fail(Msg::Expression);
        if (nodes_.size() >= kMaxNodes) diag_.fail(Msg::HeapOverflow);
        nodes_.push_back(n);  // `n` may be one of the nodes: push_back copes
        nodes_.back().depth = uint16_t(d + 1);
        return int32_t(nodes_.size() - 1);
    }
    Node& operator[](int32_t i) { return nodes_[size_t(i)]; }
    const Node& operator[](int32_t i) const { return nodes_[size_t(i)]; }

    // Call arguments, first to last.
    int32_t add_args(const std::vector<int32_t>& args) {
        int32_t at = int32_t(args_.size());
        args_.insert(args_.end(), args.begin(), args.end());
        return at;
    }
    int32_t arg(int32_t at) const { return args_[size_t(at)]; }

    // Nodes are given back in stack order: a statement releases what it made.
    struct Mark {
        size_t nodes, args;
    };
    Mark mark() const { return {nodes_.size(), args_.size()}; }
    void release(Mark m) {
        if (m.nodes < nodes_.size()) nodes_.resize(m.nodes);
        if (m.args < args_.size()) args_.resize(m.args);
    }

  private:
    Diagnostics& diag_;
    std::vector<Node> nodes_;
    std::vector<int32_t> args_;
};

}  // namespace tob::compiler
