// Feeds arbitrary bytes as a script source through the whole compiler: a
// measuring compile and, when that succeeds, the real compile into a program
// area of script memory, once placing the measuring compile's kept image and
// once compiling in full; the two areas must agree byte for byte. Every
// include name reads the same bytes again.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "compiler/compiler.h"

using namespace tob;
using namespace tob::compiler;

namespace {

constexpr uint32_t kExternalSize = 4096;
// Programs larger than this are not written (the measuring compile still runs).
constexpr uint32_t kMaxProgram = 8u << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ScriptMemory memory(uint64_t(64) << 20);
    static ScriptAddr external = memory.allocate(kExternalSize);
    static ExportedFunctions exports;

    std::string source(reinterpret_cast<const char*>(data), size);
    CompileOptions o;
    o.source_path = "fuzz\\main.c";
    o.reader = [&source](std::string_view) { return SourceData{SourceStatus::Ok, source}; };
    o.external_base = external;
    o.external_size = kExternalSize;
    o.exports = &exports;
    o.collect_messages = true;
    o.report_messages = false;
    o.listing = true;
    o.echo_source = true;
    CompileResult measured = compile(o);
    if (!measured.ok) return 0;
    // The image is kept only without a listing.
    ImageCache cache;
    o.reuse = &cache;
    o.listing = false;
    if (!compile(o).ok) __builtin_trap();
    const uint32_t program = measured.code_size + measured.data_size;
    if (program > kMaxProgram) return 0;
    o.memory = &memory;
    o.size = program;
    o.base = memory.allocate(program + 4, BlockKind::Program);
    if (o.base == 0) return 0;
    CompileResult placed = compile(o);
    std::vector<uint8_t> bytes(memory.host(o.base, program),
                               memory.host(o.base, program) + program);
    std::memset(memory.host(o.base, program), 0, program);
    o.reuse = nullptr;
    o.listing = true;
    CompileResult real = compile(o);
    if (real.ok && (real.code_size != measured.code_size || real.data_size != measured.data_size))
        __builtin_trap();  // the two compiles must agree
    if (placed.ok != real.ok || placed.messages != real.messages ||
        std::memcmp(bytes.data(), memory.host(o.base, program), program) != 0)
        __builtin_trap();  // the placed image must be what the compile writes
    memory.free(o.base);
    return 0;
}
