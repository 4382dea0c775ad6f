// The CD built-ins: each sends its window command (1124 + its place in the
// family) with the arguments where the command protocol puts them, and the
// window thread runs the player's operation. Without `CD` the disc is
// empty: cd_play, cd_stop and cd_eject give 0, the others keep their rules.
#include <atomic>
#include <functional>
#include <span>

#include "media/cd_player.h"
#include "media/media.h"
#include "media/window_thread.h"
#include "vm/trap.h"

namespace tob {
namespace {

enum CdCommand : uint32_t {
    kCdPlay = kFirstCdCommand,
    kCdStop,
    kCdPause,
    kCdReplay,
    kCdSetvol,
    kCdGetvol,
    kCdIsplay,
    kCdGetpos,
    kCdGetlen,
    kCdRepeat,
    kCdEject,
};
static_assert(kCdEject == kLastCdCommand);

uint32_t send(uint32_t command, uint32_t wparam, uint32_t lparam) {
    return media::run_on_window_thread([=] { return cd_window_command(command, wparam, lparam); });
}

uint32_t builtin_cd_play(TrapCall& call) {
    return send(kCdPlay, call.word(0), call.word(1));
}
uint32_t builtin_cd_stop(TrapCall& call) {
    return send(kCdStop, 0, call.word(0));
}
uint32_t builtin_cd_pause(TrapCall&) {
    return send(kCdPause, 0, 0);
}
uint32_t builtin_cd_replay(TrapCall&) {
    return send(kCdReplay, 0, 0);
}
uint32_t builtin_cd_setvol(TrapCall& call) {
    return send(kCdSetvol, 0, call.word(0));
}
uint32_t builtin_cd_getvol(TrapCall&) {
    return send(kCdGetvol, 0, 0);
}
uint32_t builtin_cd_isplay(TrapCall&) {
    return send(kCdIsplay, 0, 0);
}
uint32_t builtin_cd_getpos(TrapCall& call) {
    return send(kCdGetpos, 0, call.word(0));
}
uint32_t builtin_cd_getlen(TrapCall& call) {
    return send(kCdGetlen, call.word(0), 0);
}
uint32_t builtin_cd_repeat(TrapCall& call) {
    return send(kCdRepeat, call.word(0), 0);
}
uint32_t builtin_cd_eject(TrapCall&) {
    return send(kCdEject, 0, 0);
}

constexpr TrapBinding kCdBuiltins[] = {
    {"cd_play", builtin_cd_play},     {"cd_stop", builtin_cd_stop},
    {"cd_pause", builtin_cd_pause},   {"cd_replay", builtin_cd_replay},
    {"cd_setvol", builtin_cd_setvol}, {"cd_getvol", builtin_cd_getvol},
    {"cd_isplay", builtin_cd_isplay}, {"cd_getpos", builtin_cd_getpos},
    {"cd_getlen", builtin_cd_getlen}, {"cd_repeat", builtin_cd_repeat},
    {"cd_eject", builtin_cd_eject},
};

}  // namespace

std::span<const TrapBinding> cd_builtins() {
    return kCdBuiltins;
}

uint32_t cd_window_command(uint32_t message, uint32_t wparam, uint32_t lparam) {
    media::CdPlayer* cd = cd_player();
    const bool started = cd && cd_started();
    const int32_t w = int32_t(wparam), l = int32_t(lparam);
    switch (message) {
        case kCdPlay:
            return started ? cd->play(w, l) : 0;
        case kCdStop:
            return started ? cd->stop(l) : 0;
        case kCdPause:
            return cd ? cd->pause() : 1;
        case kCdReplay:
            return cd ? cd->replay() : 1;
        case kCdSetvol:
            return cd ? cd->set_volume(l) : 1;
        case kCdGetvol:
            return cd ? cd->volume() : 0;
        case kCdIsplay:
            return cd ? cd->is_playing() : 0;
        case kCdGetpos:
            return cd ? cd->position(l) : 0;
        case kCdGetlen:
            return cd ? cd->length(w) : 0;
        case kCdRepeat:
            return cd ? cd->set_repeat(w) : 0;
        case kCdEject:
            return started ? cd->eject() : 0;
        default:
            return 0;
    }
}

}  // namespace tob
