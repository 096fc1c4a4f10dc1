// The table-creation pass on an empty unit and on older tables, and the column operations.
#include "builder/UnitBuilder.h"
#include "store/TavDB.h"
#include "support/LastError.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using Operation = std::function<int(CTavDB&)>;

// Every creation operation, in the order the driver runs them.
const std::vector<int (CTavDB::*)()> kCreationOperations = {
    &CTavDB::CreateCategoryTable,        &CTavDB::CreateCategoryLitera,       &CTavDB::CreateDownInfoTable,
    &CTavDB::CreateLabelTable,           &CTavDB::CreateLiteraInfo,           &CTavDB::CreateLiteraInfoTempTable,
    &CTavDB::CreateLiteraRelate,         &CTavDB::CreateLiteraStyles,         &CTavDB::CreateNoteContent,
    &CTavDB::CreateNoteReply,            &CTavDB::CreateNoteRelationTable,    &CTavDB::CreateNoteSort,
    &CTavDB::CreateSortType,             &CTavDB::CreateNoteType,             &CTavDB::CreatePushItemTable,
    &CTavDB::CreatePushLiteraInfoTable,  &CTavDB::CreatePushRelationTable,    &CTavDB::CreateTrashTable,
    &CTavDB::CreateWebPageCategoryTable, &CTavDB::CreateWebPageCategoryInfoTable,
    &CTavDB::CreateWebPageInfoTable,     &CTavDB::CreateWebPageTrashTable,    &CTavDB::CreateNoteLabelTable,
};

class LayoutTest : public ::testing::Test {
protected:
    void SetUp() override { Open(); }

    void Open()
    {
        m_store = std::make_unique<CTavDB>();
        m_path = m_dir.Path() / ("unit" + std::to_string(++m_units) + ".tav");
        m_store->Database().Open(Utf8ToWide(m_path.string()));
        Exec("pragma synchronous = off");
        SetLastErrorCode(0);
    }
    void Exec(const std::string& sql) { m_store->Database().ExecuteStatement(Utf8ToWide(sql)); }

    // Read through a connection of its own; "columns T" names the columns of T.
    std::string Query(const std::string& sql)
    {
        testkit::UnitReader reader(m_path);
        if (sql.rfind("columns ", 0) != 0)
            return reader.Text(sql);
        std::string names;
        for (const std::string& column : reader.Columns(sql.substr(8)))
            names += (names.empty() ? "" : " ") + column;
        return names;
    }
    std::string Columns(const std::string& table) { return Query("columns " + table); }
    // Every schema entry and every row of every table.
    std::string Snapshot()
    {
        testkit::UnitReader reader(m_path);
        std::string text = reader.Text("select type, name, sql from sqlite_master order by name");
        for (const std::string& table : reader.Tables())
            text += "\n" + reader.Text("select * from " + table + " order by rowid");
        return text;
    }
    void RunAllCreations(int expected)
    {
        for (auto operation : kCreationOperations)
            EXPECT_EQ((*m_store.*operation)(), expected);
    }

    testkit::ScopedHomeEnv m_home;
    testkit::TempDir m_dir;
    int m_units = 0;
    std::filesystem::path m_path;
    std::unique_ptr<CTavDB> m_store;
};

