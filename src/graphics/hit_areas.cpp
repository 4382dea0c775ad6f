// Hit areas: rectangles in 32 groups, on the page or following a sprite, and
// the searches for the first one overlapping a rectangle or holding a point.
#include <cstring>

#include "graphics/sprites.h"
#include "platform/byte_order.h"

namespace tob::gfx {

void SpriteSystem::publish_hit_links(int h) {
    if (h < 0) return;
    const HitSlot& s = hits_[size_t(h)];
    uint8_t* r = hit_record(uint32_t(h));
    ScriptAddr prev =
        s.prev >= 0 ? hit_address(uint32_t(s.prev)) : hit_address(kGroupHeadBase + s.group);
    store_le32(r + offsetof(HitRecord, previous), prev);
    store_le32(r + offsetof(HitRecord, next), s.next >= 0 ? hit_address(uint32_t(s.next)) : 0);
    store_le32(r + offsetof(HitRecord, sprite_next),
               s.sprite_next >= 0 ? hit_address(uint32_t(s.sprite_next)) : 0);
}

void SpriteSystem::hit_free(uint32_t h) {
    HitSlot& s = hits_[h];
    if (!s.used) return;
    if (s.prev >= 0)
        hits_[size_t(s.prev)].next = s.next;
    else
        group_first_[s.group] = s.next;
    if (s.next >= 0)
        hits_[size_t(s.next)].prev = s.prev;
    else
        group_last_[s.group] = s.prev;
    publish_hit_links(s.prev);
    publish_hit_links(s.next);
    store_le32(hit_record(kGroupHeadBase + s.group) + offsetof(HitRecord, next),
               group_first_[s.group] >= 0 ? hit_address(uint32_t(group_first_[s.group])) : 0);
    if (s.sprite >= 0) {
        Slot& owner = slots_[size_t(s.sprite)];
        int16_t* link = &owner.first_hit;
        int prev = -1;
        while (*link >= 0 && *link != int(h))
            prev = *link, link = &hits_[size_t(*link)].sprite_next;
        if (*link == int(h)) *link = s.sprite_next;
        if (prev >= 0)
            publish_hit_links(prev);
        else
            store_le32(record(uint32_t(s.sprite)) + offsetof(SpriteRecord, hit_areas),
                       owner.first_hit >= 0 ? hit_address(uint32_t(owner.first_hit)) : 0);
    }
    s = HitSlot{};
    uint8_t* r = hit_record(h);
    store_le32(r + offsetof(HitRecord, previous), 0);
    store_le32(r + offsetof(HitRecord, next), 0);
    store_le32(r + offsetof(HitRecord, sprite_next), 0);
}

void SpriteSystem::hit_init(uint32_t mask) {
    if (!base_) return;
    for (uint32_t g = 0; g < kGroupCount; ++g)
        if (mask >> g & 1)
            while (group_first_[g] >= 0) hit_free(uint32_t(group_first_[g]));
}

ScriptAddr SpriteSystem::hit_set(uint32_t group, uint32_t mask, ScriptAddr sprite,
                                 std::optional<Rect> rect, int32_t value) {
    if (!base_ || group >= kGroupCount) return 0;
    int owner = -1;
    if (sprite) {
        owner = is_dummy(sprite) ? int(kDummyIndex) : sprite_index(sprite);
        if (owner < 0 || slots_[size_t(owner)].removing) return 0;
    }
    uint32_t h = 0;
    while (h < kHitCount && hits_[h].used) ++h;
    if (h == kHitCount) return 0;
    if (!rect) {
        rect = Rect{};
        if (owner >= 0) {
            const Rect src = read_sprite_fields(record(uint32_t(owner))).source;
            rect->right = int32_t(uint32_t(src.right) - uint32_t(src.left));
            rect->bottom = int32_t(uint32_t(src.bottom) - uint32_t(src.top));
        }
    }
    HitSlot& s = hits_[h];
    s = HitSlot{};
    s.used = true;
    s.group = uint8_t(group);
    s.sprite = int16_t(owner);
    s.prev = group_last_[group];
    if (s.prev >= 0)
        hits_[size_t(s.prev)].next = int16_t(h);
    else
        group_first_[group] = int16_t(h);
    group_last_[group] = int16_t(h);
    uint8_t* r = hit_record(h);
    std::memset(r, 0, sizeof(HitRecord));
    store_le32(r + offsetof(HitRecord, group), group);
    store_le32(r + offsetof(HitRecord, mask), mask);
    const size_t o = offsetof(HitRecord, rect);
    store_le32(r + o, uint32_t(rect->left));
    store_le32(r + o + 4, uint32_t(rect->top));
    store_le32(r + o + 8, uint32_t(rect->right));
    store_le32(r + o + 12, uint32_t(rect->bottom));
    store_le32(r + offsetof(HitRecord, sprite), owner >= 0 ? sprite : 0);
    store_le32(r + offsetof(HitRecord, value), uint32_t(value));
    if (owner >= 0) {
        Slot& os = slots_[size_t(owner)];
        s.sprite_next = os.first_hit;
        os.first_hit = int16_t(h);
        store_le32(record(uint32_t(owner)) + offsetof(SpriteRecord, hit_areas), hit_address(h));
    }
    publish_hit_links(int(h));
    publish_hit_links(s.prev);
    store_le32(hit_record(kGroupHeadBase + group) + offsetof(HitRecord, next),
               hit_address(uint32_t(group_first_[group])));
    return hit_address(h);
}

uint32_t SpriteSystem::hit_reset(ScriptAddr a) {
    if (!a) return 0;
    int h = hit_index(a);
    if (h < 0) return 0;
    hit_free(uint32_t(h));
    return 1;
}

// An area's rectangle where it lies now. An attached area follows its sprite
// (and the sprite's ancestors) unscaled and unturned; as a candidate it only
// counts while the sprite is shown.
std::optional<Box> SpriteSystem::hit_box(uint32_t h, bool as_subject) {
    const uint8_t* r = hit_record(h);
    const size_t o = offsetof(HitRecord, rect);
    Box b{int32_t(load_le32(r + o)), int32_t(load_le32(r + o + 4)), int32_t(load_le32(r + o + 8)),
          int32_t(load_le32(r + o + 12))};
    const int owner = hits_[h].sprite;
    if (owner < 0) return b;
    if (!as_subject && (owner == int(kDummyIndex) || state(uint32_t(owner)) != kStateShown))
        return std::nullopt;
    const SpriteFields own = read_sprite_fields(record(uint32_t(owner)));
    int64_t dx = -int64_t(own.hot_x), dy = -int64_t(own.hot_y);
    for (int j = owner; j >= 0; j = j == int(kDummyIndex) ? -1 : slots_[size_t(j)].parent) {
        const SpriteFields f = j == owner ? own : read_sprite_fields(record(uint32_t(j)));
        dx += f.x >> f.fraction_bits;
        dy += f.y >> f.fraction_bits;
    }
    return Box{b.left + dx, b.top + dy, b.right + dx, b.bottom + dy};
}

ScriptAddr SpriteSystem::hit_search(uint32_t mask, int skip, const Box* area, int64_t px,
                                    int64_t py) {
    for (uint32_t g = 0; g < kGroupCount; ++g) {
        if (!(mask >> g & 1)) continue;
        for (int h = group_first_[g]; h >= 0; h = hits_[size_t(h)].next) {
            if (h == skip) continue;
            if (load_le32(hit_record(uint32_t(h)) + offsetof(HitRecord, mask)) == 0) continue;
            const auto b = hit_box(uint32_t(h), false);
            if (!b) continue;
            const bool hit = area
                                 ? area->left < b->right && b->left < area->right &&
                                       area->top < b->bottom && b->top < area->bottom
                                 : px >= b->left && px < b->right && py >= b->top && py < b->bottom;
            if (hit) return hit_address(uint32_t(h));
        }
    }
    return 0;
}

ScriptAddr SpriteSystem::hit_check(ScriptAddr a) {
    const int h = hit_index(a);
    if (h < 0 || !hits_[size_t(h)].used) return 0;
    const uint32_t mask = load_le32(hit_record(uint32_t(h)) + offsetof(HitRecord, mask));
    if (mask == 0) return 0;
    const auto own = hit_box(uint32_t(h), true);
    return own ? hit_search(mask, h, &*own, 0, 0) : 0;
}

ScriptAddr SpriteSystem::hit_rect(const Rect& r, uint32_t mask) {
    if (!base_) return 0;
    const Box b = Box::of(r);
    return hit_search(mask, -1, &b, 0, 0);
}

ScriptAddr SpriteSystem::hit_point(int32_t x, int32_t y, uint32_t mask) {
    if (!base_) return 0;
    return hit_search(mask, -1, nullptr, x, y);
}

}  // namespace tob::gfx
