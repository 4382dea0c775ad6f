// The effects' DSP. Signals are stereo float in units of 16-bit samples
// (full scale 32768). Every effect's state is allocated when the chain is
// built, never while processing.
#include "media/effects.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>
#include <vector>

namespace tob::media {
namespace {

constexpr float kFullScale = 32768.0f;
constexpr double kPi = std::numbers::pi;

// The parameter table: one row per word, in record order.
constexpr EffectParam kChorus[] = {{"wet/dry mix", false, 0, 100, 50},
                                   {"depth", false, 0, 100, 10},
                                   {"feedback", false, -99, 99, 25},
                                   {"frequency", false, 0, 10, 1.1f},
                                   {"waveform", true, 0, 1, 1},
                                   {"delay", false, 0, 20, 16},
                                   {"phase", true, 0, 4, 3}};
constexpr EffectParam kCompressor[] = {
    {"gain", false, -60, 60, 0},       {"attack", false, 0.01f, 500, 10},
    {"release", false, 50, 3000, 200}, {"threshold", false, -60, 0, -20},
    {"ratio", false, 1, 100, 3},       {"predelay", false, 0, 4, 4}};
constexpr EffectParam kDistortion[] = {{"gain", false, -60, 0, -18},
                                       {"edge", false, 0, 100, 15},
                                       {"post-EQ centre", false, 100, 8000, 2400},
                                       {"post-EQ bandwidth", false, 100, 8000, 2400},
                                       {"pre-lowpass cutoff", false, 100, 8000, 8000}};
constexpr EffectParam kEcho[] = {{"wet/dry mix", false, 0, 100, 50},
                                 {"feedback", false, 0, 100, 50},
                                 {"left delay", false, 1, 2000, 500},
                                 {"right delay", false, 1, 2000, 500},
                                 {"pan delay", true, 0, 1, 0}};
constexpr EffectParam kFlanger[] = {{"wet/dry mix", false, 0, 100, 50},
                                    {"depth", false, 0, 100, 100},
                                    {"feedback", false, -99, 99, -50},
                                    {"frequency", false, 0, 10, 0.25f},
                                    {"waveform", true, 0, 1, 1},
                                    {"delay", false, 0, 4, 2},
                                    {"phase", true, 0, 4, 2}};
constexpr EffectParam kGargle[] = {{"rate", true, 1, 1000, 20}, {"wave shape", true, 0, 1, 0}};
constexpr EffectParam kParamEq[] = {{"centre", false, 80, 16000, 8000},
                                    {"bandwidth", false, 1, 36, 12},
                                    {"gain", false, -15, 15, 0}};
constexpr EffectParam kReverb[] = {{"input gain", false, -96, 0, 0},
                                   {"reverb mix", false, -96, 0, 0},
                                   {"reverb time", false, 0.001f, 3000, 1000},
                                   {"high-frequency ratio", false, 0.001f, 0.999f, 0.001f}};

float db_gain(double db) {
    return float(std::pow(10.0, db / 20.0));
}

// A delay line read at fractional delays (in frames), one per channel.
class DelayLine {
  public:
    DelayLine() : DelayLine(1) {}
    explicit DelayLine(size_t max_delay) : buffer_(std::bit_ceil(max_delay + 4)) {
        mask_ = buffer_.size() - 1;
    }
    void push(float x) {
        write_ = (write_ + 1) & mask_;
        buffer_[write_] = x;
    }
    // The sample pushed `delay` frames ago (1 = the last one).
    float read(float delay) const {
        size_t whole = size_t(delay);
        float f = delay - float(whole);
        float a = buffer_[(write_ - whole + 1) & mask_];
        float b = buffer_[(write_ - whole) & mask_];
        return a + (b - a) * f;
    }
    float read_whole(size_t delay) const { return buffer_[(write_ - delay + 1) & mask_]; }
    float* data() { return buffer_.data(); }
    size_t mask() const { return mask_; }
    size_t write_index() const { return write_; }
    void set_write_index(size_t w) { write_ = w; }

