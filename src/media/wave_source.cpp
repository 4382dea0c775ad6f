// RIFF WAVE: our own RIFF reader (chunks padded to even sizes), PCM of 8 and
// 16 bits and Microsoft ADPCM. Every size is checked against the file; a
// data chunk longer than the file is cut to what is there.
#include <algorithm>
#include <climits>
#include <cstring>

#include "media/sound_source.h"
#include "media/sound_source_internal.h"
#include "platform/byte_order.h"

namespace tob::media {
namespace {

constexpr uint32_t kFourccRiff = 0x46464952;  // "RIFF"
constexpr uint32_t kFourccWave = 0x45564157;  // "WAVE"
constexpr uint32_t kFourccFmt = 0x20746D66;   // "fmt "
constexpr uint32_t kFourccData = 0x61746164;  // "data"
constexpr size_t kPcmFormatBytes = 16;        // up to and with the bits per sample
constexpr size_t kAdpcmFormatBytes = 22;      // up to and with the coefficient count
constexpr int kAdpcmHeaderBytes = 7;          // per channel
constexpr int kAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                                 768, 614, 512, 409, 307, 230, 230, 230};
// Deltas beyond this would overflow the adaptation product.
constexpr int32_t kMaxAdpcmDelta = INT32_MAX / 768;

bool fail(std::string* why, const char* text) {
    if (why) *why = text;
    return false;
}

int16_t clamp16(int64_t v) {
    return int16_t(std::clamp<int64_t>(v, INT16_MIN, INT16_MAX));
}

// The largest number of frames an ADPCM block of `align` bytes can carry.
uint32_t adpcm_capacity(uint32_t align, uint32_t channels) {
    return 2 + (align - kAdpcmHeaderBytes * channels) * 2 / channels;
}

class WaveSource final : public SoundSource {
  public:
    WaveSource(std::vector<uint8_t> file, WaveInfo info) : file_(std::move(file)), info_(info) {
        codec_ = info_.tag == kWaveTagAdpcm ? SoundCodec::Adpcm : SoundCodec::Pcm;
        channels_ = info_.channels;
        rate_ = info_.rate;
        if (codec_ == SoundCodec::Pcm) {
            bits_ = info_.bits;
            frames_ = info_.data_size / info_.block_align;
            length_ms_ = frames_ * 1000 / rate_;
        } else {
            bits_ = 16;
            uint64_t blocks = info_.data_size / info_.block_align;
            frames_ = blocks * info_.samples_per_block;
            length_ms_ = blocks * info_.samples_per_block * 1000 / rate_;
            block_.resize(size_t(info_.samples_per_block) * channels_);
        }
    }

    size_t read(int16_t* out, size_t count) override {
        size_t done = 0;
        while (done < count && position_ < frames_) {
            size_t n = std::min<uint64_t>(count - done, frames_ - position_);
            if (codec_ == SoundCodec::Pcm) {
                read_pcm(out + done * channels_, n);
            } else {
                n = read_adpcm(out + done * channels_, n);
                if (n == 0) break;
            }
            position_ += n;
            done += n;
        }
        return done;
    }

    bool seek(uint64_t frame) override {
        if (frame >= frames_) return false;
        position_ = frame;
        return true;
    }

  private:
    void read_pcm(int16_t* out, size_t n) {
        const uint8_t* p = file_.data() + info_.data_offset + position_ * info_.block_align;
        size_t samples = n * channels_;
        if (info_.bits == 8) {
            for (size_t i = 0; i < samples; ++i) out[i] = int16_t((int(p[i]) - 128) * 256);
        } else {
            for (size_t i = 0; i < samples; ++i) out[i] = int16_t(load_le16(p + 2 * i));
        }
    }

    size_t read_adpcm(int16_t* out, size_t n) {
        uint64_t spb = info_.samples_per_block;
        uint64_t index = position_ / spb;
        if (index != decoded_block_) {
            const uint8_t* p = file_.data() + info_.data_offset + index * info_.block_align;
            if (!decode_adpcm_block(info_, {p, info_.block_align}, block_.data())) return 0;
            decoded_block_ = index;
        }
        uint64_t within = position_ % spb;
        n = std::min<uint64_t>(n, spb - within);
        std::memcpy(out, block_.data() + within * channels_, n * channels_ * sizeof(int16_t));
        return n;
    }

    std::vector<uint8_t> file_;
    WaveInfo info_;
    uint64_t position_ = 0;
    std::vector<int16_t> block_;
    uint64_t decoded_block_ = UINT64_MAX;
};

}  // namespace

