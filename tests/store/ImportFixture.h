#pragma once
// Runs Init from path to library for the import and end-to-end tests: "alice" is signed in and
// her library lives under the test's own sync folder.
#include "builder/UnitBuilder.h"
#include "library/LibraryReader.h"
#include "library/OvDataMiddle.h"
#include "store/TavDB.h"
#include "support/SupportTestEnv.h"
#include "support/SyncPathOverride.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

namespace storetest {

namespace fs = std::filesystem;
using testkit::U16;
using testkit::U8;

struct Line {
    int32_t position, maximum;
    std::u16string text;
};

using supporttest::ReadWholeFile;

// Folder name -> its parent's name ("<entry>" for a top-level folder).
inline std::map<std::u16string, std::u16string> ParentNames(const SLibraryEntryContents& contents)
{
    std::map<std::u16string, std::u16string> nameOf{{contents.Entry.TavGuid, u"<entry>"}}, parents;
    for (const auto& node : contents.Folders)
        nameOf[node.Folder->FolderGuid] = node.Folder->Name;
    for (const auto& node : contents.Folders)
        parents[node.Folder->Name] = nameOf[node.Folder->ParentGuid];
    return parents;
}

class ImportFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_cancelFlag.store(0);
        SetSyncPathOverride(U16((m_dir.Path() / "sync").string()));
        testkit::SignInAccount(u"alice");
    }
    void TearDown() override
    {
        g_cancelFlag.store(0);
        SetSyncPathOverride(u"");
        OvSysUser::Instance().ClearOverride();
    }

    fs::path Build(const testkit::UnitSpec& spec, const std::string& name = "unit.tav")
    {
        testkit::BuildUnit(m_dir.Path() / "units" / name, spec);
        return m_dir.Path() / "units" / name;
    }

    // Runs Init on `unit` with `m_tavId`; `onLine` may set the cancel flag.
    int Run(const fs::path& unit, const std::u16string& account = u"owner1",
            const std::function<void(const Line&)>& onLine = {})
    {
        m_lines.clear();
        CTavDB store;
        store.SetPauseMilliseconds(m_pauseMs);
        store.SetActivityCallback(m_activity);
        store.SetReplaceEarlierEntries(m_replace);
        const int result = store.Init(U16(unit.string()), m_tavId, account,
                                      [this, onLine](int32_t position, int32_t maximum, const std::u16string& text) {
                                          m_lines.push_back({position, maximum, text});
                                          if (onLine)
                                              onLine(m_lines.back());
                                          return 1;
                                      });
        m_totalSteps = store.TotalSteps();
        m_report = store.RunReport();
        m_earlier = store.EarlierEntries();
        return result;
    }

    size_t Said(const std::u16string& text) const
    {
        return std::count_if(m_lines.begin(), m_lines.end(), [&](const Line& line) { return line.text == text; });
    }

    static std::vector<SLibraryEntry> Entries()
    {
        std::vector<SLibraryEntry> entries;
        CLibraryReader(u"alice").ListEntries(entries);
        return entries;
    }
    // The newest entry of the library, read whole.
    static SLibraryEntryContents Contents()
    {
        SLibraryEntryContents contents;
        const auto entries = Entries();
        EXPECT_EQ(entries.empty() ? -1 : CLibraryReader(u"alice").ReadEntryContents(entries.back().TavGuid, contents),
                  0);
        return contents;
    }
    fs::path UserFolder() const { return m_dir.Path() / "sync" / "alice"; }
    static std::map<std::u16string, SLibraryNote> NotesByPosId(const SLibraryEntryContents& contents)
    {
        std::map<std::u16string, SLibraryNote> notes;
        for (const SLibraryNote& note : contents.Notes)
            notes[note.Note->PosID] = note;
        return notes;
    }

    testkit::ScopedHomeEnv m_home;
    testkit::TempDir m_dir;
    std::vector<Line> m_lines;
    std::u16string m_tavId;
    int32_t m_totalSteps = 0;
    SRunReport m_report;
    bool m_replace = false;                // Run: tavtool import --replace
    std::vector<SEarlierEntry> m_earlier;  // Run: what became of the unit's earlier entries
    // What Run gives the store: no pauses, no side channel, unless a test asks for them.
    int32_t m_pauseMs = 0;
    ActivityCallback m_activity;
};

} // namespace storetest
