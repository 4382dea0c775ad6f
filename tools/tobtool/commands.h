// The storage subcommands of tobtool. Each takes its arguments with argv[0] the
// command name and returns the process exit status: 0 done, 1 failed, 2 bad usage.
#pragma once

namespace tobtool {

int pack(int argc, char** argv);
int unpack(int argc, char** argv);
int list(int argc, char** argv);
int compress(int argc, char** argv);
int expand(int argc, char** argv);

// Exit statuses.
inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsage = 64;  // as the engine: the conventional "usage" status

}  // namespace tobtool
