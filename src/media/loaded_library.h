// A library opened with dlopen on first use and kept for the life of the
// process, with the table of its functions the engine calls.
#pragma once

#include <mutex>
#include <string>

namespace tob::media {

// dlopen with RTLD_NOW | RTLD_LOCAL; nullptr with `why` set when it fails.
// Never closed: the libraries we load keep threads and tables for the process.
void* open_library(const char* soname, std::string& why);

// The address of `name` in `library` (nullptr with `why` set when missing).
void* open_symbol(void* library, const char* name, std::string& why);

// The same, as the function pointer `out`; false when missing.
template <typename T>
bool find_function(void* library, const char* name, T& out, std::string& why) {
    out = reinterpret_cast<T>(open_symbol(library, name, why));
    return out != nullptr;
}

// The functions of one library, loaded once by `fill` (true when every one
// was found). A failure stays: later calls answer with the same reason.
template <typename Functions>
class LoadedLibrary {
  public:
    using Fill = bool (*)(Functions&, std::string& why);
    explicit constexpr LoadedLibrary(Fill fill) : fill_(fill) {}

    bool load(std::string& why) {
        std::call_once(once_, [this] { ok_ = fill_(functions_, why_); });
        if (!ok_) why = why_;
        return ok_;
    }
    // Valid only after `load` returned true.
    const Functions& functions() const { return functions_; }

  private:
    Fill fill_;
    std::once_flag once_;
    Functions functions_;
    bool ok_ = false;
    std::string why_;
};

}  // namespace tob::media
