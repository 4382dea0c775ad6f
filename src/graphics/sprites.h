// Sprites and hit areas. The records live in script memory where scripts read
// and write them; the engine keeps its own truth beside them (which records
// are in use, list order, parents, hit links, what was drawn where) and
// copies the links out after every change. It never follows a pointer read
// from a record, so whatever a script writes, it can only spoil the picture.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "graphics/blend_mode.h"
#include "graphics/geometry.h"
#include "graphics/sprite_records.h"
#include "vm/script_memory.h"

namespace tob::gfx {

class Plane;

inline constexpr uint32_t kPieceCount = 8192;
inline constexpr uint32_t kNoBackground = 1024;

// A sprite's position worked out from its fields and its ancestors'.
struct SpriteGeometry {
    int64_t x = 0, y = 0;  // hot spot, 16.16
    int32_t scale_x = kScaleOne, scale_y = kScaleOne;
    uint16_t angle = 0;
    Rect placed, bounds;  // bounds normalised
};

// The fields the engine reads from a sprite record, read at once.
struct SpriteFields {
    uint8_t state = 0;
    uint16_t flags = 0;
    bool mirror_x = false, mirror_y = false;
    uint8_t fraction_bits = 0;  // & 31
    int32_t priority = 0;
    uint32_t plane = 0;
    int32_t x = 0, y = 0, hot_x = 0, hot_y = 0;
    int32_t scale_x = kScaleOne, scale_y = kScaleOne;
    uint16_t angle = 0;
    Rect source;
    BlendRecord blend;
};
SpriteFields read_sprite_fields(const uint8_t* record);

// A sprite's geometry from its fields and its parent's geometry (null for a
// root, which the list origin moves instead).
SpriteGeometry compute_geometry(const SpriteFields& f, const SpriteGeometry* parent,
                                int32_t origin_x, int32_t origin_y);

// What a sprite was last drawn from: a redraw inside a piece repeats it.
struct SpriteDrawing {
    SpriteGeometry geometry;
    uint32_t plane = kNoBackground;
    bool mirror_x = false, mirror_y = false;
    Rect source;
    BlendRecord blend;
};

class SpriteSystem {
  public:
    SpriteSystem();

    // Engine initialisation: takes a zeroed block of script memory for the
    // records and forgets everything. False when memory is exhausted.
    bool attach(ScriptMemory& mem);
    // Shutdown: frees the block.
    void detach();
    bool attached() const { return base_ != nullptr; }

    // Addresses scripts see.
    ScriptAddr sprite_address(uint32_t i) const {
        return addr_ + i * uint32_t(sizeof(SpriteRecord));
    }
    ScriptAddr dummy_address() const { return sprite_address(kDummyIndex); }
    ScriptAddr hit_address(uint32_t i) const {
        return addr_ + kSpriteBlockBytes + i * uint32_t(sizeof(HitRecord));
    }
    // The pool index of a sprite in use (removal pending included) whose
    // exact address this is, or -1.
    int sprite_index(ScriptAddr a) const;
    bool is_dummy(ScriptAddr a) const { return base_ && a == dummy_address(); }
    int hit_index(ScriptAddr a) const;

    // Sprite built-ins.
    void init(uint32_t mask);
    uint16_t set_default_flags(uint16_t flags);
    uint32_t set_background(uint32_t plane);
    uint32_t background() const { return background_; }
    void set_background_origin(int32_t x, int32_t y);
    void set_origin(uint32_t mask, int32_t x, int32_t y);
    ScriptAddr create(uint32_t list, uint32_t state, int32_t x, int32_t y, uint32_t plane,
                      std::optional<Rect> source, const BlendRecord& blend);
    uint32_t reset(ScriptAddr sprite);
    uint32_t link(ScriptAddr parent, ScriptAddr child);
    void sort(uint32_t mask, uint32_t how);
    void redraw(uint32_t mask);
    // One frame; the update rectangle cut to the active page's clip, or
    // nullopt when there is no active page.
    std::optional<Rect> draw(uint32_t mask);
    std::optional<Rect> placed_rect(ScriptAddr sprite);
    uint32_t count() const { return in_use_; }

    // Hit-area built-ins.
    void hit_init(uint32_t mask);
    ScriptAddr hit_set(uint32_t group, uint32_t mask, ScriptAddr sprite, std::optional<Rect> rect,
                       int32_t value);
    uint32_t hit_reset(ScriptAddr hit);
    ScriptAddr hit_check(ScriptAddr hit);
    ScriptAddr hit_rect(const Rect& r, uint32_t mask);
    ScriptAddr hit_point(int32_t x, int32_t y, uint32_t mask);

