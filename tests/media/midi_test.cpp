// The MIDI file scanner and the music player, pulled directly (no device).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "media/midi_file.h"
#include "media/music.h"

namespace tob::media {
namespace {

using Bytes = std::vector<uint8_t>;

void put_be(Bytes& b, uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) b.push_back(uint8_t(v >> (8 * i)));
}
void put_vlq(Bytes& b, uint32_t v) {
    uint8_t tmp[4];
    int n = 0;
    do {
        tmp[n++] = uint8_t(v & 0x7F);
        v >>= 7;
    } while (v);
    while (n--) b.push_back(uint8_t(tmp[n] | (n ? 0x80 : 0)));
}
Bytes track(const Bytes& events) {
    Bytes t = {'M', 'T', 'r', 'k'};
    put_be(t, uint32_t(events.size()), 4);
    t.insert(t.end(), events.begin(), events.end());
    return t;
}
Bytes smf(uint16_t format, uint16_t division, const std::vector<Bytes>& tracks) {
    Bytes f = {'M', 'T', 'h', 'd', 0, 0, 0, 6};
    put_be(f, format, 2);
    put_be(f, uint32_t(tracks.size()), 2);
    put_be(f, division, 2);
    for (const Bytes& t : tracks) {
        Bytes c = track(t);
        f.insert(f.end(), c.begin(), c.end());
    }
    return f;
}
void tempo(Bytes& e, uint32_t delta, uint32_t us) {
    put_vlq(e, delta);
    e.insert(e.end(), {0xFF, 0x51, 0x03});
    put_be(e, us, 3);
}
void end_of_track(Bytes& e, uint32_t delta) {
    put_vlq(e, delta);
    e.insert(e.end(), {0xFF, 0x2F, 0x00});
}
// A note held for `ticks`, with running status for the note-off.
void note(Bytes& e, uint32_t delta, uint8_t ch, uint8_t key, uint32_t ticks) {
    put_vlq(e, delta);
    e.insert(e.end(), {uint8_t(0x90 | ch), key, 100});
    put_vlq(e, ticks);
    e.insert(e.end(), {key, 0});
}

uint64_t length_of(const Bytes& f) {
    auto r = scan_midi_file(f);
    if (auto* e = std::get_if<std::string>(&r)) ADD_FAILURE() << *e;
    auto* i = std::get_if<MidiFileInfo>(&r);
    return i ? i->length_ms : ~0ull;
}

TEST(MidiFile, Lengths) {
    // 480 ticks a quarter at the default 500000 us: 1920 ticks are 2000 ms.
    Bytes a;
    note(a, 0, 0, 60, 1920);
    end_of_track(a, 0);
    EXPECT_EQ(length_of(smf(0, 480, {a})), 2000u);

    // A tempo change half way (250000 us): 1000 + 500 ms.
    Bytes b;
    tempo(b, 960, 250000);
    end_of_track(b, 960);
    EXPECT_EQ(length_of(smf(0, 480, {b})), 1500u);

    // Format 1: the tempo map in track 0, the longest track sets the end.
    Bytes t0, t1;
    tempo(t0, 0, 1000000);
    end_of_track(t0, 0);
    note(t1, 0, 9, 36, 240);
    note(t1, 240, 1, 64, 480);  // 960 ticks = 2 quarters = 2000 ms
    end_of_track(t1, 0);
    EXPECT_EQ(length_of(smf(1, 480, {t0, t1})), 2000u);
}

TEST(MidiFile, RefusesMalformed) {
    Bytes good;
    note(good, 0, 0, 60, 10);
    end_of_track(good, 0);
    Bytes ok = smf(0, 96, {good});
    ASSERT_TRUE(std::holds_alternative<MidiFileInfo>(scan_midi_file(ok)));

    Bytes running_first = {0x00, 0x40, 0x40};
    end_of_track(running_first, 0);
    Bytes no_end;
    note(no_end, 0, 0, 60, 10);
    Bytes bad_status = {0x00, 0xF4};
    end_of_track(bad_status, 0);
    Bytes long_vlq = {0x80, 0x80, 0x80, 0x80, 0x00};
    Bytes short_tempo = {0x00, 0xFF, 0x51, 0x02, 0x07, 0xA1};
    end_of_track(short_tempo, 0);
    Bytes long_sysex = {0x00, 0xF0, 0x7F, 0x01};
    Bytes short_key = {0x00, 0xFF, 0x59, 0x01, 0x00};
    end_of_track(short_key, 10);
    Bytes empty_song;
    end_of_track(empty_song, 0);
    Bytes eot_with_data = {0x10, 0xFF, 0x2F, 0x01, 0x00};

    struct Case {
        const char* name;
        Bytes file;
    } cases[] = {
        {"empty", {}},
        {"no MThd", Bytes(ok.begin() + 1, ok.end())},
        {"format 2", smf(2, 96, {good})},
        {"format 0 with two tracks", smf(0, 96, {good, good})},
        {"division 0", smf(0, 0, {good})},
        {"truncated", Bytes(ok.begin(), ok.end() - 2)},
        {"missing track", Bytes(ok.begin(), ok.begin() + 14)},
        {"running status first", smf(0, 96, {running_first})},
        {"no end of track", smf(0, 96, {no_end})},
        {"system status in a file", smf(0, 96, {bad_status})},
        {"five-byte delta", smf(0, 96, {long_vlq})},
        {"two-byte tempo", smf(0, 96, {short_tempo})},
        {"sysex past its track", smf(0, 96, {long_sysex})},
        {"one-byte key signature", smf(0, 96, {short_key})},
        {"no length at all", smf(0, 96, {empty_song})},
        {"end of track with data", smf(0, 96, {eot_with_data})},
        {"a chunk that is not a track",
         [&] {
             Bytes f = smf(0, 96, {good});
             f[17] = 'x';
             return f;
         }()},
        {"SMPTE division", smf(0, uint16_t((uint8_t(-25) << 8) | 40), {good})},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(std::holds_alternative<std::string>(scan_midi_file(c.file))) << c.name;

    // A day and more of ticks is refused rather than played.
    Bytes huge;
    tempo(huge, 0, 0xFFFFFF);
    for (int i = 0; i < 400; ++i) {
        put_vlq(huge, 0x0FFFFFFF);
        huge.insert(huge.end(), {0xB0, 7, 100});
    }
    end_of_track(huge, 0);
    EXPECT_TRUE(std::holds_alternative<std::string>(scan_midi_file(smf(0, 1, {huge}))));
}

// --- the player ---

const char* kSoundfont = "/usr/share/sounds/sf2/TimGM6mb.sf2";
constexpr uint32_t kRate = 22050;

std::unique_ptr<Music> make_music() {
    Music::StartError error;
    return Music::create(kRate, kSoundfont, false, error);
}

// A one-second song: controller 7 = 64 on channel 0 and a held chord.
Bytes song() {
    Bytes e = {0x00, 0xB0, 7, 64};
    e.insert(e.end(), {0x00, 0xC0, 0});
    e.insert(e.end(), {0x00, 0x90, 60, 100, 0x00, 64, 100, 0x00, 67, 100});
    put_vlq(e, 480);
    e.insert(e.end(), {60, 0, 0x00, 64, 0, 0x00, 67, 0});
    end_of_track(e, 480);
    return smf(0, 480, {e});
}

std::vector<float> render(Music& m, size_t frames) {
    std::vector<float> out(frames * 2);
    for (size_t at = 0; at < frames; at += 512) {
        size_t n = std::min<size_t>(512, frames - at);
        size_t got = m.render(out.data() + at * 2, n);
        std::fill(out.begin() + std::ptrdiff_t((at + got) * 2),
                  out.begin() + std::ptrdiff_t((at + n) * 2), 0.0f);  // as the mixer does
    }
    return out;
}

double energy(const std::vector<float>& s) {
    double e = 0;
    for (float v : s) e += double(v) * v;
    return e;
}

class MusicTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists(kSoundfont)) GTEST_SKIP() << "no TimGM6mb soundfont";
        music = make_music();
        ASSERT_TRUE(music);
    }
    std::unique_ptr<Music> music;
};

