#include "support/DateText.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>

TEST(DateTextTest, FormsAndAnchorsOfTheOleDate)
{
    const double day = 42892; // 2017-06-06
    const double time = (9 * 3600 + 44 * 60 + 59) / 86400.0;
    const struct {
        const char16_t* text;
        double value;
    } rows[] = {
        {u"2017-06-06 09:44:59", day + time}, {u"2017/6/6", day}, {u"2017-06-06T09:44:59", day + time},
        {u"2017/6/6 9:44", day + 584 / 1440.0}, {u"2017.06.06 23:59:59", day + 86399 / 86400.0},
        {u"  2017-06-06   09:44:59  ", day + time}, {u"2017-06-06 09:44:59.500", day + time + 0.5 / 86400},
        {u"1899-12-30", 0}, {u"1900-01-01", 2}, {u"2000-01-01 12:00:00", 36526.5}, {u"9999-12-31", 2958465},
        {u"0100-01-01", -657434}, {u"1899-12-29 06:00:00", -1.25}, {u"12:00", 0.5}, {u"18:00:00", 0.75},
        {u"2016-02-29", 42429}, {u"2016-03-01", 42430}, {u"2000-02-29", 36585},
    };
    for (const auto& row : rows) {
        double value = -5;
        EXPECT_TRUE(ParseDateText(row.text, value)) << WideToUtf8(row.text);
        EXPECT_DOUBLE_EQ(value, row.value) << WideToUtf8(row.text);
    }
}

TEST(DateTextTest, WrongFormsAndFieldsOutOfRangeAreNoDate)
{
    for (const char16_t* text :
         {u"2017-02-29", u"1900-02-29", u"2016-02-30", u"2017-13-01", u"2017-00-10", u"2017-06-00", u"2017-06-31",
          u"2017-01-32", u"2017-06-06 24:00:00", u"2017-06-06 09:60:00", u"2017-06-06 09:44:60", u"25:00", u"", u"   ",
          u"abc", u"2017", u"2017-06", u"2017-06-06 09", u"2017-06-06 09:", u"2017-06/06", u"20170606", u"17-06-06",
          u"2017-006-06", u"2017-06-06x", u"2017-06-06 09:44:59 x", u"2017-06-06T", u"2017-06-06 T09:44",
          u"2017-06-06 09:44:59.", u"2017-06-06 -9:44", u"２０１７-06-06", u"2017-06-06 09:44:5９", u"0099-12-31"}) {
        double value = 7;
        EXPECT_FALSE(ParseDateText(text, value)) << WideToUtf8(text);
        // Years before 100 overflow the date and say so with -1.
        EXPECT_EQ(value, std::u16string_view(text) == u"0099-12-31" ? -1 : 0) << WideToUtf8(text);
    }
}
