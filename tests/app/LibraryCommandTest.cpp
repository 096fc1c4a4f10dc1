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

class LibraryCommandTest : public ::testing::Test {
protected:
    // Entry a (complete): "文献夹"/ with "子夹"/ below it, both holding "论文一" with its reading state;
    // a highlight with labels on it, a note on no literature, one attachment. Entry b: never completed.
    void SetUp() override
    {
        SetSyncPathOverride(testkit::U16(m_sync.string()));
        IOvDataMiddle::Initialize(-1);
        IOvDataMiddle& service = IOvDataMiddle::Instance();
        auto info = std::make_shared<STavInfo>();
        info->Name = u"单元 a";
        ASSERT_EQ(kLibraryOk, service.CreateLearningUnit(info, u"alice", 0, 0));
        m_a = info->TavGuid;
        for (const char16_t* name : {u"文献夹", u"子夹"}) {
            auto folder = std::make_shared<SLiteratureFolder>();
            folder->Name = name;
            folder->ParentGuid = m_folders.empty() ? m_a : m_folders.back();
            ASSERT_EQ(kLibraryOk, service.AddFolder(folder, m_a, u"alice", 0));
            m_folders.push_back(folder->FolderGuid);
            auto literature = std::make_shared<SLiteratureInfo>();
            std::tie(literature->DOI, literature->Title, literature->Author) =
                std::make_tuple(u"10.1000/ONE", u"论文\n一", u"作者");
            ASSERT_EQ(kLibraryOk, service.AddLiterature(literature, m_a, u"alice", folder->FolderGuid, 0, 0));
            m_one = literature->LiterGuid;
        }
        auto relate = std::make_shared<SLiteratureRelate>();
        std::tie(relate->LiterGuid, relate->LastReadTime) = std::make_tuple(m_one, u"2017-06-06 09:44:59");
        std::tie(relate->Locked, relate->LastReadPos, relate->ReadingProgress) = std::make_tuple(1, 42, 77);
        ASSERT_EQ(kLibraryOk, service.AddLiteratureRelate(relate, m_a, u"alice", m_folders[0], 0));
        for (const auto& [posId, literGuid, title, type] :
             {std::make_tuple(u"p'1", m_one, u"划线", 10), std::make_tuple(u"p3", std::u16string(), u"", 1)}) {
            auto note = std::make_shared<SNoteInfo>();
            std::tie(note->PosID, note->LiterGuid, note->Title, note->TypeID) = std::tie(posId, literGuid, title, type);
            note->ContentText = u"only content";
            const std::list<std::u16string> labels = type == 10 ? Texts{u"重点", u"复习"} : Texts{};
            ASSERT_EQ(kLibraryOk, service.AddNote(note, labels, m_a, u"alice", 0));
        }
        std::ofstream(m_source) << "pdf";
        ASSERT_EQ(kLibraryOk, service.StoreAttachment(m_stored, testkit::U16(m_source.string()), u"alice", m_a));
        ASSERT_EQ(kLibraryOk, service.CompleteLearningUnit(m_a, u"alice"));
        info = std::make_shared<STavInfo>();
        info->Name = u"b";
        ASSERT_EQ(kLibraryOk, service.CreateLearningUnit(info, u"alice", 0, 0));
        m_b = info->TavGuid;
        IOvDataMiddle::Uninitialize();
    }
    void TearDown() override { SetSyncPathOverride(u""); }

    // The exit status, then standard output and error.
    std::tuple<int, std::string, std::string> Run(LibraryAction action, const std::string& entry = {},
                                                  bool asJson = false, const char* account = "alice")
    {
        char* buffers[2] = {nullptr, nullptr};
        size_t sizes[2] = {0, 0};
        FILE* out = ::open_memstream(&buffers[0], &sizes[0]);
        FILE* err = ::open_memstream(&buffers[1], &sizes[1]);
        const int status = RunLibraryCommand({action, entry, account, m_sync.string(), asJson}, out, err);
        std::fclose(out);
        std::fclose(err);
        std::tuple<int, std::string, std::string> result{status, {buffers[0], sizes[0]}, {buffers[1], sizes[1]}};
        std::free(buffers[0]);
        std::free(buffers[1]);
        return result;
    }

    testkit::ScopedHomeEnv m_home;
    testkit::TempDir m_temp;
    const fs::path m_sync = m_temp.Path() / "sync";
    const fs::path m_source = m_temp.Path() / "paper.pdf";
    std::vector<std::u16string> m_folders;
    std::u16string m_a, m_b, m_one, m_stored;
};

