// The audio output on SDL2: one device, 16-bit stereo, the rate SDL grants.
// Headless runs have an output of their own (audio_output_headless.cpp).
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/audio_output.h"
#include "platform/audio_output_internal.h"
#include "platform/sdl_library.h"

namespace tob::platform {
namespace {

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
        if (!spec.record.empty()) recorder_.open(spec.record, have_.freq);
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
        recorder_.finish();
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
        if (self->render_) self->recorder_.push(out, frames);
    }

    SDL_AudioDeviceID device_ = 0;
    SDL_AudioSpec have_{};
    bool subsystem_ = false, dummy_only_ = false;
    std::string driver_;
    AudioRender render_ = nullptr;
    void* context_ = nullptr;
    Recorder recorder_;
};

}  // namespace

std::unique_ptr<AudioOutput> open_audio_output(const AudioSpec& spec) {
    // Headless, SDL is opened only for a driver the environment names.
    const char* named = std::getenv("SDL_AUDIODRIVER");
    if (spec.headless && !(named && *named)) return open_headless_audio_output(spec);
    std::string why;
    if (!load_sdl(&why)) {
        std::fprintf(stderr, "engine: cannot open audio output: %s\n", why.c_str());
        return nullptr;
    }
    auto out = std::make_unique<SdlAudioOutput>();
    if (!out->open(spec)) {
        std::fprintf(stderr, "engine: cannot open audio output: %s\n", SDL_GetError());
        return nullptr;
    }
    return out;
}

}  // namespace tob::platform
