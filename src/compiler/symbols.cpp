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

namespace {

void set_key(Symbol& s, std::string_view name) {
    s.key_hash = hash_name(name);
    s.key_size = uint32_t(name.size());
    s.dotted = name.find('.') != std::string_view::npos;
}

}  // namespace

inline bool SymbolTable::matches(const Symbol& s, std::string_view text, uint32_t h) {
    if (s.dotted) return name_matches(s.name, text);
    // Without a "." the names match only when they are equal.
    return s.key_hash == h && s.key_size == text.size() &&
           same_bytes(s.name, text.data(), text.size());
}

void SymbolTable::rename(Symbol& s, const char* name) {
    s.name = name;
    set_key(s, name);
}

SymbolTable::SymbolTable(Diagnostics& diag, NameHeap& heap)
    : diag_(diag), heap_(heap), entries_(kSize), index_(kIndexSize), skip_(kGlobalSize) {
    used_locals_.reserve(kLocalSize);
    for (uint32_t i = 0; i < kGlobalSize; ++i) skip_[i] = i + 1 == kGlobalSize ? 0 : i + 1;
}

void SymbolTable::index_global(uint32_t entry) {
    const Symbol& s = entries_[entry];
    if (s.dotted) {
        dotted_global_ = true;
        return;
    }
    constexpr uint32_t kMask = kIndexSize - 1;
    uint32_t i = index_slot(s.key_hash);
    while (index_[i] != 0) i = (i + 1) & kMask;
    index_[i] = uint64_t(s.key_hash) << 32 | (entry + 1);
}

Symbol* SymbolTable::find_global(std::string_view name) {
    const uint32_t h = hash_name(name);
    if (!dotted_global_) return indexed_global(name, h);
    uint32_t start = h % kGlobalSize;
    uint32_t i = start;
    do {
        Symbol& s = entries_[i];
        if (s.kind == SymbolKind::Empty) return nullptr;
        if (matches(s, name, h)) return &s;
        i = i + 1 == kGlobalSize ? 0 : i + 1;
    } while (i != start);
    return nullptr;
}

uint32_t SymbolTable::free_global_slot(uint32_t start) {
    uint32_t i = start;
    while (entries_[i].kind != SymbolKind::Empty) i = skip_[i];
    // Later searches passing these slots go straight to `i`.
    for (uint32_t j = start; j != i;) {
        const uint32_t next = skip_[j];
        skip_[j] = i;
        j = next;
    }
    return i;
}

Symbol* SymbolTable::add_global(std::string_view name, uint32_t h) {
    uint32_t start = h % kGlobalSize;
    uint32_t i = start;
    if (!dotted_global_) {
        // The side index has no entry of the name: the new one goes to the first free slot.
        if (global_count_ == kGlobalSize) diag_.fail(Msg::TooManyGlobals);
        i = free_global_slot(start);
    }
    do {
        Symbol& s = entries_[i];
        if (s.kind == SymbolKind::Empty) {
            s.name = heap_.store(name);
            s.kind = SymbolKind::New;
            set_key(s, name);
            index_global(i);
            ++global_count_;
            return &s;
        }
        if (matches(s, name, h)) return &s;
        i = i + 1 == kGlobalSize ? 0 : i + 1;
    } while (i != start);
    diag_.fail(Msg::TooManyGlobals);
}

Symbol* SymbolTable::probe_local(std::string_view name, uint32_t h, const Symbol& key) {
    constexpr uint32_t kMask = kLocalSize - 1;
    static_assert((kLocalSize & kMask) == 0);
    uint32_t start = h & kMask;
    uint32_t i = start;
    do {
        Symbol& s = entries_[kGlobalSize + i];
        if (s.kind == SymbolKind::Empty) {
            // The new entry shares the name (and key) of `key`.
            s.name = key.name;
            s.kind = SymbolKind::New;
            s.key_hash = key.key_hash;
            s.key_size = key.key_size;
            s.dotted = key.dotted;
            used_locals_.push_back(kGlobalSize + i);
            return &s;
        }
        if (matches(s, name, h)) return &s;
        i = (i + 1) & kMask;
    } while (i != start);
    diag_.fail(Msg::TooManyLocals);
}

void SymbolTable::link_local(Symbol& global, Symbol& local) {
    global.local = &local;
    linked_.push_back(&global);
}

// A local entry is linked to the global entry its name finds. Names match
// when equal (or the local is a static local's listing name), so the local
// found for a name stays the one linked until the locals are cleared.
Symbol* SymbolTable::local(std::string_view name, const char* shared_name) {
    const uint32_t h = hash_name(name);
    Symbol* global = dotted_global_ ? find_global(name) : indexed_global(name, h);
    if (global && global->local) return global->local;
    Symbol key;
    key.name = shared_name;
    set_key(key, shared_name);
    Symbol* s = probe_local(name, h, key);
    if (global) link_local(*global, *s);
    return s;
}

Symbol* SymbolTable::add_local(std::string_view name, uint32_t h, Symbol& global) {
    Symbol* s = probe_local(name, h, global);
    link_local(global, *s);
    return s;
}

void SymbolTable::clear_locals() {
    for (uint32_t i : used_locals_) entries_[i] = Symbol{};
    used_locals_.clear();
    for (Symbol* g : linked_) g->local = nullptr;
    linked_.clear();
}

}  // namespace tob::compiler
