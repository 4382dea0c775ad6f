// The sound built-ins through the trap dispatcher, with a mixer that has no
// device: the tests render the mix themselves, so time is exact.
#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <cmath>
#include <thread>

#include "base/settings.h"
#include "media/media.h"
#include "media/mixer.h"
#include "sound_test_support.h"
#include "support/call_site.h"

namespace tob {
namespace {

constexpr uint32_t kRate = 44100;

class SoundBuiltins : public ::testing::Test {
  protected:
    void SetUp() override {
        settings().global_sound = 1;
        AudioStartup a;
        a.module_dir = std::string(TOB_TEST_DATA) + "/data";
        a.sound = true;
        a.offline_rate = kRate;
        start_audio(a);
        site_.table.bind_all(sound_builtins());
    }
    void TearDown() override {
        stop_audio();
        settings().global_sound = 1;
        set_audio_application_active(true);
    }

    uint32_t call(const char* name, std::vector<uint32_t> args) { return site_.call(name, args); }
    uint32_t load(int ch, const char* file, bool streamed = false) {
        return call(streamed ? "snd_loads" : "snd_load", {uint32_t(ch), site_.string(file)});
    }
    // Renders `ms` of the mix, in blocks, giving the feeder time to keep up.
    std::vector<float> render_ms(uint32_t ms) {
        size_t frames = size_t(kRate) * ms / 1000;
        std::vector<float> out(2 * frames);
        for (size_t at = 0; at < frames; at += 2048) {
            audio_mixer()->render_float(out.data() + 2 * at, std::min<size_t>(2048, frames - at));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return out;
    }

    test::CallSite site_;
};

TEST_F(SoundBuiltins, VolumeAndPanRoundTrip) {
    ASSERT_EQ(load(0, "short.wav"), 1u);
    for (int v = 0; v <= 100; ++v) {
        ASSERT_EQ(call("snd_setvol", {0, uint32_t(v)}), 1u);
        ASSERT_EQ(call("snd_getvol", {0}), uint32_t(v)) << v;
    }
    call("snd_setvol", {0, 500});
    EXPECT_EQ(call("snd_getvol", {0}), 100u);
    struct Pan {
        int32_t set, get;
    };
    for (Pan p : {Pan{50, 49}, Pan{-50, -49}, Pan{0, 0}, Pan{100, 100}, Pan{-100, -100},
                  Pan{-300, -100}, Pan{25, 24}}) {
        ASSERT_EQ(call("snd_setpan", {0, uint32_t(p.set)}), 1u);
        EXPECT_EQ(int32_t(call("snd_getpan", {0})), p.get) << p.set;
    }
}

TEST_F(SoundBuiltins, AllChannelsAndChannelsOutOfRange) {
    ASSERT_EQ(load(3, "short.wav"), 1u);
    // Any empty channel fails the operation for all.
    EXPECT_EQ(call("snd_setvol", {uint32_t(-1), 50}), 0u);
    EXPECT_EQ(call("snd_getvol", {3}), 50u);  // the loaded one took it
    for (int ch = 0; ch < 64; ++ch) ASSERT_EQ(load(ch, "short.wav"), 1u);
    EXPECT_EQ(call("snd_setvol", {uint32_t(-1), 50}), 1u);
    EXPECT_EQ(call("snd_setpan", {uint32_t(-1), 20}), 1u);
    EXPECT_EQ(call("snd_play", {uint32_t(-1), 0}), 0u);  // -1 only where allowed
    EXPECT_EQ(call("snd_stop", {uint32_t(-1)}), 1u);
    for (const char* name : {"snd_free", "snd_play", "snd_stop", "snd_pause", "snd_replay",
                             "snd_getvol", "snd_isplay", "snd_getlen", "snd_setvol"})
        EXPECT_EQ(call(name, {64, 1}), 0u) << name;
    EXPECT_EQ(load(64, "short.wav"), 0u);
    EXPECT_EQ(call("snd_free", {uint32_t(-1)}), 1u);
    EXPECT_EQ(call("snd_getvol", {3}), 0u);
    // Empty channels: the operations that need a sound give 0, the others 1.
    EXPECT_EQ(call("snd_play", {5, 0}), 0u);
    EXPECT_EQ(call("snd_free", {5}), 1u);
    EXPECT_EQ(call("snd_stop", {5}), 1u);
    EXPECT_EQ(call("snd_pause", {5}), 1u);
    EXPECT_EQ(call("snd_replay", {5}), 1u);
}

TEST_F(SoundBuiltins, BadPointersChangeNothing) {
    EXPECT_EQ(call("snd_load", {0, 0x10}), 0u);
    EXPECT_EQ(call("snd_loads", {0, 0xFFFFFFF0u}), 0u);
    ASSERT_EQ(load(1, "comment.ogg", true), 1u);
    EXPECT_EQ(call("snd_gettext", {1, 0x20}), 0u);
    EXPECT_EQ(call("snd_setecho", {1, 0x30}), 0u);
    EXPECT_EQ(call("snd_isplay", {1}), 0u);
    EXPECT_EQ(load(2, "missing.wav"), 0u);
    // A name longer than the channel's record keeps.
    EXPECT_EQ(load(2, std::string(300, 'a').c_str()), 0u);
}

TEST_F(SoundBuiltins, LengthsAndComments) {
    ASSERT_EQ(load(0, "adpcm_mono.wav", true), 1u);
    EXPECT_EQ(call("snd_getlen", {0}), 11u * 1012 * 1000 / 22050);
    ASSERT_EQ(load(1, "comment.ogg", true), 1u);
    EXPECT_EQ(call("snd_getlen", {1}), 1000u);
    ASSERT_EQ(load(2, "comment.ogg"), 1u);
    EXPECT_EQ(call("snd_getlen", {2}), 0u);  // static channels keep no source

    ScriptAddr buffer = site_.mem.allocate(256);
    EXPECT_EQ(call("snd_gettext", {1, buffer}), 1u);
    EXPECT_EQ(*site_.mem.c_string(buffer), "a stereo test tone");
    EXPECT_EQ(call("snd_gettext", {0, buffer}), 0u);
    EXPECT_EQ(call("snd_gettext", {2, buffer}), 0u);
    ASSERT_EQ(load(3, "comment_long.ogg", true), 1u);
    EXPECT_EQ(call("snd_gettext", {3, buffer}), 1u);
    EXPECT_EQ(*site_.mem.c_string(buffer), std::string(255, 'x'));
}

TEST_F(SoundBuiltins, PlayStopPauseReplay) {
    ASSERT_EQ(load(0, "adpcm_mono.wav"), 1u);
    EXPECT_EQ(call("snd_isplay", {0}), 0u);
    EXPECT_EQ(call("snd_play", {0, 1}), 1u);
    EXPECT_EQ(call("snd_isplay", {0}), 1u);
    EXPECT_EQ(call("snd_pause", {0}), 1u);
    EXPECT_EQ(call("snd_pause", {0}), 1u);
    EXPECT_EQ(call("snd_replay", {0}), 1u);
    EXPECT_EQ(call("snd_isplay", {0}), 0u);  // paused twice, replayed once
    EXPECT_EQ(call("snd_replay", {0}), 1u);
    EXPECT_EQ(call("snd_isplay", {0}), 1u);
    EXPECT_EQ(call("snd_stop", {0}), 1u);
    EXPECT_EQ(call("snd_isplay", {0}), 0u);
    EXPECT_EQ(call("snd_replay", {0}), 1u);
    EXPECT_EQ(call("snd_isplay", {0}), 0u);
}

TEST_F(SoundBuiltins, MarginPlaysWithTheSound) {
    EXPECT_EQ(call("snd_setmargin", {200}), 1u);
    ASSERT_EQ(load(0, "short.wav"), 1u);  // 100 ms + 200 ms of silence
    call("snd_play", {0, 0});
    render_ms(250);
    EXPECT_EQ(call("snd_isplay", {0}), 1u);
    render_ms(100);
    EXPECT_EQ(call("snd_isplay", {0}), 0u);
    call("snd_setmargin", {0});
}

TEST_F(SoundBuiltins, StreamsStartAtTheirPositionAndPlayAgainWhenFinished) {
    ASSERT_EQ(load(0, "comment.ogg", true), 1u);
    EXPECT_EQ(call("snd_getpos", {0}), 0u);  // not playing
    EXPECT_EQ(call("snd_setpos", {0, 500}), 1u);
    EXPECT_EQ(call("snd_setpos", {0, 5000}), 1u);  // beyond the end: unchanged
    EXPECT_EQ(call("snd_setloop", {0, 5000}), 1u);
    ASSERT_EQ(call("snd_play", {0, 0}), 1u);
    EXPECT_EQ(call("snd_setpos", {0, 100}), 0u);  // playing
    render_ms(100);
    EXPECT_NEAR(int(call("snd_getpos", {0})), 600, 2);
    render_ms(450);
    EXPECT_EQ(call("snd_isplay", {0}), 0u);  // ended with its last sample
    // A finished stream plays again, from its start offset.
    ASSERT_EQ(call("snd_play", {0, 0}), 1u);
    auto out = render_ms(100);
    EXPECT_GT(test::rms(out, 0, 0, out.size() / 2), 1000);
    EXPECT_NEAR(int(call("snd_getpos", {0})), 600, 2);
    // Looping folds the position into the loop region.
    EXPECT_EQ(call("snd_setloop", {0, 800}), 1u);
    ASSERT_EQ(call("snd_play", {0, 1}), 1u);
    render_ms(700);  // 500 + 700 = 1200: 800 + (1200 - 800) % 200
    EXPECT_EQ(call("snd_isplay", {0}), 1u);
    EXPECT_NEAR(int(call("snd_getpos", {0})), 800, 3);
}

TEST_F(SoundBuiltins, EffectsOnlyOnSoundsOfAtLeast150Ms) {
    // Echo with everything wet and a delay longer than the sounds: the
    // first 100 ms are silent when the echo runs.
    uint32_t words[5] = {std::bit_cast<uint32_t>(100.0f), 0, std::bit_cast<uint32_t>(150.0f),
                         std::bit_cast<uint32_t>(150.0f), 0};
    ScriptAddr record = site_.mem.allocate(20);
    for (int i = 0; i < 5; ++i) site_.mem.write32(record + 4 * uint32_t(i), words[i]);
    ASSERT_EQ(load(0, "short.wav"), 1u);       // 100 ms: no effects
    ASSERT_EQ(load(1, "adpcm_mono.wav"), 1u);  // 500 ms
    EXPECT_EQ(call("snd_setecho", {0, record}), 1u);
    EXPECT_EQ(call("snd_setecho", {1, record}), 1u);
    call("snd_play", {0, 0});
    auto out = render_ms(50);
    EXPECT_GT(test::rms(out, 0, 0, out.size() / 2), 1000);
    call("snd_stop", {0});
    call("snd_play", {1, 0});
    out = render_ms(50);
    EXPECT_EQ(test::rms(out, 0, 0, out.size() / 2), 0);
    // Cleared, it plays dry at the next play.
    EXPECT_EQ(call("snd_setecho", {1, 0}), 1u);
    call("snd_play", {1, 0});
    out = render_ms(50);
    EXPECT_GT(test::rms(out, 0, 0, out.size() / 2), 1000);
}

TEST_F(SoundBuiltins, GlobalSoundOffMutesWhileInactive) {
    settings().global_sound = 0;
    ASSERT_EQ(load(0, "adpcm_mono.wav"), 1u);
    settings().global_sound = 1;
    ASSERT_EQ(load(1, "short.wav"), 1u);
    call("snd_play", {0, 1});
    set_audio_application_active(false);
    auto out = render_ms(50);
    EXPECT_EQ(test::rms(out, 0, 0, out.size() / 2), 0);
    EXPECT_EQ(call("snd_isplay", {0}), 1u);
    call("snd_play", {1, 0});
    out = render_ms(50);
    EXPECT_GT(test::rms(out, 0, 0, out.size() / 2), 1000);  // loaded with the flag on
    set_audio_application_active(true);
}

TEST(SoundWithoutDevice, LoadsFailWithoutSound) {
    AudioStartup a;
    a.sound = false;
    a.offline_rate = kRate;
    start_audio(a);
    test::CallSite site;
    site.table.bind_all(sound_builtins());
    EXPECT_EQ(site.call("snd_load", {0, site.string("short.wav")}), 0u);
    EXPECT_EQ(site.call("snd_free", {0}), 1u);
    stop_audio();
}

}  // namespace
}  // namespace tob
