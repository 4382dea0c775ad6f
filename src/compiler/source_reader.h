// How the compiler gets at source files: an injected reader that returns a
// whole file. The engine wires it to the archive-aware file layer; tests and
// tools use the in-memory or the plain file-system reader below.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace tob::compiler {

enum class SourceStatus : uint8_t { Ok, OpenFailed, ReadFailed };

struct SourceData {
    SourceStatus status = SourceStatus::OpenFailed;
    std::string bytes;  // the whole file when status is Ok
};

// Reads the file named by a CP932 path as the script wrote it ("\" separators).
using SourceReader = std::function<SourceData(std::string_view cp932_path)>;

// Files held in memory, keyed by CP932 path. Lookups ignore ASCII case and
// treat "/" and "\" alike, as the engine's file layer does.
SourceReader memory_source_reader(std::map<std::string, std::string> files);

// Plain files of the host: "\" becomes "/" and the CP932 name is opened by
// its UTF-8 spelling, without any case folding.
SourceReader file_source_reader();

// Case-insensitive equality of CP932 names: ASCII letters fold, double-byte
// characters compare exactly.
bool names_equal_ignoring_case(std::string_view a, std::string_view b);

}  // namespace tob::compiler
