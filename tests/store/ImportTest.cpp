// The import into the personal library, through Init on units of the test kit: what the
// service receives (recorded calls) and what the library holds afterwards (its reader).
#include "ImportTestEnv.h"

#include "support/Log.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

namespace importtest {
namespace {

using testkit::U16;

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every file below `root`, relative to it.
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

const std::u16string kName60 = std::u16string(50, u'文') + u"0123456789";
const std::u16string kName61 = kName60 + u"X";
const std::u16string kNoteSet = u"<NoteSet><Note-Package v=\"1\"><NoteItems n=\"2\"><Item acp=\"1\" id=\"p1\">one</Item>"
                                u"<Item acp=\"2\" id=\"p2'q\">two &amp; more</Item></NoteItems></Note-Package></NoteSet>";

testkit::UnitSpec RichUnit()
{
    testkit::UnitSpec spec;
    spec.folders = {{.id = 1, .name = u"A'top"}, {.id = 2, .name = u"Sub", .parentId = 1},
                    {.id = 3, .name = kName60}, {.id = 4, .name = kName61}};
    spec.literature = {
        {.pkid = 1, .doi = u"d1", .title = u"Twice filed", .folderIds = {1, 2}, .notePackage = kNoteSet,
         .remark = u"r1", .lastReadTime = u"2016-04-05 06:07:08"},
        {.pkid = 2, .doi = u"d2", .title = u"Moved file", .filePath = u"D:\\u\\a.pdf", .folderIds = {3}},
        {.pkid = 3, .doi = u"d3", .title = u"Web", .filePath = u"webpage\\p\\index.html", .folderIds = {4}},
        {.pkid = 4, .doi = u"d4", .title = u"Nowhere"},
    };
    spec.notes = {
        {.id = 1, .posId = u"p1", .doi = u"d1", .title = u"rebuilt", .comments = testkit::MakeNoteComments({u"p1"})},
        {.id = 2, .posId = u"p2'q", .doi = u"d1", .title = u"kept", .comments = u"<own>no ids</own>"},
        {.id = 3, .posId = u"p3", .doi = u"d1", .title = u"no item", .comments = testkit::MakeNoteComments({u"zz"})},
        {.id = 4, .posId = u"h1", .typeId = 10, .doi = u"d2", .title = u"label"},
    };
    spec.labels = {{u"L2", u"p2'q"}, {u"L1", u"p2'q"}, {u"Gone", u"p2'q"}, {u"K", u"p1"}};
    spec.companionFiles = {{"a.pdf", "%PDF a"}, {"webpage/p/index.html", "<html/>"}, {"Notes/n.txt", "note"}};
    return spec;
}

TEST_F(ImportTest, FoldersLiteratureAttachmentsNotesAndLabelsReachTheLibrary)
{
    const fs::path unit = Build(RichUnit());
    testkit::UnitReader(unit).Execute("update Label set IsRemoved = 1 where LabelText = 'Gone'");
    RecordingStore store;
    // A second offer of the same literature gets another GUID here: notes must keep the first.
    int offers = 0;
    store.recorder.afterAddLiterature = [&offers](SLiteratureInfo& literature) {
        if (literature.DOI == u"d1" && ++offers == 2)
            literature.LiterGuid = u"00000000000000000000000000000BAD";
    };
    ASSERT_EQ(Run(store, unit), 0);
    EXPECT_EQ(m_lines.back().text, u"更新学习单元完成");
    const auto entries = Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries[0].Complete);
    EXPECT_EQ(entries[0].Name, u"unit");
    const std::u16string tavGuid = entries[0].TavGuid;
    const CRecordingLibrary& calls = store.recorder;

    // Folders: names as read in the messages, renamed past 60 characters, parents by GUID.
    std::map<std::u16string, Call> folders;
    for (const Call& call : calls.Of("AddFolder"))
        folders[call.a] = call;
    ASSERT_TRUE(folders.count(u"A'top") && folders.count(u"Sub") && folders.count(kName60));
    EXPECT_EQ(folders.count(kName61), 0u);
    ASSERT_EQ(folders.count(u"重命名：" + kName61.substr(0, 55)), 1u);
    EXPECT_EQ((u"重命名：" + kName61.substr(0, 55)).size(), 59u);
    EXPECT_NE(Find(u"导入文献夹《" + kName61 + u"》"), nullptr);
    EXPECT_EQ(folders[u"A'top"].b, tavGuid);
    EXPECT_EQ(folders[u"Sub"].b, folders[u"A'top"].result);

