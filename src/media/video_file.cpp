// Demuxing, decoding and conversion of one media file through FFmpeg.

#include "media/video_file.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "media/ffmpeg_library.h"
#include "storage/archive_reader.h"

namespace tob::media {
namespace {

constexpr int kIoBufferBytes = 64 * 1024;
// Failures in a row after which a decoder counts as broken.
constexpr int kMaxDecodeErrors = 64;
// Probing never reads more than this, whatever the file claims.
constexpr int64_t kDefaultProbeBytes = 5 * 1024 * 1024;

class MemorySource final : public ByteSource {
  public:
    explicit MemorySource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    int64_t read(uint8_t* buf, size_t count) override {
        size_t n = std::min(count, bytes_.size() - pos_);
        if (n == 0) return 0;
        std::memcpy(buf, bytes_.data() + pos_, n);
        pos_ += n;
        return int64_t(n);
    }
    int64_t seek(int64_t offset, int origin) override {
        int64_t base = origin == kSeekSet ? 0 : origin == kSeekCurrent ? int64_t(pos_) : size();
        if (offset > INT64_MAX / 2 || offset < -(INT64_MAX / 2)) return -1;
        int64_t to = base + offset;
        if (to < 0 || to > size()) return -1;
        pos_ = size_t(to);
        return to;
    }
    int64_t size() const override { return int64_t(bytes_.size()); }

  private:
    std::vector<uint8_t> bytes_;
    size_t pos_ = 0;
};

class ArchiveSource final : public ByteSource {
  public:
    explicit ArchiveSource(ArchiveReader reader) : reader_(std::move(reader)) {}
    int64_t read(uint8_t* buf, size_t count) override {
        size_t got = 0;
        if (!reader_.read(buf, count, &got)) return -1;
        return int64_t(got);
    }
    int64_t seek(int64_t offset, int origin) override { return reader_.seek(offset, origin); }
    int64_t size() const override { return reader_.size(); }

