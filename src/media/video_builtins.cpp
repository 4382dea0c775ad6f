// The media built-ins: each sends its window command (1194 + its place in
// the family) and the window thread runs the operation on the one media
// state. Script pointers (the file name, the rectangle) are checked where
// the command runs; a bad one gives 0.
#include <span>

#include "base/current_folder.h"
#include "media/media.h"
#include "media/media_control.h"
#include "media/window_thread.h"
#include "platform/byte_order.h"
#include "vm/trap.h"

namespace tob {
namespace {

enum VideoCommand : uint32_t {
    kMediaOpen = kFirstVideoCommand,
    kMediaClose,
    kMediaPlay,
    kMediaStop,
    kMediaPause,
    kMediaReplay,
    kMediaIsplay,
    kMediaRepeat,
    kMediaSize,
    kMediaSetvol,
};
static_assert(kMediaSetvol == kLastVideoCommand);

constexpr uint32_t kMaxNameBytes = 259;
constexpr uint32_t kRectBytes = 16;

uint32_t send(TrapCall& call, uint32_t command, int words) {
    return media::send_to_window_thread(video_window_command, call.memory(), command,
                                        words > 0 ? call.word(0) : 0, 0);
}

uint32_t builtin_media_open(TrapCall& call) {
    return send(call, kMediaOpen, 1);
}
uint32_t builtin_media_close(TrapCall& call) {
    return send(call, kMediaClose, 0);
}
uint32_t builtin_media_play(TrapCall& call) {
    return send(call, kMediaPlay, 0);
}
uint32_t builtin_media_stop(TrapCall& call) {
    return send(call, kMediaStop, 0);
}
uint32_t builtin_media_pause(TrapCall& call) {
    return send(call, kMediaPause, 0);
}
uint32_t builtin_media_replay(TrapCall& call) {
    return send(call, kMediaReplay, 0);
}
uint32_t builtin_media_isplay(TrapCall& call) {
    return send(call, kMediaIsplay, 0);
}
uint32_t builtin_media_repeat(TrapCall& call) {
    return send(call, kMediaRepeat, 1);
}
uint32_t builtin_media_size(TrapCall& call) {
    return send(call, kMediaSize, 1);
}
uint32_t builtin_media_setvol(TrapCall& call) {
    return send(call, kMediaSetvol, 1);
}

constexpr TrapBinding kVideoBuiltins[] = {
    {"media_open", builtin_media_open},     {"media_close", builtin_media_close},
    {"media_play", builtin_media_play},     {"media_stop", builtin_media_stop},
    {"media_pause", builtin_media_pause},   {"media_replay", builtin_media_replay},
    {"media_isplay", builtin_media_isplay}, {"media_repeat", builtin_media_repeat},
    {"media_size", builtin_media_size},     {"media_setvol", builtin_media_setvol},
};

}  // namespace

std::span<const TrapBinding> video_builtins() {
    return kVideoBuiltins;
}

uint32_t video_window_command(ScriptMemory& memory, uint32_t message, uint32_t w, uint32_t) {
    media::MediaControl& m = media_control();
    switch (message) {
        case kMediaOpen: {
            auto name = memory.c_string(w, kMaxNameBytes + 1);
            if (!name || name->size() > kMaxNameBytes) return 0;
            return m.open_file(*name, current_folder());
        }
        case kMediaClose:
            return m.close();
        case kMediaPlay:
            return m.play();
        case kMediaStop:
            return m.stop();
        case kMediaPause:
            return m.pause();
        case kMediaReplay:
            return m.replay();
        case kMediaIsplay:
            return m.is_playing();
        case kMediaRepeat:
            return m.set_repeat(int32_t(w));
        case kMediaSize: {
            if (w == 0) return m.set_destination(std::nullopt);
            const uint8_t* p = memory.host(w, kRectBytes);
            if (!p) return 0;
            media::MediaRect r;
            r.left = int32_t(load_le32(p));
            r.top = int32_t(load_le32(p + 4));
            r.right = int32_t(load_le32(p + 8));
            r.bottom = int32_t(load_le32(p + 12));
            return m.set_destination(r);
        }
        case kMediaSetvol:
            return m.set_volume(int32_t(w));
        default:
            return 0;
    }
}

}  // namespace tob