    // The literature in two folders: offered twice, reading state once, for the first folder.
    const auto added = calls.Of("AddLiterature");
    std::vector<std::u16string> d1Folders;
    for (const Call& call : added)
        if (call.a == u"d1")
            d1Folders.push_back(call.b);
    EXPECT_EQ(d1Folders, (std::vector<std::u16string>{folders[u"A'top"].result, folders[u"Sub"].result}));
    EXPECT_EQ(added.size(), 4u); // d1 twice, d2, d3; d4 is in no folder
    const auto relates = calls.Of("AddLiteratureRelate");
    ASSERT_EQ(relates.size(), 3u);
    const std::u16string d1Guid = added[0].result;
    EXPECT_EQ(relates[0].a, d1Guid);
    EXPECT_EQ(relates[0].b, folders[u"A'top"].result);
    for (const Call& note : calls.Of("AddNote")) {
        if (note.a != u"h1") {
            EXPECT_EQ(note.b, d1Guid) << testkit::U8(note.a);
        }
    }

    // Attachments: the moved file is found in the companion folder; web page files never go.
    for (const Call& call : calls.Of("StoreAttachment"))
        EXPECT_EQ(call.a.find(u"webpage"), std::u16string::npos);
    CLibraryReader reader(u"alice");
    std::vector<SLibraryAttachment> attachments;
    ASSERT_EQ(reader.ListAttachments(tavGuid, attachments), 0);
    ASSERT_EQ(attachments.size(), 1u);
    EXPECT_EQ(attachments[0].SourcePath, U16((testkit::ContentsFolder(unit) / "a.pdf").string()));
    EXPECT_EQ(ReadFile(testkit::U8(attachments[0].StoredPath)), "%PDF a");
    std::vector<std::shared_ptr<SLiteratureInfo>> literature;
    ASSERT_EQ(reader.ListLiterature(tavGuid, literature), 0);
    std::map<std::u16string, std::u16string> filePaths;
    for (const auto& item : literature)
        filePaths[item->DOI] = item->FilePath;
    EXPECT_EQ(filePaths[u"d2"], attachments[0].StoredPath);
    EXPECT_EQ(filePaths[u"d3"], u"webpage\\p\\index.html");
    std::shared_ptr<SLiteratureRelate> state;
    ASSERT_EQ(reader.GetLiteratureRelate(tavGuid, d1Guid, state), 0);
    EXPECT_EQ(state->Remark, u"r1");
    EXPECT_EQ(state->MarkPos, kNoteSet);

    // Companion subfolders land in the user's folder.
    EXPECT_EQ(ReadFile(UserFolder() / "webpage/p/index.html"), "<html/>");
    EXPECT_EQ(ReadFile(UserFolder() / "Notes/n.txt"), "note");

