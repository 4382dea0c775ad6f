// The sound built-ins: each sends its window command (1164 + its place in
// the family) and the window thread runs the channel operation. Script
// pointers (file names, the comment buffer, effect records) are checked;
// a bad one gives 0 and changes nothing.
#include <optional>
#include <span>

#include "media/media.h"
#include "media/sound_channels.h"
#include "media/window_thread.h"
#include "vm/trap.h"

namespace tob {
namespace {

// The window commands, in trap order.
enum SoundCommand : uint32_t {
    kSndLoad = kFirstSoundCommand,
    kSndLoads,
    kSndFree,
    kSndPlay,
    kSndStop,
    kSndPause,
    kSndReplay,
    kSndSetvol,
    kSndGetvol,
    kSndSetpan,
    kSndGetpan,
    kSndIsplay,
    kSndSetloop,
    kSndSetpos,
    kSndGetpos,
    kSndGetlen,
    kSndGettext,
    kSndSetmargin,
    kSndSetchorus,
    kSndSetcompressor,
    kSndSetdistortion,
    kSndSetecho,
    kSndSetflanger,
    kSndSetgargle,
    kSndSetparameq,
    kSndSetreverb,
};
static_assert(kSndSetreverb == kLastSoundCommand);

// File names are kept in a record of 260 bytes.
constexpr uint32_t kMaxNameBytes = 259;

uint32_t send(TrapCall& call, uint32_t command) {
    return media::send_to_window_thread(sound_window_command, call.memory(), command, call.word(0),
                                        call.word(1));
}

uint32_t builtin_snd_load(TrapCall& call) {
    return send(call, kSndLoad);
}
uint32_t builtin_snd_loads(TrapCall& call) {
    return send(call, kSndLoads);
}
uint32_t builtin_snd_free(TrapCall& call) {
    return send(call, kSndFree);
}
uint32_t builtin_snd_play(TrapCall& call) {
    return send(call, kSndPlay);
}
uint32_t builtin_snd_stop(TrapCall& call) {
    return send(call, kSndStop);
}
uint32_t builtin_snd_pause(TrapCall& call) {
    return send(call, kSndPause);
}
uint32_t builtin_snd_replay(TrapCall& call) {
    return send(call, kSndReplay);
}
uint32_t builtin_snd_setvol(TrapCall& call) {
    return send(call, kSndSetvol);
}
uint32_t builtin_snd_getvol(TrapCall& call) {
    return send(call, kSndGetvol);
}
uint32_t builtin_snd_setpan(TrapCall& call) {
    return send(call, kSndSetpan);
}
uint32_t builtin_snd_getpan(TrapCall& call) {
    return send(call, kSndGetpan);
}
uint32_t builtin_snd_isplay(TrapCall& call) {
    return send(call, kSndIsplay);
}
uint32_t builtin_snd_setloop(TrapCall& call) {
    return send(call, kSndSetloop);
}
uint32_t builtin_snd_setpos(TrapCall& call) {
    return send(call, kSndSetpos);
}
uint32_t builtin_snd_getpos(TrapCall& call) {
    return send(call, kSndGetpos);
}
uint32_t builtin_snd_getlen(TrapCall& call) {
    return send(call, kSndGetlen);
}
uint32_t builtin_snd_gettext(TrapCall& call) {
    return send(call, kSndGettext);
}
uint32_t builtin_snd_setmargin(TrapCall& call) {
    return send(call, kSndSetmargin);
}
uint32_t builtin_snd_setchorus(TrapCall& call) {
    return send(call, kSndSetchorus);
}
uint32_t builtin_snd_setcompressor(TrapCall& call) {
    return send(call, kSndSetcompressor);
}
uint32_t builtin_snd_setdistortion(TrapCall& call) {
    return send(call, kSndSetdistortion);
}
uint32_t builtin_snd_setecho(TrapCall& call) {
    return send(call, kSndSetecho);
}
uint32_t builtin_snd_setflanger(TrapCall& call) {
    return send(call, kSndSetflanger);
}
uint32_t builtin_snd_setgargle(TrapCall& call) {
    return send(call, kSndSetgargle);
}
uint32_t builtin_snd_setparameq(TrapCall& call) {
    return send(call, kSndSetparameq);
}
uint32_t builtin_snd_setreverb(TrapCall& call) {
    return send(call, kSndSetreverb);
}

constexpr TrapBinding kSoundBuiltins[] = {
    {"snd_load", builtin_snd_load},
    {"snd_loads", builtin_snd_loads},
    {"snd_free", builtin_snd_free},
    {"snd_play", builtin_snd_play},
    {"snd_stop", builtin_snd_stop},
    {"snd_pause", builtin_snd_pause},
    {"snd_replay", builtin_snd_replay},
    {"snd_setvol", builtin_snd_setvol},
    {"snd_getvol", builtin_snd_getvol},
    {"snd_setpan", builtin_snd_setpan},
    {"snd_getpan", builtin_snd_getpan},
    {"snd_isplay", builtin_snd_isplay},
    {"snd_setloop", builtin_snd_setloop},
    {"snd_setpos", builtin_snd_setpos},
    {"snd_getpos", builtin_snd_getpos},
    {"snd_getlen", builtin_snd_getlen},
    {"snd_gettext", builtin_snd_gettext},
    {"snd_setmargin", builtin_snd_setmargin},
    {"snd_setchorus", builtin_snd_setchorus},
    {"snd_setcompressor", builtin_snd_setcompressor},
    {"snd_setdistortion", builtin_snd_setdistortion},
    {"snd_setecho", builtin_snd_setecho},
    {"snd_setflanger", builtin_snd_setflanger},
    {"snd_setgargle", builtin_snd_setgargle},
    {"snd_setparameq", builtin_snd_setparameq},
    {"snd_setreverb", builtin_snd_setreverb},
};

uint32_t set_effect(media::SoundChannels& c, ScriptMemory& memory, media::Effect e, int32_t ch,
                    uint32_t record) {
    if (record == 0) return c.set_effect(ch, e, std::nullopt);
    uint32_t words = uint32_t(media::kEffectWords[size_t(e)]);
    uint8_t* p = memory.host(record, 4 * words);
    if (!p) return 0;
    uint32_t copy[8];
    for (uint32_t i = 0; i < words; ++i) memory.read32(record + 4 * i, copy[i]);
    return c.set_effect(ch, e, std::span<const uint32_t>(copy, words));
}

}  // namespace

std::span<const TrapBinding> sound_builtins() {
    return kSoundBuiltins;
}

uint32_t sound_window_command(ScriptMemory& memory, uint32_t message, uint32_t w, uint32_t l) {
    media::SoundChannels* c = sound_channels();
    if (!c) return 0;
    int32_t ch = int32_t(w), arg = int32_t(l);
    switch (message) {
        case kSndLoad:
        case kSndLoads: {
            auto name = memory.c_string(l, kMaxNameBytes + 1);
            if (!name || name->size() > kMaxNameBytes) return 0;
            return c->load(ch, *name, message == kSndLoads);
        }
        case kSndFree:
            return c->free(ch);
        case kSndPlay:
            return c->play(ch, arg);
        case kSndStop:
            return c->stop(ch);
        case kSndPause:
            return c->pause(ch);
        case kSndReplay:
            return c->replay(ch);
        case kSndSetvol:
            return c->set_volume(ch, arg);
        case kSndGetvol:
            return c->volume(ch);
        case kSndSetpan:
            return c->set_pan(ch, arg);
        case kSndGetpan:
            return c->pan(ch);
        case kSndIsplay:
            return c->is_playing(ch);
        case kSndSetloop:
            return c->set_loop(ch, arg);
        case kSndSetpos:
            return c->set_position(ch, arg);
        case kSndGetpos:
            return c->position(ch);
        case kSndGetlen:
            return c->length(ch);
        case kSndGettext: {
            uint8_t* buffer = memory.host(l, uint32_t(media::kCommentBytes));
            if (!buffer) return 0;
            return c->text(ch, buffer);
        }
        case kSndSetmargin:
            return c->set_margin(ch);
        default:
            if (message >= kSndSetchorus && message <= kSndSetreverb)
                return set_effect(*c, memory, media::Effect(message - kSndSetchorus), ch, l);
            return 0;
    }
}

}  // namespace tob
