// Keeping a measuring compile's image and placing it in the program area of
// the compile into memory that follows, when every input is unchanged.
#include "compiler/image_cache.h"

#include <cstring>
#include <new>

#include "base/error_report.h"

namespace tob::compiler {

// Everything the output of a compile depends on, besides the program area.
struct ImageCache::Kept {
    std::string source_path;
    ScriptAddr external_base = 0;
    uint32_t external_size = 0;
    ExportedFunctions* exports = nullptr;
    uint64_t exports_generation = 0;
    bool collect_messages = false;
    Recording recording;
    CompileResult result;

    bool same_inputs(const CompileOptions& o) const {
        return o.source_path == source_path && o.external_base == external_base &&
               o.external_size == external_size && o.exports == exports &&
               o.collect_messages == collect_messages;
    }
};

ImageCache::ImageCache() = default;
ImageCache::~ImageCache() = default;

bool ImageCache::holds() const {
    std::lock_guard lock(mutex_);
    return kept_ != nullptr;
}

std::unique_ptr<ImageCache::Kept> ImageCache::take() {
    std::lock_guard lock(mutex_);
    return std::move(kept_);
}

void ImageCache::keep(std::unique_ptr<Kept> kept) {
    std::lock_guard lock(mutex_);
    kept_ = std::move(kept);
}

void ImageCache::drop() {
    give_back(take());
}

void ImageCache::give_back(std::unique_ptr<Kept> used) {
    if (!used) return;
    used->recording.image.clear();
    used->recording.sources.clear();
    used->result = {};
    std::lock_guard lock(mutex_);
    spare_ = std::move(used);
}

std::unique_ptr<ImageCache::Kept> ImageCache::take_spare() {
    std::unique_ptr<Kept> spare;
    {
        std::lock_guard lock(mutex_);
        spare = std::move(spare_);
    }
    return spare ? std::move(spare) : std::make_unique<Kept>();
}

CompileResult measure_and_keep(const CompileOptions& options) {
    options.reuse->drop();
    std::unique_ptr<ImageCache::Kept> kept;
    try {
        kept = options.reuse->take_spare();
        kept->source_path = options.source_path;
    } catch (const std::bad_alloc&) {
        return compile_once(options, nullptr);  // nothing is kept
    }
    kept->external_base = options.external_base;
    kept->external_size = options.external_size;
    kept->exports = options.exports;
    kept->exports_generation = options.exports ? options.exports->generation() : 0;
    kept->collect_messages = options.collect_messages;
    CompileResult result = compile_once(options, &kept->recording);
    // The exported functions the compile looked up must not have changed meanwhile.
    const bool exports_stable =
        !options.exports || options.exports->generation() == kept->exports_generation;
    bool keep = result.ok && kept->recording.image.usable() && exports_stable;
    if (keep) {
        try {
            kept->result = result;
        } catch (const std::bad_alloc&) {
            keep = false;
        }
    }
    if (keep)
        options.reuse->keep(std::move(kept));
    else
        options.reuse->give_back(std::move(kept));
    return result;
}

namespace {

// Whether every source file reads back as it was (the kept text has the
// newline the preprocessor appends).
bool sources_unchanged(const CompileOptions& options,
                       const std::vector<Preprocessor::KeptSource>& sources) {
    if (!options.reader) return false;
    for (const Preprocessor::KeptSource& s : sources) {
        SourceData d = options.reader(s.path);
        if (d.status != SourceStatus::Ok || d.bytes.size() + 1 != s.text.size() ||
            std::memcmp(d.bytes.data(), s.text.data(), d.bytes.size()) != 0)
            return false;
    }
    return true;
}

}  // namespace

namespace {

std::optional<CompileResult> place(const CompileOptions& options, ImageCache::Kept& kept) {
    if (options.listing || !kept.same_inputs(options)) return std::nullopt;
    const ProgramImage& image = kept.recording.image;
    if (uint64_t(image.code_size()) + image.data_size() > options.size) return std::nullopt;
    uint8_t* host = options.memory->host(options.base, options.size);
    if (!host || !sources_unchanged(options, kept.recording.sources)) return std::nullopt;
    std::vector<ExportedFunction> list = image.exports_at(options.base);
    // A name too long to export fails the compile: the full compile says so.
    for (const ExportedFunction& f : list)
        if (f.name.size() >= ExportedFunctions::kNameSize) return std::nullopt;
    // Nothing is entered unless all of them are, and only while the list is
    // as the measuring compile saw it. (A full compile that fails here leaves
    // the area as it had left it, so nothing is placed before.)
    if (options.exports && !options.exports->put_all(list, kept.exports_generation))
        return std::nullopt;
    // Placing cannot fail once the size is checked; should it, the full
    // compile enters the same functions again.
    if (!image.place(host, options.base, options.size)) return std::nullopt;
    CompileResult result = std::move(kept.result);
    result.placed_image = true;
    if (options.report_messages && !result.messages.empty()) report_error_text(1, result.messages);
    return result;
}

}  // namespace

std::optional<CompileResult> place_kept(const CompileOptions& options) {
    // One use only: whatever happens, the next load measures again.
    std::unique_ptr<ImageCache::Kept> kept = options.reuse->take();
    if (!kept) return std::nullopt;
    std::optional<CompileResult> result = place(options, *kept);
    options.reuse->give_back(std::move(kept));
    return result;
}

}  // namespace tob::compiler
