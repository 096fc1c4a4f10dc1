// Upgrade steps to versions 13 to 16, each run on its own on a unit of the version before it,
// and the operations they use (CreateFolder, GetLiterGuidByDOI, GetPkidByDOI).
#include "builder/UnitBuilder.h"
#include "store/StoreCodes.h"
#include "store/TavDB.h"
#include "support/LastError.h"
#include "support/Log.h"
#include "support/TextConvert.h"
#include "xml/XmlDoc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testkit::U16;
using testkit::U8;

namespace {

constexpr int32_t kStep = 3;
constexpr int32_t kTotal = 25;
const std::u16string kCancel = u"导入学习单元取消";

struct Line {
    int32_t position;
    int32_t maximum;
    std::u16string text;
    bool operator==(const Line&) const = default;
};

void PrintTo(const Line& line, std::ostream* out)
{
    *out << "(" << line.position << ", " << line.maximum << ", " << U8(line.text) << ")";
}

Line At(const std::u16string& text) { return {kStep, kTotal, text}; }

// A store on an already built unit, with its progress lines recorded.
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
            lines.push_back({position, maximum, text});
            if (onLine)
                onLine(text);
            return 0;
        };
    }
    std::vector<Line> lines;
    std::function<void(const std::u16string&)> onLine;
};

