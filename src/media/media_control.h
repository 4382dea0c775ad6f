// The one media state scripts control: the open file and its player, the
// playing flag, the pause count, the repeat flag, the volume and the
// destination rectangle, with the media built-ins' operations and results.
// Window thread only. The picture is a layer of the composed frame: the
// view page, then the video stretched to its rectangle, then the menu.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "media/video_file.h"
#include "media/video_player.h"

namespace tob::media {

// Volume 0..100 to hundredths of a decibel: above 100 → 0 dB, below 1 →
// silence (−10000), otherwise 5000 × log10(volume / 100), truncated.
int32_t media_volume_mb(int32_t volume);

inline constexpr const char* kMediaAllocFailed = "GraphBuilder の作成に失敗しました。";
inline constexpr const char* kMediaOpenFailed = "レンダーファイルのオープンに失敗しました。";

// A rectangle in logical screen pixels, right and bottom exclusive.
struct MediaRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool empty() const { return right <= left || bottom <= top; }
};

class MediaControl {
  public:
    struct Hooks {
        std::function<Mixer*()> mixer;                 // where the sound goes (may give null)
        std::function<void(int ms)> sleep;             // `media_stop`'s wait for the silence
        std::function<void(const char* text)> report;  // failures at level 1
    };
    explicit MediaControl(Hooks hooks) : hooks_(std::move(hooks)) {}
    ~MediaControl() { close(); }

    // The built-ins.
    uint32_t open_file(std::string_view cp932_name, const std::filesystem::path& base);
    uint32_t open(std::unique_ptr<ByteSource> source);
    uint32_t close();
    uint32_t play();
    uint32_t stop();
    uint32_t pause();
    uint32_t replay();
    uint32_t is_playing() const { return playing_ ? 1 : 0; }
    uint32_t set_repeat(int32_t flag);
    // nullopt: the whole picture.
    uint32_t set_destination(std::optional<MediaRect> rect);
    uint32_t set_volume(int32_t volume);

    // The window's own pause (deactivation), nesting with the script's.
    void window_pause();
    void window_resume();

    // The window loop: moves playback on and handles the end of the file.
    // True when what the layer shows changed.
    bool advance();
    // How soon `advance` has something to do (nullopt: nothing plays).
    std::optional<std::chrono::milliseconds> time_to_next();

    // Whether the layer covers part of the picture (a file with pictures
    // is open).
    bool layer_visible() const { return player_ && player_->has_video(); }
    // Draws the layer into a screen-sized picture; (dx, dy) shifts the
    // rectangle as the picture is shifted (the menu bar over a full screen).
    void draw(uint32_t* pixels, int width, int height, int dx, int dy);

    VideoPlayer* player() { return player_.get(); }
    int32_t volume_mb() const { return volume_mb_; }
    int32_t pause_count() const { return pause_count_; }

  private:
    // Tear-down: stop as `media_stop` does, flag 0, the player gone.
    void tear_down();
    // The player runs while playing, not paused, and the window is active.
    void apply_running();
    void apply_volume();

    Hooks hooks_;
    std::unique_ptr<VideoPlayer> player_;
    bool playing_ = false;
    bool paused_ = false;  // the script paused a playing file
    int32_t pause_count_ = 0;
    int window_pauses_ = 0;
    bool repeat_ = false;
    int32_t volume_mb_ = 0;
    std::optional<MediaRect> destination_;
    bool layer_changed_ = false;
    // The shown picture converted at the destination's size.
    PictureConverter converter_;
    std::vector<uint32_t> converted_;
    uint64_t converted_serial_ = 0;
    int converted_w_ = 0, converted_h_ = 0;
};

}  // namespace tob::media
