// Table loading and text conversion of the hook library, over its own copy of
// the CP932 tables (the library links nothing of the engine).
#include "hook/code_table.h"

#include <cstdio>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace morvane::hook {
namespace {

#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wunused-const-variable"
#endif
#include "platform/cp932_table.inc"
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

constexpr uint16_t kUnmapped = 0xFFFF;
constexpr uint8_t kTrailFirst = 0x40, kTrailLast = 0xFC;
constexpr size_t kTrailsPerLead = kTrailLast - kTrailFirst + 1;
constexpr size_t kLeadsInFirstRange = 0x9F - 0x81 + 1;
constexpr size_t kLogNameUnits = 512;

constexpr bool single_bytes_below_0x80_are_ascii() {
    for (uint16_t b = 0; b < 0x80; ++b)
        if (kCp932SingleByte[b] != b) return false;
    return true;
}
static_assert(single_bytes_below_0x80_are_ascii());

bool is_lead(uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// The CP932 character of a pair, or kUnmapped.
uint16_t cp932_pair(uint8_t lead, uint8_t trail) {
    if (trail < kTrailFirst || trail > kTrailLast) return kUnmapped;
    size_t row = lead < 0xE0 ? lead - 0x81u : kLeadsInFirstRange + (lead - 0xE0u);
    return kCp932DoubleByte[row * kTrailsPerLead + (trail - kTrailFirst)];
}

uint32_t load_le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool is_scalar_value(uint32_t c) {
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

std::string format(const char* fmt, const char* a, unsigned long n, const char* b = "") {
    int size = std::snprintf(nullptr, 0, fmt, a, n, b);
    std::string out(size_t(size > 0 ? size : 0), '\0');
    if (size > 0) std::snprintf(out.data(), out.size() + 1, fmt, a, n, b);
    return out;
}

}  // namespace

std::string table_open_failed_message(const std::string& path, unsigned long error) {
    return format("[table] 打不开 %s (err=%lu) -> 退回纯 CP932 直通\r\n%s", path.c_str(), error);
}

TableLoad load_table(TableSource& source, const std::string& path) {
    TableLoad out;
    uint8_t header[kTableHeaderBytes];
    if (source.read(0, header, sizeof header) != sizeof header) {
        out.message = "[table] 头部读取失败\r\n";
        return out;
    }
    if (load_le32(header) != kTableMagic || load_le32(header + 4) != kTableVersion) {
        out.message = "[table] magic/version 不匹配\r\n";
        return out;
    }
    auto table = std::unique_ptr<CodeTable>(new (std::nothrow) CodeTable);
    if (!table) {
        out.message = "[table] 表体读取失败\r\n";
        return out;
    }
    table->private_count = load_le32(header + 8);
    std::memcpy(table->face, header + kTableFaceOffset, kTableFaceBytes - 1);
    table->face[kTableFaceBytes - 1] = 0;
    if (source.size() != kTableFileBytes) {
        out.message = "[table] 文件大小不对\r\n";
        return out;
    }
    constexpr size_t kBodyBytes = kTableEntries * 4;
    std::unique_ptr<uint8_t[]> body(new (std::nothrow) uint8_t[kBodyBytes]);
    table->entries.reset(new (std::nothrow) uint32_t[kTableEntries]);
    if (!body || !table->entries ||
        source.read(kTableHeaderBytes, body.get(), kBodyBytes) != kBodyBytes) {
        out.message = "[table] 表体读取失败\r\n";
        return out;
    }
    for (size_t i = 0; i < kTableEntries; ++i) {
        uint32_t c = load_le32(body.get() + 4 * i);
        table->entries[i] = is_scalar_value(c) ? c : 0;
    }
    out.message = format("[table] 已加载 %s: %lu 个私有码位, 中文字体=%s\r\n", path.c_str(),
                         table->private_count, table->face);
    out.table = std::move(table);
    return out;
}

namespace {

// Every double-byte code's character (lead << 8 | trail), kUnmapped where
// CP932 has none, and which bytes lead a pair: one load each in the loop.
struct PairUnits {
    uint16_t unit[kTableEntries];
    bool lead[256];
    PairUnits() {
        for (size_t code = 0; code < kTableEntries; ++code) {
            auto l = uint8_t(code >> 8), t = uint8_t(code);
            unit[code] = is_lead(l) ? cp932_pair(l, t) : kUnmapped;
        }
        for (int b = 0; b < 256; ++b) lead[b] = is_lead(uint8_t(b));
    }
};

const PairUnits& pair_units() {
    static const PairUnits units;
    return units;
}

// Writes eight ASCII bytes as eight units; false (nothing written) when one
// of them is not ASCII.
inline bool ascii8(const uint8_t* s, char16_t* out) {
#if defined(__SSE2__)
    __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s));
    if (_mm_movemask_epi8(bytes) != 0) return false;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_unpacklo_epi8(bytes, _mm_setzero_si128()));
    return true;
#else
    uint64_t w;
    std::memcpy(&w, s, 8);
    if (w & 0x8080808080808080ull) return false;
    for (int k = 0; k < 8; ++k) out[k] = char16_t(s[k]);
    return true;
#endif
}

