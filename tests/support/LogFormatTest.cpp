// The log's text rules: message formatting, line layout, file names, log.cfg parsing.
#include "support/Log.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

namespace {

using cxlog::Format;

TEST(LogFormatTest, ConversionsTakeTheArgumentsTheStoreHands)
{
    const std::u16string message = u"no such table: Category";
    const std::u16string_view sql = u"select * from Category";
    EXPECT_EQ(Format(u"%s-->Sql:%s", message, sql), u"no such table: Category-->Sql:select * from Category");
    EXPECT_EQ(Format(u"%s不存在", u"/u/单元_contents/webpage"), u"/u/单元_contents/webpage不存在");
    EXPECT_EQ(Format(u"commit failed: %d", 19), u"commit failed: 19");
    EXPECT_EQ(Format(u"[%s]", static_cast<const char16_t*>(nullptr)), u"[]");

    EXPECT_EQ(Format(u"%d %i %u", -5, -5, -1), u"-5 -5 4294967295");
    EXPECT_EQ(Format(u"%u", static_cast<int64_t>(-1)), u"18446744073709551615");
    EXPECT_EQ(Format(u"%x %X %#x", 0x20001F3Du, 0xabcu, 255), u"20001f3d ABC 0xff");
    EXPECT_EQ(Format(u"%x", static_cast<int16_t>(-1)), u"ffff");
    EXPECT_EQ(Format(u"%ld %lld %I64d", 7L, LLONG_MIN, 123456789012LL), u"7 -9223372036854775808 123456789012");
    EXPECT_EQ(Format(u"%05d|%-4d|%4d|%+d", -42, 7, 7, 7), u"-0042|7   |   7|+7");
    EXPECT_EQ(Format(u"%02d:%02d", 9, 5), u"09:05");
    EXPECT_EQ(Format(u"%-6s|%6s|%.3s", u"ab", u"ab", u"abcdef"), u"ab    |    ab|abc");
    EXPECT_EQ(Format(u"%c%c", u'中', static_cast<char16_t>(u'!')), u"中!");
    EXPECT_EQ(Format(u"100%% %s", u"done"), u"100% done");
}

TEST(LogFormatTest, WhatCannotBeFilledPrintsAsItStands)
{
    // Missing arguments, unknown conversions and a lone '%' at the end are text.
    EXPECT_EQ(Format(u"%s and %s", u"one"), u"one and %s");
    EXPECT_EQ(Format(u"%d%%"), u"%d%");
    EXPECT_EQ(Format(u"50%q %s", u"x"), u"50%q x");
    EXPECT_EQ(Format(u"rate 5%", 1), u"rate 5%");
    EXPECT_EQ(Format(u"%-08", 1), u"%-08");
    // A type that does not suit the conversion prints as what it is, never as garbage.
    EXPECT_EQ(Format(u"%d|%s", u"text", 12), u"text|12");
    EXPECT_EQ(Format(u"%s", 4000000000u), u"4000000000");
}

TEST(LogFormatTest, MessagesStopAt5119Units)
{
    const std::u16string longText(6000, u'a');
    EXPECT_EQ(Format(u"%s", longText).size(), cxlog::kMaxMessageLength);
    EXPECT_EQ(Format(u"%s", longText), longText.substr(0, cxlog::kMaxMessageLength));
    // A huge width is cut like any other text.
    EXPECT_EQ(Format(u"%999999999d", 1).size(), cxlog::kMaxMessageLength);
    // The cut never leaves half of a surrogate pair behind.
    const std::u16string pairs = std::u16string(5118, u'b') + u"\U0001F600\U0001F600";
    const std::u16string cut = Format(u"%s", pairs);
    EXPECT_EQ(cut.size(), 5118u);
    EXPECT_EQ(cut.back(), u'b');
}

TEST(LogFormatTest, LineLayoutAndTrimming)
{
    std::u16string line;
    const std::u16string_view time = u"2021-01-04 10:30:00.250";
    cxlog::FormatLine(line, time, 3, u"TavDB", u"CTavDB::Open", 42, u"failed", true);
    EXPECT_EQ(line, u"2021-01-04 10:30:00.250 Error TavDB(CTavDB::Open, 42): failed\r\n");
    cxlog::FormatLine(line, time, 0, u"TavDB", u"CTavDB::Open", 42, u"failed", false);
    EXPECT_EQ(line, u"2021-01-04 10:30:00.250 Message failed\r\n");
    cxlog::FormatLine(line, time, 1, {}, {}, -7, {}, true);
    EXPECT_EQ(line, u"2021-01-04 10:30:00.250 Warning (, -7): \r\n");

    EXPECT_EQ(cxlog::LevelWord(2), u"Exception");
    EXPECT_EQ(cxlog::LevelWord(5), u"Level5");
    EXPECT_EQ(cxlog::LevelWord(-1), u"Level-1");

    // A message ending with its own line break gives one break, not an empty line.
    cxlog::FormatLine(line, time, 0, u"F", u"G", 1, u"ends\r\n", false);
    EXPECT_EQ(line, u"2021-01-04 10:30:00.250 Message ends\r\n");
    cxlog::FormatLine(line, time, 0, u"F", u"G", 1, u"two\r\nlines", false);
    EXPECT_EQ(line, u"2021-01-04 10:30:00.250 Message two\r\nlines\r\n");

    // An over-long line is cut to 5120 units and still ends with its line break.
    cxlog::FormatLine(line, time, 0, u"F", u"G", 1, std::u16string(5119, u'x'), true);
    EXPECT_EQ(line.size(), cxlog::kMaxLineLength);
    EXPECT_TRUE(line.ends_with(u"xx\r\n"));
}

std::tm LocalDate(int year, int month, int day)
{
    std::tm date{};
    date.tm_year = year - 1900;
    date.tm_mon = month - 1;
    date.tm_mday = day;
    date.tm_hour = 12;
    date.tm_isdst = -1;
    std::mktime(&date); // fills in the weekday and day of the year
    return date;
}

TEST(LogFormatTest, FileNamePerPeriodType)
{
    const std::tm sunday = LocalDate(2021, 1, 3);
    const std::tm monday = LocalDate(2021, 1, 4);
    EXPECT_EQ(cxlog::LogFileName(u"tavtool", true, 0, monday), u"tavtool_20210104.log");
    EXPECT_EQ(cxlog::LogFileName(u"tavtool", true, 1, monday), u"tavtool_20210104.log");
    EXPECT_EQ(cxlog::LogFileName(u"tavtool", true, 7, monday), u"tavtool_20210104.log");
    EXPECT_EQ(cxlog::LogFileName(u"tavtool", true, -3, monday), u"tavtool_20210104.log");
    // Weeks start on Monday: the Sunday before is still week 00.
    EXPECT_EQ(cxlog::LogFileName(u"tavtool", true, 2, sunday), u"tavtool_202100.log");
    EXPECT_EQ(cxlog::LogFileName(u"tavtool", true, 2, monday), u"tavtool_202101.log");
    EXPECT_EQ(cxlog::LogFileName(u"tavtool", true, 3, monday), u"tavtool_202101.log");
    EXPECT_EQ(cxlog::LogFileName(u"tavtool", true, 4, monday), u"tavtool_2021.log");
    EXPECT_EQ(cxlog::LogFileName(u"tavtool", false, 0, monday), u"_20210104.log");

    // A module name that leaves no room for the date is shortened, never overflowing 63 units.
    const std::u16string longName(80, u'm');
    const std::u16string name = cxlog::LogFileName(longName, true, 0, monday);
    EXPECT_EQ(name.size(), cxlog::kMaxFileNameLength);
    EXPECT_EQ(name, std::u16string(50, u'm') + u"_20210104.log");
}

cxlog::Config Parse(const std::string& text)
{
    cxlog::Config config;
    cxlog::ParseConfig(text, "UTF-8", config);
    return config;
}

TEST(LogFormatTest, ConfigKeysAndValues)
{
    const cxlog::Config defaults = Parse("");
    EXPECT_EQ(defaults.level, -1);
    EXPECT_EQ(defaults.periodType, 0);
    EXPECT_TRUE(defaults.funcName);
    EXPECT_TRUE(defaults.moduleLogName);
    EXPECT_TRUE(defaults.path.empty());

    const cxlog::Config all = Parse("level|3\r\nperiodType|2\r\nfuncName|0\r\nmoduleLogName|0\r\npath|/var/tmp/x/");
    EXPECT_EQ(all.level, 3);
    EXPECT_EQ(all.periodType, 2);
    EXPECT_FALSE(all.funcName);
    EXPECT_FALSE(all.moduleLogName);
    EXPECT_EQ(all.path, u"/var/tmp/x/");

    // Empty values change nothing; a later line overrides an earlier one.
    EXPECT_EQ(Parse("level|2\r\nlevel|\r\n").level, 2);
    EXPECT_EQ(Parse("level|1\r\nlevel|3").level, 3);
    EXPECT_EQ(Parse("path|/a/\r\npath|").path, u"/a/");
    // Keys count only at the very start of a line and with their exact case.
    EXPECT_EQ(Parse(" level|3").level, -1);
    EXPECT_EQ(Parse("Level|3").level, -1);
    EXPECT_EQ(Parse("# level|3").level, -1);
    // Values are read as atoi reads them.
    EXPECT_EQ(Parse("level|  2abc").level, 2);
    EXPECT_EQ(Parse("level|abc").level, 0);
    EXPECT_EQ(Parse("level|-2").level, -2);
    EXPECT_EQ(Parse("level|99999999999").level, INT_MAX);
    EXPECT_FALSE(Parse("funcName|no").funcName);
    EXPECT_TRUE(Parse("funcName|-1").funcName);
    // The path value is kept untrimmed.
    EXPECT_EQ(Parse("path| /a b/ ").path, u" /a b/ ");
}

TEST(LogFormatTest, OnlyCarriageReturnLineFeedEndsAConfigLine)
{
    // Bare line feeds keep everything on one line: only the first key counts and its number
    // ends at the line feed.
    const cxlog::Config lineFeeds = Parse("level|3\nperiodType|2\nfuncName|0\n");
    EXPECT_EQ(lineFeeds.level, 3);
    EXPECT_EQ(lineFeeds.periodType, 0);
    EXPECT_TRUE(lineFeeds.funcName);
    // A bare carriage return does not end a line either.
    const cxlog::Config mac = Parse("periodType|4\rlevel|3\r\nfuncName|0");
    EXPECT_EQ(mac.periodType, 4);
    EXPECT_EQ(mac.level, -1);
    EXPECT_FALSE(mac.funcName);
}

TEST(LogFormatTest, PathValuesExpandEnvironmentVariables)
{
    ::setenv("ARBORA_LOG_TEST_ROOT", "/srv/logs", 1);
    ::unsetenv("ARBORA_LOG_TEST_UNSET");
    EXPECT_EQ(Parse("path|$ARBORA_LOG_TEST_ROOT/tool/").path, u"/srv/logs/tool/");
    EXPECT_EQ(Parse("path|${ARBORA_LOG_TEST_ROOT}tool").path, u"/srv/logstool");
    EXPECT_EQ(cxlog::ExpandEnvironment(u"$ARBORA_LOG_TEST_UNSET/a/${ARBORA_LOG_TEST_UNSET}"),
              u"$ARBORA_LOG_TEST_UNSET/a/${ARBORA_LOG_TEST_UNSET}");
    EXPECT_EQ(cxlog::ExpandEnvironment(u"/a$/b${/c$"), u"/a$/b${/c$");
    ::unsetenv("ARBORA_LOG_TEST_ROOT");

    // Paths keep to 259 units.
    EXPECT_EQ(Parse("path|/" + std::string(400, 'p')).path.size(), 259u);
}

TEST(LogFormatTest, ConfigInTheLocaleCharacterSet)
{
    // "path|/日志/" in GB18030: the folder name is decoded from the locale's character set.
    cxlog::Config config;
    cxlog::ParseConfig("path|/\xC8\xD5\xD6\xBE/", "GB18030", config);
    EXPECT_EQ(config.path, u"/日志/");
}

} // namespace
