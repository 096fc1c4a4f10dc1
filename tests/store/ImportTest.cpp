// The import into the personal library through Init: what the library holds afterwards, the
// progress, the cancel, units that try to lead the import astray, and the readers it leans on.
#include "builder/UnitBuilder.h"
#include "library/LibraryReader.h"
#include "library/OvDataMiddle.h"
#include "store/TavDB.h"
#include "support/SyncPathOverride.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>

namespace {

namespace fs = std::filesystem;
using testkit::U16;
using testkit::U8;
using Texts = std::vector<std::u16string>;

struct Line {
    int32_t position;
    int32_t maximum;
    std::u16string text;
};

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> FilesBelow(const fs::path& root)
{
    std::vector<std::string> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error))
        if (!it->is_directory())
            files.push_back(it->path().lexically_relative(root).string());
    std::sort(files.begin(), files.end());
    return files;
}

// Folder name -> its parent's name ("<entry>" for a top-level folder).
std::map<std::u16string, std::u16string> ParentNames(const SLibraryEntryContents& contents)
{
    std::map<std::u16string, std::u16string> nameOf{{contents.Entry.TavGuid, u"<entry>"}}, parents;
    for (const auto& node : contents.Folders)
        nameOf[node.Folder->FolderGuid] = node.Folder->Name;
    for (const auto& node : contents.Folders)
        parents[node.Folder->Name] = nameOf[node.Folder->ParentGuid];
    return parents;
}

std::map<std::u16string, SLibraryNote> NotesByPosId(const SLibraryEntryContents& contents)
{
    std::map<std::u16string, SLibraryNote> notes;
    for (const SLibraryNote& note : contents.Notes)
        notes[note.Note->PosID] = note;
    return notes;
}

class ImportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_cancelFlag.store(0);
        SetSyncPathOverride(U16((m_dir.Path() / "sync").string()));
        OvSysUser::Instance().SetUser(u"alice");
    }
    void TearDown() override
    {
        g_cancelFlag.store(0);
        SetSyncPathOverride(u"");
        OvSysUser::Instance().ClearOverride();
    }

    fs::path Build(const testkit::UnitSpec& spec, const std::string& name = "unit.tav")
    {
        testkit::BuildUnit(m_dir.Path() / "units" / name, spec);
        return m_dir.Path() / "units" / name;
    }

    // Runs Init on `unit` as the unit's owner; `onLine` may set the cancel flag.
    int Run(const fs::path& unit, const std::function<void(const Line&)>& onLine = {})
    {
        m_lines.clear();
        CTavDB store;
        store.SetPauseMilliseconds(0);
        std::u16string tavId;
        return store.Init(U16(unit.string()), tavId, u"owner1",
                          [this, onLine](int32_t position, int32_t maximum, const std::u16string& text) {
                              m_lines.push_back({position, maximum, text});
                              if (onLine)
                                  onLine(m_lines.back());
                              return 1;
                          });
    }

    bool Said(const std::u16string& text) const
    {
        return std::any_of(m_lines.begin(), m_lines.end(), [&](const Line& line) { return line.text == text; });
    }

    static std::vector<SLibraryEntry> Entries()
    {
        std::vector<SLibraryEntry> entries;
        CLibraryReader(u"alice").ListEntries(entries);
        return entries;
    }
    // The newest entry of the library, read whole.
    static SLibraryEntryContents Contents()
    {
        SLibraryEntryContents contents;
        const auto entries = Entries();
        EXPECT_EQ(entries.empty() ? -1 : CLibraryReader(u"alice").ReadEntryContents(entries.back().TavGuid, contents), 0);
        return contents;
    }
    fs::path UserFolder() const { return m_dir.Path() / "sync" / "alice"; }

    testkit::ScopedHomeEnv m_home;
    testkit::TempDir m_dir;
    std::vector<Line> m_lines;
};

