// The mixer's voices, lines and the block loop. Each voice reads its source
// at its own rate with linear interpolation; the fast path runs over
// contiguous frames, the reference path takes one frame at a time through
// the general fetch, and both compute each sample by the same expression.
#include "media/mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace tob::media {
namespace {

constexpr uint64_t kOne = uint64_t(1) << 32;
constexpr float kFraction = 1.0f / 4294967296.0f;

// Adds `n` output frames interpolated from contiguous source frames `s`
// (frame 0 = the voice's position, fraction `frac`). Returns the advanced
// fixed-point offset from `s`.
template <int Channels>
uint64_t run(const int16_t* s, uint64_t at, uint64_t step, float* out, size_t n, float l, float r) {
    if (step == kOne && (at & (kOne - 1)) == 0) {
        const int16_t* p = s + (at >> 32) * Channels;
        for (size_t i = 0; i < n; ++i) {
            float a = p[i * Channels];
            float b = Channels == 2 ? float(p[i * Channels + 1]) : a;
            out[2 * i] += a * l;
            out[2 * i + 1] += b * r;
        }
        return at + n * kOne;
    }
    for (size_t i = 0; i < n; ++i) {
        const int16_t* p = s + (at >> 32) * Channels;
        float f = float(uint32_t(at)) * kFraction;
        float a0 = p[0], b0 = p[Channels];
        float left = a0 + (b0 - a0) * f;
        float right = left;
        if constexpr (Channels == 2) {
            float a1 = p[1], b1 = p[3];
            right = a1 + (b1 - a1) * f;
        }
        out[2 * i] += left * l;
        out[2 * i + 1] += right * r;
        at += step;
    }
    return at;
}

}  // namespace

float millibel_gain(int32_t mb) {
    if (mb <= -10000) return 0.0f;
    return float(std::pow(10.0, double(mb) / 2000.0));
}

// --- StreamRing ---

StreamRing::StreamRing(int channels, uint32_t capacity_frames)
    : channels_(channels),
      capacity_(std::max<uint32_t>(capacity_frames, 2)),
      buffer_(new int16_t[size_t(capacity_) * size_t(channels)]()) {}

int16_t* StreamRing::write_area(uint32_t& frames) {
    uint64_t w = written_.load(std::memory_order_relaxed);
    uint64_t r = read_.load(std::memory_order_acquire);
    uint64_t space = capacity_ - (w - r);
    uint64_t to_wrap = capacity_ - w % capacity_;
    frames = uint32_t(std::min(space, to_wrap));
    return buffer_.get() + size_t(w % capacity_) * size_t(channels_);
}

void StreamRing::commit(uint32_t frames) {
    written_.fetch_add(frames, std::memory_order_release);
}

void StreamRing::reset() {
    written_.store(0);
    read_.store(0);
    end_.store(UINT64_MAX);
}

// --- Mixer ---

Mixer::Mixer(uint32_t rate)
    : rate_(rate ? rate : 44100), scratch_(kMixBlock * 2), line_scratch_(kMixBlock * 2) {}

Mixer::~Mixer() = default;

void Mixer::set_step(Voice& v, uint32_t source_rate) {
    v.step = (uint64_t(source_rate) << 32) / rate_;
    if (v.step == 0) v.step = 1;
}

void Mixer::play_static(int v, std::shared_ptr<const SoundBuffer> sound, bool loop,
                        uint64_t start) {
    std::shared_ptr<const SoundBuffer> old;
    std::lock_guard lock(mutex_);
    Voice& x = voices_[size_t(v)];
    old = std::move(x.sound);
    x.ring = nullptr;
    x.sound = std::move(sound);
    x.channels = x.sound ? x.sound->channels : 1;
    x.loop = loop;
    x.pos = start;
    x.frac = 0;
    set_step(x, x.sound ? x.sound->rate : rate_);
    x.playing = x.sound && x.sound->frames() > start;
}

void Mixer::play_stream(int v, StreamRing* ring, uint32_t rate) {
    std::shared_ptr<const SoundBuffer> old;
    std::lock_guard lock(mutex_);
    Voice& x = voices_[size_t(v)];
    old = std::move(x.sound);
    x.ring = ring;
    x.channels = ring ? ring->channels() : 1;
    x.loop = false;
    x.pos = ring ? ring->consumed() : 0;
    x.frac = 0;
    set_step(x, rate);
    x.playing = ring != nullptr;
}

void Mixer::stop(int v) {
    std::lock_guard lock(mutex_);
    voices_[size_t(v)].playing = false;
}

void Mixer::resume(int v) {
    std::lock_guard lock(mutex_);
    Voice& x = voices_[size_t(v)];
    x.playing = x.sound != nullptr || x.ring != nullptr;
}

