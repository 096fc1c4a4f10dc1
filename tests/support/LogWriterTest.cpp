// The log end to end: configuration lookup, where files go, what lines hold, batches and stop.
#include "support/Log.h"
#include "support/TextConvert.h"
#include "tests/support/SupportTestEnv.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using supporttest::ReadWholeFile;
using supporttest::WriteWholeFile;
namespace fs = std::filesystem;

std::vector<std::string> Lines(const fs::path& file)
{
    std::vector<std::string> lines;
    std::istringstream text(ReadWholeFile(file));
    for (std::string line; std::getline(text, line);)
        lines.push_back(line.ends_with('\r') ? line.substr(0, line.size() - 1) : line);
    return lines;
}

class LogWriterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(m_bin);
        SetClock(2021, 1, 4, 10, 30, 0, 250);
    }

    void SetClock(int year, int month, int day, int hour, int minute, int second, int millisecond)
    {
        std::tm local{};
        local.tm_year = year - 1900;
        local.tm_mon = month - 1;
        local.tm_mday = day;
        local.tm_hour = hour;
        local.tm_min = minute;
        local.tm_sec = second;
        local.tm_isdst = -1;
        m_now = static_cast<int64_t>(std::mktime(&local)) * 1000 + millisecond;
    }

    CxLog& Start(const std::string& codeset = "UTF-8")
    {
        CxLogOptions options;
        options.commonConfigPath = Utf8ToWide(CommonConfig().string());
        options.executablePath = Utf8ToWide(m_executable.string());
        options.fallbackLogFolder = Utf8ToWide(FallbackFolder().string()) + u"/";
        options.codeset = codeset;
        options.clock = [this] {
            // The writer can be held here, to play a writer that is slow to stop.
            while (m_holdWriter.load() && std::this_thread::get_id() != m_testThread)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            return std::chrono::system_clock::time_point(std::chrono::milliseconds(m_now.load()));
        };
        m_log = std::make_unique<CxLog>(std::move(options));
        return *m_log;
    }

    // Starts a log, writes the messages at level 0 and flushes them.
    void Write(std::initializer_list<const char16_t*> messages)
    {
        CxLog& log = Start();
        for (const char16_t* message : messages)
            log.Log(u"TavDB", u"F", 1, 0, message);
        ASSERT_TRUE(log.Flush());
    }

    fs::path CommonConfig() const { return m_home.Root() / "data" / "Orvane" / "Vexa Arbora" / "log.cfg"; }
    fs::path BesideConfig() const { return m_bin / "log.cfg"; }
    fs::path FallbackFolder() const { return m_home.Root() / "state" / "Orvane" / "Vexa Arbora" / "Log"; }
    fs::path DefaultFile(const std::string& name = "tavtool_20210104.log") const { return m_bin / "Log" / name; }

    supporttest::TempHome m_home;
    fs::path m_bin = m_home.Root() / "bin";
    fs::path m_executable = m_bin / "tavtool";
    std::atomic<int64_t> m_now{0};
    std::atomic<bool> m_holdWriter{false};
    const std::thread::id m_testThread = std::this_thread::get_id();
    std::unique_ptr<CxLog> m_log; // stopped before the temporary home goes
};

