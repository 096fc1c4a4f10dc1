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

struct Output {
    int status = -1;
    std::string out, err;
};

class LibraryCommandTest : public ::testing::Test {
protected:
    // Entry a (complete): "文献夹"/ with "子夹"/ below it; "论文一" is filed in both and has a reading
    // state, "two" only in 子夹; a highlight with labels on 论文一, a note on "two", a note on no
    // literature; one attachment. Entry b: created, never completed.
    void SetUp() override
    {
        SetSyncPathOverride(testkit::U16(m_sync.string()));
        OvSysUser::Instance().SetUser(u"alice");
        IOvDataMiddle::Initialize(-1);
        IOvDataMiddle& service = IOvDataMiddle::Instance();
        m_a = Create(u"单元 a");
        m_top = AddFolder(m_a, m_a, u"文献夹");
        m_sub = AddFolder(m_a, m_top, u"子夹");
        m_one = AddLiterature(m_sub, u"10.1000/ONE", u"论文一");
        ASSERT_EQ(m_one, AddLiterature(m_top, u"10.1000/one", u"论文一"));
        m_two = AddLiterature(m_sub, u"", u"two\nlines");
        auto relate = std::make_shared<SLiteratureRelate>();
        std::tie(relate->LiterGuid, relate->LastReadTime) = std::make_tuple(m_one, u"2017-06-06 09:44:59");
        std::tie(relate->Locked, relate->LastReadPos, relate->ReadingProgress) = std::make_tuple(1, 42, 77);
        ASSERT_EQ(kLibraryOk, service.AddLiteratureRelate(relate, m_a, u"alice", m_top, 0));
        for (const auto& [posId, literGuid, title, text, type] :
             {std::make_tuple(u"p'1", m_one, u"划线", u"", 10), std::make_tuple(u"p2", m_two, u"", u"only content", 1),
              std::make_tuple(u"p3", std::u16string(), u"loose", u"", 1)}) {
            auto note = std::make_shared<SNoteInfo>();
            std::tie(note->PosID, note->LiterGuid, note->Title, note->ContentText) = std::tie(posId, literGuid, title, text);
            note->TypeID = type;
            using Labels = std::list<std::u16string>;
            ASSERT_EQ(kLibraryOk, service.AddNote(note, type == 10 ? Labels{u"重点", u"复习"} : Labels{}, m_a, u"alice", 0));
        }
        std::ofstream(m_source) << "pdf";
        ASSERT_EQ(kLibraryOk, service.StoreAttachment(m_stored, testkit::U16(m_source.string()), u"alice", m_a));
        ASSERT_EQ(kLibraryOk, service.CompleteLearningUnit(m_a, u"alice"));
        m_b = Create(u"b");
        AddFolder(m_b, m_b, u"half");
        IOvDataMiddle::Uninitialize();
    }
    void TearDown() override
    {
        SetSyncPathOverride(u"");
        OvSysUser::Instance().ClearOverride();
    }

    static std::u16string Create(const std::u16string& name)
    {
        auto info = std::make_shared<STavInfo>();
        info->Name = name;
        EXPECT_EQ(kLibraryOk, IOvDataMiddle::Instance().CreateLearningUnit(info, u"alice", 0, 0));
        return info->TavGuid;
    }
    static std::u16string AddFolder(const std::u16string& tavGuid, const std::u16string& parent, const std::u16string& name)
    {
        auto folder = std::make_shared<SLiteratureFolder>();
        std::tie(folder->Name, folder->ParentGuid) = std::tie(name, parent);
        EXPECT_EQ(kLibraryOk, IOvDataMiddle::Instance().AddFolder(folder, tavGuid, u"alice", 0));
        return folder->FolderGuid;
    }
    std::u16string AddLiterature(const std::u16string& folder, const std::u16string& doi, const std::u16string& title)
    {
        auto literature = std::make_shared<SLiteratureInfo>();
        std::tie(literature->DOI, literature->Title, literature->Author) = std::make_tuple(doi, title, u"作者");
        EXPECT_EQ(kLibraryOk, IOvDataMiddle::Instance().AddLiterature(literature, m_a, u"alice", folder, 0, 0));
        return literature->LiterGuid;
    }

    Output Run(LibraryAction action, const std::string& entry = {}, bool asJson = false, const char* account = "alice")
    {
        char* buffers[2] = {nullptr, nullptr};
        size_t sizes[2] = {0, 0};
        FILE* out = ::open_memstream(&buffers[0], &sizes[0]);
        FILE* err = ::open_memstream(&buffers[1], &sizes[1]);
        Output output;
        output.status = RunLibraryCommand({action, entry, account, m_sync.string(), asJson}, out, err);
        std::fclose(out);
        std::fclose(err);
        std::tie(output.out, output.err) = std::make_tuple(std::string(buffers[0], sizes[0]), std::string(buffers[1], sizes[1]));
        std::free(buffers[0]);
        std::free(buffers[1]);
        return output;
    }

    testkit::ScopedHomeEnv m_home;
    testkit::TempDir m_temp;
    const fs::path m_sync = m_temp.Path() / "sync";
    const fs::path m_source = m_temp.Path() / "paper.pdf";
    std::u16string m_a, m_b, m_top, m_sub, m_one, m_two, m_stored;
};

