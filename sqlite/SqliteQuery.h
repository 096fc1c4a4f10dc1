#pragma once
// One prepared statement positioned on a result row. Handed over, never shared.
#include <cstdint>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

class CSqliteQuery {
public:
    CSqliteQuery() = default;
    CSqliteQuery(sqlite3* db, sqlite3_stmt* statement, bool eof, bool ownsStatement);
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
};
