// The in-memory and plain file-system source readers.
#include "compiler/source_reader.h"

#include <fstream>
#include <memory>
#include <sstream>

#include "compiler/char_class.h"
#include "platform/cp932.h"

namespace tob::compiler {

bool names_equal_ignoring_case(std::string_view a, std::string_view b) {
    return cp932_equal_ignoring_case(a, b);
}

namespace {

// A path with "\" turned into "/" (outside double-byte characters).
std::string host_separators(std::string_view path) {
    std::string out(path);
    for (size_t i = 0; i < out.size(); ++i) {
        if (is_lead_byte(uint8_t(out[i])) && i + 1 < out.size())
            ++i;
        else if (out[i] == '\\')
            out[i] = '/';
    }
    return out;
}

}  // namespace

SourceReader memory_source_reader(std::map<std::string, std::string> files) {
    auto shared = std::make_shared<std::map<std::string, std::string>>(std::move(files));
    return [shared](std::string_view path) {
        std::string want = host_separators(path);
        for (const auto& [name, bytes] : *shared)
            if (names_equal_ignoring_case(host_separators(name), want)) {
                // One byte of room for the newline the preprocessor appends,
                // so that the whole text is not copied a second time.
                SourceData data{SourceStatus::Ok, {}};
                data.bytes.reserve(bytes.size() + 1);
                data.bytes = bytes;
                return data;
            }
        return SourceData{};
    };
}

SourceReader file_source_reader() {
    return [](std::string_view path) {
        std::ifstream in(tob::cp932_to_utf8(host_separators(path)), std::ios::binary);
        if (!in) return SourceData{};
        std::ostringstream bytes;
        bytes << in.rdbuf();
        if (in.bad()) return SourceData{SourceStatus::ReadFailed, {}};
        return SourceData{SourceStatus::Ok, std::move(bytes).str()};
    };
}

}  // namespace tob::compiler
