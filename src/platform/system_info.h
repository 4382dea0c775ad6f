// Facts about the host the scripts may ask for: the desktop mode, the
// processor identification and the operating-system version numbers.
#pragma once

#include <cstdint>

namespace tob::platform {

struct DesktopMode {
    int32_t width = 1024;
    int32_t height = 768;
    int32_t depth = 32;
};
// The desktop's mode as the display layer last reported it (a headless run
// keeps the defaults).
DesktopMode desktop_mode();
void set_desktop_mode(const DesktopMode& mode);

struct ProcessorInfo {
    bool has_cpuid = false;
    uint32_t vendor = 0;     // 1 Intel, 2 AMD, 3 Cyrix, 4 Centaur, 5 Rise, 0 other
    uint32_t signature = 0;  // function 1, EAX
    uint32_t features = 0;   // function 1, EDX
};
// Identified once, on first use.
const ProcessorInfo& processor_info();
// Time-stamp counter ticks per second, measured once on first use; 0 without
// a time-stamp counter.
uint32_t processor_clock();

// The version numbers the engine reports to scripts. Fixed: an NT-class
// platform (2), version 5.1, build 2600, the system these games were made for.
struct OsVersion {
    uint32_t platform = 2;
    uint32_t major = 5;
    uint32_t minor = 1;
    uint32_t build = 2600;
};
OsVersion os_version();

}  // namespace tob::platform
