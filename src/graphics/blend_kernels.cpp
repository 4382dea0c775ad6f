// The row kernels: every blend routine instantiated for the sixteen depth
// pairs (and the mask flag where the routine reads a mask), collected in one
// dispatch table; and the preparation of a blend record for one copy.
#include <utility>

#include "graphics/blend_ops.h"
#include "graphics/blend_simd.h"
#include "graphics/colour.h"

namespace tob::gfx {
namespace {

constexpr int kDepthOf[4] = {8, 16, 24, 32};
constexpr uint32_t kCombinations = 16;

template <class Op, int S, int D, bool Masked>
void row_kernel(uint8_t* dst, const uint8_t* src, const uint8_t* mask, uint32_t n,
                const BlendParams& p) {
    for (uint32_t i = 0; i < n; ++i) {
        PixelPair<S, D> px{src, dst, p};
        uint32_t a = Masked ? mask[i] : px.s_alpha();
        Op::pixel(px, p, a);
        src += Format<S>::kBytes;
        dst += Format<D>::kBytes;
    }
}

template <class Op, bool Masked, uint32_t Combo>
constexpr RowKernel kernel_for() {
    constexpr int S = kDepthOf[Combo / 4], D = kDepthOf[Combo % 4];
    if constexpr (Op::template supports<S, D>())
        return &row_kernel<Op, S, D, Masked>;
    else
        return nullptr;
}

template <class Op, bool Masked, uint32_t... C>
constexpr std::array<RowKernel, kCombinations> kernels_for(std::integer_sequence<uint32_t, C...>) {
    return {kernel_for<Op, Masked, C>()...};
}

template <class Op, bool Masked>
constexpr std::array<RowKernel, kCombinations> row_of() {
    if constexpr (Masked && !uses_mask(Op::kRoutine))
        return {};
    else
        return kernels_for<Op, Masked>(std::make_integer_sequence<uint32_t, kCombinations>{});
}

// Binds each operation to its routine number.
template <Routine R, class Op>
struct Bound : Op {
    static constexpr Routine kRoutine = R;
};

template <bool Masked>
constexpr std::array<std::array<RowKernel, kCombinations>, kRoutineCount> table_of() {
    using namespace ops;
    return {
        row_of<Bound<kCopy, Copy>, Masked>(),
        row_of<Bound<kKeyCopy, KeyCopy>, Masked>(),
        row_of<Bound<kDestKey, DestKey>, Masked>(),
        row_of<Bound<kBlend, Blend>, Masked>(),
        row_of<Bound<kKeyBlend, KeyBlend>, Masked>(),
        row_of<Bound<kTint, Tint>, Masked>(),
        row_of<Bound<kKeyTint, KeyTint>, Masked>(),
        row_of<Bound<kAlpha, Alpha>, Masked>(),
        row_of<Bound<kBehind, Behind>, Masked>(),
        row_of<Bound<kCombined, Combined>, Masked>(),
        row_of<Bound<kTintAlpha, TintAlpha>, Masked>(),
        row_of<Bound<kThreshold, Threshold>, Masked>(),
        row_of<Bound<kSoftThreshold, SoftThreshold>, Masked>(),
        row_of<Bound<kAdd, Add>, Masked>(),
        row_of<Bound<kSubtract, Subtract>, Masked>(),
        row_of<Bound<kMultiply, Toward<MultiplyF>>, Masked>(),
        row_of<Bound<kAnd, Toward<AndF>>, Masked>(),
        row_of<Bound<kOr, Toward<OrF>>, Masked>(),
        row_of<Bound<kXor, Toward<XorF>>, Masked>(),
        row_of<Bound<kScreen, Toward<ScreenF>>, Masked>(),
        row_of<Bound<kLighten, Toward<LightenF>>, Masked>(),
        row_of<Bound<kDarken, Toward<DarkenF>>, Masked>(),
        row_of<Bound<kChannels, Channels>, Masked>(),
        row_of<Bound<kAlphaTransfer, AlphaTransfer>, Masked>(),
        row_of<Bound<kCoverage, Coverage>, Masked>(),
        row_of<Bound<kMonoAlpha, MonoAlpha>, Masked>(),
        row_of<Bound<kTableBlend, TableBlend>, Masked>(),
        row_of<Bound<kTableAlpha, TableAlpha>, Masked>(),
    };
}

constexpr auto kScalar = table_of<false>();
constexpr auto kScalarMasked = table_of<true>();

// The scalar table with the vector routines put in where they exist.
struct FastTable {
    std::array<std::array<RowKernel, kCombinations>, kRoutineCount> plain = kScalar;
    std::array<std::array<RowKernel, kCombinations>, kRoutineCount> masked = kScalarMasked;
    FastTable() { install_vector_kernels(plain, masked); }
};
const FastTable& fast_table() {
    static const FastTable t;
    return t;
}

uint32_t weight(uint32_t level) {
    return level ? level + 1 : 0;
}

void fill_palette(std::array<uint32_t, 256>& out, const Plane& p) {
    out.fill(kOpaque);
    if (p.depth() != 8) return;
    for (uint32_t i = 0; i < p.colour_count(); ++i) out[i] = p.colour(i) | kOpaque;
}

}  // namespace

RowKernel scalar_kernel(Routine r, uint32_t combo, bool masked) {
    if (r >= kRoutineCount || combo >= kCombinations) return nullptr;
    return (masked ? kScalarMasked : kScalar)[r][combo];
}

RowKernel fast_kernel(Routine r, uint32_t combo, bool masked) {
    if (r >= kRoutineCount || combo >= kCombinations) return nullptr;
    const FastTable& t = fast_table();
    return (masked ? t.masked : t.plain)[r][combo];
}

std::optional<BlendRecord> read_blend_record(const ScriptMemory& mem, ScriptAddr addr) {
    BlendRecord r;
    if (!addr) return r;
    const uint8_t* p = mem.host(addr, kBlendRecordBytes);
    if (!p) return std::nullopt;
    r.mode = p[0];
    r.channels = p[1];
    r.level = p[2];
    r.level2 = p[3];
    mem.read32(addr + 4, r.colour1);
    mem.read32(addr + 8, r.colour2);
    return r;
}

std::optional<PreparedBlend> prepare_blend(const BlendRecord& rec, const Plane& dst,
                                           const Plane& src, bool has_mask) {
    if (rec.mode >= kModeCount) return std::nullopt;
    PreparedBlend b;
    BlendParams& p = b.params;
    const uint32_t L = rec.level, L2 = rec.level2;
    const BlendTables& tables = blend_tables();
    uint32_t mode = rec.mode;

    // Levels that turn one mode into another or into nothing.
    if (mode == kBlend && L == 255) mode = kCopy;
    if (mode == kKeyBlend && L == 255) mode = kKeyCopy;
    if (mode == kTintAlpha && L2 == 0) mode = kAlpha;
    bool level_matters = mode == kBlend || mode == kKeyBlend || mode == kAlpha ||
                         mode == kTintAlpha || (mode >= 13 && mode <= 21) || mode >= 24;
    if (level_matters && L == 0) b.draws = false;
    if (mode == kChannels && (rec.channels & 7) == 0) b.draws = false;
    if (mode >= kTableBlend) {
        static constexpr TableId kPairTables[] = {kTableOverlay, kTableSoftLight, kTableHardLight,
                                                  kTableDodge, kTableBurn};
        p.table = tables.t[kPairTables[(mode - kTableBlend) / 2]].data();
        mode = (mode - kTableBlend) % 2 ? kTableAlpha : kTableBlend;
    }
    b.routine = Routine(mode);
    b.masked = has_mask && uses_mask(b.routine);

    p.level = L;
    p.level2 = L2;
    p.w = weight(L);
    p.w2 = weight(L2);
    for (uint32_t bit = 0; bit < 3; ++bit)
        if (rec.channels >> bit & 1) p.channel_mask |= 0xFFu << (8 * bit);
    const uint32_t depth = dst.depth();
    p.key = depth == 8 ? convert_colour(rec.colour1, 8) : pixel_value(rec.colour1, depth);
    if (depth == 32) p.key &= 0xFFFFFF;
    p.colour2 = true_colour(rec.colour2);
    p.colour2_raw = depth == 8 ? convert_colour(rec.colour2, 8) : pixel_value(rec.colour2, depth);
    p.remap = palette_state().mapping.load() != 0;
    p.colour_map = palette_state().map.data();
    p.tables = &tables;
    fill_palette(p.src_palette, src);
    fill_palette(p.dst_palette, dst);
    if (b.routine == kSoftThreshold) {
        for (uint32_t i = 0; i < 256; ++i) {
            if (i < L)
                p.soft[i] = 255;
            else if (i < L + L2)
                p.soft[i] = uint8_t(255 - (i - L) * 255 / L2);
            else
                p.soft[i] = 0;
        }
    }
    b.kernel = fast_kernel(b.routine, combination(src.depth(), depth), b.masked);
    return b;
}

}  // namespace tob::gfx
