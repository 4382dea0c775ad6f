// The code generator: writes machine instructions straight into the program
// area (or only counts them in a measuring compile), with one listing line per
// instruction. Owns labels and their back-patching, register allocation,
// placement of data, and generation of expression trees and conditions.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "compiler/diagnostics.h"
#include "compiler/listing.h"
#include "compiler/nodes.h"
#include "compiler/program_image.h"
#include "compiler/types.h"
#include "vm/opcodes.h"
#include "vm/script_memory.h"

namespace tob::compiler {

// The program area a compile writes into. A null `host` means a measuring
// compile: every size is counted, nothing is written.
struct OutputArea {
    uint8_t* host = nullptr;
    ScriptAddr base = 0;
    uint32_t size = 0;
};

class CodeGen {
  public:
    static constexpr int kAllocatable = 6;  // r0..r5
    static constexpr uint8_t kFrameRegister = 6;
    static constexpr uint8_t kStackRegister = 7;
    static constexpr int32_t kFirstLocalOffset = -20;
    // Code and data together stay below 2^31: addresses are compared as signed.
    static constexpr uint64_t kMaxProgram = uint64_t(1) << 31;

    // With `image`, a measuring compile records its output there as well.
    CodeGen(Diagnostics& diag, Listing& listing, TypeTable& types, NodePool& nodes, OutputArea out,
            ProgramImage* image = nullptr);

    bool measuring() const { return out_.host == nullptr; }
    // The image being recorded, or null.
    ProgramImage* image() const { return image_; }
    // Ends the recording of a compile that succeeded.
    void close_image();
    uint32_t code_size() const { return code_size_; }
    uint32_t data_size() const { return data_size_; }
    // Absolute address of the next code byte.
    uint32_t here() const { return out_.base + code_size_; }

    // --- data ---
    // Takes `n` bytes from the end of the area; returns their absolute address.
    uint32_t take_data(uint32_t n);
    // Writes bytes of a datum (nothing in a measuring compile).
    void write_data(uint32_t address, const void* bytes, uint32_t n);
    // A datum word that refers to function label `label` (filled in when it is placed).
    void data_label_reference(uint32_t address, int32_t label);
    // A datum word holding the address `value`, which lies in this program's
    // data area when `in_data` is set.
    void write_address(uint32_t address, uint32_t value, bool in_data);
    // Whether a global variable lives in this program's data area.
    static bool in_data_area(const Symbol* sym) {
        return sym->kind == SymbolKind::GlobalVar && !(sym->flags & kInExternalArea);
    }

    // --- labels ---
    int32_t new_label();
    // Places `label` here; `list` writes its "_<n>:" line (function labels
    // are listed by name instead).
    void define_label(int32_t label, bool list = true);
    bool label_defined(int32_t label) const;
    uint32_t label_count() const { return uint32_t(labels_.size()); }
    // Writes `address` into every slot still waiting for `label`.
    void patch_label(int32_t label, uint32_t address);
    // Label `label` stands for `address` in another program (nothing is
    // written in a measuring compile).
    void resolve_outside(int32_t label, uint32_t address);
    bool reachable() const { return reachable_; }
    void set_reachable(bool on) { reachable_ = on; }

    // --- registers ---
    void reset_registers();
    uint8_t reg_a() const { return slot_reg_[size_t(a_)]; }
    uint8_t reg_b() const { return slot_reg_[size_t(b_)]; }
    // Moves A into r0 (the call result register). When r0 held another live
    // value the two are exchanged; returns the register that value went to,
    // or -1 when nothing was exchanged.
    int force_a_to_r0();

    // --- instructions used by statements ---
    void jump(Op op, int32_t label);  // jmp and conditional jumps
    void enter(uint32_t* operand_offset);
    void patch_enter(uint32_t operand_offset, uint32_t frame_size);
    void leave(uint32_t frame_size);
    void ret();
    void trap(uint16_t number);
    void compare_immediate(uint8_t reg, int32_t value);  // `case` test

    // A return whose jump to `label` waits until more code follows.
    void set_pending_return(int32_t label) { pending_return_ = label; }
    // Emits a waiting return: A into r0, then the jump.
    void flush_return() {
        if (pending_return_ != 0) emit_pending_return();
    }
    // Drops the waiting jump (the return label follows) but keeps A in r0.
    void settle_return();

    // --- expressions ---
    // Generates `node` into A (value discarded by the caller when unused).
    void gen(int32_t node);
    // Jumps to `label` when the truth of `node` equals `sense`.
    void condition(int32_t node, bool sense, int32_t label);

    // Places a string literal as a datum and returns its address; with
    // `label` the listing gets its "_s<n>:" line as well.
    uint32_t place_string(const char* str, uint32_t size, bool label);
    // The listing's ".ascii" line of a string literal.
    void list_ascii(const char* str, uint32_t size);

    // While set, a store to a local is listed under this name ("a[2]").
    void set_store_name(std::string name) { store_name_ = std::move(name); }