std::string LogText()
{
    CxLog::Instance().Flush();
    std::ifstream in(fs::path(WideToUtf8(CxLog::Instance().LastLogFilePath())), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool IsGuid(const std::u16string& text)
{
    return text.size() == 32 &&
           std::all_of(text.begin(), text.end(), [](char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'); });
}

class Steps13To16Test : public ::testing::Test {
protected:
    void SetUp() override { g_cancelFlag.store(0); }
    void TearDown() override { g_cancelFlag.store(0); }

    fs::path Build(const testkit::UnitSpec& spec)
    {
        const fs::path unit = m_dir.Path() / "unit.tav";
        testkit::BuildUnit(unit, spec);
        return unit;
    }
    std::vector<testkit::TextRow> Rows(const fs::path& unit, const std::string& sql)
    {
        testkit::UnitReader reader(unit);
        return reader.QueryText(sql);
    }
    int64_t Count(const fs::path& unit, const std::string& sql)
    {
        testkit::UnitReader reader(unit);
        return reader.ScalarInt(sql);
    }
    int64_t Version(const fs::path& unit) { return Count(unit, "select VersionNum from VersionInfo where ID = 1"); }
    void Execute(const fs::path& unit, const std::string& sql)
    {
        testkit::UnitReader reader(unit);
        reader.Execute(sql);
    }

    testkit::ScopedHomeEnv m_home;
    testkit::TempDir m_dir;
};

// ---- Step 13: web pages become literature ----

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

TEST_F(Steps13To16Test, Step13MovesWebPagesIntoLiteratureAndRecycleBin)
{
    const fs::path unit = Build(WebPagesAt12());
    StepStore store(unit);
    EXPECT_EQ(store.UpdateVersionTo13(), 1);

    const std::vector<Line> expected = {
        At(u"更新题录附件信息表时间字段"), At(u"更新题录附件信息表类型字段"), At(u"更新网页资料信息表"),
        At(u"创建网页资料文献夹"),         At(u"获取网页回收站信息:1"),       At(u"更新网页回收站信息:1"),
        At(u"更新网页回收站信息:2"),
    };
    EXPECT_EQ(store.lines, expected);

    const auto pages = Rows(unit, "select pkid, DataType, Title, Author, Link, FilePath, LastReadTime, DOI from "
                                  "LiteraInfo where pkid > 100 order by pkid");
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0][0], u"101");
    EXPECT_EQ(pages[1][0], u"102");
    EXPECT_EQ(pages[0][1], u"6");
    EXPECT_EQ(pages[0][2], u"Page three");
    EXPECT_EQ(pages[0][3], u"Ann");
    EXPECT_EQ(pages[0][4], u"http://x/3");
    EXPECT_EQ(pages[0][5], u"D:\\w\\3.html");
    EXPECT_EQ(pages[0][6], u"2017-06-07 10:00:00");
    EXPECT_TRUE(IsGuid(pages[0][7]));
    EXPECT_TRUE(IsGuid(pages[1][7]));
    EXPECT_NE(pages[0][7], pages[1][7]);

    const auto relate = Rows(unit, "select pkid, FileType, CreateTime, LastReadTime from LiteraRelate order by pkid");
    ASSERT_EQ(relate.size(), 3u);
    // The literature that was there gets FileType 0 and a creation time of now.
    EXPECT_EQ(relate[0][1], u"0");
    EXPECT_FALSE(relate[0][2].empty());
    EXPECT_EQ(relate[1], (testkit::TextRow{u"101", u"1", u"2017-06-06 09:44:59", u"2017-06-07 10:00:00"}));
    EXPECT_EQ(relate[2], (testkit::TextRow{u"102", u"1", u"2017-06-08 09:00:00", u"2017-06-09 10:00:00"}));

    const auto folder = Rows(unit, "select CategoryId, ParentID, IsModify, CategoryGuid from Category where Name = '网页资料'");
    ASSERT_EQ(folder.size(), 1u);
    EXPECT_EQ(folder[0][1], u"0");
    EXPECT_EQ(folder[0][2], u"1");
    EXPECT_TRUE(IsGuid(folder[0][3]));
    // The page still alive is filed in the new folder; the recycled one goes to the recycle bin.
    EXPECT_EQ(Rows(unit, "select pkid from CategoryLitera where CategoryId = " + U8(folder[0][0])),
              (std::vector<testkit::TextRow>{{u"101"}}));
    const auto trash = Rows(unit, "select Path, IsDoc, ParentID, DelTime, DOI from Trash where pkid = 102");
    ASSERT_EQ(trash.size(), 1u);
    EXPECT_EQ(trash[0], (testkit::TextRow{u"网页资料\\", u"1", u"0", u"2017-07-01 12:00:00", pages[1][7]}));

    EXPECT_EQ(Count(unit, "select count(*) from WebPage_Info"), 2);
    EXPECT_EQ(Count(unit, "select count(*) from WebPage_Trash"), 0);
    EXPECT_EQ(Version(unit), 13);
}

TEST_F(Steps13To16Test, Step13WithoutWebPagesMakesNoFolder)
{
    testkit::UnitSpec spec = WebPagesAt12();
    spec.webPages.clear();
    const fs::path unit = Build(spec);
    Execute(unit, "insert into WebPage_Trash(ID, pkid, DelTime) values (1, 99, 'x')");
    StepStore store(unit);
    EXPECT_EQ(store.UpdateVersionTo13(), 1);
    EXPECT_EQ(Count(unit, "select count(*) from Category where Name like '网页资料%'"), 0);
    EXPECT_EQ(Count(unit, "select count(*) from WebPage_Trash"), 0);
    EXPECT_EQ(Count(unit, "select count(*) from LiteraInfo"), 1);
    EXPECT_EQ(Version(unit), 13);
}

TEST_F(Steps13To16Test, Step13CarriesApostrophesAndSameTitlesUnchanged)
{
    testkit::UnitSpec spec = WebPagesAt12();
    spec.webPages = {
        {.pkid = 1, .title = u"Bob's \"page\"", .author = u"O'Neil", .link = u"http://x/?q='1'",
         .filePath = u"C:\\it's\\p.html", .createTime = u"6 o'clock", .lastReadTime = u"it's late"},
        // Same title, saved in the same second: still two literature items with their own DOI.
        {.pkid = 2, .title = u"Bob's \"page\"", .createTime = u"t2", .lastReadTime = u"t2", .recycled = true,
         .delTime = u"o'clock"},
    };
    const fs::path unit = Build(spec);
    StepStore store(unit);
    EXPECT_EQ(store.UpdateVersionTo13(), 1);

    const auto pages = Rows(unit, "select Title, Author, Link, FilePath, LastReadTime, DOI from LiteraInfo where "
                                  "DataType = 6 order by pkid");
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0], (testkit::TextRow{u"Bob's \"page\"", u"O'Neil", u"http://x/?q='1'", u"C:\\it's\\p.html",
                                          u"it's late", pages[0][5]}));
    EXPECT_NE(pages[0][5], pages[1][5]);
    EXPECT_EQ(Rows(unit, "select CreateTime, LastReadTime from LiteraRelate where pkid = 101"),
              (std::vector<testkit::TextRow>{{u"6 o'clock", u"it's late"}}));
    EXPECT_EQ(Rows(unit, "select DelTime from Trash where pkid = 102"), (std::vector<testkit::TextRow>{{u"o'clock"}}));
    EXPECT_EQ(Version(unit), 13);
}

