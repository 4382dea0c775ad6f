// The LZW codec of compressed files. The compressor's output is what stored files
// contain, so its dictionary rules (widen and reset points, hash probing) are
// fixed. The expander keeps each dictionary string as a reference to where it
// already stands in the output, so expanding a code is one copy.
#include "storage/lzw.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "platform/byte_order.h"

namespace tob {
namespace {

constexpr uint32_t kEndCode = 256;
constexpr uint32_t kWidenCode = 257;
constexpr uint32_t kResetCode = 258;
constexpr uint32_t kFirstFreeCode = 259;
constexpr uint32_t kLiteralCodes = 256;
constexpr int kInitialWidth = 9;
constexpr uint32_t kInitialLimit = 511;
constexpr int kMaxWidth = 15;
constexpr uint32_t kLargestCode = 32767;
constexpr int32_t kHashSize = 35023;  // a prime above the 32768 codes
constexpr uint32_t kEmptySlot = 0xFFFFFFFF;
constexpr size_t kIoBufferSize = 16384;
constexpr size_t kMinOutputReserve = 64 * 1024;

// Packs values most significant bit first into bytes, handing full blocks on.
class BitWriter {
  public:
    explicit BitWriter(const ByteSink& sink) : sink_(sink) { buffer_.reserve(kIoBufferSize); }

    bool put(uint32_t value, int width) {
        uint64_t mask = (uint64_t(1) << width) - 1;
        acc_ = acc_ << width | (value & mask);
        bits_ += width;
        while (bits_ >= 8) {
            bits_ -= 8;
            buffer_.push_back(uint8_t(acc_ >> bits_));
            if (buffer_.size() == kIoBufferSize && !flush()) return false;
        }
        return ok_;
    }

    // Pads the last byte with zero bits and hands on everything left.
    bool finish() {
        if (bits_ > 0) buffer_.push_back(uint8_t(acc_ << (8 - bits_)));
        bits_ = 0;
        return flush();
    }

  private:
    bool flush() {
        if (ok_ && !buffer_.empty()) ok_ = sink_(buffer_);
        buffer_.clear();
        return ok_;
    }

    const ByteSink& sink_;
    std::vector<uint8_t> buffer_;
    uint64_t acc_ = 0;
    int bits_ = 0;
    bool ok_ = true;
};

// Reads values most significant bit first.
class BitReader {
  public:
    explicit BitReader(std::span<const uint8_t> data) : data_(data) {}

    bool get(int width, uint32_t& value) {
        while (bits_ < width) {
            if (pos_ == data_.size()) return false;
            acc_ = acc_ << 8 | data_[pos_++];
            bits_ += 8;
        }
        bits_ -= width;
        value = uint32_t(acc_ >> bits_) & ((uint32_t(1) << width) - 1);
        return true;
    }

