// The formatter over 32-bit argument words. Numbers are rendered by the C
// library's snprintf with a rebuilt, known-good conversion; strings, characters
// and the word bookkeeping are ours, so a hostile format can neither read past
// the pushed words nor produce unbounded output.
#include "runtime/format.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include "runtime/mbstring.h"
#include "vm/trap.h"

namespace tob {
namespace {

// Widths and precisions beyond the output limit plus this margin cannot change
// the visible (cut) output: no single number renders longer than the margin.
constexpr size_t kPadMargin = 2048;
// Largest width or precision the parser accumulates before saturating.
constexpr int kParseCap = 1 << 30;
constexpr std::string_view kNullText = "(null)";

enum class Length { None, Char, Short, Long64 };

struct Spec {
    bool left = false, plus = false, space = false, alt = false, zero = false;
    int width = -1;      // -1: none
    int precision = -1;  // -1: none
    Length length = Length::None;
    char conversion = 0;
};

class WordReader {
  public:
    explicit WordReader(std::span<const uint32_t> words) : words_(words) {}
    uint32_t next() { return pos_ < words_.size() ? words_[pos_++] : (pos_++, 0u); }
    uint64_t next64() {
        uint64_t lo = next();
        uint64_t hi = next();
        return lo | hi << 32;
    }

  private:
    std::span<const uint32_t> words_;
    size_t pos_ = 0;
};

class Formatter {
  public:
    Formatter(const ScriptMemory& memory, size_t limit)
        : memory_(memory),
          limit_(limit),
          clamp_(int(std::min<size_t>(limit + kPadMargin, kParseCap))) {}

    std::string run(std::string_view format, WordReader& words);

  private:
    // Output beyond limit_ + 1 bytes is never kept: one byte past the limit is
    // enough to know that the text must be cut.
    bool full() const { return out_.size() > limit_; }
    size_t room() const { return full() ? 0 : limit_ + 1 - out_.size(); }
    void append(std::string_view text) { out_.append(text.substr(0, room())); }
    void pad(size_t n, char c) { out_.append(std::min(n, room()), c); }
    void padded(std::string_view body, const Spec& s);
    void string_argument(ScriptAddr addr, const Spec& s);
    template <typename T>
    void number(const Spec& s, T value);
    // Parses the conversion that starts after a '%' at format[pos]; false when
    // the format ends first.
    bool parse(std::string_view format, size_t& pos, Spec& s, WordReader& words);

