// The headless window and audio output: what SDL's dummy drivers did for
// headless runs, done without SDL. Nothing here may open SDL.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/audio_output.h"
#include "platform/event_feeder.h"
#include "platform/event_script.h"
#include "platform/keys.h"
#include "platform/sdl_library.h"
#include "platform/window.h"

using namespace tob::platform;

namespace {

std::unique_ptr<Window> headless_window(int w = 640, int h = 480, bool tool = false) {
    WindowSpec spec;
    spec.headless = true;
    spec.tool = tool;
    spec.width = w;
    spec.height = h;
    return create_window(spec);
}

// Every event `wait_event` has queued now.
std::vector<WindowEvent> drain(Window& w) {
    std::vector<WindowEvent> out;
    WindowEvent e;
    while (w.wait_event(e, 0)) out.push_back(e);
    return out;
}

}  // namespace

TEST(HeadlessWindow, PlacedAsOnTheDummyDesktop) {
    auto main = headless_window(640, 480);
    auto tool = headless_window(300, 200, true);
    ASSERT_TRUE(main && tool);
    EXPECT_NE(main->id(), 0u);
    EXPECT_NE(tool->id(), main->id());
    int x = 0, y = 0, w = 0, h = 0;
    main->position(x, y);
    EXPECT_EQ(x, 192);
    EXPECT_EQ(y, 144);
    tool->position(x, y);
    EXPECT_EQ(x, 362);
    EXPECT_EQ(y, 284);
    main->move_to(10, 20);
    main->position(x, y);
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 20);
    main->client_size(w, h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    EXPECT_FALSE(main->visible());
    EXPECT_FALSE(main->set_fullscreen(true));
    EXPECT_FALSE(main->fullscreen());
    EXPECT_FALSE(main->has_mouse());
    EXPECT_FALSE(sdl_loaded());
}

TEST(HeadlessWindow, WaitsUntilWokenOrTimedOut) {
    auto w = headless_window();
    WindowEvent e;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(w->wait_event(e, 30));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(25));

    std::thread waker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        w->wake();
    });
    start = std::chrono::steady_clock::now();
    ASSERT_TRUE(w->wait_event(e, 5000));
    EXPECT_EQ(e.type, WindowEvent::Wakeup);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    waker.join();
    // A wake-up before the wait is not lost.
    w->wake();
    ASSERT_TRUE(w->wait_event(e, 5000));
    EXPECT_EQ(e.type, WindowEvent::Wakeup);
    EXPECT_FALSE(sdl_loaded());
}

TEST(HeadlessWindow, ScriptedInputArrivesTranslated) {
    auto w = headless_window(200, 100);
    EventScript script = parse_event_script(
        "0 key-down Left Shift\n"
        "0 key-down a\n"
        "0 key-up Left Shift\n"
        "0 text アb\n"
        "0 mouse-move 10 20\n"
        "0 mouse-down left 10 20\n"
        "0 mouse-move 250 20\n"
        "0 wheel -1\n"
        "5 focus-lost\n");
    ASSERT_EQ(script.error, "");
    EventFeeder feeder(script.events);
    feeder.feed(0, w->id());
    std::vector<WindowEvent> got = drain(*w);
    ASSERT_EQ(got.size(), 8u);
    EXPECT_EQ(got[0].type, WindowEvent::KeyDown);
    EXPECT_EQ(got[0].key, kVkShift);
    EXPECT_EQ(got[1].type, WindowEvent::KeyDown);
    EXPECT_EQ(got[1].key, 'A');
    EXPECT_TRUE(got[1].shift);  // held by the scripted shift
    EXPECT_EQ(got[1].window, w->id());
    EXPECT_EQ(got[2].type, WindowEvent::KeyUp);
    EXPECT_EQ(got[3].type, WindowEvent::Text);
    EXPECT_EQ(got[3].text, "アb");
    EXPECT_EQ(got[4].type, WindowEvent::MouseMove);
    EXPECT_FALSE(got[4].outside);
    EXPECT_EQ(got[5].type, WindowEvent::MouseDown);
    EXPECT_EQ(got[5].button, 1);
    EXPECT_EQ(got[6].type, WindowEvent::MouseMove);
    EXPECT_TRUE(got[6].outside);  // past the 200-pixel width with the button held
    EXPECT_EQ(got[6].dx, 240);
    EXPECT_EQ(got[7].type, WindowEvent::Wheel);
    EXPECT_EQ(got[7].wheel, -120);
    EXPECT_FALSE(feeder.done());
    feeder.feed(5, w->id());
    got = drain(*w);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].type, WindowEvent::FocusLost);
    EXPECT_TRUE(feeder.done());
    EXPECT_FALSE(sdl_loaded());
}

TEST(HeadlessWindow, InterruptAsksToQuit) {
    {
        auto w = headless_window();
        std::raise(SIGINT);
        WindowEvent e;
        ASSERT_TRUE(w->wait_event(e, 1000));
        EXPECT_EQ(e.type, WindowEvent::Quit);
        EXPECT_FALSE(w->wait_event(e, 0));  // once per signal
    }
    // Closed, the window leaves the signal as it found it.
    struct sigaction now {};
    ASSERT_EQ(sigaction(SIGINT, nullptr, &now), 0);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

TEST(HeadlessAudio, PulledInDeviceBlocksAtTheirPlayingPace) {
    const auto file = std::filesystem::temp_directory_path() /
                      ("headless_audio_" + std::to_string(::getpid()) + ".wav");
    AudioSpec spec;
    spec.rate = 44100;
    spec.headless = true;
    spec.record = file;
    auto out = open_audio_output(spec);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->rate(), 44100);
    EXPECT_EQ(out->driver(), "dummy");

    struct Counts {
        std::atomic<int> calls{0};
        std::atomic<int> odd_sizes{0};
    } counts;
    auto render = [](void* context, int16_t* samples, size_t frames) {
        auto* c = static_cast<Counts*>(context);
        if (frames != 1024) c->odd_sizes++;
        for (size_t i = 0; i < frames * 2; ++i) samples[i] = 1000;
        c->calls++;
    };
    // Nothing is pulled before the start.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(counts.calls.load(), 0);
    out->start(render, &counts);
    std::this_thread::sleep_for(std::chrono::milliseconds(460));
    out->stop();
    int calls = counts.calls.load();
    // A block of 1024 frames lasts 23 ms: 20 blocks in 460 ms, fewer when
    // the machine is busy, never more.
    EXPECT_GE(calls, 8);
    EXPECT_LE(calls, 21);
    EXPECT_EQ(counts.odd_sizes.load(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(counts.calls.load(), calls);  // nothing after the stop
    out.reset();

    // The recording holds exactly what was pulled.
    std::ifstream wav(file, std::ios::binary);
    ASSERT_TRUE(wav);
    std::vector<char> bytes((std::istreambuf_iterator<char>(wav)), {});
    ASSERT_GE(bytes.size(), 44u);
    EXPECT_EQ(bytes.size() - 44, size_t(calls) * 1024 * 4);
    std::filesystem::remove(file);
    EXPECT_FALSE(sdl_loaded());
}
