// Audio speed in multiples of real time (processor time of one core), side
// by side in one run:
// - 32 channels (44.1 and 22.05 kHz, mono and stereo, own volume and pan)
//   mixed to 44.1 kHz stereo by our mixer, by a plain float loop doing the
//   same work, and by SDL_mixer on SDL's disk driver (into /dev/null);
// - the same 32 channels each with echo, equaliser and reverb;
// - a 60-second stereo Vorbis file decoded by our static load and our
//   streamed reader, beside libvorbisfile's own read loop.
#include <SDL.h>
#include <SDL_mixer.h>
#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "media/effects.h"
#include "media/mixer.h"
#include "media/sound_source.h"

namespace {

using tob::media::Mixer;
using tob::media::SoundBuffer;
// Processor time of the whole process: the machine may be shared, and
// SDL_mixer mixes on its own thread while the main one sleeps.
struct Clock {
    using time_point = double;
    static double now() {
        timespec t;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
    }
};

constexpr uint32_t kOutRate = 44100;
constexpr int kChannels = 32;
constexpr double kMixSeconds = 60;

struct Voice {
    std::shared_ptr<SoundBuffer> sound;
    int32_t volume_mb, pan_mb;
};

std::vector<Voice> make_voices() {
    std::vector<Voice> voices;
    std::mt19937 rng(7);
    for (int i = 0; i < kChannels; ++i) {
        auto b = std::make_shared<SoundBuffer>();
        b->rate = i % 2 ? 22050 : 44100;
        b->channels = (i / 2) % 2 ? 2 : 1;
        size_t frames = b->rate * 3 + rng() % 1000;  // about three seconds, looping
        double hz = 200 + 40 * i;
        for (size_t f = 0; f < frames; ++f)
            for (int c = 0; c < b->channels; ++c)
                b->samples.push_back(
                    int16_t(3000 * std::sin(2 * M_PI * hz * double(f) / b->rate) + (c ? 500 : 0)));
        voices.push_back({b, -int32_t(rng() % 2000), int32_t(rng() % 4000) - 2000});
    }
    return voices;
}

double seconds_since(double t) {
    return Clock::now() - t;
}

double run_mixer(const std::vector<Voice>& voices, bool effects) {
    Mixer m(kOutRate);
    for (int i = 0; i < kChannels; ++i) {
        m.play_static(i, voices[size_t(i)].sound, true);
        m.set_level(i, voices[size_t(i)].volume_mb, voices[size_t(i)].pan_mb);
        if (effects) {
            std::array<uint32_t, tob::media::kEffectWordTotal> words{};
            auto defaults = [&](tob::media::Effect e) {
                auto p = tob::media::effect_params(e);
                for (size_t k = 0; k < p.size(); ++k) {
                    float v = p[k].fallback;
                    words[size_t(tob::media::kEffectOffset[size_t(e)]) + k] =
                        p[k].integer ? uint32_t(int32_t(v)) : std::bit_cast<uint32_t>(v);
                }
            };
            defaults(tob::media::Effect::Echo);
            defaults(tob::media::Effect::ParamEq);
            defaults(tob::media::Effect::Reverb);
            uint32_t bits = (1u << int(tob::media::Effect::Echo)) |
                            (1u << int(tob::media::Effect::ParamEq)) |
                            (1u << int(tob::media::Effect::Reverb));
            m.set_effects(i, tob::media::make_effect_chain(bits, words, kOutRate));
        }
    }
    std::vector<int16_t> out(2 * 1024);
    double seconds = effects ? kMixSeconds / 4 : kMixSeconds;
    size_t blocks = size_t(seconds * kOutRate / 1024);
    auto t = Clock::now();
    for (size_t b = 0; b < blocks; ++b) m.render(out.data(), 1024);
    return seconds / seconds_since(t);
}

// The same work written plainly: linear interpolation, gain, pan, sum, clamp.
double run_plain(const std::vector<Voice>& voices) {
    struct State {
        double pos = 0, step = 1;
        float l = 1, r = 1;
    };
    std::vector<State> st(voices.size());
    for (size_t i = 0; i < voices.size(); ++i) {
        st[i].step = double(voices[i].sound->rate) / kOutRate;
        float g = std::pow(10.0f, voices[i].volume_mb / 2000.0f);
        int32_t p = voices[i].pan_mb;
        st[i].l = g * (p > 0 ? std::pow(10.0f, -p / 2000.0f) : 1.0f);
        st[i].r = g * (p < 0 ? std::pow(10.0f, p / 2000.0f) : 1.0f);
    }
    std::vector<float> mix(2 * 1024);
    std::vector<int16_t> out(2 * 1024);
    size_t blocks = size_t(kMixSeconds * kOutRate / 1024);
    auto t = Clock::now();
    for (size_t b = 0; b < blocks; ++b) {
        std::fill(mix.begin(), mix.end(), 0.0f);
        for (size_t v = 0; v < voices.size(); ++v) {
            const SoundBuffer& s = *voices[v].sound;
            State& x = st[v];
            size_t n = s.frames();
            int ch = s.channels;
            for (size_t i = 0; i < 1024; ++i) {
                size_t k = size_t(x.pos);
                float f = float(x.pos - double(k));
                size_t k1 = k + 1 < n ? k + 1 : 0;
                float a = s.samples[k * ch], bb = s.samples[k1 * ch];
                float left = a + (bb - a) * f, right = left;
                if (ch == 2) {
                    float a1 = s.samples[k * 2 + 1], b1 = s.samples[k1 * 2 + 1];
                    right = a1 + (b1 - a1) * f;
                }
                mix[2 * i] += left * x.l;
                mix[2 * i + 1] += right * x.r;
                x.pos += x.step;
                if (x.pos >= double(n)) x.pos -= double(n);
            }
        }
        for (size_t i = 0; i < mix.size(); ++i)
            out[i] = int16_t(std::lrint(std::clamp(mix[i], -32768.0f, 32767.0f)));
    }
    return kMixSeconds / seconds_since(t);
}

std::vector<uint8_t> wave_file(const SoundBuffer& s) {
    std::vector<uint8_t> w(44 + s.samples.size() * 2);
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&w[at], &v, 4); };
    auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&w[at], &v, 2); };
    std::memcpy(&w[0], "RIFF", 4);
    put32(4, uint32_t(w.size() - 8));
    std::memcpy(&w[8], "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1);
    put16(22, uint16_t(s.channels));
    put32(24, s.rate);
    put32(28, s.rate * 2 * uint32_t(s.channels));
    put16(32, uint16_t(2 * s.channels));
    put16(34, 16);
    std::memcpy(&w[36], "data", 4);
    put32(40, uint32_t(s.samples.size() * 2));
    std::memcpy(&w[44], s.samples.data(), s.samples.size() * 2);
    return w;
}

