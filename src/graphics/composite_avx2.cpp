// AVX2 row kernels for the alpha composite (modes 7 and 10) from 32-bit
// pixels onto 32- and 24-bit pages, eight at a time, chosen at run time. Onto
// 32-bit pages they divide exactly, as the scalar routine does, through one
// multiplier per pixel taken from a table.
#include <immintrin.h>

#include <array>
#include <cstdint>

#include "graphics/blend_simd.h"

namespace tob::gfx {
namespace {

// With strength a and destination alpha da, t = (256 - da)a + 256da and each
// colour channel becomes floor((256aS + (256 - a)da D) / t). The two weights
// sum to t, so the quotient is D + floor(kA) with k = S - D and A = 256a / t.
//
// The table holds, per (da, a), R = 2^24 A rounded to the nearest integer, so
// R = 2^24 A + e with |e| <= 1/2, and the kernels take
//     floor(kA) = floor((kR + 128) / 2^24)   for every |k| <= 255.
// Why: (kR + 128) / 2^24 = kA + (ke + 128) / 2^24, and 0.5 <= ke + 128 <=
// 255.5. kA is a multiple of 1/t, and t <= 65535, so kA is either an integer
// or at least 1/t > 256 / 2^24 below the next one: adding a non-negative
// amount below 256 / 2^24 keeps the floor. Only bits 24..31 of kR + 128 are
// needed, and only modulo 256 (D plus them, byte-wise, is the quotient, which
// lies in 0..255), so the 32-bit product may wrap. The kernel tests check
// every (a, da) pair at every k.
//
// Strength 255 copies the source: its entries use A = 1. Strength 0 has
// R = 0 and leaves D (t = 0 is then harmless). The alpha byte becomes
// t >> 8 = da + (a(256 - da) >> 8), 255 for strength 255.
constexpr uint32_t kOpaqueRow = 255 * 256;

using WeightTable = std::array<int32_t, 256 * 256>;

const WeightTable& composite_weights() {
    static const WeightTable table = [] {
        WeightTable w{};
        for (uint32_t da = 0; da < 256; ++da) {
            for (uint32_t a = 1; a < 256; ++a) {
                uint64_t t = a == 255 ? 256 * 255 : (256 - da) * a + da * 256;
                w[da * 256 + a] = int32_t(((uint64_t(a) << 32) + t / 2) / t);
            }
        }
        return w;
    }();
    return table;
}

#define TOB_AVX2 __attribute__((target("avx2")))

TOB_AVX2 inline __m256i splat8(uint32_t v) {
    return _mm256_set1_epi32(int32_t(v));
}

// The composite's colour bytes: d plus floor((kR + 128) / 2^24) per channel,
// k = S - D sign-extended to 32 bits. The alpha byte of the result is d's.
TOB_AVX2 inline __m256i colour8(__m256i s, __m256i d, __m256i r) {
    const __m256i even = splat8(0x00FF00FF), bias = splat8(128);
    const __m256i low_half = splat8(1);  // (1, 0) word pairs: madd sign-extends the low word
    // Blue and red differences in the low and high words, green (and alpha) in the next.
    __m256i br = _mm256_sub_epi16(_mm256_and_si256(s, even), _mm256_and_si256(d, even));
    __m256i ga = _mm256_sub_epi16(_mm256_srli_epi16(s, 8), _mm256_srli_epi16(d, 8));
    __m256i kb = _mm256_madd_epi16(br, low_half);
    __m256i kg = _mm256_madd_epi16(ga, low_half);
    __m256i kr = _mm256_srai_epi32(br, 16);
    __m256i pb = _mm256_add_epi32(_mm256_mullo_epi32(kb, r), bias);
    __m256i pg = _mm256_add_epi32(_mm256_mullo_epi32(kg, r), bias);
    __m256i pr = _mm256_add_epi32(_mm256_mullo_epi32(kr, r), bias);
    // Byte 3 of each product into its channel's byte.
    const __m256i to_green =
        _mm256_setr_epi8(-1, 3, -1, -1, -1, 7, -1, -1, -1, 11, -1, -1, -1, 15, -1, -1,  //
                         -1, 3, -1, -1, -1, 7, -1, -1, -1, 11, -1, -1, -1, 15, -1, -1);
    const __m256i to_red =
        _mm256_setr_epi8(-1, -1, 3, -1, -1, -1, 7, -1, -1, -1, 11, -1, -1, -1, 15, -1,  //
                         -1, -1, 3, -1, -1, -1, 7, -1, -1, -1, 11, -1, -1, -1, 15, -1);
    __m256i q = _mm256_or_si256(
        _mm256_srli_epi32(pb, 24),
        _mm256_or_si256(_mm256_shuffle_epi8(pg, to_green), _mm256_shuffle_epi8(pr, to_red)));
    return _mm256_add_epi8(d, q);
}

// Mode 7's composite of s at strengths a (0..255 per lane) over d.
TOB_AVX2 inline __m256i composite8(__m256i s, __m256i d, __m256i a, const int32_t* weights) {
    const __m256i alpha = splat8(0xFF000000);
    if (_mm256_testc_si256(d, alpha))  // an opaque page: alpha stays 255
        return colour8(s, d, _mm256_i32gather_epi32(weights + kOpaqueRow, a, 4));
    __m256i da = _mm256_srli_epi32(d, 24);
    __m256i r = _mm256_i32gather_epi32(weights, _mm256_or_si256(_mm256_slli_epi32(da, 8), a), 4);
    // a(256 - da) < 2^16, so the low words hold the whole product.
    __m256i gain = _mm256_mullo_epi16(a, _mm256_sub_epi32(splat8(256), da));
    return _mm256_add_epi32(colour8(s, d, r), _mm256_and_si256(_mm256_slli_epi32(gain, 16), alpha));
}

TOB_AVX2 inline __m256i load8(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
TOB_AVX2 inline void store8(uint8_t* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// The strength of each lane: (alpha or mask value) * w >> 8, which is the
// value itself at full level (w = 256).
template <bool Masked, bool Full>
TOB_AVX2 inline __m256i strength8(__m256i s, const uint8_t* mask, __m256i w) {
    __m256i in;
    if constexpr (Masked)
        in = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(mask)));
    else
        in = _mm256_srli_epi32(s, 24);
    if constexpr (Full) return in;
    return _mm256_srli_epi32(_mm256_mullo_epi16(in, w), 8);
}

// x blended toward y by w (0..256) in every byte.
TOB_AVX2 inline __m256i mix8(__m256i x, __m256i y, __m256i w16, __m256i iw16) {
    const __m256i z = _mm256_setzero_si256();
    __m256i lo = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(x, z), iw16),
                                  _mm256_mullo_epi16(_mm256_unpacklo_epi8(y, z), w16));
    __m256i hi = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(x, z), iw16),
                                  _mm256_mullo_epi16(_mm256_unpackhi_epi8(y, z), w16));
    return _mm256_packus_epi16(_mm256_srli_epi16(lo, 8), _mm256_srli_epi16(hi, 8));
}

