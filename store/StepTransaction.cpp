#include "store/StepTransaction.h"

#include "sqlite/SqliteDB.h"
#include "support/Log.h"

CStepTransaction::CStepTransaction(CSqliteDB& db, CSqliteTransaction::EKind kind)
    : m_db(db)
{
    try {
        // Already inside a transaction (a step run from within another): join it.
        if (m_db.IsOpen() && !m_db.InTransaction())
            m_transaction.emplace(m_db, kind);
    } catch (const CSqliteException& e) {
        m_beginBusy = e.IsBusy();
        CxLog::Instance().Log(u"TavDB", u"CStepTransaction::CStepTransaction", __LINE__, 1, e.ErrorMessage());
    }
}

CStepTransaction::~CStepTransaction() { Commit(); }

bool CStepTransaction::Commit()
{
    if (m_beginBusy) {
        m_beginBusy = false;
        return false;
    }
    if (!m_transaction)
        return true;
    // SQLite may already have rolled the transaction back itself (disk full, I/O error); the
    // guard then finds nothing to undo.
    if (!m_db.IsOpen() || !m_db.InTransaction()) {
        m_transaction.reset();
        return false;
    }
    try {
        m_transaction->Commit();
        m_transaction.reset();
        return true;
    } catch (const CSqliteException& e) {
        CxLog::Instance().Log(u"TavDB", u"CStepTransaction::Commit", __LINE__, 3, e.ErrorMessage());
        m_transaction.reset(); // rolls back
        return false;
    }
}

void CStepTransaction::Rollback()
{
    m_beginBusy = false;
    if (!m_transaction)
        return;
    try {
        m_transaction->Rollback();
    } catch (const CSqliteException& e) {
        CxLog::Instance().Log(u"TavDB", u"CStepTransaction::Rollback", __LINE__, 3, e.ErrorMessage());
    }
    m_transaction.reset();
}
