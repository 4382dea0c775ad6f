#include "media/fluidsynth_library.h"

#include <dlfcn.h>

#include <mutex>

namespace tob::media::fs {
namespace {

struct Loaded {
    Functions functions;
    bool ok = false;
    std::string why;
};

Loaded& loaded() {
    static Loaded l;
    return l;
}

void load_once() {
    Loaded& l = loaded();
    // Never closed: the synthesiser's own threads and tables live as long as
    // the process. TOB_FLUIDSYNTH_SONAME comes from the build.
    void* library = ::dlopen(TOB_FLUIDSYNTH_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* e = ::dlerror();
        l.why = e ? e : TOB_FLUIDSYNTH_SONAME;
        return;
    }
    Functions f;
#define TOB_FLUIDSYNTH_LOOKUP(name)                                       \
    f.name = reinterpret_cast<decltype(f.name)>(::dlsym(library, #name)); \
    if (!f.name) {                                                        \
        l.why = "FluidSynth has no " #name;                               \
        return;                                                           \
    }
    TOB_FLUIDSYNTH_FUNCTIONS(TOB_FLUIDSYNTH_LOOKUP)
#undef TOB_FLUIDSYNTH_LOOKUP
    l.functions = f;
    l.ok = true;
}

}  // namespace

bool load(std::string& why) {
    static std::once_flag once;
    std::call_once(once, load_once);
    if (!loaded().ok) why = loaded().why;
    return loaded().ok;
}

const Functions& functions() {
    return loaded().functions;
}

}  // namespace tob::media::fs
