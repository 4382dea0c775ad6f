// The text hook library: attach (the library's initialiser) loads the
// code-page table and rewrites the program's slots of TextOutA,
// GetTextExtentPoint32A, CreateFontIndirectA and CreateFileA so that they
// reach the replacements here; detach frees what the library owns.
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>

#include "hook/code_table.h"
#include "hook/elf_slots.h"
#include "hook/font_cache.h"
#include "hook/morvane_hook.h"
#include "hook/redirect.h"
#include "platform/winapi.h"

namespace morvane::hook {
namespace {

// The platform library stands for both modules the hooked functions come from.
constexpr char kPlatformLibrary[] = "libtob_winapi.so";
constexpr char kLogFileName[] = "morvane_hook.log";
constexpr char kLogSwitch[] = "MORVANE_HOOK_LOG";
constexpr size_t kStackUnits = 256;

// The platform's functions, as found at attach. Plain pointers that outlive
// detach: late calls pass straight to them.
struct Saved {
    decltype(&TextOutA) text_out_a = nullptr;
    decltype(&GetTextExtentPoint32A) text_extent_a = nullptr;
    decltype(&CreateFontIndirectA) create_font = nullptr;
    decltype(&CreateFileA) create_file = nullptr;
    decltype(&TextOutW) text_out_w = nullptr;
    decltype(&GetTextExtentPoint32W) text_extent_w = nullptr;
    decltype(&GetCurrentObject) current_object = nullptr;
    decltype(&GetObjectA) object_of = nullptr;
    decltype(&SelectObject) select_object = nullptr;
    decltype(&DeleteObject) delete_object = nullptr;
    decltype(&GetFileAttributesA) file_attributes = nullptr;
};
Saved saved;

// What the library owns between attach and detach.
struct State {
    std::mutex lock;  // the font cache and the redirect cache
    std::unique_ptr<CodeTable> table;
    FontCache fonts;
    RedirectCache redirects;
};
State* state = nullptr;

// Detach waits for hooks using the state; a hook that starts after it uses
// nothing of the library.
std::atomic<bool> detached{false};
std::atomic<int> in_flight{0};

class StateUse {
  public:
    StateUse() {
        in_flight.fetch_add(1);
        active_ = !detached.load() && state != nullptr;
    }
    ~StateUse() { in_flight.fetch_sub(1); }
    StateUse(const StateUse&) = delete;
    StateUse& operator=(const StateUse&) = delete;
    bool active() const { return active_; }

  private:
    bool active_ = false;
};

// ---- the log

std::once_flag log_switch_once;
bool log_on = false;

bool logging() {
    std::call_once(log_switch_once, [] { log_on = logging_switch_on(std::getenv(kLogSwitch)); });
    return log_on;
}

__attribute__((format(printf, 1, 2))) void log_line(const char* fmt, ...) {
    if (!logging()) return;
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    int size = std::vsnprintf(nullptr, 0, fmt, args);
    va_end(args);
    std::string text(size_t(size > 0 ? size : 0), '\0');
    if (size > 0) std::vsnprintf(text.data(), text.size() + 1, fmt, again);
    va_end(again);
    if (text.empty()) return;
    const char* dir = std::getenv("TMPDIR");
    std::string path = dir && *dir ? dir : P_tmpdir;
    if (path.back() != '/') path += '/';
    path += kLogFileName;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t w = ::write(fd, p, left);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) break;
        p += w;
        left -= size_t(w);
    }
    ::close(fd);
}

// ---- the table

class FileTableSource final : public TableSource {
  public:
    explicit FileTableSource(int fd) : fd_(fd) {}
    std::optional<uint64_t> size() override {
        struct stat st;
        if (::fstat(fd_, &st) != 0) return std::nullopt;
        return uint64_t(st.st_size);
    }
    size_t read(uint64_t offset, void* buf, size_t n) override {
        size_t done = 0;
        while (done < n) {
            ssize_t r =
                ::pread(fd_, static_cast<char*>(buf) + done, n - done, off_t(offset + done));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) break;
            done += size_t(r);
        }
        return done;
    }

  private:
    int fd_;
};

std::unique_ptr<CodeTable> load_table_beside(const std::string& library_path) {
    size_t slash = library_path.rfind('/');
    std::string path =
        (slash == std::string::npos ? std::string() : library_path.substr(0, slash + 1)) +
        kTableFileName;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        log_line("%s", table_open_failed_message(path, (unsigned long)errno).c_str());
        return nullptr;
    }
    FileTableSource source(fd);
    TableLoad load = load_table(source, path);
    ::close(fd);
    log_line("%s", load.message.c_str());
    return std::move(load.table);
}

// ---- the replacements

// Engine text converted to UTF-16: on the stack, or on the heap when long.
class WideText {
  public:
    bool convert(const char* text, int length) {
        size_t capacity = size_t(length) + 1;
        char16_t* out = stack_;
        if (capacity > kStackUnits) {
            heap_.reset(new (std::nothrow) char16_t[capacity]);
            if (!heap_) return false;
            out = heap_.get();
        } else {
            capacity = kStackUnits;
        }
        ptrdiff_t n =
            convert_text(text, size_t(length), state->table.get(), out, capacity, used_private_);
        if (n < 0) return false;
        data_ = out;
        size_ = int(n);
        return true;
    }
    const char16_t* data() const { return data_; }
    int size() const { return size_; }
    bool used_private() const { return used_private_; }

