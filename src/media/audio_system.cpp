// The audio device, the mixer and the sound channels as the engine owns
// them: started with the devices, stopped after engine shutdown.
#include <memory>

#include "base/current_folder.h"
#include "base/error_report.h"
#include "base/settings.h"
#include "media/cd_disc.h"
#include "media/cd_player.h"
#include "media/media.h"
#include "media/mixer.h"
#include "media/music.h"
#include "media/sound_channels.h"
#include "media/window_thread.h"
#include "platform/audio_output.h"
#include "storage/exp_file.h"

namespace tob {
namespace {

struct AudioSystem {
    AudioStartup startup;
    std::unique_ptr<platform::AudioOutput> output;
    std::unique_ptr<media::Mixer> mixer;
    std::unique_ptr<media::SoundChannels> channels;
    std::unique_ptr<media::Music> music;
    media::LineId music_line = -1;
    int music_pauses = 0;
    std::unique_ptr<media::CdWorker> cd_worker;
    std::unique_ptr<media::CdPlayer> cd;
    media::LineId cd_line = -1;
    bool cd_started = false;
    int cd_pauses = 0;
    bool app_active = true;
};

AudioSystem& audio() {
    static AudioSystem a;
    return a;
}

void render(void* mixer, int16_t* out, size_t frames) {
    static_cast<media::Mixer*>(mixer)->render(out, frames);
}

void open_device() {
    AudioSystem& a = audio();
    if (a.mixer) return;
    if (a.startup.offline_rate) {
        a.mixer = std::make_unique<media::Mixer>(a.startup.offline_rate);
        return;
    }
    platform::AudioSpec spec;
    spec.record = a.startup.record;
    spec.headless = a.startup.headless;
    a.output = platform::open_audio_output(spec);
    if (!a.output) {
        report_error(1, "DirectSound の初期化に失敗しました。");
        return;
    }
    a.mixer = std::make_unique<media::Mixer>(uint32_t(a.output->rate()));
    a.mixer->set_application_active(a.app_active);
    a.output->start(&render, a.mixer.get());
}

void start_music() {
    AudioSystem& a = audio();
    media::Mixer* mixer = audio_mixer(true);
    media::Music::StartError error = media::Music::StartError::Synth;
    if (mixer)
        a.music = media::Music::create(mixer->rate(), media::find_soundfont(a.startup.soundfont),
                                       a.startup.music_log, error);
    if (!a.music) {
        report_error(1, error == media::Music::StartError::Soundfont
                            ? "ポートの選択に失敗しました。"
                            : "DirectMusicPerformance の初期化に失敗しました。");
        return;
    }
    a.music_line = mixer->add_line("music", [m = a.music.get()](float* stereo, size_t frames) {
        return m->render(stereo, frames);
    });
}

// The drive: the disc folder's table, a worker that feeds the track and keeps
// the fade timer, and the CD line. Without `CD` the player holds an empty
// disc, so the built-ins that need none still answer by their rules.
void start_cd() {
    AudioSystem& a = audio();
    media::Mixer* mixer = a.mixer.get();
    media::CdPlayer::Hooks hooks;
    // The disc folder stays where the game was at start-up.
    const std::filesystem::path base =
        a.startup.module_dir.empty() ? current_folder() : a.startup.module_dir;
    if (a.startup.cd) {
        hooks.read_table = [base] { return media::read_cd_table(base); };
        a.cd_started = true;
    }
    if (a.startup.cd && mixer) {
        hooks.read_file = [base](const std::string& file) {
            return read_expanded_file(file, base);
        };
        // What the worker finds goes to the window thread; by then the drive
        // may have been shut down.
        a.cd_worker = std::make_unique<media::CdWorker>(
            [](uint64_t generation) {
                media::post_to_window_thread([generation] {
                    if (media::CdPlayer* cd = cd_player()) cd->track_ended(generation);
                });
            },
            [](uint64_t timer) {
                media::post_to_window_thread([timer] {
                    AudioSystem& s = audio();
                    if (!s.cd || !s.cd_worker) return;
                    if (s.cd_worker->timer() == timer) s.cd->fade_tick();
                    s.cd_worker->tick_ran(timer);
                });
            });
        hooks.set_timer = [w = a.cd_worker.get()](uint32_t period) { w->set_timer(period); };
        hooks.wake = [w = a.cd_worker.get()] { w->wake(); };
    }
    a.cd = std::make_unique<media::CdPlayer>(mixer ? mixer->rate() : 44100, std::move(hooks));
    if (a.cd_worker) {
        a.cd_worker->start(a.cd.get());
        a.cd_line = mixer->add_line("cd", [cd = a.cd.get()](float* stereo, size_t frames) {
            return cd->render(stereo, frames);
        });
    }
}

void stop_cd_drive() {
    AudioSystem& a = audio();
    if (a.cd_worker) a.cd_worker->stop();
    // The line stops pulling before the player goes.
    if (a.cd_line >= 0 && a.mixer) a.mixer->remove_line(a.cd_line);
    a.cd_line = -1;
    a.cd.reset();
    a.cd_worker.reset();
    a.cd_started = false;
    a.cd_pauses = 0;
}

}  // namespace

void start_audio(const AudioStartup& startup) {
    stop_audio();
    AudioSystem& a = audio();
    a.startup = startup;
    if (startup.open_device || startup.offline_rate) open_device();
    a.channels = std::make_unique<media::SoundChannels>(
        startup.sound ? a.mixer.get() : nullptr,
        [dir = startup.module_dir](std::string_view name) {
            return read_expanded_file(name, dir.empty() ? current_folder() : dir);
        },
        [] { return settings().global_sound.load() != 0; });
    if (startup.music) start_music();
    start_cd();
}

void stop_audio() {
    AudioSystem& a = audio();
    stop_cd_drive();
    a.channels.reset();  // frees every channel, ends the feeder
    // The line stops pulling before the music goes.
    if (a.music_line >= 0 && a.mixer) a.mixer->remove_line(a.music_line);
    a.music_line = -1;
    a.music.reset();
    a.music_pauses = 0;
    if (a.output) a.output->stop();
    a.output.reset();
    a.mixer.reset();
}

media::Mixer* audio_mixer(bool open_if_closed) {
    if (open_if_closed) open_device();
    return audio().mixer.get();
}

media::SoundChannels* sound_channels() {
    return audio().channels.get();
}

void set_audio_application_active(bool active) {
    audio().app_active = active;
    if (audio().mixer) audio().mixer->set_application_active(active);
}

media::Music* music() {
    return audio().music.get();
}

void free_music() {
    if (audio().music) audio().music->free();
}

// A window pause silences the song at once and keeps its place, nesting
// with the script's own pauses.
void pause_music() {
    if (audio().music && audio().music_pauses++ == 0) audio().music->pause();
}

void resume_music() {
    if (audio().music_pauses > 0 && --audio().music_pauses == 0) audio().music->replay();
}

media::CdPlayer* cd_player() {
    return audio().cd.get();
}

bool cd_started() {
    return audio().cd_started;
}

void stop_cd() {
    if (audio().cd) audio().cd->stop(0);
}

// Like the music: the track keeps its place under the window's pause, which
// nests with the script's own.
void pause_cd() {
    if (audio().cd && audio().cd_pauses++ == 0) audio().cd->pause();
}

void resume_cd() {
    if (audio().cd_pauses > 0 && --audio().cd_pauses == 0) audio().cd->replay();
}

void free_sound_channels() {
    if (audio().channels) audio().channels->free_all();
}

}  // namespace tob
