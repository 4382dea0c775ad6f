// Settings files with the semantics of the platform's private-profile files:
// names compared ignoring case, blanks around names and values trimmed, the
// first of duplicate sections or keys wins, integers read as decimal.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tob {

class IniFile {
  public:
    IniFile() = default;
    // Parses text; never fails (unreadable lines are kept but ignored).
    static IniFile parse(std::string_view text);
    // Loads a file; a missing or unreadable file gives an empty IniFile.
    static IniFile load(const std::filesystem::path& path);

    // The value of `key` in `section`, or nullopt when either is missing.
    std::optional<std::string> get(std::string_view section, std::string_view key) const;
    // Like the private-profile string reader: `fallback` when missing; values
    // in matching quotes lose them.
    std::string get_string(std::string_view section, std::string_view key,
                           std::string_view fallback) const;
    // Like the private-profile integer reader: `fallback` when missing or
    // empty; otherwise the leading decimal number (0 when there is none).
    int32_t get_int(std::string_view section, std::string_view key, int32_t fallback) const;

    // Sets a value, adding the section or key at its end when missing.
    void set(std::string_view section, std::string_view key, std::string_view value);
    // Removes a key; false when it was not there.
    bool remove(std::string_view section, std::string_view key);
    // Removes a section with its keys (the first of that name); false when missing.
    bool remove_section(std::string_view section);

    // The names of the sections, first of duplicates only, in file order.
    std::vector<std::string> sections() const;
    // The names of a section's keys, first of duplicates only, in file order.
    std::vector<std::string> keys(std::string_view section) const;

    std::string text() const;
    // Writes the file through a temporary file renamed into place.
    bool save(const std::filesystem::path& path) const;

  private:
    struct Line {
        std::string raw;      // the text as read (or as built)
        std::string section;  // for section headers: the trimmed name
        std::string key;      // for key lines: the trimmed name
        std::string value;    // for key lines: the trimmed value
        enum Kind { Other, Section, Key } kind = Other;
    };
    // Index of the header of the first section named `section`, or -1.
    long find_section(std::string_view section) const;
    long find_key(long section_line, std::string_view key) const;

    std::vector<Line> lines_;
};

}  // namespace tob
