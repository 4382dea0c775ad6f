// Generation of expression trees into the accumulator register A, and of
// conditions as jumps.
#include <cstdio>
#include <string>

#include "compiler/codegen.h"

namespace tob::compiler {
namespace {

struct AccessOps {
    Op absolute, frame, indirect;
};

// Loads by the object's type: sign- or zero-extending the narrow ones.
AccessOps load_ops(TypeRef obj) {
    switch (obj) {
        case type::Char:
            return {Op::LoadS8Abs, Op::LoadS8Frame, Op::LoadS8Ind};
        case type::UChar:
            return {Op::LoadU8Abs, Op::LoadU8Frame, Op::LoadU8Ind};
        case type::Short:
            return {Op::LoadS16Abs, Op::LoadS16Frame, Op::LoadS16Ind};
        case type::UShort:
            return {Op::LoadU16Abs, Op::LoadU16Frame, Op::LoadU16Ind};
        default:
            return {Op::Load32Abs, Op::Load32Frame, Op::Load32Ind};
    }
}

AccessOps store_ops(TypeRef obj) {
    switch (is_basic(obj) ? basic_size(obj) : 4) {
        case 1:
            return {Op::Store8Abs, Op::Store8Frame, Op::Store8Ind};
        case 2:
            return {Op::Store16Abs, Op::Store16Frame, Op::Store16Ind};
        default:
            return {Op::Store32Abs, Op::Store32Frame, Op::Store32Ind};
    }
}

// Conditional jumps after a subtraction, for sense true and false.
struct JumpPair {
    Op when_true, when_false;
};
JumpPair compare_jumps(Tok rel, CompareMode mode) {
    const bool unsigned_mode = mode == CompareMode::Unsigned;
    switch (rel) {
        case Tok::Greater:
            return unsigned_mode ? JumpPair{Op::Ja, Op::Jbe} : JumpPair{Op::Jg, Op::Jle};
        case Tok::GreaterEqual:
            return unsigned_mode ? JumpPair{Op::Jae, Op::Jb} : JumpPair{Op::Jge, Op::Jl};
        case Tok::Less:
            return unsigned_mode ? JumpPair{Op::Jb, Op::Jae} : JumpPair{Op::Jl, Op::Jge};
        case Tok::LessEqual:
            return unsigned_mode ? JumpPair{Op::Jbe, Op::Ja} : JumpPair{Op::Jle, Op::Jg};
        case Tok::NotEqual:
            return {Op::Jne, Op::Je};
        default:
            return {Op::Je, Op::Jne};
    }
}

}  // namespace

std::string CodeGen::symbol_text(const Symbol* sym, int32_t offset) {
    std::string s = sym && sym->name ? sym->name : "?";
    if (offset != 0) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%+d", offset);
        s += buf;
    }
    return s;
}

void CodeGen::list_ascii(const char* str, uint32_t size) {
    if (!listing_.enabled()) return;
    std::string line = "\t.ascii \"";
    for (uint32_t i = 0; i + 1 < size; ++i) {
        uint8_t c = uint8_t(str[i]);
        char buf[8];
        if (c == '\n') {
            line += "\\n";
        } else if (c < 0x20) {
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            line += buf;
        } else if (c == '"') {
            line += "\\\"";
        } else {
            line += char(c);
        }
    }
    line += "\\0\"\n";
    listing_.write(line);
}

uint32_t CodeGen::place_string(const char* str, uint32_t size, bool label) {
    uint32_t address = take_data(size);
    write_data(address, str, size);
    if (label && listing_.enabled()) listing_.line("_s%u:\n", string_counter_);
    list_ascii(str, size);
    return address;
}

// ---------------------------------------------------------------------------
// Values

void CodeGen::gen(int32_t index) {
    const Node& n = nodes_[index];
    switch (n.kind) {
        case NodeKind::Const:
            op(Op::MovImm, reg_a(), 0, n.value);
            return;
        case NodeKind::String:
            gen_string(n);
            return;
        case NodeKind::Global:
        case NodeKind::Local:
        case NodeKind::Deref:
            load(n);
            return;
        case NodeKind::GlobalAddr:
        case NodeKind::LocalAddr:
            gen_address(index);
            return;
        case NodeKind::FuncAddr:
        case NodeKind::Function:
            op_label(Op::MovAddr, reg_a(), n.sym->value, n.sym->name ? n.sym->name : "?");
            return;
        case NodeKind::Binary:
            gen_binary(n);
            return;
        case NodeKind::Unary:
        case NodeKind::LogNot: {
            gen(n.a);
            const Op o = n.kind == NodeKind::LogNot ? Op::Set : n.op;
            op(o, reg_a(), reg_a());
            return;
        }
        case NodeKind::Compare:
        case NodeKind::LogAnd:
        case NodeKind::LogOr:
            gen_truth_value(index);
            return;
        case NodeKind::Cond:
            gen_conditional(n);
            return;
        case NodeKind::Comma:
            gen(n.a);
            gen(n.b);
            return;
        case NodeKind::Assign:
            gen_assign(n);
            return;
        case NodeKind::CompoundAssign:
            gen_compound(n);
            return;
        case NodeKind::IncDec:
            gen_incdec(n);
            return;
        case NodeKind::Call:
            gen_call(n);
            return;
    }
}

