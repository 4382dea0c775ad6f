// The media subsystem's public face for the engine: the audio device and its
// mixer, the sound channels, their window commands and built-ins, and the
// input devices' state and built-ins, MIDI music and CD audio.
//
// Other audio (MIDI music, CD tracks, the sound of videos) renders into the
// same mixer as a line: `audio_mixer(true)->add_line(name, pull)`, where
// `pull(float* stereo, size_t frames)` writes interleaved stereo float in
// -1..1 at `Mixer::rate()` from the audio thread and returns the frames it
// wrote; `set_line_gain`, `set_line_paused` and `remove_line` control it.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>

#include "media/input.h"

namespace tob {

struct TrapBinding;

// How the input built-ins reach the window, set by the window's owner before
// scripts run. Without them there is no window: commands give 0 and the
// cursor built-ins change nothing.
struct InputHooks {
    // Sends window command 1204..1206 and waits for its result.
    std::function<uint32_t(uint32_t message, uint32_t wparam, uint32_t lparam)> send;
    std::function<PointerView()> pointer_view;
    // In effect when they return. Rectangles and points are in the logical
    // screen's coordinates (as getpoint reports them); a clip rectangle lies
    // within the picture (left, top, right, bottom; nullopt releases it).
    std::function<void(bool shown)> show_cursor;
    std::function<void(std::optional<std::array<int32_t, 4>>)> clip_cursor;
    std::function<void(int32_t x, int32_t y)> set_cursor_pos;
};
InputHooks& input_hooks();

// Input built-ins: getkey, getjoy, getmouse, getpoint, cur_set, cur_clip,
// cur_setpos, key_init, key_get.
std::span<const TrapBinding> input_builtins();


// --- sound ---

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
    std::filesystem::path module_dir;  // where sound file names are found; empty: the current folder
    uint32_t offline_rate = 0;         // tests: a mixer at this rate and no device
    bool music = false;                // `Music`: a synthesiser for MIDI files
    std::filesystem::path soundfont;   // --soundfont (empty: look for one)
    bool music_log = false;            // `DebugMode`: the synthesiser's log on stderr
    bool cd = false;                   // `CD`: the disc folder is read and tracks play
    bool headless = false;             // no device: the output is only paced (and recorded)
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

// --- MIDI music ---

namespace media {
class Music;
}
// The music, nullptr without `Music` or when the synthesiser or the
// soundfont failed at start-up.
media::Music* music();
// Engine shutdown: frees the song.
void free_music();
// Window pause and resume (the song keeps its place).
void pause_music();
void resume_music();

// Window commands of the MIDI built-ins, in trap order.
inline constexpr uint32_t kFirstMidiCommand = 1144;
inline constexpr uint32_t kLastMidiCommand = 1154;
uint32_t midi_window_command(ScriptMemory& memory, uint32_t message, uint32_t wparam,
                             uint32_t lparam);

// midi_load ... midi_repeat.
std::span<const TrapBinding> midi_builtins();

// --- CD audio ---

namespace media {
class CdPlayer;
}
// The CD player; without `CD` it holds an empty disc. nullptr before
// start_audio and after stop_audio.
media::CdPlayer* cd_player();
// Whether `CD` started the drive (without it play, stop and eject give 0).
bool cd_started();
// Engine shutdown: stops the track.
void stop_cd();
// Window pause and resume (the track keeps its place; fades go on).
void pause_cd();
void resume_cd();

// Window commands of the CD built-ins, in trap order.
inline constexpr uint32_t kFirstCdCommand = 1124;
inline constexpr uint32_t kLastCdCommand = 1134;
uint32_t cd_window_command(uint32_t message, uint32_t wparam, uint32_t lparam);

// cd_play ... cd_eject.
std::span<const TrapBinding> cd_builtins();

// --- video ---

namespace media {
class MediaControl;
}
// The one media state (window thread).
media::MediaControl& media_control();
// Closes the file: before engine shutdown, restarts and dropped files, and
// before the devices stop.
void close_media();
// Window pause and resume (deactivation); nests with the script's pauses.
void pause_media();
void resume_media();
// The window loop: moves playback on; true when the video layer changed.
bool advance_media();
// How soon the loop should call `advance_media` again (nullopt: nothing plays).
std::optional<std::chrono::milliseconds> media_time_to_next();
// Whether a video covers part of the picture, and drawing it into the
// screen-sized picture (shifted by dx, dy as the picture is).
bool media_layer_visible();
void draw_media(uint32_t* pixels, int width, int height, int dx, int dy);

// Window commands of the media built-ins, in trap order.
inline constexpr uint32_t kFirstVideoCommand = 1194;
inline constexpr uint32_t kLastVideoCommand = 1203;
// Where the sound, MIDI, CD and video built-ins send their window commands,
// and where the CD drive posts its fade ticks and track ends (null: commands
// run inline, nothing is posted).
void set_media_command_queue(CommandQueue* queue);
uint32_t video_window_command(ScriptMemory& memory, uint32_t message, uint32_t wparam,
                              uint32_t lparam);

// media_open ... media_setvol.
std::span<const TrapBinding> video_builtins();

}  // namespace tob