void Mixer::rewind(int v) {
    std::lock_guard lock(mutex_);
    Voice& x = voices_[size_t(v)];
    if (x.ring) return;  // a stream starts again only through play_stream
    x.pos = 0;
    x.frac = 0;
}

void Mixer::clear(int v) {
    std::shared_ptr<const SoundBuffer> old;
    std::unique_ptr<EffectChain> old_effects;
    {
        std::lock_guard lock(mutex_);
        Voice& x = voices_[size_t(v)];
        x.playing = false;
        old = std::move(x.sound);
        old_effects = std::move(x.effects);
        x.ring = nullptr;
        x.pos = 0;
        x.frac = 0;
        x.global = true;
        x.gain_l = x.gain_r = 1;
    }
}

bool Mixer::playing(int v) const {
    return voices_[size_t(v)].playing.load();
}

uint64_t Mixer::position(int v) const {
    std::lock_guard lock(mutex_);
    return voices_[size_t(v)].pos;
}

void Mixer::set_level(int v, int32_t volume_mb, int32_t pan_mb) {
    float g = millibel_gain(volume_mb);
    float l = g * (pan_mb > 0 ? millibel_gain(-pan_mb) : 1.0f);
    float r = g * (pan_mb < 0 ? millibel_gain(pan_mb) : 1.0f);
    std::lock_guard lock(mutex_);
    voices_[size_t(v)].gain_l = l;
    voices_[size_t(v)].gain_r = r;
}

void Mixer::set_global_focus(int v, bool global) {
    std::lock_guard lock(mutex_);
    voices_[size_t(v)].global = global;
}

std::unique_ptr<EffectChain> Mixer::set_effects(int v, std::unique_ptr<EffectChain> chain) {
    std::lock_guard lock(mutex_);
    std::swap(voices_[size_t(v)].effects, chain);
    return chain;
}

LineId Mixer::add_line(std::string name, LinePull pull) {
    std::lock_guard lock(mutex_);
    for (int i = 0; i < kMaxLines; ++i) {
        Line& l = lines_[size_t(i)];
        if (l.used) continue;
        l.name = std::move(name);
        l.pull = std::move(pull);
        l.gain = 1.0f;
        l.paused = false;
        l.used = true;
        return i;
    }
    return -1;
}

void Mixer::remove_line(LineId id) {
    if (id < 0 || id >= kMaxLines) return;
    LinePull old;
    std::lock_guard lock(mutex_);
    Line& l = lines_[size_t(id)];
    old = std::move(l.pull);
    l.pull = nullptr;
    l.used = false;
}

void Mixer::set_line_gain(LineId id, float gain) {
    if (id >= 0 && id < kMaxLines) lines_[size_t(id)].gain = gain;
}

void Mixer::set_line_paused(LineId id, bool paused) {
    if (id >= 0 && id < kMaxLines) lines_[size_t(id)].paused = paused;
}

// --- rendering ---

void Mixer::render(int16_t* out, size_t frames) {
    float block[kMixBlock * 2];
    while (frames > 0) {
        size_t n = std::min(frames, kMixBlock);
        render_float(block, n);
        for (size_t i = 0; i < 2 * n; ++i) {
            float x = block[i];
            // NaN compares false both ways and becomes silence.
            x = x > -32768.0f ? (x < 32767.0f ? x : 32767.0f) : (x == x ? -32768.0f : 0.0f);
            out[i] = int16_t(std::lrint(x));
        }
        out += 2 * n;
        frames -= n;
    }
}

void Mixer::render_float(float* out, size_t frames) {
#if defined(__SSE__)
    // Decaying feedback (echo, reverb) must not fall into slow denormals.
    struct FlushDenormals {
        unsigned saved = _mm_getcsr();
        FlushDenormals() { _mm_setcsr(saved | 0x8040); }
        ~FlushDenormals() { _mm_setcsr(saved); }
    } flush;
#endif
    std::lock_guard lock(mutex_);
    while (frames > 0) {
        size_t n = std::min(frames, kMixBlock);
        std::fill(out, out + 2 * n, 0.0f);
        mix_block(out, n);
        out += 2 * n;
        frames -= n;
    }
}

