#include "sqlite/SqliteException.h"

#include "support/TextConvert.h"

#include <sqlite3.h>

CSqliteException::CSqliteException(int32_t code, const char16_t* detail)
    : m_code(code)
{
    m_message = ErrorCodeName(code);
    m_message += u"[";
    m_message += ToWide(std::to_string(code));
    m_message += u"]: ";
    if (detail != nullptr)
        m_message += detail;
}

bool CSqliteException::IsBusy() const { return (m_code & 0xff) == SQLITE_BUSY; }

bool CSqliteException::IsConstraint() const { return (m_code & 0xff) == SQLITE_CONSTRAINT; }

const char16_t* CSqliteException::ErrorCodeName(int32_t code)
{
    switch (code) {
    case 0: return u"SQLITE_OK";
    case 1: return u"SQLITE_ERROR";
    case 2: return u"SQLITE_INTERNAL";
    case 3: return u"SQLITE_PERM";
    case 4: return u"SQLITE_ABORT";
    case 5: return u"SQLITE_BUSY";
    case 6: return u"SQLITE_LOCKED";
    case 7: return u"SQLITE_NOMEM";
    case 8: return u"SQLITE_READONLY";
    case 9: return u"SQLITE_INTERRUPT";
    case 10: return u"SQLITE_IOERR";
    case 11: return u"SQLITE_CORRUPT";
    case 12: return u"SQLITE_NOTFOUND";
    case 13: return u"SQLITE_FULL";
    case 14: return u"SQLITE_CANTOPEN";
    case 15: return u"SQLITE_PROTOCOL";
    case 16: return u"SQLITE_EMPTY";
    case 17: return u"SQLITE_SCHEMA";
    case 18: return u"SQLITE_TOOBIG";
    case 19: return u"SQLITE_CONSTRAINT";
    case 20: return u"SQLITE_MISMATCH";
    case 21: return u"SQLITE_MISUSE";
    case 22: return u"SQLITE_NOLFS";
    case 23: return u"SQLITE_AUTH";
    case 24: return u"SQLITE_FORMAT";
    case 25: return u"SQLITE_RANGE";
    case 100: return u"SQLITE_ROW";
    case 101: return u"SQLITE_DONE";
    case CSQLITE_ERROR: return u"CSQLITE_ERROR";
    default: return u"UNKNOWN_ERROR";
    }
}
