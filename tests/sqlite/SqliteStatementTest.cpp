#include "sqlite/SqliteStatement.h"
#include "sqlite/SqliteTestUtil.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

using sqlitetest::Caught;

namespace {

// Text goes in and comes back exactly, through a table, a comparison and SQLite's own length.
TEST(SqliteStatementTest, BoundTextAndNumbersComeBackExactly)
{
    const sqlitetest::TempDatabase file;
    CSqliteDB db;
    db.Open(file.Path());
    CSqliteStatement insert(db, u"insert into t (v, n) values (?, ?2)");
    EXPECT_EQ(insert.ParameterCount(), 2);
    CSqliteStatement find(db, u"select n, v, length(v) from t where v = ?");
    const std::u16string texts[] = {u"O'Brien's \"study\"; drop table t; --", u"中文文献：学习单元",
                                    u"\U00020000 and \U0001F600 (surrogate pairs)", u"", std::u16string(u"a\0b", 3)};
    const int64_t numbers[] = {4294967297, std::numeric_limits<int64_t>::min(), -1, 0, 7};
    for (size_t i = 0; i < std::size(texts); ++i) {
        SCOPED_TRACE(i);
        insert.Bind(1, texts[i]);
        insert.Bind(2, numbers[i]);
        insert.Execute();
        find.Bind(1, texts[i]);
        ASSERT_TRUE(find.Step());
        EXPECT_EQ(find.GetText(1), texts[i]);
        EXPECT_EQ(find.GetInt64(0), numbers[i]);
        EXPECT_EQ(find.GetInt(0), static_cast<int32_t>(numbers[i]));
        EXPECT_FALSE(find.IsNull(1));
        EXPECT_FALSE(find.Step()); // the text matches its own row only
        find.Reset();
    }
    // SQLite counts characters: a surrogate pair is one.
    CSqliteStatement length(db, u"select length(?)");
    length.Bind(1, std::u16string_view(u"\U00020000中"));
    ASSERT_TRUE(length.Step());
    EXPECT_EQ(length.GetInt(0), 2);
}

// A bound text is the statement's own: the caller's string may go or change before the step,
// short texts (kept inside the string) survive a move of the statement, and a shorter text
// bound after a longer one at the same index is not padded with the rest of the longer one.
TEST(SqliteStatementTest, BoundTextsAreTheStatementsOwn)
{
    CSqliteDB db;
    db.Open(u":memory:");
    CSqliteStatement select(db, u"select ?1, ?2, ?3, length(?3)");
    {
        std::u16string shortText = u"P1";
        std::u16string longText(500, u'文');
        select.Bind(1, shortText);
        select.Bind(2, longText);
        shortText = u"changed";
        longText.assign(500, u'x');
    }
    select.Bind(3, std::u16string(u"a longer text than the next one"));
    select.Bind(3, std::u16string(u"abc"));
    CSqliteStatement moved(std::move(select));
    ASSERT_TRUE(moved.Step());
    EXPECT_EQ(moved.GetText(0), u"P1");
    EXPECT_EQ(moved.GetText(1), std::u16string(500, u'文'));
    EXPECT_EQ(moved.GetText(2), u"abc");
    EXPECT_EQ(moved.GetInt(3), 3);
    // Reset keeps them as well; a statement moved into another keeps its texts too.
    moved.Reset();
    CSqliteStatement other(db, u"select 1");
    other = std::move(moved);
    ASSERT_TRUE(other.Step());
    EXPECT_EQ(other.GetText(0), u"P1");
    EXPECT_EQ(other.GetText(2), u"abc");
}

TEST(SqliteStatementTest, NullsResetAndClearedValuesAsDocumented)
{
    CSqliteDB db;
    db.Open(u":memory:");
    CSqliteStatement select(db, u"select ?1, ?2");
    EXPECT_EQ(select.ColumnCount(), 2);
    // A value never bound, and NULL bound, read as NULL, 0 and the empty text.
    select.Bind(1, int64_t{5});
    select.BindNull(2);
    ASSERT_TRUE(select.Step());
    EXPECT_TRUE(select.IsNull(1) && select.GetInt(1) == 0 && select.GetInt64(1) == 0 && select.GetText(1).empty());
    // Reset keeps the values; ClearBindings makes them NULL.
    select.Reset();
    ASSERT_TRUE(select.Step());
    EXPECT_EQ(select.GetInt(0), 5);
    select.Reset();
    select.ClearBindings();
    ASSERT_TRUE(select.Step());
    EXPECT_TRUE(select.IsNull(0));

    // Reads without a row, outside the row, and binds outside the statement are thrown.
    EXPECT_FALSE(select.Step());
    EXPECT_EQ(Caught([&] { select.GetInt(0); }).ErrorMessageText(), u"CSQLITE_ERROR[1000]: No current row");
    select.Reset();
    EXPECT_EQ(Caught([&] { select.GetText(0); }).ErrorCode(), CSQLITE_ERROR);
    ASSERT_TRUE(select.Step());
    EXPECT_EQ(Caught([&] { select.GetText(2); }).ErrorMessageText(),
              u"CSQLITE_ERROR[1000]: Invalid field index requested");
    EXPECT_EQ(Caught([&] { select.GetInt(-1); }).ErrorCode(), CSQLITE_ERROR);
    select.Reset();
    EXPECT_EQ(Caught([&] { select.Bind(3, int64_t{1}); }).ErrorCode(), SQLITE_RANGE);
    EXPECT_EQ(Caught([&] { select.BindNull(0); }).ErrorCode(), SQLITE_RANGE);
    for (const int32_t index : {0, -1, 3, 1000})
        EXPECT_EQ(Caught([&] { select.Bind(index, std::u16string(40, u'x')); }).ErrorCode(), SQLITE_RANGE) << index;

    // Handing a statement over leaves the source without one.
    CSqliteStatement moved(std::move(select));
    EXPECT_TRUE(moved.IsPrepared() && !select.IsPrepared());
    EXPECT_EQ(Caught([&] { select.Step(); }).ErrorMessageText(), u"CSQLITE_ERROR[1000]: Null Virtual Machine pointer");
    select = std::move(moved);
    ASSERT_TRUE(select.Step());
}

TEST(SqliteStatementTest, FailuresAreThrownAndTheStatementRunsAgain)
{
    const sqlitetest::TempDatabase file;
    CSqliteDB db;
    EXPECT_EQ(Caught([&] { CSqliteStatement(db, u"select 1"); }).ErrorMessageText(),
              u"CSQLITE_ERROR[1000]: Database not open");
    db.Open(file.Path());
    const CSqliteException syntax = Caught([&] { CSqliteStatement(db, u"selec 1"); });
    EXPECT_EQ(syntax.ErrorCode(), SQLITE_ERROR);
    EXPECT_NE(syntax.ErrorMessageText().find(u"syntax error"), std::u16string::npos);
    EXPECT_EQ(Caught([&] { CSqliteStatement(db, u"  -- nothing"); }).ErrorCode(), CSQLITE_ERROR);

    CSqliteStatement insert(db, u"insert into t (v) values (?)");
    insert.Bind(1, u"一");
    insert.Execute();
    const CSqliteException duplicate = Caught([&] { insert.Step(); });
    EXPECT_EQ(duplicate.ErrorCode(), SQLITE_CONSTRAINT);
    EXPECT_NE(duplicate.ErrorMessageText().find(u"UNIQUE"), std::u16string::npos);
    EXPECT_EQ(db.WriteFailure().code, 0); // a constraint is no write failure
    insert.Bind(1, u"二");
    insert.Execute();
    EXPECT_EQ(db.ExecuteScalar(u"select count(*) from t"), 2);

    // A write refused by the file is recorded on the connection.
    CSqliteDB readOnly;
    readOnly.OpenReadOnly(file.Path());
    CSqliteStatement refused(readOnly, u"delete from t");
    EXPECT_EQ(Caught([&] { refused.Execute(); }).ErrorCode(), SQLITE_READONLY);
    EXPECT_EQ(readOnly.WriteFailure().code, SQLITE_READONLY);

    // A statement keeps its connection open until it goes.
    EXPECT_EQ(Caught([&] { db.Close(); }).ErrorCode(), SQLITE_BUSY);
    insert = CSqliteStatement();
    db.Close();
    EXPECT_FALSE(db.IsOpen());
}

} // namespace
