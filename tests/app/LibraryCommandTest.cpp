// tavtool library list | show | remove, run in process over a library filled through the service.
#include "app/console/ConsoleCommands.h"
#include "builder/UnitBuilder.h"
#include "library/LibraryErrors.h"
#include "library/OvDataMiddle.h"
#include "support/SyncPathOverride.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testkit::U8;
using Texts = std::list<std::u16string>;

// The exit status, then standard output and error.
std::tuple<int, std::string, std::string> RunLibrary(const LibraryOptions& options)
{
    char* buffers[2] = {nullptr, nullptr};
    size_t sizes[2] = {0, 0};
    FILE* out = ::open_memstream(&buffers[0], &sizes[0]);
    FILE* err = ::open_memstream(&buffers[1], &sizes[1]);
    const int status = RunLibraryCommand(options, out, err);
    std::fclose(out);
    std::fclose(err);
    std::tuple<int, std::string, std::string> result{status, {buffers[0], sizes[0]}, {buffers[1], sizes[1]}};
    std::free(buffers[0]);
    std::free(buffers[1]);
    return result;
}

TEST(LibraryCommandTest, ListShowAndRemoveFindEntriesByTheStartOfTheirGuid)
{
    const testkit::ScopedHomeEnv home;
    const fs::path sync = home.Home() / "sync", source = home.Home() / "paper.pdf";
    SetSyncPathOverride(testkit::U16(sync.string()));
    // Entry a (complete): "文献夹"/ with "子夹"/ below it, both holding "论文一" with its reading state;
    // a highlight with labels on it, a note on no literature, one attachment. Entry b: never completed.
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
    for (const auto& [posId, literGuid, title, type] :
         {std::make_tuple(u"p'1", one, u"划线", 10), std::make_tuple(u"p3", std::u16string(), u"", 1)}) {
        auto note = std::make_shared<SNoteInfo>();
        std::tie(note->PosID, note->LiterGuid, note->Title, note->TypeID) = std::tie(posId, literGuid, title, type);
        note->ContentText = u"only content";
        ASSERT_EQ(kLibraryOk, service.AddNote(note, type == 10 ? Texts{u"重点", u"复习"} : Texts{}, a, u"alice", 0));
    }
    std::ofstream(source) << "pdf";
    std::u16string stored;
    ASSERT_EQ(kLibraryOk, service.StoreAttachment(stored, testkit::U16(source.string()), u"alice", a));
    ASSERT_EQ(kLibraryOk, service.CompleteLearningUnit(a, u"alice"));
    info->Name = u"b";
    ASSERT_EQ(kLibraryOk, service.CreateLearningUnit(info, u"alice", 0, 0));
    const std::u16string b = info->TavGuid;
    IOvDataMiddle::Uninitialize();

    const auto [shown, text, error] = RunLibrary({LibraryAction::Show, U8(a), "alice", sync.string(), true});
    ASSERT_EQ(0, shown) << error;
    const json document = json::parse(text);
    const std::pair<const char*, json> fields[] = {
        {"/TavGuid", U8(a)}, {"/complete", true}, {"/folders/1/ParentGuid", U8(folders[0])},
        {"/folders/1/literature", json::array({U8(one)})}, {"/literature/0/LiterGuid", U8(one)},
        {"/literature/0/Author", "作者"}, {"/literature/0/OwnerName", "alice"}, {"/literature/0/relate/Locked", 1},
        {"/literature/0/relate/LastReadTime", "2017-06-06 09:44:59"}, {"/notes/0/PosID", "p'1"},
        {"/notes/0/TypeID", 10}, {"/notes/0/labels", json::array({"重点", "复习"})}, {"/notes/1/labels", json::array()},
        {"/attachments/0/stored", U8(stored)}, {"/attachments/0/source", source.string()}, {"/attachments/1", nullptr}};
    for (const auto& [pointer, value] : fields)
        EXPECT_EQ(document.value(json::json_pointer(pointer), json()), value) << pointer;

    const std::string missing = "no entry of alice has a TavGuid that begins with";
    const std::string highlight = "highlight \"划线\"  labels: 重点, 复习\n";
    const std::string listed =
        "- 论文 一  DOI 10.1000/ONE  [last read 2017-06-06 09:44:59, position 42, progress 77, locked]\n";
    const std::tuple<LibraryAction, std::string, const char*, int, std::string> cases[] = {
        {LibraryAction::List, "", "alice", 0, U8(a) + "  "},
        {LibraryAction::List, "", "alice", 0, "  complete    folders 2  literature 1  notes 2  单元 a\n"},
        {LibraryAction::List, "", "alice", 0, "  incomplete  folders 0  literature 0  notes 0  b\n"},
        {LibraryAction::Show, U8(b), "alice", 0, "state     incomplete"},
        {LibraryAction::Show, U8(a.substr(0, 12)), "alice", 0,
         "\nfolders:\n  文献夹/\n    " + listed + "        " + highlight + "    子夹/\n      " + listed + "          " +
             highlight + "\nnotes without literature:\n  note \"only content\"\n\nattachments:\n  " + U8(stored) +
             "  (from " + source.string() + ")\n"},
        {LibraryAction::Show, U8(a), "bob", 1, "bob has no personal library yet"},
        {LibraryAction::Show, "", "alice", 1, "give the TavGuid of an entry"},
        {LibraryAction::Show, U8(a) + "F", "alice", 1, missing},
        {LibraryAction::Remove, U8(a.substr(0, 12)), "alice", 0,
         "removed " + U8(a) + " (单元 a) with 2 folders, 1 literature, 2 notes and its attachment files\n"},
        {LibraryAction::Remove, U8(a.substr(0, 12)), "alice", 1, missing},
        {LibraryAction::Remove, U8(b), "alice", 0, "removed " + U8(b)},
        {LibraryAction::List, "", "alice", 0, "holds no entries"},
    };
    for (const auto& [action, entry, account, status, says] : cases) {
        const auto [runStatus, out, err] = RunLibrary({action, entry, account, sync.string(), false});
        EXPECT_EQ(status, runStatus) << entry << "\n" << err;
        EXPECT_NE(std::string::npos, (out + err).find(says)) << entry << "\n" << says << "\n" << out << err;
        EXPECT_TRUE(status == 0 || out.empty()) << entry;
    }
    EXPECT_FALSE(fs::exists(sync / "alice" / "attachments" / U8(a)));
    SetSyncPathOverride(u"");
}

} // namespace
