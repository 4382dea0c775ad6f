#include "runtime/plugins.h"

#include <dirent.h>
#include <dlfcn.h>
#include <ffi.h>

#include <array>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "base/current_folder.h"
#include "platform/paths.h"
#include "runtime/tob_plugin.h"
#include "vm/script_memory.h"

namespace tob {
namespace fs = std::filesystem;

namespace {

bool ends_with_ignoring_case(std::string_view s, std::string_view tail) {
    if (s.size() < tail.size()) return false;
    for (size_t i = 0; i < tail.size(); ++i) {
        char a = s[s.size() - tail.size() + i];
        if (a >= 'A' && a <= 'Z') a = char(a - 'A' + 'a');
        if (a != tail[i]) return false;
    }
    return true;
}

// The entry of `folder` named `name` ignoring case.
std::optional<fs::path> find_in_folder(const fs::path& folder, const std::string& name) {
    std::error_code ec;
    if (fs::is_regular_file(folder / name, ec)) return folder / name;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        if (host_names_equal_ignoring_case(e.path().filename().string(), name) &&
            e.is_regular_file(ec))
            return e.path();
    }
    return std::nullopt;
}

struct Export {
    uint32_t load = 0;  // the load it belongs to
    void* address = nullptr;
};

struct State {
    std::mutex mutex;
    std::array<void*, kPluginSlots> handles{};
    std::array<uint32_t, kPluginSlots> loads{};  // the load number of each slot, 0 when free
    uint32_t next_load = 1;
    std::vector<Export> exports;                                  // token - 1
    std::map<std::pair<uint32_t, std::string>, uint32_t> tokens;  // (load, name) -> token
    ScriptMemory* memory = nullptr;
    std::function<uint32_t(uint32_t, uint32_t, uint32_t)> send;
    std::array<std::unique_ptr<ffi_cif>, kMaxPluginArguments + 1> cifs;
    std::array<ffi_type*, kMaxPluginArguments> arg_types{};
};

State& state() {
    static State s;
    return s;
}

void* host_pointer(uint32_t address, uint32_t length) {
    ScriptMemory* m = state().memory;
    return m ? m->host(address, length) : nullptr;
}

uint32_t host_send_message(uint32_t message, uint32_t wparam, uint32_t lparam) {
    std::function<uint32_t(uint32_t, uint32_t, uint32_t)> send;
    {
        std::lock_guard lock(state().mutex);
        send = state().send;
    }
    return send ? send(message, wparam, lparam) : 0;
}

const TobPluginHost kHost = {sizeof(TobPluginHost), TOB_PLUGIN_VERSION, host_pointer,
                             host_send_message};

void close_slot(State& s, int slot) {
    if (s.handles[size_t(slot)]) ::dlclose(s.handles[size_t(slot)]);
    uint32_t load = s.loads[size_t(slot)];
    s.handles[size_t(slot)] = nullptr;
    s.loads[size_t(slot)] = 0;
    for (auto it = s.tokens.begin(); it != s.tokens.end();) {
        if (it->first.first == load) {
            s.exports[it->second - 1] = Export{};
            it = s.tokens.erase(it);
        } else {
            ++it;
        }
    }
}

// Calls of up to kDirectArguments words go through a function pointer of
// exactly that type: the call libffi would make for n uint32_t arguments
// (each word in an integer register or stack slot, a uint32_t result),
// without its generic argument marshalling. More words go through libffi.
constexpr size_t kDirectArguments = 8;

template <size_t>
using Word = uint32_t;

template <size_t... I>
uint32_t direct_call(void* address, const uint32_t* args, std::index_sequence<I...>) {
    using Function = uint32_t (*)(Word<I>...);
    return reinterpret_cast<Function>(address)(args[I]...);
}

template <size_t N>
uint32_t direct_call_of(void* address, const uint32_t* args) {
    return direct_call(address, args, std::make_index_sequence<N>{});
}

using DirectCall = uint32_t (*)(void*, const uint32_t*);
template <size_t... N>
constexpr std::array<DirectCall, sizeof...(N)> direct_calls(std::index_sequence<N...>) {
    return {&direct_call_of<N>...};
}
constexpr auto kDirectCalls = direct_calls(std::make_index_sequence<kDirectArguments + 1>{});

ffi_cif* cif_for(State& s, size_t n) {
    if (!s.cifs[n]) {
        for (auto& t : s.arg_types) t = &ffi_type_uint32;
        auto cif = std::make_unique<ffi_cif>();
        if (ffi_prep_cif(cif.get(), FFI_DEFAULT_ABI, unsigned(n), &ffi_type_uint32,
                         n ? s.arg_types.data() : nullptr) != FFI_OK)
            return nullptr;
        s.cifs[n] = std::move(cif);
    }
    return s.cifs[n].get();
}

}  // namespace

