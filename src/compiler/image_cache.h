// The steps of a compile that keeps its image or places a kept one (the
// compile entry's own business; see ImageCache in compiler.h).
#pragma once

#include <optional>
#include <vector>

#include "compiler/compiler.h"
#include "compiler/preprocessor.h"
#include "compiler/program_image.h"

namespace tob::compiler {

// What a measuring compile records besides its result.
struct Recording {
    ProgramImage image;
    std::vector<Preprocessor::KeptSource> sources;
};

// One compilation; with `recording` (measuring only) its image and sources are kept there.
CompileResult compile_once(const CompileOptions& options, Recording* recording);

// A measuring compile that leaves its image in `options.reuse`.
CompileResult measure_and_keep(const CompileOptions& options);
// The compile into memory from the kept image, when it may be used.
std::optional<CompileResult> place_kept(const CompileOptions& options);

}  // namespace tob::compiler
