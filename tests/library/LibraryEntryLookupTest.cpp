// Finding an entry by the start of its TavGuid, and reading a whole entry at once.
#include "LibraryTestEnv.h"

namespace librarytest {
namespace {

using EntryLookupTest = LibraryTest;

TEST_F(EntryLookupTest, PrefixNamesOneEntryOrSaysWhyNot)
{
    const std::u16string a = CreateUnit(u"a");
    CreateUnit(u"b");
    // A twin that shares the first ten digits of `a` and differs in the eleventh.
    const std::u16string twin = a.substr(0, 10) + (a[10] == u'0' ? u"1" : u"0") + std::u16string(21, u'0');
    {
        CSqliteDB db;
        db.Open(W(UserFolder() / "library.db"));
        ASSERT_EQ(0, db.ExecuteStatement(u"insert into LearningUnit(TavGuid,Name) values('" + twin + u"','twin')"));
    }
    std::u16string lower = a.substr(0, 11);
    for (char16_t& c : lower) {
        if (c >= u'A' && c <= u'F')
            c = static_cast<char16_t>(c - u'A' + u'a');
    }

    const struct {
        std::u16string prefix;
        int32_t result;
        size_t matches;
    } cases[] = {
        {a, kLibraryOk, 1},
        {lower, kLibraryOk, 1},                // either case
        {a.substr(0, 10), kLibraryAmbiguousEntry, 2},
        {a + u"0", kLibraryUnitNotFound, 0},   // longer than any GUID
        {u"%", kLibraryUnitNotFound, 0},       // no wildcards
        {u"_", kLibraryUnitNotFound, 0},
        {a.substr(0, 4) + u"'", kLibraryUnitNotFound, 0},
        {u"", kLibraryBadArgument, 0},
    };
    CLibraryReader reader(User());
    for (const auto& c : cases) {
        std::vector<SLibraryEntry> matches;
        EXPECT_EQ(c.result, reader.FindEntries(c.prefix, matches)) << WideToUtf8(c.prefix);
        EXPECT_EQ(c.matches, matches.size()) << WideToUtf8(c.prefix);
        if (c.result == kLibraryOk) {
            EXPECT_EQ(a, matches[0].TavGuid);
        }
    }

    // An account without a library gets a code, and no library appears.
    CLibraryReader bob(u"bob");
    std::vector<SLibraryEntry> matches;
    EXPECT_EQ(kLibraryNoLibrary, bob.FindEntries(a, matches));
    EXPECT_FALSE(fs::exists(UserFolder("bob")));
}

TEST_F(EntryLookupTest, ContentsHoldTheWholeEntryAndNothingElse)
{
    const std::u16string tavGuid = CreateUnit(u"a");
    const std::u16string top = AddFolder(tavGuid, tavGuid, u"top");
    const std::u16string sub = AddFolder(tavGuid, top, u"sub");
    const std::u16string read = AddLiterature(tavGuid, top, u"10.1/read", u"read");
    AddLiterature(tavGuid, sub, u"10.1/read", u"read");
    const std::u16string unread = AddLiterature(tavGuid, sub, u"10.1/unread", u"unread");
    auto relate = std::make_shared<SLiteratureRelate>();
    relate->LiterGuid = read;
    relate->LastReadPos = 7;
    ASSERT_EQ(kLibraryOk, Service().AddLiteratureRelate(relate, tavGuid, User(), top, 0));
    auto note = std::make_shared<SNoteInfo>();
    note->PosID = u"p1";
    note->LiterGuid = read;
    ASSERT_EQ(kLibraryOk, Service().AddNote(note, {u"x", u"y"}, tavGuid, User(), 0));
    std::u16string stored;
    ASSERT_EQ(kLibraryOk, Service().StoreAttachment(stored, W(WriteSource("f.pdf", "pdf")), User(), tavGuid));

    // Another entry with a note at the same position must not leak in.
    const std::u16string other = CreateUnit(u"b");
    AddLiterature(other, AddFolder(other, other, u"o"), u"10.1/o", u"o");
    auto otherNote = std::make_shared<SNoteInfo>();
    otherNote->PosID = u"p1";
    ASSERT_EQ(kLibraryOk, Service().AddNote(otherNote, {u"z"}, other, User(), 0));

    SLibraryEntryContents contents;
    CLibraryReader reader(User());
    ASSERT_EQ(kLibraryOk, reader.ReadEntryContents(tavGuid, contents));
    EXPECT_EQ(tavGuid, contents.Entry.TavGuid);
    EXPECT_EQ(u"a", contents.Entry.Name);
    EXPECT_FALSE(contents.Entry.Complete);
    EXPECT_EQ(2, contents.Entry.FolderCount);
    EXPECT_EQ(2, contents.Entry.LiteratureCount);
    EXPECT_EQ(1, contents.Entry.NoteCount);
    ASSERT_EQ(2u, contents.Folders.size());
    EXPECT_EQ(sub, contents.Folders[1].Folder->FolderGuid);
    EXPECT_EQ(1, contents.Folders[1].Depth);
    EXPECT_EQ((std::vector<std::u16string> {read}), contents.FolderLiterature[top]);
    EXPECT_EQ((std::vector<std::u16string> {read, unread}), contents.FolderLiterature[sub]);
    EXPECT_EQ(2u, contents.FolderLiterature.size());
    ASSERT_EQ(2u, contents.Literature.size());
    EXPECT_EQ(u"10.1/unread", contents.Literature[1]->DOI);
    ASSERT_EQ(1u, contents.Relates.size());
    EXPECT_EQ(7, contents.Relates.at(read)->LastReadPos);
    ASSERT_EQ(1u, contents.Notes.size());
    EXPECT_EQ(read, contents.Notes[0].Note->LiterGuid);
    EXPECT_EQ((std::list<std::u16string> {u"x", u"y"}), contents.Notes[0].Labels);
    ASSERT_EQ(1u, contents.Attachments.size());
    EXPECT_EQ(stored, contents.Attachments[0].StoredPath);

    EXPECT_EQ(kLibraryUnitNotFound, reader.ReadEntryContents(std::u16string(32, u'F'), contents));
    EXPECT_EQ(kLibraryBadArgument, reader.ReadEntryContents(u"../x", contents));
}

} // namespace
} // namespace librarytest
