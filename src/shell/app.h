// The engine program: what to run (the sample game, a game folder, or one
// script), start-up from the configuration, the window thread's loop, and
// shutdown with the exit status.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/event_script.h"

namespace tob {

// Exit statuses of headless runs besides the main program's own result.
inline constexpr int kExitRuntimeError = 70;
inline constexpr int kExitCompileError = 65;
inline constexpr int kExitTimeout = 124;
inline constexpr int kExitUsage = 64;
// Start-up could not make what every game needs (the screen page).
inline constexpr int kExitStartFailed = 71;

struct LaunchOptions {
    std::filesystem::path target;  // empty: the sample game
    bool headless = false;
    std::optional<double> timeout_seconds;
    std::filesystem::path screenshot;  // written at the end when set
    std::filesystem::path audio_out;   // everything the mixer plays, as a WAVE file
    // The scripts' random seed; unset, start-up seeds with the tick count.
    std::optional<uint32_t> seed;
    // Recorded input fed to the window (`--events FILE`), read and checked
    // before anything runs.
    std::vector<platform::ScriptedEvent> events;
};

// Parses the command line; nullopt (after printing why) when it is wrong.
std::optional<LaunchOptions> parse_command_line(int argc, char** argv);

// Where a launch runs: the module directory, the configuration file (empty
// for a single script), the executable base name and the main script.
struct GameLocation {
    std::filesystem::path module_dir;
    std::filesystem::path config;
    std::string base_name;
    std::string main_script;  // CP932, relative to the module directory
};
std::optional<GameLocation> locate_game(const LaunchOptions& options,
                                        const std::filesystem::path& executable);

// Runs the engine; returns the process exit status.
int run_engine(const LaunchOptions& options, const std::filesystem::path& executable);

}  // namespace tob
