#include "support/IniFile.h"

#include "support/TextConvert.h"
#include "support/SupportTestEnv.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using supporttest::ReadWholeFile;
using supporttest::TempHome;
using supporttest::WriteWholeFile;

class IniFileTest : public ::testing::Test {
protected:
    fs::path File(const std::string& name = "settings.ini") const { return m_home.Root() / "ini" / name; }
    static std::u16string Wide(const fs::path& path) { return Utf8ToWide(path.string()); }

    TempHome m_home;
};

TEST_F(IniFileTest, MissingFileSectionOrKeyGiveTheDefault)
{
    EXPECT_EQ(ReadIniValue(Wide(File()), u"SyncroSet", u"SyncPath", u"none"), u"none");
    EXPECT_EQ(ReadIniValue(Wide(File()), u"SyncroSet", u"SyncPath"), u"");
    WriteWholeFile(File(), "[Other]\nSyncPath=/x\n[SyncroSet]\nName=y\n");
    EXPECT_EQ(ReadIniValue(Wide(File()), u"SyncroSet", u"SyncPath", u"none"), u"none");
    EXPECT_EQ(ReadIniValue(Wide(File()), u"Missing", u"Name", u"none"), u"none");
}

TEST_F(IniFileTest, ReadsLikeThePrivateProfileFunctions)
{
    WriteWholeFile(File(),
                   "\xEF\xBB\xBF; comment\r\n"
                   "top=ignored\r\n"
                   "[First]\r\n"
                   "key=one\r\n"
                   "[ syncroset ]\r\n"
                   "# SyncPath=/commented\r\n"
                   "  SYNCPATH  =   /data/sync folder  \r\n"
                   "SyncPath=/second\r\n"
                   "Quoted=\"  padded  \"\r\n"
                   "Single='x'\r\n"
                   "Empty=\r\n"
                   "Chinese=学习单元\r\n"
                   "Equals=a=b\r\n");
    const std::u16string path = Wide(File());
    EXPECT_EQ(ReadIniValue(path, u"SyncroSet", u"SyncPath"), u"/data/sync folder");
    EXPECT_EQ(ReadIniValue(path, u"SyncroSet", u"Quoted"), u"  padded  ");
    EXPECT_EQ(ReadIniValue(path, u"SyncroSet", u"Single"), u"x");
    EXPECT_EQ(ReadIniValue(path, u"SyncroSet", u"Empty", u"default"), u"");
    EXPECT_EQ(ReadIniValue(path, u"SyncroSet", u"Chinese"), u"学习单元");
    EXPECT_EQ(ReadIniValue(path, u"SyncroSet", u"Equals"), u"a=b");
    EXPECT_EQ(ReadIniValue(path, u"SyncroSet", u"key", u"none"), u"none");
    EXPECT_EQ(ReadIniValue(path, u"First", u"key"), u"one");
}

TEST_F(IniFileTest, WriteCreatesFoldersAndFile)
{
    const fs::path file = m_home.Root() / "a" / "b c" / "SyncroSet.ini";
    ASSERT_TRUE(WriteIniValue(Wide(file), u"SyncroSet", u"SyncPath", u"/srv/学习/"));
    EXPECT_EQ(ReadWholeFile(file), "[SyncroSet]\nSyncPath=/srv/学习/\n");
    EXPECT_EQ(ReadIniValue(Wide(file), u"SyncroSet", u"SyncPath"), u"/srv/学习/");
}

TEST_F(IniFileTest, ReplacingAValueKeepsEveryOtherLine)
{
    const std::string before = "; kept comment\n"
                               "[A]\n"
                               "x = 1\n"
                               "\n"
                               "[SyncroSet]\n"
                               "Other=keep me\n"
                               "syncpath=/old\n"
                               "Tail=t\n"
                               "[B]\n"
                               "SyncPath=/b\n";
    WriteWholeFile(File(), before);
    ASSERT_TRUE(WriteIniValue(Wide(File()), u"SyncroSet", u"SyncPath", u"/new"));
    std::string expected = before;
    expected.replace(expected.find("syncpath=/old"), 13, "SyncPath=/new");
    EXPECT_EQ(ReadWholeFile(File()), expected);
}

