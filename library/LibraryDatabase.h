#pragma once
// Where a user's library lives and the connection to it: <sync folder><user>/library.db, with
// attachment files under <sync folder><user>/attachments/<TavGuid>/.
#include "library/LibraryStatements.h"
#include "sqlite/SqliteDB.h"

#include <cstdint>
#include <filesystem>
#include <string>

// True for 32 upper-case hexadecimal digits, the form of every GUID this library hands out.
// Checked before a GUID becomes part of a path.
bool IsLibraryGuid(const std::u16string& text);

// kLibraryOk, or why `user` cannot name the user's library folder.
int32_t CheckLibraryUserName(const std::u16string& user);

std::filesystem::path ToFsPath(const std::u16string& path);
std::u16string FromFsPath(const std::filesystem::path& path);

class CLibraryDatabase {
public:
    // Opens the library of `user`, creating it (folder, file and tables) when `create` is set;
    // without `create` a missing library gives kLibraryNoLibrary. An open connection to the
    // same file is reused. Returns a LibraryResult.
    int32_t Open(const std::u16string& user, bool create);
    void Close();

    CSqliteDB& Db() { return m_db; }
    // Prepared statements of this connection, finalized when it closes.
    CLibraryStatements& Statements() { return m_statements; }
    // "<sync folder><user>/" of the open library.
    const std::u16string& UserFolder() const { return m_userFolder; }
    // The folder that holds the attachments of one entry.
    std::u16string AttachmentFolder(const std::u16string& tavGuid) const;

private:
    void CreateTables();

    CSqliteDB m_db;
    CLibraryStatements m_statements;   // after m_db: finalized before the connection goes
    std::u16string m_path;
    std::u16string m_userFolder;
};
