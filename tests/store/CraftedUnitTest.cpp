// Units made to mislead the store: their own triggers, views or virtual tables in place of
// layout tables, version numbers that do not fit, damaged, empty and read-only files. A unit's
// own SQL never runs; what cannot be read safely is refused before anything is written.
#include "builder/UnitBuilder.h"
#include "store/TavDB.h"
#include "support/Log.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string Bytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct InitRun {
    int result = 0;
    std::vector<std::u16string> lines;
    SRunReport report;

    bool Saw(const std::u16string& text) const
    {
        for (const std::u16string& line : lines)
            if (line == text)
                return true;
        return false;
    }
};

InitRun RunInit(const fs::path& unit, const std::u16string& account)
{
    InitRun run;
    CTavDB store;
    store.SetPauseMilliseconds(0);
    std::u16string tavId;
    run.result = store.Init(Utf8ToWide(unit.string()), tavId, account,
                            [&run](int32_t, int32_t, const std::u16string& text) {
                                run.lines.push_back(text);
                                return 1;
                            });
    run.report = store.RunReport();
    return run;
}

int64_t Count(const fs::path& unit, const std::string& sql)
{
    testkit::UnitReader reader(unit);
    return reader.ScalarInt(sql);
}

size_t BackupCount(const fs::path& unit)
{
    const fs::path folder = testkit::ContentsFolder(unit) / "TavBackup";
    std::error_code error;
    size_t count = 0;
    for (const auto& entry : fs::directory_iterator(folder, error))
        count += entry.path().extension() == ".back" ? 1 : 0;
    return count;
}

// An endless row source for the statements below.
constexpr const char* kEndless = "with recursive c(x) as (select 1 union all select x + 1 from c) ";

// The sample unit at `version` in `dir`, then `craft` run on it through a raw connection.
fs::path Make(const fs::path& dir, int32_t version, const std::vector<std::string>& craft, bool encrypted = false)
{
    testkit::UnitSpec spec = testkit::SampleSpec(version);
    spec.encrypted = encrypted;
    const fs::path unit = dir / "unit.tav";
    testkit::BuildUnit(unit, spec);
    testkit::UnitReader reader(unit);
    for (const std::string& sql : craft)
        reader.Execute(sql);
    return unit;
}

class CraftedUnitTest : public ::testing::Test {
protected:
    void SetUp() override { g_cancelFlag.store(0); }

    testkit::ScopedHomeEnv m_home;
    testkit::TempDir m_dir;
};

// Triggers and version numbers: the run goes through, and the unit's triggers change nothing.
struct RunThroughCase {
    const char* name;
    int32_t version;
    std::vector<std::string> craft;
    const char16_t* account;
    std::function<void(const fs::path& unit, const InitRun& run, int64_t notesBefore)> check;
};

TEST_F(CraftedUnitTest, TriggersNeverRunAndVersionNumbersAreReadWhole)
{
    const auto upgradedTo16 = [](const fs::path& unit, const InitRun& run, int64_t) {
        EXPECT_EQ(Count(unit, "select VersionNum from VersionInfo"), 16);
        EXPECT_TRUE(run.Saw(u"学习单元数据升级到版本16..."));
    };
    // A version no step can take further: runs as the current layout, never through the steps
    // again, and is backed up before the creation pass changes it.
    const auto newerLayoutBackedUp = [](const fs::path& unit, const InitRun& run, int64_t) {
        EXPECT_FALSE(run.Saw(u"升级学习单元数据到版本2..."));
        EXPECT_FALSE(run.Saw(u"备份学习单元"));
        EXPECT_EQ(BackupCount(unit), 1u);
        EXPECT_GT(run.report.newerVersion, 16);
        EXPECT_LE(Count(unit, "select count(*) from Category where Name like '网页资料%'"), 1);
        // The copy was taken before the creation pass made the missing table.
        const fs::path copy = fs::directory_iterator(testkit::ContentsFolder(unit) / "TavBackup")->path();
        testkit::UnitReader backup(copy);
        EXPECT_FALSE(backup.HasTable("PushItem"));
        testkit::UnitReader reader(unit);
        EXPECT_TRUE(reader.HasTable("PushItem"));
    };
    const std::vector<RunThroughCase> cases = {
        {"a trigger on LiteraInfo deletes every note", 12,
         {"create trigger wipe after update on LiteraInfo begin delete from NoteContent; end",
          "create trigger wipe2 after insert on LiteraInfo begin delete from NoteContent; end"},
         u"",
         [&](const fs::path& unit, const InitRun& run, int64_t notesBefore) {
             upgradedTo16(unit, run, notesBefore);
             EXPECT_EQ(Count(unit, "select count(*) from NoteContent"), notesBefore);
         }},
        {"a trigger that raises during step 13", 12,
         {"create trigger refuse before insert on LiteraInfo begin select raise(abort, 'crafted'); end"}, u"",
         [&](const fs::path& unit, const InitRun& run, int64_t notesBefore) {
             upgradedTo16(unit, run, notesBefore);
             EXPECT_EQ(Count(unit, "select count(*) from LiteraInfo where DataType = 6"), 2);
         }},
        {"a trigger on VersionInfo with an endless query", 12,
         {std::string("create trigger spin after update on VersionInfo begin select count(*) from (") + kEndless +
          "select x from c); end"},
         u"", upgradedTo16},
        {"a trigger that clears the owner", 12,
         {"create trigger open_up after update on VersionInfo begin update VersionInfo set UserKey = NULL; end"},
         u"someone else",
         [](const fs::path& unit, const InitRun& run, int64_t) {
             EXPECT_EQ(run.result, kTavImportFailed);
             EXPECT_EQ(run.lines.back(), u"导入学习单元失败，您没有权限读取该学习单元数据。");
             testkit::UnitReader reader(unit);
             EXPECT_EQ(reader.Scalar("select UserKey from VersionInfo"), "owner1");
         }},
        {"VersionNum 4294967297 on a version-16 unit", 16,
         {"update VersionInfo set VersionNum = 4294967297", "drop table PushItem"}, u"", newerLayoutBackedUp},
        {"VersionNum 2147483648", 16, {"update VersionInfo set VersionNum = 2147483648", "drop table PushItem"}, u"",
         newerLayoutBackedUp},
        {"VersionNum 17", 16, {"update VersionInfo set VersionNum = 17", "drop table PushItem"}, u"",
         newerLayoutBackedUp},
        {"VersionNum 99", 16, {"update VersionInfo set VersionNum = 99", "drop table PushItem"}, u"",
         newerLayoutBackedUp},
        {"VersionNum -4294967295 cannot be used", 12, {"update VersionInfo set VersionNum = -4294967295"}, u"",
         [](const fs::path& unit, const InitRun& run, int64_t) {
             EXPECT_TRUE(run.Saw(u"学习单元已经是最新版本，不需要升级"));
             EXPECT_FALSE(run.Saw(u"备份学习单元"));
             EXPECT_EQ(BackupCount(unit), 0u);
             EXPECT_EQ(Count(unit, "select VersionNum from VersionInfo"), -4294967295LL);
         }},
    };
    for (const RunThroughCase& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(m_dir.Path());
        fs::create_directories(m_dir.Path());
        const fs::path unit = Make(m_dir.Path(), c.version, c.craft);
        const int64_t notesBefore = Count(unit, "select count(*) from NoteContent");
        const InitRun run = RunInit(unit, c.account);
        c.check(unit, run, notesBefore);
    }
}

