#include "library/LibraryDatabase.h"

#include "library/LibraryColumns.h"
#include "library/LibraryErrors.h"
#include "library/LibrarySql.h"
#include "support/Log.h"
#include "support/SyncSettings.h"
#include "support/TextConvert.h"

#include <system_error>

namespace fs = std::filesystem;

namespace {

// Raised whenever the layout below changes.
constexpr int32_t kLayoutVersion = 2;

// Columns added after the first layout: a library made before them gets them on opening, and
// its entries read as having no recorded source.
const std::pair<const char16_t*, const char16_t*> kAddedUnitColumns[] = {
    {u"SourceTavId", u"text not null default ''"},
    {u"SourcePath", u"text not null default ''"},
    {u"SourceVersion", u"integer not null default 0"},
    {u"ImportStart", u"text not null default ''"},
};

bool HasColumn(CSqliteDB& db, const std::u16string& table, const std::u16string& column)
{
    CSqliteQuery query = db.ExecuteQuery(u"pragma table_info(" + table + u")");
    for (; !query.IsEof(); query.NextRow()) {
        if (query.GetStringValue(1) == column)
            return true;
    }
    return false;
}

// Page cache of the connection (KiB): an import touches the same index pages again and again,
// and SQLite's default of 2 MiB made it read them back from the file.
constexpr int32_t kCacheKilobytes = 32 * 1024;

// Pages the write-ahead log may hold before a commit copies them into the file. An import
// commits every few thousand operations and touches the same index pages each time: with
// SQLite's default (1,000 pages) most of a commit's pages were copied again at the next one.
constexpr int32_t kCheckpointPages = 5000;

} // namespace

bool IsLibraryGuid(const std::u16string& text)
{
    if (text.size() != 32)
        return false;
    for (char16_t c : text) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F')))
            return false;
    }
    return true;
}

int32_t CheckLibraryUserName(const std::u16string& user)
{
    if (user.empty())
        return kLibraryNoUser;
    if (user == u"." || user == u"..")
        return kLibraryBadUserName;
    for (char16_t c : user) {
        // A separator or a control character would put the library somewhere else.
        if (c == u'/' || c == u'\\' || c < 0x20)
            return kLibraryBadUserName;
    }
    return kLibraryOk;
}

fs::path ToFsPath(const std::u16string& path)
{
    return fs::path(WideToUtf8(path));
}

std::u16string FromFsPath(const fs::path& path)
{
    return Utf8ToWide(path.string());
}

int32_t CLibraryDatabase::Open(const std::u16string& user, bool create)
{
    const int32_t checked = CheckLibraryUserName(user);
    if (checked != kLibraryOk)
        return checked;
    std::u16string syncFolder = GetSyncPath();
    if (syncFolder.empty())
        return kLibraryCannotOpen;
    if (syncFolder.back() != u'/')
        syncFolder += u'/';
    const std::u16string userFolder = syncFolder + user + u"/";
    const std::u16string path = userFolder + u"library.db";

    std::error_code error;
    const bool exists = fs::is_regular_file(ToFsPath(path), error);
    if (m_db.IsOpen() && m_path == path && exists)
        return kLibraryOk;
    Close();
    if (!exists) {
        if (!create)
            return kLibraryNoLibrary;
        fs::create_directories(ToFsPath(userFolder), error);
        if (error)
            return kLibraryCannotOpen;
    }
    try {
        m_db.Open(path);
        // A new library keeps its text as UTF-8: its keys are hexadecimal GUIDs, which take half
        // the room they take in UTF-16, and an import writes a little over half the pages.
        // A library made before keeps the encoding it has; SQLite converts either way.
        if (!exists)
            m_db.ExecuteStatement(u"pragma encoding = 'UTF-8'");
        // Every operation commits on its own: with a write-ahead log a commit needs no sync of
        // the whole file, and a crash still leaves the library at its last commit.
        m_db.ExecuteQuery(u"pragma journal_mode=wal");
        ExecOrThrow(m_db, u"pragma synchronous=normal");
        ExecOrThrow(m_db, u"pragma wal_autocheckpoint=" + SqlInt(kCheckpointPages));
        ExecOrThrow(m_db, u"pragma cache_size=-" + SqlInt(kCacheKilobytes));
        CreateTables();
    } catch (const CSqliteException& e) {
        CxLog::Instance().Log(u"LibraryDatabase", u"CLibraryDatabase::Open", __LINE__, 3, u"%s: %s", path, e.ErrorMessage());
        Close();
        return kLibraryCannotOpen;
    }
    m_path = path;
    m_userFolder = userFolder;
    return kLibraryOk;
}