    // Notes: labels grouped per note, comments rebuilt only from the note's own item.
    EXPECT_NE(Find(u"导入标注PosID：h1"), nullptr);
    EXPECT_NE(Find(u"导入笔记PosID：p2'q"), nullptr);
    std::vector<SLibraryNote> notes;
    ASSERT_EQ(reader.ListNotes(tavGuid, notes), 0);
    std::map<std::u16string, SLibraryNote> byPos;
    for (const SLibraryNote& note : notes)
        byPos[note.Note->PosID] = note;
    ASSERT_EQ(byPos.size(), 4u);
    EXPECT_EQ(byPos[u"p1"].Note->Comments, u"<Comments><Note-Package v=\"1\"><NoteItems n=\"2\"><Item acp=\"1\" "
                                          u"id=\"p1\">one</Item></NoteItems></Note-Package></Comments>");
    EXPECT_EQ(byPos[u"p1"].Labels, (std::list<std::u16string>{u"K"}));
    EXPECT_EQ(byPos[u"p2'q"].Note->Comments, u"<own>no ids</own>");
    EXPECT_EQ(byPos[u"p2'q"].Labels, (std::list<std::u16string>{u"L1", u"L2"}));
    EXPECT_EQ(byPos[u"p3"].Note->Comments, testkit::MakeNoteComments({u"zz"}));
    EXPECT_EQ(byPos[u"h1"].Note->TypeID, 10);
    EXPECT_EQ(calls.Count("UpdateNote"), 1u);
}

TEST_F(ImportTest, EmptyUnitWithoutCompanionFoldersCompletesWithAFullBar)
{
    const fs::path unit = Build(testkit::UnitSpec{});
    fs::remove_all(testkit::ContentsFolder(unit));
    CxLog::Instance().Log(u"ImportTest", u"mark", __LINE__, 3, u"start");
    ASSERT_TRUE(CxLog::Instance().Flush());
    const size_t logStart = ReadFile(testkit::U8(CxLog::Instance().LastLogFilePath())).size();

    RecordingStore store;
    ASSERT_EQ(Run(store, unit), 0);
    ASSERT_EQ(Entries().size(), 1u);
    EXPECT_TRUE(Entries()[0].Complete);
    EXPECT_EQ(store.recorder.Count("AddLiterature") + store.recorder.Count("AddNote"), 0u);
    // The import's own final line and the driver's, both with a full bar.
    ASSERT_GE(m_lines.size(), 2u);
    for (size_t i = m_lines.size() - 2; i < m_lines.size(); ++i) {
        EXPECT_EQ(m_lines[i].text, u"更新学习单元完成");
        EXPECT_EQ(m_lines[i].position, m_lines[i].maximum);
        EXPECT_GT(m_lines[i].maximum, 0);
    }
    ASSERT_TRUE(CxLog::Instance().Flush());
    const std::string log = ReadFile(testkit::U8(CxLog::Instance().LastLogFilePath())).substr(logStart);
    for (const char* folder : {"webpage不存在", "Notes不存在"})
        EXPECT_NE(log.find(folder), std::string::npos) << folder;

    // An entry that cannot be created ends the import as failed, with the service's words.
    OvSysUser::Instance().SetUser(u"");
    RecordingStore refused;
    EXPECT_EQ(Run(refused, unit), kTavImportFailed);
    EXPECT_EQ(m_lines.back().text, u"更新学习单元失败");
    EXPECT_EQ(m_lines[m_lines.size() - 2].text.rfind(u"导入学习单元失败，学习单元创建失败：", 0), 0u);
}

// The walk adds a step per folder when counter x 10 / folders (root included) is exactly 1.
TEST_F(ImportTest, FolderWalkAdvancesTheBarByTheFolderCount)
{
    struct Case {
        int folders;  // below the root
        int steps;    // added by the walk
    };
    for (const Case& c : {Case{4, 0}, Case{5, 5}, Case{9, 9}, Case{10, 5}, Case{19, 9}}) {
        testkit::UnitSpec spec;
        // Nested two deep, so that the counter runs across levels.
        for (int i = 1; i <= c.folders; ++i)
            spec.folders.push_back({.id = i, .name = U16("f" + std::to_string(i)), .parentId = i > 2 ? i % 2 + 1 : 0});
        const fs::path unit = Build(spec, "walk" + std::to_string(c.folders) + ".tav");
        testkit::UnitReader(unit).Execute("delete from Category where Name = '要学习的文献'");
        RecordingStore store;
        ASSERT_EQ(Run(store, unit), 0);
        EXPECT_EQ(store.recorder.Count("AddFolder"), static_cast<size_t>(c.folders));
        const Line* before = Find(u"拷贝网页资料附件");
        const Line* after = Find(u"导入笔记和标注");
        ASSERT_TRUE(before && after);
        EXPECT_EQ(after->position - before->position, c.steps + 1) << c.folders << " folders";
        EXPECT_LE(after->position, after->maximum);
    }
}

TEST_F(ImportTest, FolderCyclesAreWalkedOnce)
{
    testkit::UnitSpec spec;
    spec.folders = {{.id = 1, .name = u"top"}, {.id = 2, .name = u"self"}, {.id = 3, .name = u"child", .parentId = 1}};
    spec.literature = {{.pkid = 1, .doi = u"d1", .title = u"t", .folderIds = {1, 2, 3}}};
    const fs::path unit = Build(spec);
    {
        testkit::UnitReader reader(unit);
        reader.Execute("update Category set ParentID = 2 where CategoryId = 2");
        // A folder row with id 0, below the root: its own parent.
        reader.Execute("insert into Category(CategoryId, Name, ParentID, Recycled) values (0, 'zero', 0, 0)");
    }
    RecordingStore store;
    ASSERT_EQ(Run(store, unit), 0);
    EXPECT_EQ(m_lines.back().text, u"更新学习单元完成");
    std::vector<std::u16string> names;
    for (const Call& call : store.recorder.Of("AddFolder"))
        names.push_back(call.a);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::u16string>{u"child", u"top"}));

    std::set<int32_t> ids;
    EXPECT_EQ(store.GetAllSubCategoryIds(ids, 0), 1);
    EXPECT_EQ(ids, (std::set<int32_t>{1, 3}));
    ids.clear();
    EXPECT_EQ(store.GetAllSubCategoryIds(ids, 2), 1);
    EXPECT_TRUE(ids.empty());
    std::shared_ptr<std::set<int32_t>> all;
    EXPECT_EQ(store.GetLiteratureInfoIdList(all, -1), 1);
    EXPECT_EQ(*all, (std::set<int32_t>{1}));
}

