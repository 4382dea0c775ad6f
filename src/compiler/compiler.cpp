// The compile entry: sets up one compilation, runs the driver under the abort
// mechanism and reports the collected messages.
#include "compiler/compiler.h"

#include <fstream>
#include <memory>

#include "base/error_report.h"
#include "compiler/codegen.h"
#include "compiler/front_end.h"
#include "compiler/image_cache.h"
#include "compiler/parser.h"
#include "platform/cp932.h"

namespace tob::compiler {
namespace {

// Everything one compilation owns, allocated together.
struct Compilation {
    FrontEnd fe;
    TypeTable types;
    NodePool nodes;
    CodeGen cg;
    Parser parser;

    Compilation(const FrontEndOptions& fo, OutputArea out, const ParserSetup& setup,
                ProgramImage* image)
        : fe(fo),
          types(fe.diag),
          nodes(fe.diag),
          cg(fe.diag, fe.listing, types, nodes, out, image),
          parser(fe, types, nodes, cg, setup) {}
};

}  // namespace

std::string listing_file_name(std::string_view source_path) {
    std::string_view name = split_source_path(source_path).name;
    size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) name = name.substr(0, dot);
    return std::string(name) + ".txt";
}

CompileResult compile(const CompileOptions& options) {
    if (options.reuse) {
        if (options.memory && options.base != 0) {
            if (std::optional<CompileResult> r = place_kept(options)) return std::move(*r);
        } else if (!options.listing) {
            return measure_and_keep(options);
        } else {
            options.reuse->drop();
        }
    }
    return compile_once(options, nullptr);
}

CompileResult compile_once(const CompileOptions& options, Recording* recording) {
    FrontEndOptions fo;
    fo.source_path = options.source_path;
    fo.reader = options.reader;
    fo.collect_messages = options.collect_messages;
    fo.listing = options.listing;
    fo.echo_source = options.echo_source;

    OutputArea out;
    if (options.memory && options.base != 0) {
        out.host = options.memory->host(options.base, options.size);
        out.base = options.base;
        out.size = options.size;
    }
    ParserSetup setup;
    setup.external_base = options.external_base;
    setup.external_size = options.external_size;
    setup.exports = options.exports;

    CompileResult result;
    const bool record = recording && !out.host;
    auto c = std::make_unique<Compilation>(fo, out, setup, record ? &recording->image : nullptr);
    c->fe.pp.keep_sources(record);
    if (options.memory && options.base != 0 && !out.host) {
        // The area is not inside script memory: nothing can be written.
        c->fe.run([&] { c->fe.diag.fail(Msg::NoMemory); });
    } else {
        FrontEnd::Outcome o = c->fe.run([&] {
            c->parser.start(split_source_path(options.source_path).name);
            c->parser.parse_program();
        });
        if (o == FrontEnd::Outcome::SourceEnded) c->fe.run([&] { result.ok = c->parser.finish(); });
    }
    if (record) {
        if (result.ok && !c->fe.pp.kept_sources_lost())
            c->cg.close_image();
        else
            recording->image.give_up();
        recording->sources = c->fe.pp.take_kept_sources();
    }
    result.code_size = c->cg.code_size();
    result.data_size = c->cg.data_size();
    result.external_size = c->parser.external_used();
    result.messages = c->fe.diag.text();
    result.listing = c->fe.listing.text();
    if (options.report_messages && !result.messages.empty()) report_error_text(1, result.messages);
    return result;
}

ProgramCompileFunction make_program_compiler(ProgramCompilerSetup setup) {
    auto cache = std::make_shared<ImageCache>();
    return [setup, cache](std::string_view path, ScriptAddr base,
                          uint32_t size) -> std::optional<uint32_t> {
        CompileOptions o;
        o.source_path = std::string(path);
        o.reader = setup.reader;
        o.memory = setup.memory;
        o.base = base;
        o.size = size;
        o.external_base = setup.external_base ? setup.external_base() : 0;
        o.external_size = setup.external_size ? setup.external_size() : 0;
        o.exports = setup.exports;
        o.collect_messages = setup.collect_messages && setup.collect_messages();
        o.reuse = cache.get();
        CompileResult r = compile(o);
        if (!r.ok) return std::nullopt;
        return r.code_size + r.data_size;
    };
}

bool compile_dropped_file(std::string_view cp932_path, bool listing, bool echo,
                          bool collect_messages, const SourceReader& reader) {
    std::string_view name = split_source_path(cp932_path).name;
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || !names_equal_ignoring_case(name.substr(dot), ".c"))
        return false;
    CompileOptions o;
    o.source_path = std::string(cp932_path);
    o.reader = reader;
    o.collect_messages = collect_messages;
    o.listing = listing;
    o.echo_source = listing && echo;
    CompileResult r = compile(o);
    if (listing) {
        // A listing that cannot be written is skipped without a word.
        std::ofstream out(tob::cp932_to_utf8(listing_file_name(cp932_path)), std::ios::binary);
        if (out) out << r.listing;
    }
    return r.ok;
}

}  // namespace tob::compiler
