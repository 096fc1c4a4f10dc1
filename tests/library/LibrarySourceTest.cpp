// Where entries come from: a library made before sources were recorded opens, keeps its
// entries (without source) and records the source of new ones; earlier entries are settled only
// for a completed entry and only among entries of the same unit.
#include "library/LibraryErrors.h"
#include "library/LibraryReader.h"
#include "library/OvDataMiddle.h"
#include "sqlite/SqliteDB.h"
#include "support/SupportTestEnv.h"
#include "support/SyncPathOverride.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

TEST(LibrarySourceTest, OldLibrariesOpenAndOnlyCompletedEntriesSettleTheirUnitsEarlierEntries)
{
    const supporttest::TempHome home;
    SetSyncPathOverride(Utf8ToWide((home.Root() / "sync").string()));
    const fs::path file = home.Root() / "sync" / "alice" / "library.db";
    fs::create_directories(file.parent_path());
    {
        // The first layout: LearningUnit without the source columns.
        CSqliteDB db;
        db.Open(Utf8ToWide(file.string()));
        db.ExecuteStatement(u"create table LearningUnit(TavGuid text primary key not null, Name text not null default '', "
                            u"Complete integer not null default 0, CreateTime text not null default '', "
                            u"CompleteTime text not null default '')");
        db.ExecuteStatement(u"insert into LearningUnit values('0123456789ABCDEF0123456789ABCDEF','old',1,'2020-01-01 10:00:00','')");
        db.ExecuteStatement(u"pragma user_version = 1");
    }
    std::vector<SLibraryEntry> entries;
    ASSERT_EQ(kLibraryOk, CLibraryReader(u"alice").ListEntries(entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(std::make_tuple(entries[0].Name, entries[0].SourceTavId, entries[0].SourceVersion),
              std::make_tuple(std::u16string(u"old"), std::u16string(), 0));

    IOvDataMiddle::Initialize(-1);
    IOvDataMiddle& service = IOvDataMiddle::Instance();
    const auto create = [&](const std::u16string& tavId, bool complete) {
        auto info = std::make_shared<STavInfo>();
        std::tie(info->Name, info->SourceTavId, info->SourcePath, info->SourceVersion, info->ImportStart) =
            std::make_tuple(u"u", tavId, u"/units/u.tav", 9, u"2026-01-02 03:04:05");
        EXPECT_EQ(kLibraryOk, service.CreateLearningUnit(info, u"alice", 0, 0));
        EXPECT_TRUE(!complete || service.CompleteLearningUnit(info->TavGuid, u"alice") == kLibraryOk);
        return info->TavGuid;
    };
    const std::u16string other = create(u"OTHER", false);
    const std::u16string first = create(u"T1", false);
    const std::u16string second = create(u"T1", false);
    std::vector<SEarlierEntry> earlier;
    // The new entry has not completed: nothing is touched.
    EXPECT_EQ(kLibraryEntryIncomplete, service.SettleEarlierEntries(second, u"alice", true, earlier));
    EXPECT_TRUE(earlier.empty());
    EXPECT_EQ(kLibraryOk, service.CompleteLearningUnit(second, u"alice"));
    const std::u16string third = create(u"T1", true);
    EXPECT_EQ(kLibraryOk, service.SettleEarlierEntries(third, u"alice", false, earlier));
    ASSERT_EQ(earlier.size(), 2u);
    EXPECT_EQ(std::make_tuple(earlier[0].TavGuid, earlier[0].Complete, earlier[0].Removed), std::make_tuple(first, false, true));
    EXPECT_EQ(std::make_tuple(earlier[1].TavGuid, earlier[1].Complete, earlier[1].Removed), std::make_tuple(second, true, false));
    IOvDataMiddle::Uninitialize();

    ASSERT_EQ(kLibraryOk, CLibraryReader(u"alice").ListEntries(entries));
    std::vector<std::u16string> guids;
    for (const SLibraryEntry& entry : entries)
        guids.push_back(entry.TavGuid);
    EXPECT_EQ(guids, (std::vector<std::u16string>{u"0123456789ABCDEF0123456789ABCDEF", other, second, third}));
    EXPECT_EQ(std::make_tuple(entries[3].SourceTavId, entries[3].SourcePath, entries[3].SourceVersion, entries[3].ImportStart),
              std::make_tuple(std::u16string(u"T1"), std::u16string(u"/units/u.tav"), 9, std::u16string(u"2026-01-02 03:04:05")));
    SetSyncPathOverride(u"");
}

} // namespace
