#include "runtime/host_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>

#include "base/current_folder.h"
#include "platform/byte_order.h"
#include "platform/cp932.h"
#include "platform/paths.h"
#include "runtime/file_match.h"

namespace tob {
namespace fs = std::filesystem;

namespace {

constexpr int64_t kSecondsFrom1601To1970 = 11644473600LL;

// CP932 with "?" for characters that have none (for names in find records).
std::string lenient_cp932(std::string_view utf8) {
    return utf8_to_cp932(utf8);
}

// Names compare ignoring the case of ASCII letters; a double-byte
// character's bytes stay as they are (its second byte may look like a
// letter). The folded bytes come one at a time, so no folded copy is made.
class FoldedBytes {
  public:
    explicit FoldedBytes(std::string_view s) : s_(s) {}
    bool done() const { return i_ >= s_.size(); }
    uint8_t next() {
        uint8_t c = uint8_t(s_[i_]);
        if (trail_)
            trail_ = false;
        else if (c >= 0x80)
            trail_ = cp932_char_length(s_, i_) == 2;
        else if (c >= 'A' && c <= 'Z')
            c = uint8_t(c - 'A' + 'a');
        ++i_;
        return c;
    }

  private:
    std::string_view s_;
    size_t i_ = 0;
    bool trail_ = false;
};

// The first eight folded bytes as one number; names hold no zero bytes, so
// the padding puts a shorter name first.
uint64_t folded_prefix(std::string_view name) {
    FoldedBytes f(name);
    uint64_t prefix = 0;
    for (int i = 0; i < 8; ++i) prefix = prefix << 8 | (f.done() ? 0u : f.next());
    return prefix;
}

int compare_folded(std::string_view a, std::string_view b) {
    FoldedBytes x(a), y(b);
    while (!x.done() && !y.done()) {
        uint8_t p = x.next(), q = y.next();
        if (p != q) return p < q ? -1 : 1;
    }
    return x.done() ? (y.done() ? 0 : -1) : 1;
}

uint32_t attributes_of(const struct stat& st, std::string_view name) {
    uint32_t a = S_ISDIR(st.st_mode) ? kAttrDirectory : kAttrNormalFile;
    if (!(st.st_mode & S_IWUSR)) a |= kAttrReadOnly;
    if (name.size() > 1 && name[0] == '.' && name != "..") a |= kAttrHidden;
    return a;
}

struct timespec birth_or_written(int dirfd, const char* name, const struct stat& st) {
    struct statx sx {};
    if (::statx(dirfd, name, 0, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME))
        return {sx.stx_btime.tv_sec, long(sx.stx_btime.tv_nsec)};
    return st.st_mtim;
}

struct timespec timespec_of(const struct statx_timestamp& t) {
    return {t.tv_sec, long(t.tv_nsec)};
}

// One statx call gives everything a search record needs.
std::optional<FoundEntry> entry_at(int dirfd, const char* name, std::string&& cp932_name) {
    struct statx sx {};
    if (::statx(dirfd, name, 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return std::nullopt;
    struct stat st {};
    st.st_mode = sx.stx_mode;
    FoundEntry e;
    e.attributes = attributes_of(st, name);
    struct timespec written = timespec_of(sx.stx_mtime);
    struct timespec b = (sx.stx_mask & STATX_BTIME) ? timespec_of(sx.stx_btime) : written;
    e.created = file_time_of(b.tv_sec, b.tv_nsec);
    e.accessed = file_time_of(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
    e.written = file_time_of(written.tv_sec, written.tv_nsec);
    e.size = S_ISDIR(sx.stx_mode) ? 0 : uint64_t(sx.stx_size);
    e.name = std::move(cp932_name);
    return e;
}

bool days_valid(const SystemTime& t) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12 || t.day < 1) return false;
    int days = kDays[t.month - 1];
    bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
    if (t.month == 2 && leap) days = 29;
    return t.day <= days && t.hour < 24 && t.minute < 60 && t.second < 60 && t.milliseconds < 1000;
}

// A temporary file next to `to`; its descriptor and name, or -1.
int open_temporary(const fs::path& to, std::string& name) {
    name = (to.parent_path() / ("." + to.filename().string() + ".XXXXXX")).string();
    int fd = ::mkstemp(name.data());
    return fd;
}

bool copy_contents(int in, int out) {
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(out, buf + done, size_t(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return false;
            done += w;
        }
    }
}

std::optional<fs::path> xdg_user_dir(const char* key) {
    const char* home = std::getenv("HOME");
    if (!home || !*home) return std::nullopt;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    fs::path file =
        (config && *config ? fs::path(config) : fs::path(home) / ".config") / "user-dirs.dirs";
    std::ifstream in(file);
    std::string line;
    std::string prefix = std::string(key) + "=";
    while (std::getline(in, line)) {
        if (!line.starts_with(prefix)) continue;
        std::string v = line.substr(prefix.size());
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
        if (v.starts_with("$HOME")) v = std::string(home) + v.substr(5);
        if (v.empty() || v.front() != '/') return std::nullopt;
        return fs::path(v);
    }
    if (std::strcmp(key, "XDG_DESKTOP_DIR") == 0) return fs::path(home) / "Desktop";
    return std::nullopt;
}

fs::path xdg_home(const char* var, const char* fallback) {
    const char* v = std::getenv(var);
    if (v && *v == '/') return v;
    const char* home = std::getenv("HOME");
    return fs::path(home ? home : "") / fallback;
}

}  // namespace

std::optional<std::string> strict_cp932(std::string_view utf8) {
    std::string out;
    for (size_t pos = 0; pos < utf8.size();) {
        auto c = next_utf8_char(utf8, pos);
        if (!c) return std::nullopt;
        auto code = unicode_to_cp932(*c);
        if (!code) return std::nullopt;
        if (*code >= 0x100) out += char(*code >> 8);
        out += char(*code & 0xFF);
    }
    return out;
}

std::optional<std::string> script_folder_text(const fs::path& folder) {
    std::string out = "\\";
    for (const fs::path& part : folder.relative_path()) {
        std::string s = part.string();
        if (s.empty()) continue;
        auto c = strict_cp932(s);
        if (!c) return std::nullopt;
        out += *c;
        out += '\\';
    }
    return out;
}

fs::path resolve_script_path(std::string_view cp932_path) {
    return to_host_path(cp932_path, current_folder());
}

uint64_t file_time_of(int64_t sec, int64_t nsec) {
    int64_t s = sec + kSecondsFrom1601To1970;
    if (s < 0) return 0;
    return uint64_t(s) * 10000000u + uint64_t(nsec / 100);
}

void write_find_record(const FoundEntry& e, uint8_t* r) {
    using namespace find_record;
    std::memset(r, 0, kFindRecordSize);
    store_le32(r + kAttributes, e.attributes);
    auto put_time = [r](size_t at, uint64_t t) {
        store_le32(r + at, uint32_t(t));
        store_le32(r + at + 4, uint32_t(t >> 32));
    };
    put_time(kCreated, e.created);
    put_time(kAccessed, e.accessed);
    put_time(kWritten, e.written);
    store_le32(r + kSizeHigh, uint32_t(e.size >> 32));
    store_le32(r + kSizeLow, uint32_t(e.size));
    // The name, cut at a character boundary to leave room for its terminator.
    size_t n = 0;
    while (n < e.name.size()) {
        size_t len = cp932_char_length(e.name, n);
        if (n + len > kNameSize - 1) break;
        n += len;
    }
    std::memcpy(r + kName, e.name.data(), n);
}

std::vector<FoundEntry> search_entries(std::string_view pattern) {
    std::vector<FoundEntry> out;
    auto seps = path_separator_positions(pattern);
    size_t cut = seps.empty() ? 0 : seps.back() + 1;
    std::string_view folder_part = pattern.substr(0, cut);
    std::string_view name_pattern = pattern.substr(cut);
    if (name_pattern.empty()) return out;
    fs::path folder = folder_part.empty() ? current_folder() : resolve_script_path(folder_part);
    if (folder.empty()) folder = ".";
    int dirfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirfd < 0) return out;
    DIR* dir = ::fdopendir(dirfd);
    if (!dir) {
        ::close(dirfd);
        return out;
    }
    struct stat root {
    }, here{};
    bool is_root = ::stat("/", &root) == 0 && ::fstat(dirfd, &here) == 0 &&
                   root.st_dev == here.st_dev && root.st_ino == here.st_ino;
    bool every_name = name_pattern == "*" || name_pattern == "*.*";
    // "." and ".." take the first two places (dropped at the end when
    // missing); the other names follow in the order readdir gives them, each
    // with a small sort record: its folded prefix and its place.
    struct Sorted {
        uint64_t prefix;
        uint32_t at;
    };
    std::vector<Sorted> order;
    out.resize(2);
    bool have_dot[2] = {false, false};
    while (struct dirent* d = ::readdir(dir)) {
        std::string_view name = d->d_name;
        bool dot = name == ".", dotdot = name == "..";
        if ((dot || dotdot) && is_root) continue;
        std::string cp = lenient_cp932(name);
        if (!every_name && !wildcard_match(name_pattern, cp)) continue;
        auto e = entry_at(dirfd, d->d_name, std::move(cp));
        if (!e) continue;
        if (dot || dotdot) {
            out[dotdot] = std::move(*e);
            have_dot[dotdot] = true;
        } else {
            order.push_back({folded_prefix(e->name), uint32_t(out.size())});
            out.push_back(std::move(*e));
        }
    }
    ::closedir(dir);
    std::sort(order.begin(), order.end(), [&](const Sorted& a, const Sorted& b) {
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        const std::string &x = out[a.at].name, &y = out[b.at].name;
        int c = compare_folded(x, y);
        return c != 0 ? c < 0 : x < y;
    });
    // Entry 2 + k comes from order[k].at: moved in place, one cycle at a time.
    std::vector<bool> placed(order.size());
    for (size_t k = 0; k < order.size(); ++k) {
        if (placed[k]) continue;
        size_t to = k + 2;
        FoundEntry first = std::move(out[to]);
        for (;;) {
            placed[to - 2] = true;
            size_t from = order[to - 2].at;
            if (from == k + 2) {
                out[to] = std::move(first);
                break;
            }
            out[to] = std::move(out[from]);
            to = from;
        }
    }
    if (!have_dot[1]) out.erase(out.begin() + 1);
    if (!have_dot[0]) out.erase(out.begin());
    return out;
}

int32_t FindTable::open(std::string_view pattern, const FoundEntry*& first) {
    int slot = -1;
    for (int i = 0; i < kSlots && slot < 0; ++i)
        if (!slots_[size_t(i)].open) slot = i;
    if (slot < 0) return -1;
    std::vector<FoundEntry> entries = search_entries(pattern);
    if (entries.empty()) return -1;
    Search& s = slots_[size_t(slot)];
    s.open = true;
    s.entries = std::move(entries);
    s.next = 1;
    first = &s.entries[0];
    return slot + 1;
}

const FoundEntry* FindTable::next(int32_t handle) {
    if (handle < 1 || handle > kSlots) return nullptr;
    Search& s = slots_[size_t(handle - 1)];
    if (!s.open || s.next >= s.entries.size()) return nullptr;
    return &s.entries[s.next++];
}

bool FindTable::close(int32_t handle) {
    if (handle < 1 || handle > kSlots) return false;
    Search& s = slots_[size_t(handle - 1)];
    if (!s.open) return false;
    s = Search{};
    return true;
}

void FindTable::close_all() {
    for (Search& s : slots_) s = Search{};
}

FindTable& find_table() {
    static FindTable table;
    return table;
}

uint32_t file_attributes(const fs::path& p) {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) return kAttrMissing;
    return attributes_of(st, p.filename().string());
}

