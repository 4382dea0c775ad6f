// A script's buffered stream on a plain file (fopen ... fputs). Mode strings are
// those scripts were written for: "r", "w" or "a", then "+", "b" or "t" in any
// order. Without "b" a stream is in text mode: "\r\n" reads as "\n" and "\n" is
// written as "\r\n", as the scripts' platform did.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

namespace tob {

class ScriptStream {
  public:
    // Nullptr for a mode string that does not start with "r", "w" or "a", or
    // when the file cannot be opened.
    static std::unique_ptr<ScriptStream> open(const std::filesystem::path& path,
                                              std::string_view mode);
    ~ScriptStream();
    ScriptStream(const ScriptStream&) = delete;
    ScriptStream& operator=(const ScriptStream&) = delete;

    // Closes the file; false when buffered data could not be written.
    bool close();
    // Whole items of `size` bytes read into / written from `buf`.
    size_t read(uint8_t* buf, size_t size, size_t count);
    size_t write(const uint8_t* buf, size_t size, size_t count);
    // Origins 0 (start), 1 (current), 2 (end); false for any other or a failure.
    bool seek(int64_t offset, int origin);
    // The file position, or -1.
    int64_t tell();
    // Reads a line of at most n - 1 bytes, newline kept, into buf and ends it
    // with a zero byte; nullopt at the end of the file (nothing read) or on an
    // error. n must be at least 1.
    std::optional<size_t> gets(char* buf, size_t n);
    // Writes the text; false on an error.
    bool puts(std::string_view text);

  private:
    ScriptStream(std::FILE* file, bool text) : file_(file), text_(text) {}
    // The next byte in the stream's mode, or EOF.
    int get();

    std::FILE* file_;
    bool text_;
};

}  // namespace tob
