#pragma once
// The library's frequent statements, prepared once per connection and run with bound values:
// an import runs the same few statements tens of thousands of times, and parsing their text
// anew each time cost more than running them. The statements live in the connection's cache
// (CSqliteDB::Prepare), which finalizes them before the connection closes.
#include "sqlite/SqliteDB.h"

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

// A text, a number, or a text referred to (it must outlive the statement's run).
using SqlValue = std::variant<std::u16string, int64_t, const std::u16string*>;

// One run of a cached statement: stepped at construction, reset (and its values cleared) when
// it goes, so that the statement is ready for the next run.
class CBoundQuery {
public:
    CBoundQuery(CSqliteCachedStatement statement, const std::vector<SqlValue>& values);
    CBoundQuery(const CBoundQuery&) = delete;
    CBoundQuery& operator=(const CBoundQuery&) = delete;

    bool IsEof() const { return m_eof; }
    void NextRow();
    // The empty text for NULL, as CSqliteQuery reads it.
    std::u16string GetStringValue(int32_t column) const;
    int32_t GetIntField(int32_t column) const;

private:
    CSqliteCachedStatement m_statement;
    bool m_eof = true;
};

class CLibraryStatements {
public:
    // Runs `sql` (with ? for each of `values`) on `db`; a failure is thrown as CSqliteException.
    CBoundQuery Run(CSqliteDB& db, const std::u16string& sql, const std::vector<SqlValue>& values);
    // Runs a statement that returns no rows.
    void Exec(CSqliteDB& db, const std::u16string& sql, const std::vector<SqlValue>& values);
};
