// `tobtool header`: prints the built-ins declarations header that scripts include.
#include <cstdio>

#include "vm/trap.h"

int command_header(int, char**) {
    std::string h = tob::builtins_header();
    std::fwrite(h.data(), 1, h.size(), stdout);
    return 0;
}
