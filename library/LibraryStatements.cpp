#include "library/LibraryStatements.h"

#include <sqlite3.h>

namespace {

[[noreturn]] void Throw(sqlite3* db, int code)
{
    const auto* text = static_cast<const char16_t*>(sqlite3_errmsg16(db));
    throw CSqliteException(code, text);
}

// Values bind as SqlText and SqlInt would spell them: text without NUL characters.
void Bind(sqlite3_stmt* statement, const std::vector<SqlValue>& values)
{
    int index = 1;
    for (const SqlValue& value : values) {
        int bound = SQLITE_OK;
        if (const auto* number = std::get_if<int64_t>(&value)) {
            bound = sqlite3_bind_int64(statement, index, *number);
        } else {
            std::u16string text = std::get<std::u16string>(value);
            std::erase(text, u'\0');
            bound = sqlite3_bind_text16(statement, index, text.data(), static_cast<int>(text.size() * sizeof(char16_t)),
                                        SQLITE_TRANSIENT);
        }
        if (bound != SQLITE_OK)
            Throw(sqlite3_db_handle(statement), bound);
        ++index;
    }
}

} // namespace

CBoundQuery::CBoundQuery(sqlite3_stmt* statement, const std::vector<SqlValue>& values)
    : m_statement(statement)
{
    Bind(m_statement, values);
    Step();
}

CBoundQuery::~CBoundQuery()
{
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

void CBoundQuery::Step()
{
    const int stepped = sqlite3_step(m_statement);
    if (stepped != SQLITE_ROW && stepped != SQLITE_DONE) {
        sqlite3* db = sqlite3_db_handle(m_statement);
        sqlite3_reset(m_statement);
        Throw(db, stepped);
    }
    m_eof = stepped == SQLITE_DONE;
}

void CBoundQuery::NextRow()
{
    if (!m_eof)
        Step();
}

std::u16string CBoundQuery::GetStringValue(int32_t column) const
{
    const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(m_statement, column));
    if (text == nullptr)
        return {};
    return std::u16string(text, static_cast<size_t>(sqlite3_column_bytes16(m_statement, column)) / sizeof(char16_t));
}

int32_t CBoundQuery::GetIntField(int32_t column) const
{
    return sqlite3_column_int(m_statement, column);
}

CLibraryStatements::~CLibraryStatements()
{
    Clear();
}

void CLibraryStatements::Clear()
{
    for (auto& [sql, statement] : m_statements)
        sqlite3_finalize(statement);
    m_statements.clear();
}

CBoundQuery CLibraryStatements::Run(CSqliteDB& db, const std::u16string& sql, const std::vector<SqlValue>& values)
{
    auto found = m_statements.find(sql);
    if (found == m_statements.end()) {
        sqlite3_stmt* statement = nullptr;
        const int prepared = sqlite3_prepare16_v2(db.Handle(), sql.c_str(), -1, &statement, nullptr);
        if (prepared != SQLITE_OK)
            Throw(db.Handle(), prepared);
        found = m_statements.emplace(sql, statement).first;
    }
    return CBoundQuery(found->second, values);
}

void CLibraryStatements::Exec(CSqliteDB& db, const std::u16string& sql, const std::vector<SqlValue>& values)
{
    Run(db, sql, values);
}
