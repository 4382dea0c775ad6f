// CD audio: finding the disc's tracks, the position formulas, the fade
// schedule, repeat modes, pauses and the door, with the player pulled
// directly (no device) and its timer and worker played by the test.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "media/cd_disc.h"
#include "media/cd_player.h"
#include "media/media.h"
#include "sound_test_support.h"
#include "storage/archive_writer.h"

namespace tob::media {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
constexpr uint32_t kRate = 8000;

// A track of `ms` milliseconds at 8 kHz, every sample `value`.
Bytes track_file(uint32_t ms, int16_t value = 8192) {
    test::WaveShape shape;
    shape.rate = kRate;
    return test::make_wave(test::constant_pcm16(value, size_t(kRate) * ms / 1000, 1), shape);
}

void write_file(const fs::path& path, const Bytes& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

class TempDir {
  public:
    TempDir() {
        static int n = 0;
        path_ = fs::temp_directory_path() /
                ("tob_cd_" + std::to_string(::getpid()) + "_" + std::to_string(n++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempDir() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

// The disc folder plain, as an archive, or missing (tracks beside the game).
TEST(CdDisc, FindsTracksInTheFolderTheArchiveOrTheGamesFolder) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, Bytes>> files;    // host paths under the game
        std::vector<std::pair<std::string, Bytes>> archive;  // members of cd.bin
        std::vector<std::string> found;
        std::vector<uint32_t> seconds;  // 0 with a data track
    };
    const Bytes ogg = test::read_data("comment.ogg");  // one second
    const Bytes broken = {'R', 'I', 'F', 'F', 1, 2, 3};
    const Case cases[] = {
        {"folder with a gap, and names that are no tracks",
         {{"Cd/track01.wav", track_file(2900)},
          {"Cd/Track03.WAV", track_file(1000)},
          {"Cd/track4.wav", track_file(1000)},
          {"Cd/track05.mp3", track_file(1000)},
          {"Cd/track00.wav", track_file(1000)},
          {"Cd/track100.wav", track_file(1000)}},
         {},
         {"cd\\track01.wav", "", "cd\\Track03.WAV"},
         {2, 0, 1}},
        {"archive",
         {},
         {{"track02.ogg", ogg}, {"TRACK01.wav", track_file(3000)}},
         {"cd\\TRACK01.wav", "cd\\track02.ogg"},
         {3, 1}},
        {"the game's folder without a cd folder",
         {{"track02.wav", track_file(1500)}, {"main.c", {}}},
         {},
         {"", "track02.wav"},
         {0, 1}},
        {"a cd folder hides tracks beside the game",
         {{"cd/readme.txt", {}}, {"track01.wav", track_file(1000)}},
         {},
         {},
         {}},
        {"Ogg before WAVE; a file that does not decode is a data track",
         {{"cd/track01.wav", track_file(4000)},
          {"cd/track01.ogg", ogg},
          {"cd/track02.wav", broken}},
         {},
         {"cd\\track01.ogg", "cd\\track02.wav"},
         {1, 0}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        for (const auto& [name, bytes] : c.files) write_file(dir.path() / name, bytes);
        if (!c.archive.empty()) {
            std::vector<ArchiveMemoryInput> members;
            for (const auto& [name, bytes] : c.archive) members.push_back({name, bytes});
            write_file(dir.path() / "cd.bin", build_archive(members, 0x1234));
        }
        EXPECT_EQ(find_cd_track_files(dir.path()), c.found) << c.what;
        CdTable table = read_cd_table(dir.path());
        ASSERT_EQ(table.count(), int(c.seconds.size())) << c.what;
        for (int n = 1; n <= table.count(); ++n) {
            EXPECT_EQ(table.track(n)->seconds, c.seconds[size_t(n - 1)]) << c.what << " " << n;
            EXPECT_EQ(table.track(n)->audio, c.seconds[size_t(n - 1)] != 0) << c.what << " " << n;
        }
    }
}

CdTable made_up_table(std::vector<uint32_t> seconds) {
    CdTable t;
    for (size_t i = 0; i < seconds.size(); ++i) {
        CdTrack track;
        track.audio = seconds[i] != 0;
        track.seconds = seconds[i];
        if (track.audio) track.file = "t" + std::to_string(i + 1);
        t.tracks.push_back(track);
    }
    return t;
}

TEST(CdPosition, FormulasOnAMadeUpTable) {
    // Track 2 is a data track; track 5 is a one-second audio track.
    const CdTable t = made_up_table({100, 0, 60, 30, 1});
    struct Case {
        int track;
        uint32_t pos;
        int32_t mode;
        uint32_t expected;
    } const cases[] = {
        {3, 10, 0, 10},  // the position itself
        {3, 10, 9, 10},
        {3, 10, -1, 10},
        {3, 10, 1, 48},               // 60 - 10 - 2
        {3, 10, 2, 108},              // 10 + (100 - 2), the data track adds nothing
        {3, 10, 3, 48 + 28 - 1},      // left in 3, then 30 - 2 and 1 - 2
        {1, 99, 1, 0},                // 100 - 99 - 2 < 0
        {5, 0, 3, 0},                 // the last track: only its own time, negative
        {4, 20, 3, 8 - 1},            // 30 - 20 - 2, then 1 - 2
        {5, 0, 2, 0 + 98 + 58 + 28},  // every audio track before, 2 seconds short
        {0, 5, 0, 0},
        {6, 5, 1, 0},  // no such track
    };
    for (const Case& c : cases)
        EXPECT_EQ(cd_position(t, c.track, c.pos, c.mode), c.expected)
            << "track " << c.track << " pos " << c.pos << " mode " << c.mode;
}

TEST(CdRepeat, NextTrackSkipsDataTracksAndReachesTheLast) {
    const CdTable t = made_up_table({100, 0, 60, 30, 0, 20});  // data tracks 2 and 5
    const CdTable one = made_up_table({0, 50, 0});
    struct Case {
        const CdTable* table;
        int track;
        int32_t mode;
        int next;
    } const cases[] = {
        {&t, 1, 2, 3}, {&t, 3, 2, 4}, {&t, 4, 2, 6},  // the last track is reached
        {&t, 6, 2, 0},                                // and after it nothing
        {&t, 6, 3, 1},                                // mode 3 wraps from the last
        {&t, 4, 3, 6}, {&t, 1, 3, 3}, {&one, 2, 3, 0}, {&one, 2, 2, 0},  // no other audio track
        {&t, 1, 0, 0}, {&t, 1, 7, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(next_cd_track(*c.table, c.track, c.mode), c.next)
            << "track " << c.track << " mode " << c.mode;
}

// A player on a made-up disc; its timer records what it is asked for.
struct Drive {
    std::map<std::string, Bytes> files;
    CdTable table;
    int table_reads = 0;
    std::vector<uint32_t> timer;  // every set_timer, in order
    std::unique_ptr<CdPlayer> player;

    explicit Drive(std::vector<uint32_t> track_ms) {
        for (size_t i = 0; i < track_ms.size(); ++i) {
            CdTrack t;
            if (track_ms[i]) {
                t.file = "track" + std::to_string(i + 1);
                files[t.file] = track_file(track_ms[i]);
                t.audio = true;
                t.seconds = track_ms[i] / 1000;
            }
            table.tracks.push_back(t);
        }
        CdPlayer::Hooks hooks;
        hooks.read_file = [this](const std::string& f) -> std::optional<Bytes> {
            auto it = files.find(f);
            if (it == files.end()) return std::nullopt;
            return it->second;
        };
        hooks.read_table = [this] {
            ++table_reads;
            return table;
        };
        hooks.set_timer = [this](uint32_t period) { timer.push_back(period); };
        player = std::make_unique<CdPlayer>(kRate, std::move(hooks));
    }

    // Renders and feeds until the end of the track has been played, then
    // lets the window thread hear of it. The frames rendered, or -1.
    int64_t play_out(size_t limit = 20 * kRate) {
        std::vector<float> block(2 * 256);
        for (size_t done = 0; done < limit; done += 256) {
            CdPlayer::FeedResult fed = player->feed();
            if (fed.ended) {
                player->track_ended(fed.ended);
                return int64_t(done);
            }
            player->render(block.data(), 256);
        }
        return -1;
    }
    float level_heard() {
        player->feed();
        std::vector<float> block(2 * 64);
        player->render(block.data(), 64);
        return block[2 * 32];
    }
};

TEST(CdFade, LevelAfterKTicksAndTheTimersPeriod) {
    const std::pair<int32_t, uint32_t> periods[] = {
        {2000, 62}, {640, 20}, {320, 10}, {100, 10}, {1, 10}};
    for (const auto& [fade, period] : periods) EXPECT_EQ(fade_period_ms(fade), period) << fade;

    Drive d({5000});
    ASSERT_EQ(d.player->play(1, 2000), 1u);
    ASSERT_EQ(d.timer, std::vector<uint32_t>{62});
    EXPECT_EQ(d.player->fade_level(), 0);
    EXPECT_FLOAT_EQ(d.level_heard(), 0.0f);
    for (int k = 1; k <= 32; ++k) {
        d.player->fade_tick();
        ASSERT_EQ(d.player->fade_level(), std::min(10000, 313 * k)) << k;
    }
    EXPECT_EQ(d.timer.back(), 0u);  // full level kills the timer
    d.player->fade_tick();          // a late tick changes nothing
    EXPECT_EQ(d.player->fade_level(), 10000);
    // gain = level / 10000 x volume / 100 on the track's 8192 / 32768
    d.player->set_volume(50);
    EXPECT_NEAR(d.level_heard(), 0.125f, 1e-4);

    // A fade-out keeps the track playing until the level reaches 0, then
    // stops it and puts the level back.
    ASSERT_EQ(d.player->stop(320), 1u);
    EXPECT_EQ(d.timer.back(), 10u);
    for (int k = 1; k < 32; ++k) {
        d.player->fade_tick();
        ASSERT_EQ(d.player->is_playing(), 1u) << k;
        ASSERT_EQ(d.player->fade_level(), 10000 - 313 * k);
    }
    EXPECT_NEAR(d.level_heard(), 0.125f * (10000 - 313 * 31) / 10000, 1e-4);
    d.player->fade_tick();
    EXPECT_EQ(d.player->is_playing(), 0u);
    EXPECT_EQ(d.player->fade_level(), 10000);

    // Playing cancels a fade-out: the new track is not stopped by it.
    d.player->play(1, 0);
    d.player->stop(1000);
    d.player->fade_tick();
    ASSERT_EQ(d.player->play(1, 0), 1u);
    EXPECT_EQ(d.player->fade_level(), 10000);
    d.player->fade_tick();
    EXPECT_EQ(d.player->is_playing(), 1u);
    // Stopping at once in the middle of a fade puts the level back.
    d.player->play(1, 1000);
    d.player->fade_tick();
    EXPECT_EQ(d.player->stop(0), 1u);
    EXPECT_EQ(d.player->fade_level(), 10000);
}

TEST(CdPlayer, RepeatModesWithDataTracksAndWrapping) {
    // Tracks 1 and 3 (0.3 s), a data track 2, track 4 (0.2 s).
    struct Case {
        int32_t mode;
        int start;
        std::vector<int> then;  // the current track after each end (0: stopped)
    } const cases[] = {
        {0, 1, {0}},       {1, 3, {3, 3}},
        {2, 1, {3, 4, 0}},  // the last track is played, then it stops
        {3, 3, {4, 1, 3}},  // from the last back to the first
        {5, 1, {0}},        // a mode without a meaning stops
    };
    for (const Case& c : cases) {
        Drive d({300, 0, 300, 200});
        d.player->set_repeat(c.mode);
        ASSERT_EQ(d.player->play(c.start, 0), 1u);
        for (int expected : c.then) {
            ASSERT_GE(d.play_out(), 0) << "mode " << c.mode;
            EXPECT_EQ(d.player->current_track(), expected) << "mode " << c.mode;
            EXPECT_EQ(d.player->is_playing(), expected ? 1u : 0u);
        }
    }
}

TEST(CdPlayer, ResultsPositionsAndPauses) {
    Drive d({2500, 0, 1000});
    EXPECT_EQ(d.player->play(2, 0), 0u);  // a data track
    EXPECT_EQ(d.player->length(0), 3u);
    EXPECT_EQ(d.player->length(-1), 0u);

    ASSERT_EQ(d.player->play(1, 0), 1u);
    std::vector<float> block(2 * 1000);
    for (int i = 0; i < 12; ++i) {  // 1.5 seconds
        d.player->feed();
        d.player->render(block.data(), 1000);
    }
    EXPECT_EQ(d.player->position(0), 1u);
    EXPECT_EQ(d.player->position(1), 0u);  // 2 - 1 - 2 < 0
    EXPECT_EQ(d.player->position(3), 0u);  // the same, then 1 - 2

    // Pauses nest; the position stays where it was.
    EXPECT_EQ(d.player->pause(), 1u);
    EXPECT_EQ(d.player->pause(), 1u);
    EXPECT_EQ(d.player->is_playing(), 0u);
    EXPECT_FLOAT_EQ(d.level_heard(), 0.0f);
    EXPECT_EQ(d.player->replay(), 1u);
    EXPECT_EQ(d.player->is_playing(), 0u);
    EXPECT_EQ(d.player->replay(), 1u);
    EXPECT_EQ(d.player->is_playing(), 1u);
    EXPECT_EQ(d.player->position(0), 1u);
    EXPECT_NEAR(d.level_heard(), 0.25f, 1e-4);

    // A track that ends just as it is paused goes on when it is resumed.
    d.player->set_repeat(1);
    d.play_out();
    ASSERT_EQ(d.player->current_track(), 1);
    CdPlayer::FeedResult fed;
    for (int i = 0; i < 40 && !fed.ended; ++i) {
        fed = d.player->feed();
        if (!fed.ended) d.player->render(block.data(), 1000);
    }
    ASSERT_NE(fed.ended, 0u);
    d.player->pause();
    d.player->track_ended(fed.ended);
    EXPECT_EQ(d.player->is_playing(), 0u);
    d.player->replay();
    EXPECT_EQ(d.player->is_playing(), 1u);
    EXPECT_EQ(d.player->position(0), 0u);  // the track again, from its start
    // News of a track that was stopped since is ignored.
    d.player->track_ended(fed.ended);
    EXPECT_EQ(d.player->is_playing(), 1u);
}

TEST(CdPlayer, AFileThatStopsDecodingEndsLikeTheEnd) {
    // A second of Vorbis in small pages, cut off in the middle of its fourth.
    Bytes ogg = test::read_data("pages.ogg");
    ASSERT_EQ(ogg.size(), 3449u);
    ogg.resize(2900);
    Drive d({0});
    d.files["cut"] = ogg;
    d.table.tracks = {CdTrack{"cut", 1, true}};
    d.player->eject();
    d.player->eject();  // the door closed: the disc is read again
    EXPECT_EQ(d.table_reads, 2);
    d.player->set_repeat(1);
    ASSERT_EQ(d.player->play(1, 0), 1u);
    int64_t heard = d.play_out();
    EXPECT_GT(heard, 0);
    EXPECT_LT(heard, int64_t(kRate) * 4 / 10);
    EXPECT_EQ(d.player->is_playing(), 1u);  // repeat 1 started it again
    EXPECT_EQ(d.player->current_track(), 1);
}

TEST(CdPlayer, TheDoorStopsPlayingAndClosingReadsTheDisc) {
    Drive d({1000, 2000});
    ASSERT_EQ(d.player->play(2, 0), 1u);
    EXPECT_EQ(d.player->eject(), 1u);
    EXPECT_TRUE(d.player->door_open());
    EXPECT_EQ(d.player->is_playing(), 0u);
    EXPECT_EQ(d.player->position(0), 0u);
    EXPECT_EQ(d.player->play(1, 0), 0u);
    EXPECT_EQ(d.player->length(2), 2u);  // the table read last is kept
    d.table.tracks.pop_back();           // another disc
    EXPECT_EQ(d.player->eject(), 1u);
    EXPECT_FALSE(d.player->door_open());
    EXPECT_EQ(d.table_reads, 2);
    EXPECT_EQ(d.player->length(2), 0u);
    EXPECT_EQ(d.player->play(1, 0), 1u);
}

TEST(CdWorker, TicksComeAtThePeriodAndAreNeverQueuedTwice) {
    Drive d({1000});
    std::atomic<int> ticks{0};
    std::atomic<bool> answer{true};
    CdWorker* self = nullptr;
    CdWorker worker([](uint64_t) {},
                    [&](uint64_t timer) {
                        ++ticks;
                        if (answer) self->tick_ran(timer);
                    });
    self = &worker;
    worker.start(d.player.get());
    worker.set_timer(10);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ticks < 5 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GE(ticks.load(), 5);
    // A tick nobody has taken is not queued again.
    answer = false;
    int before = ticks.load();
    worker.set_timer(10);
    deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ticks <= before && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // (one more may be a tick of the first timer, queued before it was replaced)
    EXPECT_GE(ticks.load(), before + 1);
    EXPECT_LE(ticks.load(), before + 2);
    worker.set_timer(0);
    worker.stop();
}

TEST(CdWithoutDrive, AnEmptyDiscAnswersByItsRules) {
    AudioStartup audio;
    audio.offline_rate = kRate;
    start_audio(audio);
    ASSERT_NE(cd_player(), nullptr);
    EXPECT_FALSE(cd_started());
    const std::pair<uint32_t, uint32_t> results[] = {
        {kFirstCdCommand + 0, 0},    // cd_play
        {kFirstCdCommand + 1, 0},    // cd_stop
        {kFirstCdCommand + 2, 1},    // cd_pause
        {kFirstCdCommand + 3, 1},    // cd_replay
        {kFirstCdCommand + 5, 100},  // cd_getvol
        {kFirstCdCommand + 6, 0},    // cd_isplay
        {kFirstCdCommand + 7, 0},    // cd_getpos
        {kFirstCdCommand + 8, 0},    // cd_getlen
        {kFirstCdCommand + 10, 0},   // cd_eject
    };
    for (const auto& [message, result] : results)
        EXPECT_EQ(cd_window_command(message, 1, 1), result) << message;
    EXPECT_EQ(cd_window_command(kFirstCdCommand + 9, 2, 0), 0u);  // cd_repeat
    EXPECT_EQ(cd_window_command(kFirstCdCommand + 9, 0, 0), 2u);
    stop_audio();
    EXPECT_EQ(cd_player(), nullptr);
}

}  // namespace
}  // namespace tob::media