  private:
    ArchiveReader reader_;
};

int read_packet(void* opaque, uint8_t* buf, int size) {
    int64_t got = static_cast<ByteSource*>(opaque)->read(buf, size_t(std::max(size, 0)));
    if (got < 0) return AVERROR(EIO);
    if (got == 0) return AVERROR_EOF;
    return int(got);
}

int64_t seek_packet(void* opaque, int64_t offset, int whence) {
    auto* source = static_cast<ByteSource*>(opaque);
    if (whence & AVSEEK_SIZE) return source->size();
    int origin = kSeekSet;
    switch (whence & ~AVSEEK_FORCE) {
        case SEEK_SET:
            origin = kSeekSet;
            break;
        case SEEK_CUR:
            origin = kSeekCurrent;
            break;
        case SEEK_END:
            origin = kSeekEnd;
            break;
        default:
            return -1;
    }
    return source->seek(offset, origin);
}

double seconds(int64_t ts, AVRational base) {
    return double(ts) * av_q2d(base);
}

// Decoders that wrap outside libraries are never used, neither by us nor while
// the file is probed: they cover still-image and newer formats no game of this
// kind ships, and one of them (JPEG XL) crashes on malformed input.
const AVCodec* native_decoder(AVCodecID id) {
    void* it = nullptr;
    while (const AVCodec* c = ff::av_codec_iterate(&it))
        if (c->id == id && ff::av_codec_is_decoder(c) && !c->wrapper_name) return c;
    return nullptr;
}

const std::string& native_decoder_names() {
    static const std::string names = [] {
        std::string list;
        void* it = nullptr;
        while (const AVCodec* c = ff::av_codec_iterate(&it)) {
            if (!ff::av_codec_is_decoder(c) || c->wrapper_name) continue;
            if (!list.empty()) list += ',';
            list += c->name;
        }
        return list;
    }();
    return names;
}

AVCodecContext* open_decoder(const AVStream* stream, int threads) {
    const AVCodec* codec = native_decoder(stream->codecpar->codec_id);
    if (!codec) return nullptr;
    AVCodecContext* c = ff::avcodec_alloc_context3(codec);
    if (!c) return nullptr;
    if (ff::avcodec_parameters_to_context(c, stream->codecpar) < 0) {
        ff::avcodec_free_context(&c);
        return nullptr;
    }
    c->pkt_timebase = stream->time_base;
    c->thread_count = threads;
    c->max_pixels = int64_t(kMaxVideoSide) * kMaxVideoSide;
    if (ff::avcodec_open2(c, codec, nullptr) < 0) ff::avcodec_free_context(&c);
    return c;
}

uint64_t layout_mask(const AVChannelLayout& l) {
    return l.order == AV_CHANNEL_ORDER_NATIVE || l.order == AV_CHANNEL_ORDER_AMBISONIC ? l.u.mask
                                                                                       : 0;
}

bool size_ok(int w, int h) {
    return w > 0 && h > 0 && w <= kMaxVideoSide && h <= kMaxVideoSide;
}

}  // namespace

std::unique_ptr<ByteSource> memory_source(std::vector<uint8_t> bytes) {
    return std::make_unique<MemorySource>(std::move(bytes));
}

std::unique_ptr<ByteSource> file_source(std::string_view cp932_path,
                                        const std::filesystem::path& base) {
    auto reader = ArchiveReader::open(cp932_path, base);
    if (!reader) return nullptr;
    return std::make_unique<ArchiveSource>(std::move(*reader));
}

std::unique_ptr<VideoFile> VideoFile::open(std::unique_ptr<ByteSource> source,
                                           const VideoOpenOptions& options, std::string& why,
                                           OpenError* error) {
    if (!ff::load(why)) {
        if (error) *error = OpenError::NoLibrary;
        return nullptr;
    }
    OpenError e = OpenError::Unplayable;
    std::unique_ptr<VideoFile> f(new (std::nothrow) VideoFile);
    if (!f) e = OpenError::OutOfMemory;
    if (f) f->source_ = std::move(source);
    if (f && !f->source_) why = "the file cannot be opened";
    if (!f || !f->source_ || !f->open_streams(options, why, e)) {
        if (error) *error = e;
        return nullptr;
    }
    if (error) *error = OpenError::None;
    return f;
}

bool VideoFile::open_streams(const VideoOpenOptions& options, std::string& why, OpenError& error) {
    auto* buffer = static_cast<uint8_t*>(ff::av_malloc(kIoBufferBytes));
    if (!buffer) {
        why = "out of memory";
        error = OpenError::OutOfMemory;
        return false;
    }
    io_ = ff::avio_alloc_context(buffer, kIoBufferBytes, 0, source_.get(), read_packet, nullptr,
                                 seek_packet);
    if (!io_) {
        ff::av_free(buffer);
        why = "out of memory";
        error = OpenError::OutOfMemory;
        return false;
    }
    format_ = ff::avformat_alloc_context();
    if (!format_) {
        why = "out of memory";
        error = OpenError::OutOfMemory;
        return false;
    }
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    format_->probesize = options.probe_bytes > 0 ? options.probe_bytes : kDefaultProbeBytes;
    format_->format_probesize = int(std::min<int64_t>(format_->probesize, 1 << 20));
    format_->codec_whitelist = ff::av_strdup(native_decoder_names().c_str());
    if (!format_->codec_whitelist) {
        why = "out of memory";
        error = OpenError::OutOfMemory;
        return false;
    }
    format_->max_analyze_duration = 5 * AV_TIME_BASE;
    // On failure avformat_open_input frees the context it was given.
    if (ff::avformat_open_input(&format_, nullptr, nullptr, nullptr) < 0) {
        format_ = nullptr;
        why = "not a media file";
        return false;
    }
    {
        // Probing decodes a little too: with the same limit on picture size.
        std::vector<AVDictionary*> probe(format_->nb_streams, nullptr);
        for (AVDictionary*& d : probe)
            ff::av_dict_set_int(&d, "max_pixels", int64_t(kMaxVideoSide) * kMaxVideoSide, 0);
        int r = ff::avformat_find_stream_info(format_, probe.empty() ? nullptr : probe.data());
        for (AVDictionary*& d : probe) ff::av_dict_free(&d);
        if (r < 0) {
            why = "no stream information";
            return false;
        }
    }
    start_ = format_->start_time != AV_NOPTS_VALUE ? double(format_->start_time) / AV_TIME_BASE : 0;
    if (format_->duration > 0) duration_ = double(format_->duration) / AV_TIME_BASE;

    video_index_ = ff::av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video_index_ >= 0) {
        const AVStream* s = format_->streams[video_index_];
        // A picture without a size, or beyond the limit, fails the open
        // before a decoder allocates anything for it.
        if (!size_ok(s->codecpar->width, s->codecpar->height)) {
            why = "the picture has no size or is too large";
            return false;
        }
        width_ = s->codecpar->width;
        height_ = s->codecpar->height;
        video_ = open_decoder(s, options.threads);
        if (!video_) video_index_ = -1;
        AVRational rate = s->avg_frame_rate.num > 0 ? s->avg_frame_rate : s->r_frame_rate;
        if (rate.num > 0 && rate.den > 0 && av_q2d(rate) >= 1 && av_q2d(rate) <= 240)
            frame_duration_ = 1.0 / av_q2d(rate);
    }
    if (options.audio_rate > 0) {
        audio_index_ = ff::av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (audio_index_ >= 0) {
            audio_ = open_decoder(format_->streams[audio_index_], options.threads);
            if (audio_ && (audio_->sample_rate <= 0 || audio_->ch_layout.nb_channels <= 0))
                ff::avcodec_free_context(&audio_);
            if (!audio_) audio_index_ = -1;
        }
        audio_rate_ = options.audio_rate;
    }
    if (!video_ && !audio_) {
        why = "nothing to play";
        return false;
    }
    packet_ = ff::av_packet_alloc();
    picture_ = ff::av_frame_alloc();
    sound_frame_ = ff::av_frame_alloc();
    if (!packet_ || !picture_ || !sound_frame_) {
        why = "out of memory";
        error = OpenError::OutOfMemory;
        return false;
    }
    // Streams nobody plays are not even read.
    for (unsigned i = 0; i < format_->nb_streams; ++i)
        if (int(i) != video_index_ && int(i) != audio_index_)
            format_->streams[i]->discard = AVDISCARD_ALL;
    return true;
}