// A folder name past 60 characters, an attachment moved since, a web page as literature, note
// comments to rebuild, removed labels; then cancels, and an entry that cannot be created.
TEST_F(ImportTest, RenamedFoldersMovedAttachmentsWebPagesNoteCommentsCancelsAndARefusedEntry)
{
    const std::u16string name60 = std::u16string(50, u'文') + u"0123456789";
    const std::u16string name61 = name60 + u"X";
    const std::u16string noteSet = u"<NoteSet><Note-Package v=\"1\"><NoteItems n=\"2\"><Item acp=\"1\" id=\"p1\">one</Item>"
                                   u"<Item acp=\"2\" id=\"p2'q\">two</Item></NoteItems></Note-Package></NoteSet>";
    testkit::UnitSpec spec;
    spec.folders = {{.id = 1, .name = name60}, {.id = 2, .name = name61, .parentId = 1}};
    spec.literature = {
        {.pkid = 1, .doi = u"d1", .folderIds = {1}, .notePackage = noteSet},
        {.pkid = 2, .doi = u"d2", .filePath = u"D:\\u\\a.pdf", .folderIds = {2}},
        {.pkid = 3, .doi = u"d3", .filePath = u"webpage\\p\\index.html", .folderIds = {2}},
        {.pkid = 4, .doi = u"d4", .folderIds = {2}, .notePackage = u"<NoteSet><Item acp=\"1\" id=\"p4\">x</Item><b>"},
    };
    spec.notes = {
        {.id = 1, .posId = u"p1", .doi = u"d1", .comments = testkit::MakeNoteComments({u"p1"})},
        {.id = 2, .posId = u"p2'q", .doi = u"d1", .comments = u"<own>no ids</own>"},
        {.id = 3, .posId = u"p3", .doi = u"d1", .comments = testkit::MakeNoteComments({u"zz"})},
        {.id = 4, .posId = u"h1", .typeId = 10, .doi = u"d2"},
        {.id = 5, .posId = u"p4", .doi = u"d4", .comments = testkit::MakeNoteComments({u"p4"})},
    };
    spec.labels = {{u"L2", u"p2'q"}, {u"L1", u"p2'q"}, {u"Gone", u"p2'q"}};
    spec.companionFiles = {{"a.pdf", "%PDF a"}, {"webpage/p/index.html", "<html/>"}, {"Notes/n.txt", "N"}};
    const fs::path unit = Build(spec);
    testkit::UnitReader(unit).Execute("update Label set IsRemoved = 1 where LabelText = 'Gone'");
    ASSERT_EQ(Run(unit), 0);
    const SLibraryEntryContents contents = Contents();
    EXPECT_TRUE(contents.Entry.Complete);
    EXPECT_TRUE(Said(u"导入文献夹《" + name61 + u"》") && Said(u"导入标注PosID：h1") && Said(u"导入笔记PosID：p2'q"));
    // The import's own final line and the driver's, both with a full bar.
    ASSERT_GE(m_lines.size(), 2u);
    for (size_t i = m_lines.size() - 2; i < m_lines.size(); ++i)
        EXPECT_TRUE(m_lines[i].text == u"更新学习单元完成" && m_lines[i].position == m_lines[i].maximum && m_lines[i].maximum > 0);
    const auto folders = ParentNames(contents);
    EXPECT_EQ(folders.count(u"重命名：" + name61.substr(0, 55)) + folders.count(name60), 2u);

    // The moved file is found in the companion folder; web page files never go.
    ASSERT_EQ(contents.Attachments.size(), 1u);
    EXPECT_EQ(contents.Attachments[0].SourcePath, U16((testkit::ContentsFolder(unit) / "a.pdf").string()));
    EXPECT_EQ(ReadFile(U8(contents.Attachments[0].StoredPath)), "%PDF a");
    ASSERT_EQ(contents.Literature.size(), 4u);
    EXPECT_EQ(contents.Literature[1]->FilePath, contents.Attachments[0].StoredPath);
    EXPECT_EQ(contents.Literature[2]->FilePath, u"webpage\\p\\index.html");

    // Comments are rebuilt from the note's own item only, else kept; labels come grouped, without removed ones.
    auto notes = NotesByPosId(contents);
    EXPECT_EQ(notes[u"p1"].Note->Comments, u"<Comments><Note-Package v=\"1\"><NoteItems n=\"2\"><Item acp=\"1\" "
                                          u"id=\"p1\">one</Item></NoteItems></Note-Package></Comments>");
    EXPECT_EQ(notes[u"p2'q"].Note->Comments, u"<own>no ids</own>");
    EXPECT_EQ(notes[u"p3"].Note->Comments, testkit::MakeNoteComments({u"zz"}));
    EXPECT_EQ(notes[u"p4"].Note->Comments, testkit::MakeNoteComments({u"p4"})); // its note set is not well-formed
    EXPECT_EQ(notes[u"p2'q"].Labels, (std::list<std::u16string>{u"L1", u"L2"}));
    EXPECT_EQ(notes[u"h1"].Note->TypeID, 10);

    // A cancel at any message of the import ends Init as cancelled and leaves nothing of the import
    // in the library; set with the import's completion line it comes too late.
    const auto isImportStart = [](const Line& line) { return line.text.rfind(u"导入学习单元《", 0) == 0; };
    const auto start = std::find_if(m_lines.begin(), m_lines.end(), isImportStart);
    const auto messages = static_cast<int32_t>(m_lines.end() - start) - 2; // up to the import's own last line
    ASSERT_GE(messages, 10);
    for (int32_t k = 1; k <= messages + 1; ++k) {
        SCOPED_TRACE(k);
        fs::remove_all(UserFolder());
        g_cancelFlag.store(0);
        int32_t seen = 0;
        EXPECT_EQ(Run(unit, [&](const Line& line) {
            if ((seen > 0 || isImportStart(line)) && ++seen == k)
                g_cancelFlag.store(1);
        }), 0);
        const bool tooLate = k == messages + 1;
        const auto entries = Entries();
        EXPECT_EQ(m_lines.back().text, tooLate ? u"更新学习单元完成" : u"导入学习单元取消");
        EXPECT_EQ(Said(u"更新学习单元完成"), tooLate);
        EXPECT_EQ(entries.size() == 1 && entries[0].Complete, tooLate);
        EXPECT_EQ(entries.empty(), !tooLate);
        EXPECT_EQ(fs::exists(UserFolder() / "attachments") && !fs::is_empty(UserFolder() / "attachments"), tooLate);
    }

    // An entry that cannot be created ends the import as failed, with the service's words.
    g_cancelFlag.store(0);
    OvSysUser::Instance().SetUser(u"");
    EXPECT_EQ(Run(unit), kTavImportFailed);
    EXPECT_EQ(m_lines.back().text, u"更新学习单元失败");
    EXPECT_EQ(m_lines[m_lines.size() - 2].text.rfind(u"导入学习单元失败，学习单元创建失败：", 0), 0u);
}

