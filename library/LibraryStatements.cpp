#include "library/LibraryStatements.h"

#include <utility>

CBoundQuery::CBoundQuery(CSqliteCachedStatement statement, const std::vector<SqlValue>& values)
    : m_statement(std::move(statement))
{
    int32_t index = 1;
    for (const SqlValue& value : values) {
        if (const auto* number = std::get_if<int64_t>(&value)) {
            m_statement->Bind(index, *number);
        } else {
            // Text binds without NUL characters, as the library has always stored it.
            const auto* referred = std::get_if<const std::u16string*>(&value);
            const std::u16string& text = referred != nullptr ? **referred : std::get<std::u16string>(value);
            if (text.find(u'\0') == std::u16string::npos) {
                m_statement->Bind(index, text);
            } else {
                std::u16string cleaned = text;
                std::erase(cleaned, u'\0');
                m_statement->Bind(index, cleaned);
            }
        }
        ++index;
    }
    m_eof = !m_statement->Step();
}

void CBoundQuery::NextRow()
{
    if (!m_eof)
        m_eof = !m_statement->Step();
}

std::u16string CBoundQuery::GetStringValue(int32_t column) const
{
    return m_statement->GetText(column);
}

int32_t CBoundQuery::GetIntField(int32_t column) const
{
    return m_statement->GetInt(column);
}

CBoundQuery CLibraryStatements::Run(CSqliteDB& db, const std::u16string& sql, const std::vector<SqlValue>& values)
{
    return CBoundQuery(db.Prepare(sql), values);
}

void CLibraryStatements::Exec(CSqliteDB& db, const std::u16string& sql, const std::vector<SqlValue>& values)
{
    Run(db, sql, values);
}
