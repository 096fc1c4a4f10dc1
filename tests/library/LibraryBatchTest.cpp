// A batch groups commits but keeps each operation all or nothing, and a removal inside it is
// committed before its files go.
#include "LibraryTestEnv.h"

#include "library/LibraryService.h"

namespace librarytest {
namespace {

using BatchTest = LibraryTest;

TEST_F(BatchTest, GroupsCommitsAndUndoesOnlyTheFailingOperation)
{
    const std::u16string tavGuid = CreateUnit(u"a");
    {
        CSqliteDB db;
        db.Open(W(UserFolder() / "library.db"));
        ASSERT_EQ(0, db.ExecuteStatement(u"create trigger Refuse before insert on NoteLabel when new.Label='refused' "
                                         u"begin select raise(abort, 'refused'); end"));
    }
    ASSERT_EQ(kLibraryOk, Service().BeginBatch(User()));
    const std::u16string folder = AddFolder(tavGuid, tavGuid, u"f");
    const std::u16string literGuid = AddLiterature(tavGuid, folder, u"10.1/x", u"t");
    auto refused = std::make_shared<SNoteInfo>();
    refused->PosID = u"p1";
    refused->LiterGuid = literGuid;
    EXPECT_EQ(kLibraryStorageError, Service().AddNote(refused, {u"fine", u"refused"}, tavGuid, User(), 0));
    auto kept = std::make_shared<SNoteInfo>();
    kept->PosID = u"p2";
    kept->LiterGuid = literGuid;
    EXPECT_EQ(kLibraryOk, Service().AddNote(kept, {u"fine"}, tavGuid, User(), 0));
    // Inside the batch the service reads its own writes; other connections see nothing yet.
    auto fetched = std::make_shared<SNoteInfo>();
    EXPECT_EQ(kLibraryOk, Service().GetNote(fetched, tavGuid, User(), u"p2", 1));
    EXPECT_EQ(literGuid, fetched->LiterGuid);
    EXPECT_EQ(0, CountRows("Folder", tavGuid));

    EXPECT_EQ(kLibraryOk, Service().EndBatch());
    EXPECT_EQ(1, CountRows("Folder", tavGuid));
    EXPECT_EQ(1, CountRows("Literature", tavGuid));
    EXPECT_EQ(1, CountRows("Note", tavGuid));
    EXPECT_EQ(1, CountRows("NoteLabel", tavGuid));
}

TEST_F(BatchTest, CommitsAlongTheWayAndRemovalCommitsBeforeFilesGo)
{
    const std::u16string tavGuid = CreateUnit(u"a");
    ASSERT_EQ(kLibraryOk, Service().BeginBatch(User()));
    for (int i = 0; i < CLibraryService::kBatchOperations; ++i)
        AddFolder(tavGuid, tavGuid, u"f");
    // A full batch is committed without waiting for its end.
    EXPECT_EQ(CLibraryService::kBatchOperations, CountRows("Folder", tavGuid));

    std::u16string stored;
    ASSERT_EQ(kLibraryOk, Service().StoreAttachment(stored, W(WriteSource("a.pdf", "pdf")), User(), tavGuid));
    EXPECT_EQ(kLibraryOk, Service().DeleteLearningUnit(tavGuid, User()));
    EXPECT_EQ(0, CountRows("Folder", tavGuid));
    EXPECT_EQ(0, CountRows("LearningUnit", tavGuid));
    EXPECT_FALSE(fs::exists(P(stored)));
    EXPECT_EQ(kLibraryOk, Service().EndBatch());

    // After the batch every operation commits on its own again.
    const std::u16string next = CreateUnit(u"b");
    AddFolder(next, next, u"g");
    EXPECT_EQ(1, CountRows("Folder", next));
}

} // namespace
} // namespace librarytest
