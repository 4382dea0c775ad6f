// The CD player's operations, its stream and its worker thread.
#include "media/cd_player.h"

#include <algorithm>
#include <limits>

namespace tob::media {
namespace {

// The one voice of the player's own mixer.
constexpr int kDeckVoice = 0;
// The worker's chunk, how much one pass may decode, and how often it looks
// at a playing track.
constexpr uint32_t kFeedChunk = 4096;
constexpr uint32_t kFeedChunksPerPass = 8;
constexpr auto kFeedPoll = std::chrono::milliseconds(10);
// A track rings two seconds; a start decodes half a second before it plays.
constexpr uint32_t kRingSeconds = 2;
constexpr uint32_t kPrefillDivisor = 2;

// Track starts and timers are numbered across every player and worker of
// the process, so that late news from a drive that was shut down can never
// pass for news of the next one.
uint64_t next_number() {
    static std::atomic<uint64_t> counter{0};
    return ++counter;
}

}  // namespace

uint64_t CdTable::total_seconds() const {
    uint64_t sum = 0;
    for (const CdTrack& t : tracks) sum += t.seconds;
    return sum;
}

uint32_t cd_position(const CdTable& table, int track, uint32_t pos, int32_t mode) {
    const CdTrack* current = table.track(track);
    if (!current) return 0;
    const int64_t left = int64_t(current->seconds) - int64_t(pos) - kTrackLeadSeconds;
    int64_t r = pos;
    switch (mode) {
        case 1:  // time left in the track
            r = left;
            break;
        case 2:  // time since the start of the disc
            for (int t = 1; t < track; ++t)
                if (table.track(t)->audio)
                    r += int64_t(table.track(t)->seconds) - kTrackLeadSeconds;
            break;
        case 3:  // time left on the disc
            r = left;
            for (int t = track + 1; t <= table.count(); ++t)
                if (table.track(t)->audio)
                    r += int64_t(table.track(t)->seconds) - kTrackLeadSeconds;
            break;
        default:
            break;
    }
    return uint32_t(std::clamp<int64_t>(r, 0, std::numeric_limits<uint32_t>::max()));
}

int next_cd_track(const CdTable& table, int track, int32_t mode) {
    const int n = table.count();
    if (mode == 2) {
        for (int t = track + 1; t <= n; ++t)
            if (table.track(t)->audio) return t;
        return 0;
    }
    if (mode == 3 && track >= 1 && track <= n) {
        // Around the disc once; back at the current track means there is
        // no other.
        for (int i = 1; i < n; ++i) {
            int t = (track - 1 + i) % n + 1;
            if (table.track(t)->audio) return t;
        }
    }
    return 0;
}

uint32_t fade_period_ms(int32_t fade_ms) {
    return std::max(uint32_t(std::max(fade_ms, 0) / kFadeTicks), kMinTimerMs);
}

// --- CdPlayer ---

CdPlayer::CdPlayer(uint32_t rate, Hooks hooks)
    : hooks_(std::move(hooks)), deck_(rate) {
    if (hooks_.read_table) table_ = hooks_.read_table();
    apply_gain();
}

CdPlayer::~CdPlayer() {
    halt();
}

void CdPlayer::apply_gain() {
    gain_ = float(level_) / float(kFadeFull) * float(volume_) / 100.0f;
}

bool CdPlayer::cancel_fade() {
    bool running = step_ != 0;
    if (running && hooks_.set_timer) hooks_.set_timer(0);
    step_ = 0;
    stop_after_fade_ = false;
    return running;
}

bool CdPlayer::start_track(int track) {
    const CdTrack* t = table_.track(track);
    if (door_open_ || !t || !t->audio || !hooks_.read_file) return false;
    auto file = hooks_.read_file(t->file);
    if (!file) return false;
    auto source = SoundSource::open(std::move(*file));
    if (!source) return false;
    // The voice lets go of the old ring before it is replaced.
    deck_.clear(kDeckVoice);
    uint32_t rate = source->rate();
    std::unique_ptr<SoundSource> old_source;
    std::unique_ptr<StreamRing> old_ring;
    {
        std::lock_guard lock(decoder_);
        old_source = std::move(source_);
        old_ring = std::move(ring_);
        ring_ = std::make_unique<StreamRing>(source->channels(), kRingSeconds * rate);
        source_ = std::move(source);
        feeding_ = true;
        generation_ = next_number();
        fill(rate / kPrefillDivisor);
    }
    deck_.play_stream(kDeckVoice, ring_.get(), rate);
    active_ = true;
    playing_ = true;
    pause_count_ = 0;
    current_ = track;
    ended_while_paused_ = false;
    if (hooks_.wake) hooks_.wake();
    return true;
}

void CdPlayer::halt() {
    active_ = false;
    deck_.clear(kDeckVoice);
    std::unique_ptr<SoundSource> old_source;
    std::unique_ptr<StreamRing> old_ring;
    {
        std::lock_guard lock(decoder_);
        old_source = std::move(source_);
        old_ring = std::move(ring_);
        feeding_ = false;
        generation_ = next_number();  // news of the track stopped is stale now
    }
    playing_ = false;
    pause_count_ = 0;
    current_ = 0;
    ended_while_paused_ = false;
}

uint32_t CdPlayer::play(int32_t track, int32_t fade_ms) {
    halt();
    cancel_fade();
    level_ = fade_ms > 0 ? 0 : kFadeFull;
    apply_gain();
    if (!start_track(track)) return 0;
    if (fade_ms > 0) {
        step_ = kFadeStep;
        if (hooks_.set_timer) hooks_.set_timer(fade_period_ms(fade_ms));
    }
    return 1;
}

uint32_t CdPlayer::stop(int32_t fade_ms) {
    if (!playing_) return 1;
    bool was_fading = cancel_fade();
    if (fade_ms > 0) {
        step_ = -kFadeStep;
        stop_after_fade_ = true;
        if (hooks_.set_timer) hooks_.set_timer(fade_period_ms(fade_ms));
        return 1;
    }
    halt();
    if (was_fading) {
        level_ = kFadeFull;
        apply_gain();
    }
    return 1;
}

uint32_t CdPlayer::pause() {
    if (pause_count_ >= 1) {
        ++pause_count_;
    } else if (playing_) {
        pause_count_ = 1;
        deck_.stop(kDeckVoice);
    }
    return 1;
}

uint32_t CdPlayer::replay() {
    if (pause_count_ == 0) return 1;
    if (--pause_count_ > 0 || !playing_) return 1;
    if (ended_while_paused_) {
        ended_while_paused_ = false;
        complete();
    } else {
        deck_.resume(kDeckVoice);
    }
    return 1;
}

uint32_t CdPlayer::set_volume(int32_t volume) {
    volume_ = std::clamp(volume, 0, 100);
    apply_gain();
    return 1;
}

uint32_t CdPlayer::position(int32_t mode) const {
    if (!playing_ || !source_) return 0;
    uint64_t seconds = deck_.position(kDeckVoice) / source_->rate();
    return cd_position(table_, current_, uint32_t(std::min<uint64_t>(seconds, UINT32_MAX)), mode);
}

uint32_t CdPlayer::length(int32_t track) const {
    if (track == 0) return uint32_t(std::min<uint64_t>(table_.total_seconds(), UINT32_MAX));
    const CdTrack* t = table_.track(track);
    return t ? t->seconds : 0;
}

uint32_t CdPlayer::set_repeat(int32_t mode) {
    return uint32_t(std::exchange(repeat_, mode));
}

uint32_t CdPlayer::eject() {
    door_open_ = !door_open_;
    if (door_open_) {
        halt();  // as when the disc is taken out
    } else if (hooks_.read_table) {
        table_ = hooks_.read_table();  // as when a disc arrives
    }
    return 1;
}

void CdPlayer::fade_tick() {
    if (step_ == 0) return;
    level_ = std::clamp(level_ + step_, 0, kFadeFull);
    apply_gain();
    if (level_ != 0 && level_ != kFadeFull) return;
    step_ = 0;
    if (hooks_.set_timer) hooks_.set_timer(0);
    if (stop_after_fade_) {
        stop_after_fade_ = false;
        halt();
        level_ = kFadeFull;
        apply_gain();
    }
}

void CdPlayer::track_ended(uint64_t generation) {
    if (!playing_ || generation != generation_) return;
    if (pause_count_ > 0) {
        ended_while_paused_ = true;
        return;
    }
    complete();
}

void CdPlayer::complete() {
    int next = 0;
    if (repeat_ == 1)
        next = current_;
    else if (repeat_ == 2 || repeat_ == 3)
        next = next_cd_track(table_, current_, repeat_);
    // Mode 0, and any mode without a meaning, stops.
    if (next == 0 || !start_track(next)) halt();
}

void CdPlayer::fill(uint64_t max_frames) {
    if (!source_ || !ring_ || !feeding_) return;
    uint64_t done = 0;
    while (done < max_frames) {
        uint32_t room = 0;
        int16_t* area = ring_->write_area(room);
        if (room == 0) return;
        uint32_t want = uint32_t(std::min<uint64_t>({room, kFeedChunk, max_frames - done}));
        size_t got = source_->read(area, want);
        if (got) ring_->commit(uint32_t(got));
        done += got;
        if (got < want) {
            // The end of the file, or a file that stopped decoding: either
            // way the track ends here.
            ring_->mark_end();
            feeding_ = false;
            return;
        }
    }
}

CdPlayer::FeedResult CdPlayer::feed() {
    std::lock_guard lock(decoder_);
    FeedResult r;
    if (!ring_) return r;
    fill(uint64_t(kFeedChunk) * kFeedChunksPerPass);
    uint64_t end = ring_->end();
    if (reported_ != generation_ && end != UINT64_MAX && ring_->consumed() >= end) {
        reported_ = generation_;
        r.ended = generation_;
    }
    r.busy = reported_ != generation_;
    return r;
}

size_t CdPlayer::render(float* stereo, size_t frames) {
    if (!active_.load(std::memory_order_relaxed)) return 0;
    deck_.render_float(stereo, frames);
    const float g = gain_.load(std::memory_order_relaxed) / 32768.0f;
    for (size_t i = 0; i < 2 * frames; ++i) stereo[i] *= g;
    return frames;
}

// --- CdWorker ---

CdWorker::CdWorker(std::function<void(uint64_t)> on_end, std::function<void(uint64_t)> on_tick)
    : on_end_(std::move(on_end)), on_tick_(std::move(on_tick)) {}

CdWorker::~CdWorker() {
    stop();
}

void CdWorker::start(CdPlayer* player) {
    stop();
    player_ = player;
    quit_ = false;
    thread_ = std::thread([this] { loop(); });
}

void CdWorker::stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void CdWorker::set_timer(uint32_t period_ms) {
    {
        std::lock_guard lock(mutex_);
        period_ms_ = period_ms;
        due_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(period_ms);
        timer_ = next_number();
        tick_pending_ = false;
        woken_ = true;
    }
    wake_.notify_all();
}

void CdWorker::wake() {
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    wake_.notify_all();
}

void CdWorker::tick_ran(uint64_t timer) {
    if (timer == timer_.load()) tick_pending_ = false;
}

void CdWorker::loop() {
    using clock = std::chrono::steady_clock;
    std::unique_lock lock(mutex_);
    while (!quit_) {
        woken_ = false;
        auto now = clock::now();
        if (period_ms_ && now >= due_) {
            // A tick the window thread has not taken yet is not queued again.
            if (!tick_pending_.exchange(true)) {
                uint64_t timer = timer_.load();
                lock.unlock();
                on_tick_(timer);
                lock.lock();
            }
            auto period = std::chrono::milliseconds(period_ms_);
            due_ += period;
            if (due_ <= now) due_ = now + period;
        }
        lock.unlock();
        CdPlayer::FeedResult fed = player_->feed();
        if (fed.ended) on_end_(fed.ended);
        lock.lock();
        if (quit_ || woken_) continue;
        auto until = clock::time_point::max();
        if (fed.busy) until = now + kFeedPoll;
        if (period_ms_) until = std::min(until, due_);
        auto ready = [this] { return quit_ || woken_; };
        if (until == clock::time_point::max())
            wake_.wait(lock, ready);
        else
            wake_.wait_until(lock, until, ready);
    }
}

}  // namespace tob::media