  private:
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
    uint64_t acc_ = 0;
    int bits_ = 0;
};

struct HashSlot {
    uint32_t code;
    uint32_t prefix;
    uint8_t byte;
};

bool compress_codes(std::span<const uint8_t> data, BitWriter& out) {
    std::vector<HashSlot> table;
    try {
        table.resize(kHashSize);
    } catch (const std::bad_alloc&) {
        return false;
    }
    uint32_t next, limit;
    int width;
    auto reset = [&] {
        for (auto& s : table) s.code = kEmptySlot;
        next = kFirstFreeCode;
        width = kInitialWidth;
        limit = kInitialLimit;
    };
    reset();
    uint32_t prefix = data[0];
    for (size_t i = 1; i < data.size(); ++i) {
        uint8_t c = data[i];
        int32_t h = int32_t(c << 7 ^ prefix);
        if (table[h].code != kEmptySlot) {
            int32_t step = h == 0 ? 1 : kHashSize - h;
            while (table[h].prefix != prefix || table[h].byte != c) {
                h -= step;
                if (h < 0) h += kHashSize;
                if (table[h].code == kEmptySlot) break;
            }
        }
        if (table[h].code != kEmptySlot) {
            prefix = table[h].code;
            continue;
        }
        table[h] = {next++, prefix, c};
        if (!out.put(prefix, width)) return false;
        if (next > kLargestCode) {
            if (!out.put(kResetCode, width)) return false;
            reset();
        } else if (next > limit) {
            if (!out.put(kWidenCode, width)) return false;
            ++width;
            limit = limit * 2 + 1;
        }
        prefix = c;
    }
    return out.put(prefix, width) && out.put(kEndCode, width);
}

}  // namespace

const char* describe(LzwError e) {
    switch (e) {
        case LzwError::kNone:
            return "no error";
        case LzwError::kNotCompressed:
            return "not a compressed file (no \"tob\" header)";
        case LzwError::kBadCode:
            return "invalid code in the compressed data";
        case LzwError::kTooWide:
            return "code width beyond 15 bits";
        case LzwError::kTableFull:
            return "dictionary overflow without a reset";
        case LzwError::kTooLong:
            return "the data expands beyond the size in the header";
        case LzwError::kTruncated:
            return "the compressed data ends early";
        case LzwError::kNoMemory:
            return "out of memory";
    }
    return "unknown error";
}

bool is_compressed(std::span<const uint8_t> file) {
    return file.size() >= kCompressedMagic.size() &&
           std::equal(kCompressedMagic.begin(), kCompressedMagic.end(), file.begin());
}

bool lzw_compress(std::span<const uint8_t> data, const ByteSink& sink) {
    if (data.size() > std::numeric_limits<uint32_t>::max()) return false;
    BitWriter out(sink);
    if (!out.put(load_be32(kCompressedMagic.data()), 32) || !out.put(uint32_t(data.size()), 32)) {
        return false;
    }
    if (!data.empty() && !compress_codes(data, out)) return false;
    return out.finish();
}

std::vector<uint8_t> lzw_compress(std::span<const uint8_t> data) {
    std::vector<uint8_t> out;
    lzw_compress(data, [&out](std::span<const uint8_t> block) {
        out.insert(out.end(), block.begin(), block.end());
        return true;
    });
    return out;
}

LzwResult lzw_expand(std::span<const uint8_t> file) {
    LzwResult result;
    auto fail = [&result](LzwError e) {
        result.data.clear();
        result.data.shrink_to_fit();
        result.error = e;
        return std::move(result);
    };
    if (!is_compressed(file)) return fail(LzwError::kNotCompressed);
    if (file.size() < kCompressedHeaderSize) return fail(LzwError::kTruncated);
    const uint64_t declared = load_be32(file.data() + kCompressedMagic.size());

    struct Span {
        uint32_t offset, length;  // where the code's string already stands in the output
    };
    std::vector<Span> table;
    std::vector<uint8_t>& out = result.data;
    try {
        table.resize(kLargestCode + 1);
        out.resize(
            size_t(std::min<uint64_t>(declared, std::max(kMinOutputReserve, file.size() * 4))));
    } catch (const std::bad_alloc&) {
        return fail(LzwError::kNoMemory);
    }

    BitReader in(file.subspan(kCompressedHeaderSize));
    uint64_t pos = 0;  // bytes produced so far
    uint32_t next = kFirstFreeCode;
    int width = kInitialWidth;
    bool have_previous = false;
    Span previous{};
    for (;;) {
        uint32_t code;
        if (!in.get(width, code) || code == kEndCode) break;
        if (code == kWidenCode && have_previous) {
            if (width == kMaxWidth) return fail(LzwError::kTooWide);
            ++width;
            continue;
        }
        if (code == kResetCode && have_previous) {
            next = kFirstFreeCode;
            width = kInitialWidth;
            have_previous = false;
            continue;
        }
        // After the start and every reset the first code must be a literal.
        if (!have_previous && code >= kLiteralCodes) return fail(LzwError::kBadCode);

        Span string;
        if (code < kLiteralCodes) {
            string = {0, 1};
        } else if (code < next) {
            string = table[code];
        } else if (code == next) {  // the string being defined: previous + its own first byte
            string = {previous.offset, previous.length + 1};
        } else {
            return fail(LzwError::kBadCode);
        }
        if (string.length > declared - pos) return fail(LzwError::kTooLong);
        if (pos + string.length > out.size()) {
            try {
                out.resize(size_t(
                    std::min(declared, std::max<uint64_t>(out.size() * 2, pos + string.length))));
            } catch (const std::bad_alloc&) {
                return fail(LzwError::kNoMemory);
            }
        }
        uint8_t* dst = out.data() + pos;
        if (code < kLiteralCodes) {
            *dst = uint8_t(code);
        } else if (string.offset + string.length <= pos) {
            std::memcpy(dst, out.data() + string.offset, string.length);
        } else {  // overlaps the bytes being written: copy forwards byte by byte
            const uint8_t* src = out.data() + string.offset;
            for (uint32_t i = 0; i < string.length; ++i) dst[i] = src[i];
        }
        if (have_previous) {
            if (next > kLargestCode) return fail(LzwError::kTableFull);
            table[next++] = {previous.offset, previous.length + 1};
        }
        previous = {uint32_t(pos), string.length};
        have_previous = true;
        pos += string.length;
    }
    if (pos != declared) return fail(LzwError::kTruncated);
    out.resize(size_t(pos));
    return result;
}

}  // namespace tob
