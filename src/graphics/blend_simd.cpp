// SSE2 row kernels for the hot routines on 32-bit pixels, four pixels at a
// time with the scalar routine finishing the odd tail: copy (every same-depth
// pair), key copy, blend, alpha composite (modes 7 and 10), and the two
// thresholds (11, 12), the last four with and without a mask. The alpha
// composite divides exactly: its integer numerators and denominators stay
// below 2^24, so single-precision values hold them exactly and one
// correction step turns the reciprocal product into the exact quotient.
#include "graphics/blend_simd.h"

#include <emmintrin.h>

#include <cstring>
#include <utility>

namespace tob::gfx {
namespace {

constexpr uint32_t kCombo32 = 15;  // 32 -> 32
constexpr uint32_t kLanes = 4;

inline __m128i load(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void store(uint8_t* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}
inline __m128i splat(uint32_t v) {
    return _mm_set1_epi32(int32_t(v));
}

// Per-lane product of 32-bit lanes whose values and product stay below 2^16.
inline __m128i mul_small(__m128i x, __m128i y) {
    return _mm_mullo_epi16(x, y);
}

// Four pixels split into one vector per channel (32-bit lanes, 0..255).
struct Channels {
    __m128i b, g, r, a;
};
inline Channels split(__m128i v) {
    const __m128i lo = splat(0xFF);
    return {_mm_and_si128(v, lo), _mm_and_si128(_mm_srli_epi32(v, 8), lo),
            _mm_and_si128(_mm_srli_epi32(v, 16), lo), _mm_srli_epi32(v, 24)};
}
inline __m128i join(__m128i b, __m128i g, __m128i r, __m128i a) {
    return _mm_or_si128(_mm_or_si128(b, _mm_slli_epi32(g, 8)),
                        _mm_or_si128(_mm_slli_epi32(r, 16), _mm_slli_epi32(a, 24)));
}
inline __m128i select(__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}
// Four mask bytes as 32-bit lanes.
inline __m128i load_mask(const uint8_t* m) {
    uint32_t v;
    std::memcpy(&v, m, 4);
    __m128i x = _mm_cvtsi32_si128(int32_t(v));
    x = _mm_unpacklo_epi8(x, _mm_setzero_si128());
    return _mm_unpacklo_epi16(x, _mm_setzero_si128());
}
// x blended toward y by w (0..256) in every byte of four pixels.
inline __m128i mix(__m128i x, __m128i y, __m128i w16, __m128i iw16) {
    const __m128i z = _mm_setzero_si128();
    __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(x, z), iw16),
                               _mm_mullo_epi16(_mm_unpacklo_epi8(y, z), w16));
    __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(x, z), iw16),
                               _mm_mullo_epi16(_mm_unpackhi_epi8(y, z), w16));
    return _mm_packus_epi16(_mm_srli_epi16(lo, 8), _mm_srli_epi16(hi, 8));
}
// Per-channel blend of x toward y by per-lane weights w (1..256).
inline __m128i mix_lanes(const Channels& x, const Channels& y, __m128i w, __m128i keep_alpha) {
    __m128i iw = _mm_sub_epi32(splat(256), w);
    auto ch = [&](__m128i a, __m128i b) {
        return _mm_srli_epi32(_mm_add_epi32(mul_small(a, iw), mul_small(b, w)), 8);
    };
    return join(ch(x.b, y.b), ch(x.g, y.g), ch(x.r, y.r), keep_alpha);
}

// floor(n / t) for exact float integers n < 2^24, t in [1, 65536], quotient <= 255.
inline __m128i exact_quotient(__m128 n, __m128 t, __m128 rcp) {
    __m128i q = _mm_cvttps_epi32(_mm_mul_ps(n, rcp));
    __m128 qf = _mm_cvtepi32_ps(q);
    __m128i over = _mm_castps_si128(_mm_cmpgt_ps(_mm_mul_ps(qf, t), n));
    __m128i under =
        _mm_castps_si128(_mm_cmple_ps(_mm_mul_ps(_mm_add_ps(qf, _mm_set1_ps(1)), t), n));
    return _mm_sub_epi32(_mm_add_epi32(q, over), under);  // masks are -1
}

