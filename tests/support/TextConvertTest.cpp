#include "support/TextConvert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

namespace {

// Converts bytes held in a heap block of exactly their size, so that a read past the end is
// caught by the address sanitizer.
std::u16string FromExactUtf8(const std::string& bytes)
{
    const auto block = std::make_unique<char[]>(bytes.size() ? bytes.size() : 1);
    std::memcpy(block.get(), bytes.data(), bytes.size());
    return Utf8ToWide(std::string_view(block.get(), bytes.size()));
}

std::string FromExactUtf16(const std::u16string& units)
{
    const auto block = std::make_unique<char16_t[]>(units.size() ? units.size() : 1);
    std::memcpy(block.get(), units.data(), units.size() * sizeof(char16_t));
    return WideToUtf8(std::u16string_view(block.get(), units.size()));
}

bool HasLoneSurrogate(const std::u16string& text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                return true;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return true;
        }
    }
    return false;
}

const std::string kReplacementUtf8 = "\xEF\xBF\xBD";

TEST(TextConvertTest, AsciiAndChineseRoundTrip)
{
    EXPECT_EQ(WideToUtf8(u"abc 123"), "abc 123");
    EXPECT_EQ(Utf8ToWide("abc 123"), u"abc 123");
    EXPECT_EQ(WideToUtf8(u"学习单元导入"), "\xE5\xAD\xA6\xE4\xB9\xA0\xE5\x8D\x95\xE5\x85\x83\xE5\xAF\xBC\xE5\x85\xA5");
    EXPECT_EQ(Utf8ToWide(WideToUtf8(u"学习单元导入")), u"学习单元导入");
    EXPECT_EQ(WideToUtf8(u""), "");
    EXPECT_EQ(Utf8ToWide(""), u"");
}

TEST(TextConvertTest, EveryLengthOfSequence)
{
    EXPECT_EQ(WideToUtf8(u"\u007F"), "\x7F");
    EXPECT_EQ(WideToUtf8(u"\u0080"), "\xC2\x80");
    EXPECT_EQ(WideToUtf8(u"\u07FF"), "\xDF\xBF");
    EXPECT_EQ(WideToUtf8(u"\u0800"), "\xE0\xA0\x80");
    EXPECT_EQ(WideToUtf8(u"\uFFFF"), "\xEF\xBF\xBF");
    EXPECT_EQ(Utf8ToWide("\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"), u"\u0080\u07FF\u0800\uFFFF");
}

