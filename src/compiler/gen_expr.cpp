// Generation of expression trees into the accumulator register A, and of
// conditions as jumps.
#include <cstdio>
#include <string>

#include "compiler/codegen.h"

namespace tob::compiler {
namespace {

struct AccessOps {
    Op absolute, frame, indirect;
    const char* mnemonic;
};

// Loads by the object's type: sign- or zero-extending the narrow ones.
AccessOps load_ops(TypeRef obj) {
    switch (obj) {
        case type::Char:
            return {Op::LoadS8Abs, Op::LoadS8Frame, Op::LoadS8Ind, "movsbl"};
        case type::UChar:
            return {Op::LoadU8Abs, Op::LoadU8Frame, Op::LoadU8Ind, "movbl"};
        case type::Short:
            return {Op::LoadS16Abs, Op::LoadS16Frame, Op::LoadS16Ind, "movswl"};
        case type::UShort:
            return {Op::LoadU16Abs, Op::LoadU16Frame, Op::LoadU16Ind, "movwl"};
        default:
            return {Op::Load32Abs, Op::Load32Frame, Op::Load32Ind, "movl"};
    }
}

AccessOps store_ops(TypeRef obj) {
    switch (is_basic(obj) ? basic_size(obj) : 4) {
        case 1:
            return {Op::Store8Abs, Op::Store8Frame, Op::Store8Ind, "movb"};
        case 2:
            return {Op::Store16Abs, Op::Store16Frame, Op::Store16Ind, "movw"};
        default:
            return {Op::Store32Abs, Op::Store32Frame, Op::Store32Ind, "movl"};
    }
}

std::string mnemonic(Op op) {
    return std::string(opcode_info(op).mnemonic);
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
            if (listing_.enabled()) listing_.line("\tmovl\tr%d, $%d\n", reg_a(), n.value);
            op_ri(Op::MovImm, reg_a(), 0, uint32_t(n.value));
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
            if (listing_.enabled())
                listing_.line("\tmovl\tr%d, $%s\n", reg_a(), symbol_text(n.sym, 0).c_str());
            reserve(6);
            emit8(uint8_t(Op::MovAddr));
            emit8(reg_byte(reg_a(), 0));
            emit32(label_reference(n.sym->value));
            return;
        case NodeKind::Binary:
            gen_binary(n);
            return;
        case NodeKind::Unary:
        case NodeKind::LogNot: {
            gen(n.a);
            Op op = n.kind == NodeKind::LogNot ? Op::Set : n.op;
            if (listing_.enabled()) listing_.line("\t%s\t\tr%d\n", mnemonic(op).c_str(), reg_a());
            op_rr(op, reg_a(), reg_a());
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
    if (listing_.enabled()) listing_.line("\tmovl\tr%d, $_s%u\n", reg_a(), string_counter_);
    ++string_counter_;
    if (image_) image_->data_address_in_code(code_size_ + 2);
    op_ri(Op::MovAddr, reg_a(), 0, address);
}

void CodeGen::gen_address(int32_t index) {
    const Node& n = nodes_[index];
    switch (n.kind) {
        case NodeKind::Global:
        case NodeKind::GlobalAddr:
            if (listing_.enabled())
                listing_.line("\tmovl\tr%d, $%s\n", reg_a(), symbol_text(n.sym, n.value).c_str());
            op_ri_global(Op::MovAddr, reg_a(), 0, n.sym, n.value);
            return;
        case NodeKind::Local:
        case NodeKind::LocalAddr:
            if (listing_.enabled())
                listing_.line("\tlea\t\tr%d, %d(r%d)\n", reg_a(), n.value, kFrameRegister);
            op_ri(Op::LeaFrame, reg_a(), kFrameRegister, uint32_t(n.value));
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
            if (listing_.enabled())
                listing_.line("\t%s\tr%d, %s\n", ops.mnemonic, reg_a(),
                              symbol_text(n.sym, n.value).c_str());
            op_ri_global(ops.absolute, reg_a(), 0, n.sym, n.value);
            return;
        case NodeKind::Local:
            if (listing_.enabled())
                listing_.line("\t%s\tr%d, %d(r%d)\n", ops.mnemonic, reg_a(), n.value,
                              kFrameRegister);
            op_ri(ops.frame, reg_a(), kFrameRegister, uint32_t(n.value));
            return;
        default:
            gen(n.a);
            load_through_a(n.obj);
            return;
    }
}

void CodeGen::load_through_a(TypeRef obj) {
    AccessOps ops = load_ops(obj);
    if (listing_.enabled()) listing_.line("\t%s\tr%d, (r%d)\n", ops.mnemonic, reg_a(), reg_a());
    op_rr(ops.indirect, reg_a(), reg_a());
}

void CodeGen::store_through_a(TypeRef obj) {
    AccessOps ops = store_ops(obj);
    if (listing_.enabled()) listing_.line("\t%s\t(r%d), r%d\n", ops.mnemonic, reg_a(), reg_b());
    op_rr(ops.indirect, reg_a(), reg_b());
}

void CodeGen::gen_binary(const Node& n) {
    gen(n.b);
    push_a();
    gen(n.a);
    pop_b();
    if (listing_.enabled())
        listing_.line("\t%s\t\tr%d, r%d\n", mnemonic(n.op).c_str(), reg_a(), reg_b());
    op_rr(n.op, reg_a(), reg_b());
}

void CodeGen::gen_assign(const Node& n) {
    const Node& target = nodes_[n.a];
    AccessOps ops = store_ops(target.obj);
    switch (target.kind) {
        case NodeKind::Global:
            gen(n.b);
            if (listing_.enabled())
                listing_.line("\t%s\t%s, r%d\n", ops.mnemonic,
                              symbol_text(target.sym, target.value).c_str(), reg_a());
            op_ri_global(ops.absolute, 0, reg_a(), target.sym, target.value);
            return;
        case NodeKind::Local:
            gen(n.b);
            if (listing_.enabled()) {
                if (!store_name_.empty())
                    listing_.line("\t%s\t%s, r%d\n", ops.mnemonic, store_name_.c_str(), reg_a());
                else
                    listing_.line("\t%s\t%d(r%d), r%d\n", ops.mnemonic, target.value,
                                  kFrameRegister, reg_a());
            }
            op_ri(ops.frame, kFrameRegister, reg_a(), uint32_t(target.value));
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
    if (listing_.enabled())
        listing_.line("\t%s\t\tr%d, r%d\n", mnemonic(n.op).c_str(), reg_a(), reg_b());
    op_rr(n.op, reg_a(), reg_b());
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
        Op op = post ? Op::PostOp : Op::PreOp;
        if (listing_.enabled())
            listing_.line("\t%s\tr%d, %d\n", mnemonic(op).c_str(), reg_a(), n.value);
        op_ri(op, reg_a(), reg_a(), uint32_t(n.value));
        return;
    }
    static constexpr Op kByte[2][2] = {{Op::PreInc8, Op::PreDec8}, {Op::PostInc8, Op::PostDec8}};
    static constexpr Op kWord[2][2] = {{Op::PreInc16, Op::PreDec16},
                                       {Op::PostInc16, Op::PostDec16}};
    Op op = width == 1 ? kByte[post][dec] : kWord[post][dec];
    if (listing_.enabled()) listing_.line("\t%s\t(r%d)\n", mnemonic(op).c_str(), reg_a());
    op_rr(op, reg_a(), reg_a());
}

void CodeGen::gen_call(const Node& n) {
    const int32_t count = n.value;
    for (int32_t i = count - 1; i >= 0; --i) {
        int32_t arg = nodes_.arg(n.b + i);
        const Node& a = nodes_[arg];
        if (a.kind == NodeKind::Const) {
            if (listing_.enabled()) listing_.line("\tpush\t$%d\n", a.value);
            op_i(Op::PushImm, uint32_t(a.value));
            continue;
        }
        gen(arg);
        if (listing_.enabled()) listing_.line("\tpush\tr%d\n", reg_a());
        op_rr(Op::Push, reg_a(), reg_a());
    }
    const Node& callee = nodes_[n.a];
    int exchanged = -1;
    if (callee.kind == NodeKind::Function) {
        exchanged = force_a_to_r0();
        if (listing_.enabled()) listing_.line("\tcall\t%s\n", symbol_text(callee.sym, 0).c_str());
        reserve(5);
        emit8(uint8_t(Op::Call));
        emit32(label_reference(callee.sym->value));
    } else {
        gen(n.a);
        exchanged = force_a_to_r0();
        if (listing_.enabled()) listing_.line("\tcall\tr%d\n", 0);
        op_rr(Op::CallReg, 0, 0);
    }
    if (count > 0) {
        if (listing_.enabled()) listing_.line("\tadd\t\tr%d, $%d\n", kStackRegister, 4 * count);
        op_ri(Op::AddImm, kStackRegister, kStackRegister, uint32_t(4 * count));
    }
    // On a path that not every execution takes, the value moved out of r0
    // goes back, so that all paths agree on where each value lives when they
    // meet (the result moves to the register A had before).
    if (exchanged >= 0 && conditional_ > 0) {
        if (listing_.enabled()) listing_.line("\txchg\tr%d, r%d\n", 0, exchanged);
        op_rr(Op::Xchg, 0, uint8_t(exchanged));
        int k = 0;
        while (slot_reg_[size_t(k)] != uint8_t(exchanged)) ++k;
        std::swap(slot_reg_[size_t(k)], slot_reg_[size_t(a_)]);
    }
}

void CodeGen::gen_truth_value(int32_t index) {
    int32_t when_true = new_label();
    condition(index, true, when_true);
    if (listing_.enabled()) listing_.line("\tmovl\tr%d, $%d\n", reg_a(), 0);
    op_ri(Op::MovImm, reg_a(), 0, 0);
    int32_t done = new_label();
    jump(Op::Jmp, done);
    define_label(when_true);
    if (listing_.enabled()) listing_.line("\tmovl\tr%d, $%d\n", reg_a(), 1);
    op_ri(Op::MovImm, reg_a(), 0, 1);
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
            const char* mn = width == 1 ? "zerob" : width == 2 ? "zerow" : "zerol";
            if (n.kind == NodeKind::Global) {
                static constexpr Op kOps[] = {Op::Zero8Abs, Op::Zero16Abs, Op::Zero32Abs};
                if (listing_.enabled())
                    listing_.line("\t%s\t%s\n", mn, symbol_text(n.sym, n.value).c_str());
                op_i_global(kOps[width == 1 ? 0 : width == 2 ? 1 : 2], n.sym, n.value);
            } else {
                static constexpr Op kOps[] = {Op::Zero8Frame, Op::Zero16Frame, Op::Zero32Frame};
                if (listing_.enabled())
                    listing_.line("\t%s\t%d(r%d)\n", mn, n.value, kFrameRegister);
                op_i(kOps[width == 1 ? 0 : width == 2 ? 1 : 2], uint32_t(n.value));
            }
            jump(sense ? Op::Jne : Op::Je, label);
            return;
        }
        default:
            break;
    }
    gen(index);
    if (listing_.enabled()) listing_.line("\tcmpl\tr%d, $0\n", reg_a());
    op_ri(Op::CmpImm, reg_a(), 0, 0);
    jump(sense ? Op::Jne : Op::Je, label);
}

void CodeGen::compare_jump(const Node& n, bool sense, int32_t label) {
    gen(n.b);
    push_a();
    gen(n.a);
    pop_b();
    Op op = n.mode == CompareMode::Float ? Op::Fsub : Op::Sub;
    if (listing_.enabled())
        listing_.line("\t%s\t\tr%d, r%d\n", mnemonic(op).c_str(), reg_a(), reg_b());
    op_rr(op, reg_a(), reg_b());
    JumpPair j = compare_jumps(n.rel, n.mode);
    jump(sense ? j.when_true : j.when_false, label);
}

}  // namespace tob::compiler
