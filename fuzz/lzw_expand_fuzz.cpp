// Fuzz target: the LZW expander. The input follows a "tob" header, its first four
// bytes being the declared size; whatever expands must compress and expand back.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "storage/lzw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> file(tob::kCompressedMagic.begin(), tob::kCompressedMagic.end());
    file.insert(file.end(), data, data + size);
    auto expanded = tob::lzw_expand(file);
    if (expanded.error != tob::LzwError::kNone) {
        if (!expanded.data.empty()) std::abort();
        return 0;
    }
    if (expanded.data.size() <= (1u << 20)) {
        auto again = tob::lzw_expand(tob::lzw_compress(expanded.data));
        if (again.error != tob::LzwError::kNone || again.data != expanded.data) std::abort();
    }
    return 0;
}
