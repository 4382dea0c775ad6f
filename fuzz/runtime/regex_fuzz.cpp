// Fuzzes the regex compiler and matcher: the input splits at its first zero
// byte into pattern and subject. Both ignore-case values are searched; the
// work, sizes and result pairs must stay within their bounds, and short inputs
// must agree with the plain recursive walk and between the two matchers.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "runtime/regex.h"
#include "runtime/regex_reference.h"

namespace {

void require(bool ok) {
    if (!ok) std::abort();
}

bool same(const std::optional<tob::regex::Match>& a, const std::optional<tob::regex::Match>& b) {
    if (a.has_value() != b.has_value()) return false;
    if (!a) return true;
    return a->start == b->start && a->end == b->end && a->groups == b->groups;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tob::regex;
    const char* text = reinterpret_cast<const char*>(data);
    const void* nul = std::memchr(data, 0, size);
    size_t split = nul ? size_t(static_cast<const uint8_t*>(nul) - data) : size;
    std::string_view pattern(text, split);
    std::string_view subject = nul ? std::string_view(text + split + 1, size - split - 1) : "";
    auto a = compile(pattern);
    if (!a) return 0;
    require(a->state_count() <= kMaxStates && a->transitions.size() <= kMaxTransitions);
    std::string_view s = subject.substr(0, std::min(subject.size(), subject.find('\0')));
    for (bool icase : {false, true}) {
        MatchStats stats;
        auto m = search(*a, subject, icase, &stats);
        if (stats.exhausted) continue;
        require(stats.steps <= uint64_t(a->transitions.size()) * (s.size() + 1));
        require(stats.pairs <= uint64_t(a->state_count()) * (s.size() + 1));
        if (m) {
            require(m->start <= m->end && m->end <= s.size() && m->groups.size() == a->groups);
            for (auto& g : m->groups)
                require(!g || (g->first <= g->second && g->second <= s.size()));
        }
        if (pattern.size() <= 64 && s.size() <= 64) {
            require(same(m, search(*a, subject, icase, nullptr, Strategy::Simulate)));
            auto ref = reference::search(*a, subject, icase, 20000);
            if (ref.finished) require(same(m, ref.match));
        }
    }
    return 0;
}
