#include "shell/app.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "base/current_folder.h"
#include "base/error_report.h"
#include "base/settings.h"
#include "platform/cp932.h"
#include "shell/config.h"
#include "shell/engine_host.h"

namespace tob {
namespace {

constexpr const char* kUsage =
    "usage: engine [GAME_DIR | SCRIPT.c] [--headless] [--timeout SECONDS] [--screenshot "
    "FILE.bmp] [--audio-out FILE.wav] [--seed N] [--events FILE]\n";

bool ends_with_c(const std::filesystem::path& p) {
    std::string ext = p.extension().string();
    return ext == ".c" || ext == ".C";
}

// The sample game: beside the program, one folder up (the build folder), or
// in the source tree the program was built from.
std::filesystem::path find_demo(const std::filesystem::path& executable) {
    std::filesystem::path dir = executable.parent_path();
    for (const auto& candidate : {dir / "games" / "demo", dir.parent_path() / "games" / "demo",
                                  std::filesystem::path(TOB_SOURCE_DIR) / "games" / "demo"}) {
        std::error_code ec;
        if (std::filesystem::is_directory(candidate, ec)) return candidate;
    }
    return {};
}

// The game's configuration: the one ".cfg" file of the folder (the first by
// name when there are several).
std::filesystem::path find_config(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (ext == ".cfg" && entry.is_regular_file(ec)) found.push_back(entry.path());
    }
    std::sort(found.begin(), found.end());
    return found.empty() ? std::filesystem::path{} : found.front();
}

}  // namespace

std::optional<LaunchOptions> parse_command_line(int argc, char** argv) {
    LaunchOptions o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--headless") {
            o.headless = true;
        } else if (a == "--timeout" && i + 1 < argc) {
            char* end = nullptr;
            double s = std::strtod(argv[++i], &end);
            if (!end || *end || !(s > 0)) {
                std::fprintf(stderr, "engine: --timeout needs a positive number of seconds\n%s",
                             kUsage);
                return std::nullopt;
            }
            o.timeout_seconds = s;
        } else if (a == "--seed" && i + 1 < argc) {
            char* end = nullptr;
            unsigned long long n = std::strtoull(argv[++i], &end, 10);
            if (!end || *end || argv[i][0] == '-' || n > 0xFFFFFFFFull) {
                std::fprintf(stderr, "engine: --seed needs a number from 0 to 4294967295\n%s",
                             kUsage);
                return std::nullopt;
            }
            o.seed = uint32_t(n);
        } else if (a == "--screenshot" && i + 1 < argc) {
            o.screenshot = argv[++i];
        } else if (a == "--events" && i + 1 < argc) {
            std::string file = argv[++i];
            std::ifstream in(file, std::ios::binary);
            if (!in.is_open()) {
                std::fprintf(stderr, "engine: cannot read the events file '%s'\n", file.c_str());
                return std::nullopt;
            }
            std::string text((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
            platform::EventScript script = platform::parse_event_script(text);
            if (!script.error.empty()) {
                std::fprintf(stderr, "engine: %s: %s\n", file.c_str(), script.error.c_str());
                return std::nullopt;
            }
            o.events = std::move(script.events);
        } else if (a == "--audio-out" && i + 1 < argc) {
            o.audio_out = argv[++i];
        } else if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return std::nullopt;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "engine: unknown option '%s'\n%s", a.c_str(), kUsage);
            return std::nullopt;
        } else if (o.target.empty()) {
            o.target = a;
        } else {
            std::fprintf(stderr, "engine: only one game folder or script may be given\n%s", kUsage);
            return std::nullopt;
        }
    }
    return o;
}

std::optional<GameLocation> locate_game(const LaunchOptions& options,
                                        const std::filesystem::path& executable) {
    GameLocation g;
    std::error_code ec;
    std::filesystem::path target = options.target.empty() ? find_demo(executable) : options.target;
    if (target.empty()) {
        std::fprintf(stderr, "engine: the sample game folder (games/demo) was not found\n");
        return std::nullopt;
    }
    if (std::filesystem::is_regular_file(target, ec) && ends_with_c(target)) {
        g.module_dir = std::filesystem::absolute(target, ec).parent_path();
        g.base_name = target.stem().string();
        g.main_script = utf8_to_cp932(target.filename().string());
        return g;
    }
    if (!std::filesystem::is_directory(target, ec)) {
        std::fprintf(stderr, "engine: '%s' is neither a game folder nor a .c script\n",
                     target.string().c_str());
        return std::nullopt;
    }
    g.module_dir = std::filesystem::absolute(target, ec);
    g.config = find_config(g.module_dir);
    g.base_name = g.config.empty() ? g.module_dir.filename().string() : g.config.stem().string();
    return g;
}

int run_engine(const LaunchOptions& options, const std::filesystem::path& executable) {
    auto game = locate_game(options, executable);
    if (!game) return kExitUsage;

    Settings& s = settings();
    if (options.headless) {
        // Nobody could click a box: every report goes to standard error.
        set_error_sink({[](const std::string& text) {
                            std::fprintf(stderr, "%s: %s\n", kErrorCaption, text.c_str());
                            std::fflush(stderr);
                        },
                        true});
    }
    read_configuration(
        game->config.empty() ? game->module_dir / (game->base_name + ".cfg") : game->config,
        game->base_name, s);
    if (!game->main_script.empty()) s.main_script = game->main_script;
    s.module_dir = game->module_dir;
    set_current_folder(game->module_dir);
    if (s.width <= 0 || s.height <= 0) {
        std::fprintf(stderr, "engine: Width and Height must be positive (%d x %d)\n", s.width,
                     s.height);
        return kExitUsage;
    }
    if (chdir(s.module_dir.c_str()) != 0) {
        std::fprintf(stderr, "engine: cannot enter '%s'\n", s.module_dir.c_str());
        return kExitUsage;
    }

    EngineHost host(options);
    return host.run();
}

}  // namespace tob
