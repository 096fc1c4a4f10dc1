// CTavDB::Init on units the test kit writes at every older layout version: a version-16 unit
// with all data kept, every GUID filled, web pages and note items moved, and a backup.
#include "builder/UnitBuilder.h"
#include "store/TavDB.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <map>
#include <regex>
#include <set>

namespace {

using testkit::U16;
using testkit::U8;
using testkit::UnitReader;

bool IsGuid(const std::string& text)
{
    return text.size() == 32 &&
           std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

// A note package (NoteSet or Comments) as the tests look at it.
struct Package {
    bool parsed = false;
    std::string root;
    std::map<std::string, std::string> packageAttributes;
    std::map<std::string, std::string> itemsAttributes;
    std::vector<std::pair<std::string, std::string>> items;   // Item id, text
    std::vector<std::string> commentIds;
};

Package ReadPackage(const std::u16string& text)
{
    Package result;
    pugi::xml_document doc;
    if (text.empty() || !doc.load_string(U8(text).c_str()))
        return result;
    result.parsed = true;
    pugi::xml_node root = doc.document_element();
    result.root = root.name();
    pugi::xml_node package = root.child("Note-Package");
    for (pugi::xml_attribute a : package.attributes())
        result.packageAttributes[a.name()] = a.value();
    pugi::xml_node items = package.child("NoteItems");
    for (pugi::xml_attribute a : items.attributes())
        result.itemsAttributes[a.name()] = a.value();
    for (pugi::xml_node item : items.children("Item"))
        result.items.emplace_back(item.attribute("id").value(), item.text().get());
    for (pugi::xml_node comment : items.children("Comment"))
        result.commentIds.emplace_back(comment.attribute("id").value());
    return result;
}

std::vector<std::string> ItemIds(const Package& package)
{
    std::vector<std::string> ids;
    for (const auto& item : package.items)
        ids.push_back(item.first);
    return ids;
}

std::string LocalStamp(std::time_t when)
{
    std::tm local{};
    localtime_r(&when, &local);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y%m%d_%H%M%S", &local);
    return buffer;
}

class EndToEndUpgradeTest : public ::testing::TestWithParam<int32_t> {
protected:
    void SetUp() override
    {
        g_cancelFlag.store(0);
        m_version = GetParam();
        m_spec = testkit::SampleSpec(m_version);
        m_unit = m_dir.Path() / "unit.tav";
        testkit::BuildUnit(m_unit, m_spec);

        m_before = std::time(nullptr);
        std::u16string tavId;
        CTavDB store;
        store.SetPauseMilliseconds(0);
        m_result = store.Init(U16(m_unit.string()), tavId, u"owner1",
                              [this](int32_t, int32_t, const std::u16string& text) {
                                  m_lines.push_back(text);
                                  return 1;
                              });
        m_after = std::time(nullptr);
        m_tavId = tavId;
    }
    void TearDown() override { g_cancelFlag.store(0); }

    bool Reported(const std::u16string& text) const
    {
        return std::find(m_lines.begin(), m_lines.end(), text) != m_lines.end();
    }
    // Whether step 15 moves note items: the steps must have copied the reading state (step 12
    // does so only when LiteraInfo has Locked, from version 7 on) and step 15 must run.
    bool ItemsMove() const { return m_version >= 7 && m_version <= 14; }
    std::u16string Comments(UnitReader& reader, const std::string& posId)
    {
        const auto rows = reader.QueryText("select Comments from NoteContent where PosID = '" + posId + "'");
        return rows.empty() ? u"<missing>" : rows[0][0];
    }
    std::u16string MarkPos(UnitReader& reader, int pkid)
    {
        const auto rows = reader.QueryText("select MarkPos from LiteraRelate where pkid = " + std::to_string(pkid));
        return rows.empty() ? u"<missing>" : rows[0][0];
    }
    const testkit::NoteSpec& Note(const std::string& posId) const
    {
        for (const auto& note : m_spec.notes)
            if (U8(note.posId) == posId)
                return note;
        throw std::out_of_range(posId);
    }

    void EndsAtVersion16WithTheWholeLayout();
    void KeepsEveryRow();
    void FillsEveryGuid();
    void RootLiteratureFolderGetsAGuid();
    void MovesWebPagesIntoLiterature();
    void MovesNoteItemsIntoTheirNotes();
    void BacksUpTheUnitAsItWasBeforeTheSteps();

    testkit::ScopedHomeEnv m_home;
    testkit::TempDir m_dir;
    int32_t m_version = 0;
    testkit::UnitSpec m_spec;
    std::filesystem::path m_unit;
    std::time_t m_before = 0;
    std::time_t m_after = 0;
    int m_result = -1;
    std::u16string m_tavId;
    std::vector<std::u16string> m_lines;
};

void EndToEndUpgradeTest::EndsAtVersion16WithTheWholeLayout()
{
    // Until the import is complete the run may end in "更新学习单元失败"; the owner check passes.
    EXPECT_TRUE(m_result == 0 || m_result == kTavImportFailed) << std::hex << m_result;
    EXPECT_FALSE(Reported(u"导入学习单元失败，您没有权限读取该学习单元数据。"));
    for (int32_t v = m_version + 1; v <= 16; ++v)
        EXPECT_TRUE(Reported(u"学习单元数据升级到版本" + U16(std::to_string(v)) + u"...")) << v;
    EXPECT_EQ(U8(m_tavId), "7C1D2E3F4A5B6C7D8E9F0A1B2C3D4E5F");

    ASSERT_FALSE(UnitReader::OpensWithoutKey(m_unit)) << "the unit must be encrypted by Init";
    UnitReader reader(m_unit, testkit::KeyMode::WithKey);
    EXPECT_EQ(reader.ScalarInt("select VersionNum from VersionInfo where ID = 1"), 16);
    for (const std::string& table : testkit::LayoutTables(16)) {
        ASSERT_TRUE(reader.HasTable(table)) << table;
        for (const std::string& column : testkit::UpgradedColumns(table)) {
            // Step 7 adds Locked after creating Trash, which the table-creation pass has already
            // made, so the step ends first; only the import's readers add Locked to such units.
            if (m_version < 7 && table == "LiteraInfo" && column == "Locked")
                continue;
            EXPECT_TRUE(reader.HasColumn(table, column)) << table << "." << column;
        }
    }
    EXPECT_FALSE(reader.HasTable("NoteLabel"));
    EXPECT_FALSE(reader.HasColumn("WebPage_Info", "DOI"));
    EXPECT_EQ(reader.Scalar("select TypeRemarks from NoteType where ID = 4"), "Impression");
}

void EndToEndUpgradeTest::KeepsEveryRow()
{
    UnitReader reader(m_unit, testkit::KeyMode::WithKey);
    for (const auto& l : m_spec.literature) {
        const auto rows = reader.QueryText("select DOI, Title, Author from LiteraInfo where pkid = " + std::to_string(l.pkid));
        ASSERT_EQ(rows.size(), 1u) << l.pkid;
        EXPECT_EQ(rows[0], (testkit::TextRow{l.doi, l.title, l.author})) << l.pkid;
    }
    EXPECT_EQ(reader.ScalarInt("select count(*) from LiteraInfo where DataType <> 6"), 6);
    if (m_version >= 4) {
        EXPECT_EQ(reader.Scalar("select LastReadPage from LiteraInfo where pkid = 1"), "3");
    }
    // Media: step 2 copies Source; before that the creation pass copies Meeting for DataType 4.
    if (m_version == 2) {
        EXPECT_EQ(reader.Scalar("select Media from LiteraInfo where pkid = 3"), "会议丙");
    } else {
        EXPECT_EQ(reader.Scalar("select Media from LiteraInfo where pkid = 3"), "会议录");
        EXPECT_EQ(reader.Scalar("select Media from LiteraInfo where pkid = 1"), "期刊甲");
    }

    for (const auto& f : m_spec.folders) {
        const auto rows = reader.QueryText("select Name, ParentID from Category where CategoryId = " + std::to_string(f.id));
        ASSERT_EQ(rows.size(), 1u) << f.id;
        EXPECT_EQ(rows[0], (testkit::TextRow{f.name, U16(std::to_string(f.parentId))}));
    }
    for (const auto& l : m_spec.literature) {
        for (int32_t folder : l.folderIds) {
            if (folder != 0) {
                EXPECT_EQ(reader.ScalarInt("select count(*) from CategoryLitera where CategoryId = " +
                                           std::to_string(folder) + " and pkid = " + std::to_string(l.pkid)),
                          1)
                    << l.pkid << " in " << folder;
            }
        }
    }
    // The root-filed literature moves into "要学习的文献".
    EXPECT_EQ(reader.ScalarInt("select count(*) from CategoryLitera where CategoryId = 0"), 0);
    EXPECT_EQ(reader.ScalarInt("select count(*) from CategoryLitera cl join Category c on c.CategoryId = cl.CategoryId "
                               "where cl.pkid = 3 and c.Name = '要学习的文献' and c.ParentID = 0"),
              1);

    for (const auto& n : m_spec.notes) {
        const auto rows = reader.QueryText("select ID, TypeID, Title, Content, DOI, Location from NoteContent where PosID = '" +
                                           U8(n.posId) + "'");
        ASSERT_EQ(rows.size(), 1u) << U8(n.posId);
        const std::u16string location = m_version < 6 ? U16(std::to_string(n.id + 1)) : n.location;
        EXPECT_EQ(rows[0], (testkit::TextRow{U16(std::to_string(n.id)), U16(std::to_string(n.typeId)), n.title, n.content,
                                             n.doi, location}))
            << U8(n.posId);
    }

    // Labels: step 6 rebuilds them from the note types; later units keep their own.
    std::set<std::pair<std::u16string, std::u16string>> expected;
    if (m_version < 6) {
        const char16_t* types[] = {u"", u"知识点", u"注释", u"问题", u"读后感"};
        for (const auto& n : m_spec.notes)
            expected.emplace(types[n.typeId], n.posId);
    } else {
        for (const auto& l : m_spec.labels)
            expected.emplace(l.text, l.notePosId);
    }
    std::set<std::pair<std::u16string, std::u16string>> labels;
    for (const auto& row : reader.QueryText("select LabelText, NoteID from Label"))
        labels.emplace(row[0], row[1]);
    EXPECT_EQ(labels, expected);

    if (m_version >= 7) {
        EXPECT_EQ(reader.ScalarInt("select count(*) from DownInfo"), 2);
        EXPECT_EQ(reader.ScalarInt("select count(*) from Trash where IsDoc = 1 and pkid = 4"), 1);
        EXPECT_EQ(reader.ScalarInt("select count(*) from Trash where IsDoc = 0 and Path = '回收的文件夹\\'"), 1);
    }
    EXPECT_EQ(reader.ScalarInt("select count(*) from WebPage_Info"), 2);
}

void EndToEndUpgradeTest::FillsEveryGuid()
{
    UnitReader reader(m_unit, testkit::KeyMode::WithKey);
    // Folders of the unit and the web-page folder of step 13 (the one made afterwards for root
    // literature is checked on its own below).
    std::set<std::string> folderGuids;
    for (const auto& row : reader.QueryUtf8("select CategoryId, CategoryGuid from Category where Name <> '要学习的文献'")) {
        EXPECT_TRUE(IsGuid(row[1])) << "folder " << row[0] << ": '" << row[1] << "'";
        folderGuids.insert(row[1]);
    }
    EXPECT_EQ(folderGuids.size(), m_spec.folders.size() + (m_version <= 12 ? 1 : 0));
    EXPECT_EQ(reader.ScalarInt("select count(*) from Category c join Category p on c.ParentID = p.CategoryId "
                               "where c.ParentID <> 0 and (c.ParentGuid is null or c.ParentGuid <> p.CategoryGuid)"),
              0);

    std::set<std::string> literGuids;
    for (const auto& row : reader.QueryUtf8("select pkid, LiterGuid from LiteraInfo")) {
        EXPECT_TRUE(IsGuid(row[1])) << "literature " << row[0] << ": '" << row[1] << "'";
        literGuids.insert(row[1]);
    }
    EXPECT_EQ(literGuids.size(), m_spec.literature.size() + (m_version <= 12 ? m_spec.webPages.size() : 0));

    // Tables that refer to literature, folders and notes carry the matching GUIDs.
    EXPECT_EQ(reader.ScalarInt("select count(*) from CategoryLitera cl join LiteraInfo l on l.pkid = cl.pkid "
                               "where cl.LiterGuid is null or cl.LiterGuid <> l.LiterGuid"),
              0);
    EXPECT_EQ(reader.ScalarInt("select count(*) from CategoryLitera cl join Category c on c.CategoryId = cl.CategoryId "
                               "where c.Name <> '要学习的文献' and (cl.CategoryGuid is null or cl.CategoryGuid <> c.CategoryGuid)"),
              0);
    EXPECT_EQ(reader.ScalarInt("select count(*) from LiteraRelate r join LiteraInfo l on l.pkid = r.pkid "
                               "where r.LiterGuid is null or r.LiterGuid <> l.LiterGuid"),
              0);
    EXPECT_EQ(reader.ScalarInt("select count(*) from DownInfo d join LiteraInfo l on l.pkid = d.pkid "
                               "where d.LiterGuid is null or d.LiterGuid <> l.LiterGuid"),
              0);
    std::set<std::string> noteGuids;
    for (const auto& row : reader.QueryUtf8("select PosID, NoteGuid from NoteContent")) {
        EXPECT_TRUE(IsGuid(row[1])) << "note " << row[0];
        noteGuids.insert(row[1]);
    }
    EXPECT_EQ(noteGuids.size(), m_spec.notes.size());
    // Notes find their literature by DOI, also a DOI with an apostrophe.
    EXPECT_EQ(reader.ScalarInt("select count(*) from NoteContent n join LiteraInfo l on l.DOI = n.DOI "
                               "where n.LiterGuid is null or n.LiterGuid <> l.LiterGuid"),
              0);
    EXPECT_EQ(reader.ScalarInt("select count(*) from NoteContent where PosID in ('N3', 'N4') and length(LiterGuid) = 32"), 2);
    EXPECT_EQ(reader.ScalarInt("select count(*) from Label b join NoteContent n on n.PosID = b.NoteID "
                               "where b.NoteGuid is null or b.NoteGuid <> n.NoteGuid"),
              0);
    for (const auto& row : reader.QueryUtf8("select ID, TrashGuid from Trash"))
        EXPECT_TRUE(IsGuid(row[1])) << "trash " << row[0];
    EXPECT_EQ(reader.ScalarInt("select count(*) from Trash t join LiteraInfo l on l.pkid = t.pkid "
                               "where t.IsDoc = 1 and (t.LiterGuid is null or t.LiterGuid <> l.LiterGuid)"),
              0);
}

void EndToEndUpgradeTest::RootLiteratureFolderGetsAGuid()
{
    // The folder that takes root-filed literature after the steps is a folder like any other:
    // without a GUID (and without GUIDs on its links) it cannot be synchronised.
    UnitReader reader(m_unit, testkit::KeyMode::WithKey);
    const auto rows = reader.QueryUtf8("select CategoryId, CategoryGuid from Category where Name = '要学习的文献'");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_TRUE(IsGuid(rows[0][1])) << "'" << rows[0][1] << "'";
    EXPECT_EQ(reader.Scalar("select CategoryGuid = '" + rows[0][1] + "' from CategoryLitera where pkid = 3"), "1");
}

void EndToEndUpgradeTest::MovesWebPagesIntoLiterature()
{
    UnitReader reader(m_unit, testkit::KeyMode::WithKey);
    if (m_version >= 13) {
        EXPECT_EQ(reader.ScalarInt("select count(*) from LiteraInfo where DataType = 6"), 0);
        EXPECT_EQ(reader.ScalarInt("select count(*) from WebPage_Trash"), 1);
        return;
    }
    // Pages 3 and 7 follow the largest pkid (6) in pkid order.
    const auto rows = reader.QueryText(
        "select pkid, DOI, Title, Link, FilePath, LastReadTime from LiteraInfo where DataType = 6 order by pkid");
    ASSERT_EQ(rows.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const auto& page = m_spec.webPages[i];
        EXPECT_EQ(rows[i][0], U16(std::to_string(7 + i)));
        EXPECT_TRUE(IsGuid(U8(rows[i][1]))) << "DOI is an MD5 text: " << U8(rows[i][1]);
        EXPECT_EQ(rows[i][2], page.title);
        EXPECT_EQ(rows[i][3], page.link);
        EXPECT_EQ(rows[i][4], page.filePath);
        EXPECT_EQ(rows[i][5], page.lastReadTime);
        const auto relate = reader.QueryText("select FileType, CreateTime from LiteraRelate where pkid = " +
                                             std::to_string(7 + i));
        ASSERT_EQ(relate.size(), 1u);
        EXPECT_EQ(relate[0], (testkit::TextRow{u"1", page.createTime}));
    }
    // The live page is filed in a new top-level folder, the recycled one in the recycle bin.
    EXPECT_EQ(reader.ScalarInt("select count(*) from CategoryLitera cl join Category c on c.CategoryId = cl.CategoryId "
                               "where cl.pkid = 7 and c.Name = '网页资料' and c.ParentID = 0"),
              1);
    EXPECT_EQ(reader.ScalarInt("select count(*) from CategoryLitera where pkid = 8"), 0);
    const auto trash = reader.QueryText("select IsDoc, DelTime, DOI, Path from Trash where pkid = 8");
    ASSERT_EQ(trash.size(), 1u);
    EXPECT_EQ(trash[0][0], u"1");
    EXPECT_EQ(trash[0][1], m_spec.webPages[1].delTime);
    EXPECT_EQ(trash[0][2], rows[1][1]);
    EXPECT_EQ(trash[0][3].rfind(u"网页资料", 0), 0u) << U8(trash[0][3]);
    EXPECT_EQ(reader.ScalarInt("select count(*) from WebPage_Trash"), 0);
}

void EndToEndUpgradeTest::MovesNoteItemsIntoTheirNotes()
{
    UnitReader reader(m_unit, testkit::KeyMode::WithKey);
    if (m_version >= 7 && m_version <= 11) {
        // Step 12 copied the reading state out of LiteraInfo.
        const auto rows = reader.QueryText("select Locked, LastReadPos, Remark, LastReadTime, IsRead from LiteraRelate "
                                           "where pkid = 1");
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0], (testkit::TextRow{u"1", u"3", u"备注一", u"2016-04-05 06:07:08", u"1"}));
    }
    if (!ItemsMove()) {
        for (const auto& n : m_spec.notes)
            EXPECT_EQ(Comments(reader, U8(n.posId)), n.comments) << U8(n.posId);
        if (m_version >= 12) {
            EXPECT_EQ(MarkPos(reader, 1), m_spec.literature[0].notePackage);
        }
        return;
    }

