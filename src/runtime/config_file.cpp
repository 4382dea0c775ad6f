#include "runtime/config_file.h"

#include <sys/stat.h>

#include <cstring>
#include <memory>

#include "base/settings.h"
#include "platform/cp932.h"

namespace tob {

void ConfigFile::refresh() {
    struct stat st {};
    bool exists = ::stat(path_.c_str(), &st) == 0;
    if (seen_ && exists == exists_ &&
        (!exists || (int64_t(st.st_size) == size_ && int64_t(st.st_mtim.tv_sec) == mtime_sec_ &&
                     int64_t(st.st_mtim.tv_nsec) == mtime_nsec_)))
        return;
    ini_ = exists ? IniFile::load(path_) : IniFile();
    seen_ = true;
    exists_ = exists;
    size_ = exists ? int64_t(st.st_size) : 0;
    mtime_sec_ = exists ? int64_t(st.st_mtim.tv_sec) : 0;
    mtime_nsec_ = exists ? int64_t(st.st_mtim.tv_nsec) : 0;
}

int32_t ConfigFile::get_int(std::string_view section, std::string_view key, int32_t fallback) {
    std::lock_guard lock(mutex_);
    refresh();
    return ini_.get_int(section, key, fallback);
}

std::string ConfigFile::get_string(std::optional<std::string_view> section,
                                   std::optional<std::string_view> key, std::string_view fallback) {
    std::lock_guard lock(mutex_);
    refresh();
    if (!section || !key) {
        std::string list;
        for (const std::string& name : section ? ini_.keys(*section) : ini_.sections()) {
            list += name;
            list += '\0';
        }
        list += '\0';
        return list;
    }
    return ini_.get_string(*section, *key, fallback);
}

bool ConfigFile::set(std::string_view section, std::optional<std::string_view> key,
                     std::optional<std::string_view> value) {
    std::lock_guard lock(mutex_);
    refresh();
    if (!key)
        ini_.remove_section(section);
    else if (!value)
        ini_.remove(section, *key);
    else
        ini_.set(section, *key, *value);
    bool ok = ini_.save(path_);
    seen_ = false;  // read what is on disk next time (ours, or unchanged on failure)
    return ok;
}

uint32_t copy_profile_text(std::string_view text, bool is_list, uint8_t* buffer, uint32_t size) {
    if (size < 1 || !buffer) return 0;
    if (is_list) {
        // text holds the names and the list's final zero
        if (text.size() <= size) {
            std::memcpy(buffer, text.data(), text.size());
            return text.empty() ? 0 : uint32_t(text.size() - 1);
        }
        if (size < 2) {
            buffer[0] = 0;
            return 0;
        }
        std::memcpy(buffer, text.data(), size - 2);
        buffer[size - 2] = 0;
        buffer[size - 1] = 0;
        return size - 2;
    }
    size_t n = 0;
    while (n < text.size()) {
        size_t len = cp932_char_length(text, n);
        if (n + len > size_t(size) - 1) break;
        n += len;
    }
    std::memcpy(buffer, text.data(), n);
    buffer[n] = 0;
    return uint32_t(n);
}

ConfigFile& game_config() {
    static std::mutex mutex;
    static std::unique_ptr<ConfigFile> config;
    std::lock_guard lock(mutex);
    const std::filesystem::path& path = settings().config_path;
    if (!config || config->path() != path) config = std::make_unique<ConfigFile>(path);
    return *config;
}

}  // namespace tob
