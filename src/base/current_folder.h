// The engine's current folder: where relative script paths start (data files,
// archives, images, sounds, `file_check`, `jump`). It is the game's folder at
// start-up; the script's `dir_setcur` moves it. Safe to use from any thread.
#pragma once

#include <filesystem>

namespace tob {

std::filesystem::path current_folder();
void set_current_folder(const std::filesystem::path& folder);

}  // namespace tob
