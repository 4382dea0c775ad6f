// Video decoding speed: a 640×480, 30 frames per second, 20-second clip
// decoded and converted to 32-bit frames as fast as possible through our
// path (our file layer, our decoder set-up, our converter), beside the
// `ffmpeg` command writing raw BGRA to /dev/null and a plain in-process libav
// loop (read, decode, sws_scale to BGRA), all with the same decoder thread
// count, in the same run. Once with MPEG-1 (MP2 sound), once with MPEG-4
// Part 2. The clips are made with the `ffmpeg` tool from its test sources
// when missing. Each contender's fastest of five passes counts; ratios are
// printed at the end.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "media/video_file.h"
#include "ratio_reporter.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 640, kHeight = 480, kFrames = 600;
constexpr int kThreads = 2;
// Each contender decodes the clip this many times; the fastest pass counts
// (the machine is shared: the slower passes measure the neighbours).
constexpr int kPasses = 5;

// Frames per second of the fastest of `kPasses` passes of `pass`, which
// returns the frames it decoded.
template <class Pass>
void time_passes(benchmark::State& state, Pass pass) {
    double best = 0;
    for (auto _ : state) {
        for (int i = 0; i < kPasses; ++i) {
            auto t0 = std::chrono::steady_clock::now();
            int64_t frames = pass();
            if (frames < 0) return;
            double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            if (s > 0) best = std::max(best, double(frames) / s);
        }
    }
    state.counters["items_per_second"] = best;
}

struct Clip {
    const char* label;
    const char* file;
    const char* codec;
};
constexpr Clip kClips[] = {
    {"mpeg1", "bench_clip_mpeg1.mpg", "-c:v mpeg1video -q:v 4 -c:a mp2 -b:a 192k"},
    {"mpeg4", "bench_clip_mpeg4.avi", "-c:v mpeg4 -q:v 4 -c:a mp2 -b:a 192k"},
};

fs::path clip_dir() {
    const char* dir = std::getenv("TOB_BENCH_DIR");
    return dir ? fs::path(dir) : fs::temp_directory_path() / "tob_bench_video";
}

bool make_clip(const Clip& c) {
    fs::path path = clip_dir() / c.file;
    if (fs::exists(path)) return true;
    fs::create_directories(clip_dir());
    std::string cmd = "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc=size=" +
                      std::to_string(kWidth) + "x" + std::to_string(kHeight) +
                      ":rate=30:duration=20 -f lavfi -i sine=frequency=440:duration=20 " + c.codec +
                      " -shortest '" + path.string() + "'";
    if (std::system(cmd.c_str()) == 0) return true;
    std::fprintf(stderr, "bench: could not make %s with the ffmpeg tool\n", path.c_str());
    return false;
}

// Our path: the engine's file layer, decoder and converter.
void BM_Ours(benchmark::State& state, const Clip& c, bool with_sound) {
    if (!make_clip(c)) return state.SkipWithError("no clip");
    std::vector<uint32_t> frame(size_t(kWidth) * kHeight);
    time_passes(state, [&]() -> int64_t {
        tob::media::VideoOpenOptions o;
        o.threads = kThreads;
        o.audio_rate = with_sound ? 44100 : 0;
        std::string why;
        auto file =
            tob::media::VideoFile::open(tob::media::file_source(c.file, clip_dir()), o, why);
        if (!file) {
            state.SkipWithError(why.c_str());
            return -1;
        }
        tob::media::PictureConverter conv;
        int64_t frames = 0;
        for (tob::media::VideoFile::Item it;
             (it = file->next()) != tob::media::VideoFile::Item::End;) {
            if (it != tob::media::VideoFile::Item::Video) continue;
            conv.convert(file->picture(), kWidth, kHeight, frame.data(), kWidth);
            ++frames;
        }
        return frames;
    });
    state.SetLabel(with_sound ? "frames/s, sound decoded too" : "frames/s");
}

