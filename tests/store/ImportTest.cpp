// Init from path to library: what the library holds afterwards, the progress, the cancel, and
// units made to mislead it; a unit that cannot be read safely is refused untouched.
#include "store/ImportFixture.h"
#include "support/LastError.h"
#include "support/TextConvert.h"

#include <set>
#include <type_traits>

namespace storetest {
namespace {

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

// Every file and folder under `dir` with its mode and bytes.
std::map<fs::path, std::string> Snapshot(const fs::path& dir)
{
    std::map<fs::path, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        files[entry.path()] = std::to_string(static_cast<int>(entry.status().permissions())) +
                              (entry.is_regular_file() ? ReadWholeFile(entry.path()) : "");
    return files;
}

// The sample unit at `version`, changed by `craft` through a raw connection.
std::function<fs::path(const fs::path&)> Crafted(int32_t version, std::vector<std::string> craft,
                                                 bool encrypted = false)
{
    return [=](const fs::path& dir) {
        testkit::UnitSpec spec = testkit::SampleSpec(version);
        spec.encrypted = encrypted;
        testkit::BuildUnit(dir / "unit.tav", spec);
        testkit::UnitReader reader(dir / "unit.tav");
        for (const std::string& sql : craft)
            reader.Execute(sql);
        return dir / "unit.tav";
    };
}

using ImportTest = ImportFixture;
using Texts = std::vector<std::u16string>;

// A folder name past 60 characters, a web page as literature, note comments to rebuild, removed
// labels; then cancels at every message, and an entry that cannot be created.
TEST_F(ImportTest, RenamedFoldersWebPagesNoteCommentsCancelsAndARefusedEntry)
{
    const std::u16string name60 = std::u16string(50, u'文') + u"0123456789";
    const std::u16string name61 = name60 + u"X";
    const std::u16string noteSet = u"<NoteSet><Note-Package v=\"1\"><NoteItems n=\"2\">"
                                   u"<Item acp=\"1\" id=\"p1\">one</Item><Item acp=\"2\" id=\"p2'q\">two</Item>"
                                   u"<Item acp=\"3\" id=\"p6\">six</Item>"
                                   u"</NoteItems></Note-Package></NoteSet>";
    testkit::UnitSpec spec;
    spec.folders = {{.id = 1, .name = name60}, {.id = 2, .name = name61, .parentId = 1}};
    spec.literature = {
        {.pkid = 1, .doi = u"d1", .folderIds = {1}, .notePackage = noteSet},
        {.pkid = 2, .doi = u"d2", .filePath = u"D:\\u\\a.pdf", .folderIds = {2}, .readingStateRow = false},
        {.pkid = 3, .doi = u"d3", .filePath = u"webpage\\p\\index.html", .folderIds = {2}, .readingStateRow = false},
        {.pkid = 4, .doi = u"d4", .folderIds = {2}, .notePackage = u"<NoteSet><Item acp=\"1\" id=\"p4\">x</Item><b>"},
    };
    spec.notes = {
        {.id = 1, .posId = u"p1", .doi = u"d1", .comments = testkit::MakeNoteComments({u"p1"})},
        {.id = 2, .posId = u"p2'q", .doi = u"d1", .comments = u"<own>no ids</own>"},
        {.id = 3, .posId = u"p3", .doi = u"d1", .comments = testkit::MakeNoteComments({u"zz"})},
        {.id = 4, .posId = u"h1", .typeId = 10, .doi = u"d2"},
        {.id = 5, .posId = u"p4", .doi = u"d4", .comments = testkit::MakeNoteComments({u"p4"})},
        {.id = 6, .posId = u"p6", .doi = u"d1", .comments = testkit::MakeNoteComments({u"p6"})}, // after another's
    };
    spec.labels = {{u"L2", u"p2'q"}, {u"L1", u"p2'q"}, {u"Gone", u"p2'q"}};
    spec.companionFiles = {{"a.pdf", "%PDF a"}, {"webpage/p/index.html", "<html/>"}, {"Notes/n.txt", "N"}};
    const fs::path unit = Build(spec);
    testkit::UnitReader(unit).Execute("update Label set IsRemoved = 1 where LabelText = 'Gone'");
    ASSERT_EQ(Run(unit), 0);
    const SLibraryEntryContents contents = Contents();
    EXPECT_TRUE(contents.Entry.Complete);
    EXPECT_TRUE(Said(u"导入文献夹《" + name61 + u"》") && Said(u"导入标注PosID：h1") && Said(u"导入笔记PosID：p2'q"));
    const auto folders = ParentNames(contents);
    EXPECT_EQ(folders.count(u"重命名：" + name61.substr(0, 55)) + folders.count(name60), 2u);

    // Reading states made on import take the kind of file: a web page, a full text.
    ASSERT_EQ(contents.Literature.size(), 4u);
    EXPECT_EQ(contents.Relates.at(contents.Literature[2]->LiterGuid)->FileType, 1);
    EXPECT_EQ(contents.Relates.at(contents.Literature[1]->LiterGuid)->FileType, 0);

    // Comments are rebuilt from the note's own item only, else kept; labels come grouped, without removed ones.
    auto notes = NotesByPosId(contents);
    EXPECT_EQ(notes[u"p1"].Note->Comments, u"<Comments><Note-Package v=\"1\"><NoteItems n=\"2\"><Item acp=\"1\" "
                                          u"id=\"p1\">one</Item></NoteItems></Note-Package></Comments>");
    EXPECT_EQ(notes[u"p6"].Note->Comments, u"<Comments><Note-Package v=\"1\"><NoteItems n=\"2\"><Item acp=\"3\" "
                                          u"id=\"p6\">six</Item></NoteItems></Note-Package></Comments>");
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
        EXPECT_EQ(Run(unit, u"owner1", [&](const Line& line) {
            if ((seen > 0 || isImportStart(line)) && ++seen == k)
                g_cancelFlag.store(1);
        }), 0);
        const bool tooLate = k == messages + 1;
        const auto entries = Entries();
        EXPECT_EQ(m_lines.back().text, tooLate ? u"更新学习单元完成" : u"导入学习单元取消");
        EXPECT_EQ(Said(u"更新学习单元完成"), tooLate ? 2u : 0u);
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

// With pauses on, a cancel takes effect at the very pause where it is seen, wherever the run is:
// in the row reads of step 14 (most of whose rows need no change), between literature, between
// folders. No further pause is taken, so the worker returns within one pause of the user's
// answer; the step or the import is undone as at any other cancel test. The side channel counts
// every pause of the run, one by one.
TEST_F(ImportTest, ACancelAtAnyPauseStopsThereAndUndoesTheStepOrTheImport)
{
    const testkit::UnitSpec spec = testkit::BulkSpec(13, 12, 16, 4, 1);
    m_pauseMs = 1;
    std::vector<int64_t> counts;
    m_activity = [&](int64_t rowsDone) { counts.push_back(rowsDone); };
    ASSERT_EQ(Run(Build(spec)), 0);
    ASSERT_EQ(Entries().size(), 1u);
    const auto pauses = static_cast<int64_t>(counts.size());
    ASSERT_GE(pauses, 50);
    for (int64_t k = 0; k < pauses; ++k)
        ASSERT_EQ(counts[static_cast<size_t>(k)], k + 1);

    std::set<std::string> versionsLeft;
    for (int64_t k = 1; k <= pauses; k += 4) {
        SCOPED_TRACE(k);
        fs::remove_all(UserFolder());
        g_cancelFlag.store(0);
        const fs::path unit = Build(spec);
        int64_t pausesAfterCancel = 0;
        m_activity = [&](int64_t rowsDone) {
            if (rowsDone == k)
                g_cancelFlag.store(1);
            pausesAfterCancel += rowsDone > k ? 1 : 0;
        };
        EXPECT_EQ(Run(unit), 0);
        EXPECT_EQ(pausesAfterCancel, 0);
        EXPECT_EQ(m_lines.back().text, u"导入学习单元取消");
        EXPECT_EQ(Said(u"更新学习单元完成"), 0u);
        EXPECT_TRUE(Entries().empty());
        // Step 14 is undone whole when cancelled in it; later steps and the import leave 16.
        testkit::UnitReader reader(unit);
        const std::string version = reader.Text("select VersionNum from VersionInfo");
        EXPECT_TRUE(version == "13" || version == "16") << version;
        versionsLeft.insert(version);
        if (version == "13") {
            for (const auto& column : reader.QueryUtf8("pragma table_info(Category)"))
                EXPECT_NE(column[1], "CategoryGuid");
        }
    }
    EXPECT_EQ(versionsLeft.size(), 2u); // cancels in the upgrade and in the import
}

// Where each field of a unit's row lands: the library's literature, reading state and note, and
// the store's folder record (what the walk and the progress go by).
struct Landed {
    SLiteratureInfo literature;
    SLiteratureRelate relate;
    SNoteInfo note;
    SPersonalLiteratureFolder folder;
};

struct Carried {
    const char* table;  // the row of literature 1, note 1 or folder 2
    std::string column; // or an expression, in brackets, for what the store works out
    bool text;
    std::function<std::u16string(const Landed&)> landed;
};

template <typename Record, typename Value>
Carried Field(const char* table, std::string column, Record Landed::* record, Value Record::* field)
{
    return {table, std::move(column), std::is_same_v<Value, std::u16string>, [record, field](const Landed& l) {
                if constexpr (std::is_same_v<Value, std::u16string>)
                    return l.*record.*field;
                else
                    return U16(std::to_string(l.*record.*field));
            }};
}

// Every field the import carries, written with a value of its own into the unit and compared with
// where it lands; the folder counts against counts of the unit's rows.
TEST_F(ImportTest, EveryCarriedFieldLandsAsTheUnitHoldsIt)
{
    using L = SLiteratureInfo;
    using R = SLiteratureRelate;
    using N = SNoteInfo;
    using F = SPersonalLiteratureFolder;
    std::vector<Carried> fields;
    const auto literature = [&](std::string column, std::u16string L::* field) {
        fields.push_back(Field("LiteraInfo", std::move(column), &Landed::literature, field));
    };
    for (const auto& [column, field] : std::vector<std::pair<std::string, std::u16string L::*>>{
             {"DOI", &L::DOI}, {"Title", &L::Title}, {"Author", &L::Author}, {"Source", &L::Source},
             {"DataType", &L::DataType}, {"SrcDatabase", &L::SrcDatabase}, {"PubTime", &L::PubTime},
             {"Keyword", &L::Keyword}, {"Summary", &L::Summary}, {"FilePath", &L::FilePath}, {"Link", &L::Link},
             {"Pub_Year", &L::Pub_Year}, {"Period", &L::Period}, {"PageCount", &L::PageCount}, {"Page", &L::Page},
             {"ReferenceNum", &L::ReferenceNum}, {"Roll", &L::Roll}, {"City", &L::City}, {"Organ", &L::Organ},
             {"Degree", &L::Degree}, {"Teacher", &L::Teacher}, {"ImportantDegree", &L::ImportantDegree},
             {"MediaEn", &L::MediaEn}, {"EPubLocate", &L::EPubLocate}, {"EPublisher", &L::EPublisher},
             {"ETitle", &L::ETitle}, {"Media", &L::Media}, {"ISSN", &L::ISSN}, {"Country", &L::Country},
             {"Version", &L::Version}, {"Prints", &L::Prints}, {"PubLocate", &L::PubLocate},
             {"EAuthor", &L::EAuthor}, {"CountryEn", &L::CountryEn}, {"VersionEn", &L::VersionEn},
             {"MediaAddressEn", &L::MediaAddressEn}, {"DegreeType", &L::DegreeType},
             {"Department", &L::Department}, {"ApplicationNum", &L::ApplicationNum},
             {"PublicationDate", &L::PublicationDate},
             {"InternationalClassification", &L::InternationalClassification},
             {"DutyPersonEn", &L::DutyPersonEn}, {"ModifiedDate", &L::ModifiedDate}, {"Publisher", &L::Publisher},
             {"LCID", &L::LCID}, {"InternationalDOI", &L::InternationalDOI}, {"FileName", &L::FileName},
             {"TableName", &L::TableName}, {"KnowledgeID", &L::KnowledgeID}, {"OdataCode", &L::OdataCode}})
        literature(column, field);
    const auto relate = [&](const char* column, auto field) {
        fields.push_back(Field("LiteraRelate", column, &Landed::relate, field));
    };
    relate("LastReadTime", &R::LastReadTime), relate("Adjunct", &R::Adjunct), relate("Remark", &R::Remark);
    relate("MarkPos", &R::MarkPos), relate("Locked", &R::Locked), relate("LastReadPos", &R::LastReadPos);
    relate("ReadingProgress", &R::ReadingProgress), relate("FileType", &R::FileType);
    relate("CreateTime", &R::CreateTime);
    const auto note = [&](const char* column, auto field) {
        fields.push_back(Field("NoteContent", column, &Landed::note, field));
    };
    note("Title", &N::Title), note("Content", &N::Content), note("ContentText", &N::ContentText);
    note("Comments", &N::Comments), note("Location", &N::Location), note("CreateTime", &N::CreateTime);
    note("ModifyTime", &N::ModifyTime), note("Source", &N::Source), note("Importance", &N::Importance);
    note("TypeID", &N::TypeID), note("IsPublic", &N::IsPublic), note("PosID", &N::PosID), note("Path", &N::Path);
    note("Adjunct", &N::Adjunct), note("KnowledgeID", &N::KnowledgeID), note("IsCompiled", &N::IsCompiled);
    note("recycled", &N::recycled), note("IsRemoved", &N::IsRemoved), note("IsModify", &N::IsModify);
    note("UnitID", &N::UnitID);
    const auto folder = [&](std::string column, auto field) {
        fields.push_back(Field("Category", std::move(column), &Landed::folder, field));
    };
    folder("Name", &F::Name), folder("CategoryGuid", &F::CategoryGuid), folder("ParentGuid", &F::ParentGuid);
    folder("VersionInfo", &F::VersionInfo), folder("IsModify", &F::IsModify);
    folder("CategoryLiteraVersion", &F::CategoryLiteraVersion), folder("IsRelateModify", &F::IsRelateModify);
    folder("IsRemoved", &F::IsRemoved), folder("(ParentID)", &F::ParentID);
    folder("(select count(*) from Category c where c.ParentID = Category.CategoryId and c.Recycled = 0)",
           &F::ChildCount);
    folder("(select count(*) from CategoryLitera l where l.CategoryId = Category.CategoryId and l.Recycled = 0)",
           &F::LiteratureCount);

    testkit::UnitSpec spec;
    spec.folders = {{.id = 1, .name = u"top"}, {.id = 2, .name = u"sub", .parentId = 1},
                    {.id = 3, .name = u"below", .parentId = 2}, {.id = 4, .name = u"gone", .parentId = 2, .recycled = true},
                    {.id = 5, .name = u"beside", .parentId = 1}, {.id = 6, .name = u"own parent", .parentId = 6}};
    spec.literature = {{.pkid = 1, .doi = u"d1", .folderIds = {2}}, {.pkid = 2, .doi = u"d2", .folderIds = {2, 3}},
                       {.pkid = 3, .doi = u"d3", .folderIds = {6}}};
    spec.notes = {{.id = 1, .posId = u"n1", .doi = u"d1"}};
    const fs::path unit = Build(spec);
    {
        testkit::UnitReader reader(unit);
        const std::map<std::string, std::string> rows{{"LiteraInfo", "pkid = 1"}, {"LiteraRelate", "pkid = 1"},
                                                      {"NoteContent", "ID = 1"}, {"Category", "CategoryId = 2"}};
        int number = 100;
        for (const Carried& f : fields) {
            if (f.column.front() == '(')
                continue;
            const std::string value = f.column == "CreateTime" && std::string(f.table) == "LiteraRelate"
                                          ? "'2020-01-02 03:04:05'"
                                          : f.text ? "'" + f.column + "~'" : std::to_string(++number);
            reader.Execute(std::string("update ") + f.table + " set " + f.column + " = " + value + " where " +
                           rows.at(f.table));
        }
        reader.Execute("update CategoryLitera set Recycled = 1 where CategoryId = 3");
    }
    ASSERT_EQ(Run(unit), 0);

    const SLibraryEntryContents contents = Contents();
    Landed landed;
    const auto first = std::find_if(contents.Literature.begin(), contents.Literature.end(),
                                    [](const auto& l) { return l->DOI == u"DOI~"; });
    ASSERT_NE(first, contents.Literature.end());
    ASSERT_EQ(contents.Notes.size(), 1u);
    landed.literature = **first;
    landed.relate = *contents.Relates.at((*first)->LiterGuid);
    landed.note = *contents.Notes[0].Note;
    CTavDB store;
    store.Database().Open(U16(unit.string()));
    store.Database().SetKey(kTavDatabaseKey, kTavDatabaseKeyLength);
    std::shared_ptr<SPersonalLiteratureFolder> record;
    ASSERT_EQ(store.GetLiteratureFolder(record, 2), 1);
    landed.folder = *record;
    // The readers of whole subtrees: the folders below one (not the recycled one, not one that is
    // its own parent), the literature of a folder (not by a recycled link) and of the whole unit.
    CTavDB::IdSet below, belowSub;
    EXPECT_TRUE(store.GetAllSubCategoryIds(below, 0) == 1 && store.GetAllSubCategoryIds(belowSub, 2) == 1);
    EXPECT_EQ(below, (CTavDB::IdSet{1, 2, 3, 5}));
    EXPECT_EQ(belowSub, CTavDB::IdSet{3});
    std::shared_ptr<CTavDB::IdSet> pkids;
    const auto literatureOf = [&](int32_t id) {
        return store.GetLiteratureInfoIdList(pkids, id) == 1 ? *pkids : CTavDB::IdSet{0};
    };
    EXPECT_EQ(literatureOf(3), CTavDB::IdSet{});
    EXPECT_EQ(literatureOf(6), CTavDB::IdSet{3});
    EXPECT_EQ(literatureOf(2), (CTavDB::IdSet{1, 2}));
    EXPECT_EQ(literatureOf(-1), (CTavDB::IdSet{1, 2}));
    testkit::UnitReader reader(unit);
    for (const Carried& f : fields) {
        const std::string key = std::string(f.table) == "LiteraInfo" || std::string(f.table) == "LiteraRelate"
                                    ? "pkid = 1"
                                    : std::string(f.table) == "NoteContent" ? "ID = 1" : "CategoryId = 2";
        EXPECT_EQ(U8(f.landed(landed)), reader.Text("select " + f.column + " from " + f.table + " where " + key))
            << f.table << "." << f.column;
    }
    // A folder's place in the library follows its parent in the unit.
    EXPECT_EQ(ParentNames(contents), (std::map<std::u16string, std::u16string>{
                                          {u"top", u"<entry>"}, {u"Name~", u"top"}, {u"below", u"Name~"}, {u"beside", u"top"}}));
}

// Whatever a unit says about an attachment or puts in its companion folders, files land only in
// the entry's attachment folder and the user's folder, come only from the companion folder, and
// symbolic links are left out. Only the part of a path inside the companion folder makes a web
// page (the unit lies in "mywebpages/"). Folders that are their own parents are walked once;
// literature without GUIDs keeps its reading state.
TEST_F(ImportTest, FilesStayInTheLibraryLinksAreNotFollowedAndFolderCyclesEnd)
{
    const fs::path outside = m_dir.Path() / "outside" / "abs.pdf";
    fs::create_directories(outside.parent_path());
    std::ofstream(outside) << "absolute";
    const fs::path contentsFolder = m_dir.Path() / "units" / "mywebpages" / "unit_contents";
    const fs::path page = contentsFolder / "webpage" / "p" / "index.html";
    const fs::path secret = m_dir.Path() / "secret";
    testkit::UnitSpec spec;
    spec.autoGuids = false;
    spec.folders = {{.id = 1, .name = u"top"}, {.id = 2, .name = u"self"}, {.id = 3, .name = u"child", .parentId = 1}};
    int32_t pkid = 0;
    std::set<std::u16string> remarks;
    // Outside the companion folder: a file of the user's, one of the system's, a link out of it.
    const Texts refused{U16(outside.string()), u"/proc/self/environ", U16((contentsFolder / "key.pdf").string())};
    for (const std::u16string& path : Texts{u"D:\\u\\a.pdf", u"..\\..\\x", u"..", u"../../x", refused[0], refused[1],
                                            refused[2], u"sub/../../a.pdf", u"/", U16(page.string())}) {
        spec.literature.push_back({.pkid = ++pkid, .doi = U16("d" + std::to_string(pkid)), .title = path,
                                   .filePath = path, .folderIds = {1, pkid % 2 + 2}, .remark = path + u"!"});
        remarks.insert(path + u"!");
    }
    spec.notes = {{.id = 1, .posId = u"n1", .doi = u"d2"}};
    spec.companionFiles = {{"a.pdf", "A"}, {"x", "X"}, {"webpage/p/index.html", "new"}};
    const fs::path unit = Build(spec, "mywebpages/unit.tav");
    {
        testkit::UnitReader reader(unit);
        reader.Execute("update Category set ParentID = 2 where CategoryId = 2");
        reader.Execute("insert into Category(CategoryId, Name, ParentID, Recycled) values (0, 'zero', 0, 0)");
    }
    const fs::path webpage = testkit::ContentsFolder(unit) / "webpage";
    fs::create_directories(secret);
    std::ofstream(secret / "key.txt") << "secret";
    fs::create_symlink(secret / "key.txt", contentsFolder / "key.pdf");
    fs::create_directory_symlink(secret, webpage / "out");
    fs::create_directory_symlink(webpage, webpage / "p" / "loop");
    fs::create_symlink(secret / "key.txt", webpage / "key.txt");
    fs::create_directories(UserFolder() / "webpage/p");
    std::ofstream(UserFolder() / "webpage/p/index.html") << "old";
    std::ofstream(UserFolder() / "webpage/p/mine.html") << "mine";
    const std::vector<std::string> before = FilesBelow(m_dir.Path());

    ASSERT_EQ(Run(unit), 0);
    const std::string tavGuid = U8(Entries().at(0).TavGuid);
    EXPECT_EQ(FilesBelow(UserFolder() / "attachments" / tavGuid), (std::vector<std::string>{"a.pdf", "x"}));
    // What was refused keeps its path, and the run lists it.
    for (const std::u16string& path : refused) {
        const auto& literature = Contents().Literature;
        EXPECT_TRUE(std::any_of(literature.begin(), literature.end(), [&](const auto& l) { return l->FilePath == path; }));
        EXPECT_TRUE(std::any_of(m_report.notes.begin(), m_report.notes.end(), [&](const std::u16string& note) {
            return note.find(u"outside the companion folder") != note.npos && note.find(path) != note.npos;
        })) << U8(path);
    }
    EXPECT_EQ(FilesBelow(UserFolder() / "webpage"), (std::vector<std::string>{"p/index.html", "p/mine.html"}));
    EXPECT_EQ(ReadWholeFile(UserFolder() / "webpage/p/index.html"), "new");
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

// 100,000 folders nested in one chain, with a literature at its foot: walked without a call per
// level, the chain imports whole and the library shows every level. (The time to read as many
// folders side by side, or in the chain, is bench_folders' business.)
TEST_F(ImportTest, AHundredThousandFoldersInOneChainImportWhole)
{
    constexpr int kFolders = 100000;
    testkit::UnitSpec spec;
    spec.literature = {{.pkid = 1, .doi = u"d1", .title = u"at the foot"}};
    const fs::path unit = Build(spec);
    testkit::UnitReader(unit).Execute(
        "insert into Category(CategoryId, Name, ParentID, CategoryGuid) with recursive c(x) as (select 1 union "
        "all select x + 1 from c where x < " + std::to_string(kFolders) + ") select x, 'f' || x, x - 1, 'G' || x from c");
    testkit::UnitReader(unit).Execute("insert into CategoryLitera(CategoryId, pkid) values (" + std::to_string(kFolders) +
                                      ", 1)");
    ASSERT_EQ(Run(unit), 0);
    const SLibraryEntryContents contents = Contents();
    EXPECT_TRUE(contents.Entry.Complete);
    ASSERT_EQ(contents.Folders.size(), static_cast<size_t>(kFolders));
    EXPECT_EQ(contents.Folders.back().Depth, kFolders - 1);
    EXPECT_EQ(contents.Folders.back().Folder->Name, U16("f" + std::to_string(kFolders)));
    EXPECT_EQ(contents.Folders.back().LiteratureCount, 1);
}

// Nobody is signed in here: a unit that is read whole ends with no library to fill.
using DriverTest = ImportTest;

struct Outcome {
    const char* name;
    std::function<fs::path(const fs::path& dir)> make;
    const char16_t* account;
    int result;
    const char16_t* lastLine;
    EUnitProblem cause = EUnitProblem::None; // refused before anything was written
    const char16_t* cancelAt = u"";          // "*": before the run starts
    std::function<void(const fs::path& unit)> check = nullptr;
};

// A unit refused before anything was written.
Outcome Refused(const char* name, std::function<fs::path(const fs::path& dir)> make, EUnitProblem cause)
{
    return {name, std::move(make), u"", kTavSqliteError, u"打开学习单元", cause};
}

TEST_F(DriverTest, EachKindOfUnitEndsWithItsResultAndLastLine)
{
    OvSysUser::Instance().SetUser(u"");
    const auto owned = Crafted(16, {}); // by owner1
    const std::u16string refusal = u"导入学习单元失败，您没有权限读取该学习单元数据。";
    const std::u16string failed = u"更新学习单元失败";
    const std::string endless = "with recursive c(x) as (select 1 union all select x + 1 from c) ";
    const auto newer = [](const char* number) {
        return Crafted(16, {std::string("update VersionInfo set VersionNum = ") + number, "drop table PushItem"});
    };
    const auto newerLayout = [this](const fs::path& unit) {
        EXPECT_FALSE(Said(u"升级学习单元数据到版本2...") || Said(u"备份学习单元"));
        EXPECT_GT(m_report.newerVersion, 16);
        // Backed up before the creation pass added the missing table.
        const fs::path copy = fs::directory_iterator(testkit::ContentsFolder(unit) / "TavBackup")->path();
        EXPECT_FALSE(testkit::UnitReader(copy).HasTable("PushItem"));
        EXPECT_TRUE(testkit::UnitReader(unit).HasTable("PushItem"));
    };
    // The companion folder, or its backup folder, is a link out of the unit's folder: no backup anywhere.
    const auto linkedOut = [this](const char* link) {
        return [this, link](const fs::path& dir) {
            const fs::path unit = Crafted(1, {})(dir);
            const fs::path elsewhere = m_dir.Path() / "elsewhere" / link;
            const bool backupOnly = link == std::string("TavBackup");
            fs::create_directories(elsewhere);
            if (!backupOnly)
                fs::remove_all(testkit::ContentsFolder(unit));
            fs::create_directory_symlink(elsewhere, backupOnly ? testkit::ContentsFolder(unit) / link
                                                               : testkit::ContentsFolder(unit));
            return unit;
        };
    };
    const auto noBackup = [this](const fs::path&) {
        EXPECT_TRUE(Said(u"备份学习单元"));
        EXPECT_EQ(FilesBelow(m_dir.Path() / "elsewhere"), std::vector<std::string>{});
        EXPECT_TRUE(std::any_of(m_report.notes.begin(), m_report.notes.end(), [](const std::u16string& note) {
            return note.find(u"no backup made: the backup folder is reached through a link") != note.npos;
        }));
        fs::remove_all(m_dir.Path() / "elsewhere");
    };
    const Outcome outcomes[] = {
        {"the owner in other letter case", owned, u"OWNER1", kTavImportFailed, failed.c_str()}, // nobody signed in
        {"another account", owned, u"owner2", kTavImportFailed, refusal.c_str()},
        {"cancelled before the start", owned, u"owner1", 0, u"导入学习单元取消", {}, u"*"},
        {"cancelled in the upgrade", owned, u"", 0, u"导入学习单元取消", {}, u"开始更新学习单元版本..."},
        {"a missing path", [](const fs::path& dir) { return dir / "nowhere/x.tav"; }, u"", 0, u"学习单元路径不存在"},
        Refused("another key", Crafted(16, {"pragma rekey = 'another key!'"}, true), EUnitProblem::NotADatabase),
        Refused("a folder", [](const fs::path& dir) { return dir; }, EUnitProblem::NotADatabase),
        Refused("an empty file", [](const fs::path& dir) { return std::ofstream(dir / "a.tav") ? dir / "a.tav" : dir; },
                EUnitProblem::EmptyFile),
        Refused("a read-only plain unit in a writable folder",
         [](const fs::path& dir) {
             const fs::path unit = Crafted(12, {})(dir);
             fs::permissions(unit, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
             return unit;
         },
         EUnitProblem::ReadOnlyFile),
        Refused("a damaged LiteraInfo page",
         [](const fs::path& dir) {
             const fs::path unit = Crafted(12, {})(dir);
             testkit::UnitReader reader(unit);
             const int64_t page = reader.ScalarInt("select rootpage from sqlite_master where name = 'LiteraInfo'");
             std::fstream file(unit, std::ios::in | std::ios::out | std::ios::binary);
             file.seekp((page - 1) * reader.ScalarInt("pragma page_size"));
             file.write("\x01\xff\xff\xff\xff\xff\xff\xff", 8); // a kind of page that does not exist
             return unit;
         },
         EUnitProblem::Damaged),
        {"a folder in place of its journal",
         [](const fs::path& dir) {
             const fs::path unit = Crafted(12, {})(dir);
             fs::create_directories(unit.string() + "-journal");
             return unit;
         },
         u"", kTavSqliteError, u"打开学习单元", EUnitProblem::WriteError, u"",
         [this](const fs::path&) {
             EXPECT_EQ(m_report.detail.rfind(u"the journal of an interrupted run could not be rolled back: ", 0), 0u);
         }},
        Refused("an encrypted unit with a view in place of VersionInfo",
                Crafted(16, {"alter table VersionInfo rename to V0", "create view versioninfo as select * from V0"},
                        true),
                EUnitProblem::ForeignObject),
        Refused("a virtual table in place of Label",
                Crafted(12, {"drop table Label", "create virtual table Label using fts4(LabelText, NoteID)"}),
                EUnitProblem::ForeignObject),
        {"triggers that would record, abort, spin and clear the owner",
         Crafted(12, {"create table Ran (what text)",
                      "create trigger t1 after insert on LiteraInfo begin insert into Ran values ('insert'); end",
                      "create trigger t2 after update on LiteraInfo begin insert into Ran values ('update'); end",
                      "create trigger t3 before insert on LiteraInfo begin select raise(abort, 'crafted'); end",
                      "create trigger t4 after update on VersionInfo begin select count(*) from (" + endless +
                          "select x from c); end",
                      "create trigger t5 after update on VersionInfo begin update VersionInfo set UserKey = NULL; "
                      "end"}),
         u"someone else", kTavImportFailed, refusal.c_str(), {}, u"",
         [](const fs::path& unit) {
             testkit::UnitReader reader(unit);
             EXPECT_EQ(reader.ScalarInt("select VersionNum from VersionInfo"), 16);
             EXPECT_EQ(reader.ScalarInt("select count(*) from Ran"), 0);
             EXPECT_EQ(reader.ScalarInt("select count(*) from LiteraInfo where DataType = 6"), 2);
             EXPECT_EQ(reader.Scalar("select UserKey from VersionInfo"), "owner1");
         }},
        // No owner columns and no identifier: the run keys the file, adds the columns and makes one;
        // run again, the unit opens through the key and a caller's identifier replaces its own.
        {"a plain unit without owner columns or identifier",
         [](const fs::path& dir) {
             CSqliteDB db;
             db.Open(Utf8ToWide((dir / "a.tav").string()));
             db.ExecuteStatement(u"create table VersionInfo (ID integer primary key, VersionNum integer, TavId text)");
             db.ExecuteStatement(u"insert into VersionInfo values (1, 16, NULL)");
             return dir / "a.tav";
         },
         u"someone", kTavImportFailed, failed.c_str(), {}, u"",
         [this](const fs::path& unit) {
             EXPECT_THROW(testkit::UnitReader(unit, testkit::KeyMode::WithoutKey), testkit::TestkitError);
             EXPECT_TRUE(m_tavId.size() == 32 && m_tavId.find_first_not_of(u"0123456789ABCDEF") == m_tavId.npos);
             EXPECT_EQ(testkit::UnitReader(unit).Scalar("select TavId || FileType || count(Userkey) from VersionInfo"),
                       U8(m_tavId) + "tav0");
             m_tavId = u"O'Brien's unit";
             EXPECT_EQ(Run(unit, u""), kTavImportFailed);
             EXPECT_EQ(testkit::UnitReader(unit).Scalar("select TavId from VersionInfo"), "O'Brien's unit");
         }},
        // Read whole, never wrapped round into 1..16: a layout newer than any step knows.
        {"VersionNum 4294967297", newer("4294967297"), u"", kTavImportFailed, failed.c_str(), {}, u"", newerLayout},
        {"VersionNum 17", newer("17"), u"", kTavImportFailed, failed.c_str(), {}, u"", newerLayout},
        // Its last change is only in the log it left, which the run recovers.
        {"a unit in write-ahead-log mode left with its log",
         [](const fs::path& dir) {
             const fs::path unit = Crafted(16, {"pragma journal_mode = wal"})(dir);
             testkit::UnitReader writer(unit);
             writer.Execute("update LiteraInfo set Title = 'in the log'");
             fs::copy_file(unit, dir / "left.tav");
             fs::copy_file(unit.string() + "-wal", dir / "left.tav-wal");
             return dir / "left.tav";
         },
         u"", kTavImportFailed, failed.c_str(), {}, u"",
         [](const fs::path& unit) {
             testkit::UnitReader reader(unit);
             EXPECT_EQ(reader.ScalarInt("select count(*) from LiteraInfo where Title is not 'in the log'"), 0);
         }},
        {"a companion folder that links out", linkedOut("contents"), u"", kTavImportFailed, failed.c_str(), {}, u"",
         noBackup},
        {"a backup folder that links out", linkedOut("TavBackup"), u"", kTavImportFailed, failed.c_str(), {}, u"",
         noBackup},
        {"VersionNum -4294967295", Crafted(12, {"update VersionInfo set VersionNum = -4294967295"}), u"",
         kTavImportFailed, failed.c_str(), {}, u"",
         [this](const fs::path& unit) {
             EXPECT_TRUE(Said(u"学习单元已经是最新版本，不需要升级"));
             EXPECT_FALSE(fs::exists(testkit::ContentsFolder(unit) / "TavBackup"));
             EXPECT_EQ(testkit::UnitReader(unit).ScalarInt("select VersionNum from VersionInfo"), -4294967295LL);
         }},
    };
    const std::u16string steps[] = {u"判断路径是否存在", u"打开学习单元", u"创建文献夹信息表",
                                    u"创建文献夹与文献关系表", u"创建下载信息表", u"创建标签信息表",
                                    u"创建题录信息表", u"创建题录附件信息表", u"创建题录类型信息表",
                                    u"创建笔记信息表", u"创建推送信息表", u"开始更新学习单元版本..."};
    for (const Outcome& c : outcomes) {
        SCOPED_TRACE(c.name);
        const fs::path dir = m_dir.Path() / c.name;
        fs::create_directories(dir);
        const fs::path unit = c.make(dir);
        const auto before = Snapshot(dir);
        SetLastErrorCode(0);
        g_cancelFlag.store(std::u16string(c.cancelAt) == u"*" ? 1 : 0);

        m_tavId.clear();
        EXPECT_EQ(Run(unit, c.account, [&c](const Line& line) {
            if (line.text == c.cancelAt)
                g_cancelFlag.store(1);
        }), c.result);
        ASSERT_FALSE(m_lines.empty());
        for (size_t i = 0; i + 1 < m_lines.size() && i < std::size(steps); ++i) // step lines, in order
            EXPECT_TRUE(m_lines[i].text == steps[i] && m_lines[i].maximum == 0) << i;
        EXPECT_EQ(m_lines.back().text, c.lastLine);
        EXPECT_TRUE(m_lines.back().position == m_totalSteps && m_lines.back().maximum == m_totalSteps);
        EXPECT_EQ(Said(failed) > 0, m_lines.back().text == failed);
        if (c.lastLine == refusal || c.cause != EUnitProblem::None) {
            EXPECT_EQ(GetLastErrorCode(), static_cast<uint32_t>(c.result));
        }
        EXPECT_EQ(m_report.cause, c.cause) << WideToUtf8(m_report.detail);
        // Refused, cancelled at once or not found: not a byte written, no backup, journal or copy.
        if (c.cause != EUnitProblem::None || std::u16string(c.cancelAt) == u"*" ||
            c.lastLine == std::u16string(u"学习单元路径不存在")) {
            EXPECT_EQ(Snapshot(dir), before);
        }
        if (c.check)
            c.check(unit);
    }
}

} // namespace
} // namespace storetest
