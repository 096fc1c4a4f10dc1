// The log: message formatting, line layout, file names, log.cfg parsing; then end to end: configuration
// lookup, where files go, what lines hold, batches and stop.
#include "support/Log.h"
#include "support/TextConvert.h"
#include "tests/support/SupportTestEnv.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace {

using cxlog::Format;
using supporttest::ReadWholeFile;
using supporttest::WriteWholeFile;
namespace fs = std::filesystem;
using Ms = std::chrono::milliseconds;

TEST(LogFormat, MessagesLinesAndFileNames)
{
    EXPECT_EQ(Format(u"[%s]", static_cast<const char16_t*>(nullptr)), u"[]");
    EXPECT_EQ(Format(u"%d %i %u", -5, -5, -1), u"-5 -5 4294967295");
    EXPECT_EQ(Format(u"%u %x %X %#x", static_cast<int64_t>(-1), 0x20001F3Du, 0xabcu, 255),
              u"18446744073709551615 20001f3d ABC 0xff");
    EXPECT_EQ(Format(u"%ld %lld %I64d", 7L, LLONG_MIN, 123456789012LL), u"7 -9223372036854775808 123456789012");
    EXPECT_EQ(Format(u"%05d|%-4d|%4d|%+d|%02d", -42, 7, 7, 7, 5), u"-0042|7   |   7|+7|05");
    EXPECT_EQ(Format(u"%-6s|%6s|%.3s", u"ab", u"ab", u"abcdef"), u"ab    |    ab|abc");
    EXPECT_EQ(Format(u"%c%c", u'中', static_cast<char16_t>(u'!')), u"中!");
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
    // Lines and file names.
    std::u16string line;
    cxlog::FormatLine(line, u"T", 1, {}, {}, -7, u"two\r\nlines\r\n", true); // the doubled line break trimmed
    EXPECT_EQ(line, u"T Warning (, -7): two\r\nlines\r\n");
    cxlog::FormatLine(line, u"T", 0, u"F", u"G", 1, std::u16string(5119, u'x'), true); // cut, with its line break
    EXPECT_EQ(line, u"T Message F(G, 1): " + std::u16string(5120 - 21, u'x') + u"\r\n");
    EXPECT_EQ(cxlog::LevelWord(-1), u"Level-1");
    // Monthly and yearly files; a module name that leaves no room for the date is shortened to keep within 63 units.
    const std::tm june{0, 0, 12, 6, 5, 117, 0, 0, -1, 0, nullptr};
    EXPECT_EQ(cxlog::LogFileName(u"tavtool", false, 3, june), u"_201706.log");
    EXPECT_EQ(cxlog::LogFileName(std::u16string(80, u'm'), true, 4, june), std::u16string(54, u'm') + u"_2017.log");
}

TEST(LogFormat, ConfigKeysAndValues)
{
    ::setenv("ARBORA_LOG_TEST_ROOT", "/srv/logs", 1);
    ::unsetenv("ARBORA_LOG_TEST_UNSET");
    // Each row: the text, then the level, period type, funcName, moduleLogName and path read from it.
    for (const auto& [text, read] : std::initializer_list<std::pair<std::string, std::string>>{
             // Empty values change nothing; a later line overrides an earlier one.
             {"level|1\r\nlevel|2\r\nlevel|\r\nmoduleLogName|0\r\npath|/a/\r\npath|", "2 0 1 0 /a/"},
             // Keys count only at the very start of a line and with their exact case.
             {" level|3\r\nLevel|3\r\n# level|3", "-1 0 1 1 "},
             // Values are read as atoi reads them; the path is kept untrimmed.
             {"level|  2abc\r\nfuncName|no\r\npath| /a b/ ", "2 0 0 1  /a b/ "},
             {"level|abc\r\nfuncName|-1", "0 0 1 1 "},
             {"level|99999999999", "2147483647 0 1 1 "},
             // Only CR LF ends a line: a bare LF or CR keeps the rest on the line of the first key.
             {"level|3\nperiodType|2\nfuncName|0\n", "3 0 1 1 "},
             {"periodType|4\rlevel|3\r\nfuncName|0", "-1 4 0 1 "},
             // Variables in the path are expanded; unknown or broken ones stay as written.
             {"path|${ARBORA_LOG_TEST_ROOT}tool$ARBORA_LOG_TEST_UNSET/${ARBORA_LOG_TEST_UNSET}/a$/b${/c$",
              "-1 0 1 1 /srv/logstool$ARBORA_LOG_TEST_UNSET/${ARBORA_LOG_TEST_UNSET}/a$/b${/c$"},
             // A long path is cut to 259 units, never inside a surrogate pair.
             {"path|/" + std::string(257, 'p') + "\xF0\x9F\x98\x80", "-1 0 1 1 /" + std::string(257, 'p')}}) {
        cxlog::Config c;
        cxlog::ParseConfig(text, "UTF-8", c);
        EXPECT_EQ(std::to_string(c.level) + " " + std::to_string(c.periodType) + " " + std::to_string(c.funcName) +
                      " " + std::to_string(c.moduleLogName) + " " + WideToUtf8(c.path),
                  read);
    }
    ::unsetenv("ARBORA_LOG_TEST_ROOT");
    // "path|/日志/" in GB18030: the folder name is decoded from the locale's character set.
    cxlog::Config config;
    cxlog::ParseConfig("path|/\xC8\xD5\xD6\xBE/", "GB18030", config);
    EXPECT_EQ(config.path, u"/日志/");
}

