// The decoding thread, the sound ring behind the mixer's video line, and the
// clock that picks the picture to show.

#include "media/video_player.h"

#include <algorithm>
#include <cstring>

#include "media/ffmpeg_library.h"

namespace tob::media {
namespace {

// Sound decoded ahead, in seconds.
constexpr uint32_t kSoundAheadSeconds = 1;
// The sound counts as the clock while the line pulled this recently.
constexpr int64_t kSoundFreshNs = 200'000'000;
// The longest the decoding thread waits before looking at the ring again
// (the audio thread cannot wake it).
constexpr auto kRingPoll = std::chrono::milliseconds(5);

int64_t now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

VideoPlayer::VideoPlayer(std::unique_ptr<VideoFile> file, Mixer* mixer)
    : file_(std::move(file)), mixer_(mixer) {
    has_video_ = file_->has_video();
    width_ = file_->width();
    height_ = file_->height();
    frame_duration_ = file_->frame_duration();
    // Pictures are about 1.5 bytes a pixel as decoded (4:2:0).
    size_t picture_bytes = std::max<size_t>(size_t(width_) * size_t(height_) * 3 / 2, 1);
    pictures_most_ =
        std::clamp<size_t>(kPictureBytesMost / picture_bytes, kPicturesAhead, kPicturesMost);
    if (file_->has_audio() && mixer_) {
        rate_ = mixer_->rate();
        ring_frames_ = uint64_t(rate_) * kSoundAheadSeconds;
        ring_.assign(size_t(ring_frames_) * 2, 0);
        line_ = mixer_->add_line(
            "video", [this](float* stereo, size_t frames) { return pull(stereo, frames); });
        if (line_ >= 0) mixer_->set_line_paused(line_, true);
    }
    thread_ = std::thread([this] { decode_loop(); });
}

VideoPlayer::~VideoPlayer() {
    // The line stops pulling from the ring before anything goes.
    if (mixer_ && line_ >= 0) mixer_->remove_line(line_);
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    clear_queue_locked();
    ff::av_frame_free(&shown_);
}

void VideoPlayer::clear_queue_locked() {
    for (Queued& q : queue_) ff::av_frame_free(&q.frame);
    queue_.clear();
}

void VideoPlayer::start() {
    {
        std::lock_guard lock(mutex_);
        ++generation_;
        decoding_ = true;
        clear_queue_locked();
        file_ended_ = false;
        sound_known_ = false;
        sound_end_ = UINT64_MAX;
        discard_before_.store(written_.load());
    }
    wake_.notify_all();
    completed_ = false;
    last_clock_ = 0;
    anchor_time_ = 0;
    anchor_at_ = Clock::now();
    frozen_at_ = 0;
    running_ = true;
    starved_ = true;
    if (line_ >= 0) mixer_->set_line_paused(line_, false);
}

void VideoPlayer::set_running(bool running) {
    if (running == running_) return;
    if (!running) {
        frozen_at_ = clock();
        running_ = false;
        if (line_ >= 0) mixer_->set_line_paused(line_, true);
        return;
    }
    anchor_time_ = last_clock_ = frozen_at_;
    anchor_at_ = Clock::now();
    running_ = true;
    starved_ = true;  // the sound is the clock again once it flows
    if (line_ >= 0) mixer_->set_line_paused(line_, false);
}

void VideoPlayer::set_gain(float gain) {
    if (line_ >= 0) mixer_->set_line_gain(line_, gain);
}

double VideoPlayer::clock() {
    if (!running_) return frozen_at_;
    Clock::time_point now = Clock::now();
    double t = anchor_time_ + std::chrono::duration<double>(now - anchor_at_).count();
    auto steady = [&] {
        last_clock_ = std::max(last_clock_, t);
        return last_clock_;
    };
    if (line_ < 0 || starved_.load(std::memory_order_acquire)) return steady();
    int64_t since = now_ns() - last_pull_ns_.load(std::memory_order_acquire);
    if (since < 0 || since > kSoundFreshNs) return steady();
    std::lock_guard lock(mutex_);
    uint64_t r = std::max(read_.load(), discard_before_.load());
    if (!sound_known_ || r <= sound_origin_frame_) return steady();
    // The frames pulled last began to play when they were pulled.
    double block = double(last_pull_frames_.load()) / rate_;
    double heard = sound_origin_time_ + double(r - sound_origin_frame_) / rate_ - block +
                   std::min(double(since) * 1e-9, block);
    anchor_time_ = heard;
    anchor_at_ = now;
    // Sound that lags holds the pictures rather than taking them back.
    last_clock_ = std::max(last_clock_, heard);
    return last_clock_;
}

bool VideoPlayer::advance() {
    double now = clock();
    bool changed = false;
    std::lock_guard lock(mutex_);
    while (!queue_.empty() && queue_.front().time <= now) {
        Queued q = queue_.front();
        queue_.pop_front();
        // When the next one is due as well this one is late: dropped.
        if (!queue_.empty() && queue_.front().time <= now) {
            ff::av_frame_free(&q.frame);
            continue;
        }
        ff::av_frame_free(&shown_);
        shown_ = q.frame;
        shown_number_ = q.number;
        ++shown_serial_;
        changed = true;
    }
    if (changed) wake_.notify_all();
    if (running_ && !completed_ && file_ended_ && queue_.empty() && now >= end_time_) {
        uint64_t r = std::max(read_.load(), discard_before_.load());
        if (line_ < 0 || r >= sound_end_) completed_ = true;
    }
    return changed;
}

std::chrono::milliseconds VideoPlayer::time_to_next() {
    using std::chrono::milliseconds;
    if (!running_ || completed_) return milliseconds(1000);
    double now = clock();
    double due;
    {
        std::lock_guard lock(mutex_);
        if (!queue_.empty())
            due = queue_.front().time;
        else if (file_ended_)
            due = end_time_;
        else
            due = now + 0.005;  // the decoder is behind: look again soon
    }
    auto ms = int64_t((due - now) * 1000.0) + 1;
    return milliseconds(std::clamp<int64_t>(ms, 1, 50));
}

size_t VideoPlayer::pull(float* stereo, size_t frames) {
    uint64_t r = std::max(read_.load(std::memory_order_acquire),
                          discard_before_.load(std::memory_order_acquire));
    uint64_t w = written_.load(std::memory_order_acquire);
    size_t n = size_t(std::min<uint64_t>(frames, w - r));
    constexpr float kScale = 1.0f / 32768.0f;
    for (size_t i = 0; i < n; ++i) {
        size_t at = size_t((r + i) % ring_frames_) * 2;
        stereo[2 * i] = float(ring_[at]) * kScale;
        stereo[2 * i + 1] = float(ring_[at + 1]) * kScale;
    }
    read_.store(r + n, std::memory_order_release);
    last_pull_frames_.store(uint32_t(n), std::memory_order_release);
    last_pull_ns_.store(now_ns(), std::memory_order_release);
    starved_.store(n < frames, std::memory_order_release);
    return n;
}

bool VideoPlayer::sound_short() const {
    if (line_ < 0) return false;
    uint64_t r = std::max(read_.load(), discard_before_.load());
    return written_.load() - r < ring_frames_ / 4;
}

bool VideoPlayer::wait_for_sound_room(std::unique_lock<std::mutex>& lock, uint64_t frames,
                                      uint64_t generation) {
    for (;;) {
        if (quit_ || generation_ != generation) return false;
        uint64_t r = std::max(read_.load(), discard_before_.load());
        if (ring_frames_ - (written_.load() - r) >= frames) return true;
        wake_.wait_for(lock, kRingPoll);
    }
}

void VideoPlayer::write_sound(const int16_t* samples, uint64_t frames) {
    uint64_t w = written_.load();
    for (uint64_t i = 0; i < frames;) {
        uint64_t at = (w + i) % ring_frames_;
        uint64_t n = std::min(frames - i, ring_frames_ - at);
        if (samples)
            std::memcpy(&ring_[size_t(at) * 2], samples + i * 2, size_t(n) * 4);
        else
            std::fill_n(&ring_[size_t(at) * 2], size_t(n) * 2, int16_t(0));
        i += n;
    }
    written_.store(w + frames, std::memory_order_release);
}

void VideoPlayer::decode_loop() {
    std::unique_lock lock(mutex_);
    uint64_t seen = 0;
    bool fresh = true;  // the file is still at its start
    double offset = 0;  // where the current pass starts on the clock
    double pass_end = 0;
    bool pass_any = false;
    int64_t number = 0;
    // Sound of one block, written in pieces the ring can take.
    auto put_sound = [&](const int16_t* samples, uint64_t frames) {
        uint64_t piece_max = std::max<uint64_t>(ring_frames_ / 4, 1);
        for (uint64_t done = 0; done < frames;) {
            uint64_t n = std::min(frames - done, piece_max);
            if (!wait_for_sound_room(lock, n, seen)) return false;
            write_sound(samples ? samples + done * 2 : nullptr, n);
            done += n;
        }
        return true;
    };
    for (;;) {
        wake_.wait(lock,
                   [&] { return quit_ || (decoding_ && (generation_ != seen || !file_ended_)); });
        if (quit_) return;
        if (generation_ != seen) {
            seen = generation_;
            bool at_start = fresh;
            if (!fresh) {
                lock.unlock();
                at_start = file_->seek(0);
                lock.lock();
                if (quit_) return;
                if (generation_ != seen) continue;
            }
            fresh = false;
            offset = pass_end = 0;
            pass_any = false;
            number = 0;
            if (!at_start) {  // a file that cannot go back has nothing more to play
                file_ended_ = true;
                end_time_ = 0;
                sound_end_ = written_.load();
            }
            continue;
        }
        lock.unlock();
        VideoFile::Item item = file_->next();
        lock.lock();
        if (quit_) return;
        if (generation_ != seen) continue;  // started again meanwhile: forget it
        switch (item) {
            case VideoFile::Item::Video: {
                pass_any = true;
                pass_end = std::max(pass_end, file_->picture_time() + frame_duration_);
                AVFrame* f = ff::av_frame_clone(file_->picture());
                if (!f) break;
                // Pictures wait for room, unless the sound runs short: files
                // interleave their streams loosely, and the sound must not
                // starve behind pictures that are not due yet.
                // (The audio thread cannot wake us: look at the sound now and then.)
                while (!(quit_ || generation_ != seen || queue_.size() < size_t(kPicturesAhead) ||
                         (sound_short() && queue_.size() < pictures_most_)))
                    wake_.wait_for(lock, kRingPoll);
                if (quit_ || generation_ != seen) {
                    ff::av_frame_free(&f);
                    break;
                }
                queue_.push_back({f, offset + file_->picture_time(), number++});
                break;
            }
            case VideoFile::Item::Audio: {
                if (line_ < 0) break;
                const std::vector<int16_t>& s = file_->sound();
                uint64_t frames = s.size() / 2;
                pass_any = true;
                pass_end = std::max(pass_end, file_->sound_time() + double(frames) / rate_);
                if (!sound_known_) {
                    sound_known_ = true;
                    sound_origin_frame_ = std::max(written_.load(), discard_before_.load());
                    sound_origin_time_ = offset + file_->sound_time();
                }
                put_sound(s.data(), frames);
                break;
            }
            case VideoFile::Item::End: {
                bool again = repeat_.load() && pass_any;
                if (again) {
                    lock.unlock();
                    again = file_->seek(0);
                    lock.lock();
                    if (quit_) return;
                    if (generation_ != seen) break;
                }
                if (again) {
                    // Silence up to the end of the pass, so the next pass's
                    // sound and pictures start together.
                    if (sound_known_) {
                        double target = (offset + pass_end - sound_origin_time_) * rate_;
                        uint64_t want = sound_origin_frame_ + uint64_t(std::max(target, 0.0));
                        uint64_t have = written_.load();
                        if (want > have && !put_sound(nullptr, want - have)) break;
                    }
                    offset += pass_end;
                    pass_end = 0;
                    pass_any = false;
                    number = 0;
                    break;
                }
                file_ended_ = true;
                end_time_ = offset + pass_end;
                sound_end_ = written_.load();
                break;
            }
        }
    }
}

}  // namespace tob::media
