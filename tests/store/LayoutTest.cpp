// The learning-unit layout: creation of every table on an empty unit, the upgrades of older
// tables, the column operations and the probes.
#include "store/TavDB.h"
#include "support/LastError.h"
#include "support/Log.h"
#include "support/TextConvert.h"
#include "builder/UnitBuilder.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::u16string>;

// "a b c" -> {a, b, c}
Texts Words(const std::string& text)
{
    Texts words;
    std::string word;
    for (char c : text + " ") {
        if (c != ' ') {
            word += c;
        } else if (!word.empty()) {
            words.push_back(Utf8ToWide(word));
            word.clear();
        }
    }
    return words;
}

// True when text has the shape of pattern: '9' stands for any digit, 'X' for an upper-case
// hexadecimal digit, anything else for itself.
bool HasShape(const std::string& text, const std::string& pattern)
{
    if (text.size() != pattern.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool digit = c >= '0' && c <= '9';
        if (pattern[i] == '9' ? !digit : pattern[i] == 'X' ? !(digit || (c >= 'A' && c <= 'F')) : c != pattern[i])
            return false;
    }
    return true;
}

const std::string kTimeShape = "9999-99-99 99:99:99";

// Every creation operation, in the order the driver runs them, then the one only an upgrade
// step uses.
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
    void SetUp() override
    {
        m_store = std::make_unique<CTavDB>();
        Db().Open(Utf8ToWide((m_dir.Path() / "unit.tav").string()));
        Exec(u"pragma synchronous = off");
        SetLastErrorCode(0);
    }
    void TearDown() override { m_store.reset(); }

    CTavDB& Store() { return *m_store; }
    CSqliteDB& Db() { return m_store->Database(); }

    void Exec(const std::u16string& sql) { Db().ExecuteStatement(sql); }
    int Int(const std::u16string& sql) { return Db().ExecuteScalar(sql); }
    // Column 0 of every row (NULL as "<null>").
    Texts Rows(const std::u16string& sql)
    {
        Texts rows;
        for (CSqliteQuery query = Db().ExecuteQuery(sql); !query.IsEof(); query.NextRow())
            rows.push_back(query.IsNullField(0) ? u"<null>" : query.GetStringValue(0));
        return rows;
    }
    Texts ColumnNames(const std::u16string& table)
    {
        Texts names;
        for (CSqliteQuery query = Db().ExecuteQuery(u"pragma table_info(" + table + u")"); !query.IsEof(); query.NextRow())
            names.push_back(query.GetStringValue(1));
        return names;
    }
    bool HasColumn(const std::u16string& table, const std::u16string& column)
    {
        const Texts names = ColumnNames(table);
        return std::find(names.begin(), names.end(), column) != names.end();
    }
    bool HasTable(const std::u16string& table)
    {
        return Int(u"select count(*) from sqlite_master where type = 'table' and name = '" + table + u"'") == 1;
    }
    // Every schema entry and every row of every table, as one text.
    std::u16string Snapshot()
    {
        std::u16string text;
        for (const std::u16string& entry : Rows(u"select type || ' ' || name || ' ' || ifnull(sql, '') from sqlite_master order by name"))
            text += entry + u"\n";
        for (const std::u16string& table : Rows(u"select name from sqlite_master where type = 'table' order by name")) {
            const Texts columns = ColumnNames(table);
            std::u16string row = u"quote(" + columns[0] + u")";
            for (size_t i = 1; i < columns.size(); ++i)
                row += u" || ',' || quote(" + columns[i] + u")";
            for (const std::u16string& line : Rows(u"select " + row + u" from " + table + u" order by rowid"))
                text += table + u": " + line + u"\n";
        }
        return text;
    }
    std::vector<int> RunAllCreations()
    {
        std::vector<int> results;
        for (auto operation : kCreationOperations)
            results.push_back((Store().*operation)());
        return results;
    }

    testkit::ScopedHomeEnv m_home;
    testkit::TempDir m_dir;
    std::unique_ptr<CTavDB> m_store;
};

