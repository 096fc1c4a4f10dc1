// tavtool library list | show | remove, run in process over a library filled through the service.
#include "app/console/ConsoleCommands.h"
#include "builder/UnitBuilder.h"
#include "library/LibraryColumns.h"
#include "library/LibraryErrors.h"
#include "library/LibraryReader.h"
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
    // Entry a (complete): "文献夹"/ with "子夹"/ below it and "second"; "论文一" is filed in both and has a
    // reading state, "two" only in 子夹 without one; a highlight with labels on 论文一, a note on
    // "two", a note on no literature; one attachment. Entry b: created, never completed.
    void SetUp() override
    {
        SetSyncPathOverride(testkit::U16(m_sync.string()));
        OvSysUser::Instance().SetUser(u"alice");
        IOvDataMiddle::Initialize(-1);
        IOvDataMiddle& service = IOvDataMiddle::Instance();
        m_a = Create(u"单元 a");
        m_top = AddFolder(m_a, m_a, u"文献夹");
        m_sub = AddFolder(m_a, m_top, u"子夹");
        m_second = AddFolder(m_a, m_a, u"second");
        m_one = AddLiterature(m_sub, u"10.1000/ONE", u"论文一");
        ASSERT_EQ(m_one, AddLiterature(m_top, u"10.1000/one", u"论文一"));
        m_two = AddLiterature(m_sub, u"", u"two\nlines");
        auto relate = std::make_shared<SLiteratureRelate>();
        relate->LiterGuid = m_one;
        relate->LastReadTime = u"2017-06-06 09:44:59";
        std::tie(relate->Locked, relate->LastReadPos, relate->ReadingProgress) = std::make_tuple(1, 42, 77);
        ASSERT_EQ(kLibraryOk, service.AddLiteratureRelate(relate, m_a, u"alice", m_top, 0));
        for (const auto& [posId, literGuid, title, text, type, labels] :
             {std::tuple<std::u16string, std::u16string, std::u16string, std::u16string, int32_t, std::list<std::u16string>>{
                  u"p'1", m_one, u"划线", u"", 10, {u"重点", u"复习"}},
              {u"p2", m_two, u"", u"only content", 1, {}},
              {u"p3", u"", u"loose", u"", 1, {}}}) {
            auto note = std::make_shared<SNoteInfo>();
            note->PosID = posId;
            note->LiterGuid = literGuid;
            note->Title = title;
            note->ContentText = text;
            note->TypeID = type;
            ASSERT_EQ(kLibraryOk, service.AddNote(note, labels, m_a, u"alice", 0));
        }
        std::ofstream(m_temp.Path() / "paper.pdf") << "pdf";
        ASSERT_EQ(kLibraryOk, service.StoreAttachment(m_stored, testkit::U16((m_temp.Path() / "paper.pdf").string()),
                                                      u"alice", m_a));
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
        folder->Name = name;
        folder->ParentGuid = parent;
        EXPECT_EQ(kLibraryOk, IOvDataMiddle::Instance().AddFolder(folder, tavGuid, u"alice", 0));
        return folder->FolderGuid;
    }
    std::u16string AddLiterature(const std::u16string& folder, const std::u16string& doi, const std::u16string& title)
    {
        auto literature = std::make_shared<SLiteratureInfo>();
        literature->DOI = doi;
        literature->Title = title;
        literature->Author = u"作者";
        EXPECT_EQ(kLibraryOk, IOvDataMiddle::Instance().AddLiterature(literature, m_a, u"alice", folder, 0, 0));
        return literature->LiterGuid;
    }

    Output Run(LibraryAction action, const std::string& entry = {}, bool asJson = false, const std::string& account = "alice")
    {
        const LibraryOptions options{action, entry, account, m_sync.string(), asJson};
        char* buffers[2] = {nullptr, nullptr};
        size_t sizes[2] = {0, 0};
        FILE* out = ::open_memstream(&buffers[0], &sizes[0]);
        FILE* err = ::open_memstream(&buffers[1], &sizes[1]);
        Output output;
        output.status = RunLibraryCommand(options, out, err);
        std::fclose(out);
        std::fclose(err);
        output.out.assign(buffers[0], sizes[0]);
        output.err.assign(buffers[1], sizes[1]);
        std::free(buffers[0]);
        std::free(buffers[1]);
        return output;
    }

    testkit::ScopedHomeEnv m_home;
    testkit::TempDir m_temp;
    const fs::path m_sync = m_temp.Path() / "sync";
    std::u16string m_a, m_b, m_top, m_sub, m_second, m_one, m_two, m_stored;
};

TEST_F(LibraryCommandTest, ListAndShowFindEveryEntry)
{
    std::vector<SLibraryEntry> entries;
    ASSERT_EQ(kLibraryOk, CLibraryReader(u"alice").ListEntries(entries));
    ASSERT_EQ(2u, entries.size());
    const Output list = Run(LibraryAction::List);
    EXPECT_EQ(0, list.status) << list.err;
    EXPECT_EQ(U8(m_a) + "  " + U8(entries[0].CreateTime) + "  complete    folders 3  literature 2  notes 3  单元 a\n" +
                  U8(m_b) + "  " + U8(entries[1].CreateTime) + "  incomplete  folders 1  literature 0  notes 0  b\n",
              list.out);
    EXPECT_EQ("", list.err);

    EXPECT_EQ(1, Run(LibraryAction::Show, U8(m_a), false, "bob").status);

    // Show finds the entry by its TavGuid or the start of it only.
    const struct {
        std::string entry;
        int status;
        std::string says; // in the output (status 0) or the message (otherwise)
    } cases[] = {
        {U8(m_a), 0, "TavGuid   " + U8(m_a)},
        {U8(m_b), 0, "state     incomplete"},
        {"", 1, "give the TavGuid of an entry"},
        {"0123456789ABCDEF0123456789ABCDEFF", 1, "no entry of alice has a TavGuid that begins with"},
    };
    for (const auto& c : cases) {
        const Output show = Run(LibraryAction::Show, c.entry);
        EXPECT_EQ(c.status, show.status) << c.entry << "\n" << show.err;
        EXPECT_NE(std::string::npos, (c.status == 0 ? show.out : show.err).find(c.says)) << c.entry << show.out << show.err;
        EXPECT_TRUE(c.status == 0 || show.out.empty()) << c.entry;
    }
}

