// Fuzz target: arbitrary bytes as a media file through our byte source and
// AVIO callbacks: bounded probing, stream choice, the first items decoded,
// pictures converted, a seek back to the start; the size limits hold.
extern "C" {
#include <libavutil/frame.h>
}

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "media/video_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using tob::media::VideoFile;
    tob::media::VideoOpenOptions options;
    options.audio_rate = 22050;
    options.threads = 1;
    options.probe_bytes = 256 * 1024;
    std::string why;
    auto file = VideoFile::open(tob::media::memory_source({data, data + size}), options, why);
    if (!file) return 0;
    if (!file->has_video() && !file->has_audio()) std::abort();
    if (file->has_video() &&
        (file->width() <= 0 || file->height() <= 0 || file->width() > tob::media::kMaxVideoSide ||
         file->height() > tob::media::kMaxVideoSide))
        std::abort();
    tob::media::PictureConverter converter;
    std::vector<uint32_t> pixels(64 * 48);
    for (int pass = 0; pass < 2; ++pass) {
        for (int items = 0; items < 64; ++items) {
            VideoFile::Item item = file->next();
            if (item == VideoFile::Item::End) break;
            if (item == VideoFile::Item::Video) {
                const AVFrame* p = file->picture();
                if (p->width > tob::media::kMaxVideoSide || p->height > tob::media::kMaxVideoSide)
                    std::abort();
                converter.convert(p, 64, 48, pixels.data(), 64);
            } else if (file->sound().size() % 2 != 0) {
                std::abort();  // always whole stereo frames
            }
        }
        if (!file->seek(0)) break;
    }
    return 0;
}