// The walk adds a step per folder when counter x 10 / folders (root included) is exactly 1.
TEST_F(ImportTest, FolderWalkAdvancesTheBarByTheFolderCount)
{
    // Folders below the root -> steps the walk adds.
    for (const auto& [count, steps] : std::map<int, int>{{4, 0}, {5, 5}, {9, 9}, {10, 5}, {19, 9}}) {
        SCOPED_TRACE(count);
        testkit::UnitSpec spec;
        // Nested two deep, so that the counter runs across levels.
        for (int i = 1; i <= count; ++i)
            spec.folders.push_back({.id = i, .name = U16("f" + std::to_string(i)), .parentId = i > 2 ? i % 2 + 1 : 0});
        const fs::path unit = Build(spec, "walk" + std::to_string(count) + ".tav");
        testkit::UnitReader(unit).Execute("delete from Category where Name = '要学习的文献'");
        ASSERT_EQ(Run(unit), 0);
        EXPECT_EQ(Contents().Folders.size(), static_cast<size_t>(count));
        const auto at = [this](const std::u16string& text) {
            return std::find_if(m_lines.begin(), m_lines.end(), [&](const Line& line) { return line.text == text; });
        };
        const auto before = at(u"拷贝网页资料附件");
        const auto after = at(u"导入笔记和标注");
        ASSERT_TRUE(before != m_lines.end() && after != m_lines.end());
        EXPECT_EQ(after->position - before->position, steps + 1);
        EXPECT_LE(after->position, after->maximum);
    }
}

