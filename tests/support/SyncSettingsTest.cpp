#include "support/SyncSettings.h"

#include "support/IniFile.h"
#include "support/TextConvert.h"
#include "support/SupportTestEnv.h"
#include "support/SyncPathOverride.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using supporttest::ReadWholeFile;
using supporttest::TempHome;
using supporttest::WriteWholeFile;

constexpr uint64_t kGiB = 1024ull * 1024 * 1024;

MountEntry Fixed(const std::u16string& mountPoint, uint64_t freeBytes) { return MountEntry{mountPoint, true, freeBytes}; }

class SyncSettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetAppKeyNames(u"Orvane", u"Vexa Arbora");
        UseMounts({});
    }
    void TearDown() override
    {
        SetMountTableSource({});
        SetAppKeyNames(u"Orvane", u"Vexa Arbora");
    }

    void UseMounts(std::vector<MountEntry> entries, std::u16string systemMount = u"/")
    {
        SetMountTableSource([entries, systemMount] { return MountTable{entries, systemMount}; });
    }

    fs::path RegistryFile() const { return m_home.Root() / "config" / "Orvane" / "Vexa Arbora" / "registry.ini"; }
    fs::path SettingsFile() const { return m_home.Root() / "data" / "Orvane" / "Vexa Arbora" / "SyncroSet.ini"; }
    static std::u16string Wide(const fs::path& path) { return Utf8ToWide(path.string()); }

    void SetRegistry(const std::u16string& name, const std::u16string& value)
    {
        ASSERT_TRUE(WriteIniValue(Wide(RegistryFile()), u"SyncroSet", name, value));
    }
    void SetSettingsFile(const std::u16string& value)
    {
        ASSERT_TRUE(WriteIniValue(Wide(SettingsFile()), u"SyncroSet", u"SyncPath", value));
    }

    TempHome m_home;
};

TEST_F(SyncSettingsTest, FilesLieInTheXdgFolders)
{
    EXPECT_EQ(AppRegistryFilePath(), Wide(RegistryFile()));
    EXPECT_EQ(SyncroSetFilePath(), Wide(SettingsFile()));
}

TEST_F(SyncSettingsTest, EmptyKeyNamesTakeTheDefaults)
{
    SetAppKeyNames(u"", u"");
    EXPECT_EQ(AppRegistryFilePath(), Wide(RegistryFile()));
    SetAppKeyNames(u"Acme", u"Tool");
    EXPECT_EQ(AppRegistryFilePath(), Wide(m_home.Root() / "config" / "Acme" / "Tool" / "registry.ini"));
}

TEST_F(SyncSettingsTest, SettingsFileWinsAndGetsAFinalSeparator)
{
    SetSettingsFile(u"/data/同步");
    SetRegistry(u"SyncPath", u"/from/registry");
    const std::string registryBefore = ReadWholeFile(RegistryFile());
    EXPECT_EQ(GetSyncPath(), u"/data/同步/");
    EXPECT_EQ(ReadWholeFile(RegistryFile()), registryBefore);
    EXPECT_EQ(ReadIniValue(Wide(SettingsFile()), u"SyncroSet", u"SyncPath"), u"/data/同步");
}

TEST_F(SyncSettingsTest, FinalSeparatorIsNotDoubled)
{
    SetSettingsFile(u"/data/sync/");
    EXPECT_EQ(GetSyncPath(), u"/data/sync/");
}

TEST_F(SyncSettingsTest, RegistryValueIsUsedAndWrittenIntoTheSettingsFile)
{
    SetRegistry(u"SyncPath", u"/srv/library");
    ASSERT_FALSE(fs::exists(SettingsFile()));
    EXPECT_EQ(GetSyncPath(), u"/srv/library/");
    EXPECT_EQ(ReadIniValue(Wide(SettingsFile()), u"SyncroSet", u"SyncPath"), u"/srv/library");

    // From now on the settings file answers, even when the registry changes.
    SetRegistry(u"SyncPath", u"/elsewhere");
    EXPECT_EQ(GetSyncPath(), u"/srv/library/");
}

