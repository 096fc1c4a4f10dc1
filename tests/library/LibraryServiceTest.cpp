// The personal library service and its reader.
#include "library/LibraryErrors.h"
#include "library/LibraryReader.h"
#include "library/LibraryService.h"
#include "sqlite/SqliteDB.h"
#include "support/IniFile.h"
#include "support/SupportTestEnv.h"
#include "support/SyncSettings.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

namespace {

namespace fs = std::filesystem;
using Texts = std::list<std::u16string>;
using Guids = std::vector<std::u16string>;
using supporttest::ReadWholeFile;

std::u16string W(const fs::path& path) { return Utf8ToWide(path.string()); }
fs::path P(const std::u16string& path) { return fs::path(WideToUtf8(path)); }
IOvDataMiddle& Service() { return IOvDataMiddle::Instance(); }
std::u16string User() { return OvSysUser::Instance().GetUser(); }
const std::u16string kUnknown = u"0123456789ABCDEF0123456789ABCDEF";

std::u16string CreateUnit(const std::u16string& name, int32_t expected = kLibraryOk)
{
    auto info = std::make_shared<STavInfo>();
    info->Name = name;
    EXPECT_EQ(expected, Service().CreateLearningUnit(info, User(), 0, 0)) << WideToUtf8(User());
    return info->TavGuid;
}
std::u16string AddFolder(const std::u16string& tavGuid, const std::u16string& parentGuid, const std::u16string& name,
                         int32_t expected = kLibraryOk)
{
    auto folder = std::make_shared<SLiteratureFolder>();
    std::tie(folder->Name, folder->ParentGuid) = std::tie(name, parentGuid);
    EXPECT_EQ(expected, Service().AddFolder(folder, tavGuid, User(), 0));
    return folder->FolderGuid;
}
std::u16string AddLiterature(const std::u16string& tavGuid, const std::u16string& folderGuid, const std::u16string& doi,
                             const std::u16string& title, int32_t expected = kLibraryOk)
{
    auto literature = std::make_shared<SLiteratureInfo>();
    std::tie(literature->DOI, literature->Title) = std::tie(doi, title);
    EXPECT_EQ(expected, Service().AddLiterature(literature, tavGuid, User(), folderGuid, 0, 0));
    return literature->LiterGuid;
}
int32_t AddNote(const std::u16string& tavGuid, const std::u16string& posId, const std::u16string& literGuid,
                const Texts& labels = {}, const std::u16string& title = {})
{
    auto note = std::make_shared<SNoteInfo>();
    std::tie(note->PosID, note->LiterGuid, note->Title) = std::tie(posId, literGuid, title);
    return Service().AddNote(note, labels, tavGuid, User(), 0);
}

// Points the desktop application's settings in `home` at the sync folder `name` below it, as the
// application writes them, signs `user` in and starts the service; returns the sync folder.
fs::path StartLibrary(const supporttest::TempHome& home, const std::string& name, const std::u16string& user)
{
    const fs::path sync = home.Root() / name;
    EXPECT_TRUE(WriteIniValue(SyncroSetFilePath(), u"SyncroSet", u"SyncPath", W(sync)));
    OvSysUser::Instance().SetUser(user);
    IOvDataMiddle::Initialize(-1);
    return sync;
}

// Runs `statement` straight on a library file, through a connection of its own, as another
// program would.
int32_t RunSql(const fs::path& library, const std::u16string& statement, bool scalar = false)
{
    CSqliteDB db;
    db.Open(W(library));
    return scalar ? db.ExecuteScalar(statement) : db.ExecuteStatement(statement);
}

// An entry filled as an import fills it, quotes in every text, read back whole and removed alone; then
// each operation is all or nothing, inside a batch too, and a batch's writes wait for its end or its fill.
TEST(LibraryTest, RoundTripRemovalRefusalsAndBatches)
{
    const supporttest::TempHome home;
    const fs::path sync = StartLibrary(home, "sync folder", u"alice");
    // Writes a source file below sources/ and stores it as an attachment of the entry.
    const auto attach = [&](const std::u16string& tavGuid, const std::string& name, const std::string& bytes,
                            int32_t expected = kLibraryOk) {
        const fs::path source = home.Root() / "sources" / name;
        supporttest::WriteWholeFile(source, bytes);
        std::u16string stored;
        EXPECT_EQ(expected, Service().StoreAttachment(stored, W(source), User(), tavGuid));
        return stored;
    };
    const auto attachmentFolder = [&](const std::u16string& guid) { return sync / "alice/attachments" / P(guid); };
    const auto sql = [&](const std::u16string& statement, bool scalar = false) {
        return RunSql(sync / "alice/library.db", statement, scalar);
    };
    const auto countRows = [&](const std::string& table, const std::u16string& tavGuid) {
        return sql(u"select count(*) from " + Utf8ToWide(table) + u" where TavGuid='" + tavGuid + u"'", true);
    };

    const std::u16string tricky = u"O'Brien's \"notes\"; drop table Note; --'";
    const std::u16string tavGuid = CreateUnit(tricky);
    const std::u16string top = AddFolder(tavGuid, tavGuid, tricky);
    const std::u16string sub = AddFolder(tavGuid, top, u"子文献夹");
    const std::u16string second = AddFolder(tavGuid, tavGuid, u"第二个");
    // The same DOI (case and blanks aside), or without a DOI the same title, is one literature filed twice.
    const std::u16string one = AddLiterature(tavGuid, top, u"10.1000/AZ-It's", tricky);
    EXPECT_EQ(one, AddLiterature(tavGuid, sub, u" 10.1000/az-IT'S\u3000", u"重复"));
    const std::u16string two = AddLiterature(tavGuid, sub, u"", u"论文二");
    EXPECT_EQ(two, AddLiterature(tavGuid, second, u"", u"论文二"));
    EXPECT_NE(AddLiterature(tavGuid, second, u"", u""), AddLiterature(tavGuid, second, u"", u""));
    const std::u16string other = CreateUnit(u"b");
    EXPECT_NE(one, AddLiterature(other, AddFolder(other, other, u"c"), u"10.1000/AZ-It's", u"t"));
    auto relate = std::make_shared<SLiteratureRelate>();
    std::tie(relate->LiterGuid, relate->LastReadTime, relate->ReadingProgress) = std::make_tuple(one, tricky, 77);
    EXPECT_EQ(kLibraryOk, Service().AddLiteratureRelate(relate, tavGuid, User(), top, 0));
    const std::u16string stored = attach(tavGuid, "it's.pdf", "%PDF");
    auto note = std::make_shared<SNoteInfo>();
    std::tie(note->LiterGuid, note->PosID, note->Content, note->Comments, note->IsPublic) =
        std::make_tuple(one, u"p'1", u"<p>内容</p>", tricky, 2);
    EXPECT_EQ(kLibraryOk, Service().AddNote(note, {tricky, u"复习", tricky}, tavGuid, User(), 0));
    EXPECT_EQ(kLibraryOk, AddNote(tavGuid, u"", u"")); // the service gives it a PosID
    EXPECT_EQ(kLibraryOk, AddNote(other, u"p'1", u"", {u"z"})); // same position, another entry
    auto fetched = std::make_shared<SNoteInfo>();
    ASSERT_EQ(kLibraryOk, Service().GetNote(fetched, tavGuid, User(), u"p'1", 1));
    EXPECT_EQ(std::make_tuple(fetched->LiterGuid, fetched->Content, fetched->Comments, fetched->IsPublic),
              std::make_tuple(one, note->Content, tricky, 2));
    fetched->Comments = u"<Comments><NoteItems><Item acp=\"1\" id=\"p'1\"/></NoteItems></Comments>";
    EXPECT_EQ(kLibraryOk, Service().UpdateNote(fetched, tavGuid, User(), 1));
    EXPECT_EQ(kLibraryOk, Service().CompleteLearningUnit(tavGuid, User()));

    SLibraryEntryContents contents;
    ASSERT_EQ(kLibraryOk, CLibraryReader(User()).ReadEntryContents(tavGuid, contents));
    const SLibraryEntry& entry = contents.Entry;
    EXPECT_EQ(std::make_tuple(entry.Name, entry.Complete, entry.FolderCount, entry.LiteratureCount, entry.NoteCount),
              std::make_tuple(tricky, true, 3, 4, 2));
    std::vector<std::tuple<std::u16string, int32_t, int32_t>> folders; // name, depth, literature
    for (const SLibraryFolderNode& node : contents.Folders)
        folders.emplace_back(node.Folder->Name, node.Depth, node.LiteratureCount);
    EXPECT_EQ(folders, (decltype(folders){{tricky, 0, 1}, {u"子文献夹", 1, 2}, {u"第二个", 0, 3}}));
    EXPECT_EQ(contents.FolderLiterature.at(sub), (Guids{one, two}));
    EXPECT_EQ(contents.Literature[0]->Title, tricky); // the first offer's fields
    EXPECT_EQ(std::make_pair(contents.Relates.at(one)->LastReadTime, contents.Relates.at(one)->ReadingProgress),
              std::make_pair(tricky, 77));
    ASSERT_EQ(2u, contents.Notes.size());
    EXPECT_EQ(contents.Notes[0].Note->Comments, fetched->Comments);
    EXPECT_EQ((Texts{tricky, u"复习", tricky}), contents.Notes[0].Labels);
    EXPECT_EQ(1u, contents.Attachments.size());

    // Removal reaches the entry's rows and files only, and only by a GUID of the signed-in user.
    const std::u16string kept = attach(other, "x/it's.pdf", "kept");
    OvSysUser::Instance().SetUser(u"bob");
    EXPECT_EQ(kLibraryUnitNotFound, Service().DeleteLearningUnit(tavGuid, User()));
    OvSysUser::Instance().SetUser(u"alice");
    for (const std::u16string& bad : Guids{u"..", u"../..", u"", u"0123456789abcdef0123456789ABCDEF"}) {
        EXPECT_EQ(kLibraryBadArgument, Service().DeleteLearningUnit(bad, User()));
        EXPECT_EQ(kLibraryBadArgument, Service().StoreAttachment(fetched->Title, stored, User(), bad));
    }
    EXPECT_EQ(kLibraryOk, Service().DeleteLearningUnit(tavGuid, User()));
    for (const char* table : {"LearningUnit", "Folder", "Literature", "FolderLiterature", "LiteratureRelate", "Note",
                              "NoteLabel", "Attachment"})
        EXPECT_EQ(0, countRows(table, tavGuid)) << table;
    for (const char* table : {"LearningUnit", "FolderLiterature", "NoteLabel", "Attachment"})
        EXPECT_EQ(1, countRows(table, other)) << table;
    EXPECT_FALSE(fs::exists(attachmentFolder(tavGuid)));
    EXPECT_EQ("kept", ReadWholeFile(P(kept)));

    // The same name and bytes are stored once, other bytes under a new name, the source left where it
    // was; a missing source or unknown entry stores nothing.
    const std::u16string copied = attach(other, "one/paper.pdf", "first");
    EXPECT_EQ(P(copied), attachmentFolder(other) / "paper.pdf");
    EXPECT_EQ(P(attach(other, "two/paper.pdf", "second")), attachmentFolder(other) / "paper (2).pdf");
    EXPECT_EQ(copied, attach(other, "three/paper.pdf", "first"));
    EXPECT_EQ("second", ReadWholeFile(home.Root() / "sources" / "two" / "paper.pdf"));
    EXPECT_EQ(3, std::distance(fs::directory_iterator(attachmentFolder(other)), fs::directory_iterator()));
    for (const std::u16string& missing : Guids{u"D:\\u\\a.pdf", W(home.Root() / "nope.pdf"), u"", W(home.Root())}) {
        std::u16string out = missing;
        EXPECT_EQ(kLibrarySourceMissing, Service().StoreAttachment(out, missing, User(), other));
        EXPECT_EQ(missing, out); // left as it was
    }
    EXPECT_EQ(u"", attach(kUnknown, "x.caj", "data", kLibraryUnitNotFound));
    EXPECT_FALSE(fs::exists(attachmentFolder(kUnknown)));

    const std::u16string a = CreateUnit(u"a");
    const std::u16string folder = AddFolder(a, a, u"f");
    const std::u16string b = CreateUnit(u"b");
    const std::u16string bFolder = AddFolder(b, b, u"g");
    // A prefix names one entry or says why not. A twin shares the first ten digits of `a` only.
    const std::u16string twin = a.substr(0, 10) + (a[10] == u'0' ? u"1" : u"0") + std::u16string(21, u'0');
    ASSERT_EQ(0, sql(u"insert into LearningUnit(TavGuid,Name) values('" + twin + u"','twin')"));
    std::u16string lower = a.substr(0, 11);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char16_t c) { return char16_t(c | 0x20); });
    for (const auto& [prefix, result, count] : std::vector<std::tuple<std::u16string, int32_t, size_t>>{
             {a, kLibraryOk, 1}, {lower, kLibraryOk, 1}, {a.substr(0, 10), kLibraryAmbiguousEntry, 2},
             {a + u"0", kLibraryUnitNotFound, 0}, {u"%", kLibraryUnitNotFound, 0}, {u"_", kLibraryUnitNotFound, 0},
             {a.substr(0, 4) + u"'", kLibraryUnitNotFound, 0}, {u"", kLibraryBadArgument, 0}}) {
        std::vector<SLibraryEntry> matches;
        EXPECT_EQ(result, CLibraryReader(User()).FindEntries(prefix, matches)) << WideToUtf8(prefix);
        ASSERT_EQ(count, matches.size()) << WideToUtf8(prefix);
        EXPECT_TRUE(result != kLibraryOk || matches[0].TavGuid == a);
    }
    EXPECT_EQ(u"", AddFolder(a, bFolder, u"s", kLibraryFolderNotFound)); // a parent of another entry
    EXPECT_EQ(u"", AddLiterature(a, bFolder, u"10.1/x", u"t", kLibraryFolderNotFound));
    relate->LiterGuid = kUnknown;
    EXPECT_EQ(kLibraryLiteratureNotFound, Service().AddLiteratureRelate(relate, a, User(), folder, 0));
    EXPECT_EQ(kLibraryLiteratureNotFound, AddNote(a, u"p", kUnknown, {u"x"}));
    EXPECT_EQ(kLibraryUnitNotFound, AddNote(kUnknown, u"p", u""));
    EXPECT_EQ(0, countRows("Literature", a) + countRows("NoteLabel", a));
    const std::u16string aStored = attach(a, "a.pdf", "pdf");
    ASSERT_EQ(0, sql(u"create trigger R1 before insert on NoteLabel when new.Label='refused' "
                     u"begin select raise(abort, 'r'); end"));
    ASSERT_EQ(0, sql(u"create trigger R2 before insert on Attachment begin select raise(abort, 'r'); end"));
    ASSERT_EQ(0, sql(u"create trigger R3 before delete on LearningUnit begin select raise(abort, 'r'); end"));
    EXPECT_EQ(kLibraryStorageError, AddNote(a, u"p", u"", {u"fine", u"refused"}));
    EXPECT_EQ(0, countRows("Note", a) + countRows("NoteLabel", a));
    // Nothing of the failed try is in the way; a PosID already taken keeps the first note and its labels.
    EXPECT_EQ(kLibraryOk, AddNote(a, u"p", u"", {u"fine"}, u"first"));
    EXPECT_EQ(kLibraryNoteExists, AddNote(a, u"p", u"", {u"two", u"three"}, u"second"));
    EXPECT_EQ(kLibraryNoteNotFound, Service().GetNote(fetched, b, User(), u"p", 1));
    EXPECT_EQ(u"", attach(a, "b.pdf", "b", kLibraryStorageError));
    EXPECT_FALSE(fs::exists(attachmentFolder(a) / "b.pdf"));
    EXPECT_EQ(kLibraryStorageError, Service().DeleteLearningUnit(a, User()));
    for (const char* table : {"Folder", "Attachment", "Note", "NoteLabel"})
        EXPECT_EQ(1, countRows(table, a)) << table;
    EXPECT_EQ("pdf", ReadWholeFile(P(aStored)));
    ASSERT_EQ(0, sql(u"drop trigger R3"));

    ASSERT_EQ(kLibraryOk, Service().BeginBatch(User()));
    const std::u16string literGuid = AddLiterature(b, bFolder, u"10.1/x", u"t");
    EXPECT_EQ(kLibraryStorageError, AddNote(b, u"p1", literGuid, {u"fine", u"refused"}));
    EXPECT_EQ(kLibraryOk, AddNote(b, u"p2", literGuid, {u"fine"}));
    ASSERT_EQ(kLibraryOk, Service().GetNote(fetched, b, User(), u"p2", 1));
    EXPECT_EQ(literGuid, fetched->LiterGuid);
    EXPECT_EQ(0, countRows("Literature", b));
    EXPECT_EQ(kLibraryOk, Service().EndBatch());
    for (const char* table : {"Literature", "Note", "NoteLabel"})
        EXPECT_EQ(1, countRows(table, b)) << table;
    // The readers narrow to the literature named, whatever its GUID holds; an empty one names none.
    relate->LiterGuid = literGuid;
    ASSERT_EQ(kLibraryOk, Service().AddLiteratureRelate(relate, b, User(), bFolder, 0));
    for (const auto& [guid, found] : std::vector<std::pair<std::u16string, size_t>>{
             {literGuid, 1}, {u"", 0}, {u"x' or '1'='1", 0}}) {
        std::vector<SLibraryNote> notes;
        std::shared_ptr<SLiteratureRelate> state;
        EXPECT_EQ(kLibraryOk, CLibraryReader(User()).ListLiteratureNotes(b, guid, notes));
        EXPECT_EQ(found, notes.size());
        EXPECT_EQ(found == 1 ? kLibraryOk : kLibraryLiteratureNotFound, CLibraryReader(User()).GetLiteratureRelate(b, guid, state));
    }

    ASSERT_EQ(kLibraryOk, Service().BeginBatch(User()));
    for (int i = 0; i < CLibraryService::kBatchOperations; ++i)
        AddFolder(b, b, u"g");
    EXPECT_EQ(CLibraryService::kBatchOperations + 1, countRows("Folder", b)); // a full batch goes at once
    AddFolder(b, b, u"g");
    auto bobs = std::make_shared<STavInfo>();
    ASSERT_EQ(kLibraryOk, Service().CreateLearningUnit(bobs, u"bob", 0, 0)); // another library: the batch goes first
    EXPECT_EQ(CLibraryService::kBatchOperations + 2, countRows("Folder", b));
    EXPECT_EQ(kLibraryOk, Service().DeleteLearningUnit(a, User()));
    EXPECT_EQ(0, countRows("LearningUnit", a) + countRows("Folder", a));
    EXPECT_FALSE(fs::exists(P(aStored)));
    EXPECT_EQ(kLibraryOk, Service().EndBatch());
    AddFolder(b, b, u"h"); // each operation commits on its own again
    EXPECT_EQ(CLibraryService::kBatchOperations + 3, countRows("Folder", b));

    // No user, one whose name leaves the sync folder, or a library file that is no database gets
    // nothing made or changed; without a service every call answers with a code.
    for (const std::u16string& user : Guids{u"", u"..", u".", u"a/b", u"..\\x", u"a\nb"}) {
        OvSysUser::Instance().SetUser(user);
        EXPECT_EQ(u"", CreateUnit(u"x", user.empty() ? kLibraryNoUser : kLibraryBadUserName));
    }
    EXPECT_EQ((std::set<fs::path>{sync / "alice", sync / "bob"}),
              std::set<fs::path>(fs::directory_iterator(sync), fs::directory_iterator()));
    EXPECT_FALSE(fs::exists(sync.parent_path() / "library.db"));
    OvSysUser::Instance().SetUser(u"carol");
    const std::string garbage(4096, 'x');
    supporttest::WriteWholeFile(sync / "carol/library.db", garbage);
    EXPECT_EQ(u"", CreateUnit(u"x", kLibraryCannotOpen));
    EXPECT_EQ(garbage, ReadWholeFile(sync / "carol/library.db"));
    IOvDataMiddle::Uninitialize();
    EXPECT_EQ(u"", CreateUnit(u"c", kLibraryNotInitialized));
    OvSysUser::Instance().ClearOverride();
}

