#include "runtime/host_programs.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "base/current_folder.h"
#include "platform/cp932.h"
#include "platform/paths.h"

extern char** environ;

namespace tob {
namespace fs = std::filesystem;

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

bool is_executable_file(const fs::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(p.c_str(), X_OK) == 0;
}

bool ends_with_exe(std::string_view s) {
    if (s.size() < 4) return false;
    std::string tail(s.substr(s.size() - 4));
    for (char& c : tail)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return tail == ".exe";
}

std::optional<fs::path> find_one(std::string_view cp932_name) {
    bool has_separator = !path_separator_positions(cp932_name).empty();
    if (has_separator) {
        fs::path p = to_host_path(cp932_name, current_folder());
        if (is_executable_file(p)) return p;
        return std::nullopt;
    }
    fs::path here = to_host_path(cp932_name, current_folder());
    if (is_executable_file(here)) return here;
    const char* path_var = std::getenv("PATH");
    std::string name = cp932_to_utf8(cp932_name);
    std::string_view rest = path_var ? path_var : "";
    while (true) {
        size_t colon = rest.find(':');
        std::string_view dir = rest.substr(0, colon);
        if (!dir.empty()) {
            fs::path p = fs::path(std::string(dir)) / name;
            if (is_executable_file(p)) return p;
        }
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    return std::nullopt;
}

bool is_url(std::string_view s) {
    size_t colon = s.find(':');
    if (colon == std::string_view::npos || colon < 2) return false;  // "C:" is a drive
    for (size_t i = 0; i < colon; ++i) {
        char c = s[i];
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                  (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
        if (!ok) return false;
    }
    return true;
}

// Hands a document, folder or URL to the desktop's opener.
bool open_with_desktop(const std::string& target) {
    const char* opener = std::getenv("TOB_SHELL_OPENER");
    std::string name = opener && *opener ? opener : "xdg-open";
    auto program =
        name.find('/') != std::string::npos ? std::optional<fs::path>(name) : find_one(name);
    if (!program) return false;
    return spawn_program(*program, {name, target});
}

}  // namespace

std::vector<std::string> split_command_line(std::string_view line) {
    std::vector<std::string> args;
    size_t i = 0;
    while (i < line.size() && is_blank(line[i])) ++i;
    if (i == line.size()) return args;
    // The program name: no backslash rules.
    std::string program;
    if (line[i] == '"') {
        size_t close = line.find('"', i + 1);
        program = std::string(
            line.substr(i + 1, close == std::string_view::npos ? close : close - i - 1));
        i = close == std::string_view::npos ? line.size() : close + 1;
    }
    while (i < line.size() && !is_blank(line[i])) program += line[i++];
    args.push_back(std::move(program));
    for (;;) {
        while (i < line.size() && is_blank(line[i])) ++i;
        if (i >= line.size()) break;
        std::string arg;
        bool quoted = false;
        while (i < line.size() && (quoted || !is_blank(line[i]))) {
            if (line[i] == '\\') {
                size_t n = 0;
                while (i < line.size() && line[i] == '\\') ++n, ++i;
                if (i < line.size() && line[i] == '"') {
                    arg.append(n / 2, '\\');
                    if (n % 2) {
                        arg += '"';
                        ++i;
                    }
                } else {
                    arg.append(n, '\\');
                }
            } else if (line[i] == '"') {
                if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                // A double-byte character is copied whole (its trail byte may be 0x5C).
                size_t len = cp932_char_length(line, i);
                arg.append(line.substr(i, len));
                i += len;
            }
        }
        args.push_back(std::move(arg));
    }
    return args;
}

std::optional<fs::path> find_program(std::string_view cp932_name) {
    if (cp932_name.empty()) return std::nullopt;
    if (auto p = find_one(cp932_name)) return p;
    if (ends_with_exe(cp932_name)) return find_one(cp932_name.substr(0, cp932_name.size() - 4));
    return std::nullopt;
}

bool spawn_program(const fs::path& program, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    std::vector<std::string> copy = args;
    if (copy.empty()) copy.push_back(program.string());
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    // The child starts in the engine's current folder.
    std::string folder = current_folder().string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = 0;
    int failed = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) return false;
    // The child is reaped when it ends; nothing waits for it.
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

bool run_command_line(std::string_view cp932_line) {
    std::vector<std::string> args = split_command_line(cp932_line);
    if (args.empty()) return false;
    auto program = find_program(args[0]);
    if (!program) return false;
    for (std::string& a : args) a = cp932_to_utf8(a);
    return spawn_program(*program, args);
}

bool shell_open(std::string_view cp932_file, std::string_view cp932_parameters) {
    if (cp932_file.empty()) return false;
    if (is_url(cp932_file)) return open_with_desktop(cp932_to_utf8(cp932_file));
    fs::path p = to_host_path(cp932_file, current_folder());
    if (!is_executable_file(p)) return open_with_desktop(p.string());
    // The parameters have no program name: split them after a stand-in one.
    std::vector<std::string> args = split_command_line("x " + std::string(cp932_parameters));
    args[0] = p.string();
    for (size_t i = 1; i < args.size(); ++i) args[i] = cp932_to_utf8(args[i]);
    return spawn_program(p, args);
}

}  // namespace tob
