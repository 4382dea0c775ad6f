// The window thread's handling of window events, fed by a made-up event source.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "base/settings.h"
#include "media/cd_player.h"
#include "media/media.h"
#include "media/music.h"
#include "shell/engine_clock.h"
#include "shell/engine_host.h"
#include "shell/plugin_query.h"
#include "shell/window_state.h"

using namespace tob;
using E = platform::WindowEvent;

namespace {
E event(E::Type type) {
    E e;
    e.type = type;
    return e;
}
}  // namespace

TEST(EngineHost, DeactivationPausesOnceAndResumesOnce) {
    LaunchOptions options;
    options.headless = true;
    EngineHost host(options);
    WindowState& w = window_state();
    w.active = 1;
    settings().global_focus = 0;
    uint32_t before = engine_clock().now();
    host.handle(event(E::FocusLost));
    host.handle(event(E::FocusLost));  // repeated deactivation does not nest
    EXPECT_EQ(w.active.load(), 0);
    EXPECT_EQ(w.app_active.load(), 0);
    EXPECT_TRUE(engine_clock().paused());
    host.handle(event(E::FocusGained));
    EXPECT_EQ(w.active.load(), 1);
    EXPECT_EQ(w.app_active.load(), 1);
    EXPECT_FALSE(engine_clock().paused());
    EXPECT_GE(engine_clock().now(), before);

    // With global focus the application keeps running, only the flag changes.
    settings().global_focus = 1;
    host.handle(event(E::FocusLost));
    EXPECT_EQ(w.active.load(), 1);
    EXPECT_EQ(w.app_active.load(), 0);
    EXPECT_FALSE(engine_clock().paused());
    host.handle(event(E::FocusGained));
}

TEST(EngineHost, DeactivationPausesMusicOnce) {
    const char* font = "/usr/share/sounds/sf2/TimGM6mb.sf2";
    if (!std::filesystem::exists(font)) GTEST_SKIP() << "no TimGM6mb soundfont";
    AudioStartup audio;
    audio.offline_rate = 22050;
    audio.music = true;
    audio.soundfont = font;
    start_audio(audio);
    ASSERT_NE(music(), nullptr);
    // One second of a held chord.
    std::vector<uint8_t> song = {
        'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0, 'M', 'T', 'r', 'k', 0, 0, 0, 0x14,
        0x00, 0x90, 60, 100, 0x87, 0x40, 0x80, 60, 0, 0x00, 0xB0, 7, 100, 0x00, 0xFF, 0x2F, 0x00};
    song[21] = uint8_t(song.size() - 22);
    ASSERT_EQ(music()->load(song), 1u);
    music()->set_repeat(1);
    ASSERT_EQ(music()->play(), 1u);

    LaunchOptions options;
    options.headless = true;
    EngineHost host(options);
    window_state().active = 1;
    settings().global_focus = 0;
    host.handle(event(E::FocusLost));
    host.handle(event(E::FocusLost));
    EXPECT_EQ(music()->is_playing(), 0u);
    host.handle(event(E::FocusGained));
    EXPECT_EQ(music()->is_playing(), 1u);
    // A song the script paused stays paused through a deactivation.
    EXPECT_EQ(music()->pause(), 0u);
    host.handle(event(E::FocusLost));
    host.handle(event(E::FocusGained));
    EXPECT_EQ(music()->is_playing(), 0u);
    EXPECT_EQ(music()->replay(), 1u);
    EXPECT_EQ(music()->is_playing(), 1u);
    stop_audio();
}

