// The sprite and hit-area records scripts see by address: their fixed
// little-endian layouts and where they lie in the one block of script memory
// that holds the pools, the list heads, the dummy record and the group heads.
#pragma once

#include <cstddef>
#include <cstdint>

#include "graphics/geometry.h"

namespace tob::gfx {

inline constexpr uint32_t kSpriteCount = 4096;
inline constexpr uint32_t kListCount = 32;
inline constexpr uint32_t kHitCount = 1024;
inline constexpr uint32_t kGroupCount = 32;

// Sprite flag bits.
inline constexpr uint16_t kFlagChanged = 1u << 0;
inline constexpr uint16_t kFlagEveryFrame = 1u << 1;
inline constexpr uint16_t kFlagRemoving = 1u << 13;
inline constexpr uint16_t kFlagOverlapped = 1u << 14;
inline constexpr uint16_t kFlagDrawn = 1u << 15;
inline constexpr uint16_t kDefaultFlags = kFlagEveryFrame;

inline constexpr uint8_t kStateFree = 0;
inline constexpr uint8_t kStateHidden = 1;
inline constexpr uint8_t kStateShown = 2;

inline constexpr int32_t kScaleOne = 0x10000;
inline constexpr uint32_t kAngleMask = 0x7FF;

// A sprite record (140 bytes). Pointer fields hold script addresses.
struct SpriteRecord {
    uint8_t state;
    uint8_t list;
    uint16_t flags;
    uint8_t mirror_x;
    uint8_t mirror_y;
    uint8_t fraction_bits;
    uint8_t reserved0;
    int32_t priority;
    uint32_t plane;
    int32_t x, y;
    int32_t hot_x, hot_y;
    int32_t scale_x, scale_y;
    int32_t effective_scale_x, effective_scale_y;
    uint16_t angle;
    uint16_t effective_angle;
    Rect source;
    uint8_t blend[12];
    Rect bounds;
    Rect placed;
    uint32_t parent;
    uint32_t family_next;
    uint32_t previous;
    uint32_t next;
    uint32_t hit_areas;
    uint32_t dirty_pieces;
    uint8_t reserved1[4];
};
static_assert(sizeof(SpriteRecord) == 140);
static_assert(offsetof(SpriteRecord, flags) == 2 && offsetof(SpriteRecord, fraction_bits) == 6);
static_assert(offsetof(SpriteRecord, priority) == 8 && offsetof(SpriteRecord, plane) == 12);
static_assert(offsetof(SpriteRecord, x) == 16 && offsetof(SpriteRecord, hot_x) == 24);
static_assert(offsetof(SpriteRecord, scale_x) == 32 &&
              offsetof(SpriteRecord, effective_scale_x) == 40);
static_assert(offsetof(SpriteRecord, angle) == 48 && offsetof(SpriteRecord, effective_angle) == 50);
static_assert(offsetof(SpriteRecord, source) == 52 && offsetof(SpriteRecord, blend) == 68);
static_assert(offsetof(SpriteRecord, bounds) == 80 && offsetof(SpriteRecord, placed) == 96);
static_assert(offsetof(SpriteRecord, parent) == 112 && offsetof(SpriteRecord, family_next) == 116);
static_assert(offsetof(SpriteRecord, previous) == 120 && offsetof(SpriteRecord, next) == 124);
static_assert(offsetof(SpriteRecord, hit_areas) == 128 &&
              offsetof(SpriteRecord, dirty_pieces) == 132);

// A hit-area record (44 bytes).
struct HitRecord {
    int32_t group;
    uint32_t mask;
    Rect rect;
    uint32_t sprite;
    int32_t value;
    uint32_t previous;  // 0: the record is free
    uint32_t next;
    uint32_t sprite_next;
};
static_assert(sizeof(HitRecord) == 44);
static_assert(offsetof(HitRecord, mask) == 4 && offsetof(HitRecord, rect) == 8);
static_assert(offsetof(HitRecord, sprite) == 24 && offsetof(HitRecord, value) == 28);
static_assert(offsetof(HitRecord, previous) == 32 && offsetof(HitRecord, next) == 36);
static_assert(offsetof(HitRecord, sprite_next) == 40);

// Record numbers in the block: sprites, then the list heads and the dummy,
// all sprite-shaped; then hit records and the group heads, hit-shaped.
inline constexpr uint32_t kListHeadBase = kSpriteCount;
inline constexpr uint32_t kDummyIndex = kListHeadBase + kListCount;
inline constexpr uint32_t kSpriteShaped = kDummyIndex + 1;
inline constexpr uint32_t kGroupHeadBase = kHitCount;
inline constexpr uint32_t kHitShaped = kHitCount + kGroupCount;
inline constexpr uint32_t kSpriteBlockBytes = kSpriteShaped * sizeof(SpriteRecord);
inline constexpr uint32_t kRecordBlockBytes = kSpriteBlockBytes + kHitShaped * sizeof(HitRecord);

}  // namespace tob::gfx
