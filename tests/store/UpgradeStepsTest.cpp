// The layout operations and the upgrade steps, each run on its own on a unit that is empty, bare
// (VersionInfo and the tables a case creates) or written by the test kit, with the facts that
// must hold afterwards.
#include "builder/UnitBuilder.h"
#include "store/StoreCodes.h"
#include "store/TavDB.h"
#include "support/LastError.h"
#include "support/Log.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

namespace fs = std::filesystem;
using testkit::U8;

namespace {

constexpr int32_t kStep = 3;
constexpr int32_t kTotal = 25;
constexpr int kThrows = -1;
constexpr int32_t kEmpty = 0;   // a unit without any table

// Progress lines as text; a line reported at another position than the step's carries it.
class StepStore : public CTavDB {
public:
    explicit StepStore(const fs::path& unit)
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

// Every schema entry and every row of every table.
std::string Snapshot(const fs::path& unit)
{
    testkit::UnitReader reader(unit);
    std::string text = reader.Text("select type, name, sql from sqlite_master order by name");
    for (const std::string& table : reader.Tables())
        text += "\n" + reader.Text("select * from " + table + " order by rowid");
    return text;
}

std::string Guids(const std::string& table, const std::string& column)
{
    return "select count(*), count(distinct " + column + ") from " + table + " where length(" + column +
           ") = 32 and " + column + " not glob '*[^0-9A-F]*'";
}

// A fact is a query and its expected text; "#text" counts the progress lines reading text.
using Fact = std::pair<std::string, std::string>;

struct StepCase {
    const char* name;
    int32_t from;                              // kEmpty, or the version of a bare unit
    std::function<testkit::UnitSpec()> spec;   // a unit written by the test kit instead
    std::vector<std::string> setup;
    std::function<int(CTavDB&)> operation;
    int result;
    std::vector<Fact> facts;
    std::vector<std::string> lines = {};       // all of them, when given
    std::string cancelAt = {};
    int cancelOnNth = 1;
    std::string log = {};
    bool again = false;                        // a second run returns the same and changes nothing
};

testkit::UnitSpec WebPagesAt12()
{
    testkit::UnitSpec spec;
    spec.version = 12;
    spec.folders = {{.id = 1, .name = u"文献"}};
    spec.literature = {{.pkid = 100, .doi = u"10.1/a", .title = u"A", .folderIds = {1}}};
    spec.webPages = {
        {.pkid = 3, .title = u"Page three", .createTime = u"2017-06-06 09:44:59"},
        {.pkid = 7, .title = u"Page seven", .recycled = true, .delTime = u"2017-07-01 12:00:00"},
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
const std::string kNoteTextKept = "select (" + kAllNoteText + ") = (select * from Before)";
const std::string kWebPagesMoved = "select (select count(*) from Category where Name like '网页资料%'), (select "
                                   "count(*) from WebPage_Trash), (select count(*) from LiteraInfo)";
const char* kOldLiteraInfo = "CREATE TABLE LiteraInfo (pkid integer primary key,DOI text not null UNIQUE,"
                             "Title text null,DataType integer Default 5 not null";
const char* kWebPageInfo = "CREATE TABLE WebPage_Info (pkid integer primary key,Title text null,DOI text null,Author "
                           "text null,Link text null,FilePath text null,IsDownload bit Default 0 not null,CreateTime "
                           "text null,LastReadTime text null";
const char* kWebPageCopy = "select count(*) from sqlite_master where name = 'WebPage_Info1'";

std::vector<StepCase> LayoutCases()
{
    // The engine decides whether Meeting can go; the later columns arrive either way.
    const std::string afterMeeting =
        std::string("pkid DOI Title DataType") + (sqlite3_libversion_number() < 3035000 ? " Meeting " : " ") +
        "MediaEn EPubLocate EPublisher Media Country Version Prints CountryEn VersionEn MediaAddressEn DegreeType "
        "Department ApplicationNum PublicationDate InternationalClassification DutyPersonEn ModifiedDate City "
        "LastReadPage LCID";
    return {
        {"default rows go only into a table just created", kEmpty, {},
         {"create table Category (CategoryId Integer primary key,Name Text not null,CategoryGuid Text)",
          "create table NoteType (ID Integer primary key,Type Text UNIQUE, TypeRemarks Text)",
          "create table LiteraStyles (DataType integer primary key ,StyleName Text ,Format Text)",
          "create table NoteSort (ID Integer primary key,Type Integer not null, SortID Integer, desc int Default 1, "
          "NodeText Text)",
          "create table SortType (ID Integer primary key, Type Text UNIQUE)",
          "create table Label (LabelText Text not null,NoteID Text not null)", "insert into Label values ('red', 'n1')"},
         [](CTavDB& s) {
             return s.CreateCategoryTable() + s.CreateNoteType() + s.CreateLiteraStyles() + s.CreateNoteSort() +
                    s.CreateSortType();
         },
         5,
         {{"select (select count(*) from Category) + (select count(*) from NoteType) + (select count(*) from "
           "LiteraStyles) + (select count(*) from NoteSort) + (select count(*) from SortType)", "0"}}},
        {"Meeting moves into Media for proceedings only", kEmpty, {},
         {std::string(kOldLiteraInfo) + ",Meeting text null)",
          "insert into LiteraInfo (pkid, DOI, DataType, Meeting) values (1, 'a', 4, 'Conf A'), (2, 'b', 5, 'Conf B')"},
         &CTavDB::CreateLiteraInfo, 1,
         {{"columns LiteraInfo", afterMeeting}, {"select Media, LCID from LiteraInfo order by pkid", "Conf A|;|"}},
         {}, {}, 1, {}, true},
        {"WebPage_Info loses DOI and keeps its pages", kEmpty, {},
         {std::string(kWebPageInfo) + ",Recycle bit Default 0 not null)",
          "insert into WebPage_Info values (3, 'Page', 'd', 'Ann', 'http://x', '/p/x.htm', 1, 'c', 'l', 0)"},
         &CTavDB::CreateWebPageInfoTable, 1,
         {{"select * from WebPage_Info", "3|Page|Ann|http://x|/p/x.htm|1|c|l|0"},
          {"columns WebPage_Info", "pkid Title Author Link FilePath IsDownload CreateTime LastReadTime Recycle"},
          {kWebPageCopy, "0"}}},
        {"WebPage_Info rebuild failing midway leaves nothing behind", kEmpty, {},
         {std::string(kWebPageInfo) + ")", "insert into WebPage_Info (pkid, Title, DOI) values (3, 'Page', 'd')"},
         [](CTavDB& s) { return s.CreateWebPageInfoTable() * 10 + s.CreateWebPageInfoTable(); }, 0,
         {{"select pkid, Title, DOI from WebPage_Info", "3|Page|d"}, {kWebPageCopy, "0"}}},
        {"a web-page copy left without its original is taken over", kEmpty, {},
         {"CREATE TABLE WebPage_Info1 (pkid integer primary key,Title text null ,Author text null ,Link text null ,"
          "FilePath text null ,IsDownload bit Default 0 not null ,CreateTime text null,LastReadTime text null ,"
          "Recycle bit Default 0 not null)",
          "insert into WebPage_Info1 (pkid, Title) values (3, 'Page')"},
         &CTavDB::CreateWebPageInfoTable, 1, {{"select Title from WebPage_Info", "Page"}, {kWebPageCopy, "0"}}},
        {"TableAddColumn adds only what is missing", kEmpty, {},
         {"create table T (a text, LocalModifyTime Text, ServerModifyTime Text)", "insert into T (a) values ('x')",
          "create table U (a text)"},
         [](CTavDB& s) { return s.TableAddColumn(u"T") + s.TableAddColumn(u"U"); }, 2,
         {{"columns T", "a LocalModifyTime ServerModifyTime IsRemoved"},
          {"columns U", "a LocalModifyTime ServerModifyTime IsRemoved"},
          {"select IsRemoved from T", "0"}},
         {}, {}, 1, {}, true},
        {"TableAddColumn on a missing table", kEmpty, {}, {}, [](CTavDB& s) { return s.TableAddColumn(u"Missing"); },
         0, {}},
        {"column operations on older tables", kEmpty, {},
         {"create table NoteContent (ID Integer primary key, PosID Text UNIQUE)",
          "insert into NoteContent (PosID) values ('p1')", std::string(kOldLiteraInfo) + ")"},
         [](CTavDB& s) {
             const int added = s.NoteContentAddIsPublicField() + s.NoteContentAddIsCompiledField() +
                               s.NoteContentAddUnitIdField() + s.NoteContentAddKnowledgeIdField() +
                               s.LiteraInfoAddTableNameField() + s.LiteraInfoAddKnowledgeInfoField() +
                               s.LiteraInfoAddLockedField() + s.LiteraInfoAddOdataCodeField();
             s.Database().ExecuteStatement(u"insert into NoteContent (PosID) values ('p2')");
             return added;
         },
         8,
         {{"columns NoteContent", "ID PosID IsPublic IsCompiled UnitID KnowledgeID"},
          {"columns LiteraInfo", "pkid DOI Title DataType TableName KnowledgeID Locked OdataCode"},
          // Existing notes read IsPublic 3, later ones too unless they say otherwise.
          {"select IsPublic, IsCompiled from NoteContent order by ID", "3|0;3|0"}}},
        {"NoteType names its types only when TypeRemarks is new", kEmpty, {},
         {"create table NoteType (ID Integer primary key,Type Text UNIQUE)",
          "insert into NoteType (Type) values ('知识点')"},
         &CTavDB::CreateNoteType, 1, {{"select TypeRemarks from NoteType", "KnowledgePoint"}}},
        {"NoteType keeps the user's own remarks", kEmpty, {},
         {"create table NoteType (ID Integer primary key,Type Text UNIQUE, TypeRemarks Text)",
          "insert into NoteType (Type, TypeRemarks) values ('知识点', 'mine')"},
         &CTavDB::CreateNoteType, 1, {{"select TypeRemarks from NoteType", "mine"}}},
        {"NoteSort takes each label once whatever its text", kEmpty, {},
         {"create table Label (LabelText Text not null,NoteID Text not null)",
          "insert into Label values ('Bob''s', 'n1'), ('Bob''s', 'n2'), ('a'');drop table Label;--', 'n1')"},
         &CTavDB::CreateNoteSort, 1,
         {{"select count(*) from NoteSort", "10"},
          {"select NodeText from NoteSort where Type = 6 and SortID = 4 and desc = 1 order by NodeText",
           "Bob's;a');drop table Label;--"},
          {"select count(*) from Label", "3"}}},
    };
}

std::vector<StepCase> StepCases()
{
    return {
        {"7 adds trash, downloads and Locked", 6, {},
         {"create table LiteraInfo (pkid integer primary key)", "insert into LiteraInfo values (1)",
          "create table SortType (ID Integer primary key, Type Text UNIQUE)", "insert into SortType values (1, '笔记标题')"},
         &CTavDB::UpdateVersionTo7, 1,
         {{"select count(*) from sqlite_master where name = 'DownInfo'", "1"}, {"select Locked from LiteraInfo", "0"},
          {"select group_concat(ID || Type) from SortType", "0笔记标题,1笔记上次学习时间,2笔记创建时间,3按空间位置,4按文献标题"}}},
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
         {{"select pkid, Remark from LiteraRelate", "2|kept"}, {"columns VersionInfo", "ID VersionNum TavId"}},
         {"更新题录附件信息表"}},
        {"13 without web pages makes no folder", 12,
         [] {
             testkit::UnitSpec spec = WebPagesAt12();
             spec.webPages.clear();
             return spec;
         },
         {"insert into WebPage_Trash(ID, pkid, DelTime) values (1, 99, 'x')"}, &CTavDB::UpdateVersionTo13, 1,
         {{kWebPagesMoved, "0|0|1"}}},
        {"13 cancelled undoes its work", 12, WebPagesAt12, {}, &CTavDB::UpdateVersionTo13, 0,
         {{kWebPagesMoved, "0|1|1"}, {"#导入学习单元取消@25/25", "1"}}, {}, "更新网页回收站信息:2"},
        {"13 error before the web pages escapes", 12, WebPagesAt12, {"drop table LiteraRelate"},
         &CTavDB::UpdateVersionTo13, kThrows, {}},
        {"13 error in the web pages is caught", 12, WebPagesAt12, {"drop table WebPage_Trash"},
         &CTavDB::UpdateVersionTo13, 0, {{"select count(*) from LiteraInfo where DataType = 6", "0"}}, {}, {}, 1,
         "no such table: WebPage_Trash"},
        {"14 gives every row a GUID", 13, WithoutGuidsAt13,
         {"insert into Trash(ID, Path, pkid, IsDoc, ParentID) values (50, 'a', 0, 0, 0), (51, 'b', 0, 0, 50), "
          "(52, 'c', 0, 0, 50), (53, 'd', 0, 0, 77), (54, 'e', 0, 0, 77)",
          "insert into Category(CategoryId, Name, ParentID) values (20, 'o1', 99), (21, 'o2', 99)"},
         &CTavDB::UpdateVersionTo14, 1,
         // Links between rows are checked end to end; here the recycle-bin parents and orphans.
         {{Guids("Category", "CategoryGuid"), "5|5"}, {Guids("Trash", "TrashGuid"), "6|6"},
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
         {{"select count(*) from NoteContent where length(NoteGuid) = 32", "1"}}, {}, {}, 1, "no such table: Label"},
        {"14 without VersionInfo throws", 13, WithoutGuidsAt13, {"drop table VersionInfo"}, &CTavDB::UpdateVersionTo14,
         kThrows, {}},
        {"15 moves referenced items into their notes", 14, [] { return NotesAt(14); }, {}, &CTavDB::UpdateVersionTo15,
         1,
         // The items themselves are checked end to end; here the escaping of the package's attributes.
         {{"select instr(Comments, '<Comments>'), instr(Comments, 'Neil &amp; &quot;co&quot;\"') > 0, "
           "instr(Comments, 'count=\"1 &lt; 2\"') > 0, instr(Comments, 'Bob''s &lt;item&gt;') > 0 from NoteContent "
           "where ID = 1", "1|1|1|1"},
          {"select Comments from NoteContent where ID = 3", "not xml"}},
         {"更新笔记信息表字段", "更新文献笔记信息：1"}},
        {"15 stops at the first literature without a package", 14, NotesWithoutPackageFirst,
         {"create table Before as " + kAllNoteText}, &CTavDB::UpdateVersionTo15, 1, {{kNoteTextKept, "1"}}},
        {"15 cancelled keeps every note", 14,
         [] {
             testkit::UnitSpec spec = NotesWithoutPackageFirst();
             spec.literature.front().readingStateRow = true;
             return spec;
         },
         {"create table Before as " + kAllNoteText}, &CTavDB::UpdateVersionTo15, 0, {{kNoteTextKept, "1"}}, {},
         "更新文献笔记信息：1", 2},
        {"16 adds the sync columns and NoteReply", 15, [] { return NotesAt(15); }, {"drop table if exists NoteReply"},
         &CTavDB::UpdateVersionTo16, 1,
         {{"declared LiteraInfo LocalModifyTime IsRemoved KnowledgeID",
           "Text, bit not null default 0, bit not null default 0"},
          {"declared Category LocalModifyTime IsRemoved Path RecycleParentId",
           "Text, bit not null default 0, Text, bit not null default 0"},
          {"declared NoteContent LocalModifyTime IsRemoved KnowledgeID", "Text, bit not null default 0, Text"},
          {"declared CategoryLitera LocalModifyTime IsRemoved Path DOI",
           "Text, bit not null default 0, bit not null default 0, Text"},
          {"declared Label LocalModifyTime IsRemoved", "Text, bit not null default 0"},
          {"select count(*) from NoteReply", "0"}},
         {"更新题录信息", "更新文献夹信息", "更新笔记信息", "更新文献分类信息", "更新标签信息", "更新笔记回复信息"}},
        {"16 ends at a failing table", 15, [] { return NotesAt(15); }, {"drop table Label"}, &CTavDB::UpdateVersionTo16,
         0, {{"declared CategoryLitera Recycled", "bit not null default 0"}},
         {"更新题录信息", "更新文献夹信息", "更新笔记信息", "更新文献分类信息", "更新标签信息"}},
        {"16 cancelled keeps the columns added so far", 15, [] { return NotesAt(15); }, {}, &CTavDB::UpdateVersionTo16,
         0,
         {{"declared LiteraInfo LocalModifyTime", "Text"}, {"declared Category RecycleID", "bit not null default 0"},
          {"declared CategoryLitera LocalModifyTime", ""}, {"#导入学习单元取消@25/25", "1"}},
         {}, "更新笔记信息"},
    };
}

class UpgradeStepsTest : public ::testing::Test {
protected:
    void TearDown() override { g_cancelFlag.store(0); }

    testkit::ScopedHomeEnv m_home;
    testkit::TempDir m_dir;
};

TEST_F(UpgradeStepsTest, EachOperationLeavesItsFactsAndAStepWritesItsVersionOnlyOnSuccess)
{
    std::vector<StepCase> cases = LayoutCases();
    for (StepCase& c : StepCases())
        cases.push_back(std::move(c));
    int number = 0;
    for (const StepCase& c : cases) {
        SCOPED_TRACE(c.name);
        g_cancelFlag.store(0);
        const fs::path unit = m_dir.Path() / ("unit" + std::to_string(++number) + ".tav");
        if (c.spec) {
            testkit::BuildUnit(unit, c.spec());
        } else if (c.from != kEmpty) {
            testkit::BuildUnit(unit, testkit::UnitSpec{.version = c.from, .defaultRows = false});
            testkit::UnitReader reader(unit);
            for (const std::string& table : testkit::LayoutTables(c.from))
                if (table != "VersionInfo")
                    reader.Execute("drop table " + table);
        }
        StepStore store(unit);
        for (const std::string& sql : c.setup)
            store.Database().ExecuteStatement(Utf8ToWide(sql));
        const size_t logStart = LogText().size();
        store.cancelAt = c.cancelAt;
        store.cancelCountdown = c.cancelOnNth;
        SetLastErrorCode(0);
        if (c.result == kThrows) {
            EXPECT_THROW(c.operation(store), CSqliteException);
        } else {
            EXPECT_EQ(c.operation(store), c.result);
            const bool failed = c.result == 0 && c.cancelAt.empty();
            EXPECT_EQ(GetLastErrorCode(), failed ? static_cast<uint32_t>(kTavSqliteError) : 0u);
        }
        if (c.from != kEmpty && Query(unit, "select count(*) from sqlite_master where name = 'VersionInfo'") == "1") {
            EXPECT_EQ(Query(unit, "select VersionNum from VersionInfo where ID = 1"),
                      std::to_string(c.result == 1 ? c.from + 1 : c.from));
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
        if (!c.log.empty()) {
            EXPECT_NE(LogText().find(c.log, logStart), std::string::npos) << c.log;
        }
        if (c.again) {
            const std::string before = Snapshot(unit);
            EXPECT_EQ(c.operation(store), c.result);
            EXPECT_EQ(Snapshot(unit), before);
        }
    }
}

TEST_F(UpgradeStepsTest, EmptyUnitGetsEveryTableWithItsIndexesAndDefaultRowsAndASecondRunChangesNothing)
{
    const fs::path unit = m_dir.Path() / "empty.tav";
    StepStore store(unit);
    const auto createAll = [&store] {
        for (auto operation : {&CTavDB::CreateCategoryTable, &CTavDB::CreateCategoryLitera,
                               &CTavDB::CreateDownInfoTable, &CTavDB::CreateLabelTable, &CTavDB::CreateLiteraInfo,
                               &CTavDB::CreateLiteraInfoTempTable, &CTavDB::CreateLiteraRelate,
                               &CTavDB::CreateLiteraStyles, &CTavDB::CreateNoteContent, &CTavDB::CreateNoteReply,
                               &CTavDB::CreateNoteRelationTable, &CTavDB::CreateNoteSort, &CTavDB::CreateSortType,
                               &CTavDB::CreateNoteType, &CTavDB::CreatePushItemTable,
                               &CTavDB::CreatePushLiteraInfoTable, &CTavDB::CreatePushRelationTable,
                               &CTavDB::CreateTrashTable, &CTavDB::CreateWebPageCategoryTable,
                               &CTavDB::CreateWebPageCategoryInfoTable, &CTavDB::CreateWebPageInfoTable,
                               &CTavDB::CreateWebPageTrashTable, &CTavDB::CreateNoteLabelTable})
            EXPECT_EQ((store.*operation)(), 1);
    };
    SetLastErrorCode(0);
    createAll();

    for (const std::string& table : testkit::LayoutTables(16)) {
        if (table == "VersionInfo" || table == "NoteLabel")
            continue;
        std::string joined;
        for (const std::string& column : testkit::LayoutColumns(16, table))
            joined += (joined.empty() ? "" : " ") + column;
        if (table == "LiteraInfo")   // the sync columns arrive with step 16
            joined = joined.substr(0, joined.find(" LocalModifyTime"));
        EXPECT_EQ(Query(unit, "columns " + table), joined) << table;
    }
    EXPECT_EQ(Query(unit, "columns NoteLabel"), "LabelID NoteID CreateTime");
    EXPECT_EQ(Query(unit, "select count(*) from sqlite_master where name = 'VersionInfo'"), "0");
    EXPECT_EQ(Query(unit, "select name, tbl_name from sqlite_master where type = 'index' and sql is not null order by "
                          "name"),
              "DOIIndex|LiteraInfo;IDIndex|CategoryLitera;LabelIndex|NoteLabel;PosIDIndex|NoteContent");

    // The one folder, with a GUID and a time made for the row.
    EXPECT_EQ(Query(unit, "select Name, ParentID, Recycled, IsRemoved, length(CategoryGuid), CategoryGuid glob "
                          "'*[^0-9A-F]*', LocalModifyTime glob '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] "
                          "[0-9][0-9]:[0-9][0-9]:[0-9][0-9]' from Category"),
              "要学习的文献|0|0|0|32|0|1");
    EXPECT_EQ(Query(unit, "select group_concat(ID || Type || TypeRemarks, ' ') from NoteType"),
              "1知识点KnowledgePoint 2注释Note 3问题Question 4读后感Impression");
    EXPECT_EQ(Query(unit, "select count(*), group_concat(StyleName, ' ') from LiteraStyles where Format like "
                          "'(Author).(Title)[_].%'"),
              "7|专著 论文集 学位论文 报告 期刊文章 报纸文章 各种未定义类型的文献");
    EXPECT_EQ(Query(unit, "select group_concat(Type || SortID || desc || ifnull(NodeText, '-'), ' ') from NoteSort"),
              "141今天 241本周 341本月 421- 541所有标签 741加星标签 841所有笔记 941回收站");
    EXPECT_EQ(Query(unit, "select group_concat(ID || Type, ' ') from SortType"),
              "0笔记标题 1笔记上次学习时间 2笔记创建时间 3按空间位置 4按文献标题");

    // Declarations that readers rely on: defaults and the unique DOI.
    store.Database().ExecuteStatement(u"insert into LiteraInfo (DOI) values ('d1')");
    EXPECT_EQ(Query(unit, "select DataType, LCID, ImportantDegree, IsRead from LiteraInfo"), "5|2052|0|0");
    EXPECT_THROW(store.Database().ExecuteStatement(u"insert into LiteraInfo (DOI) values ('d1')"), CSqliteException);
    store.Database().ExecuteStatement(u"insert into NoteContent (PosID) values ('p')");
    EXPECT_EQ(Query(unit, "select IsPublic, Recycled, IsRemoved, CreateTime is not null from NoteContent"), "0|0|0|1");

    store.Database().ExecuteStatement(u"insert into Label (LabelText, NoteID) values ('red', 'n1')");
    const std::string before = Snapshot(unit);
    createAll();
    EXPECT_EQ(Snapshot(unit), before);
    EXPECT_EQ(GetLastErrorCode(), 0u);
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
    const std::vector<std::string> tables = {"LiteraInfo", "CategoryLitera", "LiteraRelate",
                                             "DownInfo",   "NoteContent",    "Trash"};
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
