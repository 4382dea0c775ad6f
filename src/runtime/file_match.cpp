// Wildcard matching over CP932 characters and the directory scan behind it.
#include "runtime/file_match.h"

#include <system_error>
#include <vector>

#include "platform/cp932.h"
#include "platform/paths.h"

namespace tob {
namespace {

constexpr uint32_t kAnyRun = '*';
constexpr uint32_t kAnyOne = '?';

// The characters of a CP932 text as values, single-byte letters folded.
std::vector<uint32_t> characters(std::string_view s) {
    std::vector<uint32_t> out;
    for (size_t pos = 0; pos < s.size();) {
        size_t len = cp932_char_length(s, pos);
        uint32_t c = uint8_t(s[pos]);
        if (len == 2) c = c << 8 | uint8_t(s[pos + 1]);
        if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
        out.push_back(c);
        pos += len;
    }
    return out;
}

// Classic wildcard matching with one backtrack point (the last "*").
bool match(const std::vector<uint32_t>& p, const std::vector<uint32_t>& n) {
    size_t i = 0, j = 0, star = SIZE_MAX, resume = 0;
    while (j < n.size()) {
        if (i < p.size() && (p[i] == kAnyOne || (p[i] != kAnyRun && p[i] == n[j]))) {
            ++i, ++j;
        } else if (i < p.size() && p[i] == kAnyRun) {
            star = i++;
            resume = j;
        } else if (star != SIZE_MAX) {
            i = star + 1;
            j = ++resume;
        } else {
            return false;
        }
    }
    while (i < p.size() && p[i] == kAnyRun) ++i;
    return i == p.size();
}

bool has_wildcard(std::string_view s) {
    return s.find_first_of("*?") != std::string_view::npos;
}

}  // namespace

bool wildcard_match(std::string_view pattern, std::string_view name) {
    if (match(characters(pattern), characters(name))) return true;
    if (pattern.ends_with(".*") && name.find('.') == std::string_view::npos)
        return match(characters(pattern.substr(0, pattern.size() - 2)), characters(name));
    return false;
}

bool any_file_matches(std::string_view path, const std::filesystem::path& base) {
    std::error_code ec;
    std::vector<size_t> seps = path_separator_positions(path);
    size_t cut = seps.empty() ? 0 : seps.back() + 1;
    std::string_view pattern = path.substr(cut);
    if (pattern.empty()) return false;
    if (!has_wildcard(pattern)) return std::filesystem::exists(to_host_path(path, base), ec);

    std::string_view dir = path.substr(0, cut);
    std::filesystem::path host_dir = dir.empty() ? base : to_host_path(dir, base);
    if (host_dir.empty()) host_dir = ".";
    if (!std::filesystem::is_directory(host_dir, ec)) return false;
    if (wildcard_match(pattern, ".") || wildcard_match(pattern, "..")) return true;
    for (std::filesystem::directory_iterator it(host_dir, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (wildcard_match(pattern, utf8_to_cp932(it->path().filename().string()))) return true;
    }
    return false;
}

}  // namespace tob
