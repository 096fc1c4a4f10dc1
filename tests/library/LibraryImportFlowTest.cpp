// The path an import takes through the service, checked through the reader and the file.
#include "LibraryTestEnv.h"

namespace librarytest {
namespace {

using ImportFlowTest = LibraryTest;

TEST_F(ImportFlowTest, EntryFoldersLiteratureAttachmentNotesAndCompletion)
{
    // Entry: a GUID is filled in and the library file appears under the user's sync folder.
    const std::u16string tavGuid = CreateUnit(u"学习单元 a");
    ASSERT_TRUE(IsGuidText(tavGuid));
    EXPECT_TRUE(fs::is_regular_file(UserFolder() / "library.db"));

    // Folders: a top-level folder hangs under the entry, a subfolder under it.
    const std::u16string top = AddFolder(tavGuid, tavGuid, u"要学习的文献");
    const std::u16string sub = AddFolder(tavGuid, top, u"子文献夹");
    const std::u16string second = AddFolder(tavGuid, tavGuid, u"第二个");
    ASSERT_TRUE(IsGuidText(top));
    ASSERT_TRUE(IsGuidText(sub));
    EXPECT_NE(top, sub);

    // The same DOI offered for another folder is the same literature, filed twice.
    const std::u16string literGuid = AddLiterature(tavGuid, top, u"10.1000/ABC", u"论文一");
    ASSERT_TRUE(IsGuidText(literGuid));
    EXPECT_EQ(literGuid, AddLiterature(tavGuid, sub, u" 10.1000/abc ", u"论文一（重复）"));
    const std::u16string other = AddLiterature(tavGuid, sub, u"10.1000/other", u"论文二");
    EXPECT_NE(literGuid, other);

    CLibraryReader reader(User());
    std::vector<std::shared_ptr<SLiteratureInfo>> literature;
    ASSERT_EQ(kLibraryOk, reader.ListLiterature(tavGuid, literature));
    ASSERT_EQ(2u, literature.size());
    EXPECT_EQ(u"论文一", literature[0]->Title); // the first offer's fields are kept
    EXPECT_EQ(u"10.1000/ABC", literature[0]->DOI);
    std::vector<std::u16string> filedIn;
    ASSERT_EQ(kLibraryOk, reader.ListLiteratureFolders(tavGuid, literGuid, filedIn));
    EXPECT_EQ((std::vector<std::u16string> {top, sub}), filedIn);
    ASSERT_EQ(kLibraryOk, reader.ListFolderLiterature(tavGuid, sub, literature));
    ASSERT_EQ(2u, literature.size());
    EXPECT_EQ(literGuid, literature[0]->LiterGuid);
    EXPECT_EQ(other, literature[1]->LiterGuid);

    std::vector<SLibraryFolderNode> tree;
    ASSERT_EQ(kLibraryOk, reader.GetFolderTree(tavGuid, tree));
    ASSERT_EQ(3u, tree.size());
    EXPECT_EQ(top, tree[0].Folder->FolderGuid);
    EXPECT_EQ(0, tree[0].Depth);
    EXPECT_EQ(1, tree[0].LiteratureCount);
    EXPECT_EQ(sub, tree[1].Folder->FolderGuid);
    EXPECT_EQ(1, tree[1].Depth);
    EXPECT_EQ(top, tree[1].Folder->ParentGuid);
    EXPECT_EQ(2, tree[1].LiteratureCount);
    EXPECT_EQ(second, tree[2].Folder->FolderGuid);
    EXPECT_EQ(0, tree[2].Depth);

    // Reading state.
    auto relate = std::make_shared<SLiteratureRelate>();
    relate->LiterGuid = literGuid;
    relate->LastReadTime = u"2017-06-06 09:44:59";
    relate->MarkPos = u"<NoteSet><NoteItems/></NoteSet>";
    relate->Locked = 1;
    relate->LastReadPos = 42;
    relate->ReadingProgress = 77;
    relate->FileType = 3;
    EXPECT_EQ(kLibraryOk, Service().AddLiteratureRelate(relate, tavGuid, User(), top, 0));
    std::shared_ptr<SLiteratureRelate> readRelate;
    ASSERT_EQ(kLibraryOk, reader.GetLiteratureRelate(tavGuid, literGuid, readRelate));
    EXPECT_EQ(relate->LastReadTime, readRelate->LastReadTime);
    EXPECT_EQ(relate->MarkPos, readRelate->MarkPos);
    EXPECT_EQ(1, readRelate->Locked);
    EXPECT_EQ(42, readRelate->LastReadPos);
    EXPECT_EQ(77, readRelate->ReadingProgress);
    EXPECT_EQ(3, readRelate->FileType);
    EXPECT_EQ(u"alice", readRelate->OwnerName);

    // Attachment: copied under the entry's folder, its stored path handed back.
    const fs::path source = WriteSource("paper.pdf", "%PDF-1.4 body");
    std::u16string stored = W(source);
    ASSERT_EQ(kLibraryOk, Service().StoreAttachment(stored, W(source), User(), tavGuid));
    EXPECT_EQ(AttachmentFolder(tavGuid) / "paper.pdf", P(stored));
    EXPECT_EQ("%PDF-1.4 body", ReadFile(P(stored)));
    EXPECT_TRUE(fs::exists(source)); // copied, not moved

    // Notes with labels, read back by PosID, then updated.
    auto note = std::make_shared<SNoteInfo>();
    note->LiterGuid = literGuid;
    note->PosID = u"pos-1";
    note->Title = u"笔记";
    note->Content = u"<p>内容</p>";
    note->Comments = u"<Comments><Comment id=\"1\"/></Comments>";
    note->TypeID = 10;
    note->IsPublic = 2;
    note->Importance = 4;
    EXPECT_EQ(kLibraryOk, Service().AddNote(note, {u"重点", u"复习", u"重点"}, tavGuid, User(), 0));
    auto plain = std::make_shared<SNoteInfo>();
    plain->PosID = u"pos-2";
    plain->Title = u"没有文献的笔记";
    EXPECT_EQ(kLibraryOk, Service().AddNote(plain, {}, tavGuid, User(), 0));

    auto fetched = std::make_shared<SNoteInfo>();
    ASSERT_EQ(kLibraryOk, Service().GetNote(fetched, tavGuid, User(), u"pos-1", 1));
    EXPECT_EQ(literGuid, fetched->LiterGuid);
    EXPECT_EQ(tavGuid, fetched->TavGuid);
    EXPECT_EQ(u"pos-1", fetched->PosID);
    EXPECT_EQ(u"笔记", fetched->Title);
    EXPECT_EQ(note->Content, fetched->Content);
    EXPECT_EQ(note->Comments, fetched->Comments);
    EXPECT_EQ(10, fetched->TypeID);
    EXPECT_EQ(2, fetched->IsPublic);
    EXPECT_EQ(4, fetched->Importance);
    EXPECT_EQ(u"alice", fetched->OwnerName);

    fetched->Comments = u"<Comments><NoteItems><Item acp=\"1\" id=\"pos-1\"/></NoteItems></Comments>";
    EXPECT_EQ(kLibraryOk, Service().UpdateNote(fetched, fetched->TavGuid, User(), 1));
    std::shared_ptr<SNoteInfo> again; // an empty handle receives a new record
    ASSERT_EQ(kLibraryOk, Service().GetNote(again, tavGuid, User(), u"pos-1", 1));
    ASSERT_TRUE(again);
    EXPECT_EQ(fetched->Comments, again->Comments);
    EXPECT_EQ(u"笔记", again->Title);

    std::vector<SLibraryNote> notes;
    ASSERT_EQ(kLibraryOk, reader.ListNotes(tavGuid, notes));
    ASSERT_EQ(2u, notes.size());
    EXPECT_EQ((std::list<std::u16string> {u"重点", u"复习", u"重点"}), notes[0].Labels);
    EXPECT_TRUE(notes[1].Labels.empty());
    ASSERT_EQ(kLibraryOk, reader.ListLiteratureNotes(tavGuid, literGuid, notes));
    ASSERT_EQ(1u, notes.size());
    EXPECT_EQ(fetched->Comments, notes[0].Note->Comments);

    // Completion.
    std::vector<SLibraryEntry> entries;
    ASSERT_EQ(kLibraryOk, reader.ListEntries(entries));
    ASSERT_EQ(1u, entries.size());
    EXPECT_FALSE(entries[0].Complete);
    EXPECT_EQ(kLibraryOk, Service().CompleteLearningUnit(tavGuid, User()));
    ASSERT_EQ(kLibraryOk, reader.ListEntries(entries));
    ASSERT_EQ(1u, entries.size());
    EXPECT_TRUE(entries[0].Complete);
    EXPECT_FALSE(entries[0].CompleteTime.empty());
    EXPECT_EQ(u"学习单元 a", entries[0].Name);
    EXPECT_EQ(3, entries[0].FolderCount);
    EXPECT_EQ(2, entries[0].LiteratureCount);
    EXPECT_EQ(2, entries[0].NoteCount);
}

TEST_F(ImportFlowTest, LiteratureWithoutDoiIsTheSameOnlyWhenItsDataAgree)
{
    const std::u16string tavGuid = CreateUnit(u"u");
    const std::u16string a = AddFolder(tavGuid, tavGuid, u"a");
    const std::u16string b = AddFolder(tavGuid, tavGuid, u"b");
    const std::u16string first = AddLiterature(tavGuid, a, u"", u"标题");
    EXPECT_EQ(first, AddLiterature(tavGuid, b, u"", u"标题"));
    EXPECT_NE(first, AddLiterature(tavGuid, b, u"", u"另一个标题"));
    // Without title and DOI nothing identifies a literature: each offer is its own.
    const std::u16string untitled = AddLiterature(tavGuid, a, u"", u"");
    EXPECT_NE(untitled, AddLiterature(tavGuid, b, u"", u""));
    // The same DOI in another entry is another literature.
    const std::u16string otherUnit = CreateUnit(u"v");
    const std::u16string c = AddFolder(otherUnit, otherUnit, u"c");
    const std::u16string doi = AddLiterature(tavGuid, a, u"10.1/x", u"t");
    EXPECT_NE(doi, AddLiterature(otherUnit, c, u"10.1/x", u"t"));
}

TEST_F(ImportFlowTest, NoteWithoutPosIdReceivesOne)
{
    const std::u16string tavGuid = CreateUnit(u"u");
    auto note = std::make_shared<SNoteInfo>();
    note->Title = u"t";
    ASSERT_EQ(kLibraryOk, Service().AddNote(note, {}, tavGuid, User(), 0));
    ASSERT_FALSE(note->PosID.empty());
    auto fetched = std::make_shared<SNoteInfo>();
    ASSERT_EQ(kLibraryOk, Service().GetNote(fetched, tavGuid, User(), note->PosID, 1));
    EXPECT_EQ(u"t", fetched->Title);
}

TEST_F(ImportFlowTest, ApostrophesAndQuotesSurviveEveryField)
{
    const std::u16string tricky = u"O'Brien's \"notes\"; drop table Note; --'";
    OvSysUser::Instance().SetUser(u"o'neil");
    const std::u16string tavGuid = CreateUnit(tricky);
    const std::u16string folder = AddFolder(tavGuid, tavGuid, tricky);
    const std::u16string literGuid = AddLiterature(tavGuid, folder, u"10.1/it's", tricky);
    EXPECT_EQ(literGuid, AddLiterature(tavGuid, folder, u"10.1/IT'S", u"again"));
    auto note = std::make_shared<SNoteInfo>();
    note->PosID = u"p'1";
    note->LiterGuid = literGuid;
    note->Comments = tricky;
    ASSERT_EQ(kLibraryOk, Service().AddNote(note, {tricky}, tavGuid, User(), 0));

    const fs::path source = WriteSource("it's.pdf", "x");
    std::u16string stored;
    ASSERT_EQ(kLibraryOk, Service().StoreAttachment(stored, W(source), User(), tavGuid));
    EXPECT_EQ(AttachmentFolder(tavGuid, "o'neil") / "it's.pdf", P(stored));

    CLibraryReader reader(u"o'neil");
    std::vector<SLibraryEntry> entries;
    ASSERT_EQ(kLibraryOk, reader.ListEntries(entries));
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(tricky, entries[0].Name);
    std::vector<SLibraryFolderNode> tree;
    ASSERT_EQ(kLibraryOk, reader.GetFolderTree(tavGuid, tree));
    ASSERT_EQ(1u, tree.size());
    EXPECT_EQ(tricky, tree[0].Folder->Name);
    std::vector<SLibraryNote> notes;
    ASSERT_EQ(kLibraryOk, reader.ListNotes(tavGuid, notes));
    ASSERT_EQ(1u, notes.size());
    EXPECT_EQ(tricky, notes[0].Note->Comments);
    EXPECT_EQ(u"o'neil", notes[0].Note->OwnerName);
    EXPECT_EQ(std::list<std::u16string> {tricky}, notes[0].Labels);
    std::vector<SLibraryAttachment> attachments;
    ASSERT_EQ(kLibraryOk, reader.ListAttachments(tavGuid, attachments));
    ASSERT_EQ(1u, attachments.size());
    EXPECT_EQ(W(source), attachments[0].SourcePath);
}

} // namespace
} // namespace librarytest
