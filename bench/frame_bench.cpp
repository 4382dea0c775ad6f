// A 1080p game frame end to end: the real engine runs a script that copies a
// full-screen background onto page 0, composites 100 alpha sprites of
// 128x128 and calls `update`, and times each part with `getcount`. Beside it,
// in the same run: one 1080p page memcpy, and the painting pass alone (the
// view page converted into a texture-sized buffer, whole and for a 128x128
// rectangle), which is the work a window's `update` does on the processor.
//
// usage: frame_bench ENGINE [--window] [--frames N]
//   Headless by default; --window shows the game in a real window (under a
//   virtual X server: xvfb-run -s "-screen 0 1920x1080x24" frame_bench ...).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "graphics/pages.h"
#include "graphics/plane.h"
#include "graphics/raster.h"
#include "vm/script_memory.h"

namespace fs = std::filesystem;
using namespace tob;
using namespace tob::gfx;

namespace {

constexpr int kW = 1920, kH = 1080;

// The game: kinds 0..4 are background alone, + 100 alpha sprites, + update(0)
// (the whole frame), update(0) alone, update of a 128x128 rectangle alone;
// each the best of three rounds.
const char* kScript = R"(#include "tob.h"
int r[4];
int opaque[3];
int alpha[3];
int transfer[3];
int xs[100];
int ys[100];
char line[256];

void set_rect(int l, int t, int rr, int b)
{
    r[0] = l; r[1] = t; r[2] = rr; r[3] = b;
}

void sprites(int f)
{
    int k;
    for (k = 0; k < 100; k++)
        gcopy(0, (xs[k] + f * 7) % 1792, (ys[k] + f * 3) % 952, 2, 0, alpha);
}

int timed(int kind, int frames)
{
    int f;
    int x;
    setcount(1, 0);
    for (f = 0; f < frames; f++) {
        if (kind <= 2) gcopy(0, 0, 0, 1, 0, opaque);
        if (kind == 1 || kind == 2) sprites(f);
        if (kind == 2 || kind == 3) update(0);
        if (kind == 4) {
            x = (f * 37) % 1792;
            set_rect(x, (f * 13) % 952, x + 128, (f * 13) % 952 + 128);
            update(r);
        }
    }
    return getcount(1);
}

int main()
{
    int k;
    int round;
    int ms;
    int t[5];
    void *out;
    galloc(1, 1920, 1080, 32);
    for (k = 0; k < 1080; k += 8) {
        set_rect(0, k, 1920, k + 8);
        gfill(1, r, (k * 0x010203) & 0xFFFFFF);
    }
    galloc(2, 128, 128, 32);
    set_rect(0, 0, 128, 128);
    gfill(2, r, 0x3366CC);
    galloc(3, 128, 128, 8);
    for (k = 0; k < 64; k++) {
        set_rect(k, k, 128 - k, 128 - k);
        gfill(3, r, 0x01000000 | (k * 4));
    }
    transfer[0] = 23 | (255 << 16);
    gcopy(2, 0, 0, 3, 0, transfer);
    opaque[0] = 255 << 16;
    alpha[0] = 7 | (255 << 16);
    for (k = 0; k < 100; k++) {
        xs[k] = (k * 397) % 1792;
        ys[k] = (k * 211) % 952;
    }
    timed(2, 10);
    // The best of three rounds of each part.
    for (k = 0; k < 5; k++) t[k] = 0x7FFFFFFF;
    for (round = 0; round < 3; round++) {
        for (k = 0; k < 4; k++) {
            ms = timed(k, FRAMES);
            if (ms < t[k]) t[k] = ms;
        }
        ms = timed(4, RECTS);
        if (ms < t[4]) t[4] = ms;
    }
    sprintf(line, "%d %d %d %d %d\n", t[0], t[1], t[2], t[3], t[4]);
    out = fopen("result.txt", "w");
    fputs(line, out);
    fclose(out);
    exit();
    return 0;
}
)";

double now_ms() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// The best of `rounds` timings of `f`, in ms per call.
template <class F>
double best_ms(int rounds, int calls, F&& f) {
    double best = 1e30;
    for (int r = 0; r < rounds; ++r) {
        double t0 = now_ms();
        for (int i = 0; i < calls; ++i) f(i);
        best = std::min(best, (now_ms() - t0) / calls);
    }
    return best;
}

