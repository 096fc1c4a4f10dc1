#include "support/IniFile.h"
#include "support/SupportTestEnv.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace fs = std::filesystem;
using supporttest::ReadWholeFile;
using supporttest::WriteWholeFile;

class IniFileTest : public ::testing::Test {
protected:
    supporttest::TempHome m_home;
    fs::path m_file = m_home.Root() / "ini" / "settings.ini";
    std::u16string m_path = Utf8ToWide(m_file.string());
};

TEST_F(IniFileTest, ReadsLikeThePrivateProfileFunctions)
{
    EXPECT_EQ(ReadIniValue(m_path, u"SyncroSet", u"SyncPath", u"none"), u"none");
    WriteWholeFile(m_file, "\xEF\xBB\xBF; c\r\ntop=1\r\n[First]\r\nkey=one\r\nSyncPath=/x\r\n[ syncroset ]\r\n"
                           "# SyncPath=/c\r\n  SYNCPATH  =   /data/sync folder  \r\nSyncPath=/second\r\n"
                           "Quoted=\"  padded  \"\r\nSingle='x'\r\nEmpty=\r\nChinese=学习单元\r\nEquals=a=b\r\n");
    for (const auto& [section, key, value] :
         {std::tuple{u"SyncroSet", u"SyncPath", u"/data/sync folder"}, {u"SyncroSet", u"Quoted", u"  padded  "},
          {u"SyncroSet", u"Single", u"x"}, {u"SyncroSet", u"Empty", u""}, {u"SyncroSet", u"Chinese", u"学习单元"},
          {u"SyncroSet", u"Equals", u"a=b"}, {u"SyncroSet", u"key", u"none"}, {u"First", u"key", u"one"}})
        EXPECT_EQ(ReadIniValue(m_path, section, key, u"none"), value) << WideToUtf8(key);
}

TEST_F(IniFileTest, WritingChangesOnlyTheOneLine)
{
    const struct {
        const char* before; // nullptr: no file, nor its folder
        const char16_t *section, *key, *value;
        const char* after;
    } rows[] = {
        {nullptr, u"SyncroSet", u"SyncPath", u"/srv/学习/", "[SyncroSet]\nSyncPath=/srv/学习/\n"},
        {"; c\n[A]\nx = 1\n\n[SyncroSet]\nO=k\nsyncpath=/old\nT=t\n[B]\nSyncPath=/b\n", u"SyncroSet", u"SyncPath",
         u"/n", "; c\n[A]\nx = 1\n\n[SyncroSet]\nO=k\nSyncPath=/n\nT=t\n[B]\nSyncPath=/b\n"},
        {"[S]\nO=1\n\n[B]\nz=2\n", u"S", u"K", u"/p", "[S]\nO=1\nK=/p\n\n[B]\nz=2\n"},
        {"\xEF\xBB\xBF[S]\r\nA=1\r\n", u"S", u"B", u"2", "\xEF\xBB\xBF[S]\r\nA=1\r\nB=2\r\n"},
        {"[S]\nA=1\n[T]\n[S]\nK=second\n", u"S", u"K", u"new", "[S]\nA=1\nK=new\n[T]\n[S]\nK=second\n"},
    };
    for (const auto& row : rows) {
        fs::remove_all(m_file.parent_path());
        if (row.before)
            WriteWholeFile(m_file, row.before);
        ASSERT_TRUE(WriteIniValue(m_path, row.section, row.key, row.value));
        EXPECT_EQ(ReadWholeFile(m_file), row.after);
    }
    // Values that reading would change are quoted.
    for (const std::u16string value : {u"  padded  ", u"\"quoted\"", u"'single'", u"a\"b", u"\x01\x02 控制", u""}) {
        ASSERT_TRUE(WriteIniValue(m_path, u"S", u"K", value));
        EXPECT_EQ(ReadIniValue(m_path, u"S", u"K", u"default"), value) << WideToUtf8(value);
    }
}

TEST_F(IniFileTest, RefusesWhatTheFormatCannotCarryAndReplacesTheFileSafely)
{
    WriteWholeFile(m_file, "[S]\nK=old\n");
    ASSERT_EQ(::chmod(m_file.c_str(), 0600), 0);
    for (const auto& [section, key, value] :
         {std::tuple{u"S", u"K", u"two\nlines"}, {u"S", u"K=", u"v"}, {u"S", u"", u"v"}, {u"S]", u"K", u"v"},
          {u"", u"K", u"v"}, {u"S", u"[K", u"v"}})
        EXPECT_FALSE(WriteIniValue(m_path, section, key, value)) << WideToUtf8(key) << WideToUtf8(value);
    EXPECT_FALSE(WriteIniValue(u"", u"S", u"K", u"v"));
    EXPECT_FALSE(WriteIniValue(m_path + u"/x.ini", u"S", u"K", u"v")); // its folder is a file
    EXPECT_EQ(ReadWholeFile(m_file), "[S]\nK=old\n");
    ASSERT_TRUE(WriteIniValue(m_path, u"S", u"K", u"2"));
    struct stat info {};
    ASSERT_EQ(::stat(m_file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_file.parent_path()), fs::directory_iterator()), 1);
}
