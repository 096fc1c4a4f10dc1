// Layout operations and upgrade steps, each run on its own on an empty unit or one the test kit
// wrote, with the facts that must hold afterwards; then the upgrade driver with stand-ins for the
// steps, so that its order, lines, cancel tests and transactions show.
#include "builder/UnitBuilder.h"
#include "store/TavDB.h"
#include "support/LastError.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace fs = std::filesystem;
using testkit::U8;

namespace {

constexpr int32_t kStep = 3;
constexpr int32_t kTotal = 25;

// Records the progress lines ("text@position/maximum", without the suffix at the step's own
// position); with stand-ins every upgrade step is CountingStep unless a case puts another in place.
class StoreUnderTest : public CTavDB {
public:
    explicit StoreUnderTest(const fs::path& unit, bool standIns = false)
    {
        SetPauseMilliseconds(0);
        m_path = Utf8ToWide(unit.string());
        m_db.Open(m_path);
        m_db.ExecuteStatement(u"pragma synchronous = off");
        m_currentStep = kStep;
        m_totalSteps = kTotal;
        m_callback = [this](int32_t position, int32_t maximum, const std::u16string& text) {
            std::string line = U8(text);
            if (position != kStep || maximum != kTotal)
                line += "@" + std::to_string(position) + "/" + std::to_string(maximum);
            lines.push_back(line);
            if (line == cancelAt && --cancelCountdown == 0)
                g_cancelFlag.store(1);
            return 0;
        };
        for (UpgradeStep& entry : m_upgradeSteps)
            entry = standIns ? static_cast<UpgradeStep>(&StoreUnderTest::CountingStep) : entry;
    }
    void ReplaceStep(size_t index, int (StoreUnderTest::*step)())
    {
        m_upgradeSteps[index] = static_cast<UpgradeStep>(step);
    }
    bool InTransaction() const { return m_db.InTransaction(); }

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
        g_cancelFlag.store(1);
        return CountingStep();
    }
    // A step whose transaction SQLite ended before the commit.
    int RolledBackStep()
    {
        stepsAt.push_back(m_currentStep);
        m_db.ExecuteStatement(u"rollback");
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
    std::vector<std::string> lines;
    std::string cancelAt;
    int cancelCountdown = 1;
    std::vector<int32_t> stepsAt;
    int outsideTransaction = 0;
};

// Rows joined by ';', cells by '|' (NULL reads as empty); "declared T a b" gives the declarations
// of columns a and b ("" for a missing one).
std::string Query(const fs::path& unit, const std::string& sql)
{
    testkit::UnitReader reader(unit);
    std::string out;
    if (sql.rfind("declared ", 0) == 0) {
        std::istringstream words(sql.substr(9));
        std::string table;
        std::string column;
        words >> table;
        const auto info = reader.QueryUtf8("pragma table_info(" + table + ")");
        while (words >> column) {
            out += out.empty() ? "" : ", ";
            for (const auto& row : info)
                if (row[1] == column)
                    out += row[2] + (row[3] == "1" ? " not null" : "") + (row[4].empty() ? "" : " default " + row[4]);
        }
        return out;
    }
    return reader.Text(sql);
}

// A fact is a query and its expected text; "#text" counts the progress lines reading text.
using Fact = std::pair<std::string, std::string>;

struct StepCase {
    const char* name;
    int32_t from;                              // the version of `spec`'s unit
    std::function<testkit::UnitSpec()> spec;   // empty: a unit without any table
    std::vector<std::string> setup;
    std::function<int(CTavDB&)> operation;
    int result;
    std::vector<Fact> facts;
    std::vector<std::string> lines = {};       // all of them, when given
    std::string cancelAt = {};
    int cancelOnNth = 1;
};

testkit::UnitSpec WebPagesAt12(bool pages = true)
{
    testkit::UnitSpec spec{.version = 12};
    spec.folders = {{.id = 1, .name = u"文献"}};
    spec.literature = {{.pkid = 100, .doi = u"10.1/a", .title = u"A", .folderIds = {1}}};
    if (pages)
        spec.webPages = {{.pkid = 3, .title = u"Page three", .createTime = u"2017-06-06 09:44:59"},
                         {.pkid = 7, .title = u"Page seven", .recycled = true, .delTime = u"2017-07-01 12:00:00"}};
    return spec;
}

testkit::UnitSpec WithoutGuidsAt13()
{
    testkit::UnitSpec spec{.version = 13, .autoGuids = false};
    spec.folders = {{.id = 5, .name = u"Parent"}, {.id = 6, .name = u"Child one", .parentId = 5},
                    {.id = 7, .name = u"Child two", .parentId = 5}};
    spec.literature = {{.pkid = 1, .doi = u"10.1/it's", .title = u"One", .folderIds = {6}},
                       {.pkid = 2, .doi = u"10.1/b", .title = u"Two", .folderIds = {7}, .recycled = true}};
    spec.notes = {{.id = 1, .posId = u"p1", .doi = u"10.1/it's", .title = u"n"}};
    spec.labels = {{u"L", u"p1"}};
    spec.downloads = {{.id = 1, .pkid = 1, .title = u"d"}};
    return spec;
}

testkit::UnitSpec NotesAt(int32_t version)
{
    testkit::UnitSpec spec{.version = version};
    spec.literature = {{.pkid = 1, .doi = u"D1", .title = u"L1", .literGuid = u"A0000000000000000000000000000001",
                        .notePackage = testkit::MakeNotePackage(
                            {{u"a", u"Bob's <item>"}, {u"b", u"B"}, {u"c", u"C"}, {u"p2", u"P"}},
                            {{u"creator", u"O'Neil & \"co\""}}, {{u"count", u"1 < 2"}})}};
    spec.notes = {
        {.id = 1, .posId = u"p1", .doi = u"D1", .comments = testkit::MakeNoteComments({u"c", u"a"})},
        {.id = 2, .posId = u"p2", .doi = u"D1", .comments = u"<Comments/>"},
        {.id = 3, .posId = u"p3", .doi = u"D1", .comments = u"not xml"},
    };
    return spec;
}

// Literature 1 has no reading-state row (unless `firstHasOne`), so the step ends at its notes.
testkit::UnitSpec TwoLiteratureAt14(bool firstHasOne)
{
    testkit::UnitSpec spec = NotesAt(14);
    spec.literature.front().readingStateRow = firstHasOne;
    spec.literature.push_back({.pkid = 2, .doi = u"D2", .title = u"L2",
                               .literGuid = u"B0000000000000000000000000000002",
                               .notePackage = testkit::MakeNotePackage({{u"z", u"Z"}})});
    spec.notes.push_back({.id = 4, .posId = u"p4", .doi = u"D2", .comments = testkit::MakeNoteComments({u"z"})});
    return spec;
}

const std::string kKeepNoteText = "create table Before as select group_concat(t, '') from (select Comments t from "
                                  "NoteContent union all select MarkPos from LiteraRelate)";
const std::string kNoteTextKept = "select (" + kKeepNoteText.substr(23) + ") = (select * from Before)";
const std::string kWebPagesMoved = "select (select count(*) from Category where Name like '网页资料%'), (select "
                                   "count(*) from WebPage_Trash), (select count(*) from LiteraInfo)";
const char* kWebPageInfo = "CREATE TABLE WebPage_Info (pkid integer primary key,Title text null,DOI text null,Author "
                           "text null,Link text null,FilePath text null,IsDownload bit Default 0 not null,CreateTime "
                           "text null,LastReadTime text null";
const char* kWebPageCopy = "select count(*) from sqlite_master where name = 'WebPage_Info1'";

std::vector<StepCase> Cases()
{
    const std::vector<std::string> sections = {"更新题录信息", "更新文献夹信息", "更新笔记信息", "更新文献分类信息",
                                               "更新标签信息", "更新笔记回复信息"};
    return {
        {"WebPage_Info rebuild failing midway leaves nothing behind", 0, {},
         {std::string(kWebPageInfo) + ")", "insert into WebPage_Info (pkid, Title, DOI) values (3, 'Page', 'd')"},
         [](CTavDB& s) { return s.CreateWebPageInfoTable() * 10 + s.CreateWebPageInfoTable(); }, 0,
         {{"select pkid, Title, DOI from WebPage_Info", "3|Page|d"}, {kWebPageCopy, "0"}}},
        {"a web-page copy left without its original is taken over", 0, {},
         {"CREATE TABLE WebPage_Info1 (pkid integer primary key,Title text null ,Author text null ,Link text null ,"
          "FilePath text null ,IsDownload bit Default 0 not null ,CreateTime text null,LastReadTime text null ,"
          "Recycle bit Default 0 not null)",
          "insert into WebPage_Info1 (pkid, Title) values (3, 'Page')"},
         &CTavDB::CreateWebPageInfoTable, 1, {{"select Title from WebPage_Info", "Page"}, {kWebPageCopy, "0"}}},
        {"NoteType keeps the user's own remarks", 0, {},
         {"create table NoteType (ID Integer primary key,Type Text UNIQUE, TypeRemarks Text)",
          "insert into NoteType (Type, TypeRemarks) values ('知识点', 'mine')"},
         &CTavDB::CreateNoteType, 1, {{"select TypeRemarks from NoteType", "mine"}}},
        {"NoteSort takes each label once whatever its text", 0, {},
         {"create table Label (LabelText Text not null,NoteID Text not null)",
          "insert into Label values ('Bob''s', 'n1'), ('Bob''s', 'n2'), ('a'');drop table Label;--', 'n1')"},
         &CTavDB::CreateNoteSort, 1,
         {{"select count(*) from NoteSort", "10"},
          {"select NodeText from NoteSort where Type = 6 and SortID = 4 and desc = 1 order by NodeText",
           "Bob's;a');drop table Label;--"},
          {"select count(*) from Label", "3"}}},
        {"4 without LiteraInfo", 3, [] { return testkit::UnitSpec{.version = 3}; }, {"drop table LiteraInfo"},
         &CTavDB::UpdateVersionTo4, 0, {}},
        {"13 without web pages makes no folder", 12, [] { return WebPagesAt12(false); },
         {"insert into WebPage_Trash(ID, pkid, DelTime) values (1, 99, 'x')"}, &CTavDB::UpdateVersionTo13, 1,
         {{kWebPagesMoved, "0|0|1"}}},
        {"13 copies a web page's texts exactly", 12,
         [] {
             testkit::UnitSpec spec = WebPagesAt12(false);
             spec.webPages = {{.pkid = 3, .title = u"It's \"页\" \\' -- \U0001F600",
                               .author = u"O''Neil\\", .link = u"a'b", .filePath = u"C:\\路径\\x.htm",
                               .createTime = u"2017-06-06 09:44:59", .lastReadTime = u"'"},
                              {.pkid = 7, .title = u"'", .recycled = true, .delTime = u"2017-07-01 12:00:00"}};
             return spec;
         },
         {}, &CTavDB::UpdateVersionTo13, 1,
         {{"select Title, Author, Link, FilePath, LastReadTime from LiteraInfo where DataType = 6 order by pkid",
           "It's \"页\" \\' -- \U0001F600|O''Neil\\|a'b|C:\\路径\\x.htm|';'||||"},
          {"select r.CreateTime, r.LastReadTime from LiteraRelate r join LiteraInfo i using (pkid) where i.Author = "
           "'O''''Neil\\'", "2017-06-06 09:44:59|'"},
          {"select Path, DelTime, DOI = (select DOI from LiteraInfo where Title = '''') from Trash",
           "网页资料\\|2017-07-01 12:00:00|1"}}},
        {"13 cancelled undoes its work", 12, [] { return WebPagesAt12(); }, {}, &CTavDB::UpdateVersionTo13, 0,
         {{kWebPagesMoved, "0|1|1"}, {"#导入学习单元取消@25/25", "1"}}, {}, "更新网页回收站信息:2"},
        {"13 with web pages it cannot read ends before its version", 12, [] { return WebPagesAt12(); },
         {"drop table WebPage_Info", "create table WebPage_Info (pkid integer primary key, Title text)"},
         &CTavDB::UpdateVersionTo13, 0, {{kWebPagesMoved, "0|1|1"}}},
        {"13 error in the web pages is caught", 12, [] { return WebPagesAt12(); }, {"drop table WebPage_Trash"},
         &CTavDB::UpdateVersionTo13, 0, {{"select count(*) from LiteraInfo where DataType = 6", "0"}}},
        {"14 gives every row a GUID", 13, WithoutGuidsAt13,
         {"insert into Trash(ID, Path, pkid, IsDoc, ParentID) values (50, 'a', 0, 0, 0), (51, 'b', 0, 0, 50), "
          "(52, 'c', 0, 0, 50), (53, 'd', 0, 0, 77), (54, 'e', 0, 0, 77)",
          "insert into Category(CategoryId, Name, ParentID) values (20, 'o1', 99), (21, 'o2', 99)"},
         &CTavDB::UpdateVersionTo14, 1,
         // Links between rows are checked end to end; here the recycle-bin parents and orphans.
         {{"select (select count(*) || count(distinct CategoryGuid) from Category where length(CategoryGuid) = 32), "
           "(select count(*) || count(distinct TrashGuid) from Trash where length(TrashGuid) = 32)", "55|66"},
          {"select count(*) from Trash t join Trash p on p.ID = 50 where t.ParentID = 50 and "
           "t.TrashParentGuid = p.TrashGuid", "2"},
          {"#更新文献夹信息表", "1"}, {"#更新文献夹信息表父ID：5", "1"}, {"#更新文献夹信息表父ID：99", "2"},
          {"#更新资料回收站信息表父ID：50", "1"}, {"#更新资料回收站信息表父ID：77", "2"}, {"#更新文献信息表ID：1", "1"},
          {"#更新笔记信息表文献ID：1", "1"}}},
        {"14 cancelled leaves no GUID behind", 13, WithoutGuidsAt13, {}, &CTavDB::UpdateVersionTo14, 0,
         {{"declared Category CategoryGuid", ""}, {"declared LiteraInfo LiterGuid", ""},
          {"#导入学习单元取消@25/25", "1"}},
         {}, "更新文献信息表ID：2"},
        {"14 failing section ends the step", 13, WithoutGuidsAt13, {"drop table Label"}, &CTavDB::UpdateVersionTo14, 0,
         {{"select count(*) from NoteContent where length(NoteGuid) = 32", "1"}}},
        {"15 moves referenced items into their notes", 14, [] { return NotesAt(14); }, {}, &CTavDB::UpdateVersionTo15,
         1,
         // The items themselves are checked end to end; here the escaping of the package's attributes.
         {{"select instr(Comments, '<Comments>'), instr(Comments, 'Neil &amp; &quot;co&quot;\"') > 0, "
           "instr(Comments, 'count=\"1 &lt; 2\"') > 0, instr(Comments, 'Bob''s &lt;item&gt;') > 0 from NoteContent "
           "where ID = 1", "1|1|1|1"},
          {"select Comments from NoteContent where ID = 3", "not xml"}},
         {"更新笔记信息表字段", "更新文献笔记信息：1"}},
        {"15 stops at the first literature without a package", 14, [] { return TwoLiteratureAt14(false); },
         {kKeepNoteText}, &CTavDB::UpdateVersionTo15, 1, {{kNoteTextKept, "1"}}},
        {"15 cancelled keeps every note", 14, [] { return TwoLiteratureAt14(true); }, {kKeepNoteText},
         &CTavDB::UpdateVersionTo15, 0, {{kNoteTextKept, "1"}}, {}, "更新文献笔记信息：1", 2},
        {"16 adds the sync columns and NoteReply", 15, [] { return NotesAt(15); }, {"drop table if exists NoteReply"},
         &CTavDB::UpdateVersionTo16, 1,
         {{"declared CategoryLitera LocalModifyTime IsRemoved Path DOI",
           "Text, bit not null default 0, bit not null default 0, Text"},
          {"select count(*) from NoteReply", "0"}},
         sections},
        {"16 ends at a failing table", 15, [] { return NotesAt(15); }, {"drop table Label"}, &CTavDB::UpdateVersionTo16,
         0, {{"declared CategoryLitera Recycled", "bit not null default 0"}}, {sections.begin(), sections.end() - 1}},
        {"16 cancelled keeps the columns added so far", 15, [] { return NotesAt(15); }, {}, &CTavDB::UpdateVersionTo16,
         0,
         {{"declared LiteraInfo LocalModifyTime", "Text"}, {"declared Category RecycleID", "bit not null default 0"},
          {"declared CategoryLitera LocalModifyTime", ""}, {"#导入学习单元取消@25/25", "1"}},
         {}, "更新笔记信息"},
    };
}

class UpgradeTest : public ::testing::Test {
protected:
    void TearDown() override { g_cancelFlag.store(0); }

