// Walking an ELF program's dynamic relocations for the slots of named functions.
#include "hook/elf_slots.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>

namespace morvane::hook {

LoadedRange loaded_range(std::span<const ElfW(Phdr)> phdrs, uintptr_t bias) {
    LoadedRange r{UINTPTR_MAX, 0};
    for (const ElfW(Phdr) & p : phdrs) {
        if (p.p_type != PT_LOAD) continue;
        r.low = std::min<uintptr_t>(r.low, bias + p.p_vaddr);
        r.high = std::max<uintptr_t>(r.high, bias + p.p_vaddr + p.p_memsz);
    }
    if (r.low > r.high) r = {};
    return r;
}

DynamicTables read_dynamic(const ElfW(Dyn) * dynamic, uintptr_t bias, LoadedRange range) {
    auto address = [&](ElfW(Addr) v) {
        return v >= range.low && v < range.high ? uintptr_t(v) : bias + uintptr_t(v);
    };
    DynamicTables t;
    uintptr_t jmprel = 0, rela = 0;
    size_t plt_bytes = 0, rela_bytes = 0, rela_entry = sizeof(ElfW(Rela));
    bool plt_is_rela = true;
    for (const ElfW(Dyn)* d = dynamic; d && d->d_tag != DT_NULL; ++d) {
        switch (d->d_tag) {
            case DT_JMPREL:
                jmprel = address(d->d_un.d_ptr);
                break;
            case DT_PLTRELSZ:
                plt_bytes = d->d_un.d_val;
                break;
            case DT_PLTREL:
                plt_is_rela = d->d_un.d_val == DT_RELA;
                break;
            case DT_RELA:
                rela = address(d->d_un.d_ptr);
                break;
            case DT_RELASZ:
                rela_bytes = d->d_un.d_val;
                break;
            case DT_RELAENT:
                rela_entry = d->d_un.d_val;
                break;
            case DT_SYMTAB:
                t.symbols = reinterpret_cast<const ElfW(Sym)*>(address(d->d_un.d_ptr));
                break;
            case DT_STRTAB:
                t.strings = reinterpret_cast<const char*>(address(d->d_un.d_ptr));
                break;
            case DT_STRSZ:
                t.strings_size = d->d_un.d_val;
                break;
            default:
                break;
        }
    }
    if (rela_entry != sizeof(ElfW(Rela))) return t;  // not a layout we know
    if (jmprel && plt_is_rela) {
        t.plt_relocs = reinterpret_cast<const ElfW(Rela)*>(jmprel);
        t.plt_count = plt_bytes / sizeof(ElfW(Rela));
    }
    if (rela) {
        t.relocs = reinterpret_cast<const ElfW(Rela)*>(rela);
        t.reloc_count = rela_bytes / sizeof(ElfW(Rela));
    }
    return t;
}

std::vector<uintptr_t*> find_slots(const DynamicTables& t, uintptr_t bias, const char* name,
                                   uintptr_t real) {
    std::vector<uintptr_t*> out;
    if (!t.symbols || !t.strings) return out;
    auto scan = [&](const ElfW(Rela) * relocs, size_t count, uint32_t wanted_type) {
        for (size_t i = 0; relocs && i < count; ++i) {
            const ElfW(Rela)& r = relocs[i];
            if (ELF64_R_TYPE(r.r_info) != wanted_type) continue;
            size_t sym = ELF64_R_SYM(r.r_info);
            if (sym == 0) continue;
            size_t name_at = t.symbols[sym].st_name;
            if (name_at >= t.strings_size) continue;
            const char* sym_name = t.strings + name_at;
            size_t room = t.strings_size - name_at;
            if (strnlen(sym_name, room) == room || std::strcmp(sym_name, name) != 0) continue;
            auto* slot = reinterpret_cast<uintptr_t*>(bias + r.r_offset);
            if (__atomic_load_n(slot, __ATOMIC_RELAXED) == real) out.push_back(slot);
        }
    };
    scan(t.plt_relocs, t.plt_count, R_X86_64_JUMP_SLOT);
    scan(t.relocs, t.reloc_count, R_X86_64_GLOB_DAT);
    return out;
}

int page_protection(std::span<const ElfW(Phdr)> phdrs, uintptr_t bias, uintptr_t address,
                    uintptr_t page_size) {
    uintptr_t page = address & ~(page_size - 1);
    for (const ElfW(Phdr) & p : phdrs) {
        if (p.p_type != PT_GNU_RELRO) continue;
        uintptr_t start = (bias + p.p_vaddr) & ~(page_size - 1);
        uintptr_t end = (bias + p.p_vaddr + p.p_memsz) & ~(page_size - 1);
        if (page >= start && page < end) return PROT_READ;
    }
    for (const ElfW(Phdr) & p : phdrs) {
        if (p.p_type != PT_LOAD) continue;
        uintptr_t start = bias + p.p_vaddr, end = start + p.p_memsz;
        if (address < start || address >= end) continue;
        int prot = 0;
        if (p.p_flags & PF_R) prot |= PROT_READ;
        if (p.p_flags & PF_W) prot |= PROT_WRITE;
        if (p.p_flags & PF_X) prot |= PROT_EXEC;
        return prot;
    }
    return -1;
}

}  // namespace morvane::hook
