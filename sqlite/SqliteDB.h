#pragma once
// One SQLite connection (SQLCipher build). All text crosses as UTF-16; every failure is
// thrown as CSqliteException.
//
// A connection, and everything that comes from it, is used by one thread at a time (this class
// keeps state of its own without a lock), so it is opened without SQLite's own mutex.
#include "sqlite/SqliteException.h"
#include "sqlite/SqliteQuery.h"
#include "sqlite/SqliteStatementCache.h"

#include <cstdint>
#include <memory>
#include <string>

struct sqlite3;

class CSqliteDB {
public:
    CSqliteDB() = default;
    CSqliteDB(const CSqliteDB&) = delete;
    CSqliteDB& operator=(const CSqliteDB&) = delete;
    virtual ~CSqliteDB();

    void Open(const std::u16string& path);
    // Opens without any right to write: nothing on disk can change through this connection.
    void OpenReadOnly(const std::u16string& path);
    void Close();
    bool IsOpen() const { return m_db != nullptr; }

    // sqlite3_key: the SQLite result code is returned, not thrown.
    int32_t SetKey(const void* key, int32_t length);
    // With a key applied: sqlite3_rekey. Without one: a plain file is encrypted in place
    // (atomically) and the connection reopened with the key; an encrypted or non-database
    // file is refused with its nonzero code and left untouched.
    int32_t ChangeKey(const void* key, int32_t length);

    // The connection's cached prepared statement for `sql` (see SqliteStatementCache.h).
    CSqliteCachedStatement Prepare(const std::u16string& sql) { return m_statements.Acquire(*this, sql); }
    const CSqliteStatementCache& StatementCache() const { return m_statements; }
    // Runs `sql` as a cached statement with `values` bound to its ?s in order.
    template <typename... Values>
    void Run(const std::u16string& sql, const Values&... values)
    {
        CSqliteCachedStatement statement = Prepare(sql);
        statement->BindAll(values...).Execute();
    }
    // The same for a query: its first row's first column as an integer (0 without a row).
    template <typename... Values>
    int32_t Scalar(const std::u16string& sql, const Values&... values)
    {
        CSqliteCachedStatement statement = Prepare(sql);
        return statement->BindAll(values...).Step() ? statement->GetInt(0) : 0;
    }
    // ... and as text (empty without a row).
    template <typename... Values>
    std::u16string ScalarText(const std::u16string& sql, const Values&... values)
    {
        CSqliteCachedStatement statement = Prepare(sql);
        return statement->BindAll(values...).Step() ? statement->GetText(0) : std::u16string();
    }
    // False in autocommit mode: no transaction open (also after SQLite rolled one back itself).
    bool InTransaction() const;

    int32_t ExecuteStatement(const std::u16string& sql);
    CSqliteQuery ExecuteQuery(const std::u16string& sql);
    int32_t ExecuteScalar(const std::u16string& sql);
    bool TableExists(const std::u16string& table);

    void SetBusyTimeout(int32_t milliseconds) { m_busyTimeoutMs = milliseconds; }
    // False: every connection opened from now on runs no trigger that its file holds.
    void SetTriggersAllowed(bool allowed) { m_triggersAllowed = allowed; }

    // The first write failure of this connection's statements and queries since the last
    // clear (code 0: none); reopening keeps it.
    const SSqliteWriteFailure& WriteFailure() const { return *m_writeFailures; }
    // Clears the failure and lets the connection write again.
    void ClearWriteFailure();
    // True: after a write failure the connection takes no change until ClearWriteFailure.
    void SetHaltWritesOnFailure(bool halt) { m_writeFailures->haltWrites = halt; }
    sqlite3* Handle() const { return m_db; }
    const std::u16string& Path() const { return m_path; }

private:
    friend class CSqliteStatement;   // records write failures of its steps
    friend class CSqliteTransaction; // names nested savepoints by their depth

    void CheckOpen() const;
    // Takes a freshly opened handle (or throws its open failure).
    void Adopt(sqlite3* db, int openResult, const std::u16string& path);
    [[noreturn]] void ThrowWithConnectionText(int32_t code) const;
    int32_t EncryptPlainFile(const void* key, int32_t length);

    sqlite3* m_db = nullptr;
    int32_t m_busyTimeoutMs = 60000;
    std::u16string m_path;
    bool m_keyApplied = false;
    bool m_triggersAllowed = true;
    std::shared_ptr<SSqliteWriteFailure> m_writeFailures = std::make_shared<SSqliteWriteFailure>();
    CSqliteStatementCache m_statements; // cleared before the handle closes
    int32_t m_savepointDepth = 0;
};
