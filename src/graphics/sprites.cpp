// The sprite pool: records, lists, families, geometry and the built-ins that
// change them. Drawing a frame lives in sprite_frame.cpp, hit areas in
// hit_areas.cpp.
#include "graphics/sprites.h"

#include <algorithm>
#include <cstring>

#include "base/error_report.h"
#include "graphics/blitter.h"
#include "graphics/pages.h"
#include "graphics/plane.h"
#include "graphics/plane_table.h"
#include "platform/byte_order.h"

namespace tob::gfx {

SpriteSystem::SpriteSystem() {
    pieces_.resize(kPieceCount);
    fragments_.reserve(kFragmentCapacity);
    fragments2_.reserve(kFragmentCapacity);
    statics_.reserve(kSpriteCount);
    chain_.reserve(kSpriteShaped);
    family_stack_.reserve(kSpriteShaped);
    sort_keys_.reserve(kSpriteCount);
    sort_tmp_.reserve(kSpriteCount);
    clear_all();
}

SpriteSystem& sprites() {
    static SpriteSystem system;
    return system;
}

bool SpriteSystem::attach(ScriptMemory& mem) {
    detach();
    ScriptAddr a = mem.allocate(kRecordBlockBytes);
    if (!a) return false;
    mem_ = &mem;
    addr_ = a;
    base_ = mem.host(a, kRecordBlockBytes);
    clear_all(false);
    default_flags_ = kDefaultFlags;
    background_ = kNoBackground;
    bg_x_ = bg_y_ = 0;
    update_empty_ = true;
    return true;
}

void SpriteSystem::detach() {
    // Nothing to do when never attached (start-up shuts everything down first).
    if (!mem_ && in_use_ == 0 && pieces_used_ == 0) return;
    if (mem_ && addr_) mem_->free(addr_);
    mem_ = nullptr;
    addr_ = 0;
    base_ = nullptr;
    clear_all(false);
}

// Forgets every sprite, list, origin and hit area; zeroes the records.
void SpriteSystem::clear_all(bool records) {
    for (Slot& s : slots_) s = Slot{};
    for (HitSlot& h : hits_) h = HitSlot{};
    first_.fill(-1);
    last_.fill(-1);
    group_first_.fill(-1);
    group_last_.fill(-1);
    origin_x_.fill(0);
    origin_y_.fill(0);
    in_use_ = 0;
    free_count_ = 0;
    for (uint32_t i = kSpriteCount; i-- > 0;) free_stack_[free_count_++] = uint16_t(i);
    pieces_used_ = 0;
    stamp_ = 0;
    if (base_ && records) std::memset(base_, 0, kRecordBlockBytes);
}

int SpriteSystem::sprite_index(ScriptAddr a) const {
    if (!base_ || a < addr_) return -1;
    uint32_t off = a - addr_;
    if (off % sizeof(SpriteRecord) != 0) return -1;
    uint32_t i = off / sizeof(SpriteRecord);
    if (i >= kSpriteCount || !slots_[i].used) return -1;
    return int(i);
}

int SpriteSystem::hit_index(ScriptAddr a) const {
    if (!base_ || a < addr_ + kSpriteBlockBytes) return -1;
    uint32_t off = a - addr_ - kSpriteBlockBytes;
    if (off % sizeof(HitRecord) != 0) return -1;
    uint32_t i = off / sizeof(HitRecord);
    return i < kHitCount ? int(i) : -1;
}

uint16_t SpriteSystem::flags(uint32_t i) const {
    return load_le16(record(i) + offsetof(SpriteRecord, flags));
}
void SpriteSystem::set_flags(uint32_t i, uint16_t f) {
    uint8_t* p = record(i) + offsetof(SpriteRecord, flags);
    p[0] = uint8_t(f);
    p[1] = uint8_t(f >> 8);
}
uint8_t SpriteSystem::state(uint32_t i) const {
    return slots_[i].removing ? kStateHidden : record(i)[offsetof(SpriteRecord, state)];
}

// ---- Links ------------------------------------------------------------------

void SpriteSystem::publish_list_links(int i) {
    if (i < 0) return;
    const Slot& s = slots_[size_t(i)];
    uint8_t* r = record(uint32_t(i));
    ScriptAddr prev =
        s.prev >= 0 ? sprite_address(uint32_t(s.prev)) : sprite_address(kListHeadBase + s.list);
    store_le32(r + offsetof(SpriteRecord, previous), prev);
    store_le32(r + offsetof(SpriteRecord, next),
               s.next >= 0 ? sprite_address(uint32_t(s.next)) : 0);
}

void SpriteSystem::publish_head(uint32_t list) {
    store_le32(record(kListHeadBase + list) + offsetof(SpriteRecord, next),
               first_[list] >= 0 ? sprite_address(uint32_t(first_[list])) : 0);
}

void SpriteSystem::list_append(uint32_t i, uint32_t list) {
    Slot& s = slots_[i];
    s.list = uint8_t(list);
    s.prev = last_[list];
    s.next = -1;
    if (s.prev >= 0)
        slots_[size_t(s.prev)].next = int16_t(i);
    else
        first_[list] = int16_t(i);
    last_[list] = int16_t(i);
    publish_list_links(int(i));
    publish_list_links(s.prev);
    publish_head(list);
}

void SpriteSystem::list_remove(uint32_t i) {
    Slot& s = slots_[i];
    if (s.prev >= 0)
        slots_[size_t(s.prev)].next = s.next;
    else
        first_[s.list] = s.next;
    if (s.next >= 0)
        slots_[size_t(s.next)].prev = s.prev;
    else
        last_[s.list] = s.prev;
    publish_list_links(s.prev);
    publish_list_links(s.next);
    publish_head(s.list);
    s.prev = s.next = -1;
    store_le32(record(i) + offsetof(SpriteRecord, previous), 0);
    store_le32(record(i) + offsetof(SpriteRecord, next), 0);
}

void SpriteSystem::list_insert_after(uint32_t i, uint32_t after) {
    Slot& s = slots_[i];
    Slot& a = slots_[after];
    s.list = a.list;
    s.prev = int16_t(after);
    s.next = a.next;
    if (a.next >= 0)
        slots_[size_t(a.next)].prev = int16_t(i);
    else
        last_[a.list] = int16_t(i);
    a.next = int16_t(i);
    publish_list_links(int(i));
    publish_list_links(int(after));
    publish_list_links(s.next);
}

int SpriteSystem::root_of(int i) const {
    while (slots_[size_t(i)].parent >= 0) i = slots_[size_t(i)].parent;
    return i;
}

// Writes parent and family-next fields for a sprite and its offspring, in one
// pre-order walk.
void SpriteSystem::publish_family(int root) {
    int outside = -1;  // the entry after the family, where its thread leads on
    for (int j = root; j >= 0 && outside < 0; j = slots_[size_t(j)].parent)
        outside = slots_[size_t(j)].next_sibling;
    family_stack_.clear();
    family_stack_.push_back(uint16_t(root));
    while (!family_stack_.empty()) {
        const uint32_t j = family_stack_.back();
        family_stack_.pop_back();
        const Slot& s = slots_[j];
        // Children go on the stack last first, so the first child comes next.
        const size_t mark = family_stack_.size();
        for (int c = s.first_child; c >= 0; c = slots_[size_t(c)].next_sibling)
            family_stack_.push_back(uint16_t(c));
        std::reverse(family_stack_.begin() + long(mark), family_stack_.end());
        const int next = family_stack_.empty() ? outside : family_stack_.back();
        uint8_t* r = record(j);
        store_le32(r + offsetof(SpriteRecord, parent),
                   s.parent >= 0 ? sprite_address(uint32_t(s.parent)) : 0);
        store_le32(r + offsetof(SpriteRecord, family_next),
                   next >= 0 ? sprite_address(uint32_t(next)) : 0);
    }
}

void SpriteSystem::detach_from_parent(int i) {
    Slot& s = slots_[size_t(i)];
    if (s.parent < 0) return;
    int root = root_of(i);
    int16_t* link = &slots_[size_t(s.parent)].first_child;
    while (*link >= 0 && *link != i) link = &slots_[size_t(*link)].next_sibling;
    if (*link == i) *link = s.next_sibling;
    s.parent = -1;
    s.next_sibling = -1;
    publish_family(root);
    publish_family(i);
}

// ---- Geometry ---------------------------------------------------------------

namespace {

// Products and sums of script values wrap instead of overflowing.
int64_t wmul(int64_t a, int64_t b) {
    return int64_t(uint64_t(a) * uint64_t(b));
}
int64_t wadd(int64_t a, int64_t b) {
    return int64_t(uint64_t(a) + uint64_t(b));
}
uint64_t magnitude(int64_t v) {
    return v < 0 ? 0 - uint64_t(v) : uint64_t(v);
}
Rect normalised(Rect r) {
    if (r.left > r.right) std::swap(r.left, r.right);
    if (r.top > r.bottom) std::swap(r.top, r.bottom);
    return r;
}

}  // namespace

SpriteFields read_sprite_fields(const uint8_t* r) {
    SpriteFields f;
    f.state = r[offsetof(SpriteRecord, state)];
    f.flags = load_le16(r + offsetof(SpriteRecord, flags));
    f.mirror_x = r[offsetof(SpriteRecord, mirror_x)] != 0;
    f.mirror_y = r[offsetof(SpriteRecord, mirror_y)] != 0;
    f.fraction_bits = r[offsetof(SpriteRecord, fraction_bits)] & 31;
    auto i32 = [r](size_t off) { return int32_t(load_le32(r + off)); };
    f.priority = i32(offsetof(SpriteRecord, priority));
    f.plane = load_le32(r + offsetof(SpriteRecord, plane));
    f.x = i32(offsetof(SpriteRecord, x));
    f.y = i32(offsetof(SpriteRecord, y));
    f.hot_x = i32(offsetof(SpriteRecord, hot_x));
    f.hot_y = i32(offsetof(SpriteRecord, hot_y));
    f.scale_x = i32(offsetof(SpriteRecord, scale_x));
    f.scale_y = i32(offsetof(SpriteRecord, scale_y));
    f.angle = load_le16(r + offsetof(SpriteRecord, angle));
    const size_t s = offsetof(SpriteRecord, source);
    f.source = {i32(s), i32(s + 4), i32(s + 8), i32(s + 12)};
    const uint8_t* b = r + offsetof(SpriteRecord, blend);
    f.blend = {b[0], b[1], b[2], b[3], load_le32(b + 4), load_le32(b + 8)};
    return f;
}

SpriteGeometry compute_geometry(const SpriteFields& f, const SpriteGeometry* parent, int32_t org_x,
                                int32_t org_y) {
    SpriteGeometry g;
    const int64_t px = f.x >> f.fraction_bits, py = f.y >> f.fraction_bits;
    if (!parent) {
        g.x = wmul(px - org_x, 65536);
        g.y = wmul(py - org_y, 65536);
        g.scale_x = f.scale_x;
        g.scale_y = f.scale_y;
        g.angle = f.angle;
    } else {
        const int64_t lx = wmul(px, parent->scale_x) >> 16, ly = wmul(py, parent->scale_y) >> 16;
        const int64_t s = rotation_sine(parent->angle), c = rotation_sine(parent->angle + 512u);
        g.x = wadd(parent->x, wadd(wmul(lx, c), wmul(ly, s)));
        g.y = wadd(parent->y, wmul(ly, c) - wmul(lx, s));
        g.scale_x = f.scale_x == kScaleOne ? parent->scale_x
                                           : int32_t(wmul(parent->scale_x, f.scale_x) >> 16);
        g.scale_y = f.scale_y == kScaleOne ? parent->scale_y
                                           : int32_t(wmul(parent->scale_y, f.scale_y) >> 16);
        g.angle = uint16_t(parent->angle + f.angle);
    }
    const int64_t s = rotation_sine(g.angle), c = rotation_sine(g.angle + 512u);
    const int64_t w = int64_t(f.source.right) - f.source.left;
    const int64_t h = int64_t(f.source.bottom) - f.source.top;
    const int64_t dx = wmul(w - 2 * int64_t(f.hot_x), g.scale_x) >> 17;
    const int64_t dy = wmul(h - 2 * int64_t(f.hot_y), g.scale_y) >> 17;
    const int64_t cx = wadd(g.x, wadd(wmul(dy, s), wmul(dx, c)));
    const int64_t cy = wadd(g.y, wmul(dy, c) - wmul(dx, s));
    const int64_t ws = wmul(w, g.scale_x), hs = wmul(h, g.scale_y);
    const int64_t W = ws >> 16, H = hs >> 16;
    const int64_t left = (cx >> 16) - (ws >> 17), top = (cy >> 16) - (hs >> 17);
    g.placed = {int32_t(left), int32_t(top), int32_t(left + W), int32_t(top + H)};
    if ((g.angle & kAngleMask) == 0) {
        g.bounds = normalised(g.placed);
    } else {
        const int64_t bw = int64_t((magnitude(wmul(s, H)) + magnitude(wmul(c, W)) + 32768) >> 16);
        const int64_t bh = int64_t((magnitude(wmul(c, H)) + magnitude(wmul(s, W)) + 32768) >> 16);
        const int64_t bl = left + (W - bw) / 2, bt = top + (H - bh) / 2;
        g.bounds = normalised({int32_t(bl), int32_t(bt), int32_t(bl + bw), int32_t(bt + bh)});
    }
    return g;
}

void SpriteSystem::next_stamp() {
    if (++stamp_ == 0) {
        for (Slot& s : slots_) s.geometry_stamp = s.family_stamp = 0;
        stamp_ = 1;
    }
}

const SpriteGeometry& SpriteSystem::frame_geometry(uint32_t i) {
    chain_.clear();
    int j = int(i);
    while (j >= 0 && slots_[size_t(j)].geometry_stamp != stamp_) {
        chain_.push_back(uint16_t(j));
        j = slots_[size_t(j)].parent;
    }
    const SpriteGeometry* parent = j >= 0 ? &slots_[size_t(j)].geometry : nullptr;
    for (size_t k = chain_.size(); k-- > 0;) {
        const uint32_t n = chain_[k];
        Slot& s = slots_[n];
        const bool root = !parent;
        s.geometry = compute_geometry(read_sprite_fields(record(n)), parent,
                                      root ? origin_x_[s.list] : 0, root ? origin_y_[s.list] : 0);
        s.geometry_stamp = stamp_;
        // The computed fields, for scripts to read.
        uint8_t* r = record(n);
        store_le32(r + offsetof(SpriteRecord, effective_scale_x), uint32_t(s.geometry.scale_x));
        store_le32(r + offsetof(SpriteRecord, effective_scale_y), uint32_t(s.geometry.scale_y));
        r[offsetof(SpriteRecord, effective_angle)] = uint8_t(s.geometry.angle);
        r[offsetof(SpriteRecord, effective_angle) + 1] = uint8_t(s.geometry.angle >> 8);
        auto put = [r](size_t off, const Rect& q) {
            store_le32(r + off, uint32_t(q.left));
            store_le32(r + off + 4, uint32_t(q.top));
            store_le32(r + off + 8, uint32_t(q.right));
            store_le32(r + off + 12, uint32_t(q.bottom));
        };
        put(offsetof(SpriteRecord, bounds), s.geometry.bounds);
        put(offsetof(SpriteRecord, placed), s.geometry.placed);
        parent = &s.geometry;
    }
    return slots_[i].geometry;
}

SpriteGeometry SpriteSystem::geometry(uint32_t i) {
    next_stamp();
    return frame_geometry(i);
}

SpriteDrawing SpriteSystem::read_drawing(uint32_t i) {
    SpriteDrawing d;
    d.geometry = frame_geometry(i);
    SpriteFields f = read_sprite_fields(record(i));
    d.plane = f.plane;
    d.mirror_x = f.mirror_x;
    d.mirror_y = f.mirror_y;
    d.source = f.source;
    d.blend = f.blend;
    return d;
}

// ---- Built-ins ----------------------------------------------------------------

void SpriteSystem::init(uint32_t mask) {
    if (!base_) return;
    if (mask == 0xFFFFFFFFu) {
        {
            std::lock_guard lock(page_state().mutex);
            page_state().dirty.clear();
        }
        clear_all();
        return;
    }
    for (uint32_t l = 0; l < kListCount; ++l) {
        if (!(mask >> l & 1)) continue;
        for (int i = first_[l]; i >= 0; i = slots_[size_t(i)].next)
            reset(sprite_address(uint32_t(i)));
    }
}

uint16_t SpriteSystem::set_default_flags(uint16_t f) {
    uint16_t old = default_flags_;
    default_flags_ = f;
    return old;
}

uint32_t SpriteSystem::set_background(uint32_t plane_number) {
    uint32_t old = background_;
    background_ = plane_number;
    bg_x_ = bg_y_ = 0;
    std::optional<Rect> all;
    if (plane_number < kPlaneSlots) {
        if (const Plane* p = plane(plane_number)) all = Rect{0, 0, p->width(), p->height()};
    } else if (const Plane* p = plane(plane_table().active_page)) {
        all = Rect{0, 0, p->width(), p->height()};
    }
    std::lock_guard lock(page_state().mutex);
    page_state().dirty.clear();
    if (all) {
        page_state().dirty.add(*all);
        update_ = Box::of(*all);
        update_empty_ = update_.empty();
    }
    return old;
}

void SpriteSystem::set_background_origin(int32_t x, int32_t y) {
    bg_x_ = x;
    bg_y_ = y;
    const Plane* p = background_ < kPlaneSlots ? plane(background_) : nullptr;
    if (!p) return;
    Rect all{0, 0, p->width(), p->height()};
    std::lock_guard lock(page_state().mutex);
    page_state().dirty.add(all);
    unite_update(Box::of(all));
}

void SpriteSystem::set_origin(uint32_t mask, int32_t x, int32_t y) {
    for (uint32_t l = 0; l < kListCount; ++l) {
        if (!(mask >> l & 1) || (origin_x_[l] == x && origin_y_[l] == y)) continue;
        origin_x_[l] = x, origin_y_[l] = y;
        // The list's sprites move: redraw them.
        for (int i = first_[l]; i >= 0; i = slots_[size_t(i)].next)
            set_flags(uint32_t(i), flags(uint32_t(i)) | kFlagChanged);
    }
}

ScriptAddr SpriteSystem::create(uint32_t list, uint32_t st, int32_t x, int32_t y,
                                uint32_t plane_number, std::optional<Rect> source,
                                const BlendRecord& blend) {
    if (!base_) return 0;
    list &= 0xFF;
    st &= 0xFF;
    if (list >= kListCount || plane_number >= kPlaneSlots || free_count_ == 0)
        return dummy_address();
    if (!source) {
        const Plane* p = plane(plane_number);
        if (!p) return dummy_address();
        source = Rect{0, 0, p->width(), p->height()};
    }
    const uint32_t i = free_stack_[--free_count_];
    slots_[i] = Slot{};
    slots_[i].used = true;
    ++in_use_;
    uint8_t* r = record(i);
    std::memset(r, 0, sizeof(SpriteRecord));
    r[offsetof(SpriteRecord, state)] = uint8_t(st);
    r[offsetof(SpriteRecord, list)] = uint8_t(list);
    set_flags(i, default_flags_);
    store_le32(r + offsetof(SpriteRecord, plane), plane_number);
    store_le32(r + offsetof(SpriteRecord, x), uint32_t(x));
    store_le32(r + offsetof(SpriteRecord, y), uint32_t(y));
    store_le32(r + offsetof(SpriteRecord, scale_x), uint32_t(kScaleOne));
    store_le32(r + offsetof(SpriteRecord, scale_y), uint32_t(kScaleOne));
    const size_t s = offsetof(SpriteRecord, source);
    store_le32(r + s, uint32_t(source->left));
    store_le32(r + s + 4, uint32_t(source->top));
    store_le32(r + s + 8, uint32_t(source->right));
    store_le32(r + s + 12, uint32_t(source->bottom));
    uint8_t* b = r + offsetof(SpriteRecord, blend);
    b[0] = blend.mode, b[1] = blend.channels, b[2] = blend.level, b[3] = blend.level2;
    store_le32(b + 4, blend.colour1);
    store_le32(b + 8, blend.colour2);
    list_append(i, list);
    return sprite_address(i);
}

// Marks a sprite and its offspring for removal: hidden, bit 13, hit areas
// freed, and the family taken apart (every member is going).
void SpriteSystem::mark_removed(int top) {
    chain_.clear();
    chain_.push_back(uint16_t(top));
    while (!chain_.empty()) {
        const uint32_t i = chain_.back();
        chain_.pop_back();
        Slot& s = slots_[i];
        for (int c = s.first_child; c >= 0; c = slots_[size_t(c)].next_sibling)
            chain_.push_back(uint16_t(c));
        s.removing = true;
        record(i)[offsetof(SpriteRecord, state)] = kStateHidden;
        set_flags(i, flags(i) | kFlagRemoving);
        while (s.first_hit >= 0) hit_free(uint32_t(s.first_hit));
    }
    chain_.push_back(uint16_t(top));
    while (!chain_.empty()) {
        const uint32_t i = chain_.back();
        chain_.pop_back();
        Slot& s = slots_[i];
        for (int c = s.first_child; c >= 0; c = slots_[size_t(c)].next_sibling)
            chain_.push_back(uint16_t(c));
        s.first_child = s.next_sibling = s.parent = -1;
        store_le32(record(i) + offsetof(SpriteRecord, parent), 0);
        store_le32(record(i) + offsetof(SpriteRecord, family_next), 0);
    }
}

uint32_t SpriteSystem::reset(ScriptAddr a) {
    if (is_dummy(a)) return 1;
    int i = sprite_index(a);
    if (i < 0) return 0;
    if (slots_[size_t(i)].removing) return 1;
    detach_from_parent(i);
    mark_removed(i);
    return 1;
}

void SpriteSystem::free_sprite(uint32_t i) {
    list_remove(i);
    slots_[i] = Slot{};
    record(i)[offsetof(SpriteRecord, state)] = kStateFree;
    set_flags(i, uint16_t(flags(i) & ~(kFlagDrawn | kFlagOverlapped | kFlagChanged)));
    free_stack_[free_count_++] = uint16_t(i);
    --in_use_;
}

uint32_t SpriteSystem::link(ScriptAddr parent_addr, ScriptAddr child_addr) {
    const int p = sprite_index(parent_addr), c = sprite_index(child_addr);
    if (p < 0 || c < 0 || slots_[size_t(p)].removing || slots_[size_t(c)].removing) return 0;
    for (int j = p; j >= 0; j = slots_[size_t(j)].parent) {
        if (j == c) {
            report_error(1,
                         "SetChildSprite : 同じスプライトを子スプライトにすることは出来ません。");
            return 0;
        }
    }
    detach_from_parent(c);
    Slot& child = slots_[size_t(c)];
    child.parent = int16_t(p);
    child.next_sibling = slots_[size_t(p)].first_child;
    slots_[size_t(p)].first_child = int16_t(c);
    publish_family(root_of(p));
    set_flags(uint32_t(c), flags(uint32_t(c)) | kFlagChanged);  // it moves with its new parent
    if (child.list == slots_[size_t(p)].list && slots_[size_t(p)].next != c) {
        list_remove(uint32_t(c));
        list_insert_after(uint32_t(c), uint32_t(p));
    }
    return 1;
}

void SpriteSystem::sort(uint32_t mask, uint32_t how) {
    if (!base_) return;
    for (uint32_t l = 0; l < kListCount; ++l) {
        if (!(mask >> l & 1) || first_[l] < 0) continue;
        sort_keys_.clear();
        for (int i = first_[l]; i >= 0; i = slots_[size_t(i)].next) {
            int64_t key = 0;
            if (how & 1) {
                for (int j = i; j >= 0; j = slots_[size_t(j)].parent) {
                    const uint8_t* r = record(uint32_t(j));
                    key += int32_t(load_le32(r + offsetof(SpriteRecord, y))) >>
                           (r[offsetof(SpriteRecord, fraction_bits)] & 31);
                }
            }
            if (how & 2)
                key = key * 65536 +
                      int32_t(load_le32(record(uint32_t(i)) + offsetof(SpriteRecord, priority)));
            sort_keys_.push_back({key, uint16_t(i)});
        }
        // A stable merge sort into buffers allocated once.
        const size_t n = sort_keys_.size();
        sort_tmp_.resize(n);
        for (size_t width = 1; width < n; width *= 2) {
            for (size_t lo = 0; lo < n; lo += 2 * width) {
                size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
                std::merge(sort_keys_.begin() + long(lo), sort_keys_.begin() + long(mid),
                           sort_keys_.begin() + long(mid), sort_keys_.begin() + long(hi),
                           sort_tmp_.begin() + long(lo),
                           [](const auto& a, const auto& b) { return a.first < b.first; });
            }
            sort_keys_.swap(sort_tmp_);
        }
        // Everything from the first place the order changed is redrawn.
        bool moved = false;
        int old = first_[l];
        for (const auto& [key, i] : sort_keys_) {
            moved = moved || old != i;
            if (moved) set_flags(i, flags(i) | kFlagChanged);
            old = slots_[size_t(old)].next;
        }
        first_[l] = last_[l] = -1;
        for (const auto& [key, i] : sort_keys_) {
            Slot& s = slots_[i];
            s.prev = last_[l];
            s.next = -1;
            if (s.prev >= 0)
                slots_[size_t(s.prev)].next = int16_t(i);
            else
                first_[l] = int16_t(i);
            last_[l] = int16_t(i);
        }
        for (const auto& [key, i] : sort_keys_) publish_list_links(i);
        publish_head(l);
    }
}

void SpriteSystem::redraw(uint32_t mask) {
    if (!base_) return;
    if (background_ < kPlaneSlots) {
        if (const Plane* p = plane(plane_table().active_page)) {
            std::lock_guard lock(page_state().mutex);
            page_state().dirty.add({0, 0, p->width(), p->height()});
        }
    }
    for (uint32_t l = 0; l < kListCount; ++l) {
        if (!(mask >> l & 1)) continue;
        for (int i = first_[l]; i >= 0; i = slots_[size_t(i)].next)
            if (state(uint32_t(i)) == kStateShown || slots_[size_t(i)].drawn)
                set_flags(uint32_t(i), flags(uint32_t(i)) | kFlagChanged);
    }
}

std::optional<Rect> SpriteSystem::placed_rect(ScriptAddr a) {
    int i = sprite_index(a);
    if (i < 0) return std::nullopt;
    return geometry(uint32_t(i)).placed;
}

std::vector<int> SpriteSystem::list_order(uint32_t list) const {
    std::vector<int> out;
    if (list >= kListCount) return out;
    for (int i = first_[list]; i >= 0 && out.size() <= kSpriteCount; i = slots_[size_t(i)].next)
        out.push_back(i);
    return out;
}

bool SpriteSystem::consistent(std::string* why) const {
    auto fail = [why](const std::string& w) {
        if (why) *why = w;
        return false;
    };
    std::array<int, kSpriteCount> seen{};
    uint32_t listed = 0;
    for (uint32_t l = 0; l < kListCount; ++l) {
        int prev = -1;
        uint32_t steps = 0;
        for (int i = first_[l]; i >= 0; i = slots_[size_t(i)].next) {
            if (++steps > kSpriteCount) return fail("list " + std::to_string(l) + " loops");
            const Slot& s = slots_[size_t(i)];
            if (!s.used) return fail("free record in list " + std::to_string(l));
            if (s.list != l || s.prev != prev)
                return fail("bad back link in list " + std::to_string(l));
            if (seen[size_t(i)]++) return fail("record in two places");
            prev = i;
            ++listed;
        }
        if (last_[l] != prev) return fail("bad list tail");
    }
    if (listed != in_use_) return fail("records in use not all listed");
    for (uint32_t i = 0; i < kSpriteCount; ++i) {
        const Slot& s = slots_[i];
        if (!s.used && (s.parent >= 0 || s.first_child >= 0)) return fail("free record linked");
        uint32_t depth = 0;
        for (int j = s.parent; j >= 0; j = slots_[size_t(j)].parent)
            if (++depth > kSpriteCount) return fail("parent cycle");
    }
    return true;
}

}  // namespace tob::gfx
