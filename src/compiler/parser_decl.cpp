// Declarations: storage classes, type specifiers, structs and unions,
// declarators, parameters, function definitions, trap stubs, and the
// initializers of global, static and local variables.
#include <cstring>

#include "compiler/parser.h"

namespace tob::compiler {
namespace {

// Largest frame a function may have: offsets stay well inside 32 bits.
constexpr uint32_t kMaxFrame = uint32_t(1) << 30;
constexpr uint32_t kMaxTrapNumber = 0xFFFF;
constexpr int32_t kFirstParameterOffset = 8;

}  // namespace

// ---------------------------------------------------------------------------
// Top level

void Parser::top_level_declaration() {
    Storage st = storage_class();
    TypeRef base = type_specifier().value_or(type::Long);
    if (accept(Tok::Semicolon)) return;  // only a struct or union was declared
    for (;;) {
        set_scope(NameScope::Global);
        function_records_temporary_ = st != Storage::Typedef;
        Declarator d = declarator(base, false);
        function_records_temporary_ = false;
        if (fe_.pp.pending_trap >= 0) {
            trap_stub(d);
            return;
        }
        if (types_.is_function(d.type) && (d.parameter_count > 0 || peek() == Tok::LBrace)) {
            function_definition(d, st);
            return;
        }
        declare_global(d, st);
        if (!accept(Tok::Comma)) break;
    }
    if (!accept(Tok::Semicolon)) fe_.diag.fail(Msg::Declaration);
}

Parser::Storage Parser::storage_class() {
    switch (peek()) {
        case Tok::KwStatic:
            consume();
            return Storage::Static;
        case Tok::KwExtern:
            consume();
            return Storage::Extern;
        case Tok::KwTypedef:
            consume();
            return Storage::Typedef;
        default:
            return Storage::None;
    }
}

bool Parser::starts_type() {
    switch (peek()) {
        case Tok::KwInt:
        case Tok::KwChar:
        case Tok::KwStruct:
        case Tok::KwUnion:
        case Tok::KwSigned:
        case Tok::KwUnsigned:
        case Tok::KwLong:
        case Tok::KwShort:
        case Tok::KwFloat:
            return true;
        case Tok::Identifier: {
            const Symbol* s = tok().sym;
            if (s->kind == SymbolKind::New) s = tok().global;
            return s->kind == SymbolKind::Typedef;
        }
        default:
            return false;
    }
}

std::optional<TypeRef> Parser::type_specifier() {
    auto optional_int = [this](TypeRef t) {
        accept(Tok::KwInt);
        return t;
    };
    switch (peek()) {
        case Tok::KwUnsigned:
        case Tok::KwSigned: {
            const bool u = peek() == Tok::KwUnsigned;
            consume();
            switch (peek()) {
                case Tok::KwChar:
                    consume();
                    return optional_int(u ? type::UChar : type::Char);
                case Tok::KwShort:
                    consume();
                    return optional_int(u ? type::UShort : type::Short);
                case Tok::KwLong:
                    consume();
                    return optional_int(u ? type::ULong : type::Long);
                case Tok::KwInt:
                    consume();
                    return u ? type::ULong : type::Long;
                default:
                    return u ? type::ULong : type::Long;
            }
        }
        case Tok::KwInt:
            consume();
            return type::Long;
        case Tok::KwChar:
            consume();
            return type::Char;
        case Tok::KwShort:
            consume();
            return optional_int(type::Short);
        case Tok::KwLong:
            consume();
            return optional_int(type::Long);
        case Tok::KwFloat:
            consume();
            return type::Float;
        case Tok::KwStruct:
        case Tok::KwUnion:
            return struct_specifier();
        case Tok::Identifier: {
            const Symbol* s = tok().sym;
            if (s->kind == SymbolKind::New) s = tok().global;
            if (s->kind != SymbolKind::Typedef) return std::nullopt;
            TypeRef t = s->type;
            consume();
            return t;
        }
        default:
            return std::nullopt;
    }
}

TypeRef Parser::struct_specifier() {
    const bool is_union = take().kind == Tok::KwUnion;
    if (peek() == Tok::Identifier) {
        Token name = take();
        if (peek() == Tok::LBrace) {
            // A definition: the tag is global outside functions, local inside.
            Symbol* tag = in_function_ ? fe_.symbols.local(name.global->name, name.global->name)
                                       : name.global;
            if (tag->kind != SymbolKind::New) fe_.diag.fail(Msg::Declaration);
            const int32_t number = ++struct_count_;
            tag->kind = SymbolKind::Tag;
            tag->type = types_.struct_type(is_union, number);
            struct_members(tag->type, is_union, number);
            return tag->type;
        }
        Symbol* tag = name.sym;
        if (tag->kind == SymbolKind::New) tag = name.global;
        if (tag->kind == SymbolKind::New) fe_.diag.fail(Msg::Undefined);
        if (tag->kind != SymbolKind::Tag) fe_.diag.fail(Msg::BadType);
        return tag->type;
    }
    if (peek() != Tok::LBrace) fe_.diag.fail(Msg::Declaration);
    const int32_t number = ++struct_count_;
    TypeRef t = types_.struct_type(is_union, number);
    struct_members(t, is_union, number);
    return t;
}

void Parser::struct_members(TypeRef st, bool is_union, int32_t number) {
    Nesting nesting(*this, Msg::Declaration);
    consume();  // "{"
    const NameScope saved = fe_.lexer.scope();
    const NameScope scope = in_function_ ? NameScope::Local : NameScope::Global;
    int64_t size = 0;
    for (;;) {
        set_scope(scope);
        if (accept(Tok::RBrace)) break;
        storage_class();
        std::optional<TypeRef> member_type = type_specifier();
        if (!member_type) fe_.diag.fail(Msg::Declaration);
        if (accept(Tok::Semicolon)) continue;
        for (;;) {
            set_scope(scope);
            Declarator d = declarator(*member_type, false, uint32_t(number));
            Symbol* m = d.name.sym;
            if (!d.has_name || m->kind != SymbolKind::New || types_.is_function(d.type))
                fe_.diag.fail(Msg::Declaration);
            const uint32_t member_size = types_.size_of(d.type);
            m->kind = SymbolKind::Member;
            m->type = d.type;
            m->value = is_union ? 0 : int32_t(size);
            size = is_union ? std::max<int64_t>(size, member_size) : size + member_size;
            if (size >= TypeTable::kMaxObjectSize) fe_.diag.fail(Msg::Declaration);
            if (!accept(Tok::Comma)) break;
        }
        if (!accept(Tok::Semicolon)) fe_.diag.fail(Msg::Declaration);
    }
    set_scope(saved);
    types_.set_struct_size(st, size);
}

// ---------------------------------------------------------------------------
// Declarators

Parser::Declarator Parser::declarator(TypeRef base, bool abstract, uint32_t member_suffix,
                                      bool parameter) {
    Declarator d;
    std::vector<DeclOp> ops;
    declarator_ops(ops, d, abstract, member_suffix, parameter);
    TypeRef t = base;
    for (size_t i = 0; i < ops.size(); ++i) {
        const DeclOp& op = ops[i];
        switch (op.tag) {
            case TypeTag::Pointer:
                t = types_.pointer_to(t);
                break;
            case TypeTag::Array:
                if (types_.is_function(t)) fe_.diag.fail(Msg::Declaration);
                t = types_.array_of(t, op.count);
                types_.size_of(t);  // refuses sizes beyond what addresses allow
                break;
            case TypeTag::Function: {
                if (types_.is_function(t) || types_.is_array(t)) fe_.diag.fail(Msg::Declaration);
                // The type of a declared function is read once, when the name is
                // declared: it need not take room for the whole compilation.
                const bool global = types_.global();
                if (i + 1 == ops.size() && function_records_temporary_) types_.set_global(false);
                t = types_.function_returning(t);
                types_.set_global(global);
                break;
            }
            default:
                break;
        }
    }
    d.type = t;
    return d;
}

// Collects the type operations of a declarator in the order they apply to
// the base type: the pointers, the suffixes from the last to the first, then
// those of a parenthesised inner declarator.
void Parser::declarator_ops(std::vector<DeclOp>& ops, Declarator& d, bool abstract, uint32_t suffix,
                            bool parameter) {
    Nesting nesting(*this, Msg::Declaration);
    int stars = 0;
    while (accept(Tok::Star)) ++stars;
    std::vector<DeclOp> inner;
    std::vector<DeclOp> suffixes;
    if (peek() == Tok::LParen) {
        consume();
        if (abstract && (peek() == Tok::RParen || starts_type())) {
            // "(" of an abstract function type: a parameter list.
            suffixes.push_back({TypeTag::Function, parameter_list(d)});
        } else {
            declarator_ops(inner, d, abstract, suffix, false);
            expect(Tok::RParen);
        }
    } else if (peek() == Tok::Identifier) {
        d.name = take();
        d.has_name = true;
        if (suffix != 0) member_name(d.name, suffix);
    } else if (!abstract) {
        fe_.diag.fail(Msg::Declaration);
    }
    for (;;) {
        if (accept(Tok::LBracket)) {
            if (accept(Tok::RBracket)) {
                // "[]" declares a pointer, and only for parameters.
                if (!parameter) fe_.diag.fail(Msg::Declaration);
                suffixes.push_back({TypeTag::Pointer, 0});
                continue;
            }
            int32_t count = constant_value();
            if (count < 0) fe_.diag.fail(Msg::Declaration);
            expect(Tok::RBracket);
            suffixes.push_back({TypeTag::Array, count});
        } else if (accept(Tok::LParen)) {
            suffixes.push_back({TypeTag::Function, parameter_list(d)});
        } else {
            break;
        }
    }
    for (int i = 0; i < stars; ++i) ops.push_back({TypeTag::Pointer, 0});
    for (auto it = suffixes.rbegin(); it != suffixes.rend(); ++it) ops.push_back(*it);
    ops.insert(ops.end(), inner.begin(), inner.end());
}

// After "(": the parameters up to ")". Parameters are locals at 8, 12, ...;
// only the first list of the outermost top-level declarator declares them.
int Parser::parameter_list(Declarator& d) {
    Nesting nesting(*this, Msg::Declaration);
    // Inside a function no declarator defines a function: its parameter names
    // (of a function pointer, say) declare nothing.
    const bool declare = parameter_depth_ == 0 && !d.parameters_seen && !in_function_;
    d.parameters_seen = true;
    const NameScope saved_scope = fe_.lexer.scope();
    const bool saved_global = types_.global();
    if (declare && !in_function_) types_.release_all_down();  // a new function begins
    types_.set_global(false);
    ++parameter_depth_;
    set_scope(NameScope::Local);
    int count = 0;
    if (peek() != Tok::RParen) {
        for (;;) {
            Declarator p;
            if (peek() == Tok::Identifier && !starts_type()) {
                p.name = take();  // a bare name: long
                p.has_name = true;
            } else {
                std::optional<TypeRef> base = type_specifier();
                if (!base) fe_.diag.fail(Msg::Declaration);
                p = declarator(*base, true, 0, true);
            }
            // Arrays and functions are passed as pointers.
            if (types_.is_array(p.type)) p.type = types_.pointer_to(types_.target(p.type));
            if (types_.is_function(p.type)) p.type = types_.pointer_to(p.type);
            if (declare && p.has_name) {
                Symbol* s = p.name.sym;
                if (s->kind != SymbolKind::New) fe_.diag.fail(Msg::Declaration);
                s->kind = SymbolKind::LocalVar;
                s->flags |= kParameter;
                s->type = p.type;
                s->value = kFirstParameterOffset + 4 * count;
            }
            ++count;
            if (!accept(Tok::Comma)) break;
        }
    }
    --parameter_depth_;
    types_.set_global(saved_global);
    set_scope(saved_scope);
    if (declare) d.parameter_count = count;
    expect(Tok::RParen);
    return count;
}

// A member's own name: the name followed by "_<struct number>", in the
// global table outside functions and in the local table inside.
void Parser::member_name(Token& t, uint32_t number) {
    std::string name = std::string(t.global->name) + "_" + std::to_string(number);
    t.global = fe_.symbols.global(name);
    t.sym = t.global;
    if (fe_.lexer.scope() != NameScope::Global) {
        Symbol* local = fe_.symbols.local(name, t.global->name);
        if (fe_.lexer.scope() == NameScope::Local || local->kind != SymbolKind::New) t.sym = local;
    }
}

// ---------------------------------------------------------------------------
// Declaring names

void Parser::declare_function(Symbol* s, TypeRef function_type) {
    const TypeRef result = types_.target(function_type);
    if (s->kind == SymbolKind::Function) {
        if (!types_.same(s->type, result)) fe_.diag.fail(Msg::BadType);
        return;
    }
    if (s->kind != SymbolKind::New) fe_.diag.fail(Msg::Declaration);
    s->kind = SymbolKind::Function;
    s->type = result;
    s->value = cg_.new_label();
}

void Parser::declare_global(Declarator& d, Storage st) {
    if (!d.has_name) fe_.diag.fail(Msg::Declaration);
    Symbol* s = d.name.global;
    if (types_.is_function(d.type) && st != Storage::Typedef) {
        declare_function(s, d.type);
        if (st == Storage::Static) s->flags |= kStaticFunction;
        return;
    }
    if (s->kind != SymbolKind::New) fe_.diag.fail(Msg::Declaration);
    if (st == Storage::Typedef) {
        s->kind = SymbolKind::Typedef;
        s->type = d.type;
        return;
    }
    const uint32_t size = types_.size_of(d.type);
    s->kind = SymbolKind::GlobalVar;
    s->type = d.type;
    if (st == Storage::Extern) {
        // Declaration order in the shared area; it must hold the variable.
        if (uint64_t(external_used_) + size > setup_.external_size)
            fe_.diag.fail(Msg::HeapOverflow);
        s->value = int32_t(setup_.external_base + external_used_);
        s->flags |= kInExternalArea;
        external_used_ += size;
        if (peek() == Tok::Assign) fe_.diag.fail(Msg::Declaration);
        return;
    }
    s->value = int32_t(cg_.take_data(size));
    if (accept(Tok::Assign)) {
        fe_.listing.line(".global\t%s\n%s:\n", s->name, s->name);
        Marks m = mark();
        data_initializer(uint32_t(s->value), d.type);
        release(m);
    }
}

void Parser::trap_stub(Declarator& d) {
    const int32_t number = fe_.pp.pending_trap;
    fe_.pp.pending_trap = -1;
    if (!d.has_name || !types_.is_function(d.type) || uint32_t(number) > kMaxTrapNumber)
        fe_.diag.fail(Msg::Declaration);
    Symbol* f = d.name.global;
    declare_function(f, d.type);
    if (cg_.label_defined(f->value)) fe_.diag.fail(Msg::Declaration);
    cg_.flush_return();
    fe_.listing.line(".global %s, @function\n%s:\n", f->name, f->name);
    cg_.define_label(f->value, false);
    cg_.reset_registers();
    cg_.trap(uint16_t(number));
    cg_.force_a_to_r0();
    cg_.ret();
}

void Parser::function_definition(Declarator& d, Storage st) {
    if (!d.has_name) fe_.diag.fail(Msg::Declaration);
    Symbol* f = d.name.global;
    declare_function(f, d.type);
    if (st == Storage::Static) f->flags |= kStaticFunction;
    // A function is defined once.
    if (cg_.label_defined(f->value)) fe_.diag.fail(Msg::Declaration);
    if (!(f->flags & kStaticFunction)) fe_.listing.line(".global %s, @function\n", f->name);
    fe_.listing.line("%s:\n", f->name);
    cg_.define_label(f->value, false);
    // A measuring compile exports nothing; one that keeps its image notes
    // the function for the compile into memory that copies the image.
    ProgramImage* image = cg_.image();
    if (st == Storage::Extern && (!cg_.measuring() || image) && setup_.exports) {
        if (!image && std::strlen(f->name) >= ExportedFunctions::kNameSize)
            fe_.diag.fail(Msg::Declaration);
        ExportedFunction e;
        e.name = f->name;
        TypeRef r = f->type;
        while (types_.is_pointer(r)) {
            ++e.pointer_depth;
            r = types_.target(r);
        }
        e.basic_result = is_basic(r) ? r : type::Long;
        if (!is_basic(r)) e.pointer_depth = 0;
        e.address = cg_.here();
        if (image)
            image->export_function(e);
        else if (!setup_.exports->put(e))
            fe_.diag.fail(Msg::Declaration);
    }
    return_label_ = cg_.new_label();
    ++function_id_;
    in_function_ = true;
    types_.set_global(false);
    knr_declarations();
    consume();  // "{"
    set_scope(NameScope::Body);
    frame_size_ = 0;
    static_locals_.clear();
    cg_.reset_registers();
    uint32_t enter_operand = 0;
    cg_.enter(&enter_operand);
    while (peek() != Tok::RBrace) statement();
    // The last return's jump is dropped: the return label follows. A path
    // that falls off the end returns what was computed last.
    if (cg_.reachable()) cg_.force_a_to_r0();
    cg_.settle_return();
    cg_.define_label(return_label_);
    cg_.leave(frame_size_);
    cg_.ret();
    cg_.patch_enter(enter_operand, frame_size_);
    for (const StaticLocal& s : static_locals_)
        fe_.listing.line(".lcomm %s, %u\n\n", s.name.c_str(), s.size);
    consume();  // "}": the next token is read at the top level
    in_function_ = false;
    types_.set_global(true);
    set_scope(NameScope::Global);
}

// Old-style declarations that give types to parameters named in the list.
void Parser::knr_declarations() {
    for (;;) {
        set_scope(NameScope::Local);
        if (peek() == Tok::LBrace) return;
        storage_class();
        std::optional<TypeRef> base = type_specifier();
        if (!base) fe_.diag.fail(Msg::Declaration);
        if (accept(Tok::Semicolon)) continue;
        for (;;) {
            set_scope(NameScope::Local);
            Declarator d = declarator(*base, false, 0, true);
            Symbol* s = d.name.sym;
            if (types_.is_function(d.type)) fe_.diag.fail(Msg::Declaration);
            if (s->kind != SymbolKind::New) {
                if (!(s->flags & kParameter) || s->type != type::Long)
                    fe_.diag.fail(Msg::Declaration);
                s->type =
                    types_.is_array(d.type) ? types_.pointer_to(types_.target(d.type)) : d.type;
            }
            if (!accept(Tok::Comma)) break;
        }
        if (!accept(Tok::Semicolon)) fe_.diag.fail(Msg::Declaration);
    }
}

// ---------------------------------------------------------------------------
// Local declarations

void Parser::local_declaration() {
    Storage st = storage_class();
    std::optional<TypeRef> base = type_specifier();
    if (!base && st == Storage::None) fe_.diag.fail(Msg::Declaration);
    const TypeRef bt = base.value_or(type::Long);
    if (accept(Tok::Semicolon)) return;
    for (;;) {
        set_scope(NameScope::Local);
        Declarator d = declarator(bt, false);
        declare_local(d, st);
        set_scope(NameScope::Body);
        if (!accept(Tok::Comma)) break;
    }
    set_scope(NameScope::Body);
    if (!accept(Tok::Semicolon)) fe_.diag.fail(Msg::Declaration);
}

std::string Parser::listing_name(const Symbol* s) const {
    return s->name;
}

void Parser::declare_local(Declarator& d, Storage st) {
    if (!d.has_name) fe_.diag.fail(Msg::Declaration);
    // The name may have been read ahead in the body's scope (the type
    // specifier looks one token further): take its local entry explicitly.
    Symbol* s = fe_.symbols.local(d.name.global->name, d.name.global->name);
    if (types_.is_function(d.type) || s->kind != SymbolKind::New) fe_.diag.fail(Msg::Declaration);
    if (st == Storage::Typedef) {
        s->kind = SymbolKind::Typedef;
        s->type = d.type;
        return;
    }
    const uint32_t size = types_.size_of(d.type);
    s->type = d.type;
    if (st == Storage::Static) {
        // Placed like a global; listed as "<name>.<n>".
        s->kind = SymbolKind::GlobalVar;
        std::string name = std::string(s->name) + "." + std::to_string(++static_count_);
        SymbolTable::rename(*s, fe_.heap.store(name));
        s->value = int32_t(cg_.take_data(size));
        static_locals_.push_back({name, size});
        if (accept(Tok::Assign)) {
            set_scope(NameScope::Body);
            fe_.listing.line(".global\t%s\n%s:\n", s->name, s->name);
            Marks m = mark();
            data_initializer(uint32_t(s->value), d.type);
            release(m);
        }
        return;
    }
    s->kind = SymbolKind::LocalVar;
    if (uint64_t(frame_size_) + size >= kMaxFrame) fe_.diag.fail(Msg::Declaration);
    frame_size_ += size;
    s->value = CodeGen::kFirstLocalOffset - int32_t(frame_size_);
    if (accept(Tok::Assign)) {
        set_scope(NameScope::Body);
        local_initializer(s->value, d.type, s->name);
    }
}

void Parser::local_initializer(int32_t offset, TypeRef t, const std::string& name) {
    Nesting nesting(*this, Msg::BadType);
    if (types_.is_struct(t)) fe_.diag.fail(Msg::BadType);
    if (!types_.is_array(t)) {
        Marks m = mark();
        int32_t value = assignment();
        Node target;
        target.kind = NodeKind::Local;
        target.value = offset;
        target.obj = t;
        target.type = lvalue_value_type(t);
        int32_t store = make_assign(Tok::Assign, add(target), value);
        cg_.set_store_name(name);
        gen_statement_expression(store, m.nodes);
        release(m);
        cg_.set_store_name({});
        return;
    }
    const TypeRef element = types_.target(t);
    const int32_t count = types_.array_count(t);
    const uint32_t element_size = types_.size_of(element);
    const bool brace = accept(Tok::LBrace);
    int32_t i = 0;
    for (;;) {
        if (brace && peek() == Tok::RBrace) break;
        if (!brace && i >= count) break;
        if (i >= count) fe_.diag.fail(Msg::BadType);
        // An empty element leaves its slot as it is.
        if (peek() != Tok::Comma)
            local_initializer(offset + i * int32_t(element_size), element,
                              name + "[" + std::to_string(i) + "]");
        ++i;
        if (!brace && i >= count) break;
        if (!accept(Tok::Comma)) break;
    }
    if (brace && !accept(Tok::RBrace)) fe_.diag.fail(Msg::BadType);
}

// ---------------------------------------------------------------------------
// Data initializers

void Parser::data_initializer(uint32_t address, TypeRef t) {
    Nesting nesting(*this, Msg::BadType);
    if (types_.is_struct(t)) fe_.diag.fail(Msg::BadType);
    if (!types_.is_array(t)) {
        data_scalar(address, t);
        return;
    }
    const TypeRef element = types_.target(t);
    const int32_t count = types_.array_count(t);
    const uint32_t element_size = types_.size_of(element);
    const bool brace = accept(Tok::LBrace);
    int32_t i = 0;
    for (;;) {
        if (brace && peek() == Tok::RBrace) break;
        if (!brace && i >= count) break;
        if (i >= count) fe_.diag.fail(Msg::BadType);
        if (peek() == Tok::Comma)
            fe_.listing.line("\t.byte ? dup(%u)\n", element_size);
        else
            data_initializer(address + uint32_t(i) * element_size, element);
        ++i;
        if (!brace && i >= count) break;
        if (!accept(Tok::Comma)) break;
    }
    if (brace && !accept(Tok::RBrace)) fe_.diag.fail(Msg::BadType);
    if (i < count) fe_.listing.line("\t.byte ? dup(%u)\n", uint32_t(count - i) * element_size);
}

void Parser::data_scalar(uint32_t address, TypeRef t) {
    const int32_t e = assignment();
    const Node n = node(e);
    uint8_t bytes[4];
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[i] = uint8_t(v >> (8 * i));
        cg_.write_data(address, bytes, 4);
    };
    if (n.kind == NodeKind::Const) {
        uint32_t v = uint32_t(n.value);
        if (t == type::Float) {
            if (n.type != type::Float) {
                float f = float(int32_t(v));
                std::memcpy(&v, &f, 4);
            }
            float f;
            std::memcpy(&f, &v, 4);
            fe_.listing.line("\t.float %f\n", double(f));
            put32(v);
            return;
        }
        if (n.type == type::Float) v = uint32_t(node(convert(e, type::Long)).value);
        const uint32_t size = is_basic(t) ? basic_size(t) : 4;
        for (uint32_t i = 0; i < size; ++i) bytes[i] = uint8_t(v >> (8 * i));
        cg_.write_data(address, bytes, size);
        if (size == 1)
            fe_.listing.line("\t.byte %d\n", t == type::UChar ? int(uint8_t(v)) : int(int8_t(v)));
        else if (size == 2)
            fe_.listing.line("\t.short %d\n",
                             t == type::UShort ? int(uint16_t(v)) : int(int16_t(v)));
        else
            fe_.listing.line("\t.long %d\n", int32_t(v));
        return;
    }
    if (!types_.is_pointer(t)) fe_.diag.fail(Msg::BadType);
    switch (n.kind) {
        case NodeKind::GlobalAddr:
            fe_.listing.line("\t.long $%s\n", CodeGen::symbol_text(n.sym, n.value).c_str());
            cg_.write_address(address, uint32_t(n.sym->value) + uint32_t(n.value),
                              CodeGen::in_data_area(n.sym));
            return;
        case NodeKind::Function:
        case NodeKind::FuncAddr:
            fe_.listing.line("\t.long $%s\n", n.sym->name);
            cg_.data_label_reference(address, n.sym->value);
            return;
        case NodeKind::String:
            cg_.write_address(address, cg_.place_string(n.str, n.str_size, false), true);
            return;
        default:
            fe_.diag.fail(Msg::BadType);
    }
}

}  // namespace tob::compiler
