// tavtool library list | show | remove over a library filled through the service.
#include "app/console/ConsoleCommands.h"
#include "builder/UnitBuilder.h"
#include "library/LibraryColumns.h"
#include "library/LibraryErrors.h"
#include "library/LibraryReader.h"
#include "library/OvDataMiddle.h"
#include "sqlite/SqliteDB.h"
#include "support/SyncPathOverride.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

struct Output {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Text(char* buffer, size_t size)
{
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

class LibraryCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_sync = m_temp.Path() / "sync";
        SetSyncPathOverride(Utf8ToWide(m_sync.string()));
        OvSysUser::Instance().SetUser(u"alice");
        IOvDataMiddle::Initialize(-1);
        Fill();
        IOvDataMiddle::Uninitialize();
    }

    void TearDown() override
    {
        SetSyncPathOverride(u"");
        OvSysUser::Instance().ClearOverride();
    }

    // Entry a (complete): top/ with sub/ below it and a second top-level folder; the literature
    // "one" is filed in top/ and sub/ and has a reading state, "two" only in sub/ without one; a
    // highlight with labels on "one", a note on "two", a note on no literature; one attachment. Entry b: created, never
    // completed.
    void Fill()
    {
        IOvDataMiddle& service = IOvDataMiddle::Instance();
        auto info = std::make_shared<STavInfo>();
        info->Name = u"单元 a";
        ASSERT_EQ(kLibraryOk, service.CreateLearningUnit(info, u"alice", 0, 0));
        m_a = info->TavGuid;
        m_top = AddFolder(m_a, m_a, u"文献夹");
        m_sub = AddFolder(m_a, m_top, u"子夹");
        m_second = AddFolder(m_a, m_a, u"second");
        m_one = AddLiterature(m_sub, u"10.1000/ONE", u"论文一");
        ASSERT_EQ(m_one, AddLiterature(m_top, u"10.1000/one", u"论文一"));
        m_two = AddLiterature(m_sub, u"", u"two\nlines");
        auto relate = std::make_shared<SLiteratureRelate>();
        relate->LiterGuid = m_one;
        relate->LastReadTime = u"2017-06-06 09:44:59";
        relate->LastReadPos = 42;
        relate->ReadingProgress = 77;
        relate->Locked = 1;
        ASSERT_EQ(kLibraryOk, service.AddLiteratureRelate(relate, m_a, u"alice", m_top, 0));
        auto highlight = std::make_shared<SNoteInfo>();
        highlight->PosID = u"p'1";
        highlight->LiterGuid = m_one;
        highlight->Title = u"划线";
        highlight->TypeID = 10;
        ASSERT_EQ(kLibraryOk, service.AddNote(highlight, {u"重点", u"复习"}, m_a, u"alice", 0));
        auto note = std::make_shared<SNoteInfo>();
        note->PosID = u"p2";
        note->LiterGuid = m_two;
        note->ContentText = u"only content";
        ASSERT_EQ(kLibraryOk, service.AddNote(note, {}, m_a, u"alice", 0));
        auto loose = std::make_shared<SNoteInfo>();
        loose->PosID = u"p3";
        loose->Title = u"loose";
        ASSERT_EQ(kLibraryOk, service.AddNote(loose, {}, m_a, u"alice", 0));
        const fs::path source = m_temp.Path() / "paper.pdf";
        std::ofstream(source) << "pdf";
        ASSERT_EQ(kLibraryOk, service.StoreAttachment(m_stored, Utf8ToWide(source.string()), u"alice", m_a));
        ASSERT_EQ(kLibraryOk, service.CompleteLearningUnit(m_a, u"alice"));

        auto incomplete = std::make_shared<STavInfo>();
        incomplete->Name = u"b";
        ASSERT_EQ(kLibraryOk, service.CreateLearningUnit(incomplete, u"alice", 0, 0));
        m_b = incomplete->TavGuid;
        AddFolder(m_b, m_b, u"half");
    }

    std::u16string AddFolder(const std::u16string& tavGuid, const std::u16string& parent, const std::u16string& name)
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

    Output Run(LibraryAction action, const std::string& entry = {}, bool asJson = false,
               const std::string& account = "alice")
    {
        LibraryOptions options;
        options.action = action;
        options.entry = entry;
        options.json = asJson;
        options.account = account;
        options.syncDir = m_sync.string();
        char* outBuffer = nullptr;
        char* errBuffer = nullptr;
        size_t outSize = 0;
        size_t errSize = 0;
        FILE* out = ::open_memstream(&outBuffer, &outSize);
        FILE* err = ::open_memstream(&errBuffer, &errSize);
        Output output;
        output.status = RunLibraryCommand(options, out, err);
        std::fclose(out);
        std::fclose(err);
        output.out = Text(outBuffer, outSize);
        output.err = Text(errBuffer, errSize);
        return output;
    }

    static std::string U8(const std::u16string& text) { return WideToUtf8(text); }

