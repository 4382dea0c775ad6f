// MIDI music speed in multiples of real time (processor time), side by side
// in one run: a dense 60-second General MIDI song (16 channels, drums, held
// chords, channel-volume changes) rendered through our music line (player,
// volume callback, mixer) and by FluidSynth's own fast file renderer (sample
// timing, raw output into /dev/null), with the same soundfont.
#include <fluidsynth.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "media/mixer.h"
#include "media/music.h"

namespace {

double cpu_now() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void vlq(std::vector<uint8_t>& b, uint32_t v) {
    uint8_t tmp[4];
    int n = 0;
    do {
        tmp[n++] = uint8_t(v & 0x7F);
        v >>= 7;
    } while (v);
    while (n--) b.push_back(uint8_t(tmp[n] | (n ? 0x80 : 0)));
}

// 60 s at 120 beats a minute, 480 ticks a beat: events every sixteenth.
std::vector<uint8_t> dense_song() {
    std::vector<uint8_t> e;
    e.insert(e.end(), {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20});
    for (uint8_t ch = 0; ch < 16; ++ch) {
        e.insert(e.end(), {0x00, uint8_t(0xC0 | ch), uint8_t(ch * 7 % 128)});
        e.insert(e.end(), {0x00, uint8_t(0xB0 | ch), 7, 100});
    }
    const uint32_t step = 120, steps = 60 * 2 * 4;
    uint32_t pending = 0;
    for (uint32_t s = 0; s < steps; ++s) {
        // A new held chord on each melodic channel every bar.
        for (uint8_t ch = 0; ch < 16; ++ch) {
            if (ch == 9) continue;
            uint8_t root = uint8_t(36 + (ch * 5 + s / 16) % 48);
            if (s % 16 == 0) {
                for (uint8_t k : {root, uint8_t(root + 4), uint8_t(root + 7)}) {
                    if (s) {
                        vlq(e, pending);
                        pending = 0;
                        e.insert(e.end(), {uint8_t(0x80 | ch), uint8_t(k - (s ? 0 : 0)), 0});
                    }
                }
                for (uint8_t k : {root, uint8_t(root + 4), uint8_t(root + 7)}) {
                    vlq(e, pending);
                    pending = 0;
                    e.insert(e.end(), {uint8_t(0x90 | ch), k, 90});
                }
            }
            if (s % 4 == 2) {
                vlq(e, pending);
                pending = 0;
                e.insert(e.end(), {uint8_t(0xB0 | ch), 7, uint8_t(60 + (s * 3 + ch) % 60)});
            }
        }
        // Drums on every step.
        for (uint8_t k : {36, 38, 42}) {
            vlq(e, pending);
            pending = 0;
            e.insert(e.end(), {0x99, k, 100});
        }
        pending += step;
    }
    vlq(e, pending);
    e.insert(e.end(), {0xFF, 0x2F, 0x00});
    std::vector<uint8_t> f = {'M', 'T', 'h', 'd',  0,    0,   0,   6,   0,
                              0,   0,   1,   0x01, 0xE0, 'M', 'T', 'r', 'k'};
    uint32_t n = uint32_t(e.size());
    f.insert(f.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
    f.insert(f.end(), e.begin(), e.end());
    return f;
}

constexpr uint32_t kRate = 44100;

double ours(const std::vector<uint8_t>& song, const char* font) {
    tob::media::Music::StartError error;
    auto music = tob::media::Music::create(kRate, font, false, error);
    if (!music || !music->load(song)) return 0;
    tob::media::Mixer mixer(kRate);
    mixer.add_line("music", [m = music.get()](float* s, size_t n) { return m->render(s, n); });
    music->set_volume(80);
    std::vector<float> out(tob::media::kMixBlock * 2);
    double t0 = cpu_now();
    music->play();
    uint64_t frames = 0;
    std::fprintf(stderr, "song length %llu ms\n", (unsigned long long)music->length_ms());
    while (music->is_playing() && frames < 70ull * kRate) {
        mixer.render_float(out.data(), tob::media::kMixBlock);
        frames += tob::media::kMixBlock;
    }
    double t = cpu_now() - t0;
    return double(frames) / kRate / t;
}

double theirs(const std::vector<uint8_t>& song, const char* font) {
    fluid_settings_t* settings = new_fluid_settings();
    fluid_settings_setnum(settings, "synth.sample-rate", kRate);
    fluid_settings_setstr(settings, "player.timing-source", "sample");
    fluid_settings_setstr(settings, "audio.file.name", "/dev/null");
    fluid_settings_setstr(settings, "audio.file.type", "raw");
    fluid_synth_t* synth = new_fluid_synth(settings);
    fluid_synth_sfload(synth, font, 1);
    fluid_player_t* player = new_fluid_player(synth);
    fluid_player_add_mem(player, song.data(), song.size());
    fluid_file_renderer_t* renderer = new_fluid_file_renderer(synth);
    int period = 64;
    fluid_settings_getint(settings, "audio.period-size", &period);
    double t0 = cpu_now();
    fluid_player_play(player);
    uint64_t frames = 0;
    while (fluid_player_get_status(player) == FLUID_PLAYER_PLAYING && frames < 70ull * kRate) {
        if (fluid_file_renderer_process_block(renderer) != FLUID_OK) break;
        frames += uint64_t(period);
    }
    double t = cpu_now() - t0;
    delete_fluid_file_renderer(renderer);
    delete_fluid_player(player);
    delete_fluid_synth(synth);
    delete_fluid_settings(settings);
    return double(frames) / kRate / t;
}

}  // namespace

int main(int argc, char** argv) {
    const char* font = argc > 1 ? argv[1] : "/usr/share/sounds/sf2/TimGM6mb.sf2";
    for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
        fluid_set_log_function(level, nullptr, nullptr);
    std::vector<uint8_t> song = dense_song();
    double a = ours(song, font);
    double b = theirs(song, font);
    std::printf("60-second dense General MIDI song, %s\n", font);
    std::printf("  our music line      %8.1fx real time\n", a);
    std::printf("  FluidSynth fast     %8.1fx real time\n", b);
    std::printf("  ratio               %8.2f\n", b > 0 ? a / b : 0.0);
    return a > 0 && b > 0 ? 0 : 1;
}
