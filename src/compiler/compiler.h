// The script compiler's public face: compile one source file into a program
// area in script memory, or only measure and check it; optionally produce the
// assembly listing. Nothing here is shared between calls except the
// exported-function list the caller passes in.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "compiler/exports.h"
#include "compiler/source_reader.h"
#include "vm/script_memory.h"

namespace tob::compiler {

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
};

struct CompileResult {
    bool ok = false;
    uint32_t code_size = 0;
    uint32_t data_size = 0;
    uint32_t external_size = 0;
    std::string messages;  // UTF-8, as collected
    std::string listing;   // CP932 text with "\n" line ends
};

CompileResult compile(const CompileOptions& options);

// Name of the listing file of `source_path`: its base name with ".txt".
std::string listing_file_name(std::string_view source_path);

// What the program loader calls: compiles a source into [base, base + size)
// of script memory, or only measures it when base is 0, and gives code + data
// size on success. Messages are collected while error boxes are enabled.
using ProgramCompileFunction = std::function<std::optional<uint32_t>(
    std::string_view cp932_path, ScriptAddr base, uint32_t size)>;

struct ProgramCompilerSetup {
    ScriptMemory* memory = nullptr;
    SourceReader reader;
    ExportedFunctions* exports = nullptr;
    // The shared area of `extern` variables as it is at compile time.
    std::function<ScriptAddr()> external_base;
    std::function<uint32_t()> external_size;
};
ProgramCompileFunction make_program_compiler(ProgramCompilerSetup setup);

// A source file dropped on the main window: only names ending in ".c" (any
// case) are compiled, in measuring mode; with `listing` (Shift held) the
// listing goes to "<name>.txt" in the current directory, with `echo` (Ctrl
// held) it shows the source lines. True when the file compiled.
bool compile_dropped_file(std::string_view cp932_path, bool listing, bool echo,
                          const SourceReader& reader);

}  // namespace tob::compiler