TEST(TextConvertTest, SurrogatePairsBecomeFourBytesAndBack)
{
    const std::u16string emoji = u"\U0001F600";
    ASSERT_EQ(emoji.size(), 2u);
    EXPECT_EQ(WideToUtf8(emoji), "\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf8ToWide("\xF0\x9F\x98\x80"), emoji);
    EXPECT_EQ(WideToUtf8(u"\U00010000"), "\xF0\x90\x80\x80");
    EXPECT_EQ(WideToUtf8(u"\U0010FFFF"), "\xF4\x8F\xBF\xBF");
    EXPECT_EQ(Utf8ToWide("\xF4\x8F\xBF\xBF"), u"\U0010FFFF");
    EXPECT_EQ(Utf8ToWide("a\xF0\xA0\x80\x80z"), u"a\U00020000z");
}

TEST(TextConvertTest, LoneSurrogatesBecomeReplacementCharacters)
{
    EXPECT_EQ(FromExactUtf16(std::u16string(1, char16_t(0xD800))), kReplacementUtf8);
    EXPECT_EQ(FromExactUtf16(std::u16string(1, char16_t(0xDFFF))), kReplacementUtf8);
    // A high surrogate followed by something else keeps that something.
    EXPECT_EQ(FromExactUtf16(std::u16string{char16_t(0xD83D), u'A'}), kReplacementUtf8 + "A");
    // Low before high is no pair.
    EXPECT_EQ(FromExactUtf16(std::u16string{char16_t(0xDE00), char16_t(0xD83D)}), kReplacementUtf8 + kReplacementUtf8);
    // A high surrogate as the last unit is not paired with whatever lies beyond the text.
    const std::u16string pair = u"\U0001F600";
    EXPECT_EQ(WideToUtf8(std::u16string_view(pair.data(), 1)), kReplacementUtf8);
}

TEST(TextConvertTest, InvalidUtf8BecomesReplacementCharacters)
{
    EXPECT_EQ(FromExactUtf8("\x80"), u"\uFFFD");              // stray continuation byte
    EXPECT_EQ(FromExactUtf8("\xFF\xFE"), u"\uFFFD\uFFFD");      // never valid
    EXPECT_EQ(FromExactUtf8("\xC3"), u"\uFFFD");               // cut at the end
    EXPECT_EQ(FromExactUtf8("\xE4\xB8"), u"\uFFFD");
    EXPECT_EQ(FromExactUtf8("\xF0\x9F\x98"), u"\uFFFD");
    EXPECT_EQ(FromExactUtf8("\xE4" "A"), u"\uFFFDA");          // cut by an ASCII byte, which stays
    EXPECT_EQ(FromExactUtf8("\xF4\x90\x80\x80"), u"\uFFFD");   // above U+10FFFF
    EXPECT_EQ(FromExactUtf8("\xED\xA0\x80"), u"\uFFFD");       // an encoded surrogate
}

TEST(TextConvertTest, OverlongFormsNeverDecode)
{
    // An overlong '/' or NUL must not sneak through as the character itself.
    for (const std::string& bytes : {std::string("\xC0\xAF"), std::string("\xE0\x80\xAF"), std::string("\xF0\x80\x80\xAF"),
                                    std::string("\xC0\x80")}) {
        const std::u16string wide = FromExactUtf8(bytes);
        EXPECT_EQ(wide.find(u'/'), std::u16string::npos);
        EXPECT_EQ(wide.find(u'\0'), std::u16string::npos);
        EXPECT_FALSE(wide.empty());
    }
}

TEST(TextConvertTest, EmbeddedZerosAreKept)
{
    EXPECT_EQ(Utf8ToWide(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
    EXPECT_EQ(WideToUtf8(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
}

TEST(TextConvertTest, EveryUnitOfTheBasicPlaneRoundTripsOrIsReplaced)
{
    for (uint32_t unit = 1; unit <= 0xFFFF; ++unit) {
        const std::u16string one(1, static_cast<char16_t>(unit));
        const std::string utf8 = WideToUtf8(one);
        if (unit >= 0xD800 && unit <= 0xDFFF)
            ASSERT_EQ(utf8, kReplacementUtf8) << unit;
        else
            ASSERT_EQ(Utf8ToWide(utf8), one) << unit;
    }
}

TEST(TextConvertTest, RandomBytesNeverCrashAndGiveWellFormedText)
{
    std::mt19937 random(20170606);
    std::uniform_int_distribution<int> length(0, 24);
    std::uniform_int_distribution<int> byte(0, 255);
    const std::string interesting = "\x80\xBF\xC0\xC2\xDF\xE0\xED\xEF\xF0\xF4\xF5\xFF";
    for (int round = 0; round < 20000; ++round) {
        std::string bytes(static_cast<size_t>(length(random)), '\0');
        for (char& b : bytes) {
            const int pick = byte(random);
            b = pick < 128 ? interesting[static_cast<size_t>(pick) % interesting.size()] : static_cast<char>(byte(random));
        }
        const std::u16string wide = FromExactUtf8(bytes);
        ASSERT_FALSE(HasLoneSurrogate(wide));
        // Well-formed wide text survives the way back and forth unchanged.
        ASSERT_EQ(FromExactUtf8(FromExactUtf16(wide)), wide);
    }
}

TEST(TextConvertTest, RandomUnitsNeverCrashAndGiveValidUtf8)
{
    std::mt19937 random(42);
    std::uniform_int_distribution<int> length(0, 16);
    std::uniform_int_distribution<int> unit(0, 0xFFFF);
    std::uniform_int_distribution<int> surrogate(0xD800, 0xDFFF);
    for (int round = 0; round < 20000; ++round) {
        std::u16string units(static_cast<size_t>(length(random)), u'\0');
        for (char16_t& u : units)
            u = static_cast<char16_t>(round % 2 ? surrogate(random) : unit(random));
        const std::string utf8 = FromExactUtf16(units);
        // Valid UTF-8 converts back without any replacement that the input did not cause.
        const std::u16string back = FromExactUtf8(utf8);
        ASSERT_FALSE(HasLoneSurrogate(back));
        ASSERT_EQ(FromExactUtf16(back), utf8);
        if (!HasLoneSurrogate(units)) {
            ASSERT_EQ(back, units);
        }
    }
}

TEST(TextConvertTest, ToWideIsUtf8ToWide)
{
    EXPECT_EQ(ToWide("更新学习单元完成"), u"更新学习单元完成");
}

} // namespace
