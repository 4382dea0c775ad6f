// Table loading and text conversion of the hook library, over its own copy of
// the CP932 tables (the library links nothing of the engine).
#include "hook/code_table.h"

#include <cstdio>
#include <cstring>
#include <new>

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

ptrdiff_t convert_text(const char* text, size_t length, const CodeTable* table, char16_t* out,
                       size_t capacity, bool& used_private) {
    const auto* s = reinterpret_cast<const uint8_t*>(text);
    const uint32_t* entries = table ? table->entries.get() : nullptr;
    size_t n = 0;
    for (size_t i = 0; i < length; ++i) {
        uint8_t b = s[i];
        if (is_lead(b) && i + 1 < length) {
            uint8_t trail = s[++i];
            uint32_t mapped = entries ? entries[size_t(b) << 8 | trail] : 0;
            if (mapped != 0) {
                used_private = true;
                if (mapped < 0x10000) {
                    if (n >= capacity) return -1;
                    out[n++] = char16_t(mapped);
                } else {
                    if (capacity - n < 2 || n >= capacity) return -1;
                    mapped -= 0x10000;
                    out[n++] = char16_t(0xD800 + (mapped >> 10));
                    out[n++] = char16_t(0xDC00 + (mapped & 0x3FF));
                }
                continue;
            }
            uint16_t u = cp932_pair(b, trail);
            if (u == kUnmapped || n >= capacity) return -1;
            out[n++] = char16_t(u);
            continue;
        }
        if (n >= capacity) return -1;
        uint16_t u = kCp932SingleByte[b];
        out[n++] = char16_t(u == kUnmapped ? b : u);
    }
    return ptrdiff_t(n);
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
