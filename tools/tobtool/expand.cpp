// tobtool expand IN OUT: expands a compressed file.
#include <cstdio>

#include "commands.h"
#include "storage/lzw.h"
#include "tool_io.h"

namespace tobtool {

int expand(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: tobtool expand IN OUT\n", stderr);
        return kUsage;
    }
    auto in = read_whole_file(argv[1]);
    if (!in) {
        print_error("expand", std::string("cannot read ") + argv[1]);
        return kFailed;
    }
    auto result = tob::lzw_expand(*in);
    if (result.error != tob::LzwError::kNone) {
        print_error("expand", std::string(argv[1]) + ": " + tob::describe(result.error));
        return kFailed;
    }
    if (!write_whole_file(argv[2], result.data)) {
        print_error("expand", std::string("cannot write ") + argv[2]);
        return kFailed;
    }
    return kOk;
}

}  // namespace tobtool
