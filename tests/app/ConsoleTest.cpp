// tavtool as its users run it: arguments, exit codes, the words of its failures, the personal
// library's views, and units left as they were.
#include "app/console/ConsoleProgress.h"
#include "builder/UnitBuilder.h"
#include "library/LibraryErrors.h"
#include "library/OvDataMiddle.h"
#include "support/SupportTestEnv.h"
#include "support/SyncPathOverride.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testkit::U8;

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
    return supporttest::RunCommand(std::string("'") + ARBORA_TAVTOOL + "' " + arguments, output);
}

TEST(ConsoleTest, CommandsEndWithTheirExitCodesAndWordsAndLeaveUnitsAlone)
{
    const testkit::ScopedHomeEnv home; // the library below is filled in this process
    const fs::path& d = home.Home();
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
    supporttest::WriteWholeFile(d / "u_contents" / "TavBackup", "a file where the backup folder goes");
    const fs::path source = d / "paper.pdf";
    std::ofstream(source) << "pdf";
    // Alice's library, filled through the service. Entry a (complete): "文献夹"/ with "子夹"/ below it,
    // both holding "论文一" with its reading state; a highlight with labels on it, a note on no
    // literature, one attachment. Entry b: never completed.
    SetSyncPathOverride(testkit::U16((d / "sync").string()));
    IOvDataMiddle::Initialize(-1);
    IOvDataMiddle& service = IOvDataMiddle::Instance();
    auto info = std::make_shared<STavInfo>();
    info->Name = u"单元 a";
    ASSERT_EQ(kLibraryOk, service.CreateLearningUnit(info, u"alice", 0, 0));
    const std::u16string a = info->TavGuid;
    std::vector<std::u16string> folders;
    auto literature = std::make_shared<SLiteratureInfo>();
    std::tie(literature->DOI, literature->Title, literature->Author) =
        std::make_tuple(u"10.1000/ONE", u"论文\n一", u"作者");
    for (const char16_t* name : {u"文献夹", u"子夹"}) {
        auto folder = std::make_shared<SLiteratureFolder>();
        std::tie(folder->Name, folder->ParentGuid) = std::make_tuple(name, folders.empty() ? a : folders.back());
        ASSERT_EQ(kLibraryOk, service.AddFolder(folder, a, u"alice", 0));
        folders.push_back(folder->FolderGuid);
        ASSERT_EQ(kLibraryOk, service.AddLiterature(literature, a, u"alice", folder->FolderGuid, 0, 0));
    }
    const std::u16string one = literature->LiterGuid;
    auto relate = std::make_shared<SLiteratureRelate>();
    std::tie(relate->LiterGuid, relate->LastReadTime) = std::make_tuple(one, u"2017-06-06 09:44:59");
    std::tie(relate->Locked, relate->LastReadPos, relate->ReadingProgress) = std::make_tuple(1, 42, 77);
    ASSERT_EQ(kLibraryOk, service.AddLiteratureRelate(relate, a, u"alice", folders[0], 0));
    auto note = std::make_shared<SNoteInfo>();
    std::tie(note->PosID, note->LiterGuid, note->Title, note->TypeID, note->ContentText) =
        std::make_tuple(u"p'1", one, u"划线", 10, u"only content");
    ASSERT_EQ(kLibraryOk, service.AddNote(note, {u"重点", u"复习"}, a, u"alice", 0));
    std::tie(note->PosID, note->LiterGuid, note->Title, note->TypeID) = std::make_tuple(u"p3", u"", u"", 1);
    ASSERT_EQ(kLibraryOk, service.AddNote(note, {}, a, u"alice", 0));
    std::u16string stored;
    ASSERT_EQ(kLibraryOk, service.StoreAttachment(stored, testkit::U16(source.string()), u"alice", a));
    ASSERT_EQ(kLibraryOk, service.CompleteLearningUnit(a, u"alice"));
    info->Name = u"b";
    ASSERT_EQ(kLibraryOk, service.CreateLearningUnit(info, u"alice", 0, 0));
    const std::string b = U8(info->TavGuid), prefix = U8(a.substr(0, 12));
    IOvDataMiddle::Uninitialize();
    SetSyncPathOverride(u"");

    const std::string sync = " --sync-dir '" + (d / "sync").string() + "'", alice = " --account alice" + sync;
    std::string output;
    ASSERT_EQ(0, RunTool("library show --json " + U8(a) + alice, output)) << output;
    const json document = json::parse(output);
    const std::pair<const char*, json> fields[] = {
        {"/TavGuid", U8(a)}, {"/complete", true}, {"/folders/1/ParentGuid", U8(folders[0])}, {"/notes/0/TypeID", 10},
        {"/folders/1/literature", json::array({U8(one)})}, {"/literature/0/Author", "作者"}, {"/notes/0/PosID", "p'1"},
        {"/literature/0/relate/LastReadTime", "2017-06-06 09:44:59"}, {"/literature/0/relate/Locked", 1},
        {"/notes/0/labels", json::array({"重点", "复习"})}, {"/notes/1/labels", json::array()},
        {"/attachments/0/source", source.string()}, {"/attachments/1", nullptr}, {"/source", nullptr}};
    for (const auto& [pointer, value] : fields)
        EXPECT_EQ(document.value(json::json_pointer(pointer), json()), value) << pointer;

    const std::vector<fs::path> untouched = {d / "text.tav", d / "empty.tav", d / "read-only.tav", d / "new.tav"};
    const std::string missing = "no entry of alice has a TavGuid that begins with";
    const std::string highlight = "highlight \"划线\"  labels: 重点, 复习\n";
    const std::string listed =
        "- 论文 一  DOI 10.1000/ONE  [last read 2017-06-06 09:44:59, position 42, progress 77, locked]\n";
    const std::tuple<std::string, int, std::vector<std::string>> cases[] = { // status -1: any failure
        {"", -1, {}},
        {"library show" + sync, -1, {}},
        {"library list --account nobody" + sync, 0, {"nobody has no personal library yet"}},
        {"library list" + alice, 0,
         {U8(a) + "  ", "  complete    folders 2  literature 1  notes 2  单元 a\n",
          "  incomplete  folders 0  literature 0  notes 0  b\n"}},
        {"library show " + b + alice, 0, {"state     incomplete"}},
        {"library show " + prefix + alice, 0,
         {"\nfolders:\n  文献夹/\n    " + listed + "        " + highlight + "    子夹/\n      " + listed + "          " +
          highlight + "\nnotes without literature:\n  note \"only content\"\n\nattachments:\n  " + U8(stored) +
          "  (from " + source.string() + ")\n"}},
        {"library show " + U8(a) + " --account bob" + sync, 1, {"bob has no personal library yet"}},
        {"library show ''" + alice, 1, {"give the TavGuid of an entry"}},
        {"library show " + U8(a) + "F" + alice, 1, {missing}},
        {"library export " + prefix + " --format ris" + alice, 0,
         {"TY  - JOUR\r\nAU  - 作者\r\nTI  - 论文 一\r\n", "AN  - " + U8(one) + "\r\n"}},
        {"library export " + prefix + " --format bibtex --output " + quoted("out.bib") + alice, 0, {}},
        {"library export " + prefix + " --format xml" + alice, -1, {"--format"}},
        {"library remove --incomplete" + alice, 0, {"removed incomplete entry " + b + " (b)\n"}},
        {"library remove --incomplete" + alice, 0, {"holds no incomplete entries"}},
        {"library remove " + prefix + alice, 0,
         {"removed " + U8(a) + " (单元 a) with 2 folders, 1 literature, 2 notes and its attachment files\n"}},
        {"library remove " + prefix + alice, 1, {missing}},
        {"library list" + alice, 0, {"holds no entries"}},
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
        {"library list --account demo" + sync, 0, {"  sample  from sample.tav, TavId 7C1D2E3F\n"}},
        {"import " + quoted("sample.tav") + " --account demo --no-pause" + sync, 0,
         {"该学习单元此前已导入：", "this unit was imported before: entry "}},
        {"import " + quoted("sample.tav") + " --account demo --no-pause --replace" + sync, 0,
         {"已替换此前的导入 ", "replaced the earlier entry "}},
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
    for (const auto& [arguments, expected, says] : cases) {
        const int status = RunTool(arguments, output);
        EXPECT_TRUE(expected < 0 ? status != 0 : status == expected) << arguments << ": " << status << "\n" << output;
        for (const std::string& words : says)
            EXPECT_NE(output.find(words), std::string::npos) << arguments << ": " << words << "\n" << output;
    }
    for (size_t i = 0; i < untouched.size(); ++i)
        EXPECT_EQ(supporttest::ReadWholeFile(untouched[i]), before[i]) << untouched[i];
    EXPECT_NE(supporttest::ReadWholeFile(d / "out.bib").find("@article{"), std::string::npos);
    EXPECT_EQ(std::count_if(fs::directory_iterator(d), fs::directory_iterator(),
                            [](const fs::directory_entry& entry) { return entry.path().extension() == ".tmp"; }),
              0);
    ASSERT_EQ(0, RunTool("library list --account demo" + sync, output));
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output; // --replace left the newest entry only
    EXPECT_TRUE(fs::is_regular_file(d / "sync" / "demo" / "library.db"));
    EXPECT_FALSE(fs::exists(d / "sync" / "nobody"));
    EXPECT_FALSE(fs::exists(d / "old_contents"));
    EXPECT_FALSE(fs::exists(d / "sync" / "alice" / "attachments" / U8(a)));
}

} // namespace