TEST(EngineHost, DeactivationPausesTheCdOnce) {
    // A disc of one track: two seconds of 8-bit silence.
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("tob_host_cd_" + std::to_string(::getpid()));
    fs::create_directories(dir / "cd");
    {
        const uint32_t rate = 8000, frames = 2 * rate;
        std::vector<uint8_t> wav = {'R', 'I', 'F', 'F', 0,  0, 0, 0, 'W', 'A', 'V', 'E',
                                    'f', 'm', 't', ' ', 16, 0, 0, 0, 1,   0,   1,   0};
        for (uint32_t v : {rate, rate}) {
            for (int i = 0; i < 4; ++i) wav.push_back(uint8_t(v >> (8 * i)));
        }
        wav.insert(wav.end(), {1, 0, 8, 0, 'd', 'a', 't', 'a'});
        for (int i = 0; i < 4; ++i) wav.push_back(uint8_t(frames >> (8 * i)));
        wav.resize(wav.size() + frames, 128);
        for (int i = 0; i < 4; ++i) wav[size_t(4 + i)] = uint8_t((wav.size() - 8) >> (8 * i));
        std::ofstream(dir / "cd" / "track01.wav", std::ios::binary)
            .write(reinterpret_cast<const char*>(wav.data()), std::streamsize(wav.size()));
    }
    AudioStartup audio;
    audio.offline_rate = 8000;
    audio.cd = true;
    audio.module_dir = dir;
    start_audio(audio);
    media::CdPlayer* cd = cd_player();
    ASSERT_TRUE(cd && cd_started());
    ASSERT_EQ(cd->length(1), 2u);
    ASSERT_EQ(cd->play(1, 0), 1u);

    LaunchOptions options;
    options.headless = true;
    EngineHost host(options);
    window_state().active = 1;
    settings().global_focus = 0;
    host.handle(event(E::FocusLost));
    host.handle(event(E::FocusLost));
    EXPECT_EQ(cd->is_playing(), 0u);
    host.handle(event(E::FocusGained));
    EXPECT_EQ(cd->is_playing(), 1u);
    // A track the script paused stays paused through a deactivation.
    EXPECT_EQ(cd->pause(), 1u);
    host.handle(event(E::FocusLost));
    host.handle(event(E::FocusGained));
    EXPECT_EQ(cd->is_playing(), 0u);
    EXPECT_EQ(cd->replay(), 1u);
    EXPECT_EQ(cd->is_playing(), 1u);
    settings().global_focus = 1;
    stop_audio();
    fs::remove_all(dir);
}

TEST(EngineHost, TypedTextMouseAndWheel) {
    LaunchOptions options;
    options.headless = true;
    EngineHost host(options);
    InputState& in = input_state();
    in.characters().clear();
    E text = event(E::Text);
    text.text = "aア";  // the katakana arrives as its two CP932 bytes
    host.handle(text);
    EXPECT_EQ(in.characters().pop(), 'a');
    EXPECT_EQ(in.characters().pop(), 0x83);
    EXPECT_EQ(in.characters().pop(), 0x41);
    EXPECT_EQ(in.characters().pop(), -1);

    uint32_t presses = in.clicks(1);
    E down = event(E::MouseDown);
    down.button = kRightButton;
    down.x = 30;
    down.y = 40;
    host.handle(down);
    EXPECT_EQ(in.clicks(1), presses + 1);
    EXPECT_TRUE(in.buttons() & kRightButton);
    EXPECT_EQ(in.pointer_x(), 30);
    EXPECT_EQ(in.pointer_y(), 40);
    E up = event(E::MouseUp);
    up.button = kRightButton;
    host.handle(up);
    EXPECT_FALSE(in.buttons() & kRightButton);

    int32_t wheel = in.wheel_total();
    E roll = event(E::Wheel);
    roll.wheel = -240;
    host.handle(roll);
    EXPECT_EQ(in.wheel_total(), wheel - 240);
}

E key(E::Type type, int scancode, int vk, bool ctrl = false) {
    E e = event(type);
    e.scancode = scancode;
    e.key = vk;
    e.ctrl = ctrl;
    return e;
}

