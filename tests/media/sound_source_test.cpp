// Sound files: PCM of both depths, Microsoft ADPCM against the PCM a
// reference decoder made, Vorbis through our callbacks against plain
// libvorbisfile, and lying files refused cleanly.
#include "media/sound_source.h"

#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <cstring>

#include "sound_test_support.h"

namespace tob::media {
namespace {

using test::make_wave;
using test::put16;
using test::WaveShape;

std::vector<int16_t> read_all(SoundSource& s) {
    std::vector<int16_t> out(size_t(s.frames() + 16) * size_t(s.channels()));
    size_t n = s.read(out.data(), size_t(s.frames() + 16));
    out.resize(n * size_t(s.channels()));
    return out;
}

std::vector<int16_t> raw_samples(const std::string& name) {
    auto bytes = test::read_data(name);
    std::vector<int16_t> v(bytes.size() / 2);
    std::memcpy(v.data(), bytes.data(), v.size() * 2);
    return v;
}

TEST(SoundSource, PcmOfBothDepths) {
    auto eight = make_wave({0, 128, 255, 64}, {.tag = 1, .channels = 2, .bits = 8, .rate = 8000});
    auto s = SoundSource::open(eight);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->bits(), 8);
    EXPECT_EQ(s->frames(), 2u);
    EXPECT_EQ(read_all(*s), (std::vector<int16_t>{-32768, 0, 32512, -16384}));

    std::vector<uint8_t> data;
    for (int16_t v : {1, -2, 32767, -32768, 5}) put16(data, uint16_t(v));
    auto s16 = SoundSource::open(make_wave(data, {.rate = 1000}));
    ASSERT_TRUE(s16);
    EXPECT_EQ(s16->frames(), 5u);
    EXPECT_EQ(s16->length_ms(), 5u);
    EXPECT_TRUE(s16->seek(3));
    EXPECT_EQ(read_all(*s16), (std::vector<int16_t>{-32768, 5}));
    EXPECT_FALSE(s16->seek(5));
}

TEST(SoundSource, AdpcmMatchesTheReferenceDecoder) {
    for (const char* name : {"adpcm_mono", "adpcm_stereo"}) {
        auto s = SoundSource::open(test::read_data(std::string(name) + ".wav"));
        ASSERT_TRUE(s) << name;
        EXPECT_EQ(s->codec(), SoundCodec::Adpcm);
        auto expected = raw_samples(std::string(name) + ".raw");
        EXPECT_EQ(read_all(*s), expected) << name;
        // A seek into the middle of a block decodes that block again.
        uint64_t at = s->frames() / 2 + 3;
        ASSERT_TRUE(s->seek(at));
        std::vector<int16_t> some(8 * size_t(s->channels()));
        ASSERT_EQ(s->read(some.data(), 8), 8u);
        EXPECT_TRUE(
            std::equal(some.begin(), some.end(), expected.begin() + ptrdiff_t(at) * s->channels()));
    }
}

TEST(SoundSource, VorbisThroughOurCallbacksEqualsPlainReads) {
    auto file = test::read_data("comment.ogg");
    auto s = SoundSource::open(file);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->codec(), SoundCodec::Vorbis);
    EXPECT_EQ(s->channels(), 2);
    EXPECT_EQ(s->rate(), 22050u);
    EXPECT_EQ(s->comment().value_or(""), "a stereo test tone");
    auto ours = read_all(*s);

    OggVorbis_File vf;
    std::string path = std::string(TOB_TEST_DATA) + "/data/comment.ogg";
    ASSERT_EQ(ov_fopen(path.c_str(), &vf), 0);
    std::vector<int16_t> plain;
    char buffer[4096];
    int section = 0;
    for (long n; (n = ov_read(&vf, buffer, sizeof buffer, 0, 2, 1, &section)) != 0;) {
        if (n < 0) continue;
        size_t at = plain.size();
        plain.resize(at + size_t(n) / 2);
        std::memcpy(plain.data() + at, buffer, size_t(n));
    }
    EXPECT_EQ(uint64_t(ov_pcm_total(&vf, -1)), s->frames());
    ov_clear(&vf);
    EXPECT_EQ(ours, plain);
    // Seeking lands on the same samples.
    ASSERT_TRUE(s->seek(1000));
    int16_t frame[2];
    ASSERT_EQ(s->read(frame, 1), 1u);
    EXPECT_EQ(frame[0], plain[2000]);
    EXPECT_EQ(frame[1], plain[2001]);
}

