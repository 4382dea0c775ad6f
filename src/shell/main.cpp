// The `engine` program: runs the sample game, a game folder, or one script.
#include <unistd.h>

#include <filesystem>

#include "hook/morvane_hook.h"
#include "shell/app.h"

// Referred to, never called: the loader maps the text hook library (and runs
// its attach) before main.
[[gnu::used]] static void (*const kept_hook_init)() = &morvane_hook_init;

int main(int argc, char** argv) {
    auto options = tob::parse_command_line(argc, argv);
    if (!options) return argc > 1 && std::string(argv[argc - 1]) == "--help" ? 0 : tob::kExitUsage;
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) exe = std::filesystem::absolute(argv[0], ec);
    return tob::run_engine(*options, exe);
}