TEST_F(Steps13To16Test, Step13CancelledUndoesItsWorkAndRunsWholeAgain)
{
    const fs::path unit = Build(WebPagesAt12());
    {
        StepStore store(unit);
        store.onLine = [](const std::u16string& text) {
            if (text == u"更新网页回收站信息:2")
                g_cancelFlag.store(1);
        };
        EXPECT_EQ(store.UpdateVersionTo13(), 0);
        ASSERT_FALSE(store.lines.empty());
        EXPECT_EQ(store.lines.back(), (Line{kTotal, kTotal, kCancel}));
    }
    EXPECT_EQ(Version(unit), 12);
    EXPECT_EQ(Count(unit, "select count(*) from LiteraInfo"), 1);
    EXPECT_EQ(Count(unit, "select count(*) from Category where Name like '网页资料%'"), 0);
    EXPECT_EQ(Count(unit, "select count(*) from WebPage_Trash"), 1);

    g_cancelFlag.store(0);
    StepStore again(unit);
    EXPECT_EQ(again.UpdateVersionTo13(), 1);
    EXPECT_EQ(Count(unit, "select count(*) from LiteraInfo where DataType = 6"), 2);
    EXPECT_EQ(Count(unit, "select count(*) from Category where Name like '网页资料%'"), 1);
    EXPECT_EQ(Version(unit), 13);
}

TEST_F(Steps13To16Test, Step13ErrorsBeforeTheWebPagesReachTheCaller)
{
    const fs::path unit = Build(WebPagesAt12());
    Execute(unit, "drop table LiteraRelate");
    StepStore store(unit);
    EXPECT_THROW(store.UpdateVersionTo13(), CSqliteException);
    EXPECT_EQ(Version(unit), 12);

    // Through the driver: no later step and no folder update run.
    StepStore driven(unit);
    EXPECT_THROW(driven.UpdateVersion(), CSqliteException);
    EXPECT_EQ(Version(unit), 12);
    EXPECT_EQ(driven.lines.back().text, u"更新题录附件信息表时间字段");
    for (const Line& line : driven.lines)
        EXPECT_NE(line.text, u"更新文献夹信息");
}

TEST_F(Steps13To16Test, Step13ErrorInTheWebPagesIsCaught)
{
    const fs::path unit = Build(WebPagesAt12());
    Execute(unit, "drop table WebPage_Trash");
    StepStore store(unit);
    SetLastErrorCode(0);
    EXPECT_EQ(store.UpdateVersionTo13(), 0);
    EXPECT_EQ(GetLastErrorCode(), static_cast<uint32_t>(kTavSqliteError));
    EXPECT_EQ(Version(unit), 12);
    EXPECT_EQ(Count(unit, "select count(*) from LiteraInfo where DataType = 6"), 0);
    const std::string log = LogText();
    const size_t at = log.find("CTavDB::UpdateVersionTo13");
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_NE(log.find("no such table: WebPage_Trash", at), std::string::npos) << log;
}

TEST_F(Steps13To16Test, CreateFolderTakesTheFirstFreeName)
{
    testkit::UnitSpec spec = WebPagesAt12();
    spec.folders = {{.id = 1, .name = u"网页资料"}, {.id = 2, .name = u"网页资料_1"}, {.id = 3, .name = u"网页资料_3"}};
    spec.literature.clear();
    const fs::path unit = Build(spec);
    StepStore store(unit);
    const int32_t id = store.CreateFolder();
    EXPECT_GT(id, 3);
    const auto rows = Rows(unit, "select Name, ParentID, IsModify, CategoryGuid from Category where CategoryId = " +
                                     std::to_string(id));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], u"网页资料_2");
    EXPECT_EQ(rows[0][1], u"0");
    EXPECT_EQ(rows[0][2], u"1");
    EXPECT_TRUE(IsGuid(rows[0][3]));
}

// ---- Step 14: GUIDs ----

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

