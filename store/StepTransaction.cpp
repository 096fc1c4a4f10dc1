#include "store/StepTransaction.h"

#include "sqlite/SqliteDB.h"
#include "support/Log.h"

#include <sqlite3.h>

CStepTransaction::CStepTransaction(CSqliteDB& db)
    : m_db(db)
{
    try {
        // Already inside a transaction (a step run from within another): join it.
        if (m_db.IsOpen() && sqlite3_get_autocommit(m_db.Handle()) != 0) {
            m_db.ExecuteStatement(u"begin immediate");
            m_open = true;
        }
    } catch (const CSqliteException& e) {
        CxLog::Instance().Log(u"TavDB", u"CStepTransaction::CStepTransaction", __LINE__, 1, e.ErrorMessage());
    }
}

CStepTransaction::~CStepTransaction() { Commit(); }

bool CStepTransaction::Commit()
{
    if (!m_open)
        return true;
    m_open = false;
    // SQLite may already have rolled the transaction back itself (disk full, I/O error).
    if (!m_db.IsOpen() || sqlite3_get_autocommit(m_db.Handle()) != 0)
        return false;
    try {
        const int result = m_db.ExecuteStatement(u"commit");
        if (result == 0)
            return true;
        CxLog::Instance().Log(u"TavDB", u"CStepTransaction::Commit", __LINE__, 3, u"commit failed: %d", result);
        m_db.ExecuteStatement(u"rollback");
        return false;
    } catch (const CSqliteException& e) {
        CxLog::Instance().Log(u"TavDB", u"CStepTransaction::Commit", __LINE__, 3, e.ErrorMessage());
        try {
            m_db.ExecuteStatement(u"rollback");
        } catch (const CSqliteException&) {
        }
        return false;
    }
}

void CStepTransaction::Rollback()
{
    if (!m_open)
        return;
    m_open = false;
    if (!m_db.IsOpen() || sqlite3_get_autocommit(m_db.Handle()) != 0)
        return;
    try {
        m_db.ExecuteStatement(u"rollback");
    } catch (const CSqliteException& e) {
        CxLog::Instance().Log(u"TavDB", u"CStepTransaction::Rollback", __LINE__, 3, e.ErrorMessage());
    }
}
