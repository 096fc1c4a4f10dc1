#include "sqlite/SqliteDB.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr char kKey[] = "3A7F0C52E9B4";

class SqliteDBTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/sqlite-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::u16string PathOf(const std::string& name) const { return Utf8ToWide((m_dir / name).string()); }

    static std::string ReadBytes(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // A plain database with one table and two rows, closed again.
    std::u16string MakePlainDatabase(const std::string& name)
    {
        CSqliteDB db;
        db.Open(PathOf(name));
        db.ExecuteStatement(u"create table t (id integer primary key, name text unique, n integer)");
        db.ExecuteStatement(u"insert into t (name, n) values ('一', 1)");
        db.ExecuteStatement(u"insert into t (name, n) values ('two', NULL)");
        db.Close();
        return PathOf(name);
    }

    fs::path m_dir;
};

template <class F>
CSqliteException Caught(F&& operation)
{
    try {
        operation();
    } catch (const CSqliteException& e) {
        return e;
    }
    ADD_FAILURE() << "no exception";
    return CSqliteException(0, nullptr);
}

TEST(SqliteExceptionTest, MessageCarriesNameCodeAndDetail)
{
    EXPECT_EQ(std::u16string(CSqliteException(1000, u"Database not open").ErrorMessage()),
              u"CSQLITE_ERROR[1000]: Database not open");
    EXPECT_EQ(std::u16string(CSqliteException(19, nullptr).ErrorMessage()), u"SQLITE_CONSTRAINT[19]: ");
    EXPECT_EQ(std::u16string(CSqliteException(26, u"x").ErrorMessage()), u"UNKNOWN_ERROR[26]: x");
    for (int code : {-1, 99, 102, 999, 1001, 2067 /* an extended code */})
        EXPECT_EQ(std::u16string(CSqliteException::ErrorCodeName(code)), u"UNKNOWN_ERROR") << code;
    EXPECT_EQ(std::u16string(CSqliteException::ErrorCodeName(101)), u"SQLITE_DONE");
    EXPECT_EQ(std::u16string(CSqliteException::ErrorCodeName(25)), u"SQLITE_RANGE");

    const CSqliteException original(5, u"busy");
    const CSqliteException copy(original);
    EXPECT_EQ(copy.ErrorCode(), 5);
    EXPECT_EQ(std::u16string(copy.ErrorMessage()), u"SQLITE_BUSY[5]: busy");
}

TEST_F(SqliteDBTest, ClosedConnectionRefusesEveryOperation)
{
    CSqliteDB db;
    for (auto operation : std::initializer_list<std::function<void()>>{
             [&] { db.ExecuteStatement(u"select 1"); },
             [&] { db.ExecuteQuery(u"select 1"); },
             [&] { db.ExecuteScalar(u"select 1"); },
             [&] { db.SetKey(kKey, 12); },
             [&] { db.ChangeKey(kKey, 12); },
         }) {
        const CSqliteException e = Caught(operation);
        EXPECT_EQ(e.ErrorCode(), CSQLITE_ERROR);
        EXPECT_EQ(std::u16string(e.ErrorMessage()), u"CSQLITE_ERROR[1000]: Database not open");
    }
    db.Close(); // closing a closed connection does nothing
}

TEST_F(SqliteDBTest, ScalarsFieldsAndRows)
{
    CSqliteDB db;
    db.Open(MakePlainDatabase("a.db"));
    EXPECT_EQ(db.ExecuteScalar(u"select count(*) from t"), 2);
    EXPECT_EQ(db.ExecuteScalar(u"select n from t where name = 'nobody'"), 0); // no row
    EXPECT_EQ(db.ExecuteScalar(u"select n from t where name = 'two'"), 0);    // NULL
    EXPECT_TRUE(db.TableExists(u"t"));
    EXPECT_FALSE(db.TableExists(u"missing"));
    EXPECT_FALSE(db.TableExists(u"t' or '1'='1")); // a name can't widen the probe

    CSqliteQuery query = db.ExecuteQuery(u"select id, name, n from t order by id");
    ASSERT_FALSE(query.IsEof());
    EXPECT_EQ(std::u16string(query.GetStringField(1)), u"一");
    EXPECT_EQ(query.GetIntField(2), 1);
    EXPECT_EQ(Caught([&] { query.GetIntField(-1); }).ErrorMessageText(),
              u"CSQLITE_ERROR[1000]: Invalid field index requested");
    EXPECT_EQ(Caught([&] { query.GetStringField(3); }).ErrorCode(), CSQLITE_ERROR);
    query.NextRow();
    ASSERT_FALSE(query.IsEof());
    EXPECT_EQ(query.GetIntField(2), 0);
    EXPECT_EQ(query.GetStringValue(2), u"");
    query.NextRow();
    EXPECT_TRUE(query.IsEof());

    // Handing a query over leaves the source without a statement.
    CSqliteQuery other = std::move(query);
    EXPECT_TRUE(other.IsEof());
    EXPECT_EQ(Caught([&] { (void)query.IsEof(); }).ErrorMessageText(),
              u"CSQLITE_ERROR[1000]: Null Virtual Machine pointer");
    EXPECT_EQ(Caught([&] { query.NextRow(); }).ErrorCode(), CSQLITE_ERROR);
}