VideoFile::~VideoFile() {
    ff::swr_free(&resampler_);
    ff::av_frame_free(&picture_);
    ff::av_frame_free(&sound_frame_);
    ff::av_packet_free(&packet_);
    ff::avcodec_free_context(&video_);
    ff::avcodec_free_context(&audio_);
    if (format_) ff::avformat_close_input(&format_);
    if (io_) {
        ff::av_freep(&io_->buffer);
        ff::avio_context_free(&io_);
    }
}

bool VideoFile::receive_picture() {
    if (!video_ || video_drained_) return false;
    for (;;) {
        int r = ff::avcodec_receive_frame(video_, picture_);
        if (r == AVERROR(EAGAIN)) return false;
        if (r < 0) {
            // A broken picture is skipped; the end, or a decoder that keeps
            // failing, ends the stream.
            if (r == AVERROR_EOF || ++video_errors_ > kMaxDecodeErrors) video_drained_ = true;
            return false;
        }
        video_errors_ = 0;
        // A stream may change its size; what breaks the limit is skipped.
        if (!size_ok(picture_->width, picture_->height)) continue;
        int64_t ts = picture_->best_effort_timestamp;
        picture_time_ = ts != AV_NOPTS_VALUE
                            ? seconds(ts, format_->streams[video_index_]->time_base) - start_
                            : next_picture_time_;
        next_picture_time_ = picture_time_ + frame_duration_;
        return true;
    }
}

