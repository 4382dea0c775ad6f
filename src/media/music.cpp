#include "media/music.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "media/fluidsynth_library.h"

namespace tob::media {
namespace {

void quiet_log(int, const char*, void*) {}

// The probe only reads files: its events go nowhere.
int drop_event(void*, fluid_midi_event_t*) {
    return FLUID_OK;
}

}  // namespace

std::filesystem::path find_soundfont(const std::filesystem::path& option) {
    if (!option.empty()) return option;
    if (const char* env = std::getenv("MORVANE_SOUNDFONT"); env && *env) return env;
    const std::filesystem::path dir = "/usr/share/sounds/sf2";
    for (const char* name : {"default-GM.sf2", "FluidR3_GM.sf2", "TimGM6mb.sf2"}) {
        std::error_code ec;
        if (std::filesystem::exists(dir / name, ec)) return dir / name;
    }
    return dir / "default-GM.sf2";
}

std::unique_ptr<Music> Music::create(uint32_t rate, const std::filesystem::path& soundfont,
                                     bool log, StartError& error) {
    error = StartError::Synth;
    std::string why;
    if (!fs::load(why)) return nullptr;
    for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
        fs::fluid_set_log_function(
            level,
            log && level <= FLUID_WARN ? fs::functions().fluid_default_log_function : quiet_log,
            nullptr);
    std::unique_ptr<Music> m(new Music());
    m->rate_ = rate;
    error = StartError::Synth;
    m->settings_ = fs::new_fluid_settings();
    if (!m->settings_) return nullptr;
    fs::fluid_settings_setnum(m->settings_, "synth.sample-rate", double(rate));
    fs::fluid_settings_setstr(m->settings_, "player.timing-source", "sample");
    fs::fluid_settings_setint(m->settings_, "synth.threadsafe-api", 1);
    m->synth_ = fs::new_fluid_synth(m->settings_);
    if (!m->synth_) return nullptr;
    // A second, silent synthesiser tries each file before the song's own
    // player gets it: a file its reader refuses would make a repeating
    // player spin in place.
    m->probe_settings_ = fs::new_fluid_settings();
    if (!m->probe_settings_) return nullptr;
    fs::fluid_settings_setnum(m->probe_settings_, "synth.sample-rate", 8000.0);
    fs::fluid_settings_setstr(m->probe_settings_, "player.timing-source", "sample");
    fs::fluid_settings_setint(m->probe_settings_, "synth.polyphony", 16);
    fs::fluid_settings_setint(m->probe_settings_, "synth.reverb.active", 0);
    fs::fluid_settings_setint(m->probe_settings_, "synth.chorus.active", 0);
    m->probe_ = fs::new_fluid_synth(m->probe_settings_);
    if (!m->probe_) return nullptr;
    error = StartError::Soundfont;
    if (fs::fluid_synth_sfload(m->synth_, soundfont.c_str(), 1) == FLUID_FAILED) return nullptr;
    for (auto& v : m->channel_volume_) v = 127;
    error = StartError::None;
    return m;
}

Music::~Music() {
    free();
    if (synth_) fs::delete_fluid_synth(synth_);
    if (settings_) fs::delete_fluid_settings(settings_);
    if (probe_) fs::delete_fluid_synth(probe_);
    if (probe_settings_) fs::delete_fluid_settings(probe_settings_);
}

int Music::handle_event(void* data, fluid_midi_event_t* event) {
    auto* m = static_cast<Music*>(data);
    if (fs::fluid_midi_event_get_type(event) == 0xB0 &&
        fs::fluid_midi_event_get_control(event) == 7) {
        int channel = fs::fluid_midi_event_get_channel(event) & 15;
        int value = fs::fluid_midi_event_get_value(event) & 0x7F;
        m->channel_volume_[size_t(channel)] = uint8_t(value);
        int scaled = scaled_channel_volume(uint32_t(value), m->master_.load());
        fs::fluid_midi_event_set_value(event, scaled);
        if (m->record_) {
            std::lock_guard lock(m->record_mutex_);
            m->recorded_.emplace_back(channel, scaled);
        }
    }
    return fs::fluid_synth_handle_midi_event(m->synth_, event);
}

void Music::send_volume(int channel, int value) {
    fs::fluid_synth_cc(synth_, channel, 7, value);
    if (record_) {
        std::lock_guard lock(record_mutex_);
        recorded_.emplace_back(channel, value);
    }
}

std::vector<std::pair<int, int>> Music::take_volume_messages() {
    std::lock_guard lock(record_mutex_);
    return std::exchange(recorded_, {});
}

void Music::delete_player() {
    if (!player_) return;
    fs::fluid_player_stop(player_);
    fs::delete_fluid_player(player_);
    player_ = nullptr;
    paused_ = false;
    fs::fluid_synth_all_sounds_off(synth_, -1);
}

bool Music::start_player() {
    std::lock_guard lock(render_mutex_);
    delete_player();
    fs::fluid_synth_system_reset(synth_);
    player_ = fs::new_fluid_player(synth_);
    if (!player_) return false;
    fs::fluid_player_set_playback_callback(player_, &Music::handle_event, this);
    if (fs::fluid_player_add_mem(player_, file_.data(), file_.size()) != FLUID_OK) {
        delete_player();
        return false;
    }
    fs::fluid_player_set_loop(player_, repeat_ > 0 ? -1 : 1);
    looping_ = repeat_ > 0;
    paused_ = false;
    played_frames_ = 0;
    return fs::fluid_player_play(player_) == FLUID_OK;
}

bool Music::player_playing() const {
    if (!player_ || fs::fluid_player_get_status(player_) != FLUID_PLAYER_PLAYING) return false;
    // The player lingers a while after the last event for the notes'
    // release; the song itself has ended at its length.
    if (looping_ || info_.length_ms == 0) return true;
    return played_frames_.load() * 1000 / rate_ < info_.length_ms;
}

bool Music::player_reads(const std::vector<uint8_t>& file) {
    fluid_player_t* p = fs::new_fluid_player(probe_);
    if (!p) return false;
    fs::fluid_player_set_playback_callback(p, drop_event, nullptr);
    bool ok = fs::fluid_player_add_mem(p, file.data(), file.size()) == FLUID_OK;
    if (ok) {
        fs::fluid_player_set_loop(p, 1);
        fs::fluid_player_play(p);
        // The first block reads the file; a file it could not read ends the
        // player at once (a song that ends lingers for its notes' release).
        float out[2 * 64];
        fs::fluid_synth_write_float(probe_, 64, out, 0, 2, out, 1, 2);
        ok = fs::fluid_player_get_status(p) == FLUID_PLAYER_PLAYING;
        fs::fluid_player_stop(p);
    }
    fs::delete_fluid_player(p);
    fs::fluid_synth_system_reset(probe_);
    return ok;
}

uint32_t Music::load(std::vector<uint8_t> file) {
    free();
    auto scanned = scan_midi_file(file);
    if (!std::holds_alternative<MidiFileInfo>(scanned)) return 0;
    if (!player_reads(file)) return 0;
    info_ = std::get<MidiFileInfo>(scanned);
    file_ = std::move(file);
    // Each song's volume tool starts from full channel volumes.
    for (auto& v : channel_volume_) v = 127;
    return 1;
}

uint32_t Music::free() {
    stop();
    file_.clear();
    info_ = {};
    return 1;
}

uint32_t Music::play() {
    pause_count_ = 0;
    if (!loaded()) return 1;
    stop();
    return start_player() ? 1 : 0;
}

uint32_t Music::stop() {
    if (loaded()) {
        std::lock_guard lock(render_mutex_);
        delete_player();
    }
    played_frames_ = 0;
    return 1;
}

uint32_t Music::pause() {
    if (pause_count_ >= 1) ++pause_count_;
    std::lock_guard lock(render_mutex_);
    if (!player_playing()) return 1;
    pause_count_ = 1;
    paused_ = true;
    fs::fluid_player_stop(player_);
    fs::fluid_synth_all_sounds_off(synth_, -1);
    return 0;
}

uint32_t Music::replay() {
    if (pause_count_ == 0) return 1;
    if (--pause_count_ > 0) return 1;
    if (!loaded()) return 1;
    std::lock_guard lock(render_mutex_);
    if (!player_) return 1;
    fs::fluid_player_set_loop(player_, repeat_ > 0 ? -1 : 1);
    looping_ = repeat_ > 0;
    paused_ = false;
    return fs::fluid_player_play(player_) == FLUID_OK ? 1 : 0;
}

uint32_t Music::set_volume(int32_t volume) {
    uint32_t v = uint32_t(std::clamp(volume, 0, 100));
    master_ = v;
    for (int ch = 0; ch < 16; ++ch)
        send_volume(ch, scaled_channel_volume(channel_volume_[size_t(ch)].load(), v));
    return 1;
}

uint32_t Music::volume() const {
    return loaded() ? master_.load() : 0;
}

uint32_t Music::is_playing() const {
    std::lock_guard lock(render_mutex_);
    return player_playing() ? 1 : 0;
}

uint32_t Music::position_ms() const {
    if (!is_playing()) return 0;
    uint64_t ms = played_frames_.load() * 1000 / rate_;
    if (info_.length_ms > 0) ms %= info_.length_ms;
    return uint32_t(ms);
}

uint32_t Music::set_repeat(int32_t flag) {
    repeat_ = flag;
    return 1;
}

size_t Music::render(float* stereo, size_t frames) {
    std::unique_lock lock(render_mutex_, std::try_to_lock);
    if (!lock.owns_lock()) return 0;  // a player is being changed: silence
    bool playing = player_playing();
    fs::fluid_synth_write_float(synth_, int(frames), stereo, 0, 2, stereo, 1, 2);
    if (playing) played_frames_ += frames;
    // A paused song is silent at once: its reverb dies away unheard.
    return paused_ ? 0 : frames;
}

}  // namespace tob::media
