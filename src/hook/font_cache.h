// The substitute fonts of the hook: the device context's font with the table's
// face and the GB2312 character set, made once and kept in a 16-entry cache
// that evicts the least recently used. The caller holds the library's lock.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/winapi.h"

namespace morvane::hook {

inline constexpr uint8_t kGb2312Charset = 134;

// `current` with its face replaced by `face` (at most 31 bytes kept) and the
// character set by GB2312.
LOGFONTA substitute_logfont(const LOGFONTA& current, const char* face);

class FontCache {
  public:
    static constexpr size_t kEntries = 16;
    using CreateFont = HFONT (*)(const LOGFONTA*);
    using DeleteFont = BOOL (*)(HGDIOBJ);

    // The cached font made from `lf` (compared byte for byte), refreshed; else
    // a new one made with `create` in a free entry or in place of the least
    // recently used, whose font goes to `destroy`. Null when `create` fails.
    HFONT acquire(const LOGFONTA& lf, CreateFont create, DeleteFont destroy);

    // The fonts held, entry by entry (null for a free entry); for tests.
    HFONT font_at(size_t i) const { return entries_[i].font; }

  private:
    struct Entry {
        LOGFONTA logfont{};
        HFONT font = nullptr;
        uint64_t stamp = 0;
    };
    Entry entries_[kEntries];
    uint64_t counter_ = 0;
};

}  // namespace morvane::hook
