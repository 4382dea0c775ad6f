// The memory and string built-ins: mem*, mbs* (CP932 characters), str* (bytes),
// sprintf, atoi and ftoa. Every pointer is checked through script memory; a bad
// one makes the built-in return its failure value. Copies behave like memmove.
#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

#include "runtime/format.h"
#include "runtime/mbstring.h"
#include "runtime/runtime.h"
#include "vm/trap.h"

namespace tob {
namespace {

// Largest text `sprintf` produces; longer results are cut on a character boundary.
constexpr size_t kSprintfLimit = (1u << 20) - 1;

std::optional<std::string_view> text(TrapCall& call, int i) {
    return call.string(i, kStringScanLimit);
}

// Writes `bytes` and a terminator at the script address in argument `i`; the
// source may overlap the destination. False when the range is not writable.
bool store_string(TrapCall& call, int i, std::string_view bytes) {
    ScriptAddr dst = call.address(i);
    const uint32_t len = uint32_t(bytes.size());
    ScriptMemory& mem = call.memory();
    if (!mem.valid(dst, len + 1)) return false;
    // Through script memory's copy: other script threads may read the buffer.
    const char terminator = 0;
    return mem.copy_in(dst, bytes.data(), len) && mem.copy_in(dst + len, &terminator, 1);
}

// A string argument as writable bytes (without its terminator).
std::optional<std::span<char>> mutable_text(TrapCall& call, int i) {
    auto s = text(call, i);
    if (!s) return std::nullopt;
    return std::span<char>(reinterpret_cast<char*>(call.pointer(i, 1)), s->size());
}

// --- mem* ---

uint32_t builtin_memmove(TrapCall& call) {
    int32_t n = call.integer(2);
    if (n <= 0) return 1;
    uint8_t* dst = call.pointer(0, uint32_t(n));
    const uint8_t* src = call.pointer(1, uint32_t(n));
    if (!dst || !src) return 0;
    std::memmove(dst, src, size_t(n));
    return 1;
}

// Overlapping ranges copy as memmove does: games rely on it.
uint32_t builtin_memcpy(TrapCall& call) {
    return builtin_memmove(call);
}

uint32_t builtin_memset(TrapCall& call) {
    int32_t n = call.integer(2);
    if (n <= 0) return 1;
    uint8_t* dst = call.pointer(0, uint32_t(n));
    if (!dst) return 0;
    std::memset(dst, uint8_t(call.word(1)), size_t(n));
    return 1;
}

uint32_t builtin_memcmp(TrapCall& call) {
    int32_t n = call.integer(2);
    if (n <= 0) return 0;
    const uint8_t* a = call.pointer(0, uint32_t(n));
    const uint8_t* b = call.pointer(1, uint32_t(n));
    if (!a || !b) return 0;
    int d = std::memcmp(a, b, size_t(n));
    return uint32_t(d < 0 ? -1 : d > 0 ? 1 : 0);
}

uint32_t builtin_memswap(TrapCall& call) {
    int32_t n = call.integer(2);
    if (n <= 0) return 1;
    uint8_t* a = call.pointer(0, uint32_t(n));
    uint8_t* b = call.pointer(1, uint32_t(n));
    if (!a || !b) return 0;
    // Byte by byte from the start, so overlapping ranges give a defined result.
    for (int32_t i = 0; i < n; ++i) std::swap(a[i], b[i]);
    return 1;
}

// --- copies and appends (shared by the mbs and str families) ---

uint32_t copy_string(TrapCall& call) {
    auto src = text(call, 1);
    if (!src || !store_string(call, 0, *src)) return 0;
    return call.word(0);
}

uint32_t append_string(TrapCall& call) {
    auto dst = text(call, 0);
    auto src = text(call, 1);
    if (!dst || !src) return 0;
    uint8_t* end =
        call.memory().host(call.word(0) + uint32_t(dst->size()), uint32_t(src->size()) + 1);
    if (!end) return 0;
    if (!src->empty()) std::memmove(end, src->data(), src->size());
    end[src->size()] = 0;
    return call.word(0);
}

uint32_t builtin_mbscpy(TrapCall& call) {
    return copy_string(call);
}
uint32_t builtin_strcpy(TrapCall& call) {
    return copy_string(call);
}
uint32_t builtin_mbscat(TrapCall& call) {
    return append_string(call);
}
uint32_t builtin_strcat(TrapCall& call) {
    return append_string(call);
}

// --- mbs* ---

uint32_t builtin_mbslen(TrapCall& call) {
    auto s = text(call, 0);
    return s ? uint32_t(mbs_length(*s)) : 0;
}

uint32_t compare(TrapCall& call, bool multibyte, bool ignore_case) {
    auto a = text(call, 0);
    auto b = text(call, 1);
    if (!a || !b) return 0;
    int r = multibyte ? mbs_compare(*a, *b, ignore_case) : byte_compare(*a, *b, ignore_case);
    return uint32_t(r);
}

uint32_t builtin_mbscmp(TrapCall& call) {
    return compare(call, true, false);
}
uint32_t builtin_mbscmpi(TrapCall& call) {
    return compare(call, true, true);
}

uint32_t change_case(TrapCall& call, bool multibyte, bool upper, bool return_string) {
    auto s = mutable_text(call, 0);
    if (!s) return 0;
    if (multibyte)
        mbs_change_case(*s, upper);
    else
        ascii_change_case(*s, upper);
    return return_string ? call.word(0) : 0;
}

uint32_t builtin_mbslwr(TrapCall& call) {
    return change_case(call, true, false, true);
}
uint32_t builtin_mbsupr(TrapCall& call) {
    return change_case(call, true, true, true);
}

uint32_t builtin_mbscut(TrapCall& call) {
    auto src = text(call, 1);
    if (!src) return 0;
    if (!store_string(call, 0, mbs_cut(*src, call.integer(2), call.integer(3)))) return 0;
    return call.word(0);
}

uint32_t builtin_mbschr(TrapCall& call) {
    auto s = text(call, 0);
    if (!s) return 0;
    auto at = mbs_find(*s, call.word(1));
    return at ? call.word(0) + uint32_t(*at) : 0;
}

// --- str* ---

uint32_t builtin_strlen(TrapCall& call) {
    auto s = text(call, 0);
    return s ? uint32_t(s->size()) : 0;
}

uint32_t builtin_strcmp(TrapCall& call) {
    return compare(call, false, false);
}
uint32_t builtin_strcmpi(TrapCall& call) {
    return compare(call, false, true);
}
uint32_t builtin_strlwr(TrapCall& call) {
    return change_case(call, false, false, false);
}
uint32_t builtin_strupr(TrapCall& call) {
    return change_case(call, false, true, false);
}

uint32_t builtin_strcut(TrapCall& call) {
    auto src = text(call, 1);
    if (!src) return 0;
    // A negative start counts from the beginning; a negative count copies nothing.
    size_t start = size_t(std::max(call.integer(2), 0));
    size_t count = size_t(std::max(call.integer(3), 0));
    std::string_view piece = start <= src->size() ? src->substr(start, count) : std::string_view();
    if (!store_string(call, 0, piece)) return 0;
    return call.word(0);
}

uint32_t builtin_strchr(TrapCall& call) {
    auto s = text(call, 0);
    if (!s) return 0;
    char c = char(call.word(1));
    if (c == 0) return call.word(0) + uint32_t(s->size());
    size_t at = s->find(c);
    return at == std::string_view::npos ? 0 : call.word(0) + uint32_t(at);
}

// --- conversions ---

uint32_t builtin_sprintf(TrapCall& call) {
    auto out = format_call(call, 1, kSprintfLimit);
    if (!out || !store_string(call, 0, *out)) return 0;
    // Characters up to the first terminator, as mbslen would count them.
    std::string_view shown(out->c_str());
    return uint32_t(mbs_length(shown));
}

uint32_t builtin_atoi(TrapCall& call) {
    auto s = text(call, 0);
    return s ? uint32_t(parse_decimal(*s)) : 0;
}

uint32_t builtin_ftoa(TrapCall& call) {
    char buf[64];
    int len = std::snprintf(buf, sizeof buf, "%f", double(call.real(1)));
    if (len < 0 || size_t(len) >= sizeof buf) return 0;
    return store_string(call, 0, std::string_view(buf, size_t(len))) ? 1 : 0;
}

constexpr TrapBinding kBindings[] = {
    {"memcpy", builtin_memcpy},
    {"memmove", builtin_memmove},
    {"memset", builtin_memset},
    {"memcmp", builtin_memcmp, TrapEffects::Pure},
    {"memswap", builtin_memswap},
    {"mbslen", builtin_mbslen, TrapEffects::Pure},
    {"mbscpy", builtin_mbscpy},
    {"mbscat", builtin_mbscat},
    {"mbscmp", builtin_mbscmp, TrapEffects::Pure},
    {"mbscmpi", builtin_mbscmpi, TrapEffects::Pure},
    {"mbslwr", builtin_mbslwr},
    {"mbsupr", builtin_mbsupr},
    {"mbscut", builtin_mbscut},
    {"mbschr", builtin_mbschr, TrapEffects::Pure},
    {"strlen", builtin_strlen, TrapEffects::Pure},
    {"strcpy", builtin_strcpy},
    {"strcat", builtin_strcat},
    {"strcmp", builtin_strcmp, TrapEffects::Pure},
    {"strcmpi", builtin_strcmpi, TrapEffects::Pure},
    {"strlwr", builtin_strlwr},
    {"strupr", builtin_strupr},
    {"strcut", builtin_strcut},
    {"strchr", builtin_strchr, TrapEffects::Pure},
    {"sprintf", builtin_sprintf},
    {"atoi", builtin_atoi, TrapEffects::Pure},
    {"ftoa", builtin_ftoa},
};

}  // namespace

std::span<const TrapBinding> string_builtins() {
    return kBindings;
}

void init_strings() {}
void shutdown_strings() {}

}  // namespace tob
