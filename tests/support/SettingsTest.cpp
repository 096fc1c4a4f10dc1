// The INI reader and writer, and the desktop application's settings read through it.
#include "support/IniFile.h"
#include "support/SupportTestEnv.h"
#include "support/SyncPathOverride.h"
#include "support/SyncSettings.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using supporttest::ReadWholeFile;
using supporttest::WriteWholeFile;

constexpr uint64_t kGiB = 1024ull * 1024 * 1024;
MountEntry Fixed(const std::u16string& mountPoint, uint64_t freeBytes) { return {mountPoint, true, freeBytes}; }
std::u16string Wide(const fs::path& path) { return Utf8ToWide(path.string()); }
void UseMounts(std::vector<MountEntry> entries)
{
    SetMountTableSource([entries] { return MountTable{entries, u"/"}; });
}

class SettingsTest : public ::testing::Test {
protected:
    SettingsTest() { UseMounts({}); }
    ~SettingsTest() override
    {
        SetMountTableSource({});
        SetAppKeyNames(u"Orvane", u"Vexa Arbora");
    }
    supporttest::TempHome m_home;
    fs::path m_registry = m_home.Root() / "config" / "Orvane" / "Vexa Arbora" / "registry.ini";
    fs::path m_settings = m_home.Root() / "data" / "Orvane" / "Vexa Arbora" / "SyncroSet.ini";
    std::u16string m_ini = Wide(m_registry);
};

TEST_F(SettingsTest, IniReadsWritesAndRefusesLikeThePrivateProfileFunctions)
{
    EXPECT_EQ(ReadIniValue(m_ini, u"SyncroSet", u"SyncPath", u"none"), u"none");
    WriteWholeFile(m_registry, "\xEF\xBB\xBF; c\r\ntop=1\r\n[First]\r\nkey=one\r\nSyncPath=/x\r\n[ syncroset ]\r\n"
                               "# SyncPath=/c\r\n  SYNCPATH  =   /data/sync folder  \r\nSyncPath=/second\r\n"
                               "Quoted=\"  padded  \"\r\nSingle='x'\r\nEmpty=\r\nChinese=学习单元\r\nEquals=a=b\r\n");
    for (const auto& [section, key, value] :
         {std::tuple{u"SyncroSet", u"SyncPath", u"/data/sync folder"}, {u"SyncroSet", u"Quoted", u"  padded  "},
          {u"SyncroSet", u"Single", u"x"}, {u"SyncroSet", u"Empty", u""}, {u"SyncroSet", u"Chinese", u"学习单元"},
          {u"SyncroSet", u"Equals", u"a=b"}, {u"SyncroSet", u"key", u"none"}, {u"First", u"key", u"one"}})
        EXPECT_EQ(ReadIniValue(m_ini, section, key, u"none"), value) << WideToUtf8(key);
    // Writing changes only the one line. Each row: the file before (null: no file, nor its folder), section, key,
    // value, the file after.
    for (const auto& [before, section, key, value, after] :
         std::initializer_list<std::tuple<const char*, const char16_t*, const char16_t*, const char16_t*, const char*>>{
             {nullptr, u"SyncroSet", u"SyncPath", u"/srv/学习/", "[SyncroSet]\nSyncPath=/srv/学习/\n"},
             {"; c\n[A]\nx = 1\n\n[SyncroSet]\nO=k\nsyncpath=/old\nT=t\n[B]\nSyncPath=/b\n", u"SyncroSet", u"SyncPath",
              u"/n", "; c\n[A]\nx = 1\n\n[SyncroSet]\nO=k\nSyncPath=/n\nT=t\n[B]\nSyncPath=/b\n"},
             {"[S]\nO=1\n\n[B]\nz=2\n", u"S", u"K", u"/p", "[S]\nO=1\nK=/p\n\n[B]\nz=2\n"},
             {"\xEF\xBB\xBF[S]\r\nA=1\r\n", u"S", u"B", u"2", "\xEF\xBB\xBF[S]\r\nA=1\r\nB=2\r\n"},
             {"[S]\nA=1\n[T]\n[S]\nK=second\n", u"S", u"K", u"new", "[S]\nA=1\nK=new\n[T]\n[S]\nK=second\n"}}) {
        fs::remove_all(m_registry.parent_path());
        if (before)
            WriteWholeFile(m_registry, before);
        ASSERT_TRUE(WriteIniValue(m_ini, section, key, value));
        EXPECT_EQ(ReadWholeFile(m_registry), after);
    }
    // Values that reading would change are quoted.
    for (const std::u16string value : {u"  padded  ", u"\"quoted\"", u"'single'", u"a\"b", u"\x01\x02 控制", u""}) {
        ASSERT_TRUE(WriteIniValue(m_ini, u"S", u"K", value));
        EXPECT_EQ(ReadIniValue(m_ini, u"S", u"K", u"default"), value) << WideToUtf8(value);
    }
    // What the format cannot carry is refused; the file is replaced safely.
    WriteWholeFile(m_registry, "[S]\nK=old\n");
    ASSERT_EQ(::chmod(m_registry.c_str(), 0600), 0);
    for (const auto& [section, key, value] :
         {std::tuple{u"S", u"K", u"two\nlines"}, {u"S", u"K=", u"v"}, {u"S", u"", u"v"}, {u"S]", u"K", u"v"},
          {u"", u"K", u"v"}, {u"S", u"[K", u"v"}})
        EXPECT_FALSE(WriteIniValue(m_ini, section, key, value)) << WideToUtf8(key) << WideToUtf8(value);
    EXPECT_FALSE(WriteIniValue(u"", u"S", u"K", u"v"));
    EXPECT_FALSE(WriteIniValue(m_ini + u"/x.ini", u"S", u"K", u"v")); // its folder is a file
    EXPECT_EQ(ReadWholeFile(m_registry), "[S]\nK=old\n");
    ASSERT_TRUE(WriteIniValue(m_ini, u"S", u"K", u"2"));
    struct stat info {};
    ASSERT_EQ(::stat(m_registry.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_registry.parent_path()), fs::directory_iterator()), 1);
}