TEST_F(SqliteDBTest, FailuresCarrySqliteCodesAndConnectionStillCloses)
{
    CSqliteDB db;
    db.Open(MakePlainDatabase("b.db"));
    // Prepare failures: the prepare result with SQLite's own text.
    CSqliteException missing = Caught([&] { db.ExecuteStatement(u"insert into nowhere values (1)"); });
    EXPECT_EQ(missing.ErrorCode(), 1);
    EXPECT_NE(missing.ErrorMessageText().find(u"no such table"), std::u16string::npos);
    EXPECT_EQ(Caught([&] { db.ExecuteQuery(u"selec 1"); }).ErrorCode(), 1);

    // A statement failing while running (a constraint) throws code 1 with the detailed text.
    CSqliteException constraint = Caught([&] { db.ExecuteStatement(u"insert into t (name) values ('two')"); });
    EXPECT_EQ(constraint.ErrorCode(), 1);
    EXPECT_NE(constraint.ErrorMessageText().find(u"UNIQUE"), std::u16string::npos);
    EXPECT_EQ(db.ExecuteScalar(u"select count(*) from t"), 2);

    // A query failing at its first step throws the release's code.
    CSqliteException stepFailure = Caught([&] { db.ExecuteQuery(u"select abs(-9223372036854775807 - 1)"); });
    EXPECT_NE(stepFailure.ErrorCode(), 0);
    db.Close(); // nothing left unreleased
    EXPECT_FALSE(db.IsOpen());
}

TEST_F(SqliteDBTest, DestructorClosesWithOpenQuery)
{
    auto db = std::make_unique<CSqliteDB>();
    db->Open(MakePlainDatabase("c.db"));
    CSqliteQuery query = db->ExecuteQuery(u"select * from t");
    // A failed Close leaves the connection open for a later try.
    EXPECT_EQ(Caught([&] { db->Close(); }).ErrorCode(), SQLITE_BUSY);
    EXPECT_TRUE(db->IsOpen());
    query = CSqliteQuery();
    db->Close();
    EXPECT_FALSE(db->IsOpen());
    db->Open(PathOf("c.db"));
    CSqliteQuery leftOpen = db->ExecuteQuery(u"select * from t");
    db.reset(); // must not throw or leak although a statement is still open
}

TEST_F(SqliteDBTest, SchemaChangeUnderStatementIsRetried)
{
    CSqliteDB first;
    first.Open(MakePlainDatabase("d.db"));
    EXPECT_EQ(first.ExecuteScalar(u"select count(*) from t"), 2);
    CSqliteDB second;
    second.Open(PathOf("d.db"));
    second.ExecuteStatement(u"alter table t add column extra text default 'x'");
    // The first connection's cached schema is stale now; the layer prepares again.
    EXPECT_EQ(first.ExecuteStatement(u"update t set extra = 'y'"), 0);
    EXPECT_EQ(first.ExecuteScalar(u"select count(*) from t where extra = 'y'"), 2);
}

TEST_F(SqliteDBTest, ChangeKeyEncryptsPlainFileAtomically)
{
    const std::u16string path = MakePlainDatabase("plain.tav");
    const fs::path file = WideToUtf8(path);
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_EQ(ReadBytes(file).substr(0, 15), "SQLite format 3");

    CSqliteDB db;
    db.Open(path);
    ASSERT_EQ(db.ChangeKey(kKey, 12), 0);
    // The connection is keyed and sees the data.
    EXPECT_EQ(db.ExecuteScalar(u"select count(*) from t"), 2);
    db.Close();

    EXPECT_NE(ReadBytes(file).substr(0, 15), "SQLite format 3");
    EXPECT_FALSE(fs::exists(file.string() + ".encrypting"));
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    // Without the key it is no database; with it, it is.
    CSqliteDB plain;
    plain.Open(path);
    EXPECT_EQ(Caught([&] { plain.ExecuteScalar(u"select count(*) from t"); }).ErrorCode(), SQLITE_NOTADB);
    CSqliteDB keyed;
    keyed.Open(path);
    ASSERT_EQ(keyed.SetKey(kKey, 12), 0);
    EXPECT_EQ(keyed.ExecuteScalar(u"select count(*) from t where name = '一'"), 1);
    // With a key applied, ChangeKey re-keys in place.
    EXPECT_EQ(keyed.ChangeKey(kKey, 12), 0);
}

