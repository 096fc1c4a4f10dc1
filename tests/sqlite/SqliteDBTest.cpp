#include "sqlite/SqliteTestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace fs = std::filesystem;
using sqlitetest::Caught;

namespace {

constexpr char kKey[] = "3A7F0C52E9B4";

class SqliteDBTest : public ::testing::Test {
protected:
    ~SqliteDBTest() override { fs::remove_all(m_dir); }

    // A plain database with one table and two rows.
    std::u16string MakePlainDatabase(const std::string& name)
    {
        const std::u16string path = Utf8ToWide((m_dir / name).string());
        CSqliteDB db;
        db.Open(path);
        db.ExecuteStatement(u"create table t (id integer primary key, name text unique, n integer)");
        db.ExecuteStatement(u"insert into t (name, n) values ('一', 4294967297), ('two', NULL)");
        return path;
    }

    char m_pattern[24] = "/tmp/sqlite-test-XXXXXX";
    const fs::path m_dir = ::mkdtemp(m_pattern);
};

TEST_F(SqliteDBTest, ReadsRowsThrowsFailuresWithSqliteCodesAndKeepsWriteFailures)
{
    auto db = std::make_unique<CSqliteDB>();
    for (const auto& operation : std::vector<std::function<void()>>{
             [&] { db->ExecuteStatement(u"select 1"); }, [&] { db->ExecuteQuery(u"select 1"); },
             [&] { db->ChangeKey(kKey, 12); }})
        EXPECT_EQ(Caught(operation).ErrorMessageText(), u"CSQLITE_ERROR[1000]: Database not open");
    EXPECT_EQ(Caught([&] { db->Open(Utf8ToWide((m_dir / "missing/a.db").string())); }).ErrorCode(), SQLITE_CANTOPEN);
    EXPECT_EQ(CSqliteException(2067, nullptr).ErrorMessageText(), u"UNKNOWN_ERROR[2067]: ");

    const std::u16string path = MakePlainDatabase("a.db");
    db->Open(path);
    // A file the layer creates holds UTF-16 text; a connection is opened without SQLite's mutex.
    EXPECT_EQ(db->ExecuteQuery(u"pragma encoding").GetStringValue(0), u"UTF-16le");
    EXPECT_EQ(sqlite3_db_mutex(db->Handle()), nullptr);
    EXPECT_EQ(sqlite3_memory_used(), 0); // no statistics kept (they lock every allocation)
    EXPECT_EQ(db->ExecuteScalar(u"select count(*) from t"), 2);
    EXPECT_EQ(db->ExecuteScalar(u"select n from t where name = 'nobody'"), 0); // no row
    EXPECT_EQ(db->ExecuteScalar(u"select n from t where n is null"), 0);
    EXPECT_TRUE(db->TableExists(u"t"));
    EXPECT_FALSE(db->TableExists(u"missing") || db->TableExists(u"t' or '1'='1")); // a name can't widen the probe

    CSqliteQuery query = db->ExecuteQuery(u"select id, name, n from t order by id");
    ASSERT_FALSE(query.IsEof());
    EXPECT_EQ(query.GetStringValue(1) + query.GetStringField(1), u"一一");
    EXPECT_TRUE(query.GetInt64Field(2) == 4294967297 && !query.IsNullField(2));
    EXPECT_EQ(Caught([&] { query.GetIntField(-1); }).ErrorMessageText(),
              u"CSQLITE_ERROR[1000]: Invalid field index requested");
    EXPECT_EQ(Caught([&] { query.GetStringField(3); }).ErrorCode(), CSQLITE_ERROR);
    query.NextRow();
    ASSERT_FALSE(query.IsEof());
    EXPECT_TRUE(query.IsNullField(2) && query.GetIntField(2) + query.GetInt64Field(2) == 0);
    EXPECT_EQ(query.GetStringValue(2) + query.GetStringField(2), u"");
    query.NextRow();
    // Handing a query over leaves the source without a statement.
    EXPECT_TRUE(CSqliteQuery(std::move(query)).IsEof());
    EXPECT_EQ(Caught([&] { (void)query.IsEof(); }).ErrorMessageText(),
              u"CSQLITE_ERROR[1000]: Null Virtual Machine pointer");
    EXPECT_EQ(Caught([&] { query.GetIntField(0); }).ErrorCode(), CSQLITE_ERROR);

    CSqliteDB second; // changes the schema under this connection's cache: it prepares again
    second.Open(path);
    second.ExecuteStatement(u"alter table t add column extra text");
    EXPECT_EQ(db->ExecuteStatement(u"update t set extra = 'y'"), 0);
    EXPECT_EQ(Caught([&] { db->ExecuteQuery(u"selec 1"); }).ErrorCode(), SQLITE_ERROR);
    // A statement failing while it runs: SQLite's detailed text, and nothing written.
    const CSqliteException constraint = Caught([&] { db->ExecuteStatement(u"insert into t (name) values ('two')"); });
    EXPECT_EQ(constraint.ErrorCode(), SQLITE_ERROR);
    EXPECT_NE(constraint.ErrorMessageText().find(u"UNIQUE"), std::u16string::npos);
    EXPECT_EQ(db->WriteFailure().code, 0); // another kind of error is no write failure
    EXPECT_EQ(db->ExecuteScalar(u"select count(*) from t where extra = 'y'"), 2);

    // Write failures are kept and can halt writes; triggers can be turned off.
    second.ExecuteStatement(u"create table log (what text)");
    second.ExecuteStatement(u"create trigger noted after update on t begin insert into log values ('ran'); end");
    CSqliteDB readOnly;
    readOnly.OpenReadOnly(path);
    EXPECT_EQ(Caught([&] { readOnly.ExecuteStatement(u"delete from t"); }).ErrorCode(), SQLITE_ERROR);
    EXPECT_EQ(readOnly.WriteFailure().code, SQLITE_READONLY);
    CSqliteDB guarded;
    guarded.SetTriggersAllowed(false);
    guarded.SetHaltWritesOnFailure(true);
    guarded.Open(path);
    guarded.ExecuteStatement(u"update t set n = 5");
    EXPECT_EQ(guarded.ExecuteScalar(u"select count(*) from log"), 0);
    // A file that cannot be made: kept, and nothing more is written, also after reopening.
    Caught([&] { guarded.ExecuteStatement(u"attach database '" + Utf8ToWide((m_dir / "no/x").string()) + u"' as x"); });
    EXPECT_TRUE((guarded.WriteFailure().code & 0xFF) == SQLITE_CANTOPEN && !guarded.WriteFailure().text.empty());
    guarded.Open(path);
    Caught([&] { guarded.ExecuteStatement(u"insert into t (name) values ('five')"); });
    EXPECT_EQ(guarded.WriteFailure().code & 0xFF, SQLITE_CANTOPEN);
    EXPECT_EQ(guarded.ExecuteScalar(u"select count(*) from t"), 2);

    guarded.ClearWriteFailure();
    EXPECT_TRUE(guarded.WriteFailure().code == 0 && guarded.WriteFailure().text.empty());
    guarded.ExecuteStatement(u"insert into t (name) values ('six')");
    EXPECT_EQ(guarded.ExecuteScalar(u"select count(*) from t"), 3);

    // An open statement makes Close fail and leaves the connection open for a later try.
    query = db->ExecuteQuery(u"select * from t");
    EXPECT_EQ(Caught([&] { db->Close(); }).ErrorCode(), SQLITE_BUSY);
    EXPECT_TRUE(db->IsOpen());
    db.reset(); // must neither throw nor leak although a statement is still open
}

// Without a key applied, ChangeKey encrypts a writable plain file in place and keeps its mode;
// a read-only, encrypted or foreign file keeps every byte.
TEST_F(SqliteDBTest, ChangeKeyEncryptsOnlyAWritablePlainFile)
{
    MakePlainDatabase("plain.tav");
    fs::permissions(m_dir / "plain.tav", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    MakePlainDatabase("read-only.tav");
    fs::permissions(m_dir / "read-only.tav", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    supporttest::WriteWholeFile(m_dir / "words.txt", "not a database, only words\n" + std::string(200, 'x'));
    // The plain file comes round again encrypted: opened without the key, it is refused like the words.
    for (const auto& [name, expected] : {std::pair{"plain.tav", SQLITE_OK}, {"read-only.tav", SQLITE_READONLY},
                                         {"words.txt", SQLITE_NOTADB}, {"plain.tav", SQLITE_NOTADB}}) {
        SCOPED_TRACE(std::string(name) + " " + std::to_string(expected));
        const fs::path file = m_dir / name;
        const std::string before = supporttest::ReadWholeFile(file);
        const fs::perms mode = fs::status(file).permissions();
        CSqliteDB db;
        db.Open(Utf8ToWide(file.string()));
        EXPECT_EQ(db.ChangeKey(kKey, 12), expected);
        EXPECT_EQ(db.WriteFailure().code, expected == SQLITE_READONLY ? SQLITE_READONLY : 0);
        EXPECT_TRUE(expected != SQLITE_OK || db.ExecuteScalar(u"select count(*) from t") == 2); // reopened with the key
        db.Close();
        EXPECT_EQ(supporttest::ReadWholeFile(file) != before, expected == SQLITE_OK);
        EXPECT_EQ(fs::status(file).permissions(), mode);
        EXPECT_FALSE(fs::exists(file.string() + ".encrypting"));
    }
}

} // namespace
