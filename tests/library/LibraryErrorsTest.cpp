// Codes and texts, the current user, the service's lifetime, and operations that must fail
// without leaving anything behind.
#include "LibraryTestEnv.h"

#include <set>

namespace librarytest {
namespace {

using ErrorsTest = LibraryTest;

TEST_F(ErrorsTest, EveryCodeHasItsOwnText)
{
    std::set<std::u16string> texts;
    for (int32_t code = kLibraryNotInitialized; code < kLibraryResultEnd; ++code) {
        const std::u16string text = Service().GetErrorText(code);
        EXPECT_FALSE(text.empty()) << code;
        EXPECT_TRUE(texts.insert(text).second) << "shared text for code " << code;
    }
    EXPECT_FALSE(Service().GetErrorText(kLibraryOk).empty());
    const std::u16string unknown = Service().GetErrorText(12345);
    EXPECT_NE(std::u16string::npos, unknown.find(u"12345"));
    EXPECT_EQ(0u, texts.count(unknown));
}

TEST_F(ErrorsTest, NoUserFailsWithTextAndCreatesNothing)
{
    OvSysUser::Instance().ClearOverride(); // and no account is signed in
    ASSERT_TRUE(User().empty());
    auto info = std::make_shared<STavInfo>();
    info->Name = u"a";
    const int32_t result = Service().CreateLearningUnit(info, User(), 0, 0);
    EXPECT_EQ(kLibraryNoUser, result);
    EXPECT_FALSE(Service().GetErrorText(result).empty());
    EXPECT_TRUE(info->TavGuid.empty());
    EXPECT_TRUE(fs::is_empty(m_sync));

    CLibraryReader reader(User());
    std::vector<SLibraryEntry> entries;
    EXPECT_EQ(kLibraryNoUser, reader.ListEntries(entries));
}

TEST_F(ErrorsTest, UserNamesThatLeaveTheSyncFolderAreRefused)
{
    for (const std::u16string& user : {std::u16string(u".."), std::u16string(u"."), std::u16string(u"a/b"),
                                       std::u16string(u"..\\x"), std::u16string(u"a\nb")}) {
        OvSysUser::Instance().SetUser(user);
        auto info = std::make_shared<STavInfo>();
        EXPECT_EQ(kLibraryBadUserName, Service().CreateLearningUnit(info, User(), 0, 0));
    }
    EXPECT_TRUE(fs::is_empty(m_sync));
    EXPECT_FALSE(fs::exists(m_sync.parent_path() / "library.db"));
}

TEST_F(ErrorsTest, SignedInAccountIsTheUserUnlessOverridden)
{
    // The desktop application keeps the account scrambled: each character raised by its
    // position plus 3.
    const std::u16string account = u"张三x";
    std::u16string scrambled;
    for (size_t i = 0; i < account.size(); ++i)
        scrambled.push_back(static_cast<char16_t>(account[i] + i + 3));
    ASSERT_TRUE(WriteIniValue(AppRegistryFilePath(), u"SyncroSet", u"SyncroName", scrambled));

    OvSysUser::Instance().ClearOverride();
    EXPECT_EQ(account, User());
    const std::u16string tavGuid = CreateUnit(u"a");
    EXPECT_TRUE(fs::exists(m_sync / "张三x" / "library.db"));

    OvSysUser::Instance().SetUser(u"bob");
    EXPECT_EQ(u"bob", User());
    CLibraryReader bob(User());
    std::vector<SLibraryEntry> entries;
    EXPECT_EQ(kLibraryNoLibrary, bob.ListEntries(entries));
    EXPECT_FALSE(fs::exists(m_sync / "bob")); // reading creates nothing
    EXPECT_FALSE(bob.GetErrorText(kLibraryNoLibrary).empty());

    OvSysUser::Instance().ClearOverride();
    CLibraryReader signedIn; // the current user
    ASSERT_EQ(kLibraryOk, signedIn.ListEntries(entries));
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(tavGuid, entries[0].TavGuid);
}

TEST_F(ErrorsTest, InitializeNestsAndInstanceWithoutServiceAnswersWithACode)
{
    IOvDataMiddle::Initialize(-1); // a second store object
    IOvDataMiddle::Uninitialize(); // ... goes away; the first one's service stays
    EXPECT_TRUE(IsGuidText(CreateUnit(u"a")));

    IOvDataMiddle::Uninitialize(); // the last one goes
    auto info = std::make_shared<STavInfo>();
    const int32_t result = IOvDataMiddle::Instance().CreateLearningUnit(info, User(), 0, 0);
    EXPECT_EQ(kLibraryNotInitialized, result);
    EXPECT_FALSE(IOvDataMiddle::Instance().GetErrorText(result).empty());
    auto note = std::make_shared<SNoteInfo>();
    EXPECT_EQ(kLibraryNotInitialized, IOvDataMiddle::Instance().GetNote(note, u"0123456789ABCDEF0123456789ABCDEF", User(), u"p", 1));
    IOvDataMiddle::Uninitialize(); // one too many does no harm

    IOvDataMiddle::Initialize(-1); // for TearDown
    EXPECT_TRUE(IsGuidText(CreateUnit(u"b")));
}

TEST_F(ErrorsTest, RejectedOperationsLeaveNothingBehind)
{
    const std::u16string tavGuid = CreateUnit(u"a");
    const std::u16string otherUnit = CreateUnit(u"b");
    const std::u16string folder = AddFolder(tavGuid, tavGuid, u"f");
    const std::u16string otherFolder = AddFolder(otherUnit, otherUnit, u"g");
    const std::u16string unknown = u"0123456789ABCDEF0123456789ABCDEF";

    // Empty handles.
    std::shared_ptr<STavInfo> noInfo;
    EXPECT_EQ(kLibraryBadArgument, Service().CreateLearningUnit(noInfo, User(), 0, 0));
    std::shared_ptr<SLiteratureFolder> noFolder;
    EXPECT_EQ(kLibraryBadArgument, Service().AddFolder(noFolder, tavGuid, User(), 0));

    // Folders: unknown entry, unknown parent, a parent from another entry.
    auto sub = std::make_shared<SLiteratureFolder>();
    sub->Name = u"s";
    sub->ParentGuid = otherFolder;
    EXPECT_EQ(kLibraryFolderNotFound, Service().AddFolder(sub, tavGuid, User(), 0));
    EXPECT_TRUE(sub->FolderGuid.empty());
    sub->ParentGuid = tavGuid;
    EXPECT_EQ(kLibraryUnitNotFound, Service().AddFolder(sub, unknown, User(), 0));

    // Literature: a folder of another entry, or none.
    auto literature = std::make_shared<SLiteratureInfo>();
    literature->DOI = u"10.1/x";
    EXPECT_EQ(kLibraryFolderNotFound, Service().AddLiterature(literature, tavGuid, User(), otherFolder, 0, 0));
    EXPECT_EQ(kLibraryFolderNotFound, Service().AddLiterature(literature, tavGuid, User(), u"", 0, 0));
    EXPECT_TRUE(literature->LiterGuid.empty());
    EXPECT_EQ(0, CountRows("Literature", tavGuid));

    // Reading state of a literature that is not there.
    auto relate = std::make_shared<SLiteratureRelate>();
    relate->LiterGuid = unknown;
    EXPECT_EQ(kLibraryLiteratureNotFound, Service().AddLiteratureRelate(relate, tavGuid, User(), folder, 0));

    // Notes: unknown literature; a PosID already taken keeps the first note and its labels.
    const std::u16string literGuid = AddLiterature(tavGuid, folder, u"10.1/x", u"t");
    auto note = std::make_shared<SNoteInfo>();
    note->PosID = u"p";
    note->LiterGuid = unknown;
    EXPECT_EQ(kLibraryLiteratureNotFound, Service().AddNote(note, {u"x"}, tavGuid, User(), 0));
    EXPECT_EQ(0, CountRows("NoteLabel", tavGuid));
    note->LiterGuid = literGuid;
    note->Title = u"first";
    ASSERT_EQ(kLibraryOk, Service().AddNote(note, {u"one"}, tavGuid, User(), 0));
    auto duplicate = std::make_shared<SNoteInfo>();
    duplicate->PosID = u"p";
    duplicate->Title = u"second";
    EXPECT_EQ(kLibraryNoteExists, Service().AddNote(duplicate, {u"two", u"three"}, tavGuid, User(), 0));
    CLibraryReader reader(User());
    std::vector<SLibraryNote> notes;
    ASSERT_EQ(kLibraryOk, reader.ListNotes(tavGuid, notes));
    ASSERT_EQ(1u, notes.size());
    EXPECT_EQ(u"first", notes[0].Note->Title);
    EXPECT_EQ(std::list<std::u16string> {u"one"}, notes[0].Labels);

    // Reading and updating a note that is not there; the handle keeps what it had.
    auto fetched = std::make_shared<SNoteInfo>();
    fetched->Title = u"untouched";
    EXPECT_EQ(kLibraryNoteNotFound, Service().GetNote(fetched, tavGuid, User(), u"missing", 1));
    EXPECT_EQ(u"untouched", fetched->Title);
    EXPECT_TRUE(fetched->LiterGuid.empty());
    EXPECT_EQ(kLibraryNoteNotFound, Service().GetNote(fetched, otherUnit, User(), u"p", 1));
    fetched->PosID = u"missing";
    EXPECT_EQ(kLibraryNoteNotFound, Service().UpdateNote(fetched, tavGuid, User(), 1));
    EXPECT_EQ(1, CountRows("Note", tavGuid));
}

} // namespace
} // namespace librarytest
