// The store's readers and utilities that the import and the upgrade lean on.
#include "builder/UnitBuilder.h"
#include "store/TavDB.h"
#include "support/LastError.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using testkit::U16;
using testkit::U8;
using Texts = std::vector<std::u16string>;

class OpenStore : public CTavDB {
public:
    explicit OpenStore(const fs::path& unit, const std::u16string& tavId = u"TAV")
    {
        m_path = U16(unit.string());
        m_db.Open(m_path);
        m_tavId = tavId;
    }
    using CTavDB::ExtractNoteComments;
    const auto& Literatures() const { return m_literatures; }
    const auto& Notes() const { return m_notes; }
    void SetNoteSet(const std::u16string& literGuid, const std::u16string& noteSet) { m_markPosByLiterGuid[literGuid] = noteSet; }
};

class ReadersTest : public ::testing::Test {
protected:
    fs::path Build(const testkit::UnitSpec& spec, const std::string& name = "unit.tav")
    {
        const fs::path unit = m_dir.Path() / name;
        testkit::BuildUnit(unit, spec);
        return unit;
    }
    testkit::ScopedHomeEnv m_home;
    testkit::TempDir m_dir;
};

TEST_F(ReadersTest, QuotedTextComesBackUnchangedAndFirstFieldReadsKeepTheirOutput)
{
    OpenStore store(Build(testkit::UnitSpec{}));
    EXPECT_EQ(CTavDB::QuoteSqlText(u"O'Neil''s"), u"'O''Neil''''s'");
    for (const std::u16string text : {u"", u"it's", u"'); drop table Category; --", u"a\\b\"c", u"中文'文献"}) {
        std::u16string out = u"unset";
        EXPECT_EQ(store.GetFirstFieldText(u"select " + CTavDB::QuoteSqlText(text), out), 1);
        EXPECT_EQ(out, text);
    }
    std::u16string out = u"kept";
    EXPECT_EQ(store.GetFirstFieldText(u"select Name from Category where CategoryId = -5", out), 1);
    EXPECT_EQ(out, u"kept");
    EXPECT_EQ(store.GetFirstFieldText(u"select NULL", out), 1);
    EXPECT_EQ(out, u"");
    EXPECT_THROW(store.GetFirstFieldText(u"select x from NoSuchTable", out), CSqliteException);
}

TEST(ContentsFolderTest, CutsOnlyTheFileNamesLastExtension)
{
    const struct {
        std::u16string unit, folder; // empty folder: none, the output stays as it was
    } cases[] = {{u"/u/a.tav", u"/u/a_contents"},           {u"/u/a.b.tav", u"/u/a.b_contents"},
                 {u"D:\\单元\\a.tav", u"D:\\单元\\a_contents"}, {u"/u/unit", u""},
                 {u"/home/a.b/unit", u""},                   {u"D:\\x.y\\unit", u""}};
    for (const auto& c : cases) {
        std::u16string folder = u"untouched";
        EXPECT_EQ(CTavDB::GetContentsFolder(folder, c.unit), c.folder.empty() ? 0 : 1) << U8(c.unit);
        EXPECT_EQ(folder, c.folder.empty() ? u"untouched" : c.folder) << U8(c.unit);
    }
}

// A literature without a reading-state row gets one, with the type of the file it points at.
TEST_F(ReadersTest, LiteratureGetsItsDataTypeFileAndReadingStateRow)
{
    const fs::path elsewhere = m_dir.Path() / "elsewhere.txt";
    std::ofstream(elsewhere) << "x";
    const struct {
        std::u16string stored, read; // empty read: as stored
        std::string fileType;
    } cases[] = {
        {u"D:\\old\\Moved.PDF", U16((testkit::ContentsFolder(m_dir.Path() / "unit.tav") / "Moved.PDF").string()), "0"},
        {U16(elsewhere.string()), {}, "2"}, // exists: never changed
        {u"D:\\old\\gone.htm", {}, "1"},   // not in the companion folder either
        {u"..", {}, "2"},                  // the companion folder itself is no file
        {u"", {}, ""},                     // no file: FileType stays NULL
    };
    testkit::UnitSpec spec;
    int32_t pkid = 0;
    for (const auto& c : cases)
        spec.literature.push_back({.pkid = ++pkid, .doi = U16("d" + std::to_string(pkid)), .filePath = c.stored,
                                   .readingStateRow = false});
    spec.literature.push_back({.pkid = 9, .doi = u"d9", .filePath = u"x.html", .fileType = 7});
    spec.companionFiles = {{"Moved.PDF", "%PDF"}};
    const fs::path unit = Build(spec);
    testkit::UnitReader reader(unit);
    reader.Execute("update LiteraInfo set DataType = '' where pkid <= 2; update LiteraInfo set DataType = '3' where pkid = 3");

    OpenStore store(unit);
    ASSERT_EQ(store.FillLiteratureInfo(), 1);
    ASSERT_EQ(store.Literatures().size(), std::size(cases) + 1);
    for (int32_t i = 1; i <= static_cast<int32_t>(std::size(cases)); ++i) {
        const auto& c = cases[i - 1];
        EXPECT_EQ(store.Literatures().at(i)->FilePath, c.read.empty() ? c.stored : c.read) << i;
        EXPECT_EQ(reader.Scalar("select FileType from LiteraRelate where pkid = " + std::to_string(i)).value_or(""),
                  c.fileType)
            << i;
    }
    EXPECT_EQ(store.Literatures().at(1)->TavId, u"TAV");
    EXPECT_EQ((Texts{store.Literatures().at(1)->DataType, store.Literatures().at(2)->DataType,
                     store.Literatures().at(3)->DataType}),
              (Texts{u"5", u"5", u"3"}));
    EXPECT_EQ(reader.Scalar("select FileType from LiteraRelate where pkid = 9"), "7"); // an existing row is kept

    std::shared_ptr<SPersonalLiteratureLiteraRelate> state;
    SetLastErrorCode(0);
    EXPECT_EQ(store.GetLiteratureRelate(state, 50), 0);
    EXPECT_EQ(GetLastErrorCode(), static_cast<uint32_t>(kTavNoReadingState));
    EXPECT_EQ(state, nullptr);
    EXPECT_EQ(store.GetLiteratureRelate(state, 9), 1);
    EXPECT_EQ(state->FileType, 7);
}