// One pass of the conversion. Unbounded when the caller knows the room
// suffices: no byte ever gives more than one unit (a pair gives at most two).
template <bool Bounded, bool WithTable>
ptrdiff_t convert(const uint8_t* __restrict s, size_t length, const uint32_t* __restrict entries,
                  char16_t* __restrict out, size_t capacity, bool& used_private) {
    const PairUnits& units = pair_units();
    size_t n = 0, i = 0;
    bool used = false;
    while (i < length) {
        uint8_t b = s[i];
        if (b < 0x80) {
            if ((!Bounded || capacity - n >= 8) && i + 8 <= length && ascii8(s + i, out + n)) {
                i += 8, n += 8;
                continue;
            }
            if (Bounded && n >= capacity) return -1;
            out[n++] = char16_t(b);  // CP932's single bytes below 0x80 are ASCII
            ++i;
            continue;
        }
        if (units.lead[b] && i + 1 < length) {
            size_t code = size_t(b) << 8 | s[i + 1];
            i += 2;
            uint32_t mapped = WithTable ? entries[code] : 0;
            if (mapped != 0) {
                used = true;
                if (mapped < 0x10000) {
                    if (Bounded && n >= capacity) return -1;
                    out[n++] = char16_t(mapped);
                } else {
                    if (Bounded && capacity - n < 2) return -1;
                    mapped -= 0x10000;
                    out[n++] = char16_t(0xD800 + (mapped >> 10));
                    out[n++] = char16_t(0xDC00 + (mapped & 0x3FF));
                }
                continue;
            }
            uint16_t u = units.unit[code];
            if (u == kUnmapped || (Bounded && n >= capacity)) return -1;
            out[n++] = char16_t(u);
            continue;
        }
        if (Bounded && n >= capacity) return -1;
        uint16_t u = kCp932SingleByte[b];
        out[n++] = char16_t(u == kUnmapped ? b : u);
        ++i;
    }
    if (used) used_private = true;
    return ptrdiff_t(n);
}

}  // namespace

ptrdiff_t convert_text(const char* text, size_t length, const CodeTable* table, char16_t* out,
                       size_t capacity, bool& used_private) {
    const auto* s = reinterpret_cast<const uint8_t*>(text);
    const uint32_t* entries = table ? table->entries.get() : nullptr;
    if (capacity >= length) {
        return entries ? convert<false, true>(s, length, entries, out, capacity, used_private)
                       : convert<false, false>(s, length, entries, out, capacity, used_private);
    }
    return entries ? convert<true, true>(s, length, entries, out, capacity, used_private)
                   : convert<true, false>(s, length, entries, out, capacity, used_private);
}

std::optional<std::string> cp932_to_utf8_for_log(const char* text, size_t length) {
    char16_t units[kLogNameUnits];
    bool used = false;
    ptrdiff_t n = convert_text(text, length, nullptr, units, kLogNameUnits, used);
    if (n < 0) return std::nullopt;
    std::string out;
    for (ptrdiff_t i = 0; i < n; ++i) {
        char32_t c = units[i];  // CP932 gives basic-plane characters only
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace morvane::hook
