// The audio device, the mixer and the sound channels as the engine owns
// them: started with the devices, stopped after engine shutdown.
#include <memory>

#include "base/current_folder.h"
#include "base/error_report.h"
#include "base/settings.h"
#include "media/media.h"
#include "media/mixer.h"
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
}

void stop_audio() {
    AudioSystem& a = audio();
    a.channels.reset();  // frees every channel, ends the feeder
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

void free_sound_channels() {
    if (audio().channels) audio().channels->free_all();
}

}  // namespace tob
