// The program image a measuring compile can keep: its code as if the program
// stood at address 0 in an area of size 0, the data it initialised, and every
// slot that holds an address. Placing it in a program area gives the bytes a
// compile into that area writes, without compiling again.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "compiler/exports.h"
#include "vm/script_memory.h"

namespace tob::compiler {

class ProgramImage {
  public:
    // Beyond these sizes the image is given up; the measuring compile goes on.
    static constexpr uint32_t kMaxCode = 64u << 20;
    static constexpr uint32_t kMaxData = 64u << 20;  // initialised bytes

    bool usable() const { return usable_; }
    void give_up();
    // Empties the image for a new recording, keeping its memory.
    void clear();

    // --- recording, by the code generator ---
    // Room for code up to `needed` bytes; null once given up.
    uint8_t* code_room(uint32_t needed, uint32_t* room);
    // Initialised bytes of the data area, `from_end` bytes before its end.
    void data_bytes(uint32_t from_end, const void* bytes, uint32_t n);
    // A 32-bit slot that takes the address of `label`.
    void label_slot_in_code(uint32_t offset, int32_t label);
    void label_slot_in_data(uint32_t from_end, int32_t label);
    // A 32-bit slot holding an address in the data area (moves with base + size).
    void data_address_in_code(uint32_t offset);
    void data_address_in_data(uint32_t from_end);
    // Label `label` stands for `address` in another program.
    void absolute_label(int32_t label, uint32_t address);
    // A function this program exports; its address is a code offset.
    void export_function(const ExportedFunction& f);

    // Ends the recording: the sizes, and each label's code offset (or
    // kUndefined). Slots that would not resolve make the image unusable.
    static constexpr uint32_t kUndefined = UINT32_MAX;
    void close(uint32_t code_size, uint32_t data_size, std::vector<uint32_t> label_offsets);

    uint32_t code_size() const { return code_size_; }
    uint32_t data_size() const { return data_size_; }
    // The exported functions with their addresses in an area at `base`.
    std::vector<ExportedFunction> exports_at(ScriptAddr base) const;

    // Writes the image into the area [base, base + size) whose host memory is
    // `host`; false (nothing written) when it does not fit or is not usable.
    bool place(uint8_t* host, ScriptAddr base, uint32_t size) const;

  private:
    struct Slot {
        uint32_t where;  // code offset, or distance from the area's end
        int32_t label;   // the label, or kDataAddress
    };
    static constexpr int32_t kDataAddress = -1;
    struct Piece {
        uint32_t from_end;
        uint32_t size;
        uint32_t at;  // index into data_
    };
    struct Absolute {
        int32_t label;
        uint32_t address;
    };
    // Runs a recording step unless the image is given up; gives it up when
    // the step runs out of memory.
    template <typename Step>
    void record(Step step);
    // The value a label slot gets in an area at `base`.
    uint32_t label_address(int32_t label, ScriptAddr base) const;

    bool usable_ = true;
    bool closed_ = false;
    // Code bytes (left uninitialised until written: the code is written whole).
    std::unique_ptr<uint8_t[]> code_;
    uint32_t code_capacity_ = 0;
    std::vector<uint8_t> data_;
    std::vector<Piece> pieces_;
    std::vector<Slot> code_slots_;
    std::vector<Slot> data_slots_;
    std::vector<Absolute> absolute_;
    std::vector<uint32_t> labels_;  // code offset, or an absolute address
    std::vector<bool> label_absolute_;
    std::vector<ExportedFunction> exports_;
    uint32_t code_size_ = 0;
    uint32_t data_size_ = 0;
};

}  // namespace tob::compiler