std::atomic<uint64_t> g_sdl_bytes{0};
void count_post_mix(void*, Uint8*, int len) {
    g_sdl_bytes += uint64_t(len);
}

double run_sdl_mixer(const std::vector<Voice>& voices) {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    if (SDL_Init(SDL_INIT_AUDIO) != 0) return 0;
    if (Mix_OpenAudio(int(kOutRate), AUDIO_S16SYS, 2, 1024) != 0) {
        SDL_Quit();
        return 0;
    }
    Mix_AllocateChannels(kChannels);
    std::vector<Mix_Chunk*> chunks;
    for (auto& v : voices) {
        auto file = wave_file(*v.sound);
        chunks.push_back(Mix_LoadWAV_RW(SDL_RWFromConstMem(file.data(), int(file.size())), 1));
    }
    Mix_Pause(-1);
    for (int i = 0; i < kChannels; ++i) {
        float g = std::pow(10.0f, voices[size_t(i)].volume_mb / 2000.0f);
        int32_t p = voices[size_t(i)].pan_mb;
        float l = p > 0 ? std::pow(10.0f, -p / 2000.0f) : 1.0f;
        float r = p < 0 ? std::pow(10.0f, p / 2000.0f) : 1.0f;
        Mix_PlayChannel(i, chunks[size_t(i)], -1);
        Mix_Volume(i, int(g * MIX_MAX_VOLUME));
        Mix_SetPanning(i, uint8_t(l * 255), uint8_t(r * 255));
    }
    Mix_SetPostMix(count_post_mix, nullptr);
    uint64_t target = uint64_t(kMixSeconds * kOutRate * 4);
    g_sdl_bytes = 0;
    auto t = Clock::now();
    Mix_Resume(-1);
    while (g_sdl_bytes.load() < target) SDL_Delay(1);
    double elapsed = seconds_since(t);
    double played = double(g_sdl_bytes.load()) / (kOutRate * 4);
    Mix_HaltChannel(-1);
    for (auto* c : chunks) Mix_FreeChunk(c);
    Mix_CloseAudio();
    SDL_Quit();
    return played / elapsed;
}