TEST_F(IniFileTest, NewKeyGoesIntoItsOwnSectionNotTheNextOne)
{
    WriteWholeFile(File(), "[SyncroSet]\nOther=1\n\n[B]\nz=2\n");
    ASSERT_TRUE(WriteIniValue(Wide(File()), u"SyncroSet", u"SyncPath", u"/p"));
    EXPECT_EQ(ReadWholeFile(File()), "[SyncroSet]\nOther=1\nSyncPath=/p\n\n[B]\nz=2\n");
    EXPECT_EQ(ReadIniValue(Wide(File()), u"B", u"SyncPath", u"none"), u"none");
}

TEST_F(IniFileTest, NewSectionIsAppended)
{
    WriteWholeFile(File(), "[A]\nx=1");
    ASSERT_TRUE(WriteIniValue(Wide(File()), u"SyncroSet", u"SyncPath", u"/p"));
    EXPECT_EQ(ReadWholeFile(File()), "[A]\nx=1\n\n[SyncroSet]\nSyncPath=/p\n");
}

TEST_F(IniFileTest, KeepsCarriageReturnLineEndsAndTheByteOrderMark)
{
    WriteWholeFile(File(), "\xEF\xBB\xBF[SyncroSet]\r\nA=1\r\n");
    ASSERT_TRUE(WriteIniValue(Wide(File()), u"SyncroSet", u"B", u"2"));
    EXPECT_EQ(ReadWholeFile(File()), "\xEF\xBB\xBF[SyncroSet]\r\nA=1\r\nB=2\r\n");
}

TEST_F(IniFileTest, ValuesThatReadingWouldChangeAreQuoted)
{
    const std::u16string path = Wide(File());
    for (const std::u16string value : {u"  padded  ", u"\"quoted\"", u"'single'", u"a\"b", u" ", u"\x01\x02 控制", u""}) {
        ASSERT_TRUE(WriteIniValue(path, u"S", u"K", value));
        EXPECT_EQ(ReadIniValue(path, u"S", u"K", u"default"), value) << WideToUtf8(value);
    }
}

TEST_F(IniFileTest, RefusesWhatTheFormatCannotCarry)
{
    const std::u16string path = Wide(File());
    WriteWholeFile(File(), "[S]\nK=old\n");
    EXPECT_FALSE(WriteIniValue(path, u"S", u"K", u"two\nlines"));
    EXPECT_FALSE(WriteIniValue(path, u"S", u"K", u"cr\rhere"));
    EXPECT_FALSE(WriteIniValue(path, u"S", u"K=", u"v"));
    EXPECT_FALSE(WriteIniValue(path, u"S", u"", u"v"));
    EXPECT_FALSE(WriteIniValue(path, u"S]", u"K", u"v"));
    EXPECT_FALSE(WriteIniValue(path, u"", u"K", u"v"));
    EXPECT_FALSE(WriteIniValue(path, u"S", u"[K", u"v"));
    EXPECT_FALSE(WriteIniValue(u"", u"S", u"K", u"v"));
    EXPECT_EQ(ReadWholeFile(File()), "[S]\nK=old\n");
}

TEST_F(IniFileTest, WriteLeavesNoTemporaryFileAndKeepsPermissions)
{
    WriteWholeFile(File(), "[S]\nK=1\n");
    ASSERT_EQ(::chmod(File().c_str(), 0600), 0);
    ASSERT_TRUE(WriteIniValue(Wide(File()), u"S", u"K", u"2"));
    struct stat info {};
    ASSERT_EQ(::stat(File().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(File().parent_path()))
        ++files;
    EXPECT_EQ(files, 1u);
}

TEST_F(IniFileTest, WriteFailsWhenTheFolderCannotBeMade)
{
    WriteWholeFile(m_home.Root() / "plain", "a file, not a folder");
    EXPECT_FALSE(WriteIniValue(Wide(m_home.Root() / "plain" / "x.ini"), u"S", u"K", u"v"));
}

TEST_F(IniFileTest, FirstOfRepeatedSectionsIsTheOneWritten)
{
    WriteWholeFile(File(), "[S]\nA=1\n[T]\n[S]\nK=second\n");
    ASSERT_TRUE(WriteIniValue(Wide(File()), u"S", u"K", u"new"));
    EXPECT_EQ(ReadIniValue(Wide(File()), u"S", u"K"), u"new");
    EXPECT_EQ(ReadWholeFile(File()), "[S]\nA=1\nK=new\n[T]\n[S]\nK=second\n");
}

} // namespace
