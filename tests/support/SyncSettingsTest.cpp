#include "support/SyncSettings.h"

#include "support/IniFile.h"
#include "support/SupportTestEnv.h"
#include "support/SyncPathOverride.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using supporttest::ReadWholeFile;

constexpr uint64_t kGiB = 1024ull * 1024 * 1024;

MountEntry Fixed(const std::u16string& mountPoint, uint64_t freeBytes) { return MountEntry{mountPoint, true, freeBytes}; }
std::u16string Wide(const fs::path& path) { return Utf8ToWide(path.string()); }

class SyncSettingsTest : public ::testing::Test {
protected:
    SyncSettingsTest() { UseMounts({}); }
    ~SyncSettingsTest() override
    {
        SetMountTableSource({});
        SetAppKeyNames(u"Orvane", u"Vexa Arbora");
    }

    static void UseMounts(std::vector<MountEntry> entries)
    {
        SetMountTableSource([entries] { return MountTable{entries, u"/"}; });
    }
    void Set(const fs::path& file, const std::u16string& name, const std::u16string& value)
    {
        ASSERT_TRUE(WriteIniValue(Wide(file), u"SyncroSet", name, value));
    }

    supporttest::TempHome m_home;
    fs::path m_registry = m_home.Root() / "config" / "Orvane" / "Vexa Arbora" / "registry.ini";
    fs::path m_settings = m_home.Root() / "data" / "Orvane" / "Vexa Arbora" / "SyncroSet.ini";
};

TEST_F(SyncSettingsTest, FilesLieInTheXdgFoldersUnderTheKeyNames)
{
    SetAppKeyNames(u"", u"");
    EXPECT_EQ(AppRegistryFilePath(), Wide(m_registry));
    EXPECT_EQ(SyncroSetFilePath(), Wide(m_settings));
    SetAppKeyNames(u"Acme", u"Tool");
    EXPECT_EQ(AppRegistryFilePath(), Wide(m_home.Root() / "config" / "Acme" / "Tool" / "registry.ini"));
}

TEST_F(SyncSettingsTest, OverrideThenSettingsFileThenRegistry)
{
    // The registry value is used once and written into the settings file, keeping its other lines.
    supporttest::WriteWholeFile(m_settings, "[SyncroSet]\nSyncPath=\nUser=someone\n[Other]\nk=v\n");
    Set(m_registry, u"SyncPath", u"/srv/library");
    EXPECT_EQ(GetSyncPath(), u"/srv/library/");
    EXPECT_EQ(ReadWholeFile(m_settings), "[SyncroSet]\nSyncPath=/srv/library\nUser=someone\n[Other]\nk=v\n");
    Set(m_registry, u"SyncPath", u"/elsewhere");
    EXPECT_EQ(GetSyncPath(), u"/srv/library/");
    const std::string registry = ReadWholeFile(m_registry);

    Set(m_settings, u"SyncPath", u"/data/同步/");
    EXPECT_EQ(GetSyncPath(), u"/data/同步/");
    SetSyncPathOverride(u"/chosen/for/this/run");
    EXPECT_EQ(GetSyncPath(), u"/chosen/for/this/run/");
    SetSyncPathOverride(u"");
    EXPECT_EQ(ReadIniValue(Wide(m_settings), u"SyncroSet", u"SyncPath"), u"/data/同步/");
    EXPECT_EQ(ReadWholeFile(m_registry), registry);
}

TEST_F(SyncSettingsTest, WithoutSettingsAFolderOnTheBestDriveOrInDocuments)
{
    UseMounts({Fixed(u"/", 900 * kGiB), Fixed(u"/mnt/d", 100 * kGiB), Fixed(u"/mnt/e", 200 * kGiB)});
    EXPECT_EQ(GetSyncPath(), u"/mnt/e/Vexa Arbora/");
    EXPECT_FALSE(fs::exists(m_home.Root() / "data" / "Orvane"));
    EXPECT_FALSE(fs::exists(m_registry));
    SetAppKeyNames(u"Orvane", u"Other Product");
    EXPECT_EQ(GetSyncPath(), u"/mnt/e/Other Product/");
    SetAppKeyNames(u"Orvane", u"Vexa Arbora");

    UseMounts({Fixed(u"/", 900 * kGiB), MountEntry{u"/run", false, 10 * kGiB}});
    EXPECT_EQ(GetSyncPath(), Wide(m_home.Root() / "home" / "Documents" / "Vexa Arbora") + u"/");
    m_home.Set("XDG_DOCUMENTS_DIR", m_home.Root() / "文档");
    EXPECT_EQ(GetSyncPath(), Wide(m_home.Root() / "文档" / "Vexa Arbora") + u"/");

    Set(m_settings, u"SyncPath", u"   ");
    Set(m_registry, u"SyncPath", u"");
    EXPECT_TRUE(GetSyncPath().ends_with(u"/")); // never empty
}