TEST(EngineHost, KeysTypeControlCharactersAndFocusLossLetsThemGo) {
    LaunchOptions options;
    options.headless = true;
    EngineHost host(options);
    InputState& in = input_state();
    in.characters().clear();
    constexpr int kScanA = 4, kScanC = 6, kScanReturn = 40, kScanLeftCtrl = 224;
    host.handle(key(E::KeyDown, kScanA, 'A'));
    host.handle(key(E::KeyDown, kScanLeftCtrl, 17, true));
    host.handle(key(E::KeyDown, kScanC, 'C', true));
    E repeat = key(E::KeyDown, kScanC, 'C', true);
    repeat.repeat = true;
    host.handle(repeat);
    host.handle(key(E::KeyUp, kScanC, 'C', true));
    host.handle(key(E::KeyUp, kScanLeftCtrl, 17));
    host.handle(key(E::KeyDown, kScanReturn, 13));
    EXPECT_EQ(in.characters().pop(), 3);  // Ctrl+C, and again on the repeat
    EXPECT_EQ(in.characters().pop(), 3);
    EXPECT_EQ(in.characters().pop(), 13);
    EXPECT_EQ(in.characters().pop(), -1);
    const auto& vk = in.keys().virtual_keys();
    const auto& dik = in.keys().direct_input();
    EXPECT_EQ(vk['A'], 0x81);  // down, toggled once
    EXPECT_EQ(vk['C'], 0x01);  // up; the repeat did not toggle it back
    EXPECT_EQ(vk[17] & 0x80, 0);
    EXPECT_EQ(dik[0x1E], 0x80);
    EXPECT_EQ(dik[0x1C], 0x80);

    settings().global_focus = 1;
    host.handle(event(E::FocusLost));
    EXPECT_EQ(vk['A'], 0x01);  // let go; the toggle stays
    EXPECT_EQ(vk[13], 0x01);
    EXPECT_EQ(dik[0x1E], 0);
    EXPECT_EQ(dik[0x1C], 0);
    host.handle(event(E::FocusGained));
    host.handle(key(E::KeyUp, kScanA, 'A'));
    host.handle(key(E::KeyUp, kScanReturn, 13));
}

TEST(EngineHost, HeldButtonsDraggedOutOfTheWindowReadAsUp) {
    LaunchOptions options;
    options.headless = true;
    EngineHost host(options);
    InputState& in = input_state();
    E down = event(E::MouseDown);
    down.button = kLeftButton;
    host.handle(down);
    E move = event(E::MouseMove);
    move.button = kLeftButton;
    move.x = 10;
    host.handle(move);
    EXPECT_TRUE(in.buttons() & kLeftButton);
    move.x = -5;
    move.outside = true;
    host.handle(move);
    EXPECT_FALSE(in.buttons() & kLeftButton);
    EXPECT_EQ(in.pointer_x(), -5);  // the pointer is followed outside too
    move.x = 20;
    move.outside = false;
    host.handle(move);  // back inside, still held: stays up until pressed again
    EXPECT_FALSE(in.buttons() & kLeftButton);
    E up = event(E::MouseUp);
    up.button = kLeftButton;
    host.handle(up);
}

TEST(EngineHost, PolledDevicesAnswerTheirWindowCommands) {
    LaunchOptions options;
    options.headless = true;
    EngineHost host(options);
    ScriptEngine& engine = host.engine();
    engine.initialise();
    ScriptMemory& memory = engine.memory();
    host.window_queue().open_on_this_thread();
    input_state().set_mode(0);
    host.handle(key(E::KeyDown, 44, ' '));
    ScriptAddr keys = memory.allocate(256);
    EXPECT_EQ(host.send_window_command(kGetKeyCommand, keys, 256), 1u);
    EXPECT_EQ(memory.host(keys, 256)[' '] & 0x80, 0x80);
    input_state().set_mode(1);
    EXPECT_EQ(host.send_window_command(kGetKeyCommand, keys, 256), 1u);
    EXPECT_EQ(memory.host(keys, 256)[0x39], 0x80);
    EXPECT_EQ(memory.host(keys, 256)[' '], 0);
    // Records that do not fit in script memory get nothing.
    EXPECT_EQ(host.send_window_command(kGetKeyCommand, memory.limit() - 100, 256), 0u);
    EXPECT_EQ(host.send_window_command(kGetMouseCommand, 0, 0), 0u);
    EXPECT_EQ(host.send_window_command(kGetJoyCommand, 0, keys), 0u);  // no joystick
    host.handle(key(E::KeyUp, 44, ' '));
    input_state().set_mode(0);
    engine.shutdown();
}

