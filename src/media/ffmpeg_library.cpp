#include "media/ffmpeg_library.h"

#include "media/loaded_library.h"

namespace tob::media::ff {
namespace {

#define TOB_SONAME(library, major) "lib" #library ".so." AV_STRINGIFY(major)

bool fill(Functions& f, std::string& why) {
    // The major versions the engine was built against, each after those it
    // needs.
    void* avutil = open_library(TOB_SONAME(avutil, LIBAVUTIL_VERSION_MAJOR), why);
    if (!avutil) return false;
    void* avcodec = open_library(TOB_SONAME(avcodec, LIBAVCODEC_VERSION_MAJOR), why);
    if (!avcodec) return false;
    void* avformat = open_library(TOB_SONAME(avformat, LIBAVFORMAT_VERSION_MAJOR), why);
    if (!avformat) return false;
    void* swresample = open_library(TOB_SONAME(swresample, LIBSWRESAMPLE_VERSION_MAJOR), why);
    if (!swresample) return false;
    void* swscale = open_library(TOB_SONAME(swscale, LIBSWSCALE_VERSION_MAJOR), why);
    if (!swscale) return false;
#define TOB_FFMPEG_LOOKUP(library, name) \
    if (!find_function(library, #name, f.name, why)) return false;
    TOB_FFMPEG_FUNCTIONS(TOB_FFMPEG_LOOKUP)
#undef TOB_FFMPEG_LOOKUP
    // Damaged files are skipped through quietly: FFmpeg's own log would fill
    // standard error with every concealed block.
    f.av_log_set_level(AV_LOG_FATAL);
    return true;
}

LoadedLibrary<Functions> ffmpeg(fill);

}  // namespace

bool load(std::string& why) {
    return ffmpeg.load(why);
}

const Functions& functions() {
    return ffmpeg.functions();
}

}  // namespace tob::media::ff
