// The sound channels' operations and the feeder thread.
#include "media/sound_channels.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace tob::media {
namespace {

// The feeder's chunk and how much one pass may decode for one channel, so
// that the decoder lock is never held for long.
constexpr uint32_t kFeedChunk = 4096;
constexpr uint32_t kFeedChunksPerPass = 8;
constexpr auto kFeederPoll = std::chrono::milliseconds(10);
// A stream rings two seconds; play decodes half a second before starting.
constexpr uint32_t kRingSeconds = 2;
constexpr uint32_t kPrefillDivisor = 2;
constexpr float kMillibelScale = 33.22f;  // single precision on purpose

uint64_t frames_of_ms(uint32_t rate, int64_t ms) {
    return uint64_t(rate) * uint64_t(ms) / 1000;
}

}  // namespace

int32_t linear_to_millibel(double f) {
    if (f < 0.002) return -10000;
    return int32_t(std::trunc(std::log10(f) * 3322.0));
}

double millibel_to_linear(int32_t mb) {
    if (mb < -9999) return 0.0;
    return std::pow(10.0, double(mb) / double(kMillibelScale) / 100.0);
}

SoundChannels::SoundChannels(Mixer* mixer, SoundFileReader reader,
                             std::function<bool()> global_sound)
    : mixer_(mixer), reader_(std::move(reader)), global_sound_(std::move(global_sound)) {
    if (mixer_) feeder_ = std::thread([this] { feeder_loop(); });
}

SoundChannels::~SoundChannels() {
    free_all();
    stop_feeder();
}

void SoundChannels::stop_feeder() {
    if (!feeder_.joinable()) return;
    {
        std::lock_guard lock(feeder_mutex_);
        feeder_quit_ = true;
    }
    feeder_wake_.notify_all();
    feeder_.join();
}

uint32_t SoundChannels::each(int ch, const std::function<uint32_t(int)>& op) {
    if (ch == kAllChannels) {
        uint32_t all = 1;
        for (int i = 0; i < kSoundChannels; ++i)
            if (op(i) != 1) all = 0;
        return all;
    }
    if (!valid(ch)) return 0;
    return op(ch);
}

uint32_t SoundChannels::load(int ch, std::string_view name, bool streamed) {
    if (!valid(ch)) return 0;
    free_one(ch);
    if (!mixer_) return 0;
    auto file = reader_(name);
    if (!file) return 0;
    auto source = SoundSource::open(std::move(*file));
    if (!source) return 0;
    Channel& c = channels_[size_t(ch)];
    c.rate = source->rate();
    c.channels = source->channels();
    if (!streamed) {
        uint64_t margin = frames_of_ms(c.rate, margin_ms_);
        uint64_t frames = source->frames() + margin;
        uint64_t bytes = frames * uint64_t(c.channels) * uint64_t(source->bits() / 8);
        if (frames == 0 || bytes > kMaxDecodedBytes) return 0;
        auto sound = std::make_shared<SoundBuffer>();
        sound->channels = c.channels;
        sound->rate = c.rate;
        sound->samples.assign(size_t(frames) * size_t(c.channels), 0);
        // What the decoder cannot deliver stays silence, as does the margin.
        source->read(sound->samples.data(), size_t(source->frames()));
        c.sound = std::move(sound);
        c.frames = frames;
    } else {
        c.frames = source->frames();
        std::lock_guard lock(c.decoder);
        c.ring = std::make_unique<StreamRing>(c.channels, kRingSeconds * c.rate);
        c.source = std::move(source);
        c.start_frame = c.loop_start = 0;
    }
    c.name = std::string(name);
    c.loaded = true;
    c.streamed = streamed;
    c.volume_mb = c.pan_mb = 0;
    c.effect_bits = 0;
    c.loop_on_replay = streamed ? 1 : 0;
    mixer_->set_level(ch, 0, 0);
    mixer_->set_global_focus(ch, global_sound_ ? global_sound_() : true);
    return 1;
}

uint32_t SoundChannels::free(int ch) {
    return each(ch, [this](int i) { return free_one(i); });
}

uint32_t SoundChannels::free_one(int ch) {
    Channel& c = channels_[size_t(ch)];
    if (mixer_) mixer_->clear(ch);
    c.feeding = false;
    std::unique_ptr<SoundSource> source;
    std::unique_ptr<StreamRing> ring;
    {
        std::lock_guard lock(c.decoder);
        source = std::move(c.source);
        ring = std::move(c.ring);
    }
    c.sound.reset();
    c.name.clear();
    c.loaded = c.streamed = false;
    c.loop_on_replay = c.pause_count = 0;
    c.volume_mb = c.pan_mb = 0;
    c.effect_bits = 0;
    c.frames = 0;
    c.start_frame = c.loop_start = 0;
    return 1;
}

