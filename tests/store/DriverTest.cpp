// The driver from path to library: its steps and results, and units made to mislead it. A unit
// that cannot be read safely is refused untouched.
#include "builder/UnitBuilder.h"
#include "store/TavDB.h"
#include "support/LastError.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// Every file and folder under `dir` with its mode and bytes.
std::map<fs::path, std::string> Snapshot(const fs::path& dir)
{
    std::map<fs::path, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        std::ostringstream bytes;
        if (entry.is_regular_file())
            bytes << std::ifstream(entry.path(), std::ios::binary).rdbuf();
        files[entry.path()] = std::to_string(static_cast<int>(entry.status().permissions())) + bytes.str();
    }
    return files;
}

// The sample unit at `version`, changed by `craft` through a raw connection.
std::function<fs::path(const fs::path&)> Crafted(int32_t version, std::vector<std::string> craft, bool encrypted = false)
{
    return [=](const fs::path& dir) {
        testkit::UnitSpec spec = testkit::SampleSpec(version);
        spec.encrypted = encrypted;
        testkit::BuildUnit(dir / "unit.tav", spec);
        testkit::UnitReader reader(dir / "unit.tav");
        for (const std::string& sql : craft)
            reader.Execute(sql);
        return dir / "unit.tav";
    };
}

struct Line {
    int32_t position, maximum;
    std::u16string text;
};

class DriverTest : public ::testing::Test {
protected:
    void TearDown() override { g_cancelFlag.store(0); }

    // Init with a callback that records the lines and raises the cancel flag at `cancelAt`.
    int Run(const fs::path& unit, std::u16string& tavId, const std::u16string& account, const std::u16string& cancelAt = u"")
    {
        m_lines.clear();
        CTavDB store;
        store.SetPauseMilliseconds(0);
        const int result = store.Init(Utf8ToWide(unit.string()), tavId, account,
                                      [&](int32_t position, int32_t maximum, const std::u16string& text) {
                                          m_lines.push_back({position, maximum, text});
                                          if (text == cancelAt)
                                              g_cancelFlag.store(1);
                                          return 1;
                                      });
        m_totalSteps = store.TotalSteps();
        m_report = store.RunReport();
        return result;
    }
    bool Saw(const std::u16string& text) const
    {
        return std::any_of(m_lines.begin(), m_lines.end(), [&](const Line& line) { return line.text == text; });
    }

    testkit::ScopedHomeEnv m_home;
    testkit::TempDir m_dir;
    std::vector<Line> m_lines;
    int32_t m_totalSteps = 0;
    SRunReport m_report;
};

TEST_F(DriverTest, APlainUnitIsKeyedAndItsVersionRecordSettled)
{
    // No owner columns and no TavId: the run adds the columns and makes the identifier.
    const fs::path unit = m_dir.Path() / "unit.tav";
    {
        CSqliteDB db;
        db.Open(Utf8ToWide(unit.string()));
        db.ExecuteStatement(u"create table VersionInfo (ID integer primary key, VersionNum integer, TavId text)");
        db.ExecuteStatement(u"insert into VersionInfo values (1, 16, NULL)");
    }
    std::u16string tavId;
    EXPECT_EQ(Run(unit, tavId, u"someone"), kTavImportFailed); // nobody signed in: no library to fill
    char head[16] = {};
    std::ifstream(unit, std::ios::binary).read(head, 15);
    EXPECT_STRNE(head, "SQLite format 3");
    EXPECT_TRUE(tavId.size() == 32 && tavId.find_first_not_of(u"0123456789ABCDEF") == std::u16string::npos);
    EXPECT_EQ(testkit::UnitReader(unit).Scalar("select TavId || FileType || count(Userkey) from VersionInfo"), testkit::U8(tavId) + "tav0");

    // Now encrypted, the unit opens through the key; a caller's identifier replaces the unit's.
    std::u16string given = u"O'Brien's unit";
    EXPECT_EQ(Run(unit, given, u""), kTavImportFailed);
    EXPECT_EQ(testkit::UnitReader(unit).Scalar("select TavId from VersionInfo"), "O'Brien's unit");
}

