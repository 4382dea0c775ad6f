// Building expression nodes: the value rules of the language (conversions,
// pointer arithmetic, lvalues) and constant folding.
#include <cmath>
#include <cstring>

#include "compiler/parser.h"

namespace tob::compiler {
namespace {

float to_float(int32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

int32_t from_float(float f) {
    int32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// Float to integer as the machine's `ftoi` does it: out of range or NaN
// gives 0x80000000.
int32_t truncate(float f) {
    constexpr float kLimit = 2147483648.0f;
    if (!(f > -kLimit - 1.0f && f < kLimit)) return INT32_MIN;
    return int32_t(f);
}

bool is_float_op(Op op) {
    return op == Op::Fadd || op == Op::Fsub || op == Op::Fmul || op == Op::Fdiv || op == Op::Fmod;
}

}  // namespace

int32_t Parser::constant(int32_t value, TypeRef t) {
    Node n;
    n.kind = NodeKind::Const;
    n.value = value;
    n.type = n.obj = t;
    return add(n);
}

int32_t Parser::float_constant(float f) {
    return constant(from_float(f), type::Float);
}

TypeRef Parser::lvalue_value_type(TypeRef obj) const {
    return is_basic(obj) ? widened(obj) : obj;
}

TypeRef Parser::temporary_pointer_to(TypeRef t) {
    const bool global = types_.global();
    types_.set_global(false);
    TypeRef p = types_.pointer_to(t);
    types_.set_global(global);
    return p;
}

TypeRef Parser::temporary_function(TypeRef result) {
    const bool global = types_.global();
    types_.set_global(false);
    TypeRef f = types_.function_returning(result);
    types_.set_global(global);
    return f;
}

int32_t Parser::lvalue_node(Symbol* s) {
    Node n;
    n.kind = s->kind == SymbolKind::GlobalVar ? NodeKind::Global : NodeKind::Local;
    n.sym = s;
    n.value = n.kind == NodeKind::Local ? s->value : 0;
    n.obj = s->type;
    n.type = lvalue_value_type(s->type);
    return add(n);
}

int32_t Parser::retype(int32_t e, TypeRef t) {
    if (node(e).type == t) return e;
    Node n = node(e);
    n.type = t;
    return add(n);
}

int32_t Parser::address_value(int32_t e) {
    const Node& n = node(e);  // read before anything is added
    if (is_lvalue(e) && types_.is_array(n.obj)) {
        if (n.kind == NodeKind::Deref) return retype(n.a, n.obj);
        Node a;
        a.kind = n.kind == NodeKind::Global ? NodeKind::GlobalAddr : NodeKind::LocalAddr;
        a.sym = n.sym;
        a.value = n.value;
        a.type = a.obj = n.obj;
        return add(a);
    }
    if (n.kind == NodeKind::Function) {
        Node a = n;
        a.kind = NodeKind::FuncAddr;
        a.type = a.obj = temporary_function(n.sym->type);
        return add(a);
    }
    return e;
}

int32_t Parser::convert(int32_t e, TypeRef to) {
    const Node n = node(e);
    Node u;
    u.kind = NodeKind::Unary;
    u.a = e;
    if (to == type::Float && is_integer(n.type)) {
        if (n.kind == NodeKind::Const) return float_constant(float(n.value));
        u.op = Op::Itof;
        u.type = u.obj = type::Float;
        return add(u);
    }
    if (is_integer(to) && n.type == type::Float) {
        if (n.kind == NodeKind::Const) return constant(truncate(to_float(n.value)));
        u.op = Op::Ftoi;
        u.type = u.obj = type::Long;
        return add(u);
    }
    return e;
}

int32_t Parser::scale(int32_t e, uint32_t size) {
    if (size == 1) return e;
    return make_arith(Op::Mul, e, constant(int32_t(size)), type::Long);
}

int32_t Parser::make_arith(Op op, int32_t l, int32_t r, TypeRef result) {
    // Read before anything is added (adding may move the nodes).
    const Node& a = node(l);
    const Node& b = node(r);
    const bool fl = is_float_op(op);
    if (!fl && (op == Op::Div || op == Op::Mod) && b.kind == NodeKind::Const && b.value == 0)
        fe_.diag.fail(Msg::DivideByZero);
    if (a.kind == NodeKind::Const && b.kind == NodeKind::Const) {
        if (fl) {
            const float x = to_float(a.value), y = to_float(b.value);
            float z = 0;
            switch (op) {
                case Op::Fadd:
                    z = x + y;
                    break;
                case Op::Fsub:
                    z = x - y;
                    break;
                case Op::Fmul:
                    z = x * y;
                    break;
                case Op::Fdiv:
                    z = x / y;
                    break;
                default:
                    z = float(std::fmod(double(x), double(y)));
                    break;
            }
            return float_constant(z);
        }
        const uint32_t x = uint32_t(a.value), y = uint32_t(b.value);
        const bool overflow = int32_t(x) == INT32_MIN && int32_t(y) == -1;
        uint32_t z = 0;
        switch (op) {
            case Op::Add:
                z = x + y;
                break;
            case Op::Sub:
                z = x - y;
                break;
            case Op::Mul:
                z = x * y;
                break;
            // The machine divides signed only, unsigned operands too.
            case Op::Div:
                z = overflow ? x : uint32_t(int32_t(x) / int32_t(y));
                break;
            case Op::Mod:
                z = overflow ? 0 : uint32_t(int32_t(x) % int32_t(y));
                break;
            case Op::Shl:
                z = x << (y & 31);
                break;
            case Op::Shr:
                z = x >> (y & 31);
                break;
            case Op::Sar:
                z = uint32_t(int32_t(x) >> (y & 31));
                break;
            case Op::And:
                z = x & y;
                break;
            case Op::Or:
                z = x | y;
                break;
            default:
                z = x ^ y;
                break;
        }
        return constant(int32_t(z), result);
    }
    if (!fl) {
        // Multiplying or dividing by 1 is dropped.
        if ((op == Op::Mul || op == Op::Div) && b.kind == NodeKind::Const && b.value == 1)
            return retype(l, result);
        if (op == Op::Mul && a.kind == NodeKind::Const && a.value == 1) return retype(r, result);
        // A variable's address and a constant make one address.
        if ((op == Op::Add || op == Op::Sub) && b.kind == NodeKind::Const &&
            (a.kind == NodeKind::GlobalAddr || a.kind == NodeKind::LocalAddr)) {
            Node n = a;
            // Addresses wrap in 32 bits like the machine's own arithmetic.
            const uint32_t x = uint32_t(a.value), y = uint32_t(b.value);
            n.value = int32_t(op == Op::Add ? x + y : x - y);
            n.type = n.obj = result;
            return add(n);
        }
    }
    Node n;
    n.kind = NodeKind::Binary;
    n.op = op;
    n.a = l;
    n.b = r;
    n.type = n.obj = result;
    return add(n);
}

int32_t Parser::make_binary(Tok op, int32_t l, int32_t r) {
    if (op == Tok::AndAnd || op == Tok::OrOr) {
        l = rvalue(l);
        r = rvalue(r);
        if (types_.is_struct(value_type(l)) || types_.is_struct(value_type(r)))
            fe_.diag.fail(Msg::BadType);
        Node n;
        n.kind = op == Tok::AndAnd ? NodeKind::LogAnd : NodeKind::LogOr;
        n.a = l;
        n.b = r;
        return add(n);
    }
    switch (op) {
        case Tok::Equal:
        case Tok::NotEqual:
        case Tok::Less:
        case Tok::LessEqual:
        case Tok::Greater:
        case Tok::GreaterEqual:
            return make_compare(op, l, r);
        default:
            break;
    }
    l = rvalue(l);
    r = rvalue(r);
    const TypeRef lt = value_type(l), rt = value_type(r);
    if (op == Tok::Plus || op == Tok::Minus) {
        if (pointer_like(lt) && is_integer(rt)) {
            Op o = op == Tok::Plus ? Op::Add : Op::Sub;
            return make_arith(o, l, scale(r, types_.element_size(lt)), lt);
        }
        if (op == Tok::Minus && pointer_like(lt) && pointer_like(rt)) {
            if (!types_.same(types_.target(lt), types_.target(rt))) fe_.diag.fail(Msg::BadType);
            int32_t bytes = make_arith(Op::Sub, l, r, type::Long);
            return make_arith(Op::Div, bytes, constant(int32_t(types_.element_size(lt))),
                              type::Long);
        }
    }
    if (!is_basic(lt) || !is_basic(rt)) fe_.diag.fail(Msg::BadType);
    const bool fl = lt == type::Float || rt == type::Float;
    TypeRef result;
    if (fl) {
        result = type::Float;
    } else {
        // The larger size wins; at equal size the unsigned type.
        const uint32_t ls = basic_size(lt), rs = basic_size(rt);
        result = ls > rs ? lt : rs > ls ? rt : is_unsigned(lt) ? lt : rt;
    }
    Op o;
    switch (op) {
        case Tok::Star:
            o = fl ? Op::Fmul : Op::Mul;
            break;
        case Tok::Slash:
            o = fl ? Op::Fdiv : Op::Div;
            break;
        case Tok::Percent:
            o = fl ? Op::Fmod : Op::Mod;
            break;
        case Tok::Plus:
            o = fl ? Op::Fadd : Op::Add;
            break;
        case Tok::Minus:
            o = fl ? Op::Fsub : Op::Sub;
            break;
        default:
            if (fl) fe_.diag.fail(Msg::BadType);  // bit operations need integers
            switch (op) {
                case Tok::Shl:
                    o = Op::Shl;
                    break;
                case Tok::Shr:
                    o = is_unsigned(result) ? Op::Shr : Op::Sar;
                    break;
                case Tok::Amp:
                    o = Op::And;
                    break;
                case Tok::Pipe:
                    o = Op::Or;
                    break;
                default:
                    o = Op::Xor;
                    break;
            }
    }
    if (fl) {
        l = convert(l, type::Float);
        r = convert(r, type::Float);
    }
    return make_arith(o, l, r, result);
}

int32_t Parser::make_compare(Tok rel, int32_t l, int32_t r) {
    l = rvalue(l);
    r = rvalue(r);
    const TypeRef lt = value_type(l), rt = value_type(r);
    auto comparable = [this](TypeRef t) {
        return types_.is_scalar(t) || types_.is_array(t) || types_.is_function(t);
    };
    if (!comparable(lt) || !comparable(rt)) fe_.diag.fail(Msg::BadType);
    Node n;
    n.kind = NodeKind::Compare;
    n.rel = rel;
    if (rel == Tok::Equal || rel == Tok::NotEqual) {
        n.mode = CompareMode::Bits;  // the 32-bit values, unconverted
    } else if (lt == type::Float || rt == type::Float) {
        if (!is_basic(lt) || !is_basic(rt)) fe_.diag.fail(Msg::BadType);
        l = convert(l, type::Float);
        r = convert(r, type::Float);
        n.mode = CompareMode::Float;
    } else if (is_integer(lt) && is_integer(rt) && !is_unsigned(lt) && !is_unsigned(rt)) {
        n.mode = CompareMode::Signed;
    } else {
        n.mode = CompareMode::Unsigned;
    }
    n.a = l;
    n.b = r;
    return add(n);
}

int32_t Parser::make_unary(Tok op, int32_t e) {
    e = rvalue(e);
    const Node n = node(e);
    if (op == Tok::Not) {
        if (types_.is_struct(n.type)) fe_.diag.fail(Msg::BadType);
        Node u;
        u.kind = NodeKind::LogNot;
        u.a = e;
        return add(u);
    }
    if (!is_basic(n.type)) fe_.diag.fail(Msg::BadType);
    Node u;
    u.kind = NodeKind::Unary;
    u.a = e;
    u.type = u.obj = n.type;
    if (op == Tok::Tilde) {
        if (n.kind == NodeKind::Const) return constant(~n.value, n.type);
        u.op = Op::Not;
    } else if (n.type == type::Float) {
        if (n.kind == NodeKind::Const) return float_constant(-to_float(n.value));
        u.op = Op::Fneg;
    } else {
        if (n.kind == NodeKind::Const) return constant(int32_t(0u - uint32_t(n.value)), n.type);
        u.op = Op::Neg;
    }
    return add(u);
}

int32_t Parser::make_deref(int32_t e) {
    e = rvalue(e);
    const Node n = node(e);
    if (!pointer_like(n.type)) fe_.diag.fail(Msg::BadType);
    const TypeRef target = types_.target(n.type);
    if (types_.is_function(target)) return e;  // calling through it is the same
    Node d;
    d.obj = target;
    d.type = lvalue_value_type(target);
    if (n.kind == NodeKind::GlobalAddr || n.kind == NodeKind::LocalAddr) {
        d.kind = n.kind == NodeKind::GlobalAddr ? NodeKind::Global : NodeKind::Local;
        d.sym = n.sym;
        d.value = n.value;
    } else {
        d.kind = NodeKind::Deref;
        d.a = e;
    }
    return add(d);
}

int32_t Parser::make_address(int32_t e) {
    const Node n = node(e);
    Node a;
    switch (n.kind) {
        case NodeKind::Global:
        case NodeKind::Local:
            a.kind = n.kind == NodeKind::Global ? NodeKind::GlobalAddr : NodeKind::LocalAddr;
            a.sym = n.sym;
            a.value = n.value;
            a.type = a.obj = temporary_pointer_to(n.obj);
            return add(a);
        case NodeKind::Deref:
            return retype(n.a, temporary_pointer_to(n.obj));
        case NodeKind::Function:
            a = n;
            a.kind = NodeKind::FuncAddr;
            a.type = a.obj = temporary_pointer_to(temporary_function(n.sym->type));
            return add(a);
        default:
            fe_.diag.fail(Msg::NoVariable);
    }
}

int32_t Parser::member_lvalue(int32_t base, bool arrow, int32_t offset, TypeRef obj) {
    Node n = node(base);
    Node m;
    m.obj = obj;
    m.type = lvalue_value_type(obj);
    if (!arrow) {
        // A member of a struct variable: the same object further on.
        m.kind = n.kind;
        m.sym = n.sym;
        m.value = int32_t(uint32_t(n.value) + uint32_t(offset));
        m.a = n.kind == NodeKind::Deref && offset != 0
                  ? make_arith(Op::Add, n.a, constant(offset), node(n.a).type)
                  : n.a;
        return add(m);
    }
    int32_t address = offset == 0 ? base : make_arith(Op::Add, base, constant(offset), n.type);
    const Node at = node(address);
    if (at.kind == NodeKind::GlobalAddr || at.kind == NodeKind::LocalAddr) {
        m.kind = at.kind == NodeKind::GlobalAddr ? NodeKind::Global : NodeKind::Local;
        m.sym = at.sym;
        m.value = at.value;
    } else {
        m.kind = NodeKind::Deref;
        m.a = address;
    }
    return add(m);
}

int32_t Parser::make_assign(Tok op, int32_t target, int32_t value) {
    const Node t = node(target);
    if (!is_lvalue(target) || !types_.is_scalar(t.obj)) fe_.diag.fail(Msg::NoVariable);
    int32_t v = rvalue(value);
    const TypeRef vt = value_type(v);
    Node n;
    n.a = target;
    n.obj = t.obj;
    n.type = t.type;
    if (op == Tok::Assign) {
        if (types_.is_struct(vt)) fe_.diag.fail(Msg::BadType);
        if (t.obj == type::Float && is_integer(vt)) v = convert(v, type::Float);
        if (is_integer(t.obj) && vt == type::Float) v = convert(v, type::Long);
        n.kind = NodeKind::Assign;
        n.b = v;
        return add(n);
    }
    if (!is_basic(vt)) fe_.diag.fail(Msg::BadType);
    n.kind = NodeKind::CompoundAssign;
    const bool arithmetic = op == Tok::MulAssign || op == Tok::DivAssign || op == Tok::ModAssign ||
                            op == Tok::AddAssign || op == Tok::SubAssign;
    if (t.obj == type::Float) {
        if (!arithmetic) fe_.diag.fail(Msg::BadType);
        v = convert(v, type::Float);
        n.op = op == Tok::MulAssign   ? Op::Fmul
               : op == Tok::DivAssign ? Op::Fdiv
               : op == Tok::ModAssign ? Op::Fmod
               : op == Tok::AddAssign ? Op::Fadd
                                      : Op::Fsub;
    } else if (types_.is_pointer(t.obj)) {
        if ((op != Tok::AddAssign && op != Tok::SubAssign) || vt == type::Float)
            fe_.diag.fail(Msg::BadType);
        v = scale(v, types_.element_size(t.obj));
        n.op = op == Tok::AddAssign ? Op::Add : Op::Sub;
    } else {
        // An integer target works in integers: a float value is converted.
        v = convert(v, type::Long);
        switch (op) {
            case Tok::MulAssign:
                n.op = Op::Mul;
                break;
            case Tok::DivAssign:
                n.op = Op::Div;
                break;
            case Tok::ModAssign:
                n.op = Op::Mod;
                break;
            case Tok::AddAssign:
                n.op = Op::Add;
                break;
            case Tok::SubAssign:
                n.op = Op::Sub;
                break;
            case Tok::ShlAssign:
                n.op = Op::Shl;
                break;
            case Tok::ShrAssign:
                n.op = is_unsigned(t.obj) ? Op::Shr : Op::Sar;
                break;
            case Tok::AndAssign:
                n.op = Op::And;
                break;
            case Tok::OrAssign:
                n.op = Op::Or;
                break;
            default:
                n.op = Op::Xor;
                break;
        }
        if ((n.op == Op::Div || n.op == Op::Mod) && node(v).kind == NodeKind::Const &&
            node(v).value == 0)
            fe_.diag.fail(Msg::DivideByZero);
    }
    n.b = v;
    return add(n);
}

int32_t Parser::make_incdec(int32_t target, bool post, bool dec) {
    const Node t = node(target);
    if (!is_lvalue(target) || !types_.is_scalar(t.obj)) fe_.diag.fail(Msg::NoVariable);
    // Stepping a float's bit pattern by one means nothing: refused.
    if (t.obj == type::Float) fe_.diag.fail(Msg::BadType);
    int32_t step = types_.is_pointer(t.obj) ? int32_t(types_.element_size(t.obj)) : 1;
    Node n;
    n.kind = NodeKind::IncDec;
    n.flags = uint8_t((post ? kPostfix : 0) | (dec ? kDecrement : 0));
    n.a = target;
    n.value = dec ? -step : step;
    n.obj = t.obj;
    n.type = t.type;
    return add(n);
}

int32_t Parser::make_cast(TypeRef t, int32_t e) {
    if (!types_.is_scalar(t)) fe_.diag.fail(Msg::BadType);
    e = rvalue(e);
    const TypeRef from = value_type(e);
    if (types_.is_struct(from)) fe_.diag.fail(Msg::BadType);
    if (t == type::Float) return convert(e, type::Float);
    if (from == type::Float && is_integer(t)) e = convert(e, type::Long);
    // Otherwise only the type changes: (char)300 is still 300.
    return retype(e, t);
}

int32_t Parser::make_conditional(int32_t c, int32_t a, int32_t b) {
    c = rvalue(c);
    a = rvalue(a);
    b = rvalue(b);
    const TypeRef at = value_type(a), bt = value_type(b);
    const TypeRef result = (bt == type::Long || (at != type::Long && bt == type::ULong)) ? at : bt;
    // A constant condition picks its part now, with the type the whole has.
    if (node(c).kind == NodeKind::Const) return retype(node(c).value != 0 ? a : b, result);
    Node n;
    n.kind = NodeKind::Cond;
    n.a = c;
    n.b = a;
    n.c = b;
    n.type = n.obj = result;
    return add(n);
}

uint32_t Parser::size_of_expression(int32_t e) {
    const Node n = node(e);
    if (n.kind == NodeKind::String) return n.str_size;
    if (n.kind == NodeKind::Function) fe_.diag.fail(Msg::Declaration);
    return types_.size_of(is_lvalue(e) ? n.obj : n.type);
}

}  // namespace tob::compiler
