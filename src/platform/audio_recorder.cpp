// The recording of the audio output: the audio thread copies what it hands
// to the device into a ring; a writer thread moves it to the WAVE file.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "platform/audio_output_internal.h"

namespace tob::platform {
namespace {

constexpr int kRecordSeconds = 4;
constexpr auto kRecordFlush = std::chrono::milliseconds(50);

}  // namespace

// One producer, one consumer.
class Recorder::Ring {
  public:
    explicit Ring(size_t frames) : buffer_(frames * 2), frames_(frames) {}
    void push(const int16_t* s, size_t n) {
        uint64_t w = written_.load(std::memory_order_relaxed);
        uint64_t r = read_.load(std::memory_order_acquire);
        n = std::min<uint64_t>(n, frames_ - (w - r));  // a full ring drops the rest
        for (size_t i = 0; i < n; ++i) {
            size_t at = size_t((w + i) % frames_) * 2;
            buffer_[at] = s[2 * i];
            buffer_[at + 1] = s[2 * i + 1];
        }
        written_.store(w + n, std::memory_order_release);
    }
    void drain(WaveWriter& out) {
        uint64_t r = read_.load(std::memory_order_relaxed);
        uint64_t w = written_.load(std::memory_order_acquire);
        while (r < w) {
            size_t at = size_t(r % frames_);
            size_t n = size_t(std::min<uint64_t>(w - r, frames_ - at));
            out.write(buffer_.data() + at * 2, n);
            r += n;
        }
        read_.store(r, std::memory_order_release);
    }

  private:
    std::vector<int16_t> buffer_;
    size_t frames_;
    std::atomic<uint64_t> written_{0}, read_{0};
};

Recorder::Recorder() = default;
Recorder::~Recorder() {
    finish();
}

bool Recorder::open(const std::filesystem::path& file, int rate) {
    if (!writer_.open(file, rate)) {
        std::fprintf(stderr, "engine: cannot write the audio file '%s'\n", file.string().c_str());
        return false;
    }
    ring_ = std::make_unique<Ring>(size_t(rate) * kRecordSeconds);
    thread_ = std::thread([this] { write_loop(); });
    return true;
}

void Recorder::push(const int16_t* frames, size_t count) {
    if (ring_) ring_->push(frames, count);
}

void Recorder::finish() {
    if (thread_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    if (ring_) ring_->drain(writer_);
    writer_.close();
}

void Recorder::write_loop() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
        wake_.wait_for(lock, kRecordFlush);
        ring_->drain(writer_);
        writer_.flush();
    }
}

}  // namespace tob::platform
