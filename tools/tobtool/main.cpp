// tobtool: command-line tools for game makers, one subcommand each. The table
// below is the list of commands; each lives in a file of its own.
#include <cstdio>
#include <cstring>

#include "commands.h"

int command_header(int argc, char** argv);
int command_compile(int argc, char** argv);

namespace {

struct Command {
    const char* name;
    const char* usage;
    int (*run)(int argc, char** argv);  // argv[0] is the command name
};

constexpr Command kCommands[] = {
    {"header", "header                    print the built-ins header scripts include",
     command_header},
    {"pack", "pack DIR ARCHIVE.bin      pack a folder into an archive", tobtool::pack},
    {"unpack", "unpack ARCHIVE.bin DIR    write an archive's members into a folder",
     tobtool::unpack},
    {"list", "list ARCHIVE.bin          list an archive's members", tobtool::list},
    {"compress", "compress IN OUT           store a file compressed", tobtool::compress},
    {"expand", "expand IN OUT             expand a compressed file", tobtool::expand},
    {"compile", "compile [--listing] [--echo] SCRIPT.c  check a script, write its listing",
     command_compile},
};

void usage(FILE* out) {
    std::fputs("usage: tobtool COMMAND [ARGS]\ncommands:\n", out);
    for (const Command& c : kCommands) std::fprintf(out, "  %s\n", c.usage);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        usage(stderr);
        return tobtool::kUsage;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        usage(stdout);
        return tobtool::kOk;
    }
    for (const Command& c : kCommands) {
        if (std::strcmp(argv[1], c.name) == 0) return c.run(argc - 1, argv + 1);
    }
    std::fprintf(stderr, "tobtool: unknown command '%s'\n", argv[1]);
    usage(stderr);
    return tobtool::kUsage;
}
