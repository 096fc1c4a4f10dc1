#include "support/DateText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr double kDay20170606 = 42892; // days from 1899-12-30 to 2017-06-06

double Seconds(int h, int m, int s) { return (h * 3600 + m * 60 + s) / 86400.0; }

TEST(DateTextTest, TheFormsThatUnitsHold)
{
    double value = -5;
    ASSERT_TRUE(ParseDateText(u"2017-06-06 09:44:59", value));
    EXPECT_DOUBLE_EQ(value, kDay20170606 + Seconds(9, 44, 59));
    ASSERT_TRUE(ParseDateText(u"2017/6/6", value));
    EXPECT_DOUBLE_EQ(value, kDay20170606);
    ASSERT_TRUE(ParseDateText(u"2017-06-06", value));
    EXPECT_DOUBLE_EQ(value, kDay20170606);
    ASSERT_TRUE(ParseDateText(u"2017-06-06T09:44:59", value));
    EXPECT_DOUBLE_EQ(value, kDay20170606 + Seconds(9, 44, 59));
    ASSERT_TRUE(ParseDateText(u"2017/6/6 9:44", value));
    EXPECT_DOUBLE_EQ(value, kDay20170606 + Seconds(9, 44, 0));
    ASSERT_TRUE(ParseDateText(u"2017.06.06 23:59:59", value));
    EXPECT_DOUBLE_EQ(value, kDay20170606 + Seconds(23, 59, 59));
    ASSERT_TRUE(ParseDateText(u"  2017-06-06   09:44:59  ", value));
    EXPECT_DOUBLE_EQ(value, kDay20170606 + Seconds(9, 44, 59));
    ASSERT_TRUE(ParseDateText(u"2017-06-06 09:44:59.500", value));
    EXPECT_DOUBLE_EQ(value, kDay20170606 + (Seconds(9, 44, 59) + 0.5 / 86400));
}

TEST(DateTextTest, KnownAnchorsOfTheOleDate)
{
    double value = -5;
    ASSERT_TRUE(ParseDateText(u"1899-12-30", value));
    EXPECT_DOUBLE_EQ(value, 0);
    ASSERT_TRUE(ParseDateText(u"1900-01-01", value));
    EXPECT_DOUBLE_EQ(value, 2);
    ASSERT_TRUE(ParseDateText(u"2000-01-01 12:00:00", value));
    EXPECT_DOUBLE_EQ(value, 36526.5);
    ASSERT_TRUE(ParseDateText(u"9999-12-31", value));
    EXPECT_DOUBLE_EQ(value, 2958465);
    ASSERT_TRUE(ParseDateText(u"0100-01-01", value));
    EXPECT_DOUBLE_EQ(value, -657434);
}

TEST(DateTextTest, BeforeDayZeroTheTimeStillCountsForward)
{
    double value = 0;
    ASSERT_TRUE(ParseDateText(u"1899-12-29 06:00:00", value));
    EXPECT_DOUBLE_EQ(value, -1.25);
}

TEST(DateTextTest, ATimeAloneCountsFromDayZero)
{
    double value = -5;
    ASSERT_TRUE(ParseDateText(u"12:00", value));
    EXPECT_DOUBLE_EQ(value, 0.5);
    ASSERT_TRUE(ParseDateText(u"18:00:00", value));
    EXPECT_DOUBLE_EQ(value, 0.75);
}

TEST(DateTextTest, LeapYears)
{
    double value = 0;
    EXPECT_TRUE(ParseDateText(u"2016-02-29", value));
    EXPECT_TRUE(ParseDateText(u"2000-02-29", value));
    EXPECT_FALSE(ParseDateText(u"2017-02-29", value));
    EXPECT_FALSE(ParseDateText(u"1900-02-29", value));
    EXPECT_FALSE(ParseDateText(u"2016-02-30", value));
    ASSERT_TRUE(ParseDateText(u"2016-03-01", value));
    double leapDay = 0;
    ASSERT_TRUE(ParseDateText(u"2016-02-29", leapDay));
    EXPECT_DOUBLE_EQ(value - leapDay, 1);
}

TEST(DateTextTest, OutOfRangeFieldsAreNoDate)
{
    for (const char16_t* text : {u"2017-13-01", u"2017-00-10", u"2017-06-00", u"2017-06-31", u"2017-01-32",
                                 u"2017-06-06 24:00:00", u"2017-06-06 09:60:00", u"2017-06-06 09:44:60", u"25:00"}) {
        double value = 7;
        EXPECT_FALSE(ParseDateText(text, value)) << std::string(text, text + std::char_traits<char16_t>::length(text));
        EXPECT_EQ(value, 0);
    }
}

TEST(DateTextTest, TextOfTheWrongFormIsNoDate)
{
    for (const char16_t* text :
         {u"", u"   ", u"abc", u"2017", u"2017-06", u"2017-06-06 09", u"2017-06-06 09:", u"2017-06/06", u"20170606",
          u"17-06-06", u"2017-006-06", u"2017-06-06x", u"2017-06-06 09:44:59 x", u"2017-06-06T", u"2017-06-06 T09:44",
          u"2017-06-06 09:44:59.", u"2017-06-06 -9:44", u"２０１７-06-06", u"2017-06-06 09:44:5９"}) {
        double value = 7;
        EXPECT_FALSE(ParseDateText(text, value)) << std::string(text, text + std::char_traits<char16_t>::length(text));
        EXPECT_EQ(value, 0);
    }
}

TEST(DateTextTest, YearsBeforeOneHundredOverflow)
{
    double value = 7;
    EXPECT_FALSE(ParseDateText(u"0099-12-31", value));
    EXPECT_EQ(value, -1);
}

} // namespace