// The composite over an opaque destination, where t = 65536 - m with
// m = 256 - a, in 16-bit lanes: n = 256aS + 255mD = 256X - mD with
// X = aS + mD <= 65280. The quotient is n >> 16, or one more when
// (q + 1) * t <= n, i.e. when 65536 - (n & 0xFFFF) <= (q + 1) * m.
inline __m128i over_opaque_half(__m128i s16, __m128i d16, __m128i a16) {
    const __m128i zero = _mm_setzero_si128(), ones = _mm_cmpeq_epi16(zero, zero);
    __m128i m = _mm_sub_epi16(_mm_set1_epi16(256), a16);
    __m128i md = _mm_mullo_epi16(m, d16);
    __m128i x = _mm_add_epi16(_mm_mullo_epi16(a16, s16), md);
    __m128i x8 = _mm_slli_epi16(x, 8);
    __m128i low = _mm_sub_epi16(x8, md);  // n & 0xFFFF
    __m128i no_borrow = _mm_cmpeq_epi16(_mm_subs_epu16(md, x8), zero);
    __m128i q = _mm_add_epi16(_mm_srli_epi16(x, 8), _mm_andnot_si128(no_borrow, ones));
    __m128i p = _mm_mullo_epi16(_mm_sub_epi16(q, ones), m);
    __m128i fits = _mm_cmpeq_epi16(_mm_subs_epu16(_mm_sub_epi16(zero, low), p), zero);
    __m128i inc = _mm_andnot_si128(_mm_cmpeq_epi16(low, zero), fits);
    return _mm_sub_epi16(q, inc);
}
inline __m128i over_opaque(__m128i s, __m128i d, __m128i a) {
    const __m128i zero = _mm_setzero_si128();
    __m128i a16 = _mm_packs_epi32(a, a);
    a16 = _mm_unpacklo_epi16(a16, a16);
    __m128i lo = over_opaque_half(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero),
                                  _mm_unpacklo_epi32(a16, a16));
    __m128i hi = over_opaque_half(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero),
                                  _mm_unpackhi_epi32(a16, a16));
    return _mm_or_si128(_mm_packus_epi16(lo, hi), splat(0xFF000000));
}

// Mode 7's composite of s at strengths a (0..255 per lane) over d.
inline __m128i composite(__m128i s, __m128i d, __m128i a) {
    const __m128i zero = _mm_setzero_si128();
    __m128i none = _mm_cmpeq_epi32(a, zero);
    __m128i full = _mm_cmpgt_epi32(a, splat(254));
    __m128i copied = _mm_or_si128(s, splat(0xFF000000));
    if (_mm_movemask_epi8(_mm_or_si128(none, full)) == 0xFFFF) return select(none, d, copied);
    const __m128i alpha = splat(0xFF000000);
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(d, alpha), alpha)) == 0xFFFF)
        return select(none, d, select(full, copied, over_opaque(s, d, a)));
    Channels sc = split(s), dc = split(d);
    __m128i t =
        _mm_add_epi32(mul_small(_mm_sub_epi32(splat(256), dc.a), a), _mm_slli_epi32(dc.a, 8));
    __m128i dw = mul_small(_mm_sub_epi32(splat(256), a), dc.a);
    __m128 tf = _mm_cvtepi32_ps(t), rcp = _mm_div_ps(_mm_set1_ps(1), tf);
    __m128 sw = _mm_cvtepi32_ps(_mm_slli_epi32(a, 8)), dwf = _mm_cvtepi32_ps(dw);
    auto ch = [&](__m128i sx, __m128i dx) {
        __m128 n =
            _mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(sx), sw), _mm_mul_ps(_mm_cvtepi32_ps(dx), dwf));
        return exact_quotient(n, tf, rcp);
    };
    __m128i out = join(ch(sc.b, dc.b), ch(sc.g, dc.g), ch(sc.r, dc.r), _mm_srli_epi32(t, 8));
    return select(none, d, select(full, copied, out));
}

