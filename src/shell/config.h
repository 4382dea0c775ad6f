// Reading the configuration file (`<executable base name>.cfg`, section
// `General`) into the process-wide settings.
#pragma once

#include <filesystem>
#include <string>

#include "base/settings.h"

namespace tob {

// Fills `out` from the configuration file at `path` (a missing file gives every
// default). `exe_base` is the executable's base name, which names the default
// main script "<base>\<base>.c". Always succeeds; absurd sizes fall back to
// their defaults with a level-2 report.
void read_configuration(const std::filesystem::path& path, const std::string& exe_base,
                        Settings& out);

}  // namespace tob
