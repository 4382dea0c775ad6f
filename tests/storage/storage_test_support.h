// Helpers for the storage tests: a temporary game folder and captured reports.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/error_report.h"

namespace tob::test {

struct TempDir {
    std::filesystem::path path;
    TempDir() {
        char tmpl[] = "/tmp/tob_storage_XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    void write(const std::filesystem::path& rel, const std::vector<uint8_t>& bytes) const {
        std::filesystem::create_directories((path / rel).parent_path());
        std::ofstream(path / rel, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    void write(const std::filesystem::path& rel, const std::string& text) const {
        write(rel, std::vector<uint8_t>(text.begin(), text.end()));
    }
};

inline std::vector<uint8_t> read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<uint8_t> bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

// Collects every error report while it lives.
struct CapturedReports {
    std::vector<std::string> texts;
    ErrorSink previous;
    CapturedReports() {
        previous = set_error_sink({[this](const std::string& t) { texts.push_back(t); }, true});
    }
    ~CapturedReports() { set_error_sink(previous); }
    std::string take() {
        std::string all;
        for (auto& t : texts) all += t + "\n";
        texts.clear();
        return all;
    }
};

}  // namespace tob::test