template <Routine R, bool Masked>
void tail(uint8_t* dst, const uint8_t* src, const uint8_t* mask, uint32_t done, uint32_t n,
          const BlendParams& p) {
    if (done < n)
        scalar_kernel(R, kCombo32, Masked)(dst + 4 * done, src + 4 * done,
                                           Masked ? mask + done : mask, n - done, p);
}

template <uint32_t Bytes>
void copy_rows(uint8_t* dst, const uint8_t* src, const uint8_t* mask, uint32_t n,
               const BlendParams& p) {
    if (Bytes == 1 && p.remap) {
        scalar_kernel(kCopy, 0, false)(dst, src, mask, n, p);
        return;
    }
    std::memcpy(dst, src, size_t(n) * Bytes);
}

void key_copy32(uint8_t* dst, const uint8_t* src, const uint8_t* mask, uint32_t n,
                const BlendParams& p) {
    const __m128i rgb = splat(0xFFFFFF), key = splat(p.key), alpha = splat(0xFF000000);
    uint32_t i = 0;
    for (; i + kLanes <= n; i += kLanes) {
        __m128i s = load(src + 4 * i), d = load(dst + 4 * i);
        __m128i keep = _mm_cmpeq_epi32(_mm_and_si128(s, rgb), key);
        __m128i put = _mm_or_si128(_mm_and_si128(s, rgb), _mm_and_si128(d, alpha));
        store(dst + 4 * i, select(keep, d, put));
    }
    tail<kKeyCopy, false>(dst, src, mask, i, n, p);
}

void blend32(uint8_t* dst, const uint8_t* src, const uint8_t* mask, uint32_t n,
             const BlendParams& p) {
    const __m128i w = _mm_set1_epi16(int16_t(p.w)), iw = _mm_set1_epi16(int16_t(256 - p.w));
    uint32_t i = 0;
    for (; i + kLanes <= n; i += kLanes)
        store(dst + 4 * i, mix(load(dst + 4 * i), load(src + 4 * i), w, iw));
    tail<kBlend, false>(dst, src, mask, i, n, p);
}

// The strength of each lane: (alpha or mask) * w >> 8.
template <bool Masked>
inline __m128i strength(__m128i s, const uint8_t* mask, uint32_t i, __m128i w) {
    __m128i in = Masked ? load_mask(mask + i) : _mm_srli_epi32(s, 24);
    return _mm_srli_epi32(mul_small(in, w), 8);
}

template <bool Masked>
void alpha32(uint8_t* dst, const uint8_t* src, const uint8_t* mask, uint32_t n,
             const BlendParams& p) {
    const __m128i w = splat(p.w);
    uint32_t i = 0;
    for (; i + kLanes <= n; i += kLanes) {
        __m128i s = load(src + 4 * i);
        store(dst + 4 * i, composite(s, load(dst + 4 * i), strength<Masked>(s, mask, i, w)));
    }
    tail<kAlpha, Masked>(dst, src, mask, i, n, p);
}

template <bool Masked>
void tint_alpha32(uint8_t* dst, const uint8_t* src, const uint8_t* mask, uint32_t n,
                  const BlendParams& p) {
    const __m128i w = splat(p.w), tint = splat(p.colour2), alpha = splat(0xFF000000);
    const __m128i w2 = _mm_set1_epi16(int16_t(p.w2)), iw2 = _mm_set1_epi16(int16_t(256 - p.w2));
    uint32_t i = 0;
    for (; i + kLanes <= n; i += kLanes) {
        __m128i s = load(src + 4 * i);
        __m128i tinted =
            _mm_or_si128(_mm_andnot_si128(alpha, mix(s, tint, w2, iw2)), _mm_and_si128(s, alpha));
        store(dst + 4 * i, composite(tinted, load(dst + 4 * i), strength<Masked>(s, mask, i, w)));
    }
    tail<kTintAlpha, Masked>(dst, src, mask, i, n, p);
}