void CLibraryDatabase::Close()
{
    try {
        m_db.Close();
    } catch (const CSqliteException&) {
        // The destructor of the connection closes it once its statements are gone.
    }
    m_path.clear();
    m_userFolder.clear();
}

std::u16string CLibraryDatabase::AttachmentFolder(const std::u16string& tavGuid) const
{
    return m_userFolder + u"attachments/" + tavGuid + u"/";
}

void CLibraryDatabase::CreateTables()
{
    // Probing the version also fails early on a file that is no database.
    const int32_t version = m_db.ExecuteScalar(u"pragma user_version");
    if (version >= kLayoutVersion)
        return;
    CLibraryTransaction transaction(m_db);
    ExecOrThrow(m_db, u"create table if not exists LearningUnit(TavGuid text primary key not null, "
                      u"Name text not null default '', Complete integer not null default 0, "
                      u"CreateTime text not null default '', CompleteTime text not null default '')");
    ExecOrThrow(m_db, u"create table if not exists Folder(FolderGuid text primary key not null, "
                      u"TavGuid text not null, ParentGuid text not null, Name text not null default '')");
    ExecOrThrow(m_db, u"create index if not exists FolderByParent on Folder(TavGuid, ParentGuid)");
    ExecOrThrow(m_db, u"create table if not exists Literature(LiterGuid text primary key not null, "
                      u"TavGuid text not null, DoiKey text not null default '', " +
                          LiteratureColumns().Definitions() + u", AddTime text not null default '')");
    ExecOrThrow(m_db, u"create index if not exists LiteratureByDoi on Literature(TavGuid, DoiKey)");
    ExecOrThrow(m_db, u"create table if not exists FolderLiterature(FolderGuid text not null, "
                      u"LiterGuid text not null, TavGuid text not null, primary key(FolderGuid, LiterGuid))");
    ExecOrThrow(m_db, u"create index if not exists FolderLiteratureByUnit on FolderLiterature(TavGuid, LiterGuid)");
    ExecOrThrow(m_db, u"create table if not exists LiteratureRelate(LiterGuid text primary key not null, "
                      u"TavGuid text not null, " +
                          RelateColumns().Definitions() + u")");
    ExecOrThrow(m_db, u"create table if not exists Note(TavGuid text not null, PosID text not null, " +
                          NoteColumns().Definitions() + u", primary key(TavGuid, PosID))");
    ExecOrThrow(m_db, u"create index if not exists NoteByLiterature on Note(TavGuid, LiterGuid)");
    ExecOrThrow(m_db, u"create table if not exists NoteLabel(TavGuid text not null, PosID text not null, "
                      u"Position integer not null, Label text not null default '', "
                      u"primary key(TavGuid, PosID, Position))");
    ExecOrThrow(m_db, u"create table if not exists Attachment(TavGuid text not null, "
                      u"StoredPath text not null, SourcePath text not null default '', "
                      u"primary key(TavGuid, StoredPath))");
    for (const auto& [column, declaration] : kAddedUnitColumns) {
        if (!HasColumn(m_db, u"LearningUnit", column))
            ExecOrThrow(m_db, u"alter table LearningUnit add column " + std::u16string(column) + u" " + declaration);
    }
    ExecOrThrow(m_db, u"pragma user_version = " + SqlInt(kLayoutVersion));
    transaction.Commit();
}
