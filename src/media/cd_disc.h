// The disc in the drive is a folder of the game: track n is "trackNN.ogg" or
// "trackNN.wav" (NN = 01..99, any case) in the folder "cd", found plain or as
// the archive "cd.bin"; a game without a "cd" folder keeps its tracks in its
// own folder. A number without a file (or with a file that does not decode)
// is a data track; the highest number with a file is the last track.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "media/cd_player.h"

namespace tob::media {

// The track number a file name stands for (1..99), else 0.
int cd_track_number(std::string_view file_name);

// The script paths of the track files under `base`, one per track from
// track 1 to the last (an empty path for a number without a file). Looks
// only at names, so nothing is reported for files that are not there.
std::vector<std::string> find_cd_track_files(const std::filesystem::path& base);

// The table of contents: every track file read through the file layer and
// its decoded length taken in whole seconds.
CdTable read_cd_table(const std::filesystem::path& base);

}  // namespace tob::media
