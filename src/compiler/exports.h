// Functions that programs export to later programs: a function defined
// `extern` is entered with its code address when it is compiled into memory,
// and a later compilation that calls it without defining it takes the address
// from here. The list outlives compilations (the engine owns one) and may be
// used by compilations on several threads.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "compiler/types.h"
#include "vm/script_memory.h"

namespace tob::compiler {

struct ExportedFunction {
    std::string name;  // CP932
    // Result type: a basic type under `pointer_depth` pointers (type references
    // of one compilation mean nothing in the next, so derived types are kept
    // in this form; anything else is recorded as long).
    TypeRef basic_result = type::Long;
    uint32_t pointer_depth = 0;
    ScriptAddr address = 0;
};

class ExportedFunctions {
  public:
    static constexpr size_t kCapacity = 512;
    static constexpr size_t kNameSize = 32;  // names are shorter than this

    // Enters or updates `f`; false when the list is full.
    bool put(const ExportedFunction& f);
    std::optional<ExportedFunction> find(std::string_view name) const;
    void clear();
    size_t size() const;

    // Counts the changes made to the list: what a compilation looked up is
    // still valid while the count stays the same.
    uint64_t generation() const;
    // Enters or updates every function of `list` at once, but only when the
    // list is still at `generation` and has room for all of them; otherwise
    // changes nothing and returns false.
    bool put_all(std::span<const ExportedFunction> list, uint64_t generation);

  private:
    bool put_locked(const ExportedFunction& f);

    mutable std::mutex mutex_;
    std::vector<ExportedFunction> list_;
    uint64_t generation_ = 0;
};

}  // namespace tob::compiler
