// Font slots: the records scripts set, the platform fonts made from them (and
// made again only when a record changes), each script thread's current slot,
// and the scratch plane of smooth text.
#include <algorithm>
#include <cstring>

#include "graphics/text.h"
#include "platform/byte_order.h"
#include "platform/text_raster.h"

namespace tob::gfx {
namespace {

// "ＭＳ ゴシック" in CP932.
constexpr char kDefaultFace[] = "\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e";
constexpr int32_t kDefaultSize = 16;
constexpr int32_t kBoldWeight = 700;

}  // namespace

FontRecord decode_font_record(const FontRecordBytes& b) {
    FontRecord r{};
    std::memcpy(r.face, b.data(), kFaceFieldBytes);
    r.size = int32_t(load_le32(b.data() + offsetof(FontRecord, size)));
    r.angle = int32_t(load_le32(b.data() + offsetof(FontRecord, angle)));
    r.style = load_le32(b.data() + offsetof(FontRecord, style));
    return r;
}

FontRecordBytes default_font_record() {
    FontRecordBytes b{};
    std::memcpy(b.data(), kDefaultFace, sizeof(kDefaultFace) - 1);
    store_le32(b.data() + offsetof(FontRecord, size), uint32_t(kDefaultSize));
    return b;
}

std::optional<LOGFONTA> logfont_for(const FontRecord& r) {
    int64_t height = r.style & kStyleSmooth ? int64_t(r.size) * kSmoothScale : r.size;
    if (height < INT32_MIN || height > INT32_MAX) return std::nullopt;
    LOGFONTA lf{};
    lf.lfHeight = LONG(height);
    lf.lfWidth = 0;
    lf.lfEscapement = r.angle;
    lf.lfOrientation = r.angle;
    lf.lfWeight = r.style & kStyleBold ? kBoldWeight : 0;
    lf.lfItalic = r.style & kStyleItalic ? 1 : 0;
    lf.lfUnderline = r.style & kStyleUnderline ? 1 : 0;
    lf.lfStrikeOut = r.style & kStyleStrikeOut ? 1 : 0;
    lf.lfCharSet = TOB_SHIFTJIS_CHARSET;
    lf.lfOutPrecision = 0;
    lf.lfClipPrecision = 0;
    lf.lfQuality = TOB_NONANTIALIASED_QUALITY;
    lf.lfPitchAndFamily = TOB_FIXED_PITCH;
    size_t n = strnlen(r.face, kFaceNameBytes);
    std::memcpy(lf.lfFaceName, r.face, n);
    return lf;
}

void TextState::release_fonts() {
    for (Slot& s : slots_)
        if (s.font) {
            DeleteObject(s.font);
            s.font = nullptr;
        }
}

void TextState::reset() {
    release_fonts();
    for (Slot& s : slots_) s.record = default_font_record();
    current_.fill(0);
    scratch_.clear();
    scratch_.shrink_to_fit();
    scratch_width_ = scratch_height_ = 0;
}

HFONT TextState::font(uint32_t slot) {
    Slot& s = slots_[slot];
    if (s.font && s.made_from == s.record) return s.font;
    if (s.font) {
        DeleteObject(s.font);
        s.font = nullptr;
    }
    auto lf = logfont_for(decode_font_record(s.record));
    if (!lf) return nullptr;
    s.font = CreateFontIndirectA(&*lf);
    if (s.font) s.made_from = s.record;
    return s.font;
}

bool TextState::reserve_scratch(int64_t w, int64_t h) {
    int64_t nw = std::max(scratch_width_, w), nh = std::max(scratch_height_, h);
    if (nw <= scratch_width_ && nh <= scratch_height_) return true;
    if (uint64_t(nw / 8) * uint64_t(nh) > kMaxScratchBytes) return false;
    // Nothing in it is kept between drawings: each clears what it uses.
    scratch_.resize(size_t(nw / 8) * size_t(nh));
    scratch_width_ = nw;
    scratch_height_ = nh;
    return true;
}

TextState& text_state() {
    static TextState s;
    return s;
}

std::vector<std::string> offered_faces() {
    return platform::list_fixed_pitch_faces();
}

}  // namespace tob::gfx
