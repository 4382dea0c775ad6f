// Script streams over the C library's binary streams, with the text-mode line
// ending translation done here.
#include "runtime/script_stream.h"

#include <string>

namespace tob {

std::unique_ptr<ScriptStream> ScriptStream::open(const std::filesystem::path& path,
                                                 std::string_view mode) {
    if (mode.empty() || (mode[0] != 'r' && mode[0] != 'w' && mode[0] != 'a')) return nullptr;
    bool plus = false, binary = false, exclusive = false;
    for (char c : mode.substr(1)) {
        if (c == ',') break;  // an encoding request: not for byte streams
        if (c == '+') plus = true;
        if (c == 'b') binary = true;
        if (c == 'x' && mode[0] == 'w') exclusive = true;
        // "t" and the platform's access hints change nothing here.
    }
    std::string host_mode(1, mode[0]);
    if (plus) host_mode += '+';
    host_mode += 'b';
    if (exclusive) host_mode += 'x';
    std::FILE* f = std::fopen(path.c_str(), host_mode.c_str());
    if (!f) return nullptr;
    return std::unique_ptr<ScriptStream>(new ScriptStream(f, !binary));
}

ScriptStream::~ScriptStream() {
    close();
}

bool ScriptStream::close() {
    if (!file_) return false;
    bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok;
}

int ScriptStream::get() {
    int c = std::getc(file_);
    if (text_ && c == '\r') {
        int next = std::getc(file_);
        if (next == '\n') return '\n';
        if (next != EOF) std::ungetc(next, file_);
    }
    return c;
}

size_t ScriptStream::read(uint8_t* buf, size_t size, size_t count) {
    if (size == 0 || count == 0) return 0;
    if (!text_) return std::fread(buf, size, count, file_);
    size_t total = size * count, n = 0;
    for (int c; n < total && (c = get()) != EOF;) buf[n++] = uint8_t(c);
    return n / size;
}

size_t ScriptStream::write(const uint8_t* buf, size_t size, size_t count) {
    if (size == 0 || count == 0) return 0;
    if (!text_) return std::fwrite(buf, size, count, file_);
    size_t total = size * count, n = 0;
    for (; n < total; ++n) {
        if (buf[n] == '\n' && std::putc('\r', file_) == EOF) break;
        if (std::putc(buf[n], file_) == EOF) break;
    }
    return n / size;
}

bool ScriptStream::seek(int64_t offset, int origin) {
    static constexpr int kOrigins[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (origin < 0 || origin > 2) return false;
    return fseeko(file_, off_t(offset), kOrigins[origin]) == 0;
}

int64_t ScriptStream::tell() {
    off_t pos = ftello(file_);
    return pos < 0 ? -1 : int64_t(pos);
}

std::optional<size_t> ScriptStream::gets(char* buf, size_t n) {
    size_t len = 0;
    int c = 0;
    while (len + 1 < n && (c = get()) != EOF) {
        buf[len++] = char(c);
        if (c == '\n') break;
    }
    buf[len] = 0;
    if (std::ferror(file_) || (len == 0 && n > 1)) return std::nullopt;
    return len;
}

bool ScriptStream::puts(std::string_view text) {
    auto bytes = reinterpret_cast<const uint8_t*>(text.data());
    return text.empty() || write(bytes, 1, text.size()) == text.size();
}

}  // namespace tob
