// The upgrade driver and the backup of the unit, with stand-ins for the steps so that the
// driver's order, progress lines, cancel tests and transactions are seen on their own.
#include "builder/UnitBuilder.h"
#include "store/TavDB.h"
#include "support/Log.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

namespace fs = std::filesystem;

namespace {

struct Line {
    int32_t position;
    int32_t maximum;
    std::u16string text;
    bool operator==(const Line&) const = default;
};

std::u16string Numbered(const char16_t* head, int32_t version)
{
    return head + ToWide(std::to_string(version)) + u"...";
}

// Records every progress line; every step is a stand-in unless a case puts another in place.
class DriverUnderTest : public CTavDB {
public:
    explicit DriverUnderTest(const fs::path& unit)
    {
        SetPauseMilliseconds(0);
        m_path = Utf8ToWide(unit.string());
        m_db.Open(m_path);
        m_totalSteps = 77;   // left alone when there is nothing to upgrade
        m_callback = [this](int32_t position, int32_t maximum, const std::u16string& text) {
            lines.push_back({position, maximum, text});
            return 0;
        };
        for (UpgradeStep& entry : m_upgradeSteps)
            entry = static_cast<UpgradeStep>(&DriverUnderTest::CountingStep);
    }
    void ReplaceStep(size_t index, int (DriverUnderTest::*step)()) { m_upgradeSteps[index] = static_cast<UpgradeStep>(step); }
    void KeepRealStep(size_t index, UpgradeStep step) { m_upgradeSteps[index] = step; }
    bool InTransaction() const { return sqlite3_get_autocommit(m_db.Handle()) == 0; }

