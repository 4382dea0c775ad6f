// What the script file built-ins keep between calls: the 16 pack slots, the
// stream table, the list of heap blocks scripts allocated, and the registered
// system file. The engine's initialisation and shutdown close and free it all.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/script_stream.h"
#include "storage/storage.h"
#include "vm/script_memory.h"

namespace tob {

inline constexpr int kPackSlots = 16;     // handles 1..16
inline constexpr int kStreamSlots = 512;  // handles 1..512
inline constexpr size_t kInitialBlockCapacity = 1024;

class ScriptFiles {
  public:
    // Takes over script memory (dropping what an earlier attach held without
    // a detach) and starts empty.
    void attach(ScriptMemory& memory);
    // Saves the system file, closes and frees everything, lets go of memory.
    void detach();
    // Closes every pack and stream and frees every tracked block.
    void reset();
    ScriptMemory* memory() const { return memory_; }

    // Pack handles (1..16; 0 means none).
    int pack_open(std::string_view cp932_path);
    // 0 for a handle outside 1..16, else 1 (also for an empty slot).
    int pack_close(int32_t handle);
    ExpFile* pack(int32_t handle);

    // Stream handles (1..kStreamSlots; 0 means none).
    uint32_t stream_open(std::string_view cp932_path, std::string_view mode);
    ScriptStream* stream(uint32_t handle);
    // False for a bad handle or a failed close; the slot is free afterwards.
    bool stream_close(uint32_t handle);

    // A zero-filled heap block on the tracked list; 0 when memory or the list
    // cannot grow.
    ScriptAddr allocate(uint32_t size);
    // Frees a block on the list; false (and nothing happens) for anything else.
    bool release(ScriptAddr addr);
    size_t block_count() const { return blocks_.size(); }

    // Registers the system file (replacing an earlier registration); false when
    // the path is empty or the buffer is not in script memory.
    bool register_system_file(std::string_view cp932_path, ScriptAddr buffer, uint32_t size);
    bool system_file_registered();
    // Reads the file into the buffer (false when it does not open) or writes
    // the buffer to it as a whole (false when that fails).
    bool load_system_file();
    bool save_system_file();

  private:
    struct SystemFile {
        std::string path;  // CP932 script path
        ScriptAddr buffer = 0;
        uint32_t size = 0;
        // The buffer's bytes once its block was released; used from then on.
        std::optional<std::vector<uint8_t>> detached;
    };
    void block_released(ScriptAddr addr, uint32_t size);

    ScriptMemory* memory_ = nullptr;
    int observer_ = 0;
    std::array<std::optional<ExpFile>, kPackSlots> packs_;
    std::array<std::unique_ptr<ScriptStream>, kStreamSlots> streams_;
    std::vector<ScriptAddr> blocks_;
    // Guards the registration: blocks are also released by threads that do not
    // hold the trap lock. Never held while allocating or freeing.
    std::mutex system_lock_;
    std::optional<SystemFile> system_;
};

// The one instance the built-ins use.
ScriptFiles& script_files();

}  // namespace tob
