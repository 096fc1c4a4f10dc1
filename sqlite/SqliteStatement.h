#pragma once
// One prepared statement with bound values, finalized when it goes. Values are bound by
// index (1 for the first ?), text as UTF-16 exactly as given; the statement keeps its own copy
// of a bound text until the next value at that index. A failed step is thrown as
// CSqliteException with SQLite's code and text, after the statement was reset, so that it
// can run again.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;
struct SSqliteWriteFailure;
class CSqliteDB;

class CSqliteStatement {
public:
    CSqliteStatement() = default;
    // Prepares the one statement in `sql`; a failure is thrown.
    CSqliteStatement(CSqliteDB& db, const std::u16string& sql);
    CSqliteStatement(const CSqliteStatement&) = delete;
    CSqliteStatement& operator=(const CSqliteStatement&) = delete;
    CSqliteStatement(CSqliteStatement&& other) noexcept;
    CSqliteStatement& operator=(CSqliteStatement&& other) noexcept;
    ~CSqliteStatement();

    bool IsPrepared() const { return m_statement != nullptr; }
    int32_t ParameterCount() const;

    void Bind(int32_t index, int64_t value);
    void Bind(int32_t index, std::u16string_view text);
    void BindNull(int32_t index);
    void Bind(int32_t index, std::nullptr_t) { BindNull(index); }
    // Binds `values` in order to the first, second, ... ? (integers, text, nullptr for NULL).
    template <typename... Values>
    CSqliteStatement& BindAll(const Values&... values)
    {
        int32_t index = 0;
        (Bind(++index, values), ...);
        return *this;
    }

    // Runs to the next row: true on a row, false when the statement is done.
    bool Step();
    // Runs a statement through all its rows, then resets it (keeping its values).
    void Execute();
    // Back to the start; the bound values stay (ClearBindings sets them all to NULL).
    void Reset() noexcept;
    void ClearBindings() noexcept;

    // Column reads of the current row. NULL reads as 0 and as the empty text, as CSqliteQuery
    // reads it; a column outside the row or a read without a row is thrown.
    int32_t ColumnCount() const;
    bool IsNull(int32_t column) const;
    int32_t GetInt(int32_t column) const;
    int64_t GetInt64(int32_t column) const;
    std::u16string GetText(int32_t column) const;

private:
    void CheckPrepared() const;
    void CheckColumn(int32_t column) const;
    void CheckBound(int result) const;
    [[noreturn]] void ThrowFailure(int code) const;
    void Finalize() noexcept;

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_statement = nullptr;
    std::shared_ptr<SSqliteWriteFailure> m_writeFailures;
    // One buffer per parameter, sized once: SQLite reads a bound text from here without a copy
    // of its own, and a buffer keeps its room for the next text (a statement run per record
    // allocated twice per text before). Never resized, so a bound text does not move.
    std::vector<std::u16string> m_texts;
    bool m_onRow = false;
};
