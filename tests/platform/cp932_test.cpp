// The CP932 tables against the C library's "CP932" converter over every code,
// and the string conversions' handling of broken input.
#include "platform/cp932.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <optional>
#include <string>

using namespace tob;

namespace {

class Iconv {
  public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (ok()) iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    std::optional<std::string> convert(std::string in) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char out[16];
        char* inp = in.data();
        size_t inleft = in.size();
        char* outp = out;
        size_t outleft = sizeof out;
        if (iconv(cd_, &inp, &inleft, &outp, &outleft) == size_t(-1) || inleft != 0) {
            return std::nullopt;
        }
        return std::string(out, size_t(outp - out));
    }

  private:
    iconv_t cd_;
};

std::optional<char32_t> as_one_code_point(const std::optional<std::string>& s) {
    if (!s || s->size() != 4) return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(s->data());
    return char32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24);
}

}  // namespace

TEST(Cp932, DecodeTableMatchesIconvForEveryCode) {
    Iconv conv("UTF-32LE", "CP932");
    ASSERT_TRUE(conv.ok()) << "the C library has no CP932 converter";
    for (int b = 0; b < 256; ++b) {
        EXPECT_EQ(cp932_to_unicode(uint16_t(b)),
                  as_one_code_point(conv.convert(std::string(1, char(b)))))
            << std::hex << b;
    }
    int mapped = 0;
    for (int lead = 0x81; lead <= 0xFF; ++lead) {
        for (int trail = 0; trail < 256; ++trail) {
            auto expected = as_one_code_point(conv.convert(std::string{char(lead), char(trail)}));
            auto got = cp932_to_unicode(uint16_t(lead << 8 | trail));
            // Pairs that are a single byte followed by another are not double-byte codes.
            if (!is_sjis_lead(uint8_t(lead))) expected.reset();
            ASSERT_EQ(got, expected) << std::hex << lead << " " << trail;
            mapped += got.has_value();
        }
    }
    EXPECT_GT(mapped, 7000);
}

TEST(Cp932, EncodeTableMatchesIconvForEveryCharacter) {
    Iconv conv("CP932", "UTF-32LE");
    ASSERT_TRUE(conv.ok());
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        auto out = conv.convert(std::string{char(c & 0xFF), char(c >> 8 & 0xFF), char(c >> 16), 0});
        std::optional<uint16_t> expected;
        if (out && out->size() == 1) expected = uint8_t((*out)[0]);
        if (out && out->size() == 2)
            expected = uint16_t(uint8_t((*out)[0]) << 8 | uint8_t((*out)[1]));
        ASSERT_EQ(unicode_to_cp932(c), expected) << std::hex << uint32_t(c);
    }
}

TEST(Cp932, StringConversion) {
    struct Case {
        std::string cp932;
        std::string utf8;
    } cases[] = {
        {"abc\\d", "abc\\d"},
        {"\x95\x5c\x83\x5c", "表ソ"},  // trail byte 0x5C is not a backslash
        {"\xb1\xb2", "ｱｲ"},            // half-width katakana are single bytes
        {"\x82\xa0\x82\xa2", "あい"},
        {"\x87\x40", "①"},   // NEC special row, as Windows maps it
        {"\x81\x60", "～"},  // the CP932 tilde, not the JIS wave dash
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cp932_to_utf8(c.cp932), c.utf8);
        EXPECT_EQ(utf8_to_cp932(c.utf8), c.cp932);
    }
}

TEST(Cp932, BrokenInputIsReplacedNotRejected) {
    struct Case {
        std::string in;
        std::string out;
    } to_utf8[] = {
        {"a\x82", "a\xEF\xBF\xBD"},       // truncated double byte
        {"\x82\x20x", "\xEF\xBF\xBD x"},  // lead byte + invalid trail: only the lead is lost
        {"\x85\x40z", "\xEF\xBF\xBDz"},   // valid shape, unmapped code: both bytes
        {"\x80\xa0\xfd", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // unmapped single bytes
    };
    for (const auto& c : to_utf8) EXPECT_EQ(cp932_to_utf8(c.in), c.out);

    Case to_cp932[] = {
        {"\xF0\x9F\x98\x80!", "?!"},  // no CP932 code
        {"\xC3(", "?("},              // truncated sequence
        {"\xE3\x81", "??"},           // truncated at the end
        {"\xC0\xAF", "??"},           // overlong
        {"\xED\xA0\x80", "???"},      // surrogate
        {"\xFF", "?"},
    };
    for (const auto& c : to_cp932) EXPECT_EQ(utf8_to_cp932(c.in), c.out) << c.in;
}

TEST(Cp932, LeadBytesAndCharacterLength) {
    for (int b = 0; b < 256; ++b) {
        bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        EXPECT_EQ(is_sjis_lead(uint8_t(b)), lead) << b;
    }
    std::string s = "a\x95\x5c\x82";
    EXPECT_EQ(cp932_char_length(s, 0), 1u);
    EXPECT_EQ(cp932_char_length(s, 1), 2u);
    EXPECT_EQ(cp932_char_length(s, 3), 1u);
}