TEST_F(MusicTest, WithoutFileAndClamping) {
    EXPECT_EQ(music->volume(), 0u);
    EXPECT_EQ(music->play(), 1u);
    EXPECT_EQ(music->is_playing(), 0u);
    EXPECT_EQ(music->set_volume(150), 1u);
    ASSERT_EQ(music->load(song()), 1u);
    EXPECT_EQ(music->volume(), 100u);
    EXPECT_EQ(music->load(Bytes{1, 2, 3}), 0u);
    EXPECT_EQ(music->volume(), 0u);
}

TEST_F(MusicTest, VolumeToolScalesController7) {
    music->record_volume_messages(true);
    music->set_volume(50);
    auto sent = music->take_volume_messages();
    ASSERT_EQ(sent.size(), 16u);
    for (int ch = 0; ch < 16; ++ch) EXPECT_EQ(sent[size_t(ch)], std::make_pair(ch, 63));
    ASSERT_EQ(music->load(song()), 1u);
    ASSERT_EQ(music->play(), 1u);
    render(*music, 1024);
    sent = music->take_volume_messages();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent[0], std::make_pair(0, 32));  // 64 at volume 50
    // Re-sent from what the song asked for.
    music->set_volume(100);
    sent = music->take_volume_messages();
    ASSERT_EQ(sent.size(), 16u);
    EXPECT_EQ(sent[0], std::make_pair(0, 64));
    EXPECT_EQ(sent[1], std::make_pair(1, 127));
}

