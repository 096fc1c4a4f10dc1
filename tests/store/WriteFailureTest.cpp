// Runs disturbed partway in a child process: a file-size limit stands in for a full disk, SIGKILL
// inside an upgrade step for a crash; and imports whose files cannot all be written.
#include "builder/UnitBuilder.h"
#include "library/LibraryReader.h"
#include "store/TavDB.h"
#include "support/IniFile.h"
#include "support/SupportTestEnv.h"
#include "support/SyncSettings.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace fs = std::filesystem;

namespace {

// Init in a child program whose files may not grow beyond `fileLimit`: "\n", each line it reported,
// then (unless killed after reporting `killAt`) "=" with the result, the cause and the run's notes;
// "" when the child went wrong.
std::string InitInChild(const fs::path& unit, rlim_t fileLimit, const std::string& killAt)
{
    const std::string path = unit.string();
    const std::string limit = fileLimit == RLIM_INFINITY ? "-" : std::to_string(fileLimit);
    const char* const arguments[] = {ARBORA_INIT_CHILD, path.c_str(), limit.c_str(),
                                     killAt.empty() ? nullptr : killAt.c_str(), nullptr};
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return "";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    pid_t child = -1;
    const bool spawned = posix_spawn(&child, arguments[0], &actions, nullptr, const_cast<char* const*>(arguments),
                                     environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!spawned) {
        close(fds[0]);
        close(fds[1]);
        return "";
    }
    close(fds[1]);
    std::string output = "\n";
    bool killed = false;
    char buffer[4096];
    for (ssize_t n; !killed && (n = read(fds[0], buffer, sizeof buffer)) > 0;) {
        output.append(buffer, static_cast<size_t>(n));
        killed = !killAt.empty() && output.ends_with("\n" + killAt + "\n") && kill(child, SIGKILL) == 0;
    }
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    const bool ended = killed ? WIFSIGNALED(status) : WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return ended ? output : "";
}

// Every table's row count and the NULLs of each column: what differs when a step was left
// half-done or done twice.
std::map<std::string, std::vector<std::string>> Fingerprint(const fs::path& unit)
{
    testkit::UnitReader reader(unit);
    std::map<std::string, std::vector<std::string>> print;
    for (const std::string& table : reader.Tables()) {
        std::string sql = "select count(*)";
        for (const std::string& column : reader.Columns(table))
            sql += ", count(*) - count(\"" + column + "\")";
        print[table] = reader.QueryUtf8(sql + " from \"" + table + "\"").at(0);
    }
    return print;
}

// The encrypted sample unit with a third web page; above 16, a current one naming a newer layout.
fs::path SampleUnit(const fs::path& dir, int32_t version)
{
    testkit::UnitSpec spec = testkit::SampleSpec(version > 16 ? 16 : version);
    spec.encrypted = true;
    spec.webPages.push_back({.pkid = 40, .title = u"third page", .createTime = u"2017-01-01 00:00:00"});
    fs::create_directories(dir);
    testkit::BuildUnit(dir / "unit.tav", spec);
    testkit::UnitReader(dir / "unit.tav").Execute("update VersionInfo set VersionNum = " + std::to_string(version));
    return dir / "unit.tav";
}

TEST(WriteFailureTest, ADisturbedUpgradeStopsAtAWholeStepAndARerunFinishesIt)
{
    testkit::ScopedHomeEnv home;
    testkit::TempDir temp;
    // An undisturbed run's result, by version.
    std::map<int32_t, std::map<std::string, std::vector<std::string>>> expected;
    for (const int32_t version : {9, 17}) {
        const fs::path reference = SampleUnit(temp.Path() / ("reference" + std::to_string(version)), version);
        ASSERT_NE(InitInChild(reference, RLIM_INFINITY, ""), "");
        expected[version] = Fingerprint(reference);
    }
    // The files' limit: the unit's size and this many pages more; or the line after which the child is killed.
    const struct Disturbance {
        int32_t version, pages;
        const char* killAt;
    } disturbances[] = {
        {9, 0, ""}, {9, 4, ""}, {9, 5, ""}, {9, 6, ""}, {9, 7, ""}, {9, 8, ""}, {9, 10, ""}, {9, 12, ""}, {9, 16, ""},
        {17, -2, ""}, {9, 1000, "更新网页回收站信息:2"}, {9, 1000, "更新文献信息表ID：2"}};
    bool stoppedInside = false, backupCut = false;
    for (const Disturbance& d : disturbances) {
        SCOPED_TRACE(std::to_string(d.version) + ", " + std::to_string(d.pages) + " pages, kill at " + d.killAt);
        const fs::path unit = SampleUnit(temp.Path() / ("run" + std::to_string(&d - disturbances)), d.version);
        const int64_t page = testkit::UnitReader(unit).ScalarInt("pragma page_size");
        const int64_t limit = static_cast<int64_t>(fs::file_size(unit)) + d.pages * page;
        const std::string run = InitInChild(unit, static_cast<rlim_t>(limit), d.killAt);
        ASSERT_NE(run, "");
        const auto saw = [&run](const std::string& line) { return run.find("\n" + line + "\n") != std::string::npos; };
        const auto step = [](const char* head, int64_t version) { return head + std::to_string(version) + "..."; };
        const bool journalLeft = fs::exists(unit.string() + "-journal");
        if (*d.killAt != '\0') {
            // The kill left a hot journal. A run on it, before any other program opened it, rolls
            // it back itself and finishes (on a copy: the checks below look at the killed state).
            const fs::path hot = unit.parent_path() / "hot.tav";
            fs::copy_file(unit, hot);
            fs::copy_file(unit.string() + "-journal", hot.string() + "-journal");
            // Hot: its header was made durable before the step's pages reached the file.
            ASSERT_NE(std::ifstream(hot.string() + "-journal", std::ios::binary).get(), 0);
            const std::string rerun = InitInChild(hot, RLIM_INFINITY, "");
            EXPECT_NE(rerun.find("\n导入学习单元《hot》\n"), std::string::npos) << rerun;
            EXPECT_EQ(Fingerprint(hot), expected[d.version]);
        }
        const int64_t version = testkit::UnitReader(unit).ScalarInt("select VersionNum from VersionInfo");
        if (version < 16) {
            stoppedInside = stoppedInside || version > d.version;
            EXPECT_GE(version, d.version);
            // Nothing after the step that failed ran.
            EXPECT_FALSE(saw(step("学习单元数据升级到版本", version + 1)) ||
                         saw(step("升级学习单元数据到版本", version + 2)));
        }
        if (*d.killAt != '\0') {
            EXPECT_TRUE(saw(step("升级学习单元数据到版本", version + 1)) && journalLeft)
                << "the kill fell outside a step";
        } else if (version < 16) {
            const int cause = std::stoi(run.substr(run.find(' ', run.rfind("\n=")) + 1));
            EXPECT_TRUE(cause == static_cast<int>(EUnitProblem::DiskFull) ||
                        cause == static_cast<int>(EUnitProblem::WriteError)) << cause;
            if (saw(step("升级学习单元数据到版本", version + 1))) { // the run says where it stopped
                const std::string note =
                    "upgrade stopped: the step to version " + std::to_string(version + 1) + " could not be written";
                EXPECT_NE(run.find("\n更新学习单元失败\n="), std::string::npos);
                EXPECT_NE(run.find(note), std::string::npos) << run;
            }
        }
        // A backup is whole, or it is absent and the run says so.
        size_t backups = 0;
        std::error_code noFolder;
        for (const auto& entry : fs::directory_iterator(testkit::ContentsFolder(unit) / "TavBackup", noFolder))
            backups += testkit::UnitReader(entry.path()).ScalarInt("select VersionNum from VersionInfo") == d.version;
        const bool cut = run.find("no backup made: backup copy failed") != std::string::npos;
        backupCut = backupCut || cut;
        EXPECT_TRUE(!saw("备份学习单元") || backups == (cut ? 0u : 1u));

        // With room again the upgrade ends where an undisturbed one does: each step done once, whole.
        ASSERT_NE(InitInChild(unit, RLIM_INFINITY, ""), "");
        EXPECT_EQ(Fingerprint(unit), expected[d.version]);
    }
    // Some limits fell inside the steps, after earlier ones were written, and one inside the backup.
    EXPECT_TRUE(stoppedInside && backupCut);
}

// Files of the import that cannot be written (a file or a folder in the way, a full disk) fail
// the run and name the files: the entry stays incomplete, no part-written file keeps a final
// name, and a rerun once the obstacle is gone makes a complete entry with every file.
TEST(WriteFailureTest, FilesThatCannotBeCopiedFailTheImportAndARerunWithRoomFinishesIt)
{
    testkit::ScopedHomeEnv home;
    testkit::TempDir temp;
    const fs::path user = temp.Path() / "sync" / "alice";
    testkit::SignInAccount(u"alice");
    ASSERT_TRUE(WriteIniValue(SyncroSetFilePath(), u"SyncroSet", u"SyncPath", testkit::U16((temp.Path() / "sync").string()) + u"/"));
    const std::string big(1 << 20, 'b');
    testkit::UnitSpec spec;
    spec.folders = {{.id = 1, .name = u"top"}};
    spec.literature = {{.pkid = 1, .doi = u"d1", .filePath = u"D:\\u\\a.pdf", .folderIds = {1}},
                       {.pkid = 2, .doi = u"d2", .filePath = u"D:\\u\\big.pdf", .folderIds = {1}}};
    spec.companionFiles = {{"a.pdf", "A"},         {"big.pdf", big},    {"webpage/p/index.html", "<html/>"},
                           {"webpage/big.html", big}, {"Notes/n.txt", "N"}, {"Notes/big.txt", big}};
    std::map<std::string, std::string> sources; // by file name
    for (const auto& [path, content] : spec.companionFiles)
        sources[path.filename()] = content;
    const auto blockWith = [&user](const char* path, bool folder) {
        return [&user, path, folder] {
            fs::create_directories((user / path).parent_path());
            if (folder)
                fs::create_directories(user / path / "x");
            else
                std::ofstream(user / path) << "in the way";
        };
    };
    const struct Obstacle {
        const char* name;
        std::function<void()> make;
        rlim_t limit;
        std::set<std::string> unwritten;
    } obstacles[] = {
        {"attachments", blockWith("attachments", false), RLIM_INFINITY, {"a.pdf", "big.pdf"}},
        {"Notes", blockWith("Notes", false), RLIM_INFINITY, {"n.txt", "big.txt"}},
        {"webpage", blockWith("webpage", false), RLIM_INFINITY, {"index.html", "big.html"}},
        {"webpage/p/index.html", blockWith("webpage/p/index.html", true), RLIM_INFINITY, {"index.html"}},
        {"a full disk", [] {}, 512 * 1024, {"big.pdf", "big.html", "big.txt"}},
    };
    const auto newest = [] {
        std::vector<SLibraryEntry> entries;
        CLibraryReader(u"alice").ListEntries(entries);
        return entries.empty() ? SLibraryEntry() : entries.back();
    };
    for (const Obstacle& o : obstacles) {
        SCOPED_TRACE(o.name);
        fs::remove_all(user);
        const fs::path unit = temp.Path() / o.name / "unit.tav";
        fs::create_directories(unit.parent_path());
        testkit::BuildUnit(unit, spec);
        o.make();
        const std::string run = InitInChild(unit, o.limit, "");
        const std::string failed = "\n更新学习单元失败\n=" + std::to_string(kTavImportFailed) + " " +
                                   std::to_string(static_cast<int>(EUnitProblem::FilesNotCopied)) + " " +
                                   std::to_string(o.unwritten.size()) + " file(s)\n";
        EXPECT_NE(run.find(failed), std::string::npos) << run;
        std::set<std::string> named;
        for (size_t at = run.find(": could not be copied"); at != std::string::npos;
             at = run.find(": could not be copied", at + 1))
            named.insert(fs::path(run.substr(run.rfind('\n', at) + 1, at - run.rfind('\n', at) - 1)).filename());
        EXPECT_EQ(named, o.unwritten);
        EXPECT_FALSE(newest().Complete);
        // What arrived is whole: each file in the user's folder is its source, byte for byte.
        const auto arrivedWhole = [&] {
            std::error_code error;
            for (fs::recursive_directory_iterator it(user, error), end; !error && it != end; it.increment(error)) {
                const std::string name = it->path().filename();
                if (it->is_regular_file() && sources.count(name) != 0) {
                    EXPECT_TRUE(supporttest::ReadWholeFile(it->path()) == sources.at(name)) << it->path();
                }
                EXPECT_EQ(name.find(".partial"), std::string::npos) << it->path();
            }
        };
        arrivedWhole();

        // Room again: the rerun finishes with every file.
        fs::remove_all(user / o.name);
        const std::string rerun = InitInChild(unit, RLIM_INFINITY, "");
        EXPECT_NE(rerun.find("\n更新学习单元完成\n=0 0"), std::string::npos) << rerun;
        const SLibraryEntry entry = newest();
        EXPECT_TRUE(entry.Complete);
        arrivedWhole();
        const fs::path attachments = user / "attachments" / testkit::U8(entry.TavGuid);
        for (const fs::path& file : {attachments / "a.pdf", attachments / "big.pdf", user / "webpage/p/index.html",
                                     user / "webpage/big.html", user / "Notes/n.txt", user / "Notes/big.txt"})
            EXPECT_TRUE(fs::is_regular_file(file)) << file;
    }
}

} // namespace
