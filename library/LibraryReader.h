#pragma once
// Read access to a user's personal library for the front ends: what an import brought.
// Every read runs in one read transaction, so it sees one consistent state. Results are
// LibraryResult codes; a user without a library gets kLibraryNoLibrary (nothing is created).
#include "library/LibraryDatabase.h"
#include "library/LibraryRecords.h"

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

struct SLibraryEntry {
    std::u16string TavGuid;
    std::u16string Name;
    bool Complete = false;
    std::u16string CreateTime;
    std::u16string CompleteTime;
    int32_t FolderCount = 0;
    int32_t LiteratureCount = 0;
    int32_t NoteCount = 0;
};

struct SLibraryFolderNode {
    std::shared_ptr<SLiteratureFolder> Folder;
    int32_t Depth = 0;           // 0 for a top-level folder
    int32_t LiteratureCount = 0; // literature filed directly in this folder
};

struct SLibraryNote {
    std::shared_ptr<SNoteInfo> Note;
    std::list<std::u16string> Labels; // in the order they were given
};

struct SLibraryAttachment {
    std::u16string StoredPath;
    std::u16string SourcePath;
};

class CLibraryReader {
public:
    // Reads the library of the current user (OvSysUser), as it is at construction.
    CLibraryReader();
    // Reads the library of `user` (empty: fails with kLibraryNoUser).
    explicit CLibraryReader(std::u16string user);

    // Entries in the order they were created.
    int32_t ListEntries(std::vector<SLibraryEntry>& entries);
    // The entry's folders depth first, each folder before its subfolders, siblings in the order
    // they were added.
    int32_t GetFolderTree(const std::u16string& tavGuid, std::vector<SLibraryFolderNode>& folders);
    int32_t ListFolderLiterature(const std::u16string& tavGuid, const std::u16string& folderGuid,
                                 std::vector<std::shared_ptr<SLiteratureInfo>>& literature);
    int32_t ListLiterature(const std::u16string& tavGuid, std::vector<std::shared_ptr<SLiteratureInfo>>& literature);
    // The folders a literature is filed in.
    int32_t ListLiteratureFolders(const std::u16string& tavGuid, const std::u16string& literGuid,
                                  std::vector<std::u16string>& folderGuids);
    // kLibraryLiteratureNotFound when the literature has no reading state.
    int32_t GetLiteratureRelate(const std::u16string& tavGuid, const std::u16string& literGuid,
                                std::shared_ptr<SLiteratureRelate>& relate);
    int32_t ListNotes(const std::u16string& tavGuid, std::vector<SLibraryNote>& notes);
    int32_t ListLiteratureNotes(const std::u16string& tavGuid, const std::u16string& literGuid,
                                std::vector<SLibraryNote>& notes);
    int32_t ListAttachments(const std::u16string& tavGuid, std::vector<SLibraryAttachment>& attachments);

    std::u16string GetErrorText(int32_t code) const;

private:
    using Body = std::function<void(CSqliteDB&)>;
    int32_t Read(const Body& body);
    int32_t ReadEntry(const std::u16string& tavGuid, const Body& body);
    int32_t ReadNotes(const std::u16string& tavGuid, const std::u16string& condition, std::vector<SLibraryNote>& notes);
    static std::vector<std::shared_ptr<SLiteratureInfo>> QueryLiterature(CSqliteDB& db, const std::u16string& sql);

    std::u16string m_user;
    CLibraryDatabase m_database;
};