// Literature without a LiterGuid (a unit written without GUIDs) is told apart by its pkid.
TEST_F(ImportTest, LiteratureWithoutGuidsKeepsItsReadingStateAndNoNoteIsMisfiled)
{
    testkit::UnitSpec spec;
    spec.autoGuids = false;
    spec.folders = {{.id = 1, .name = u"f"}, {.id = 2, .name = u"g"}};
    spec.literature = {{.pkid = 1, .doi = u"d1", .title = u"one", .folderIds = {1, 2}, .remark = u"r1"},
                       {.pkid = 2, .doi = u"d2", .title = u"two", .folderIds = {1}, .remark = u"r2"}};
    spec.notes = {{.id = 1, .posId = u"n1", .doi = u"d2"}};
    const fs::path unit = Build(spec);
    ASSERT_EQ(testkit::UnitReader(unit).ScalarInt("select count(*) from LiteraInfo where ifnull(LiterGuid, '') = ''"), 2);

    RecordingStore store;
    ASSERT_EQ(Run(store, unit), 0);
    EXPECT_EQ(store.recorder.Count("AddLiterature"), 3u);
    const auto relates = store.recorder.Of("AddLiteratureRelate");
    ASSERT_EQ(relates.size(), 2u);
    EXPECT_NE(relates[0].a, relates[1].a);
    const auto notes = store.recorder.Of("AddNote");
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].b, u"");
}

// Whatever a unit says about an attachment, its file lands in the entry's attachment folder.
TEST_F(ImportTest, AttachmentPathsNeverLeadOutOfTheEntrysFolder)
{
    const fs::path outside = m_dir.Path() / "outside" / "abs.pdf";
    fs::create_directories(outside.parent_path());
    std::ofstream(outside) << "absolute";
    testkit::UnitSpec spec;
    spec.folders = {{.id = 1, .name = u"f"}};
    const std::vector<std::u16string> stored = {u"D:\\u\\a.pdf", u"..\\..\\x", u"..", u"../../x", U16(outside.string()),
                                                u"sub/../../a.pdf", u"/"};
    int32_t pkid = 0;
    for (const std::u16string& path : stored)
        spec.literature.push_back({.pkid = ++pkid, .doi = U16("d" + std::to_string(pkid)), .title = path,
                                   .filePath = path, .folderIds = {1}});
    spec.companionFiles = {{"a.pdf", "A"}, {"x", "X"}};
    const fs::path unit = Build(spec);
    const std::vector<std::string> before = FilesBelow(m_dir.Path());

    RecordingStore store;
    ASSERT_EQ(Run(store, unit), 0);
    const std::u16string tavGuid = Entries().at(0).TavGuid;
    const fs::path folder = UserFolder() / "attachments" / testkit::U8(tavGuid);
    EXPECT_EQ(FilesBelow(folder), (std::vector<std::string>{"a.pdf", "abs.pdf", "x"}));
    // Nothing else appeared anywhere but the library file and the entry's attachments.
    for (const std::string& file : FilesBelow(m_dir.Path())) {
        const bool known = std::find(before.begin(), before.end(), file) != before.end();
        const bool library = file.rfind("sync/alice/library.db", 0) == 0 ||
                             file.rfind("sync/alice/attachments/" + testkit::U8(tavGuid) + "/", 0) == 0;
        EXPECT_TRUE(known || library) << file;
    }
}

