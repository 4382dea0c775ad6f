// What the SDL audio output and the headless one share: the recording of
// what is handed to the device.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/audio_output.h"

namespace tob::platform {

// Frames handed to the device at a time.
inline constexpr int kDeviceFrames = 1024;

// Frames from the audio thread to a writer thread that moves them to a WAVE
// file every so often.
class Recorder {
  public:
    Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;
    ~Recorder();

    // Starts recording to `file`; false, after saying so, when it cannot be
    // written (the output then plays unrecorded).
    bool open(const std::filesystem::path& file, int rate);
    // Audio thread: frames handed to the device. Never blocks; a writer
    // that fell seconds behind loses frames.
    void push(const int16_t* frames, size_t count);
    // Ends the writer thread and completes the file.
    void finish();

  private:
    class Ring;
    void write_loop();

    WaveWriter writer_;
    std::unique_ptr<Ring> ring_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool quit_ = false;
};

// The output of headless runs: no device, no SDL. A thread pulls the render
// function as SDL's dummy driver did, so sounds take their real time.
std::unique_ptr<AudioOutput> open_headless_audio_output(const AudioSpec& spec);

}  // namespace tob::platform
