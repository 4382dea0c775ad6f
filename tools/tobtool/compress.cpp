// tobtool compress IN OUT: stores a file in the compressed format.
#include <cstdio>

#include "commands.h"
#include "platform/file.h"
#include "storage/lzw.h"
#include "tool_io.h"

namespace tobtool {

int compress(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: tobtool compress IN OUT\n", stderr);
        return kUsage;
    }
    auto in = read_whole_file(argv[1]);
    if (!in) {
        print_error("compress", std::string("cannot read ") + argv[1]);
        return kFailed;
    }
    if (in->size() > UINT32_MAX) {
        print_error("compress", "files of 4 GiB and more cannot be stored compressed");
        return kFailed;
    }
    auto out = tob::File::create(argv[2]);
    bool ok = out && tob::lzw_compress(*in, [&out](std::span<const uint8_t> block) {
                  return out->write(block.data(), block.size());
              });
    if (!ok || !out->close()) {
        print_error("compress", std::string("cannot write ") + argv[2]);
        return kFailed;
    }
    return kOk;
}

}  // namespace tobtool
