#include "sqlite/SqliteTransaction.h"

#include "sqlite/SqliteDB.h"
#include "support/TextConvert.h"

CSqliteTransaction::CSqliteTransaction(CSqliteDB& db, EKind kind)
    : m_db(db), m_kind(kind)
{
    if (m_kind == EKind::Savepoint) {
        m_depth = m_db.m_savepointDepth + 1;
        m_db.Prepare(Statement(u"savepoint "))->Execute();
        m_db.m_savepointDepth = m_depth;
    } else {
        m_db.Prepare(m_kind == EKind::Immediate ? u"begin immediate" : u"begin")->Execute();
    }
    m_active = true;
}

CSqliteTransaction::~CSqliteTransaction()
{
    try {
        Rollback();
    } catch (const CSqliteException&) {
        // Nothing more can be done: SQLite rolls back an unfinished transaction itself when
        // the connection closes.
    }
}

std::u16string CSqliteTransaction::Statement(const char16_t* verb) const
{
    // Digits only: the name needs no quoting.
    return verb + (u"arbora_savepoint_" + ToWide(std::to_string(m_depth)));
}

void CSqliteTransaction::Commit()
{
    if (!m_active)
        return;
    m_db.Prepare(m_kind == EKind::Savepoint ? Statement(u"release ") : u"commit")->Execute();
    m_active = false;
    if (m_kind == EKind::Savepoint)
        m_db.m_savepointDepth = m_depth - 1;
}

void CSqliteTransaction::Rollback()
{
    if (!m_active)
        return;
    m_active = false;
    if (m_kind == EKind::Savepoint)
        m_db.m_savepointDepth = m_depth - 1;
    // SQLite may have rolled the whole transaction back itself (disk full, I/O error).
    if (!m_db.IsOpen() || !m_db.InTransaction())
        return;
    if (m_kind == EKind::Savepoint) {
        // Rolling back to a savepoint keeps it open: release it as well.
        m_db.Prepare(Statement(u"rollback to "))->Execute();
        m_db.Prepare(Statement(u"release "))->Execute();
    } else {
        m_db.Prepare(u"rollback")->Execute();
    }
}