TEST_F(Steps13To16Test, Step14GivesEveryRowAGuidAndCopiesThem)
{
    const fs::path unit = Build(WithoutGuidsAt13());
    Execute(unit, "insert into Trash(ID, Path, pkid, IsDoc, ParentID) values (50, 'a', 0, 0, 0), (51, 'b', 0, 0, 50), "
                  "(52, 'c', 0, 0, 50), (53, 'd', 0, 0, 77), (54, 'e', 0, 0, 77)");
    // Children of a folder that is gone: their parent has no GUID to give.
    Execute(unit, "insert into Category(CategoryId, Name, ParentID) values (20, 'o1', 99), (21, 'o2', 99)");
    StepStore store(unit);
    EXPECT_EQ(store.UpdateVersionTo14(), 1);
    EXPECT_EQ(Version(unit), 14);

    std::set<std::u16string> guids;
    auto expectGuid = [&guids](const std::u16string& guid) {
        EXPECT_TRUE(IsGuid(guid)) << U8(guid);
        EXPECT_TRUE(guids.insert(guid).second) << "GUID given twice: " << U8(guid);
    };
    const auto folders = Rows(unit, "select CategoryId, CategoryGuid, ParentGuid from Category order by CategoryId");
    for (const auto& row : folders)
        expectGuid(row[1]);
    const auto parentGuid = Rows(unit, "select CategoryGuid from Category where CategoryId = 5")[0][0];
    EXPECT_EQ(Count(unit, "select count(*) from Category where ParentID = 5 and ParentGuid = '" + U8(parentGuid) + "'"), 2);
    // Both children of folder 5 are served by one update; a child of a missing parent still has
    // an empty ParentGuid when its row is read, so each of them is taken up.
    EXPECT_EQ(std::count(store.lines.begin(), store.lines.end(), At(u"更新文献夹信息表父ID：5")), 1);
    EXPECT_EQ(std::count(store.lines.begin(), store.lines.end(), At(u"更新文献夹信息表父ID：99")), 2);

    const auto literature = Rows(unit, "select pkid, LiterGuid from LiteraInfo order by pkid");
    for (const auto& row : literature)
        expectGuid(row[1]);
    EXPECT_EQ(Count(unit, "select count(*) from CategoryLitera c join LiteraInfo l on c.pkid = l.pkid join Category f on "
                          "f.CategoryId = c.CategoryId where c.LiterGuid = l.LiterGuid and c.CategoryGuid = f.CategoryGuid"),
              Count(unit, "select count(*) from CategoryLitera"));
    EXPECT_EQ(Count(unit, "select count(*) from LiteraRelate r join LiteraInfo l on r.pkid = l.pkid where r.LiterGuid = "
                          "l.LiterGuid"),
              2);
    EXPECT_EQ(Rows(unit, "select LiterGuid from DownInfo")[0][0], literature[0][1]);

    const auto note = Rows(unit, "select NoteGuid, LiterGuid from NoteContent");
    ASSERT_EQ(note.size(), 1u);
    expectGuid(note[0][0]);
    EXPECT_EQ(note[0][1], literature[0][1]); // found through a DOI with an apostrophe
    EXPECT_EQ(Rows(unit, "select NoteGuid from Label")[0][0], note[0][0]);

    const auto trash = Rows(unit, "select ID, TrashGuid, TrashParentGuid, pkid, LiterGuid from Trash order by ID");
    std::u16string trashParent;
    for (const auto& row : trash) {
        expectGuid(row[1]);
        if (row[0] == u"50")
            trashParent = row[1];
        if (row[3] == u"2") {
            EXPECT_EQ(row[4], literature[1][1]);
        }
    }
    EXPECT_EQ(Count(unit, "select count(*) from Trash where ParentID = 50 and TrashParentGuid = '" + U8(trashParent) + "'"), 2);
    EXPECT_EQ(std::count(store.lines.begin(), store.lines.end(), At(u"更新资料回收站信息表父ID：50")), 1);
    EXPECT_EQ(std::count(store.lines.begin(), store.lines.end(), At(u"更新资料回收站信息表父ID：77")), 2);

    for (const Line& line : store.lines)
        EXPECT_EQ(line.position * 1000 + line.maximum, kStep * 1000 + kTotal) << U8(line.text);
    EXPECT_EQ(store.lines.front(), At(u"更新文献夹信息表"));
    EXPECT_NE(std::find(store.lines.begin(), store.lines.end(), At(u"更新文献信息表ID：1")), store.lines.end());
    EXPECT_NE(std::find(store.lines.begin(), store.lines.end(), At(u"更新笔记信息表文献ID：1")), store.lines.end());
}

TEST_F(Steps13To16Test, Step14RunAgainKeepsEveryGuid)
{
    const fs::path unit = Build(WithoutGuidsAt13());
    { StepStore(unit).UpdateVersionTo14(); }
    const std::string all = "select CategoryGuid from Category union all select LiterGuid from LiteraInfo union all "
                            "select NoteGuid from NoteContent union all select TrashGuid from Trash";
    const auto before = Rows(unit, all);
    Execute(unit, "update VersionInfo set VersionNum = 13");
    StepStore store(unit);
    EXPECT_EQ(store.UpdateVersionTo14(), 1);
    EXPECT_EQ(Rows(unit, all), before);
    // Only the section lines: no row needed a change.
    const std::vector<Line> expected = {At(u"更新文献夹信息表"), At(u"更新文献信息表"), At(u"更新文献夹与文献关联表"),
                                        At(u"更新题录附件信息表"), At(u"更新下载信息表"), At(u"更新笔记信息表"),
                                        At(u"更新笔记标签信息表"), At(u"更新资料回收站信息表")};
    EXPECT_EQ(store.lines, expected);
}