TEST_F(LayoutTest, EmptyUnitGetsEveryTableWithItsIndexesAndDefaultRows)
{
    for (int result : RunAllCreations())
        EXPECT_EQ(result, 1);

    for (const std::u16string& table :
         Words("Category CategoryLitera LiteraInfo LiteraInfo_Temp NoteType NoteContent LiteraStyles NoteSort NoteLabel "
               "Label NoteRelation NoteReply SortType LiteraRelate Trash DownInfo WebPage_Info WebPage_Category "
               "WebPage_CategoryInfo WebPage_Trash PushLiteraInfo PushItem PushRelation"))
        EXPECT_TRUE(HasTable(table)) << WideToUtf8(table);
    EXPECT_FALSE(HasTable(u"VersionInfo"));
    EXPECT_EQ(Rows(u"select name || ' on ' || tbl_name from sqlite_master where type = 'index' and sql is not null order by name"),
              (Texts{u"DOIIndex on LiteraInfo", u"IDIndex on CategoryLitera", u"LabelIndex on NoteLabel",
                     u"PosIDIndex on NoteContent"}));

    // The one folder: its GUID and time are made for the row.
    ASSERT_EQ(Int(u"select count(*) from Category"), 1);
    EXPECT_EQ(Rows(u"select Name || '|' || ParentID || '|' || Recycled || '|' || IsRemoved from Category"),
              Texts{u"要学习的文献|0|0|0"});
    const std::string guid = WideToUtf8(Rows(u"select CategoryGuid from Category")[0]);
    EXPECT_TRUE(HasShape(guid, std::string(32, 'X'))) << guid;
    const std::string time = WideToUtf8(Rows(u"select LocalModifyTime from Category")[0]);
    EXPECT_TRUE(HasShape(time, kTimeShape)) << time;

    EXPECT_EQ(Rows(u"select ID || ' ' || Type || ' ' || TypeRemarks from NoteType order by ID"),
              (Texts{u"1 知识点 KnowledgePoint", u"2 注释 Note", u"3 问题 Question", u"4 读后感 Impression"}));
    EXPECT_EQ(Rows(u"select DataType || ' ' || StyleName from LiteraStyles order by DataType"),
              (Texts{u"1 专著", u"2 论文集", u"3 学位论文", u"4 报告", u"5 期刊文章", u"6 报纸文章", u"7 各种未定义类型的文献"}));
    EXPECT_EQ(Rows(u"select Format from LiteraStyles where DataType = 5"), Texts{u"(Author).(Title)[J].(Source),(Year),(Roll)((Period))."});
    // No labels yet: the eight fixed rows, each with desc 1.
    EXPECT_EQ(Rows(u"select ID || ' ' || Type || ' ' || SortID || ' ' || desc || ' ' || ifnull(NodeText, '-') from NoteSort order by ID"),
              (Texts{u"1 1 4 1 今天", u"2 2 4 1 本周", u"3 3 4 1 本月", u"4 4 2 1 -", u"5 5 4 1 所有标签", u"6 7 4 1 加星标签",
                     u"7 8 4 1 所有笔记", u"8 9 4 1 回收站"}));
    EXPECT_EQ(Rows(u"select ID || ' ' || Type from SortType order by ID"),
              (Texts{u"0 笔记标题", u"1 笔记上次学习时间", u"2 笔记创建时间", u"3 按空间位置", u"4 按文献标题"}));
    for (const std::u16string& table : Words("CategoryLitera LiteraInfo LiteraInfo_Temp NoteContent NoteLabel Label NoteRelation "
                                             "NoteReply LiteraRelate Trash DownInfo WebPage_Info WebPage_Category "
                                             "WebPage_CategoryInfo WebPage_Trash PushLiteraInfo PushItem PushRelation"))
        EXPECT_EQ(Int(u"select count(*) from " + table), 0) << WideToUtf8(table);
}