TEST_F(LogWriterTest, WithoutConfigEverythingGoesToTheDailyFileBesideTheExecutable)
{
    CxLog& log = Start();
    log.Log(u"TavDB", u"CTavDB::Open", 12, 0, u"opened");
    log.Log(u"store/TavDBSql", u"CTavDB::Read", 34, 1, u"%s-->Sql:%s", std::u16string(u"busy"), u"select 1");
    log.Log(u"TavDB", u"CTavDB::Copy", 56, 2, u"%s不存在", std::u16string_view(u"/单元_contents"));
    log.Log(u"TavDB", u"F", 78, 3, u"near \"%s\": syntax error 100%d");
    log.Log(u"TavDB", u"F", 9, 3, u"first\r\nsecond\r\n");
    ASSERT_TRUE(log.Flush());
    // An empty log.cfg is left beside the executable for the user to fill in.
    EXPECT_TRUE(fs::exists(BesideConfig()));
    EXPECT_EQ(fs::file_size(BesideConfig()), 0u);
    EXPECT_EQ(log.LastLogFilePath(), Utf8ToWide(DefaultFile().string()));
    EXPECT_EQ(ReadWholeFile(DefaultFile()),
              "2021-01-04 10:30:00.250 Message TavDB(CTavDB::Open, 12): opened\r\n"
              "2021-01-04 10:30:00.250 Warning TavDBSql(CTavDB::Read, 34): busy-->Sql:select 1\r\n"
              "2021-01-04 10:30:00.250 Exception TavDB(CTavDB::Copy, 56): /单元_contents不存在\r\n"
              "2021-01-04 10:30:00.250 Error TavDB(F, 78): near \"%s\": syntax error 100%d\r\n"
              "2021-01-04 10:30:00.250 Error TavDB(F, 9): first\r\nsecond\r\n");
    // A second batch appends to the same file.
    log.Log(u"TavDB", u"F", 1, 0, u"again");
    ASSERT_TRUE(log.Flush());
    EXPECT_EQ(Lines(DefaultFile()).size(), 7u);
}

TEST_F(LogWriterTest, ConfigLookupLevelsAndFileNames)
{
    // The all-users config wins over the one beside the executable.
    WriteWholeFile(BesideConfig(), "level|0\r\n");
    WriteWholeFile(CommonConfig(), "level|3\r\nfuncName|0\r\n");
    CxLog& log = Start();
    EXPECT_EQ(log.ConfigPath(), Utf8ToWide(CommonConfig().string()));
    log.Log(u"TavDB", u"F", 1, 0, u"dropped");
    log.Log(u"TavDB", u"F", 2, 2, u"dropped too");
    log.Log(u"TavDB", u"F", 3, 3, u"kept");
    ASSERT_TRUE(log.Flush());
    EXPECT_EQ(ReadWholeFile(DefaultFile()), "2021-01-04 10:30:00.250 Error kept\r\n");
    fs::remove(CommonConfig());
    fs::remove(DefaultFile());

    WriteWholeFile(BesideConfig(), "level|4\r\n");
    Write({u"silenced"});
    EXPECT_FALSE(fs::exists(DefaultFile()));

    WriteWholeFile(BesideConfig(), "periodType|2\r\nmoduleLogName|0\r\n");
    m_executable = m_bin / "tavtool.bin";
    Write({u"weekly"});
    EXPECT_EQ(Lines(DefaultFile("_202101.log")).size(), 1u);
    WriteWholeFile(BesideConfig(), "periodType|3\r\n");
    Write({u"monthly"});
    EXPECT_EQ(Lines(DefaultFile("tavtool_202101.log")).size(), 1u);
}

TEST_F(LogWriterTest, OnlyARegularConfigOfAtMost64KiBIsRead)
{
    // None may hang the log or fill memory; all but the last leave the defaults.
    const std::string setting = "level|3\r\n";
    const struct {
        const char* name;
        std::function<void(const fs::path&)> make;
        int32_t level;
    } cases[] = {
        {"a FIFO that nobody writes", [](const fs::path& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0644), 0); }, -1},
        {"a link to /dev/zero", [](const fs::path& at) { fs::create_symlink("/dev/zero", at); }, -1},
        {"a folder", [](const fs::path& at) { fs::create_directories(at); }, -1},
        {"a file over 64 KiB",
         [&](const fs::path& at) { WriteWholeFile(at, setting + std::string(cxlog::kMaxConfigBytes, '#')); }, -1},
        {"a file of exactly 64 KiB",
         [&](const fs::path& at) {
             WriteWholeFile(at, setting + std::string(cxlog::kMaxConfigBytes - setting.size(), '#'));
         },
         3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(CommonConfig());
        fs::create_directories(CommonConfig().parent_path());
        c.make(CommonConfig());
        EXPECT_EQ(Start().Settings().level, c.level);
        m_log.reset();
    }
}

