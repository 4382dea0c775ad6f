// Finding a program's dynamic-linkage slots for a function: the ELF
// counterpart of walking an import address table. Plain functions over the
// dynamic section and program headers as they lie in memory.
#pragma once

#include <elf.h>
#include <link.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace morvane::hook {

// The relocation and symbol tables named by a dynamic section, as addresses.
struct DynamicTables {
    const ElfW(Rela) * plt_relocs = nullptr;  // DT_JMPREL (RELA only)
    size_t plt_count = 0;
    const ElfW(Rela) * relocs = nullptr;  // DT_RELA
    size_t reloc_count = 0;
    const ElfW(Sym) * symbols = nullptr;
    const char* strings = nullptr;
    size_t strings_size = 0;
};

// The range [low, high) of addresses an object's loadable segments cover.
struct LoadedRange {
    uintptr_t low = 0, high = 0;
};
LoadedRange loaded_range(std::span<const ElfW(Phdr)> phdrs, uintptr_t bias);

// Reads a dynamic section. Its pointers are taken as addresses when they lie
// inside `range` (the loader relocated them) and as offsets from `bias` otherwise.
DynamicTables read_dynamic(const ElfW(Dyn) * dynamic, uintptr_t bias, LoadedRange range);

// The slots (JUMP_SLOT and GLOB_DAT relocations' targets) whose symbol is
// `name` and which hold `real`.
std::vector<uintptr_t*> find_slots(const DynamicTables& tables, uintptr_t bias, const char* name,
                                   uintptr_t real);

// The protection (PROT_* bits) the page holding `address` has once the loader
// is done: read-only inside PT_GNU_RELRO (its whole pages), else its loadable
// segment's flags. -1 when no segment holds it.
int page_protection(std::span<const ElfW(Phdr)> phdrs, uintptr_t bias, uintptr_t address,
                    uintptr_t page_size);

}  // namespace morvane::hook