// A 60-second stereo Vorbis file, encoded here (music-like: chords and noise).
std::vector<uint8_t> encode_vorbis(double seconds, int rate) {
    vorbis_info vi;
    vorbis_info_init(&vi);
    vorbis_encode_init_vbr(&vi, 2, rate, 0.4f);
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_dsp_state vd;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block vb;
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 1);
    std::vector<uint8_t> out;
    auto flush_pages = [&](bool force) {
        ogg_page og;
        while (force ? ogg_stream_flush(&os, &og) : ogg_stream_pageout(&os, &og)) {
            out.insert(out.end(), og.header, og.header + og.header_len);
            out.insert(out.end(), og.body, og.body + og.body_len);
        }
    };
    ogg_packet h, hc, hcode;
    vorbis_analysis_headerout(&vd, &vc, &h, &hc, &hcode);
    ogg_stream_packetin(&os, &h);
    ogg_stream_packetin(&os, &hc);
    ogg_stream_packetin(&os, &hcode);
    flush_pages(true);
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> noise(-0.05f, 0.05f);
    size_t total = size_t(seconds * rate), done = 0;
    while (true) {
        size_t n = std::min<size_t>(1024, total - done);
        if (n) {
            float** buf = vorbis_analysis_buffer(&vd, int(n));
            for (size_t i = 0; i < n; ++i) {
                double t = double(done + i) / rate;
                float x =
                    float(0.2 * std::sin(2 * M_PI * 220 * t) + 0.15 * std::sin(2 * M_PI * 277 * t) +
                          0.1 * std::sin(2 * M_PI * 330 * t * (1 + 0.01 * std::sin(t))));
                buf[0][i] = x + noise(rng);
                buf[1][i] = x * 0.8f + noise(rng);
            }
        }
        vorbis_analysis_wrote(&vd, int(n));
        done += n;
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet op;
            while (vorbis_bitrate_flushpacket(&vd, &op)) {
                ogg_stream_packetin(&os, &op);
                flush_pages(false);
            }
        }
        if (n == 0) break;
    }
    flush_pages(true);
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return out;
}

struct Memory {
    const std::vector<uint8_t>* bytes;
    size_t pos = 0;
};
size_t mem_read(void* p, size_t size, size_t count, void* src) {
    auto* m = static_cast<Memory*>(src);
    size_t n = std::min(m->bytes->size() - m->pos, size * count);
    std::memcpy(p, m->bytes->data() + m->pos, n);
    m->pos += n;
    return n / size;
}
int mem_seek(void* src, ogg_int64_t off, int whence) {
    auto* m = static_cast<Memory*>(src);
    int64_t base = whence == SEEK_SET   ? 0
                   : whence == SEEK_CUR ? int64_t(m->pos)
                                        : int64_t(m->bytes->size());
    int64_t to = base + off;
    if (to < 0 || to > int64_t(m->bytes->size())) return -1;
    m->pos = size_t(to);
    return 0;
}
long mem_tell(void* src) {
    return long(static_cast<Memory*>(src)->pos);
}

// What oggdec does: ov_read 4096 bytes until the end.
double plain_vorbis(const std::vector<uint8_t>& file, double seconds) {
    auto t = Clock::now();
    Memory m{&file};
    OggVorbis_File vf;
    ov_open_callbacks(&m, &vf, nullptr, 0, {mem_read, mem_seek, nullptr, mem_tell});
    char buf[4096];
    int section;
    volatile long sink = 0;
    for (long n; (n = ov_read(&vf, buf, sizeof buf, 0, 2, 1, &section)) != 0;) sink = sink + n;
    ov_clear(&vf);
    return seconds / seconds_since(t);
}

double our_vorbis(const std::vector<uint8_t>& file, double seconds, bool streamed) {
    auto t = Clock::now();
    auto s = tob::media::SoundSource::open(file);
    if (!s) return 0;
    if (!streamed) {
        std::vector<int16_t> all(size_t(s->frames()) * 2);
        s->read(all.data(), size_t(s->frames()));
    } else {
        std::vector<int16_t> chunk(4096 * 2);
        while (s->read(chunk.data(), 4096) > 0) {
        }
    }
    return seconds / seconds_since(t);
}

}  // namespace

int main() {
    auto voices = make_voices();
    std::printf("32 channels (44.1/22.05 kHz, mono/stereo, volume, pan) into 44.1 kHz stereo:\n");
    double ours = run_mixer(voices, false);
    double plain = run_plain(voices);
    double sdl = run_sdl_mixer(voices);
    std::printf("  our mixer        %8.1f x real time\n", ours);
    std::printf("  plain float loop %8.1f x real time   (ours / plain = %.2f)\n", plain,
                ours / plain);
    if (sdl > 0)
        std::printf("  SDL_mixer        %8.1f x real time   (ours / SDL_mixer = %.2f)\n", sdl,
                    ours / sdl);
    else
        std::printf("  SDL_mixer        could not open its disk driver\n");
    double fx = run_mixer(voices, true);
    std::printf("  with echo, EQ and reverb on every channel: %.1f x real time\n", fx);

    std::printf("60-second stereo Vorbis (44.1 kHz):\n");
    constexpr double kVorbisSeconds = 60;
    auto file = encode_vorbis(kVorbisSeconds, 44100);
    double base = 0, stat = 0, stream = 0;
    for (int round = 0; round < 3; ++round) {  // best of three, interleaved
        base = std::max(base, plain_vorbis(file, kVorbisSeconds));
        stat = std::max(stat, our_vorbis(file, kVorbisSeconds, false));
        stream = std::max(stream, our_vorbis(file, kVorbisSeconds, true));
    }
    std::printf("  ov_read loop     %8.1f x real time\n", base);
    std::printf("  our static load  %8.1f x real time   (%.2f)\n", stat, stat / base);
    std::printf("  our stream       %8.1f x real time   (%.2f)\n", stream, stream / base);
    return 0;
}
