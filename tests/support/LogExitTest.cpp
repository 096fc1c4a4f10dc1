// The process-wide log at process exit.
#include "support/Log.h"
#include "tests/support/SupportTestEnv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace {

using supporttest::ReadWholeFile;
using supporttest::TempHome;
using supporttest::WriteWholeFile;

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

TEST(LogExitDeathTest, InstanceAfterExitThrows)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempHome home;
    // The all-users log.cfg keeps the child's files inside the temporary home.
    WriteWholeFile(home.Root() / "data" / "Orvane" / "Vexa Arbora" / "log.cfg",
                   "path|" + (home.Root() / "logs").string() + "/\r\n");
    EXPECT_EXIT(
        {
            std::atexit(UseTheLogAfterItsDestruction);
            CxLog& log = CxLog::Instance();
            log.Log(u"TavDB", u"F", 1, 0, u"before exit");
            log.Flush();
            std::exit(0);
        },
        ::testing::ExitedWithCode(42), "CxLog has destroy!");
}

TEST(LogExitDeathTest, TheProcessWideLogReadsTheAllUsersConfig)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempHome home;
    const auto logs = home.Root() / "logs";
    WriteWholeFile(home.Root() / "data" / "Orvane" / "Vexa Arbora" / "log.cfg", "path|" + logs.string() + "/\r\n");
    // In a child of its own, so that the first call of Instance() sees this test's home.
    EXPECT_EXIT(
        {
            CxLog& log = CxLog::Instance();
            log.Log(u"TavDB", u"CTavDB::Init", 7, 0, u"%s", u"hello");
            const bool flushed = log.Flush();
            const std::filesystem::path written(log.LastLogFilePath());
            const bool same = &log == &CxLog::Instance();
            const bool there = written.parent_path() == logs &&
                               ReadWholeFile(written).ends_with(" Message TavDB(CTavDB::Init, 7): hello\r\n");
            std::_Exit(flushed && same && there ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