TEST_F(LayoutTest, EmptyUnitGetsEveryTableWithItsIndexesAndDefaultRowsAndASecondRunChangesNothing)
{
    RunAllCreations(1);

    for (const std::string& table : testkit::LayoutTables(16)) {
        if (table == "VersionInfo" || table == "NoteLabel")
            continue;
        std::string joined;
        for (const std::string& column : testkit::LayoutColumns(16, table))
            joined += (joined.empty() ? "" : " ") + column;
        if (table == "LiteraInfo")   // the sync columns arrive with step 16
            joined = joined.substr(0, joined.find(" LocalModifyTime"));
        EXPECT_EQ(Columns(table), joined) << table;
    }
    EXPECT_EQ(Columns("NoteLabel"), "LabelID NoteID CreateTime");
    EXPECT_EQ(Query("select count(*) from sqlite_master where name = 'VersionInfo'"), "0");
    EXPECT_EQ(Query("select name, tbl_name from sqlite_master where type = 'index' and sql is not null order by name"),
              "DOIIndex|LiteraInfo;IDIndex|CategoryLitera;LabelIndex|NoteLabel;PosIDIndex|NoteContent");

    // The one folder, with a GUID and a time made for the row.
    EXPECT_EQ(Query("select Name, ParentID, Recycled, IsRemoved, length(CategoryGuid), CategoryGuid glob '*[^0-9A-F]*', "
                    "LocalModifyTime glob '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]' "
                    "from Category"),
              "要学习的文献|0|0|0|32|0|1");
    EXPECT_EQ(Query("select group_concat(ID || Type || TypeRemarks, ' ') from NoteType"),
              "1知识点KnowledgePoint 2注释Note 3问题Question 4读后感Impression");
    EXPECT_EQ(Query("select count(*), group_concat(StyleName, ' ') from LiteraStyles where Format like '(Author).(Title)[_].%'"),
              "7|专著 论文集 学位论文 报告 期刊文章 报纸文章 各种未定义类型的文献");
    EXPECT_EQ(Query("select group_concat(Type || SortID || desc || ifnull(NodeText, '-'), ' ') from NoteSort"),
              "141今天 241本周 341本月 421- 541所有标签 741加星标签 841所有笔记 941回收站");
    EXPECT_EQ(Query("select group_concat(ID || Type, ' ') from SortType"), "0笔记标题 1笔记上次学习时间 2笔记创建时间 3按空间位置 4按文献标题");

    // Declarations that readers rely on: defaults and the unique DOI.
    Exec("insert into LiteraInfo (DOI) values ('d1')");
    EXPECT_EQ(Query("select DataType, LCID, ImportantDegree, IsRead from LiteraInfo"), "5|2052|0|0");
    EXPECT_THROW(Exec("insert into LiteraInfo (DOI) values ('d1')"), CSqliteException);
    Exec("insert into NoteContent (PosID) values ('p')");
    EXPECT_EQ(Query("select IsPublic, Recycled, IsRemoved, CreateTime is not null from NoteContent"), "0|0|0|1");

    Exec("insert into Label (LabelText, NoteID) values ('red', 'n1')");
    const std::string before = Snapshot();
    RunAllCreations(1);
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(GetLastErrorCode(), 0u);
}

// One operation on older tables: what it returns and what holds afterwards.
struct LayoutCase {
    const char* name;
    std::vector<std::string> setup;
    Operation operation;
    int result;
    std::vector<std::pair<std::string, std::string>> facts;
    int error = 0;        // 1: the last error is SQLite's; -1: not looked at
    bool again = false;   // a second run returns the same and changes nothing
};

const char* kOldLiteraInfo = "CREATE TABLE LiteraInfo (pkid integer primary key,DOI text not null UNIQUE,Title text null,"
                             "DataType integer Default 5 not null";
const std::string kEighteen = "MediaEn EPubLocate EPublisher Media Country Version Prints CountryEn VersionEn MediaAddressEn "
                        "DegreeType Department ApplicationNum PublicationDate InternationalClassification "
                        "DutyPersonEn ModifiedDate City";
const char* kWebPageInfo = "CREATE TABLE WebPage_Info (pkid integer primary key,Title text null,DOI text null,Author "
                           "text null,Link text null,FilePath text null,IsDownload bit Default 0 not null,CreateTime "
                           "text null,LastReadTime text null";

