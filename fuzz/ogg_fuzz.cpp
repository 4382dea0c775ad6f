// Fuzz target: Ogg Vorbis files through our memory callbacks: open, read to
// the end, seek and read again, and the comment search.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "media/sound_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Every input is taken as an Ogg stream.
    std::vector<uint8_t> file = {'O', 'g', 'g', 'S'};
    if (size >= 4 && std::memcmp(data, "OggS", 4) == 0) file.clear();
    file.insert(file.end(), data, data + size);
    auto s = tob::media::SoundSource::open(std::move(file));
    if (!s) return 0;
    if (s->codec() != tob::media::SoundCodec::Vorbis || s->channels() < 1 || s->channels() > 2)
        std::abort();
    if (auto c = s->comment(); c && c->size() > (1u << 24)) std::abort();
    std::vector<int16_t> buffer(4096 * 2);
    for (int rounds = 0; rounds < 256 && s->read(buffer.data(), 4096) > 0; ++rounds) {
    }
    if (s->frames()) {
        uint64_t at = size ? data[size - 1] * s->frames() / 256 : 0;
        s->seek(at);
        s->read(buffer.data(), 1024);
    }
    return 0;
}