TEST_F(SyncSettingsTest, DriveChoice)
{
    const struct {
        MountTable table;
        const char16_t* drive; // empty: none qualifies
    } rows[] = {
        {{{Fixed(u"/mnt/b", 5 * kGiB), Fixed(u"/mnt/a", 5 * kGiB)}, u"/"}, u"/mnt/b"},
        {{{Fixed(u"/mnt/a", 5 * kGiB), Fixed(u"/mnt/b", 6 * kGiB)}, u"/"}, u"/mnt/b"},
        {{{Fixed(u"/", 900 * kGiB), MountEntry{u"/net", false, 800 * kGiB}, Fixed(u"/mnt/full", 0)}, u"/"}, u""},
        {{{Fixed(u"/sysroot", 900 * kGiB), Fixed(u"/mnt/d", 1)}, u"/sysroot"}, u"/mnt/d"},
    };
    for (const auto& row : rows) {
        std::u16string drive = u"stale";
        EXPECT_EQ(ChooseDataDrive(row.table, drive), *row.drive != 0);
        EXPECT_EQ(drive, row.drive);
    }
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
        struct stat info {};
        ASSERT_EQ(::stat(WideToUtf8(entry.mountPoint).c_str(), &info), 0);
        EXPECT_NE(info.st_dev, root.st_dev) << WideToUtf8(entry.mountPoint);
        EXPECT_TRUE(entry.isLocalBlockDevice || entry.freeBytes == 0);
    }
}

// What the desktop application stores: each character raised by its position plus 3, wrapping past 255.
std::u16string Scramble(std::u16string name)
{
    for (size_t i = 0; i < name.size(); ++i) {
        const int code = name[i] + static_cast<int>(i + 3);
        name[i] = static_cast<char16_t>(name[i] <= 255 && code > 255 ? code - 255 : code);
    }
    return name;
}

TEST_F(SyncSettingsTest, SyncroNameIsUnscrambled)
{
    EXPECT_EQ(GetSyncroName(), u"");
    EXPECT_EQ(GetSyncroSetValue(u"SyncPath"), u"");
    Set(m_registry, u"SyncroName", u"dfh"); // "abc" raised by 3, 4 and 5
    EXPECT_EQ(GetSyncroName(), u"abc");
    EXPECT_EQ(GetSyncroSetValue(u"SyncroName"), u"dfh");
    EXPECT_EQ(GetSyncroSetValue(u""), u"");
    // 'ý' (253) at position 0 was stored as 253 + 3 - 255 = 1; at position 40, '!' (33) stands for 245.
    Set(m_registry, u"SyncroName", u"\x01");
    EXPECT_EQ(GetSyncroName(), u"\u00FD");
    Set(m_registry, u"SyncroName", Scramble(std::u16string(40, u'a')) + u"!");
    EXPECT_EQ(GetSyncroName(), std::u16string(40, u'a') + u"\u00F5");
    for (const std::u16string name : {u"zhang.san@example.org", u"张三", u""}) {
        Set(m_registry, u"SyncroName", Scramble(name));
        EXPECT_EQ(GetSyncroName(), name);
    }
    // From position 131 on, 'z' passes 255 and wraps.
    const std::u16string longName(135, u'z');
    ASSERT_EQ(Scramble(longName).substr(131), u"\x01\x02\x03\x04");
    Set(m_registry, u"SyncroName", Scramble(longName));
    EXPECT_EQ(GetSyncroName(), longName);
}

} // namespace
