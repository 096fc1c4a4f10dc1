// Small utilities of the store that the import and the upgrade lean on.
#include "builder/UnitBuilder.h"
#include "store/TavDB.h"

#include <gtest/gtest.h>

namespace {

using testkit::U16;
using testkit::U8;

// A store on a fresh, empty unit; it can also hold a literature's note set as the import reads it.
class StoreUtilities : public CTavDB, public ::testing::Test {
protected:
    StoreUtilities()
    {
        testkit::BuildUnit(m_dir.Path() / "unit.tav", testkit::UnitSpec{});
        m_db.Open(U16((m_dir.Path() / "unit.tav").string()));
    }
    testkit::ScopedHomeEnv m_home;
    testkit::TempDir m_dir;
};

TEST_F(StoreUtilities, QuotedTextComesBackUnchangedAndFirstFieldReadsKeepTheirOutput)
{
    EXPECT_EQ(QuoteSqlText(u"O'Neil''s"), u"'O''Neil''''s'");
    for (const std::u16string text : {u"", u"it's", u"'); drop table Category; --", u"a\\b\"c", u"中文'文献"}) {
        std::u16string out = u"unset";
        EXPECT_EQ(GetFirstFieldText(u"select " + QuoteSqlText(text), out), 1);
        EXPECT_EQ(out, text);
    }
    std::u16string out = u"kept";
    EXPECT_EQ(GetFirstFieldText(u"select Name from Category where CategoryId = -5", out), 1);
    EXPECT_EQ(out, u"kept");
    EXPECT_EQ(GetFirstFieldText(u"select NULL", out), 1);
    EXPECT_EQ(out, u"");
    EXPECT_THROW(GetFirstFieldText(u"select x from NoSuchTable", out), CSqliteException);
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

TEST_F(StoreUtilities, NoteCommentsPackOnlyTheNotesOwnItem)
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
    for (const auto& c : cases) {
        const std::u16string literGuid = U16("L" + std::to_string(&c - cases)); // note sets are read once per literature
        m_markPosByLiterGuid[literGuid] = c.noteSet;
        EXPECT_EQ(ExtractNoteComments(literGuid, c.posId), c.expected) << U8(c.noteSet) << " " << U8(c.posId);
        EXPECT_EQ(ExtractNoteComments(u"other", c.posId), u"");
    }
}

} // namespace
