// Each operation is all or nothing, and a library file that is no database stays untouched.
#include "LibraryTestEnv.h"

namespace librarytest {
namespace {

class TransactionTest : public LibraryTest {
protected:
    // Runs a statement on the library file through a connection of its own, as another
    // program would.
    void Alter(const std::u16string& sql)
    {
        CSqliteDB db;
        db.Open(W(UserFolder() / "library.db"));
        ASSERT_EQ(0, db.ExecuteStatement(sql));
    }
};

TEST_F(TransactionTest, FailingLabelUndoesTheWholeNote)
{
    const std::u16string tavGuid = CreateUnit(u"a");
    Alter(u"create trigger Refuse before insert on NoteLabel when new.Label='refused' "
          u"begin select raise(abort, 'refused'); end");
    auto note = std::make_shared<SNoteInfo>();
    note->PosID = u"p";
    const int32_t result = Service().AddNote(note, {u"fine", u"refused"}, tavGuid, User(), 0);
    EXPECT_EQ(kLibraryStorageError, result);
    EXPECT_EQ(0, CountRows("Note", tavGuid));
    EXPECT_EQ(0, CountRows("NoteLabel", tavGuid));
    auto fetched = std::make_shared<SNoteInfo>();
    EXPECT_EQ(kLibraryNoteNotFound, Service().GetNote(fetched, tavGuid, User(), u"p", 1));

    // The same note without the refused label goes in: nothing of the failed try is in its way.
    EXPECT_EQ(kLibraryOk, Service().AddNote(note, {u"fine"}, tavGuid, User(), 0));
    EXPECT_EQ(1, CountRows("NoteLabel", tavGuid));
}

TEST_F(TransactionTest, FailedDeleteKeepsRowsAndFiles)
{
    const std::u16string tavGuid = CreateUnit(u"a");
    const std::u16string folder = AddFolder(tavGuid, tavGuid, u"f");
    AddLiterature(tavGuid, folder, u"10.1/x", u"t");
    std::u16string stored;
    ASSERT_EQ(kLibraryOk, Service().StoreAttachment(stored, W(WriteSource("a.pdf", "pdf")), User(), tavGuid));

    Alter(u"create trigger Keep before delete on LearningUnit begin select raise(abort, 'kept'); end");
    EXPECT_EQ(kLibraryStorageError, Service().DeleteLearningUnit(tavGuid, User()));
    EXPECT_EQ(1, CountRows("Folder", tavGuid)); // deleted before the entry row, and restored
    EXPECT_EQ(1, CountRows("Literature", tavGuid));
    EXPECT_EQ(1, CountRows("Attachment", tavGuid));
    EXPECT_EQ("pdf", ReadFile(P(stored)));

    Alter(u"drop trigger Keep");
    EXPECT_EQ(kLibraryOk, Service().DeleteLearningUnit(tavGuid, User()));
    EXPECT_FALSE(fs::exists(P(stored)));
}

TEST_F(TransactionTest, FailedAttachmentRowRemovesTheCopiedFile)
{
    const std::u16string tavGuid = CreateUnit(u"a");
    Alter(u"create trigger Refuse before insert on Attachment begin select raise(abort, 'refused'); end");
    const fs::path source = WriteSource("a.pdf", "pdf");
    std::u16string stored = W(source);
    EXPECT_EQ(kLibraryStorageError, Service().StoreAttachment(stored, W(source), User(), tavGuid));
    EXPECT_EQ(W(source), stored);
    EXPECT_FALSE(fs::exists(AttachmentFolder(tavGuid) / "a.pdf"));
}

TEST_F(TransactionTest, LibraryFileThatIsNoDatabaseIsLeftAlone)
{
    const fs::path file = UserFolder() / "library.db";
    fs::create_directories(file.parent_path());
    const std::string garbage(4096, 'x');
    std::ofstream(file, std::ios::binary) << garbage;

    auto info = std::make_shared<STavInfo>();
    const int32_t result = Service().CreateLearningUnit(info, User(), 0, 0);
    EXPECT_EQ(kLibraryCannotOpen, result);
    EXPECT_FALSE(Service().GetErrorText(result).empty());
    EXPECT_TRUE(info->TavGuid.empty());
    EXPECT_EQ(garbage, ReadFile(file));

    CLibraryReader reader(User());
    std::vector<SLibraryEntry> entries;
    EXPECT_EQ(kLibraryCannotOpen, reader.ListEntries(entries));
    EXPECT_EQ(garbage, ReadFile(file));
}

} // namespace
} // namespace librarytest
