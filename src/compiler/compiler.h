// The script compiler's public face: compile one source file into a program
// area in script memory, or only measure and check it; optionally produce the
// assembly listing. Nothing here is shared between calls except what the
// caller passes in: the exported-function list and the image cache.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "compiler/exports.h"
#include "compiler/source_reader.h"
#include "vm/script_memory.h"

namespace tob::compiler {

struct CompileOptions;
struct CompileResult;

// Keeps what a measuring compile made, so that the compile into memory that
// follows it (a load with ProgramSize 0 measures first) places that image
// instead of compiling the same sources again. The image is taken only when
// nothing the output depends on has changed: the same path, shared areas,
// exported functions and message switch, and source files that read back
// byte for byte the same through the reader. One cache serves one reader;
// it keeps one measuring compile at a time and may be shared between threads.
class ImageCache {
  public:
    ImageCache();
    ~ImageCache();
    ImageCache(const ImageCache&) = delete;
    ImageCache& operator=(const ImageCache&) = delete;

    // Whether a measuring compile is kept.
    bool holds() const;
    // Forgets the kept compile.
    void drop();

    struct Kept;

  private:
    friend CompileResult measure_and_keep(const CompileOptions& options);
    friend std::optional<CompileResult> place_kept(const CompileOptions& options);

    std::unique_ptr<Kept> take();
    void keep(std::unique_ptr<Kept> kept);
    // A used one back, its memory to be recorded into again (loads follow
    // each other, and fresh memory is slow to touch); and taking it.
    void give_back(std::unique_ptr<Kept> used);
    std::unique_ptr<Kept> take_spare();

    mutable std::mutex mutex_;
    std::unique_ptr<Kept> kept_;
    std::unique_ptr<Kept> spare_;
};

struct CompileOptions {
    std::string source_path;  // CP932; "\" (or "/") separates the directory
    SourceReader reader;
    // The program area; a null `memory` (or base 0) measures only.
    ScriptMemory* memory = nullptr;
    ScriptAddr base = 0;
    uint32_t size = 0;
    // The shared area of `extern` variables.
    ScriptAddr external_base = 0;
    uint32_t external_size = 0;
    ExportedFunctions* exports = nullptr;
    bool collect_messages = false;  // error boxes enabled (`Error` > 0)
    bool report_messages = true;    // show collected messages at level 1 at the end
    bool listing = false;
    bool echo_source = false;
    // Measuring compiles keep their image here, compiles into memory look for
    // one (never while a listing is made).
    ImageCache* reuse = nullptr;
};

struct CompileResult {
    bool ok = false;
    uint32_t code_size = 0;
    uint32_t data_size = 0;
    uint32_t external_size = 0;
    std::string messages;  // UTF-8, as collected
    std::string listing;   // CP932 text with "\n" line ends
    // The kept image of the measuring compile was placed (see ImageCache).
    bool placed_image = false;
};

CompileResult compile(const CompileOptions& options);

// Name of the listing file of `source_path`: its base name with ".txt".
std::string listing_file_name(std::string_view source_path);

// What the program loader calls: compiles a source into [base, base + size)
// of script memory, or only measures it when base is 0, and gives code + data
// size on success. Messages are collected while error boxes are enabled. A
// measuring compile's image is kept for the compile into memory after it.
using ProgramCompileFunction = std::function<std::optional<uint32_t>(
    std::string_view cp932_path, ScriptAddr base, uint32_t size)>;

struct ProgramCompilerSetup {
    ScriptMemory* memory = nullptr;
    SourceReader reader;
    ExportedFunctions* exports = nullptr;
    // The shared area of `extern` variables as it is at compile time.
    std::function<ScriptAddr()> external_base;
    std::function<uint32_t()> external_size;
    // Whether messages are collected (error boxes are on); none without it.
    std::function<bool()> collect_messages;
};
ProgramCompileFunction make_program_compiler(ProgramCompilerSetup setup);

// A source file dropped on the main window: only names ending in ".c" (any
// case) are compiled, in measuring mode; with `listing` (Shift held) the
// listing goes to "<name>.txt" in the current directory, with `echo` (Ctrl
// held) it shows the source lines; `collect_messages` shows error boxes. True
// when the file compiled.
bool compile_dropped_file(std::string_view cp932_path, bool listing, bool echo,
                          bool collect_messages, const SourceReader& reader);

}  // namespace tob::compiler
