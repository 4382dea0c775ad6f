// tobtool pack DIR ARCHIVE.bin: packs every file under DIR into one archive;
// member names are the relative paths with "\" between directories, in CP932.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "commands.h"
#include "platform/cp932.h"
#include "storage/archive_format.h"
#include "storage/archive_writer.h"
#include "tool_io.h"

namespace tobtool {
namespace fs = std::filesystem;

namespace {

// The same archive for the same names: the seed is a hash of them.
uint32_t seed_for(const std::vector<tob::ArchiveInput>& members) {
    uint32_t h = 2166136261u;
    for (const auto& m : members) {
        for (char c : m.name) h = (h ^ uint8_t(c)) * 16777619u;
        h = (h ^ 0) * 16777619u;
    }
    return h;
}

}  // namespace

int pack(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: tobtool pack DIR ARCHIVE.bin\n", stderr);
        return kUsage;
    }
    fs::path dir = argv[1], out = argv[2];
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        print_error("pack", dir.string() + " is not a directory");
        return kFailed;
    }
    std::error_code out_ec;
    fs::path out_abs = fs::weakly_canonical(out, out_ec);
    std::vector<tob::ArchiveInput> members;
    fs::recursive_directory_iterator it(dir, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        if (!out_ec && fs::weakly_canonical(it->path(), ec) == out_abs)
            continue;  // the archive itself
        std::string rel = fs::relative(it->path(), dir, ec).generic_string();
        std::string name = tob::utf8_to_cp932(rel);
        if (tob::cp932_to_utf8(name) != rel) {
            print_error("pack", "the name " + rel + " cannot be written in CP932");
            return kFailed;
        }
        for (char& c : name) {
            if (c == '/') c = '\\';  // CP932 trail bytes are never '/'
        }
        members.push_back({std::move(name), it->path()});
    }
    if (ec) {
        print_error("pack", "cannot read " + dir.string() + ": " + ec.message());
        return kFailed;
    }
    std::sort(members.begin(), members.end(), [](const auto& a, const auto& b) {
        return tob::archive_name_compare(a.name, b.name) < 0;
    });
    size_t count = members.size();
    uint32_t seed = seed_for(members);
    auto result = tob::write_archive(out, std::move(members), seed);
    if (!result.ok) {
        print_error("pack", result.error);
        return kFailed;
    }
    std::printf("packed %zu files into %s\n", count, out.c_str());
    return kOk;
}

}  // namespace tobtool
