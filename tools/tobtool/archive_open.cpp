// Opening an archive for the tools.
#include "archive_open.h"

#include "tool_io.h"

namespace tobtool {

std::optional<OpenArchive> open_archive(const char* command, const std::filesystem::path& path) {
    auto file = tob::File::open_read(path);
    auto size = file ? file->size() : std::nullopt;
    if (!size) {
        print_error(command, "cannot open " + path.string());
        return std::nullopt;
    }
    auto parsed = tob::ArchiveDirectory::parse(
        [&file](uint64_t offset, void* dst, size_t n) {
            return file->read_exact_at(offset, dst, n);
        },
        *size);
    if (!parsed.directory) {
        print_error(command, path.string() + ": " + tob::describe(parsed.error));
        return std::nullopt;
    }
    return OpenArchive{std::move(*file), std::move(*parsed.directory)};
}

}  // namespace tobtool