TEST_F(LogWriterTest, MessagesOnBothSidesOfMidnightGoToTwoFiles)
{
    CxLog& log = Start();
    SetClock(2021, 1, 4, 23, 59, 59, 900);
    log.Log(u"TavDB", u"F", 1, 0, u"before");
    ASSERT_TRUE(log.Flush());
    SetClock(2021, 1, 5, 0, 0, 0, 100);
    log.Log(u"TavDB", u"F", 2, 0, u"after");
    ASSERT_TRUE(log.Flush());
    EXPECT_EQ(ReadWholeFile(DefaultFile()), "2021-01-04 23:59:59.900 Message TavDB(F, 1): before\r\n");
    EXPECT_EQ(ReadWholeFile(DefaultFile("tavtool_20210105.log")), "2021-01-05 00:00:00.100 Message TavDB(F, 2): after\r\n");
}

TEST_F(LogWriterTest, WhereTheFilesGo)
{
    // The configured path is a prefix, with variables expanded.
    m_home.Set("ARBORA_LOG_TEST_DIR", m_home.Root() / "logs");
    WriteWholeFile(BesideConfig(), "path|$ARBORA_LOG_TEST_DIR/tool/\r\n");
    Write({u"in the folder"});
    EXPECT_EQ(Lines(m_home.Root() / "logs" / "tool" / "tavtool_20210104.log").size(), 1u);
    WriteWholeFile(BesideConfig(), "path|${ARBORA_LOG_TEST_DIR}/tool\r\n");
    Write({u"glued"});
    EXPECT_EQ(Lines(m_home.Root() / "logs" / "tooltavtool_20210104.log").size(), 1u);

    // When the log folder cannot be made, the state folder takes the file.
    fs::remove(BesideConfig());
    WriteWholeFile(m_bin / "Log", "a file where the folder should be");
    Write({u"elsewhere"});
    EXPECT_EQ(Lines(FallbackFolder() / "tavtool_20210104.log").size(), 1u);
    EXPECT_EQ(ReadWholeFile(m_bin / "Log"), "a file where the folder should be");

    // A file that cannot be opened drops the batch, and the log goes on.
    WriteWholeFile(BesideConfig(), "path|" + (m_bin / "Log").string() + "/\r\n");
    Write({u"lost"});
    Write({u"lost too"});
    EXPECT_EQ(ReadWholeFile(m_bin / "Log"), "a file where the folder should be");
}

TEST_F(LogWriterTest, OverLongLinesAndCharacterSets)
{
    CxLog& log = Start();
    log.Log(u"TavDB", u"F", 1, 3, std::u16string(7000, u'a'));
    log.Log(u"TavDB", u"F", 2, 3, u"%s", std::u16string(7000, u'中'));
    log.Log(u"TavDB", u"F", 3, 3, u"next");
    ASSERT_TRUE(log.Flush());
    std::vector<std::string> lines = Lines(DefaultFile());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].size(), cxlog::kMaxLineLength - 2);
    // At most 5120 bytes with the break, no character split.
    EXPECT_LE(lines[1].size() + 2, cxlog::kMaxLineBytes);
    EXPECT_GT(lines[1].size() + 2, cxlog::kMaxLineBytes - 3);
    EXPECT_EQ(Utf8ToWide(lines[1]).find(u'\uFFFD'), std::u16string::npos);
    EXPECT_EQ(lines[2], "2021-01-04 10:30:00.250 Error TavDB(F, 3): next");
    fs::remove(DefaultFile());

    CxLog& gb = Start("GB18030");
    gb.Log(u"TavDB", u"F", 1, 0, u"单元");
    gb.Log(u"TavDB", u"F", 2, 0, std::u16string(5000, u'中'));
    ASSERT_TRUE(gb.Flush());
    lines = Lines(DefaultFile());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].ends_with("\xB5\xA5\xD4\xAA")) << "单元 in GB18030";
    EXPECT_LE(lines[1].size() + 2, cxlog::kMaxLineBytes);
    EXPECT_TRUE(lines[1].ends_with("\xD6\xD0")) << "ends with a whole 中";
    fs::remove(DefaultFile());

    CxLog& latin = Start("ISO-8859-1");
    latin.Log(u"TavDB", u"F", 1, 0, u"caf\u00e9 单 \U0001F600!");
    ASSERT_TRUE(latin.Flush());
    EXPECT_TRUE(ReadWholeFile(DefaultFile()).ends_with("caf\xE9 ? ?!\r\n"));
}