template <bool Masked, bool Full>
TOB_AVX2 uint32_t alpha_rows(uint8_t* dst, const uint8_t* src, const uint8_t* mask, uint32_t n,
                             const BlendParams& p) {
    const int32_t* weights = composite_weights().data();
    const __m256i w = splat8(p.w), full = splat8(255), alpha = splat8(0xFF000000);
    uint32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        __m256i s = load8(src + 4 * i);
        __m256i a = strength8<Masked, Full>(s, Masked ? mask + i : nullptr, w);
        // Runs of transparent and opaque pixels, common in pictures with an
        // alpha channel: strength 0 leaves D, strength 255 gives S, opaque.
        if (_mm256_testz_si256(a, a)) continue;
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(a, full)) == -1) {
            store8(dst + 4 * i, _mm256_or_si256(s, alpha));
            continue;
        }
        store8(dst + 4 * i, composite8(s, load8(dst + 4 * i), a, weights));
    }
    return i;
}

template <bool Masked>
TOB_AVX2 void alpha32_avx2(uint8_t* dst, const uint8_t* src, const uint8_t* mask, uint32_t n,
                           const BlendParams& p) {
    uint32_t i = p.w == 256 ? alpha_rows<Masked, true>(dst, src, mask, n, p)
                            : alpha_rows<Masked, false>(dst, src, mask, n, p);
    if (i < n)
        sse2_kernel_32(kAlpha, Masked)(dst + 4 * i, src + 4 * i, Masked ? mask + i : mask, n - i,
                                       p);
}

template <bool Masked>
TOB_AVX2 void tint_alpha32_avx2(uint8_t* dst, const uint8_t* src, const uint8_t* mask, uint32_t n,
                                const BlendParams& p) {
    const int32_t* weights = composite_weights().data();
    const __m256i w = splat8(p.w), tint = splat8(p.colour2), alpha = splat8(0xFF000000);
    const __m256i w2 = _mm256_set1_epi16(int16_t(p.w2));
    const __m256i iw2 = _mm256_set1_epi16(int16_t(256 - p.w2));
    uint32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        __m256i s = load8(src + 4 * i);
        __m256i a = strength8<Masked, false>(s, Masked ? mask + i : nullptr, w);
        __m256i tinted = _mm256_blendv_epi8(mix8(s, tint, w2, iw2), s, alpha);
        store8(dst + 4 * i, composite8(tinted, load8(dst + 4 * i), a, weights));
    }
    if (i < n)
        sse2_kernel_32(kTintAlpha, Masked)(dst + 4 * i, src + 4 * i, Masked ? mask + i : mask,
                                           n - i, p);
}

