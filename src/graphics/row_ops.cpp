// The row operations, written once per operation over the four formats.
#include "graphics/row_ops.h"

#include <cstring>
#include <type_traits>

namespace tob::gfx::row_ops {
namespace {

// Channel access per format: unpacked to 8-bit channels (a 16-bit pixel's
// fields widened) and packed back (fields truncated).
struct Px {
    uint32_t b, g, r, a;
};

template <RowFormat F>
struct Fmt;
template <>
struct Fmt<RowFormat::k32> {
    static constexpr uint32_t kBytes = 4, kBlendShift = 8;
    static uint32_t raw(const uint8_t* p) {
        return uint32_t(p[0] | p[1] << 8 | p[2] << 16) | uint32_t(p[3]) << 24;
    }
    static uint32_t key_bits(uint32_t v) { return v & 0xFFFFFF; }
    static Px get(const uint8_t* p) { return {p[0], p[1], p[2], p[3]}; }
    static void put(uint8_t* p, Px c) {
        p[0] = uint8_t(c.b), p[1] = uint8_t(c.g), p[2] = uint8_t(c.r), p[3] = uint8_t(c.a);
    }
};
template <>
struct Fmt<RowFormat::k24> {
    static constexpr uint32_t kBytes = 3, kBlendShift = 8;
    static uint32_t raw(const uint8_t* p) { return uint32_t(p[0] | p[1] << 8 | p[2] << 16); }
    static uint32_t key_bits(uint32_t v) { return v; }
    static Px get(const uint8_t* p) { return {p[0], p[1], p[2], 255}; }
    static void put(uint8_t* p, Px c) {
        p[0] = uint8_t(c.b), p[1] = uint8_t(c.g), p[2] = uint8_t(c.r);
    }
};
inline uint32_t widen5(uint32_t f) {
    return (f << 3) | (f >> 2);
}
inline uint32_t widen6(uint32_t f) {
    return (f << 2) | (f >> 4);
}
template <>
struct Fmt<RowFormat::k565> {
    static constexpr uint32_t kBytes = 2, kBlendShift = 5;
    static uint32_t raw(const uint8_t* p) { return uint32_t(p[0] | p[1] << 8); }
    static uint32_t key_bits(uint32_t v) { return v & 0xFFFF; }
    static Px get(const uint8_t* p) {
        uint32_t v = raw(p);
        return {widen5(v & 31), widen6((v >> 5) & 63), widen5(v >> 11), 255};
    }
    static void put(uint8_t* p, Px c) {
        uint32_t v = (c.r >> 3) << 11 | (c.g >> 2) << 5 | (c.b >> 3);
        p[0] = uint8_t(v), p[1] = uint8_t(v >> 8);
    }
};
template <>
struct Fmt<RowFormat::k555> {
    static constexpr uint32_t kBytes = 2, kBlendShift = 5;
    static uint32_t raw(const uint8_t* p) { return uint32_t(p[0] | p[1] << 8); }
    static uint32_t key_bits(uint32_t v) { return v & 0x7FFF; }
    static Px get(const uint8_t* p) {
        uint32_t v = raw(p);
        return {widen5(v & 31), widen5((v >> 5) & 31), widen5((v >> 10) & 31), 255};
    }
    static void put(uint8_t* p, Px c) {
        uint32_t v = (c.r >> 3) << 10 | (c.g >> 3) << 5 | (c.b >> 3);
        p[0] = uint8_t(v), p[1] = uint8_t(v >> 8);
    }
};

Px from_rgb(uint32_t c) {
    return {c & 255, (c >> 8) & 255, (c >> 16) & 255, 255};
}

// x blended toward y by a strength of 1..256 (8-bit formats) or its 5-bit
// equivalent (16-bit formats, where the pixel's fields are blended). The
// alpha byte follows the colour channels.
template <RowFormat F>
struct Mix {
    static Px px(Px x, Px y, uint32_t level) {
        if constexpr (Fmt<F>::kBlendShift == 8) {
            uint32_t w = level + 1, iw = 256 - w;
            return {(x.b * iw + y.b * w) >> 8, (x.g * iw + y.g * w) >> 8, (x.r * iw + y.r * w) >> 8,
                    (x.a * iw + y.a * w) >> 8};
        } else {
            uint32_t w = (level >> 3) + 1, iw = 32 - w;
            return {(x.b * iw + y.b * w) >> 5, (x.g * iw + y.g * w) >> 5, (x.r * iw + y.r * w) >> 5,
                    255};
        }
    }
};

// Runs `f(out_pixel, x)` for every pixel of a w x h area.
template <class F>
void each(int32_t w, int32_t h, F f) {
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) f(y, x);
}

template <RowFormat F>
void keyed_blend_t(uint32_t level, int32_t w, int32_t h, Rows out, ConstRows bg, ConstRows src,
                   uint32_t key) {
    using T = Fmt<F>;
    const uint32_t k = T::key_bits(key);
    each(w, h, [&](int32_t y, int32_t x) {
        const uint8_t* s = src.row(y) + x * T::kBytes;
        const uint8_t* b = bg.row(y) + x * T::kBytes;
        uint8_t* o = out.row(y) + x * T::kBytes;
        if (T::key_bits(T::raw(s)) == k)
            std::memmove(o, b, T::kBytes);
        else
            T::put(o, Mix<F>::px(T::get(b), T::get(s), level));
    });
}

template <RowFormat F>
void mask_blend_t(ConstRows mask, int32_t w, int32_t h, Rows out, ConstRows bg, ConstRows src) {
    using T = Fmt<F>;
    each(w, h, [&](int32_t y, int32_t x) {
        T::put(out.row(y) + x * T::kBytes,
               Mix<F>::px(T::get(bg.row(y) + x * T::kBytes), T::get(src.row(y) + x * T::kBytes),
                          mask.row(y)[x]));
    });
}

template <RowFormat F>
void mask_colour_t(ConstRows mask, int32_t w, int32_t h, Rows out, ConstRows bg, uint32_t colour) {
    using T = Fmt<F>;
    each(w, h, [&](int32_t y, int32_t x) {
        Px b = T::get(bg.row(y) + x * T::kBytes), c = from_rgb(colour);
        c.a = b.a;  // the colour has no alpha of its own
        T::put(out.row(y) + x * T::kBytes, Mix<F>::px(b, c, mask.row(y)[x]));
    });
}

template <RowFormat F>
void blend_t(uint32_t level, int32_t w, int32_t h, Rows out, ConstRows bg, ConstRows src) {
    using T = Fmt<F>;
    each(w, h, [&](int32_t y, int32_t x) {
        T::put(out.row(y) + x * T::kBytes, Mix<F>::px(T::get(bg.row(y) + x * T::kBytes),
                                                      T::get(src.row(y) + x * T::kBytes), level));
    });
}

template <RowFormat F>
void fade_t(uint32_t level, int32_t w, int32_t h, Rows out, ConstRows src, uint32_t colour) {
    using T = Fmt<F>;
    each(w, h, [&](int32_t y, int32_t x) {
        Px s = T::get(src.row(y) + x * T::kBytes), c = from_rgb(colour);
        c.a = s.a;
        T::put(out.row(y) + x * T::kBytes, Mix<F>::px(s, c, level));
    });
}

template <RowFormat F>
void keyed_copy_t(uint32_t key, int32_t w, int32_t h, Rows dst, ConstRows src) {
    using T = Fmt<F>;
    const uint32_t k = T::key_bits(key);
    each(w, h, [&](int32_t y, int32_t x) {
        const uint8_t* s = src.row(y) + x * T::kBytes;
        if (T::key_bits(T::raw(s)) != k) std::memcpy(dst.row(y) + x * T::kBytes, s, T::kBytes);
    });
}

template <RowFormat From, RowFormat To>
void convert_t(int32_t w, int32_t h, Rows dst, ConstRows src) {
    each(w, h, [&](int32_t y, int32_t x) {
        Px c = Fmt<From>::get(src.row(y) + x * Fmt<From>::kBytes);
        if (From != RowFormat::k32) c.a = 255;
        Fmt<To>::put(dst.row(y) + x * Fmt<To>::kBytes, c);
    });
}

inline int32_t grey_of(const Px& c) {
    return int32_t(38 * c.r + 77 * c.g + 13 * c.b);
}

template <RowFormat F>
void desaturate_t(uint32_t level, int32_t w, int32_t h, Rows dst, ConstRows src, bool keyed,
                  uint32_t key) {
    using T = Fmt<F>;
    const int32_t weight = int32_t(level) + 1;
    each(w, h, [&](int32_t y, int32_t x) {
        const uint8_t* s = src.row(y) + x * T::kBytes;
        uint8_t* d = dst.row(y) + x * T::kBytes;
        if (keyed && T::key_bits(T::raw(s)) == T::key_bits(key)) return;
        Px c = T::get(s);
        const int32_t grey = grey_of(c);
        auto move = [&](uint32_t v) {
            return uint32_t(int32_t(v) + ((grey - 128 * int32_t(v)) * weight >> 15));
        };
        T::put(d, {move(c.b), move(c.g), move(c.r), c.a});
    });
}

template <RowFormat F>
void monotone_t(uint32_t colour, int32_t w, int32_t h, Rows dst, ConstRows src, bool keyed,
                uint32_t key) {
    using T = Fmt<F>;
    const Px tint = from_rgb(colour);
    each(w, h, [&](int32_t y, int32_t x) {
        const uint8_t* s = src.row(y) + x * T::kBytes;
        uint8_t* d = dst.row(y) + x * T::kBytes;
        if (keyed && T::key_bits(T::raw(s)) == T::key_bits(key)) return;
        Px c = T::get(s);
        const uint32_t grey = uint32_t(grey_of(c));
        T::put(d, {grey * (tint.b + 1) >> 15, grey * (tint.g + 1) >> 15, grey * (tint.r + 1) >> 15,
                   c.a});
    });
}

// Calls `f` with the format as a compile-time constant.
template <class Fn>
void with_format(RowFormat f, Fn fn) {
    switch (f) {
        case RowFormat::k32:
            fn(std::integral_constant<RowFormat, RowFormat::k32>{});
            break;
        case RowFormat::k24:
            fn(std::integral_constant<RowFormat, RowFormat::k24>{});
            break;
        case RowFormat::k565:
            fn(std::integral_constant<RowFormat, RowFormat::k565>{});
            break;
        case RowFormat::k555:
            fn(std::integral_constant<RowFormat, RowFormat::k555>{});
            break;
    }
}

}  // namespace

