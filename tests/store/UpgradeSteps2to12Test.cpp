// Upgrade steps 2 to 12, each run on its own from the layout of the version before it.
// Older layouts are written here with plain SQL, holding just what each step reads.
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
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Rows = std::vector<std::vector<std::string>>;

struct Line {
    int32_t position;
    int32_t maximum;
    std::u16string text;
    bool operator==(const Line&) const = default;
};

void PrintTo(const Line& line, std::ostream* out)
{
    *out << "(" << line.position << ", " << line.maximum << ", " << WideToUtf8(line.text) << ")";
}

class StepsUnderTest : public CTavDB {
public:
    StepsUnderTest() { SetPauseMilliseconds(0); }
    void Attach(const fs::path& unit)
    {
        m_path = Utf8ToWide(unit.string());
        m_db.Open(m_path);
        m_callback = [this](int32_t position, int32_t maximum, const std::u16string& text) {
            lines.push_back({position, maximum, text});
            return 0;
        };
    }
    void SetProgress(int32_t current, int32_t total)
    {
        m_currentStep = current;
        m_totalSteps = total;
    }
    // Stand-in for the steps a test does not look at: raises VersionNum by one.
    int CountingStep()
    {
        m_db.ExecuteStatement(u"update VersionInfo set VersionNum = VersionNum + 1 where ID = 1");
        return 1;
    }
    void KeepOnlyRealStep(size_t index)
    {
        for (size_t i = 0; i < m_upgradeSteps.size(); ++i) {
            if (i != index)
                m_upgradeSteps[i] = static_cast<UpgradeStep>(&StepsUnderTest::CountingStep);
        }
    }

    std::vector<Line> lines;
};

// The 110 columns that step 3 keeps, in their order.
const std::vector<std::string>& RebuiltLiteraInfoColumns()
{
    static const std::vector<std::string> columns = [] {
        const char* text =
            "pkid DOI Title Author Organ Keyword Summary ETitle EAuthor ESummary EKeyword Quotation Fund CDNum "
            "LiteratureNum Source SSource ESource Pub_Year Period CN ISSN FileName ClassNum SubjectNum SubColumnNum "
            "SubjectName SpecialNum UpdateTime SubSpecialNum FirstDuty SCI EI Core CETitle ComplexKeyword CESummary "
            "Topic PubTime NavNum MarkKeyword SrcDatabase PageCount FileSize CEAuthor CEPeriodical AuthorResume "
            "Property SYS_VSM ffd Lang Publisher FilePath DataType IsSubscibe RecentReadTime ClassUser Recycle "
            "IsDownload FeedLink Link Category BookshelfUserClass LiteratureUserClass WebUserClass ReadStatus "
            "PubLocate Roll Edition InsertTime Page LinkMD5 UserID PDLOnlineClass Classified IsRead LastReadTime "
            "ReferenceNum IsGetAuthors AuthorsList IsHaveAdjunct Degree Teacher IsHaveContent ImportantDegree Tav "
            "NoteSets Content Adjunct md5 Remark DocExt MediaEn EPubLocate EPublisher Media Country Version Prints "
            "CountryEn VersionEn MediaAddressEn DegreeType Department ApplicationNum PublicationDate "
            "InternationalClassification DutyPersonEn ModifiedDate City";
        std::vector<std::string> names;
        std::string name;
        for (const char* c = text;; ++c) {
            if (*c == ' ' || *c == '\0') {
                names.push_back(name);
                name.clear();
                if (*c == '\0')
                    break;
            } else {
                name.push_back(*c);
            }
        }
        return names;
    }();
    return columns;
}

class UpgradeStepsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_cancelFlag.store(0);
        m_unit = m_dir.Path() / "a.tav";
        m_store.Attach(m_unit);
        Run("create table VersionInfo (ID integer primary key, VersionNum integer, TavId text)");
    }

    // Starts the unit at `version` and runs `statements` on it.
    void Layout(int32_t version, std::initializer_list<const char*> statements)
    {
        Run("insert or replace into VersionInfo values (1, " + std::to_string(version) + ", 'T1')");
        for (const char* sql : statements)
            Run(sql);
    }
    void Run(const std::string& sql) { m_store.Database().ExecuteStatement(Utf8ToWide(sql)); }

    // Reads through a connection of its own, so that only committed work is seen.
    Rows Query(const std::string& sql) const
    {
        CSqliteDB other;
        other.Open(Utf8ToWide(m_unit.string()));
        CSqliteQuery query = other.ExecuteQuery(Utf8ToWide(sql));
        Rows rows;
        while (!query.IsEof()) {
            std::vector<std::string> row;
            for (int32_t i = 0; i < query.NumFields(); ++i)
                row.push_back(query.IsNullField(i) ? "<null>" : WideToUtf8(query.GetStringValue(i)));
            rows.push_back(row);
            query.NextRow();
        }
        return rows;
    }
    int32_t Scalar(const std::string& sql) const
    {
        const Rows rows = Query(sql);
        return rows.empty() ? 0 : std::stoi(rows[0][0]);
    }
    int32_t Version() const { return Scalar("select VersionNum from VersionInfo"); }
    std::vector<std::string> Columns(const std::string& table) const
    {
        std::vector<std::string> names;
        for (const auto& row : Query("pragma table_info(" + table + ")"))
            names.push_back(row[1]);
        return names;
    }
    bool HasColumn(const std::string& table, const std::string& column) const
    {
        for (const std::string& name : Columns(table)) {
            if (name == column)
                return true;
        }
        return false;
    }
    bool HasTable(const std::string& table) const
    {
        return Scalar("select count(*) from sqlite_master where type='table' and name='" + table + "'") > 0;
    }
    static std::string LogText()
    {
        CxLog::Instance().Flush();
        std::ifstream in(fs::path(WideToUtf8(CxLog::Instance().LastLogFilePath())), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    testkit::ScopedHomeEnv m_home;
    testkit::TempDir m_dir;
    fs::path m_unit;
    StepsUnderTest m_store;
};

TEST_F(UpgradeStepsTest, Step2CopiesSourceIntoMediaAndLetsItsErrorThrough)
{
    Layout(1, {"create table LiteraInfo (pkid integer primary key, Source text, Media text)",
               "insert into LiteraInfo values (1, 'S1', NULL), (2, NULL, 'old')"});
    EXPECT_EQ(m_store.UpdateVersionTo2(), 1);
    EXPECT_EQ(Query("select Media from LiteraInfo order by pkid"), (Rows{{"S1"}, {"<null>"}}));
    EXPECT_EQ(Version(), 2);

    Layout(1, {"drop table LiteraInfo", "create table LiteraInfo (pkid integer primary key, Source text)"});
    EXPECT_THROW(m_store.UpdateVersionTo2(), CSqliteException);
    EXPECT_EQ(Version(), 1);
}

TEST_F(UpgradeStepsTest, Step3RebuildsLiteraInfoIntoTheKeptColumns)
{
    // The older layout: the kept columns (flags with their defaults) between two that go.
    const std::set<std::string> flags = {"IsSubscibe", "Recycle",      "IsDownload",    "ReadStatus",
                                         "Classified", "IsRead",       "IsGetAuthors",  "IsHaveAdjunct",
                                         "IsHaveContent", "ImportantDegree"};
    std::string create = "create table LiteraInfo (Meeting text";
    for (const std::string& name : RebuiltLiteraInfoColumns()) {
        const char* declaration = name == "pkid" ? " integer primary key"
                                  : name == "DataType" ? " integer default 5"
                                  : flags.count(name) != 0 ? " integer default 0"
                                                           : " text";
        create += "," + name + declaration;
    }
    Layout(2, {});
    Run(create + ", LastReadPage text)");
    Run("insert into LiteraInfo (pkid, DOI, Title, Tav, NoteSets, City, Meeting, LastReadPage) "
        "values (5, '10.1/a', '标题', 'tav1', '<NoteSet/>', 'Beijing', 'M', '12')");
    Run("insert into LiteraInfo (pkid, DOI, DataType) values (6, '10.1/b', 4)");

    EXPECT_EQ(m_store.UpdateVersionTo3(), 1);

    EXPECT_EQ(Columns("LiteraInfo"), RebuiltLiteraInfoColumns());
    EXPECT_EQ(Columns("LiteraInfo")[85], "Tav");
    EXPECT_EQ(Query("select pkid, DOI, Title, Tav, NoteSets, City, DataType from LiteraInfo order by pkid"),
              (Rows{{"5", "10.1/a", "标题", "tav1", "<NoteSet/>", "Beijing", "5"},
                    {"6", "10.1/b", "<null>", "<null>", "<null>", "<null>", "4"}}));
    const Rows declared = Query("select sql from sqlite_master where name = 'LiteraInfo'");
    ASSERT_EQ(declared.size(), 1u);
    EXPECT_NE(declared[0][0].find("DOI text not null UNIQUE"), std::string::npos);
    EXPECT_NE(declared[0][0].find("DataType integer Default 5 not null"), std::string::npos);
    EXPECT_NE(declared[0][0].find("DocExt varchar(255) null"), std::string::npos);
    EXPECT_EQ(Query("select name from sqlite_master where type = 'index' and tbl_name = 'LiteraInfo' and sql is not null"),
              (Rows{{"DOIIndex"}}));
    EXPECT_FALSE(HasTable("LiteraInfo_Temp"));
    EXPECT_EQ(Version(), 3);
}

TEST_F(UpgradeStepsTest, Step3AfterTheCreationPassChangesNothing)
{
    Layout(2, {"create table LiteraInfo (pkid integer primary key, DOI text, Meeting text)",
               "insert into LiteraInfo values (1, '10.1/a', 'M')",
               "create table LiteraInfo_Temp (pkid integer primary key)"});
    EXPECT_EQ(m_store.UpdateVersionTo3(), 0);
    EXPECT_EQ(Columns("LiteraInfo"), (std::vector<std::string>{"pkid", "DOI", "Meeting"}));
    EXPECT_EQ(Scalar("select count(*) from LiteraInfo"), 1);
    EXPECT_EQ(Columns("LiteraInfo_Temp"), (std::vector<std::string>{"pkid"}));
    EXPECT_EQ(Version(), 2);
}

TEST_F(UpgradeStepsTest, Step4AddsLastReadPageOnlyWhenMissing)
{
    Layout(3, {"create table LiteraInfo (pkid integer primary key)"});
    EXPECT_EQ(m_store.UpdateVersionTo4(), 1);
    EXPECT_TRUE(HasColumn("LiteraInfo", "LastReadPage"));
    EXPECT_EQ(Version(), 4);

    Layout(3, {});
    EXPECT_EQ(m_store.UpdateVersionTo4(), 1); // present: nothing added, no error
    EXPECT_EQ(Version(), 4);
}

TEST_F(UpgradeStepsTest, Step5LinksNotesToTheirTypesAndAddsTheNoteColumns)
{
    Layout(4, {"create table LiteraInfo (pkid integer primary key)",
               "create table NoteContent (ID Integer primary key, TypeID Integer, PosID Text UNIQUE)",
               "insert into NoteContent values (1, 2, 'p1'), (2, 3, 'p2')"});
    EXPECT_EQ(m_store.UpdateVersionTo5(), 1);
    EXPECT_TRUE(HasColumn("LiteraInfo", "LCID"));
    EXPECT_EQ(Query("select LabelID, NoteID from NoteLabel order by NoteID"), (Rows{{"2", "p1"}, {"3", "p2"}}));
    EXPECT_TRUE(HasColumn("NoteContent", "Adjunct"));
    EXPECT_TRUE(HasColumn("NoteContent", "Path"));
    EXPECT_EQ(Version(), 5);
}

TEST_F(UpgradeStepsTest, Step5WithPathButNoAdjunctStopsBeforeItsVersion)
{
    Layout(4, {"create table LiteraInfo (pkid integer primary key)",
               "create table NoteContent (ID Integer primary key, TypeID Integer, PosID Text UNIQUE, Path text)",
               "insert into NoteContent values (1, 2, 'p1', NULL)"});
    EXPECT_EQ(m_store.UpdateVersionTo5(), 0);
    EXPECT_TRUE(HasColumn("NoteContent", "Adjunct"));
    EXPECT_TRUE(HasColumn("LiteraInfo", "LCID"));
    EXPECT_EQ(Scalar("select count(*) from NoteLabel"), 1);
    EXPECT_EQ(Version(), 4);
}

TEST_F(UpgradeStepsTest, Step5FailureThroughTheDriverKeepsWhatTheStepDidBefore)
{
    Layout(4, {"create table LiteraInfo (pkid integer primary key)",
               "create table NoteContent (ID Integer primary key, TypeID Integer, PosID Text UNIQUE, Path text)",
               "insert into NoteContent values (1, 2, 'p1', NULL)"});
    m_store.KeepOnlyRealStep(3);
    m_store.UpdateVersion();
    // Seen through another connection once the driver is back: the step's earlier work is committed.
    EXPECT_TRUE(HasColumn("LiteraInfo", "LCID"));
    EXPECT_TRUE(HasColumn("NoteContent", "Adjunct"));
    EXPECT_EQ(Query("select LabelID, NoteID from NoteLabel"), (Rows{{"2", "p1"}}));
    EXPECT_EQ(Version(), 15); // 4, then eleven stand-ins after the failed step
}

TEST_F(UpgradeStepsTest, Step6TurnsNoteTypesIntoLabelsAndRebuildsTheSortTables)
{
    Layout(5, {"create table NoteContent (ID Integer primary key, TypeID Integer, PosID Text UNIQUE, Title Text)",
               "insert into NoteContent (ID, TypeID, PosID) values (1, 1, 'p1'), (2, 2, 'p2'), (3, 9, 'p3')",
               "create table NoteType (ID Integer primary key, Type Text UNIQUE, TypeRemarks Text)",
               "insert into NoteType (Type) values ('知识点'), ('注释'), ('问题'), ('读后感')",
               "create table NoteLabel (LabelID Integer not null, NoteID Text not null)",
               "create table Label (LabelID Integer primary key, LabelText Text)",
               "insert into Label values (1, 'old')",
               "create table NoteSort (ID Integer primary key, Type Integer not null, SortID Integer, NodeText Text)",
               "insert into NoteSort (Type, SortID, NodeText) values (99, 99, 'stale')"});

    EXPECT_EQ(m_store.UpdateVersionTo6(), 1);

    for (const char* column : {"Source", "Importance", "Location", "ContentText"})
        EXPECT_TRUE(HasColumn("NoteContent", column)) << column;
    EXPECT_EQ(Query("select Location from NoteContent order by ID"), (Rows{{"2"}, {"3"}, {"4"}}));
    EXPECT_FALSE(HasTable("NoteLabel"));
    EXPECT_TRUE(HasTable("NoteRelation"));
    EXPECT_TRUE(HasColumn("Label", "NoteGuid")); // the current Label layout
    EXPECT_EQ(Query("select LabelText, NoteID from Label order by NoteID"), (Rows{{"知识点", "p1"}, {"注释", "p2"}}));
    EXPECT_EQ(Scalar("select count(*) from NoteSort where NodeText = 'stale'"), 0);
    Rows labelNodes = Query("select NodeText from NoteSort where Type = 6");
    std::sort(labelNodes.begin(), labelNodes.end());
    EXPECT_EQ(labelNodes, (Rows{{"注释"}, {"知识点"}}));
    EXPECT_EQ(Scalar("select count(*) from NoteSort"), 10);
    EXPECT_EQ(Query("select ID, Type from SortType order by ID"),
              (Rows{{"1", "笔记标题"}, {"2", "笔记上次学习时间"}, {"3", "笔记创建时间"}, {"4", "按空间位置"}}));
    EXPECT_EQ(Version(), 6);
}

TEST_F(UpgradeStepsTest, Step7AddsTrashDownloadsAndLockedAndResetsSortTypes)
{
    Layout(6, {"create table LiteraInfo (pkid integer primary key)", "insert into LiteraInfo values (1)",
               "create table SortType (ID Integer primary key, Type Text UNIQUE)",
               "insert into SortType values (1, '笔记标题')"});
    EXPECT_EQ(m_store.UpdateVersionTo7(), 1);
    EXPECT_EQ(Columns("Trash"),
              (std::vector<std::string>{"ID", "Path", "pkid", "DOI", "IsDoc", "ParentID", "DelTime"}));
    EXPECT_TRUE(HasTable("DownInfo"));
    EXPECT_EQ(Query("select Locked from LiteraInfo"), (Rows{{"0"}}));
    EXPECT_EQ(Query("select ID, Type from SortType order by ID"),
              (Rows{{"0", "笔记标题"}, {"1", "笔记上次学习时间"}, {"2", "笔记创建时间"}, {"3", "按空间位置"}, {"4", "按文献标题"}}));
    EXPECT_EQ(Version(), 7);
}

TEST_F(UpgradeStepsTest, Step7AfterTheCreationPassChangesNothing)
{
    Layout(6, {"create table LiteraInfo (pkid integer primary key)",
               "create table SortType (ID Integer primary key, Type Text UNIQUE)",
               "insert into SortType values (1, '笔记标题')",
               "CREATE TABLE Trash (ID Integer primary key, FolderId Integer)"});
    EXPECT_EQ(m_store.UpdateVersionTo7(), 0);
    EXPECT_FALSE(HasTable("DownInfo"));
    EXPECT_FALSE(HasColumn("LiteraInfo", "Locked"));
    EXPECT_EQ(Query("select ID from SortType"), (Rows{{"1"}}));
    EXPECT_EQ(Version(), 6);
}

TEST_F(UpgradeStepsTest, Steps8To11OnlyWriteTheirVersionStep9AlsoMakesThePushTables)
{
    Layout(7, {});
    EXPECT_EQ(m_store.UpdateVersionTo8(), 1);
    EXPECT_EQ(Version(), 8);
    EXPECT_EQ(m_store.UpdateVersionTo9(), 1);
    EXPECT_EQ(Version(), 9);
    for (const char* table : {"PushLiteraInfo", "PushRelation", "PushItem"})
        EXPECT_TRUE(HasTable(table)) << table;
    EXPECT_EQ(m_store.UpdateVersionTo10(), 1);
    EXPECT_EQ(Version(), 10);
    EXPECT_EQ(m_store.UpdateVersionTo11(), 1);
    EXPECT_EQ(Version(), 11);
}

TEST_F(UpgradeStepsTest, Step12CopiesTheReadingStateAndAddsTheVersionColumns)
{
    Layout(11, {"create table Trash (ID Integer primary key, Path text)",
                "create table LiteraInfo (pkid integer primary key, Locked integer, LastReadPage text, NoteSets text, "
                "Remark text, Adjunct text, LastReadTime text, IsRead bit)",
                "insert into LiteraInfo values (1, 1, '12', '<NoteSet/>', 'r', 'adj', '2017-06-06 09:44:59', 1)",
                "insert into LiteraInfo (pkid, IsRead) values (2, 0)"});
    m_store.SetProgress(3, 30);

    EXPECT_EQ(m_store.UpdateVersionTo12(), 1);

    EXPECT_TRUE(HasColumn("Trash", "FolderId"));
    EXPECT_EQ(Query("select * from LiteraRelate order by pkid"),
              (Rows{{"1", "<null>", "1", "12", "<NoteSet/>", "r", "adj", "2017-06-06 09:44:59", "1"},
                    {"2", "<null>", "<null>", "<null>", "<null>", "<null>", "<null>", "<null>", "0"}}));
    EXPECT_TRUE(HasColumn("VersionInfo", "UserKey"));
    EXPECT_TRUE(HasColumn("VersionInfo", "FileType"));
    EXPECT_EQ(m_store.lines, (std::vector<Line>{{3, 30, u"创建题录附件信息表"},
                                                {3, 30, u"更新题录附件信息表"},
                                                {3, 30, u"更新学习单元版本信息表"},
                                                {3, 30, u"更新学习单元版本信息表"}}));
    EXPECT_EQ(Version(), 12);
}

TEST_F(UpgradeStepsTest, Step12StopsAtAFailedCopyBeforeTheVersionColumns)
{
    struct Case {
        const char* name;
        std::initializer_list<const char*> layout;
        std::vector<Line> lines;
        int32_t relateRows;
    };
    const Case cases[] = {
        {"LiteraInfo without Locked",
         {"create table LiteraInfo (pkid integer primary key, LastReadPage text, NoteSets text, Remark text, "
          "Adjunct text, LastReadTime text, IsRead bit)"},
         {{0, 25, u"创建题录附件信息表"}, {0, 25, u"更新题录附件信息表"}},
         0},
        {"LiteraRelate already holding a row",
         {"create table LiteraInfo (pkid integer primary key, Locked integer, LastReadPage text, NoteSets text, "
          "Remark text, Adjunct text, LastReadTime text, IsRead bit)",
          "create table LiteraRelate (pkid Integer primary key, ReadingProgress Integer null, Locked Integer null, "
          "LastReadPos VARCHAR null, MarkPos VARCHAR null, Remark VARCHAR null, Adjunct VARCHAR null, "
          "LastReadTime VARCHAR null, IsRead bit Default 0 not null)",
          "insert into LiteraRelate (pkid, Remark) values (2, 'kept')"},
         {{0, 25, u"更新题录附件信息表"}},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* table : {"LiteraInfo", "LiteraRelate", "Trash"})
            Run(std::string("drop table if exists ") + table);
        Run("create table Trash (ID Integer primary key)");
        Layout(11, c.layout);
        Run("insert into LiteraInfo (pkid, IsRead) values (1, 0), (2, 0)");
        m_store.lines.clear();
        m_store.SetProgress(0, 25);

        EXPECT_EQ(m_store.UpdateVersionTo12(), 0);

        EXPECT_TRUE(HasColumn("Trash", "FolderId"));
        EXPECT_EQ(Scalar("select count(*) from LiteraRelate"), c.relateRows);
        EXPECT_FALSE(HasColumn("VersionInfo", "UserKey"));
        EXPECT_FALSE(HasColumn("VersionInfo", "FileType"));
        EXPECT_EQ(m_store.lines, c.lines);
        EXPECT_EQ(Version(), 11);
    }
}

TEST_F(UpgradeStepsTest, Steps3To12LogTheirErrorsUnderTheirOwnNames)
{
    // No VersionInfo and no other table: every step fails somewhere.
    Run("drop table VersionInfo");
    using Step = int (CTavDB::*)();
    const std::pair<Step, const char*> steps[] = {
        {&CTavDB::UpdateVersionTo3, "CTavDB::UpdateVersionTo3"},   {&CTavDB::UpdateVersionTo4, "CTavDB::UpdateVersionTo4"},
        {&CTavDB::UpdateVersionTo5, "CTavDB::UpdateVersionTo5"},   {&CTavDB::UpdateVersionTo6, "CTavDB::UpdateVersionTo6"},
        {&CTavDB::UpdateVersionTo7, "CTavDB::UpdateVersionTo7"},   {&CTavDB::UpdateVersionTo8, "CTavDB::UpdateVersionTo8"},
        {&CTavDB::UpdateVersionTo9, "CTavDB::UpdateVersionTo9"},   {&CTavDB::UpdateVersionTo10, "CTavDB::UpdateVersionTo10"},
        {&CTavDB::UpdateVersionTo11, "CTavDB::UpdateVersionTo11"}, {&CTavDB::UpdateVersionTo12, "CTavDB::UpdateVersionTo12"},
    };
    for (const auto& [step, name] : steps) {
        SCOPED_TRACE(name);
        SetLastErrorCode(0);
        EXPECT_EQ((m_store.*step)(), 0);
        EXPECT_EQ(GetLastErrorCode(), static_cast<uint32_t>(kTavSqliteError));
        const std::string log = LogText();
        const size_t at = log.rfind(std::string(name) + ",");
        ASSERT_NE(at, std::string::npos);
        const std::string line = log.substr(log.rfind('\n', at) + 1, log.find('\n', at) - log.rfind('\n', at) - 1);
        EXPECT_NE(line.find("Error TavDB(" + std::string(name) + ", "), std::string::npos) << line;
    }
}

} // namespace