std::vector<LayoutCase> Cases()
{
    const std::string meeting = std::string(kOldLiteraInfo) + ",Meeting text null)";
    // The engine decides whether Meeting can go; the later columns arrive either way.
    const std::string afterMeeting = std::string("pkid DOI Title DataType") +
                                     (sqlite3_libversion_number() < 3035000 ? " Meeting " : " ") + kEighteen +
                                     " LastReadPage LCID";
    return {
        {"default rows go only into a table just created",
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
        {"Meeting moves into Media for proceedings only", {meeting, "insert into LiteraInfo (pkid, DOI, DataType, Meeting) "
                                                                    "values (1, 'a', 4, 'Conf A'), (2, 'b', 5, 'Conf B')"},
         &CTavDB::CreateLiteraInfo, 1,
         {{"columns LiteraInfo", afterMeeting},
          {"select Media, LCID from LiteraInfo order by pkid", "Conf A|;|"}},
         0, true},
        {"WebPage_Info loses DOI and keeps its pages",
         {std::string(kWebPageInfo) + ",Recycle bit Default 0 not null)",
          "insert into WebPage_Info values (3, 'Page', 'd', 'Ann', 'http://x', '/p/x.htm', 1, 'c', 'l', 0)"},
         &CTavDB::CreateWebPageInfoTable, 1,
         {{"select * from WebPage_Info", "3|Page|Ann|http://x|/p/x.htm|1|c|l|0"},
          {"columns WebPage_Info",
           "pkid Title Author Link FilePath IsDownload CreateTime LastReadTime Recycle"},
          {"select count(*) from sqlite_master where name = 'WebPage_Info1'", "0"}}},
        {"WebPage_Info rebuild failing midway leaves nothing behind",
         {std::string(kWebPageInfo) + ")", "insert into WebPage_Info (pkid, Title, DOI) values (3, 'Page', 'd')"},
         [](CTavDB& s) { return s.CreateWebPageInfoTable() * 10 + s.CreateWebPageInfoTable(); }, 0,
         {{"select pkid, Title, DOI from WebPage_Info", "3|Page|d"},
          {"select count(*) from sqlite_master where name = 'WebPage_Info1'", "0"}},
         1},
        {"a web-page copy left without its original is taken over",
         {"CREATE TABLE WebPage_Info1 (pkid integer primary key,Title text null ,Author text null ,Link text null ,"
          "FilePath text null ,IsDownload bit Default 0 not null ,CreateTime text null,LastReadTime text null ,"
          "Recycle bit Default 0 not null)",
          "insert into WebPage_Info1 (pkid, Title) values (3, 'Page')"},
         &CTavDB::CreateWebPageInfoTable, 1,
         {{"select Title from WebPage_Info", "Page"}, {"select count(*) from sqlite_master where name = 'WebPage_Info1'", "0"}}},
        {"TableAddColumn adds only what is missing",
         {"create table T (a text, LocalModifyTime Text, ServerModifyTime Text)", "insert into T (a) values ('x')",
          "create table U (a text)"},
         [](CTavDB& s) { return s.TableAddColumn(u"T") + s.TableAddColumn(u"U") + 10 * s.TableAddColumn(u"Missing"); }, 2,
         {{"columns T", "a LocalModifyTime ServerModifyTime IsRemoved"},
          {"columns U", "a LocalModifyTime ServerModifyTime IsRemoved"},
          {"select IsRemoved from T", "0"}},
         -1, true},
        {"column operations on older tables",
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
         {{"columns NoteContent",
           "ID PosID IsPublic IsCompiled UnitID KnowledgeID"},
          {"columns LiteraInfo",
           "pkid DOI Title DataType TableName KnowledgeID Locked OdataCode"},
          // Existing notes read IsPublic 3, later ones too unless they say otherwise.
          {"select IsPublic, IsCompiled from NoteContent order by ID", "3|0;3|0"}}},
        {"NoteType names its types only when TypeRemarks is new",
         {"create table NoteType (ID Integer primary key,Type Text UNIQUE)", "insert into NoteType (Type) values ('知识点')"},
         &CTavDB::CreateNoteType, 1, {{"select TypeRemarks from NoteType", "KnowledgePoint"}}},
        {"NoteType keeps the user's own remarks",
         {"create table NoteType (ID Integer primary key,Type Text UNIQUE, TypeRemarks Text)",
          "insert into NoteType (Type, TypeRemarks) values ('知识点', 'mine')"},
         &CTavDB::CreateNoteType, 1, {{"select TypeRemarks from NoteType", "mine"}}},
        {"NoteSort takes each label once whatever its text",
         {"create table Label (LabelText Text not null,NoteID Text not null)",
          "insert into Label values ('Bob''s', 'n1'), ('Bob''s', 'n2'), ('a'');drop table Label;--', 'n1')"},
         &CTavDB::CreateNoteSort, 1,
         {{"select count(*) from NoteSort", "10"},
          {"select NodeText from NoteSort where Type = 6 and SortID = 4 and desc = 1 order by NodeText",
           "Bob's;a');drop table Label;--"},
          {"select count(*) from Label", "3"}}},
    };
}

TEST_F(LayoutTest, OperationsOnOlderTables)
{
    for (const LayoutCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        Open();
        for (const std::string& sql : c.setup)
            Exec(sql);
        EXPECT_EQ(c.operation(*m_store), c.result);
        if (c.error >= 0) {
            EXPECT_EQ(GetLastErrorCode(), c.error == 1 ? static_cast<uint32_t>(kTavSqliteError) : 0u);
        }
        for (const auto& [sql, expected] : c.facts)
            EXPECT_EQ(Query(sql), expected) << sql;
        if (c.again) {
            const std::string before = Snapshot();
            EXPECT_EQ(c.operation(*m_store), c.result);
            EXPECT_EQ(Snapshot(), before);
        }
    }
}

} // namespace
