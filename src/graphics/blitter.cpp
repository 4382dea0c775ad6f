// The copy engine: clipping, source sampling, and the row loop.
#include "graphics/blitter.h"

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "graphics/blend_tables.h"

namespace tob::gfx {
namespace {

using i128 = __int128;

constexpr uint32_t kAngleMask = 0x7FF;
constexpr uint32_t kQuarterTurn = 512;
constexpr int64_t kFixedOne = 65536;

bool copy_depth(uint32_t d) {
    return d == 8 || d == 16 || d == 24 || d == 32;
}

// Where source pixels are read from: a plane, or a snapshot of part of one
// (when source and destination are the same plane).
struct SourceView {
    const uint8_t* base = nullptr;  // pixel (ox, oy)
    int64_t step = 0;
    int64_t ox = 0, oy = 0;
    uint32_t bpp = 0;
    uint32_t depth = 0;
    std::vector<uint8_t> copy;

    const uint8_t* at(int64_t x, int64_t y) const {
        return base + (y - oy) * step + (x - ox) * bpp;
    }

    static SourceView of(const Plane& p) {
        SourceView v;
        v.depth = p.depth();
        v.bpp = p.depth() / 8;
        v.base = p.height() ? p.row(0) : p.bits();
        v.step = -int64_t(p.pitch());
        return v;
    }
    // A private copy of `area` (inside the plane) of p.
    static SourceView snapshot(const Plane& p, const Box& area) {
        SourceView v = of(p);
        size_t row = size_t(area.width()) * v.bpp;
        v.copy.resize(row * size_t(area.height()));
        for (int64_t y = area.top; y < area.bottom; ++y)
            std::memcpy(&v.copy[size_t(y - area.top) * row], v.at(area.left, y), row);
        v.base = v.copy.data();
        v.step = int64_t(row);
        v.ox = area.left;
        v.oy = area.top;
        return v;
    }
};

// The value a mask plane gives at a pixel: its first byte (a 16-bit mask's
// blue field, widened).
uint8_t mask_value(const uint8_t* p, uint32_t depth) {
    if (depth == 16) return blend_tables().widen5[p[0] & 31];
    return p[0];
}

// Everything one copy needs besides geometry.
struct Job {
    PreparedBlend blend;
    Box src_limit;  // source plane, cut to the mask plane when one is read
    const Plane* mask = nullptr;
    uint32_t sbpp = 0, dbpp = 0;
};

std::optional<Job> make_job(const Plane& dst, const Plane& src, const Plane* mask,
                            const BlendRecord& rec) {
    if (!copy_depth(dst.depth()) || !copy_depth(src.depth())) return std::nullopt;
    bool has_mask = mask && copy_depth(mask->depth());
    auto blend = prepare_blend(rec, dst, src, has_mask);
    if (!blend) return std::nullopt;
    Job j;
    j.blend = *blend;
    j.src_limit = src.bounds();
    if (j.blend.masked) {
        j.mask = mask;
        j.src_limit = j.src_limit.intersect(mask->bounds());
    }
    j.sbpp = src.depth() / 8;
    j.dbpp = dst.depth() / 8;
    return j;
}

Box clip_box(const Plane& p) {
    return Box::of(p.clip()).intersect(p.bounds());
}

// Views of the source and mask, snapshotted where the destination is the same
// plane so that overlapping copies read the pixels as they were.
struct Views {
    SourceView src, mask;
    Views(const Plane& dst, const Plane& src_plane, const Job& j, const Box& area) {
        src =
            &src_plane == &dst ? SourceView::snapshot(src_plane, area) : SourceView::of(src_plane);
        if (j.mask)
            mask = j.mask == &dst ? SourceView::snapshot(*j.mask, area) : SourceView::of(*j.mask);
    }
};

// Copies n source pixels of `bpp` bytes into a contiguous row.
void gather(uint8_t* out, const SourceView& v, int64_t y, const int64_t* xs, size_t n) {
    const uint8_t* row = v.at(v.ox, y);
    switch (v.bpp) {
        case 1:
            for (size_t i = 0; i < n; ++i) out[i] = row[xs[i] - v.ox];
            break;
        case 2:
            for (size_t i = 0; i < n; ++i) std::memcpy(out + 2 * i, row + (xs[i] - v.ox) * 2, 2);
            break;
        case 3:
            for (size_t i = 0; i < n; ++i) std::memcpy(out + 3 * i, row + (xs[i] - v.ox) * 3, 3);
            break;
        default:
            for (size_t i = 0; i < n; ++i) std::memcpy(out + 4 * i, row + (xs[i] - v.ox) * 4, 4);
            break;
    }
}

void gather_mask(uint8_t* out, const SourceView& v, int64_t y, const int64_t* xs, size_t n) {
    const uint8_t* row = v.at(v.ox, y);
    for (size_t i = 0; i < n; ++i) out[i] = mask_value(row + (xs[i] - v.ox) * v.bpp, v.depth);
}

// One axis of a scaled copy: destination index i (0..n-1) samples source
// coordinate src_start + floor(j * step / 2^32), j = i, or n - 1 - i mirrored.
struct Axis {
    int64_t dst_start = 0, n = 0, src_start = 0;
    uint64_t step = 0;  // 32.32 source pixels per destination pixel
    bool mirror = false;

