// The audio device, the mixer and the sound channels as the engine owns
// them: started with the devices, stopped after engine shutdown.
#include <memory>

#include "base/current_folder.h"
#include "base/error_report.h"
#include "base/settings.h"
#include "media/media.h"
#include "media/mixer.h"
#include "media/music.h"
#include "media/sound_channels.h"
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
}

void stop_audio() {
    AudioSystem& a = audio();
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

void free_sound_channels() {
    if (audio().channels) audio().channels->free_all();
}

}  // namespace tob
