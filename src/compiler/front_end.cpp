// Wiring of the front end and the abort mechanism of a compilation.
#include "compiler/front_end.h"

#include <new>

#include "compiler/char_class.h"

namespace tob::compiler {

SplitPath split_source_path(std::string_view path) {
    // The last separator outside double-byte characters (a trail byte may
    // equal "\").
    size_t cut = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        uint8_t c = uint8_t(path[i]);
        if (is_lead_byte(c) && i + 1 < path.size())
            ++i;
        else if (c == '\\' || c == '/')
            cut = i + 1;
    }
    return {path.substr(0, cut), path.substr(cut)};
}

FrontEnd::FrontEnd(const FrontEndOptions& options)
    : diag(options.collect_messages),
      listing(options.listing, options.echo_source),
      heap(diag),
      symbols(diag, heap),
      pp(diag, heap, symbols, listing, options.reader),
      lexer(diag, pp, symbols, heap),
      source_path_(options.source_path) {
    diag.attach(&pp);
    pp.attach(lexer);
}

void FrontEnd::open_main() {
    SplitPath split = split_source_path(source_path_);
    pp.start(split.directory, split.name);
}

FrontEnd::Outcome FrontEnd::run(const std::function<void()>& body) {
    try {
        body();
        return Outcome::Completed;
    } catch (const SourceEnded&) {
        return Outcome::SourceEnded;
    } catch (const CompileAbort&) {
        return Outcome::Failed;
    } catch (const std::bad_alloc&) {
        // Out of host memory: reported like the compiler's own allocation failure.
        try {
            diag.fail(Msg::NoMemory);
        } catch (const CompileAbort&) {
        }
        return Outcome::Failed;
    }
}

}  // namespace tob::compiler
