// Reading an archive's directory for the list and unpack commands.
#pragma once

#include <filesystem>
#include <optional>

#include "platform/file.h"
#include "storage/archive_directory.h"

namespace tobtool {

struct OpenArchive {
    tob::File file;
    tob::ArchiveDirectory directory;
};

// Opens and checks an archive; prints the reason and returns nullopt on failure.
std::optional<OpenArchive> open_archive(const char* command, const std::filesystem::path& path);

}  // namespace tobtool
