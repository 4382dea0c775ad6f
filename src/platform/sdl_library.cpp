// The SDL2 library opened with dlopen, and the forwarding definitions of the
// SDL functions the engine calls. The list below is the whole surface: a
// function used elsewhere must be added here (the link fails otherwise).
// Each entry repeats SDL's declaration; the compiler checks it against SDL's
// header, and the pointer found by dlsym takes the declared type.
#include "platform/sdl_library.h"

#include <SDL.h>
#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

// X(return type, name, parameters, arguments)
#define TOB_SDL_FUNCTIONS(X)                                                                       \
    X(int, SDL_AudioInit, (const char* driver_name), (driver_name))                                \
    X(void, SDL_AudioQuit, (void), ())                                                             \
    X(void, SDL_CloseAudioDevice, (SDL_AudioDeviceID dev), (dev))                                  \
    X(SDL_Renderer*, SDL_CreateRenderer, (SDL_Window * window, int index, Uint32 flags),           \
      (window, index, flags))                                                                      \
    X(SDL_Texture*, SDL_CreateTexture,                                                             \
      (SDL_Renderer * renderer, Uint32 format, int access, int w, int h),                          \
      (renderer, format, access, w, h))                                                            \
    X(SDL_Window*, SDL_CreateWindow,                                                               \
      (const char* title, int x, int y, int w, int h, Uint32 flags), (title, x, y, w, h, flags))   \
    X(void, SDL_DestroyRenderer, (SDL_Renderer * renderer), (renderer))                            \
    X(void, SDL_DestroyTexture, (SDL_Texture * texture), (texture))                                \
    X(void, SDL_DestroyWindow, (SDL_Window * window), (window))                                    \
    X(Uint8, SDL_EventState, (Uint32 type, int state), (type, state))                              \
    X(void, SDL_GameControllerClose, (SDL_GameController * gamecontroller), (gamecontroller))      \
    X(Sint16, SDL_GameControllerGetAxis,                                                           \
      (SDL_GameController * gamecontroller, SDL_GameControllerAxis axis), (gamecontroller, axis))  \
    X(Uint8, SDL_GameControllerGetButton,                                                          \
      (SDL_GameController * gamecontroller, SDL_GameControllerButton button),                      \
      (gamecontroller, button))                                                                    \
    X(SDL_Joystick*, SDL_GameControllerGetJoystick, (SDL_GameController * gamecontroller),         \
      (gamecontroller))                                                                            \
    X(SDL_GameController*, SDL_GameControllerOpen, (int joystick_index), (joystick_index))         \
    X(const char*, SDL_GetCurrentAudioDriver, (void), ())                                          \
    X(int, SDL_GetDesktopDisplayMode, (int displayIndex, SDL_DisplayMode* mode),                   \
      (displayIndex, mode))                                                                        \
    X(const char*, SDL_GetError, (void), ())                                                       \
    X(Uint32, SDL_GetGlobalMouseState, (int* x, int* y), (x, y))                                   \
    X(SDL_Keycode, SDL_GetKeyFromScancode, (SDL_Scancode scancode), (scancode))                    \
    X(SDL_Keymod, SDL_GetModState, (void), ())                                                     \
    X(SDL_Window*, SDL_GetMouseFocus, (void), ())                                                  \
    X(SDL_Scancode, SDL_GetScancodeFromName, (const char* name), (name))                           \
    X(const char*, SDL_GetScancodeName, (SDL_Scancode scancode), (scancode))                       \
    X(Uint32, SDL_GetTicks, (void), ())                                                            \
    X(Uint32, SDL_GetWindowFlags, (SDL_Window * window), (window))                                 \
    X(SDL_Window*, SDL_GetWindowFromID, (Uint32 id), (id))                                         \
    X(Uint32, SDL_GetWindowID, (SDL_Window * window), (window))                                    \
    X(void, SDL_GetWindowPosition, (SDL_Window * window, int* x, int* y), (window, x, y))          \
    X(void, SDL_GetWindowSize, (SDL_Window * window, int* w, int* h), (window, w, h))              \
    X(void, SDL_HideWindow, (SDL_Window * window), (window))                                       \
    X(int, SDL_Init, (Uint32 flags), (flags))                                                      \
    X(int, SDL_InitSubSystem, (Uint32 flags), (flags))                                             \
    X(SDL_bool, SDL_IntersectRect, (const SDL_Rect* A, const SDL_Rect* B, SDL_Rect* result),       \
      (A, B, result))                                                                              \
    X(SDL_bool, SDL_IsGameController, (int joystick_index), (joystick_index))                      \
    X(int, SDL_JoystickAttachVirtual, (SDL_JoystickType type, int naxes, int nbuttons, int nhats), \
      (type, naxes, nbuttons, nhats))                                                              \
    X(void, SDL_JoystickClose, (SDL_Joystick * joystick), (joystick))                              \
    X(int, SDL_JoystickDetachVirtual, (int device_index), (device_index))                          \
    X(Sint16, SDL_JoystickGetAxis, (SDL_Joystick * joystick, int axis), (joystick, axis))          \
    X(Uint8, SDL_JoystickGetButton, (SDL_Joystick * joystick, int button), (joystick, button))     \
    X(SDL_JoystickID, SDL_JoystickGetDeviceInstanceID, (int device_index), (device_index))         \
    X(SDL_JoystickID, SDL_JoystickInstanceID, (SDL_Joystick * joystick), (joystick))               \
    X(int, SDL_JoystickNumAxes, (SDL_Joystick * joystick), (joystick))                             \
    X(int, SDL_JoystickNumButtons, (SDL_Joystick * joystick), (joystick))                          \
    X(SDL_Joystick*, SDL_JoystickOpen, (int device_index), (device_index))                         \
    X(int, SDL_JoystickSetVirtualAxis, (SDL_Joystick * joystick, int axis, Sint16 value),          \
      (joystick, axis, value))                                                                     \
    X(int, SDL_JoystickSetVirtualButton, (SDL_Joystick * joystick, int button, Uint8 value),       \
      (joystick, button, value))                                                                   \
    X(int, SDL_JoystickSetVirtualHat, (SDL_Joystick * joystick, int hat, Uint8 value),             \
      (joystick, hat, value))                                                                      \
    X(void, SDL_LockAudioDevice, (SDL_AudioDeviceID dev), (dev))                                   \
    X(int, SDL_LockTexture,                                                                        \
      (SDL_Texture * texture, const SDL_Rect* rect, void** pixels, int* pitch),                    \
      (texture, rect, pixels, pitch))                                                              \
    X(int, SDL_NumJoysticks, (void), ())                                                           \
    X(SDL_AudioDeviceID, SDL_OpenAudioDevice,                                                      \
      (const char* device, int iscapture, const SDL_AudioSpec* desired, SDL_AudioSpec* obtained,   \
       int allowed_changes),                                                                       \
      (device, iscapture, desired, obtained, allowed_changes))                                     \
    X(void, SDL_PauseAudioDevice, (SDL_AudioDeviceID dev, int pause_on), (dev, pause_on))          \
    X(int, SDL_PollEvent, (SDL_Event * event), (event))                                            \
    X(int, SDL_PushEvent, (SDL_Event * event), (event))                                            \
    X(void, SDL_Quit, (void), ())                                                                  \
    X(void, SDL_QuitSubSystem, (Uint32 flags), (flags))                                            \
    X(void, SDL_RaiseWindow, (SDL_Window * window), (window))                                      \
    X(Uint32, SDL_RegisterEvents, (int numevents), (numevents))                                    \
    X(int, SDL_RenderClear, (SDL_Renderer * renderer), (renderer))                                 \
    X(int, SDL_RenderCopy,                                                                         \
      (SDL_Renderer * renderer, SDL_Texture * texture, const SDL_Rect* srcrect,                    \
       const SDL_Rect* dstrect),                                                                   \
      (renderer, texture, srcrect, dstrect))                                                       \
    X(void, SDL_RenderPresent, (SDL_Renderer * renderer), (renderer))                              \
    X(void, SDL_RestoreWindow, (SDL_Window * window), (window))                                    \
    X(SDL_bool, SDL_SetHint, (const char* name, const char* value), (name, value))                 \
    X(int, SDL_SetWindowFullscreen, (SDL_Window * window, Uint32 flags), (window, flags))          \
    X(void, SDL_SetWindowMinimumSize, (SDL_Window * window, int min_w, int min_h),                 \
      (window, min_w, min_h))                                                                      \
    X(int, SDL_SetWindowMouseRect, (SDL_Window * window, const SDL_Rect* rect), (window, rect))    \
    X(void, SDL_SetWindowPosition, (SDL_Window * window, int x, int y), (window, x, y))            \
    X(void, SDL_SetWindowTitle, (SDL_Window * window, const char* title), (window, title))         \
    X(int, SDL_ShowCursor, (int toggle), (toggle))                                                 \
    X(int, SDL_ShowMessageBox, (const SDL_MessageBoxData* messageboxdata, int* buttonid),          \
      (messageboxdata, buttonid))                                                                  \
    X(int, SDL_ShowSimpleMessageBox,                                                               \
      (Uint32 flags, const char* title, const char* message, SDL_Window* window),                  \
      (flags, title, message, window))                                                             \
    X(void, SDL_ShowWindow, (SDL_Window * window), (window))                                       \
    X(void, SDL_StartTextInput, (void), ())                                                        \
    X(void, SDL_UnlockAudioDevice, (SDL_AudioDeviceID dev), (dev))                                 \
    X(void, SDL_UnlockTexture, (SDL_Texture * texture), (texture))                                 \
    X(int, SDL_WaitEventTimeout, (SDL_Event * event, int timeout), (event, timeout))               \
    X(void, SDL_WarpMouseInWindow, (SDL_Window * window, int x, int y), (window, x, y))            \
    X(Uint32, SDL_WasInit, (Uint32 flags), (flags))                                                \
    X(void, SDL_free, (void* mem), (mem))

