// Facts about the units the test kit builds that other store tests rely on.
#include "builder/UnitBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

using testkit::UnitReader;

class UnitBuilderTest : public ::testing::Test {
protected:
    std::filesystem::path Build(const testkit::UnitSpec& spec, const std::string& name = "unit.tav")
    {
        auto path = m_dir.Path() / name;
        testkit::BuildUnit(path, spec);
        return path;
    }

    testkit::ScopedHomeEnv m_home;
    testkit::TempDir m_dir;
};

TEST_F(UnitBuilderTest, VersionOneHasTheOldLiteratureAndWebPageLayout)
{
    UnitReader reader(Build(testkit::SampleSpec(1)));
    EXPECT_FALSE(reader.Encrypted());
    EXPECT_TRUE(reader.HasColumn("LiteraInfo", "Meeting"));
    for (const char* column : {"MediaEn", "Media", "City", "LastReadPage", "LCID", "Locked", "LiterGuid"})
        EXPECT_FALSE(reader.HasColumn("LiteraInfo", column)) << column;
    EXPECT_TRUE(reader.HasColumn("WebPage_Info", "DOI"));
    EXPECT_FALSE(reader.HasColumn("NoteType", "TypeRemarks"));
    EXPECT_FALSE(reader.HasColumn("NoteContent", "Adjunct"));
    EXPECT_FALSE(reader.HasColumn("VersionInfo", "UserKey"));
    for (const char* table : {"LiteraRelate", "Trash", "DownInfo", "PushItem", "NoteRelation", "NoteReply", "NoteLabel"})
        EXPECT_FALSE(reader.HasTable(table)) << table;
    EXPECT_EQ(reader.Scalar("select VersionNum from VersionInfo where ID = 1"), "1");
    EXPECT_EQ(reader.Scalar("select Meeting from LiteraInfo where pkid = 3"), "会议丙");
    EXPECT_EQ(reader.ScalarInt("select count(*) from LiteraInfo"), 6);
    EXPECT_EQ(reader.ScalarInt("select count(*) from NoteType"), 4);
}

TEST_F(UnitBuilderTest, LayoutFollowsTheVersionOfEachStep)
{
    struct Probe {
        const char* table;
        const char* column;
        int32_t since;
    };
    const Probe probes[] = {{"LiteraInfo", "MediaEn", 3},     {"LiteraInfo", "LastReadPage", 4},
                            {"LiteraInfo", "LCID", 5},        {"NoteContent", "Adjunct", 5},
                            {"NoteContent", "Location", 6},   {"LiteraInfo", "Locked", 7},
                            {"Trash", "FolderId", 12},        {"VersionInfo", "UserKey", 12},
                            {"LiteraRelate", "FileType", 13}, {"Category", "CategoryGuid", 14},
                            {"NoteContent", "NoteGuid", 14},  {"NoteContent", "IsPublic", 15},
                            {"Category", "Recycled", 16},     {"CategoryLitera", "DOI", 16}};
    for (int32_t version : {2, 3, 5, 6, 7, 11, 12, 13, 14, 15, 16}) {
        UnitReader reader(Build(testkit::SampleSpec(version), "v" + std::to_string(version) + ".tav"));
        EXPECT_EQ(reader.ScalarInt("select VersionNum from VersionInfo"), version);
        for (const Probe& probe : probes) {
            const bool expected = version >= probe.since;
            EXPECT_EQ(reader.HasColumn(probe.table, probe.column), expected)
                << probe.table << "." << probe.column << " at version " << version;
            EXPECT_EQ(testkit::LayoutHasColumn(version, probe.table, probe.column), expected);
        }
        EXPECT_EQ(reader.HasTable("NoteLabel"), version == 5) << version;
        EXPECT_EQ(reader.HasColumn("WebPage_Info", "DOI"), version <= 12) << version;
        // Every table the history lists is there, with exactly the listed columns.
        for (const std::string& table : testkit::LayoutTables(version))
            EXPECT_EQ(reader.Columns(table), testkit::LayoutColumns(version, table)) << table << " at " << version;
    }
}

TEST_F(UnitBuilderTest, GuidsOwnerAndReadingStateAppearWhereTheVersionHasThem)
{
    {
        UnitReader reader(Build(testkit::SampleSpec(14), "v14.tav"));
        EXPECT_EQ(reader.ScalarInt("select count(*) from Category where length(CategoryGuid) = 32"), 6);
        EXPECT_EQ(reader.ScalarInt("select count(*) from LiteraInfo where length(LiterGuid) = 32"), 6);
        EXPECT_EQ(reader.ScalarInt("select count(*) from NoteContent n join LiteraInfo l on n.DOI = l.DOI "
                                   "where n.LiterGuid = l.LiterGuid"),
                  6);
        EXPECT_EQ(reader.Scalar("select c.ParentGuid = p.CategoryGuid from Category c join Category p "
                                "on c.ParentID = p.CategoryId where c.CategoryId = 3"),
                  "1");
        EXPECT_EQ(reader.Scalar("select UserKey from VersionInfo"), "owner1");
        EXPECT_EQ(reader.Scalar("select LastReadPos from LiteraRelate where Pkid = 1"), "3");
        EXPECT_EQ(reader.Scalar("select MarkPos = (select NoteSets from LiteraInfo where pkid = 2) from LiteraRelate "
                                "where Pkid = 2"),
                  "1");
        EXPECT_EQ(reader.ScalarInt("select count(*) from Trash where IsDoc = 1 and pkid = 4"), 1);
        EXPECT_EQ(reader.ScalarInt("select count(*) from WebPage_Trash where pkid = 7"), 1);
    }
    {
        UnitReader reader(Build(testkit::SampleSpec(11), "v11.tav"));
        EXPECT_EQ(reader.Scalar("select LastReadPage from LiteraInfo where pkid = 1"), "3");
        EXPECT_EQ(reader.ScalarInt("select Locked from LiteraInfo where pkid = 1"), 1);
        EXPECT_EQ(reader.ScalarInt("select count(*) from DownInfo"), 2);
    }
}

