// The front end of one compilation: diagnostics, listing, name heap, symbol
// tables, preprocessor and lexer, wired together. Nothing in it is shared with
// other compilations, so compilations may run on several threads at once.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "compiler/diagnostics.h"
#include "compiler/lexer.h"
#include "compiler/listing.h"
#include "compiler/name_heap.h"
#include "compiler/preprocessor.h"
#include "compiler/source_reader.h"
#include "compiler/symbols.h"

namespace tob::compiler {

struct FrontEndOptions {
    std::string source_path;  // CP932; "\" (or "/") separates the directory
    SourceReader reader;
    bool collect_messages = true;  // error boxes enabled
    bool listing = false;
    bool echo_source = false;
};

// The directory part of a source path (up to and including its last
// separator, or empty) and the file name behind it.
struct SplitPath {
    std::string_view directory;
    std::string_view name;
};
SplitPath split_source_path(std::string_view path);

class FrontEnd {
  public:
    explicit FrontEnd(const FrontEndOptions& options);
    FrontEnd(const FrontEnd&) = delete;
    FrontEnd& operator=(const FrontEnd&) = delete;

    // Opens the main file and reads its first character; call inside `run`.
    void open_main();

    enum class Outcome { Completed, SourceEnded, Failed };
    // Runs `body` under the abort mechanism: a numbered error ends it with
    // Failed, the end of the source where the parser allows it with SourceEnded.
    Outcome run(const std::function<void()>& body);

    Diagnostics diag;
    Listing listing;
    NameHeap heap;
    SymbolTable symbols;
    Preprocessor pp;
    Lexer lexer;

  private:
    std::string source_path_;
};

}  // namespace tob::compiler
