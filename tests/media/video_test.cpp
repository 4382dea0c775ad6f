// Video playback: the volume rule, our decoding against a plain libav loop,
// the player's clock (repeat, pause, the end), the sound on the video line,
// the layer drawn into the picture, and files that must be refused.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <fstream>
#include <iterator>
#include <thread>

#include "media/media_control.h"
#include "media/mixer.h"
#include "media/video_file.h"
#include "media/video_player.h"

namespace tob::media {
namespace {

using namespace std::chrono_literals;

const std::string kClips = std::string(TOB_TEST_DATA) + "/../scripts/video/";

std::vector<uint8_t> clip_bytes(const std::string& name) {
    std::ifstream in(kClips + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::unique_ptr<VideoFile> open_clip(const std::string& name, uint32_t audio_rate = 0) {
    std::string why;
    VideoOpenOptions o;
    o.audio_rate = audio_rate;
    return VideoFile::open(memory_source(clip_bytes(name)), o, why);
}

// The clips show their frame number in binary in the top rows: eight
// blocks 20 pixels wide, white for 1.
int frame_number(const uint32_t* pixels, int width) {
    int n = 0;
    for (int bit = 0; bit < 8; ++bit) {
        uint32_t p = pixels[20 * width + bit * 20 + 10];
        if (((p >> 8) & 0xFF) > 128) n |= 1 << bit;
    }
    return n;
}

int picture_number(const AVFrame* f) {
    std::vector<uint32_t> px(160 * 120);
    PictureConverter c;
    if (!c.convert(f, 160, 120, px.data(), 160)) return -1;
    return frame_number(px.data(), 160);
}

// Waits until `done` holds, moving the player on; false on time-out.
template <class F>
bool advance_until(MediaControl& m, F done, std::chrono::milliseconds limit = 5s) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        m.advance();
        if (done()) return true;
        std::this_thread::sleep_for(2ms);
    }
    return false;
}

MediaControl::Hooks quiet_hooks(Mixer* mixer = nullptr) {
    return {[mixer] { return mixer; }, [](int) {}, [](const char*) {}};
}

TEST(Video, VolumeMapping) {
    const struct {
        int32_t volume, mb;
    } cases[] = {{100, 0},    {50, -1505}, {25, -3010},         {10, -5000},
                 {1, -10000}, {0, -10000}, {-5, -10000},        {150, 0},
                 {101, 0},    {99, -21},   {INT32_MIN, -10000}, {INT32_MAX, 0}};
    for (const auto& c : cases) EXPECT_EQ(media_volume_mb(c.volume), c.mb) << c.volume;
}

// Our path (custom I/O over memory, our decoder set-up, our converter) gives
// the same pixels as the plain libav loop over the file.
TEST(Video, DecodedFramesEqualThePlainLoop) {
    for (const char* name : {"count.mpg", "count.avi"}) {
        SCOPED_TRACE(name);
        std::vector<std::vector<uint32_t>> plain;
        AVFormatContext* fmt = nullptr;
        ASSERT_EQ(avformat_open_input(&fmt, (kClips + name).c_str(), nullptr, nullptr), 0);
        ASSERT_GE(avformat_find_stream_info(fmt, nullptr), 0);
        int vi = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        ASSERT_GE(vi, 0);
        const AVCodec* codec = avcodec_find_decoder(fmt->streams[vi]->codecpar->codec_id);
        AVCodecContext* dec = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(dec, fmt->streams[vi]->codecpar);
        ASSERT_EQ(avcodec_open2(dec, codec, nullptr), 0);
        AVPacket* pkt = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        SwsContext* sws = nullptr;
        auto take = [&] {
            while (avcodec_receive_frame(dec, frame) == 0) {
                sws = sws_getCachedContext(sws, frame->width, frame->height,
                                           AVPixelFormat(frame->format), 160, 120, AV_PIX_FMT_BGRA,
                                           SWS_BILINEAR, nullptr, nullptr, nullptr);
                std::vector<uint32_t> px(160 * 120);
                uint8_t* dst[4] = {reinterpret_cast<uint8_t*>(px.data())};
                int stride[4] = {160 * 4};
                sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, stride);
                plain.push_back(std::move(px));
            }
        };
        while (av_read_frame(fmt, pkt) >= 0) {
            if (pkt->stream_index == vi) avcodec_send_packet(dec, pkt);
            av_packet_unref(pkt);
            take();
        }
        avcodec_send_packet(dec, nullptr);
        take();
        sws_freeContext(sws);
        av_frame_free(&frame);
        av_packet_free(&pkt);
        avcodec_free_context(&dec);
        avformat_close_input(&fmt);

        auto file = open_clip(name, 44100);
        ASSERT_TRUE(file);
        PictureConverter conv;
        size_t i = 0;
        double first = -1;
        for (VideoFile::Item it; (it = file->next()) != VideoFile::Item::End;) {
            if (it != VideoFile::Item::Video) continue;
            ASSERT_LT(i, plain.size());
            std::vector<uint32_t> px(160 * 120);
            ASSERT_TRUE(conv.convert(file->picture(), 160, 120, px.data(), 160));
            for (size_t k = 0; k < px.size(); ++k)
                ASSERT_EQ(px[k] & 0xFFFFFF, plain[i][k] & 0xFFFFFF) << "frame " << i;
            EXPECT_EQ(frame_number(px.data(), 160), int(i));
            // Times count from the container's start (here the sound's, a
            // little earlier), one frame apart.
            if (first < 0) first = file->picture_time();
            EXPECT_NEAR(file->picture_time() - first, double(i) / 25, 0.002);
            ++i;
        }
        EXPECT_EQ(i, plain.size());
        EXPECT_EQ(i, 50u);
        EXPECT_GE(first, 0.0);
        EXPECT_LT(first, 0.05);
    }
}

// Whatever the container and codecs, the pictures come in order with their
// numbers, and the sound comes too.
TEST(Video, EveryContainerPlays) {
    const struct {
        const char* name;
        int frames;
    } cases[] = {{"count.mpg", 50},
                 {"count.avi", 50},
                 {"count.wmv", 25},
                 {"count.mp4", 25},
                 {"count.ogv", 25}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto file = open_clip(c.name, 48000);
        ASSERT_TRUE(file);
        EXPECT_TRUE(file->has_video());
        EXPECT_TRUE(file->has_audio());
        EXPECT_EQ(file->width(), 160);
        EXPECT_EQ(file->height(), 120);
        PictureConverter conv;
        std::vector<uint32_t> px(160 * 120);
        int pictures = 0;
        size_t sound_frames = 0;
        for (VideoFile::Item it; (it = file->next()) != VideoFile::Item::End;) {
            if (it == VideoFile::Item::Audio) {
                sound_frames += file->sound().size() / 2;
                continue;
            }
            ASSERT_TRUE(conv.convert(file->picture(), 160, 120, px.data(), 160));
            EXPECT_EQ(frame_number(px.data(), 160), pictures);
            ++pictures;
        }
        EXPECT_EQ(pictures, c.frames);
        // The tone lasts as long as the pictures, resampled to 48000 Hz.
        EXPECT_NEAR(double(sound_frames) / 48000, c.frames / 25.0, 0.1);
    }
}

TEST(Video, FilesThatCannotPlayAreRefused) {
    std::vector<uint8_t> half = clip_bytes("count.mpg");
    half.resize(half.size() / 2);
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        bool opens;
    } cases[] = {
        {"nothing", {}, false},
        {"text", {'h', 'e', 'l', 'l', 'o', '\n'}, false},
        {"a picture wider than 4096", clip_bytes("wide.avi"), false},
        {"half a file", half, true},
        {"sound alone", clip_bytes("tone.mpg"), true},
        // A JPEG XL picture only an outside library decodes; that library
        // crashed on these bytes (found by fuzzing).
        {"a malformed JPEG XL picture",
         {0xff, 0x0a, 0xff, 0xd0, 0xd0, 0x0a, 0x5b, 0x46, 0x4f, 0x4e, 0x54, 0x5d, 0x6c, 0x6b, 0x00,
          0x00, 0x00, 0x69, 0xff, 0x70},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string why;
        VideoOpenOptions o;
        o.audio_rate = 44100;
        auto f = VideoFile::open(memory_source(c.bytes), o, why);
        EXPECT_EQ(bool(f), c.opens) << why;
        if (!f) continue;
        // A file that breaks off ends like one that is complete.
        int items = 0;
        while (f->next() != VideoFile::Item::End) ASSERT_LT(++items, 10000);
        EXPECT_GT(items, 0);
    }
}

TEST(Video, RepeatStartsAgainAtFrameZero) {
    MediaControl m(quiet_hooks());
    ASSERT_EQ(m.open(memory_source(clip_bytes("quiet.mpg"))), 1u);
    m.set_repeat(1);
    ASSERT_EQ(m.play(), 1u);
    ASSERT_TRUE(advance_until(m, [&] { return m.player()->picture_number() >= 45; }));
    ASSERT_TRUE(advance_until(m, [&] { return m.player()->picture_number() < 5; }));
    EXPECT_EQ(m.is_playing(), 1u);
    EXPECT_LT(picture_number(m.player()->picture()), 5);
}

TEST(Video, PauseFreezesThePicture) {
    MediaControl m(quiet_hooks());
    ASSERT_EQ(m.open(memory_source(clip_bytes("quiet.mpg"))), 1u);
    m.play();
    ASSERT_TRUE(advance_until(m, [&] { return m.player()->picture_number() >= 5; }));
    ASSERT_EQ(m.pause(), 1u);
    ASSERT_EQ(m.pause(), 1u);
    m.advance();
    int64_t held = m.player()->picture_number();
    std::this_thread::sleep_for(300ms);
    m.advance();
    EXPECT_EQ(m.player()->picture_number(), held);
    EXPECT_EQ(m.is_playing(), 1u);
    m.replay();
    std::this_thread::sleep_for(100ms);
    m.advance();
    EXPECT_EQ(m.player()->picture_number(), held) << "one replay of two leaves it paused";
    m.replay();
    EXPECT_TRUE(advance_until(m, [&] { return m.player()->picture_number() > held; }));
}

TEST(Video, TheEndWithoutRepeatClearsTheFlag) {
    MediaControl m(quiet_hooks());
    ASSERT_EQ(m.open(memory_source(clip_bytes("quiet.mpg"))), 1u);
    m.play();
    ASSERT_TRUE(advance_until(m, [&] { return m.is_playing() == 0; }));
    EXPECT_EQ(m.player()->picture_number(), 49) << "the last picture was shown";
    EXPECT_EQ(m.play(), 1u) << "plays again from the start";
    EXPECT_TRUE(advance_until(m, [&] { return m.player()->picture_number() < 10; }));
}

TEST(Video, WithoutAFileTheControlsGiveZero) {
    MediaControl m(quiet_hooks());
    EXPECT_EQ(m.play(), 0u);
    EXPECT_EQ(m.stop(), 0u);
    EXPECT_EQ(m.pause(), 0u);
    EXPECT_EQ(m.pause_count(), 0) << "a refused pause leaves the count alone";
    EXPECT_EQ(m.replay(), 1u);
    EXPECT_EQ(m.close(), 1u);
    EXPECT_FALSE(m.layer_visible());
}

// The mixer's device is played by the test, a block now and then; the
// loudest sample of the tone tells its level (blocks the decoder has not
// filled yet only add silence).
double peak_of_line(Mixer& mixer, std::chrono::milliseconds span) {
    std::vector<float> block(2 * 512);
    double peak = 0;
    auto end = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < end) {
        mixer.render_float(block.data(), 512);
        for (float x : block) peak = std::max(peak, double(std::fabs(x)));
        std::this_thread::sleep_for(10ms);
    }
    return peak;
}