TEST(EngineHost, PluginQueryAnswersThroughTheWindowCommandQueue) {
    LaunchOptions options;
    options.headless = true;
    EngineHost host(options);
    ScriptEngine& engine = host.engine();
    engine.initialise();
    ScriptMemory& memory = engine.memory();
    CommandQueue& queue = host.window_queue();
    queue.open_on_this_thread();
    ScriptAddr out = memory.allocate(64);
    ASSERT_NE(out, 0u);
    for (uint32_t i = 0; i < 16; ++i) memory.write32(out + 4 * i, 0xEEEEEEEE);

    // A plug-in on another thread sends the query and waits for the window.
    std::atomic<bool> done{false};
    std::array<uint32_t, 5> results{};
    std::thread plugin([&] {
        results[0] = host.send_window_command(kPluginQueryCommand, out, 0);
        results[1] = host.send_window_command(kPluginQueryCommand, 0, 0);
        // Addresses that are not script memory, or run off its end, get nothing.
        results[2] = host.send_window_command(kPluginQueryCommand, ScriptMemory::kLowGuard - 4, 0);
        results[3] = host.send_window_command(kPluginQueryCommand, memory.limit() - 8, 0);
        results[4] = host.send_window_command(1225, out + 32, 0);  // not a command
        done = true;
    });
    while (!done) queue.wait_and_drain(1);
    plugin.join();
    EXPECT_EQ(results, (std::array<uint32_t, 5>{}));

    auto word = [&](ScriptAddr a) {
        uint32_t v = 0;
        EXPECT_TRUE(memory.read32(a, v));
        return v;
    };
    const Settings& s = settings();
    ASSERT_NE(engine.stop_word(), 0u);
    EXPECT_EQ(word(out), engine.stop_word());
    ScriptAddr block = word(out + 4);
    ASSERT_NE(block, 0u);
    EXPECT_EQ(block, host.window_state_block());
    EXPECT_EQ(word(out + 8), kInstanceToken);
    EXPECT_EQ(word(out + 12), 0u);  // no real window in this test
    EXPECT_EQ(word(out + 16), uint32_t(s.width));
    EXPECT_EQ(word(out + 20), uint32_t(s.height));
    EXPECT_EQ(word(out + 24), uint32_t(s.depth));
    EXPECT_EQ(word(out + 28), 0xEEEEEEEEu);  // seven words only
    EXPECT_EQ(word(out + 32), 0xEEEEEEEEu);

    // The block: active, application active, global focus, global sound,
    // screen width, height, depth, client width, height.
    WindowState& w = window_state();
    settings().global_focus = 1;
    host.handle(event(E::FocusGained));
    std::array<uint32_t, 9> expected = {uint32_t(w.active.load()),
                                        1u,
                                        1u,
                                        uint32_t(s.global_sound.load()),
                                        uint32_t(s.width),
                                        uint32_t(s.height),
                                        uint32_t(s.depth),
                                        uint32_t(w.client_width.load()),
                                        uint32_t(w.client_height.load())};
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(word(block + 4 * uint32_t(i)), expected[i]) << i;
    // It follows the window.
    host.handle(event(E::FocusLost));
    EXPECT_EQ(word(block + 4), 0u);
    host.handle(event(E::FocusGained));
    EXPECT_EQ(word(block + 4), 1u);

    // The stop word follows the stop flag.
    engine.stop_all_threads();
    EXPECT_EQ(word(engine.stop_word()), 0u);

    // Both go with engine shutdown.
    engine.shutdown();
    EXPECT_EQ(host.window_state_block(), 0u);
    EXPECT_EQ(engine.stop_word(), 0u);
    EXPECT_EQ(memory.block_size(block), 0u);
}

// The files of one drop are checked after one restart, each with its own
// listing (Shift held); a drop of two files is one drop, not two.
TEST(EngineHost, FilesDroppedTogetherAreOneDrop) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("tob_drop_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "one.c") << "int main() { return 1; }\n";
    std::ofstream(dir / "two.c") << "int main() { return 2; }\n";
    fs::path cwd = fs::current_path();
    fs::current_path(dir);  // listings go to the current directory
    int32_t old_debug = settings().debug_mode;
    settings().debug_mode = 1;
    {
        LaunchOptions options;
        options.headless = true;
        EngineHost host(options);
        int initialisations = 0;
        host.engine().add_init_hook([&] { ++initialisations; });
        E drop = event(E::DropFile);
        drop.shift = true;
        drop.files = {(dir / "one.c").string(), (dir / "two.c").string()};
        host.handle(drop);
        EXPECT_EQ(initialisations, 1);
        EXPECT_TRUE(fs::exists(dir / "one.txt"));
        EXPECT_TRUE(fs::exists(dir / "two.txt"));
    }
    settings().debug_mode = old_debug;
    fs::current_path(cwd);
    fs::remove_all(dir);
}
