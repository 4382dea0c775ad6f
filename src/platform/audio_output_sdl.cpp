// The audio output on SDL2: one device, 16-bit stereo, the rate SDL grants.
// Recording: the callback copies what it hands to the device into a ring;
// a writer thread moves it to the WAVE file.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/audio_output.h"

namespace tob::platform {
namespace {

constexpr int kDeviceFrames = 1024;
constexpr int kRecordSeconds = 4;
constexpr auto kRecordFlush = std::chrono::milliseconds(50);

// Frames from the audio thread to the writer thread: one producer, one
// consumer.
class RecordRing {
  public:
    explicit RecordRing(size_t frames) : buffer_(frames * 2), frames_(frames) {}
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

class SdlAudioOutput final : public AudioOutput {
  public:
    ~SdlAudioOutput() override {
        stop();
        if (device_) SDL_CloseAudioDevice(device_);
        if (subsystem_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
        if (dummy_only_) SDL_AudioQuit();
    }

    bool open(const AudioSpec& spec) {
        SDL_AudioSpec want{};
        want.freq = spec.rate;
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = kDeviceFrames;
        want.callback = &SdlAudioOutput::callback;
        want.userdata = this;
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
            subsystem_ = true;
            device_ =
                SDL_OpenAudioDevice(nullptr, 0, &want, &have_, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
        }
        if (!device_) {
            // No sound hardware: the dummy driver still runs the callback in
            // real time, so positions advance and sounds end.
            std::fprintf(stderr, "engine: no audio device (%s); sound goes nowhere\n",
                         SDL_GetError());
            if (subsystem_) {
                SDL_QuitSubSystem(SDL_INIT_AUDIO);
                subsystem_ = false;
            }
            if (SDL_AudioInit("dummy") != 0) return false;
            dummy_only_ = true;
            device_ =
                SDL_OpenAudioDevice(nullptr, 0, &want, &have_, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
            if (!device_) return false;
        }
        if (const char* d = SDL_GetCurrentAudioDriver()) driver_ = d;
        if (!spec.record.empty()) {
            if (!writer_.open(spec.record, have_.freq)) {
                std::fprintf(stderr, "engine: cannot write the audio file '%s'\n",
                             spec.record.string().c_str());
            } else {
                ring_ = std::make_unique<RecordRing>(size_t(have_.freq) * kRecordSeconds);
                recorder_ = std::thread([this] { record_loop(); });
            }
        }
        return true;
    }

    int rate() const override { return have_.freq; }
    std::string driver() const override { return driver_; }

    void start(AudioRender render, void* context) override {
        SDL_LockAudioDevice(device_);
        render_ = render;
        context_ = context;
        SDL_UnlockAudioDevice(device_);
        SDL_PauseAudioDevice(device_, 0);
    }

    void stop() override {
        if (device_) {
            SDL_PauseAudioDevice(device_, 1);
            SDL_LockAudioDevice(device_);
            render_ = nullptr;
            SDL_UnlockAudioDevice(device_);
        }
        if (recorder_.joinable()) {
            {
                std::lock_guard lock(record_mutex_);
                record_quit_ = true;
            }
            record_wake_.notify_all();
            recorder_.join();
        }
        if (ring_) ring_->drain(writer_);
        writer_.close();
    }

  private:
    static void callback(void* self_ptr, Uint8* stream, int len) {
        auto* self = static_cast<SdlAudioOutput*>(self_ptr);
        auto* out = reinterpret_cast<int16_t*>(stream);
        size_t frames = size_t(len) / 4;
        if (self->render_)
            self->render_(self->context_, out, frames);
        else
            std::memset(stream, 0, size_t(len));
        if (self->ring_ && self->render_) self->ring_->push(out, frames);
    }

    void record_loop() {
        std::unique_lock lock(record_mutex_);
        while (!record_quit_) {
            record_wake_.wait_for(lock, kRecordFlush);
            ring_->drain(writer_);
            writer_.flush();
        }
    }

    SDL_AudioDeviceID device_ = 0;
    SDL_AudioSpec have_{};
    bool subsystem_ = false, dummy_only_ = false;
    std::string driver_;
    AudioRender render_ = nullptr;
    void* context_ = nullptr;
    WaveWriter writer_;
    std::unique_ptr<RecordRing> ring_;
    std::thread recorder_;
    std::mutex record_mutex_;
    std::condition_variable record_wake_;
    bool record_quit_ = false;
};

}  // namespace

std::unique_ptr<AudioOutput> open_audio_output(const AudioSpec& spec) {
    auto out = std::make_unique<SdlAudioOutput>();
    if (!out->open(spec)) {
        std::fprintf(stderr, "engine: cannot open audio output: %s\n", SDL_GetError());
        return nullptr;
    }
    return out;
}

}  // namespace tob::platform