class LogWriterTest : public ::testing::Test {
protected:
    LogWriterTest() { fs::create_directories(m_bin); }

    // The writer can be held in the injected clock, to play one that is slow to stop.
    CxLog& Start(const std::string& codeset = "UTF-8")
    {
        CxLogOptions options;
        options.commonConfigPath = Utf8ToWide(CommonConfig().string());
        options.executablePath = Utf8ToWide((m_bin / "tavtool").string());
        options.fallbackLogFolder = Utf8ToWide((m_home.Root() / "state" / "Log").string()) + u"/";
        options.codeset = codeset;
        options.clock = [this] {
            while (m_holdWriter.load() && std::this_thread::get_id() != m_testThread)
                std::this_thread::sleep_for(Ms(5));
            return std::chrono::system_clock::time_point(Ms(m_now.load()));
        };
        m_log = std::make_unique<CxLog>(std::move(options));
        return *m_log;
    }
    void Write(std::initializer_list<std::u16string> messages, const std::string& codeset = "UTF-8")
    {
        CxLog& log = Start(codeset);
        for (const std::u16string& message : messages)
            log.Log(u"TavDB", u"F", 1, 0, message);
        ASSERT_TRUE(log.Flush());
    }
    static int64_t LocalMs(int day, int hour, int minute, int second, int millisecond) // in January 2021
    {
        std::tm local{second, minute, hour, day, 0, 121, 0, 0, -1, 0, nullptr};
        return static_cast<int64_t>(std::mktime(&local)) * 1000 + millisecond;
    }
    fs::path CommonConfig() const { return m_home.Root() / "data" / "log.cfg"; }
    fs::path File(const std::string& name = "tavtool_20210104.log") const { return m_bin / "Log" / name; }

    supporttest::TempHome m_home;
    fs::path m_bin = m_home.Root() / "bin";
    std::atomic<int64_t> m_now = LocalMs(4, 10, 30, 0, 250);
    std::atomic<bool> m_holdWriter{false};
    const std::thread::id m_testThread = std::this_thread::get_id();
    std::unique_ptr<CxLog> m_log; // stopped before the temporary home goes
};

TEST_F(LogWriterTest, WithoutConfigLinesGoToTheDailyFileBesideTheExecutableCutBetweenCharacters)
{
    CxLog& log = Start();
    log.Log(u"TavDB", u"CTavDB::Open", 12, 0, u"opened \u00e9");
    log.Log(u"store/TavDBSql", u"CTavDB::Read", 34, 1, u"%s-->Sql:%s", std::u16string(u"busy"), u"select 1");
    log.Log(u"TavDB", u"CTavDB::Copy", 56, 2, u"%s不存在", std::u16string_view(u"/单元"));
    log.Log(u"TavDB", u"F", 78, 3, u"near \"%s\": 100%d");
    ASSERT_TRUE(log.Flush());
    m_now = LocalMs(5, 0, 0, 0, 100);
    log.Log(u"TavDB", u"F", 1, 0, u"after midnight");
    ASSERT_TRUE(log.Flush());
    EXPECT_EQ(ReadWholeFile(m_bin / "log.cfg"), "");
    EXPECT_EQ(log.LastLogFilePath(), Utf8ToWide(File("tavtool_20210105.log").string()));
    EXPECT_EQ(ReadWholeFile(File()), "2021-01-04 10:30:00.250 Message TavDB(CTavDB::Open, 12): opened é\r\n"
                                     "2021-01-04 10:30:00.250 Warning TavDBSql(CTavDB::Read, 34): busy-->Sql:select 1"
                                     "\r\n2021-01-04 10:30:00.250 Exception TavDB(CTavDB::Copy, 56): /单元不存在\r\n"
                                     "2021-01-04 10:30:00.250 Error TavDB(F, 78): near \"%s\": 100%d\r\n");
    EXPECT_EQ(ReadWholeFile(File("tavtool_20210105.log")),
              "2021-01-05 00:00:00.100 Message TavDB(F, 1): after midnight\r\n");
    m_now = LocalMs(4, 10, 30, 0, 250);
    // Characters the set cannot hold become '?'; a cut line ends with a whole character and its line break.
    for (const auto& [codeset, text, written, last] :
         {std::tuple{"UTF-8", u"caf\u00e9", "caf\xC3\xA9\r\n", "\xE4\xB8\xAD\r\n"},
          {"GB18030", u"单元", "\xB5\xA5\xD4\xAA\r\n", "\xD6\xD0\r\n"},
          {"ISO-8859-1", u"caf\u00e9 单 \U0001F600!", "caf\xE9 ? ?!\r\n", "?\r\n"}}) {
        fs::remove(File());
        Write({text, std::u16string(7000, u'中')}, codeset);
        const std::string bytes = ReadWholeFile(File());
        const size_t second = bytes.find(written) + std::string(written).size();
        EXPECT_LE(bytes.size() - second, cxlog::kMaxLineBytes) << codeset;
        EXPECT_GT(bytes.size() - second, cxlog::kMaxLineBytes - 3) << codeset;
        EXPECT_TRUE(bytes.ends_with(last)) << codeset;
    }
}