TEST_F(ReadersTest, FoldersCarryTheirCountsAndListTheirLiterature)
{
    testkit::UnitSpec spec;
    spec.folders = {{.id = 1, .name = u"top"}, {.id = 2, .name = u"sub", .parentId = 1},
                    {.id = 3, .name = u"binned", .parentId = 1, .recycled = true}};
    spec.literature = {{.pkid = 1, .doi = u"d1", .folderIds = {1}}, {.pkid = 2, .doi = u"d2", .folderIds = {1, 2}},
                       {.pkid = 3, .doi = u"d3"}};
    const fs::path unit = Build(spec);
    const int64_t topLevel = testkit::UnitReader(unit).ScalarInt("select count(*) from Category where ParentID = 0");

    OpenStore store(unit);
    std::shared_ptr<SPersonalLiteratureFolder> folder;
    ASSERT_EQ(store.GetLiteratureFolder(folder, 1), 1);
    EXPECT_EQ((std::vector<int64_t>{folder->ChildCount, folder->LiteratureCount}), (std::vector<int64_t>{1, 2}));
    EXPECT_EQ(folder->Name, u"top");
    EXPECT_EQ(store.GetLiteratureFolder(folder, 3), 0);
    ASSERT_EQ(store.GetLiteratureFolder(folder, 0), 1); // the root is made up
    EXPECT_EQ((std::vector<int64_t>{folder->ParentID, folder->ChildCount, folder->LiteratureCount}),
              (std::vector<int64_t>{0, topLevel, 0}));

    // Literature of a folder, of every folder, and of a "TempRead" unit (also unfiled).
    std::shared_ptr<CTavDB::IdSet> ids;
    EXPECT_EQ(store.GetLiteratureInfoIdList(ids, 2), 1);
    EXPECT_EQ(*ids, (CTavDB::IdSet{2}));
    EXPECT_EQ(store.GetLiteratureInfoIdList(ids, -1), 1);
    EXPECT_EQ(*ids, (CTavDB::IdSet{1, 2}));
    EXPECT_EQ(OpenStore(unit, u"TempRead").GetLiteratureInfoIdList(ids, -1), 1);
    EXPECT_EQ(*ids, (CTavDB::IdSet{1, 2, 3}));
}

TEST_F(ReadersTest, NotesTranslateIsPublic)
{
    testkit::UnitSpec spec;
    spec.literature = {{.pkid = 1, .doi = u"d1"}};
    for (int32_t id = 1; id <= 5; ++id)
        spec.notes.push_back({.id = id, .posId = U16("p" + std::to_string(id)), .doi = u"d1"});
    const fs::path unit = Build(spec);
    testkit::UnitReader(unit).Execute("update NoteContent set IsPublic = ID - 1");
    OpenStore store(unit);
    EXPECT_EQ(store.FillNoteInfo(), 1);
    std::vector<int32_t> isPublic;
    for (const auto& [id, note] : store.Notes())
        isPublic.push_back(note->IsPublic);
    EXPECT_EQ(isPublic, (std::vector<int32_t>{3, 2, 2, 3, 4}));
}