std::string replace(std::string s, const std::string& what, const std::string& with) {
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + with.size()))
        s.replace(at, what.size(), with);
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: frame_bench ENGINE [--window] [--frames N]\n");
        return 2;
    }
    std::string engine = argv[1];
    bool window = false;
    int frames = 200;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--window") == 0) window = true;
        if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) frames = std::atoi(argv[++i]);
    }
    const int rects = frames * 10;

    // In process: memcpy of one page beside the painting pass.
    ScriptMemory mem{1u << 26};
    auto page = Plane::create(mem, kW, kH, 32);
    for (int32_t y = 0; y < kH; y += 8)
        fill_rect(*page, Rect{0, y, kW, y + 8}, uint32_t(y * 0x010203) & 0xFFFFFF);
    std::vector<uint32_t> texture(size_t(kW) * kH), copy(size_t(kW) * kH);
    PaintSettings s;
    s.screen_width = kW;
    s.screen_height = kH;
    double memcpy_ms =
        best_ms(5, 20, [&](int) { std::memcpy(copy.data(), page->bits(), page->bytes()); });
    double paint_ms = best_ms(5, 20, [&](int) {
        paint(page.get(), s, Box{0, 0, kW, kH}, texture.data(), kW);
    });
    double paint_rect_ms = best_ms(5, 2000, [&](int i) {
        int64_t x = (i * 37) % 1792, y = (i * 13) % 952;
        paint(page.get(), s, Box{x, y, x + 128, y + 128}, texture.data() + y * kW + x, kW);
    });

    // The engine on the game.
    fs::path dir = fs::temp_directory_path() / ("frame_bench_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::path tob_h = fs::path(TOB_SOURCE_DIR) / "games/demo/tob.h";
    fs::copy_file(tob_h, dir / "tob.h", fs::copy_options::overwrite_existing);
    std::ofstream(dir / "frame.cfg") << "[General]\nTitle=Frame\nWidth=1920\nHeight=1080\n"
                                        "Depth=32\nExecute=frame.c\nHeapSize=4096\n";
    std::ofstream(dir / "frame.c") << replace(replace(kScript, "FRAMES", std::to_string(frames)),
                                              "RECTS", std::to_string(rects));
    std::string command = "'" + engine + "' '" + dir.string() + "' --timeout 300" +
                          (window ? "" : " --headless") + " > '" + (dir / "engine.log").string() +
                          "' 2>&1";
    int status = std::system(command.c_str());
    std::ifstream in(dir / "result.txt");
    double t[5] = {};
    if (!(in >> t[0] >> t[1] >> t[2] >> t[3] >> t[4])) {
        std::fprintf(stderr, "the engine gave no result (status %d); its output:\n", status);
        std::ifstream log(dir / "engine.log");
        std::stringstream ss;
        ss << log.rdbuf();
        std::fputs(ss.str().c_str(), stderr);
        return 1;
    }
    fs::remove_all(dir);

    std::printf("1920x1080x32, %d frames (%s)\n", frames, window ? "window" : "headless");
    std::printf("  memcpy of one page                      %8.3f ms\n", memcpy_ms);
    std::printf("  paint pass, whole page                  %8.3f ms  (%.2fx memcpy)\n", paint_ms,
                paint_ms / memcpy_ms);
    std::printf("  paint pass, 128x128 rectangle           %8.4f ms\n", paint_rect_ms);
    std::printf("  engine, per frame:\n");
    std::printf("    background copy                       %8.3f ms\n", t[0] / frames);
    std::printf("    + 100 alpha sprites                   %8.3f ms\n", t[1] / frames);
    std::printf("    + update(0): the whole frame          %8.3f ms  (%.2fx memcpy)\n",
                t[2] / frames, t[2] / frames / memcpy_ms);
    std::printf("    update(0) alone                       %8.3f ms\n", t[3] / frames);
    std::printf("    update of a 128x128 rectangle alone   %8.4f ms\n", t[4] / rects);
    return 0;
}
