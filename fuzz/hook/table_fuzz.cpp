// The hook's table loading and text conversion on arbitrary input: a table
// file from raw bytes (or a well-formed one with fuzzed entries and a short
// read), then random texts converted with random output capacities. Nothing
// may be written past the capacity, the result never exceeds it, and a
// conversion that fits gives the same units whatever room it was given.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "hook/code_table.h"

using namespace morvane::hook;

namespace {

class BytesSource final : public TableSource {
  public:
    BytesSource(std::string bytes, size_t readable)
        : bytes_(std::move(bytes)), readable_(readable) {}
    std::optional<uint64_t> size() override { return bytes_.size(); }
    size_t read(uint64_t offset, void* buf, size_t n) override {
        size_t end = std::min(readable_, bytes_.size());
        if (offset >= end) return 0;
        n = std::min<size_t>(n, end - size_t(offset));
        std::memcpy(buf, bytes_.data() + offset, n);
        return n;
    }

  private:
    std::string bytes_;
    size_t readable_;
};

std::string well_formed_file(FuzzedDataProvider& in) {
    std::string file(kTableFileBytes, '\0');
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + size_t(i)] = char(v >> (8 * i));
    };
    put32(0, kTableMagic);
    put32(4, kTableVersion);
    put32(8, in.ConsumeIntegral<uint32_t>());
    std::string face = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(0, 70));
    std::memcpy(file.data() + kTableFaceOffset, face.data(),
                std::min(face.size(), kTableFaceBytes));
    for (int k = in.ConsumeIntegralInRange(0, 64); k > 0; --k) {
        auto code = in.ConsumeIntegral<uint16_t>();
        put32(kTableHeaderBytes + 4 * size_t(code), in.ConsumeIntegral<uint32_t>());
    }
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::string file;
    size_t readable = SIZE_MAX;
    if (in.ConsumeBool()) {
        file = well_formed_file(in);
        if (in.ConsumeBool()) readable = in.ConsumeIntegralInRange<size_t>(0, file.size());
    } else {
        file = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(0, 512));
    }
    BytesSource source(std::move(file), readable);
    TableLoad load = load_table(source, "fuzz.tbl");
    if (load.message.empty()) __builtin_trap();
    if (load.table) {
        if (std::strlen(load.table->face) >= kTableFaceBytes) __builtin_trap();
        for (size_t i = 0; i < kTableEntries; ++i) {
            uint32_t c = load.table->entries[i];
            if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) __builtin_trap();
        }
    }
    const CodeTable* table = in.ConsumeBool() ? load.table.get() : nullptr;

    while (in.remaining_bytes() > 0) {
        size_t capacity = in.ConsumeIntegralInRange<size_t>(0, 80);
        std::string text = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(0, 64));
        // Exactly `capacity` units, so that ASan sees any write past them.
        std::unique_ptr<char16_t[]> out(new char16_t[capacity ? capacity : 1]);
        bool used = false;
        ptrdiff_t n = convert_text(text.data(), text.size(), table, out.get(), capacity, used);
        if (n < -1 || n > ptrdiff_t(capacity)) __builtin_trap();
        // With room for every byte the same text converts the same way.
        std::vector<char16_t> roomy(text.size() + 1);
        bool roomy_used = false;
        ptrdiff_t m =
            convert_text(text.data(), text.size(), table, roomy.data(), roomy.size(), roomy_used);
        if (m > ptrdiff_t(text.size())) __builtin_trap();
        if (n >= 0 &&
            (m != n || roomy_used != used || !std::equal(out.get(), out.get() + n, roomy.begin())))
            __builtin_trap();
        if (m >= 0 && size_t(m) <= capacity && n != m) __builtin_trap();
        (void)cp932_to_utf8_for_log(text.data(), text.size());
    }
    return 0;
}
