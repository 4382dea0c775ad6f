#include "media/loaded_library.h"

#include <dlfcn.h>

namespace tob::media {

void* open_library(const char* soname, std::string& why) {
    void* h = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char* e = ::dlerror();
        why = e ? e : soname;
    }
    return h;
}

void* open_symbol(void* library, const char* name, std::string& why) {
    void* p = ::dlsym(library, name);
    if (!p) why = std::string("no function ") + name + " in the library";
    return p;
}

}  // namespace tob::media