TEST_F(LogWriterTest, ManyThreadsLoseNoLineAndKeepTheirOrder)
{
    CxLog& log = Start();
    constexpr int kThreads = 4;
    constexpr int kEach = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&log, t] {
            for (int i = 0; i < kEach; ++i)
                log.Log(u"TavDB", u"F", t, 0, u"thread %d message %04d", t, i);
        });
    for (std::thread& thread : threads)
        thread.join();
    ASSERT_TRUE(log.Flush());
    const std::vector<std::string> lines = Lines(DefaultFile());
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kEach));
    std::vector<int> next(kThreads, 0);
    for (const std::string& line : lines) {
        int thread = -1;
        int index = -1;
        ASSERT_EQ(std::sscanf(line.c_str() + line.find("thread "), "thread %d message %d", &thread, &index), 2);
        ASSERT_TRUE(thread >= 0 && thread < kThreads) << line;
        EXPECT_EQ(index, next[thread]++);
    }
}

TEST_F(LogWriterTest, StopWritesNothingMoreAndDoesNotWaitForASlowWriter)
{
    CxLog& log = Start();
    log.Log(u"TavDB", u"F", 1, 0, u"written");
    ASSERT_TRUE(log.Flush());
    log.Stop();
    log.Log(u"TavDB", u"F", 2, 0, u"never written");
    EXPECT_FALSE(log.Flush(std::chrono::milliseconds(100)));
    log.Stop();
    EXPECT_EQ(Lines(DefaultFile()).size(), 1u);
    fs::remove(DefaultFile());

    Start();
    m_holdWriter = true;
    m_log->Log(u"TavDB", u"F", 1, 0, u"taken before the stop");
    // The writer is held inside its batch; destroying the log must not wait for it.
    m_log.reset();
    EXPECT_FALSE(fs::exists(DefaultFile()));
    m_holdWriter = false;
    // Let go, it finishes its batch on state that it still owns.
    for (int i = 0; i < 500 && !ReadWholeFile(DefaultFile()).ends_with("\r\n"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(ReadWholeFile(DefaultFile()).ends_with("taken before the stop\r\n"));
}

// Runs after the process-wide log has been destroyed (it was registered before the log was made).
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
    // In a child of its own, so that the first call of Instance() sees this test's home.
    EXPECT_EXIT(
        {
            std::atexit(UseTheLogAfterItsDestruction);
            CxLog& log = CxLog::Instance();
            log.Log(u"TavDB", u"CTavDB::Init", 7, 0, u"%s", u"hello");
            const bool flushed = log.Flush();
            const fs::path written(log.LastLogFilePath());
            const bool fine = flushed && &log == &CxLog::Instance() && written.parent_path() == logs &&
                              ReadWholeFile(written).ends_with(" Message TavDB(CTavDB::Init, 7): hello\r\n");
            fine ? std::exit(0) : std::_Exit(1);
        },
        ::testing::ExitedWithCode(42), "CxLog has destroy!");
}

} // namespace
