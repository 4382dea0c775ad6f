// The headless audio output: a thread that pulls the render function, a
// device's worth of frames at a time, and then waits as long as those frames
// play, as SDL's dummy driver does; what it pulls is recorded when asked and
// otherwise goes nowhere.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/audio_output_internal.h"

namespace tob::platform {
namespace {

class HeadlessAudioOutput final : public AudioOutput {
  public:
    ~HeadlessAudioOutput() override {
        stop();
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

    bool open(const AudioSpec& spec) {
        // SDL's dummy driver takes any rate; none at all means its default.
        rate_ = spec.rate > 0 ? spec.rate : 22050;
        if (!spec.record.empty()) recorder_.open(spec.record, rate_);
        thread_ = std::thread([this] { run(); });
        return true;
    }

    int rate() const override { return rate_; }
    std::string driver() const override { return "dummy"; }

    void start(AudioRender render, void* context) override {
        std::lock_guard lock(mutex_);
        render_ = render;
        context_ = context;
    }

    void stop() override {
        {
            std::lock_guard lock(mutex_);
            render_ = nullptr;
        }
        recorder_.finish();
    }

  private:
    // Render a device's worth, then wait the whole milliseconds it lasts.
    void run() {
        std::vector<int16_t> buffer(size_t(kDeviceFrames) * 2);
        const auto period = std::chrono::milliseconds(kDeviceFrames * 1000 / rate_);
        std::unique_lock lock(mutex_);
        while (!quit_) {
            if (render_) {
                render_(context_, buffer.data(), size_t(kDeviceFrames));
                recorder_.push(buffer.data(), size_t(kDeviceFrames));
            }
            wake_.wait_for(lock, period, [this] { return quit_; });
        }
    }

    int rate_ = 44100;
    Recorder recorder_;
    std::mutex mutex_;  // the render function and the quit flag
    std::condition_variable wake_;
    AudioRender render_ = nullptr;
    void* context_ = nullptr;
    bool quit_ = false;
    std::thread thread_;
};

}  // namespace

std::unique_ptr<AudioOutput> open_headless_audio_output(const AudioSpec& spec) {
    auto out = std::make_unique<HeadlessAudioOutput>();
    if (!out->open(spec)) return nullptr;
    return out;
}

}  // namespace tob::platform