    testkit::ScopedHomeEnv m_home;
    testkit::TempDir m_temp;
    fs::path m_sync;
    std::u16string m_a, m_b, m_top, m_sub, m_second, m_one, m_two, m_stored;
};

TEST_F(LibraryCommandTest, ListShowsCompleteAndIncompleteEntries)
{
    std::vector<SLibraryEntry> entries;
    ASSERT_EQ(kLibraryOk, CLibraryReader(u"alice").ListEntries(entries));
    ASSERT_EQ(2u, entries.size());
    const Output list = Run(LibraryAction::List);
    EXPECT_EQ(0, list.status) << list.err;
    EXPECT_EQ(U8(m_a) + "  " + U8(entries[0].CreateTime) + "  complete    folders 3  literature 2  notes 3  单元 a\n" +
                  U8(m_b) + "  " + U8(entries[1].CreateTime) + "  incomplete  folders 1  literature 0  notes 0  b\n",
              list.out);
    EXPECT_EQ(19u, entries[1].CreateTime.size());
    EXPECT_EQ("", list.err);

    // An account that never imported: a message, nothing listed, no library made.
    const Output none = Run(LibraryAction::List, {}, false, "bob");
    EXPECT_EQ(0, none.status);
    EXPECT_EQ("", none.out);
    EXPECT_NE(std::string::npos, none.err.find("bob has no personal library yet")) << none.err;
    EXPECT_FALSE(fs::exists(m_sync / "bob"));
}

TEST_F(LibraryCommandTest, ShowFindsTheEntryByGuidOrPrefixOnly)
{
    // A twin of entry a that shares its first ten digits.
    const std::u16string twin = m_a.substr(0, 10) + (m_a[10] == u'0' ? u"1" : u"0") + std::u16string(21, u'0');
    {
        CSqliteDB db;
        db.Open(Utf8ToWide((m_sync / "alice" / "library.db").string()));
        ASSERT_EQ(0, db.ExecuteStatement(u"insert into LearningUnit(TavGuid,Name) values('" + twin + u"','twin')"));
    }
    std::string lower = U8(m_a.substr(0, 12));
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

    const struct {
        std::string entry;
        int status;
        std::string says; // in the output (status 0) or the message (otherwise)
    } cases[] = {
        {U8(m_a), 0, "TavGuid   " + U8(m_a)},
        {lower, 0, "entry     单元 a"},
        {U8(m_b), 0, "state     incomplete"},
        {U8(m_a.substr(0, 10)), 1, "begins the TavGuid of 2 entries"},
        {"0123456789ABCDEF0123456789ABCDEFF", 1, "no entry of alice has a TavGuid that begins with"},
        {"xyz", 1, "no entry of alice"},
        {"", 1, "give the TavGuid of an entry"},
    };
    for (const auto& c : cases) {
        const Output show = Run(LibraryAction::Show, c.entry);
        EXPECT_EQ(c.status, show.status) << c.entry << "\n" << show.err;
        EXPECT_NE(std::string::npos, (c.status == 0 ? show.out : show.err).find(c.says))
            << c.entry << "\n" << show.out << show.err;
        if (c.status != 0) {
            EXPECT_EQ("", show.out) << c.entry;
        }
    }
    // The ambiguous case names both candidates.
    const Output ambiguous = Run(LibraryAction::Show, U8(m_a.substr(0, 10)));
    EXPECT_NE(std::string::npos, ambiguous.err.find(U8(m_a)));
    EXPECT_NE(std::string::npos, ambiguous.err.find(U8(twin)));
    EXPECT_EQ(1, Run(LibraryAction::Show, U8(m_a), false, "bob").status);
}

TEST_F(LibraryCommandTest, ShowTextGivesTheTreeWithReadingStateNotesAndLabels)
{
    const Output show = Run(LibraryAction::Show, U8(m_a));
    ASSERT_EQ(0, show.status) << show.err;
    const std::string one = "- 论文一  DOI 10.1000/ONE  [last read 2017-06-06 09:44:59, position 42, progress 77, locked]\n";
    const std::string highlight = "highlight \"划线\"  labels: 重点, 复习\n";
    const std::string expected = "\nfolders:\n"
                                 "  文献夹/\n"
                                 "    " + one +
                                 "        " + highlight +
                                 "    子夹/\n"
                                 "      " + one +
                                 "          " + highlight +
                                 "      - two lines  [no reading state]\n"
                                 "          note \"only content\"\n"
                                 "  second/\n"
                                 "\nnotes without literature:\n"
                                 "  note \"loose\"\n"
                                 "\nattachments:\n"
                                 "  " + U8(m_stored) + "  (from " + (m_temp.Path() / "paper.pdf").string() + ")\n";
    EXPECT_NE(std::string::npos, show.out.find(expected)) << show.out;
    EXPECT_NE(std::string::npos, show.out.find("contents  3 folders, 2 literature, 3 notes, 1 attachments\n")) << show.out;
}