    // Raises VersionNum by one, as a real step ends with its number.
    int CountingStep()
    {
        stepsAt.push_back(m_currentStep);
        outsideTransaction += InTransaction() ? 0 : 1;
        m_db.ExecuteStatement(u"update VersionInfo set VersionNum = VersionNum + 1 where ID = 1");
        return 1;
    }
    int CancellingStep()
    {
        CountingStep();
        g_cancelFlag.store(1);
        return 1;
    }
    // A step whose second statement fails halfway through its rows.
    int PartlyFailingStep()
    {
        stepsAt.push_back(m_currentStep);
        m_db.ExecuteStatement(u"insert into Marks (name) values ('before')");
        try {
            m_db.ExecuteStatement(u"insert into Marks (name) select 'new' union all select 'before'");
        } catch (const CSqliteException&) {
            return 0;
        }
        return 1;
    }
    std::vector<Line> lines;
    std::vector<int32_t> stepsAt;
    int outsideTransaction = 0;
};

std::string LogText()
{
    CxLog::Instance().Flush();
    std::ifstream in(fs::path(WideToUtf8(CxLog::Instance().LastLogFilePath())), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<fs::path> FilesIn(const fs::path& folder)
{
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        files.push_back(entry.path());
    return files;
}

// VersionInfo, the folder tables the closing folder update reads, and Marks for the stand-ins.
void MakeUnit(const fs::path& unit, const std::string& version)
{
    CSqliteDB db;
    db.Open(Utf8ToWide(unit.string()));
    for (const std::string& sql : std::vector<std::string>{
             "create table VersionInfo (ID integer primary key, VersionNum integer, TavId text)",
             "insert into VersionInfo values (1, " + version + ", 'T1')",
             "create table Category (CategoryId Integer primary key, Name Text not null, ParentID Integer Default 0, "
             "Recycled bit Default 0 not null)",
             "create table CategoryLitera (CategoryId Integer not null, pkid Integer, Recycled bit default 0 not null, "
             "primary key (CategoryId, pkid))",
             "create table Marks (name text unique)"})
        db.ExecuteStatement(Utf8ToWide(sql));
}

// The lines a full run from `version` to 16 reports when nothing fails or cancels.
std::vector<Line> CompleteRun(int32_t version)
{
    const int32_t n = 16 - version;
    std::vector<Line> expected;
    if (version < 16)
        expected.push_back({0, 10, u"备份学习单元"});
    expected.push_back({0, n, u"准备升级学习单元数据"});
    int32_t k = 0;
    for (int32_t target = version + 1; target <= 16; ++target, ++k) {
        expected.push_back({k, n, Numbered(u"升级学习单元数据到版本", target)});
        expected.push_back({k, n, Numbered(u"学习单元数据升级到版本", target)});
    }
    expected.push_back({k, n, u"更新文献夹信息"});
    return expected;
}

std::vector<int32_t> UpTo(int32_t n)
{
    std::vector<int32_t> steps;
    for (int32_t k = 0; k < n; ++k)
        steps.push_back(k);
    return steps;
}

// One run of the driver: what it reported last, which steps ran, what the unit holds afterwards.
struct DriverCase {
    const char* name;
    int32_t version;
    std::function<void(DriverUnderTest&)> prepare;
    std::vector<Line> lastLines;   // empty: the lines of a complete run
    std::vector<int32_t> stepsAt;
    std::string after;             // the answer to kAfter
    size_t backups;
    bool throws = false;   // the error leaves the driver at once, earlier work committed
};

const std::string kAfter = "select (select group_concat(VersionNum) from VersionInfo), (select group_concat(name) "
                           "from Marks)";

std::function<void(DriverUnderTest&)> Setting(const char16_t* sql)
{
    return [sql](DriverUnderTest& store) { store.Database().ExecuteStatement(sql); };
}

class UpgradeDriverTest : public ::testing::Test {
protected:
    void TearDown() override { g_cancelFlag.store(0); }

    testkit::ScopedHomeEnv m_home;
    testkit::TempDir m_dir;
};

TEST_F(UpgradeDriverTest, RunsEachStepOnceInItsOwnTransactionAndStopsWhereItMust)
{
    const std::vector<Line> upToDate = {{10, 10, u"学习单元已经是最新版本，不需要升级"}};
    const std::vector<DriverCase> cases = {
        {"from 1", 1, {}, {}, UpTo(15), "16|", 1},
        {"from 9", 9, {}, {}, UpTo(7), "16|", 1},
        {"from 15", 15, {}, {}, UpTo(1), "16|", 1},
        {"at 16", 16, {}, {}, {}, "16|", 0},
        {"at 17", 17, {}, {}, {}, "17|", 0},
        {"version 0", 9, Setting(u"update VersionInfo set VersionNum = 0"), upToDate, {}, "0|", 0},
        {"version -3", 9, Setting(u"update VersionInfo set VersionNum = -3"), upToDate, {}, "-3|", 0},
        {"version NULL", 9, Setting(u"update VersionInfo set VersionNum = NULL"), upToDate, {}, "|", 0},
        {"no VersionInfo", 9, Setting(u"drop table VersionInfo"), upToDate, {}, "", 0},
        {"cancel before the first step still backs up", 5, [](DriverUnderTest&) { g_cancelFlag.store(1); },
         {{0, 10, u"备份学习单元"}, {0, 11, u"准备升级学习单元数据"}, {32, 32, u"导入学习单元取消"}}, {}, "5|", 1},
        {"cancel lets the running step finish and skips the folder update", 12,
         [](DriverUnderTest& store) { store.ReplaceStep(12, &DriverUnderTest::CancellingStep); },
         {{1, 4, Numbered(u"升级学习单元数据到版本", 14)}, {1, 4, Numbered(u"学习单元数据升级到版本", 14)},
          {2, 4, Numbered(u"升级学习单元数据到版本", 15)}, {2, 25, u"导入学习单元取消"}},
         {0, 1}, "14|", 1},
        // The failed statement leaves no row, the one before it stays, and later steps still run.
        {"a failing step", 13, [](DriverUnderTest& store) { store.ReplaceStep(12, &DriverUnderTest::PartlyFailingStep); },
         {}, {0, 1, 2}, "15|before", 1},
        {"step 2 without Media", 1,
         [](DriverUnderTest& store) {
             store.Database().ExecuteStatement(u"create table LiteraInfo (pkid integer primary key, Source text)");
             store.KeepRealStep(0, &CTavDB::UpdateVersionTo2);
         },
         {{0, 15, Numbered(u"升级学习单元数据到版本", 2)}}, {}, "1|", 1, true},
    };
    int number = 0;
    for (const DriverCase& c : cases) {
        SCOPED_TRACE(c.name);
        g_cancelFlag.store(0);
        const fs::path unit = m_dir.Path() / ("u" + std::to_string(++number) + ".tav");
        MakeUnit(unit, std::to_string(c.version));
        DriverUnderTest store(unit);
        if (c.prepare)
            c.prepare(store);

        if (c.throws) {
            EXPECT_THROW(store.UpdateVersion(), CSqliteException);
        } else {
            store.UpdateVersion();
        }
        const std::vector<Line> expected = c.lastLines.empty() ? CompleteRun(c.version) : c.lastLines;
        ASSERT_GE(store.lines.size(), expected.size());
        EXPECT_EQ(std::vector<Line>(store.lines.end() - expected.size(), store.lines.end()), expected);
        EXPECT_EQ(store.lines.size() == 1, c.lastLines == upToDate);
        EXPECT_EQ(store.TotalSteps(), c.lastLines == upToDate ? 77 : 37 - c.version);
        EXPECT_EQ(store.stepsAt, c.stepsAt);
        EXPECT_EQ(store.outsideTransaction, 0);
        EXPECT_FALSE(store.InTransaction());
        if (!c.after.empty()) {
            EXPECT_EQ(testkit::UnitReader(unit).Text(kAfter), c.after);
        }
        EXPECT_EQ(FilesIn(m_dir.Path() / ("u" + std::to_string(number) + "_contents") / "TavBackup").size(), c.backups);
    }
}

TEST_F(UpgradeDriverTest, BackupThatCannotBeMadeIsAWarningAndTheUpgradeGoesOn)
{
    // A regular file stands where the companion folder must be.
    const fs::path unit = m_dir.Path() / "a.tav";
    MakeUnit(unit, "14");
    std::ofstream(m_dir.Path() / "a_contents") << "not a folder";
    DriverUnderTest store(unit);

    store.UpdateVersion();

    EXPECT_EQ(store.stepsAt.size(), 2u);
    EXPECT_EQ(testkit::UnitReader(unit).Text("select VersionNum from VersionInfo"), "16");
    const std::string log = LogText();
    const size_t at = log.find((m_dir.Path() / "a_contents" / "TavBackup").string());
    ASSERT_NE(at, std::string::npos);
    const std::string line = log.substr(log.rfind('\n', at) + 1, log.find('\n', at) - log.rfind('\n', at) - 1);
    EXPECT_NE(line.find("Warning TavDB(CTavDB::BackupUnit, "), std::string::npos) << line;
    EXPECT_NE(line.find(std::make_error_code(std::errc::not_a_directory).message()), std::string::npos) << line;
}

TEST_F(UpgradeDriverTest, BackupWaitsForNoOpenTransactionHoldsTheLogsRowsAndKeepsAUnitWithoutExtensionBeside)
{
    const fs::path bare = m_dir.Path() / "unit";
    MakeUnit(bare, "7");
    const bool rootFolderBefore = fs::exists("/TavBackup");
    DriverUnderTest store(bare);
    store.Database().ExecuteStatement(u"pragma journal_mode=wal");
    store.Database().ExecuteStatement(u"insert into Marks (name) values ('only in the log')");
    ASSERT_GT(fs::file_size(m_dir.Path() / "unit-wal"), 0u);

    store.Database().ExecuteStatement(u"begin");
    store.Database().ExecuteStatement(u"insert into Marks (name) values ('uncommitted')");
    store.BackupUnit();
    EXPECT_TRUE(FilesIn(m_dir.Path() / "unit_contents" / "TavBackup").empty());
    store.Database().ExecuteStatement(u"commit");

    store.BackupUnit();
    const std::vector<fs::path> files = FilesIn(m_dir.Path() / "unit_contents" / "TavBackup");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename().string().rfind("unit_7_", 0), 0u);
    EXPECT_EQ(testkit::UnitReader(files[0]).Text("select count(*) from Marks"), "2");
    EXPECT_EQ(fs::exists("/TavBackup"), rootFolderBefore);
}

} // namespace