TEST_F(ReadersTest, NoteCommentsPackOnlyTheNotesOwnItem)
{
    const std::u16string head = u"<NoteSet><Note-Package a=\"NoteSet\"><NoteItems>";
    const std::u16string tail = u"</NoteItems></Note-Package></NoteSet>";
    const std::u16string two = head + u"<Item acp=\"1\" id=\"p1\"><b>one</b></Item>\n<Item acp=\"2\" id=\"p2\">two</Item>" + tail;
    const std::u16string packedHead = u"<Comments><Note-Package a=\"Comments\"><NoteItems>";
    const std::u16string packedTail = u"</NoteItems></Note-Package></Comments>";
    const struct {
        std::u16string noteSet, posId, expected;
    } cases[] = {
        {two, u"p2", packedHead + u"<Item acp=\"2\" id=\"p2\">two</Item>" + packedTail},
        {two, u"p1", packedHead + u"<Item acp=\"1\" id=\"p1\"><b>one</b></Item>" + packedTail},
        {two, u"p3", u""},                                                            // no item of this note
        {head + u"<Item acp=\"1\" id=\"p1\">one</Item><broken>" + tail, u"p1", u""}, // not well-formed
        {head + u"<Item id=\"p1\">one</Item>" + tail, u"p1", u""},                    // nothing to cut at
        {u"", u"p1", u""},
    };
    OpenStore store(Build(testkit::UnitSpec{}));
    for (const auto& c : cases) {
        store.SetNoteSet(u"L", c.noteSet);
        EXPECT_EQ(store.ExtractNoteComments(u"L", c.posId), c.expected) << U8(c.noteSet) << " " << U8(c.posId);
        EXPECT_EQ(store.ExtractNoteComments(u"other", c.posId), u"");
    }
}

// Literature filed at the root moves into the top-level study folder, made when missing.
TEST_F(ReadersTest, ReplaceLiteraInTavMovesRootLiteratureIntoTheStudyFolder)
{
    const auto rows = [](const fs::path& unit, const std::string& sql) { return testkit::UnitReader(unit).QueryUtf8(sql); };
    const std::string links = "select f.Name, c.pkid, c.CategoryGuid = f.CategoryGuid from CategoryLitera c left join "
                              "Category f on f.CategoryId = c.CategoryId order by c.pkid, f.Name";
    for (const bool hasStudyFolder : {true, false}) {
        SCOPED_TRACE(hasStudyFolder);
        testkit::UnitSpec spec;
        spec.folders = {{.id = 3, .name = u"Other"}, {.id = 4, .name = u"要学习的文献", .parentId = 3}};
        spec.literature = {{.pkid = 1, .doi = u"d1", .folderIds = {0}}, {.pkid = 2, .doi = u"d2", .folderIds = {0}},
                           {.pkid = 3, .doi = u"d3", .folderIds = {3}}};
        const fs::path unit = Build(spec, hasStudyFolder ? "has.tav" : "missing.tav");
        if (!hasStudyFolder)
            testkit::UnitReader(unit).Execute("delete from Category where Name = '要学习的文献' and ParentID = 0");
        OpenStore(unit, u"TempRead").ReplaceLiteraInTav();
        EXPECT_EQ(rows(unit, "select count(*) from CategoryLitera where CategoryId = 0")[0][0], "2");
        OpenStore(unit).ReplaceLiteraInTav();
        EXPECT_EQ(rows(unit, links), (std::vector<std::vector<std::string>>{
                                         {"要学习的文献", "1", "1"}, {"要学习的文献", "2", "1"}, {"Other", "3", "1"}}));
        const auto folder = rows(unit, "select ParentID, length(CategoryGuid) from Category where Name = '要学习的文献' "
                                       "and ParentID = 0");
        EXPECT_EQ(folder, (std::vector<std::vector<std::string>>{{"0", "32"}}));
    }
}

TEST_F(ReadersTest, WebPagesAreReadAndAMissingTableIsMade)
{
    testkit::UnitSpec spec;
    spec.version = 12;
    spec.webPages = {{.pkid = 9, .title = u"T9", .author = u"A", .link = u"L", .filePath = u"F", .createTime = u"C",
                      .lastReadTime = u"R"}};
    OpenStore store(Build(spec), u"TAV1");
    EXPECT_EQ(store.FillWebLiteratureInfo(), 1);
    ASSERT_EQ(store.WebLiteratures().size(), 1u);
    const auto& page = *store.WebLiteratures().at(9);
    EXPECT_EQ((Texts{page.TavId, page.Title, page.Author, page.Link, page.FilePath, page.CreateTime, page.LastReadTime}),
              (Texts{u"TAV1", u"T9", u"A", u"L", u"F", u"C", u"R"}));

    const fs::path bare = Build(testkit::UnitSpec{}, "bare.tav");
    testkit::UnitReader(bare).Execute("drop table WebPage_Info");
    EXPECT_EQ(OpenStore(bare).FillWebLiteratureInfo(), 1);
    EXPECT_TRUE(testkit::UnitReader(bare).HasTable("WebPage_Info"));
}

} // namespace
