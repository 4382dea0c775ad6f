// tobtool unpack ARCHIVE.bin DIR: writes every member under DIR. Names that
// would leave DIR (absolute, with a drive, or with "..") are refused before
// anything is written.
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "archive_open.h"
#include "commands.h"
#include "platform/cp932.h"
#include "platform/paths.h"
#include "tool_io.h"

namespace tobtool {
namespace fs = std::filesystem;

namespace {

// The member's path below the output folder, or nullopt if it must not be written.
std::optional<fs::path> safe_relative_path(std::string_view name) {
    if (name.empty() || tob::is_path_separator(name[0])) return std::nullopt;
    if (name.size() >= 2 && name[1] == ':') return std::nullopt;  // a drive
    fs::path rel;
    size_t start = 0;
    auto separators = tob::path_separator_positions(name);
    separators.push_back(name.size());
    for (size_t pos : separators) {
        std::string part = tob::cp932_to_utf8(name.substr(start, pos - start));
        if (part.empty() || part == "." || part == "..") return std::nullopt;
        rel /= part;
        start = pos + 1;
    }
    return rel;
}

}  // namespace

int unpack(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: tobtool unpack ARCHIVE.bin DIR\n", stderr);
        return kUsage;
    }
    auto archive = open_archive("unpack", argv[1]);
    if (!archive) return kFailed;
    const auto& dir = archive->directory;
    fs::path out = argv[2];

    std::vector<fs::path> targets;
    for (size_t i = 0; i < dir.count(); ++i) {
        auto rel = safe_relative_path(dir.member(i).name);
        if (!rel) {
            print_error("unpack", "refusing the unsafe member name \"" +
                                      tob::cp932_to_utf8(dir.member(i).name) + "\"");
            return kFailed;
        }
        targets.push_back(out / *rel);
    }
    std::vector<uint8_t> data;
    for (size_t i = 0; i < dir.count(); ++i) {
        auto m = dir.member(i);
        std::error_code ec;
        fs::create_directories(targets[i].parent_path(), ec);
        data.resize(m.size);
        if (!archive->file.read_exact_at(m.offset, data.data(), data.size())) {
            print_error("unpack",
                        "cannot read " + tob::cp932_to_utf8(m.name) + " from the archive");
            return kFailed;
        }
        if (!write_whole_file(targets[i], data)) {
            print_error("unpack", "cannot write " + targets[i].string());
            return kFailed;
        }
    }
    std::printf("unpacked %zu files into %s\n", dir.count(), out.c_str());
    return kOk;
}

}  // namespace tobtool