void CodeGen::gen_string(const Node& n) {
    uint32_t address = place_string(n.str, n.str_size, true);
    if (listing_.enabled()) {
        char name[16];
        std::snprintf(name, sizeof name, "_s%u", string_counter_);
        listing_.instruction(Op::MovAddr, {reg_a(), 0, 0, name});
    }
    ++string_counter_;
    if (image_) image_->data_address_in_code(code_size_ + operand_offset(Form::ORI));
    emit(Op::MovAddr, reg_a(), 0, address);
}

void CodeGen::gen_address(int32_t index) {
    const Node& n = nodes_[index];
    switch (n.kind) {
        case NodeKind::Global:
        case NodeKind::GlobalAddr:
            op_global(Op::MovAddr, reg_a(), 0, n.sym, n.value);
            return;
        case NodeKind::Local:
        case NodeKind::LocalAddr:
            op(Op::LeaFrame, reg_a(), kFrameRegister, n.value);
            return;
        case NodeKind::Deref:
            gen(n.a);
            return;
        default:
            diag_.fail(Msg::Internal);
    }
}

void CodeGen::load(const Node& n) {
    AccessOps ops = load_ops(n.obj);
    switch (n.kind) {
        case NodeKind::Global:
            op_global(ops.absolute, reg_a(), 0, n.sym, n.value);
            return;
        case NodeKind::Local:
            op(ops.frame, reg_a(), kFrameRegister, n.value);
            return;
        default:
            gen(n.a);
            load_through_a(n.obj);
            return;
    }
}

void CodeGen::load_through_a(TypeRef obj) {
    AccessOps ops = load_ops(obj);
    op(ops.indirect, reg_a(), reg_a());
}

void CodeGen::store_through_a(TypeRef obj) {
    AccessOps ops = store_ops(obj);
    op(ops.indirect, reg_a(), reg_b());
}

void CodeGen::gen_binary(const Node& n) {
    gen(n.b);
    push_a();
    gen(n.a);
    pop_b();
    op(n.op, reg_a(), reg_b());
}

void CodeGen::gen_assign(const Node& n) {
    const Node& target = nodes_[n.a];
    AccessOps ops = store_ops(target.obj);
    switch (target.kind) {
        case NodeKind::Global:
            gen(n.b);
            op_global(ops.absolute, 0, reg_a(), target.sym, target.value);
            return;
        case NodeKind::Local:
            gen(n.b);
            op(ops.frame, kFrameRegister, reg_a(), target.value, store_name_);
            return;
        default:
            gen(n.b);
            push_a();
            gen(target.a);
            pop_b();
            store_through_a(target.obj);
            swap_ab();
            return;
    }
}

void CodeGen::gen_compound(const Node& n) {
    const TypeRef obj = nodes_[n.a].obj;
    gen(n.b);
    push_a();
    gen_address(n.a);
    pop_b();
    load_through_a(obj);
    op(n.op, reg_a(), reg_b());
    // The target's address is generated a second time for the store.
    push_a();
    gen_address(n.a);
    pop_b();
    store_through_a(obj);
    swap_ab();
}

void CodeGen::gen_incdec(const Node& n) {
    const TypeRef obj = nodes_[n.a].obj;
    const bool post = n.flags & kPostfix;
    const bool dec = n.flags & kDecrement;
    gen_address(n.a);
    const uint32_t width = is_basic(obj) ? basic_size(obj) : 4;
    if (width == 4) {
        op(post ? Op::PostOp : Op::PreOp, reg_a(), reg_a(), n.value);
        return;
    }
    static constexpr Op kByte[2][2] = {{Op::PreInc8, Op::PreDec8}, {Op::PostInc8, Op::PostDec8}};
    static constexpr Op kWord[2][2] = {{Op::PreInc16, Op::PreDec16},
                                       {Op::PostInc16, Op::PostDec16}};
    op(width == 1 ? kByte[post][dec] : kWord[post][dec], reg_a(), reg_a());
}

