// Fuzz target: WAVE files. Any bytes are refused or read to their end; reads
// after seeks to places the first bytes choose stay inside the stream, and
// the number of frames read never exceeds what the file claims.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "media/sound_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    std::vector<uint8_t> file(data + 4, data + size);
    // Stay small: a lying header may claim gigabytes.
    auto s = tob::media::SoundSource::open(std::move(file));
    if (!s) return 0;
    if (s->channels() < 1 || s->channels() > 2 || s->rate() == 0) std::abort();
    std::vector<int16_t> buffer(4096 * 2);
    uint64_t total = 0;
    for (size_t n; (n = s->read(buffer.data(), 4096)) > 0;) {
        total += n;
        if (n > 4096 || total > s->frames()) std::abort();
    }
    for (int i = 0; i < 4 && s->frames(); ++i) {
        uint64_t at = (uint64_t(data[i]) * 2654435761u) % s->frames();
        if (!s->seek(at)) {
            if (s->codec() != tob::media::SoundCodec::Vorbis) std::abort();
            continue;
        }
        size_t n = s->read(buffer.data(), 1 + data[i] % 64);
        if (n > s->frames() - at) std::abort();
    }
    return 0;
}
