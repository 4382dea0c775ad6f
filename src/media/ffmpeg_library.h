// FFmpeg's libraries, loaded when the first media file opens. Linked at build
// time they would bring well over a hundred shared libraries into every start
// of the engine (tripling the start-up of a small game) for a feature most
// games use once, if at all.
//
// Code calls `ff::name(...)` for each function listed below; the libraries
// must have been loaded (`ff::load`) before.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <string>
#include <utility>

// X(library, function) for every FFmpeg function the engine calls.
#define TOB_FFMPEG_FUNCTIONS(X)               \
    X(avutil, av_dict_free)                   \
    X(avutil, av_dict_set_int)                \
    X(avutil, av_frame_alloc)                 \
    X(avutil, av_frame_clone)                 \
    X(avutil, av_frame_free)                  \
    X(avutil, av_free)                        \
    X(avutil, av_freep)                       \
    X(avutil, av_log_set_level)               \
    X(avutil, av_malloc)                      \
    X(avutil, av_strdup)                      \
    X(avcodec, av_codec_is_decoder)           \
    X(avcodec, av_codec_iterate)              \
    X(avcodec, av_packet_alloc)               \
    X(avcodec, av_packet_free)                \
    X(avcodec, av_packet_unref)               \
    X(avcodec, avcodec_alloc_context3)        \
    X(avcodec, avcodec_flush_buffers)         \
    X(avcodec, avcodec_free_context)          \
    X(avcodec, avcodec_open2)                 \
    X(avcodec, avcodec_parameters_to_context) \
    X(avcodec, avcodec_receive_frame)         \
    X(avcodec, avcodec_send_packet)           \
    X(avformat, av_find_best_stream)          \
    X(avformat, av_read_frame)                \
    X(avformat, av_seek_frame)                \
    X(avformat, avformat_alloc_context)       \
    X(avformat, avformat_close_input)         \
    X(avformat, avformat_find_stream_info)    \
    X(avformat, avformat_open_input)          \
    X(avformat, avformat_seek_file)           \
    X(avformat, avio_alloc_context)           \
    X(avformat, avio_context_free)            \
    X(swresample, swr_alloc_set_opts2)        \
    X(swresample, swr_convert)                \
    X(swresample, swr_free)                   \
    X(swresample, swr_get_out_samples)        \
    X(swresample, swr_init)                   \
    X(swscale, sws_freeContext)               \
    X(swscale, sws_getCachedContext)          \
    X(swscale, sws_scale)

namespace tob::media::ff {

struct Functions {
#define TOB_FFMPEG_POINTER(library, name) decltype(&::name) name = nullptr;
    TOB_FFMPEG_FUNCTIONS(TOB_FFMPEG_POINTER)
#undef TOB_FFMPEG_POINTER
};

// Loads the five libraries (the major versions the engine was built against)
// once per process; true when every function was found. Otherwise `why` says
// what is missing, and it stays so: a later call answers the same.
bool load(std::string& why);

// The functions; valid only after `load` returned true.
const Functions& functions();

#define TOB_FFMPEG_CALL(library, name)                        \
    template <typename... Args>                               \
    inline decltype(auto) name(Args&&... args) {              \
        return functions().name(std::forward<Args>(args)...); \
    }
TOB_FFMPEG_FUNCTIONS(TOB_FFMPEG_CALL)
#undef TOB_FFMPEG_CALL

}  // namespace tob::media::ff