    const ScriptMemory& memory_;
    size_t limit_;
    int clamp_;
    std::string out_;
};

int parse_digits(std::string_view f, size_t& pos) {
    int64_t v = 0;
    while (pos < f.size() && f[pos] >= '0' && f[pos] <= '9') {
        v = std::min<int64_t>(kParseCap, v * 10 + (f[pos] - '0'));
        ++pos;
    }
    return int(v);
}

bool Formatter::parse(std::string_view f, size_t& pos, Spec& s, WordReader& words) {
    for (; pos < f.size(); ++pos) {
        char c = f[pos];
        if (c == '-')
            s.left = true;
        else if (c == '+')
            s.plus = true;
        else if (c == ' ')
            s.space = true;
        else if (c == '#')
            s.alt = true;
        else if (c == '0')
            s.zero = true;
        else
            break;
    }
    if (pos < f.size() && f[pos] == '*') {
        ++pos;
        int64_t w = int32_t(words.next());
        if (w < 0) {
            s.left = true;
            w = -w;
        }
        s.width = int(std::min<int64_t>(w, kParseCap));
    } else if (pos < f.size() && f[pos] >= '1' && f[pos] <= '9') {
        s.width = parse_digits(f, pos);
    }
    if (pos < f.size() && f[pos] == '.') {
        ++pos;
        if (pos < f.size() && f[pos] == '*') {
            ++pos;
            int32_t p = int32_t(words.next());
            s.precision = p < 0 ? -1 : p;
        } else {
            s.precision = parse_digits(f, pos);
        }
    }
    // Length modifiers: 32-bit `long` and pointer-sized forms change nothing.
    while (pos < f.size()) {
        std::string_view rest = f.substr(pos);
        if (rest.starts_with("I64")) {
            s.length = Length::Long64, pos += 3;
        } else if (rest.starts_with("I32")) {
            pos += 3;
        } else if (rest.starts_with("hh")) {
            s.length = Length::Char, pos += 2;
        } else if (rest.starts_with("ll")) {
            s.length = Length::Long64, pos += 2;
        } else if (rest[0] == 'h') {
            s.length = Length::Short, ++pos;
        } else if (rest[0] == 'j' || rest[0] == 'q' || rest[0] == 'L') {
            s.length = Length::Long64, ++pos;
        } else if (rest[0] == 'l' || rest[0] == 'I' || rest[0] == 'z' || rest[0] == 't') {
            ++pos;
        } else {
            break;
        }
    }
    if (pos >= f.size()) return false;
    s.conversion = f[pos++];
    if (s.width > clamp_) s.width = clamp_;
    if (s.precision > clamp_) s.precision = clamp_;
    return true;
}

void Formatter::padded(std::string_view body, const Spec& s) {
    size_t fill = s.width > 0 && size_t(s.width) > body.size() ? size_t(s.width) - body.size() : 0;
    if (!s.left) pad(fill, ' ');
    append(body);
    if (s.left) pad(fill, ' ');
}

void Formatter::string_argument(ScriptAddr addr, const Spec& s) {
    // Never scan further than the output can hold or the precision allows.
    size_t window = s.precision >= 0 ? size_t(s.precision) : limit_ + 1;
    std::string_view text;
    bool readable = false;
    if (memory_.valid(addr)) {
        size_t avail = size_t(memory_.limit()) - addr;
        const char* p = reinterpret_cast<const char*>(memory_.host(addr));
        size_t scan = std::min(avail, window);
        const void* nul = std::memchr(p, 0, scan);
        size_t len = nul ? size_t(static_cast<const char*>(nul) - p) : scan;
        // A string that runs off the end of script memory is not a string.
        readable = nul || scan == window;
        text = std::string_view(p, len);
    }
    if (!readable) {
        text = kNullText;
        if (s.precision >= 0) text = text.substr(0, size_t(s.precision));
    }
    padded(text, s);
}

template <typename T>
void Formatter::number(const Spec& s, T value) {
    char host_format[32];
    size_t n = 0;
    host_format[n++] = '%';
    if (s.left) host_format[n++] = '-';
    if (s.plus) host_format[n++] = '+';
    if (s.space) host_format[n++] = ' ';
    if (s.alt) host_format[n++] = '#';
    if (s.zero) host_format[n++] = '0';
    host_format[n++] = '*';
    host_format[n++] = '.';
    host_format[n++] = '*';
    if constexpr (std::is_same_v<T, long long> || std::is_same_v<T, unsigned long long>)
        host_format[n++] = 'l', host_format[n++] = 'l';
    host_format[n++] = s.conversion;
    host_format[n] = 0;
    int width = std::max(s.width, 0);
    int precision = s.precision;
    char small[128];
    int len = std::snprintf(small, sizeof small, host_format, width, precision, value);
    if (len < 0) return;
    if (size_t(len) < sizeof small) {
        append(std::string_view(small, size_t(len)));
        return;
    }
    std::string big(size_t(len) + 1, '\0');
    std::snprintf(big.data(), big.size(), host_format, width, precision, value);
    big.resize(size_t(len));
    append(big);
}

std::string Formatter::run(std::string_view f, WordReader& words) {
    size_t pos = 0;
    while (pos < f.size() && !full()) {
        const char* pct =
            static_cast<const char*>(std::memchr(f.data() + pos, '%', f.size() - pos));
        size_t stop = pct ? size_t(pct - f.data()) : f.size();
        append(f.substr(pos, stop - pos));
        if (!pct) break;
        size_t start = stop;
        pos = stop + 1;
        Spec s;
        if (!parse(f, pos, s, words)) {
            append(f.substr(start));
            break;
        }
        switch (s.conversion) {
            case '%':
                append("%");
                break;
            case 'd':
            case 'i': {
                if (s.length == Length::Long64) {
                    number(s, static_cast<long long>(words.next64()));
                    break;
                }
                int32_t v = int32_t(words.next());
                if (s.length == Length::Char) v = int8_t(v);
                if (s.length == Length::Short) v = int16_t(v);
                number(s, v);
                break;
            }
            case 'u':
            case 'o':
            case 'x':
            case 'X': {
                if (s.length == Length::Long64) {
                    number(s, static_cast<unsigned long long>(words.next64()));
                    break;
                }
                uint32_t v = words.next();
                if (s.length == Length::Char) v = uint8_t(v);
                if (s.length == Length::Short) v = uint16_t(v);
                number(s, v);
                break;
            }
            case 'f':
            case 'F':
            case 'e':
            case 'E':
            case 'g':
            case 'G':
            case 'a':
            case 'A':
                number(s, std::bit_cast<double>(words.next64()));
                break;
            case 'c': {
                char c = char(words.next());
                Spec plain = s;
                plain.precision = -1;
                padded(std::string_view(&c, 1), plain);
                break;
            }
            case 's':
                string_argument(words.next(), s);
                break;
            case 'p': {
                Spec hex = s;
                hex.conversion = 'X';
                hex.precision = 8;
                hex.alt = hex.plus = hex.space = hex.zero = false;
                number(hex, words.next());
                break;
            }
            case 'n':
                words.next();
                break;
            default:
                append(f.substr(start, pos - start));
                break;
        }
    }
    if (out_.size() > limit_) out_.resize(cp932_prefix_length(out_, limit_));
    return std::move(out_);
}

}  // namespace

std::string format_words(std::string_view format, std::span<const uint32_t> words,
                         const ScriptMemory& memory, size_t limit) {
    WordReader reader(words);
    return Formatter(memory, limit).run(format, reader);
}

std::vector<uint32_t> variadic_words(const TrapCall& call, int first) {
    int64_t pushed = call.pushed_words();
    int64_t count = std::min<int64_t>(pushed, call.words_on_stack()) - first;
    std::vector<uint32_t> words;
    if (count <= 0) return words;
    words.reserve(size_t(count));
    for (int64_t i = 0; i < count; ++i) words.push_back(call.word(first + int(i)));
    return words;
}

std::optional<std::string> format_call(TrapCall& call, int format_arg, size_t limit) {
    const ScriptMemory& memory = call.memory();
    auto format = memory.c_string(call.word(format_arg));
    if (!format) return std::nullopt;
    std::vector<uint32_t> words = variadic_words(call, format_arg + 1);
    return format_words(*format, words, memory, limit);
}

}  // namespace tob