bool VideoFile::receive_sound() {
    if (!audio_ || audio_drained_) return false;
    for (;;) {
        int r = ff::avcodec_receive_frame(audio_, sound_frame_);
        if (r == AVERROR(EAGAIN)) return false;
        if (r < 0) {
            if (r == AVERROR_EOF || ++audio_errors_ > kMaxDecodeErrors) audio_drained_ = true;
            return false;
        }
        audio_errors_ = 0;
        const AVFrame* f = sound_frame_;
        if (f->nb_samples <= 0 || f->sample_rate <= 0 || f->ch_layout.nb_channels <= 0) continue;
        // The resampler follows the stream's format, which may change.
        if (!resampler_ || f->sample_rate != in_rate_ || f->format != in_format_ ||
            f->ch_layout.nb_channels != in_channels_ || int(f->ch_layout.order) != in_order_ ||
            layout_mask(f->ch_layout) != in_mask_) {
            ff::swr_free(&resampler_);
            AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
            if (ff::swr_alloc_set_opts2(&resampler_, &stereo, AV_SAMPLE_FMT_S16, int(audio_rate_),
                                        &sound_frame_->ch_layout, AVSampleFormat(f->format),
                                        f->sample_rate, 0, nullptr) < 0 ||
                ff::swr_init(resampler_) < 0) {
                ff::swr_free(&resampler_);
                continue;
            }
            in_rate_ = f->sample_rate;
            in_format_ = f->format;
            in_channels_ = f->ch_layout.nb_channels;
            in_order_ = int(f->ch_layout.order);
            in_mask_ = layout_mask(f->ch_layout);
        }
        int room = ff::swr_get_out_samples(resampler_, f->nb_samples);
        if (room <= 0) continue;
        sound_.resize(size_t(room) * 2);
        auto* out = reinterpret_cast<uint8_t*>(sound_.data());
        int got = ff::swr_convert(resampler_, &out, room,
                                  const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
        if (got <= 0) continue;
        sound_.resize(size_t(got) * 2);
        int64_t ts = f->best_effort_timestamp;
        sound_time_ = ts != AV_NOPTS_VALUE
                          ? seconds(ts, format_->streams[audio_index_]->time_base) - start_
                          : next_sound_time_;
        next_sound_time_ = sound_time_ + double(got) / audio_rate_;
        return true;
    }
}

VideoFile::Item VideoFile::next() {
    for (;;) {
        if (receive_picture()) return Item::Video;
        if (receive_sound()) return Item::Audio;
        bool video_done = !video_ || video_drained_, audio_done = !audio_ || audio_drained_;
        if (video_done && audio_done) return Item::End;
        if (read_ended_) {
            // Nothing more to read: the decoders give what they hold, then end.
            if (flushed_) {
                video_drained_ = audio_drained_ = true;  // they said "again" once flushed
                continue;
            }
            flushed_ = true;
            if (video_ && !video_drained_ && ff::avcodec_send_packet(video_, nullptr) < 0)
                video_drained_ = true;
            if (audio_ && !audio_drained_ && ff::avcodec_send_packet(audio_, nullptr) < 0)
                audio_drained_ = true;
            continue;
        }
        if (ff::av_read_frame(format_, packet_) < 0) {
            // The end, or a file that breaks off: both end the playback.
            read_ended_ = true;
            continue;
        }
        AVCodecContext* c = packet_->stream_index == video_index_   ? video_
                            : packet_->stream_index == audio_index_ ? audio_
                                                                    : nullptr;
        // What a decoder refuses is skipped.
        if (c) ff::avcodec_send_packet(c, packet_);
        ff::av_packet_unref(packet_);
    }
}

bool VideoFile::seek(double to) {
    int64_t ts = int64_t((to + start_) * AV_TIME_BASE);
    if (ff::avformat_seek_file(format_, -1, INT64_MIN, ts, ts, 0) < 0 &&
        ff::av_seek_frame(format_, -1, ts, AVSEEK_FLAG_BACKWARD) < 0 &&
        ff::av_seek_frame(format_, -1, ts, AVSEEK_FLAG_BYTE | AVSEEK_FLAG_BACKWARD) < 0)
        return false;
    if (video_) ff::avcodec_flush_buffers(video_);
    if (audio_) ff::avcodec_flush_buffers(audio_);
    ff::swr_free(&resampler_);
    read_ended_ = flushed_ = video_drained_ = audio_drained_ = false;
    video_errors_ = audio_errors_ = 0;
    next_picture_time_ = next_sound_time_ = to;
    return true;
}

PictureConverter::~PictureConverter() {
    if (scaler_) ff::sws_freeContext(scaler_);  // FFmpeg may never have been loaded
}

bool PictureConverter::convert(const AVFrame* p, int w, int h, uint32_t* out, ptrdiff_t pitch) {
    if (!p || !size_ok(p->width, p->height) || w <= 0 || h <= 0 || w > 2 * 8192 || h > 2 * 8192)
        return false;
    // BGRA has libswscale's fast unscaled converters; its alpha byte (0xFF)
    // is dropped where the picture is drawn.
    scaler_ = ff::sws_getCachedContext(scaler_, p->width, p->height, AVPixelFormat(p->format), w, h,
                                       AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!scaler_) return false;
    uint8_t* planes[4] = {reinterpret_cast<uint8_t*>(out), nullptr, nullptr, nullptr};
    int strides[4] = {int(pitch * 4), 0, 0, 0};
    return ff::sws_scale(scaler_, p->data, p->linesize, 0, p->height, planes, strides) == h;
}

}  // namespace tob::media