TEST_F(LayoutTest, TablesHoldTheirColumnsInOrder)
{
    RunAllCreations();
    EXPECT_EQ(ColumnNames(u"Category"),
              Words("CategoryId Name ParentID CategoryGuid ParentGuid VersionInfo IsModify CategoryLiteraVersion "
                    "IsRelateModify Path RecycleID RecycleParentId LocalModifyTime ServerModifyTime Recycled IsRemoved"));
    EXPECT_EQ(ColumnNames(u"CategoryLitera"),
              Words("CategoryId pkid CategoryGuid LiterGuid LocalModifyTime ServerModifyTime IsRemoved Recycled RecycleID Path DOI"));
    EXPECT_EQ(ColumnNames(u"NoteContent"),
              Words("ID TypeID CreateTime ModifyTime Title Content DOI PosID Comments Recycled Adjunct Path Source "
                    "Importance Location ContentText NoteGuid LiterGuid VersionInfo IsModify NoteLabelVersion "
                    "IsLabelModify IsPublic IsCompiled UnitID LocalModifyTime ServerModifyTime IsRemoved KnowledgeID"));
    EXPECT_EQ(ColumnNames(u"Label"), Words("LabelText NoteID NoteGuid CreateTime LocalModifyTime ServerModifyTime IsRemoved"));
    EXPECT_EQ(ColumnNames(u"LiteraRelate"),
              Words("Pkid ReadingProgress Locked LastReadPos MarkPos Remark Adjunct LastReadTime CreateTime FileType "
                    "LiterGuid VersionInfo IsModify IsRead"));
    EXPECT_EQ(ColumnNames(u"Trash"),
              Words("ID Path pkid DOI IsDoc ParentID DelTime FolderId TrashGuid LiterGuid CategoryGuid TrashParentGuid "
                    "VersionInfo IsModify"));
    EXPECT_EQ(ColumnNames(u"DownInfo"),
              Words("ID pkid Title Link Pub_Year DownStyle ShowTxt Path DownTime ErrorUrl Status Expand LiterGuid"));
    EXPECT_EQ(ColumnNames(u"NoteReply"), Words("ReplyID TavID UserID Title Content NoteID CreateTime ModifyTime VersionInfo"));

    // LiteraInfo: 120 columns; a sample of positions, and the rebuild target is its first 110.
    const Texts literaInfo = ColumnNames(u"LiteraInfo");
    ASSERT_EQ(literaInfo.size(), 120u);
    EXPECT_EQ(literaInfo[30], u"FirstDuty");
    EXPECT_EQ(literaInfo[54], u"IsSubscibe");
    EXPECT_EQ(literaInfo[85], u"Tav");
    EXPECT_EQ(literaInfo[92], u"MediaEn");
    EXPECT_EQ(literaInfo[109], u"City");
    EXPECT_EQ(literaInfo[111], u"LCID");
    EXPECT_EQ(literaInfo[119], u"OdataCode");
    EXPECT_EQ(ColumnNames(u"LiteraInfo_Temp"), Texts(literaInfo.begin(), literaInfo.begin() + 110));

    // Declarations that readers rely on: defaults and the unique DOI.
    Exec(u"insert into LiteraInfo (DOI) values ('d1')");
    EXPECT_EQ(Rows(u"select DataType || ' ' || LCID || ' ' || ImportantDegree || ' ' || IsRead from LiteraInfo"), Texts{u"5 2052 0 0"});
    EXPECT_THROW(Exec(u"insert into LiteraInfo (DOI) values ('d1')"), CSqliteException);
    Exec(u"insert into NoteContent (PosID) values ('p')");
    EXPECT_EQ(Rows(u"select IsPublic || ' ' || Recycled || ' ' || IsRemoved || ' ' || (CreateTime is not null) from NoteContent"),
              Texts{u"0 0 0 1"});
}