  private:
    std::vector<float> buffer_;
    size_t mask_ = 0, write_ = 0;
};

// A biquad section (direct form I), one state per channel.
struct Biquad {
    float b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    float x1[2] = {}, x2[2] = {}, y1[2] = {}, y2[2] = {};
    float step(int c, float x) {
        float y = b0 * x + b1 * x1[c] + b2 * x2[c] - a1 * y1[c] - a2 * y2[c];
        x2[c] = x1[c];
        x1[c] = x;
        y2[c] = y1[c];
        y1[c] = y;
        return y;
    }
    void normalise(double B0, double B1, double B2, double A0, double A1, double A2) {
        b0 = float(B0 / A0), b1 = float(B1 / A0), b2 = float(B2 / A0);
        a1 = float(A1 / A0), a2 = float(A2 / A0);
    }
};

double limit_frequency(double f, uint32_t rate) {
    return std::min(f, 0.45 * rate);
}

// Triangle (0) or sine (1) in -1..1 at phase p (turns).
float lfo(int waveform, double p) {
    p -= std::floor(p);
    if (waveform == 0) return float(p < 0.5 ? 4 * p - 1 : 3 - 4 * p);
    return float(std::sin(2 * kPi * p));
}

// Chorus and flanger: a delay swept by an oscillator, with feedback.
class Modulation final : public EffectChain {
  public:
    Modulation(std::span<const float> v, uint32_t rate, float max_delay_ms)
        : mix_(v[0] / 100),
          depth_(v[1] / 100),
          feedback_(v[2] / 100),
          increment_(double(v[3]) / rate),
          waveform_(int(v[4])),
          centre_(std::max(1.0f, v[5] * rate / 1000)),
          phase_offset_((int(v[6]) - 2) * 0.25),
          left_(size_t(max_delay_ms * rate / 1000 * 2) + 8),
          right_(size_t(max_delay_ms * rate / 1000 * 2) + 8) {}

    void process(float* s, size_t frames) override {
        for (size_t i = 0; i < frames; ++i) {
            float dl = centre_ * (1 + 0.5f * depth_ * lfo(waveform_, phase_)) + 1;
            float dr = centre_ * (1 + 0.5f * depth_ * lfo(waveform_, phase_ + phase_offset_)) + 1;
            float wl = left_.read(dl), wr = right_.read(dr);
            left_.push(s[2 * i] + feedback_ * wl);
            right_.push(s[2 * i + 1] + feedback_ * wr);
            s[2 * i] = s[2 * i] * (1 - mix_) + wl * mix_;
            s[2 * i + 1] = s[2 * i + 1] * (1 - mix_) + wr * mix_;
            phase_ += increment_;
            if (phase_ >= 1) phase_ -= 1;
        }
    }

  private:
    float mix_, depth_, feedback_;
    double increment_;
    int waveform_;
    float centre_;
    double phase_offset_, phase_ = 0;
    DelayLine left_, right_;
};

// Feed-forward compressor on the louder side's peak, with look-ahead.
class Compressor final : public EffectChain {
  public:
    Compressor(std::span<const float> v, uint32_t rate)
        : gain_db_(v[0]),
          attack_(float(std::exp(-1.0 / (std::max(0.01f, v[1]) * rate / 1000.0)))),
          release_(float(std::exp(-1.0 / (v[2] * rate / 1000.0)))),
          threshold_db_(v[3]),
          slope_(1 - 1 / v[4]),
          delay_(size_t(v[5] * rate / 1000)),
          left_(delay_ + 2),
          right_(delay_ + 2) {}

    void process(float* s, size_t frames) override {
        for (size_t i = 0; i < frames; ++i) {
            float level = std::max(std::fabs(s[2 * i]), std::fabs(s[2 * i + 1])) / kFullScale;
            float k = level > envelope_ ? attack_ : release_;
            envelope_ = level + k * (envelope_ - level);
            float env_db = envelope_ > 1e-9f ? 20 * std::log10(envelope_) : -180;
            float reduction = env_db > threshold_db_ ? (threshold_db_ - env_db) * slope_ : 0;
            float g = db_gain(reduction + gain_db_);
            left_.push(s[2 * i]);
            right_.push(s[2 * i + 1]);
            s[2 * i] = left_.read_whole(delay_ + 1) * g;
            s[2 * i + 1] = right_.read_whole(delay_ + 1) * g;
        }
    }