// Whatever a unit says about an attachment or puts in its companion folders, files land only in
// the entry's attachment folder and the user's folder, and symbolic links are left out. Folders
// that are their own parents are walked once; literature without GUIDs keeps its reading state.
TEST_F(ImportTest, FilesStayInTheLibraryLinksAreNotFollowedAndFolderCyclesEnd)
{
    const fs::path outside = m_dir.Path() / "outside" / "abs.pdf";
    fs::create_directories(outside.parent_path());
    std::ofstream(outside) << "absolute";
    testkit::UnitSpec spec;
    spec.autoGuids = false;
    spec.folders = {{.id = 1, .name = u"top"}, {.id = 2, .name = u"self"}, {.id = 3, .name = u"child", .parentId = 1}};
    int32_t pkid = 0;
    std::set<std::u16string> remarks;
    for (const std::u16string& path :
         Texts{u"D:\\u\\a.pdf", u"..\\..\\x", u"..", u"../../x", U16(outside.string()), u"sub/../../a.pdf", u"/"}) {
        spec.literature.push_back({.pkid = ++pkid, .doi = U16("d" + std::to_string(pkid)), .title = path,
                                   .filePath = path, .folderIds = {1, pkid % 2 + 2}, .remark = path + u"!"});
        remarks.insert(path + u"!");
    }
    spec.notes = {{.id = 1, .posId = u"n1", .doi = u"d2"}};
    spec.companionFiles = {{"a.pdf", "A"}, {"x", "X"}, {"webpage/p/index.html", "new"}};
    const fs::path unit = Build(spec);
    {
        testkit::UnitReader reader(unit);
        reader.Execute("update Category set ParentID = 2 where CategoryId = 2");
        reader.Execute("insert into Category(CategoryId, Name, ParentID, Recycled) values (0, 'zero', 0, 0)");
    }
    const fs::path webpage = testkit::ContentsFolder(unit) / "webpage";
    const fs::path secret = m_dir.Path() / "secret";
    fs::create_directories(secret);
    std::ofstream(secret / "key.txt") << "secret";
    fs::create_directory_symlink(secret, webpage / "out");
    fs::create_directory_symlink(webpage, webpage / "p" / "loop");
    fs::create_symlink(secret / "key.txt", webpage / "key.txt");
    fs::create_directories(UserFolder() / "webpage/p");
    std::ofstream(UserFolder() / "webpage/p/index.html") << "old";
    std::ofstream(UserFolder() / "webpage/p/mine.html") << "mine";
    const std::vector<std::string> before = FilesBelow(m_dir.Path());

    ASSERT_EQ(Run(unit), 0);
    const std::string tavGuid = U8(Entries().at(0).TavGuid);
    EXPECT_EQ(FilesBelow(UserFolder() / "attachments" / tavGuid), (std::vector<std::string>{"a.pdf", "abs.pdf", "x"}));
    EXPECT_EQ(FilesBelow(UserFolder() / "webpage"), (std::vector<std::string>{"p/index.html", "p/mine.html"}));
    EXPECT_EQ(ReadFile(UserFolder() / "webpage/p/index.html"), "new");
    for (const std::string& file : FilesBelow(m_dir.Path())) {
        const bool known = std::find(before.begin(), before.end(), file) != before.end();
        const bool library = file.rfind("sync/alice/library.db", 0) == 0 ||
                             file.rfind("sync/alice/attachments/" + tavGuid + "/", 0) == 0;
        EXPECT_TRUE(known || library) << file;
    }

    const SLibraryEntryContents contents = Contents();
    EXPECT_EQ(ParentNames(contents),
              (std::map<std::u16string, std::u16string>{{u"top", u"<entry>"}, {u"child", u"top"}}));
    for (const auto& [guid, state] : contents.Relates)
        remarks.erase(state->Remark);
    EXPECT_TRUE(remarks.empty());
    ASSERT_EQ(contents.Notes.size(), 1u);
    EXPECT_EQ(contents.Notes[0].Note->LiterGuid, u"");
}

