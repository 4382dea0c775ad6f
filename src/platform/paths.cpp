// Script path translation: Shift-JIS aware splitting, CP932 -> UTF-8, and the
// case-insensitive lookup that stands in for the Windows file system's.
#include "platform/paths.h"

#include <optional>
#include <string>
#include <system_error>

#include "platform/cp932.h"

namespace tob {
namespace fs = std::filesystem;

namespace {

struct SplitPath {
    bool absolute = false;
    std::vector<std::string_view> components;  // CP932, never empty
};

bool is_ascii_letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

SplitPath split_script_path(std::string_view p) {
    SplitPath out;
    if (p.size() >= 2 && is_ascii_letter(p[0]) && p[1] == ':') {
        p.remove_prefix(2);  // drive letter: there is only one drive here
        out.absolute = !p.empty() && is_path_separator(p[0]);
    } else {
        out.absolute = !p.empty() && is_path_separator(p[0]);
    }
    size_t start = 0;
    for (size_t pos : path_separator_positions(p)) {
        if (pos > start) out.components.push_back(p.substr(start, pos - start));
        start = pos + 1;
    }
    if (start < p.size()) out.components.push_back(p.substr(start));
    return out;
}

// The case fold of one character, for the scripts the CP932 repertoire can name.
char32_t fold_case(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 0x20;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;     // Latin-1
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;  // Greek
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;                // Cyrillic
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;                // Cyrillic Ѐ-Џ
    if (c >= 0xFF21 && c <= 0xFF3A) return c + 0x20;              // full-width Latin
    return c;
}

// One folded unit of a name: a folded character or, where the name is not valid
// UTF-8, one CP932 character's raw bytes (tagged above the Unicode range).
char32_t next_folded_unit(std::string_view s, size_t& pos) {
    size_t at = pos;
    if (auto c = next_utf8_char(s, pos)) return fold_case(*c);
    pos = at + cp932_char_length(s, at);
    char32_t raw = uint8_t(s[at]);
    if (pos - at == 2) raw = raw << 8 | uint8_t(s[at + 1]);
    return 0x110000 + raw;
}

bool entry_exists(const fs::path& p) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(p, ec));
}

bool raw_names_equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    bool trail = false;  // the byte after a lead byte is never folded
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (!trail && is_ascii_letter(x) && is_ascii_letter(y)) {
            x = char(fold_case(char32_t(x)));
            y = char(fold_case(char32_t(y)));
        }
        if (x != y) return false;
        trail = !trail && is_sjis_lead(uint8_t(x));
    }
    return true;
}

// The entry of `dir` that names `utf8` or `cp932` ignoring case; the smallest
// such name when several do, so the choice does not depend on directory order.
std::optional<std::string> find_ignoring_case(const fs::path& dir, std::string_view utf8,
                                              std::string_view cp932) {
    std::error_code ec;
    fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec);
    std::optional<std::string> best;
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::string name = it->path().filename().native();
        if (host_names_equal_ignoring_case(name, utf8) ||
            raw_names_equal_ignoring_ascii_case(name, cp932)) {
            if (!best || name < *best) best = std::move(name);
        }
    }
    return best;
}

}  // namespace

std::vector<size_t> path_separator_positions(std::string_view p) {
    std::vector<size_t> out;
    for (size_t i = 0; i < p.size();) {
        if (is_path_separator(p[i])) out.push_back(i);
        i += cp932_char_length(p, i);
    }
    return out;
}

bool host_names_equal_ignoring_case(std::string_view a, std::string_view b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (next_folded_unit(a, i) != next_folded_unit(b, j)) return false;
    }
    return i == a.size() && j == b.size();
}

namespace {

// Joins `names` onto `root`: as written when that exists, else resolving each
// component ignoring case (`raw`, when given, holds each component's CP932
// bytes, matched too). The first component that matches nothing and all after
// it are kept as written.
fs::path resolve_components(fs::path root, const std::vector<std::string>& names,
                            const std::vector<std::string_view>* raw) {
    fs::path exact = root;
    for (const std::string& n : names) exact /= n;
    if (entry_exists(exact)) return exact;

    fs::path cur = std::move(root);
    for (size_t i = 0; i < names.size(); ++i) {
        fs::path candidate = cur / names[i];
        if (names[i] == "." || names[i] == ".." || entry_exists(candidate)) {
            cur = std::move(candidate);
            continue;
        }
        std::string_view raw_name = raw ? (*raw)[i] : std::string_view();
        if (auto found = find_ignoring_case(cur, names[i], raw_name)) {
            cur /= *found;
            continue;
        }
        for (; i < names.size(); ++i) cur /= names[i];
        break;
    }
    return cur;
}

}  // namespace

fs::path to_host_path(std::string_view cp932_path, const fs::path& base) {
    SplitPath split = split_script_path(cp932_path);
    std::vector<std::string> names;
    names.reserve(split.components.size());
    for (auto c : split.components) names.push_back(cp932_to_utf8(c));
    return resolve_components(split.absolute ? fs::path("/") : base, names, &split.components);
}

fs::path resolve_host_path(std::string_view utf8_path) {
    std::vector<std::string> names;
    size_t start = 0;
    for (size_t i = 0; i <= utf8_path.size(); ++i) {
        if (i < utf8_path.size() && utf8_path[i] != '/') continue;
        if (i > start) names.emplace_back(utf8_path.substr(start, i - start));
        start = i + 1;
    }
    bool absolute = !utf8_path.empty() && utf8_path[0] == '/';
    return resolve_components(absolute ? fs::path("/") : fs::path(), names, nullptr);
}

}  // namespace tob
