#pragma once
// One prepared statement positioned on a result row. Handed over, never shared.
#include <cstdint>
#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

// The last failure on a connection that means its file cannot be written (disk full, I/O
// error, read-only file or folder, a journal that cannot be made). Kept until cleared, so a
// caller that catches statement errors itself can still tell afterwards that writing failed.
struct SSqliteWriteFailure {
    int32_t code = 0; // extended result code of the first failure; 0: none
    std::u16string text;
    // Set by the connection's owner: once a write failed, the connection takes no further
    // change (PRAGMA query_only) until the failure is cleared, so that statements after a
    // failed one cannot commit on their own once SQLite has rolled the transaction back.
    bool haltWrites = false;
};
// True for SQLITE_FULL, SQLITE_IOERR (any extended form), SQLITE_READONLY and SQLITE_CANTOPEN.
bool IsWriteFailureCode(int32_t code);
// Records `code` with the connection's text when it is a write failure and none is recorded yet.
void NoteWriteFailure(SSqliteWriteFailure* record, sqlite3* db, int32_t code);

class CSqliteQuery {
public:
    CSqliteQuery() = default;
    // `writeFailures`: where a failed step is recorded (may be null).
    CSqliteQuery(sqlite3* db, sqlite3_stmt* statement, bool eof, bool ownsStatement,
                 std::shared_ptr<SSqliteWriteFailure> writeFailures = nullptr);
    CSqliteQuery(const CSqliteQuery&) = delete;
    CSqliteQuery& operator=(const CSqliteQuery&) = delete;
    CSqliteQuery(CSqliteQuery&& other) noexcept;
    // Releases this query's statement (ignoring errors), then takes over the other's.
    CSqliteQuery& operator=(CSqliteQuery&& other) noexcept;
    virtual ~CSqliteQuery();

    bool IsEof() const;
    void NextRow();
    int32_t NumFields() const;
    bool HasStatement() const { return m_statement != nullptr; }

    int32_t GetIntField(int32_t column) const;
    int64_t GetInt64Field(int32_t column) const;
    bool IsNullField(int32_t column) const;
    // Valid until the next step; the empty text for NULL.
    const char16_t* GetStringField(int32_t column) const;
    std::u16string GetStringValue(int32_t column) const;

private:
    void CheckStatement() const;
    void CheckField(int32_t column) const;
    void Release() noexcept;

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_statement = nullptr;
    bool m_eof = true;
    int32_t m_columnCount = 0;
    bool m_ownsStatement = false;
    std::shared_ptr<SSqliteWriteFailure> m_writeFailures;
};
