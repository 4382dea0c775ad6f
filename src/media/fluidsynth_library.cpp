#include "media/fluidsynth_library.h"

#include "media/loaded_library.h"

namespace tob::media::fs {
namespace {

bool fill(Functions& f, std::string& why) {
    // TOB_FLUIDSYNTH_SONAME comes from the build.
    void* library = open_library(TOB_FLUIDSYNTH_SONAME, why);
    if (!library) return false;
#define TOB_FLUIDSYNTH_LOOKUP(name) \
    if (!find_function(library, #name, f.name, why)) return false;
    TOB_FLUIDSYNTH_FUNCTIONS(TOB_FLUIDSYNTH_LOOKUP)
#undef TOB_FLUIDSYNTH_LOOKUP
    return true;
}

LoadedLibrary<Functions> fluidsynth(fill);

}  // namespace

bool load(std::string& why) {
    return fluidsynth.load(why);
}

const Functions& functions() {
    return fluidsynth.functions();
}

}  // namespace tob::media::fs