std::optional<fs::path> plugin_library_path(std::string_view cp932_name) {
    if (cp932_name.empty()) return std::nullopt;
    fs::path resolved = to_host_path(cp932_name, current_folder());
    std::error_code ec;
    if (ends_with_ignoring_case(cp932_name, ".so")) {
        if (fs::is_regular_file(resolved, ec)) return fs::absolute(resolved, ec);
        return std::nullopt;
    }
    std::string file = resolved.filename().string();
    std::string stem;
    if (ends_with_ignoring_case(file, ".dll"))
        stem = file.substr(0, file.size() - 4);
    else if (file.find('.') == std::string::npos)
        stem = file;
    else
        return std::nullopt;
    if (stem.empty()) return std::nullopt;
    fs::path folder = resolved.parent_path();
    for (const std::string& candidate : {stem + ".so", "lib" + stem + ".so"})
        if (auto p = find_in_folder(folder, candidate)) return fs::absolute(*p, ec);
    return std::nullopt;
}

int32_t load_plugin(std::string_view cp932_name) {
    State& s = state();
    int slot = -1;
    {
        std::lock_guard lock(s.mutex);
        for (int i = 0; i < kPluginSlots && slot < 0; ++i)
            if (!s.handles[size_t(i)]) slot = i;
    }
    if (slot < 0) return -1;
    auto path = plugin_library_path(cp932_name);
    if (!path) {
        std::fprintf(stderr, "dll_load: no library for '%.*s'\n", int(cp932_name.size()),
                     cp932_name.data());
        return -1;
    }
    void* handle = ::dlopen(path->c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        std::fprintf(stderr, "dll_load: %s\n", why ? why : path->c_str());
        return -1;
    }
    {
        std::lock_guard lock(s.mutex);
        s.handles[size_t(slot)] = handle;
        s.loads[size_t(slot)] = s.next_load++;
    }
    // The attach call runs outside the lock: the plug-in may send messages.
    if (auto attach = reinterpret_cast<TobPluginAttach>(::dlsym(handle, "tob_plugin_attach")))
        attach(&kHost);
    return slot;
}

bool unload_plugin(int32_t slot) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    // Checked as unsigned: a negative number is no slot either.
    if (uint32_t(slot) >= uint32_t(kPluginSlots) || !s.handles[size_t(slot)]) return false;
    close_slot(s, slot);
    return true;
}

uint32_t plugin_export(int32_t slot, std::string_view name) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (uint32_t(slot) >= uint32_t(kPluginSlots) || !s.handles[size_t(slot)]) return 0;
    uint32_t load = s.loads[size_t(slot)];
    std::string key(name);
    auto found = s.tokens.find({load, key});
    if (found != s.tokens.end()) return found->second;
    void* address = ::dlsym(s.handles[size_t(slot)], key.c_str());
    if (!address) return 0;
    s.exports.push_back(Export{load, address});
    uint32_t token = uint32_t(s.exports.size());
    s.tokens[{load, key}] = token;
    return token;
}

uint32_t call_plugin(uint32_t token, std::span<const uint32_t> args) {
    State& s = state();
    if (args.size() > size_t(kMaxPluginArguments)) return 0;
    void* address = nullptr;
    ffi_cif* cif = nullptr;
    {
        std::lock_guard lock(s.mutex);
        if (token == 0 || token > s.exports.size()) return 0;
        const Export& e = s.exports[token - 1];
        if (!e.address) return 0;  // its library was unloaded
        address = e.address;
        if (args.size() > kDirectArguments) cif = cif_for(s, args.size());
    }
    if (args.size() <= kDirectArguments) return kDirectCalls[args.size()](address, args.data());
    if (!cif) return 0;
    // libffi reads each argument through a pointer; the words stay put in `args`.
    std::array<void*, kMaxPluginArguments> pointers;
    for (size_t i = 0; i < args.size(); ++i) pointers[i] = const_cast<uint32_t*>(&args[i]);
    ffi_arg result = 0;
    ffi_call(cif, FFI_FN(address), &result, pointers.data());
    return uint32_t(result);
}

void init_plugins(ScriptMemory* memory) {
    shutdown_plugins();
    std::lock_guard lock(state().mutex);
    state().memory = memory;
}

void shutdown_plugins() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    for (int i = 0; i < kPluginSlots; ++i)
        if (s.handles[size_t(i)]) close_slot(s, i);
    s.memory = nullptr;
}

void set_plugin_messenger(std::function<uint32_t(uint32_t, uint32_t, uint32_t)> send) {
    std::lock_guard lock(state().mutex);
    state().send = std::move(send);
}

}  // namespace tob
