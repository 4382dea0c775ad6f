// The window thread's handling of window events, fed by a made-up event source.
#include <gtest/gtest.h>

#include "shell/engine_clock.h"
#include "shell/engine_host.h"
#include "shell/settings.h"
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