void keyed_blend(RowFormat f, uint32_t level, int32_t w, int32_t h, Rows out, ConstRows bg,
                 ConstRows src, uint32_t key) {
    with_format(f, [&](auto F) { keyed_blend_t<F()>(level & 255, w, h, out, bg, src, key); });
}
void mask_blend(RowFormat f, ConstRows mask, int32_t w, int32_t h, Rows out, ConstRows bg,
                ConstRows src) {
    with_format(f, [&](auto F) { mask_blend_t<F()>(mask, w, h, out, bg, src); });
}
void mask_colour(RowFormat f, ConstRows mask, int32_t w, int32_t h, Rows out, ConstRows bg,
                 uint32_t colour) {
    with_format(f, [&](auto F) { mask_colour_t<F()>(mask, w, h, out, bg, colour); });
}
void blend(RowFormat f, uint32_t level, int32_t w, int32_t h, Rows out, ConstRows bg,
           ConstRows src) {
    with_format(f, [&](auto F) { blend_t<F()>(level & 255, w, h, out, bg, src); });
}
void fade(RowFormat f, uint32_t level, int32_t w, int32_t h, Rows out, ConstRows src,
          uint32_t colour) {
    with_format(f, [&](auto F) { fade_t<F()>(level & 255, w, h, out, src, colour); });
}
void keyed_copy(RowFormat f, uint32_t key, int32_t w, int32_t h, Rows dst, ConstRows src) {
    with_format(f, [&](auto F) { keyed_copy_t<F()>(key, w, h, dst, src); });
}
void convert(RowFormat from, RowFormat to, int32_t w, int32_t h, Rows dst, ConstRows src) {
    with_format(from, [&](auto A) {
        with_format(to, [&](auto B) { convert_t<A(), B()>(w, h, dst, src); });
    });
}
void desaturate(RowFormat f, uint32_t level, int32_t w, int32_t h, Rows dst, ConstRows src,
                bool keyed, uint32_t key) {
    with_format(f, [&](auto F) { desaturate_t<F()>(level & 255, w, h, dst, src, keyed, key); });
}
void monotone(RowFormat f, uint32_t colour, int32_t w, int32_t h, Rows dst, ConstRows src,
              bool keyed, uint32_t key) {
    with_format(f, [&](auto F) { monotone_t<F()>(colour, w, h, dst, src, keyed, key); });
}

}  // namespace tob::gfx::row_ops
