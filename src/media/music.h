// MIDI music: one synthesiser with a General MIDI soundfont, one song at a
// time, rendered into the mixer as a line. The player advances with the
// frames rendered, so a song stands still while nothing renders and renders
// the same samples every time.
//
// Everything but `render` runs on the window thread; `render` runs on the
// audio thread. A player is made and deleted only under the render lock, so
// the line never pulls from a half-built one.
#pragma once

#include <fluidsynth/types.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "media/midi_file.h"

namespace tob::media {

// The volume tool's rule: a channel volume scaled by the master volume.
inline uint8_t scaled_channel_volume(uint32_t value, uint32_t master) {
    return uint8_t(value * master / 100);
}

class Music {
  public:
    // Start-up failures, as the engine reports them.
    enum class StartError { None, Synth, Soundfont };
    // A synthesiser at `rate` with the soundfont; nullptr and the reason on
    // failure. `log` lets the synthesiser's log through to standard error.
    static std::unique_ptr<Music> create(uint32_t rate, const std::filesystem::path& soundfont,
                                         bool log, StartError& error);
    ~Music();
    Music(const Music&) = delete;
    Music& operator=(const Music&) = delete;

    // The built-ins' operations, with their results.
    uint32_t load(std::vector<uint8_t> file);
    uint32_t free();
    uint32_t play();
    uint32_t stop();
    uint32_t pause();
    uint32_t replay();
    uint32_t set_volume(int32_t volume);
    uint32_t volume() const;
    uint32_t is_playing() const;
    uint32_t position_ms() const;
    uint32_t set_repeat(int32_t flag);
    bool loaded() const { return !file_.empty(); }
    uint64_t length_ms() const { return info_.length_ms; }

    // The audio thread: stereo float frames into `stereo`; always `frames`.
    size_t render(float* stereo, size_t frames);

    // Tests: every controller-7 message the synthesiser was sent (channel,
    // value), through the player or by `set_volume`.
    void record_volume_messages(bool on) { record_ = on; }
    std::vector<std::pair<int, int>> take_volume_messages();

  private:
    Music() = default;
    static int handle_event(void* data, fluid_midi_event_t* event);
    void send_volume(int channel, int value);
    // Makes a new player for the file and starts it (under the render lock).
    bool start_player();
    void delete_player();
    bool player_playing() const;
    // Whether the synthesiser's own reader takes the file.
    bool player_reads(const std::vector<uint8_t>& file);

    uint32_t rate_ = 44100;
    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
    fluid_player_t* player_ = nullptr;
    fluid_settings_t* probe_settings_ = nullptr;
    fluid_synth_t* probe_ = nullptr;
    std::vector<uint8_t> file_;
    MidiFileInfo info_;
    mutable std::mutex render_mutex_;

    // Volume tool state (read on the audio thread).
    std::atomic<uint32_t> master_{100};
    std::array<std::atomic<uint8_t>, 16> channel_volume_{};
    int repeat_ = 0;
    int pause_count_ = 0;
    std::atomic<uint64_t> played_frames_{0};
    std::atomic<bool> paused_{false};
    bool looping_ = false;

    bool record_ = false;
    std::mutex record_mutex_;
    std::vector<std::pair<int, int>> recorded_;
};

// Where the soundfont comes from: the option, else MORVANE_SOUNDFONT, else
// the first General MIDI soundfont installed in /usr/share/sounds/sf2.
std::filesystem::path find_soundfont(const std::filesystem::path& option);

}  // namespace tob::media
