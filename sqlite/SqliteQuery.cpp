#include "sqlite/SqliteQuery.h"

#include "sqlite/SqliteException.h"

#include <sqlite3.h>

#include <utility>

namespace {
const char16_t* ConnectionText(sqlite3* db)
{
    return db != nullptr ? static_cast<const char16_t*>(sqlite3_errmsg16(db)) : nullptr;
}
} // namespace

bool IsWriteFailureCode(int32_t code)
{
    switch (code & 0xFF) {
    case SQLITE_FULL:
    case SQLITE_IOERR:
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN: return true;
    default: return false;
    }
}

void NoteWriteFailure(SSqliteWriteFailure* record, sqlite3* db, int32_t code)
{
    if (record == nullptr || !IsWriteFailureCode(code) || record->code != 0)
        return;
    // The extended code says more (which write failed) when the connection still holds it.
    const int32_t extended = db != nullptr ? sqlite3_extended_errcode(db) : code;
    record->code = (extended & 0xFF) == (code & 0xFF) ? extended : code;
    const char16_t* text = ConnectionText(db);
    record->text = text != nullptr ? text : u"";
    if (record->haltWrites && db != nullptr)
        sqlite3_exec(db, "pragma query_only = 1", nullptr, nullptr, nullptr);
}

CSqliteQuery::CSqliteQuery(sqlite3* db, sqlite3_stmt* statement, bool eof, bool ownsStatement,
                           std::shared_ptr<SSqliteWriteFailure> writeFailures)
    : m_db(db), m_statement(statement), m_eof(eof),
      m_columnCount(statement != nullptr ? sqlite3_column_count(statement) : 0),
      m_ownsStatement(ownsStatement), m_writeFailures(std::move(writeFailures))
{
}

CSqliteQuery::CSqliteQuery(CSqliteQuery&& other) noexcept
    : m_db(other.m_db), m_statement(std::exchange(other.m_statement, nullptr)), m_eof(other.m_eof),
      m_columnCount(other.m_columnCount), m_ownsStatement(other.m_ownsStatement),
      m_writeFailures(std::move(other.m_writeFailures))
{
}

CSqliteQuery& CSqliteQuery::operator=(CSqliteQuery&& other) noexcept
{
    if (this != &other) {
        Release();
        m_db = other.m_db;
        m_statement = std::exchange(other.m_statement, nullptr);
        m_eof = other.m_eof;
        m_columnCount = other.m_columnCount;
        m_ownsStatement = other.m_ownsStatement;
        m_writeFailures = std::move(other.m_writeFailures);
    }
    return *this;
}

CSqliteQuery::~CSqliteQuery() { Release(); }

void CSqliteQuery::Release() noexcept
{
    if (m_statement != nullptr && m_ownsStatement)
        sqlite3_finalize(m_statement); // a failed release is ignored
    m_statement = nullptr;
}

void CSqliteQuery::CheckStatement() const
{
    if (m_statement == nullptr)
        throw CSqliteException(CSQLITE_ERROR, u"Null Virtual Machine pointer");
}

void CSqliteQuery::CheckField(int32_t column) const
{
    CheckStatement();
    if (column < 0 || column > m_columnCount - 1)
        throw CSqliteException(CSQLITE_ERROR, u"Invalid field index requested");
}

bool CSqliteQuery::IsEof() const
{
    CheckStatement();
    return m_eof;
}

int32_t CSqliteQuery::NumFields() const
{
    CheckStatement();
    return m_columnCount;
}

void CSqliteQuery::NextRow()
{
    CheckStatement();
    const int result = sqlite3_step(m_statement);
    if (result == SQLITE_DONE) {
        m_eof = true;
    } else if (result == SQLITE_ROW) {
        m_eof = false;
    } else {
        const int released = sqlite3_finalize(m_statement);
        m_statement = nullptr;
        NoteWriteFailure(m_writeFailures.get(), m_db, released);
        throw CSqliteException(released, ConnectionText(m_db));
    }
}

int32_t CSqliteQuery::GetIntField(int32_t column) const
{
    CheckField(column);
    if (sqlite3_column_type(m_statement, column) == SQLITE_NULL)
        return 0;
    return sqlite3_column_int(m_statement, column);
}

int64_t CSqliteQuery::GetInt64Field(int32_t column) const
{
    CheckField(column);
    if (sqlite3_column_type(m_statement, column) == SQLITE_NULL)
        return 0;
    return sqlite3_column_int64(m_statement, column);
}

bool CSqliteQuery::IsNullField(int32_t column) const
{
    CheckField(column);
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

const char16_t* CSqliteQuery::GetStringField(int32_t column) const
{
    CheckField(column);
    const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(m_statement, column));
    return text != nullptr ? text : u"";
}

std::u16string CSqliteQuery::GetStringValue(int32_t column) const
{
    CheckField(column);
    const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(m_statement, column));
    if (text == nullptr)
        return {};
    const int bytes = sqlite3_column_bytes16(m_statement, column);
    return std::u16string(text, static_cast<size_t>(bytes) / sizeof(char16_t));
}
