#include "sqlite/SqliteTransaction.h"
#include "sqlite/SqliteTestUtil.h"

#include <gtest/gtest.h>

#include <stdexcept>

using sqlitetest::Caught;

namespace {

class SqliteTransactionTest : public ::testing::Test {
protected:
    SqliteTransactionTest() { m_db.Open(m_file.Path()); }
    void Insert(const char16_t* value) { m_db.ExecuteStatement(u"insert into t (v) values ('" + std::u16string(value) + u"')"); }
    std::u16string Values()
    {
        std::u16string values;
        for (CSqliteQuery query = m_db.ExecuteQuery(u"select v from t order by id"); !query.IsEof(); query.NextRow())
            values += query.GetStringValue(0) + u" ";
        return values;
    }

    sqlitetest::TempDatabase m_file;
    CSqliteDB m_db;
};

TEST_F(SqliteTransactionTest, CommitsOnRequestAndRollsBackOtherwise)
{
    {
        CSqliteTransaction kept(m_db, CSqliteTransaction::EKind::Immediate);
        Insert(u"kept");
        kept.Commit();
        EXPECT_FALSE(kept.IsActive() || m_db.InTransaction());
    }
    {
        CSqliteTransaction dropped(m_db);
        Insert(u"dropped");
        EXPECT_TRUE(m_db.InTransaction());
    }
    try {
        CSqliteTransaction thrown(m_db);
        Insert(u"thrown");
        throw std::runtime_error("leaves the scope");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(Values(), u"kept ");
    EXPECT_FALSE(m_db.InTransaction());

    // A transaction cannot begin inside another; one that SQLite already ended is left alone.
    CSqliteTransaction outer(m_db);
    EXPECT_EQ(Caught([&] { CSqliteTransaction inner(m_db); }).ErrorCode(), SQLITE_ERROR);
    m_db.ExecuteStatement(u"rollback");
    EXPECT_EQ(Caught([&] { outer.Commit(); }).ErrorCode(), SQLITE_ERROR);
    EXPECT_TRUE(outer.IsActive()); // a failed commit leaves the rollback to the guard
}

TEST_F(SqliteTransactionTest, ImmediateFailsOnABusyFile)
{
    CSqliteDB other;
    other.SetBusyTimeout(0);
    other.Open(m_file.Path());
    CSqliteTransaction writer(m_db, CSqliteTransaction::EKind::Immediate);
    const CSqliteException busy = Caught([&] { CSqliteTransaction second(other, CSqliteTransaction::EKind::Immediate); });
    EXPECT_EQ(busy.ErrorCode(), SQLITE_BUSY);
    EXPECT_TRUE(busy.IsBusy());
    EXPECT_FALSE(CSqliteException(SQLITE_LOCKED, nullptr).IsBusy());
    CSqliteTransaction reader(other); // deferred: takes no lock yet
    EXPECT_TRUE(other.InTransaction());
}

TEST_F(SqliteTransactionTest, SavepointsNestAndReleaseOrRollBackTheirOwnPart)
{
    {
        CSqliteTransaction outer(m_db, CSqliteTransaction::EKind::Immediate);
        Insert(u"a");
        {
            CSqliteTransaction kept(m_db, CSqliteTransaction::EKind::Savepoint);
            Insert(u"b");
            {
                CSqliteTransaction nested(m_db, CSqliteTransaction::EKind::Savepoint);
                Insert(u"c");
                nested.Commit(); // into "kept"
            }
            kept.Commit();
        }
        {
            CSqliteTransaction dropped(m_db, CSqliteTransaction::EKind::Savepoint);
            Insert(u"d");
            {
                CSqliteTransaction nested(m_db, CSqliteTransaction::EKind::Savepoint);
                Insert(u"e");
                nested.Commit();
            }
            // Rolled back with everything released into it.
        }
        {
            CSqliteTransaction undone(m_db, CSqliteTransaction::EKind::Savepoint);
            Insert(u"f");
            undone.Rollback();
            EXPECT_TRUE(m_db.InTransaction()); // the outer transaction goes on
            Insert(u"g");
        }
        outer.Commit();
    }
    EXPECT_EQ(Values(), u"a b c g ");

    // A savepoint with no transaction around it is one of its own.
    {
        CSqliteTransaction alone(m_db, CSqliteTransaction::EKind::Savepoint);
        Insert(u"h");
    }
    {
        CSqliteTransaction alone(m_db, CSqliteTransaction::EKind::Savepoint);
        Insert(u"i");
        alone.Commit();
    }
    EXPECT_EQ(Values(), u"a b c g i ");
    EXPECT_FALSE(m_db.InTransaction());
}

} // namespace