namespace tob::platform {
namespace {

constexpr const char* kLibrary = "libSDL2-2.0.so.0";

enum Function : int {
#define TOB_SDL_INDEX(ret, name, params, args) k_##name,
    TOB_SDL_FUNCTIONS(TOB_SDL_INDEX)
#undef TOB_SDL_INDEX
        kFunctionCount
};

constexpr const char* kNames[] = {
#define TOB_SDL_NAME(ret, name, params, args) #name,
    TOB_SDL_FUNCTIONS(TOB_SDL_NAME)
#undef TOB_SDL_NAME
};

struct Library {
    std::once_flag once;
    bool ok = false;
    std::atomic<bool> loaded{false};  // `ok`, for readers that must not open it
    std::string why;
    void* functions[kFunctionCount] = {};
};

Library& library() {
    static Library l;
    return l;
}

void open_library(Library& l) {
    // The library stays open to the end of the process: SDL's threads and
    // its exit handlers may still run code in it.
    void* handle = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* error = dlerror();
        l.why = std::string("cannot open ") + kLibrary + ": " + (error ? error : "unknown error");
        return;
    }
    for (int i = 0; i < kFunctionCount; ++i) {
        l.functions[i] = dlsym(handle, kNames[i]);
        if (!l.functions[i]) {
            l.why =
                std::string(kLibrary) + " has no " + kNames[i] + " (SDL 2.0.18 or later is needed)";
            return;
        }
    }
    l.ok = true;
    l.loaded.store(true, std::memory_order_release);
}

// A function of the open library. Callers open it first (`load_sdl`) and
// give up cleanly when it cannot be opened; reaching this without it is a
// fault of the engine.
void* function(Function f) {
    Library& l = library();
    std::call_once(l.once, open_library, l);
    if (!l.ok) {
        std::fprintf(stderr, "engine: %s called without SDL2: %s\n", kNames[f], l.why.c_str());
        std::abort();
    }
    return l.functions[f];
}

}  // namespace

bool load_sdl(std::string* why) {
    Library& l = library();
    std::call_once(l.once, open_library, l);
    if (!l.ok && why) *why = l.why;
    return l.ok;
}

bool sdl_loaded() {
    return library().loaded.load(std::memory_order_acquire);
}

}  // namespace tob::platform

#define TOB_SDL_DEFINE(ret, name, params, args)                                                    \
    extern "C" ret name params {                                                                   \
        return reinterpret_cast<decltype(&name)>(tob::platform::function(tob::platform::k_##name)) \
            args;                                                                                  \
    }
TOB_SDL_FUNCTIONS(TOB_SDL_DEFINE)
#undef TOB_SDL_DEFINE
