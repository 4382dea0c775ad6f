// Chunked storage for names, macro bodies and string literals.
#include "compiler/name_heap.h"

#include <algorithm>
#include <cstring>

namespace tob::compiler {

void NameHeap::grow_open(size_t extra) {
    // Move the open text (or nothing) into a fresh chunk large enough for it.
    size_t keep = open_ ? size_t(fill_ - open_) : 0;
    size_t need = keep + extra + 1;
    if (used() + need > kLimit) diag_.fail(Msg::SymbolBuffer);
    size_t size = std::max(kChunkSize, need * 2);
    auto chunk = std::make_unique<char[]>(size);
    if (keep) std::memcpy(chunk.get(), open_, keep);
    used_ += size_t((open_ ? open_ : fill_) - chunk_begin_);
    chunk_begin_ = chunk.get();
    chunk_end_ = chunk_begin_ + size;
    fill_ = chunk_begin_ + keep;
    if (open_) open_ = chunk_begin_;
    chunks_.push_back(std::move(chunk));
}

const char* NameHeap::store(std::string_view s) {
    begin();
    put(s);
    return finish();
}

void NameHeap::begin() {
    if (!fill_) grow_open(0);
    open_ = fill_;
}

void NameHeap::put(std::string_view s) {
    if (size_t(chunk_end_ - fill_) < s.size()) grow_open(s.size());
    std::memcpy(fill_, s.data(), s.size());
    fill_ += s.size();
}

const char* NameHeap::finish() {
    put(uint8_t(0));
    const char* start = open_;
    open_ = nullptr;
    return start;
}

void NameHeap::reopen(const char* text, size_t size) {
    if (fill_ && text + size + 1 == fill_ && text >= chunk_begin_) {
        open_ = const_cast<char*>(text);
        --fill_;  // the zero is overwritten by what follows
        return;
    }
    // Something was stored after it: continue on a copy.
    std::string_view old(text, size);
    begin();
    put(old);
}

}  // namespace tob::compiler
