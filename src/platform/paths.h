// Script paths -> host paths. Scripts name files as the Windows engine did: CP932
// bytes, "\" (or "/") between components, relative to the game's folder, on a
// file system that ignores case. Every file access of the engine goes through here.
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

namespace tob {

// True for the bytes that separate path components in script paths.
inline bool is_path_separator(char c) {
    return c == '\\' || c == '/';
}

// Positions of the separators in a CP932 path, left to right. The trail byte of
// a double-byte character (0x5C in 表 or ソ) is never a separator.
std::vector<size_t> path_separator_positions(std::string_view cp932_path);

// Case-insensitive equality of two host (UTF-8) file names, folding what the
// Windows file system folds within the CP932 repertoire: ASCII and Latin-1
// letters, full-width Latin, Greek and Cyrillic letters. Bytes that are not
// valid UTF-8 are taken as CP932 characters and compare exactly.
bool host_names_equal_ignoring_case(std::string_view a, std::string_view b);

// Translates a script path into a host path:
// - components are split at "\" and "/" (Shift-JIS aware), empty ones dropped,
//   and converted from CP932 to UTF-8;
// - a path starting with a separator, or with a drive ("C:\"), is absolute and
//   starts at the host's root: "C:\tmp\a.txt" and "\tmp\a.txt" both name
//   /tmp/a.txt. A drive without a separator ("C:a.txt") is dropped and the rest
//   is relative;
// - a relative path is resolved against `base` (the module directory); an
//   empty base means the current directory;
// - when the exact name does not exist, each component is looked up in its
//   directory ignoring case (host_names_equal_ignoring_case); a host entry whose
//   name is the component's raw CP932 bytes (archives unpacked without name
//   conversion) also matches. The first component that matches nothing and
//   everything after it are kept as written, so a path for a new file resolves
//   its existing directories and keeps the new name.
std::filesystem::path to_host_path(std::string_view cp932_path, const std::filesystem::path& base);

// The same lookup for a host path (UTF-8, "/" between components, relative to
// the current directory unless it starts with "/"): the path as written when it
// exists, else each component matched ignoring case.
std::filesystem::path resolve_host_path(std::string_view utf8_path);

}  // namespace tob