struct Outcome {
    const char* name;
    std::function<fs::path(const fs::path& dir)> make;
    const char16_t* account;
    int result;
    const char16_t* lastLine;
    EUnitProblem cause = EUnitProblem::None; // refused before anything was written
    const char16_t* cancelAt = u"";          // "*": before the run starts
    std::function<void(const fs::path& unit)> check = nullptr;
};

// A unit refused before anything was written.
Outcome Refused(const char* name, std::function<fs::path(const fs::path& dir)> make, EUnitProblem cause)
{
    return {name, std::move(make), u"", kTavSqliteError, u"打开学习单元", cause};
}

TEST_F(DriverTest, EachKindOfUnitEndsWithItsResultAndLastLine)
{
    const auto owned = Crafted(16, {}); // by owner1
    const std::u16string refusal = u"导入学习单元失败，您没有权限读取该学习单元数据。";
    const std::u16string failed = u"更新学习单元失败";
    const std::string endless = "with recursive c(x) as (select 1 union all select x + 1 from c) ";
    const auto newer = [](const char* number) {
        return Crafted(16, {std::string("update VersionInfo set VersionNum = ") + number, "drop table PushItem"});
    };
    const auto newerLayout = [this](const fs::path& unit) {
        EXPECT_FALSE(Saw(u"升级学习单元数据到版本2...") || Saw(u"备份学习单元"));
        EXPECT_GT(m_report.newerVersion, 16);
        // Backed up before the creation pass added the missing table.
        const fs::path copy = fs::directory_iterator(testkit::ContentsFolder(unit) / "TavBackup")->path();
        EXPECT_FALSE(testkit::UnitReader(copy).HasTable("PushItem"));
        EXPECT_TRUE(testkit::UnitReader(unit).HasTable("PushItem"));
    };
    const Outcome outcomes[] = {
        {"the owner in other letter case", owned, u"OWNER1", kTavImportFailed, failed.c_str()}, // nobody signed in
        {"another account", owned, u"owner2", kTavImportFailed, refusal.c_str()},
        {"cancelled before the start", owned, u"owner1", 0, u"导入学习单元取消", {}, u"*"},
        {"cancelled in the upgrade", owned, u"", 0, u"导入学习单元取消", {}, u"开始更新学习单元版本..."},
        {"a missing path", [](const fs::path& dir) { return dir / "nowhere/x.tav"; }, u"", 0, u"学习单元路径不存在"},
        Refused("another key", Crafted(16, {"pragma rekey = 'another key!'"}, true), EUnitProblem::NotADatabase),
        Refused("a folder", [](const fs::path& dir) { return dir; }, EUnitProblem::NotADatabase),
        Refused("an empty file", [](const fs::path& dir) { return std::ofstream(dir / "a.tav") ? dir / "a.tav" : dir; },
                EUnitProblem::EmptyFile),
        Refused("a read-only plain unit in a writable folder",
         [](const fs::path& dir) {
             const fs::path unit = Crafted(12, {})(dir);
             fs::permissions(unit, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
             return unit;
         },
         EUnitProblem::ReadOnlyFile),
        Refused("a damaged LiteraInfo page",
         [](const fs::path& dir) {
             const fs::path unit = Crafted(12, {})(dir);
             testkit::UnitReader reader(unit);
             const int64_t page = reader.ScalarInt("select rootpage from sqlite_master where name = 'LiteraInfo'");
             std::fstream file(unit, std::ios::in | std::ios::out | std::ios::binary);
             file.seekp((page - 1) * reader.ScalarInt("pragma page_size"));
             file.write("\x01\xff\xff\xff\xff\xff\xff\xff", 8); // a kind of page that does not exist
             return unit;
         },
         EUnitProblem::Damaged),
        Refused("an encrypted unit with a view in place of VersionInfo",
                Crafted(16, {"alter table VersionInfo rename to V0", "create view versioninfo as select * from V0"}, true),
                EUnitProblem::ForeignObject),
        Refused("a virtual table in place of Label",
                Crafted(12, {"drop table Label", "create virtual table Label using fts4(LabelText, NoteID)"}), EUnitProblem::ForeignObject),
        {"triggers that would record, abort, spin and clear the owner",
         Crafted(12, {"create table Ran (what text)",
                      "create trigger t1 after insert on LiteraInfo begin insert into Ran values ('insert'); end",
                      "create trigger t2 after update on LiteraInfo begin insert into Ran values ('update'); end",
                      "create trigger t3 before insert on LiteraInfo begin select raise(abort, 'crafted'); end",
                      "create trigger t4 after update on VersionInfo begin select count(*) from (" + endless + "select x from c); end",
                      "create trigger t5 after update on VersionInfo begin update VersionInfo set UserKey = NULL; end"}),
         u"someone else", kTavImportFailed, refusal.c_str(), {}, u"",
         [](const fs::path& unit) {
             testkit::UnitReader reader(unit);
             EXPECT_EQ(reader.ScalarInt("select VersionNum from VersionInfo"), 16);
             EXPECT_EQ(reader.ScalarInt("select count(*) from Ran"), 0);
             EXPECT_EQ(reader.ScalarInt("select count(*) from LiteraInfo where DataType = 6"), 2);
             EXPECT_EQ(reader.Scalar("select UserKey from VersionInfo"), "owner1");
         }},
        // Read whole, never wrapped round into 1..16: a layout newer than any step knows.
        {"VersionNum 4294967297", newer("4294967297"), u"", kTavImportFailed, failed.c_str(), {}, u"", newerLayout},
        {"VersionNum 17", newer("17"), u"", kTavImportFailed, failed.c_str(), {}, u"", newerLayout},
        {"VersionNum -4294967295", Crafted(12, {"update VersionInfo set VersionNum = -4294967295"}), u"", kTavImportFailed,
         failed.c_str(), {}, u"",
         [this](const fs::path& unit) {
             EXPECT_TRUE(Saw(u"学习单元已经是最新版本，不需要升级"));
             EXPECT_FALSE(fs::exists(testkit::ContentsFolder(unit) / "TavBackup"));
             EXPECT_EQ(testkit::UnitReader(unit).ScalarInt("select VersionNum from VersionInfo"), -4294967295LL);
         }},
    };
    const std::u16string steps[] = {u"判断路径是否存在", u"打开学习单元",     u"创建文献夹信息表", u"创建文献夹与文献关系表",
                                    u"创建下载信息表",   u"创建标签信息表",   u"创建题录信息表",   u"创建题录附件信息表",
                                    u"创建题录类型信息表", u"创建笔记信息表", u"创建推送信息表",   u"开始更新学习单元版本..."};
    for (const Outcome& c : outcomes) {
        SCOPED_TRACE(c.name);
        const fs::path dir = m_dir.Path() / c.name;
        fs::create_directories(dir);
        const fs::path unit = c.make(dir);
        const auto before = Snapshot(dir);
        SetLastErrorCode(0);
        g_cancelFlag.store(std::u16string(c.cancelAt) == u"*" ? 1 : 0);

        std::u16string tavId;
        EXPECT_EQ(Run(unit, tavId, c.account, c.cancelAt), c.result);
        ASSERT_FALSE(m_lines.empty());
        for (size_t i = 0; i + 1 < m_lines.size() && i < std::size(steps); ++i) // step lines, in order
            EXPECT_TRUE(m_lines[i].text == steps[i] && m_lines[i].maximum == 0) << i;
        EXPECT_EQ(m_lines.back().text, c.lastLine);
        EXPECT_TRUE(m_lines.back().position == m_totalSteps && m_lines.back().maximum == m_totalSteps);
        EXPECT_EQ(Saw(failed), m_lines.back().text == failed);
        if (c.lastLine == refusal || c.cause != EUnitProblem::None) {
            EXPECT_EQ(GetLastErrorCode(), static_cast<uint32_t>(c.result));
        }
        EXPECT_EQ(m_report.cause, c.cause) << WideToUtf8(m_report.detail);
        // Refused, cancelled at once or not found: not a byte written, no backup, journal or copy.
        if (c.cause != EUnitProblem::None || std::u16string(c.cancelAt) == u"*" || c.lastLine == std::u16string(u"学习单元路径不存在")) {
            EXPECT_EQ(Snapshot(dir), before);
        }
        if (c.check)
            c.check(unit);
    }
}

} // namespace
