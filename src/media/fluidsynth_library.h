// FluidSynth, loaded when music starts (`Music=1`): linked at build time it
// would bring its sixty-odd shared libraries (sound servers among them) into
// every start of the engine. Code calls `fs::name(...)` for each function
// listed below, after `fs::load` returned true.
#pragma once

#include <fluidsynth.h>

#include <string>
#include <utility>

// X(function) for every FluidSynth function the engine uses.
#define TOB_FLUIDSYNTH_FUNCTIONS(X)       \
    X(delete_fluid_player)                \
    X(delete_fluid_settings)              \
    X(delete_fluid_synth)                 \
    X(fluid_default_log_function)         \
    X(fluid_midi_event_get_channel)       \
    X(fluid_midi_event_get_control)       \
    X(fluid_midi_event_get_type)          \
    X(fluid_midi_event_get_value)         \
    X(fluid_midi_event_set_value)         \
    X(fluid_player_add_mem)               \
    X(fluid_player_get_status)            \
    X(fluid_player_play)                  \
    X(fluid_player_set_loop)              \
    X(fluid_player_set_playback_callback) \
    X(fluid_player_stop)                  \
    X(fluid_set_log_function)             \
    X(fluid_settings_setint)              \
    X(fluid_settings_setnum)              \
    X(fluid_settings_setstr)              \
    X(fluid_synth_all_sounds_off)         \
    X(fluid_synth_cc)                     \
    X(fluid_synth_handle_midi_event)      \
    X(fluid_synth_sfload)                 \
    X(fluid_synth_system_reset)           \
    X(fluid_synth_write_float)            \
    X(new_fluid_player)                   \
    X(new_fluid_settings)                 \
    X(new_fluid_synth)

namespace tob::media::fs {

struct Functions {
#define TOB_FLUIDSYNTH_POINTER(name) decltype(&::name) name = nullptr;
    TOB_FLUIDSYNTH_FUNCTIONS(TOB_FLUIDSYNTH_POINTER)
#undef TOB_FLUIDSYNTH_POINTER
};

// Loads the library the engine was built against, once per process; false
// with `why` when it or one of the functions is missing (and so it stays).
bool load(std::string& why);

// Valid only after `load` returned true.
const Functions& functions();

#define TOB_FLUIDSYNTH_CALL(name)                             \
    template <typename... Args>                               \
    inline decltype(auto) name(Args&&... args) {              \
        return functions().name(std::forward<Args>(args)...); \
    }
TOB_FLUIDSYNTH_FUNCTIONS(TOB_FLUIDSYNTH_CALL)
#undef TOB_FLUIDSYNTH_CALL

}  // namespace tob::media::fs