TEST_F(Steps13To16Test, Step14CancelledLeavesNoGuidBehind)
{
    const fs::path unit = Build(WithoutGuidsAt13());
    StepStore store(unit);
    store.onLine = [](const std::u16string& text) {
        if (text == u"更新文献信息表ID：2")
            g_cancelFlag.store(1);
    };
    EXPECT_EQ(store.UpdateVersionTo14(), 0);
    EXPECT_EQ(store.lines.back(), (Line{kTotal, kTotal, kCancel}));
    EXPECT_EQ(Version(unit), 13);
    testkit::UnitReader reader(unit);
    EXPECT_FALSE(reader.HasColumn("Category", "CategoryGuid"));
    EXPECT_FALSE(reader.HasColumn("LiteraInfo", "LiterGuid"));
}

TEST_F(Steps13To16Test, Step14SectionErrorEndsTheStepButItsVersionErrorEscapes)
{
    const fs::path unit = Build(WithoutGuidsAt13());
    Execute(unit, "drop table Label");
    {
        StepStore store(unit);
        EXPECT_EQ(store.UpdateVersionTo14(), 0);
        EXPECT_EQ(store.lines.back(), At(u"更新笔记标签信息表"));
    }
    EXPECT_EQ(Version(unit), 13);
    // The sections before the failing one stay done.
    EXPECT_EQ(Count(unit, "select count(*) from NoteContent where length(NoteGuid) = 32"), 1);
    const std::string log = LogText();
    const size_t at = log.find("CTavDB::UpdateVersionTo14");
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_NE(log.find("no such table: Label", at), std::string::npos) << log;

    const fs::path other = m_dir.Path() / "other.tav";
    testkit::BuildUnit(other, WithoutGuidsAt13());
    Execute(other, "drop table VersionInfo");
    StepStore broken(other);
    EXPECT_THROW(broken.UpdateVersionTo14(), CSqliteException);
}

TEST_F(Steps13To16Test, LiterGuidByDoiIsMadeOnceAndWrittenEverywhere)
{
    for (const int32_t version : {13, 16}) {
        testkit::UnitSpec spec = WithoutGuidsAt13();
        spec.version = version;
        const fs::path unit = m_dir.Path() / ("doi" + std::to_string(version) + ".tav");
        testkit::BuildUnit(unit, spec);
        for (const char* table : {"LiteraInfo", "CategoryLitera", "DownInfo", "LiteraRelate", "NoteContent", "Trash"}) {
            testkit::UnitReader reader(unit);
            if (!reader.HasColumn(table, "LiterGuid"))
                reader.Execute(std::string("alter table ") + table + " add column LiterGuid Text");
            reader.Execute(std::string("update ") + table + " set LiterGuid = ''");
        }
        Execute(unit, "update Trash set DOI = '10.1/it''s' where pkid = 2");
        StepStore store(unit);
        const std::u16string guid = store.GetLiterGuidByDOI(u"10.1/it's");
        ASSERT_TRUE(IsGuid(guid)) << "version " << version;
        const std::string g = U8(guid);
        EXPECT_EQ(Count(unit, "select count(*) from LiteraInfo where pkid = 1 and LiterGuid = '" + g + "'"), 1);
        EXPECT_EQ(Count(unit, "select count(*) from CategoryLitera where pkid = 1 and LiterGuid = '" + g + "'"), 1);
        EXPECT_EQ(Count(unit, "select count(*) from DownInfo where LiterGuid = '" + g + "'"), 1);
        EXPECT_EQ(Count(unit, "select count(*) from LiteraRelate where pkid = 1 and LiterGuid = '" + g + "'"), 1);
        EXPECT_EQ(Count(unit, "select count(*) from NoteContent where LiterGuid = '" + g + "'"), 1);
        EXPECT_EQ(Count(unit, "select count(*) from Trash where LiterGuid = '" + g + "'"), 1);
        EXPECT_EQ(Count(unit, "select count(*) from LiteraInfo where LiterGuid = '" + g + "'"), 1);
        EXPECT_EQ(store.GetLiterGuidByDOI(u"10.1/it's"), guid);
        EXPECT_EQ(store.GetPkidByDOI(u"10.1/it's"), 1);

        SetLastErrorCode(0);
        EXPECT_EQ(store.GetLiterGuidByDOI(u"10.9/none"), u"");
        EXPECT_EQ(GetLastErrorCode(), static_cast<uint32_t>(kTavSqliteError));
        EXPECT_EQ(store.GetPkidByDOI(u"10.9/none"), 0);
        EXPECT_EQ(Count(unit, "select count(*) from LiteraInfo where LiterGuid <> ''"), 1);
    }
}