std::optional<WaveInfo> parse_wave(std::span<const uint8_t> file, std::string* why) {
    if (file.size() < 12 || load_le32(file.data()) != kFourccRiff ||
        load_le32(file.data() + 8) != kFourccWave) {
        fail(why, "not a RIFF WAVE file");
        return std::nullopt;
    }
    uint64_t riff_end = std::min<uint64_t>(file.size(), 8 + uint64_t(load_le32(file.data() + 4)));
    std::optional<std::span<const uint8_t>> fmt;
    std::optional<std::pair<uint64_t, uint64_t>> data;
    for (uint64_t at = 12; at + 8 <= riff_end;) {
        uint32_t id = load_le32(file.data() + at);
        uint64_t size = load_le32(file.data() + at + 4);
        uint64_t body = at + 8;
        uint64_t have = std::min(size, riff_end - body);
        if (id == kFourccFmt && !fmt) fmt = file.subspan(size_t(body), size_t(have));
        if (id == kFourccData && !data) data = {body, have};
        at = body + size + (size & 1);
    }
    if (!fmt) {
        fail(why, "no fmt chunk");
        return std::nullopt;
    }
    if (!data) {
        fail(why, "no data chunk");
        return std::nullopt;
    }
    const uint8_t* f = fmt->data();
    if (fmt->size() < kPcmFormatBytes) {
        fail(why, "short fmt chunk");
        return std::nullopt;
    }
    WaveInfo w;
    w.tag = load_le16(f);
    w.channels = load_le16(f + 2);
    w.rate = load_le32(f + 4);
    w.block_align = load_le16(f + 12);
    w.bits = load_le16(f + 14);
    w.data_offset = data->first;
    w.data_size = data->second;
    if (w.channels < 1 || w.channels > 2) {
        fail(why, "only mono and stereo sounds are played");
        return std::nullopt;
    }
    if (w.rate == 0 || w.rate > kMaxSoundRate) {
        fail(why, "sample rate out of range");
        return std::nullopt;
    }
    if (w.block_align == 0) {
        fail(why, "block align 0");
        return std::nullopt;
    }
    if (w.tag == kWaveTagPcm) {
        if (w.bits != 8 && w.bits != 16) {
            fail(why, "PCM of 8 or 16 bits only");
            return std::nullopt;
        }
        if (w.block_align != w.channels * w.bits / 8) {
            fail(why, "block align does not match the PCM format");
            return std::nullopt;
        }
        return w;
    }
    if (w.tag != kWaveTagAdpcm) {
        fail(why, "unsupported format tag");
        return std::nullopt;
    }
    if (fmt->size() < kAdpcmFormatBytes) {
        fail(why, "short fmt chunk");
        return std::nullopt;
    }
    w.samples_per_block = load_le16(f + 18);
    uint16_t coefficient_count = load_le16(f + 20);
    if (coefficient_count == 0 || fmt->size() < kAdpcmFormatBytes + 4u * coefficient_count) {
        fail(why, "ADPCM coefficients missing");
        return std::nullopt;
    }
    for (size_t i = 0; i < 2u * coefficient_count; ++i)
        w.coefficients.push_back(int16_t(load_le16(f + kAdpcmFormatBytes + 2 * i)));
    if (w.block_align < kAdpcmHeaderBytes * w.channels || w.samples_per_block < 2 ||
        w.samples_per_block > adpcm_capacity(w.block_align, w.channels)) {
        fail(why, "ADPCM samples per block do not fit the block align");
        return std::nullopt;
    }
    // Every block's predictors must name a coefficient pair.
    for (uint64_t at = 0; at + w.block_align <= w.data_size; at += w.block_align) {
        for (int c = 0; c < w.channels; ++c) {
            if (file[size_t(w.data_offset + at + c)] >= coefficient_count) {
                fail(why, "ADPCM predictor beyond the coefficients");
                return std::nullopt;
            }
        }
    }
    return w;
}

bool decode_adpcm_block(const WaveInfo& info, std::span<const uint8_t> block, int16_t* out) {
    const int ch = info.channels;
    if (ch < 1 || ch > 2 || block.size() < info.block_align ||
        info.block_align < kAdpcmHeaderBytes * ch || info.samples_per_block < 2 ||
        info.samples_per_block > adpcm_capacity(info.block_align, ch))
        return false;
    const uint8_t* p = block.data();
    int32_t c1[2], c2[2], delta[2], s1[2], s2[2];
    for (int c = 0; c < ch; ++c) {
        size_t pred = p[c];
        if (2 * pred + 1 >= info.coefficients.size()) return false;
        c1[c] = info.coefficients[2 * pred];
        c2[c] = info.coefficients[2 * pred + 1];
        delta[c] = int16_t(load_le16(p + ch + 2 * c));
        s1[c] = int16_t(load_le16(p + 3 * ch + 2 * c));
        s2[c] = int16_t(load_le16(p + 5 * ch + 2 * c));
        out[c] = int16_t(s2[c]);       // the older sample first
        out[ch + c] = int16_t(s1[c]);  // then the newer
    }
    const uint8_t* nibbles = p + kAdpcmHeaderBytes * ch;
    size_t total = size_t(info.samples_per_block - 2) * ch;
    for (size_t i = 0; i < total; ++i) {
        int c = int(i % ch);
        int nibble = (i & 1) ? (nibbles[i / 2] & 0x0F) : (nibbles[i / 2] >> 4);
        int signed_nibble = nibble >= 8 ? nibble - 16 : nibble;
        int64_t predicted = (int64_t(s1[c]) * c1[c] + int64_t(s2[c]) * c2[c]) >> 8;
        int16_t sample = clamp16(predicted + int64_t(signed_nibble) * delta[c]);
        out[2 * ch + i] = sample;
        s2[c] = s1[c];
        s1[c] = sample;
        delta[c] = std::clamp<int32_t>((kAdaptation[nibble] * delta[c]) >> 8, 16, kMaxAdpcmDelta);
    }
    return true;
}

std::unique_ptr<SoundSource> open_wave_source(std::vector<uint8_t> file, std::string* why) {
    auto info = parse_wave(file, why);
    if (!info) return nullptr;
    return std::make_unique<WaveSource>(std::move(file), std::move(*info));
}

}  // namespace tob::media
