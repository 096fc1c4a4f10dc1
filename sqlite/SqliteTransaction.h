#pragma once
// A transaction or savepoint for one scope: begun at construction, committed (or released)
// only on request, rolled back when the scope is left otherwise, an exception included.
// Savepoints nest; each gets a name of its own that the guard makes up, never one from outside.
// The statements that begin and end transactions are cached on the connection.
#include <cstdint>
#include <string>

class CSqliteDB;

class CSqliteTransaction {
public:
    enum class EKind {
        Deferred,  // "begin": locks are taken when the first statement needs them
        Immediate, // "begin immediate": the write lock at once, so a busy file fails here
        Savepoint  // inside an open transaction (or as one when none is open)
    };

    // Throws CSqliteException when the transaction cannot begin (for example one already open).
    explicit CSqliteTransaction(CSqliteDB& db, EKind kind = EKind::Deferred);
    CSqliteTransaction(const CSqliteTransaction&) = delete;
    CSqliteTransaction& operator=(const CSqliteTransaction&) = delete;
    // Rolls back what is still open; never throws.
    ~CSqliteTransaction();

    // Commits (a savepoint: releases it into the enclosing transaction). On a failure the
    // exception is thrown and the guard still rolls back when it goes.
    void Commit();
    // Undoes everything since the guard began; afterwards the guard does nothing more.
    void Rollback();
    bool IsActive() const { return m_active; }

private:
    std::u16string Statement(const char16_t* verb) const;

    CSqliteDB& m_db;
    EKind m_kind;
    int32_t m_depth = 0; // of a savepoint: how many savepoints are open with it, itself included
    bool m_active = false;
};
