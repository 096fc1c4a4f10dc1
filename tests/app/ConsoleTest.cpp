#include "app/console/ConsoleProgress.h"
#include "builder/UnitBuilder.h"
#include "sqlite/SqliteDB.h"
#include "store/TavDB.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

struct RunResult {
    int status = -1;
    std::string output;
};

class ConsoleTest : public ::testing::Test {
protected:

    // Runs tavtool with a private home, capturing standard output and error together.
    RunResult Run(const std::string& arguments) const
    {
        const fs::path home = m_dir / "home";
        const std::string command = "env HOME='" + home.string() + "' XDG_DATA_HOME='" + (home / "share").string() +
                                    "' XDG_CONFIG_HOME='" + (home / "config").string() + "' XDG_STATE_HOME='" +
                                    (home / "state").string() + "' '" + ARBORA_TAVTOOL + "' " + arguments + " 2>&1";
        RunResult result;
        FILE* pipe = ::popen(command.c_str(), "r");
        if (pipe == nullptr)
            return result;
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            result.output.append(buffer, n);
        const int status = ::pclose(pipe);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return result;
    }

    fs::path MakeUnit(const std::string& name, int version, const std::string& owner) const
    {
        const fs::path file = m_dir / name;
        CSqliteDB db;
        db.Open(Utf8ToWide(file.string()));
        db.ExecuteStatement(u"create table VersionInfo (ID integer primary key, VersionNum integer, TavId text, Userkey text)");
        db.ExecuteStatement(u"insert into VersionInfo values (1, " + Utf8ToWide(std::to_string(version)) +
                            u", 'F00D', '" + Utf8ToWide(owner) + u"')");
        db.ExecuteStatement(u"create table LiteraInfo (pkid integer primary key, DOI text not null unique, Title text)");
        db.ExecuteStatement(u"insert into LiteraInfo (DOI, Title) values ('d1', 't1'), ('d2', 't2')");
        return file;
    }

    static std::string Bytes(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    testkit::TempDir m_temp;
    const fs::path& m_dir = m_temp.Path();
};

TEST(ConsoleProgressTest, BarFollowsPositionWithinRange)
{
    EXPECT_EQ(CConsoleProgress::FormatBar(0, 0, 10), "");
    EXPECT_EQ(CConsoleProgress::FormatBar(5, -1, 10), "");
    EXPECT_EQ(CConsoleProgress::FormatBar(0, 4, 8), "[        ] 0%");
    EXPECT_EQ(CConsoleProgress::FormatBar(1, 4, 8), "[##      ] 25%");
    EXPECT_EQ(CConsoleProgress::FormatBar(9, 4, 8), "[########] 100%"); // past the end is clamped
    EXPECT_EQ(CConsoleProgress::FormatBar(-3, 4, 8), "[        ] 0%");
    EXPECT_EQ(CConsoleProgress::FormatBar(2147483647, 2147483647, 4), "[####] 100%");
}

TEST(ConsoleProgressTest, LinesCarryPositionAndNoBarOffTerminal)
{
    char* buffer = nullptr;
    size_t size = 0;
    FILE* memory = ::open_memstream(&buffer, &size);
    ASSERT_NE(memory, nullptr);
    {
        CConsoleProgress progress(memory, false);
        progress.OnProgress(3, 36, u"升级学习单元数据到版本4...");
        progress.Finish();
    }
    std::fclose(memory);
    const std::string text(buffer, size);
    std::free(buffer);
    EXPECT_EQ(text, "[3/36] 升级学习单元数据到版本4...\n");
}

TEST_F(ConsoleTest, HelpExplainsEveryOption)
{
    const RunResult result = Run("import --help");
    EXPECT_EQ(result.status, 0);
    for (const char* option : {"UNIT", "--account", "--sync-dir", "--no-pause"})
        EXPECT_NE(result.output.find(option), std::string::npos) << option << "\n" << result.output;
    EXPECT_EQ(Run("inspect --help").status, 0);
    EXPECT_NE(Run("").status, 0); // a command is required
    for (const char* command : {"list", "show", "remove"}) {
        const RunResult help = Run(std::string("library ") + command + " --help");
        EXPECT_EQ(help.status, 0) << command;
        for (const char* option : {"--account", "--sync-dir"})
            EXPECT_NE(help.output.find(option), std::string::npos) << command << " " << option;
    }
    EXPECT_NE(Run("library show --help").output.find("--json"), std::string::npos);
    EXPECT_NE(Run("library").status, 0);      // list, show or remove
    EXPECT_NE(Run("library show").status, 0); // ENTRY is required
}

TEST_F(ConsoleTest, LibraryCommandsReachTheAccountsLibrary)
{
    const std::string where = " --account nobody --sync-dir '" + (m_dir / "sync").string() + "'";
    const RunResult list = Run("library list" + where);
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.output.find("nobody has no personal library yet"), std::string::npos) << list.output;
    const RunResult show = Run("library show 0A" + where);
    EXPECT_EQ(show.status, 1);
    EXPECT_NE(show.output.find("nobody has no personal library yet"), std::string::npos) << show.output;
    EXPECT_FALSE(fs::exists(m_dir / "sync" / "nobody"));
}