void SoundChannels::free_all() {
    for (int i = 0; i < kSoundChannels; ++i) free_one(i);
}

void SoundChannels::apply_effects(int ch) {
    Channel& c = channels_[size_t(ch)];
    std::unique_ptr<EffectChain> chain;
    bool long_enough = c.streamed || (c.rate && c.frames * 1000 / c.rate >= kMinEffectMs);
    if (c.effect_bits && long_enough)
        chain = make_effect_chain(c.effect_bits, c.effect_words, mixer_->rate());
    chain = mixer_->set_effects(ch, std::move(chain));
}

uint32_t SoundChannels::play(int ch, int32_t loop) {
    if (!valid(ch)) return 0;
    Channel& c = channels_[size_t(ch)];
    if (!c.loaded || !mixer_) return 0;
    c.pause_count = 0;
    mixer_->stop(ch);
    if (!c.streamed) {
        c.loop_on_replay = loop;
        apply_effects(ch);
        mixer_->play_static(ch, c.sound, loop != 0);
        return 1;
    }
    c.feeding = false;
    {
        std::lock_guard lock(c.decoder);
        if (!c.source || !c.ring) return 0;
        // Every play starts at the start offset, whatever played before.
        if (c.start_frame < c.source->frames()) c.source->seek(c.start_frame);
        c.ring->reset();
        c.stream_loop = loop != 0;
        c.after_wrap = false;
        c.loop_on_replay = 1;
        c.feeding = true;
        fill(c, c.rate / kPrefillDivisor);
    }
    apply_effects(ch);
    mixer_->play_stream(ch, c.ring.get(), c.rate);
    feeder_wake_.notify_all();
    return 1;
}

uint32_t SoundChannels::stop(int ch) {
    return each(ch, [this](int i) { return stop_one(i); });
}

uint32_t SoundChannels::stop_one(int ch) {
    if (!mixer_ || !channels_[size_t(ch)].loaded) return 1;
    if (mixer_->playing(ch)) {
        mixer_->stop(ch);
        mixer_->rewind(ch);
    }
    return 1;
}

uint32_t SoundChannels::pause(int ch) {
    return each(ch, [this](int i) { return pause_one(i); });
}

uint32_t SoundChannels::pause_one(int ch) {
    Channel& c = channels_[size_t(ch)];
    if (!mixer_ || !c.loaded) return 1;
    if (c.pause_count >= 1) {
        ++c.pause_count;
    } else if (mixer_->playing(ch)) {
        c.pause_count = 1;
        mixer_->stop(ch);
    }
    return 1;
}

uint32_t SoundChannels::replay(int ch) {
    return each(ch, [this](int i) { return replay_one(i); });
}

uint32_t SoundChannels::replay_one(int ch) {
    Channel& c = channels_[size_t(ch)];
    if (!mixer_ || !c.loaded || c.pause_count == 0) return 1;
    if (--c.pause_count == 0) mixer_->resume(ch);
    return 1;
}

uint32_t SoundChannels::set_volume(int ch, int32_t volume) {
    int32_t v = std::clamp(volume, 0, 100);
    return each(ch, [this, v](int i) -> uint32_t {
        Channel& c = channels_[size_t(i)];
        if (!c.loaded) return 0;
        c.volume_mb = linear_to_millibel(double(v) / 100.0);
        mixer_->set_level(i, c.volume_mb, c.pan_mb);
        return 1;
    });
}

uint32_t SoundChannels::volume(int ch) const {
    if (!valid(ch) || !channels_[size_t(ch)].loaded) return 0;
    return uint32_t(int32_t(millibel_to_linear(channels_[size_t(ch)].volume_mb) * 100.0));
}

uint32_t SoundChannels::set_pan(int ch, int32_t pan) {
    int32_t p = std::clamp(pan, -100, 100);
    return each(ch, [this, p](int i) -> uint32_t {
        Channel& c = channels_[size_t(i)];
        if (!c.loaded) return 0;
        int32_t m = linear_to_millibel(1.0 - double(std::abs(p)) / 100.0);
        c.pan_mb = p <= 0 ? m : -m;
        mixer_->set_level(i, c.volume_mb, c.pan_mb);
        return 1;
    });
}

uint32_t SoundChannels::pan(int ch) const {
    if (!valid(ch) || !channels_[size_t(ch)].loaded) return 0;
    int32_t p = channels_[size_t(ch)].pan_mb;
    int32_t r = int32_t((1.0 - millibel_to_linear(-std::abs(p))) * 100.0);
    return uint32_t(p < 0 ? -r : r);
}