template <bool Masked>
void threshold32(uint8_t* dst, const uint8_t* src, const uint8_t* mask, uint32_t n,
                 const BlendParams& p) {
    const __m128i low = splat(p.level), high = splat(p.level + p.level2);
    const __m128i rgb = splat(0xFFFFFF), alpha = splat(0xFF000000);
    uint32_t i = 0;
    for (; i + kLanes <= n; i += kLanes) {
        __m128i s = load(src + 4 * i), d = load(dst + 4 * i);
        __m128i in = Masked ? load_mask(mask + i) : _mm_srli_epi32(s, 24);
        __m128i out = _mm_or_si128(_mm_cmpgt_epi32(low, in), _mm_cmpgt_epi32(in, high));
        __m128i put = _mm_or_si128(_mm_and_si128(s, rgb), _mm_and_si128(d, alpha));
        store(dst + 4 * i, select(out, d, put));
    }
    tail<kThreshold, Masked>(dst, src, mask, i, n, p);
}

template <bool Masked>
void soft_threshold32(uint8_t* dst, const uint8_t* src, const uint8_t* mask, uint32_t n,
                      const BlendParams& p) {
    const __m128i rgb = splat(0xFFFFFF), zero = _mm_setzero_si128();
    uint32_t i = 0;
    for (; i + kLanes <= n; i += kLanes) {
        __m128i s = load(src + 4 * i), d = load(dst + 4 * i);
        uint32_t in[kLanes];
        for (uint32_t k = 0; k < kLanes; ++k)
            in[k] = p.soft[Masked ? mask[i + k] : src[4 * (i + k) + 3]];
        __m128i v = _mm_setr_epi32(int32_t(in[0]), int32_t(in[1]), int32_t(in[2]), int32_t(in[3]));
        __m128i none = _mm_cmpeq_epi32(v, zero), full = _mm_cmpgt_epi32(v, splat(254));
        Channels dc = split(d);
        __m128i mixed = mix_lanes(dc, split(s), _mm_add_epi32(v, splat(1)), dc.a);
        __m128i copied = _mm_or_si128(_mm_and_si128(s, rgb), _mm_andnot_si128(rgb, d));
        store(dst + 4 * i, select(none, d, select(full, copied, mixed)));
    }
    tail<kSoftThreshold, Masked>(dst, src, mask, i, n, p);
}

}  // namespace

void install_vector_kernels(KernelTable& plain, KernelTable& masked, bool wide) {
    plain[kCopy][combination(8, 8)] = copy_rows<1>;
    plain[kCopy][combination(16, 16)] = copy_rows<2>;
    plain[kCopy][combination(24, 24)] = copy_rows<3>;
    plain[kCopy][kCombo32] = copy_rows<4>;
    plain[kKeyCopy][kCombo32] = key_copy32;
    plain[kBlend][kCombo32] = blend32;
    plain[kAlpha][kCombo32] = alpha32<false>;
    masked[kAlpha][kCombo32] = alpha32<true>;
    plain[kTintAlpha][kCombo32] = tint_alpha32<false>;
    masked[kTintAlpha][kCombo32] = tint_alpha32<true>;
    plain[kThreshold][kCombo32] = threshold32<false>;
    masked[kThreshold][kCombo32] = threshold32<true>;
    plain[kSoftThreshold][kCombo32] = soft_threshold32<false>;
    masked[kSoftThreshold][kCombo32] = soft_threshold32<true>;
    if (wide && __builtin_cpu_supports("avx2")) install_avx2_kernels(plain, masked);
}

}  // namespace tob::gfx

namespace tob::gfx {

RowKernel sse2_kernel_32(Routine r, bool masked) {
    if (r >= kRoutineCount) return nullptr;
    static const auto tables = [] {
        std::pair<KernelTable, KernelTable> t{};
        install_vector_kernels(t.first, t.second, false);
        return t;
    }();
    return (masked ? tables.second : tables.first)[r][kCombo32];
}

}  // namespace tob::gfx