TEST_F(MusicTest, RendersTheSameTwice) {
    ASSERT_EQ(music->load(song()), 1u);
    music->play();
    auto a = render(*music, kRate / 2);
    auto other = make_music();
    ASSERT_EQ(other->load(song()), 1u);
    other->play();
    auto b = render(*other, kRate / 2);
    EXPECT_GT(energy(a), 0.0);
    EXPECT_EQ(a, b);
}

TEST_F(MusicTest, PositionWrapsWithRepeat) {
    ASSERT_EQ(music->load(song()), 1u);
    EXPECT_EQ(music->length_ms(), 1000u);
    music->set_repeat(1);
    music->play();
    render(*music, kRate * 3 / 2);  // 1.5 s
    EXPECT_EQ(music->is_playing(), 1u);
    EXPECT_EQ(music->position_ms(), 500u);

    // Without repeat the song ends.
    music->set_repeat(0);
    music->play();
    render(*music, kRate * 3 / 2);
    EXPECT_EQ(music->is_playing(), 0u);
    EXPECT_EQ(music->position_ms(), 0u);
}

TEST_F(MusicTest, NestedPauses) {
    ASSERT_EQ(music->load(song()), 1u);
    music->play();
    render(*music, kRate / 4);
    EXPECT_EQ(music->pause(), 0u);
    EXPECT_EQ(music->is_playing(), 0u);
    // Silent at once, and time stands still.
    auto quiet = render(*music, kRate / 4);
    EXPECT_LT(energy(quiet), 1e-3);
    EXPECT_EQ(music->pause(), 1u);
    EXPECT_EQ(music->replay(), 1u);
    EXPECT_EQ(music->is_playing(), 0u);
    EXPECT_EQ(music->replay(), 1u);
    render(*music, 512);
    EXPECT_EQ(music->is_playing(), 1u);
    uint32_t pos = music->position_ms();
    EXPECT_GE(pos, 250u);
    EXPECT_LT(pos, 300u);
    EXPECT_EQ(music->replay(), 1u);  // nothing to resume
}

}  // namespace
}  // namespace tob::media
