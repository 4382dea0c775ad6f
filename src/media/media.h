// The media subsystem's public face for the engine: the audio device and its
// mixer, the sound channels, their window commands and built-ins.
//
// Later audio (MIDI music, CD tracks, the sound of videos) renders into the
// same mixer as a line: `audio_mixer(true)->add_line(name, pull)`, where
// `pull(float* stereo, size_t frames)` writes interleaved stereo float in
// -1..1 at `Mixer::rate()` from the audio thread and returns the frames it
// wrote; `set_line_gain`, `set_line_paused` and `remove_line` control it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace tob {

struct TrapBinding;
class ScriptMemory;
class CommandQueue;

namespace media {
class Mixer;
class SoundChannels;
}  // namespace media

struct AudioStartup {
    bool sound = false;                // `Sound`: channels may load sounds
    bool open_device = false;          // `Sound`, `Music` or `CD`, or a recording asked for
    std::filesystem::path record;      // --audio-out: also write the output here
    std::filesystem::path module_dir;  // where sound file names are found
    uint32_t offline_rate = 0;         // tests: a mixer at this rate and no device
};

// Device start-up (window thread). The channels exist either way; without a
// mixer every load fails.
void start_audio(const AudioStartup& startup);
// Device shutdown: frees every channel, ends the feeder, closes the device
// and completes the recording.
void stop_audio();
// The mixer; with `open_if_closed` the device is opened on first use (a
// video with sound). nullptr without one.
media::Mixer* audio_mixer(bool open_if_closed = false);
media::SoundChannels* sound_channels();
// Where sound built-ins send their window commands (null: run inline).
void set_audio_command_queue(CommandQueue* queue);
// The application gained or lost activation (`GlobalSound` muting).
void set_audio_application_active(bool active);
// Engine shutdown: frees every sound channel.
void free_sound_channels();

// Window commands of the sound built-ins, in trap order.
inline constexpr uint32_t kFirstSoundCommand = 1164;
inline constexpr uint32_t kLastSoundCommand = 1189;
// Runs one on the calling (window) thread; script pointers in the words are
// checked through `memory`.
uint32_t sound_window_command(ScriptMemory& memory, uint32_t message, uint32_t wparam,
                              uint32_t lparam);

// snd_load ... snd_setreverb.
std::span<const TrapBinding> sound_builtins();

}  // namespace tob
