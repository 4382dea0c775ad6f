// The small layer that stands in for the platform services the engine was
// written against (files, text, clock). Everything host-specific lives here.
#pragma once

#include <cstdint>

namespace tob::platform {

// Milliseconds since an arbitrary start, wrapping at 2^32 like a tick count.
uint32_t tick_count();

}  // namespace tob::platform