void CodeGen::gen_call(const Node& n) {
    const int32_t count = n.value;
    for (int32_t i = count - 1; i >= 0; --i) {
        int32_t arg = nodes_.arg(n.b + i);
        const Node& a = nodes_[arg];
        if (a.kind == NodeKind::Const) {
            op(Op::PushImm, 0, 0, a.value);
            continue;
        }
        gen(arg);
        op(Op::Push, reg_a(), reg_a());
    }
    const Node& callee = nodes_[n.a];
    int exchanged = -1;
    if (callee.kind == NodeKind::Function) {
        exchanged = force_a_to_r0();
        op_label(Op::Call, 0, callee.sym->value, callee.sym->name ? callee.sym->name : "?");
    } else {
        gen(n.a);
        exchanged = force_a_to_r0();
        op(Op::CallReg, 0, 0);
    }
    if (count > 0) {
        op(Op::AddImm, kStackRegister, kStackRegister, 4 * count);
    }
    // On a path that not every execution takes, the value moved out of r0
    // goes back, so that all paths agree on where each value lives when they
    // meet (the result moves to the register A had before).
    if (exchanged >= 0 && conditional_ > 0) {
        op(Op::Xchg, 0, uint8_t(exchanged));
        int k = 0;
        while (slot_reg_[size_t(k)] != uint8_t(exchanged)) ++k;
        std::swap(slot_reg_[size_t(k)], slot_reg_[size_t(a_)]);
    }
}

void CodeGen::gen_truth_value(int32_t index) {
    int32_t when_true = new_label();
    condition(index, true, when_true);
    op(Op::MovImm, reg_a(), 0, 0);
    int32_t done = new_label();
    jump(Op::Jmp, done);
    define_label(when_true);
    op(Op::MovImm, reg_a(), 0, 1);
    define_label(done);
}

void CodeGen::gen_conditional(const Node& n) {
    int32_t second = new_label();
    condition(n.a, false, second);
    ++conditional_;
    gen(n.b);
    const uint8_t reg = reg_a();
    int32_t done = new_label();
    jump(Op::Jmp, done);
    define_label(second);
    gen(n.c);
    move_a_to(reg);
    --conditional_;
    define_label(done);
}

// ---------------------------------------------------------------------------
// Conditions

void CodeGen::condition(int32_t index, bool sense, int32_t label) {
    const Node& n = nodes_[index];
    switch (n.kind) {
        case NodeKind::Const:
            if ((n.value != 0) == sense) jump(Op::Jmp, label);
            return;
        case NodeKind::LogNot:
            condition(n.a, !sense, label);
            return;
        case NodeKind::LogAnd:
            if (sense) {
                int32_t skip = new_label();
                condition(n.a, false, skip);
                ++conditional_;
                condition(n.b, true, label);
                --conditional_;
                define_label(skip);
            } else {
                condition(n.a, false, label);
                ++conditional_;
                condition(n.b, false, label);
                --conditional_;
            }
            return;
        case NodeKind::LogOr:
            if (sense) {
                condition(n.a, true, label);
                ++conditional_;
                condition(n.b, true, label);
                --conditional_;
            } else {
                int32_t skip = new_label();
                condition(n.a, true, skip);
                ++conditional_;
                condition(n.b, false, label);
                --conditional_;
                define_label(skip);
            }
            return;
        case NodeKind::Compare:
            compare_jump(n, sense, label);
            return;
        case NodeKind::Global:
        case NodeKind::Local: {
            if (!types_.is_scalar(n.obj)) break;
            const uint32_t width = is_basic(n.obj) ? basic_size(n.obj) : 4;
            const int w = width == 1 ? 0 : width == 2 ? 1 : 2;
            if (n.kind == NodeKind::Global) {
                static constexpr Op kOps[] = {Op::Zero8Abs, Op::Zero16Abs, Op::Zero32Abs};
                op_global(kOps[w], 0, 0, n.sym, n.value);
            } else {
                static constexpr Op kOps[] = {Op::Zero8Frame, Op::Zero16Frame, Op::Zero32Frame};
                op(kOps[w], 0, 0, n.value);
            }
            jump(sense ? Op::Jne : Op::Je, label);
            return;
        }
        default:
            break;
    }
    gen(index);
    if (listing_.enabled())
        listing_.instruction(Op::CmpImm, {reg_a(), 0, 0, {}}, kTruthTestMnemonic);
    emit(Op::CmpImm, reg_a(), 0, 0);
    jump(sense ? Op::Jne : Op::Je, label);
}

void CodeGen::compare_jump(const Node& n, bool sense, int32_t label) {
    gen(n.b);
    push_a();
    gen(n.a);
    pop_b();
    op(n.mode == CompareMode::Float ? Op::Fsub : Op::Sub, reg_a(), reg_b());
    JumpPair j = compare_jumps(n.rel, n.mode);
    jump(sense ? j.when_true : j.when_false, label);
}

}  // namespace tob::compiler
