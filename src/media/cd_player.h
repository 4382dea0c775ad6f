// CD audio from files: the disc is a folder of track files (see cd_disc.h),
// a track streams through the sound decoders into the mixer's CD line, with
// fades, repeat modes, nested pauses and a virtual door.
//
// The player's operations, the fade tick and the end-of-track notification
// run on the window thread; `feed` runs on the CD worker thread and `render`
// on the audio thread. A track plays as the one voice of a small mixer of
// its own, so it is resampled exactly as a streamed sound channel is.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "media/mixer.h"
#include "media/sound_source.h"

namespace tob::media {

inline constexpr int kMaxCdTracks = 99;
// Fade levels run from silence to full in steps of kFadeStep; a fade's
// time is cut into kFadeTicks periods, none shorter than the timer allows.
inline constexpr int32_t kFadeFull = 10000;
inline constexpr int32_t kFadeStep = 313;
inline constexpr int32_t kFadeTicks = 32;
inline constexpr uint32_t kMinTimerMs = 10;
// Every track counts two seconds less in positions across tracks.
inline constexpr int64_t kTrackLeadSeconds = 2;

struct CdTrack {
    std::string file;  // script path of the track file; empty for a data track
    uint32_t seconds = 0;
    bool audio = false;
};

// Tracks 1..N.
struct CdTable {
    std::vector<CdTrack> tracks;
    int count() const { return int(tracks.size()); }
    // nullptr outside 1..N.
    const CdTrack* track(int n) const {
        return n >= 1 && n <= count() ? &tracks[size_t(n - 1)] : nullptr;
    }
    uint64_t total_seconds() const;
};

// cd_getpos on whole seconds: `pos` into `track` of the table.
uint32_t cd_position(const CdTable& table, int track, uint32_t pos, int32_t mode);
// The track automatic advance plays after `track` in repeat mode 2 (up to
// the last track) or 3 (wrapping from the last to the first); data tracks
// are skipped. 0 when there is none.
int next_cd_track(const CdTable& table, int track, int32_t mode);
// The fade timer's period for a fade over `fade_ms`.
uint32_t fade_period_ms(int32_t fade_ms);

class CdPlayer {
  public:
    struct Hooks {
        // A track file's image (through the file layer).
        std::function<std::optional<std::vector<uint8_t>>(const std::string& file)> read_file;
        // Reads the disc's table: at start-up and when the door closes.
        std::function<CdTable()> read_table;
        // Starts the fade timer with this period; 0 kills it.
        std::function<void(uint32_t period_ms)> set_timer;
        // A track started: the worker should feed it.
        std::function<void()> wake;
    };

    CdPlayer(uint32_t rate, Hooks hooks);
    ~CdPlayer();
    CdPlayer(const CdPlayer&) = delete;
    CdPlayer& operator=(const CdPlayer&) = delete;

    // The built-ins' operations, with their results.
    uint32_t play(int32_t track, int32_t fade_ms);
    uint32_t stop(int32_t fade_ms);
    uint32_t pause();
    uint32_t replay();
    uint32_t set_volume(int32_t volume);
    uint32_t volume() const { return uint32_t(volume_); }
    uint32_t is_playing() const { return playing_ && pause_count_ == 0 ? 1 : 0; }
    uint32_t position(int32_t mode) const;
    uint32_t length(int32_t track) const;
    uint32_t set_repeat(int32_t mode);
    uint32_t eject();

    // The fade timer's tick (window thread).
    void fade_tick();
    // The end of a track has been played (window thread); `generation`
    // names the track start it belongs to, so late news of an earlier one
    // is ignored.
    void track_ended(uint64_t generation);

    // The worker: decodes ahead. `ended` is the generation of a track whose
    // last frame has been played (reported once), else 0; `busy` while a
    // track still needs feeding or watching.
    struct FeedResult {
        uint64_t ended = 0;
        bool busy = false;
    };
    FeedResult feed();
    // The audio thread: stereo float in -1..1, gain applied.
    size_t render(float* stereo, size_t frames);

    const CdTable& table() const { return table_; }
    int32_t fade_level() const { return level_; }
    int current_track() const { return current_; }
    bool door_open() const { return door_open_; }

  private:
    // Starts `track` from its beginning (the player's "play from/to").
    bool start_track(int track);
    // Stops playback: clears playing, pauses and the current track.
    void halt();
    // What the end of a track leads to by repeat mode.
    void complete();
    // Kills the timer; true when a fade was running.
    bool cancel_fade();
    void apply_gain();
    void fill(uint64_t max_frames);

    Hooks hooks_;
    CdTable table_;
    bool playing_ = false;
    int pause_count_ = 0;
    int current_ = 0;
    int32_t repeat_ = 0;
    bool door_open_ = false;
    bool ended_while_paused_ = false;
    int32_t volume_ = 100;
    int32_t level_ = kFadeFull;
    int32_t step_ = 0;
    bool stop_after_fade_ = false;

    // The stream: the worker's share under `decoder_`.
    Mixer deck_;
    std::mutex decoder_;
    std::unique_ptr<SoundSource> source_;
    std::unique_ptr<StreamRing> ring_;
    bool feeding_ = false;
    uint64_t generation_ = 0;  // numbers the track attached (or the last stop)
    uint64_t reported_ = 0;
    std::atomic<bool> active_{false};
    std::atomic<float> gain_{1.0f};
};

// The worker thread of one player: it feeds the track, tells the window
// thread when a track's end has been played, and keeps the fade timer,
// whose ticks (like a platform timer's) are never queued twice.
class CdWorker {
  public:
    // `on_end(generation)` and `on_tick(timer)` are called on the worker
    // thread; they post the work to the window thread. A tick's `timer`
    // number tells whether its timer is still the one running.
    CdWorker(std::function<void(uint64_t)> on_end, std::function<void(uint64_t)> on_tick);
    ~CdWorker();
    void start(CdPlayer* player);
    void stop();
    void set_timer(uint32_t period_ms);
    void wake();
    // The window thread ran a tick of `timer`: the next may be queued.
    void tick_ran(uint64_t timer);
    uint64_t timer() const { return timer_.load(); }

  private:
    void loop();

    std::function<void(uint64_t)> on_end_, on_tick_;
    CdPlayer* player_ = nullptr;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool quit_ = false, woken_ = false;
    uint32_t period_ms_ = 0;
    std::chrono::steady_clock::time_point due_;
    std::atomic<uint64_t> timer_{0};
    std::atomic<bool> tick_pending_{false};
};

}  // namespace tob::media
