// The mixer without a device: gains and pan, rate conversion, loops, ends,
// muting while inactive, clamping, lines, and the fast path against the
// plain reference on random voices.
#include "media/mixer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "sound_test_support.h"

namespace tob::media {
namespace {

std::shared_ptr<SoundBuffer> buffer(std::vector<int16_t> samples, int channels, uint32_t rate) {
    auto b = std::make_shared<SoundBuffer>();
    b->samples = std::move(samples);
    b->channels = channels;
    b->rate = rate;
    return b;
}

std::shared_ptr<SoundBuffer> sine(double hz, uint32_t rate, size_t frames, int channels,
                                  double amplitude) {
    std::vector<int16_t> s;
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            s.push_back(
                int16_t(std::lround(amplitude * std::sin(2 * M_PI * hz * double(i) / rate))));
    return buffer(std::move(s), channels, rate);
}

std::vector<float> render(Mixer& m, size_t frames) {
    std::vector<float> out(2 * frames);
    m.render_float(out.data(), frames);
    return out;
}

TEST(Mixer, VolumeAndPanInMillibels) {
    struct Case {
        int32_t volume, pan;
        float left, right;
    };
    const Case cases[] = {
        {0, 0, 10000, 10000},    {-1000, 0, 3162.28f, 3162.28f},
        {0, -2000, 10000, 1000},  // negative pan lowers the right
        {0, 2000, 1000, 10000},   // positive pan lowers the left
        {-10000, 0, 0, 0},        // silence
        {0, -10000, 10000, 0},
    };
    for (const Case& c : cases) {
        Mixer m(44100);
        m.play_static(0, buffer(std::vector<int16_t>(100, 10000), 1, 44100), false);
        m.set_level(0, c.volume, c.pan);
        auto out = render(m, 10);
        EXPECT_NEAR(out[0], c.left, 0.5) << c.volume << " " << c.pan;
        EXPECT_NEAR(out[1], c.right, 0.5) << c.volume << " " << c.pan;
    }
}

TEST(Mixer, RateConversionKeepsFrequencyAndLevel) {
    for (uint32_t rate : {22050u, 11025u, 48000u}) {
        Mixer m(44100);
        m.play_static(0, sine(440, rate, rate * 2, 1, 10000), false);
        auto out = render(m, 44100);
        int crossings = 0;
        for (size_t i = 1; i < 44100; ++i)
            if ((out[2 * (i - 1)] < 0) != (out[2 * i] < 0)) ++crossings;
        EXPECT_NEAR(crossings, 880, 2) << rate;
        EXPECT_NEAR(test::rms(out, 0, 0, 44100), 10000 / std::sqrt(2.0), 10000 * 0.01) << rate;
    }
}

TEST(Mixer, LoopsAreSeamlessAndStaticSoundsEnd) {
    std::vector<int16_t> s;
    for (int i = 0; i < 100; ++i) s.push_back(int16_t(i * 100 - 5000));
    Mixer m(22050);
    m.play_static(0, buffer(s, 1, 22050), true);
    auto out = render(m, 350);
    for (size_t i = 0; i < 350; ++i) ASSERT_EQ(out[2 * i], s[i % 100]) << i;
    EXPECT_TRUE(m.playing(0));

    m.play_static(1, buffer(s, 1, 22050), false);
    m.stop(0);
    out = render(m, 150);
    for (size_t i = 0; i < 100; ++i) ASSERT_EQ(out[2 * i], s[i]);
    for (size_t i = 100; i < 150; ++i) ASSERT_EQ(out[2 * i], 0.0f);
    EXPECT_FALSE(m.playing(1));
    // A stopped voice holds its place; resuming continues from there.
    m.resume(0);
    out = render(m, 1);
    EXPECT_EQ(out[0], s[50]);
}

TEST(Mixer, InactiveApplicationSilencesVoicesWithoutGlobalFocus) {
    Mixer m(44100);
    m.play_static(0, buffer(std::vector<int16_t>(1000, 1000), 1, 44100), false);
    m.play_static(1, buffer(std::vector<int16_t>(1000, 10), 1, 44100), false);
    m.set_global_focus(0, false);
    m.set_application_active(false);
    auto out = render(m, 10);
    EXPECT_EQ(out[0], 10.0f);
    EXPECT_EQ(m.position(0), 10u);  // running all the same
    m.set_application_active(true);
    out = render(m, 10);
    EXPECT_EQ(out[0], 1010.0f);
}

TEST(Mixer, ClampsToSixteenBits) {
    Mixer m(44100);
    m.play_static(0, buffer({30000, -30000, 100}, 1, 44100), false);
    m.play_static(1, buffer({30000, -30000, 100}, 1, 44100), false);
    int16_t out[6];
    m.render(out, 3);
    EXPECT_EQ(out[0], 32767);
    EXPECT_EQ(out[2], -32768);
    EXPECT_EQ(out[4], 200);
}

TEST(Mixer, LinesRenderIntoTheMix) {
    Mixer m(44100);
    LineId id = m.add_line("music", [](float* s, size_t n) {
        for (size_t i = 0; i < 2 * n; ++i) s[i] = 0.5f;
        return n / 2;  // half a block, the rest is silence
    });
    ASSERT_GE(id, 0);
    auto out = render(m, 8);
    EXPECT_EQ(out[0], 16384.0f);
    EXPECT_EQ(out[15], 0.0f);
    m.set_line_gain(id, 0.5f);
    EXPECT_EQ(render(m, 8)[0], 8192.0f);
    m.set_line_paused(id, true);
    EXPECT_EQ(render(m, 8)[0], 0.0f);
    m.remove_line(id);
}

TEST(Mixer, StreamsEndWithTheirLastFrameAndWaitWhenStarved) {
    Mixer m(8000);
    StreamRing ring(1, 16);
    auto write = [&ring](int from, int count) {
        for (int i = 0; i < count; ++i) {
            uint32_t room = 0;
            int16_t* p = ring.write_area(room);
            ASSERT_GT(room, 0u);
            *p = int16_t(from + i);
            ring.commit(1);
        }
    };
    write(1, 10);
    m.play_stream(0, &ring, 8000);
    auto out = render(m, 20);
    // Frames 1..9 play; the tenth waits for the one after it.
    for (int i = 0; i < 9; ++i) EXPECT_EQ(out[2 * size_t(i)], float(i + 1));
    EXPECT_EQ(out[18], 0.0f);
    EXPECT_TRUE(m.playing(0));
    write(11, 5);
    ring.mark_end();
    out = render(m, 20);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(out[2 * size_t(i)], float(i + 10));
    EXPECT_FALSE(m.playing(0));
    EXPECT_EQ(ring.consumed(), 15u);
}

// The fast path against the reference on random voices: rates, loops,
// channel counts, levels, streams that wrap their ring.
TEST(Mixer, FastPathMatchesTheReference) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 40; ++round) {
        uint32_t out_rate = std::uniform_int_distribution<uint32_t>(8000, 96000)(rng);
        Mixer fast(out_rate), plain(out_rate);
        plain.set_path(MixPath::Reference);
        std::vector<std::unique_ptr<StreamRing>> rings;
        for (int v = 0; v < 6; ++v) {
            int ch = 1 + int(rng() % 2);
            uint32_t rate = std::uniform_int_distribution<uint32_t>(4000, 100000)(rng);
            size_t frames = 1 + rng() % 3000;
            std::vector<int16_t> s(frames * size_t(ch));
            for (auto& x : s) x = int16_t(rng());
            int32_t vol = -int32_t(rng() % 3000), pan = int32_t(rng() % 4000) - 2000;
            if (v < 4) {
                bool loop = rng() % 2;
                auto b = buffer(s, ch, rate);
                fast.play_static(v, b, loop);
                plain.play_static(v, b, loop);
            } else {
                for (int k = 0; k < 2; ++k) {
                    rings.push_back(std::make_unique<StreamRing>(ch, 5000));
                    StreamRing& r = *rings.back();
                    size_t done = 0;
                    while (done < std::min<size_t>(frames, 5000)) {
                        uint32_t room = 0;
                        int16_t* p = r.write_area(room);
                        room = uint32_t(std::min<size_t>(room, frames - done));
                        std::copy_n(s.begin() + ptrdiff_t(done * size_t(ch)), room * size_t(ch), p);
                        r.commit(room);
                        done += room;
                    }
                    r.mark_end();
                }
                fast.play_stream(v, rings[rings.size() - 2].get(), rate);
                plain.play_stream(v, rings.back().get(), rate);
            }
            fast.set_level(v, vol, pan);
            plain.set_level(v, vol, pan);
        }
        for (int block = 0; block < 5; ++block) {
            size_t n = 1 + rng() % 3000;
            auto a = render(fast, n), b = render(plain, n);
            for (size_t i = 0; i < a.size(); ++i)
                ASSERT_NEAR(a[i], b[i], 1e-2f) << "round " << round << " sample " << i;
            for (int v = 0; v < 6; ++v) ASSERT_EQ(fast.position(v), plain.position(v));
        }
    }
}

}  // namespace
}  // namespace tob::media