TEST_F(ConsoleTest, BadInputEndsNonzeroWithWords)
{
    const RunResult missing = Run("import '" + (m_dir / "missing.tav").string() + "' --no-pause");
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.output.find("学习单元路径不存在"), std::string::npos) << missing.output;

    const fs::path text = m_dir / "text.tav";
    std::ofstream(text) << std::string(600, 'z');
    const RunResult foreign = Run("import '" + text.string() + "' --no-pause");
    EXPECT_EQ(foreign.status, 1);
    EXPECT_NE(foreign.output.find("打开学习单元"), std::string::npos);
    EXPECT_NE(foreign.output.find("0x20001F3D"), std::string::npos) << foreign.output;
    EXPECT_EQ(Bytes(text), std::string(600, 'z'));
}

TEST_F(ConsoleTest, ImportShowsTheUpgradeAndRefusesAnotherOwner)
{
    const fs::path unit = MakeUnit("u.tav", 9, "ABC");
    const RunResult run = Run("import '" + unit.string() + "' --account abd --no-pause");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("升级学习单元数据到版本16..."), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("您没有权限读取该学习单元数据"), std::string::npos);
    EXPECT_NE(run.output.find("0x20001F46"), std::string::npos);
}

TEST_F(ConsoleTest, FinishedImportExitsZeroAndFillsTheLibrary)
{
    const fs::path unit = m_dir / "units" / "sample.tav";
    testkit::BuildUnit(unit, testkit::SampleSpec(9));
    const RunResult run = Run("import '" + unit.string() + "' --account demo --sync-dir '" + (m_dir / "sync").string() +
                              "' --no-pause");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("导入文献《文献一》"), std::string::npos) << run.output;
    EXPECT_NE(run.output.rfind("更新学习单元完成\n"), std::string::npos);
    EXPECT_TRUE(fs::is_regular_file(m_dir / "sync" / "demo" / "library.db"));
}

TEST_F(ConsoleTest, InspectReadsPlainAndEncryptedUnitsWithoutChangingThem)
{
    const fs::path unit = MakeUnit("i.tav", 9, "ABC");
    const std::string before = Bytes(unit);
    const RunResult plain = Run("inspect '" + unit.string() + "'");
    EXPECT_EQ(plain.status, 0) << plain.output;
    EXPECT_NE(plain.output.find("layout version:  9"), std::string::npos) << plain.output;
    EXPECT_NE(plain.output.find("encrypted:       no"), std::string::npos);
    EXPECT_NE(plain.output.find("LiteraInfo"), std::string::npos);
    EXPECT_NE(plain.output.find(" 10 11 12 13 14 15 16"), std::string::npos);
    EXPECT_EQ(Bytes(unit), before);
    EXPECT_FALSE(fs::exists(m_dir / "i_contents"));

    {
        CSqliteDB db;
        db.Open(Utf8ToWide(unit.string()));
        ASSERT_EQ(db.ChangeKey(kTavDatabaseKey, kTavDatabaseKeyLength), 0);
    }
    const std::string encrypted = Bytes(unit);
    const RunResult keyed = Run("inspect '" + unit.string() + "'");
    EXPECT_EQ(keyed.status, 0) << keyed.output;
    EXPECT_NE(keyed.output.find("encrypted:       yes"), std::string::npos);
    EXPECT_NE(keyed.output.find("owner:           ABC"), std::string::npos);
    EXPECT_EQ(Bytes(unit), encrypted);

    const fs::path text = m_dir / "t.tav";
    std::ofstream(text) << std::string(700, 'q');
    EXPECT_EQ(Run("inspect '" + text.string() + "'").status, 1);
}

TEST_F(ConsoleTest, FailuresNameTheirCauseAndARunEndsWithWhatItLogged)
{
    // Refused untouched, with the reason on the failure line.
    const fs::path locked = MakeUnit("locked.tav", 9, "");
    fs::permissions(locked, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::string before = Bytes(locked);
    const RunResult refused = Run("import '" + locked.string() + "' --no-pause");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.output.find("import failed: 0x20001F3D: the learning unit cannot be opened or read (database "
                                  "error): the learning unit's file is read-only"),
              std::string::npos)
        << refused.output;
    EXPECT_EQ(Bytes(locked), before);

    const fs::path empty = m_dir / "empty.tav";
    std::ofstream{empty};
    const RunResult nothing = Run("import '" + empty.string() + "' --no-pause");
    EXPECT_NE(nothing.output.find("): the file is empty"), std::string::npos) << nothing.output;
    EXPECT_EQ(fs::file_size(empty), 0u);

    // A backup that cannot be made does not stop the run, but the run does not end clean.
    const fs::path unit = MakeUnit("u.tav", 9, "");
    fs::create_directories(m_dir / "u_contents");
    std::ofstream(m_dir / "u_contents" / "TavBackup") << "a file where the backup folder goes";
    const RunResult run = Run("import '" + unit.string() + "' --no-pause");
    EXPECT_NE(run.output.find("升级学习单元数据到版本16..."), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("warning(s) and error(s):"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("CTavDB::BackupUnit: no backup made: the backup folder cannot be made"), std::string::npos)
        << run.output;
}

TEST_F(ConsoleTest, InspectShowsTheQuickCheckAndANewerLayout)
{
    const fs::path unit = MakeUnit("n.tav", 17, "");
    const std::string before = Bytes(unit);
    const RunResult newer = Run("inspect '" + unit.string() + "'");
    EXPECT_EQ(newer.status, 0) << newer.output;
    EXPECT_NE(newer.output.find("layout version:  17 (newer than this tool knows: 16)"), std::string::npos)
        << newer.output;
    EXPECT_NE(newer.output.find("quick check:     ok"), std::string::npos);
    EXPECT_NE(newer.output.find("the layout is newer than this tool knows"), std::string::npos);
    EXPECT_EQ(Bytes(unit), before);
}

} // namespace