TEST_F(SyncSettingsTest, OverrideWinsAndIsNeverWrittenBack)
{
    SetSettingsFile(u"/data/sync");
    SetSyncPathOverride(u"/chosen/for/this/run");
    EXPECT_EQ(GetSyncPath(), u"/chosen/for/this/run/");
    EXPECT_EQ(ReadIniValue(Wide(SettingsFile()), u"SyncroSet", u"SyncPath"), u"/data/sync");
    SetSyncPathOverride(u"");
    EXPECT_EQ(GetSyncPath(), u"/data/sync/");
}

TEST_F(SyncSettingsTest, WriteBackKeepsTheRestOfTheSettingsFile)
{
    WriteWholeFile(SettingsFile(), "[SyncroSet]\nSyncPath=\nUser=someone\n[Other]\nk=v\n");
    SetRegistry(u"SyncPath", u"/srv/library/");
    EXPECT_EQ(GetSyncPath(), u"/srv/library/");
    EXPECT_EQ(ReadWholeFile(SettingsFile()), "[SyncroSet]\nSyncPath=/srv/library/\nUser=someone\n[Other]\nk=v\n");
}

TEST_F(SyncSettingsTest, WithoutSettingsTheDriveWithMostFreeSpaceIsChosen)
{
    UseMounts({Fixed(u"/", 900 * kGiB), Fixed(u"/mnt/d", 100 * kGiB), Fixed(u"/mnt/e", 200 * kGiB)});
    EXPECT_EQ(GetSyncPath(), u"/mnt/e/Vexa Arbora/");
    // The chosen folder is not written anywhere.
    EXPECT_FALSE(fs::exists(SettingsFile()));
    EXPECT_FALSE(fs::exists(RegistryFile()));
    EXPECT_FALSE(fs::exists(m_home.Root() / "data" / "Orvane"));
}

TEST_F(SyncSettingsTest, ChosenFolderIsNamedAfterTheProduct)
{
    SetAppKeyNames(u"Orvane", u"Other Product");
    UseMounts({Fixed(u"/mnt/d", kGiB)});
    EXPECT_EQ(GetSyncPath(), u"/mnt/d/Other Product/");
}

TEST_F(SyncSettingsTest, OnlyTheSystemDriveLeadsToTheDocumentsFolder)
{
    UseMounts({Fixed(u"/", 900 * kGiB), MountEntry{u"/run", false, 10 * kGiB}});
    EXPECT_EQ(GetSyncPath(), Wide(m_home.Root() / "home" / "Documents" / "Vexa Arbora") + u"/");

    m_home.Set("XDG_DOCUMENTS_DIR", m_home.Root() / "文档");
    EXPECT_EQ(GetSyncPath(), Wide(m_home.Root() / "文档" / "Vexa Arbora") + u"/");
}

TEST_F(SyncSettingsTest, SyncPathIsNeverEmpty)
{
    SetSettingsFile(u"   ");
    SetRegistry(u"SyncPath", u"");
    const std::u16string path = GetSyncPath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.back(), u'/');
}

TEST_F(SyncSettingsTest, EqualFreeSpaceChoosesTheFirstListed)
{
    std::u16string drive;
    ASSERT_TRUE(ChooseDataDrive(MountTable{{Fixed(u"/mnt/b", 5 * kGiB), Fixed(u"/mnt/a", 5 * kGiB)}, u"/"}, drive));
    EXPECT_EQ(drive, u"/mnt/b");
    ASSERT_TRUE(ChooseDataDrive(MountTable{{Fixed(u"/mnt/a", 5 * kGiB), Fixed(u"/mnt/b", 5 * kGiB)}, u"/"}, drive));
    EXPECT_EQ(drive, u"/mnt/a");
}

TEST_F(SyncSettingsTest, SystemRemoteAndFullDrivesAreNeverChosen)
{
    std::u16string drive = u"stale";
    EXPECT_FALSE(ChooseDataDrive(MountTable{{Fixed(u"/", 900 * kGiB), MountEntry{u"/net", false, 800 * kGiB},
                                             Fixed(u"/mnt/full", 0)},
                                            u"/"},
                                 drive));
    EXPECT_EQ(drive, u"");

    // The system file system may be mounted somewhere other than "/" in the table.
    ASSERT_TRUE(ChooseDataDrive(MountTable{{Fixed(u"/sysroot", 900 * kGiB), Fixed(u"/mnt/d", 1)}, u"/sysroot"}, drive));
    EXPECT_EQ(drive, u"/mnt/d");
}

