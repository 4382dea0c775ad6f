// The one audio output device: 16-bit stereo pulled from a render callback
// on the device's own thread. Optionally everything handed to the device is
// also recorded to a WAVE file (how tests listen).
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace tob::platform {

// Fills `frames` interleaved stereo frames. Runs on the audio thread: it
// must not block, allocate or decode.
using AudioRender = void (*)(void* context, int16_t* out, size_t frames);

struct AudioSpec {
    int rate = 44100;              // asked for; the device may grant another
    std::filesystem::path record;  // empty: no recording
    // No device and no SDL: the output is pulled in real time as a silent
    // device would (headless runs), unless SDL_AUDIODRIVER names a driver.
    bool headless = false;
};

class AudioOutput {
  public:
    virtual ~AudioOutput() = default;
    // The rate granted.
    virtual int rate() const = 0;
    // Starts pulling from `render` (it may be called at once).
    virtual void start(AudioRender render, void* context) = 0;
    // Stops pulling; `render` is never called again after this returns.
    virtual void stop() = 0;
    // The driver in use (e.g. "pulseaudio", "dummy", "disk").
    virtual std::string driver() const = 0;
};

// Opens the device (SDL), or headless the silent output. When no device
// opens with the driver SDL picked, SDL's dummy driver is used, so positions
// advance without sound hardware. nullptr (after printing why) only when not
// even that opens.
std::unique_ptr<AudioOutput> open_audio_output(const AudioSpec& spec);

// A 16-bit stereo WAVE file written as it goes; its header is brought up to
// date at every flush and at close, so the file is valid whenever it ends.
class WaveWriter {
  public:
    WaveWriter() = default;
    ~WaveWriter();
    bool open(const std::filesystem::path& file, int rate);
    void write(const int16_t* frames, size_t count);
    // Brings the header up to date and pushes the data to the file.
    void flush();
    void close();
    bool is_open() const { return file_ != nullptr; }

  private:
    std::FILE* file_ = nullptr;
    uint64_t data_bytes_ = 0;
    int rate_ = 44100;
};

}  // namespace tob::platform