// Onto 24-bit pages, which have no alpha, the composite is D blended toward
// S by a + 1 (nothing at a = 0, S at a = 255): a blend by w = a + (a != 0).
// Eight 3-byte pixels are loaded and stored as exactly 24 bytes.
TOB_AVX2 inline __m256i load8_rgb(const uint8_t* p) {
    // Bytes 0..15 in the low half, 8..23 in the high one; then one pixel per lane.
    __m256i v = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)), 1);
    const __m256i spread =
        _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,  //
                         4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15, -1);
    return _mm256_shuffle_epi8(v, spread);
}
TOB_AVX2 inline void store8_rgb(uint8_t* p, __m256i v) {
    const __m256i pack =
        _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
                         0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(v, pack),
                                                 _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(packed));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 16), _mm256_extracti128_si256(packed, 1));
}

// x(256 - w) + yw per 16-bit lane, as 256x + (y - x)w: the result lies in
// 0..65280, so the arithmetic modulo 2^16 is exact.
TOB_AVX2 inline __m256i mix16(__m256i x, __m256i y, __m256i w16) {
    __m256i sum =
        _mm256_add_epi16(_mm256_slli_epi16(x, 8), _mm256_mullo_epi16(_mm256_sub_epi16(y, x), w16));
    return _mm256_srli_epi16(sum, 8);
}

// d blended toward s by per-pixel weights w (0..256 in 32-bit lanes), all bytes.
TOB_AVX2 inline __m256i mix8_lanes(__m256i d, __m256i s, __m256i w) {
    const __m256i z = _mm256_setzero_si256();
    __m256i pairs = _mm256_or_si256(w, _mm256_slli_epi32(w, 16));
    __m256i lo = mix16(_mm256_unpacklo_epi8(d, z), _mm256_unpacklo_epi8(s, z),
                       _mm256_unpacklo_epi32(pairs, pairs));
    __m256i hi = mix16(_mm256_unpackhi_epi8(d, z), _mm256_unpackhi_epi8(s, z),
                       _mm256_unpackhi_epi32(pairs, pairs));
    return _mm256_packus_epi16(lo, hi);
}

template <bool Masked, bool Tinted>
TOB_AVX2 void alpha24_avx2(uint8_t* dst, const uint8_t* src, const uint8_t* mask, uint32_t n,
                           const BlendParams& p) {
    const __m256i w = splat8(p.w), tint = splat8(p.colour2);
    const __m256i w2 = _mm256_set1_epi16(int16_t(p.w2));
    const __m256i iw2 = _mm256_set1_epi16(int16_t(256 - p.w2));
    uint32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        __m256i s = load8(src + 4 * i);
        __m256i a = strength8<Masked, false>(s, Masked ? mask + i : nullptr, w);
        __m256i weight = _mm256_sub_epi32(a, _mm256_cmpgt_epi32(a, _mm256_setzero_si256()));
        if constexpr (Tinted) s = mix8(s, tint, w2, iw2);
        store8_rgb(dst + 3 * i, mix8_lanes(load8_rgb(dst + 3 * i), s, weight));
    }
    if (i < n)
        scalar_kernel(Tinted ? kTintAlpha : kAlpha, combination(32, 24), Masked)(
            dst + 3 * i, src + 4 * i, Masked ? mask + i : mask, n - i, p);
}

}  // namespace

void install_avx2_kernels(KernelTable& plain, KernelTable& masked) {
    constexpr uint32_t kCombo32 = combination(32, 32);
    composite_weights();  // built once, before any copy runs
    plain[kAlpha][kCombo32] = alpha32_avx2<false>;
    masked[kAlpha][kCombo32] = alpha32_avx2<true>;
    plain[kTintAlpha][kCombo32] = tint_alpha32_avx2<false>;
    masked[kTintAlpha][kCombo32] = tint_alpha32_avx2<true>;
    constexpr uint32_t kCombo24 = combination(32, 24);
    plain[kAlpha][kCombo24] = alpha24_avx2<false, false>;
    masked[kAlpha][kCombo24] = alpha24_avx2<true, false>;
    plain[kTintAlpha][kCombo24] = alpha24_avx2<false, true>;
    masked[kTintAlpha][kCombo24] = alpha24_avx2<true, true>;
}

}  // namespace tob::gfx