  private:
    char16_t stack_[kStackUnits];
    std::unique_ptr<char16_t[]> heap_;
    const char16_t* data_ = nullptr;
    int size_ = 0;
    bool used_private_ = false;
};

// Selects the substitute font into a device context for one call when the
// text used the table and the table names a face; puts the previous font back.
class SubstituteFont {
  public:
    SubstituteFont(HDC dc, bool used_private) : dc_(dc) {
        const CodeTable* table = state->table.get();
        if (!used_private || !table || !table->face[0]) return;
        HGDIOBJ current = saved.current_object(dc, TOB_OBJ_FONT);
        LOGFONTA lf;
        if (!current || saved.object_of(current, int(sizeof lf), &lf) != int(sizeof lf)) return;
        LOGFONTA wanted = substitute_logfont(lf, table->face);
        // Selected under the lock, so another thread's eviction cannot take
        // it first; once selected the platform keeps it until it is deselected.
        std::lock_guard lock(state->lock);
        HFONT font = state->fonts.acquire(wanted, saved.create_font, saved.delete_object);
        if (font) previous_ = saved.select_object(dc, font);
    }
    ~SubstituteFont() {
        if (previous_) saved.select_object(dc_, previous_);
    }
    SubstituteFont(const SubstituteFont&) = delete;
    SubstituteFont& operator=(const SubstituteFont&) = delete;

  private:
    HDC dc_;
    HGDIOBJ previous_ = nullptr;
};

BOOL hooked_text_out_a(HDC dc, int x, int y, const char* text, int length) {
    StateUse use;
    if (!use.active() || !text || length <= 0) return saved.text_out_a(dc, x, y, text, length);
    WideText wide;
    if (!wide.convert(text, length)) return saved.text_out_a(dc, x, y, text, length);
    SubstituteFont font(dc, wide.used_private());
    return saved.text_out_w(dc, x, y, wide.data(), wide.size());
}

BOOL hooked_text_extent_a(HDC dc, const char* text, int length, SIZE* size) {
    StateUse use;
    if (!use.active() || !text || length <= 0) return saved.text_extent_a(dc, text, length, size);
    WideText wide;
    if (!wide.convert(text, length)) return saved.text_extent_a(dc, text, length, size);
    SubstituteFont font(dc, wide.used_private());
    return saved.text_extent_w(dc, wide.data(), wide.size(), size);
}

HFONT hooked_create_font(const LOGFONTA* lf) {
    StateUse use;
    if (use.active() && lf && logging()) {
        size_t n = strnlen(lf->lfFaceName, sizeof lf->lfFaceName);
        auto face = cp932_to_utf8_for_log(lf->lfFaceName, n);
        std::string shown = face ? *face : std::string(lf->lfFaceName, n);
        log_line("[CreateFontIndirectA] charset=0x%02X height=%d face=%s\r\n", lf->lfCharSet,
                 int(lf->lfHeight), shown.c_str());
    }
    return saved.create_font(lf);
}

bool file_exists(const char* name) {
    return saved.file_attributes(name) != TOB_INVALID_FILE_ATTRIBUTES;
}

HANDLE hooked_create_file(const char* name, DWORD access, DWORD share, void* security,
                          DWORD disposition, DWORD flags, HANDLE template_file) {
    StateUse use;
    if (!use.active() || !name || !redirect_applies(access, disposition))
        return saved.create_file(name, access, share, security, disposition, flags, template_file);
    RedirectChoice choice;
    {
        std::lock_guard lock(state->lock);
        choice = state->redirects.choose(name, file_exists);
    }
    if (choice.length == 0)
        return saved.create_file(name, access, share, security, disposition, flags, template_file);
    // Host names are UTF-8 already, the log's own encoding.
    if (choice.found_now) log_line("[redirect] %s -> %s\r\n", name, choice.c_str());
    HANDLE h = saved.create_file(choice.c_str(), access, share, security, disposition, flags,
                                 template_file);
    if (h != TOB_INVALID_HANDLE_VALUE) return h;
    // The translated copy went away: forget it and open what was asked for.
    {
        std::lock_guard lock(state->lock);
        state->redirects.forget(name);
    }
    return saved.create_file(name, access, share, security, disposition, flags, template_file);
}

// ---- installing

struct MainProgram {
    uintptr_t bias = 0;
    const ElfW(Phdr) * phdrs = nullptr;
    size_t count = 0;
};

int take_first_object(struct dl_phdr_info* info, size_t, void* data) {
    auto* main = static_cast<MainProgram*>(data);
    main->bias = info->dlpi_addr;
    main->phdrs = info->dlpi_phdr;
    main->count = info->dlpi_phnum;
    return 1;  // the first entry is the program itself
}

