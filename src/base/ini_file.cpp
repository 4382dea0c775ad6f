#include "base/ini_file.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/cp932.h"

namespace tob {
namespace {

std::string_view trim(std::string_view s) {
    size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t' || s[a] == '\r' || s[a] == '\n')) ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r' || s[b - 1] == '\n'))
        --b;
    return s.substr(a, b - a);
}

}  // namespace

IniFile IniFile::parse(std::string_view text) {
    IniFile ini;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view raw = text.substr(pos, end - pos);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        pos = end + 1;

        Line line;
        line.raw = std::string(raw);
        std::string_view t = trim(raw);
        if (!t.empty() && t.front() == '[') {
            size_t close = t.find(']');
            line.kind = Line::Section;
            line.section = std::string(trim(
                t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
        } else if (!t.empty() && t.front() != ';') {
            size_t eq = t.find('=');
            if (eq != std::string_view::npos) {
                line.kind = Line::Key;
                line.key = std::string(trim(t.substr(0, eq)));
                line.value = std::string(trim(t.substr(eq + 1)));
            }
        }
        ini.lines_.push_back(std::move(line));
    }
    return ini;
}

IniFile IniFile::load(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::ostringstream ss;
    ss << in.rdbuf();
    return parse(ss.str());
}

long IniFile::find_section(std::string_view section) const {
    for (size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].kind == Line::Section &&
            cp932_equal_ignoring_case(lines_[i].section, section))
            return long(i);
    return -1;
}

long IniFile::find_key(long section_line, std::string_view key) const {
    for (size_t i = size_t(section_line) + 1; i < lines_.size(); ++i) {
        if (lines_[i].kind == Line::Section) break;
        if (lines_[i].kind == Line::Key && cp932_equal_ignoring_case(lines_[i].key, key))
            return long(i);
    }
    return -1;
}

std::optional<std::string> IniFile::get(std::string_view section, std::string_view key) const {
    long s = find_section(section);
    if (s < 0) return std::nullopt;
    long k = find_key(s, key);
    if (k < 0) return std::nullopt;
    return lines_[size_t(k)].value;
}

std::string IniFile::get_string(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
    auto v = get(section, key);
    if (!v) return std::string(fallback);
    std::string s = *v;
    if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front())
        s = s.substr(1, s.size() - 2);
    return s;
}

int32_t IniFile::get_int(std::string_view section, std::string_view key, int32_t fallback) const {
    auto v = get(section, key);
    if (!v || v->empty()) return fallback;
    const std::string& s = *v;
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
    int64_t n = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        n = n * 10 + (s[i] - '0');
        if (n > int64_t(INT32_MAX) + 1) n = int64_t(INT32_MAX) + 1;  // clamp, never overflow
    }
    if (negative) n = -n;
    if (n > INT32_MAX) n = INT32_MAX;
    return int32_t(n);
}

void IniFile::set(std::string_view section, std::string_view key, std::string_view value) {
    Line line;
    line.kind = Line::Key;
    line.key = std::string(key);
    line.value = std::string(trim(value));
    line.raw = line.key + "=" + std::string(value);
    long s = find_section(section);
    if (s < 0) {
        Line header;
        header.kind = Line::Section;
        header.section = std::string(section);
        header.raw = "[" + header.section + "]";
        lines_.push_back(std::move(header));
        lines_.push_back(std::move(line));
        return;
    }
    long k = find_key(s, key);
    if (k >= 0) {
        line.key = lines_[size_t(k)].key;  // keep the stored spelling of the name
        line.raw = line.key + "=" + std::string(value);
        lines_[size_t(k)] = std::move(line);
        return;
    }
    // Insert after the section's last key (before trailing blank lines).
    size_t at = size_t(s) + 1;
    for (size_t i = at; i < lines_.size() && lines_[i].kind != Line::Section; ++i)
        if (lines_[i].kind == Line::Key || !trim(lines_[i].raw).empty()) at = i + 1;
    lines_.insert(lines_.begin() + long(at), std::move(line));
}

bool IniFile::remove(std::string_view section, std::string_view key) {
    long s = find_section(section);
    if (s < 0) return false;
    long k = find_key(s, key);
    if (k < 0) return false;
    lines_.erase(lines_.begin() + k);
    return true;
}

bool IniFile::remove_section(std::string_view section) {
    long s = find_section(section);
    if (s < 0) return false;
    size_t end = size_t(s) + 1;
    while (end < lines_.size() && lines_[end].kind != Line::Section) ++end;
    lines_.erase(lines_.begin() + s, lines_.begin() + long(end));
    return true;
}

std::vector<std::string> IniFile::sections() const {
    std::vector<std::string> names;
    for (size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].kind == Line::Section && find_section(lines_[i].section) == long(i))
            names.push_back(lines_[i].section);
    return names;
}

std::vector<std::string> IniFile::keys(std::string_view section) const {
    std::vector<std::string> names;
    long s = find_section(section);
    if (s < 0) return names;
    for (size_t i = size_t(s) + 1; i < lines_.size() && lines_[i].kind != Line::Section; ++i)
        if (lines_[i].kind == Line::Key && find_key(s, lines_[i].key) == long(i))
            names.push_back(lines_[i].key);
    return names;
}

std::string IniFile::text() const {
    std::string out;
    for (const Line& l : lines_) {
        out += l.raw;
        out += "\r\n";
    }
    return out;
}

bool IniFile::save(const std::filesystem::path& path) const {
    std::filesystem::path tmp = path;
    tmp += ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        std::string t = text();
        out.write(t.data(), std::streamsize(t.size()));
        out.flush();
        if (!out) {
            out.close();
            std::error_code ec;
            std::filesystem::remove(tmp, ec);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(tmp, path, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(tmp, ignored);
        return false;
    }
    return true;
}

}  // namespace tob
