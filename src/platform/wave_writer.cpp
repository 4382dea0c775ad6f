// A 16-bit stereo WAVE file written as it goes.
#include <algorithm>
#include <cstdio>

#include "platform/audio_output.h"
#include "platform/byte_order.h"

namespace tob::platform {
namespace {

constexpr size_t kHeaderBytes = 44;
constexpr uint32_t kMaxData = 0xFFFFFFFFu - 36;

void header(uint8_t* h, int rate, uint32_t data) {
    auto put16 = [](uint8_t* p, uint16_t v) { p[0] = uint8_t(v), p[1] = uint8_t(v >> 8); };
    std::copy_n("RIFF", 4, h);
    store_le32(h + 4, 36 + data);
    std::copy_n("WAVEfmt ", 8, h + 8);
    store_le32(h + 16, 16);
    put16(h + 20, 1);  // PCM
    put16(h + 22, 2);
    store_le32(h + 24, uint32_t(rate));
    store_le32(h + 28, uint32_t(rate) * 4);
    put16(h + 32, 4);
    put16(h + 34, 16);
    std::copy_n("data", 4, h + 36);
    store_le32(h + 40, data);
}

}  // namespace

WaveWriter::~WaveWriter() {
    close();
}

bool WaveWriter::open(const std::filesystem::path& file, int rate) {
    close();
    file_ = std::fopen(file.string().c_str(), "wb");
    if (!file_) return false;
    rate_ = rate;
    data_bytes_ = 0;
    uint8_t h[kHeaderBytes];
    header(h, rate_, 0);
    std::fwrite(h, 1, kHeaderBytes, file_);
    return true;
}

void WaveWriter::write(const int16_t* frames, size_t count) {
    if (!file_) return;
    uint8_t buffer[4096];
    size_t at = 0;
    for (size_t i = 0; i < count * 2; ++i) {
        uint16_t v = uint16_t(frames[i]);
        buffer[at++] = uint8_t(v);
        buffer[at++] = uint8_t(v >> 8);
        if (at == sizeof buffer) {
            std::fwrite(buffer, 1, at, file_);
            at = 0;
        }
    }
    std::fwrite(buffer, 1, at, file_);
    data_bytes_ += count * 4;
}

void WaveWriter::flush() {
    if (!file_) return;
    long end = std::ftell(file_);
    uint8_t h[kHeaderBytes];
    header(h, rate_, uint32_t(std::min<uint64_t>(data_bytes_, kMaxData)));
    std::fseek(file_, 0, SEEK_SET);
    std::fwrite(h, 1, kHeaderBytes, file_);
    std::fseek(file_, end, SEEK_SET);
    std::fflush(file_);
}

void WaveWriter::close() {
    if (!file_) return;
    flush();
    std::fclose(file_);
    file_ = nullptr;
}

}  // namespace tob::platform
