// Writing a whole file so that a failure never leaves it half-written: the
// bytes go to a temporary file beside it, which replaces the file only once
// everything has been written and flushed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace tob {

// Replaces (or creates) `path` with `data`. False when anything fails; the file
// at `path` is then exactly as it was before.
bool write_whole_file(const std::filesystem::path& path, std::span<const uint8_t> data);

}  // namespace tob
