// The script file, pack and memory built-ins: pack_*, the stream functions,
// sysfile/sysio, mload, malloc/free and file_check. Handlers translate words and
// pointers and leave the bookkeeping to ScriptFiles.
#include <algorithm>

#include "base/current_folder.h"
#include "base/error_report.h"
#include "platform/cp932.h"
#include "platform/paths.h"
#include "runtime/file_match.h"
#include "runtime/runtime.h"
#include "runtime/script_files.h"
#include "runtime/whole_file.h"
#include "storage/storage.h"
#include "vm/trap.h"

namespace tob {
namespace {

constexpr uint32_t kReportLevel = 2;  // file-layer failures
constexpr const char* kMsgCreateFailed = "ファイルの作成に失敗しました FILE - %s";
constexpr uint32_t kPathLimit = 4096;  // longest path a built-in accepts
constexpr uint32_t kModeLimit = 16;

ScriptFiles& files() {
    return script_files();
}

std::optional<std::string_view> path_arg(TrapCall& call, int i) {
    auto p = call.string(i, kPathLimit);
    if (p && p->empty()) return std::nullopt;
    return p;
}

// A buffer of `size` items of `count` bytes at argument i, or nullptr.
uint8_t* items_arg(TrapCall& call, int i, int32_t size, int32_t count, uint32_t& bytes) {
    if (size <= 0 || count <= 0) return nullptr;
    uint64_t total = uint64_t(size) * uint64_t(count);
    if (total > ScriptMemory::kMaxSpan) return nullptr;
    bytes = uint32_t(total);
    return call.pointer(i, bytes);
}

// --- packs ---

uint32_t builtin_pack_save(TrapCall& call) {
    auto path = path_arg(call, 0);
    int32_t size = call.integer(2);
    const uint8_t* data = size > 0 ? call.pointer(1, uint32_t(size)) : nullptr;
    if (!path || !data) return 0;
    std::vector<uint8_t> packed = lzw_compress({data, size_t(size)});
    if (!write_whole_file(to_host_path(*path, current_folder()), packed)) {
        report_error(kReportLevel, kMsgCreateFailed, cp932_to_utf8(*path).c_str());
        return 0;
    }
    return 1;
}

uint32_t builtin_pack_open(TrapCall& call) {
    auto path = path_arg(call, 0);
    return path ? uint32_t(files().pack_open(*path)) : 0;
}

uint32_t builtin_pack_close(TrapCall& call) {
    return uint32_t(files().pack_close(call.integer(0)));
}

uint32_t builtin_pack_read(TrapCall& call) {
    ExpFile* f = files().pack(call.integer(0));
    int32_t size = call.integer(2);
    if (!f) return uint32_t(-1);
    if (size <= 0) return 0;
    uint8_t* buf = call.pointer(1, uint32_t(size));
    size_t n = 0;
    if (!buf || !f->read(buf, size_t(size), &n)) return uint32_t(-1);
    return uint32_t(n);
}

uint32_t builtin_pack_seek(TrapCall& call) {
    ExpFile* f = files().pack(call.integer(0));
    return f ? uint32_t(f->seek(call.integer(1), call.integer(2))) : uint32_t(-1);
}

uint32_t builtin_pack_size(TrapCall& call) {
    ExpFile* f = files().pack(call.integer(0));
    return f ? uint32_t(f->size()) : uint32_t(-1);
}

// --- streams ---

uint32_t builtin_fopen(TrapCall& call) {
    auto path = path_arg(call, 0);
    auto mode = call.string(1, kModeLimit);
    if (!path || !mode) return 0;
    return files().stream_open(*path, *mode);
}

uint32_t builtin_fclose(TrapCall& call) {
    return files().stream_close(call.word(0)) ? 0 : uint32_t(-1);
}

uint32_t builtin_fread(TrapCall& call) {
    ScriptStream* s = files().stream(call.word(3));
    uint32_t bytes = 0;
    uint8_t* buf = items_arg(call, 0, call.integer(1), call.integer(2), bytes);
    return s && buf ? uint32_t(s->read(buf, size_t(call.integer(1)), size_t(call.integer(2)))) : 0;
}

uint32_t builtin_fwrite(TrapCall& call) {
    ScriptStream* s = files().stream(call.word(3));
    uint32_t bytes = 0;
    const uint8_t* buf = items_arg(call, 0, call.integer(1), call.integer(2), bytes);
    return s && buf ? uint32_t(s->write(buf, size_t(call.integer(1)), size_t(call.integer(2)))) : 0;
}

uint32_t builtin_fseek(TrapCall& call) {
    ScriptStream* s = files().stream(call.word(0));
    return s && s->seek(call.integer(1), call.integer(2)) ? 0 : uint32_t(-1);
}

uint32_t builtin_ftell(TrapCall& call) {
    ScriptStream* s = files().stream(call.word(0));
    int64_t pos = s ? s->tell() : -1;
    return pos >= 0 && pos <= INT32_MAX ? uint32_t(pos) : uint32_t(-1);
}

uint32_t builtin_fgets(TrapCall& call) {
    ScriptStream* s = files().stream(call.word(2));
    int32_t size = call.integer(1);
    char* buf = size > 0 ? reinterpret_cast<char*>(call.pointer(0, uint32_t(size))) : nullptr;
    if (!s || !buf) return 0;
    return s->gets(buf, size_t(size)) ? call.word(0) : 0;
}

uint32_t builtin_fputs(TrapCall& call) {
    ScriptStream* s = files().stream(call.word(1));
    auto text = call.string(0, 0x7FFFFFFF);
    return s && text && s->puts(*text) ? 0 : uint32_t(-1);
}

// --- the system file ---

uint32_t builtin_sysfile(TrapCall& call) {
    auto path = path_arg(call, 0);
    ScriptAddr buffer = call.address(1);
    uint32_t size = call.word(2);
    if (!path || buffer == 0 || size == 0) return 0;
    if (!files().register_system_file(*path, buffer, size)) return 0;
    return files().load_system_file() ? 1 : 0;
}

uint32_t builtin_sysio(TrapCall& call) {
    if (!files().system_file_registered()) return 0;
    bool ok = call.word(0) ? files().save_system_file() : files().load_system_file();
    return ok ? 1 : 0;
}

// --- memory ---

uint32_t builtin_mload(TrapCall& call) {
    auto path = path_arg(call, 0);
    if (!path) return 0;
    auto file = ExpFile::open(*path, current_folder());
    if (!file) return 0;
    int32_t offset = call.integer(1);
    int64_t size = call.integer(2);
    if (size < 1) size = file->size();
    if (size < 0 || size > INT32_MAX) return 0;
    ScriptAddr block = files().allocate(uint32_t(size));
    if (!block) return 0;
    // A seek past the end must not read the file's start in its place.
    if (offset > 0 && file->seek(offset, kSeekSet) < 0) {
        files().release(block);
        return 0;
    }
    if (size > 0) file->read(call.memory().host(block, uint32_t(size)), size_t(size));
    return block;
}

uint32_t builtin_malloc(TrapCall& call) {
    return files().allocate(call.word(0));
}

uint32_t builtin_free(TrapCall& call) {
    return files().release(call.address(0)) ? 1 : 0;
}

uint32_t builtin_file_check(TrapCall& call) {
    auto path = path_arg(call, 0);
    return path && any_file_matches(*path, current_folder()) ? 1 : 0;
}

constexpr TrapBinding kBindings[] = {
    {"pack_save", builtin_pack_save},
    {"pack_open", builtin_pack_open},
    {"pack_close", builtin_pack_close},
    {"pack_read", builtin_pack_read},
    {"pack_seek", builtin_pack_seek},
    {"pack_size", builtin_pack_size},
    {"fopen", builtin_fopen},
    {"fclose", builtin_fclose},
    {"fread", builtin_fread},
    {"fwrite", builtin_fwrite},
    {"fseek", builtin_fseek},
    {"ftell", builtin_ftell},
    {"fgets", builtin_fgets},
    {"fputs", builtin_fputs},
    {"sysfile", builtin_sysfile},
    {"sysio", builtin_sysio},
    {"mload", builtin_mload},
    {"malloc", builtin_malloc},
    {"free", builtin_free},
    {"file_check", builtin_file_check},
};

}  // namespace

std::span<const TrapBinding> script_file_builtins() {
    return kBindings;
}

void init_script_files(ScriptMemory& memory) {
    script_files().attach(memory);
}
void shutdown_script_files() {
    script_files().detach();
}

}  // namespace tob