bool set_file_attributes(const fs::path& p, uint32_t attributes) {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) return false;
    mode_t mode = st.st_mode & 07777;
    if (attributes & kAttrReadOnly)
        mode &= ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH);
    else if (!(mode & S_IWUSR))
        mode |= S_IWUSR;
    return mode == (st.st_mode & 07777) || ::chmod(p.c_str(), mode) == 0;
}

void write_system_time(const SystemTime& t, uint8_t* r) {
    const uint16_t v[8] = {t.year, t.month,  t.day_of_week, t.day,
                           t.hour, t.minute, t.second,      t.milliseconds};
    for (int i = 0; i < 8; ++i) {
        r[2 * i] = uint8_t(v[i]);
        r[2 * i + 1] = uint8_t(v[i] >> 8);
    }
}

SystemTime read_system_time(const uint8_t* r) {
    SystemTime t{};
    uint16_t* v[8] = {&t.year, &t.month,  &t.day_of_week, &t.day,
                      &t.hour, &t.minute, &t.second,      &t.milliseconds};
    for (int i = 0; i < 8; ++i) *v[i] = load_le16(r + 2 * i);
    return t;
}

SystemTime local_system_time(int64_t sec, int64_t nsec) {
    time_t s = time_t(sec);
    struct tm tm {};
    ::tzset();
    if (!::localtime_r(&s, &tm)) return SystemTime{1601, 1, 1, 1, 0, 0, 0, 0};
    return SystemTime{uint16_t(tm.tm_year + 1900), uint16_t(tm.tm_mon + 1), uint16_t(tm.tm_wday),
                      uint16_t(tm.tm_mday),        uint16_t(tm.tm_hour),    uint16_t(tm.tm_min),
                      uint16_t(tm.tm_sec),         uint16_t(nsec / 1000000)};
}

