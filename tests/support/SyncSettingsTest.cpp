#include "support/SyncSettings.h"

#include "support/IniFile.h"
#include "support/SupportTestEnv.h"
#include "support/SyncPathOverride.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using supporttest::ReadWholeFile;

constexpr uint64_t kGiB = 1024ull * 1024 * 1024;
MountEntry Fixed(const std::u16string& mountPoint, uint64_t freeBytes) { return {mountPoint, true, freeBytes}; }
std::u16string Wide(const fs::path& path) { return Utf8ToWide(path.string()); }
void UseMounts(std::vector<MountEntry> entries)
{
    SetMountTableSource([entries] { return MountTable{entries, u"/"}; });
}

class SyncSettingsTest : public ::testing::Test {
protected:
    SyncSettingsTest() { UseMounts({}); }
    ~SyncSettingsTest() override
    {
        SetMountTableSource({});
        SetAppKeyNames(u"Orvane", u"Vexa Arbora");
    }
    static void Set(const fs::path& file, const std::u16string& name, const std::u16string& value)
    {
        ASSERT_TRUE(WriteIniValue(Wide(file), u"SyncroSet", name, value));
    }

    supporttest::TempHome m_home;
    fs::path m_registry = m_home.Root() / "config" / "Orvane" / "Vexa Arbora" / "registry.ini";
    fs::path m_settings = m_home.Root() / "data" / "Orvane" / "Vexa Arbora" / "SyncroSet.ini";
};

TEST_F(SyncSettingsTest, OverrideThenSettingsFileThenRegistryThenADefaultFolder)
{
    SetAppKeyNames(u"", u"");
    EXPECT_EQ(AppRegistryFilePath(), Wide(m_registry));
    EXPECT_EQ(SyncroSetFilePath(), Wide(m_settings));
    // The registry value is used once and written into the settings file, keeping its other lines.
    supporttest::WriteWholeFile(m_settings, "[SyncroSet]\nSyncPath=\nUser=someone\n[Other]\nk=v\n");
    Set(m_registry, u"SyncPath", u"/srv/library");
    EXPECT_EQ(GetSyncroSetValue(u"SyncPath"), u"/srv/library");
    EXPECT_EQ(GetSyncPath(), u"/srv/library/");
    EXPECT_EQ(ReadWholeFile(m_settings), "[SyncroSet]\nSyncPath=/srv/library\nUser=someone\n[Other]\nk=v\n");
    Set(m_registry, u"SyncPath", u"/elsewhere");
    EXPECT_EQ(GetSyncPath(), u"/srv/library/");
    Set(m_settings, u"SyncPath", u"/data/同步/");
    SetSyncPathOverride(u"/chosen/for/this/run");
    EXPECT_EQ(GetSyncPath(), u"/chosen/for/this/run/");
    SetSyncPathOverride(u"");
    EXPECT_EQ(GetSyncPath(), u"/data/同步/");
    EXPECT_EQ(ReadIniValue(Wide(m_registry), u"SyncroSet", u"SyncPath"), u"/elsewhere");
    SetAppKeyNames(u"Acme", u"Tool");
    EXPECT_EQ(AppRegistryFilePath(), Wide(m_home.Root() / "config" / "Acme" / "Tool" / "registry.ini"));
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
    // The machine's own table leaves out the file system that holds "/".
    const MountTable table = ReadMountTable();
    EXPECT_FALSE(table.systemMount.empty());
    struct stat root {};
    struct stat info {};
    ASSERT_EQ(::stat("/", &root), 0);
    for (const MountEntry& entry : table.entries) {
        ASSERT_EQ(::stat(WideToUtf8(entry.mountPoint).c_str(), &info), 0);
        EXPECT_NE(info.st_dev, root.st_dev) << WideToUtf8(entry.mountPoint);
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
    const std::u16string a40(40, u'a');
    for (const auto& [stored, name] :
         {std::pair<std::u16string, std::u16string>{u"dfh", u"abc"}, {Scramble(u"张三"), u"张三"},
          {u"\x01", u"\u00FD"},                  // 253 at position 0 wrapped to 1
          {Scramble(a40) + u"!", a40 + u"\u00F5"}, // at position 40, 33 stands for 33 - 43 + 255
          {Scramble(std::u16string(135, u'z')), std::u16string(135, u'z')}}) {
        Set(m_registry, u"SyncroName", stored);
        EXPECT_EQ(GetSyncroName(), name);
    }
}

} // namespace