TEST_F(LayoutTest, SecondRunChangesNothing)
{
    RunAllCreations();
    Exec(u"insert into Label (LabelText, NoteID) values ('red', 'n1')");
    const std::u16string before = Snapshot();
    for (int result : RunAllCreations())
        EXPECT_EQ(result, 1);
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(GetLastErrorCode(), 0u);
}

TEST_F(LayoutTest, DefaultRowsGoOnlyIntoATableJustCreated)
{
    Exec(u"create table Category (CategoryId Integer primary key,Name Text not null,CategoryGuid Text)");
    Exec(u"create table NoteType (ID Integer primary key,Type Text UNIQUE, TypeRemarks Text)");
    Exec(u"create table LiteraStyles (DataType integer primary key ,StyleName Text ,Format Text)");
    Exec(u"create table NoteSort (ID Integer primary key,Type Integer not null, SortID Integer, desc int Default 1, NodeText Text)");
    Exec(u"create table SortType (ID Integer primary key, Type Text UNIQUE)");
    Exec(u"create table Label (LabelText Text not null,NoteID Text not null)");
    Exec(u"insert into Label values ('red', 'n1')");

    RunAllCreations();
    for (const std::u16string& table : Words("Category NoteType LiteraStyles NoteSort SortType"))
        EXPECT_EQ(Int(u"select count(*) from " + table), 0) << WideToUtf8(table);
}

TEST_F(LayoutTest, DatabaseErrorsFollowEachOperationsHandler)
{
    // A closed connection makes every statement, probes included, fail.
    Db().Close();

    // The table probes of these two lie outside their handler.
    EXPECT_THROW(Store().CreateCategoryTable(), CSqliteException);
    EXPECT_THROW(Store().CreateCategoryLitera(), CSqliteException);

    // The probe never reports: the answer is simply "missing".
    EXPECT_EQ(Store().IsColumnExist(u"LiteraInfo", u"DOI"), 0);
    EXPECT_EQ(GetLastErrorCode(), 0u);

    for (auto operation : {&CTavDB::CreateLiteraInfo, &CTavDB::CreateNoteSort, &CTavDB::CreateWebPageInfoTable,
                           &CTavDB::CreateDownInfoTable, &CTavDB::LiteraInfoAddOdataCodeField}) {
        SetLastErrorCode(0);
        EXPECT_EQ((Store().*operation)(), 0);
        EXPECT_EQ(GetLastErrorCode(), static_cast<uint32_t>(kTavSqliteError));
    }
    SetLastErrorCode(0);
    EXPECT_EQ(Store().TableAddColumn(u"Label"), 0);
    EXPECT_EQ(GetLastErrorCode(), static_cast<uint32_t>(kTavSqliteError));
    SetLastErrorCode(0);
    EXPECT_EQ(Store().DropTable(u"Label"), 0);
    EXPECT_EQ(GetLastErrorCode(), static_cast<uint32_t>(kTavSqliteError));
}

