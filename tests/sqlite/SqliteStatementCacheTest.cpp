#include "sqlite/SqliteStatementCache.h"
#include "sqlite/SqliteTestUtil.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using sqlitetest::Caught;

namespace {

// The one-line runners bind every value in order, NULL included, and leave the statement idle.
TEST(SqliteStatementCacheTest, RunnersBindTheirValuesInOrderThroughTheCache)
{
    CSqliteDB db;
    db.Open(u":memory:");
    db.ExecuteStatement(u"create table t (a text, b integer, c text)");
    const std::u16string quoted = u"it's \\ '' 中文 \U0001F600";
    db.Run(u"insert into t values (?, ?, ?)", quoted, 42, nullptr);
    db.Run(u"insert into t values (?, ?, ?)", u"second", int64_t{4294967297}, u"x");
    EXPECT_EQ(db.Scalar(u"select b from t where a = ? and c is null", quoted), 42);
    EXPECT_EQ(db.ScalarText(u"select a from t where b = ?", 42), quoted);
    EXPECT_EQ(db.ScalarText(u"select c from t where b > ?", 42), u"x");
    EXPECT_EQ(db.Scalar(u"select b from t where a = ?", u"nobody"), 0);
    EXPECT_EQ(db.ScalarText(u"select a from t where a = ?", u"nobody"), u"");
    EXPECT_EQ(db.StatementCache().IdleCount(), 6u);
    // Long texts of one length that differ only in the middle are two statements.
    const std::u16string pad(80, u' ');
    for (const int64_t value : {1, 2, 1, 2})
        EXPECT_EQ(db.Scalar(u"select " + pad + std::u16string(1, u'0' + static_cast<char16_t>(value)) + pad + u" + ?", 0),
                  value);
    EXPECT_EQ(db.StatementCache().IdleCount(), 8u);
    EXPECT_EQ(Caught([&] { db.Run(u"insert into t values (?, ?)", 1, 2); }).ErrorCode(), SQLITE_ERROR);
}

TEST(SqliteStatementCacheTest, AStatementComesBackResetWithoutItsValuesAndNestedUsesGetTheirOwn)
{
    CSqliteDB db;
    db.Open(u":memory:");
    db.ExecuteStatement(u"create table t (v integer unique)");
    db.ExecuteStatement(u"insert into t values (1), (2), (3)");
    const std::u16string count = u"select count(*), ?1 from t where v >= ?1";
    {
        auto first = db.Prepare(count);
        first->Bind(1, int64_t{2});
        ASSERT_TRUE(first->Step());
        EXPECT_EQ(first->GetInt(0), 2);
    } // left on its row: it comes back reset
    EXPECT_EQ(db.StatementCache().IdleCount(), 1u);
    {
        auto again = db.Prepare(count);
        EXPECT_EQ(db.StatementCache().IdleCount(), 0u); // the same statement, out again
        ASSERT_TRUE(again->Step());
        EXPECT_TRUE(again->IsNull(1)); // its value was cleared
    }

    // A reader that runs the same text inside its own loop must not disturb the outer one.
    const std::u16string rows = u"select v from t order by v";
    std::vector<int> seen;
    {
        auto outer = db.Prepare(rows);
        while (outer->Step()) {
            seen.push_back(outer->GetInt(0));
            auto inner = db.Prepare(rows);
            while (inner->Step())
                seen.push_back(10 * inner->GetInt(0));
        }
    }
    EXPECT_EQ(seen, (std::vector<int> {1, 10, 20, 30, 2, 10, 20, 30, 3, 10, 20, 30}));
    EXPECT_EQ(db.StatementCache().IdleCount(), 2u); // one per text

    // A cached statement that failed runs again.
    const std::u16string insert = u"insert into t values (?)";
    EXPECT_EQ(Caught([&] {
                  auto failing = db.Prepare(insert);
                  failing->Bind(1, int64_t{1});
                  failing->Execute();
              }).ErrorCode(),
              SQLITE_CONSTRAINT);
    auto retry = db.Prepare(insert);
    retry->Bind(1, int64_t{4});
    retry->Execute();
    EXPECT_EQ(db.ExecuteScalar(u"select count(*) from t"), 4);
    EXPECT_EQ(Caught([&] { db.Prepare(u"select nothing from nowhere"); }).ErrorCode(), SQLITE_ERROR);
}

TEST(SqliteStatementCacheTest, StatementsAreFinalizedBeforeTheConnectionCloses)
{
    const sqlitetest::TempDatabase file;
    auto db = std::make_unique<CSqliteDB>();
    db->Open(file.Path());
    db->Prepare(u"select * from t")->Execute();
    db->Close(); // the idle statement would keep the connection busy
    EXPECT_FALSE(db->IsOpen());

    // One still out when the connection closes is finalized when it comes back, not cached for
    // the next connection; reopening starts with an empty cache.
    db->Open(file.Path());
    {
        auto out = db->Prepare(u"select v from t");
        EXPECT_EQ(Caught([&] { db->Close(); }).ErrorCode(), SQLITE_BUSY);
        db->Open(file.Path());
    }
    EXPECT_EQ(db->StatementCache().IdleCount(), 0u);
    db->Close();

    // A handle that outlives its connection object finalizes its statement safely (ASan).
    db->Open(file.Path());
    auto survivor = std::make_unique<CSqliteCachedStatement>(db->Prepare(u"select v from t"));
    db.reset();
    survivor.reset();

    // The cache keeps a bounded number of idle statements.
    CSqliteDB many;
    many.Open(u":memory:");
    {
        std::vector<CSqliteCachedStatement> out;
        for (size_t i = 0; i < CSqliteStatementCache::kMaxIdle + 5; ++i)
            out.push_back(many.Prepare(u"select " + Utf8ToWide(std::to_string(i))));
    }
    EXPECT_EQ(many.StatementCache().IdleCount(), CSqliteStatementCache::kMaxIdle);
    // A full cache still keeps a statement that comes back: the next use finds it idle.
    many.Prepare(u"select 'fresh'");
    EXPECT_EQ(many.StatementCache().IdleCount(), CSqliteStatementCache::kMaxIdle);
    auto again = many.Prepare(u"select 'fresh'");
    EXPECT_EQ(many.StatementCache().IdleCount(), CSqliteStatementCache::kMaxIdle - 1);
}

} // namespace