std::optional<struct timespec> from_local_system_time(const SystemTime& t) {
    if (!days_valid(t)) return std::nullopt;
    struct tm tm {};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_isdst = -1;
    ::tzset();
    errno = 0;
    time_t s = ::mktime(&tm);
    if (s == time_t(-1) && errno != 0) return std::nullopt;
    return timespec{s, long(t.milliseconds) * 1000000L};
}

std::optional<FileTimes> file_times(const fs::path& p) {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) return std::nullopt;
    if (::access(p.c_str(), R_OK) != 0) return std::nullopt;
    return FileTimes{birth_or_written(AT_FDCWD, p.c_str(), st), st.st_atim, st.st_mtim};
}

bool set_file_times(const fs::path& p, const struct timespec* accessed,
                    const struct timespec* written) {
    struct timespec ts[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};
    if (accessed) ts[0] = *accessed;
    if (written) ts[1] = *written;
    if (::access(p.c_str(), W_OK) != 0) return false;
    return ::utimensat(AT_FDCWD, p.c_str(), ts, 0) == 0;
}

bool copy_host_file(const fs::path& from, const fs::path& to, bool fail_if_exists) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return false;
    }
    struct stat dst {};
    if (::stat(to.c_str(), &dst) == 0) {
        // An existing destination must be a writable file, and may not be the source.
        if (fail_if_exists || !S_ISREG(dst.st_mode) || !(dst.st_mode & S_IWUSR) ||
            (dst.st_dev == st.st_dev && dst.st_ino == st.st_ino)) {
            ::close(in);
            return false;
        }
    }
    std::string tmp;
    int out = open_temporary(to, tmp);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = copy_contents(in, out);
    ::close(in);
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    ok = ok && ::fchmod(out, st.st_mode & 07777) == 0 && ::futimens(out, times) == 0;
    ok = ::close(out) == 0 && ok;
    if (ok) {
        if (fail_if_exists)
            ok = ::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
        else
            ok = ::rename(tmp.c_str(), to.c_str()) == 0;
    }
    if (!ok) ::unlink(tmp.c_str());
    return ok;
}

