// One media file opened through FFmpeg: the container read through our own
// byte source (a loose file or an archive member), the best video and audio
// streams with their decoders, frames converted to 32-bit 0x00RRGGBB and
// sound resampled to 16-bit stereo at the mixer's rate. No threads of its
// own: the player's decoding thread drives it, tests and benchmarks call it
// directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct AVFormatContext;
struct AVIOContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;
struct SwrContext;

namespace tob::media {

// Pictures larger than this on either side are refused (before anything
// is allocated for them).
inline constexpr int kMaxVideoSide = 4096;

// Where the file's bytes come from.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Bytes read (0 at the end), or -1 on an error.
    virtual int64_t read(uint8_t* buf, size_t count) = 0;
    // The new position, or -1.
    virtual int64_t seek(int64_t offset, int origin) = 0;
    virtual int64_t size() const = 0;
};

// Bytes in memory (tests, fuzzing).
std::unique_ptr<ByteSource> memory_source(std::vector<uint8_t> bytes);
// A script path relative to the module folder: a loose file or an archive
// member; nullptr when it cannot be opened.
std::unique_ptr<ByteSource> file_source(std::string_view cp932_path,
                                        const std::filesystem::path& base);

struct VideoOpenOptions {
    uint32_t audio_rate = 0;  // 0: the sound is ignored
    int threads = 0;          // decoder threads, 0: as many as the codec likes
    int64_t probe_bytes = 0;  // 0: FFmpeg's default
};

class VideoFile {
  public:
    enum class Item { Video, Audio, End };
    // NoLibrary: FFmpeg's libraries cannot be loaded.
    enum class OpenError { None, OutOfMemory, NoLibrary, Unplayable };

    // nullptr and a reason when the file cannot be opened or has nothing to
    // play (no stream we can decode, or a picture without or beyond a size).
    static std::unique_ptr<VideoFile> open(std::unique_ptr<ByteSource> source,
                                           const VideoOpenOptions& options, std::string& why,
                                           OpenError* error = nullptr);
    ~VideoFile();
    VideoFile(const VideoFile&) = delete;
    VideoFile& operator=(const VideoFile&) = delete;

    bool has_video() const { return video_ != nullptr; }
    bool has_audio() const { return audio_ != nullptr; }
    int width() const { return width_; }
    int height() const { return height_; }
    // Seconds between frames as the stream declares it (1/25 when it does not).
    double frame_duration() const { return frame_duration_; }
    // Seconds; 0 when unknown.
    double duration() const { return duration_; }

    // Decodes on until a picture or a block of sound is ready, or the file
    // ends (also when it breaks: what cannot be read ends it, what cannot be
    // decoded is skipped).
    Item next();
    // After Item::Video: the decoded picture (valid until the next call) and
    // its time in seconds from the file's start.
    const AVFrame* picture() const { return picture_; }
    double picture_time() const { return picture_time_; }
    // After Item::Audio: interleaved 16-bit stereo and the time of its first frame.
    const std::vector<int16_t>& sound() const { return sound_; }
    double sound_time() const { return sound_time_; }
    // Back to `seconds` (decoders flushed); false when the file cannot seek.
    bool seek(double seconds);

  private:
    VideoFile() = default;
    bool open_streams(const VideoOpenOptions& options, std::string& why, OpenError& error);
    bool receive_picture();
    bool receive_sound();

    std::unique_ptr<ByteSource> source_;
    AVFormatContext* format_ = nullptr;
    AVIOContext* io_ = nullptr;
    AVCodecContext* video_ = nullptr;
    AVCodecContext* audio_ = nullptr;
    int video_index_ = -1, audio_index_ = -1;
    AVPacket* packet_ = nullptr;
    AVFrame* picture_ = nullptr;
    AVFrame* sound_frame_ = nullptr;
    SwrContext* resampler_ = nullptr;
    uint32_t audio_rate_ = 0;
    int width_ = 0, height_ = 0;
    double frame_duration_ = 1.0 / 25;
    double duration_ = 0;
    double start_ = 0;  // the container's first time
    double picture_time_ = 0, sound_time_ = 0;
    double next_picture_time_ = 0, next_sound_time_ = 0;
    bool read_ended_ = false, flushed_ = false, video_drained_ = false, audio_drained_ = false;
    int video_errors_ = 0, audio_errors_ = 0;
    // What the resampler was made for.
    int in_rate_ = 0, in_format_ = -1, in_channels_ = 0, in_order_ = -1;
    uint64_t in_mask_ = 0;
    std::vector<int16_t> sound_;
};

// Converts pictures to 32-bit 0xAARRGGBB (alpha 0xFF: mask it for
// 0x00RRGGBB) at a chosen size, keeping its scaler between calls (one per
// consumer).
class PictureConverter {
  public:
    PictureConverter() = default;
    ~PictureConverter();
    PictureConverter(const PictureConverter&) = delete;
    PictureConverter& operator=(const PictureConverter&) = delete;
    // Scales `picture` to w × h into `out` (rows `pitch` pixels apart);
    // false for a picture it cannot convert.
    bool convert(const AVFrame* picture, int w, int h, uint32_t* out, ptrdiff_t pitch);

  private:
    SwsContext* scaler_ = nullptr;
};

}  // namespace tob::media
