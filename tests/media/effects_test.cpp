// The effects, one trait each, and records out of range running as the
// defaults.
#include "media/effects.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include "sound_test_support.h"

namespace tob::media {
namespace {

constexpr uint32_t kRate = 44100;

std::vector<float> impulse(size_t frames, float value = 10000) {
    std::vector<float> s(2 * frames, 0.0f);
    s[0] = s[1] = value;
    return s;
}

std::vector<float> sine(double hz, size_t frames, double amplitude) {
    std::vector<float> s(2 * frames);
    for (size_t i = 0; i < frames; ++i)
        s[2 * i] = s[2 * i + 1] = float(amplitude * std::sin(2 * M_PI * hz * double(i) / kRate));
    return s;
}

void run(Effect e, std::vector<float> values, std::vector<float>& s) {
    auto fx = make_effect(e, values, kRate);
    // In blocks, as the mixer calls it.
    for (size_t at = 0; at < s.size() / 2; at += 1000)
        fx->process(s.data() + 2 * at, std::min<size_t>(1000, s.size() / 2 - at));
}

double db(double ratio) {
    return 20 * std::log10(ratio);
}

TEST(Effects, EchoRepeatsAtItsDelayWithItsFeedback) {
    auto s = impulse(kRate);
    // mix 50 %, feedback 50 %, 100 ms left, 200 ms right, no pan delay
    run(Effect::Echo, {50, 50, 100, 200, 0}, s);
    EXPECT_FLOAT_EQ(s[0], 5000);
    EXPECT_FLOAT_EQ(s[2 * 4410], 5000);
    EXPECT_FLOAT_EQ(s[2 * 8820], 2500);
    EXPECT_FLOAT_EQ(s[2 * 8820 + 1], 5000);
    EXPECT_FLOAT_EQ(s[2 * 4411], 0);
}

TEST(Effects, EqualiserGainAtTheCentre) {
    for (float gain : {-12.0f, 6.0f, 15.0f}) {
        auto s = sine(1000, kRate, 8000);
        run(Effect::ParamEq, {1000, 12, gain}, s);
        double level = db(test::rms(s, 0, kRate / 2, kRate) / (8000 / std::sqrt(2.0)));
        EXPECT_NEAR(level, gain, 0.5) << gain;
    }
}

TEST(Effects, CompressorFollowsItsRatio) {
    // A sine at -6 dBFS against a -20 dB threshold, ratio 4: -16.5 dBFS.
    auto s = sine(500, kRate, 32768 * 0.5);
    run(Effect::Compressor, {0, 0.01f, 3000, -20, 4, 0}, s);
    float peak = 0;
    for (size_t i = kRate / 2; i < kRate; ++i) peak = std::max(peak, std::fabs(s[2 * i]));
    EXPECT_NEAR(db(peak / 32768.0), -16.5, 0.5);
}

TEST(Effects, GargleModulatesAtItsRate) {
    std::vector<float> s(2 * kRate, 1000.0f);
    run(Effect::Gargle, {10, 1}, s);  // square at 10 Hz
    int rises = 0;
    for (size_t i = 1; i < kRate; ++i)
        if (s[2 * (i - 1)] == 0 && s[2 * i] != 0) ++rises;
    EXPECT_EQ(rises, 9);  // the first period starts open
    EXPECT_EQ(s[0], 1000.0f);
    EXPECT_EQ(s[2 * 2205], 0.0f);  // second half of the first period
}

TEST(Effects, ReverbTailFallsSixtyDecibelsInItsTime) {
    for (float time : {500.0f, 1500.0f}) {
        auto s = impulse(kRate * 2, 30000);
        run(Effect::Reverb, {0, 0, time, 0.999f}, s);
        auto window = [&](double from_ms) {
            size_t a = size_t(from_ms * kRate / 1000);
            return test::rms(s, 0, a, a + kRate / 20);
        };
        double t1 = time * 0.2, t2 = time * 0.6;
        double fall = db(window(t1) / window(t2));
        EXPECT_NEAR(fall, 60 * (t2 - t1) / time, 6) << time;
    }
}

TEST(Effects, RecordsOutOfRangeRunAsTheDefaults) {
    auto words = [](std::vector<float> f) {
        std::vector<uint32_t> w;
        for (float x : f) w.push_back(std::bit_cast<uint32_t>(x));
        return w;
    };
    auto defaults = [](Effect e) {
        std::array<float, 7> d{};
        auto p = effect_params(e);
        for (size_t i = 0; i < p.size(); ++i) d[i] = p[i].fallback;
        return d;
    };
    struct Case {
        const char* what;
        Effect e;
        std::vector<uint32_t> record;
        bool kept;
    };
    auto echo_ok = words({20, 30, 100, 200, 0});
    echo_ok[4] = 1;  // pan delay is an integer word
    auto echo_bad = echo_ok;
    echo_bad[4] = 2;
    auto gargle = std::vector<uint32_t>{1000, 1};
    Case cases[] = {
        {"echo in range", Effect::Echo, echo_ok, true},
        {"echo pan delay 2", Effect::Echo, echo_bad, false},
        {"echo delay 0", Effect::Echo, words({20, 30, 0, 200, 0}), false},
        {"EQ NaN gain", Effect::ParamEq, words({1000, 12, NAN}), false},
        {"EQ centre 20000", Effect::ParamEq, words({20000, 12, 0}), false},
        {"reverb time 0", Effect::Reverb, words({0, 0, 0, 0.5f}), false},
        {"gargle at its limits", Effect::Gargle, gargle, true},
        {"gargle rate 0", Effect::Gargle, {0, 0}, false},
        {"chorus phase 5", Effect::Chorus, {0, 0, 0, 0, 0, 0, 5}, false},
        {"compressor ratio 0.5", Effect::Compressor, words({0, 10, 200, -20, 0.5f, 4}), false},
        {"distortion gain +1", Effect::Distortion, words({1, 15, 2400, 2400, 8000}), false},
    };
    for (const Case& c : cases) {
        auto v = effect_values(c.e, c.record);
        if (c.kept)
            EXPECT_NE(v, defaults(c.e)) << c.what;
        else
            EXPECT_EQ(v, defaults(c.e)) << c.what;
    }
}

TEST(Effects, EveryEffectStaysFiniteOnLoudInput) {
    for (int e = 0; e < kEffectCount; ++e) {
        auto s = sine(3000, kRate / 4, 32767);
        auto p = effect_params(Effect(e));
        std::vector<float> v;
        for (auto& x : p) v.push_back(x.fallback);
        run(Effect(e), v, s);
        for (float x : s) ASSERT_TRUE(std::isfinite(x)) << e;
    }
}

}  // namespace
}  // namespace tob::media