    // Listing text of a global symbol plus offset ("x", "x+4").
    static std::string symbol_text(const Symbol* sym, int32_t offset);

  private:
    struct Label {
        bool defined = false;
        uint32_t word = 0;  // address once defined, else the latest waiting slot
    };

    // Raw emission.
    void reserve(uint32_t n) {
        uint64_t total = uint64_t(code_size_) + data_size_ + n;
        if (out_.host ? total > out_.size : total >= kMaxProgram) diag_.fail(Msg::ProgramFull);
        if (image_ && code_size_ + n > code_room_) grow_image(code_size_ + n);
    }
    void grow_image(uint32_t needed);
    void emit_pending_return();
    // Writes `op` in its form through the opcode table: `operand` is the
    // imm32 or the trap number, the registers go where the form has them.
    void emit(Op op, uint8_t d, uint8_t s, uint32_t operand = 0) {
        const Instruction ins = encode(op, reg_byte(d, s), operand);
        reserve(ins.size);
        if (code_) std::memcpy(code_ + code_size_, ins.bytes.data(), ins.size);
        code_size_ += ins.size;
    }
    void write32_at(uint32_t offset, uint32_t v);
    uint32_t read32_at(uint32_t offset) const;
    // The operand for label `label` in the code slot at `slot`.
    uint32_t label_reference(int32_t label, uint32_t slot);
    void before_code();
    // Lists and emits an instruction whose operand is the number it lists
    // (`name` lists a local under its name).
    void op(Op op, uint8_t d, uint8_t s, int32_t value = 0, std::string_view name = {}) {
        if (listing_.enabled()) listing_.instruction(op, {d, s, value, name});
        emit(op, d, s, uint32_t(value));
    }
    // The same with the address of global `sym` plus `offset` as the operand.
    void op_global(Op op, uint8_t d, uint8_t s, const Symbol* sym, int32_t offset);
    // The same with the address of label `label`, listed as `name`.
    void op_label(Op op, uint8_t d, int32_t label, std::string_view name);
    // Distance of a data address from the end of the area.
    uint32_t from_end(uint32_t address) const { return out_.base + out_.size - address; }

    // Register allocation: A moves to a free register (or the machine
    // stack), and comes back as B.
    void push_a() {
        for (int i = 0; i < kAllocatable; ++i) {
            if (slot_used_[size_t(i)]) continue;
            save(int8_t(a_));
            slot_used_[size_t(i)] = true;
            a_ = i;
            return;
        }
        spill_a();
    }
    void pop_b() {
        if (saved_count_ == 0) diag_.fail(Msg::Internal);
        const int s = saved_[--saved_count_];
        if (s < 0) return unspill_b();
        slot_used_[size_t(b_)] = false;
        b_ = s;
    }
    void save(int8_t slot) {
        // Nesting follows the expression tree, whose depth is bounded.
        if (saved_count_ == saved_.size()) diag_.fail(Msg::Internal);
        saved_[saved_count_++] = slot;
    }
    void spill_a();
    void unspill_b();
    void swap_ab() { std::swap(a_, b_); }
    void move_a_to(uint8_t reg);

    // Expression pieces.
    void gen_address(int32_t lvalue);
    void load(const Node& lvalue);
    void load_through_a(TypeRef obj);
    void store(int32_t lvalue);
    void store_through_a(TypeRef obj);
    void gen_string(const Node& n);
    void gen_binary(const Node& n);
    void gen_assign(const Node& n);
    void gen_compound(const Node& n);
    void gen_incdec(const Node& n);
    void gen_call(const Node& n);
    void gen_truth_value(int32_t node);
    void gen_conditional(const Node& n);
    void compare_jump(const Node& n, bool sense, int32_t label);

    Diagnostics& diag_;
    Listing& listing_;
    TypeTable& types_;
    NodePool& nodes_;
    OutputArea out_;
    ProgramImage* image_ = nullptr;
    uint8_t* code_ = nullptr;  // where code goes: the program area, the image, or nowhere
    uint32_t code_room_ = 0;   // bytes the image's code buffer holds
    uint32_t code_size_ = 0;
    uint32_t data_size_ = 0;
    std::vector<Label> labels_;
    bool reachable_ = true;
    int32_t pending_return_ = 0;
    // Depth of expression parts that only run on some paths (the right side
    // of && and ||, the arms of ?:). Register moves made there must be undone
    // before the paths meet again.
    int conditional_ = 0;
    uint32_t string_counter_ = 0;

    std::array<bool, kAllocatable> slot_used_{};
    std::array<uint8_t, kAllocatable> slot_reg_{};
    int a_ = 0;
    int b_ = 1;
    // Previous A slots; -1 for a value pushed on the stack.
    std::array<int8_t, NodePool::kMaxDepth + 1> saved_{};
    size_t saved_count_ = 0;
    std::string store_name_;  // listing name of a local array element being stored
};

}  // namespace tob::compiler
