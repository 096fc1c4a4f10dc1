#pragma once
// Runs one upgrade step (or the table-creation pass) inside one transaction that is
// committed when the step ends, however it ends. A failed statement inside still keeps
// what the step did before it, as it would without the transaction; but a process killed
// in the middle leaves the unit as it was before the step, so a rerun cannot repeat half
// of it (duplicated rows).
#include "sqlite/SqliteTransaction.h"

#include <optional>

class CSqliteDB;

class CStepTransaction {
public:
    explicit CStepTransaction(CSqliteDB& db, CSqliteTransaction::EKind kind = CSqliteTransaction::EKind::Immediate);
    CStepTransaction(const CStepTransaction&) = delete;
    CStepTransaction& operator=(const CStepTransaction&) = delete;
    ~CStepTransaction();

    // Commits now; the destructor then does nothing. False when the commit failed or the
    // transaction was already gone (SQLite rolls back by itself on some write errors).
    bool Commit();
    // Undoes the transaction now; the destructor then does nothing.
    void Rollback();

private:
    CSqliteDB& m_db;
    std::optional<CSqliteTransaction> m_transaction;
    bool m_beginBusy = false; // the file was busy: the step runs without its transaction
};