// The plain loop: read, decode, sws_scale to BGRA.
void BM_PlainLoop(benchmark::State& state, const Clip& c) {
    if (!make_clip(c)) return state.SkipWithError("no clip");
    std::string path = (clip_dir() / c.file).string();
    std::vector<uint32_t> frame(size_t(kWidth) * kHeight);
    time_passes(state, [&]() -> int64_t {
        int64_t frames = 0;
        AVFormatContext* fmt = nullptr;
        if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) {
            state.SkipWithError("open");
            return -1;
        }
        avformat_find_stream_info(fmt, nullptr);
        int vi = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        const AVCodec* codec = avcodec_find_decoder(fmt->streams[vi]->codecpar->codec_id);
        AVCodecContext* dec = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(dec, fmt->streams[vi]->codecpar);
        dec->thread_count = kThreads;
        avcodec_open2(dec, codec, nullptr);
        AVPacket* pkt = av_packet_alloc();
        AVFrame* f = av_frame_alloc();
        SwsContext* sws = nullptr;
        auto take = [&] {
            while (avcodec_receive_frame(dec, f) == 0) {
                sws = sws_getCachedContext(sws, f->width, f->height, AVPixelFormat(f->format),
                                           kWidth, kHeight, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr,
                                           nullptr, nullptr);
                uint8_t* dst[4] = {reinterpret_cast<uint8_t*>(frame.data())};
                int stride[4] = {kWidth * 4};
                sws_scale(sws, f->data, f->linesize, 0, f->height, dst, stride);
                ++frames;
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
        av_frame_free(&f);
        av_packet_free(&pkt);
        avcodec_free_context(&dec);
        avformat_close_input(&fmt);
        return frames;
    });
    state.SetLabel("frames/s");
}

// The ffmpeg command, the same conversion into nowhere.
void BM_FfmpegCommand(benchmark::State& state, const Clip& c) {
    if (!make_clip(c)) return state.SkipWithError("no clip");
    std::string cmd = "ffmpeg -hide_banner -loglevel error -threads " + std::to_string(kThreads) +
                      " -i '" + (clip_dir() / c.file).string() +
                      "' -f rawvideo -pix_fmt bgra -y /dev/null";
    time_passes(state, [&]() -> int64_t {
        if (std::system(cmd.c_str()) == 0) return kFrames;
        state.SkipWithError("ffmpeg failed");
        return -1;
    });
    state.SetLabel("frames/s");
}

void register_all() {
    for (const Clip& c : kClips) {
        std::string l = c.label;
        auto one = [](benchmark::internal::Benchmark* b) {
            b->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
        };
        one(benchmark::RegisterBenchmark(("ours/" + l).c_str(), BM_Ours, c, false));
        one(benchmark::RegisterBenchmark(("ours_with_sound/" + l).c_str(), BM_Ours, c, true));
        one(benchmark::RegisterBenchmark(("plain_loop/" + l).c_str(), BM_PlainLoop, c));
        one(benchmark::RegisterBenchmark(("ffmpeg_command/" + l).c_str(), BM_FfmpegCommand, c));
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    for (const Clip& c : kClips) make_clip(c);  // before any timing
    register_all();
    tob::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-8s %12s %12s %12s %12s %14s %14s\n", "clip", "ours fps", "w/ sound", "plain",
                "ffmpeg", "ours/ffmpeg", "ours/plain");
    for (const Clip& c : kClips) {
        std::string l = c.label;
        auto rate = [&](const std::string& name) {
            auto it = reporter.rate.find(name + "/" + l + "/iterations:1/real_time");
            return it == reporter.rate.end() ? 0.0 : it->second;
        };
        double ours = rate("ours"), sound = rate("ours_with_sound"), plain = rate("plain_loop"),
               ff = rate("ffmpeg_command");
        std::printf("%-8s %12.0f %12.0f %12.0f %12.0f %14.2f %14.2f\n", c.label, ours, sound, plain,
                    ff, ff > 0 ? ours / ff : 0.0, plain > 0 ? ours / plain : 0.0);
    }
    std::printf("(targets: ours/ffmpeg >= 1, ours/plain >= 0.9; %d decoder threads)\n", kThreads);
    benchmark::Shutdown();
    return 0;
}
