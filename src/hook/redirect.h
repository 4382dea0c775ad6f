// The hook's redirect of archive opens to translated copies ("data.bin" ->
// "data_cn.bin"), with a cache of up to 8 pairs, and the logging switch. The
// caller holds the library's lock around the cache.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morvane::hook {

// The longest host name taken into account (the platform's path limit less
// its terminating zero).
inline constexpr size_t kMaxHostName = PATH_MAX - 1;
inline constexpr size_t kRedirectPairs = 8;

bool equal_ignoring_ascii_case(std::string_view a, std::string_view b);
bool ends_with_ignoring_ascii_case(std::string_view s, std::string_view suffix);

// Only read-only opens of existing files are redirected.
bool redirect_applies(uint32_t access, uint32_t disposition);

// The name to open instead (empty: open as asked), held without touching the
// heap, since every archive open asks.
struct RedirectChoice {
    bool from_cache = false;
    bool found_now = false;  // a new redirect: the caller logs it
    size_t length = 0;
    char target[kMaxHostName + 1];
    std::string_view name() const { return {target, length}; }
    const char* c_str() const { return target; }
};

class RedirectCache {
  public:
    using Exists = bool (*)(const char* name);

    // What to open for `name`: the cached target, else "<name less .bin>_cn.bin"
    // when `name` ends in ".bin" but not "_cn.bin" and that file exists (then
    // cached while there is room).
    RedirectChoice choose(std::string_view name, Exists exists);
    // Drops the pair for `requested` (its target no longer opens).
    void forget(std::string_view requested);
    size_t size() const { return pairs_.size(); }

  private:
    struct Pair {
        std::string requested, target;
    };
    std::vector<Pair> pairs_;
};

// Whether MORVANE_HOOK_LOG's value turns logging on: it must begin with "1".
bool logging_switch_on(const char* value);

}  // namespace morvane::hook
