// The hook's redirect decisions and logging switch.
#include "hook/redirect.h"

#include <algorithm>
#include <cstring>

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

namespace {

void set_target(RedirectChoice& out, std::string_view target) {
    out.length = target.size();
    std::memcpy(out.target, target.data(), target.size());
    out.target[target.size()] = 0;
}

}  // namespace

RedirectChoice RedirectCache::choose(std::string_view name, Exists exists) {
    RedirectChoice out;
    out.target[0] = 0;
    for (const Pair& p : pairs_)
        if (equal_ignoring_ascii_case(p.requested, name)) {
            set_target(out, p.target);
            out.from_cache = true;
            return out;
        }
    std::string_view stem =
        name.substr(0, name.size() - std::min(name.size(), kArchiveSuffix.size()));
    if (name.size() <= kArchiveSuffix.size() ||
        stem.size() + kTranslatedSuffix.size() > kMaxHostName ||
        !ends_with_ignoring_ascii_case(name, kArchiveSuffix) ||
        ends_with_ignoring_ascii_case(name, kTranslatedSuffix))
        return out;
    std::string candidate(stem);
    candidate += kTranslatedSuffix;
    if (!exists(candidate.c_str())) return out;
    if (pairs_.size() < kRedirectPairs) pairs_.push_back({std::string(name), candidate});
    set_target(out, candidate);
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