    testkit::ScopedHomeEnv m_home;
    testkit::TempDir m_dir;
};

TEST_F(UpgradeTest, EachOperationLeavesItsFactsAndAStepWritesItsVersionOnlyOnSuccess)
{
    int number = 0;
    for (const StepCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        g_cancelFlag.store(0);
        const fs::path unit = m_dir.Path() / ("unit" + std::to_string(++number) + ".tav");
        if (c.spec) {
            testkit::BuildUnit(unit, c.spec());
        }
        StoreUnderTest store(unit);
        for (const std::string& sql : c.setup)
            store.Database().ExecuteStatement(Utf8ToWide(sql));
        store.cancelAt = c.cancelAt;
        store.cancelCountdown = c.cancelOnNth;
        SetLastErrorCode(0);
        EXPECT_EQ(c.operation(store), c.result);
        const bool failed = c.result == 0 && c.cancelAt.empty();
        EXPECT_EQ(GetLastErrorCode(), failed ? static_cast<uint32_t>(kTavSqliteError) : 0u);
        if (c.spec) {
            EXPECT_EQ(Query(unit, "select VersionNum from VersionInfo"), std::to_string(c.from + c.result));
        }
        for (const auto& [sql, expected] : c.facts) {
            const std::string actual =
                sql[0] == '#' ? std::to_string(std::count(store.lines.begin(), store.lines.end(), sql.substr(1)))
                              : Query(unit, sql);
            EXPECT_EQ(actual, expected) << sql;
        }
        if (!c.lines.empty()) {
            EXPECT_EQ(store.lines, c.lines);
        }
    }
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

std::string At(const std::string& text, int32_t position, int32_t maximum)
{
    return text + "@" + std::to_string(position) + "/" + std::to_string(maximum);
}

std::string Numbered(const char* head, int32_t version) { return head + std::to_string(version) + "..."; }

// The lines a full run from `version` to 16 reports when nothing fails or cancels.
std::vector<std::string> CompleteRun(int32_t version)
{
    const int32_t n = 16 - version;
    std::vector<std::string> expected;
    if (version < 16)
        expected.push_back(At("备份学习单元", 0, 10));
    expected.push_back(At("准备升级学习单元数据", 0, n));
    for (int32_t k = 0; k < n; ++k) {
        expected.push_back(At(Numbered("升级学习单元数据到版本", version + k + 1), k, n));
        expected.push_back(At(Numbered("学习单元数据升级到版本", version + k + 1), k, n));
    }
    expected.push_back(At("更新文献夹信息", std::max(n, 0), n));
    return expected;
}

// One run of the driver: what it reported last, which steps ran, what the unit holds afterwards.
struct DriverCase {
    const char* name;
    int32_t version;
    std::function<void(StoreUnderTest&)> prepare;
    std::vector<std::string> lastLines;   // empty: the lines of a complete run
    std::vector<int32_t> stepsAt;
    std::string after;             // VersionNum | Marks
    size_t backups;
    bool throws = false;   // the error leaves the driver at once, earlier work committed
    EUnitProblem cause = EUnitProblem::None;
};

TEST_F(UpgradeTest, TheDriverRunsEachStepOnceInItsOwnTransactionAndStopsWhereItMust)
{
    const std::vector<std::string> upToDate = {At("学习单元已经是最新版本，不需要升级", 10, 10)};
    const std::vector<DriverCase> cases = {
        {"from 9", 9, {}, {}, {0, 1, 2, 3, 4, 5, 6}, "16|", 1},
        {"at 16", 16, {}, {}, {}, "16|", 0},
        {"at 17", 17, {}, {}, {}, "17|", 0},
        {"version NULL", 9,
         [](StoreUnderTest& s) { s.Database().ExecuteStatement(u"update VersionInfo set VersionNum = NULL"); },
         upToDate, {}, "|", 0},
        {"no VersionInfo", 9, [](StoreUnderTest& s) { s.Database().ExecuteStatement(u"drop table VersionInfo"); },
         upToDate, {}, "", 0},
        // A file where the companion folder must be: no backup, and the upgrade goes on.
        {"no backup", 14,
         [](StoreUnderTest& s) {
             std::ofstream(fs::path(WideToUtf8(s.Path())).replace_extension().string() + "_contents");
         },
         {}, {0, 1}, "16|", 0},
        {"cancel before the first step still backs up", 5, [](StoreUnderTest&) { g_cancelFlag.store(1); },
         {At("备份学习单元", 0, 10), At("准备升级学习单元数据", 0, 11), At("导入学习单元取消", 32, 32)}, {}, "5|", 1},
        {"cancel lets the running step finish and skips the folder update", 12,
         [](StoreUnderTest& s) { s.ReplaceStep(12, &StoreUnderTest::CancellingStep); },
         {At(Numbered("升级学习单元数据到版本", 14), 1, 4), At(Numbered("学习单元数据升级到版本", 14), 1, 4),
          At(Numbered("升级学习单元数据到版本", 15), 2, 4), At("导入学习单元取消", 2, 25)},
         {0, 1}, "14|", 1},
        // The failed statement leaves no row, the one before it stays, and later steps still run.
        {"a failing step", 13, [](StoreUnderTest& s) { s.ReplaceStep(12, &StoreUnderTest::PartlyFailingStep); },
         {}, {0, 1, 2}, "15|before", 1},
        // Uncommitted changes are a write failure, and no later step runs.
        {"a step rolled back", 13, [](StoreUnderTest& s) { s.ReplaceStep(12, &StoreUnderTest::RolledBackStep); },
         {At(Numbered("升级学习单元数据到版本", 14), 0, 3)}, {0}, "13|", 1, false, EUnitProblem::WriteError},
        {"step 2 without Media", 1,
         [](StoreUnderTest& s) {
             s.Database().ExecuteStatement(u"create table LiteraInfo (pkid integer primary key, Source text)");
             s.ReplaceStep(0, &CTavDB::UpdateVersionTo2);
         },
         {At(Numbered("升级学习单元数据到版本", 2), 0, 15)}, {}, "1|", 1, true},
    };
    int number = 0;
    for (const DriverCase& c : cases) {
        SCOPED_TRACE(c.name);
        g_cancelFlag.store(0);
        const fs::path unit = m_dir.Path() / ("u" + std::to_string(++number) + ".tav");
        MakeUnit(unit, std::to_string(c.version));
        StoreUnderTest store(unit, true);
        if (c.prepare)
            c.prepare(store);

        if (c.throws) {
            EXPECT_THROW(store.UpdateVersion(), CSqliteException);
        } else {
            store.UpdateVersion();
        }
        const std::vector<std::string> expected = c.lastLines.empty() ? CompleteRun(c.version) : c.lastLines;
        ASSERT_GE(store.lines.size(), expected.size());
        EXPECT_EQ(std::vector<std::string>(store.lines.end() - expected.size(), store.lines.end()), expected);
        EXPECT_EQ(store.lines.size() == 1, c.lastLines == upToDate);
        EXPECT_EQ(store.TotalSteps(), c.lastLines == upToDate ? kTotal : 37 - c.version);
        EXPECT_EQ(store.stepsAt, c.stepsAt);
        EXPECT_EQ(store.outsideTransaction, 0);
        EXPECT_FALSE(store.InTransaction());
        EXPECT_EQ(store.RunReport().cause, c.cause);
        if (!c.after.empty()) {
            EXPECT_EQ(testkit::UnitReader(unit).Text(
                          "select (select group_concat(VersionNum) from VersionInfo), (select group_concat(name) from "
                          "Marks)"),
                      c.after);
        }
        std::error_code none;
        const fs::path backups = m_dir.Path() / ("u" + std::to_string(number) + "_contents") / "TavBackup";
        EXPECT_EQ(std::distance(fs::directory_iterator(backups, none), fs::directory_iterator()),
                  static_cast<std::ptrdiff_t>(c.backups));
    }
}

// The backup holds the rows a write-ahead log keeps, and a unit without extension keeps its
// companion folder beside it rather than in the root folder.
TEST_F(UpgradeTest, BackupHoldsTheLogsRowsAndKeepsAUnitWithoutExtensionBeside)
{
    const fs::path bare = m_dir.Path() / "unit";
    MakeUnit(bare, "7");
    const bool rootFolderBefore = fs::exists("/TavBackup");
    StoreUnderTest store(bare);
    store.Database().ExecuteStatement(u"pragma journal_mode=wal");
    store.Database().ExecuteStatement(u"insert into Marks (name) values ('only in the log')");
    ASSERT_GT(fs::file_size(m_dir.Path() / "unit-wal"), 0u);
    store.BackupUnit();
    const fs::path copy = fs::directory_iterator(m_dir.Path() / "unit_contents" / "TavBackup")->path();
    EXPECT_EQ(copy.filename().string().rfind("unit_7_", 0), 0u);
    EXPECT_EQ(testkit::UnitReader(copy).Text("select count(*) from Marks"), "1");
    EXPECT_EQ(fs::exists("/TavBackup"), rootFolderBefore);
}

} // namespace
