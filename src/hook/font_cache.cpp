// The hook's substitute-font cache.
#include "hook/font_cache.h"

#include <cstring>

namespace morvane::hook {

LOGFONTA substitute_logfont(const LOGFONTA& current, const char* face) {
    LOGFONTA lf = current;
    std::memset(lf.lfFaceName, 0, sizeof lf.lfFaceName);
    std::memcpy(lf.lfFaceName, face, strnlen(face, sizeof lf.lfFaceName - 1));
    lf.lfCharSet = kGb2312Charset;
    return lf;
}

HFONT FontCache::acquire(const LOGFONTA& lf, CreateFont create, DeleteFont destroy) {
    for (Entry& e : entries_)
        if (e.font && std::memcmp(&e.logfont, &lf, sizeof lf) == 0) {
            e.stamp = ++counter_;
            return e.font;
        }
    Entry* slot = nullptr;
    for (Entry& e : entries_)
        if (!e.font) {
            slot = &e;
            break;
        }
    if (!slot) {
        slot = &entries_[0];
        for (Entry& e : entries_)
            if (e.stamp < slot->stamp) slot = &e;
        // A context still drawing with it keeps it until it lets go.
        destroy(slot->font);
        slot->font = nullptr;
    }
    slot->logfont = lf;
    slot->font = create(&lf);
    slot->stamp = ++counter_;
    return slot->font;
}

}  // namespace morvane::hook
