#include "sqlite/SqliteStatement.h"

#include "sqlite/SqliteDB.h"

#include <sqlite3.h>

#include <utility>

CSqliteStatement::CSqliteStatement(CSqliteDB& db, const std::u16string& sql)
{
    if (!db.IsOpen())
        throw CSqliteException(CSQLITE_ERROR, u"Database not open");
    m_db = db.Handle();
    m_writeFailures = db.m_writeFailures;
    const int prepared = sqlite3_prepare16_v2(m_db, sql.c_str(), static_cast<int>(sql.size() * sizeof(char16_t)),
                                              &m_statement, nullptr);
    if (prepared != SQLITE_OK) {
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
        ThrowFailure(prepared);
    }
    if (m_statement == nullptr) // only blanks or a comment
        throw CSqliteException(CSQLITE_ERROR, u"No statement in the text");
    m_texts.resize(static_cast<size_t>(sqlite3_bind_parameter_count(m_statement)));
}

CSqliteStatement::CSqliteStatement(CSqliteStatement&& other) noexcept
    : m_db(other.m_db), m_statement(std::exchange(other.m_statement, nullptr)),
      m_writeFailures(std::move(other.m_writeFailures)), m_texts(std::move(other.m_texts)),
      m_onRow(std::exchange(other.m_onRow, false))
{
}

CSqliteStatement& CSqliteStatement::operator=(CSqliteStatement&& other) noexcept
{
    if (this != &other) {
        Finalize();
        m_db = other.m_db;
        m_statement = std::exchange(other.m_statement, nullptr);
        m_writeFailures = std::move(other.m_writeFailures);
        m_texts = std::move(other.m_texts);
        m_onRow = std::exchange(other.m_onRow, false);
    }
    return *this;
}

CSqliteStatement::~CSqliteStatement() { Finalize(); }

void CSqliteStatement::Finalize() noexcept
{
    sqlite3_finalize(m_statement); // a failure was reported by the step that caused it
    m_statement = nullptr;
    m_onRow = false;
}

void CSqliteStatement::ThrowFailure(int code) const
{
    NoteWriteFailure(m_writeFailures.get(), m_db, code);
    throw CSqliteException(code, m_db != nullptr ? static_cast<const char16_t*>(sqlite3_errmsg16(m_db)) : nullptr);
}

void CSqliteStatement::CheckPrepared() const
{
    if (m_statement == nullptr)
        throw CSqliteException(CSQLITE_ERROR, u"Null Virtual Machine pointer");
}

int32_t CSqliteStatement::ParameterCount() const
{
    CheckPrepared();
    return sqlite3_bind_parameter_count(m_statement);
}

void CSqliteStatement::CheckBound(int result) const
{
    if (result != SQLITE_OK)
        ThrowFailure(result);
}

void CSqliteStatement::Bind(int32_t index, int64_t value)
{
    CheckPrepared();
    CheckBound(sqlite3_bind_int64(m_statement, index, value));
}

void CSqliteStatement::Bind(int32_t index, std::u16string_view text)
{
    CheckPrepared();
    // The length is given: the text is bound as it is, whatever characters it holds.
    const int bytes = static_cast<int>(text.size() * sizeof(char16_t));
    if (index < 1 || static_cast<size_t>(index) > m_texts.size()) { // for SQLite to refuse
        CheckBound(sqlite3_bind_text16(m_statement, index, u"", 0, SQLITE_STATIC));
        return;
    }
    std::u16string& kept = m_texts[static_cast<size_t>(index) - 1];
    kept.assign(text);
    CheckBound(sqlite3_bind_text16(m_statement, index, kept.c_str(), bytes, SQLITE_STATIC));
}

void CSqliteStatement::BindNull(int32_t index)
{
    CheckPrepared();
    CheckBound(sqlite3_bind_null(m_statement, index));
}

bool CSqliteStatement::Step()
{
    CheckPrepared();
    const int stepped = sqlite3_step(m_statement);
    m_onRow = stepped == SQLITE_ROW;
    if (stepped == SQLITE_ROW || stepped == SQLITE_DONE)
        return m_onRow;
    // Keep SQLite's text for the failure, then make the statement ready to run again.
    CSqliteException failure(stepped, static_cast<const char16_t*>(sqlite3_errmsg16(m_db)));
    NoteWriteFailure(m_writeFailures.get(), m_db, stepped);
    sqlite3_reset(m_statement);
    throw failure;
}

void CSqliteStatement::Execute()
{
    while (Step()) {
    }
    Reset();
}

void CSqliteStatement::Reset() noexcept
{
    sqlite3_reset(m_statement); // returns the last step's failure, already thrown by Step
    m_onRow = false;
}

void CSqliteStatement::ClearBindings() noexcept
{
    if (m_statement != nullptr)
        sqlite3_clear_bindings(m_statement);
}

int32_t CSqliteStatement::ColumnCount() const
{
    CheckPrepared();
    return sqlite3_column_count(m_statement);
}

void CSqliteStatement::CheckColumn(int32_t column) const
{
    CheckPrepared();
    if (!m_onRow)
        throw CSqliteException(CSQLITE_ERROR, u"No current row");
    if (column < 0 || column >= sqlite3_column_count(m_statement))
        throw CSqliteException(CSQLITE_ERROR, u"Invalid field index requested");
}

bool CSqliteStatement::IsNull(int32_t column) const
{
    CheckColumn(column);
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

int32_t CSqliteStatement::GetInt(int32_t column) const
{
    CheckColumn(column);
    return sqlite3_column_int(m_statement, column);
}

int64_t CSqliteStatement::GetInt64(int32_t column) const
{
    CheckColumn(column);
    return sqlite3_column_int64(m_statement, column);
}

std::u16string CSqliteStatement::GetText(int32_t column) const
{
    CheckColumn(column);
    const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(m_statement, column));
    if (text == nullptr)
        return {};
    return std::u16string(text, static_cast<size_t>(sqlite3_column_bytes16(m_statement, column)) / sizeof(char16_t));
}