    const auto packageAttributes = ReadPackage(m_spec.literature[0].notePackage).packageAttributes;
    const auto itemsAttributes = ReadPackage(m_spec.literature[0].notePackage).itemsAttributes;
    const auto expectItems = [&](const std::string& posId, const std::vector<std::pair<std::string, std::string>>& items) {
        const Package p = ReadPackage(Comments(reader, posId));
        ASSERT_TRUE(p.parsed) << posId << ": " << U8(Comments(reader, posId));
        EXPECT_EQ(p.root, "Comments") << posId;
        EXPECT_EQ(p.packageAttributes, packageAttributes) << posId;
        EXPECT_EQ(p.itemsAttributes, itemsAttributes) << posId;
        EXPECT_EQ(p.items, items) << posId;
        EXPECT_TRUE(p.commentIds.empty()) << posId;
    };
    expectItems("N1", {{"a", "第一条"}, {"c", "第三条"}});
    expectItems("N2", {{"N2", "按位置"}});          // no Comment elements: its PosID names the item
    expectItems("N3", {{"x", "it's marked"}});     // apostrophe survives the statement
    expectItems("N4", {});                         // no match: the bare skeleton
    EXPECT_EQ(Comments(reader, "N5"), Note("N5").comments);   // empty Comments stay as they were
    EXPECT_EQ(Comments(reader, "N6"), Note("N6").comments);   // its literature has no note package