// Inside a batch: a failed operation of one statement leaves the batch's earlier operations; a
// failure that makes SQLite drop the whole transaction fails the batch and every operation after
// it; what a batch learnt of the library does not outlive its commit.
TEST(LibraryTest, BatchFailuresAndWhatABatchKnows)
{
    const supporttest::TempHome home;
    const fs::path sync = StartLibrary(home, "sync", u"dora");
    const auto sql = [&](const std::u16string& statement, bool scalar = false) {
        return RunSql(sync / "dora/library.db", statement, scalar);
    };
    const auto folders = [&](const std::u16string& tavGuid) {
        return sql(u"select count(*) from Folder where TavGuid='" + tavGuid + u"'", true);
    };
    const auto attach = [&](const std::u16string& tavGuid) {
        const fs::path source = home.Root() / "a.pdf";
        supporttest::WriteWholeFile(source, "pdf");
        std::u16string stored;
        return Service().StoreAttachment(stored, W(source), User(), tavGuid);
    };
    const std::u16string unit = CreateUnit(u"u");
    const std::u16string other = CreateUnit(u"v");
    // A record without an owner is stored as the user's; one with an owner keeps it. A text
    // with NUL characters is stored without them.
    const std::u16string literGuid = AddLiterature(unit, AddFolder(unit, unit, u"f"), u"", u"t");
    auto owned = std::make_shared<SNoteInfo>();
    std::tie(owned->PosID, owned->OwnerName) = std::tie(u"p", u"someone");
    ASSERT_EQ(kLibraryOk, Service().AddNote(owned, {}, unit, User(), 0));
    ASSERT_EQ(kLibraryOk, AddNote(unit, u"q", literGuid, {}, std::u16string(u"a\0b", 3)));
    EXPECT_EQ(1, sql(u"select count(*) from Literature where OwnerName='dora' and LiterGuid='" + literGuid + u"'", true));
    EXPECT_EQ(1, sql(u"select count(*) from Note where OwnerName='someone' and PosID='p'", true));
    EXPECT_EQ(1, sql(u"select count(*) from Note where OwnerName='dora' and PosID='q' and Title='ab'", true));

    ASSERT_EQ(0, sql(u"create trigger Refuse before insert on Attachment begin select raise(abort, 'refused'); end"));
    ASSERT_EQ(kLibraryOk, Service().BeginBatch(User()));
    AddFolder(unit, unit, u"kept");
    EXPECT_EQ(kLibraryStorageError, attach(unit));
    EXPECT_EQ(kLibraryNoteExists, AddNote(unit, u"q", literGuid, {u"l"}));
    EXPECT_EQ(kLibraryNoteExists, AddNote(unit, u"p", u""));
    AddFolder(unit, unit, u"kept too");
    EXPECT_EQ(kLibraryOk, Service().EndBatch());
    EXPECT_EQ(3, folders(unit));
    EXPECT_EQ(2, sql(u"select count(*) from Note", true) + sql(u"select count(*) from NoteLabel", true));

    ASSERT_EQ(0, sql(u"drop trigger Refuse"));
    ASSERT_EQ(0, sql(u"create trigger Dropping before insert on Attachment begin select raise(rollback, 'dropped'); end"));
    ASSERT_EQ(kLibraryOk, Service().BeginBatch(User()));
    AddFolder(unit, unit, u"lost");
    EXPECT_EQ(kLibraryStorageError, attach(unit));
    AddFolder(unit, unit, u"after", kLibraryStorageError);
    EXPECT_EQ(kLibraryStorageError, Service().EndBatch());
    EXPECT_EQ(0, sql(u"select count(*) from Folder where Name='lost'", true));
    ASSERT_EQ(0, sql(u"drop trigger Dropping"));

    // The entry `other` is known to the batch; once the batch commits, another program removes it.
    ASSERT_EQ(kLibraryOk, Service().BeginBatch(User()));
    AddFolder(other, other, u"f");
    for (int i = 1; i < CLibraryService::kBatchOperations; ++i)
        AddFolder(unit, unit, u"g");
    EXPECT_EQ(1, folders(other));
    ASSERT_EQ(0, sql(u"delete from LearningUnit where TavGuid='" + other + u"'"));
    AddFolder(other, other, u"too late", kLibraryUnitNotFound);
    EXPECT_EQ(kLibraryOk, Service().EndBatch());
    EXPECT_EQ(1, folders(other));
    // Nor does a look-up made outside any batch count in the next one.
    const std::u16string third = CreateUnit(u"w");
    AddFolder(third, third, u"f");
    ASSERT_EQ(0, sql(u"delete from LearningUnit where TavGuid='" + third + u"'"));
    ASSERT_EQ(kLibraryOk, Service().BeginBatch(User()));
    AddFolder(third, third, u"gone", kLibraryUnitNotFound);
    EXPECT_EQ(kLibraryOk, Service().EndBatch());
    IOvDataMiddle::Uninitialize();
    OvSysUser::Instance().ClearOverride();
}

} // namespace
