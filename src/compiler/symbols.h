// The symbol tables of one compilation: 7168 global and 1024 local entries with
// open addressing and linear probing. The probe order is observable (the
// listing walks the global table in index order), so the hash is fixed; a
// side index finds names already in the global table without walking the
// long probe runs that hash makes.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "compiler/diagnostics.h"
#include "compiler/name_heap.h"

namespace tob::compiler {

enum class SymbolKind : uint8_t {
    Empty,      // free slot
    New,        // created by a lookup, not declared yet
    Keyword,    // value: its token
    Macro,      // type: parameter count; body in text/text_size
    Typedef,    // type: the declared type
    Tag,        // struct or union tag; type: the struct type
    Member,     // struct or union member; value: byte offset
    Function,   // type: return type; value: label
    GlobalVar,  // value: absolute address
    LocalVar,   // parameters too; value: frame offset
    Label,      // defined label; value: label number
    LabelUsed,  // label used before its definition
};

// Symbol flag of a GlobalVar: the variable lives in the shared external area,
// not in the program's data.
inline constexpr uint8_t kInExternalArea = 4;

struct Symbol {
    const char* name = nullptr;  // zero-terminated, in the name heap
    SymbolKind kind = SymbolKind::Empty;
    uint8_t flags = 0;  // kind-specific marks
    int32_t type = 0;
    int32_t value = 0;
    // Macro body (not zero-terminated for parameter macros).
    const char* text = nullptr;
    uint32_t text_size = 0;
    // Lookup key of `name`, kept by the table: the hash and length of the
    // name, and whether it holds a "." (then only a full comparison decides).
    uint32_t key_hash = 0;
    uint32_t key_size = 0;
    bool dotted = false;
    // Of a global entry: the local entry of the same name while one exists
    // (kept by the table, so that the lexer finds both with one lookup).
    Symbol* local = nullptr;
};

// h = h * 7 XOR c over the bytes taken as signed 8-bit values, in 32 bits.
constexpr uint32_t hash_name(std::string_view name) {
    uint32_t h = 0;
    for (char c : name) h = h * 7 ^ uint32_t(int32_t(int8_t(c)));
    return h;
}

// True when `stored` names `text`: equal up to the stored name's end, or up to
// a "." in it (the listing name "x.3" of a static local is found as "x").
bool name_matches(const char* stored, std::string_view text);

class SymbolTable {
  public:
    static constexpr uint32_t kGlobalSize = 7168;
    static constexpr uint32_t kLocalSize = 1024;
    static constexpr uint32_t kSize = kGlobalSize + kLocalSize;

    SymbolTable(Diagnostics& diag, NameHeap& heap);

    // The global entry for `name`, or null.
    Symbol* find_global(std::string_view name);
    // The global entry for `name`, created as New when missing (message 18 when full).
    Symbol* global(std::string_view name) { return global(name, hash_name(name)); }
    // The same with the name's hash `h` (hash_name(name)) already known.
    Symbol* global(std::string_view name, uint32_t h) {
        if (!dotted_global_)
            if (Symbol* s = indexed_global(name, h)) return s;
        return add_global(name, h);
    }
    // The local entry for `name`, created as New sharing `shared_name` (the
    // same spelling, usually the global entry's) when missing (message 19
    // when full).
    Symbol* local(std::string_view name, const char* shared_name);
    // The same for the lexer: `h` is hash_name(name) and `global` the global
    // entry found for the name, whose name (and key) a new entry shares.
    Symbol* local(std::string_view name, uint32_t h, Symbol& global) {
        if (global.local) return global.local;
        return add_local(name, h, global);
    }
    // Empties every local entry in use.
    void clear_locals();
    // Gives `s` a new name (the listing name of a static local).
    static void rename(Symbol& s, const char* name);

    // The whole table in index order (globals first), and an entry's index.
    std::span<Symbol> entries() { return entries_; }
    std::span<Symbol> globals() { return {entries_.data(), kGlobalSize}; }
    uint32_t index_of(const Symbol* s) const { return uint32_t(s - entries_.data()); }
    uint32_t global_count() const { return global_count_; }

  private:
    static constexpr uint32_t kIndexBits = 14;  // side index: twice the global table
    static constexpr uint32_t kIndexSize = 1u << kIndexBits;

    // The global entry named exactly `name` (hash `h`) by way of the side index, or null.
    Symbol* indexed_global(std::string_view name, uint32_t h) {
        constexpr uint32_t kMask = kIndexSize - 1;
        for (uint32_t i = index_slot(h);; i = (i + 1) & kMask) {
            const uint64_t e = index_[i];
            if (e == 0) return nullptr;
            if (uint32_t(e >> 32) != h) continue;
            Symbol& s = entries_[uint32_t(e) - 1];
            if (s.key_size == name.size() && same_bytes(s.name, name.data(), name.size()))
                return &s;
        }
    }
    // Multiplicative spreading of the name hash, whose values bunch together.
    static constexpr uint32_t index_slot(uint32_t h) {
        return (h * 0x9E3779B1u) >> (32 - kIndexBits);
    }
    // Byte comparison for the short names scripts use, without a library call.
    static bool same_bytes(const char* a, const char* b, size_t n) {
        for (size_t i = 0; i < n; ++i)
            if (a[i] != b[i]) return false;
        return true;
    }
    void index_global(uint32_t entry);
    // The global entry for `name` when the side index has none (or cannot be used).
    Symbol* add_global(std::string_view name, uint32_t h);
    // The local entry when none is linked to `global` yet.
    Symbol* add_local(std::string_view name, uint32_t h, Symbol& global);
    // The local entry for `name`, found or made by probing the local table.
    Symbol* probe_local(std::string_view name, uint32_t h, const Symbol& key);
    void link_local(Symbol& global, Symbol& local);
    // Whether entry `s` names `text` (hash `h`): the stored key rules out
    // most entries without touching their names.
    static bool matches(const Symbol& s, std::string_view text, uint32_t h);
    // The first free global slot from `start` on, in probe order; the table
    // must have one.
    uint32_t free_global_slot(uint32_t start);

    Diagnostics& diag_;
    NameHeap& heap_;
    std::vector<Symbol> entries_;
    std::vector<uint32_t> used_locals_;  // what clear_locals has to empty
    std::vector<Symbol*> linked_;        // global entries with a local link
    // Side index of the global entries: the key hash in the high word and
    // entry number + 1 in the low one, 0 for a free slot. Exact while no
    // global name holds a "." (then names match only when equal, and entries
    // are never removed, so the probe would reach the same entry); otherwise
    // lookups take the probe.
    std::vector<uint64_t> index_;
    bool dotted_global_ = false;
    // Global slots only ever become used: from a used slot i, skip_[i] is a
    // later slot (in probe order) with every slot in between used too.
    std::vector<uint32_t> skip_;
    uint32_t global_count_ = 0;
};

}  // namespace tob::compiler
