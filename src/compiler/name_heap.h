// The name heap of one compilation: symbol names, macro bodies and string
// literals. Texts never move once finished and are freed only with the heap;
// the heap grows in chunks, so long dialogue-heavy scripts do not run out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "compiler/diagnostics.h"

namespace tob::compiler {

class NameHeap {
  public:
    static constexpr size_t kChunkSize = 256 * 1024;
    // Ceiling of the whole heap; beyond it texts are refused with message 20.
    static constexpr size_t kLimit = size_t(64) << 20;

    explicit NameHeap(Diagnostics& diag) : diag_(diag) {}
    NameHeap(const NameHeap&) = delete;
    NameHeap& operator=(const NameHeap&) = delete;

    // Copies `s` and a terminating zero; the result stays valid for the heap's life.
    const char* store(std::string_view s);

    // A text built byte by byte (a string literal or a macro body). Only one is
    // open at a time; its start may move while it grows, so callers ask
    // `open_start` again after writing.
    void begin();
    void put(uint8_t c) {
        if (fill_ == chunk_end_) grow_open(1);
        *fill_++ = char(c);
    }
    void put(std::string_view s);
    const char* open_start() const { return open_; }
    size_t open_size() const { return size_t(fill_ - open_); }
    // Appends the terminating zero and closes the text; returns its start.
    const char* finish();
    // Opens again the finished text [text, text + size) (size without the
    // zero) to extend it: in place when it is the last thing stored, otherwise
    // as a copy.
    void reopen(const char* text, size_t size);

    // Bytes taken so far (chunk slack not counted).
    size_t used() const { return used_ + size_t(fill_ - chunk_begin_); }

  private:
    void grow_open(size_t extra);

    Diagnostics& diag_;
    std::vector<std::unique_ptr<char[]>> chunks_;
    char* chunk_begin_ = nullptr;
    char* chunk_end_ = nullptr;
    char* fill_ = nullptr;
    char* open_ = nullptr;  // start of the open text, or null
    size_t used_ = 0;       // bytes in chunks before the current one
};

}  // namespace tob::compiler