// ---- Step 15: note items move into the notes ----

const std::u16string kGuidA = u"A0000000000000000000000000000001";
const std::u16string kGuidB = u"B0000000000000000000000000000002";

testkit::UnitSpec NotesAt14()
{
    testkit::UnitSpec spec;
    spec.version = 14;
    spec.literature = {
        {.pkid = 1,
         .doi = u"D1",
         .title = u"L1",
         .literGuid = kGuidA,
         .notePackage = testkit::MakeNotePackage({{u"a", u"Bob's item"}, {u"b", u"B"}, {u"c", u"C"}, {u"p2", u"P"}})},
    };
    spec.notes = {
        {.id = 1, .posId = u"p1", .doi = u"D1", .comments = testkit::MakeNoteComments({u"c", u"a"})},
        {.id = 2, .posId = u"p2", .doi = u"D1", .comments = u"<Comments/>"},
        {.id = 3, .posId = u"p3", .doi = u"D1", .comments = u"not xml"},
    };
    return spec;
}

size_t Find(const std::u16string& text, const std::u16string& part) { return text.find(part); }

TEST_F(Steps13To16Test, Step15MovesReferencedItemsIntoTheirNotes)
{
    const fs::path unit = Build(NotesAt14());
    StepStore store(unit);
    EXPECT_EQ(store.UpdateVersionTo15(), 1);
    EXPECT_EQ(Version(unit), 15);
    EXPECT_EQ(store.lines, (std::vector<Line>{At(u"更新笔记信息表字段"), At(u"更新文献笔记信息：1")}));

    const auto notes = Rows(unit, "select PosID, Comments from NoteContent order by ID");
    ASSERT_EQ(notes.size(), 3u);
    const std::u16string& first = notes[0][1];
    // Items a and c, in id order, inside a package carrying the literature's attributes.
    EXPECT_NE(Find(first, u"<Note-Package version=\"2.0\" creator=\"Vexa\">"), std::u16string::npos) << U8(first);
    EXPECT_NE(Find(first, u"<NoteItems count=\"auto\">"), std::u16string::npos) << U8(first);
    const size_t a = Find(first, u"<Item id=\"a\" page=\"1\">Bob's item</Item>");
    const size_t c = Find(first, u"<Item id=\"c\" page=\"1\">C</Item>");
    ASSERT_NE(a, std::u16string::npos) << U8(first);
    ASSERT_NE(c, std::u16string::npos) << U8(first);
    EXPECT_LT(a, c);
    EXPECT_EQ(Find(first, u"id=\"b\""), std::u16string::npos);
    EXPECT_EQ(Find(first, u"<Comment "), std::u16string::npos);
    EXPECT_EQ(first.rfind(u"<Comments>", 0), 0u);
    // A note without Comment elements takes the Item named after its posid.
    EXPECT_NE(Find(notes[1][1], u"<Item id=\"p2\" page=\"1\">P</Item>"), std::u16string::npos) << U8(notes[1][1]);
    // A note whose Comments are no XML is left alone.
    EXPECT_EQ(notes[2][1], u"not xml");

    const std::u16string markPos = Rows(unit, "select MarkPos from LiteraRelate where pkid = 1")[0][0];
    EXPECT_NE(Find(markPos, u"<Item id=\"b\" page=\"1\">B</Item>"), std::u16string::npos) << U8(markPos);
    for (const char16_t* moved : {u"id=\"a\"", u"id=\"c\"", u"id=\"p2\""})
        EXPECT_EQ(Find(markPos, moved), std::u16string::npos) << U8(markPos);
    EXPECT_EQ(markPos.rfind(u"<NoteSet>", 0), 0u);
}

