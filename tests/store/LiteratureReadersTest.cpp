// The readers the import uses: what they make of a unit's rows, and their caches.
#include "builder/UnitBuilder.h"
#include "store/TavDB.h"
#include "support/LastError.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using testkit::U16;

namespace {

class OpenStore : public CTavDB {
public:
    OpenStore(const fs::path& unit, const std::u16string& tavId)
    {
        m_path = Utf8ToWide(unit.string());
        m_db.Open(m_path);
        m_tavId = tavId;
    }
    const auto& Literatures() const { return m_literatures; }
    const auto& Notes() const { return m_notes; }
};

class LiteratureReadersTest : public ::testing::Test {
protected:
    fs::path Build(const testkit::UnitSpec& spec)
    {
        const fs::path unit = m_dir.Path() / "unit.tav";
        testkit::BuildUnit(unit, spec);
        return unit;
    }
    testkit::ScopedHomeEnv m_home;
    testkit::TempDir m_dir;
};

TEST_F(LiteratureReadersTest, LiteratureGetsItsDataTypeFileAndReadingStateRow)
{
    const fs::path elsewhere = m_dir.Path() / "elsewhere.txt";
    std::ofstream(elsewhere) << "x";
    testkit::UnitSpec spec;
    struct Case {
        std::u16string stored;
        std::u16string read; // empty: as stored
        std::string fileType;
    };
    const std::u16string contents = U16(testkit::ContentsFolder(m_dir.Path() / "unit.tav").string());
    const std::vector<Case> cases = {
        {u"D:\\old\\Moved.PDF", contents + u"/Moved.PDF", "0"}, // found in the companion folder
        {U16(elsewhere.string()), {}, "2"},                     // exists: never changed
        {u"D:\\old\\gone.htm", {}, "1"},                        // not in the companion folder either
        {u"..", {}, "2"},                                       // the companion folder itself is no file
        {u"", {}, ""},                                          // no file: FileType stays NULL
    };
    int32_t pkid = 0;
    for (const Case& c : cases)
        spec.literature.push_back({.pkid = ++pkid, .doi = U16("d" + std::to_string(pkid)), .filePath = c.stored,
                                   .readingStateRow = false});
    spec.literature.push_back({.pkid = 9, .doi = u"d9", .filePath = u"x.html", .fileType = 7});
    spec.companionFiles = {{"Moved.PDF", "%PDF"}};
    const fs::path unit = Build(spec);
    testkit::UnitReader(unit).Execute("update LiteraInfo set DataType = '' where pkid = 1; "
                                      "update LiteraInfo set DataType = '' where pkid = 2; "
                                      "update LiteraInfo set DataType = '3' where pkid = 3");

    OpenStore store(unit, u"TAV");
    ASSERT_EQ(store.FillLiteratureInfo(), 1);
    ASSERT_EQ(store.Literatures().size(), cases.size() + 1);
    testkit::UnitReader reader(unit);
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto& info = *store.Literatures().at(static_cast<int32_t>(i + 1));
        EXPECT_EQ(info.FilePath, cases[i].read.empty() ? cases[i].stored : cases[i].read) << i;
        EXPECT_EQ(info.TavId, u"TAV");
        EXPECT_EQ(reader.Scalar("select FileType from LiteraRelate where pkid = " + std::to_string(i + 1)).value_or(""),
                  cases[i].fileType)
            << i;
    }
    EXPECT_EQ(store.Literatures().at(1)->DataType, u"5");
    EXPECT_EQ(store.Literatures().at(2)->DataType, u"5");
    EXPECT_EQ(store.Literatures().at(3)->DataType, u"3");
    // A literature that has its row keeps it as it is.
    EXPECT_EQ(reader.ScalarInt("select count(*) from LiteraRelate where pkid = 9"), 1);
    EXPECT_EQ(reader.Scalar("select FileType from LiteraRelate where pkid = 9"), "7");

    // Cached: a row added later is not seen.
    reader.Execute("insert into LiteraInfo(pkid, DOI, Title) values (50, 'late', 'late')");
    EXPECT_EQ(store.FillLiteratureInfo(), 1);
    std::shared_ptr<SPersonalLiteratureInfo> info;
    EXPECT_EQ(store.GetLiteratureInfo(info, 50), 0);
    EXPECT_EQ(store.GetLiteratureInfo(info, 1), 1);
    EXPECT_EQ(info.get(), store.Literatures().at(1).get());

    std::shared_ptr<SPersonalLiteratureLiteraRelate> state;
    SetLastErrorCode(0);
    EXPECT_EQ(store.GetLiteratureRelate(state, 50), 0);
    EXPECT_EQ(GetLastErrorCode(), static_cast<uint32_t>(kTavNoReadingState));
    EXPECT_EQ(state, nullptr);
    EXPECT_EQ(store.GetLiteratureRelate(state, 9), 1);
    EXPECT_EQ(state->RowId, -1);
    EXPECT_EQ(state->FileType, 7);
}