TEST_F(LibraryCommandTest, ShowJsonHoldsTreeLiteratureRelateNotesAndAttachments)
{
    const Output show = Run(LibraryAction::Show, U8(m_a), true);
    ASSERT_EQ(0, show.status) << show.err;
    const json document = json::parse(show.out);
    EXPECT_EQ(U8(m_a), document.at("TavGuid"));
    EXPECT_EQ("单元 a", document.at("Name"));
    EXPECT_EQ(true, document.at("complete"));

    const json& folders = document.at("folders");
    ASSERT_EQ(3u, folders.size());
    const struct {
        std::u16string guid, parent;
        std::string name;
        std::vector<std::string> literature;
    } expectedFolders[] = {
        {m_top, m_a, "文献夹", {U8(m_one)}},
        {m_sub, m_top, "子夹", {U8(m_one), U8(m_two)}},
        {m_second, m_a, "second", {}},
    };
    for (size_t i = 0; i < std::size(expectedFolders); ++i) {
        EXPECT_EQ(U8(expectedFolders[i].guid), folders[i].at("FolderGuid")) << i;
        EXPECT_EQ(U8(expectedFolders[i].parent), folders[i].at("ParentGuid")) << i;
        EXPECT_EQ(expectedFolders[i].name, folders[i].at("Name")) << i;
        EXPECT_EQ(expectedFolders[i].literature, folders[i].at("literature").get<std::vector<std::string>>()) << i;
    }

    const json& literature = document.at("literature");
    ASSERT_EQ(2u, literature.size());
    EXPECT_EQ(U8(m_one), literature[0].at("LiterGuid"));
    EXPECT_EQ("10.1000/ONE", literature[0].at("DOI"));
    EXPECT_EQ("作者", literature[0].at("Author"));
    EXPECT_EQ("alice", literature[0].at("OwnerName"));
    for (const auto& column : LiteratureColumns().texts)
        EXPECT_TRUE(literature[1].at(U8(column.name)).is_string()) << U8(column.name);
    const json& relate = literature[0].at("relate");
    EXPECT_EQ(U8(m_one), relate.at("LiterGuid"));
    EXPECT_EQ("2017-06-06 09:44:59", relate.at("LastReadTime"));
    EXPECT_EQ(42, relate.at("LastReadPos"));
    EXPECT_EQ(77, relate.at("ReadingProgress"));
    EXPECT_EQ(1, relate.at("Locked"));
    EXPECT_EQ("two\nlines", literature[1].at("Title"));
    EXPECT_TRUE(literature[1].at("relate").is_null());

    const json& notes = document.at("notes");
    ASSERT_EQ(3u, notes.size());
    EXPECT_EQ("", notes[2].at("LiterGuid"));
    EXPECT_EQ("p'1", notes[0].at("PosID"));
    EXPECT_EQ(U8(m_one), notes[0].at("LiterGuid"));
    EXPECT_EQ(10, notes[0].at("TypeID"));
    EXPECT_EQ("划线", notes[0].at("Title"));
    EXPECT_EQ((std::vector<std::string> {"重点", "复习"}), notes[0].at("labels").get<std::vector<std::string>>());
    for (const auto& column : NoteColumns().ints)
        EXPECT_TRUE(notes[1].at(U8(column.name)).is_number_integer()) << U8(column.name);
    EXPECT_TRUE(notes[1].at("labels").empty());

    const json& attachments = document.at("attachments");
    ASSERT_EQ(1u, attachments.size());
    EXPECT_EQ(U8(m_stored), attachments[0].at("stored"));
    EXPECT_EQ((m_temp.Path() / "paper.pdf").string(), attachments[0].at("source"));
}

TEST_F(LibraryCommandTest, RemoveDeletesTheEntryAndItsFilesOnce)
{
    const fs::path folder = m_sync / "alice" / "attachments" / U8(m_a);
    ASSERT_TRUE(fs::is_regular_file(folder / "paper.pdf"));

    const Output removed = Run(LibraryAction::Remove, U8(m_a.substr(0, 12)));
    EXPECT_EQ(0, removed.status) << removed.err;
    EXPECT_EQ("removed " + U8(m_a) + " (单元 a) with 3 folders, 2 literature, 3 notes and its attachment files\n", removed.out);
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_EQ(std::string::npos, Run(LibraryAction::List).out.find(U8(m_a)));

    const Output again = Run(LibraryAction::Remove, U8(m_a.substr(0, 12)));
    EXPECT_EQ(1, again.status);
    EXPECT_EQ("", again.out);
    EXPECT_NE(std::string::npos, again.err.find("no entry of alice has a TavGuid that begins with")) << again.err;

    // The incomplete entry goes the same way.
    EXPECT_EQ(0, Run(LibraryAction::Remove, U8(m_b)).status);
    const Output empty = Run(LibraryAction::List);
    EXPECT_EQ(0, empty.status);
    EXPECT_EQ("", empty.out);
    EXPECT_NE(std::string::npos, empty.err.find("holds no entries")) << empty.err;
}

} // namespace
