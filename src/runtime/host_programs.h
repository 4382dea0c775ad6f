// Starting host programs for scripts: command lines split by the rules of
// the platform the games were written for, programs found ignoring case in
// the current folder and then on PATH, children reaped in the background.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tob {

// Splits a command line: blanks separate arguments; double quotes group;
// 2n backslashes before a quote give n and the quote counts, 2n+1 give n and
// a literal quote; other backslashes are literal; "" inside quotes is a
// literal quote. The program name (the first argument) is taken up to the
// next blank, or between quotes, with no backslash rules.
std::vector<std::string> split_command_line(std::string_view line);

// The executable a script names (CP932): a path with a separator resolves
// like any script path; a bare name is looked up in the current folder, then
// on PATH. A missing "x.exe" is tried as "x". Nullopt when nothing
// executable is found.
std::optional<std::filesystem::path> find_program(std::string_view cp932_name);

// Starts `program` with `args` (args[0] is the name it sees); the child is
// reaped when it ends. False when it could not be started.
bool spawn_program(const std::filesystem::path& program, const std::vector<std::string>& args);

// `exec`: splits the CP932 command line, finds and starts the program.
bool run_command_line(std::string_view cp932_line);

// `shell`: an executable file starts as with run_command_line (with the
// parameters); anything else (document, folder, URL) goes to the desktop's
// opener, `TOB_SHELL_OPENER` when set, else xdg-open. False only when nothing
// could be started.
bool shell_open(std::string_view cp932_file, std::string_view cp932_parameters);

}  // namespace tob
