// Emission, labels, data placement and register allocation.
#include "compiler/codegen.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace tob::compiler {

CodeGen::CodeGen(Diagnostics& diag, Listing& listing, TypeTable& types, NodePool& nodes,
                 OutputArea out, ProgramImage* image)
    : diag_(diag), listing_(listing), types_(types), nodes_(nodes), out_(out) {
    reset_registers();
    if (out_.host) {
        code_ = out_.host;
    } else if (image) {
        image_ = image;
        grow_image(1024);
    }
}

void CodeGen::grow_image(uint32_t needed) {
    code_ = image_->code_room(needed, &code_room_);
    // Given up: the compile goes on measuring only.
    if (!code_) image_ = nullptr;
}

void CodeGen::close_image() {
    if (!image_) return;
    ProgramImage* image = image_;
    image_ = nullptr;
    code_ = nullptr;
    std::vector<uint32_t> offsets;
    try {
        offsets.resize(labels_.size());
    } catch (const std::bad_alloc&) {
        image->give_up();  // the compile itself went well
        return;
    }
    for (size_t i = 0; i < labels_.size(); ++i)
        offsets[i] = labels_[i].defined ? labels_[i].word : ProgramImage::kUndefined;
    image->close(code_size_, data_size_, std::move(offsets));
}

// ---------------------------------------------------------------------------
// Bytes

void CodeGen::write32_at(uint32_t offset, uint32_t v) {
    if (!out_.host) return;
    if (uint64_t(offset) + 4 > out_.size) diag_.fail(Msg::Internal);
    for (int i = 0; i < 4; ++i) out_.host[offset + uint32_t(i)] = uint8_t(v >> (8 * i));
}

uint32_t CodeGen::read32_at(uint32_t offset) const {
    if (uint64_t(offset) + 4 > out_.size) diag_.fail(Msg::Internal);
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(out_.host[offset + uint32_t(i)]) << (8 * i);
    return v;
}

void CodeGen::op_global(Op op, uint8_t d, uint8_t s, const Symbol* sym, int32_t offset) {
    if (listing_.enabled()) listing_.instruction(op, {d, s, offset, symbol_text(sym, offset)});
    if (image_ && in_data_area(sym))
        image_->data_address_in_code(code_size_ + operand_offset(opcode_info(op).form));
    emit(op, d, s, uint32_t(sym->value) + uint32_t(offset));
}

void CodeGen::op_label(Op op, uint8_t d, int32_t label, std::string_view name) {
    if (listing_.enabled()) listing_.instruction(op, {d, 0, 0, name});
    const OpcodeInfo& info = opcode_info(op);
    reserve(info.size);
    emit(op, d, 0, label_reference(label, code_size_ + operand_offset(info.form)));
}

// ---------------------------------------------------------------------------
// Data

uint32_t CodeGen::take_data(uint32_t n) {
    reserve(n);
    data_size_ += n;
    return out_.base + out_.size - data_size_;
}

void CodeGen::write_data(uint32_t address, const void* bytes, uint32_t n) {
    if (image_) image_->data_bytes(from_end(address), bytes, n);
    if (!out_.host || n == 0) return;
    uint32_t offset = address - out_.base;
    if (uint64_t(offset) + n > out_.size) diag_.fail(Msg::Internal);
    std::memcpy(out_.host + offset, bytes, n);
}

void CodeGen::write_address(uint32_t address, uint32_t value, bool in_data) {
    const uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16),
                              uint8_t(value >> 24)};
    write_data(address, bytes, 4);
    if (image_ && in_data) image_->data_address_in_data(from_end(address));
}

void CodeGen::data_label_reference(uint32_t address, int32_t label) {
    if (label <= 0 || size_t(label) > labels_.size()) diag_.fail(Msg::Internal);
    if (image_) image_->label_slot_in_data(from_end(address), label);
    Label& l = labels_[size_t(label - 1)];
    uint32_t offset = address - out_.base;
    if (l.defined) {
        write32_at(offset, l.word);
        return;
    }
    write32_at(offset, l.word);
    l.word = offset;
}

// ---------------------------------------------------------------------------
// Labels

int32_t CodeGen::new_label() {
    labels_.push_back(Label{});
    return int32_t(labels_.size());
}

bool CodeGen::label_defined(int32_t label) const {
    return label > 0 && size_t(label) <= labels_.size() && labels_[size_t(label - 1)].defined;
}

uint32_t CodeGen::label_reference(int32_t label, uint32_t slot) {
    if (label <= 0 || size_t(label) > labels_.size()) diag_.fail(Msg::Internal);
    if (image_) image_->label_slot_in_code(slot, label);
    Label& l = labels_[size_t(label - 1)];
    if (l.defined) return l.word;
    // The slot about to be written joins the chain of waiting references.
    uint32_t previous = l.word;
    l.word = slot;
    return previous;
}