  private:
    float gain_db_, attack_, release_, threshold_db_, slope_;
    size_t delay_;
    float envelope_ = 0;
    DelayLine left_, right_;
};

// Low-pass, a soft clipper driven by the edge, a band emphasis, a gain.
class Distortion final : public EffectChain {
  public:
    Distortion(std::span<const float> v, uint32_t rate)
        : gain_(db_gain(v[0])), drive_(1 + v[1] / 100 * 30) {
        double wc = 2 * kPi * limit_frequency(v[4], rate) / rate;
        lowpass_ = float(1 - std::exp(-wc));
        double f0 = limit_frequency(v[2], rate);
        double q = std::max(0.1, f0 / v[3]);
        double w0 = 2 * kPi * f0 / rate, alpha = std::sin(w0) / (2 * q);
        band_.normalise(alpha, 0, -alpha, 1 + alpha, -2 * std::cos(w0), 1 - alpha);
        norm_ = 1 / std::tanh(drive_);
    }

    void process(float* s, size_t frames) override {
        for (size_t i = 0; i < 2 * frames; ++i) {
            int c = int(i & 1);
            state_[c] += lowpass_ * (s[i] - state_[c]);
            float shaped = std::tanh(drive_ * state_[c] / kFullScale) * norm_;
            float y = shaped + band_.step(c, shaped);
            s[i] = y * gain_ * kFullScale;
        }
    }

  private:
    float gain_, drive_, lowpass_, norm_;
    float state_[2] = {};
    Biquad band_;
};

// Echo: a delay per side with feedback; with pan delay the repeats cross
// from side to side.
class Echo final : public EffectChain {
  public:
    Echo(std::span<const float> v, uint32_t rate)
        : mix_(v[0] / 100),
          feedback_(v[1] / 100),
          left_delay_(v[2] * rate / 1000),
          right_delay_(v[3] * rate / 1000),
          cross_(v[4] != 0),
          left_(size_t(2000.0 * rate / 1000) + 4),
          right_(size_t(2000.0 * rate / 1000) + 4) {}

    void process(float* s, size_t frames) override {
        if (cross_) {
            for (size_t i = 0; i < frames; ++i) {
                float wl = left_.read(left_delay_), wr = right_.read(right_delay_);
                float in_l = s[2 * i], in_r = s[2 * i + 1];
                left_.push(in_l + feedback_ * wr);
                right_.push(in_r + feedback_ * wl);
                s[2 * i] = in_l * (1 - mix_) + wl * mix_;
                s[2 * i + 1] = in_r * (1 - mix_) + wr * mix_;
            }
            return;
        }
        side(s, frames, left_, left_delay_);
        side(s + 1, frames, right_, right_delay_);
    }

  private:
    // One side alone: its repeats stay on it.
    void side(float* s, size_t frames, DelayLine& line, float delay) {
        size_t whole = size_t(delay);
        bool exact = float(whole) == delay;
        for (size_t i = 0; i < frames; ++i) {
            float w = exact ? line.read_whole(whole) : line.read(delay);
            float in = s[2 * i];
            line.push(in + feedback_ * w);
            s[2 * i] = in * (1 - mix_) + w * mix_;
        }
    }

    float mix_, feedback_, left_delay_, right_delay_;
    bool cross_;
    DelayLine left_, right_;
};

// Gargle: amplitude modulation by a triangle or a square wave.
class Gargle final : public EffectChain {
  public:
    Gargle(std::span<const float> v, uint32_t rate)
        : period_(std::max<uint32_t>(1, uint32_t(rate / v[0]))), square_(v[1] != 0) {}

    void process(float* s, size_t frames) override {
        for (size_t i = 0; i < frames; ++i) {
            float p = float(at_) / float(period_);
            float m = square_ ? (p < 0.5f ? 1.0f : 0.0f) : (p < 0.5f ? 2 * p : 2 - 2 * p);
            s[2 * i] *= m;
            s[2 * i + 1] *= m;
            if (++at_ >= period_) at_ = 0;
        }
    }

