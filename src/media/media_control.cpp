// The media built-ins' operations on the one media state, and the video
// layer drawn into the composed frame.
#include "media/media_control.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

namespace tob::media {
namespace {

constexpr int kStopSilenceMs = 500;
constexpr int32_t kSilence = -10000;
// A destination beyond this on either side is not converted (it would cost
// up to 64 MiB a picture, and no screen needs it): it shows black.
constexpr int64_t kMaxDestinationSide = kMaxVideoSide;

}  // namespace

int32_t media_volume_mb(int32_t volume) {
    if (volume > 100) return 0;
    if (volume < 1) return kSilence;
    return int32_t(5000.0 * std::log10(double(volume) / 100.0));
}

uint32_t MediaControl::open_file(std::string_view cp932_name, const std::filesystem::path& base) {
    // Stop and tear down first, also when the new file fails.
    playing_ = paused_ = false;
    pause_count_ = 0;
    tear_down();
    return open(file_source(cp932_name, base));
}

uint32_t MediaControl::open(std::unique_ptr<ByteSource> source) {
    playing_ = paused_ = false;
    pause_count_ = 0;
    tear_down();
    Mixer* mixer = hooks_.mixer ? hooks_.mixer() : nullptr;
    VideoOpenOptions options;
    options.audio_rate = mixer ? mixer->rate() : 0;
    std::string why;
    VideoFile::OpenError error = VideoFile::OpenError::Unplayable;
    std::unique_ptr<VideoFile> file = VideoFile::open(std::move(source), options, why, &error);
    if (!file) {
        if (hooks_.report)
            hooks_.report(error == VideoFile::OpenError::Unplayable ? kMediaOpenFailed
                                                                    : kMediaAllocFailed);
        return 0;
    }
    player_ = std::make_unique<VideoPlayer>(std::move(file), mixer);
    player_->set_repeat(repeat_);
    apply_volume();
    layer_changed_ = true;
    return 1;
}

void MediaControl::tear_down() {
    if (!player_) return;
    stop();
    playing_ = false;
    player_.reset();  // the line goes, the decoding thread is joined
    converted_.clear();
    converted_serial_ = 0;
    layer_changed_ = true;
}

uint32_t MediaControl::close() {
    tear_down();
    return 1;
}

uint32_t MediaControl::play() {
    if (!player_) return 0;
    // The stored volume again: a stop left the sound silent.
    apply_volume();
    player_->start();
    playing_ = true;
    paused_ = false;
    apply_running();
    return 1;
}

uint32_t MediaControl::stop() {
    if (!player_) return 0;
    if (player_->has_audio()) {
        player_->set_gain(0.0f);
        // Only sound that is playing needs time to fall silent.
        if (player_->running() && hooks_.sleep) hooks_.sleep(kStopSilenceMs);
    }
    playing_ = false;
    apply_running();
    return 1;
}

uint32_t MediaControl::pause() {
    if (!player_) return 0;
    if (pause_count_++ == 0 && playing_) {
        paused_ = true;
        apply_running();
    }
    return 1;
}

uint32_t MediaControl::replay() {
    if (pause_count_ == 0) return 1;
    if (--pause_count_ == 0 && playing_) {
        paused_ = false;
        apply_running();
    }
    return 1;
}

uint32_t MediaControl::set_repeat(int32_t flag) {
    repeat_ = flag != 0;
    if (player_) player_->set_repeat(repeat_);
    return 1;
}

uint32_t MediaControl::set_destination(std::optional<MediaRect> rect) {
    destination_ = rect;
    layer_changed_ = true;
    return 1;
}

uint32_t MediaControl::set_volume(int32_t volume) {
    volume_mb_ = media_volume_mb(volume);
    apply_volume();
    return 1;
}

void MediaControl::apply_volume() {
    if (player_) player_->set_gain(millibel_gain(volume_mb_));
}

void MediaControl::apply_running() {
    if (player_) player_->set_running(playing_ && !paused_ && window_pauses_ == 0);
}

void MediaControl::window_pause() {
    ++window_pauses_;
    apply_running();
}

void MediaControl::window_resume() {
    if (window_pauses_ > 0) --window_pauses_;
    apply_running();
}

bool MediaControl::advance() {
    bool changed = std::exchange(layer_changed_, false);
    if (!player_) return changed;
    if (player_->advance()) changed = true;
    if (player_->completed()) {
        if (repeat_) {
            player_->start();  // from the start time again, still running
            apply_running();
        } else {
            playing_ = false;
            apply_running();
        }
    }
    return changed && player_->has_video();
}

std::optional<std::chrono::milliseconds> MediaControl::time_to_next() {
    if (!player_ || !player_->running()) return std::nullopt;
    return player_->time_to_next();
}

void MediaControl::draw(uint32_t* pixels, int width, int height, int dx, int dy) {
    if (!layer_visible() || width <= 0 || height <= 0) return;
    MediaRect d =
        destination_ && !destination_->empty() ? *destination_ : MediaRect{0, 0, width, height};
    int64_t left = int64_t(d.left) - dx, top = int64_t(d.top) - dy;
    int64_t w = int64_t(d.right) - d.left, h = int64_t(d.bottom) - d.top;
    int64_t x0 = std::max<int64_t>(left, 0), y0 = std::max<int64_t>(top, 0);
    int64_t x1 = std::min<int64_t>(left + w, width), y1 = std::min<int64_t>(top + h, height);
    if (x0 >= x1 || y0 >= y1) return;
    const AVFrame* picture = player_->picture();
    bool have = picture && w <= kMaxDestinationSide && h <= kMaxDestinationSide;
    if (have && (converted_serial_ != player_->picture_serial() || converted_w_ != w ||
                 converted_h_ != h || converted_.empty())) {
        // Each picture is converted once, at the size it is shown.
        converted_.resize(size_t(w) * size_t(h));
        have = converter_.convert(picture, int(w), int(h), converted_.data(), w);
        converted_serial_ = have ? player_->picture_serial() : 0;
        converted_w_ = int(w);
        converted_h_ = int(h);
        if (!have) converted_.clear();
    }
    have = have && !converted_.empty();
    for (int64_t y = y0; y < y1; ++y) {
        uint32_t* out = pixels + y * width;
        if (!have) {
            std::fill(out + x0, out + x1, 0u);  // a window with nothing in it yet
            continue;
        }
        const uint32_t* in = converted_.data() + (y - top) * w + (x0 - left);
        std::transform(in, in + (x1 - x0), out + x0, [](uint32_t p) { return p & 0xFFFFFFu; });
    }
}

}  // namespace tob::media
