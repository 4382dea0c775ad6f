// The 64 sound channels: static sounds decoded whole at load, streamed ones
// decoded ahead by one feeder thread for all streamed channels, volume and
// pan in millibels, pause counts, positions, loops and effects. Every
// operation runs on the window thread; the feeder only touches a channel's
// decoder and ring under that channel's decoder lock.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "media/effects.h"
#include "media/mixer.h"
#include "media/sound_source.h"

namespace tob::media {

inline constexpr int kSoundChannels = 64;
inline constexpr int kAllChannels = -1;
inline constexpr size_t kCommentBytes = 256;  // snd_gettext's buffer
inline constexpr int32_t kMaxMarginMs = 60000;
// Static sounds shorter than this take no effects.
inline constexpr uint64_t kMinEffectMs = 150;
// A decoded static sound may not be larger than this.
inline constexpr uint64_t kMaxDecodedBytes = uint64_t(1) << 30;

// Reads a whole sound file (through archives and compressed files).
using SoundFileReader = std::function<std::optional<std::vector<uint8_t>>(std::string_view)>;

// The volume and pan conversions between 0..100 and millibels.
int32_t linear_to_millibel(double f);
double millibel_to_linear(int32_t mb);

class SoundChannels {
  public:
    // `mixer` null: no sound device, every load fails. `global_sound` tells
    // whether new loads keep playing while the application is inactive.
    SoundChannels(Mixer* mixer, SoundFileReader reader, std::function<bool()> global_sound);
    ~SoundChannels();

    uint32_t load(int ch, std::string_view name, bool streamed);
    uint32_t free(int ch);
    uint32_t play(int ch, int32_t loop);
    uint32_t stop(int ch);
    uint32_t pause(int ch);
    uint32_t replay(int ch);
    uint32_t set_volume(int ch, int32_t volume);
    uint32_t volume(int ch) const;
    uint32_t set_pan(int ch, int32_t pan);
    uint32_t pan(int ch) const;
    uint32_t is_playing(int ch) const;
    uint32_t set_loop(int ch, int32_t ms);
    uint32_t set_position(int ch, int32_t ms);
    uint32_t position(int ch) const;
    uint32_t length(int ch) const;
    // Writes into a buffer of kCommentBytes bytes.
    uint32_t text(int ch, uint8_t* buffer) const;
    uint32_t set_margin(int32_t ms);
    // A record of the effect's words, or nullopt to clear the effect.
    uint32_t set_effect(int ch, Effect e, std::optional<std::span<const uint32_t>> words);

    void free_all();
    // Stops the feeder thread (device shutdown); channels must be freed.
    void stop_feeder();

  private:
    struct Channel {
        std::string name;
        bool loaded = false, streamed = false;
        int32_t loop_on_replay = 0, pause_count = 0;
        int32_t volume_mb = 0, pan_mb = 0;
        uint32_t effect_bits = 0;
        std::array<uint32_t, kEffectWordTotal> effect_words{};
        uint64_t frames = 0;  // including the margin for static sounds
        uint32_t rate = 0;
        int channels = 0;
        std::shared_ptr<SoundBuffer> sound;
        // Streamed channels: the feeder's share, under `decoder`.
        std::mutex decoder;
        std::unique_ptr<SoundSource> source;
        std::unique_ptr<StreamRing> ring;
        std::atomic<bool> feeding{false};
        bool stream_loop = false, after_wrap = false;
        uint64_t start_frame = 0, loop_start = 0;
    };

    static bool valid(int ch) { return ch >= 0 && ch < kSoundChannels; }
    // Runs `op` on one channel, or on all for -1 (1 only if every one gave 1).
    uint32_t each(int ch, const std::function<uint32_t(int)>& op);
    uint32_t free_one(int ch);
    uint32_t stop_one(int ch);
    uint32_t pause_one(int ch);
    uint32_t replay_one(int ch);
    void apply_effects(int ch);
    // Decodes ahead into the ring, at most `max_frames`; decoder lock held.
    void fill(Channel& c, uint64_t max_frames);
    void feeder_loop();

    Mixer* mixer_;
    SoundFileReader reader_;
    std::function<bool()> global_sound_;
    int32_t margin_ms_ = 0;
    std::array<Channel, kSoundChannels> channels_;

    std::thread feeder_;
    std::mutex feeder_mutex_;
    std::condition_variable feeder_wake_;
    bool feeder_quit_ = false;
};

}  // namespace tob::media
