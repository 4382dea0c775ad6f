// The hook's redirect decisions and logging switch.
#include "hook/redirect.h"

#include "platform/winapi.h"

namespace morvane::hook {
namespace {

constexpr std::string_view kArchiveSuffix = ".bin";
constexpr std::string_view kTranslatedSuffix = "_cn.bin";

char fold(char c) {
    return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
}

}  // namespace

bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (fold(a[i]) != fold(b[i])) return false;
    return true;
}

bool ends_with_ignoring_ascii_case(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() &&
           equal_ignoring_ascii_case(s.substr(s.size() - suffix.size()), suffix);
}

bool redirect_applies(uint32_t access, uint32_t disposition) {
    return disposition == TOB_OPEN_EXISTING && !(access & TOB_GENERIC_WRITE);
}

RedirectChoice RedirectCache::choose(std::string_view name, Exists exists) {
    RedirectChoice out;
    for (const Pair& p : pairs_)
        if (equal_ignoring_ascii_case(p.requested, name)) {
            out.target = p.target;
            out.from_cache = true;
            return out;
        }
    if (name.size() <= kArchiveSuffix.size() || name.size() > kMaxHostName ||
        !ends_with_ignoring_ascii_case(name, kArchiveSuffix) ||
        ends_with_ignoring_ascii_case(name, kTranslatedSuffix))
        return out;
    std::string candidate(name.substr(0, name.size() - kArchiveSuffix.size()));
    candidate += kTranslatedSuffix;
    if (!exists(candidate.c_str())) return out;
    if (pairs_.size() < kRedirectPairs) pairs_.push_back({std::string(name), candidate});
    out.target = std::move(candidate);
    out.found_now = true;
    return out;
}

void RedirectCache::forget(std::string_view requested) {
    for (auto it = pairs_.begin(); it != pairs_.end(); ++it)
        if (equal_ignoring_ascii_case(it->requested, requested)) {
            pairs_.erase(it);
            return;
        }
}

bool logging_switch_on(const char* value) {
    return value && value[0] == '1';
}

}  // namespace morvane::hook
