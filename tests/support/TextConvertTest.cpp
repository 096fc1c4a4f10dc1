#include "support/TextConvert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

namespace {

// Converts text held in a heap block of exactly its size, so that the address sanitizer
// catches a read past the end.
std::u16string FromExactUtf8(const std::string& bytes)
{
    const auto block = std::make_unique<char[]>(bytes.size() + 1);
    std::memcpy(block.get(), bytes.data(), bytes.size());
    return Utf8ToWide(std::string_view(block.get(), bytes.size()));
}

std::string FromExactUtf16(const std::u16string& units)
{
    const auto block = std::make_unique<char16_t[]>(units.size() + 1);
    std::memcpy(block.get(), units.data(), units.size() * sizeof(char16_t));
    return WideToUtf8(std::u16string_view(block.get(), units.size()));
}

bool HasLoneSurrogate(const std::u16string& text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            ++i;
        else if (text[i] >= 0xD800 && text[i] <= 0xDFFF)
            return true;
    }
    return false;
}

TEST(TextConvertTest, ValidTextRoundTrips)
{
    const struct {
        std::u16string wide;
        std::string utf8;
    } rows[] = {
        {u"", ""},
        {u"abc 123", "abc 123"},
        {std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
        {u"学习单元", "\xE5\xAD\xA6\xE4\xB9\xA0\xE5\x8D\x95\xE5\x85\x83"},
        {u"\u007F\u0080\u07FF\u0800\uFFFF", "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
        {u"\U0001F600\U00010000", "\xF0\x9F\x98\x80\xF0\x90\x80\x80"},
        {u"a\U00020000\U0010FFFF", "a\xF0\xA0\x80\x80\xF4\x8F\xBF\xBF"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(FromExactUtf16(row.wide), row.utf8);
        EXPECT_EQ(FromExactUtf8(row.utf8), row.wide);
    }
    EXPECT_EQ(ToWide("更新学习单元完成"), u"更新学习单元完成");
}

TEST(TextConvertTest, BrokenInputBecomesReplacementCharacters)
{
    const std::string bad = "\xEF\xBF\xBD";
    const std::u16string pair = u"\U0001F600";
    EXPECT_EQ(FromExactUtf16(std::u16string(1, char16_t(0xD800))), bad);
    EXPECT_EQ(FromExactUtf16(std::u16string(1, char16_t(0xDFFF))), bad);
    EXPECT_EQ(FromExactUtf16(std::u16string{char16_t(0xD83D), u'A'}), bad + "A");
    EXPECT_EQ(FromExactUtf16(std::u16string{char16_t(0xDE00), char16_t(0xD83D)}), bad + bad);
    // A high surrogate as the last unit is not paired with whatever lies beyond the text.
    EXPECT_EQ(WideToUtf8(std::u16string_view(pair.data(), 1)), bad);

    const struct {
        std::string utf8;
        std::u16string wide;
    } rows[] = {
        {"\x80", u"\uFFFD"},         {"\xFF\xFE", u"\uFFFD\uFFFD"}, {"\xC3", u"\uFFFD"},
        {"\xE4\xB8", u"\uFFFD"},     {"\xF0\x9F\x98", u"\uFFFD"},   {"\xE4" "A", u"\uFFFDA"},
        {"\xF4\x90\x80\x80", u"\uFFFD"}, // above U+10FFFF
        {"\xED\xA0\x80", u"\uFFFD"},     // an encoded surrogate
    };
    for (const auto& row : rows)
        EXPECT_EQ(FromExactUtf8(row.utf8), row.wide);
    // An overlong '/' or NUL must not sneak through as the character itself.
    for (const std::string bytes : {"\xC0\xAF", "\xE0\x80\xAF", "\xF0\x80\x80\xAF", "\xC0\x80"}) {
        const std::u16string wide = FromExactUtf8(bytes);
        EXPECT_FALSE(wide.empty());
        EXPECT_EQ(wide.find_first_of(std::u16string(u"/\0", 2)), std::u16string::npos);
    }
}

TEST(TextConvertTest, EveryBasicPlaneUnitAndRandomInputConvertCleanly)
{
    for (uint32_t unit = 1; unit <= 0xFFFF; ++unit) {
        const std::u16string one(1, static_cast<char16_t>(unit));
        if (unit >= 0xD800 && unit <= 0xDFFF)
            ASSERT_EQ(WideToUtf8(one), "\xEF\xBF\xBD") << unit;
        else
            ASSERT_EQ(Utf8ToWide(WideToUtf8(one)), one) << unit;
    }
    std::mt19937 random(20170606);
    const std::string interesting = "\x80\xBF\xC0\xC2\xDF\xE0\xED\xEF\xF0\xF4\xF5\xFF";
    for (int round = 0; round < 20000; ++round) {
        std::string bytes(random() % 25, '\0');
        for (char& b : bytes)
            b = random() % 2 ? interesting[random() % interesting.size()] : static_cast<char>(random());
        const std::u16string wide = FromExactUtf8(bytes);
        ASSERT_FALSE(HasLoneSurrogate(wide));
        ASSERT_EQ(FromExactUtf8(FromExactUtf16(wide)), wide);

        std::u16string units(random() % 17, u'\0');
        for (char16_t& u : units)
            u = static_cast<char16_t>(round % 2 ? 0xD800 + random() % 0x800 : random());
        const std::u16string back = FromExactUtf8(FromExactUtf16(units));
        ASSERT_FALSE(HasLoneSurrogate(back));
        ASSERT_TRUE(HasLoneSurrogate(units) || back == units);
    }
}

} // namespace
