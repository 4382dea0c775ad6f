#include "shell/config.h"

#include "base/error_report.h"
#include "base/ini_file.h"

namespace tob {
namespace {

constexpr const char* kSection = "General";
constexpr int32_t kMaxAreaKb = 1 << 20;  // 1 GiB: larger areas cannot fit the script space
constexpr size_t kTitleMax = 255;
constexpr size_t kExecuteMax = 259;

bool processor_has_mmx() {
#if defined(__x86_64__) || defined(_M_X64)
    return true;  // every x86-64 processor has MMX
#elif defined(__i386__)
    return __builtin_cpu_supports("mmx");
#else
    return false;
#endif
}

// Cuts a CP932 string to at most `max` bytes without splitting a double-byte
// character.
std::string cut_cp932(std::string s, size_t max) {
    if (s.size() <= max) return s;
    size_t i = 0;
    while (i < max) {
        uint8_t c = uint8_t(s[i]);
        bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
        size_t len = lead ? 2 : 1;
        if (i + len > max) break;
        i += len;
    }
    s.resize(i);
    return s;
}

// An area size in KB, as bytes; nonsense falls back to the default.
uint32_t area_size(const IniFile& ini, const char* key, int32_t default_kb) {
    int32_t kb = ini.get_int(kSection, key, default_kb);
    if (kb < 0 || kb > kMaxAreaKb) {
        report_error(2, "%s=%d is not a usable size in KB; using %d", key, kb, default_kb);
        kb = default_kb;
    }
    return uint32_t(kb) << 10;
}

}  // namespace

void read_configuration(const std::filesystem::path& path, const std::string& exe_base,
                        Settings& s) {
    IniFile ini = IniFile::load(path);
    auto geti = [&](const char* key, int32_t def) { return ini.get_int(kSection, key, def); };

    s.config_path = path;
    s.debug_mode = geti("DebugMode", 0);
    s.error = geti("Error", 0);
    if (s.error > 0) set_error_level(s.error);
    s.title = cut_cp932(ini.get_string(kSection, "Title", ""), kTitleMax);
    s.menu = geti("Menu", 0);
    s.auto_hide_menu = geti("AutoHideMenu", 1);
    s.resize = geti("Resize", 0);
    s.width = geti("Width", 640);
    s.height = geti("Height", 480);
    s.depth = geti("Depth", 24);
    s.mmx = processor_has_mmx() ? geti("MMX", 1) : 0;
    s.draw = geti("Draw", 0);
    s.sound = geti("Sound", 0);
    s.music = geti("Music", 0);
    s.input = geti("Input", 0);
    s.multiple_running = geti("MultipleRunning", 0);
    s.net = geti("Net", 0);
    s.program_size = area_size(ini, "ProgramSize", 0);
    s.stack_size = area_size(ini, "StackSize", 64);
    s.heap_size = area_size(ini, "HeapSize", 1024);
    s.cd = geti("CD", 0);
    s.global_focus = geti("GlobalFocus", 1);
    s.global_sound = geti("GlobalSound", 1);
    s.full_screen = geti("FullScreen", -1);
    s.vsync = geti("VSync", 0);  // our own key: off unless asked for
    s.main_script = cut_cp932(ini.get_string(kSection, "Execute", ""), kExecuteMax);

    if (!(s.draw && s.menu)) s.auto_hide_menu = 0;
    if (s.main_script.empty()) s.main_script = exe_base + "\\" + exe_base + ".c";
}

}  // namespace tob