TEST_F(Steps13To16Test, Step15CopiesThePackageAttributesExactly)
{
    testkit::UnitSpec spec = NotesAt14();
    spec.literature[0].notePackage = testkit::MakeNotePackage({{u"a", u"<b>&'"}}, {{u"creator", u"O'Neil & \"co\""}},
                                                              {{u"count", u"1 < 2"}});
    spec.notes.resize(1);
    const fs::path unit = Build(spec);
    StepStore store(unit);
    EXPECT_EQ(store.UpdateVersionTo15(), 1);

    CXmlDoc note;
    ASSERT_TRUE(note.SetDoc(Rows(unit, "select Comments from NoteContent")[0][0])) << U8(note.GetDoc());
    ASSERT_TRUE(note.FindTag(u"Comments"));
    note.IntoTag();
    ASSERT_TRUE(note.FindTag(u"Note-Package"));
    EXPECT_EQ(note.GetAttrib(u"creator"), u"O'Neil & \"co\"");
    note.IntoTag();
    ASSERT_TRUE(note.FindTag(u"NoteItems"));
    EXPECT_EQ(note.GetAttrib(u"count"), u"1 < 2");
    note.IntoTag();
    ASSERT_TRUE(note.FindTag(u"Item"));
    EXPECT_EQ(note.GetAttrib(u"id"), u"a");
    EXPECT_NE(note.GetSubDoc(note.GetMainPos()).find(u"&lt;b&gt;&amp;'"), std::u16string::npos) << U8(note.GetDoc());
    EXPECT_FALSE(note.FindTag(u"Item"));
}

TEST_F(Steps13To16Test, Step15StopsAtTheFirstLiteratureWithoutAPackage)
{
    testkit::UnitSpec spec = NotesAt14();
    // Literature A's notes come first in every order; A has no reading-state row.
    spec.literature = {
        {.pkid = 1, .doi = u"DA", .title = u"A", .literGuid = kGuidA, .readingStateRow = false},
        {.pkid = 2, .doi = u"DB", .title = u"B", .literGuid = kGuidB,
         .notePackage = testkit::MakeNotePackage({{u"x", u"X"}})},
    };
    spec.notes = {{.id = 1, .posId = u"pa", .doi = u"DA", .comments = testkit::MakeNoteComments({u"x"})},
                  {.id = 2, .posId = u"pb", .doi = u"DB", .comments = testkit::MakeNoteComments({u"x"})}};
    const fs::path unit = Build(spec);
    const auto before = Rows(unit, "select Comments from NoteContent order by ID");
    const auto packageBefore = Rows(unit, "select MarkPos from LiteraRelate");
    StepStore store(unit);
    EXPECT_EQ(store.UpdateVersionTo15(), 1);
    EXPECT_EQ(Rows(unit, "select Comments from NoteContent order by ID"), before);
    EXPECT_EQ(Rows(unit, "select MarkPos from LiteraRelate"), packageBefore);
    EXPECT_EQ(Version(unit), 15);
}

TEST_F(Steps13To16Test, Step15CancelledKeepsEveryNoteAsItWas)
{
    testkit::UnitSpec spec = NotesAt14();
    spec.literature.push_back({.pkid = 2, .doi = u"D2", .title = u"L2", .literGuid = kGuidB,
                               .notePackage = testkit::MakeNotePackage({{u"z", u"Z"}})});
    spec.notes.push_back({.id = 4, .posId = u"p4", .doi = u"D2", .comments = testkit::MakeNoteComments({u"z"})});
    const fs::path unit = Build(spec);
    const std::string all = "select Comments from NoteContent union all select MarkPos from LiteraRelate";
    const auto before = Rows(unit, all);
    StepStore store(unit);
    int seen = 0;
    store.onLine = [&seen](const std::u16string& text) {
        if (text == u"更新文献笔记信息：1" && ++seen == 2)
            g_cancelFlag.store(1);
    };
    EXPECT_EQ(store.UpdateVersionTo15(), 0);
    EXPECT_EQ(store.lines.back(), (Line{kTotal, kTotal, kCancel}));
    EXPECT_EQ(Rows(unit, all), before);
    EXPECT_EQ(Version(unit), 14);

    // Run again, the notes move exactly once.
    g_cancelFlag.store(0);
    StepStore again(unit);
    EXPECT_EQ(again.UpdateVersionTo15(), 1);
    EXPECT_EQ(Count(unit, "select count(*) from NoteContent where Comments like '%<Item id=\"a\"%'"), 1);
    EXPECT_EQ(Count(unit, "select count(*) from NoteContent where Comments like '%<Item id=\"z\"%'"), 1);
}

// ---- Step 16: synchronisation columns ----

std::string Declaration(testkit::UnitReader& reader, const std::string& table, const std::string& column)
{
    for (const auto& row : reader.QueryUtf8("pragma table_info(" + table + ")"))
        if (row[1] == column)
            return row[2] + (row[3] == "1" ? " not null" : "") + (row[4].empty() ? "" : " default " + row[4]);
    return "(missing)";
}