// Units refused before anything is written: the file keeps every byte, no backup is made,
// and the store names the cause.
struct RefusedCase {
    const char* name;
    std::function<fs::path(const fs::path& dir)> make;
    EUnitProblem cause;
};

TEST_F(CraftedUnitTest, UnsafeOrDamagedUnitsAreRefusedUntouched)
{
    const auto crafted = [](int32_t version, std::vector<std::string> craft, bool encrypted = false) {
        return [=](const fs::path& dir) { return Make(dir, version, craft, encrypted); };
    };
    const std::vector<RefusedCase> cases = {
        {"a view with endless rows in place of WebPage_Info",
         crafted(12, {"drop table WebPage_Info",
                      std::string("create view WebPage_Info as ") + kEndless +
                          "select x as pkid, 't' as Title from c"}),
         EUnitProblem::ForeignObject},
        {"an encrypted unit with a view in place of VersionInfo",
         crafted(16, {"alter table VersionInfo rename to V0", "create view versioninfo as select * from V0"}, true),
         EUnitProblem::ForeignObject},
        {"a virtual table in place of Label",
         crafted(12, {"drop table Label", "create virtual table Label using fts4(LabelText, NoteID)"}),
         EUnitProblem::ForeignObject},
        {"a damaged LiteraInfo page",
         [](const fs::path& dir) {
             const fs::path unit = Make(dir, 12, {});
             int64_t root = 0;
             int64_t pageSize = 0;
             {
                 testkit::UnitReader reader(unit);
                 root = reader.ScalarInt("select rootpage from sqlite_master where name = 'LiteraInfo'");
                 pageSize = reader.ScalarInt("pragma page_size");
             }
             // The page's header names a kind of page that does not exist.
             std::fstream file(unit, std::ios::in | std::ios::out | std::ios::binary);
             file.seekp((root - 1) * pageSize);
             file.write("\x01\xff\xff\xff\xff\xff\xff\xff", 8);
             return unit;
         },
         EUnitProblem::Damaged},
        {"an empty file",
         [](const fs::path& dir) {
             std::ofstream(dir / "empty.tav");
             return dir / "empty.tav";
         },
         EUnitProblem::EmptyFile},
        {"a read-only plain unit in a writable folder",
         [](const fs::path& dir) {
             const fs::path unit = Make(dir, 12, {});
             fs::permissions(unit, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
             return unit;
         },
         EUnitProblem::ReadOnlyFile},
    };
    for (const RefusedCase& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(m_dir.Path());
        fs::create_directories(m_dir.Path());
        const fs::path unit = c.make(m_dir.Path());
        const std::string before = Bytes(unit);
        const fs::perms mode = fs::status(unit).permissions();

        const InitRun run = RunInit(unit, u"");

        EXPECT_EQ(run.result, kTavSqliteError);
        EXPECT_EQ(run.lines.back(), u"打开学习单元");
        EXPECT_EQ(run.report.cause, c.cause) << WideToUtf8(run.report.detail);
        EXPECT_EQ(Bytes(unit), before);
        EXPECT_EQ(fs::status(unit).permissions(), mode);
        EXPECT_FALSE(fs::exists(testkit::ContentsFolder(unit) / "TavBackup"));
        EXPECT_FALSE(fs::exists(unit.string() + "-journal"));
        EXPECT_FALSE(fs::exists(unit.string() + ".encrypting"));
    }
}

} // namespace
