#include "sqlite/SqliteDB.h"

#include "support/DurableFile.h"
#include "support/TextConvert.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

const char16_t* ConnectionText(sqlite3* db)
{
    return db != nullptr ? static_cast<const char16_t*>(sqlite3_errmsg16(db)) : nullptr;
}

// Runs one statement with bound text values through the narrow API; used only for the
// encryption copy, which must not splice the key or the path into the statement text.
int RunBound(sqlite3* db, const char* sql, const std::string& first, const std::string* second)
{
    sqlite3_stmt* statement = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    if (rc != SQLITE_OK)
        return rc;
    sqlite3_bind_text(statement, 1, first.data(), static_cast<int>(first.size()), SQLITE_TRANSIENT);
    if (second != nullptr)
        sqlite3_bind_blob(statement, 2, second->data(), static_cast<int>(second->size()), SQLITE_TRANSIENT);
    rc = sqlite3_step(statement);
    const int released = sqlite3_finalize(statement);
    if (rc == SQLITE_ROW || rc == SQLITE_DONE)
        return released;
    return released != SQLITE_OK ? released : rc;
}

// Once per process, before SQLite starts: no memory statistics, which would take a global lock
// on every allocation. Too late (SQLite already started elsewhere) changes nothing.
void ConfigureSqliteOnce()
{
    static const int configured = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    (void)configured;
}

} // namespace