bool move_host_file(const fs::path& from, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EXDEV) return false;
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (!copy_host_file(from, to, true)) return false;
    if (::unlink(from.c_str()) != 0) {
        ::unlink(to.c_str());
        return false;
    }
    return true;
}

bool delete_host_file(const fs::path& p) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    if (S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)) return false;
    return ::unlink(p.c_str()) == 0;
}

bool create_host_folder(const fs::path& p) {
    return ::mkdir(p.c_str(), 0777) == 0;
}

bool delete_host_folder(const fs::path& p) {
    return ::rmdir(p.c_str()) == 0;
}

bool change_current_folder(const fs::path& p) {
    std::error_code ec;
    fs::path absolute = fs::canonical(p, ec);
    if (ec || !fs::is_directory(absolute, ec)) return false;
    if (::chdir(absolute.c_str()) != 0) return false;
    set_current_folder(absolute);
    return true;
}

std::optional<fs::path> special_folder(int32_t id) {
    std::optional<fs::path> p;
    bool create = false;
    switch (id) {
        case 0:
        case 16:
            p = xdg_user_dir("XDG_DESKTOP_DIR");
            break;
        case 5:
            p = xdg_user_dir("XDG_DOCUMENTS_DIR");
            break;
        case 13:
            p = xdg_user_dir("XDG_MUSIC_DIR");
            break;
        case 14:
            p = xdg_user_dir("XDG_VIDEOS_DIR");
            break;
        case 39:
            p = xdg_user_dir("XDG_PICTURES_DIR");
            break;
        case 26:
            p = xdg_home("XDG_CONFIG_HOME", ".config");
            break;
        case 28:
        case 35:
            p = xdg_home("XDG_DATA_HOME", ".local/share");
            break;
        case 40:
            if (const char* home = std::getenv("HOME"); home && *home == '/') p = fs::path(home);
            break;
        case 20:
            p = fs::path("/usr/share/fonts");
            break;
        case 36:
            p = xdg_home("XDG_DATA_HOME", ".local/share") / "morvane" / "windows";
            create = true;
            break;
        case 37:
            p = xdg_home("XDG_DATA_HOME", ".local/share") / "morvane" / "windows" / "system32";
            create = true;
            break;
        default:
            return std::nullopt;
    }
    if (!p || !p->is_absolute()) return std::nullopt;
    std::error_code ec;
    if (create) fs::create_directories(*p, ec);
    if (!fs::is_directory(*p, ec)) return std::nullopt;
    return p;
}

}  // namespace tob
