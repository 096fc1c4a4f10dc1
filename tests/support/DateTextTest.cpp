#include "support/DateText.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>

TEST(DateTextTest, FormsAnchorsAndWhatIsNoDate)
{
    const double day = 42892; // 2017-06-06
    const double time = (9 * 3600 + 44 * 60 + 59) / 86400.0;
    for (const auto& [text, expected] : std::initializer_list<std::pair<const char16_t*, double>>{
             {u"2017-06-06 09:44:59", day + time}, {u"2017/6/6", day}, {u"2017-06-06T09:44:59", day + time},
             {u"2017/6/6 9:44", day + 584 / 1440.0}, {u"2017.06.06 23:59:59", day + 86399 / 86400.0},
             {u"  2017-06-06   09:44:59  ", day + time}, {u"2017-06-06 09:44:59.500", day + time + 0.5 / 86400},
             {u"1899-12-30", 0}, {u"1900-01-01", 2}, {u"9999-12-31", 2958465}, {u"0100-01-01", -657434},
             {u"1899-12-29 06:00:00", -1.25}, {u"18:00:00", 0.75}, {u"2016-02-29", 42429}, {u"2000-02-29", 36585}}) {
        double value = -5;
        EXPECT_TRUE(ParseDateText(text, value)) << WideToUtf8(text);
        EXPECT_DOUBLE_EQ(value, expected) << WideToUtf8(text);
    }
    for (const char16_t* text :
         {u"2017-02-29", u"1900-02-29", u"2016-02-30", u"2017-13-01", u"2017-00-10", u"2017-06-00", u"2017-06-31",
          u"2017-06-06 24:00:00", u"2017-06-06 09:60:00", u"2017-06-06 09:44:60", u"", u"abc", u"2017-06",
          u"2017-06-06 09:", u"2017-06/06", u"20170606", u"2017-006-06", u"2017-06-06x", u"2017-06-06 T09:44",
          u"2017-06-06 09:44:59.", u"２０１７-06-06", u"0099-12-31"}) {
        double value = 7;
        EXPECT_FALSE(ParseDateText(text, value)) << WideToUtf8(text);
        // Years before 100 overflow the date and say so with -1.
        EXPECT_EQ(value, std::u16string_view(text) == u"0099-12-31" ? -1 : 0) << WideToUtf8(text);
    }
}
