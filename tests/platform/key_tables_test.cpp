// The key tables headless runs use instead of SDL's: the same as the SDL
// this engine opens for windows, so scripted keys mean the same either way.
#include <SDL.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/keys.h"
#include "platform/sdl_library.h"

using namespace tob::platform;

TEST(KeyTables, MatchTheOpenedSdl) {
    std::string why;
    if (!load_sdl(&why)) GTEST_SKIP() << why;
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    for (int sc = 0; sc < SDL_NUM_SCANCODES; ++sc) {
        EXPECT_EQ(default_key_code(sc), SDL_GetKeyFromScancode(SDL_Scancode(sc))) << sc;
        std::string name = SDL_GetScancodeName(SDL_Scancode(sc));
        if (name.empty()) continue;
        EXPECT_EQ(scancode_from_name(name), int(SDL_GetScancodeFromName(name.c_str()))) << name;
    }
    SDL_Quit();
}

TEST(KeyTables, NamesInAnyCase) {
    struct Row {
        const char* name;
        int scancode;
    } rows[] = {
        {"Return", SDL_SCANCODE_RETURN},     {"return", SDL_SCANCODE_RETURN},
        {"LEFT SHIFT", SDL_SCANCODE_LSHIFT}, {"a", SDL_SCANCODE_A},
        {"\\", SDL_SCANCODE_BACKSLASH},      {"Keypad Enter", SDL_SCANCODE_KP_ENTER},
        {"", SDL_SCANCODE_UNKNOWN},          {"Left  Shift", SDL_SCANCODE_UNKNOWN},
        {"Nothing", SDL_SCANCODE_UNKNOWN},
    };
    for (const Row& r : rows) EXPECT_EQ(scancode_from_name(r.name), r.scancode) << r.name;
    EXPECT_EQ(default_key_code(SDL_SCANCODE_A), 'a');
    EXPECT_EQ(default_key_code(SDL_SCANCODE_RETURN), 13);
    EXPECT_EQ(default_key_code(-1), 0);
    EXPECT_EQ(default_key_code(SDL_NUM_SCANCODES), 0);
}