TEST_F(LiteratureReadersTest, FoldersCarryTheirCountsAndTheRootIsAdded)
{
    testkit::UnitSpec spec;
    spec.folders = {{.id = 1, .name = u"top"}, {.id = 2, .name = u"sub", .parentId = 1},
                    {.id = 3, .name = u"binned", .parentId = 1, .recycled = true}};
    spec.literature = {{.pkid = 1, .doi = u"d1", .folderIds = {1}}, {.pkid = 2, .doi = u"d2", .folderIds = {1, 2}},
                       {.pkid = 3, .doi = u"d3"}};
    const fs::path unit = Build(spec);
    const int64_t topLevel = testkit::UnitReader(unit).ScalarInt("select count(*) from Category where ParentID = 0");

    OpenStore store(unit, u"TAV");
    std::shared_ptr<SPersonalLiteratureFolder> folder;
    ASSERT_EQ(store.GetLiteratureFolder(folder, 1), 1);
    EXPECT_EQ(folder->Name, u"top");
    EXPECT_EQ(folder->ChildCount, 1);
    EXPECT_EQ(folder->LiteratureCount, 2);
    EXPECT_EQ(folder->TavId, u"TAV");
    EXPECT_EQ(store.GetLiteratureFolder(folder, 3), 0);
    ASSERT_EQ(store.GetLiteratureFolder(folder, 0), 1);
    EXPECT_EQ(folder->CategoryId, 0);
    EXPECT_EQ(folder->ParentID, 0);
    EXPECT_EQ(folder->ChildCount, topLevel);
    EXPECT_EQ(folder->LiteratureCount, 0);

    // Literature of a folder, of every folder, and of a "TempRead" unit (also unfiled).
    std::shared_ptr<CTavDB::IdSet> ids;
    EXPECT_EQ(store.GetLiteratureInfoIdList(ids, 2), 1);
    EXPECT_EQ(*ids, (CTavDB::IdSet{2}));
    EXPECT_EQ(store.GetLiteratureInfoIdList(ids, -1), 1);
    EXPECT_EQ(*ids, (CTavDB::IdSet{1, 2}));
    OpenStore temp(unit, u"TempRead");
    EXPECT_EQ(temp.GetLiteratureInfoIdList(ids, -1), 1);
    EXPECT_EQ(*ids, (CTavDB::IdSet{1, 2, 3}));

    // Without folders the list is left as it was.
    testkit::UnitReader(unit).Execute("delete from Category");
    OpenStore bare(unit, u"TAV");
    auto untouched = std::make_shared<CTavDB::IdSet>(CTavDB::IdSet{42});
    ids = untouched;
    EXPECT_EQ(bare.GetLiteratureInfoIdList(ids, -1), 1);
    EXPECT_EQ(ids, untouched);
}

TEST_F(LiteratureReadersTest, NotesTranslateIsPublic)
{
    testkit::UnitSpec spec;
    spec.literature = {{.pkid = 1, .doi = u"d1"}};
    for (int32_t id = 1; id <= 5; ++id)
        spec.notes.push_back({.id = id, .posId = U16("p" + std::to_string(id)), .doi = u"d1"});
    const fs::path unit = Build(spec);
    testkit::UnitReader(unit).Execute("update NoteContent set IsPublic = ID - 1");
    OpenStore store(unit, u"TAV");
    EXPECT_EQ(store.FillNoteInfo(), 1);
    std::vector<int32_t> isPublic;
    for (const auto& [id, note] : store.Notes()) {
        isPublic.push_back(note->IsPublic);
        EXPECT_EQ(note->TavId, u"TAV");
    }
    EXPECT_EQ(isPublic, (std::vector<int32_t>{3, 2, 2, 3, 4}));
}

} // namespace

namespace {

class NoteSetStore : public CTavDB {
public:
    void SetNoteSet(const std::u16string& literGuid, const std::u16string& noteSet) { m_markPosByLiterGuid[literGuid] = noteSet; }
};

TEST(ExtractNoteCommentsTest, PacksOnlyTheNotesOwnItem)
{
    const std::u16string head = u"<NoteSet><Note-Package a=\"NoteSet\"><NoteItems>";
    const std::u16string tail = u"</NoteItems></Note-Package></NoteSet>";
    const std::u16string two = head + u"<Item acp=\"1\" id=\"p1\"><b>one</b></Item>\n<Item acp=\"2\" id=\"p2\">two</Item>" + tail;
    struct Case {
        std::u16string noteSet;
        std::u16string posId;
        std::u16string expected;
    };
    const std::u16string packedHead = u"<Comments><Note-Package a=\"Comments\"><NoteItems>";
    const std::u16string packedTail = u"</NoteItems></Note-Package></Comments>";
    const std::vector<Case> cases = {
        {two, u"p2", packedHead + u"<Item acp=\"2\" id=\"p2\">two</Item>" + packedTail},
        {two, u"p1", packedHead + u"<Item acp=\"1\" id=\"p1\"><b>one</b></Item>" + packedTail},
        {two, u"p3", u""},                                                   // no item of this note
        {head + u"<Item acp=\"1\" id=\"p1\">one</Item><broken>" + tail, u"p1", u""}, // not well-formed
        {head + u"<Item id=\"p1\">one</Item>" + tail, u"p1", u""},           // nothing to cut the package at
        {u"", u"p1", u""},
    };
    for (const Case& c : cases) {
        NoteSetStore store;
        store.SetNoteSet(u"L", c.noteSet);
        EXPECT_EQ(store.ExtractNoteComments(u"L", c.posId), c.expected) << testkit::U8(c.noteSet) << " " << testkit::U8(c.posId);
        EXPECT_EQ(store.ExtractNoteComments(u"other", c.posId), u"");
    }
}

} // namespace
