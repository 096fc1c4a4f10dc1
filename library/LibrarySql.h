#pragma once
// Small helpers for building and running the library's statements. Values are bound, never
// spliced into the text (LibraryStatements.h); only numbers of pragmas are.
#include "sqlite/SqliteDB.h"
#include "sqlite/SqliteTransaction.h"

#include <cstdint>
#include <string>

std::u16string SqlInt(int64_t value);

// Runs one statement; a result other than 0 (for example a busy database) is thrown like any
// other failure, so that the caller's transaction is rolled back.
void ExecOrThrow(CSqliteDB& db, const std::u16string& sql);
// The same for a statement of fixed text run again and again (a batch's savepoint, release and
// commit run once per library operation): prepared once, through the connection's cache.
void ExecCached(CSqliteDB& db, const std::u16string& sql);

// Local time as "YYYY-MM-DD hh:mm:ss".
std::u16string LibraryTimeText();

// One transaction: begun at construction, rolled back at destruction unless committed. A
// writing transaction takes the write lock at once, so that a busy database fails before
// anything was done.
class CLibraryTransaction {
public:
    enum class Kind { Write, Read };
    explicit CLibraryTransaction(CSqliteDB& db, Kind kind = Kind::Write);

    void Commit() { m_transaction.Commit(); }

private:
    CSqliteTransaction m_transaction;
};