// Init from an old layout: upgrade, then every folder, literature, reading state, note and label
// that the upgraded unit holds arrives, with the right parents and links, and the files with them.
TEST_F(ImportTest, SampleUnitFromVersionsOneAndNineArrivesWhole)
{
    for (const int32_t version : {1, 9}) {
        SCOPED_TRACE(version);
        const fs::path unit = Build(testkit::SampleSpec(version), "sample" + std::to_string(version) + ".tav");
        ASSERT_EQ(Run(unit), 0);
        const SLibraryEntryContents contents = Contents();
        EXPECT_TRUE(contents.Entry.Complete);
        testkit::UnitReader upgraded(unit);
        std::map<std::u16string, std::u16string> parents;
        for (const auto& row : upgraded.QueryText("select f.Name, ifnull(p.Name, '<entry>') from Category f left join "
                                                  "Category p on p.CategoryId = f.ParentID where f.Recycled = 0"))
            parents[row[0]] = row[1];
        EXPECT_EQ(ParentNames(contents), parents);

        // Literature by folder, with its reading state.
        std::multiset<Texts> expected, actual;
        for (const auto& row : upgraded.QueryText(
                 "select f.Name, l.Title, r.Remark, r.LastReadTime, r.MarkPos from CategoryLitera c join Category f on "
                 "f.CategoryId = c.CategoryId join LiteraInfo l on l.pkid = c.pkid left join LiteraRelate r on "
                 "r.pkid = l.pkid where c.Recycled = 0 and f.Recycled = 0"))
            expected.insert(row);
        std::map<std::u16string, std::u16string> guidOf, titleOf;
        for (const auto& literature : contents.Literature) {
            guidOf[literature->Title] = literature->LiterGuid;
            titleOf[literature->LiterGuid] = literature->Title;
        }
        for (const auto& node : contents.Folders)
            for (const auto& guid : contents.FolderLiterature.at(node.Folder->FolderGuid)) {
                const auto& state = *contents.Relates.at(guid);
                actual.insert({node.Folder->Name, titleOf[guid], state.Remark, state.LastReadTime, state.MarkPos});
            }
        EXPECT_EQ(actual, expected);
        EXPECT_TRUE(std::any_of(actual.begin(), actual.end(), [](const Texts& row) { return row[1] == u"O'Brien's study"; }));

        // Notes: each pointed at its literature's library GUID, with its comments and labels.
        auto notes = NotesByPosId(contents);
        const auto noteRows = upgraded.QueryText(
            "select n.PosID, l.Title, n.Comments from NoteContent n left join LiteraInfo l on l.LiterGuid = n.LiterGuid");
        ASSERT_EQ(notes.size(), 6u);
        ASSERT_EQ(noteRows.size(), 6u);
        for (const auto& row : noteRows) {
            EXPECT_TRUE(notes[row[0]].Note->LiterGuid == guidOf[row[1]] && notes[row[0]].Note->Comments == row[2]) << U8(row[0]);
            std::list<std::u16string> labels;
            for (const auto& label : upgraded.QueryText("select LabelText from Label where IsRemoved = 0 and NoteID = '" +
                                                        U8(row[0]) + "' group by LabelText"))
                labels.push_back(label[0]);
            EXPECT_EQ(notes[row[0]].Labels, labels) << U8(row[0]);
        }
        EXPECT_FALSE(notes[u"N1"].Labels.empty());
        ASSERT_EQ(contents.Attachments.size(), 1u);
        EXPECT_EQ(fs::path(U8(contents.Attachments[0].StoredPath)).filename(), "a1.pdf");
        EXPECT_EQ(ReadFile(UserFolder() / "Notes/N1.txt"), "note file of N1\n");
        EXPECT_EQ(ReadFile(UserFolder() / "webpage/p3/index.html"), "<html><body>page 3</body></html>\n");
    }
}

} // namespace
