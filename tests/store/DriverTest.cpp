#include "builder/UnitBuilder.h"
#include "store/TavDB.h"
#include "support/LastError.h"
#include "support/Log.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Line {
    int32_t position;
    int32_t maximum;
    std::u16string text;
};

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override { g_cancelFlag.store(0); }
    void TearDown() override { g_cancelFlag.store(0); }

    // A current-layout unit's version record, unencrypted; the creation pass adds the rest.
    std::u16string MakeUnit(const std::string& name, const std::u16string& versionSql)
    {
        const fs::path file = m_dir / name;
        CSqliteDB db;
        db.Open(Utf8ToWide(file.string()));
        db.ExecuteStatement(versionSql);
        db.Close();
        return Utf8ToWide(file.string());
    }
    std::u16string MakeCurrentUnit(const std::string& name, const std::u16string& tavId, const std::u16string& owner)
    {
        const std::u16string path = MakeUnit(
            name, u"create table VersionInfo (ID integer primary key, VersionNum integer, TavId text, Userkey text, FileType text)");
        CSqliteDB db;
        db.Open(path);
        db.ExecuteStatement(u"insert into VersionInfo values (1, 16, " + tavId + u", " + owner + u", 'tav')");
        return path;
    }

    int RunInit(const std::u16string& path, std::u16string& tavId, const std::u16string& account)
    {
        CTavDB store;
        store.SetPauseMilliseconds(0);
        return store.Init(path, tavId, account, [this](int32_t position, int32_t maximum, const std::u16string& text) {
            m_lines.push_back({position, maximum, text});
            return 1;
        });
    }

    static std::string ReadBytes(const std::u16string& path)
    {
        std::ifstream in(WideToUtf8(path), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    static std::u16string ReadText(const std::u16string& path, const std::u16string& sql)
    {
        CSqliteDB db;
        db.Open(path);
        db.SetKey(kTavDatabaseKey, kTavDatabaseKeyLength);
        CSqliteQuery query = db.ExecuteQuery(sql);
        return query.IsEof() ? u"<no row>" : query.GetStringValue(0);
    }

    bool Saw(const std::u16string& text) const
    {
        for (const Line& line : m_lines)
            if (line.text == text)
                return true;
        return false;
    }

    testkit::ScopedHomeEnv m_home;
    testkit::TempDir m_temp;
    const fs::path& m_dir = m_temp.Path();
    std::vector<Line> m_lines;
};

TEST_F(DriverTest, PlainUnitIsEncryptedAndUpgradedAndFailsWithoutAnAccount)
{
    const std::u16string path = MakeCurrentUnit("a.tav", u"'T1'", u"NULL");
    std::u16string tavId;
    const int result = RunInit(path, tavId, u"someone");

    EXPECT_NE(ReadBytes(path).substr(0, 15), "SQLite format 3");
    EXPECT_EQ(ReadText(path, u"select TavId from VersionInfo where ID = 1"), u"T1");
    EXPECT_EQ(tavId, u"T1");
    EXPECT_EQ(ReadText(path, u"select Name from Category"), u"要学习的文献");
    ASSERT_FALSE(m_lines.empty());
    EXPECT_EQ(m_lines[0].text, u"判断路径是否存在");
    EXPECT_EQ(m_lines[1].text, u"打开学习单元");
    EXPECT_TRUE(Saw(u"创建文献夹信息表"));
    EXPECT_TRUE(Saw(u"开始更新学习单元版本..."));
    // Nobody is signed in, so the library has no user to create the entry for: a failed update.
    EXPECT_EQ(result, kTavImportFailed);
    EXPECT_TRUE(Saw(u"导入学习单元《a》"));
    EXPECT_EQ(m_lines.back().text, u"更新学习单元失败");
    EXPECT_FALSE(Saw(u"更新学习单元完成"));

    // A second run opens the now encrypted file through the key.
    m_lines.clear();
    std::u16string again;
    EXPECT_EQ(RunInit(path, again, u""), kTavImportFailed);
    EXPECT_EQ(again, u"T1");
}

TEST_F(DriverTest, WrongKeyAndForeignFilesEndAfterOpeningUntouched)
{
    // A unit encrypted with another key.
    const std::u16string other = MakeCurrentUnit("other.tav", u"'T2'", u"NULL");
    {
        CSqliteDB db;
        db.Open(other);
        ASSERT_EQ(db.ChangeKey("another key!", 12), 0);
    }
    const fs::path textFile = m_dir / "readme.tav";
    std::ofstream(textFile) << "plain words, not a database at all; long enough to fill a header.\n"
                            << std::string(300, '-');
    // A first line, so that the log file exists; only what is written after it counts.
    CxLog::Instance().Log(u"DriverTest", u"mark", __LINE__, 3, u"start");
    ASSERT_TRUE(CxLog::Instance().Flush());
    const size_t logStart = ReadBytes(CxLog::Instance().LastLogFilePath()).size();
    for (const std::u16string& path : {other, Utf8ToWide(textFile.string())}) {
        const std::string before = ReadBytes(path);
        m_lines.clear();
        SetLastErrorCode(0);
        std::u16string tavId;
        EXPECT_EQ(RunInit(path, tavId, u"abc"), kTavSqliteError) << WideToUtf8(path);
        ASSERT_FALSE(m_lines.empty());
        EXPECT_EQ(m_lines.back().text, u"打开学习单元");
        EXPECT_EQ(GetLastErrorCode(), static_cast<uint32_t>(kTavSqliteError));
        EXPECT_EQ(ReadBytes(path), before);
        ASSERT_TRUE(CxLog::Instance().Flush());
        // Refused by the look before writing, which says why.
        EXPECT_NE(ReadBytes(CxLog::Instance().LastLogFilePath()).find("Error TavDB(CTavDB::RefuseUnit, ", logStart),
                  std::string::npos);
    }
}

TEST_F(DriverTest, OwnerCheckIgnoresCaseButRefusesAnotherAccount)
{
    const std::u16string path = MakeCurrentUnit("owned.tav", u"'T3'", u"'ABC'");
    std::u16string tavId;
    EXPECT_EQ(RunInit(path, tavId, u"abc"), kTavImportFailed);
    EXPECT_FALSE(Saw(u"导入学习单元失败，您没有权限读取该学习单元数据。"));
    EXPECT_EQ(m_lines.back().text, u"更新学习单元失败");

    m_lines.clear();
    SetLastErrorCode(0);
    EXPECT_EQ(RunInit(path, tavId, u"abd"), kTavImportFailed);
    EXPECT_EQ(m_lines.back().text, u"导入学习单元失败，您没有权限读取该学习单元数据。");
    EXPECT_EQ(m_lines.back().position, m_lines.back().maximum);
    EXPECT_EQ(GetLastErrorCode(), static_cast<uint32_t>(kTavImportFailed));
    EXPECT_FALSE(Saw(u"更新学习单元失败"));

    // Without an account, or without an owner, the check passes.
    m_lines.clear();
    EXPECT_EQ(RunInit(path, tavId, u""), kTavImportFailed);
    EXPECT_EQ(m_lines.back().text, u"更新学习单元失败");
}

TEST_F(DriverTest, CancelBeforeStartOpensNothing)
{
    const std::u16string path = MakeCurrentUnit("c.tav", u"'T4'", u"NULL");
    const std::string before = ReadBytes(path);
    g_cancelFlag.store(1);
    std::u16string tavId;
    EXPECT_EQ(RunInit(path, tavId, u"abc"), 0);
    ASSERT_EQ(m_lines.size(), 1u);
    EXPECT_EQ(m_lines[0].text, u"导入学习单元取消");
    EXPECT_EQ(m_lines[0].position, 0);
    EXPECT_EQ(m_lines[0].maximum, 0);
    EXPECT_EQ(ReadBytes(path), before);

    // Clearing the flag lets the next import run.
    g_cancelFlag.store(0);
    m_lines.clear();
    EXPECT_EQ(RunInit(path, tavId, u"abc"), kTavImportFailed);
}

TEST_F(DriverTest, CancelDuringTheUpgradeEndsTheRunAsCancelledNotFailed)
{
    const std::u16string path = MakeCurrentUnit("cu.tav", u"'T6'", u"NULL");
    std::u16string tavId;
    CTavDB store;
    store.SetPauseMilliseconds(0);
    const int result = store.Init(path, tavId, u"abc", [this](int32_t position, int32_t maximum, const std::u16string& text) {
        m_lines.push_back({position, maximum, text});
        if (text == u"开始更新学习单元版本...")
            g_cancelFlag.store(1);
        return 1;
    });
    EXPECT_EQ(result, 0);
    ASSERT_FALSE(m_lines.empty());
    EXPECT_EQ(m_lines.back().text, u"导入学习单元取消");
    EXPECT_EQ(m_lines.back().position, store.TotalSteps());
    EXPECT_FALSE(Saw(u"更新文献夹信息"));
    EXPECT_FALSE(Saw(u"更新学习单元失败"));
}

TEST_F(DriverTest, MissingPathIsReportedAndNothingIsCreated)
{
    const std::u16string path = Utf8ToWide((m_dir / "nowhere/x.tav").string());
    std::u16string tavId;
    EXPECT_EQ(RunInit(path, tavId, u"abc"), 0);
    ASSERT_EQ(m_lines.size(), 2u);
    EXPECT_EQ(m_lines[1].text, u"学习单元路径不存在");
    EXPECT_FALSE(fs::exists(m_dir / "nowhere"));
}

TEST_F(DriverTest, TavIdIsCreatedWhenMissingAndOverwrittenWhenGiven)
{
    const std::u16string path = MakeCurrentUnit("g.tav", u"NULL", u"NULL");
    std::u16string tavId;
    RunInit(path, tavId, u"");
    ASSERT_EQ(tavId.size(), 32u);
    for (char16_t c : tavId)
        EXPECT_TRUE((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'));
    EXPECT_EQ(ReadText(path, u"select TavId from VersionInfo where ID = 1"), tavId);

    // A caller's id replaces the unit's, apostrophe and all.
    std::u16string given = u"O'Brien's unit";
    RunInit(path, given, u"");
    EXPECT_EQ(ReadText(path, u"select TavId from VersionInfo where ID = 1"), u"O'Brien's unit");
}

TEST_F(DriverTest, OwnerColumnsAreAddedAndFileTypeSet)
{
    const std::u16string path = MakeUnit("cols.tav", u"create table VersionInfo (ID integer primary key, VersionNum integer, TavId text)");
    {
        CSqliteDB db;
        db.Open(path);
        db.ExecuteStatement(u"insert into VersionInfo values (1, 16, 'T5')");
    }
    std::u16string tavId;
    CTavDB store; // no callback at all: every report is skipped
    store.SetPauseMilliseconds(0);
    EXPECT_EQ(store.Init(path, tavId, u"abc", nullptr), kTavImportFailed);
    EXPECT_EQ(ReadText(path, u"select FileType from VersionInfo"), u"tav");
    EXPECT_EQ(ReadText(path, u"select count(Userkey) from VersionInfo"), u"0");
}

} // namespace