TEST_F(ImportTest, FolderCopiesLeaveSymbolicLinksOutAndReplaceFiles)
{
    testkit::UnitSpec spec;
    spec.companionFiles = {{"webpage/p/index.html", "new"}};
    const fs::path unit = Build(spec);
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

    RecordingStore store;
    ASSERT_EQ(Run(store, unit), 0);
    EXPECT_EQ(FilesBelow(UserFolder() / "webpage"), (std::vector<std::string>{"p/index.html", "p/mine.html"}));
    EXPECT_EQ(ReadFile(UserFolder() / "webpage/p/index.html"), "new");

    // A companion subfolder that is itself a link is not copied either.
    fs::remove_all(webpage);
    fs::create_directory_symlink(secret, webpage);
    fs::remove_all(UserFolder() / "webpage");
    std::u16string error;
    EXPECT_EQ(store.CopyFolder(U16(webpage.string()), U16(UserFolder().string()) + u"/", error), 0);
    EXPECT_FALSE(fs::exists(UserFolder() / "webpage"));
}

// Init from an old layout: upgrade, then every folder, literature, reading state, note, label
// and attachment that the upgraded unit holds arrives, with the right parents and links.
TEST_F(ImportTest, SampleUnitFromVersionsOneAndNineArrivesWhole)
{
    for (const int32_t version : {1, 9}) {
        SCOPED_TRACE(version);
        const fs::path unit = Build(testkit::SampleSpec(version), "sample" + std::to_string(version) + ".tav");
        RecordingStore store;
        ASSERT_EQ(Run(store, unit), 0);
        EXPECT_EQ(m_lines.back().text, u"更新学习单元完成");
        const auto entries = Entries();
        ASSERT_FALSE(entries.empty());
        const SLibraryEntry& entry = entries.back();
        EXPECT_TRUE(entry.Complete);
        CLibraryReader reader(u"alice");
        testkit::UnitReader upgraded(unit);

        // Folders: the unit's non-recycled tree, each under its parent.
        std::map<std::u16string, std::u16string> expectedParent;
        std::map<std::u16string, std::u16string> nameOfId{{u"0", u"<entry>"}};
        const auto folderRows = upgraded.QueryText("select CategoryId, Name, ParentID from Category where Recycled = 0");
        for (const auto& row : folderRows)
            nameOfId[row[0]] = row[1];
        for (const auto& row : folderRows)
            expectedParent[row[1]] = nameOfId[row[2]];
        EXPECT_EQ(expectedParent[u"孙文件夹"], u"子文件夹");
        std::vector<SLibraryFolderNode> tree;
        ASSERT_EQ(reader.GetFolderTree(entry.TavGuid, tree), 0);
        std::map<std::u16string, std::u16string> parentName;
        std::map<std::u16string, std::u16string> nameOf{{entry.TavGuid, u"<entry>"}};
        for (const auto& node : tree)
            nameOf[node.Folder->FolderGuid] = node.Folder->Name;
        for (const auto& node : tree)
            parentName[node.Folder->Name] = nameOf[node.Folder->ParentGuid];
        EXPECT_EQ(parentName, expectedParent);

        // Literature by folder.
        std::map<std::u16string, std::set<std::u16string>> expectedTitles;
        for (const auto& row : upgraded.QueryText("select f.Name, l.Title from CategoryLitera c join Category f on "
                                                  "f.CategoryId = c.CategoryId join LiteraInfo l on l.pkid = c.pkid "
                                                  "where c.Recycled = 0 and f.Recycled = 0"))
            expectedTitles[row[0]].insert(row[1]);
        EXPECT_EQ(expectedTitles[u"孙文件夹"], (std::set<std::u16string>{u"O'Brien's study"}));
        std::map<std::u16string, std::set<std::u16string>> titles;
        std::map<std::u16string, std::u16string> guidOf;
        for (const auto& node : tree) {
            std::vector<std::shared_ptr<SLiteratureInfo>> filed;
            ASSERT_EQ(reader.ListFolderLiterature(entry.TavGuid, node.Folder->FolderGuid, filed), 0);
            for (const auto& literature : filed) {
                titles[node.Folder->Name].insert(literature->Title);
                guidOf[literature->Title] = literature->LiterGuid;
            }
        }
        EXPECT_EQ(titles, expectedTitles);

        // Reading state of every imported literature.
        for (const auto& row : upgraded.QueryText("select l.Title, r.Remark, r.Locked, r.LastReadTime, r.MarkPos from "
                                                  "LiteraRelate r join LiteraInfo l on l.pkid = r.pkid")) {
            if (guidOf.count(row[0]) == 0)
                continue;
            std::shared_ptr<SLiteratureRelate> state;
            ASSERT_EQ(reader.GetLiteratureRelate(entry.TavGuid, guidOf[row[0]], state), 0) << testkit::U8(row[0]);
            EXPECT_EQ((std::vector<std::u16string>{state->Remark, U16(std::to_string(state->Locked)), state->LastReadTime,
                                                   state->MarkPos}),
                      (std::vector<std::u16string>{row[1], row[2].empty() ? u"0" : row[2], row[3], row[4]}));
        }
        std::shared_ptr<SLiteratureRelate> first;
        ASSERT_EQ(reader.GetLiteratureRelate(entry.TavGuid, guidOf[u"文献一"], first), 0);
        EXPECT_EQ(first->Remark, u"备注一");

        // Notes: each pointed at its literature's library GUID, with its comments and labels.
        std::vector<SLibraryNote> notes;
        ASSERT_EQ(reader.ListNotes(entry.TavGuid, notes), 0);
        std::map<std::u16string, SLibraryNote> byPos;
        for (const SLibraryNote& note : notes)
            byPos[note.Note->PosID] = note;
        const auto noteRows = upgraded.QueryText(
            "select n.PosID, l.Title, n.Comments from NoteContent n left join LiteraInfo l on l.LiterGuid = n.LiterGuid");
        ASSERT_EQ(byPos.size(), noteRows.size());
        ASSERT_EQ(noteRows.size(), 6u);
        for (const auto& row : noteRows) {
            EXPECT_EQ(byPos[row[0]].Note->LiterGuid, guidOf[row[1]]) << testkit::U8(row[0]);
            EXPECT_EQ(byPos[row[0]].Note->Comments, row[2]);
            std::list<std::u16string> labels;
            for (const auto& label : upgraded.QueryText("select LabelText from Label where IsRemoved = 0 and NoteID = '" +
                                                        testkit::U8(row[0]) + "' group by LabelText"))
                labels.push_back(label[0]);
            EXPECT_EQ(byPos[row[0]].Labels, labels) << testkit::U8(row[0]);
        }
        EXPECT_FALSE(byPos[u"N1"].Labels.empty());

        std::vector<SLibraryAttachment> attachments;
        ASSERT_EQ(reader.ListAttachments(entry.TavGuid, attachments), 0);
        ASSERT_EQ(attachments.size(), 1u);
        EXPECT_EQ(fs::path(testkit::U8(attachments[0].StoredPath)).filename(), "a1.pdf");
        EXPECT_EQ(ReadFile(UserFolder() / "Notes/N1.txt"), "note file of N1\n");
        EXPECT_EQ(ReadFile(UserFolder() / "webpage/p3/index.html"), "<html><body>page 3</body></html>\n");
    }
}

} // namespace
} // namespace importtest
