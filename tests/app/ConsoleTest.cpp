// tavtool as its users run it: arguments, exit codes, the words of its failures, and units left
// as they were.
#include "app/console/ConsoleProgress.h"
#include "builder/UnitBuilder.h"
#include "support/SupportTestEnv.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>

namespace {

namespace fs = std::filesystem;

TEST(ConsoleProgressTest, BarFollowsPositionWithinRange)
{
    const std::pair<std::array<int32_t, 3>, std::string> cases[] = {
        {{0, 0, 10}, ""}, {{5, -1, 10}, ""}, {{0, 4, 8}, "[        ] 0%"}, {{1, 4, 8}, "[##      ] 25%"},
        {{9, 4, 8}, "[########] 100%"}, {{-3, 4, 8}, "[        ] 0%"}, {{2147483647, 2147483647, 4}, "[####] 100%"}};
    for (const auto& [args, bar] : cases)
        EXPECT_EQ(CConsoleProgress::FormatBar(args[0], args[1], args[2]), bar) << args[0] << "/" << args[1];
}

// Runs tavtool with a private home, standard output and error together; returns the exit status.
int RunTool(const std::string& arguments, std::string& output)
{
    const testkit::ScopedHomeEnv home;
    FILE* pipe = ::popen((std::string("'") + ARBORA_TAVTOOL + "' " + arguments + " 2>&1").c_str(), "r");
    output.clear();
    char buffer[4096];
    for (size_t n; pipe != nullptr && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    const int status = pipe == nullptr ? -1 : ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ConsoleTest, CommandsEndWithTheirExitCodesAndWordsAndLeaveUnitsAlone)
{
    const testkit::TempDir dir;
    const fs::path& d = dir.Path();
    std::ofstream(d / "text.tav") << std::string(600, 'z');
    std::ofstream{d / "empty.tav"};
    testkit::BuildUnit(d / "sample.tav", testkit::SampleSpec(9));
    const auto quoted = [&](const char* name) { return "'" + (d / name).string() + "'"; };
    const auto unit = [&](const char* name, int32_t version, const std::u16string& owner = {}) {
        testkit::BuildUnit(d / name, {.version = version, .owner = owner});
        return quoted(name);
    };
    const std::string readOnly = unit("read-only.tav", 16);
    fs::permissions(d / "read-only.tav", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::string noBackup = unit("u.tav", 9);
    const std::string newer = unit("new.tav", 16);
    testkit::UnitReader(d / "new.tav").Execute("update VersionInfo set VersionNum = 17");
    fs::create_directories(d / "u_contents");
    std::ofstream(d / "u_contents" / "TavBackup") << "a file where the backup folder goes";
    const std::string sync = " --sync-dir '" + (d / "sync").string() + "'";
    const std::vector<fs::path> untouched = {d / "text.tav", d / "empty.tav", d / "read-only.tav", d / "new.tav"};
    const std::tuple<std::string, int, std::vector<std::string>> cases[] = { // status -1: any failure
        {"import --help", 0, {"UNIT", "--account", "--sync-dir", "--no-pause"}},
        {"library show --help", 0, {"ENTRY", "--account", "--sync-dir", "--json"}},
        {"", -1, {}},
        {"library show" + sync, -1, {}},
        {"library list --account nobody" + sync, 0, {"nobody has no personal library yet"}},
        {"import " + quoted("missing.tav") + " --no-pause", 2, {"学习单元路径不存在"}},
        {"import " + quoted("text.tav") + " --no-pause", 1, {"打开学习单元", "0x20001F3D"}},
        {"import " + quoted("empty.tav") + " --no-pause", 1, {"): the file is empty"}},
        {"import " + readOnly + " --no-pause", 1,
         {"import failed: 0x20001F3D: the learning unit cannot be opened or read (database error): the learning "
          "unit's file is read-only"}},
        {"import " + unit("other.tav", 12, u"ABC") + " --account abd --no-pause", 1,
         {"升级学习单元数据到版本16...", "您没有权限读取该学习单元数据", "0x20001F46"}},
        // A backup that cannot be made does not stop the run, but the run does not end clean.
        {"import " + noBackup + " --no-pause", -1,
         {"升级学习单元数据到版本16...", "warning(s) and error(s):",
          "CTavDB::BackupUnit: no backup made: the backup folder cannot be made"}},
        {"import " + quoted("sample.tav") + " --account demo --no-pause" + sync, 0,
         {"导入文献《文献一》", "更新学习单元完成\n"}},
        {"inspect " + unit("old.tav", 12, u"ABC"), 0,
         {"layout version:  12", "encrypted:       no", "owner:           ABC", "LiteraInfo", " 13 14 15 16\n"}},
        {"inspect " + readOnly, 0, {"layout version:  16\n", "  no upgrade step: the layout is current"}},
        {"inspect " + newer, 0,
         {"layout version:  17 (newer than this tool knows: 16)", "quick check:     ok",
          "the layout is newer than this tool knows"}},
    };
    std::vector<std::string> before;
    for (const fs::path& file : untouched)
        before.push_back(supporttest::ReadWholeFile(file));
    std::string output;
    for (const auto& [arguments, expected, says] : cases) {
        const int status = RunTool(arguments, output);
        EXPECT_TRUE(expected < 0 ? status != 0 : status == expected) << arguments << ": " << status << "\n" << output;
        for (const std::string& words : says)
            EXPECT_NE(output.find(words), std::string::npos) << arguments << ": " << words << "\n" << output;
    }
    for (size_t i = 0; i < untouched.size(); ++i)
        EXPECT_EQ(supporttest::ReadWholeFile(untouched[i]), before[i]) << untouched[i];
    EXPECT_TRUE(fs::is_regular_file(d / "sync" / "demo" / "library.db"));
    EXPECT_FALSE(fs::exists(d / "sync" / "nobody"));
    EXPECT_FALSE(fs::exists(d / "old_contents"));
}

} // namespace
