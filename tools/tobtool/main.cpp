// tobtool: command-line tools for game makers, one subcommand each. The table
// below is the list of commands; each lives in a file of its own.
#include <cstdio>
#include <cstring>

#include "commands.h"

int command_header(int argc, char** argv);

namespace {

struct Command {
    const char* name;
    const char* usage;
    int (*run)(int argc, char** argv);
};

constexpr Command kCommands[] = {
    {"pack", "pack DIR ARCHIVE.bin      pack a folder into an archive", tobtool::pack},
    {"unpack", "unpack ARCHIVE.bin DIR    write an archive's members into a folder",
     tobtool::unpack},
    {"list", "list ARCHIVE.bin          list an archive's members", tobtool::list},
    {"compress", "compress IN OUT           store a file compressed", tobtool::compress},
    {"expand", "expand IN OUT             expand a compressed file", tobtool::expand},
    {"header", "header                    print the built-ins header scripts include",
     command_header},
};

void print_usage(FILE* to) {
    std::fputs("usage: tobtool COMMAND [ARGS]\n\ncommands:\n", to);
    for (const auto& c : kCommands) std::fprintf(to, "  %s\n", c.usage);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        print_usage(stderr);
        return tobtool::kUsage;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) {
        print_usage(stdout);
        return tobtool::kOk;
    }
    for (const auto& c : kCommands) {
        if (std::strcmp(argv[1], c.name) == 0) return c.run(argc - 2, argv + 2);
    }
    std::fprintf(stderr, "tobtool: unknown command '%s' (tobtool --help lists them)\n", argv[1]);
    return tobtool::kUsage;
}