TEST_F(Steps13To16Test, Step16AddsTheSyncColumnsAndNoteReply)
{
    testkit::UnitSpec spec = NotesAt14();
    spec.version = 15;
    const fs::path unit = Build(spec);
    Execute(unit, "drop table if exists NoteReply");
    StepStore store(unit);
    EXPECT_EQ(store.UpdateVersionTo16(), 1);
    EXPECT_EQ(store.lines, (std::vector<Line>{At(u"更新题录信息"), At(u"更新文献夹信息"), At(u"更新笔记信息"),
                                              At(u"更新文献分类信息"), At(u"更新标签信息"), At(u"更新笔记回复信息")}));
    EXPECT_EQ(Version(unit), 16);

    testkit::UnitReader reader(unit);
    for (const char* table : {"LiteraInfo", "Category", "NoteContent", "CategoryLitera", "Label"}) {
        EXPECT_EQ(Declaration(reader, table, "LocalModifyTime"), "Text") << table;
        EXPECT_EQ(Declaration(reader, table, "IsRemoved"), "bit not null default 0") << table;
    }
    EXPECT_EQ(Declaration(reader, "LiteraInfo", "KnowledgeID"), "bit not null default 0");
    EXPECT_EQ(Declaration(reader, "Category", "Path"), "Text");
    EXPECT_EQ(Declaration(reader, "Category", "RecycleParentId"), "bit not null default 0");
    EXPECT_EQ(Declaration(reader, "NoteContent", "KnowledgeID"), "Text");
    EXPECT_EQ(Declaration(reader, "CategoryLitera", "Path"), "bit not null default 0");
    EXPECT_EQ(Declaration(reader, "CategoryLitera", "DOI"), "Text");
    EXPECT_TRUE(reader.HasTable("NoteReply"));
}

TEST_F(Steps13To16Test, Step16EndsAtAFailingTableAddColumn)
{
    testkit::UnitSpec spec = NotesAt14();
    spec.version = 15;
    const fs::path unit = Build(spec);
    Execute(unit, "drop table Label");
    StepStore store(unit);
    EXPECT_EQ(store.UpdateVersionTo16(), 0);
    EXPECT_EQ(store.lines.back(), At(u"更新标签信息"));
    EXPECT_EQ(Version(unit), 15);
    testkit::UnitReader reader(unit);
    EXPECT_TRUE(reader.HasColumn("CategoryLitera", "Recycled"));
}

TEST_F(Steps13To16Test, Step16CancelledKeepsTheColumnsAddedSoFar)
{
    testkit::UnitSpec spec = NotesAt14();
    spec.version = 15;
    const fs::path unit = Build(spec);
    {
        testkit::UnitReader reader(unit);
        ASSERT_FALSE(reader.HasColumn("LiteraInfo", "LocalModifyTime"));
        ASSERT_FALSE(reader.HasColumn("CategoryLitera", "LocalModifyTime"));
    }
    {
        StepStore store(unit);
        store.onLine = [](const std::u16string& text) {
            if (text == u"更新笔记信息")
                g_cancelFlag.store(1);
        };
        EXPECT_EQ(store.UpdateVersionTo16(), 0);
        EXPECT_EQ(store.lines.back(), (Line{kTotal, kTotal, kCancel}));
    }
    EXPECT_EQ(Version(unit), 15);
    testkit::UnitReader reader(unit);
    EXPECT_TRUE(reader.HasColumn("LiteraInfo", "LocalModifyTime"));
    EXPECT_TRUE(reader.HasColumn("Category", "RecycleID"));
    EXPECT_FALSE(reader.HasColumn("CategoryLitera", "LocalModifyTime"));
}

// ---- The four steps together ----

TEST_F(Steps13To16Test, SampleUnitFromVersion12ReachesVersion16)
{
    const fs::path unit = Build(testkit::SampleSpec(12));
    const int64_t webPages = Count(unit, "select count(*) from WebPage_Info");
    const int64_t literature = Count(unit, "select count(*) from LiteraInfo");
    ASSERT_GT(webPages, 0);
    {
        StepStore store(unit);
        store.UpdateVersion();
    }
    EXPECT_EQ(Version(unit), 16);
    EXPECT_EQ(Count(unit, "select count(*) from LiteraInfo"), literature + webPages);
    EXPECT_EQ(Count(unit, "select count(*) from LiteraInfo where length(LiterGuid) <> 32"), 0);
    EXPECT_EQ(Count(unit, "select count(*) from NoteContent where length(NoteGuid) <> 32"), 0);
    // Note N3 of the literature with an apostrophe in its DOI got its item x ("it's marked").
    EXPECT_EQ(Count(unit, "select count(*) from NoteContent where PosID = 'N3' and Comments like '%it''s marked%'"), 1);
    EXPECT_EQ(Count(unit, "select count(*) from LiteraRelate where MarkPos like '%it''s marked%'"), 0);
}

} // namespace
