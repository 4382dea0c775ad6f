// Sound files made in memory for the media tests: WAVE files of any shape
// (lying ones too), tones, and reading the committed test data.
#pragma once

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <numbers>
#include <string>
#include <vector>

namespace tob::test {

inline std::vector<uint8_t> read_data(const std::string& name) {
    std::ifstream in(std::string(TOB_TEST_DATA) + "/data/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
inline void put32(std::vector<uint8_t>& v, uint32_t x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}
inline void put_id(std::vector<uint8_t>& v, const char* id) {
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(id[i]));
}
inline void append(std::vector<uint8_t>& v, const std::vector<uint8_t>& more) {
    for (uint8_t b : more) v.push_back(b);
}

struct WaveShape {
    uint16_t tag = 1, channels = 1, bits = 16;
    uint32_t rate = 22050;
    int32_t block_align = -1;  // -1: what the format needs
    uint32_t fmt_size = 16;
    int64_t data_size = -1;  // -1: the data's size
};

// A WAVE file around `data` (PCM samples or ADPCM blocks, as given).
inline std::vector<uint8_t> make_wave(const std::vector<uint8_t>& data, WaveShape s = {},
                                      const std::vector<uint8_t>& extra_fmt = {}) {
    std::vector<uint8_t> fmt;
    put16(fmt, s.tag);
    put16(fmt, s.channels);
    put32(fmt, s.rate);
    uint32_t align = s.block_align >= 0 ? uint32_t(s.block_align) : s.channels * s.bits / 8u;
    put32(fmt, s.rate * align);
    put16(fmt, align);
    put16(fmt, s.bits);
    append(fmt, extra_fmt);
    fmt.resize(std::min<size_t>(fmt.size(), s.fmt_size));
    std::vector<uint8_t> w;
    put_id(w, "RIFF");
    put32(w, 0);
    put_id(w, "WAVE");
    put_id(w, "fmt ");
    put32(w, uint32_t(fmt.size()));
    append(w, fmt);
    if (fmt.size() & 1) w.push_back(0);
    put_id(w, "data");
    put32(w, s.data_size >= 0 ? uint32_t(s.data_size) : uint32_t(data.size()));
    append(w, data);
    uint32_t riff = uint32_t(w.size() - 8);
    w[4] = uint8_t(riff), w[5] = uint8_t(riff >> 8), w[6] = uint8_t(riff >> 16),
    w[7] = uint8_t(riff >> 24);
    return w;
}

// 16-bit PCM bytes of `frames` frames of a sine (both channels alike).
inline std::vector<uint8_t> sine_pcm16(double hz, uint32_t rate, size_t frames, int channels,
                                       double amplitude) {
    std::vector<uint8_t> v;
    for (size_t i = 0; i < frames; ++i) {
        auto s = int16_t(
            std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * double(i) / rate)));
        for (int c = 0; c < channels; ++c) put16(v, uint16_t(s));
    }
    return v;
}

inline std::vector<uint8_t> constant_pcm16(int16_t value, size_t frames, int channels) {
    std::vector<uint8_t> v;
    for (size_t i = 0; i < frames * size_t(channels); ++i) put16(v, uint16_t(value));
    return v;
}

// RMS and peak of one side of interleaved stereo float in [from, to).
inline double rms(const std::vector<float>& s, int side, size_t from, size_t to) {
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += double(s[2 * i + side]) * s[2 * i + side];
    return std::sqrt(sum / double(to - from));
}

}  // namespace tob::test
