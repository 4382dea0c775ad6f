// The file and directory built-ins: searches, special and current folders,
// directories, copies, moves, deletions, attributes and times.
#include <cstring>
#include <string>

#include "base/current_folder.h"
#include "runtime/host_files.h"
#include "runtime/runtime.h"
#include "vm/trap.h"

namespace tob {
namespace {

constexpr uint32_t kPathBufferSize = 260;
constexpr uint32_t kSystemTimeSize = 16;

// Argument i as a resolved host path; empty for a bad pointer.
std::filesystem::path path_argument(TrapCall& call, int i) {
    auto s = call.string(i);
    if (!s || s->empty()) return {};
    return resolve_script_path(*s);
}

// Writes a folder in script form into the 260-byte buffer at argument i;
// its length, 0 when it has no CP932 form, does not fit or the buffer is bad.
uint32_t put_folder(TrapCall& call, int i, const std::filesystem::path& folder) {
    auto text = script_folder_text(folder);
    if (!text || text->size() >= kPathBufferSize) return 0;
    uint8_t* buf = call.pointer(i, uint32_t(text->size() + 1));
    if (!buf) return 0;
    std::memcpy(buf, text->c_str(), text->size() + 1);
    return uint32_t(text->size());
}

// The record addresses of file_gettime and file_settime: those greater than
// 0 as signed numbers are used; false when one of them is bad.
bool time_records(TrapCall& call, uint8_t* records[3]) {
    for (int i = 0; i < 3; ++i) {
        records[i] = nullptr;
        if (call.integer(i + 1) <= 0) continue;
        records[i] = call.pointer(i + 1, kSystemTimeSize);
        if (!records[i]) return false;
    }
    return true;
}

uint32_t builtin_find_first(TrapCall& call) {
    auto pattern = call.string(0);
    uint8_t* record = call.pointer(1, kFindRecordSize);
    if (!pattern || !record) return call.info().fail;
    const FoundEntry* first = nullptr;
    int32_t handle = find_table().open(*pattern, first);
    if (handle > 0) write_find_record(*first, record);
    return uint32_t(handle);
}

uint32_t builtin_find_next(TrapCall& call) {
    uint8_t* record = call.pointer(1, kFindRecordSize);
    if (!record) return 0;
    const FoundEntry* entry = find_table().next(call.integer(0));
    if (!entry) return 0;
    write_find_record(*entry, record);
    return 1;
}

uint32_t builtin_find_close(TrapCall& call) {
    return find_table().close(call.integer(0)) ? 1 : 0;
}

uint32_t builtin_dir_getpath(TrapCall& call) {
    if (call.address(1) == 0) return 0;
    auto folder = special_folder(call.integer(0));
    return folder ? put_folder(call, 1, *folder) : 0;
}

uint32_t builtin_dir_getcur(TrapCall& call) {
    return put_folder(call, 0, current_folder());
}

uint32_t builtin_dir_setcur(TrapCall& call) {
    auto p = path_argument(call, 0);
    return !p.empty() && change_current_folder(p) ? 1 : 0;
}

uint32_t builtin_dir_create(TrapCall& call) {
    auto p = path_argument(call, 0);
    return !p.empty() && create_host_folder(p) ? 1 : 0;
}

uint32_t builtin_dir_delete(TrapCall& call) {
    auto p = path_argument(call, 0);
    return !p.empty() && delete_host_folder(p) ? 1 : 0;
}

uint32_t builtin_file_copy(TrapCall& call) {
    auto from = path_argument(call, 0), to = path_argument(call, 1);
    if (from.empty() || to.empty()) return 0;
    return copy_host_file(from, to, call.word(2) != 0) ? 1 : 0;
}

uint32_t builtin_file_move(TrapCall& call) {
    auto from = path_argument(call, 0), to = path_argument(call, 1);
    if (from.empty() || to.empty()) return 0;
    return move_host_file(from, to) ? 1 : 0;
}

uint32_t builtin_file_delete(TrapCall& call) {
    auto p = path_argument(call, 0);
    return !p.empty() && delete_host_file(p) ? 1 : 0;
}

uint32_t builtin_file_size(TrapCall& call) {
    auto pattern = call.string(0);
    if (!pattern) return 0;
    auto entries = search_entries(*pattern);
    return entries.empty() ? 0 : uint32_t(entries.front().size);
}

uint32_t builtin_file_getattr(TrapCall& call) {
    auto p = path_argument(call, 0);
    return p.empty() ? kAttrMissing : file_attributes(p);
}

uint32_t builtin_file_setattr(TrapCall& call) {
    auto p = path_argument(call, 0);
    return !p.empty() && set_file_attributes(p, call.word(1)) ? 1 : 0;
}

uint32_t builtin_file_gettime(TrapCall& call) {
    uint8_t* records[3];
    auto p = path_argument(call, 0);
    if (p.empty() || !time_records(call, records)) return 0;
    auto times = file_times(p);
    if (!times) return 0;
    const struct timespec* t[3] = {&times->created, &times->accessed, &times->written};
    for (int i = 0; i < 3; ++i)
        if (records[i])
            write_system_time(local_system_time(t[i]->tv_sec, t[i]->tv_nsec), records[i]);
    return 1;
}

uint32_t builtin_file_settime(TrapCall& call) {
    uint8_t* records[3];
    auto p = path_argument(call, 0);
    if (p.empty() || !time_records(call, records)) return 0;
    std::optional<struct timespec> t[3];
    for (int i = 0; i < 3; ++i) {
        if (!records[i]) continue;
        t[i] = from_local_system_time(read_system_time(records[i]));
        if (!t[i]) return 0;  // an invalid time changes nothing
    }
    // Creation times cannot be set here; a valid one is accepted and ignored.
    return set_file_times(p, t[1] ? &*t[1] : nullptr, t[2] ? &*t[2] : nullptr) ? 1 : 0;
}

constexpr TrapBinding kBindings[] = {
    {"find_first", builtin_find_first},     {"find_next", builtin_find_next},
    {"find_close", builtin_find_close},     {"dir_getpath", builtin_dir_getpath},
    {"dir_getcur", builtin_dir_getcur},     {"dir_setcur", builtin_dir_setcur},
    {"dir_create", builtin_dir_create},     {"dir_delete", builtin_dir_delete},
    {"file_copy", builtin_file_copy},       {"file_move", builtin_file_move},
    {"file_delete", builtin_file_delete},   {"file_size", builtin_file_size},
    {"file_getattr", builtin_file_getattr}, {"file_setattr", builtin_file_setattr},
    {"file_gettime", builtin_file_gettime}, {"file_settime", builtin_file_settime},
};

}  // namespace

std::span<const TrapBinding> files_builtins() {
    return kBindings;
}

void init_files() {
    find_table().close_all();
}

void shutdown_files() {
    find_table().close_all();
}

}  // namespace tob
