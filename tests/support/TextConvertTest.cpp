#include "support/TextConvert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

// Converts a copy held in a heap block of exactly its size, so that the address sanitizer
// catches a read past the end.
template <typename Out, typename Char>
Out FromExact(const std::basic_string<Char>& text, Out (*convert)(std::basic_string_view<Char>))
{
    const auto block = std::make_unique<Char[]>(text.size() + 1);
    std::copy(text.begin(), text.end(), block.get());
    return convert(std::basic_string_view<Char>(block.get(), text.size()));
}
std::u16string Wide(const std::string& utf8) { return FromExact<std::u16string>(utf8, &Utf8ToWide); }
std::string Narrow(const std::u16string& wide) { return FromExact<std::string>(wide, &WideToUtf8); }

TEST(TextConvertTest, ValidTextRoundTripsAndBrokenTextIsReplaced)
{
    for (const auto& [wide, utf8] :
         {std::pair<std::u16string, std::string>{u"", ""}, {std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
          {u"学习", "\xE5\xAD\xA6\xE4\xB9\xA0"}, {u"\u007F\u0080\u07FF", "\x7F\xC2\x80\xDF\xBF"},
          {u"\u0800\uFFFF", "\xE0\xA0\x80\xEF\xBF\xBF"}, {u"\U0001F600\U00010000", "\xF0\x9F\x98\x80\xF0\x90\x80\x80"},
          {u"a\U0010FFFF", "a\xF4\x8F\xBF\xBF"}}) {
        EXPECT_EQ(Narrow(wide), utf8);
        EXPECT_EQ(Wide(utf8), wide);
    }
    EXPECT_EQ(ToWide("更新学习单元完成"), u"更新学习单元完成");
    // Lone surrogates, in either order, and a high one at the very end that must not pair with what lies beyond.
    const std::u16string pair = u"\U0001F600";
    EXPECT_EQ(Narrow(std::u16string{0xDE00, 0xD83D, u'A', 0xD800}), "\xEF\xBF\xBD\xEF\xBF\xBD" "A\xEF\xBF\xBD");
    EXPECT_EQ(WideToUtf8(std::u16string_view(pair.data(), 1)), "\xEF\xBF\xBD");
    // Stray, never valid, cut, above U+10FFFF, encoded surrogates; overlong forms never decode to '/' or NUL.
    for (const auto& [utf8, wide] :
         {std::pair<std::string, std::u16string>{"\x80", u"\uFFFD"}, {"\xFF\xFE", u"\uFFFD\uFFFD"}, {"\xC3", u"\uFFFD"},
          {"\xE4\xB8", u"\uFFFD"}, {"\xF0\x9F\x98", u"\uFFFD"}, {"\xE4" "A", u"\uFFFDA"},
          {"\xF4\x90\x80\x80", u"\uFFFD"}, {"\xED\xA0\x80", u"\uFFFD"}, {"\xC0\xAF", u"\uFFFD"},
          {"\xE0\x80\xAF", u"\uFFFD"}, {"\xF0\x80\x80\xAF", u"\uFFFD"}, {std::string("\xC0\x80", 2), u"\uFFFD"}})
        EXPECT_EQ(Wide(utf8), wide);
}

} // namespace
