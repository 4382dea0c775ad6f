// tobtool: command-line tools for game makers, one subcommand each.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
        std::puts("usage: tobtool COMMAND [ARGS]");
        return argc < 2 ? 2 : 0;
    }
    std::fprintf(stderr, "tobtool: unknown command '%s'\n", argv[1]);
    return 2;
}
