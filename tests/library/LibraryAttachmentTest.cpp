// Attachment files: where they land, name clashes, and sources that are not there.
#include "LibraryTestEnv.h"

namespace librarytest {
namespace {

using AttachmentTest = LibraryTest;

TEST_F(AttachmentTest, MissingSourceLeavesThePathAndFails)
{
    const std::u16string tavGuid = CreateUnit(u"a");
    for (const std::u16string& missing : {std::u16string(u"D:\\u\\a.pdf"), W(m_home.Root() / "nope.pdf"), std::u16string()}) {
        std::u16string stored = missing;
        const int32_t result = Service().StoreAttachment(stored, missing, User(), tavGuid);
        EXPECT_EQ(kLibrarySourceMissing, result);
        EXPECT_FALSE(Service().GetErrorText(result).empty());
        EXPECT_EQ(missing, stored);
    }
    // A folder is no attachment either.
    std::u16string stored = W(m_home.Root());
    EXPECT_EQ(kLibrarySourceMissing, Service().StoreAttachment(stored, W(m_home.Root()), User(), tavGuid));
    EXPECT_FALSE(fs::exists(AttachmentFolder(tavGuid)));
}

TEST_F(AttachmentTest, SameNameOtherContentKeepsBothSameContentIsStoredOnce)
{
    const std::u16string tavGuid = CreateUnit(u"a");
    const fs::path first = WriteSource("one/paper.pdf", "first");
    const fs::path second = WriteSource("two/paper.pdf", "second");
    const fs::path copyOfFirst = WriteSource("three/paper.pdf", "first");

    std::u16string stored1, stored2, stored3;
    ASSERT_EQ(kLibraryOk, Service().StoreAttachment(stored1, W(first), User(), tavGuid));
    ASSERT_EQ(kLibraryOk, Service().StoreAttachment(stored2, W(second), User(), tavGuid));
    ASSERT_EQ(kLibraryOk, Service().StoreAttachment(stored3, W(copyOfFirst), User(), tavGuid));
    EXPECT_EQ(AttachmentFolder(tavGuid) / "paper.pdf", P(stored1));
    EXPECT_EQ(AttachmentFolder(tavGuid) / "paper (2).pdf", P(stored2));
    EXPECT_EQ(stored1, stored3);
    EXPECT_EQ("first", ReadFile(P(stored1)));
    EXPECT_EQ("second", ReadFile(P(stored2)));
    // Offering the stored file itself again changes nothing.
    std::u16string stored4;
    ASSERT_EQ(kLibraryOk, Service().StoreAttachment(stored4, stored2, User(), tavGuid));
    EXPECT_EQ(stored2, stored4);

    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(AttachmentFolder(tavGuid))) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(2u, files); // no temporary files left behind
}

TEST_F(AttachmentTest, EntriesKeepTheirOwnFolders)
{
    const std::u16string a = CreateUnit(u"a");
    const std::u16string b = CreateUnit(u"b");
    const fs::path source = WriteSource("x.caj", "data");
    std::u16string storedA, storedB;
    ASSERT_EQ(kLibraryOk, Service().StoreAttachment(storedA, W(source), User(), a));
    ASSERT_EQ(kLibraryOk, Service().StoreAttachment(storedB, W(source), User(), b));
    EXPECT_EQ(AttachmentFolder(a) / "x.caj", P(storedA));
    EXPECT_EQ(AttachmentFolder(b) / "x.caj", P(storedB));

    // An entry that does not exist gets no folder.
    const std::u16string unknown = u"0123456789ABCDEF0123456789ABCDEF";
    std::u16string stored;
    EXPECT_EQ(kLibraryUnitNotFound, Service().StoreAttachment(stored, W(source), User(), unknown));
    EXPECT_TRUE(stored.empty());
    EXPECT_FALSE(fs::exists(AttachmentFolder(unknown)));
}

} // namespace
} // namespace librarytest