TEST_F(LibraryCommandTest, ShowTextGivesTheTreeWithReadingStateNotesAndLabels)
{
    const Output show = Run(LibraryAction::Show, U8(m_a.substr(0, 12)));
    ASSERT_EQ(0, show.status) << show.err;
    const std::string one = "- 论文一  DOI 10.1000/ONE  [last read 2017-06-06 09:44:59, position 42, progress 77, locked]\n";
    const std::string highlight = "highlight \"划线\"  labels: 重点, 复习\n";
    const std::string expected = "\nfolders:\n  文献夹/\n    " + one + "        " + highlight + "    子夹/\n      " + one +
                                 "          " + highlight + "      - two lines  [no reading state]\n" +
                                 "          note \"only content\"\n  second/\n\nnotes without literature:\n" +
                                 "  note \"loose\"\n\nattachments:\n  " + U8(m_stored) + "  (from " +
                                 (m_temp.Path() / "paper.pdf").string() + ")\n";
    EXPECT_NE(std::string::npos, show.out.find(expected)) << show.out;
    EXPECT_NE(std::string::npos, show.out.find("entry     单元 a\n"));
    EXPECT_NE(std::string::npos, show.out.find("contents  3 folders, 2 literature, 3 notes, 1 attachments\n"));
}

TEST_F(LibraryCommandTest, ShowJsonHoldsTreeLiteratureRelateNotesAndAttachments)
{
    const Output show = Run(LibraryAction::Show, U8(m_a), true);
    ASSERT_EQ(0, show.status) << show.err;
    const json document = json::parse(show.out);
    EXPECT_EQ(json::array({U8(m_a), "单元 a", true}),
              json::array({document.at("TavGuid"), document.at("Name"), document.at("complete")}));
    json folders = json::array();
    for (const json& folder : document.at("folders"))
        folders.push_back({folder.at("FolderGuid"), folder.at("ParentGuid"), folder.at("Name"), folder.at("literature")});
    EXPECT_EQ(json::array({json::array({U8(m_top), U8(m_a), "文献夹", json::array({U8(m_one)})}),
                           json::array({U8(m_sub), U8(m_top), "子夹", json::array({U8(m_one), U8(m_two)})}),
                           json::array({U8(m_second), U8(m_a), "second", json::array()})}),
              folders);

    const json& literature = document.at("literature");
    ASSERT_EQ(2u, literature.size());
    EXPECT_EQ(json::array({U8(m_one), "10.1000/ONE", "作者", "alice", "two\nlines"}),
              json::array({literature[0].at("LiterGuid"), literature[0].at("DOI"), literature[0].at("Author"),
                           literature[0].at("OwnerName"), literature[1].at("Title")}));
    for (const auto& column : LiteratureColumns().texts)
        EXPECT_TRUE(literature[1].at(U8(column.name)).is_string()) << U8(column.name);
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
    for (const auto& column : NoteColumns().ints)
        EXPECT_TRUE(notes[1].at(U8(column.name)).is_number_integer()) << U8(column.name);
    EXPECT_TRUE(notes[1].at("labels").empty());
    EXPECT_EQ(json::array({json::object({{"stored", U8(m_stored)}, {"source", (m_temp.Path() / "paper.pdf").string()}})}),
              document.at("attachments"));
}

TEST_F(LibraryCommandTest, RemoveDeletesTheEntryAndItsFilesOnce)
{
    const fs::path folder = m_sync / "alice" / "attachments" / U8(m_a);
    ASSERT_TRUE(fs::is_regular_file(folder / "paper.pdf"));
    const Output removed = Run(LibraryAction::Remove, U8(m_a.substr(0, 12)));
    EXPECT_EQ(0, removed.status) << removed.err;
    EXPECT_EQ("removed " + U8(m_a) + " (单元 a) with 3 folders, 2 literature, 3 notes and its attachment files\n",
              removed.out);
    EXPECT_FALSE(fs::exists(folder));
    const Output again = Run(LibraryAction::Remove, U8(m_a.substr(0, 12)));
    EXPECT_EQ(1, again.status);
    EXPECT_EQ("", again.out);
    EXPECT_NE(std::string::npos, again.err.find("no entry of alice has a TavGuid that begins with")) << again.err;

    EXPECT_EQ(0, Run(LibraryAction::Remove, U8(m_b)).status);
    const Output empty = Run(LibraryAction::List);
    EXPECT_EQ(0, empty.status);
    EXPECT_EQ("", empty.out);
    EXPECT_NE(std::string::npos, empty.err.find("holds no entries")) << empty.err;
}

} // namespace
