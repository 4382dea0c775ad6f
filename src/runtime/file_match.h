// Wildcard lookups on the plain file system for `file_check`: "*" matches any
// run of characters and "?" one character (a double-byte character is one),
// letters match ignoring case, and a pattern ending in ".*" also matches names
// without a dot, so "*.*" matches every name.
#pragma once

#include <filesystem>
#include <string_view>

namespace tob {

// True when the CP932 `name` matches the CP932 `pattern`.
bool wildcard_match(std::string_view pattern, std::string_view name);

// True when at least one file or directory matches the script path, whose last
// component may hold wildcards ("." and ".." are entries of every directory).
// Relative paths start at `base`. Archives are not searched.
bool any_file_matches(std::string_view cp932_path, const std::filesystem::path& base);

}  // namespace tob
