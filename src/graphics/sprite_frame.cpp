// One frame of sprites: find what changed, restore the background there,
// redraw the changed sprites whole and the unchanged ones only inside the
// pieces of changed area that cover them. Nothing is allocated per frame.
#include <algorithm>

#include "graphics/blitter.h"
#include "graphics/pages.h"
#include "graphics/plane.h"
#include "graphics/plane_table.h"
#include "graphics/sprites.h"

namespace tob::gfx {
namespace {

Rect to_rect(const Box& b) {
    return {int32_t(b.left), int32_t(b.top), int32_t(b.right), int32_t(b.bottom)};
}

// Keeps a plane's clip rectangle and puts it back.
struct ClipGuard {
    Plane& p;
    Rect saved;
    explicit ClipGuard(Plane& plane) : p(plane), saved(plane.clip()) {}
    ~ClipGuard() { p.set_clip(saved); }
};

}  // namespace

void SpriteSystem::unite_update(const Box& b) {
    if (b.empty()) return;
    if (update_empty_) {
        update_ = b;
        update_empty_ = false;
        return;
    }
    update_ = {std::min(update_.left, b.left), std::min(update_.top, b.top),
               std::max(update_.right, b.right), std::max(update_.bottom, b.bottom)};
}

// Sets bit 0 on a sprite's whole family (once per frame per family).
void SpriteSystem::mark_family(int top) {
    if (slots_[size_t(top)].family_stamp == stamp_) return;
    chain_.clear();
    chain_.push_back(uint16_t(top));
    while (!chain_.empty()) {
        const uint32_t i = chain_.back();
        chain_.pop_back();
        Slot& s = slots_[i];
        if (s.family_stamp == stamp_) continue;
        s.family_stamp = stamp_;
        set_flags(i, flags(i) | kFlagChanged);
        for (int c = s.first_child; c >= 0; c = slots_[size_t(c)].next_sibling)
            chain_.push_back(uint16_t(c));
    }
}

// An area whose picture is restored this frame: unchanged sprites under it
// get pieces to redraw.
void SpriteSystem::offer(const Box& area) {
    unite_update(area);
    const Box b = area.intersect(clip_);
    if (b.empty()) return;
    for (uint16_t i : statics_) {
        const Box o = b.intersect(Box::of(slots_[i].drawn_bounds));
        if (o.empty()) continue;
        set_flags(i, flags(i) | kFlagOverlapped);
        add_pieces(i, o);
    }
}

void SpriteSystem::changed_area(const Rect& r) {
    if (!page_state().dirty.add(r)) overflow_ = true;
    offer(Box::of(r));
}

// Adds the part of `overlap` not yet covered by the sprite's pieces, cut into
// rectangles that do not overlap them.
void SpriteSystem::add_pieces(uint32_t i, const Box& overlap) {
    Slot& s = slots_[i];
    fragments_.clear();
    fragments_.push_back(overlap);
    for (int32_t p = s.first_piece; p >= 0 && !fragments_.empty(); p = pieces_[size_t(p)].next) {
        const Box pb = Box::of(pieces_[size_t(p)].r);
        fragments2_.clear();
        for (const Box& f : fragments_) {
            const Box x = f.intersect(pb);
            if (x.empty()) {
                if (fragments2_.size() == kFragmentCapacity) return void(overflow_ = true);
                fragments2_.push_back(f);
                continue;
            }
            if (fragments2_.size() + 4 > kFragmentCapacity) return void(overflow_ = true);
            if (f.top < x.top) fragments2_.push_back({f.left, f.top, f.right, x.top});
            if (x.bottom < f.bottom) fragments2_.push_back({f.left, x.bottom, f.right, f.bottom});
            if (f.left < x.left) fragments2_.push_back({f.left, x.top, x.left, x.bottom});
            if (x.right < f.right) fragments2_.push_back({x.right, x.top, f.right, x.bottom});
        }
        fragments_.swap(fragments2_);
    }
    for (const Box& f : fragments_) {
        if (pieces_used_ == kPieceCount) return void(overflow_ = true);
        Piece& piece = pieces_[pieces_used_];
        piece.r = to_rect(f);
        piece.next = s.first_piece;
        s.first_piece = int32_t(pieces_used_++);
    }
}

// Draws a sprite as it was read: the unscaled copy when nothing scales, turns
// or mirrors it, the scaled copy otherwise; a turned sprite stays inside its
// bounding rectangle.
void SpriteSystem::draw_sprite(Plane& page, const SpriteDrawing& d) {
    if (d.plane >= kPlaneSlots || d.blend.mode >= kModeCount) return;
    const Plane* src = plane(d.plane);
    if (!src) return;
    const Plane* mask = plane_table().mask_of(d.plane);
    const SpriteGeometry& g = d.geometry;
    const bool turned = (g.angle & kAngleMask) != 0;
    if (g.scale_x == kScaleOne && g.scale_y == kScaleOne && !turned && !d.mirror_x && !d.mirror_y) {
        copy_unscaled(page, g.placed.left, g.placed.top, *src, mask, d.source, d.blend);
        return;
    }
    Rect dst = g.placed;
    if (d.mirror_x) std::swap(dst.left, dst.right);
    if (d.mirror_y) std::swap(dst.top, dst.bottom);
    if (!turned) {
        copy_scaled(page, dst, *src, mask, d.source, d.blend, g.angle);
        return;
    }
    ClipGuard guard(page);
    const Box clip = Box::of(guard.saved).intersect(Box::of(g.bounds));
    if (clip.empty()) return;
    page.set_clip(to_rect(clip));
    copy_scaled(page, dst, *src, mask, d.source, d.blend, g.angle);
}

std::optional<Rect> SpriteSystem::draw(uint32_t mask) {
    Plane* page = plane(plane_table().active_page);
    if (!page || !base_) return std::nullopt;
    clip_ = Box::of(page->clip()).intersect(page->bounds());
    PageState& ps = page_state();
    std::lock_guard lock(ps.mutex);
    Plane* bg = background_ < kPlaneSlots ? plane(background_) : nullptr;
    next_stamp();
    overflow_ = false;
    pieces_used_ = 0;
    for (uint32_t i = 0; i < kSpriteCount; ++i) slots_[i].first_piece = -1;
    auto selected = [mask](uint32_t l) { return (mask >> l & 1) != 0; };

    // Preparation 1: every sprite that changes takes its family along, shown
    // or not (a hidden parent that moves still moves its children).
    for (uint32_t l = 0; l < kListCount; ++l) {
        if (!selected(l)) continue;
        for (int i = first_[l]; i >= 0; i = slots_[size_t(i)].next)
            if (!slots_[size_t(i)].removing && (flags(uint32_t(i)) & 3)) mark_family(i);
    }
    statics_.clear();
    for (uint32_t l = 0; l < kListCount; ++l) {
        if (!selected(l)) continue;
        for (int i = first_[l]; i >= 0; i = slots_[size_t(i)].next)
            if (state(uint32_t(i)) == kStateShown && slots_[size_t(i)].drawn &&
                !(flags(uint32_t(i)) & 3))
                statics_.push_back(uint16_t(i));
    }
    // Whatever the dirty list already holds is restored too.
    if (bg)
        for (const Rect& r : ps.dirty.rects()) offer(Box::of(r));

    // Preparation 2: the changed areas.
    for (uint32_t l = 0; l < kListCount; ++l) {
        if (!selected(l)) continue;
        for (int n = first_[l]; n >= 0; n = slots_[size_t(n)].next) {
            const uint32_t i = uint32_t(n);
            Slot& s = slots_[i];
            const uint16_t f = flags(i);
            if (state(i) != kStateShown) {
                if (!s.drawn) continue;
                set_flags(i, f & ~(kFlagChanged | kFlagOverlapped | kFlagDrawn));
                s.drawn = false;
                changed_area(s.drawn_bounds);
            } else if (s.drawn) {
                if (!(f & 3)) continue;
                s.drawing = read_drawing(i);
                if (s.drawing.geometry.bounds != s.drawn_bounds) changed_area(s.drawn_bounds);
                changed_area(s.drawing.geometry.bounds);
            } else {
                s.drawing = read_drawing(i);
                if (Box::of(s.drawing.geometry.bounds).intersect(clip_).empty()) continue;
                set_flags(i, f | kFlagChanged);
                changed_area(s.drawing.geometry.bounds);
            }
        }
    }

    // A frame that lost track of some change redraws everything selected.
    if (overflow_ && bg) {
        ++full_redraws_;
        ps.dirty.clear();
        ps.dirty.add(to_rect(clip_));
        unite_update(clip_);
        for (uint32_t l = 0; l < kListCount; ++l) {
            if (!selected(l)) continue;
            for (int i = first_[l]; i >= 0; i = slots_[size_t(i)].next) {
                if (state(uint32_t(i)) != kStateShown) continue;
                slots_[size_t(i)].drawing = read_drawing(uint32_t(i));
                set_flags(uint32_t(i), flags(uint32_t(i)) | kFlagChanged);
            }
        }
    }

    // Drawing.
    if (bg) {
        const int64_t ox = std::clamp<int64_t>(-int64_t(bg_x_), -(1 << 30), 1 << 30);
        const int64_t oy = std::clamp<int64_t>(-int64_t(bg_y_), -(1 << 30), 1 << 30);
        ps.dirty.copy(*page, int32_t(ox), int32_t(oy), *bg, std::nullopt);
    }
    for (uint32_t l = 0; l < kListCount; ++l) {
        for (int n = first_[l]; n >= 0;) {
            const uint32_t i = uint32_t(n);
            Slot& s = slots_[i];
            n = s.next;
            if (s.removing) {
                free_sprite(i);
                continue;
            }
            if (!selected(l)) continue;
            const uint16_t f = flags(i);
            if (!(f & (kFlagChanged | kFlagEveryFrame | kFlagOverlapped))) continue;
            if (state(i) != kStateShown) {
                if (s.drawn) unite_update(Box::of(s.drawn_bounds));
                s.drawn = false;
                set_flags(i, f & ~(kFlagChanged | kFlagOverlapped | kFlagDrawn));
            } else if (f & 3) {
                set_flags(i, f & ~(kFlagChanged | kFlagOverlapped | kFlagDrawn));
                s.drawn = false;
                const Box visible = Box::of(s.drawing.geometry.bounds).intersect(clip_);
                if (visible.empty()) continue;
                draw_sprite(*page, s.drawing);
                unite_update(visible);
                set_flags(i, flags(i) | kFlagDrawn);
                s.drawn = true;
                s.drawn_bounds = s.drawing.geometry.bounds;
            } else {
                ClipGuard guard(*page);
                for (int32_t p = s.first_piece; p >= 0; p = pieces_[size_t(p)].next) {
                    const Box b = Box::of(pieces_[size_t(p)].r).intersect(clip_);
                    if (b.empty()) continue;
                    page->set_clip(to_rect(b));
                    draw_sprite(*page, s.drawing);
                    unite_update(b);
                }
                set_flags(i, f & ~(kFlagChanged | kFlagOverlapped));
            }
        }
    }
    for (uint32_t i = 0; i < kSpriteCount; ++i) slots_[i].first_piece = -1;
    pieces_used_ = 0;

    const Box out = update_empty_ ? Box{} : update_.intersect(clip_);
    update_empty_ = true;
    return out.empty() ? Rect{} : to_rect(out);
}

}  // namespace tob::gfx