TEST_F(LibraryCommandTest, ListShowAndRemoveFindEntriesByTheStartOfTheirGuid)
{
    const Output list = Run(LibraryAction::List);
    EXPECT_EQ(0, list.status) << list.err;
    EXPECT_NE(std::string::npos, list.out.find("  complete    folders 2  literature 2  notes 3  单元 a\n")) << list.out;
    EXPECT_NE(std::string::npos, list.out.find("  incomplete  folders 1  literature 0  notes 0  b\n")) << list.out;
    EXPECT_EQ(0u, list.out.find(U8(m_a) + "  "));

    const std::string missing = "no entry of alice has a TavGuid that begins with";
    const std::tuple<LibraryAction, std::string, const char*, int, std::string> cases[] = {
        {LibraryAction::Show, U8(m_b), "alice", 0, "state     incomplete"},
        {LibraryAction::Show, U8(m_a), "bob", 1, "bob has no personal library yet"},
        {LibraryAction::Show, "", "alice", 1, "give the TavGuid of an entry"},
        {LibraryAction::Show, U8(m_a) + "F", "alice", 1, missing},
        {LibraryAction::Remove, U8(m_a.substr(0, 12)), "alice", 0,
         "removed " + U8(m_a) + " (单元 a) with 2 folders, 2 literature, 3 notes and its attachment files\n"},
        {LibraryAction::Remove, U8(m_a.substr(0, 12)), "alice", 1, missing},
        {LibraryAction::Remove, U8(m_b), "alice", 0, "removed " + U8(m_b)},
        {LibraryAction::List, "", "alice", 0, "holds no entries"},
    };
    for (const auto& [action, entry, account, status, says] : cases) {
        const Output run = Run(action, entry, false, account);
        EXPECT_EQ(status, run.status) << entry << "\n" << run.err;
        EXPECT_NE(std::string::npos, (run.out + run.err).find(says)) << entry << run.out << run.err;
        EXPECT_TRUE(status == 0 || run.out.empty()) << entry;
    }
    EXPECT_FALSE(fs::exists(m_sync / "alice" / "attachments" / U8(m_a)));
}

TEST_F(LibraryCommandTest, ShowGivesTheTreeWithReadingStateNotesAndLabelsAsTextOrJson)
{
    const Output show = Run(LibraryAction::Show, U8(m_a.substr(0, 12)));
    ASSERT_EQ(0, show.status) << show.err;
    const std::string one = "- 论文一  DOI 10.1000/ONE  [last read 2017-06-06 09:44:59, position 42, progress 77, locked]\n";
    const std::string highlight = "highlight \"划线\"  labels: 重点, 复习\n";
    const std::string expected = "\nfolders:\n  文献夹/\n    " + one + "        " + highlight + "    子夹/\n      " + one +
                                 "          " + highlight + "      - two lines  [no reading state]\n" +
                                 "          note \"only content\"\n\nnotes without literature:\n  note \"loose\"\n" +
                                 "\nattachments:\n  " + U8(m_stored) + "  (from " + m_source.string() + ")\n";
    EXPECT_NE(std::string::npos, show.out.find(expected)) << show.out;
    EXPECT_NE(std::string::npos, show.out.find("contents  2 folders, 2 literature, 3 notes, 1 attachments\n"));

    const Output asJson = Run(LibraryAction::Show, U8(m_a), true);
    ASSERT_EQ(0, asJson.status) << asJson.err;
    const json document = json::parse(asJson.out);
    EXPECT_EQ(json::array({U8(m_a), "单元 a", true}),
              json::array({document.at("TavGuid"), document.at("Name"), document.at("complete")}));
    json folders = json::array();
    for (const json& folder : document.at("folders"))
        folders.push_back({folder.at("FolderGuid"), folder.at("ParentGuid"), folder.at("Name"), folder.at("literature")});
    EXPECT_EQ(json::array({json::array({U8(m_top), U8(m_a), "文献夹", json::array({U8(m_one)})}),
                           json::array({U8(m_sub), U8(m_top), "子夹", json::array({U8(m_one), U8(m_two)})})}),
              folders);
    const json& literature = document.at("literature");
    ASSERT_EQ(2u, literature.size());
    EXPECT_EQ(json::array({U8(m_one), "10.1000/ONE", "作者", "alice", "two\nlines"}),
              json::array({literature[0].at("LiterGuid"), literature[0].at("DOI"), literature[0].at("Author"),
                           literature[0].at("OwnerName"), literature[1].at("Title")}));
    const json& relate = literature[0].at("relate");
    EXPECT_EQ(json::array({U8(m_one), "2017-06-06 09:44:59", 42, 77, 1}),
              json::array({relate.at("LiterGuid"), relate.at("LastReadTime"), relate.at("LastReadPos"),
                           relate.at("ReadingProgress"), relate.at("Locked")}));
    EXPECT_TRUE(literature[1].at("relate").is_null());
    const json& notes = document.at("notes");
    ASSERT_EQ(3u, notes.size());
    EXPECT_EQ(json::array({"p'1", U8(m_one), 10, "划线", json::array({"重点", "复习"}), ""}),
              json::array({notes[0].at("PosID"), notes[0].at("LiterGuid"), notes[0].at("TypeID"), notes[0].at("Title"),
                           notes[0].at("labels"), notes[2].at("LiterGuid")}));
    EXPECT_EQ(json::array({json::object({{"stored", U8(m_stored)}, {"source", m_source.string()}})}),
              document.at("attachments"));
}

} // namespace
