// The plane table.
#include "graphics/plane_table.h"

namespace tob::gfx {

PlaneTable& plane_table() {
    static PlaneTable table;
    return table;
}

void PlaneTable::set_memory(ScriptMemory* mem) {
    reset();
    mem_ = mem;
}

Plane* PlaneTable::mask_of(uint32_t n) const {
    int32_t a = attachment(n);
    return a >= 0 ? get(uint32_t(a)) : nullptr;
}

std::shared_ptr<const Plane> PlaneTable::acquire(uint32_t n) const {
    if (n >= kPlaneSlots) return nullptr;
    std::lock_guard lock(mutex_);
    return slots_[n];
}

void PlaneTable::put(uint32_t n, std::unique_ptr<Plane> plane) {
    if (n >= kPlaneSlots) return;
    std::shared_ptr<Plane> old;
    {
        std::lock_guard lock(mutex_);
        old = std::move(slots_[n]);
        slots_[n] = std::move(plane);
    }
    // `old` is released here, outside the lock; a painter still holding it
    // keeps the pixels until it lets go.
}

void PlaneTable::free(uint32_t n) {
    if (n >= kPlaneSlots || n == view_page.load() || n == active_page.load()) return;
    clear(n);
}

void PlaneTable::free_all_but_pages() {
    for (uint32_t n = 0; n < kPlaneSlots; ++n) {
        free(n);
        attached_[n] = kNoAttachment;
    }
}

void PlaneTable::reset() {
    for (uint32_t n = 0; n < kPlaneSlots; ++n) clear(n);
    attached_ = make_detached();
}

int32_t PlaneTable::highest_free_slot() const {
    for (int32_t n = kPlaneSlots - 1; n >= 0; --n)
        if (!slots_[size_t(n)]) return n;
    return -1;
}

}  // namespace tob::gfx