  private:
    uint32_t period_, at_ = 0;
    bool square_;
};

// Parametric equaliser: one peaking section, exactly `gain` dB at the centre.
class ParamEq final : public EffectChain {
  public:
    ParamEq(std::span<const float> v, uint32_t rate) {
        double f0 = limit_frequency(v[0], rate);
        double a = std::pow(10.0, v[2] / 40.0);
        double w0 = 2 * kPi * f0 / rate;
        double octaves = v[1] / 12.0;
        double alpha = std::sin(w0) * std::sinh(std::log(2.0) / 2 * octaves * w0 / std::sin(w0));
        eq_.normalise(1 + alpha * a, -2 * std::cos(w0), 1 - alpha * a, 1 + alpha / a,
                      -2 * std::cos(w0), 1 - alpha / a);
    }
    void process(float* s, size_t frames) override {
        for (int c = 0; c < 2; ++c) {
            Biquad& q = eq_;
            float x1 = q.x1[c], x2 = q.x2[c], y1 = q.y1[c], y2 = q.y2[c];
            for (size_t i = 0; i < frames; ++i) {
                float x = s[2 * i + size_t(c)];
                float y = q.b0 * x + q.b1 * x1 + q.b2 * x2 - q.a1 * y1 - q.a2 * y2;
                x2 = x1, x1 = x, y2 = y1, y1 = y;
                s[2 * i + size_t(c)] = y;
            }
            q.x1[c] = x1, q.x2[c] = x2, q.y1[c] = y1, q.y2[c] = y2;
        }
    }

  private:
    Biquad eq_;
};

// Reverb: four damped combs and two all-pass sections per side; the combs'
// feedback makes the tail fall 60 dB in the reverb time. Processed side by
// side and comb by comb over the block.
class Reverb final : public EffectChain {
  public:
    Reverb(std::span<const float> v, uint32_t rate) : in_gain_(db_gain(v[0])), mix_(db_gain(v[1])) {
        static constexpr float kCombMs[4] = {29.7f, 37.1f, 41.1f, 43.7f};
        static constexpr float kAllPassMs[2] = {5.0f, 1.7f};
        static constexpr float kSpreadMs = 0.5f;
        double time_frames = std::max(1e-6, double(v[2]) * rate / 1000);
        damp_ = std::clamp(1.0f - v[3], 0.0f, 0.95f) * 0.5f;
        for (int c = 0; c < 2; ++c) {
            for (int k = 0; k < 4; ++k) {
                size_t d = size_t((kCombMs[k] + c * kSpreadMs) * rate / 1000) + 1;
                combs_[c][k].delay = d;
                combs_[c][k].line = DelayLine(d + 2);
                combs_[c][k].feedback = float(std::pow(10.0, -3.0 * double(d) / time_frames));
            }
            for (int k = 0; k < 2; ++k) {
                size_t d = size_t((kAllPassMs[k] + c * kSpreadMs) * rate / 1000) + 1;
                passes_[c][k].delay = d;
                passes_[c][k].line = DelayLine(d + 2);
            }
        }
    }

    void process(float* s, size_t frames) override {
        for (size_t at = 0; at < frames; at += kMixBlock)
            block(s + 2 * at, std::min(kMixBlock, frames - at));
    }

  private:
    struct Comb {
        DelayLine line;
        size_t delay = 1;
        float feedback = 0, state = 0;
    };
    struct AllPass {
        DelayLine line;
        size_t delay = 1;
    };

    // All eight combs advance together: eight independent recurrences keep
    // the processor busy where one alone would wait on each sample.
    void block(float* s, size_t n) {
        float wet[2 * kMixBlock];
        float* buf[8];
        size_t mask[8], w[8], d[8];
        float state[8], feedback[8];
        for (int k = 0; k < 8; ++k) {
            Comb& c = combs_[k & 1][k >> 1];
            buf[k] = c.line.data();
            mask[k] = c.line.mask();
            w[k] = c.line.write_index();
            d[k] = c.delay;
            state[k] = c.state;
            feedback[k] = c.feedback;
        }
        const float damp = damp_, in_gain = in_gain_;
        for (size_t i = 0; i < n; ++i) {
            float x[2] = {s[2 * i] * in_gain, s[2 * i + 1] * in_gain};
            float sum[2] = {0, 0};
            for (int k = 0; k < 8; ++k) {
                float y = buf[k][(w[k] - d[k] + 1) & mask[k]];
                state[k] = y + damp * (state[k] - y);
                w[k] = (w[k] + 1) & mask[k];
                buf[k][w[k]] = x[k & 1] + feedback[k] * state[k];
                sum[k & 1] += y;
            }
            wet[2 * i] = sum[0] * 0.25f;
            wet[2 * i + 1] = sum[1] * 0.25f;
        }
        for (int k = 0; k < 8; ++k) {
            Comb& c = combs_[k & 1][k >> 1];
            c.line.set_write_index(w[k]);
            c.state = state[k];
        }
        for (int c = 0; c < 2; ++c) {
            for (AllPass& a : passes_[c]) {
                for (size_t i = 0; i < n; ++i) {
                    float dl = a.line.read_whole(a.delay);
                    float in = wet[2 * i + size_t(c)] + 0.7f * dl;
                    a.line.push(in);
                    wet[2 * i + size_t(c)] = dl - 0.7f * in;
                }
            }
        }
        for (size_t i = 0; i < 2 * n; ++i) s[i] = s[i] * in_gain + wet[i] * mix_;
    }