TEST_F(SqliteDBTest, ChangeKeyLeavesAReadOnlyPlainFileAsItIs)
{
    const std::u16string path = MakePlainDatabase("readonly.tav");
    const fs::path file = WideToUtf8(path);
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::string before = ReadBytes(file);

    CSqliteDB db;
    db.Open(path);
    EXPECT_EQ(db.ChangeKey(kKey, 12), SQLITE_READONLY);
    EXPECT_EQ(db.WriteFailure().code, SQLITE_READONLY);
    db.Close();
    EXPECT_EQ(ReadBytes(file), before);
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
}

TEST_F(SqliteDBTest, WriteFailuresAreKeptAndHaltWritesAndTriggersCanBeTurnedOff)
{
    const std::u16string path = MakePlainDatabase("guarded.db");
    {
        CSqliteDB db;
        db.Open(path);
        db.ExecuteStatement(u"create table log (what text)");
        db.ExecuteStatement(u"create trigger noted after update on t begin insert into log values ('ran'); end");
    }
    CSqliteDB db;
    db.SetTriggersAllowed(false);
    db.SetHaltWritesOnFailure(true);
    db.Open(path);
    db.ExecuteStatement(u"update t set n = 5");
    EXPECT_EQ(db.ExecuteScalar(u"select count(*) from log"), 0);

    // Another kind of error is no write failure.
    Caught([&] { db.ExecuteStatement(u"insert into t (name) values ('two')"); });
    EXPECT_EQ(db.WriteFailure().code, 0);

    // A file that cannot be made: kept (the first failure), and nothing more is written.
    Caught([&] { db.ExecuteStatement(u"attach database '" + PathOf("missing/x.db") + u"' as x"); });
    EXPECT_EQ(db.WriteFailure().code & 0xFF, SQLITE_CANTOPEN);
    EXPECT_FALSE(db.WriteFailure().text.empty());
    Caught([&] { db.ExecuteStatement(u"insert into t (name) values ('four')"); });
    EXPECT_EQ(db.WriteFailure().code & 0xFF, SQLITE_CANTOPEN);
    EXPECT_EQ(db.ExecuteScalar(u"select count(*) from t"), 2);

    db.ClearWriteFailure();
    EXPECT_EQ(db.WriteFailure().code, 0);
    db.ExecuteStatement(u"insert into t (name) values ('five')");
    EXPECT_EQ(db.ExecuteScalar(u"select count(*) from t"), 3);
}

TEST_F(SqliteDBTest, ChangeKeyRefusesEncryptedAndForeignFilesUntouched)
{
    const std::u16string path = MakePlainDatabase("enc.tav");
    {
        CSqliteDB db;
        db.Open(path);
        ASSERT_EQ(db.ChangeKey(kKey, 12), 0);
    }
    const std::string encryptedBytes = ReadBytes(WideToUtf8(path));
    {
        CSqliteDB db;
        db.Open(path);
        EXPECT_EQ(db.ChangeKey(kKey, 12), SQLITE_NOTADB);
    }
    EXPECT_EQ(ReadBytes(WideToUtf8(path)), encryptedBytes);

    const fs::path text = m_dir / "notes.txt";
    std::ofstream(text) << "this is not a database, only some words that fill the header page\n"
                        << std::string(200, 'x');
    const std::string textBytes = ReadBytes(text);
    CSqliteDB db;
    db.Open(Utf8ToWide(text.string()));
    EXPECT_EQ(db.ChangeKey(kKey, 12), SQLITE_NOTADB);
    db.Close();
    EXPECT_EQ(ReadBytes(text), textBytes);
}

TEST_F(SqliteDBTest, EncryptedUnitOpensInTheSqlcipherShell)
{
    if (std::system("command -v sqlcipher >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "the sqlcipher shell is not installed";
    const std::u16string path = MakePlainDatabase("shell.tav");
    {
        CSqliteDB db;
        db.Open(path);
        ASSERT_EQ(db.ChangeKey(kKey, 12), 0);
    }
    const std::string output = (m_dir / "out.txt").string();
    const std::string command = "printf \"PRAGMA key = '3A7F0C52E9B4';\\nselect name from t order by id;\\n\" | sqlcipher '" +
                                WideToUtf8(path) + "' > '" + output + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string printed = ReadBytes(output);
    EXPECT_NE(printed.find("一\ntwo"), std::string::npos) << printed;
}

} // namespace
