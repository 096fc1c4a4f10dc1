#pragma once
// A personal library in a temporary home: the sync folder is written into SyncroSet.ini as
// the desktop application would, the current user is chosen through OvSysUser, and the
// service is initialised for the test and released afterwards.
#include "library/LibraryDatabase.h"
#include "library/LibraryErrors.h"
#include "library/LibraryReader.h"
#include "library/OvDataMiddle.h"
#include "sqlite/SqliteDB.h"
#include "support/IniFile.h"
#include "support/SupportTestEnv.h"
#include "support/SyncSettings.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace librarytest {

namespace fs = std::filesystem;

inline std::u16string W(const fs::path& path)
{
    return Utf8ToWide(path.string());
}

inline fs::path P(const std::u16string& path)
{
    return fs::path(WideToUtf8(path));
}

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_sync = m_home.Root() / "sync folder";
        fs::create_directories(m_sync);
        // Written without the final separator: the service must add it.
        ASSERT_TRUE(WriteIniValue(SyncroSetFilePath(), u"SyncroSet", u"SyncPath", W(m_sync)));
        OvSysUser::Instance().SetUser(u"alice");
        IOvDataMiddle::Initialize(-1);
    }

    void TearDown() override
    {
        IOvDataMiddle::Uninitialize();
        OvSysUser::Instance().ClearOverride();
    }

    static IOvDataMiddle& Service() { return IOvDataMiddle::Instance(); }
    static std::u16string User() { return OvSysUser::Instance().GetUser(); }

    fs::path UserFolder(const std::string& user = "alice") const { return m_sync / user; }
    fs::path AttachmentFolder(const std::u16string& tavGuid, const std::string& user = "alice") const
    {
        return UserFolder(user) / "attachments" / P(tavGuid);
    }

    std::u16string CreateUnit(const std::u16string& name)
    {
        auto info = std::make_shared<STavInfo>();
        info->Name = name;
        EXPECT_EQ(kLibraryOk, Service().CreateLearningUnit(info, User(), 0, 0));
        return info->TavGuid;
    }

    std::u16string AddFolder(const std::u16string& tavGuid, const std::u16string& parentGuid, const std::u16string& name)
    {
        auto folder = std::make_shared<SLiteratureFolder>();
        folder->Name = name;
        folder->ParentGuid = parentGuid;
        folder->TavGuid = tavGuid;
        EXPECT_EQ(kLibraryOk, Service().AddFolder(folder, tavGuid, User(), 0));
        return folder->FolderGuid;
    }

    std::u16string AddLiterature(const std::u16string& tavGuid, const std::u16string& folderGuid,
                                 const std::u16string& doi, const std::u16string& title)
    {
        auto literature = std::make_shared<SLiteratureInfo>();
        literature->DOI = doi;
        literature->Title = title;
        literature->TavGuid = tavGuid;
        EXPECT_EQ(kLibraryOk, Service().AddLiterature(literature, tavGuid, User(), folderGuid, 0, 0));
        return literature->LiterGuid;
    }

    fs::path WriteSource(const std::string& name, const std::string& bytes)
    {
        const fs::path path = m_home.Root() / "sources" / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    // Rows of `table` that belong to the entry, counted straight in the library file.
    int32_t CountRows(const std::string& table, const std::u16string& tavGuid, const std::string& user = "alice")
    {
        CSqliteDB db;
        db.Open(W(UserFolder(user) / "library.db"));
        return db.ExecuteScalar(u"select count(*) from " + Utf8ToWide(table) + u" where TavGuid='" + tavGuid + u"'");
    }

    supporttest::TempHome m_home;
    fs::path m_sync;
};

inline std::string ReadFile(const fs::path& path)
{
    return supporttest::ReadWholeFile(path);
}

inline bool IsGuidText(const std::u16string& text)
{
    return IsLibraryGuid(text);
}

} // namespace librarytest