void Mixer::mix_block(float* out, size_t frames) {
    bool active = app_active_.load(std::memory_order_relaxed);
    for (Voice& v : voices_) {
        if (!v.playing.load(std::memory_order_relaxed)) continue;
        bool audible = active || v.global;
        float l = audible ? v.gain_l : 0.0f, r = audible ? v.gain_r : 0.0f;
        bool alive;
        if (v.effects) {
            std::fill(scratch_.begin(), scratch_.begin() + 2 * frames, 0.0f);
            alive = mix_voice(v, scratch_.data(), frames, 1.0f, 1.0f);
            v.effects->process(scratch_.data(), frames);
            for (size_t i = 0; i < frames; ++i) {
                out[2 * i] += scratch_[2 * i] * l;
                out[2 * i + 1] += scratch_[2 * i + 1] * r;
            }
        } else {
            alive = mix_voice(v, out, frames, l, r);
        }
        if (!alive) {
            v.playing = false;
            if (!v.ring) v.pos = v.frac = 0;
        }
    }
    for (Line& line : lines_) {
        if (!line.used || !line.pull || line.paused.load(std::memory_order_relaxed)) continue;
        size_t got = std::min(line.pull(line_scratch_.data(), frames), frames);
        float g = line.gain.load(std::memory_order_relaxed) * 32768.0f;
        for (size_t i = 0; i < 2 * got; ++i) out[i] += line_scratch_[i] * g;
    }
}

const int16_t* Mixer::fetch(const Voice& v, uint64_t k, bool& beyond_end, bool& starved) const {
    beyond_end = starved = false;
    if (v.sound) {
        uint64_t n = v.sound->frames();
        if (n == 0) {
            beyond_end = true;
            return nullptr;
        }
        if (k >= n) {
            if (!v.loop) {
                beyond_end = true;
                return nullptr;
            }
            k %= n;
        }
        return v.sound->samples.data() + k * uint64_t(v.channels);
    }
    if (!v.ring || k >= v.ring->end()) {
        beyond_end = true;
        return nullptr;
    }
    if (k >= v.ring->written()) {
        starved = true;
        return nullptr;
    }
    return v.ring->frame(k);
}

bool Mixer::mix_voice(Voice& v, float* out, size_t frames, float l, float r) {
    bool ended = false;
    if (path_ == MixPath::Fast)
        mix_fast(v, out, frames, l, r, ended);
    else
        mix_reference(v, out, frames, l, r, ended);
    if (v.ring) v.ring->set_consumed(v.pos);
    return !ended;
}

// One frame at a time: the behaviour every faster path must match.
size_t Mixer::mix_reference(Voice& v, float* out, size_t frames, float l, float r, bool& ended) {
    static const int16_t kSilence[2] = {0, 0};
    size_t i = 0;
    for (; i < frames; ++i) {
        bool beyond = false, starved = false;
        const int16_t* a = fetch(v, v.pos, beyond, starved);
        if (beyond) {
            ended = true;
            break;
        }
        if (starved) break;
        const int16_t* b = fetch(v, v.pos + 1, beyond, starved);
        if (starved) break;
        if (!b) b = kSilence;
        float f = float(v.frac) * kFraction;
        float a0 = a[0], b0 = b[0];
        float left = a0 + (b0 - a0) * f;
        float right = left;
        if (v.channels == 2) {
            float a1 = a[1], b1 = b[1];
            right = a1 + (b1 - a1) * f;
        }
        out[2 * i] += left * l;
        out[2 * i + 1] += right * r;
        uint64_t at = uint64_t(v.frac) + (v.step & (kOne - 1));
        v.pos += (v.step >> 32) + (at >> 32);
        v.frac = uint32_t(at);
        if (v.sound && v.loop && v.sound->frames()) v.pos %= v.sound->frames();
    }
    return i;
}

// Runs over contiguous frames; each edge (end, loop, ring wrap, starving)
// goes through one reference step.
size_t Mixer::mix_fast(Voice& v, float* out, size_t frames, float l, float r, bool& ended) {
    size_t i = 0;
    while (i < frames && !ended) {
        // Frames from `base` up to `limit` (exclusive) lie contiguous at `s`.
        const int16_t* s = nullptr;
        uint64_t base = 0, limit = 0;
        if (v.sound) {
            limit = v.sound->frames();
            s = v.sound->samples.data();
        } else if (v.ring) {
            uint64_t cap = v.ring->capacity();
            base = v.pos - v.pos % cap;
            limit = std::min({v.ring->written(), v.ring->end(), base + cap});
            s = v.ring->frame(base);
        }
        if (s && v.pos + 1 < limit) {
            uint64_t room = std::min<uint64_t>(limit - 1 - v.pos, uint64_t(1) << 30);
            uint64_t distance = (room << 32) - v.frac;
            uint64_t n = std::min<uint64_t>(frames - i, (distance + v.step - 1) / v.step);
            uint64_t at0 = ((v.pos - base) << 32) | v.frac;
            uint64_t at = v.channels == 2 ? run<2>(s, at0, v.step, out + 2 * i, size_t(n), l, r)
                                          : run<1>(s, at0, v.step, out + 2 * i, size_t(n), l, r);
            v.pos = base + (at >> 32);
            v.frac = uint32_t(at);
            i += size_t(n);
            if (i >= frames) break;
        }
        size_t one = mix_reference(v, out + 2 * i, 1, l, r, ended);
        if (one == 0) break;
        i += one;
    }
    return i;
}

}  // namespace tob::media