uint32_t SoundChannels::is_playing(int ch) const {
    if (!valid(ch) || !channels_[size_t(ch)].loaded || !mixer_) return 0;
    return mixer_->playing(ch) ? 1 : 0;
}

uint32_t SoundChannels::set_loop(int ch, int32_t ms) {
    if (!valid(ch)) return 0;
    Channel& c = channels_[size_t(ch)];
    if (!c.loaded || !c.streamed) return 0;
    if (ms >= 0) {
        uint64_t frame = frames_of_ms(c.rate, ms);
        std::lock_guard lock(c.decoder);
        if (frame < c.frames) c.loop_start = frame;
    }
    return 1;
}

uint32_t SoundChannels::set_position(int ch, int32_t ms) {
    if (!valid(ch)) return 0;
    Channel& c = channels_[size_t(ch)];
    if (!c.loaded || !c.streamed || mixer_->playing(ch)) return 0;
    // Taken at the next play: a paused stream resumes where it paused.
    if (ms >= 0) {
        uint64_t frame = frames_of_ms(c.rate, ms);
        if (frame < c.frames) c.start_frame = frame;
    }
    return 1;
}

uint32_t SoundChannels::position(int ch) const {
    if (!valid(ch)) return 0;
    const Channel& c = channels_[size_t(ch)];
    if (!c.loaded || !c.streamed || !mixer_->playing(ch) || c.rate == 0) return 0;
    uint64_t at = c.start_frame + mixer_->position(ch);
    if (at >= c.frames && c.frames > c.loop_start)
        at = c.loop_start + (at - c.loop_start) % (c.frames - c.loop_start);
    return uint32_t(at * 1000 / c.rate);
}

uint32_t SoundChannels::length(int ch) const {
    if (!valid(ch)) return 0;
    const Channel& c = channels_[size_t(ch)];
    if (!c.loaded || !c.streamed || !c.source) return 0;
    return uint32_t(c.source->length_ms());
}

uint32_t SoundChannels::text(int ch, uint8_t* buffer) const {
    if (!valid(ch)) return 0;
    const Channel& c = channels_[size_t(ch)];
    if (!c.loaded || !c.streamed || !c.source || c.source->codec() != SoundCodec::Vorbis) return 0;
    buffer[0] = 0;
    auto comment = c.source->comment();
    if (!comment) return 0;
    size_t n = std::min(comment->size(), kCommentBytes - 1);
    std::memcpy(buffer, comment->data(), n);
    buffer[n] = 0;
    return 1;
}

uint32_t SoundChannels::set_margin(int32_t ms) {
    margin_ms_ = std::clamp(ms, 0, kMaxMarginMs);
    return 1;
}

uint32_t SoundChannels::set_effect(int ch, Effect e,
                                   std::optional<std::span<const uint32_t>> words) {
    if (!valid(ch)) return 0;
    Channel& c = channels_[size_t(ch)];
    if (!c.loaded) return 0;
    uint32_t bit = 1u << int(e);
    if (!words) {
        c.effect_bits &= ~bit;
        return 1;
    }
    size_t n = std::min(words->size(), size_t(kEffectWords[size_t(e)]));
    std::copy_n(words->begin(), n, c.effect_words.begin() + kEffectOffset[size_t(e)]);
    c.effect_bits |= bit;
    return 1;
}

void SoundChannels::fill(Channel& c, uint64_t max_frames) {
    if (!c.source || !c.ring || !c.feeding) return;
    uint64_t done = 0;
    while (done < max_frames) {
        uint32_t room = 0;
        int16_t* area = c.ring->write_area(room);
        if (room == 0) return;
        uint32_t want = uint32_t(std::min<uint64_t>({room, kFeedChunk, max_frames - done}));
        size_t got = c.source->read(area, want);
        if (got) {
            c.ring->commit(uint32_t(got));
            c.after_wrap = false;
            done += got;
        }
        if (got < want) {
            // After the last sample comes the loop start, unless the loop
            // region gives nothing at all.
            if (c.stream_loop && !(got == 0 && c.after_wrap) &&
                c.source->seek(std::min(c.loop_start, c.source->frames()))) {
                c.after_wrap = true;
                continue;
            }
            c.ring->mark_end();
            c.feeding = false;
            return;
        }
    }
}

void SoundChannels::feeder_loop() {
    std::unique_lock lock(feeder_mutex_);
    while (!feeder_quit_) {
        lock.unlock();
        for (Channel& c : channels_) {
            if (!c.feeding.load()) continue;
            std::lock_guard decoder(c.decoder);
            fill(c, uint64_t(kFeedChunk) * kFeedChunksPerPass);
        }
        lock.lock();
        feeder_wake_.wait_for(lock, kFeederPoll);
    }
}

}  // namespace tob::media
