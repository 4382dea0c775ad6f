// Pack slots, streams, tracked heap blocks and the system file. Whole files are
// written through a temporary file, so a failed write leaves the old file.
#include "runtime/script_files.h"

#include <algorithm>
#include <new>

#include "base/current_folder.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "runtime/whole_file.h"

namespace tob {

ScriptFiles& script_files() {
    static ScriptFiles files;
    return files;
}

void ScriptFiles::attach(ScriptMemory& memory) {
    if (memory_ == &memory) {
        reset();
        return;
    }
    // A memory attached before without a detach may be gone: forget it.
    memory_ = &memory;
    observer_ = memory.add_release_observer(
        [this](ScriptAddr addr, uint32_t size) { block_released(addr, size); });
    packs_ = {};
    for (auto& s : streams_) s.reset();
    blocks_.clear();
    {
        std::lock_guard guard(system_lock_);
        system_.reset();
    }
    reset();
}

void ScriptFiles::detach() {
    if (!memory_) return;
    save_system_file();
    {
        std::lock_guard guard(system_lock_);
        system_.reset();
    }
    reset();
    memory_->remove_release_observer(observer_);
    memory_ = nullptr;
}

void ScriptFiles::reset() {
    packs_ = {};
    for (auto& s : streams_) s.reset();
    if (memory_)
        for (ScriptAddr a : blocks_) memory_->free(a);
    blocks_.clear();
    blocks_.shrink_to_fit();
    try {
        blocks_.reserve(kInitialBlockCapacity);
    } catch (const std::bad_alloc&) {
    }
}

// --- packs ---

int ScriptFiles::pack_open(std::string_view path) {
    auto slot = std::find_if(packs_.begin(), packs_.end(), [](const auto& p) { return !p; });
    if (slot == packs_.end()) return 0;
    *slot = ExpFile::open(path, current_folder());
    return *slot ? int(slot - packs_.begin()) + 1 : 0;
}

int ScriptFiles::pack_close(int32_t handle) {
    if (handle < 1 || handle > kPackSlots) return 0;
    packs_[size_t(handle - 1)].reset();
    return 1;
}

ExpFile* ScriptFiles::pack(int32_t handle) {
    if (handle < 1 || handle > kPackSlots) return nullptr;
    auto& slot = packs_[size_t(handle - 1)];
    return slot ? &*slot : nullptr;
}

// --- streams ---

uint32_t ScriptFiles::stream_open(std::string_view path, std::string_view mode) {
    auto slot = std::find(streams_.begin(), streams_.end(), nullptr);
    if (slot == streams_.end()) return 0;
    *slot = ScriptStream::open(to_host_path(path, current_folder()), mode);
    return *slot ? uint32_t(slot - streams_.begin()) + 1 : 0;
}

ScriptStream* ScriptFiles::stream(uint32_t handle) {
    if (handle < 1 || handle > uint32_t(kStreamSlots)) return nullptr;
    return streams_[handle - 1].get();
}

bool ScriptFiles::stream_close(uint32_t handle) {
    ScriptStream* s = stream(handle);
    if (!s) return false;
    bool ok = s->close();
    streams_[handle - 1].reset();
    return ok;
}

// --- heap blocks ---

ScriptAddr ScriptFiles::allocate(uint32_t size) {
    if (!memory_) return 0;
    if (blocks_.size() == blocks_.capacity()) {
        try {
            blocks_.reserve(std::max(kInitialBlockCapacity, blocks_.capacity() * 2));
        } catch (const std::bad_alloc&) {
            return 0;
        }
    }
    ScriptAddr a = memory_->allocate(size, BlockKind::ScriptHeap);
    if (a) blocks_.push_back(a);
    return a;
}

bool ScriptFiles::release(ScriptAddr addr) {
    auto it = std::find(blocks_.begin(), blocks_.end(), addr);
    if (addr == 0 || it == blocks_.end()) return false;
    blocks_.erase(it);
    memory_->free(addr);
    return true;
}

// --- the system file ---

void ScriptFiles::block_released(ScriptAddr addr, uint32_t size) {
    std::lock_guard guard(system_lock_);
    if (!system_ || system_->detached) return;
    uint64_t lo = system_->buffer, hi = lo + system_->size;
    if (hi <= addr || lo >= uint64_t(addr) + size) return;
    const uint8_t* p = memory_->host(system_->buffer, system_->size);
    if (p) system_->detached.emplace(p, p + system_->size);
}

bool ScriptFiles::register_system_file(std::string_view path, ScriptAddr buffer, uint32_t size) {
    if (!memory_ || path.empty() || !memory_->valid(buffer, size)) return false;
    std::lock_guard guard(system_lock_);
    system_ = SystemFile{std::string(path), buffer, size, std::nullopt};
    return true;
}

bool ScriptFiles::system_file_registered() {
    std::lock_guard guard(system_lock_);
    return system_.has_value();
}

bool ScriptFiles::load_system_file() {
    std::lock_guard guard(system_lock_);
    if (!system_) return false;
    auto file = File::open_read(to_host_path(system_->path, current_folder()));
    if (!file) return false;
    std::vector<uint8_t> bytes(system_->size);
    auto n = file->read_at(0, bytes.data(), bytes.size());
    bytes.resize(n.value_or(0));
    uint8_t* dst = system_->detached ? system_->detached->data()
                                     : memory_->host(system_->buffer, system_->size);
    if (dst) std::copy(bytes.begin(), bytes.end(), dst);
    return true;
}

bool ScriptFiles::save_system_file() {
    std::lock_guard guard(system_lock_);
    if (!system_) return false;
    std::span<const uint8_t> bytes;
    if (system_->detached) {
        bytes = *system_->detached;
    } else {
        const uint8_t* p = memory_->host(system_->buffer, system_->size);
        if (!p) return false;
        bytes = {p, system_->size};
    }
    return write_whole_file(to_host_path(system_->path, current_folder()), bytes);
}

}  // namespace tob
