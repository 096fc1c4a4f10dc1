#pragma once
// The one error type of the SQLite access layer.
#include <cstdint>
#include <string>

constexpr int32_t CSQLITE_ERROR = 1000;

class CSqliteException {
public:
    // detail may be null: the message then ends with an empty detail.
    CSqliteException(int32_t code, const char16_t* detail);
    CSqliteException(const CSqliteException& other) = default;
    CSqliteException& operator=(const CSqliteException& other) = default;
    virtual ~CSqliteException() = default;

    int32_t ErrorCode() const { return m_code; }
    // "%s[%d]: %s" with the code's name, the code and the detail.
    const char16_t* ErrorMessage() const { return m_message.c_str(); }
    const std::u16string& ErrorMessageText() const { return m_message; }
    // The file was locked by another connection (SQLITE_BUSY, extended codes included).
    bool IsBusy() const;
    // A constraint refused the row (SQLITE_CONSTRAINT, extended codes included).
    bool IsConstraint() const;

    static const char16_t* ErrorCodeName(int32_t code);

private:
    int32_t m_code;
    std::u16string m_message;
};
