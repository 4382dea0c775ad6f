// SDL2 is opened at run time, on first use, rather than linked: a headless
// run never maps it (nor the display, sound and bus libraries it pulls in).
// The SDL functions the engine calls are defined here with SDL's own names
// and signatures and forward to the library, so the code on SDL reads as
// plain SDL; each of them opens the library when it is not open yet.
#pragma once

#include <string>

namespace tob::platform {

// Opens the library and finds every function the engine calls, once; false,
// with the reason in `why`, when that fails (then no SDL function may be
// called). Thread-safe.
bool load_sdl(std::string* why = nullptr);
// True once the library is open (never opens it).
bool sdl_loaded();

}  // namespace tob::platform
