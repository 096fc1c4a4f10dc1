// Init on the sample unit at every older layout version, with an account signed in: a version-16
// unit with all data kept, every GUID filled, web pages and note items moved, a backup of the unit
// as it was, and a library entry holding what the upgraded unit holds.
#include "store/ImportFixture.h"
#include "store/UnitInspector.h"
#include "support/Log.h"

#include <pugixml.hpp>

#include <regex>
#include <set>
#include <sstream>

namespace storetest {
namespace {

using testkit::UnitReader;
using Texts = std::vector<std::u16string>;

// "root(package attributes)(items attributes)id=text,.../commentId,...".
std::string Package(const std::string& text)
{
    pugi::xml_document doc;
    if (text.empty() || !doc.load_string(text.c_str()))
        return "unparsed: " + text;
    const pugi::xml_node root = doc.document_element();
    const pugi::xml_node items = root.child("Note-Package").child("NoteItems");
    std::string out = root.name();
    for (const pugi::xml_node node : {root.child("Note-Package"), items}) {
        out += "(";
        for (const pugi::xml_attribute a : node.attributes())
            out += std::string(a.name()) + "=" + a.value() + " ";
        out += ")";
    }
    for (const pugi::xml_node item : items.children("Item"))
        out += std::string(item.attribute("id").value()) + "=" + item.text().get() + ",";
    out += "/";
    for (const pugi::xml_node comment : items.children("Comment"))
        out += std::string(comment.attribute("id").value()) + ",";
    return out;
}

std::string IsGuid(const std::string& column)
{
    return "(length(" + column + ") = 32 and " + column + " not glob '*[^0-9A-F]*')";
}

std::u16string Number(int64_t value) { return U16(std::to_string(value)); }

class EndToEndUpgradeTest : public ImportFixture, public ::testing::WithParamInterface<int32_t> {};

TEST_P(EndToEndUpgradeTest, KeepsDataFillsGuidsMovesPagesAndItemsBacksUpAndImportsWhatTheUnitHolds)
{
    const int32_t v = GetParam();
    const testkit::UnitSpec spec = testkit::SampleSpec(v);
    const fs::path unit = Build(spec);
    const std::vector<int32_t> pending = InspectUnit(U16(unit.string())).pendingSteps;
    EXPECT_TRUE(pending.size() == 16u - v && pending.front() == v + 1 && pending.back() == 16);

    const std::u16string marker = u"end-to-end run from " + Number(v) + u" of " + U16(m_dir.Path().string());
    CxLog::Instance().Log(u"Test", u"EndToEndUpgradeTest", __LINE__, 0, marker);
    ASSERT_EQ(Run(unit), 0);
    for (int32_t to = v + 1; to <= 16; ++to)
        EXPECT_EQ(Said(u"学习单元数据升级到版本" + Number(to) + u"..."), 1u) << to;
    // The import's own final line and the driver's, both with a full bar.
    for (size_t i = m_lines.size() - 2; i < m_lines.size(); ++i)
        EXPECT_TRUE(m_lines[i].text == u"更新学习单元完成" && m_lines[i].position == m_lines[i].maximum &&
                    m_lines[i].maximum > 0);
    // A clean run warns of nothing (an engine too old to drop the Meeting column aside).
    CxLog::Instance().Flush();
    std::istringstream log(ReadWholeFile(U8(CxLog::Instance().LastLogFilePath())));
    bool marked = false;
    for (std::string line; std::getline(log, line);) {
        marked = marked || line.find(U8(marker)) != std::string::npos;
        EXPECT_FALSE(marked && line.find(" Warning ") != std::string::npos && line.find("Meeting kept") == line.npos)
            << line;
    }
    EXPECT_TRUE(marked);
    EXPECT_EQ(U8(m_tavId), "7C1D2E3F4A5B6C7D8E9F0A1B2C3D4E5F");
    const SUnitSummary after = InspectUnit(U16(unit.string()));
    EXPECT_TRUE(after.opened && after.encrypted && after.version == 16 && after.pendingSteps.empty());

    ASSERT_THROW(UnitReader(unit, testkit::KeyMode::WithoutKey), testkit::TestkitError) << "Init encrypts the unit";
    UnitReader reader(unit, testkit::KeyMode::WithKey);
    for (const std::string& table : testkit::LayoutTables(16)) {
        ASSERT_EQ(reader.HasTable(table), table != "NoteLabel") << table;
        for (const std::string& column : testkit::UpgradedColumns(table))
            EXPECT_TRUE(reader.HasColumn(table, column)) << table << "." << column;
    }
    EXPECT_FALSE(reader.HasColumn("WebPage_Info", "DOI"));
    // Default rows go only into tables just made. Step 6 renumbers the sort types; step 7 never
    // gets that far, the creation pass has made Trash.
    EXPECT_EQ(reader.Text("select (select TypeRemarks from NoteType where ID = 4), (select count(*) from NoteType), "
                          "(select count(*) from LiteraStyles), (select count(*) from NoteSort where Type = 1), "
                          "(select group_concat(ID || Type, ' ') from SortType)"),
              std::string("Impression|4|7|1|") + (v < 6 ? "1笔记标题 2笔记上次学习时间 3笔记创建时间 4按空间位置"
                                                       : "0笔记标题 1笔记上次学习时间 2笔记创建时间 3按空间位置 4按文献标题"));

    // Every row kept. Media: step 2 copies Source; before that the creation pass copies Meeting
    // for DataType 4.
    EXPECT_EQ(reader.Text("select pkid, DOI, Title, Author from LiteraInfo where DataType <> 6 order by pkid"),
              "1|10.1000/a1|文献一|张三;2|10.1000/o'brien|O'Brien's study|O'Brien;3|10.1000/a3|会议文献|;"
              "4|10.1000/a4|回收的文献|;5|10.1000/a5|无笔记包|;6|10.1000/a6|回收夹中的文献|");
    const std::string media1 = v == 2 ? "" : "期刊甲", media3 = v == 2 ? "会议丙" : "会议录";
    EXPECT_EQ(reader.Text("select Media, LastReadPage from LiteraInfo where pkid in (1, 3) order by pkid"),
              media1 + "|" + (v >= 4 ? "3" : "") + ";" + media3 + "|");
    EXPECT_EQ(reader.Text("select CategoryId, Name, ParentID from Category where CategoryId <= 6 order by CategoryId"),
              "1|基础|0;2|子文件夹|1;3|孙文件夹|2;4|方法|0;5|回收的文件夹|0;6|子二|1");
    EXPECT_EQ(reader.Text("select CategoryId, pkid from CategoryLitera where CategoryId between 1 and 6 order by "
                          "pkid, CategoryId"),
              "1|1;2|2;3|2;4|4;6|5;5|6");
    // The root-filed literature moves into the one folder "要学习的文献" (the library shows where).
    EXPECT_EQ(reader.Text("select (select count(*) from Category where Name = '要学习的文献'), (select count(*) from "
                          "CategoryLitera where CategoryId = 0)"),
              "1|0");
    // Labels: step 6 rebuilds them from the note types; later units keep their own.
    EXPECT_EQ(reader.Text("select LabelText, NoteID from Label order by NoteID, LabelText"),
              v < 6 ? "知识点|N1;注释|N2;问题|N3;读后感|N4;知识点|N5;注释|N6" : "待读|N1;重要|N1;重要|N3;复习|N4");
    EXPECT_EQ(reader.Text("select (select count(*) from DownInfo), (select group_concat(pkid) from Trash where IsDoc "
                          "= 1 and pkid = 4), (select count(*) from Trash where IsDoc = 0 and Path = '回收的文件夹\\'), "
                          "(select count(*) from WebPage_Info)"),
              v >= 7 ? "2|4|1|2" : "0||0|2");

    // GUIDs: made for every row and copied wherever a row refers to another.
    const size_t moved = v <= 12 ? 1 : 0;   // step 13 moves the two web pages, one into a new folder
    EXPECT_EQ(reader.Text("select (select count(distinct CategoryGuid) from Category where " + IsGuid("CategoryGuid") +
                          "), (select count(distinct LiterGuid) from LiteraInfo where " + IsGuid("LiterGuid") +
                          "), (select count(distinct NoteGuid) from NoteContent where " + IsGuid("NoteGuid") +
                          "), (select count(*) from Trash where not " + IsGuid("TrashGuid") + ")"),
              std::to_string(spec.folders.size() + 1 + moved) + "|" +
                  std::to_string(spec.literature.size() + 2 * moved) + "|6|0");
    for (const char* mismatch : {
             "Category c join Category p on c.ParentID = p.CategoryId where c.ParentGuid is not p.CategoryGuid",
             "CategoryLitera cl join LiteraInfo l on l.pkid = cl.pkid where cl.LiterGuid is not l.LiterGuid",
             "CategoryLitera cl join Category c using (CategoryId) where cl.CategoryGuid is not c.CategoryGuid",
             "LiteraRelate r join LiteraInfo l on l.pkid = r.pkid where r.LiterGuid is not l.LiterGuid",
             "DownInfo d join LiteraInfo l on l.pkid = d.pkid where d.LiterGuid is not l.LiterGuid",
             "NoteContent n left join LiteraInfo l on l.DOI = n.DOI where n.LiterGuid is not l.LiterGuid",
             "Label b join NoteContent n on n.PosID = b.NoteID where b.NoteGuid is not n.NoteGuid",
             "Trash t join LiteraInfo l on l.pkid = t.pkid where t.IsDoc = 1 and t.LiterGuid is not l.LiterGuid"})
        EXPECT_EQ(reader.Text(std::string("select count(*) from ") + mismatch), "0") << mismatch;

    // Web pages: pages 3 and 7 follow the largest pkid (6), the live one filed in a new folder,
    // the recycled one in the recycle bin.
    if (moved) {
        EXPECT_EQ(reader.Text("select l.pkid, " + IsGuid("l.DOI") + ", Title, Link, FilePath, l.LastReadTime, "
                              "FileType, r.CreateTime from LiteraInfo l join LiteraRelate r on r.pkid = l.pkid where "
                              "DataType = 6"),
                  "7|1|网页一|http://example.com/1|webpage/p3/index.html|2016-05-02 11:00:00|1|2016-05-01 10:00:00;"
                  "8|1|It's a page|http://example.com/7|webpage/p7/index.html|2016-05-04 11:00:00|1|"
                  "2016-05-03 10:00:00");
        EXPECT_EQ(reader.Text("select t.IsDoc, t.DelTime, t.DOI = l.DOI, t.Path like '网页资料%', (select count(*) "
                              "from CategoryLitera where pkid = 8) from Trash t join LiteraInfo l on l.pkid = t.pkid "
                              "where t.pkid = 8"),
                  "1|2016-06-01 08:00:00|1|1|0");
    }
    EXPECT_EQ(reader.Text("select count(*) from WebPage_Trash"), moved ? "0" : "1");
    if (v == 12) {   // step 13 adds the reading states' time and type, and dates them
        EXPECT_EQ(Said(u"更新题录附件信息表时间字段") + Said(u"更新题录附件信息表类型字段"), 2u);
        EXPECT_EQ(reader.Text("select count(*) from LiteraRelate where ifnull(CreateTime, '') not like "
                              "'20__-__-__ __:__:__'"),
                  "0");
    }
    // Note items: step 15 moves them when it runs and step 12 has copied the reading state (it
    // does so only when LiteraInfo has Locked, from version 7 on).
    if (v >= 7 && v <= 11) {
        EXPECT_EQ(reader.Text("select Locked, LastReadPos, Remark, LastReadTime, IsRead from LiteraRelate where "
                              "pkid = 1"),
                  "1|3|备注一|2016-04-05 06:07:08|1");
    }
    const auto comments = [&](const char* posId) {
        return Package(reader.Text(std::string("select Comments from NoteContent where PosID = '") + posId + "'"));
    };
    const auto markPos = [&](int pkid) {
        return Package(reader.Text("select MarkPos from LiteraRelate where pkid = " + std::to_string(pkid)));
    };
    if (v >= 7 && v <= 14) {
        const std::string head = "(version=2.0 creator=Vexa )(count=auto )";
        EXPECT_EQ(comments("N1"), "Comments" + head + "a=第一条,c=第三条,/");
        EXPECT_EQ(comments("N2"), "Comments" + head + "N2=按位置,/");   // no Comment: its PosID names the item
        EXPECT_EQ(comments("N3"), "Comments" + head + "x=it's marked,/");
        EXPECT_EQ(comments("N4"), "Comments" + head + "/");             // no match: the bare skeleton
        EXPECT_EQ(markPos(1), "NoteSet" + head + "b=第二条,/");
        EXPECT_EQ(markPos(2), "NoteSet" + head + "y=kept,/");
    } else {
        EXPECT_EQ(comments("N1") + comments("N3"),
                  Package(U8(spec.notes[0].comments)) + Package(U8(spec.notes[2].comments)));
        if (v >= 12) {
            EXPECT_EQ(markPos(1), Package(U8(spec.literature[0].notePackage)));
        }
    }
    EXPECT_EQ(reader.Text("select Comments from NoteContent where PosID in ('N5', 'N6') order by PosID"),
              U8(spec.notes[4].comments + u";" + spec.notes[5].comments));

    // The backup: the unit as it was, named after its version and the time, encrypted as well.
    const fs::path folder = testkit::ContentsFolder(unit) / "TavBackup";
    ASSERT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    const fs::path copy = fs::directory_iterator(folder)->path();
    const std::regex name("unit_" + std::to_string(v) + R"(_20\d{6}_\d{6}\.back)");
    EXPECT_TRUE(std::regex_match(copy.filename().string(), name)) << copy;
    EXPECT_THROW(UnitReader(copy, testkit::KeyMode::WithoutKey), testkit::TestkitError);
    UnitReader backup(copy, testkit::KeyMode::WithKey);
    EXPECT_EQ(backup.Text("select (select VersionNum from VersionInfo), (select count(*) from LiteraInfo), (select "
                          "count(*) from WebPage_Trash), (select count(*) from CategoryLitera where CategoryId = 0), "
                          "(select Comments from NoteContent where PosID = 'N1')"),
              std::to_string(v) + "|6|1|1|" + U8(spec.notes[0].comments));
    EXPECT_EQ(backup.HasColumn("Category", "CategoryGuid"), v >= 14);

    // The library entry: every live folder with its parent, the literature of each with its
    // reading state, and the notes pointed at their literature with comments and labels.
    const SLibraryEntryContents contents = Contents();
    EXPECT_TRUE(contents.Entry.Complete && contents.Entry.Name == u"unit");
    std::map<std::u16string, std::u16string> parents;
    for (const auto& row : reader.QueryText("select f.Name, ifnull(p.Name, '<entry>') from Category f left join "
                                            "Category p on p.CategoryId = f.ParentID where f.Recycled = 0"))
        parents[row[0]] = row[1];
    EXPECT_EQ(ParentNames(contents), parents);
    // With fewer than ten folders the walk advances the bar once for each.
    std::map<std::u16string, int32_t> positionOf;
    for (const Line& line : m_lines)
        positionOf.emplace(line.text, line.position);
    EXPECT_EQ(positionOf[u"导入笔记和标注"] - positionOf[u"拷贝网页资料附件"], static_cast<int32_t>(parents.size()) + 1);

    std::multiset<Texts> expected, actual;
    for (const auto& row : reader.QueryText(
             "select f.Name, l.Title, l.Author, l.Media, l.DataType, r.Remark, r.LastReadTime, r.MarkPos, "
             "ifnull(r.Locked, 0), ifnull(r.FileType, 0) from CategoryLitera c join Category f on f.CategoryId = "
             "c.CategoryId join LiteraInfo l on l.pkid = c.pkid join LiteraRelate r on r.pkid = l.pkid where "
             "c.Recycled = 0 and f.Recycled = 0"))
        expected.insert(row);
    std::map<std::u16string, std::shared_ptr<SLiteratureInfo>> literatureOf;
    for (const auto& literature : contents.Literature)
        literatureOf[literature->LiterGuid] = literature;
    for (const auto& node : contents.Folders)
        for (const auto& guid : contents.FolderLiterature.at(node.Folder->FolderGuid)) {
            const SLiteratureInfo& l = *literatureOf.at(guid);
            const SLiteratureRelate& r = *contents.Relates.at(guid);
            actual.insert({node.Folder->Name, l.Title, l.Author, l.Media, l.DataType, r.Remark, r.LastReadTime,
                           r.MarkPos, Number(r.Locked), Number(r.FileType)});
        }
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(contents.Literature.size(), spec.literature.size() + moved);

    // Notes as written (step 6 numbers the locations), pointed at their literature, with the
    // comments of the upgraded unit and its labels.
    const auto notes = NotesByPosId(contents);
    ASSERT_EQ(notes.size(), spec.notes.size());
    for (const auto& n : spec.notes) {
        const SNoteInfo& note = *notes.at(n.posId).Note;
        const auto literature = literatureOf.find(note.LiterGuid);
        const std::string posId = "'" + U8(n.posId) + "'";
        EXPECT_EQ((Texts{Number(note.TypeID), note.Title, note.Content, note.Location, note.Comments,
                         literature == literatureOf.end() ? u"" : literature->second->DOI}),
                  (Texts{Number(n.typeId), n.title, n.content, v < 6 ? Number(n.id + 1) : n.location,
                         reader.QueryText("select Comments from NoteContent where PosID = " + posId)[0][0], n.doi}));
        std::list<std::u16string> labels;
        for (const auto& label :
             reader.QueryText("select LabelText from Label where IsRemoved = 0 and NoteID = " + posId + " group by 1"))
            labels.push_back(label[0]);
        EXPECT_EQ(notes.at(n.posId).Labels, labels) << posId;
    }
    ASSERT_EQ(contents.Attachments.size(), 1u);
    EXPECT_EQ(ReadWholeFile(U8(contents.Attachments[0].StoredPath)), "%PDF-1.4\n% sample attachment\n");
    EXPECT_EQ(ReadWholeFile(UserFolder() / "Notes/N1.txt") + ReadWholeFile(UserFolder() / "webpage/p3/index.html"),
              "note file of N1\n<html><body>page 3</body></html>\n");
}

INSTANTIATE_TEST_SUITE_P(EveryOlderVersion, EndToEndUpgradeTest, ::testing::Range(1, 16),
                         [](const ::testing::TestParamInfo<int32_t>& info) {
                             return "FromVersion" + std::to_string(info.param);
                         });

} // namespace
} // namespace storetest