TEST_F(LibraryCommandTest, ListShowAndRemoveFindEntriesByTheStartOfTheirGuid)
{
    const std::string missing = "no entry of alice has a TavGuid that begins with";
    const std::string highlight = "highlight \"划线\"  labels: 重点, 复习\n";
    const std::string one =
        "- 论文 一  DOI 10.1000/ONE  [last read 2017-06-06 09:44:59, position 42, progress 77, locked]\n";
    const std::tuple<LibraryAction, std::string, const char*, int, std::string> cases[] = {
        {LibraryAction::List, "", "alice", 0, U8(m_a) + "  "},
        {LibraryAction::List, "", "alice", 0, "  complete    folders 2  literature 1  notes 2  单元 a\n"},
        {LibraryAction::List, "", "alice", 0, "  incomplete  folders 0  literature 0  notes 0  b\n"},
        {LibraryAction::Show, U8(m_b), "alice", 0, "state     incomplete"},
        {LibraryAction::Show, U8(m_a.substr(0, 12)), "alice", 0,
         "\nfolders:\n  文献夹/\n    " + one + "        " + highlight + "    子夹/\n      " + one + "          " +
             highlight + "\nnotes without literature:\n  note \"only content\"\n\nattachments:\n  " + U8(m_stored) +
             "  (from " + m_source.string() + ")\n"},
        {LibraryAction::Show, U8(m_a), "bob", 1, "bob has no personal library yet"},
        {LibraryAction::Show, "", "alice", 1, "give the TavGuid of an entry"},
        {LibraryAction::Show, U8(m_a) + "F", "alice", 1, missing},
        {LibraryAction::Remove, U8(m_a.substr(0, 12)), "alice", 0,
         "removed " + U8(m_a) + " (单元 a) with 2 folders, 1 literature, 2 notes and its attachment files\n"},
        {LibraryAction::Remove, U8(m_a.substr(0, 12)), "alice", 1, missing},
        {LibraryAction::Remove, U8(m_b), "alice", 0, "removed " + U8(m_b)},
        {LibraryAction::List, "", "alice", 0, "holds no entries"},
    };
    for (const auto& [action, entry, account, status, says] : cases) {
        const auto [runStatus, out, err] = Run(action, entry, false, account);
        EXPECT_EQ(status, runStatus) << entry << "\n" << err;
        EXPECT_NE(std::string::npos, (out + err).find(says)) << entry << "\n" << says << "\n" << out << err;
        EXPECT_TRUE(status == 0 || out.empty()) << entry;
    }
    EXPECT_FALSE(fs::exists(m_sync / "alice" / "attachments" / U8(m_a)));
}

TEST_F(LibraryCommandTest, ShowJsonHoldsTreeLiteratureRelateNotesAndAttachments)
{
    const auto [status, out, err] = Run(LibraryAction::Show, U8(m_a), true);
    ASSERT_EQ(0, status) << err;
    const json document = json::parse(out);
    const json& folder = document.at("folders").at(1);
    const json& literature = document.at("literature").at(0);
    const json& relate = literature.at("relate");
    const json& note = document.at("notes").at(0);
    EXPECT_EQ(json::array({U8(m_a), "单元 a", true, U8(m_folders[1]), U8(m_folders[0]), "子夹", json::array({U8(m_one)})}),
              json::array({document.at("TavGuid"), document.at("Name"), document.at("complete"),
                           folder.at("FolderGuid"), folder.at("ParentGuid"), folder.at("Name"),
                           folder.at("literature")}));
    EXPECT_EQ(json::array({U8(m_one), "10.1000/ONE", "作者", "alice", "论文\n一", "2017-06-06 09:44:59", 42, 77, 1}),
              json::array({literature.at("LiterGuid"), literature.at("DOI"), literature.at("Author"),
                           literature.at("OwnerName"), literature.at("Title"), relate.at("LastReadTime"),
                           relate.at("LastReadPos"), relate.at("ReadingProgress"), relate.at("Locked")}));
    EXPECT_EQ(json::array({"p'1", U8(m_one), 10, "划线", json::array({"重点", "复习"}), "", json::array()}),
              json::array({note.at("PosID"), note.at("LiterGuid"), note.at("TypeID"), note.at("Title"),
                           note.at("labels"), document.at("notes").at(1).at("LiterGuid"),
                           document.at("notes").at(1).at("labels")}));
    EXPECT_EQ(json::array({json::object({{"stored", U8(m_stored)}, {"source", m_source.string()}})}),
              document.at("attachments"));
}

} // namespace
