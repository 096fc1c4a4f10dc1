#include "library/LibrarySql.h"

#include "support/TextConvert.h"

#include <cstdio>
#include <ctime>

std::u16string SqlInt(int64_t value)
{
    return ToWide(std::to_string(value));
}

void ExecOrThrow(CSqliteDB& db, const std::u16string& sql)
{
    const int32_t rc = db.ExecuteStatement(sql);
    if (rc != 0)
        throw CSqliteException(rc, u"statement not completed");
}

void ExecCached(CSqliteDB& db, const std::u16string& sql)
{
    db.Prepare(sql)->Execute();
}

std::u16string LibraryTimeText()
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return ToWide(text);
}

CLibraryTransaction::CLibraryTransaction(CSqliteDB& db, Kind kind)
    : m_transaction(db, kind == Kind::Write ? CSqliteTransaction::EKind::Immediate : CSqliteTransaction::EKind::Deferred)
{
}
