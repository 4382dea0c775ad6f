// The window thread's handling of window events, fed by a made-up event source.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>

#include "shell/engine_clock.h"
#include "shell/engine_host.h"
#include "shell/plugin_query.h"
#include "base/settings.h"
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

TEST(EngineHost, TypedTextMouseAndWheel) {
    LaunchOptions options;
    options.headless = true;
    EngineHost host(options);
    WindowState& w = window_state();
    w.characters.clear();
    E text = event(E::Text);
    text.text = "aア";  // the katakana arrives as its two CP932 bytes
    host.handle(text);
    EXPECT_EQ(w.characters.pop(), 'a');
    EXPECT_EQ(w.characters.pop(), 0x83);
    EXPECT_EQ(w.characters.pop(), 0x41);
    EXPECT_EQ(w.characters.pop(), -1);

    uint32_t presses = w.clicks[1].load();
    E down = event(E::MouseDown);
    down.button = kRightButton;
    host.handle(down);
    EXPECT_EQ(w.clicks[1].load(), presses + 1);
    EXPECT_TRUE(w.buttons.load() & kRightButton);
    E up = event(E::MouseUp);
    up.button = kRightButton;
    host.handle(up);
    EXPECT_FALSE(w.buttons.load() & kRightButton);

    int32_t wheel = w.wheel.load();
    E roll = event(E::Wheel);
    roll.wheel = -240;
    host.handle(roll);
    EXPECT_EQ(w.wheel.load(), wheel - 240);
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
