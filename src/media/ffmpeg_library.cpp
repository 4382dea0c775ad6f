#include "media/ffmpeg_library.h"

#include <dlfcn.h>

#include <mutex>

namespace tob::media::ff {
namespace {

#define TOB_SONAME(library, major) "lib" #library ".so." AV_STRINGIFY(major)

struct Loaded {
    Functions functions;
    bool ok = false;
    std::string why;
};

Loaded& loaded() {
    static Loaded l;
    return l;
}

void* open_library(const char* soname, std::string& why) {
    // Never closed: FFmpeg keeps state (its codec tables) for the process.
    void* h = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char* e = ::dlerror();
        why = e ? e : soname;
    }
    return h;
}

void load_once() {
    Loaded& l = loaded();
    void* avutil = open_library(TOB_SONAME(avutil, LIBAVUTIL_VERSION_MAJOR), l.why);
    void* avcodec =
        avutil ? open_library(TOB_SONAME(avcodec, LIBAVCODEC_VERSION_MAJOR), l.why) : nullptr;
    void* avformat =
        avcodec ? open_library(TOB_SONAME(avformat, LIBAVFORMAT_VERSION_MAJOR), l.why) : nullptr;
    void* swresample =
        avformat ? open_library(TOB_SONAME(swresample, LIBSWRESAMPLE_VERSION_MAJOR), l.why)
                 : nullptr;
    void* swscale =
        swresample ? open_library(TOB_SONAME(swscale, LIBSWSCALE_VERSION_MAJOR), l.why) : nullptr;
    if (!swscale) return;
    Functions f;
#define TOB_FFMPEG_LOOKUP(library, name)                                  \
    f.name = reinterpret_cast<decltype(f.name)>(::dlsym(library, #name)); \
    if (!f.name) {                                                        \
        l.why = "FFmpeg has no " #name;                                   \
        return;                                                           \
    }
    TOB_FFMPEG_FUNCTIONS(TOB_FFMPEG_LOOKUP)
#undef TOB_FFMPEG_LOOKUP
    // Damaged files are skipped through quietly: FFmpeg's own log would fill
    // standard error with every concealed block.
    f.av_log_set_level(AV_LOG_FATAL);
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

}  // namespace tob::media::ff