CSqliteDB::~CSqliteDB()
{
    try {
        Close();
    } catch (const CSqliteException&) {
        // Statements still open keep the connection busy: close it once they are gone.
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

void CSqliteDB::CheckOpen() const
{
    if (m_db == nullptr)
        throw CSqliteException(CSQLITE_ERROR, u"Database not open");
}

void CSqliteDB::ThrowWithConnectionText(int32_t code) const
{
    throw CSqliteException(code, ConnectionText(m_db));
}

void CSqliteDB::Open(const std::u16string& path)
{
    ConfigureSqliteOnce();
    sqlite3* db = nullptr;
    const int opened = sqlite3_open_v2(WideToUtf8(path).c_str(), &db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    // A file this connection creates holds its text as UTF-16, as the UTF-16 open makes it; on an
    // existing file this reads nothing and changes nothing.
    if (opened == SQLITE_OK)
        sqlite3_exec(db, "pragma encoding = 'UTF-16'", nullptr, nullptr, nullptr);
    Adopt(db, opened, path);
}

void CSqliteDB::OpenReadOnly(const std::u16string& path)
{
    ConfigureSqliteOnce();
    sqlite3* db = nullptr;
    Adopt(db, sqlite3_open_v2(WideToUtf8(path).c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr), path);
}

bool CSqliteDB::InTransaction() const
{
    return m_db != nullptr && sqlite3_get_autocommit(m_db) == 0;
}

void CSqliteDB::Adopt(sqlite3* db, int openResult, const std::u16string& path)
{
    if (openResult != SQLITE_OK) {
        CSqliteException error(openResult, ConnectionText(db));
        sqlite3_close(db);
        throw error;
    }
    // A connection still open here would otherwise be lost with its handle: let it go once its
    // statements are gone.
    m_statements.Clear();
    m_savepointDepth = 0;
    if (m_db != nullptr)
        sqlite3_close_v2(m_db);
    m_db = db;
    m_path = path;
    m_keyApplied = false;
    sqlite3_busy_timeout(m_db, m_busyTimeoutMs);
    if (!m_triggersAllowed)
        sqlite3_db_config(m_db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    if (m_writeFailures->haltWrites && m_writeFailures->code != 0)
        sqlite3_exec(m_db, "pragma query_only = 1", nullptr, nullptr, nullptr);
}

void CSqliteDB::ClearWriteFailure()
{
    const bool halted = m_writeFailures->haltWrites && m_writeFailures->code != 0;
    m_writeFailures->code = 0;
    m_writeFailures->text.clear();
    if (halted && m_db != nullptr)
        sqlite3_exec(m_db, "pragma query_only = 0", nullptr, nullptr, nullptr);
}

void CSqliteDB::Close()
{
    if (m_db == nullptr)
        return;
    m_statements.Clear();
    const int rc = sqlite3_close(m_db);
    if (rc != SQLITE_OK)
        ThrowWithConnectionText(rc);
    m_db = nullptr;
    m_savepointDepth = 0;
    m_keyApplied = false;
}

int32_t CSqliteDB::SetKey(const void* key, int32_t length)
{
    CheckOpen();
    const int rc = sqlite3_key(m_db, key, length);
    if (rc == SQLITE_OK)
        m_keyApplied = true;
    return rc;
}

int32_t CSqliteDB::ChangeKey(const void* key, int32_t length)
{
    CheckOpen();
    const int32_t rc = m_keyApplied ? sqlite3_rekey(m_db, key, length) : EncryptPlainFile(key, length);
    NoteWriteFailure(m_writeFailures.get(), m_db, rc);
    return rc;
}

int32_t CSqliteDB::EncryptPlainFile(const void* key, int32_t length)
{
    // Probe: an encrypted file (or no database at all) fails here and stays untouched.
    {
        sqlite3_stmt* probe = nullptr;
        int rc = sqlite3_prepare_v2(m_db, "select count(*) from sqlite_master", -1, &probe, nullptr);
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(probe);
            rc = (rc == SQLITE_ROW || rc == SQLITE_DONE) ? SQLITE_OK : rc;
            const int released = sqlite3_finalize(probe);
            if (rc == SQLITE_OK)
                rc = released;
        }
        if (rc != SQLITE_OK)
            return rc;
    }

    namespace fs = std::filesystem;
    const std::string target = WideToUtf8(m_path);
    // The encrypted copy replaces the file: a file that may not be written must stay as it is,
    // even where the folder would allow the rename.
    struct stat current {};
    if (::stat(target.c_str(), &current) == 0 && ((current.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)) {
        if (m_writeFailures->code == 0) {
            m_writeFailures->code = SQLITE_READONLY;
            m_writeFailures->text = u"the file is read-only";
        }
        return SQLITE_READONLY;
    }
    const std::string temporary = target + ".encrypting";
    std::error_code ignored;
    fs::remove(temporary, ignored);

    const std::string keyBytes(static_cast<const char*>(key), static_cast<size_t>(length));
    int rc = RunBound(m_db, "ATTACH DATABASE ?1 AS arbora_encrypted KEY ?2", temporary, &keyBytes);
    if (rc != SQLITE_OK) {
        fs::remove(temporary, ignored);
        return rc;
    }
    const std::string schema = "arbora_encrypted";
    rc = RunBound(m_db, "SELECT sqlcipher_export(?1)", schema, nullptr);
    const int detached = RunBound(m_db, "DETACH DATABASE ?1", schema, nullptr);
    if (rc == SQLITE_OK)
        rc = detached;
    if (rc != SQLITE_OK) {
        fs::remove(temporary, ignored);
        return rc;
    }

    // Keep the user's permissions, make the copy durable, then swap it in atomically.
    struct stat original {};
    if (::stat(target.c_str(), &original) == 0)
        ::chmod(temporary.c_str(), original.st_mode & 07777);
    if (!SyncPath(temporary)) {
        fs::remove(temporary, ignored);
        return SQLITE_IOERR;
    }
    m_statements.Clear();
    rc = sqlite3_close(m_db);
    if (rc != SQLITE_OK) {
        fs::remove(temporary, ignored);
        return rc;
    }
    m_db = nullptr;
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        fs::remove(temporary, ignored);
        Open(m_path);
        return SQLITE_IOERR;
    }
    SyncParentFolder(target);

    Open(m_path);
    return SetKey(key, length);
}

int32_t CSqliteDB::ExecuteStatement(const std::u16string& sql)
{
    for (;;) {
        CheckOpen();
        sqlite3_stmt* statement = nullptr;
        const int prepared = sqlite3_prepare16(m_db, sql.c_str(), -1, &statement, nullptr);
        if (prepared != SQLITE_OK) {
            NoteWriteFailure(m_writeFailures.get(), m_db, prepared);
            ThrowWithConnectionText(prepared);
        }
        const int stepped = sqlite3_step(statement);
        if (stepped == SQLITE_ERROR) {
            // Release first so that the connection can still close; the release also
            // leaves SQLite's own text for the failure on the connection. A schema that
            // changed under the statement is no failure: prepare again.
            const int released = sqlite3_finalize(statement);
            if (released == SQLITE_SCHEMA)
                continue;
            NoteWriteFailure(m_writeFailures.get(), m_db, released);
            ThrowWithConnectionText(SQLITE_ERROR);
        }
        const int released = sqlite3_finalize(statement);
        if (released == SQLITE_SCHEMA)
            continue;
        NoteWriteFailure(m_writeFailures.get(), m_db, released);
        return released;
    }
}

CSqliteQuery CSqliteDB::ExecuteQuery(const std::u16string& sql)
{
    for (;;) {
        CheckOpen();
        sqlite3_stmt* statement = nullptr;
        const int prepared = sqlite3_prepare16(m_db, sql.c_str(), -1, &statement, nullptr);
        if (prepared != SQLITE_OK) {
            NoteWriteFailure(m_writeFailures.get(), m_db, prepared);
            ThrowWithConnectionText(prepared);
        }
        const int stepped = sqlite3_step(statement);
        if (stepped == SQLITE_DONE || stepped == SQLITE_ROW)
            return CSqliteQuery(m_db, statement, stepped == SQLITE_DONE, true, m_writeFailures);
        const int released = sqlite3_finalize(statement);
        if (released == SQLITE_SCHEMA)
            continue;
        NoteWriteFailure(m_writeFailures.get(), m_db, released);
        ThrowWithConnectionText(released);
    }
}

int32_t CSqliteDB::ExecuteScalar(const std::u16string& sql)
{
    CSqliteQuery query = ExecuteQuery(sql);
    if (!query.HasStatement())
        throw CSqliteException(CSQLITE_ERROR, u"Null Virtual Machine pointer");
    if (query.IsEof() || query.NumFields() < 1)
        return 0;
    return query.GetIntField(0);
}

bool CSqliteDB::TableExists(const std::u16string& table)
{
    return Scalar(u"select count(*) from sqlite_master where type='table' and name=?", table) > 0;
}