TEST_F(UnitBuilderTest, EncryptedUnitsOpenOnlyWithTheKey)
{
    auto spec = testkit::SampleSpec(9);
    spec.encrypted = true;
    const auto path = Build(spec);
    EXPECT_FALSE(UnitReader::OpensWithoutKey(path));
    EXPECT_TRUE(UnitReader::OpensWithKey(path));
    EXPECT_THROW(UnitReader(path, testkit::KeyMode::WithoutKey), testkit::TestkitError);
    UnitReader reader(path);
    EXPECT_TRUE(reader.Encrypted());
    EXPECT_EQ(reader.Scalar("select TavId from VersionInfo"), "7C1D2E3F4A5B6C7D8E9F0A1B2C3D4E5F");

    // The raw file carries no SQLite header: it is really encrypted.
    std::ifstream in(path, std::ios::binary);
    std::string head(16, '\0');
    in.read(head.data(), 16);
    EXPECT_NE(head, std::string("SQLite format 3\0", 16));

    const auto plain = Build(testkit::SampleSpec(9), "plain.tav");
    EXPECT_TRUE(UnitReader::OpensWithoutKey(plain));
    EXPECT_FALSE(UnitReader::OpensWithKey(plain));
}

TEST_F(UnitBuilderTest, CompanionFolderAndNotePackages)
{
    const auto path = Build(testkit::SampleSpec(9), "a.b.tav");
    const auto contents = m_dir.Path() / "a.b_contents";
    EXPECT_EQ(testkit::ContentsFolder(path), contents);
    EXPECT_TRUE(std::filesystem::is_regular_file(contents / "a1.pdf"));
    EXPECT_TRUE(std::filesystem::is_regular_file(contents / "webpage" / "p3" / "index.html"));
    EXPECT_TRUE(std::filesystem::is_regular_file(contents / "Notes" / "N1.txt"));

    EXPECT_EQ(testkit::MakeNoteComments({u"a", u"c"}),
              u"<Comments><Note-Package><NoteItems><Comment id=\"a\"/><Comment id=\"c\"/></NoteItems></Note-Package>"
              u"</Comments>");
    const std::u16string package = testkit::MakeNotePackage({{u"x", u"it's <b>"}}, {{u"v", u"1"}}, {});
    EXPECT_EQ(package, u"<NoteSet><Note-Package v=\"1\"><NoteItems><Item id=\"x\" page=\"1\">it's &lt;b&gt;</Item>"
                       u"</NoteItems></Note-Package></NoteSet>");
}

TEST_F(UnitBuilderTest, RebuildingReplacesTheFileAndBadVersionsAreRefused)
{
    const auto path = Build(testkit::SampleSpec(16));
    auto small = testkit::SampleSpec(16);
    small.literature.resize(1);
    small.notes.clear();
    small.labels.clear();
    small.downloads.clear();
    testkit::BuildUnit(path, small);
    UnitReader reader(path);
    EXPECT_EQ(reader.ScalarInt("select count(*) from LiteraInfo"), 1);
    EXPECT_TRUE(reader.HasTable("NoteReply"));

    auto bad = testkit::SampleSpec(16);
    bad.version = 17;
    EXPECT_THROW(testkit::BuildUnit(m_dir.Path() / "bad.tav", bad), testkit::TestkitError);
}

TEST_F(UnitBuilderTest, HomeAndTempFoldersArePrivateAndCleanedUp)
{
    std::filesystem::path kept;
    {
        testkit::TempDir dir;
        kept = dir.Path();
        std::ofstream(dir.Path() / "f") << "x";
        EXPECT_TRUE(std::filesystem::exists(kept / "f"));
    }
    EXPECT_FALSE(std::filesystem::exists(kept));

    const std::string outer = std::getenv("HOME");
    {
        testkit::ScopedHomeEnv inner;
        EXPECT_EQ(std::string(std::getenv("HOME")), inner.Home().string());
        EXPECT_EQ(std::string(std::getenv("XDG_DATA_HOME")), (inner.Home() / ".local" / "share").string());
    }
    EXPECT_EQ(std::string(std::getenv("HOME")), outer);
    EXPECT_EQ(testkit::U16(testkit::U8(u"学习单元 \U0001F600")), u"学习单元 \U0001F600");
}

}  // namespace