    float in_gain_, mix_, damp_;
    Comb combs_[2][4];
    AllPass passes_[2][2];
};

class Chain final : public EffectChain {
  public:
    void add(std::unique_ptr<EffectChain> e) { effects_.push_back(std::move(e)); }
    bool empty() const { return effects_.empty(); }
    void process(float* s, size_t frames) override {
        for (auto& e : effects_) e->process(s, frames);
    }

  private:
    std::vector<std::unique_ptr<EffectChain>> effects_;
};

}  // namespace

std::span<const EffectParam> effect_params(Effect e) {
    switch (e) {
        case Effect::Chorus:
            return kChorus;
        case Effect::Compressor:
            return kCompressor;
        case Effect::Distortion:
            return kDistortion;
        case Effect::Echo:
            return kEcho;
        case Effect::Flanger:
            return kFlanger;
        case Effect::Gargle:
            return kGargle;
        case Effect::ParamEq:
            return kParamEq;
        case Effect::Reverb:
            return kReverb;
    }
    return {};
}

std::array<float, 7> effect_values(Effect e, std::span<const uint32_t> words) {
    std::span<const EffectParam> params = effect_params(e);
    std::array<float, 7> values{}, fallback{};
    bool ok = words.size() >= params.size();
    for (size_t i = 0; i < params.size(); ++i) {
        fallback[i] = params[i].fallback;
        if (!ok) continue;
        float v = params[i].integer ? float(int32_t(words[i])) : std::bit_cast<float>(words[i]);
        if (params[i].integer && (int32_t(words[i]) < int32_t(params[i].min) ||
                                  int32_t(words[i]) > int32_t(params[i].max)))
            ok = false;
        // NaN fails both comparisons.
        if (!(v >= params[i].min && v <= params[i].max)) ok = false;
        values[i] = v;
    }
    return ok ? values : fallback;
}

std::unique_ptr<EffectChain> make_effect(Effect e, std::span<const float> v, uint32_t rate) {
    switch (e) {
        case Effect::Chorus:
            return std::make_unique<Modulation>(v, rate, 20.0f);
        case Effect::Compressor:
            return std::make_unique<Compressor>(v, rate);
        case Effect::Distortion:
            return std::make_unique<Distortion>(v, rate);
        case Effect::Echo:
            return std::make_unique<Echo>(v, rate);
        case Effect::Flanger:
            return std::make_unique<Modulation>(v, rate, 4.0f);
        case Effect::Gargle:
            return std::make_unique<Gargle>(v, rate);
        case Effect::ParamEq:
            return std::make_unique<ParamEq>(v, rate);
        case Effect::Reverb:
            return std::make_unique<Reverb>(v, rate);
    }
    return nullptr;
}

std::unique_ptr<EffectChain> make_effect_chain(uint32_t bits,
                                               const std::array<uint32_t, kEffectWordTotal>& words,
                                               uint32_t rate) {
    auto chain = std::make_unique<Chain>();
    for (int i = 0; i < kEffectCount; ++i) {
        if (!(bits & (1u << i))) continue;
        std::span<const uint32_t> record(words.data() + kEffectOffset[size_t(i)],
                                         size_t(kEffectWords[size_t(i)]));
        auto values = effect_values(Effect(i), record);
        chain->add(make_effect(Effect(i), values, rate));
    }
    if (chain->empty()) return nullptr;
    return chain;
}

}  // namespace tob::media
