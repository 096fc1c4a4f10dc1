// Writes that fail partway (a file-size limit in a child process stands in for a full disk):
// the upgrade stops at the last step written whole, says so, and a rerun with room finishes it
// exactly as an undisturbed run would. Backups are whole or absent.
#include "builder/UnitBuilder.h"
#include "store/TavDB.h"
#include "support/Log.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct ChildRun {
    bool finished = false; // the child reported back
    int result = 0;
    int cause = 0;
    std::vector<std::string> lines;
    std::string notes;

    bool Saw(const std::string& text) const
    {
        for (const std::string& line : lines)
            if (line == text)
                return true;
        return false;
    }
};

struct ChildOutcome {
    int result = 0;
    SRunReport report;
    std::vector<std::u16string> lines;
};

// Runs `body` in a child process whose files may not grow beyond `limit` bytes.
ChildRun InChildWithFileSizeLimit(rlim_t limit, const std::function<ChildOutcome()>& body)
{
    ChildRun run;
    int fds[2];
    if (pipe(fds) != 0)
        return run;
    // Nothing of the log may be half-way through a batch when the process is copied.
    CxLog::Instance().Flush();
    const pid_t child = fork();
    if (child < 0)
        return run;
    if (child == 0) {
        close(fds[0]);
        signal(SIGXFSZ, SIG_IGN); // a write beyond the limit fails with EFBIG instead
        const rlimit small{limit, limit};
        setrlimit(RLIMIT_FSIZE, &small);
        std::ostringstream out;
        {
            const ChildOutcome outcome = body();
            out << outcome.result << '\n' << static_cast<int>(outcome.report.cause) << '\n';
            for (const std::u16string& note : outcome.report.notes)
                out << WideToUtf8(note) << '\x1f';
            out << '\n';
            for (const std::u16string& line : outcome.lines)
                out << WideToUtf8(line) << '\n';
        }
        const std::string text = out.str();
        const bool sent = write(fds[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
        _exit(sent ? 0 : 3);
    }
    close(fds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    std::istringstream in(text);
    std::string result, cause;
    run.finished = WIFEXITED(status) && WEXITSTATUS(status) == 0 && std::getline(in, result) &&
                   std::getline(in, cause) && std::getline(in, run.notes);
    if (!run.finished)
        return run;
    run.result = std::stoi(result);
    run.cause = std::stoi(cause);
    for (std::string line; std::getline(in, line);)
        run.lines.push_back(line);
    return run;
}

ChildRun InitWithFileSizeLimit(const fs::path& unit, rlim_t limit)
{
    return InChildWithFileSizeLimit(limit, [&unit] {
        ChildOutcome outcome;
        CTavDB store;
        store.SetPauseMilliseconds(0);
        std::u16string tavId;
        outcome.result = store.Init(Utf8ToWide(unit.string()), tavId, u"",
                                    [&outcome](int32_t, int32_t, const std::u16string& text) {
                                        outcome.lines.push_back(text);
                                        return 1;
                                    });
        outcome.report = store.RunReport();
        return outcome;
    });
}

// A store opened on a unit, to reach the backup directly.
class BackupStore : public CTavDB {
public:
    explicit BackupStore(const fs::path& unit)
    {
        m_path = Utf8ToWide(unit.string());
        m_db.Open(m_path);
    }
    using CTavDB::VerifyBackup;
};

int RunInit(const fs::path& unit)
{
    CTavDB store;
    store.SetPauseMilliseconds(0);
    std::u16string tavId;
    return store.Init(Utf8ToWide(unit.string()), tavId, u"", nullptr);
}

// Every table with its columns, its rows and the NULLs of each column: what differs when a
// step was left half-done (rows or GUIDs missing, columns not added).
std::map<std::string, std::string> Fingerprint(const fs::path& unit)
{
    testkit::UnitReader reader(unit);
    std::map<std::string, std::string> print;
    for (const std::string& table : reader.Tables()) {
        std::string& entry = print[table];
        entry = "rows " + std::to_string(reader.ScalarInt("select count(*) from \"" + table + "\""));
        for (const std::string& column : reader.Columns(table))
            entry += "; " + column + " nulls " +
                     std::to_string(reader.ScalarInt("select count(*) from \"" + table + "\" where \"" + column +
                                                     "\" is null"));
    }
    return print;
}

class WriteFailureTest : public ::testing::Test {
protected:
    void SetUp() override { g_cancelFlag.store(0); }

    testkit::ScopedHomeEnv m_home;
    testkit::TempDir m_dir;
};

TEST_F(WriteFailureTest, AFullDiskStopsTheUpgradeAtTheLastWholeStepAndARerunFinishesIt)
{
    testkit::UnitSpec spec = testkit::SampleSpec(9);
    spec.encrypted = true; // sized as the upgrade finds it (encrypting a plain unit repacks it)
    const fs::path reference = m_dir.Path() / "reference" / "unit.tav";
    fs::create_directories(reference.parent_path());
    testkit::BuildUnit(reference, spec);
    const uintmax_t size = fs::file_size(reference);
    RunInit(reference);
    ASSERT_GT(fs::file_size(reference), size);
    const auto expected = Fingerprint(reference);
    ASSERT_EQ(expected.at("VersionInfo").substr(0, 6), "rows 1");

    std::vector<int64_t> stoppedAt;
    int64_t pageSize = 0;
    {
        testkit::UnitReader reader(reference);
        pageSize = reader.ScalarInt("pragma page_size");
    }
    for (const uintmax_t pages : {0, 4, 5, 6, 7, 8, 10, 12, 16}) {
        SCOPED_TRACE("limit: unit size + " + std::to_string(pages) + " pages");
        const fs::path unit = m_dir.Path() / ("run" + std::to_string(pages)) / "unit.tav";
        fs::create_directories(unit.parent_path());
        testkit::BuildUnit(unit, spec);

        const ChildRun run = InitWithFileSizeLimit(unit, static_cast<rlim_t>(size + pages * static_cast<uintmax_t>(pageSize)));
        ASSERT_TRUE(run.finished);
        int64_t version = 0;
        {
            testkit::UnitReader reader(unit);
            version = reader.ScalarInt("select VersionNum from VersionInfo");
        }
        if (run.result == kTavSqliteError) {
            stoppedAt.push_back(version);
            EXPECT_TRUE(run.cause == static_cast<int>(EUnitProblem::DiskFull) ||
                        run.cause == static_cast<int>(EUnitProblem::WriteError))
                << run.cause;
            EXPECT_GE(version, 9);
            EXPECT_LT(version, 16);
            // Nothing after the step that failed ran, and the log names that step.
            EXPECT_FALSE(run.Saw("学习单元数据升级到版本" + std::to_string(version + 1) + "..."));
            EXPECT_FALSE(run.Saw("升级学习单元数据到版本" + std::to_string(version + 2) + "..."));
            if (run.Saw("升级学习单元数据到版本" + std::to_string(version + 1) + "...")) {
                EXPECT_EQ(run.lines.back(), "更新学习单元失败");
                EXPECT_NE(run.notes.find("upgrade stopped: the step to version " + std::to_string(version + 1) +
                                         " could not be written"),
                          std::string::npos)
                    << run.notes;
            }
        } else {
            EXPECT_EQ(version, 16) << run.notes;
        }

        // With room again the upgrade ends where an undisturbed one does.
        RunInit(unit);
        EXPECT_EQ(Fingerprint(unit), expected);
    }
    // Some limits fell inside the steps: a step was stopped after earlier ones were written.
    EXPECT_NE(std::find_if(stoppedAt.begin(), stoppedAt.end(), [](int64_t v) { return v > 9; }), stoppedAt.end());
}

TEST_F(WriteFailureTest, BackupsAreWholeOrAbsent)
{
    const fs::path unit = m_dir.Path() / "unit.tav";
    testkit::BuildUnit(unit, testkit::SampleSpec(9));
    const fs::path folder = testkit::ContentsFolder(unit) / "TavBackup";
    const auto backups = [&folder] {
        std::vector<fs::path> files;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(folder, error))
            files.push_back(entry.path());
        return files;
    };

    // The copy breaks off halfway: nothing stays under any name.
    const ChildRun cut = InChildWithFileSizeLimit(static_cast<rlim_t>(fs::file_size(unit) / 2), [&unit] {
        BackupStore store(unit);
        ChildOutcome outcome;
        outcome.result = store.BackupUnit();
        outcome.report = store.RunReport();
        return outcome;
    });
    ASSERT_TRUE(cut.finished);
    EXPECT_NE(cut.notes.find("no backup made: backup copy failed"), std::string::npos) << cut.notes;
    EXPECT_TRUE(backups().empty());

    // A whole copy stays, and reads back as the unit.
    {
        BackupStore store(unit);
        store.BackupUnit();
        EXPECT_TRUE(store.RunReport().notes.empty());
    }
    ASSERT_EQ(backups().size(), 1u);

    // A copy that does not read back, or holds another version, is removed and reported.
    BackupStore store(unit);
    const fs::path copy = backups()[0];
    store.VerifyBackup(Utf8ToWide(copy.string()), 10);
    EXPECT_TRUE(backups().empty());
    ASSERT_EQ(store.RunReport().notes.size(), 1u);
    EXPECT_NE(WideToUtf8(store.RunReport().notes[0]).find("no backup made: the copy does not read back"),
              std::string::npos);
    std::ofstream(copy) << std::string(8192, 'x');
    store.VerifyBackup(Utf8ToWide(copy.string()), 9);
    EXPECT_TRUE(backups().empty());
}

} // namespace
