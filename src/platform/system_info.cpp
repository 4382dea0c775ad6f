#include "platform/system_info.h"

#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <x86intrin.h>
#define TOB_HAVE_CPUID 1
#endif

namespace tob::platform {
namespace {

std::mutex g_desktop_mutex;
DesktopMode g_desktop;

ProcessorInfo identify() {
    ProcessorInfo info;
#ifdef TOB_HAVE_CPUID
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(0, &a, &b, &c, &d)) return info;
    info.has_cpuid = true;
    char vendor[13] = {};
    std::memcpy(vendor, &b, 4);
    std::memcpy(vendor + 4, &d, 4);
    std::memcpy(vendor + 8, &c, 4);
    static constexpr const char* kVendors[] = {"GenuineIntel", "AuthenticAMD", "CyrixInstead",
                                               "CentaurHauls", "RiseRiseRise"};
    for (uint32_t i = 0; i < 5; ++i)
        if (std::strcmp(vendor, kVendors[i]) == 0) info.vendor = i + 1;
    if (a >= 1 && __get_cpuid(1, &a, &b, &c, &d)) {
        info.signature = a;
        info.features = d;
    }
#endif
    return info;
}

uint32_t measure_clock() {
#ifdef TOB_HAVE_CPUID
    constexpr uint32_t kTimeStampBit = 1u << 4;
    if (!(processor_info().features & kTimeStampBit)) return 0;
    // A tenth of a second, scaled: close enough and ten times quicker than a
    // full second of waiting.
    auto t0 = std::chrono::steady_clock::now();
    uint64_t c0 = __rdtsc();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    uint64_t c1 = __rdtsc();
    auto t1 = std::chrono::steady_clock::now();
    double seconds = std::chrono::duration<double>(t1 - t0).count();
    double hz = seconds > 0 ? double(c1 - c0) / seconds : 0;
    return hz > 4294967295.0 ? 0xFFFFFFFFu : uint32_t(hz);
#else
    return 0;
#endif
}

}  // namespace

DesktopMode desktop_mode() {
    std::lock_guard lock(g_desktop_mutex);
    return g_desktop;
}

void set_desktop_mode(const DesktopMode& mode) {
    std::lock_guard lock(g_desktop_mutex);
    g_desktop = mode;
}

const ProcessorInfo& processor_info() {
    static const ProcessorInfo info = identify();
    return info;
}

uint32_t processor_clock() {
    static const uint32_t clock = measure_clock();
    return clock;
}

OsVersion os_version() {
    return {};
}

}  // namespace tob::platform
