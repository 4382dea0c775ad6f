#include "base/current_folder.h"

#include <mutex>

namespace tob {
namespace {

std::mutex g_mutex;
std::filesystem::path g_folder;

}  // namespace

std::filesystem::path current_folder() {
    std::lock_guard lock(g_mutex);
    return g_folder;
}

void set_current_folder(const std::filesystem::path& folder) {
    std::lock_guard lock(g_mutex);
    g_folder = folder;
}

}  // namespace tob
