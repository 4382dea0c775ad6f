// The codecs' constructors, for SoundSource::open.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "media/sound_source.h"

namespace tob::media {

std::unique_ptr<SoundSource> open_wave_source(std::vector<uint8_t> file, std::string* why);
std::unique_ptr<SoundSource> open_vorbis_source(std::vector<uint8_t> file, std::string* why);

}  // namespace tob::media