TEST(Video, TheSoundReachesTheVideoLineWithItsGain) {
    Mixer mixer(44100);
    MediaControl m(quiet_hooks(&mixer));
    ASSERT_EQ(m.open(memory_source(clip_bytes("count.mpg"))), 1u);
    ASSERT_TRUE(m.player()->has_audio());
    m.set_repeat(1);
    m.play();
    std::this_thread::sleep_for(100ms);
    peak_of_line(mixer, 100ms);  // past the start
    double full = peak_of_line(mixer, 300ms);
    m.set_volume(50);
    peak_of_line(mixer, 50ms);
    double half = peak_of_line(mixer, 300ms);
    ASSERT_GT(full, 1000.0) << "the tone is heard";
    EXPECT_NEAR(20 * std::log10(half / full), -15.05, 0.5);
    m.stop();
    EXPECT_LT(peak_of_line(mixer, 100ms), 1.0) << "silent after stop";
    m.play();  // the stored volume comes back
    peak_of_line(mixer, 100ms);
    EXPECT_NEAR(20 * std::log10(peak_of_line(mixer, 300ms) / full), -15.05, 0.5);
}

// The layer: the picture stretched into the rectangle, the rest untouched.
TEST(Video, TheLayerIsDrawnIntoItsRectangle) {
    constexpr uint32_t kPage = 0x123456;
    const struct {
        const char* what;
        std::optional<MediaRect> rect;
        int dy;
        int x0, y0, x1, y1;  // where the video lands
        bool whole;          // all of it is seen
    } cases[] = {
        {"whole picture", std::nullopt, 0, 0, 0, 160, 120, true},
        {"an empty rectangle", MediaRect{50, 50, 50, 90}, 0, 0, 0, 160, 120, true},
        {"a rectangle", MediaRect{40, 30, 120, 90}, 0, 40, 30, 120, 90, true},
        {"a rectangle past the edge", MediaRect{100, 60, 260, 180}, 0, 100, 60, 160, 120, false},
        {"shifted by the menu bar", MediaRect{40, 30, 120, 90}, 20, 40, 10, 120, 70, true},
    };
    MediaControl m(quiet_hooks());
    ASSERT_EQ(m.open(memory_source(clip_bytes("quiet.mpg"))), 1u);
    m.play();
    m.pause();
    ASSERT_TRUE(advance_until(m, [&] { return m.player()->picture() != nullptr; }));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m.set_destination(c.rect);
        std::vector<uint32_t> px(160 * 120, kPage);
        m.draw(px.data(), 160, 120, 0, c.dy);
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 160; ++x) {
                bool inside = x >= c.x0 && x < c.x1 && y >= c.y0 && y < c.y1;
                if (!inside) {
                    ASSERT_EQ(px[size_t(y * 160 + x)], kPage) << x << "," << y;
                }
            }
        // Near the rectangle's bottom: the clip's fixed blue (40, 80, 200).
        uint32_t p = px[size_t((c.y1 - 3) * 160 + (c.x0 + c.x1) / 2)];
        if (c.whole) {
            EXPECT_NEAR(int((p >> 16) & 0xFF), 40, 12);
            EXPECT_NEAR(int((p >> 8) & 0xFF), 80, 12);
            EXPECT_NEAR(int(p & 0xFF), 200, 12);
        }
    }
    // A rectangle too large to convert covers what it covers in black.
    m.set_destination(MediaRect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX});
    std::vector<uint32_t> huge(160 * 120, kPage);
    m.draw(huge.data(), 160, 120, 0, 0);
    EXPECT_EQ(std::count(huge.begin(), huge.end(), 0u), 160 * 120);
    m.close();
    EXPECT_FALSE(m.layer_visible());
    std::vector<uint32_t> px(160 * 120, kPage);
    m.draw(px.data(), 160, 120, 0, 0);
    EXPECT_EQ(std::count(px.begin(), px.end(), kPage), 160 * 120) << "the page shows again";
}

}  // namespace
}  // namespace tob::media
