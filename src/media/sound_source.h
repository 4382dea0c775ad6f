// Sound files as a stream of 16-bit frames: RIFF WAVE (PCM 8 and 16 bits,
// Microsoft ADPCM) read by our own small RIFF reader, and Ogg Vorbis through
// libvorbisfile over the file image in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tob::media {

enum class SoundCodec { Pcm, Adpcm, Vorbis };

// Sample rates outside 1..kMaxSoundRate are refused: a ring of two seconds
// at a lying rate would be gigabytes.
inline constexpr uint32_t kMaxSoundRate = 384000;

class SoundSource {
  public:
    // Opens a file image; nullptr (and `why`) when it is neither a usable
    // WAVE nor a usable Ogg Vorbis file.
    static std::unique_ptr<SoundSource> open(std::vector<uint8_t> file, std::string* why = nullptr);
    virtual ~SoundSource() = default;

    SoundCodec codec() const { return codec_; }
    int channels() const { return channels_; }
    uint32_t rate() const { return rate_; }
    // Bits per sample of the decoded stream: 8 for 8-bit PCM, else 16.
    // Reads always deliver 16-bit samples; this only enters positions.
    int bits() const { return bits_; }
    // Frames the decoded stream holds.
    uint64_t frames() const { return frames_; }
    // The length in milliseconds, by the codec's own formula.
    uint64_t length_ms() const { return length_ms_; }

    // Reads up to `count` frames (interleaved 16-bit samples) from the
    // current position; fewer only at the end of the stream.
    virtual size_t read(int16_t* out, size_t count) = 0;
    // Moves to frame `frame` (below frames()); false leaves it unchanged.
    virtual bool seek(uint64_t frame) = 0;
    // Vorbis: the value of the first user comment that starts with
    // "COMMENT=", as stored.
    virtual std::optional<std::string> comment() const { return std::nullopt; }

  protected:
    SoundCodec codec_ = SoundCodec::Pcm;
    int channels_ = 0;
    uint32_t rate_ = 0;
    int bits_ = 16;
    uint64_t frames_ = 0;
    uint64_t length_ms_ = 0;
};

// The WAVE file's facts, as the RIFF reader found them.
struct WaveInfo {
    uint16_t tag = 0;
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint16_t block_align = 0;
    uint16_t bits = 0;
    uint16_t samples_per_block = 0;           // ADPCM
    std::vector<int16_t> coefficients;        // ADPCM, pairs
    uint64_t data_offset = 0, data_size = 0;  // the data chunk, cut to the file
};
inline constexpr uint16_t kWaveTagPcm = 1;
inline constexpr uint16_t kWaveTagAdpcm = 2;

// Parses the RIFF structure and the format; nullopt with `why` on any lie.
std::optional<WaveInfo> parse_wave(std::span<const uint8_t> file, std::string* why = nullptr);

// Decodes one Microsoft ADPCM block of `info` into `out` (samples per block
// × channels samples). False when the block is malformed.
bool decode_adpcm_block(const WaveInfo& info, std::span<const uint8_t> block, int16_t* out);

}  // namespace tob::media
