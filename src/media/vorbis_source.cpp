// Ogg Vorbis through libvorbisfile, reading the file image in memory through
// our own callbacks. Holes in the stream are skipped; a run of errors ends it.
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstring>

#include "media/sound_source.h"
#include "media/sound_source_internal.h"

namespace tob::media {
namespace {

constexpr char kCommentKey[] = "COMMENT=";
constexpr size_t kCommentKeyBytes = 8;
// Errors in a row after which a stream counts as ended.
constexpr int kMaxReadErrors = 32;

// The file image the callbacks read.
struct MemoryFile {
    std::vector<uint8_t> bytes;
    size_t position = 0;
};

size_t memory_read(void* ptr, size_t size, size_t count, void* source) {
    auto* m = static_cast<MemoryFile*>(source);
    if (size == 0 || count == 0) return 0;
    size_t remaining = m->bytes.size() - m->position;
    size_t wanted = count > SIZE_MAX / size ? SIZE_MAX : size * count;
    size_t n = std::min(remaining, wanted);
    std::memcpy(ptr, m->bytes.data() + m->position, n);
    m->position += n;
    return n / size;
}

int memory_seek(void* source, ogg_int64_t offset, int whence) {
    auto* m = static_cast<MemoryFile*>(source);
    int64_t base = whence == SEEK_SET   ? 0
                   : whence == SEEK_CUR ? int64_t(m->position)
                   : whence == SEEK_END ? int64_t(m->bytes.size())
                                        : -1;
    if (base < 0) return -1;
    int64_t size = int64_t(m->bytes.size());
    if (offset > size || offset < -size) return -1;
    int64_t target = base + offset;
    if (target < 0 || target > size) return -1;
    m->position = size_t(target);
    return 0;
}

int memory_close(void*) {
    return 0;
}

long memory_tell(void* source) {
    return long(static_cast<MemoryFile*>(source)->position);
}

class VorbisSource final : public SoundSource {
  public:
    explicit VorbisSource(std::vector<uint8_t> file) { memory_.bytes = std::move(file); }
    ~VorbisSource() override {
        if (open_) ov_clear(&file_);
    }

    bool open(std::string* why) {
        ov_callbacks callbacks{memory_read, memory_seek, memory_close, memory_tell};
        if (ov_open_callbacks(&memory_, &file_, nullptr, 0, callbacks) != 0) {
            if (why) *why = "not a Vorbis stream";
            return false;
        }
        open_ = true;
        vorbis_info* info = ov_info(&file_, -1);
        if (!info || info->channels < 1 || info->channels > 2 || info->rate <= 0 ||
            info->rate > long(kMaxSoundRate)) {
            if (why) *why = "Vorbis stream with unusable channels or rate";
            return false;
        }
        channels_ = info->channels;
        rate_ = uint32_t(info->rate);
        // Links that change the format would change the stream under the mixer.
        for (long link = 0; link < ov_streams(&file_); ++link) {
            vorbis_info* li = ov_info(&file_, int(link));
            if (!li || li->channels != channels_ || li->rate != long(rate_)) {
                if (why) *why = "Vorbis links change channels or rate";
                return false;
            }
        }
        codec_ = SoundCodec::Vorbis;
        bits_ = 16;
        ogg_int64_t total = ov_pcm_total(&file_, -1);
        frames_ = total < 0 ? 0 : uint64_t(total);
        length_ms_ = frames_ * 1000 / rate_;
        if (vorbis_comment* vc = ov_comment(&file_, -1)) {
            for (int i = 0; i < vc->comments; ++i) {
                if (!vc->user_comments[i] || vc->comment_lengths[i] < int(kCommentKeyBytes))
                    continue;
                if (std::memcmp(vc->user_comments[i], kCommentKey, kCommentKeyBytes) != 0) continue;
                comment_.emplace(vc->user_comments[i] + kCommentKeyBytes,
                                 size_t(vc->comment_lengths[i]) - kCommentKeyBytes);
                break;
            }
        }
        return true;
    }

    size_t read(int16_t* out, size_t count) override {
        size_t want = count * size_t(channels_) * 2;
        auto* bytes = reinterpret_cast<char*>(out);
        size_t got = 0;
        int errors = 0;
        while (got < want) {
            int section = 0;
            int chunk = int(std::min<size_t>(want - got, 1 << 20));
            long n = ov_read(&file_, bytes + got, chunk, 0, 2, 1, &section);
            if (n == 0) break;
            if (n < 0) {
                if (++errors >= kMaxReadErrors) break;
                continue;
            }
            errors = 0;
            got += size_t(n);
        }
        size_t frame_bytes = size_t(channels_) * 2;
        // A partial frame at the very end is dropped.
        return got / frame_bytes;
    }

    bool seek(uint64_t frame) override {
        if (frame >= frames_) return false;
        return ov_pcm_seek(&file_, ogg_int64_t(frame)) == 0;
    }

    std::optional<std::string> comment() const override { return comment_; }

  private:
    MemoryFile memory_;
    OggVorbis_File file_{};
    bool open_ = false;
    std::optional<std::string> comment_;
};

}  // namespace

std::unique_ptr<SoundSource> open_vorbis_source(std::vector<uint8_t> file, std::string* why) {
    auto source = std::make_unique<VorbisSource>(std::move(file));
    if (!source->open(why)) return nullptr;
    return source;
}

std::unique_ptr<SoundSource> SoundSource::open(std::vector<uint8_t> file, std::string* why) {
    if (file.size() >= 4 && std::memcmp(file.data(), "OggS", 4) == 0)
        return open_vorbis_source(std::move(file), why);
    return open_wave_source(std::move(file), why);
}

}  // namespace tob::media
