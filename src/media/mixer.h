// The mixer: 64 channel voices and a few named lines, mixed in stereo float
// (in units of 16-bit samples) and clamped to 16 bits at the end, without
// headroom. The audio callback calls `render`; everything else runs on the
// window thread and only holds the mixer's lock for a few assignments, so
// decoding, allocation and freeing never happen inside the callback.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tob::media {

inline constexpr int kVoices = 64;
inline constexpr int kMaxLines = 8;
// The largest block rendered in one go; longer requests are split.
inline constexpr size_t kMixBlock = 1024;

// A sound decoded whole: interleaved 16-bit samples at its own rate.
struct SoundBuffer {
    std::vector<int16_t> samples;
    int channels = 1;
    uint32_t rate = 44100;
    uint64_t frames() const { return samples.size() / size_t(channels); }
};

// Frames decoded ahead by a feeder thread for one streamed voice: one
// producer (the feeder), one consumer (the mixer). Positions are counts of
// frames since the stream started, so they never wrap.
class StreamRing {
  public:
    StreamRing(int channels, uint32_t capacity_frames);
    int channels() const { return channels_; }
    uint32_t capacity() const { return capacity_; }
    // Producer side. Where the next frames go, and how many fit there
    // before the ring wraps or reaches unread frames.
    int16_t* write_area(uint32_t& frames);
    void commit(uint32_t frames);
    // No frame follows the ones written so far.
    void mark_end() { end_.store(written_.load()); }
    // Both sides stopped: forget everything.
    void reset();

    uint64_t written() const { return written_.load(std::memory_order_acquire); }
    uint64_t end() const { return end_.load(std::memory_order_acquire); }
    uint64_t consumed() const { return read_.load(std::memory_order_acquire); }
    // Consumer side.
    const int16_t* frame(uint64_t index) const {
        return buffer_.get() + size_t(index % capacity_) * size_t(channels_);
    }
    void set_consumed(uint64_t index) { read_.store(index, std::memory_order_release); }

  private:
    int channels_;
    uint32_t capacity_;
    std::unique_ptr<int16_t[]> buffer_;
    std::atomic<uint64_t> written_{0}, read_{0}, end_{UINT64_MAX};
};

// Effects run on a voice's stereo signal at the mixer's rate, before volume
// and pan (effects.h builds them).
class EffectChain {
  public:
    virtual ~EffectChain() = default;
    virtual void process(float* stereo, size_t frames) = 0;
};

// A line: something outside the 64 channels that renders into the mix
// (MIDI music, CD tracks, the sound of a video). The mixer pulls stereo
// float frames in -1..1 at its own rate from the audio callback: the pull
// must not block, allocate or decode; it returns how many frames it wrote
// (fewer: the rest is silence).
using LinePull = std::function<size_t(float* stereo, size_t frames)>;
using LineId = int;

// How a voice reads its source: the plain reference (one frame at a time
// through the general fetch) or the fast path (runs over contiguous frames).
enum class MixPath { Reference, Fast };

class Mixer {
  public:
    explicit Mixer(uint32_t rate);
    ~Mixer();
    uint32_t rate() const { return rate_; }

    // The audio callback: interleaved 16-bit stereo.
    void render(int16_t* out, size_t frames);
    // The same before clamping (tests and benchmarks).
    void render_float(float* out, size_t frames);
    void set_path(MixPath path) { path_ = path; }

    // --- voices (0..63), window thread ---
    // Starts a static sound from frame `start`, looping over the whole buffer.
    void play_static(int v, std::shared_ptr<const SoundBuffer> sound, bool loop,
                     uint64_t start = 0);
    // Starts a stream from the frame the ring holds first.
    void play_stream(int v, StreamRing* ring, uint32_t rate);
    // Stops without moving; `resume` continues.
    void stop(int v);
    void resume(int v);
    void rewind(int v);
    // Detaches the sound and the effects (the caller may free them after).
    void clear(int v);
    bool playing(int v) const;
    // Frames of the source mixed so far (static: the position in the buffer).
    uint64_t position(int v) const;
    // Gains from millibels (-10000 = silence); pan lowers only the opposite side.
    void set_level(int v, int32_t volume_mb, int32_t pan_mb);
    // Voices without global focus are silent (though running) while the
    // application is inactive.
    void set_global_focus(int v, bool global);
    void set_application_active(bool active) { app_active_.store(active); }
    // Installs an effect chain (or none); the previous one is handed back
    // to be freed outside the lock.
    std::unique_ptr<EffectChain> set_effects(int v, std::unique_ptr<EffectChain> chain);

    // --- lines ---
    // -1 when every line is taken.
    LineId add_line(std::string name, LinePull pull);
    void remove_line(LineId id);
    void set_line_gain(LineId id, float gain);
    void set_line_paused(LineId id, bool paused);

  private:
    struct Voice {
        std::shared_ptr<const SoundBuffer> sound;
        StreamRing* ring = nullptr;
        int channels = 1;
        bool loop = false;
        std::atomic<bool> playing{false};
        uint64_t pos = 0;   // source frame
        uint32_t frac = 0;  // fraction of a frame, 0.32
        uint64_t step = 0;  // source frames per output frame, 32.32
        float gain_l = 1, gain_r = 1;
        bool global = true;
        std::unique_ptr<EffectChain> effects;
    };
    struct Line {
        std::string name;
        LinePull pull;
        bool used = false;
        std::atomic<float> gain{1.0f};
        std::atomic<bool> paused{false};
    };

    void mix_block(float* out, size_t frames);
    // Adds the voice's next `frames` frames to `out` with gains l, r; false
    // when the voice ended.
    bool mix_voice(Voice& v, float* out, size_t frames, float l, float r);
    size_t mix_reference(Voice& v, float* out, size_t frames, float l, float r, bool& ended);
    size_t mix_fast(Voice& v, float* out, size_t frames, float l, float r, bool& ended);
    // Frame k of a voice's source after the position rules (loop, end,
    // ring); nullptr for silence, and `ended` / `starved` say why.
    const int16_t* fetch(const Voice& v, uint64_t k, bool& beyond_end, bool& starved) const;
    void set_step(Voice& v, uint32_t source_rate);

    uint32_t rate_;
    mutable std::mutex mutex_;
    std::array<Voice, kVoices> voices_;
    std::array<Line, kMaxLines> lines_;
    std::atomic<bool> app_active_{true};
    MixPath path_ = MixPath::Fast;
    std::vector<float> scratch_, line_scratch_;
};

// Millibels to a linear gain: 10^(mB / 2000); -10000 and below is silence.
float millibel_gain(int32_t mb);

}  // namespace tob::media
