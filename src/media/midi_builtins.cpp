// The MIDI built-ins: each sends its window command (1144 + its place in
// the family) and the window thread runs the music operation. Without music
// (no `Music`, or the synthesiser failed) they answer as with no song:
// midi_load 0, the getters 0, the others 1.
#include <span>

#include "base/current_folder.h"
#include "media/media.h"
#include "media/music.h"
#include "media/window_thread.h"
#include "storage/exp_file.h"
#include "vm/trap.h"

namespace tob {
namespace {

enum MidiCommand : uint32_t {
    kMidiLoad = kFirstMidiCommand,
    kMidiFree,
    kMidiPlay,
    kMidiStop,
    kMidiPause,
    kMidiReplay,
    kMidiSetvol,
    kMidiGetvol,
    kMidiIsplay,
    kMidiGetpos,
    kMidiRepeat,
};
static_assert(kMidiRepeat == kLastMidiCommand);

constexpr uint32_t kMaxNameBytes = 259;

uint32_t send(TrapCall& call, uint32_t command, int words) {
    return media::send_to_window_thread(midi_window_command, call.memory(), command,
                                        words > 0 ? call.word(0) : 0, 0);
}

uint32_t builtin_midi_load(TrapCall& call) {
    return send(call, kMidiLoad, 1);
}
uint32_t builtin_midi_free(TrapCall& call) {
    return send(call, kMidiFree, 0);
}
uint32_t builtin_midi_play(TrapCall& call) {
    return send(call, kMidiPlay, 1);
}
uint32_t builtin_midi_stop(TrapCall& call) {
    return send(call, kMidiStop, 1);
}
uint32_t builtin_midi_pause(TrapCall& call) {
    return send(call, kMidiPause, 0);
}
uint32_t builtin_midi_replay(TrapCall& call) {
    return send(call, kMidiReplay, 0);
}
uint32_t builtin_midi_setvol(TrapCall& call) {
    return send(call, kMidiSetvol, 1);
}
uint32_t builtin_midi_getvol(TrapCall& call) {
    return send(call, kMidiGetvol, 0);
}
uint32_t builtin_midi_isplay(TrapCall& call) {
    return send(call, kMidiIsplay, 0);
}
uint32_t builtin_midi_getpos(TrapCall& call) {
    return send(call, kMidiGetpos, 0);
}
uint32_t builtin_midi_repeat(TrapCall& call) {
    return send(call, kMidiRepeat, 1);
}

constexpr TrapBinding kMidiBuiltins[] = {
    {"midi_load", builtin_midi_load},     {"midi_free", builtin_midi_free},
    {"midi_play", builtin_midi_play},     {"midi_stop", builtin_midi_stop},
    {"midi_pause", builtin_midi_pause},   {"midi_replay", builtin_midi_replay},
    {"midi_setvol", builtin_midi_setvol}, {"midi_getvol", builtin_midi_getvol},
    {"midi_isplay", builtin_midi_isplay}, {"midi_getpos", builtin_midi_getpos},
    {"midi_repeat", builtin_midi_repeat},
};

}  // namespace

std::span<const TrapBinding> midi_builtins() {
    return kMidiBuiltins;
}

uint32_t midi_window_command(ScriptMemory& memory, uint32_t message, uint32_t w, uint32_t) {
    media::Music* m = music();
    int32_t arg = int32_t(w);
    switch (message) {
        case kMidiLoad: {
            if (!m) return 0;
            auto name = memory.c_string(w, kMaxNameBytes + 1);
            if (!name || name->size() > kMaxNameBytes) return 0;
            auto file = read_expanded_file(*name, current_folder());
            if (!file) return 0;
            return m->load(std::move(*file));
        }
        case kMidiFree:
            return m ? m->free() : 1;
        case kMidiPlay:
            return m ? m->play() : 1;
        case kMidiStop:
            return m ? m->stop() : 1;
        case kMidiPause:
            return m ? m->pause() : 1;
        case kMidiReplay:
            return m ? m->replay() : 1;
        case kMidiSetvol:
            return m ? m->set_volume(arg) : 1;
        case kMidiGetvol:
            return m ? m->volume() : 0;
        case kMidiIsplay:
            return m ? m->is_playing() : 0;
        case kMidiGetpos:
            return m ? m->position_ms() : 0;
        case kMidiRepeat:
            return m ? m->set_repeat(arg) : 1;
        default:
            return 0;
    }
}

}  // namespace tob
