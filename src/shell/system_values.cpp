#include "shell/system_values.h"

#include <array>
#include <atomic>

#include "graphics/colour.h"
#include "platform/cp932.h"
#include "platform/system_info.h"
#include "base/settings.h"

namespace tob {
namespace {

constexpr std::array<const char*, 15> kNames = {
    "fullscreen", "width",        "height",       "depth",         "cpu_clock",
    "cpu_vender", "cpu_support",  "os_platform",  "os_major",      "os_minor",
    "os_build",   "global_focus", "global_sound", "color_mapping", "sp_count"};

enum Index {
    kFullscreen,
    kWidth,
    kHeight,
    kDepth,
    kCpuClock,
    kCpuVendor,
    kCpuSupport,
    kOsPlatform,
    kOsMajor,
    kOsMinor,
    kOsBuild,
    kGlobalFocus,
    kGlobalSound,
    kColorMapping,
    kSpriteCount
};

}  // namespace

SystemValueHooks& system_value_hooks() {
    static SystemValueHooks hooks;
    return hooks;
}

int system_value_index(std::string_view name) {
    for (size_t i = 0; i < kNames.size(); ++i)
        if (cp932_equal_ignoring_case(name, kNames[i])) return int(i);
    return -1;
}

uint32_t get_system_value(std::string_view name) {
    const SystemValueHooks& h = system_value_hooks();
    const auto& cpu = platform::processor_info();
    const auto os = platform::os_version();
    switch (system_value_index(name)) {
        case kFullscreen:
            return h.get_fullscreen ? h.get_fullscreen() : 0;
        case kWidth:
            return uint32_t(platform::desktop_mode().width);
        case kHeight:
            return uint32_t(platform::desktop_mode().height);
        case kDepth:
            return uint32_t(platform::desktop_mode().depth);
        case kCpuClock:
            return cpu.has_cpuid ? platform::processor_clock() : 0;
        case kCpuVendor:
            return cpu.vendor;
        case kCpuSupport:
            return cpu.features;
        case kOsPlatform:
            return os.platform;
        case kOsMajor:
            return os.major;
        case kOsMinor:
            return os.minor;
        case kOsBuild:
            return os.build;
        case kGlobalFocus:
            return uint32_t(settings().global_focus.load());
        case kGlobalSound:
            return uint32_t(settings().global_sound.load());
        case kColorMapping:
            return uint32_t(gfx::palette_state().mapping.load());
        case kSpriteCount:
            return h.sprite_count ? h.sprite_count() : 0;
        default:
            return 0;
    }
}

uint32_t set_system_value(std::string_view name, int32_t value) {
    const SystemValueHooks& h = system_value_hooks();
    switch (system_value_index(name)) {
        case kFullscreen: {
            uint32_t now = h.get_fullscreen ? h.get_fullscreen() : 0;
            if (uint32_t(value) == now || !h.set_fullscreen) return 0;
            return h.set_fullscreen(value);
        }
        case kGlobalFocus:
            settings().global_focus = value;
            return 1;
        case kGlobalSound:
            settings().global_sound = value;
            return 1;
        case kColorMapping:
            gfx::palette_state().mapping = value;
            return 1;
        default:
            return 0;
    }
}

}  // namespace tob
