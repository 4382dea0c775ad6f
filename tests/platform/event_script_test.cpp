// The events file: every verb read into its event, and wrong lines rejected
// with the line and the reason.
#include "platform/event_script.h"

#include <gtest/gtest.h>

using namespace tob::platform;
using K = ScriptedEvent::Kind;

TEST(EventScript, ReadsEveryVerb) {
    EventScript s = parse_event_script(
        "# a comment, then a blank line\n"
        "\n"
        "0 key-down Left Shift\r\n"
        "  5\tkey-up   return  \n"
        "5 key-repeat Keypad Enter\n"
        "10 text héllo ア\n"
        "20 mouse-move -3 +7\n"
        "20 mouse-down right 1 2\n"
        "20 double-click x2 1 2\n"
        "21 mouse-up middle 1 2\n"
        "30 wheel -2\n"
        "40 focus-lost\n"
        "40 focus-gained\n"
        "50 joy-attach controller\n"
        "50 joy-attach joystick 2 4 1\n"
        "60 joy-axis 0 5 -32768\n"
        "60 joy-button 1 3 1\n"
        "60 joy-hat 1 0 12\n"
        "70 joy-detach 0\n");
    ASSERT_EQ(s.error, "");
    ASSERT_EQ(s.events.size(), 17u);
    const auto& e = s.events;
    EXPECT_EQ(e[0].kind, K::KeyDown);
    EXPECT_EQ(e[0].scancode, 225);  // Left Shift
    EXPECT_EQ(e[1].kind, K::KeyUp);
    EXPECT_EQ(e[1].time_ms, 5u);
    EXPECT_EQ(e[1].scancode, 40);  // names ignore case
    EXPECT_EQ(e[2].kind, K::KeyRepeat);
    EXPECT_EQ(e[2].scancode, 88);
    EXPECT_EQ(e[3].text, "héllo ア");
    EXPECT_EQ(e[4].x, -3);
    EXPECT_EQ(e[4].y, 7);
    EXPECT_EQ(e[5].button, 3);
    EXPECT_EQ(e[6].kind, K::DoubleClick);
    EXPECT_EQ(e[6].button, 5);
    EXPECT_EQ(e[7].button, 2);
    EXPECT_EQ(e[8].y, -2);
    EXPECT_EQ(e[9].kind, K::FocusLost);
    EXPECT_EQ(e[10].kind, K::FocusGained);
    EXPECT_TRUE(e[11].controller);
    EXPECT_EQ(e[11].axes, 6);
    EXPECT_EQ(e[11].buttons, 15);
    EXPECT_EQ(e[12].joystick, 1);
    EXPECT_EQ(e[12].hats, 1);
    EXPECT_EQ(e[13].index, 5);
    EXPECT_EQ(e[13].value, -32768);
    EXPECT_EQ(e[14].value, 1);
    EXPECT_EQ(e[15].value, 12);
    EXPECT_EQ(e[16].kind, K::JoyDetach);
    EXPECT_TRUE(parse_event_script("").events.empty());
}

TEST(EventScript, RejectsWrongLines) {
    struct Row {
        const char* text;
        const char* error;
    };
    const Row rows[] = {
        {"x key-down A", "line 1: the time 'x' is not a number of milliseconds"},
        {"-1 focus-lost", "line 1: the time '-1' is not a number of milliseconds"},
        {"99999999999 focus-lost",
         "line 1: the time '99999999999' is not a number of milliseconds"},
        {"10 focus-lost\n5 focus-gained", "line 2: the times must not go backwards"},
        {"1 jump", "line 1: unknown event 'jump'"},
        {"1", "line 1: unknown event ''"},
        {"1 key-down Nokey", "line 1: key-down: unknown key 'Nokey'"},
        {"1 key-up", "line 1: key-up: unknown key ''"},
        {"1 text", "line 1: text: no text"},
        {"1 text \xFF\xFE", "line 1: text: the text is not UTF-8"},
        {"1 text \xE3\x82", "line 1: text: the text is not UTF-8"},
        {"1 mouse-move 1", "line 1: mouse-move: needs the pointer's x and y"},
        {"1 mouse-move 1 2 3", "line 1: mouse-move: too many arguments"},
        {"1 mouse-move 1 99999999", "line 1: mouse-move: needs the pointer's x and y"},
        {"1 mouse-down thumb 1 1", "line 1: mouse-down: unknown button 'thumb'"},
        {"1 wheel", "line 1: wheel: needs a number of notches"},
        {"1 wheel 1e3", "line 1: wheel: needs a number of notches"},
        {"1 focus-lost now", "line 1: focus-lost: too many arguments"},
        {"1 joy-attach", "line 1: joy-attach: 'controller' or 'joystick AXES BUTTONS HATS'"},
        {"1 joy-attach joystick 2 99 0",
         "line 1: joy-attach: a joystick needs its numbers of axes (0..32), buttons (0..64) and "
         "hats (0..8)"},
        {"1 joy-axis 0 0 0",
         "line 1: joy-axis: no such joystick (count the joy-attach lines from 0)"},
        {"1 joy-attach controller\n2 joy-axis 0 6 0",
         "line 2: joy-axis: the joystick has no such axis"},
        {"1 joy-attach controller\n2 joy-axis 0 0 40000",
         "line 2: joy-axis: an axis value is -32768..32767"},
        {"1 joy-attach controller\n2 joy-button 0 1 2",
         "line 2: joy-button: a button is 0 (up) or 1 (down)"},
        {"1 joy-attach controller\n2 joy-hat 0 0 1",
         "line 2: joy-hat: the joystick has no such hat"},
        {"1 joy-attach joystick 0 0 1\n2 joy-hat 0 0 5",
         "line 2: joy-hat: a hat is 0 (centred) or 1 up, 2 right, 4 down, 8 left, or two "
         "neighbours "
         "added"},
        {"1 joy-attach controller\n2 joy-detach 0\n3 joy-button 0 0 1",
         "line 3: joy-button: joystick 0 was detached"},
    };
    for (const Row& r : rows) {
        EventScript s = parse_event_script(r.text);
        EXPECT_EQ(s.error, r.error) << r.text;
        EXPECT_TRUE(s.events.empty()) << r.text;
    }
}
