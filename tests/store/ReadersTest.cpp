// Small utilities of the store that the import and the upgrade lean on.
#include "builder/UnitBuilder.h"
#include "store/TavDB.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using testkit::U16;
using testkit::U8;

class OpenStore : public CTavDB {
public:
    explicit OpenStore(const fs::path& unit, const std::u16string& tavId = u"TAV")
    {
        m_path = U16(unit.string());
        m_db.Open(m_path);
        m_tavId = tavId;
    }
    using CTavDB::ExtractNoteComments;
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

} // namespace
