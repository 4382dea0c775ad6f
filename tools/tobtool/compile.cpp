// `tobtool compile [--listing] [--echo] SCRIPT.c`: checks a script as the engine
// compiles it (measuring only) and prints its messages; with --listing writes
// the assembly listing <name>.txt in the current directory, --echo adds the
// source lines to it.
#include <cstdio>
#include <cstring>
#include <fstream>

#include "commands.h"
#include "compiler/compiler.h"
#include "platform/cp932.h"

namespace {

// Where `extern` variables are placed in the listing: the configured default
// size of the shared area, at the lowest script address.
constexpr tob::ScriptAddr kExternalBase = tob::ScriptMemory::kLowGuard;
constexpr uint32_t kExternalSize = 1024u << 10;

}  // namespace

int command_compile(int argc, char** argv) {
    bool listing = false, echo = false;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--listing") == 0)
            listing = true;
        else if (std::strcmp(argv[i], "--echo") == 0)
            echo = true;
        else
            path = argv[i];
    }
    if (!path) {
        std::fputs("usage: tobtool compile [--listing] [--echo] SCRIPT.c\n", stderr);
        return 2;
    }
    tob::compiler::CompileOptions o;
    o.source_path = tob::utf8_to_cp932(path);
    o.reader = tob::compiler::file_source_reader();
    o.external_base = kExternalBase;
    o.external_size = kExternalSize;
    o.collect_messages = true;
    o.report_messages = false;
    o.listing = listing;
    o.echo_source = echo;
    tob::compiler::CompileResult r = tob::compiler::compile(o);
    std::fputs(r.messages.c_str(), stderr);
    if (listing) {
        std::string name = tob::cp932_to_utf8(tob::compiler::listing_file_name(o.source_path));
        std::ofstream out(name, std::ios::binary);
        out << r.listing;
        if (!out) std::fprintf(stderr, "tobtool: cannot write %s\n", name.c_str());
    }
    std::printf("%s: %s, %u bytes of code, %u bytes of data\n", path, r.ok ? "compiled" : "failed",
                r.code_size, r.data_size);
    return r.ok ? 0 : 1;
}
