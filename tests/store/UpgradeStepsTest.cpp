// Each upgrade step run on its own on a unit of the version before it, bare (VersionInfo and the
// tables a case creates) or written by the test kit, with the facts that must hold afterwards.
#include "builder/UnitBuilder.h"
#include "store/StoreCodes.h"
#include "store/TavDB.h"
#include "support/LastError.h"
#include "support/Log.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testkit::U8;

namespace {

constexpr int32_t kStep = 3;
constexpr int32_t kTotal = 25;
constexpr int kThrows = -1;

// Progress lines as text; a line reported at another position than the step's carries it.
class StepStore : public CTavDB {
public:
    explicit StepStore(const fs::path& unit)
    {
        SetPauseMilliseconds(0);
        m_path = Utf8ToWide(unit.string());
        m_db.Open(m_path);
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
    }
    std::vector<std::string> lines;
    std::string cancelAt;
    int cancelCountdown = 1;
};

std::string LogText()
{
    CxLog::Instance().Flush();
    std::ifstream in(fs::path(WideToUtf8(CxLog::Instance().LastLogFilePath())), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Rows joined by ';', cells by '|' (NULL reads as empty). "columns T" names the columns of T;
// "declared T a b" gives the declarations of columns a and b ("" for a missing one).
std::string Query(const fs::path& unit, const std::string& sql)
{
    testkit::UnitReader reader(unit);
    std::string out;
    if (sql.rfind("columns ", 0) == 0) {
        for (const std::string& column : reader.Columns(sql.substr(8)))
            out += (out.empty() ? "" : " ") + column;
        return out;
    }
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

std::string ColumnsOf(const std::string& table) { return "columns " + table; }

std::string Guids(const std::string& table, const std::string& column)
{
    return "select count(*), count(distinct " + column + ") from " + table + " where length(" + column +
           ") = 32 and " + column + " not glob '*[^0-9A-F]*'";
}

// A fact is a query and its expected text; "#text" counts the progress lines reading text.
using Fact = std::pair<std::string, std::string>;

struct StepCase {
    const char* name;
    int32_t from;
    std::function<testkit::UnitSpec()> spec;   // empty: a bare unit
    std::vector<std::string> setup;
    int (CTavDB::*step)();
    int result;
    std::vector<Fact> facts;
    std::vector<std::string> lines = {};      // all of them, when given
    std::string cancelAt = {};
    int cancelOnNth = 1;
    std::string log = {};
};

testkit::UnitSpec WebPagesAt12()
{
    testkit::UnitSpec spec;
    spec.version = 12;
    spec.folders = {{.id = 1, .name = u"文献"}};
    spec.literature = {{.pkid = 100, .doi = u"10.1/a", .title = u"A", .folderIds = {1}}};
    spec.webPages = {
        {.pkid = 3, .title = u"Page three", .author = u"Ann", .link = u"http://x/3", .filePath = u"D:\\w\\3.html",
         .createTime = u"2017-06-06 09:44:59", .lastReadTime = u"2017-06-07 10:00:00"},
        {.pkid = 7, .title = u"Page seven", .author = u"Bo", .link = u"http://x/7", .filePath = u"D:\\w\\7.html",
         .createTime = u"2017-06-08 09:00:00", .lastReadTime = u"2017-06-09 10:00:00", .recycled = true,
         .delTime = u"2017-07-01 12:00:00"},
    };
    return spec;
}

testkit::UnitSpec WithoutGuidsAt13()
{
    testkit::UnitSpec spec;
    spec.version = 13;
    spec.autoGuids = false;
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
    testkit::UnitSpec spec;
    spec.version = version;
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

// Literature 1 has no reading-state row, so the step ends at its notes.
testkit::UnitSpec NotesWithoutPackageFirst()
{
    testkit::UnitSpec spec = NotesAt(14);
    spec.literature.front().readingStateRow = false;
    spec.literature.push_back({.pkid = 2, .doi = u"D2", .title = u"L2", .literGuid = u"B0000000000000000000000000000002",
                               .notePackage = testkit::MakeNotePackage({{u"z", u"Z"}})});
    spec.notes.push_back({.id = 4, .posId = u"p4", .doi = u"D2", .comments = testkit::MakeNoteComments({u"z"})});
    return spec;
}

const std::string kAllNoteText = "select group_concat(t, '') from (select Comments t from NoteContent union all "
                                 "select MarkPos from LiteraRelate)";

std::vector<StepCase> Cases()
{
    return {
        {"2 without Media throws", 1, {}, {"create table LiteraInfo (pkid integer primary key, Source text)"},
         &CTavDB::UpdateVersionTo2, kThrows, {}},
        {"4 adds LastReadPage", 3, {}, {"create table LiteraInfo (pkid integer primary key)"}, &CTavDB::UpdateVersionTo4, 1,
         {{ColumnsOf("LiteraInfo"), "pkid LastReadPage"}}},
        {"5 with Path but no Adjunct stops before its version", 4, {},
         {"create table LiteraInfo (pkid integer primary key)",
          "create table NoteContent (ID Integer primary key, TypeID Integer, PosID Text UNIQUE, Path text)",
          "insert into NoteContent values (1, 2, 'p1', NULL)"},
         &CTavDB::UpdateVersionTo5, 0,
         {{ColumnsOf("LiteraInfo"), "pkid LCID"}, {ColumnsOf("NoteContent"), "ID TypeID PosID Path Adjunct"},
          {"select count(*) from NoteLabel", "1"}}},
        {"6 turns note types into labels", 5, {},
         {"create table NoteContent (ID Integer primary key, TypeID Integer, PosID Text UNIQUE, Title Text)",
          "insert into NoteContent (ID, TypeID, PosID) values (1, 1, 'p1'), (2, 2, 'p2'), (3, 9, 'p3')",
          "create table NoteType (ID Integer primary key, Type Text UNIQUE, TypeRemarks Text)",
          "insert into NoteType (Type) values ('知识点'), ('注释'), ('问题'), ('读后感')",
          "create table NoteLabel (LabelID Integer not null, NoteID Text not null)",
          "create table Label (LabelID Integer primary key, LabelText Text)", "insert into Label values (1, 'old')"},
         &CTavDB::UpdateVersionTo6, 1,
         {{"select group_concat(name) from sqlite_master where name in ('NoteLabel', 'NoteRelation')", "NoteRelation"},
          {"select LabelText, NoteID from Label order by NoteID", "知识点|p1;注释|p2"},
          {"select ID, Type from SortType order by ID", "1|笔记标题;2|笔记上次学习时间;3|笔记创建时间;4|按空间位置"}}},
        {"7 adds trash, downloads and Locked", 6, {},
         {"create table LiteraInfo (pkid integer primary key)", "insert into LiteraInfo values (1)",
          "create table SortType (ID Integer primary key, Type Text UNIQUE)", "insert into SortType values (1, '笔记标题')"},
         &CTavDB::UpdateVersionTo7, 1,
         {{"select count(*) from sqlite_master where name = 'DownInfo'", "1"}, {"select Locked from LiteraInfo", "0"},
          {"select ID, Type from SortType order by ID",
           "0|笔记标题;1|笔记上次学习时间;2|笔记创建时间;3|按空间位置;4|按文献标题"}}},
        {"8", 7, {}, {}, &CTavDB::UpdateVersionTo8, 1, {}},
        {"9 makes the push tables", 8, {}, {}, &CTavDB::UpdateVersionTo9, 1,
         {{"select group_concat(name) from (select name from sqlite_master where name like 'Push%' order by name)",
           "PushItem,PushLiteraInfo,PushRelation"}}},
        {"10", 9, {}, {}, &CTavDB::UpdateVersionTo10, 1, {}},
        {"11", 10, {}, {}, &CTavDB::UpdateVersionTo11, 1, {}},
        {"12 with a reading-state row already there", 11, {},
         {"create table Trash (ID Integer primary key)",
          "create table LiteraInfo (pkid integer primary key, Locked integer, LastReadPage text, NoteSets text, "
          "Remark text, Adjunct text, LastReadTime text, IsRead bit)",
          "insert into LiteraInfo (pkid, IsRead) values (1, 0), (2, 0)",
          "create table LiteraRelate (pkid Integer primary key, ReadingProgress Integer null, Locked Integer null, "
          "LastReadPos VARCHAR null, MarkPos VARCHAR null, Remark VARCHAR null, Adjunct VARCHAR null, "
          "LastReadTime VARCHAR null, IsRead bit Default 0 not null)",
          "insert into LiteraRelate (pkid, Remark) values (2, 'kept')"},
         &CTavDB::UpdateVersionTo12, 0,
         {{"select pkid, Remark from LiteraRelate", "2|kept"}, {ColumnsOf("VersionInfo"), "ID VersionNum TavId"}},
         {"更新题录附件信息表"}},
        {"13 without web pages makes no folder", 12,
         [] {
             testkit::UnitSpec spec = WebPagesAt12();
             spec.webPages.clear();
             return spec;
         },
         {"insert into WebPage_Trash(ID, pkid, DelTime) values (1, 99, 'x')"}, &CTavDB::UpdateVersionTo13, 1,
         {{"select (select count(*) from Category where Name like '网页资料%'), (select count(*) from WebPage_Trash), "
           "(select count(*) from LiteraInfo)", "0|0|1"}}},
        {"13 cancelled undoes its work", 12, WebPagesAt12, {}, &CTavDB::UpdateVersionTo13, 0,
         {{"select (select count(*) from Category where Name like '网页资料%'), (select count(*) from WebPage_Trash), "
           "(select count(*) from LiteraInfo)", "0|1|1"},
          {"#导入学习单元取消@25/25", "1"}},
         {}, "更新网页回收站信息:2"},
        {"13 error before the web pages escapes", 12, WebPagesAt12, {"drop table LiteraRelate"},
         &CTavDB::UpdateVersionTo13, kThrows, {}},
        {"13 error in the web pages is caught", 12, WebPagesAt12, {"drop table WebPage_Trash"}, &CTavDB::UpdateVersionTo13,
         0, {{"select count(*) from LiteraInfo where DataType = 6", "0"}}, {}, {}, 1, "no such table: WebPage_Trash"},
        {"14 gives every row a GUID", 13, WithoutGuidsAt13,
         {"insert into Trash(ID, Path, pkid, IsDoc, ParentID) values (50, 'a', 0, 0, 0), (51, 'b', 0, 0, 50), "
          "(52, 'c', 0, 0, 50), (53, 'd', 0, 0, 77), (54, 'e', 0, 0, 77)",
          "insert into Category(CategoryId, Name, ParentID) values (20, 'o1', 99), (21, 'o2', 99)"},
         &CTavDB::UpdateVersionTo14, 1,
         // Links between rows are checked end to end; here the recycle-bin parents and orphans.
         {{Guids("Category", "CategoryGuid"), "5|5"}, {Guids("Trash", "TrashGuid"), "6|6"},
          {"select count(*) from Trash t join Trash p on p.ID = 50 where t.ParentID = 50 and t.TrashParentGuid = p.TrashGuid",
           "2"},
          {"#更新文献夹信息表", "1"}, {"#更新文献夹信息表父ID：5", "1"}, {"#更新文献夹信息表父ID：99", "2"},
          {"#更新资料回收站信息表父ID：50", "1"}, {"#更新资料回收站信息表父ID：77", "2"}, {"#更新文献信息表ID：1", "1"},
          {"#更新笔记信息表文献ID：1", "1"}}},
        {"14 cancelled leaves no GUID behind", 13, WithoutGuidsAt13, {}, &CTavDB::UpdateVersionTo14, 0,
         {{"declared Category CategoryGuid", ""}, {"declared LiteraInfo LiterGuid", ""},
          {"#导入学习单元取消@25/25", "1"}},
         {}, "更新文献信息表ID：2"},
        {"14 failing section ends the step", 13, WithoutGuidsAt13, {"drop table Label"}, &CTavDB::UpdateVersionTo14, 0,
         {{"select count(*) from NoteContent where length(NoteGuid) = 32", "1"}}, {}, {}, 1, "no such table: Label"},
        {"14 without VersionInfo throws", 13, WithoutGuidsAt13, {"drop table VersionInfo"}, &CTavDB::UpdateVersionTo14,
         kThrows, {}},
        {"15 moves referenced items into their notes", 14, [] { return NotesAt(14); }, {}, &CTavDB::UpdateVersionTo15, 1,
         // The items themselves are checked end to end; here the escaping of the package's attributes.
         {{"select instr(Comments, '<Comments>'), instr(Comments, 'Neil &amp; &quot;co&quot;\"') > 0, "
           "instr(Comments, 'count=\"1 &lt; 2\"') > 0, instr(Comments, 'Bob''s &lt;item&gt;') > 0 from NoteContent where ID = 1",
           "1|1|1|1"},
          {"select Comments from NoteContent where ID = 3", "not xml"}},
         {"更新笔记信息表字段", "更新文献笔记信息：1"}},
        {"15 stops at the first literature without a package", 14, NotesWithoutPackageFirst,
         {"create table Before as " + kAllNoteText}, &CTavDB::UpdateVersionTo15, 1,
         {{"select (" + kAllNoteText + ") = (select * from Before)", "1"}}},
        {"15 cancelled keeps every note", 14,
         [] {
             testkit::UnitSpec spec = NotesWithoutPackageFirst();
             spec.literature.front().readingStateRow = true;
             return spec;
         }, {"create table Before as " + kAllNoteText},
         &CTavDB::UpdateVersionTo15, 0, {{"select (" + kAllNoteText + ") = (select * from Before)", "1"}}, {},
         "更新文献笔记信息：1", 2},
        {"16 adds the sync columns and NoteReply", 15, [] { return NotesAt(15); }, {"drop table if exists NoteReply"},
         &CTavDB::UpdateVersionTo16, 1,
         {{"declared LiteraInfo LocalModifyTime IsRemoved KnowledgeID", "Text, bit not null default 0, bit not null default 0"},
          {"declared Category LocalModifyTime IsRemoved Path RecycleParentId",
           "Text, bit not null default 0, Text, bit not null default 0"},
          {"declared NoteContent LocalModifyTime IsRemoved KnowledgeID", "Text, bit not null default 0, Text"},
          {"declared CategoryLitera LocalModifyTime IsRemoved Path DOI", "Text, bit not null default 0, bit not null default 0, Text"},
          {"declared Label LocalModifyTime IsRemoved", "Text, bit not null default 0"},
          {"select count(*) from NoteReply", "0"}},
         {"更新题录信息", "更新文献夹信息", "更新笔记信息", "更新文献分类信息", "更新标签信息", "更新笔记回复信息"}},
        {"16 ends at a failing table", 15, [] { return NotesAt(15); }, {"drop table Label"}, &CTavDB::UpdateVersionTo16,
         0, {{"declared CategoryLitera Recycled", "bit not null default 0"}},
         {"更新题录信息", "更新文献夹信息", "更新笔记信息", "更新文献分类信息", "更新标签信息"}},
        {"16 cancelled keeps the columns added so far", 15, [] { return NotesAt(15); }, {}, &CTavDB::UpdateVersionTo16, 0,
         {{"declared LiteraInfo LocalModifyTime", "Text"}, {"declared Category RecycleID", "bit not null default 0"},
          {"declared CategoryLitera LocalModifyTime", ""},
          {"#导入学习单元取消@25/25", "1"}},
         {}, "更新笔记信息"},
    };
}

class UpgradeStepsTest : public ::testing::Test {
protected:
    void TearDown() override { g_cancelFlag.store(0); }

    testkit::ScopedHomeEnv m_home;
    testkit::TempDir m_dir;
};

TEST_F(UpgradeStepsTest, EachStepLeavesItsFactsAndWritesItsVersionOnlyOnSuccess)
{
    int number = 0;
    for (const StepCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        g_cancelFlag.store(0);
        const fs::path unit = m_dir.Path() / ("unit" + std::to_string(++number) + ".tav");
        if (c.spec) {
            testkit::BuildUnit(unit, c.spec());
        } else {
            testkit::UnitSpec spec{.version = c.from, .defaultRows = false};
            testkit::BuildUnit(unit, spec);
            testkit::UnitReader reader(unit);
            for (const std::string& table : testkit::LayoutTables(c.from))
                if (table != "VersionInfo")
                    reader.Execute("drop table " + table);
        }
        {
            testkit::UnitReader reader(unit);
            for (const std::string& sql : c.setup)
                reader.Execute(sql);
        }
        const size_t logStart = LogText().size();
        StepStore store(unit);
        store.cancelAt = c.cancelAt;
        store.cancelCountdown = c.cancelOnNth;
        if (c.result == kThrows) {
            EXPECT_THROW((store.*c.step)(), CSqliteException);
        } else {
            SetLastErrorCode(0);
            EXPECT_EQ((store.*c.step)(), c.result);
            const bool failed = c.result == 0 && c.cancelAt.empty();
            EXPECT_EQ(GetLastErrorCode(), failed ? static_cast<uint32_t>(kTavSqliteError) : 0u);
        }
        if (Query(unit, "select count(*) from sqlite_master where name = 'VersionInfo'") == "1") {
            EXPECT_EQ(Query(unit, "select VersionNum from VersionInfo where ID = 1"),
                      std::to_string(c.result == 1 ? c.from + 1 : c.from));
        }
        for (const auto& [sql, expected] : c.facts) {
            const std::string actual = sql[0] == '#'
                                           ? std::to_string(std::count(store.lines.begin(), store.lines.end(), sql.substr(1)))
                                           : Query(unit, sql);
            EXPECT_EQ(actual, expected) << sql;
        }
        if (!c.lines.empty()) {
            EXPECT_EQ(store.lines, c.lines);
        }
        if (!c.log.empty()) {
            EXPECT_NE(LogText().find(c.log, logStart), std::string::npos) << c.log;
        }
    }
}

TEST_F(UpgradeStepsTest, StepsLogTheirErrorsUnderTheirOwnNames)
{
    StepStore store(m_dir.Path() / "empty.tav");   // no table at all: every step fails somewhere
    int32_t to = 3;
    for (auto step : {&CTavDB::UpdateVersionTo3, &CTavDB::UpdateVersionTo4, &CTavDB::UpdateVersionTo5,
                      &CTavDB::UpdateVersionTo6, &CTavDB::UpdateVersionTo7, &CTavDB::UpdateVersionTo8,
                      &CTavDB::UpdateVersionTo9, &CTavDB::UpdateVersionTo10, &CTavDB::UpdateVersionTo11,
                      &CTavDB::UpdateVersionTo12}) {
        const std::string name = "CTavDB::UpdateVersionTo" + std::to_string(to++);
        SetLastErrorCode(0);
        EXPECT_EQ((store.*step)(), 0) << name;
        EXPECT_EQ(GetLastErrorCode(), static_cast<uint32_t>(kTavSqliteError)) << name;
        EXPECT_NE(LogText().find("Error TavDB(" + name + ", "), std::string::npos) << name;
    }
}

TEST_F(UpgradeStepsTest, LiterGuidByDoiIsMadeOnceAndWrittenEverywhere)
{
    const fs::path unit = m_dir.Path() / "doi.tav";
    testkit::UnitSpec spec = WithoutGuidsAt13();
    spec.version = 16;
    testkit::BuildUnit(unit, spec);
    const std::vector<std::string> tables = {"LiteraInfo", "CategoryLitera", "LiteraRelate", "DownInfo", "NoteContent", "Trash"};
    for (const std::string& table : tables)
        testkit::UnitReader(unit).Execute("update " + table + " set LiterGuid = ''");
    testkit::UnitReader(unit).Execute("update Trash set DOI = '10.1/it''s' where pkid = 2");
    StepStore store(unit);
    const std::u16string guid = store.GetLiterGuidByDOI(u"10.1/it's");
    ASSERT_EQ(guid.size(), 32u);
    std::string sql = "select ''";
    for (const std::string& table : tables)
        sql += " || (select count(*) from " + table + " where LiterGuid = '" + U8(guid) + "')";
    EXPECT_EQ(Query(unit, sql), "111111");
    EXPECT_EQ(store.GetLiterGuidByDOI(u"10.1/it's"), guid);
    EXPECT_EQ(store.GetPkidByDOI(u"10.1/it's"), 1);

    SetLastErrorCode(0);
    EXPECT_EQ(store.GetLiterGuidByDOI(u"10.9/none"), u"");
    EXPECT_EQ(GetLastErrorCode(), static_cast<uint32_t>(kTavSqliteError));
    EXPECT_EQ(store.GetPkidByDOI(u"10.9/none"), 0);
}

} // namespace