    int64_t source(int64_t i) const {
        int64_t j = mirror ? n - 1 - i : i;
        return src_start + int64_t((unsigned __int128)(uint64_t)j * step >> 32);
    }
    // First j whose source coordinate is at least `limit`.
    int64_t first_reaching(int64_t limit) const {
        i128 k = i128(limit) - src_start;
        if (k <= 0) return 0;
        i128 j = ((k << 32) + i128(step) - 1) / i128(step);
        return j > n ? n : int64_t(j);
    }
    // Destination indexes [lo, hi) that land inside the destination range
    // [dlo, dhi) and sample inside [slo, shi).
    std::pair<int64_t, int64_t> valid(int64_t dlo, int64_t dhi, int64_t slo, int64_t shi) const {
        int64_t jlo = first_reaching(slo), jhi = first_reaching(shi);
        int64_t lo = mirror ? n - jhi : jlo, hi = mirror ? n - jlo : jhi;
        lo = std::max(lo, dlo - dst_start);
        hi = std::min(hi, dhi - dst_start);
        return {lo, hi};
    }
};

// Normalises a rectangle, returning whether it was given mirrored per axis.
Box normalise(const Rect& r, bool& mx, bool& my) {
    Box b = Box::of(r);
    if (b.left > b.right) std::swap(b.left, b.right), mx = !mx;
    if (b.top > b.bottom) std::swap(b.top, b.bottom), my = !my;
    return b;
}

const std::array<int32_t, 2048>& sine_table() {
    static const std::array<int32_t, 2048> t = [] {
        std::array<int32_t, 2048> s{};
        for (size_t i = 0; i < s.size(); ++i)
            s[i] = int32_t(std::lround(std::sin(double(i) * std::numbers::pi / 1024.0) * 65536.0));
        return s;
    }();
    return t;
}

int64_t floor_div(i128 n, i128 d) {
    i128 q = n / d;
    if ((n % d != 0) && ((n < 0) != (d < 0))) --q;
    return int64_t(q);
}

uint32_t copy_rotated(Plane& dst, const Plane& src, Job& j, Box d, Box s, bool mx, bool my,
                      uint32_t angle);

// Row buffers of one copy, kept per thread so that copies made every frame
// (sprites) allocate nothing once warm.
struct Scratch {
    std::vector<uint8_t> row, mask_row;
    std::vector<int64_t> xs, ys;
};
Scratch& scratch() {
    thread_local Scratch s;
    return s;
}

}  // namespace

int32_t rotation_sine(uint32_t angle) {
    return sine_table()[angle & kAngleMask];
}

uint32_t copy_unscaled(Plane& dst, int32_t x, int32_t y, const Plane& src, const Plane* mask,
                       std::optional<Rect> src_rect, const BlendRecord& rec) {
    auto job = make_job(dst, src, mask, rec);
    if (!job) return 0;
    Box s = src_rect ? Box::of(*src_rect) : src.bounds();
    if (s.empty()) return 0;
    Box d{x, y, x + s.width(), y + s.height()};
    Box dc = d.intersect(clip_box(dst));
    if (dc.empty()) return 0;
    s = {s.left + dc.left - d.left, s.top + dc.top - d.top, 0, 0};
    s.right = s.left + dc.width();
    s.bottom = s.top + dc.height();
    Box sc = s.intersect(job->src_limit);
    if (sc.empty()) return 0;
    dc = {dc.left + sc.left - s.left, dc.top + sc.top - s.top, 0, 0};
    dc.right = dc.left + sc.width();
    dc.bottom = dc.top + sc.height();
    const PreparedBlend& b = job->blend;
    if (!b.draws || !b.kernel) return 1;

    Views v(dst, src, *job, sc);
    const uint32_t n = uint32_t(sc.width());
    std::vector<uint8_t>& mask_row = scratch().mask_row;
    mask_row.resize(job->mask ? n : 0);
    std::vector<int64_t>& xs = scratch().xs;
    xs.clear();
    if (job->mask && job->mask->depth() != 8) {
        xs.resize(n);
        for (uint32_t i = 0; i < n; ++i) xs[i] = sc.left + i;
    }
    // Planes are bottom-up: walking from the last row to the first reads and
    // writes memory in ascending order, which the prefetchers follow best.
    for (int64_t r = sc.height() - 1; r >= 0; --r) {
        const uint8_t* m = nullptr;
        if (job->mask) {
            if (xs.empty()) {
                m = v.mask.at(sc.left, sc.top + r);
            } else {
                gather_mask(mask_row.data(), v.mask, sc.top + r, xs.data(), n);
                m = mask_row.data();
            }
        }
        b.kernel(dst.row(int32_t(dc.top + r)) + dc.left * job->dbpp, v.src.at(sc.left, sc.top + r),
                 m, n, b.params);
    }
    return 1;
}

uint32_t copy_scaled(Plane& dst, std::optional<Rect> dst_rect, const Plane& src, const Plane* mask,
                     std::optional<Rect> src_rect, const BlendRecord& rec, uint32_t angle) {
    auto job = make_job(dst, src, mask, rec);
    if (!job) return 0;
    bool mx = false, my = false;
    Box d = dst_rect ? normalise(*dst_rect, mx, my) : dst.bounds();
    Box s = src_rect ? normalise(*src_rect, mx, my) : src.bounds();
    if (d.empty() || s.empty()) return 0;
    if (angle & kAngleMask) return copy_rotated(dst, src, *job, d, s, mx, my, angle);

    Axis ax{d.left, d.width(), s.left, uint64_t(s.width()) * (1ull << 32) / uint64_t(d.width()),
            mx};
    Axis ay{d.top, d.height(), s.top, uint64_t(s.height()) * (1ull << 32) / uint64_t(d.height()),
            my};
    Box clip = clip_box(dst);
    auto [x0, x1] = ax.valid(clip.left, clip.right, job->src_limit.left, job->src_limit.right);
    auto [y0, y1] = ay.valid(clip.top, clip.bottom, job->src_limit.top, job->src_limit.bottom);
    if (x0 >= x1 || y0 >= y1) return 0;
    const PreparedBlend& b = job->blend;
    if (!b.draws || !b.kernel) return 1;

    const size_t n = size_t(x1 - x0);
    std::vector<int64_t>& xs = scratch().xs;
    xs.resize(n);
    for (size_t i = 0; i < n; ++i) xs[i] = ax.source(x0 + int64_t(i));
    Box used{std::min(xs.front(), xs.back()), std::min(ay.source(y0), ay.source(y1 - 1)), 0, 0};
    used.right = std::max(xs.front(), xs.back()) + 1;
    used.bottom = std::max(ay.source(y0), ay.source(y1 - 1)) + 1;
    Views v(dst, src, *job, used);
    std::vector<uint8_t>& row = scratch().row;
    std::vector<uint8_t>& mask_row = scratch().mask_row;
    row.resize(n * job->sbpp);
    mask_row.resize(job->mask ? n : 0);
    for (int64_t i = y0; i < y1; ++i) {
        int64_t sy = ay.source(i);
        gather(row.data(), v.src, sy, xs.data(), n);
        if (job->mask) gather_mask(mask_row.data(), v.mask, sy, xs.data(), n);
        b.kernel(dst.row(int32_t(d.top + i)) + (d.left + x0) * job->dbpp, row.data(),
                 mask_row.data(), uint32_t(n), b.params);
    }
    return 1;
}

namespace {

// Rotation: each destination pixel of the rotated box is mapped back through
// the inverse rotation and the scale to a source pixel; pixels whose source
// lies inside the source rectangle are drawn, run by run.
uint32_t copy_rotated(Plane& dst, const Plane& src, Job& j, Box d, Box s, bool mx, bool my,
                      uint32_t angle) {
    if (mx != my) angle = 0u - angle;
    const int64_t sn = rotation_sine(angle), cs = rotation_sine(angle + kQuarterTurn);
    const int64_t W = d.width(), H = d.height();
    const int64_t bw = (std::llabs(sn * H) + std::llabs(cs * W) + kFixedOne / 2) >> 16;
    const int64_t bh = (std::llabs(cs * H) + std::llabs(sn * W) + kFixedOne / 2) >> 16;
    const int64_t cx2 = d.left + d.right, cy2 = d.top + d.bottom;
    Box box{(cx2 - bw) >> 1, (cy2 - bh) >> 1, 0, 0};
    box.right = box.left + bw;
    box.bottom = box.top + bh;
    box = box.intersect(clip_box(dst));
    if (box.empty()) return 0;
    const PreparedBlend& b = j.blend;
    if (!b.draws || !b.kernel) return 1;

    const Box limit = s.intersect(j.src_limit);
    if (limit.empty()) return 1;
    Views v(dst, src, j, limit);
    const int64_t sx_sign = mx ? -1 : 1, sy_sign = my ? -1 : 1;
    // Source x = floor(NX / DX) with NX = scx2*W*2^16 + sx_sign*u*sw, u the
    // rotated offset in half pixels * 2^16; the same for y. Stepped per pixel
    // as quotient and remainder.
    const i128 DX = i128(2) * W * kFixedOne, DY = i128(2) * H * kFixedOne;
    const i128 incx = i128(sx_sign) * 2 * cs * s.width();
    const i128 incy = i128(sy_sign) * -2 * sn * s.height();
    const int64_t iqx = floor_div(incx, DX), iqy = floor_div(incy, DY);
    const int64_t irx = int64_t(incx - i128(iqx) * DX), iry = int64_t(incy - i128(iqy) * DY);
    const int64_t dx_den = int64_t(DX), dy_den = int64_t(DY);

    const size_t width = size_t(box.width());
    std::vector<uint8_t>& row = scratch().row;
    std::vector<uint8_t>& mask_row = scratch().mask_row;
    std::vector<int64_t>& xs = scratch().xs;
    std::vector<int64_t>& ys = scratch().ys;
    row.resize(width * j.sbpp);
    mask_row.resize(j.mask ? width : 0);
    xs.resize(width);
    ys.clear();
    ys.reserve(width);
    for (int64_t py = box.top; py < box.bottom; ++py) {
        const int64_t dx2 = 2 * box.left + 1 - cx2, dy2 = 2 * py + 1 - cy2;
        const i128 u = i128(cs) * dx2 + i128(sn) * dy2, w = -i128(sn) * dx2 + i128(cs) * dy2;
        const i128 nx = i128(s.left + s.right) * W * kFixedOne + sx_sign * u * s.width();
        const i128 ny = i128(s.top + s.bottom) * H * kFixedOne + sy_sign * w * s.height();
        int64_t qx = floor_div(nx, DX), qy = floor_div(ny, DY);
        int64_t rx = int64_t(nx - i128(qx) * DX), ry = int64_t(ny - i128(qy) * DY);
        // Collect the run of inside pixels with their source coordinates.
        size_t start = 0;
        ys.clear();
        for (int64_t px = box.left; px < box.right; ++px) {
            bool inside =
                qx >= limit.left && qx < limit.right && qy >= limit.top && qy < limit.bottom;
            if (inside) {
                if (ys.empty()) start = size_t(px - box.left);
                xs[ys.size()] = qx;
                ys.push_back(qy);
            } else if (!ys.empty()) {
                break;  // the inside pixels of a row are one run
            }
            qx += iqx, rx += irx;
            if (rx >= dx_den) rx -= dx_den, ++qx;
            qy += iqy, ry += iry;
            if (ry >= dy_den) ry -= dy_den, ++qy;
        }
        if (ys.empty()) continue;
        const size_t n = ys.size();
        for (size_t k = 0; k < n; ++k) {
            std::memcpy(&row[k * j.sbpp], v.src.at(xs[k], ys[k]), j.sbpp);
            if (j.mask) mask_row[k] = mask_value(v.mask.at(xs[k], ys[k]), v.mask.depth);
        }
        b.kernel(dst.row(int32_t(py)) + (box.left + int64_t(start)) * j.dbpp, row.data(),
                 mask_row.data(), uint32_t(n), b.params);
    }
    return 1;
}

}  // namespace

}  // namespace tob::gfx