    const Package first = ReadPackage(MarkPos(reader, 1));
    ASSERT_TRUE(first.parsed) << U8(MarkPos(reader, 1));
    EXPECT_EQ(first.root, "NoteSet");
    EXPECT_EQ(ItemIds(first), std::vector<std::string>{"b"});
    EXPECT_EQ(first.packageAttributes, packageAttributes);
    const Package second = ReadPackage(MarkPos(reader, 2));
    EXPECT_EQ(ItemIds(second), std::vector<std::string>{"y"});
}

void EndToEndUpgradeTest::BacksUpTheUnitAsItWasBeforeTheSteps()
{
    const auto folder = testkit::ContentsFolder(m_unit) / "TavBackup";
    ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files.push_back(entry.path());
    ASSERT_EQ(files.size(), 1u);
    const std::string name = files[0].filename().string();
    const std::regex pattern("unit_" + std::to_string(m_version) + R"(_(\d{8}_\d{6})\.back)");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(name, match, pattern)) << name;
    EXPECT_GE(match[1].str(), LocalStamp(m_before)) << name;
    EXPECT_LE(match[1].str(), LocalStamp(m_after)) << name;

    EXPECT_FALSE(UnitReader::OpensWithoutKey(files[0]));
    UnitReader backup(files[0], testkit::KeyMode::WithKey);
    EXPECT_EQ(backup.ScalarInt("select VersionNum from VersionInfo"), m_version);
    EXPECT_EQ(backup.ScalarInt("select count(*) from LiteraInfo"), 6);
    EXPECT_EQ(backup.ScalarInt("select count(*) from WebPage_Trash"), 1);
    EXPECT_EQ(backup.HasColumn("Category", "CategoryGuid"), m_version >= 14);
    EXPECT_EQ(backup.HasColumn("NoteContent", "NoteGuid"), m_version >= 14);
    for (const auto& n : m_spec.notes) {
        const auto rows = backup.QueryText("select Comments from NoteContent where PosID = '" + U8(n.posId) + "'");
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0][0], n.comments) << U8(n.posId);
    }
    EXPECT_EQ(backup.ScalarInt("select count(*) from CategoryLitera where CategoryId = 0"), 1);
}

