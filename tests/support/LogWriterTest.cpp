// The log end to end: configuration lookup, where files go, what lines hold, batches and stop.
#include "support/Log.h"
#include "support/TextConvert.h"
#include "tests/support/SupportTestEnv.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace {

using supporttest::ReadWholeFile;
using supporttest::WriteWholeFile;
namespace fs = std::filesystem;
using Ms = std::chrono::milliseconds;

class LogWriterTest : public ::testing::Test {
protected:
    LogWriterTest() { fs::create_directories(m_bin); }

    // The writer can be held in the injected clock, to play one that is slow to stop.
    CxLog& Start(const std::string& codeset = "UTF-8")
    {
        CxLogOptions options;
        options.commonConfigPath = Utf8ToWide(CommonConfig().string());
        options.executablePath = Utf8ToWide(m_executable.string());
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
    fs::path m_executable = m_bin / "tavtool";
    std::atomic<int64_t> m_now = LocalMs(4, 10, 30, 0, 250);
    std::atomic<bool> m_holdWriter{false};
    const std::thread::id m_testThread = std::this_thread::get_id();
    std::unique_ptr<CxLog> m_log; // stopped before the temporary home goes
};

TEST_F(LogWriterTest, WithoutConfigEverythingGoesToTheDailyFileBesideTheExecutable)
{
    CxLog& log = Start();
    log.Log(u"TavDB", u"CTavDB::Open", 12, 0, u"opened \u00e9");
    log.Log(u"store/TavDBSql", u"CTavDB::Read", 34, 1, u"%s-->Sql:%s", std::u16string(u"busy"), u"select 1");
    log.Log(u"TavDB", u"CTavDB::Copy", 56, 2, u"%s不存在", std::u16string_view(u"/单元"));
    log.Log(u"TavDB", u"F", 78, 3, u"near \"%s\": 100%d");
    log.Log(u"TavDB", u"F", 9, 3, u"first\r\nsecond\r\n");
    ASSERT_TRUE(log.Flush());
    m_now = LocalMs(5, 0, 0, 0, 100);
    log.Log(u"TavDB", u"F", 1, 0, u"after midnight");
    ASSERT_TRUE(log.Flush());
    EXPECT_EQ(ReadWholeFile(m_bin / "log.cfg"), "");
    EXPECT_EQ(log.LastLogFilePath(), Utf8ToWide(File("tavtool_20210105.log").string()));
    EXPECT_EQ(ReadWholeFile(File()), "2021-01-04 10:30:00.250 Message TavDB(CTavDB::Open, 12): opened é\r\n"
                                     "2021-01-04 10:30:00.250 Warning TavDBSql(CTavDB::Read, 34): busy-->Sql:select 1"
                                     "\r\n2021-01-04 10:30:00.250 Exception TavDB(CTavDB::Copy, 56): /单元不存在\r\n"
                                     "2021-01-04 10:30:00.250 Error TavDB(F, 78): near \"%s\": 100%d\r\n"
                                     "2021-01-04 10:30:00.250 Error TavDB(F, 9): first\r\nsecond\r\n");
    EXPECT_EQ(ReadWholeFile(File("tavtool_20210105.log")),
              "2021-01-05 00:00:00.100 Message TavDB(F, 1): after midnight\r\n");
}

TEST_F(LogWriterTest, ConfigLookupLevelsFileNamesAndWhatIsRead)
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
}

TEST_F(LogWriterTest, WhereTheFilesGo)
{
    m_home.Set("ARBORA_LOG_TEST_DIR", m_home.Root() / "logs");
    WriteWholeFile(m_bin / "log.cfg", "path|$ARBORA_LOG_TEST_DIR/tool/\r\n");
    Write({u"in the folder"});
    EXPECT_TRUE(fs::exists(m_home.Root() / "logs" / "tool" / "tavtool_20210104.log"));
    fs::remove(m_bin / "log.cfg");
    WriteWholeFile(m_bin / "Log", "a file where the folder should be");
    Write({u"elsewhere"});
    EXPECT_TRUE(fs::exists(m_home.Root() / "state" / "Log" / "tavtool_20210104.log"));
    WriteWholeFile(m_bin / "log.cfg", "path|" + (m_bin / "Log").string() + "/\r\n");
    Write({u"lost", u"lost too"});
    EXPECT_EQ(ReadWholeFile(m_bin / "Log"), "a file where the folder should be");
}

TEST_F(LogWriterTest, OverLongLinesAreCutBetweenCharactersInEachCharacterSet)
{
    Write({std::u16string(7000, u'a'), std::u16string(7000, u'中')});
    const std::string utf8 = ReadWholeFile(File());
    const size_t firstEnd = utf8.find("\r\n") + 2;
    EXPECT_EQ(firstEnd, cxlog::kMaxLineLength);
    EXPECT_LE(utf8.size() - firstEnd, cxlog::kMaxLineBytes);
    EXPECT_GT(utf8.size() - firstEnd, cxlog::kMaxLineBytes - 3);
    EXPECT_TRUE(utf8.ends_with("中\r\n"));
    fs::remove(File());
    // Characters the set cannot hold become '?'; a cut line ends with a whole character.
    for (const auto& [codeset, text, written] : {std::tuple{"GB18030", u"单元", "\xB5\xA5\xD4\xAA\r\n"},
                                                 {"ISO-8859-1", u"caf\u00e9 单 \U0001F600!", "caf\xE9 ? ?!\r\n"}}) {
        Write({text, std::u16string(5000, u'中')}, codeset);
        const std::string bytes = ReadWholeFile(File());
        const size_t second = bytes.find(written) + std::string(written).size();
        EXPECT_LE(bytes.size() - second, cxlog::kMaxLineBytes) << codeset;
        EXPECT_TRUE(bytes.ends_with(*codeset == 'G' ? "\xD6\xD0\r\n" : "?\r\n")) << codeset;
        fs::remove(File());
    }
}

TEST_F(LogWriterTest, StopWritesNothingMoreAndDoesNotWaitForASlowWriter)
{
    CxLog& log = Start();
    log.Log(u"TavDB", u"F", 1, 0, u"written");
    ASSERT_TRUE(log.Flush());
    log.Stop();
    log.Log(u"TavDB", u"F", 2, 0, u"never written");
    EXPECT_FALSE(log.Flush(Ms(100)));
    EXPECT_TRUE(ReadWholeFile(File()).ends_with("written\r\n"));
    fs::remove(File());

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
            const bool flushed = log.Flush() && &log == &CxLog::Instance();
            const fs::path written(log.LastLogFilePath());
            flushed && written.parent_path() == logs &&
                    ReadWholeFile(written).ends_with(" Message TavDB(CTavDB::Init, 7): hello\r\n")
                ? std::exit(0)
                : std::_Exit(1);
        },
        ::testing::ExitedWithCode(42), "CxLog has destroy!");
}

} // namespace