TEST_F(SyncSettingsTest, ChooseDataDriveUsesTheInstalledSource)
{
    UseMounts({Fixed(u"/mnt/x", 3), Fixed(u"/mnt/y", 4)});
    std::u16string drive;
    ASSERT_TRUE(ChooseDataDrive(drive));
    EXPECT_EQ(drive, u"/mnt/y");
}

TEST_F(SyncSettingsTest, RealMountTableLeavesOutTheSystemFileSystem)
{
    SetMountTableSource({});
    const MountTable table = ReadMountTable();
    EXPECT_FALSE(table.systemMount.empty());
    struct stat root {};
    ASSERT_EQ(::stat("/", &root), 0);
    for (const MountEntry& entry : table.entries) {
        EXPECT_NE(entry.mountPoint, table.systemMount);
        struct stat info {};
        ASSERT_EQ(::stat(WideToUtf8(entry.mountPoint).c_str(), &info), 0);
        EXPECT_NE(info.st_dev, root.st_dev) << WideToUtf8(entry.mountPoint);
        if (!entry.isLocalBlockDevice) {
            EXPECT_EQ(entry.freeBytes, 0u);
        }
    }
    std::u16string drive;
    if (ChooseDataDrive(drive)) {
        EXPECT_NE(drive, u"/");
        EXPECT_TRUE(fs::is_directory(WideToUtf8(drive)));
    }
}

TEST_F(SyncSettingsTest, SyncroSetValueReadsTheRegistryFile)
{
    EXPECT_EQ(GetSyncroSetValue(u"SyncPath"), u"");
    SetRegistry(u"SyncPath", u"/p");
    EXPECT_EQ(GetSyncroSetValue(u"SyncPath"), u"/p");
    EXPECT_EQ(GetSyncroSetValue(u"Missing"), u"");
    EXPECT_EQ(GetSyncroSetValue(u""), u"");
}

// What the desktop application stores: each character raised by its position plus 3, wrapping
// past 255.
std::u16string Scramble(const std::u16string& name)
{
    std::u16string stored = name;
    for (size_t i = 0; i < stored.size(); ++i) {
        int code = stored[i] + static_cast<int>(i + 3);
        if (stored[i] <= 255 && code > 255)
            code -= 255;
        stored[i] = static_cast<char16_t>(code);
    }
    return stored;
}

TEST_F(SyncSettingsTest, SyncroNameIsUnscrambled)
{
    SetRegistry(u"SyncroName", u"dfh"); // "abc" raised by 3, 4 and 5
    EXPECT_EQ(GetSyncroName(), u"abc");
    SetRegistry(u"SyncroName", Scramble(u"zhang.san@example.org"));
    EXPECT_EQ(GetSyncroName(), u"zhang.san@example.org");
    SetRegistry(u"SyncroName", Scramble(u"张三"));
    EXPECT_EQ(GetSyncroName(), u"张三");
}

TEST_F(SyncSettingsTest, WrappedCharactersAreRestoredBy255)
{
    // 'ý' (253) at position 0 was stored as 253 + 3 - 255 = 1.
    SetRegistry(u"SyncroName", u"\x01");
    EXPECT_EQ(GetSyncroName(), u"\u00FD");

    // At position 40, '!' (33) is smaller than 43: it stands for 33 - 43 + 255 = 245.
    std::u16string stored = Scramble(std::u16string(40, u'a'));
    stored += u'!';
    SetRegistry(u"SyncroName", stored);
    EXPECT_EQ(GetSyncroName(), std::u16string(40, u'a') + u"\u00F5");

    // A long name whose last characters wrap (from position 131 on, 'z' passes 255) round-trips.
    const std::u16string longName(135, u'z');
    const std::u16string longStored = Scramble(longName);
    EXPECT_EQ(longStored.substr(131), u"\x01\x02\x03\x04");
    SetRegistry(u"SyncroName", longStored);
    EXPECT_EQ(GetSyncroName(), longName);
}

TEST_F(SyncSettingsTest, UnsetSyncroNameIsEmpty)
{
    EXPECT_EQ(GetSyncroName(), u"");
    SetRegistry(u"SyncroName", u"");
    EXPECT_EQ(GetSyncroName(), u"");
}

} // namespace