TEST_P(EndToEndUpgradeTest, KeepsDataFillsGuidsMovesPagesAndItemsAndBacksUp)
{
    EndsAtVersion16WithTheWholeLayout();
    KeepsEveryRow();
    FillsEveryGuid();
    RootLiteratureFolderGetsAGuid();
    MovesWebPagesIntoLiterature();
    MovesNoteItemsIntoTheirNotes();
    BacksUpTheUnitAsItWasBeforeTheSteps();
}

TEST(EndToEndUpgradeEncryptedTest, EncryptedUnitIsUpgradedInPlaceAndBackedUpEncrypted)
{
    // The same road as above, but the unit arrives already keyed (the usual case in the field).
    testkit::ScopedHomeEnv home;
    testkit::TempDir dir;
    auto spec = testkit::SampleSpec(9);
    spec.encrypted = true;
    const auto unit = dir.Path() / "keyed.tav";
    testkit::BuildUnit(unit, spec);
    g_cancelFlag.store(0);
    std::u16string tavId;
    int result = -1;
    {
        CTavDB store;
        store.SetPauseMilliseconds(0);
        result = store.Init(U16(unit.string()), tavId, u"OWNER1", nullptr);
    }
    EXPECT_TRUE(result == 0 || result == kTavImportFailed) << std::hex << result;
    EXPECT_EQ(U8(tavId), "7C1D2E3F4A5B6C7D8E9F0A1B2C3D4E5F");
    UnitReader reader(unit, testkit::KeyMode::WithKey);
    EXPECT_EQ(reader.ScalarInt("select VersionNum from VersionInfo"), 16);
    EXPECT_EQ(ItemIds(ReadPackage(reader.QueryText("select Comments from NoteContent where PosID = 'N1'").at(0).at(0))),
              (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(reader.ScalarInt("select count(*) from LiteraInfo where DataType = 6"), 2);

    const auto folder = testkit::ContentsFolder(unit) / "TavBackup";
    ASSERT_TRUE(std::filesystem::is_directory(folder));
    const auto backup = std::filesystem::directory_iterator(folder)->path();
    EXPECT_EQ(backup.filename().string().rfind("keyed_9_", 0), 0u) << backup;
    UnitReader old(backup, testkit::KeyMode::WithKey);
    EXPECT_EQ(old.ScalarInt("select VersionNum from VersionInfo"), 9);
}

INSTANTIATE_TEST_SUITE_P(EveryOlderVersion, EndToEndUpgradeTest, ::testing::Range(1, 16),
                         [](const ::testing::TestParamInfo<int32_t>& info) {
                             return "FromVersion" + std::to_string(info.param);
                         });

}  // namespace
