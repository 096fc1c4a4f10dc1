#pragma once
// Read access to a user's personal library for the front ends: what an import brought.
// Every read runs in one read transaction, so it sees one consistent state. Results are
// LibraryResult codes; a user without a library gets kLibraryNoLibrary (nothing is created).
#include "library/LibraryDatabase.h"
#include "library/LibraryRecords.h"

#include <cstdint>
#include <functional>
#include <list>
#include <map>
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
    // The unit it was imported from; all empty (version 0) for entries made before this was recorded.
    std::u16string SourceTavId;
    std::u16string SourcePath;
    int32_t SourceVersion = 0;
    std::u16string ImportStart;
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

// Everything one entry holds, read in one transaction.
struct SLibraryEntryContents {
    SLibraryEntry Entry;
    std::vector<SLibraryFolderNode> Folders; // as GetFolderTree
    // FolderGuid -> the LiterGuids filed in that folder, in the order they were filed.
    std::map<std::u16string, std::vector<std::u16string>> FolderLiterature;
    std::vector<std::shared_ptr<SLiteratureInfo>> Literature; // in the order they were added
    // LiterGuid -> reading state; a literature without one has no key.
    std::map<std::u16string, std::shared_ptr<SLiteratureRelate>> Relates;
    std::vector<SLibraryNote> Notes;
    std::vector<SLibraryAttachment> Attachments;
};

class CLibraryReader {
public:
    // Reads the library of the current user (OvSysUser), as it is at construction.
    CLibraryReader();
    // Reads the library of `user` (empty: fails with kLibraryNoUser).
    explicit CLibraryReader(std::u16string user);

    // Entries in the order they were created.
    int32_t ListEntries(std::vector<SLibraryEntry>& entries);
    // The entries whose TavGuid is `prefix` or begins with it, in either case. kLibraryOk with
    // exactly one match; kLibraryUnitNotFound for none; kLibraryAmbiguousEntry for several;
    // kLibraryBadArgument for an empty prefix. `matches` receives what matched.
    int32_t FindEntries(const std::u16string& prefix, std::vector<SLibraryEntry>& matches);
    int32_t ReadEntryContents(const std::u16string& tavGuid, SLibraryEntryContents& contents);
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
    // The entry's notes; those of one literature when `literGuid` is given.
    int32_t ReadNotes(const std::u16string& tavGuid, const std::u16string* literGuid, std::vector<SLibraryNote>& notes);

    std::u16string m_user;
    CLibraryDatabase m_database;
};