TEST_F(LayoutTest, CaughtErrorsAreLoggedUnderOperationAndSourceFile)
{
    auto logText = [] {
        EXPECT_TRUE(CxLog::Instance().Flush());
        std::ifstream in(WideToUtf8(CxLog::Instance().LastLogFilePath()), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    // A first line, so that the log file exists before the probes run.
    CxLog::Instance().Log(u"LayoutTest", u"mark", __LINE__, 3, u"start");
    const size_t start = logText().size();
    Db().Close();

    Store().IsColumnExist(u"LiteraInfo", u"DOI");
    EXPECT_EQ(logText().size(), start); // the probe is silent

    Store().DropTable(u"Old");
    Store().CreateNoteSort();
    const std::string added = logText().substr(start);
    EXPECT_NE(added.find("Error TavDBSql(CTavDB::DropTable, "), std::string::npos) << added;
    EXPECT_NE(added.find("Error TavDB(CTavDB::CreateNoteSort, "), std::string::npos) << added;
}

TEST_F(LayoutTest, IsColumnExistAnswersForTablesAndColumnsAlike)
{
    Exec(u"create table T (a text)");
    EXPECT_EQ(Store().IsColumnExist(u"T", u"a"), 1);
    EXPECT_EQ(Store().IsColumnExist(u"T", u"b"), 0);
    EXPECT_EQ(Store().IsColumnExist(u"NoSuchTable", u"a"), 0);
    EXPECT_EQ(GetLastErrorCode(), 0u);
}

// An older LiteraInfo: no block of eighteen, no LastReadPage or LCID.
constexpr const char16_t* kOldLiteraInfo =
    u"CREATE TABLE LiteraInfo (pkid integer primary key,DOI text not null UNIQUE,Title text null,"
    u"DataType integer Default 5 not null%s)";

std::u16string OldLiteraInfo(const std::u16string& extraColumns)
{
    std::u16string sql = kOldLiteraInfo;
    return sql.replace(sql.find(u"%s"), 2, extraColumns);
}

const Texts kEighteen = Words("MediaEn EPubLocate EPublisher Media Country Version Prints CountryEn VersionEn MediaAddressEn "
                              "DegreeType Department ApplicationNum PublicationDate InternationalClassification "
                              "DutyPersonEn ModifiedDate City");

TEST_F(LayoutTest, MeetingMovesIntoMediaForProceedingsOnly)
{
    Exec(OldLiteraInfo(u",Meeting text null"));
    Exec(u"insert into LiteraInfo (pkid, DOI, DataType, Meeting) values (1, 'a', 4, 'Conf A'), (2, 'b', 5, 'Conf B')");

    EXPECT_EQ(Store().CreateLiteraInfo(), 1);
    for (const std::u16string& column : kEighteen)
        EXPECT_TRUE(HasColumn(u"LiteraInfo", column)) << WideToUtf8(column);
    EXPECT_EQ(Rows(u"select ifnull(Media, '-') from LiteraInfo order by pkid"), (Texts{u"Conf A", u"-"}));
    // The engine decides whether Meeting can go; either way the later columns arrive in
    // the same run, and existing rows get no LCID default.
    EXPECT_EQ(HasColumn(u"LiteraInfo", u"Meeting"), sqlite3_libversion_number() < 3035000);
    EXPECT_TRUE(HasColumn(u"LiteraInfo", u"LastReadPage"));
    EXPECT_EQ(Rows(u"select ifnull(LCID, '-') from LiteraInfo where pkid = 1"), Texts{u"-"});

    const std::u16string before = Snapshot();
    EXPECT_EQ(Store().CreateLiteraInfo(), 1);
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(LayoutTest, RejectedMeetingDropDoesNotHoldBackLaterColumns)
{
    // An index on Meeting makes every engine refuse the drop.
    Exec(OldLiteraInfo(u",Meeting text null"));
    Exec(u"create index MeetingIndex on LiteraInfo(Meeting)");
    Exec(u"insert into LiteraInfo (pkid, DOI, DataType, Meeting) values (1, 'a', 4, 'Conf A')");

    EXPECT_EQ(Store().CreateLiteraInfo(), 1);
    EXPECT_TRUE(HasColumn(u"LiteraInfo", u"Meeting"));
    EXPECT_EQ(Rows(u"select Media from LiteraInfo"), Texts{u"Conf A"});
    EXPECT_TRUE(HasColumn(u"LiteraInfo", u"LastReadPage"));
    EXPECT_TRUE(HasColumn(u"LiteraInfo", u"LCID"));
}

TEST_F(LayoutTest, LiteraInfoWithoutMeetingFailsOnceThenGetsTheLaterColumns)
{
    Exec(OldLiteraInfo(u""));
    Exec(u"insert into LiteraInfo (pkid, DOI) values (1, 'a')");

    EXPECT_EQ(Store().CreateLiteraInfo(), 0);
    EXPECT_EQ(GetLastErrorCode(), static_cast<uint32_t>(kTavSqliteError));
    for (const std::u16string& column : kEighteen)
        EXPECT_TRUE(HasColumn(u"LiteraInfo", column)) << WideToUtf8(column);
    EXPECT_FALSE(HasColumn(u"LiteraInfo", u"LastReadPage"));
    EXPECT_FALSE(HasColumn(u"LiteraInfo", u"LCID"));

    EXPECT_EQ(Store().CreateLiteraInfo(), 1);
    EXPECT_TRUE(HasColumn(u"LiteraInfo", u"LastReadPage"));
    EXPECT_TRUE(HasColumn(u"LiteraInfo", u"LCID"));
    EXPECT_EQ(Int(u"select count(*) from LiteraInfo"), 1);
}

TEST_F(LayoutTest, LiteraInfoThatAlreadyHasOneOfTheEighteenGetsTheRest)
{
    Exec(OldLiteraInfo(u",Media text null,Meeting text null"));
    Exec(u"insert into LiteraInfo (pkid, DOI, DataType, Media, Meeting) values (1, 'a', 4, 'old', 'Conf A')");

    EXPECT_EQ(Store().CreateLiteraInfo(), 1);
    for (const std::u16string& column : kEighteen)
        EXPECT_TRUE(HasColumn(u"LiteraInfo", column)) << WideToUtf8(column);
    EXPECT_EQ(Rows(u"select Media from LiteraInfo"), Texts{u"Conf A"});
    EXPECT_TRUE(HasColumn(u"LiteraInfo", u"LCID"));
}

TEST_F(LayoutTest, NoteTypeGetsTypeRemarksForTheKnownTypes)
{
    Exec(u"create table NoteType (ID Integer primary key, Type Text UNIQUE)");
    Exec(u"insert into NoteType (Type) values ('问题'), ('知识点'), ('自定义')");

    EXPECT_EQ(Store().CreateNoteType(), 1);
    EXPECT_EQ(Rows(u"select ID || ' ' || Type || ' ' || ifnull(TypeRemarks, '-') from NoteType order by ID"),
              (Texts{u"1 问题 Question", u"2 知识点 KnowledgePoint", u"3 自定义 -"}));
}

constexpr const char16_t* kWebPageInfoWithDoi =
    u"CREATE TABLE WebPage_Info (pkid integer primary key,Title text null,DOI text null,Author text null,Link text null,"
    u"FilePath text null,IsDownload bit Default 0 not null,CreateTime text null,LastReadTime text null,"
    u"Recycle bit Default 0 not null)";

TEST_F(LayoutTest, WebPageInfoLosesDoiAndKeepsItsPages)
{
    Exec(kWebPageInfoWithDoi);
    Exec(u"insert into WebPage_Info values (3, 'Page', 'd', 'Ann', 'http://x', '/p/x.htm', 1, 'c', 'l', 0)");

    EXPECT_EQ(Store().CreateWebPageInfoTable(), 1);
    EXPECT_EQ(ColumnNames(u"WebPage_Info"),
              Words("pkid Title Author Link FilePath IsDownload CreateTime LastReadTime Recycle"));
    EXPECT_EQ(Rows(u"select pkid || Title || Author || Link || FilePath || IsDownload || CreateTime || LastReadTime || Recycle "
                   u"from WebPage_Info"),
              Texts{u"3PageAnnhttp://x/p/x.htm1cl0"});
    EXPECT_FALSE(HasTable(u"WebPage_Info1"));
}

TEST_F(LayoutTest, WebPageInfoRebuildBlockedByLeftoverCopyChangesNothing)
{
    Exec(kWebPageInfoWithDoi);
    Exec(u"insert into WebPage_Info (pkid, Title, DOI) values (3, 'Page', 'd')");
    Exec(u"create table WebPage_Info1 (pkid integer primary key, Title text)");
    Exec(u"insert into WebPage_Info1 values (9, 'copy')");
    // Inside an enclosing transaction (as the driver runs the pass) as well as alone.
    Exec(u"begin");
    Exec(u"insert into WebPage_Info (pkid, Title) values (4, 'Before')");
    const std::u16string before = Snapshot();

    EXPECT_EQ(Store().CreateWebPageInfoTable(), 0);
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(sqlite3_get_autocommit(Db().Handle()), 0); // the enclosing transaction is still open
    Exec(u"commit");
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(LayoutTest, WebPageInfoRebuildFailingMidwayLeavesNoCopyBehind)
{
    // No Recycle column: the copy is made, then filling it fails.
    Exec(u"CREATE TABLE WebPage_Info (pkid integer primary key,Title text null,DOI text null,Author text null,"
         u"Link text null,FilePath text null,IsDownload bit Default 0 not null,CreateTime text null,"
         u"LastReadTime text null)");
    Exec(u"insert into WebPage_Info (pkid, Title, DOI) values (3, 'Page', 'd')");
    const std::u16string before = Snapshot();

    EXPECT_EQ(Store().CreateWebPageInfoTable(), 0);
    EXPECT_EQ(Snapshot(), before);
    EXPECT_NE(sqlite3_get_autocommit(Db().Handle()), 0);
    // Nothing is left that would block the next try.
    EXPECT_EQ(Store().CreateWebPageInfoTable(), 0);
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(LayoutTest, WebPageCopyLeftWithoutItsOriginalIsTakenOver)
{
    Exec(u"CREATE TABLE WebPage_Info1 (pkid integer primary key,Title text null ,Author text null ,Link text null ,"
         u"FilePath text null ,IsDownload bit Default 0 not null ,CreateTime text null,LastReadTime text null ,"
         u"Recycle bit Default 0 not null)");
    Exec(u"insert into WebPage_Info1 (pkid, Title) values (3, 'Page')");

    EXPECT_EQ(Store().CreateWebPageInfoTable(), 1);
    EXPECT_FALSE(HasTable(u"WebPage_Info1"));
    EXPECT_EQ(Rows(u"select Title from WebPage_Info"), Texts{u"Page"});
}

TEST_F(LayoutTest, TableAddColumnAddsOnlyWhatIsMissing)
{
    Exec(u"create table T (a text, LocalModifyTime Text, ServerModifyTime Text)");
    Exec(u"insert into T (a) values ('x')");
    EXPECT_EQ(Store().TableAddColumn(u"T"), 1);
    EXPECT_EQ(ColumnNames(u"T"), Words("a LocalModifyTime ServerModifyTime IsRemoved"));
    EXPECT_EQ(Rows(u"select IsRemoved from T"), Texts{u"0"});

    const std::u16string before = Snapshot();
    EXPECT_EQ(Store().TableAddColumn(u"T"), 1);
    EXPECT_EQ(Snapshot(), before);

    Exec(u"create table U (a text)");
    EXPECT_EQ(Store().TableAddColumn(u"U"), 1);
    EXPECT_EQ(ColumnNames(u"U"), Words("a LocalModifyTime ServerModifyTime IsRemoved"));

    EXPECT_EQ(Store().TableAddColumn(u"Missing"), 0);
}

TEST_F(LayoutTest, ColumnOperationsOnOlderTables)
{
    Exec(u"create table NoteContent (ID Integer primary key, PosID Text UNIQUE)");
    Exec(u"insert into NoteContent (PosID) values ('p1')");
    Exec(OldLiteraInfo(u""));

    for (auto operation : {&CTavDB::NoteContentAddIsPublicField, &CTavDB::NoteContentAddIsCompiledField,
                           &CTavDB::NoteContentAddUnitIdField, &CTavDB::NoteContentAddKnowledgeIdField,
                           &CTavDB::LiteraInfoAddTableNameField, &CTavDB::LiteraInfoAddKnowledgeInfoField,
                           &CTavDB::LiteraInfoAddLockedField, &CTavDB::LiteraInfoAddOdataCodeField})
        EXPECT_EQ((Store().*operation)(), 1);

    // Existing notes read IsPublic 3, later ones too unless they say otherwise.
    Exec(u"insert into NoteContent (PosID) values ('p2')");
    EXPECT_EQ(Rows(u"select IsPublic || ' ' || IsCompiled from NoteContent order by ID"), (Texts{u"3 0", u"3 0"}));
    EXPECT_EQ(ColumnNames(u"NoteContent"), Words("ID PosID IsPublic IsCompiled UnitID KnowledgeID"));
    EXPECT_EQ(ColumnNames(u"LiteraInfo"), Words("pkid DOI Title DataType TableName KnowledgeID Locked OdataCode"));

    const std::u16string before = Snapshot();
    EXPECT_EQ(Store().NoteContentAddIsPublicField(), 1);
    EXPECT_EQ(Store().LiteraInfoAddLockedField(), 1);
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(LayoutTest, NoteSortTakesEachLabelOnceWhateverItsText)
{
    Store().CreateLabelTable();
    Exec(u"insert into Label (LabelText, NoteID) values ('Bob''s', 'n1'), ('Bob''s', 'n2'), ('a'');drop table Label;--', 'n1')");

    EXPECT_EQ(Store().CreateNoteSort(), 1);
    EXPECT_EQ(Int(u"select count(*) from NoteSort"), 10);
    EXPECT_EQ(Rows(u"select NodeText from NoteSort where Type = 6 and SortID = 4 and desc = 1 order by NodeText"),
              (Texts{u"Bob's", u"a');drop table Label;--"}));
    EXPECT_EQ(Int(u"select count(*) from Label"), 3);
}

TEST_F(LayoutTest, NoteSortWithoutLabelTableKeepsItsFixedRows)
{
    EXPECT_EQ(Store().CreateNoteSort(), 0);
    EXPECT_EQ(GetLastErrorCode(), static_cast<uint32_t>(kTavSqliteError));
    EXPECT_EQ(Int(u"select count(*) from NoteSort"), 8);
    // The table now exists: a later run adds nothing.
    EXPECT_EQ(Store().CreateNoteSort(), 1);
    EXPECT_EQ(Int(u"select count(*) from NoteSort"), 8);
}

TEST_F(LayoutTest, OlderDownInfoGetsItsLaterColumns)
{
    Exec(u"create table DownInfo (ID Integer primary key, pkid Integer, Status Integer, LiterGuid Text)");
    Exec(u"insert into DownInfo (pkid, Status) values (7, 2)");
    EXPECT_EQ(Store().CreateDownInfoTable(), 1);
    EXPECT_EQ(ColumnNames(u"DownInfo"), Words("ID pkid Status LiterGuid ErrorUrl Expand"));
    EXPECT_EQ(Rows(u"select pkid || ' ' || Status from DownInfo"), Texts{u"7 2"});
}

TEST_F(LayoutTest, DropTableDropsOnlyWhatExists)
{
    Exec(u"create table Old (a text)");
    EXPECT_EQ(Store().DropTable(u"Old"), 1);
    EXPECT_FALSE(HasTable(u"Old"));
    EXPECT_EQ(Store().DropTable(u"Old"), 1);
    EXPECT_EQ(GetLastErrorCode(), 0u);
}

TEST(LocalTimeText, IsTheLocalClockToTheSecond)
{
    const std::time_t before = std::time(nullptr);
    const std::string text = WideToUtf8(GetLocalTimeText());
    const std::time_t after = std::time(nullptr);
    ASSERT_TRUE(HasShape(text, kTimeShape)) << text;
    std::tm parsed{};
    ASSERT_NE(strptime(text.c_str(), "%Y-%m-%d %H:%M:%S", &parsed), nullptr);
    parsed.tm_isdst = -1;
    const std::time_t read = std::mktime(&parsed);
    EXPECT_GE(read, before);
    EXPECT_LE(read, after);
}

} // namespace
