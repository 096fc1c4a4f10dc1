// The store's small readers and utilities: SQL quoting, first-field reads, the companion
// folder of a unit, folder look-up by name, the web-page reader and the root-literature move.
#include "builder/UnitBuilder.h"
#include "store/TavDB.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testkit::U8;

namespace {

class ReaderStore : public CTavDB {
public:
    explicit ReaderStore(const fs::path& unit, const std::u16string& tavId = u"")
    {
        SetPauseMilliseconds(0);
        m_path = Utf8ToWide(unit.string());
        m_db.Open(m_path);
        m_tavId = tavId;
    }
};

class ReadersTest : public ::testing::Test {
protected:
    fs::path Build(const testkit::UnitSpec& spec, const char* name = "unit.tav")
    {
        const fs::path unit = m_dir.Path() / name;
        testkit::BuildUnit(unit, spec);
        return unit;
    }
    std::vector<testkit::TextRow> Rows(const fs::path& unit, const std::string& sql)
    {
        testkit::UnitReader reader(unit);
        return reader.QueryText(sql);
    }
    void Execute(const fs::path& unit, const std::string& sql)
    {
        testkit::UnitReader reader(unit);
        reader.Execute(sql);
    }

    testkit::ScopedHomeEnv m_home;
    testkit::TempDir m_dir;
};

TEST(QuoteSqlTextTest, DoublesApostrophesAndEnclosesTheText)
{
    EXPECT_EQ(CTavDB::QuoteSqlText(u""), u"''");
    EXPECT_EQ(CTavDB::QuoteSqlText(u"abc"), u"'abc'");
    EXPECT_EQ(CTavDB::QuoteSqlText(u"O'Neil''s"), u"'O''Neil''''s'");
    EXPECT_EQ(CTavDB::QuoteSqlText(u"'"), u"''''");
}

TEST_F(ReadersTest, QuotedTextComesBackUnchangedFromTheDatabase)
{
    const fs::path unit = Build(testkit::UnitSpec{});
    ReaderStore store(unit);
    for (const std::u16string text : {u"plain", u"it's", u"'); drop table Category; --", u"a\\b\"c", u"中文'文献"}) {
        std::u16string out = u"unset";
        EXPECT_EQ(store.GetFirstFieldText(u"select " + CTavDB::QuoteSqlText(text), out), 1);
        EXPECT_EQ(out, text);
    }
    testkit::UnitReader reader(unit);
    EXPECT_TRUE(reader.HasTable("Category"));
}

TEST_F(ReadersTest, GetFirstFieldTextKeepsTheOutputWithoutARowAndLetsErrorsPass)
{
    const fs::path unit = Build(testkit::UnitSpec{});
    ReaderStore store(unit);
    std::u16string out = u"kept";
    EXPECT_EQ(store.GetFirstFieldText(u"select Name from Category where CategoryId = -5", out), 1);
    EXPECT_EQ(out, u"kept");
    EXPECT_EQ(store.GetFirstFieldText(u"select NULL", out), 1);
    EXPECT_EQ(out, u"");
    EXPECT_EQ(store.GetFirstFieldText(u"select 12, 'second'", out), 1);
    EXPECT_EQ(out, u"12");
    EXPECT_THROW(store.GetFirstFieldText(u"select x from NoSuchTable", out), CSqliteException);
}

TEST(ContentsFolderTest, CutsOnlyTheFileNamesLastExtension)
{
    std::u16string folder = u"untouched";
    EXPECT_EQ(CTavDB::GetContentsFolder(folder, u"/u/a.tav"), 1);
    EXPECT_EQ(folder, u"/u/a_contents");
    EXPECT_EQ(CTavDB::GetContentsFolder(folder, u"/u/a.b.tav"), 1);
    EXPECT_EQ(folder, u"/u/a.b_contents");
    EXPECT_EQ(CTavDB::GetContentsFolder(folder, u"D:\\单元\\a.tav"), 1);
    EXPECT_EQ(folder, u"D:\\单元\\a_contents");

    folder = u"untouched";
    EXPECT_EQ(CTavDB::GetContentsFolder(folder, u"/u/unit"), 0);
    EXPECT_EQ(folder, u"untouched");
    // A dot in a folder name is no extension: the companion folder must not land elsewhere.
    EXPECT_EQ(CTavDB::GetContentsFolder(folder, u"/home/a.b/unit"), 0);
    EXPECT_EQ(CTavDB::GetContentsFolder(folder, u"D:\\x.y\\unit"), 0);
    EXPECT_EQ(folder, u"untouched");
}

TEST_F(ReadersTest, GetFolderIdByNameFindsTopLevelFoldersOnly)
{
    testkit::UnitSpec spec;
    spec.folders = {{.id = 4, .name = u"Bob's"}, {.id = 5, .name = u"Sub", .parentId = 4}, {.id = 6, .name = u"Top"}};
    const fs::path unit = Build(spec);
    ReaderStore store(unit);
    EXPECT_EQ(store.GetFolderIdByName(u"Bob's"), 4);
    EXPECT_EQ(store.GetFolderIdByName(u"Top"), 6);
    EXPECT_EQ(store.GetFolderIdByName(u"Sub"), -1);
    EXPECT_EQ(store.GetFolderIdByName(u"Nothing"), -1);
    Execute(unit, "drop table Category");
    EXPECT_EQ(store.GetFolderIdByName(u"Top"), -1);
}

TEST_F(ReadersTest, FillWebLiteratureInfoReadsOnceAndCreatesAMissingTable)
{
    testkit::UnitSpec spec;
    spec.version = 12;
    spec.webPages = {{.pkid = 9, .title = u"T9", .author = u"A", .link = u"L", .filePath = u"F", .createTime = u"C",
                      .lastReadTime = u"R"},
                     {.pkid = 2, .title = u"T2"}};
    const fs::path unit = Build(spec);
    ReaderStore store(unit, u"TAV1");
    EXPECT_EQ(store.FillWebLiteratureInfo(), 1);
    ASSERT_EQ(store.WebLiteratures().size(), 2u);
    const auto& page = *store.WebLiteratures().at(9);
    EXPECT_EQ(page.pkid, 9);
    EXPECT_EQ(page.TavId, u"TAV1");
    EXPECT_EQ((std::vector<std::u16string>{page.Title, page.Author, page.Link, page.FilePath, page.CreateTime,
                                           page.LastReadTime}),
              (std::vector<std::u16string>{u"T9", u"A", u"L", u"F", u"C", u"R"}));
    EXPECT_EQ(store.WebLiteratures().begin()->first, 2);
    // Cached: a page added later is not seen by the same store.
    Execute(unit, "insert into WebPage_Info(pkid, Title) values (20, 'late')");
    EXPECT_EQ(store.FillWebLiteratureInfo(), 1);
    EXPECT_EQ(store.WebLiteratures().size(), 2u);

    const fs::path bare = Build(testkit::UnitSpec{}, "bare.tav");
    Execute(bare, "drop table WebPage_Info");
    ReaderStore empty(bare);
    EXPECT_EQ(empty.FillWebLiteratureInfo(), 1);
    EXPECT_TRUE(empty.WebLiteratures().empty());
    EXPECT_TRUE(testkit::UnitReader(bare).HasTable("WebPage_Info"));
    // An empty cache is no cache: the next call reads again.
    Execute(bare, "insert into WebPage_Info(pkid, Title) values (1, 'new')");
    EXPECT_EQ(empty.FillWebLiteratureInfo(), 1);
    EXPECT_EQ(empty.WebLiteratures().size(), 1u);
}

testkit::UnitSpec RootLiterature()
{
    testkit::UnitSpec spec;
    spec.folders = {{.id = 3, .name = u"Other"}};
    spec.literature = {{.pkid = 1, .doi = u"d1", .title = u"root only", .folderIds = {0}},
                       {.pkid = 2, .doi = u"d2", .title = u"root and study", .folderIds = {0}},
                       {.pkid = 3, .doi = u"d3", .title = u"elsewhere", .folderIds = {3}}};
    return spec;
}

TEST_F(ReadersTest, ReplaceLiteraInTavMovesRootLiteratureIntoTheStudyFolder)
{
    testkit::UnitSpec spec = RootLiterature();
    spec.folders.push_back({.id = 8, .name = u"要学习的文献"});
    spec.literature[1].folderIds.push_back(8);
    const fs::path unit = Build(spec);
    ReaderStore store(unit, u"TAV");
    store.ReplaceLiteraInTav();
    EXPECT_EQ(Rows(unit, "select CategoryId, pkid from CategoryLitera order by pkid, CategoryId"),
              (std::vector<testkit::TextRow>{{u"8", u"1"}, {u"8", u"2"}, {u"3", u"3"}}));
}

TEST_F(ReadersTest, ReplaceLiteraInTavMakesTheStudyFolderWhenMissing)
{
    const fs::path unit = Build(RootLiterature());
    Execute(unit, "delete from Category where Name = '要学习的文献'");
    ReaderStore store(unit, u"TAV");
    store.ReplaceLiteraInTav();
    const auto folder = Rows(unit, "select CategoryId, ParentID, length(CategoryGuid) from Category where Name = '要学习的文献'");
    ASSERT_EQ(folder.size(), 1u);
    EXPECT_EQ(folder[0][1], u"0");
    EXPECT_EQ(folder[0][2], u"32");
    EXPECT_EQ(Rows(unit, "select count(*) from CategoryLitera where CategoryId = " + U8(folder[0][0]))[0][0], u"2");
    EXPECT_EQ(Rows(unit, "select count(*) from CategoryLitera where CategoryId = 0")[0][0], u"0");
    // The moved links carry the new folder's GUID.
    EXPECT_EQ(Rows(unit, "select count(*) from CategoryLitera c join Category f on f.CategoryId = c.CategoryId where "
                         "f.Name = '要学习的文献' and c.CategoryGuid = f.CategoryGuid")[0][0],
              u"2");
}

TEST_F(ReadersTest, ReplaceLiteraInTavLeavesTempReadAndUnitsWithoutRootLinksAlone)
{
    const fs::path temp = Build(RootLiterature(), "temp.tav");
    Execute(temp, "delete from Category where Name = '要学习的文献'");
    ReaderStore tempRead(temp, u"TempRead");
    tempRead.ReplaceLiteraInTav();
    EXPECT_EQ(Rows(temp, "select count(*) from CategoryLitera where CategoryId = 0")[0][0], u"2");
    EXPECT_EQ(Rows(temp, "select count(*) from Category where Name = '要学习的文献'")[0][0], u"0");

    testkit::UnitSpec spec = RootLiterature();
    spec.literature.resize(1);
    spec.literature[0].folderIds = {3};
    const fs::path plain = Build(spec, "plain.tav");
    Execute(plain, "delete from Category where Name = '要学习的文献'");
    ReaderStore store(plain, u"TAV");
    store.ReplaceLiteraInTav();
    EXPECT_EQ(Rows(plain, "select count(*) from Category where Name = '要学习的文献'")[0][0], u"0");
}

} // namespace