std::vector<uint8_t> adpcm_fmt_extra(uint16_t samples_per_block, uint16_t coefficients) {
    std::vector<uint8_t> x;
    put16(x, 4 + 4u * coefficients);  // cbSize
    put16(x, samples_per_block);
    put16(x, coefficients);
    for (int i = 0; i < coefficients; ++i) {
        put16(x, 256);
        put16(x, 0);
    }
    return x;
}

TEST(SoundSource, LyingFilesAreRefused) {
    auto pcm = test::constant_pcm16(100, 10, 1);
    // One ADPCM block, mono, block align 16: 2 + 9 × 2 = 20 frames at most.
    std::vector<uint8_t> block(16, 0);
    block[0] = 0;
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        bool opens;
    };
    std::vector<uint8_t> not_riff = pcm;
    Case cases[] = {
        {"plain PCM", make_wave(pcm), true},
        {"not RIFF", not_riff, false},
        {"empty", {}, false},
        {"block align 0", make_wave(pcm, {.block_align = 0}), false},
        {"no channels", make_wave(pcm, {.channels = 0}), false},
        {"three channels", make_wave(pcm, {.channels = 3}), false},
        {"rate 0", make_wave(pcm, {.rate = 0}), false},
        {"24 bits", make_wave(pcm, {.bits = 24}), false},
        {"other tag", make_wave(pcm, {.tag = 3, .bits = 32}), false},
        {"short fmt", make_wave(pcm, {.fmt_size = 14}), false},
        {"ADPCM fits",
         make_wave(block, {.tag = 2, .bits = 4, .block_align = 16, .fmt_size = 26},
                   adpcm_fmt_extra(20, 1)),
         true},
        {"ADPCM too many samples per block",
         make_wave(block, {.tag = 2, .bits = 4, .block_align = 16, .fmt_size = 26},
                   adpcm_fmt_extra(21, 1)),
         false},
        {"ADPCM without coefficients",
         make_wave(block, {.tag = 2, .bits = 4, .block_align = 16, .fmt_size = 22},
                   adpcm_fmt_extra(20, 1)),
         false},
        {"ADPCM block smaller than its header",
         make_wave(block, {.tag = 2, .bits = 4, .block_align = 6, .fmt_size = 26},
                   adpcm_fmt_extra(2, 1)),
         false},
    };
    for (auto& c : cases) EXPECT_EQ(SoundSource::open(c.file) != nullptr, c.opens) << c.what;

    // A predictor beyond the coefficients.
    block[0] = 7;
    EXPECT_FALSE(SoundSource::open(make_wave(
        block, {.tag = 2, .bits = 4, .block_align = 16, .fmt_size = 26}, adpcm_fmt_extra(20, 1))));
    // A data chunk longer than the file is cut to what is there.
    auto long_data = make_wave(pcm, {.data_size = 100000});
    auto s = SoundSource::open(long_data);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->frames(), 10u);
    // A Vorbis header with nothing behind it.
    std::vector<uint8_t> ogg = {'O', 'g', 'g', 'S', 0, 2, 0, 0};
    EXPECT_FALSE(SoundSource::open(ogg));
    auto vorbis = test::read_data("comment.ogg");
    vorbis.resize(vorbis.size() / 3);
    auto cut = SoundSource::open(vorbis);
    if (cut) read_all(*cut);  // a cut stream reads what is there and ends
}

}  // namespace
}  // namespace tob::media
