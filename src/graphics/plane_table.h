// The table of 1024 numbered plane slots, their attachments (mask planes), and
// the view and active page numbers. Built-ins run on script threads under the
// trap lock; the window thread paints through `acquire`, whose reference keeps
// a plane alive even if a script frees its slot meanwhile.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "graphics/plane.h"

namespace tob::gfx {

inline constexpr uint32_t kPlaneSlots = 1024;
inline constexpr int32_t kNoAttachment = -1;

class PlaneTable {
  public:
    // The script memory planes are made in. Frees every plane first.
    void set_memory(ScriptMemory* mem);
    ScriptMemory* memory() const { return mem_; }

    // Lookups for the script thread: valid until the next change of the slot.
    Plane* get(uint32_t n) const { return n < kPlaneSlots ? slots_[n].get() : nullptr; }
    // The plane in the slot `n` is attached to, or null.
    Plane* mask_of(uint32_t n) const;
    int32_t attachment(uint32_t n) const { return n < kPlaneSlots ? attached_[n] : kNoAttachment; }
    void set_attachment(uint32_t n, int32_t slot) {
        if (n < kPlaneSlots) attached_[n] = slot;
    }

    // A counted reference for another thread (the painter).
    std::shared_ptr<const Plane> acquire(uint32_t n) const;

    // Puts a plane into slot n, releasing what was there (view pages too).
    void put(uint32_t n, std::unique_ptr<Plane> plane);
    // Empties slot n unless it holds the view or active page.
    void free(uint32_t n);
    // Empties slot n unconditionally.
    void clear(uint32_t n) { put(n, nullptr); }
    // `ginit`: frees every plane but the pages, clears every attachment.
    void free_all_but_pages();
    // Frees every plane and attachment (shutdown).
    void reset();
    // Highest-numbered empty slot, or -1.
    int32_t highest_free_slot() const;

    std::atomic<uint32_t> view_page{0};
    std::atomic<uint32_t> active_page{0};

  private:
    ScriptMemory* mem_ = nullptr;
    mutable std::mutex mutex_;  // guards slot changes against `acquire`
    std::array<std::shared_ptr<Plane>, kPlaneSlots> slots_;
    std::array<int32_t, kPlaneSlots> attached_ = make_detached();

    static std::array<int32_t, kPlaneSlots> make_detached() {
        std::array<int32_t, kPlaneSlots> a;
        a.fill(kNoAttachment);
        return a;
    }
};

PlaneTable& plane_table();

// Shorthands on the one table.
inline Plane* plane(uint32_t n) {
    return plane_table().get(n);
}
inline uint32_t plane_depth(const Plane* p) {
    return p ? p->depth() : 0;
}

}  // namespace tob::gfx
