// Recording a measuring compile's output and placing it in a program area.
#include "compiler/program_image.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace tob::compiler {
namespace {

void put32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

void ProgramImage::give_up() {
    usable_ = false;
    // The memory goes at once: a measuring compile may go on for long.
    code_.reset();
    code_capacity_ = 0;
    data_ = {};
    pieces_ = {};
    code_slots_ = {};
    data_slots_ = {};
}

void ProgramImage::clear() {
    usable_ = true;
    closed_ = false;
    data_.clear();
    pieces_.clear();
    code_slots_.clear();
    data_slots_.clear();
    absolute_.clear();
    labels_.clear();
    label_absolute_.clear();
    exports_.clear();
    code_size_ = 0;
    data_size_ = 0;
}

template <typename Step>
void ProgramImage::record(Step step) {
    if (!usable_) return;
    // Running out of memory here costs the image, never the compile.
    try {
        step();
    } catch (const std::bad_alloc&) {
        give_up();
    }
}

uint8_t* ProgramImage::code_room(uint32_t needed, uint32_t* room) {
    if (needed > kMaxCode) give_up();
    if (needed > code_capacity_) {
        record([&] {
            const uint32_t capacity = std::min(kMaxCode, std::max(needed, code_capacity_ * 2));
            auto bigger = std::make_unique_for_overwrite<uint8_t[]>(capacity);
            if (code_capacity_ > 0) std::memcpy(bigger.get(), code_.get(), code_capacity_);
            code_ = std::move(bigger);
            code_capacity_ = capacity;
        });
    }
    *room = usable_ ? code_capacity_ : 0;
    return usable_ ? code_.get() : nullptr;
}

void ProgramImage::data_bytes(uint32_t from_end, const void* bytes, uint32_t n) {
    if (n == 0) return;
    if (data_.size() + n > kMaxData) give_up();
    record([&] {
        pieces_.push_back({from_end, n, uint32_t(data_.size())});
        const auto* b = static_cast<const uint8_t*>(bytes);
        data_.insert(data_.end(), b, b + n);
    });
}

void ProgramImage::label_slot_in_code(uint32_t offset, int32_t label) {
    record([&] { code_slots_.push_back({offset, label}); });
}

void ProgramImage::label_slot_in_data(uint32_t from_end, int32_t label) {
    record([&] { data_slots_.push_back({from_end, label}); });
}

void ProgramImage::data_address_in_code(uint32_t offset) {
    record([&] { code_slots_.push_back({offset, kDataAddress}); });
}

void ProgramImage::data_address_in_data(uint32_t from_end) {
    record([&] { data_slots_.push_back({from_end, kDataAddress}); });
}

void ProgramImage::absolute_label(int32_t label, uint32_t address) {
    record([&] { absolute_.push_back({label, address}); });
}

void ProgramImage::export_function(const ExportedFunction& f) {
    record([&] { exports_.push_back(f); });
}

void ProgramImage::close(uint32_t code_size, uint32_t data_size,
                         std::vector<uint32_t> label_offsets) {
    closed_ = true;
    if (!usable_) return;
    code_size_ = code_size;
    data_size_ = data_size;
    labels_ = std::move(label_offsets);
    record([&] { label_absolute_.assign(labels_.size(), false); });
    if (!usable_) return;
    for (const Absolute& a : absolute_) {
        if (a.label <= 0 || size_t(a.label) > labels_.size()) return give_up();
        labels_[size_t(a.label - 1)] = a.address;
        label_absolute_[size_t(a.label - 1)] = true;
    }
    // Everything must land inside the area: checked once here, so that
    // placing never writes out of bounds.
    if (code_size_ > code_capacity_ || uint64_t(code_size_) + data_size_ > UINT32_MAX)
        return give_up();
    auto resolves = [this](int32_t label) {
        if (label == kDataAddress) return true;
        if (label <= 0 || size_t(label) > labels_.size()) return false;
        return label_absolute_[size_t(label - 1)] || labels_[size_t(label - 1)] != kUndefined;
    };
    for (const Slot& s : code_slots_)
        if (uint64_t(s.where) + 4 > code_size_ || !resolves(s.label)) return give_up();
    for (const Slot& s : data_slots_)
        if (s.where < 4 || s.where > data_size_ || !resolves(s.label)) return give_up();
    for (const Piece& p : pieces_)
        if (p.from_end < p.size || p.from_end > data_size_) return give_up();
}

std::vector<ExportedFunction> ProgramImage::exports_at(ScriptAddr base) const {
    std::vector<ExportedFunction> list = exports_;
    for (ExportedFunction& f : list) f.address += base;
    return list;
}

uint32_t ProgramImage::label_address(int32_t label, ScriptAddr base) const {
    const size_t i = size_t(label - 1);
    return label_absolute_[i] ? labels_[i] : base + labels_[i];
}

bool ProgramImage::place(uint8_t* host, ScriptAddr base, uint32_t size) const {
    if (!usable_ || !closed_ || uint64_t(code_size_) + data_size_ > size) return false;
    std::memcpy(host, code_.get(), code_size_);
    uint8_t* end = host + size;
    for (const Piece& p : pieces_) std::memcpy(end - p.from_end, data_.data() + p.at, p.size);
    // Data addresses were taken in an area of size 0 at 0.
    const uint32_t data_shift = base + size;
    for (const Slot& s : code_slots_) {
        uint8_t* at = host + s.where;
        put32(at, s.label == kDataAddress ? get32(at) + data_shift : label_address(s.label, base));
    }
    for (const Slot& s : data_slots_) {
        uint8_t* at = end - s.where;
        put32(at, s.label == kDataAddress ? get32(at) + data_shift : label_address(s.label, base));
    }
    return true;
}

}  // namespace tob::compiler