    // For tests: pool indexes of a list in draw order, whether the engine's
    // lists and links hold together (a reason when not), and the number of
    // frames that fell back to a full redraw.
    std::vector<int> list_order(uint32_t list) const;
    bool consistent(std::string* why = nullptr) const;
    uint32_t full_redraws() const { return full_redraws_; }

    // The geometry of a sprite from its present fields.
    SpriteGeometry geometry(uint32_t i);

  private:
    struct Slot {
        bool used = false, removing = false, drawn = false;
        uint8_t list = 0;
        int16_t prev = -1, next = -1;
        int16_t parent = -1, first_child = -1, next_sibling = -1;
        int16_t first_hit = -1;
        int32_t first_piece = -1;
        uint32_t geometry_stamp = 0, family_stamp = 0;
        Rect drawn_bounds;
        SpriteGeometry geometry;
        SpriteDrawing drawing;
    };
    struct HitSlot {
        bool used = false;
        uint8_t group = 0;
        int16_t prev = -1, next = -1;
        int16_t sprite = -1;  // pool index, kDummyIndex, or -1
        int16_t sprite_next = -1;
    };
    struct Piece {
        Rect r;
        int32_t next;
    };

    uint8_t* record(uint32_t i) const { return base_ + i * sizeof(SpriteRecord); }
    uint8_t* hit_record(uint32_t i) const {
        return base_ + kSpriteBlockBytes + i * sizeof(HitRecord);
    }
    uint16_t flags(uint32_t i) const;
    void set_flags(uint32_t i, uint16_t f);
    uint8_t state(uint32_t i) const;

    // Links: engine truth first, then the record fields that show it.
    void list_append(uint32_t i, uint32_t list);
    void list_remove(uint32_t i);
    void list_insert_after(uint32_t i, uint32_t after);
    void publish_list_links(int i);
    void publish_head(uint32_t list);
    void next_stamp();
    void publish_family(int root);
    int root_of(int i) const;
    void detach_from_parent(int i);
    void free_sprite(uint32_t i);
    void mark_removed(int i);
    // Empties every list; `records` also zeroes the records in script memory
    // (a block fresh from the allocator, or about to go back to it, is zero
    // anyway).
    void clear_all(bool records = true);

    const SpriteGeometry& frame_geometry(uint32_t i);
    SpriteGeometry compute(uint32_t i, const SpriteGeometry* parent);
    SpriteDrawing read_drawing(uint32_t i);

    // Frame work.
    void changed_area(const Rect& r);
    void offer(const Box& area);
    void add_pieces(uint32_t i, const Box& overlap);
    void draw_sprite(Plane& page, const SpriteDrawing& d);
    void mark_family(int i);
    void unite_update(const Box& b);

    // Hit areas.
    void hit_free(uint32_t h);
    void publish_hit_links(int h);
    std::optional<Box> hit_box(uint32_t h, bool as_subject);
    ScriptAddr hit_search(uint32_t mask, int skip, const Box* area, int64_t px, int64_t py);

    ScriptMemory* mem_ = nullptr;
    ScriptAddr addr_ = 0;
    uint8_t* base_ = nullptr;

    std::array<Slot, kSpriteShaped> slots_;
    std::array<int16_t, kListCount> first_{}, last_{};
    std::array<int32_t, kListCount> origin_x_{}, origin_y_{};
    uint32_t in_use_ = 0;
    uint16_t default_flags_ = kDefaultFlags;
    uint32_t background_ = kNoBackground;
    int32_t bg_x_ = 0, bg_y_ = 0;
    uint32_t stamp_ = 0;

    std::array<HitSlot, kHitShaped> hits_;
    std::array<int16_t, kGroupCount> group_first_{}, group_last_{};

    // Per frame, allocated once.
    std::vector<Piece> pieces_;
    uint32_t pieces_used_ = 0;
    static constexpr size_t kFragmentCapacity = 4 * kPieceCount;
    std::vector<Box> fragments_, fragments2_;
    std::array<uint16_t, kSpriteCount> free_stack_{};
    uint32_t free_count_ = 0;
    std::vector<uint16_t> statics_;  // drawn, shown, unchanged sprites of the frame
    std::vector<uint16_t> chain_;    // ancestors while computing geometry
    std::vector<uint16_t> family_stack_;
    std::vector<std::pair<int64_t, uint16_t>> sort_keys_, sort_tmp_;
    Box clip_;               // the active page's clip during a frame
    bool overflow_ = false;  // the piece pool or the dirty list ran out
    Box update_{0, 0, 0, 0};
    bool update_empty_ = true;
    uint32_t full_redraws_ = 0;
};

SpriteSystem& sprites();

}  // namespace tob::gfx
