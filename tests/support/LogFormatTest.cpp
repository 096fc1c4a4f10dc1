// The log's text rules: message formatting, line layout, file names, log.cfg parsing.
#include "support/Log.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

namespace {

using cxlog::Format;

TEST(LogFormatTest, ConversionsAndWhatCannotBeFilled)
{
    EXPECT_EQ(Format(u"[%s]", static_cast<const char16_t*>(nullptr)), u"[]");
    EXPECT_EQ(Format(u"%d %i %u", -5, -5, -1), u"-5 -5 4294967295");
    EXPECT_EQ(Format(u"%u %x %X %#x", static_cast<int64_t>(-1), 0x20001F3Du, 0xabcu, 255),
              u"18446744073709551615 20001f3d ABC 0xff");
    EXPECT_EQ(Format(u"%ld %lld %I64d", 7L, LLONG_MIN, 123456789012LL), u"7 -9223372036854775808 123456789012");
    EXPECT_EQ(Format(u"%05d|%-4d|%4d|%+d|%02d", -42, 7, 7, 7, 5), u"-0042|7   |   7|+7|05");
    EXPECT_EQ(Format(u"%-6s|%6s|%.3s", u"ab", u"ab", u"abcdef"), u"ab    |    ab|abc");
    EXPECT_EQ(Format(u"%c%c", u'中', static_cast<char16_t>(u'!')), u"中!");
    EXPECT_EQ(Format(u"100%% %s", u"done"), u"100% done");
    // Missing arguments, unknown conversions and a lone '%' at the end are text.
    EXPECT_EQ(Format(u"%s and %s", u"one"), u"one and %s");
    EXPECT_EQ(Format(u"%d%%"), u"%d%");
    EXPECT_EQ(Format(u"50%q %s|%-08", u"x", 1), u"50%q x|%-08");
    // A type that does not suit the conversion prints as what it is.
    EXPECT_EQ(Format(u"%d|%s|%s", u"text", 12, 4000000000u), u"text|12|4000000000");
    // Messages stop at 5119 units, and never inside a surrogate pair.
    const std::u16string longText(6000, u'a');
    EXPECT_EQ(Format(u"%s", longText), longText.substr(0, cxlog::kMaxMessageLength));
    EXPECT_EQ(Format(u"%999999999d", 1).size(), cxlog::kMaxMessageLength);
    EXPECT_EQ(Format(u"%s", std::u16string(5118, u'b') + u"\U00010000\U00010000"), std::u16string(5118, u'b'));
}

TEST(LogFormatTest, LineLayoutBeyondWhatTheLogFilesShow)
{
    std::u16string line;
    cxlog::FormatLine(line, u"T", 1, {}, {}, -7, {}, true);
    EXPECT_EQ(line, u"T Warning (, -7): \r\n");
    cxlog::FormatLine(line, u"T", 0, u"F", u"G", 1, std::u16string(5119, u'x'), true); // cut, with its line break
    EXPECT_EQ(line, u"T Message F(G, 1): " + std::u16string(5120 - 21, u'x') + u"\r\n");
    EXPECT_EQ(cxlog::LevelWord(-1), u"Level-1");
}

TEST(LogFormatTest, FileNamePerPeriodType)
{
    std::tm sunday{0, 0, 12, 3, 0, 121, 0, 0, -1, 0, nullptr};
    std::tm monday{0, 0, 12, 4, 0, 121, 0, 0, -1, 0, nullptr};
    std::mktime(&sunday); // fills in the weekday and the day of the year
    std::mktime(&monday);
    for (const auto& [periodType, date, name] :
         {std::tuple{1, monday, u"tavtool_20210104.log"}, {7, monday, u"tavtool_20210104.log"},
          {2, sunday, u"tavtool_202100.log"}, {2, monday, u"tavtool_202101.log"}, {3, sunday, u"tavtool_202101.log"},
          {4, monday, u"tavtool_2021.log"}})
        EXPECT_EQ(cxlog::LogFileName(u"tavtool", true, periodType, date), name) << periodType;
    EXPECT_EQ(cxlog::LogFileName(u"tavtool", false, 0, monday), u"_20210104.log");
    // A module name that leaves no room for the date is shortened to keep within 63 units.
    EXPECT_EQ(cxlog::LogFileName(std::u16string(80, u'm'), true, 0, monday),
              std::u16string(50, u'm') + u"_20210104.log");
}

TEST(LogFormatTest, ConfigKeysAndValues)
{
    ::setenv("ARBORA_LOG_TEST_ROOT", "/srv/logs", 1);
    ::unsetenv("ARBORA_LOG_TEST_UNSET");
    const struct {
        std::string text;
        int32_t level, periodType;
        bool funcName, moduleLogName;
        std::u16string path;
    } rows[] = {
        {"", -1, 0, true, true, u""},
        // Empty values change nothing; a later line overrides an earlier one.
        {"level|1\r\nlevel|2\r\nlevel|\r\nmoduleLogName|0\r\npath|/a/\r\npath|", 2, 0, true, false, u"/a/"},
        // Keys count only at the very start of a line and with their exact case.
        {" level|3\r\nLevel|3\r\n# level|3", -1, 0, true, true, u""},
        // Values are read as atoi reads them; the path is kept untrimmed.
        {"level|  2abc\r\nfuncName|no\r\npath| /a b/ ", 2, 0, false, true, u" /a b/ "},
        {"level|abc\r\nfuncName|-1", 0, 0, true, true, u""},
        {"level|99999999999", INT_MAX, 0, true, true, u""},
        // Only CR LF ends a line: a bare LF or CR keeps the rest on the line of the first key.
        {"level|3\nperiodType|2\nfuncName|0\n", 3, 0, true, true, u""},
        {"periodType|4\rlevel|3\r\nfuncName|0", -1, 4, false, true, u""},
        // Variables in the path are expanded; unknown or broken ones stay as written.
        {"path|${ARBORA_LOG_TEST_ROOT}tool$ARBORA_LOG_TEST_UNSET/${ARBORA_LOG_TEST_UNSET}/a$/b${/c$", -1, 0, true,
         true, u"/srv/logstool$ARBORA_LOG_TEST_UNSET/${ARBORA_LOG_TEST_UNSET}/a$/b${/c$"},
        {"path|/" + std::string(400, 'p'), -1, 0, true, true, u"/" + std::u16string(258, u'p')},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        cxlog::Config config;
        cxlog::ParseConfig(row.text, "UTF-8", config);
        EXPECT_EQ(config.level, row.level);
        EXPECT_EQ(config.periodType, row.periodType);
        EXPECT_EQ(config.funcName, row.funcName);
        EXPECT_EQ(config.moduleLogName, row.moduleLogName);
        EXPECT_EQ(config.path, row.path);
    }
    ::unsetenv("ARBORA_LOG_TEST_ROOT");
    // "path|/日志/" in GB18030: the folder name is decoded from the locale's character set.
    cxlog::Config config;
    cxlog::ParseConfig("path|/\xC8\xD5\xD6\xBE/", "GB18030", config);
    EXPECT_EQ(config.path, u"/日志/");
}

} // namespace