TEST_F(LogWriterTest, ConfigLookupLevelsFileNamesAndFolders)
{
    WriteWholeFile(m_bin / "log.cfg", "level|0\r\n");
    WriteWholeFile(CommonConfig(), "level|3\r\nfuncName|0\r\nperiodType|2\r\nmoduleLogName|0\r\n");
    CxLog& log = Start();
    EXPECT_EQ(log.ConfigPath(), Utf8ToWide(CommonConfig().string()));
    log.Log(u"TavDB", u"F", 1, 2, u"dropped");
    log.Log(u"TavDB", u"F", 3, 3, u"kept");
    ASSERT_TRUE(log.Flush());
    EXPECT_EQ(ReadWholeFile(File("_202101.log")), "2021-01-04 10:30:00.250 Error kept\r\n");
    // Only a regular file of at most 64 KiB is read: none of these may hang the log or fill memory.
    ASSERT_EQ(::mkfifo((m_bin / "fifo").c_str(), 0644), 0);
    fs::create_symlink("/dev/zero", m_bin / "zero");
    WriteWholeFile(m_bin / "long", "level|3\r\n" + std::string(cxlog::kMaxConfigBytes - 9, '#'));
    WriteWholeFile(m_bin / "too long", "level|3\r\n" + std::string(cxlog::kMaxConfigBytes - 8, '#'));
    for (const auto& [name, level] : {std::pair{"fifo", -1}, {"zero", -1}, {"too long", -1}, {"long", 3}}) {
        fs::remove_all(CommonConfig());
        fs::create_directories(CommonConfig().parent_path());
        fs::rename(m_bin / name, CommonConfig());
        EXPECT_EQ(Start().Settings().level, level) << name;
    }
    // Where the files go: the configured folder, else Log beside the executable, else the fallback folder.
    fs::remove(CommonConfig());
    WriteWholeFile(m_bin / "log.cfg", "path|$HOME/tool/\r\n");
    Write({u"in the folder"});
    EXPECT_TRUE(fs::exists(m_home.Root() / "home" / "tool" / "tavtool_20210104.log"));
    fs::remove(m_bin / "log.cfg");
    fs::remove_all(m_bin / "Log");
    WriteWholeFile(m_bin / "Log", "a file where the folder should be");
    Write({u"elsewhere"});
    EXPECT_TRUE(fs::exists(m_home.Root() / "state" / "Log" / "tavtool_20210104.log"));
}

TEST_F(LogWriterTest, StopDoesNotWaitForASlowWriter)
{
    m_holdWriter = true;
    Start().Log(u"TavDB", u"F", 1, 0, u"taken before the stop");
    m_log.reset(); // the writer is held inside its batch: this must not wait for it
    EXPECT_FALSE(fs::exists(File()));
    m_holdWriter = false;
    for (int i = 0; i < 500 && !ReadWholeFile(File()).ends_with("\r\n"); ++i)
        std::this_thread::sleep_for(Ms(10));
    EXPECT_TRUE(ReadWholeFile(File()).ends_with("taken before the stop\r\n"));
}

// Registered before the process-wide log was made, so it runs after its destruction.
void UseTheLogAfterItsDestruction()
{
    try {
        CxLog::Instance();
    } catch (const std::runtime_error& error) {
        std::_Exit(std::string(error.what()) == "CxLog has destroy!" ? 42 : 2);
    }
    std::_Exit(1);
}

TEST(LogExitDeathTest, TheProcessWideLogReadsTheAllUsersConfigAndRefusesUseAfterExit)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    supporttest::TempHome home;
    const fs::path logs = home.Root() / "logs";
    WriteWholeFile(home.Root() / "data" / "Orvane" / "Vexa Arbora" / "log.cfg", "path|" + logs.string() + "/\r\n");
    EXPECT_EXIT(
        {
            std::atexit(UseTheLogAfterItsDestruction);
            CxLog& log = CxLog::Instance();
            log.Log(u"TavDB", u"CTavDB::Init", 7, 0, u"%s", u"hello");
            const bool ok = log.Flush() && &log == &CxLog::Instance() &&
                            ReadWholeFile(logs / fs::path(log.LastLogFilePath()).filename())
                                .ends_with(" Message TavDB(CTavDB::Init, 7): hello\r\n");
            ok ? std::exit(0) : std::_Exit(1);
        },
        ::testing::ExitedWithCode(42), "CxLog has destroy!");
}

} // namespace