TEST_F(SettingsTest, AccountNameAndSyncPathFromOverrideSettingsFileRegistryOrTheBestDrive)
{
    SetAppKeyNames(u"", u"");
    EXPECT_EQ(AppRegistryFilePath(), Wide(m_registry));
    EXPECT_EQ(SyncroSetFilePath(), Wide(m_settings));
    // The account name is stored with each character raised by its position plus 3, wrapping past 255.
    EXPECT_EQ(GetSyncroName(), u"");
    for (const auto& [stored, name] : std::initializer_list<std::pair<std::u16string, std::u16string>>{
             {u"dfh", u"abc"}, {u"\u5F23\u4E0D", u"张三"}, {u"\x01\x02", u"\u00FD\u00FD"}}) {
        ASSERT_TRUE(WriteIniValue(m_ini, u"SyncroSet", u"SyncroName", stored));
        EXPECT_EQ(GetSyncroName(), name);
    }
    // The registry value is used once and written into the settings file, keeping its other lines.
    WriteWholeFile(m_settings, "[SyncroSet]\nSyncPath=\nUser=someone\n[Other]\nk=v\n");
    ASSERT_TRUE(WriteIniValue(m_ini, u"SyncroSet", u"SyncPath", u"/srv/library"));
    EXPECT_EQ(GetSyncroSetValue(u"SyncPath"), u"/srv/library");
    EXPECT_EQ(GetSyncPath(), u"/srv/library/");
    EXPECT_EQ(ReadWholeFile(m_settings), "[SyncroSet]\nSyncPath=/srv/library\nUser=someone\n[Other]\nk=v\n");
    ASSERT_TRUE(WriteIniValue(m_ini, u"SyncroSet", u"SyncPath", u"/elsewhere"));
    EXPECT_EQ(GetSyncPath(), u"/srv/library/");
    ASSERT_TRUE(WriteIniValue(Wide(m_settings), u"SyncroSet", u"SyncPath", u"/data/同步/"));
    SetSyncPathOverride(u"/chosen/for/this/run");
    EXPECT_EQ(GetSyncPath(), u"/chosen/for/this/run/");
    SetSyncPathOverride(u"");
    EXPECT_EQ(GetSyncPath(), u"/data/同步/");
    EXPECT_EQ(ReadIniValue(m_ini, u"SyncroSet", u"SyncPath"), u"/elsewhere");
    // Without any settings: a folder on the best drive, or in Documents; nothing is written.
    SetAppKeyNames(u"Orvane", u"Other Product");
    fs::remove_all(m_home.Root() / "data");
    fs::remove_all(m_home.Root() / "config");
    UseMounts({Fixed(u"/", 900 * kGiB), Fixed(u"/mnt/d", 100 * kGiB), Fixed(u"/mnt/e", 200 * kGiB)});
    EXPECT_EQ(GetSyncPath(), u"/mnt/e/Other Product/");
    EXPECT_FALSE(fs::exists(m_home.Root() / "data") || fs::exists(m_registry)); // nothing is written
    UseMounts({Fixed(u"/", 900 * kGiB), MountEntry{u"/run", false, 10 * kGiB}});
    EXPECT_EQ(GetSyncPath(), Wide(m_home.Root() / "home" / "Documents" / "Other Product") + u"/");
    m_home.Set("XDG_DOCUMENTS_DIR", m_home.Root() / "文档");
    EXPECT_EQ(GetSyncPath(), Wide(m_home.Root() / "文档" / "Other Product") + u"/");
    // The drive choice. Each row: the mounts, then the drive chosen (empty: none qualifies).
    for (const auto& [table, chosen] : std::initializer_list<std::pair<MountTable, std::u16string>>{
             {{{Fixed(u"/mnt/b", 5 * kGiB), Fixed(u"/mnt/a", 5 * kGiB)}, u"/"}, u"/mnt/b"},
             {{{Fixed(u"/mnt/a", 5 * kGiB), Fixed(u"/mnt/b", 6 * kGiB)}, u"/"}, u"/mnt/b"},
             {{{Fixed(u"/", 900 * kGiB), MountEntry{u"/net", false, 800 * kGiB}, Fixed(u"/mnt/full", 0)}, u"/"}, u""},
             {{{Fixed(u"/sysroot", 900 * kGiB), Fixed(u"/mnt/d", 1)}, u"/sysroot"}, u"/mnt/d"}}) {
        std::u16string drive = u"stale";
        EXPECT_EQ(ChooseDataDrive(table, drive), !chosen.empty());
        EXPECT_EQ(drive, chosen);
    }
    // The machine's own table leaves out the file system that holds "/", wherever it is mounted.
    const MountTable table = ReadMountTable();
    struct stat root {}, info {};
    ASSERT_TRUE(!table.systemMount.empty() && ::stat("/", &root) == 0);
    for (const MountEntry& entry : table.entries)
        EXPECT_TRUE(::stat(WideToUtf8(entry.mountPoint).c_str(), &info) == 0 && info.st_dev != root.st_dev);
}

} // namespace
