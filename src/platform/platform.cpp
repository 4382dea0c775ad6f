#include "platform/platform.h"

#include <chrono>

namespace tob::platform {

uint32_t tick_count() {
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace tob::platform
