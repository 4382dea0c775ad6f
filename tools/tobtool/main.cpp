// tobtool: command-line tools for game makers, one subcommand each.
#include <cstdio>
#include <cstring>

int command_header(int argc, char** argv);
int command_compile(int argc, char** argv);

namespace {

struct Command {
    const char* name;
    const char* usage;
    int (*run)(int argc, char** argv);  // argv[0] is the command name
};

constexpr Command kCommands[] = {
    {"header", "header               print the built-ins header scripts include", command_header},
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
        return 2;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) {
        usage(stdout);
        return 0;
    }
    for (const Command& c : kCommands)
        if (std::strcmp(argv[1], c.name) == 0) return c.run(argc - 1, argv + 1);
    std::fprintf(stderr, "tobtool: unknown command '%s'\n", argv[1]);
    usage(stderr);
    return 2;
}
