// A process killed in the middle of an upgrade step leaves the unit as it was before that
// step, so that the next run does the step once, whole: no web page copied twice, no GUID
// given twice or left half-copied.
#include "builder/UnitBuilder.h"
#include "store/TavDB.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

// A store on an already built unit that runs the upgrade driver.
class CrashStore : public CTavDB {
public:
    explicit CrashStore(const fs::path& unit)
    {
        SetPauseMilliseconds(0);
        m_path = Utf8ToWide(unit.string());
        m_db.Open(m_path);
    }
    void OnLine(ProgressCallback callback) { m_callback = std::move(callback); }
};

// Runs the upgrade in a child process, which signals through a pipe when it reports
// `line` for the `occurrence`-th time and then waits to be killed; the parent kills it
// there with SIGKILL. True when the child was killed at that point.
bool KillUpgradeAt(const fs::path& unit, const std::u16string& line, int occurrence)
{
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        // Child: only the upgrade, then _exit; nothing of the test framework.
        close(fds[0]);
        const int writeEnd = fds[1];
        int seen = 0;
        {
            CrashStore store(unit);
            store.OnLine([&](int32_t, int32_t, const std::u16string& text) {
                if (text == line && ++seen == occurrence) {
                    const char mark = 'k';
                    if (write(writeEnd, &mark, 1) != 1)
                        _exit(3);
                    for (;;)
                        pause();
                }
                return 0;
            });
            store.UpdateVersion();
        }
        _exit(2); // reached the end without meeting the line
    }
    close(fds[1]);
    pollfd wait{fds[0], POLLIN, 0};
    char mark = 0;
    const bool signalled = poll(&wait, 1, 60000) == 1 && read(fds[0], &mark, 1) == 1 && mark == 'k';
    close(fds[0]);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    return signalled && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

class CrashSafetyTest : public ::testing::Test {
protected:
    void SetUp() override { g_cancelFlag.store(0); }

    int64_t Count(const fs::path& unit, const std::string& sql)
    {
        testkit::UnitReader reader(unit);
        return reader.ScalarInt(sql);
    }
    void Upgrade(const fs::path& unit)
    {
        CrashStore store(unit);
        store.UpdateVersion();
    }
    // Every GUID of the unit is set, made once, and copied consistently.
    void ExpectGuidsWhole(const fs::path& unit)
    {
        EXPECT_EQ(Count(unit, "select count(*) from Category where length(CategoryGuid) <> 32 or CategoryGuid is null"), 0);
        EXPECT_EQ(Count(unit, "select count(*) from LiteraInfo where length(LiterGuid) <> 32 or LiterGuid is null"), 0);
        EXPECT_EQ(Count(unit, "select count(distinct LiterGuid) from LiteraInfo"), Count(unit, "select count(*) from LiteraInfo"));
        EXPECT_EQ(Count(unit, "select count(distinct CategoryGuid) from Category"), Count(unit, "select count(*) from Category"));
        EXPECT_EQ(Count(unit, "select count(*) from CategoryLitera c join LiteraInfo l on c.pkid = l.pkid where "
                              "c.LiterGuid is not l.LiterGuid"),
                  0);
        EXPECT_EQ(Count(unit, "select count(*) from NoteContent where length(NoteGuid) <> 32 or NoteGuid is null"), 0);
        EXPECT_EQ(Count(unit, "select count(*) from NoteContent n join LiteraInfo l on n.DOI = l.DOI where "
                              "n.LiterGuid is not l.LiterGuid"),
                  0);
    }

    testkit::ScopedHomeEnv m_home;
    testkit::TempDir m_dir;
};

TEST_F(CrashSafetyTest, KilledInsideStep13TheRerunCopiesEachWebPageOnce)
{
    testkit::UnitSpec spec = testkit::SampleSpec(12);
    spec.webPages.push_back({.pkid = 40, .title = u"third page", .createTime = u"2017-01-01 00:00:00"});
    const fs::path unit = m_dir.Path() / "unit.tav";
    testkit::BuildUnit(unit, spec);
    const int64_t pages = Count(unit, "select count(*) from WebPage_Info");
    const int64_t literature = Count(unit, "select count(*) from LiteraInfo");
    ASSERT_GE(pages, 3);

    // Killed after the first page was copied, before the second.
    ASSERT_TRUE(KillUpgradeAt(unit, u"更新网页回收站信息:2", 1));
    EXPECT_TRUE(fs::exists(unit.string() + "-journal")) << "the kill did not fall inside the step";
    EXPECT_EQ(Count(unit, "select VersionNum from VersionInfo"), 12);
    EXPECT_EQ(Count(unit, "select count(*) from LiteraInfo"), literature);

    Upgrade(unit);
    EXPECT_EQ(Count(unit, "select VersionNum from VersionInfo"), 16);
    EXPECT_EQ(Count(unit, "select count(*) from LiteraInfo where DataType = 6"), pages);
    EXPECT_EQ(Count(unit, "select count(*) from LiteraInfo"), literature + pages);
    EXPECT_EQ(Count(unit, "select count(*) from Category where Name like '网页资料%'"), 1);
    EXPECT_EQ(Count(unit, "select count(*) from WebPage_Trash"), 0);
    ExpectGuidsWhole(unit);
}

TEST_F(CrashSafetyTest, KilledInsideStep14TheRerunSetsEveryGuidOnce)
{
    testkit::UnitSpec spec = testkit::SampleSpec(13);
    spec.autoGuids = false;
    const fs::path unit = m_dir.Path() / "unit.tav";
    testkit::BuildUnit(unit, spec);
    const int64_t literature = Count(unit, "select count(*) from LiteraInfo");

    // Killed with some literature GUIDs written and the copies into other tables not yet made.
    ASSERT_TRUE(KillUpgradeAt(unit, u"更新文献信息表ID：2", 1));
    EXPECT_TRUE(fs::exists(unit.string() + "-journal")) << "the kill did not fall inside the step";
    EXPECT_EQ(Count(unit, "select VersionNum from VersionInfo"), 13);
    {
        testkit::UnitReader reader(unit);
        EXPECT_FALSE(reader.HasColumn("Category", "CategoryGuid"));
    }

    Upgrade(unit);
    EXPECT_EQ(Count(unit, "select VersionNum from VersionInfo"), 16);
    EXPECT_EQ(Count(unit, "select count(*) from LiteraInfo"), literature);
    ExpectGuidsWhole(unit);
}

} // namespace
