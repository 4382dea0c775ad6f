// The engine's one media state and the window's hooks into it: the loop
// moves playback on and composes the layer; closing, shutdown and window
// pauses reach it here.
#include <chrono>
#include <thread>

#include "base/error_report.h"
#include "media/media.h"
#include "media/media_control.h"

namespace tob {

media::MediaControl& media_control() {
    static media::MediaControl control({
        [] { return audio_mixer(true); },
        [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); },
        [](const char* text) { report_error(1, "%s", text); },
    });
    return control;
}

void close_media() {
    media_control().close();
}

void pause_media() {
    media_control().window_pause();
}

void resume_media() {
    media_control().window_resume();
}

bool advance_media() {
    return media_control().advance();
}

std::optional<std::chrono::milliseconds> media_time_to_next() {
    return media_control().time_to_next();
}

bool media_layer_visible() {
    return media_control().layer_visible();
}

void draw_media(uint32_t* pixels, int width, int height, int dx, int dy) {
    media_control().draw(pixels, width, height, dx, dy);
}

}  // namespace tob