void CodeGen::patch_label(int32_t label, uint32_t address) {
    if (label <= 0 || size_t(label) > labels_.size()) diag_.fail(Msg::Internal);
    Label& l = labels_[size_t(label - 1)];
    if (out_.host) {
        uint32_t offset = l.word;
        // Each slot is visited once; a longer walk means a broken chain.
        for (uint32_t steps = 0; offset != 0; ++steps) {
            if (steps > out_.size / 4) diag_.fail(Msg::Internal);
            uint32_t next = read32_at(offset);
            write32_at(offset, address);
            offset = next;
        }
    }
    l.word = address;
}

void CodeGen::resolve_outside(int32_t label, uint32_t address) {
    if (image_) image_->absolute_label(label, address);
    if (!measuring()) patch_label(label, address);
}

void CodeGen::define_label(int32_t label, bool list) {
    flush_return();
    if (label_defined(label)) diag_.fail(Msg::Internal);
    if (list && listing_.enabled()) listing_.line("_%d:\n", label);
    patch_label(label, here());
    labels_[size_t(label - 1)].defined = true;
    reachable_ = true;
}

// ---------------------------------------------------------------------------
// Registers

void CodeGen::reset_registers() {
    for (int i = 0; i < kAllocatable; ++i) {
        slot_used_[size_t(i)] = false;
        slot_reg_[size_t(i)] = uint8_t(i);
    }
    // A and B always hold a slot each.
    a_ = 0;
    b_ = 1;
    slot_used_[0] = slot_used_[1] = true;
    saved_count_ = 0;
}

void CodeGen::spill_a() {
    // Every register holds a live value: A goes to the machine stack.
    save(-1);
    op(Op::Push, reg_a(), reg_a());
}

void CodeGen::unspill_b() {
    op(Op::Pop, reg_b(), kStackRegister);
}

int CodeGen::force_a_to_r0() {
    if (reg_a() == 0) return -1;
    int k = 0;
    while (slot_reg_[size_t(k)] != 0) ++k;
    int exchanged = -1;
    if (slot_used_[size_t(k)]) {
        op(Op::Xchg, 0, reg_a());
        exchanged = reg_a();
    } else {
        op(Op::Mov, 0, reg_a());
    }
    std::swap(slot_reg_[size_t(k)], slot_reg_[size_t(a_)]);
    return exchanged;
}

void CodeGen::move_a_to(uint8_t reg) {
    if (reg_a() == reg) return;
    int k = 0;
    while (slot_reg_[size_t(k)] != reg) ++k;
    op(Op::Mov, reg, reg_a());
    if (k == b_) {
        swap_ab();
    } else {
        slot_used_[size_t(a_)] = false;
        slot_used_[size_t(k)] = true;
        a_ = k;
    }
}

// ---------------------------------------------------------------------------
// Statement-level instructions

void CodeGen::jump(Op op, int32_t label) {
    flush_return();
    char name[16] = "";
    if (listing_.enabled()) std::snprintf(name, sizeof name, "_%d", label);
    op_label(op, 0, label, name);
    if (op == Op::Jmp) reachable_ = false;
}

void CodeGen::emit_pending_return() {
    int32_t label = pending_return_;
    pending_return_ = 0;
    force_a_to_r0();
    jump(Op::Jmp, label);
}

void CodeGen::settle_return() {
    if (pending_return_ == 0) return;
    pending_return_ = 0;
    force_a_to_r0();
}

void CodeGen::enter(uint32_t* operand_at) {
    const uint32_t at = code_size_;
    op(Op::Enter, 0, 0);
    *operand_at = at + operand_offset(Form::OI);
}

void CodeGen::patch_enter(uint32_t operand_at, uint32_t frame_size) {
    if (!code_) return;
    if (uint64_t(operand_at) + 4 > code_size_) diag_.fail(Msg::Internal);
    for (int i = 0; i < 4; ++i) code_[operand_at + uint32_t(i)] = uint8_t(frame_size >> (8 * i));
}

void CodeGen::leave(uint32_t frame_size) {
    op(Op::Leave, 0, 0, int32_t(frame_size));
}

void CodeGen::ret() {
    op(Op::Ret, 0, 0);
    listing_.write("\n");  // a blank line after each function
}

void CodeGen::trap(uint16_t number) {
    op(Op::Trap, 0, 0, number);
}

void CodeGen::compare_immediate(uint8_t reg, int32_t value) {
    op(Op::CmpImm, reg, 0, value);
}

}  // namespace tob::compiler