// Points the program's slots of `name` (holding `real`) at `replacement`,
// leaving each page as protected as it was. 1 when at least one slot was
// rewritten and none failed.
int install(const MainProgram& main, const DynamicTables& tables, const char* name, void* real,
            void* replacement) {
    std::span<const ElfW(Phdr)> phdrs(main.phdrs, main.count);
    auto page_size = uintptr_t(::sysconf(_SC_PAGESIZE));
    auto slots = find_slots(tables, main.bias, name, reinterpret_cast<uintptr_t>(real));
    if (slots.empty()) return 0;
    for (uintptr_t* slot : slots) {
        int prot = page_protection(phdrs, main.bias, reinterpret_cast<uintptr_t>(slot), page_size);
        if (prot < 0) return 0;
        void* page = reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(slot) & ~(page_size - 1));
        if (::mprotect(page, page_size, prot | PROT_READ | PROT_WRITE) != 0) return 0;
        __atomic_store_n(slot, reinterpret_cast<uintptr_t>(replacement), __ATOMIC_RELEASE);
        ::mprotect(page, page_size, prot);
    }
    return 1;
}

template <typename F>
bool find(void* library, const char* name, F& out) {
    out = reinterpret_cast<F>(::dlsym(library, name));
    return out != nullptr;
}

void install_hooks() {
    void* library = ::dlopen(kPlatformLibrary, RTLD_NOW | RTLD_NOLOAD);
    if (!library) {
        log_line("[hook] gdi32/kernel32 未加载\r\n");
        return;
    }
    Saved s;
    bool all =
        find(library, "TextOutA", s.text_out_a) &
        find(library, "GetTextExtentPoint32A", s.text_extent_a) &
        find(library, "CreateFontIndirectA", s.create_font) &
        find(library, "CreateFileA", s.create_file) & find(library, "TextOutW", s.text_out_w) &
        find(library, "GetTextExtentPoint32W", s.text_extent_w) &
        find(library, "GetCurrentObject", s.current_object) &
        find(library, "GetObjectA", s.object_of) & find(library, "SelectObject", s.select_object) &
        find(library, "DeleteObject", s.delete_object) &
        find(library, "GetFileAttributesA", s.file_attributes);
    ::dlclose(library);  // the program's own reference keeps it loaded
    if (!all) {
        log_line("[hook] GetProcAddress 失败\r\n");
        return;
    }
    saved = s;

    MainProgram main;
    ::dl_iterate_phdr(take_first_object, &main);
    int results[4] = {};
    std::span<const ElfW(Phdr)> phdrs(main.phdrs, main.count);
    const ElfW(Dyn)* dynamic = nullptr;
    for (const ElfW(Phdr) & p : phdrs)
        if (p.p_type == PT_DYNAMIC)
            dynamic = reinterpret_cast<const ElfW(Dyn)*>(main.bias + p.p_vaddr);
    if (dynamic) {
        DynamicTables tables = read_dynamic(dynamic, main.bias, loaded_range(phdrs, main.bias));
        results[0] = install(main, tables, "TextOutA", reinterpret_cast<void*>(s.text_out_a),
                             reinterpret_cast<void*>(&hooked_text_out_a));
        results[1] =
            install(main, tables, "GetTextExtentPoint32A", reinterpret_cast<void*>(s.text_extent_a),
                    reinterpret_cast<void*>(&hooked_text_extent_a));
        results[2] =
            install(main, tables, "CreateFontIndirectA", reinterpret_cast<void*>(s.create_font),
                    reinterpret_cast<void*>(&hooked_create_font));
        results[3] = install(main, tables, "CreateFileA", reinterpret_cast<void*>(s.create_file),
                             reinterpret_cast<void*>(&hooked_create_file));
    }
    log_line(
        "[hook] TextOutA=%d GetTextExtentPoint32A=%d CreateFontIndirectA=%d CreateFileA=%d\r\n",
        results[0], results[1], results[2], results[3]);
}

// ---- attach and detach

__attribute__((constructor)) void attach() {
    Dl_info self{};
    std::string library_path;
    if (::dladdr(reinterpret_cast<void*>(&attach), &self) && self.dli_fname)
        library_path = self.dli_fname;
    state = new (std::nothrow) State;
    if (!state) return;
    log_line("\r\n===== DLL_PROCESS_ATTACH =====\r\n");
    state->table = load_table_beside(library_path);
    install_hooks();
}

// Frees only the library's own memory and calls nothing in the platform
// library (other threads may still be in it while the process ends). The
// substitute fonts stay with the platform.
__attribute__((destructor)) void detach() {
    detached.store(true);
    using namespace std::chrono;
    auto give_up = steady_clock::now() + milliseconds(200);
    while (in_flight.load() != 0 && steady_clock::now() < give_up)
        std::this_thread::sleep_for(milliseconds(1));
    if (in_flight.load() != 0) return;  // a hook still runs: leave it what it uses
    delete state;
    state = nullptr;
}

}  // namespace
}  // namespace morvane::hook

extern "C" __attribute__((visibility("default"))) void morvane_hook_init(void) {}
