// tobtool list ARCHIVE.bin: prints each member's size, offset and name (UTF-8)
// in directory order.
#include <cinttypes>
#include <cstdio>

#include "archive_open.h"
#include "commands.h"
#include "platform/cp932.h"

namespace tobtool {

int list(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: tobtool list ARCHIVE.bin\n", stderr);
        return kUsage;
    }
    auto archive = open_archive("list", argv[1]);
    if (!archive) return kFailed;
    const auto& dir = archive->directory;
    std::printf("%10s %10s  %s\n", "size", "offset", "name");
    for (size_t i = 0; i < dir.count(); ++i) {
        auto m = dir.member(i);
        std::printf("%10" PRIu32 " %10" PRIu32 "  %s\n", m.size, m.offset,
                    tob::cp932_to_utf8(m.name).c_str());
    }
    std::printf("%zu members\n", dir.count());
    return kOk;
}

}  // namespace tobtool
