// Playback of one open media file: a decoding thread keeps a few pictures
// and about a second of sound ahead, the sound plays through the mixer's
// "video" line, and the window thread asks which picture is due. The sound
// is the clock while it flows; otherwise the steady clock carries on from
// where the sound left it. Late pictures are dropped, never shown late.
//
// Everything but the line's pull and the decoding thread runs on the window
// thread. The decoding thread touches only the file, the picture queue and
// the sound ring.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "media/mixer.h"
#include "media/video_file.h"

struct AVFrame;

namespace tob::media {

inline constexpr int kPicturesAhead = 6;
// While the sound runs short the decoder may run this far ahead in pictures,
// and hold this much picture memory.
inline constexpr int kPicturesMost = 48;
inline constexpr size_t kPictureBytesMost = size_t(64) << 20;

class VideoPlayer {
  public:
    // Reads `file`; its sound (if it was opened with some) goes to `mixer`.
    // Starts halted, before the first picture.
    VideoPlayer(std::unique_ptr<VideoFile> file, Mixer* mixer);
    // Removes the line, then ends and joins the decoding thread, then frees.
    ~VideoPlayer();
    VideoPlayer(const VideoPlayer&) = delete;
    VideoPlayer& operator=(const VideoPlayer&) = delete;

    bool has_video() const { return has_video_; }
    bool has_audio() const { return line_ >= 0; }
    int width() const { return width_; }
    int height() const { return height_; }

    // From the start, running (the clock at 0).
    void start();
    // The clock stops or goes on; pictures and sound stay where they are.
    void set_running(bool running);
    bool running() const { return running_; }
    // At the end of the file, go on from the start without a gap.
    void set_repeat(bool repeat) { repeat_ = repeat; }
    void set_gain(float gain);

    // Window thread, often: moves to the picture due now; true when the
    // shown picture changed.
    bool advance();
    // Played to the end (both streams ended, the last picture shown) since
    // the last start.
    bool completed() const { return completed_; }
    // How long until something is due (a picture, or the end).
    std::chrono::milliseconds time_to_next();

    // The picture shown (nullptr before the first), its number counted from
    // the file's start, and a number that changes with every new picture.
    const AVFrame* picture() const { return shown_; }
    int64_t picture_number() const { return shown_number_; }
    uint64_t picture_serial() const { return shown_serial_; }
    // Playback time in seconds.
    double clock();

  private:
    struct Queued {
        AVFrame* frame = nullptr;
        double time = 0;
        int64_t number = 0;
    };
    using Clock = std::chrono::steady_clock;

    void decode_loop();
    // Decoding thread, under the lock: the file from the start again.
    void rewind_locked();
    // Waits for room for `frames` sound frames; false when a restart or the
    // end came first.
    bool wait_for_sound_room(std::unique_lock<std::mutex>& lock, uint64_t frames,
                             uint64_t generation);
    void write_sound(const int16_t* samples, uint64_t frames);
    size_t pull(float* stereo, size_t frames);
    void clear_queue_locked();
    // Less than a quarter of the ring is left to play.
    bool sound_short() const;

    std::unique_ptr<VideoFile> file_;
    Mixer* mixer_ = nullptr;
    LineId line_ = -1;
    uint32_t rate_ = 44100;
    bool has_video_ = false;
    int width_ = 0, height_ = 0;
    double frame_duration_ = 1.0 / 25;
    size_t pictures_most_ = kPicturesMost;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
    // Shared under the lock.
    bool quit_ = false;
    uint64_t generation_ = 0;  // raised by every start
    bool decoding_ = false;    // the thread may read (after the first start)
    bool file_ended_ = false;  // read to the end without repeating
    double end_time_ = 0;      // when the last picture or sound ends
    std::deque<Queued> queue_;
    bool sound_known_ = false;  // sound_origin_* describe the current pass
    uint64_t sound_origin_frame_ = 0;
    double sound_origin_time_ = 0;
    uint64_t sound_end_ = UINT64_MAX;
    std::atomic<bool> repeat_{false};

    // The sound ring: the thread writes, the line reads. Frames before
    // `discard_before_` are never played (a start drops what was ahead).
    std::vector<int16_t> ring_;
    uint64_t ring_frames_ = 0;
    std::atomic<uint64_t> written_{0}, read_{0}, discard_before_{0};
    std::atomic<int64_t> last_pull_ns_{0};
    std::atomic<uint32_t> last_pull_frames_{0};
    std::atomic<bool> starved_{true};

    // Window thread.
    bool running_ = false;
    bool completed_ = false;
    double anchor_time_ = 0;
    Clock::time_point anchor_at_{};
    double frozen_at_ = 0;
    double last_clock_ = 0;
    AVFrame* shown_ = nullptr;
    int64_t shown_number_ = -1;
    uint64_t shown_serial_ = 0;
};

}  // namespace tob::media
