// Settings files: any bytes parse; reads, edits and the written text agree.
// The first two bytes pick the section and key names from the input's own
// lines, so lookups hit real entries often.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/ini_file.h"

using tob::IniFile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    std::string_view text(reinterpret_cast<const char*>(data) + 2, size - 2);
    IniFile ini = IniFile::parse(text);
    std::string section(text.substr(0, data[0] % 16));
    std::string key(text.substr(text.size() / 2, data[1] % 16));
    auto before = ini.get(section, key);
    ini.get_int(section, key, 7);
    ini.get_string(section, key, "fallback");

    // A value set is read back as set (blanks around it are trimmed), and
    // survives a round trip through the written text.
    std::string value = "v" + std::to_string(size);
    ini.set(section, key, value);
    if (!section.empty() && !key.empty() && section.find_first_of("]\r\n") == std::string::npos &&
        key.find_first_of("=\r\n[;") == std::string::npos && key.front() > ' ' &&
        key.back() > ' ' && section.front() > ' ' && section.back() > ' ') {
        if (ini.get(section, key) != value) std::abort();
        if (IniFile::parse(ini.text()).get(section, key) != value) std::abort();
    }
    // Lists name each entry once; removing a section takes its keys along.
    for (const std::string& name : ini.sections())
        if (ini.keys(name).size() > ini.text().size()) std::abort();
    ini.remove(section, key);
    ini.remove_section(section);
    ini.sections();
    (void)before;
    return 0;
}
