// Lookup and creation in the global and local symbol tables.
#include "compiler/symbols.h"

#include "compiler/char_class.h"

namespace tob::compiler {

bool name_matches(const char* stored, std::string_view text) {
    // Walk character by character so that a trail byte is never taken for the
    // "." that ends a listing name.
    bool trail = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (stored[i] != text[i]) return false;
        trail = !trail && is_lead_byte(uint8_t(text[i]));
    }
    char end = stored[text.size()];
    return end == 0 || (end == '.' && !trail);
}

SymbolTable::SymbolTable(Diagnostics& diag, NameHeap& heap)
    : diag_(diag), heap_(heap), entries_(kSize) {
    used_locals_.reserve(kLocalSize);
}

Symbol* SymbolTable::find_global(std::string_view name) {
    uint32_t start = hash_name(name) % kGlobalSize;
    uint32_t i = start;
    do {
        Symbol& s = entries_[i];
        if (s.kind == SymbolKind::Empty) return nullptr;
        if (name_matches(s.name, name)) return &s;
        i = i + 1 == kGlobalSize ? 0 : i + 1;
    } while (i != start);
    return nullptr;
}

Symbol* SymbolTable::global(std::string_view name) {
    uint32_t start = hash_name(name) % kGlobalSize;
    uint32_t i = start;
    do {
        Symbol& s = entries_[i];
        if (s.kind == SymbolKind::Empty) {
            s.name = heap_.store(name);
            s.kind = SymbolKind::New;
            ++global_count_;
            return &s;
        }
        if (name_matches(s.name, name)) return &s;
        i = i + 1 == kGlobalSize ? 0 : i + 1;
    } while (i != start);
    diag_.fail(Msg::TooManyGlobals);
}

Symbol* SymbolTable::local(std::string_view name, const char* shared_name) {
    constexpr uint32_t kMask = kLocalSize - 1;
    static_assert((kLocalSize & kMask) == 0);
    uint32_t start = hash_name(name) & kMask;
    uint32_t i = start;
    do {
        Symbol& s = entries_[kGlobalSize + i];
        if (s.kind == SymbolKind::Empty) {
            s.name = shared_name;
            s.kind = SymbolKind::New;
            used_locals_.push_back(kGlobalSize + i);
            return &s;
        }
        if (name_matches(s.name, name)) return &s;
        i = (i + 1) & kMask;
    } while (i != start);
    diag_.fail(Msg::TooManyLocals);
}

void SymbolTable::clear_locals() {
    for (uint32_t i : used_locals_) entries_[i] = Symbol{};
    used_locals_.clear();
}

}  // namespace tob::compiler
