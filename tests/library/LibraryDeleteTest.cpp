// Removing an entry removes everything of it, and nothing of any other entry or user.
#include "LibraryTestEnv.h"

namespace librarytest {
namespace {

using DeleteTest = LibraryTest;

const char* const kTables[] = {"LearningUnit", "Folder", "Literature", "FolderLiterature", "LiteratureRelate",
                               "Note", "NoteLabel", "Attachment"};

struct Filled {
    std::u16string tavGuid;
    std::u16string literGuid;
    std::u16string stored;
};

class DeleteFixture : public LibraryTest {
protected:
    Filled Fill(const std::u16string& name, const std::string& fileBytes)
    {
        Filled filled;
        filled.tavGuid = CreateUnit(name);
        const std::u16string folder = AddFolder(filled.tavGuid, filled.tavGuid, u"f");
        const std::u16string sub = AddFolder(filled.tavGuid, folder, u"g");
        filled.literGuid = AddLiterature(filled.tavGuid, folder, u"10.1/same", u"t");
        AddLiterature(filled.tavGuid, sub, u"10.1/same", u"t");
        auto relate = std::make_shared<SLiteratureRelate>();
        relate->LiterGuid = filled.literGuid;
        EXPECT_EQ(kLibraryOk, Service().AddLiteratureRelate(relate, filled.tavGuid, User(), folder, 0));
        auto note = std::make_shared<SNoteInfo>();
        note->PosID = u"p1"; // the same PosID in both entries: unique per entry only
        note->LiterGuid = filled.literGuid;
        EXPECT_EQ(kLibraryOk, Service().AddNote(note, {u"l1", u"l2"}, filled.tavGuid, User(), 0));
        const fs::path source = WriteSource(WideToUtf8(name) + "/paper.pdf", fileBytes);
        EXPECT_EQ(kLibraryOk, Service().StoreAttachment(filled.stored, W(source), User(), filled.tavGuid));
        return filled;
    }
};

TEST_F(DeleteFixture, RemovesRowsAndFilesOfTheEntryOnly)
{
    const Filled a = Fill(u"a", "aaa");
    const Filled b = Fill(u"b", "bbb");
    for (const char* table : kTables)
        ASSERT_GT(CountRows(table, a.tavGuid), 0) << table;
    ASSERT_TRUE(fs::exists(P(a.stored)));

    EXPECT_EQ(kLibraryOk, Service().DeleteLearningUnit(a.tavGuid, User()));

    for (const char* table : kTables) {
        EXPECT_EQ(0, CountRows(table, a.tavGuid)) << table;
        EXPECT_GT(CountRows(table, b.tavGuid), 0) << table;
    }
    EXPECT_FALSE(fs::exists(AttachmentFolder(a.tavGuid)));
    EXPECT_EQ("bbb", ReadFile(P(b.stored)));

    CLibraryReader reader(User());
    std::vector<SLibraryEntry> entries;
    ASSERT_EQ(kLibraryOk, reader.ListEntries(entries));
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(b.tavGuid, entries[0].TavGuid);
    std::vector<SLibraryFolderNode> tree;
    EXPECT_EQ(kLibraryUnitNotFound, reader.GetFolderTree(a.tavGuid, tree));
    auto note = std::make_shared<SNoteInfo>();
    EXPECT_EQ(kLibraryOk, Service().GetNote(note, b.tavGuid, User(), u"p1", 1));
    EXPECT_EQ(b.literGuid, note->LiterGuid);
    EXPECT_EQ(kLibraryNoteNotFound, Service().GetNote(note, a.tavGuid, User(), u"p1", 1));

    // A second delete finds nothing.
    EXPECT_EQ(kLibraryUnitNotFound, Service().DeleteLearningUnit(a.tavGuid, User()));
}

TEST_F(DeleteFixture, AnotherUserCannotTouchTheEntry)
{
    const Filled a = Fill(u"a", "aaa");
    OvSysUser::Instance().SetUser(u"bob");
    EXPECT_EQ(kLibraryUnitNotFound, Service().DeleteLearningUnit(a.tavGuid, User()));
    EXPECT_EQ(kLibraryUnitNotFound, Service().CompleteLearningUnit(a.tavGuid, User()));
    CLibraryReader bob(u"bob");
    std::vector<SLibraryEntry> entries;
    ASSERT_EQ(kLibraryOk, bob.ListEntries(entries));
    EXPECT_TRUE(entries.empty());

    OvSysUser::Instance().SetUser(u"alice");
    EXPECT_EQ(1, CountRows("LearningUnit", a.tavGuid));
    EXPECT_EQ("aaa", ReadFile(P(a.stored)));
}

TEST_F(DeleteTest, MalformedGuidNeverReachesTheFileSystem)
{
    const std::u16string tavGuid = CreateUnit(u"a");
    const fs::path victim = UserFolder() / "attachments" / "keep.txt";
    fs::create_directories(victim.parent_path());
    std::ofstream(victim) << "keep";
    for (const std::u16string& bad : {std::u16string(u".."), std::u16string(u"../.."), std::u16string(),
                                     std::u16string(u"0123456789abcdef0123456789ABCDEF")}) {
        EXPECT_EQ(kLibraryBadArgument, Service().DeleteLearningUnit(bad, User()));
        std::u16string stored;
        EXPECT_EQ(kLibraryBadArgument, Service().StoreAttachment(stored, W(victim), User(), bad));
    }
    EXPECT_TRUE(fs::exists(victim));
    EXPECT_TRUE(fs::exists(UserFolder() / "library.db"));
    EXPECT_EQ(1, CountRows("LearningUnit", tavGuid));
}

} // namespace
} // namespace librarytest
