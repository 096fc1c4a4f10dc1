// The export as real bibliography tools read it: pandoc (CSL-JSON and biblatex), biber's data
// model check, a second BibTeX parser, and a strict RIS line check.
#include "library/ExportModel.h"
#include "library/LibraryErrors.h"
#include "library/LibraryExport.h"
#include "library/LibraryReader.h"
#include "library/OvDataMiddle.h"
#include "support/SupportTestEnv.h"
#include "support/SyncPathOverride.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string U8(const std::u16string& text) { return WideToUtf8(text); }

// One literature as a unit would bring it, and what each format must make of it.
struct SRecord {
    std::u16string type{}, title{}, author{}, source{}, year{}, pubTime{}, roll{}, period{}, page{}, doi{};
    std::u16string degree{}, publisher{}, place{}, organ{}, eTitle{}, eAuthor{}, lcid = u"2052";
    std::vector<std::pair<std::u16string, std::list<std::u16string>>> notes{};
    bool attached = false;
    bool inSubfolder = false;
    // Expected: CSL type, DOI ("" none), authors as "family|given" or the literal, a key ("" any).
    std::string cslType{}, cslDoi{};
    std::vector<std::string> authors{};
    std::string key{};
};

const std::vector<SRecord>& Records()
{
    static const std::vector<SRecord> records = {
        {.type = u"5", .title = u"The {DNA} repair of 50% & more: a_b #1 ~ ^ \\ {lone", .author = u"Smith, John; O'Neil, Mary; Müller, Jörg",
         .source = u"Journal of Things & Stuff", .year = u"2019", .pubTime = u"2019-05-13", .roll = u"12", .period = u"3",
         .page = u"100-115", .doi = u"https://doi.org/10.1000/xyz.123", .publisher = u"Elsevier", .lcid = u"1033",
         .notes = {{u"Check 100% of it & {this}", {u"重点", u"a&b"}}, {u"second\nline", {}}},
         .cslType = "article-journal", .cslDoi = "10.1000/xyz.123", .authors = {"Smith|John", "O'Neil|Mary", "Müller|Jörg"}},
        {.type = u"5", .title = u"中文期刊论文：基因编辑", .author = u"张三;李四；王五", .source = u"中国科学", .year = u"2020",
         .roll = u"5", .period = u"2", .page = u"1~10", .doi = u"10.1360/abc-2020", .notes = {{u"很好", {u"复习"}}},
         .attached = true, .cslType = "article-journal", .cslDoi = "10.1360/abc-2020", .authors = {"张三", "李四", "王五"}},
        {.type = u"1", .title = u"事物原理", .author = u"赵六，钱七", .year = u"2018", .publisher = u"科学出版社", .place = u"北京",
         .eTitle = u"Principles of Things", .eAuthor = u"Zhao, Liu", .cslType = "book", .authors = {"赵六", "钱七"},
         .key = "zhao2018principles"},
        {.type = u"2", .title = u"Deep Learning for \\LaTeX{} users", .author = u"Alan Turing", .source = u"Proc. of ICML}",
         .year = u"2017", .page = u"5-9", .doi = u"doi:10.5555/12345", .publisher = u"ACM", .place = u"New York",
         .cslType = "paper-conference", .cslDoi = "10.5555/12345", .authors = {"Turing|Alan"}, .key = "turing2017deep"},
        {.type = u"3", .title = u"博士论文题目", .author = u"孙八", .year = u"2016", .degree = u"博士", .organ = u"北京大学",
         .cslType = "thesis", .authors = {"孙八"}},
        {.type = u"3", .title = u"A study of O'Brien's method", .author = u"Doe, Jane", .year = u"2015", .degree = u"Master",
         .organ = u"MIT", .lcid = u"1033", .cslType = "thesis", .authors = {"Doe|Jane"}, .key = "doe2015study"},
        {.type = u"4", .title = u"Annual report", .author = u"World Bank", .year = u"2014", .period = u"7",
         .organ = u"World Bank", .cslType = "report", .authors = {"Bank|World"}},
        {.type = u"6", .title = u"新闻报道", .author = u"记者甲", .source = u"人民日报", .pubTime = u"2021-03-04",
         .cslType = "article-newspaper", .authors = {"记者甲"}},
        {.type = u"6", .title = u"Saved page 'quoted'", .doi = u"0123456789ABCDEF0123456789ABCDEF",
         .cslType = "webpage", .key = "saved"},
        {.type = u"7", .title = u"Miscellany", .author = u"Smith, John", .year = u"2019", .place = u"Berlin",
         .cslType = "document", .authors = {"Smith|John"}, .key = "smith2019miscellany"},
        {.type = u"5", .title = u"DNA again", .author = u"Smith, J.", .source = u"J", .year = u"2019", .doi = u"10.1000/not a doi",
         .inSubfolder = true, .cslType = "article-journal", .authors = {"Smith|J."}, .key = "smith2019dna"},
    };
    return records;
}

using supporttest::RunCommand;

bool HaveTool(const std::string& probe)
{
    std::string output;
    return RunCommand(probe, output) == 0;
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// A library with one entry holding every record (added in reverse order, so that adding and
// export order differ), the notes and one attachment.
class ExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetSyncPathOverride(Utf8ToWide((m_home.Root() / "sync").string()));
        OvSysUser::Instance().SetUser(u"alice");
        IOvDataMiddle::Initialize(-1);
        IOvDataMiddle& service = IOvDataMiddle::Instance();
        auto unit = std::make_shared<STavInfo>();
        unit->Name = u"导出";
        ASSERT_EQ(kLibraryOk, service.CreateLearningUnit(unit, u"alice", 0, 0));
        m_tavGuid = unit->TavGuid;
        std::u16string folders[2];
        for (int i = 0; i < 2; ++i) {
            auto folder = std::make_shared<SLiteratureFolder>();
            std::tie(folder->Name, folder->ParentGuid) = std::make_tuple(i == 0 ? u"文献夹" : u"子夹", i == 0 ? m_tavGuid : folders[0]);
            ASSERT_EQ(kLibraryOk, service.AddFolder(folder, m_tavGuid, u"alice", 0));
            folders[i] = folder->FolderGuid;
        }
        const fs::path source = m_home.Root() / "paper's.pdf";
        supporttest::WriteWholeFile(source, "%PDF");
        for (auto record = Records().rbegin(); record != Records().rend(); ++record) {
            auto info = std::make_shared<SLiteratureInfo>();
            const SRecord& r = *record;
            std::tie(info->DataType, info->Title, info->Author, info->Source, info->Pub_Year, info->PubTime, info->Roll,
                     info->Period, info->Page, info->DOI) =
                std::tie(r.type, r.title, r.author, r.source, r.year, r.pubTime, r.roll, r.period, r.page, r.doi);
            std::tie(info->Degree, info->Publisher, info->PubLocate, info->Organ, info->ETitle, info->EAuthor, info->LCID) =
                std::tie(r.degree, r.publisher, r.place, r.organ, r.eTitle, r.eAuthor, r.lcid);
            if (r.attached) {
                ASSERT_EQ(kLibraryOk, service.StoreAttachment(info->FilePath, Utf8ToWide(source.string()), u"alice", m_tavGuid));
            }
            ASSERT_EQ(kLibraryOk, service.AddLiterature(info, m_tavGuid, u"alice", folders[r.inSubfolder ? 1 : 0], 0, 0));
            m_guids[U8(r.title)] = U8(info->LiterGuid);
            for (const auto& [text, labels] : r.notes) {
                auto note = std::make_shared<SNoteInfo>();
                std::tie(note->LiterGuid, note->ContentText) = std::tie(info->LiterGuid, text);
                ASSERT_EQ(kLibraryOk, service.AddNote(note, labels, m_tavGuid, u"alice", 0));
            }
        }
        ASSERT_EQ(kLibraryOk, service.CompleteLearningUnit(m_tavGuid, u"alice"));
        ASSERT_EQ(kLibraryOk, CLibraryReader(u"alice").ReadEntryContents(m_tavGuid, m_contents));
    }
    void TearDown() override
    {
        IOvDataMiddle::Uninitialize();
        OvSysUser::Instance().ClearOverride();
        SetSyncPathOverride(u"");
    }

    // Exports into <sync>/alice/<name>, next to the attachments, and returns the file.
    fs::path Export(EExportFormat format, const std::string& name)
    {
        const fs::path file = m_home.Root() / "sync" / "alice" / name;
        std::string error;
        EXPECT_TRUE(WriteFileReplacing(file, ExportEntryText(m_contents, format, file.parent_path()), error)) << error;
        return file;
    }
    json OurCsl() { return json::parse(supporttest::ReadWholeFile(Export(EExportFormat::CslJson, "ours.json"))); }

    const supporttest::TempHome m_home;
    std::u16string m_tavGuid;
    SLibraryEntryContents m_contents;
    std::map<std::string, std::string> m_guids; // title -> LiterGuid
};

// Text as the comparison sees it: typographic apostrophes and dashes plain, letter case aside
// (pandoc changes the case of English titles, as BibTeX styles do).
std::string Comparable(const json& value)
{
    if (value.is_null())
        return "";
    std::string text = value.is_string() ? value.get<std::string>() : value.dump();
    // pandoc drops \textbraceleft{} and \textbraceright{}, the lone braces' form that biber reads; the
    // braces are checked in the BibTeX text itself.
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"{", ""}, {"}", ""}, {"’", "'"}, {"‘", "'"}, {"“", "'"}, {"”", "'"}, {"–", "-"}, {"—", "-"}}) {
        for (size_t at; (at = text.find(from)) != std::string::npos;)
            text.replace(at, from.size(), to);
    }
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string Names(const json& item)
{
    std::string names;
    for (const json& name : item.value("author", json::array()))
        names += name.contains("literal") ? name["literal"].get<std::string>() + ";"
                                          : name.value("family", "") + "|" + name.value("given", "") + ";";
    return Comparable(names);
}

std::map<std::string, json> ById(const json& items)
{
    std::map<std::string, json> byId;
    for (const json& item : items)
        byId[item.value("id", "")] = item;
    return byId;
}

TEST_F(ExportTest, CslJsonKeepsTypesNamesCheckedDoisStableKeysAndIsReadByPandoc)
{
    const json items = OurCsl();
    ASSERT_EQ(items.size(), Records().size());
    // Folder walk order (the subfolder's literature last), then by title.
    std::vector<std::u16string> order;
    for (const SRecord& record : Records()) {
        if (!record.inSubfolder)
            order.push_back(record.title);
    }
    std::sort(order.begin(), order.end());
    order.push_back(u"DNA again");
    std::set<std::string> keys;
    for (size_t i = 0; i < items.size(); ++i) {
        const json& item = items[i];
        EXPECT_EQ(item.value("title", ""), U8(order[i])) << i;
        const SRecord& record = *std::find_if(Records().begin(), Records().end(),
                                              [&](const SRecord& r) { return U8(r.title) == item.value("title", ""); });
        const std::string key = item.value("id", "");
        const std::string context = U8(record.title) + " -> " + key;
        EXPECT_EQ(item.value("type", ""), record.cslType) << context;
        EXPECT_EQ(item.value("DOI", ""), record.cslDoi) << context;
        std::string expectedNames;
        for (const std::string& name : record.authors)
            expectedNames += name + ";";
        EXPECT_EQ(Names(item), Comparable(expectedNames)) << context;
        EXPECT_TRUE(std::regex_match(key, std::regex("[a-z0-9_-]+"))) << context;
        EXPECT_TRUE(keys.insert(key).second) << context;
        if (!record.key.empty()) {
            EXPECT_EQ(key, record.key) << context;
        }
        EXPECT_EQ(item["custom"].value("tavGuid", ""), m_guids[U8(record.title)]) << context;
        EXPECT_EQ(item.contains("note"), false) << context;
        EXPECT_EQ(item.value("annote", "").size() > 0, !record.notes.empty()) << context;
    }
    // The key that collides with one handed out earlier takes a suffix from its own GUID; the
    // Chinese-only items fall back on their GUID.
    std::string dnaGuid = m_guids[U8(Records()[0].title)].substr(0, 4);
    std::transform(dnaGuid.begin(), dnaGuid.end(), dnaGuid.begin(), [](unsigned char c) { return std::tolower(c); });
    EXPECT_EQ(ById(items).count("smith2019dna-" + dnaGuid), 1u);
    EXPECT_TRUE(std::any_of(items.begin(), items.end(), [&](const json& item) {
        return item.value("id", "") == "tav" + Comparable(m_guids[U8(Records()[4].title)].substr(0, 8)) + "2016";
    }));
    const json thesis = ById(items)["doe2015study"];
    EXPECT_EQ(thesis.value("genre", ""), "Master");
    EXPECT_EQ(thesis.value("publisher", ""), "MIT");
    EXPECT_EQ(ById(items)["smith2019dna-" + dnaGuid]["issued"], json::parse(R"({"date-parts":[[2019,5,13]]})"));

    if (!HaveTool("pandoc --version"))
        GTEST_SKIP() << "pandoc is not installed (Debian package pandoc; scripts/test.sh installs it)";
    std::string output;
    ASSERT_EQ(0, RunCommand("pandoc -f csljson -t csljson " + Quoted(m_home.Root() / "sync/alice/ours.json"), output, false))
        << output;
    const std::map<std::string, json> read = ById(json::parse(output));
    ASSERT_EQ(read.size(), items.size());
    for (const json& item : items)
        EXPECT_EQ(Comparable(read.at(item["id"])["title"]), Comparable(item["title"])) << item["id"];
}

TEST_F(ExportTest, BibtexPassesBiberPandocAndASecondParser)
{
    const json ours = OurCsl();
    const fs::path bib = Export(EExportFormat::Bibtex, "ours.bib");
    const std::string text = supporttest::ReadWholeFile(bib);
    ASSERT_NE(text.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(text.find("{The \\{DNA\\} repair of 50\\% \\& more: a\\_b \\#1 \\textasciitilde{} \\textasciicircum{} "
                        "\\textbackslash{} \\textbraceleft{}lone}"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("author = {{张三} and {李四} and {王五}}"), std::string::npos) << text;
    EXPECT_NE(text.find("file = {:attachments/" + U8(m_tavGuid) + "/paper's.pdf:PDF}"), std::string::npos) << text;
    // No field twice in an entry, every value in braces.
    std::set<std::string> fields;
    std::istringstream entries(text);
    for (std::string line; std::getline(entries, line);) {
        if (line.rfind("@", 0) == 0 || line.empty())
            fields.clear();
        std::smatch field;
        if (std::regex_match(line, field, std::regex(R"(  ([a-z]+) = \{.*\},)")))
            EXPECT_TRUE(fields.insert(field[1]).second) << line;
        else
            EXPECT_TRUE(line.rfind("@", 0) == 0 || line == "}" || line.empty()) << line;
    }
    const struct {
        const char* tool;
        const char* probe;
    } tools[] = {{"biber", "biber --version"}, {"pandoc", "pandoc --version"},
                 {"python3-bibtexparser", "/usr/bin/python3 -c 'import bibtexparser'"}};
    for (const auto& [tool, probe] : tools) {
        if (!HaveTool(probe))
            GTEST_SKIP() << tool << " is not installed (Debian package; scripts/test.sh installs it)";
    }

    // biber: no warning but a mandatory field that the literature has no data for.
    std::string output;
    ASSERT_EQ(0, RunCommand("cd " + Quoted(bib.parent_path()) + " && biber --tool --validate-datamodel ours.bib", output))
        << output;
    const std::map<std::string, std::string> cslOf = {{"author", "author"},          {"journaltitle", "container-title"},
                                                      {"booktitle", "container-title"}, {"institution", "publisher"},
                                                      {"date, year", "issued"},       {"url, doi, eprint", "URL"}};
    const std::map<std::string, json> ourById = ById(ours);
    const std::regex missing(R"(WARN - Datamodel: Entry '([^']+)' \(ours\.bib\): Missing mandatory field (?:- one of )?'([^']+)'.*)");
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        if (line.rfind("WARN", 0) != 0 && line.rfind("ERROR", 0) != 0)
            continue;
        ASSERT_TRUE(std::regex_match(line, match, missing)) << line;
        ASSERT_TRUE(cslOf.count(match[2])) << line;
        EXPECT_FALSE(ourById.at(match[1]).contains(cslOf.at(match[2]))) << line;
    }

    // pandoc reads it as biblatex and agrees with our CSL-JSON.
    ASSERT_EQ(0, RunCommand("pandoc -f biblatex -t csljson " + Quoted(bib), output, false)) << output;
    const std::map<std::string, json> read = ById(json::parse(output));
    ASSERT_EQ(read.size(), ours.size());
    for (const json& item : ours) {
        const json& theirs = read.at(item["id"]);
        for (const char* field : {"title", "issued", "container-title", "volume", "issue", "page", "DOI"})
            EXPECT_EQ(Comparable(theirs.value(field, json())), Comparable(item.value(field, json())))
                << item["id"] << " " << field;
        EXPECT_EQ(Names(theirs), Names(item)) << item["id"];
        // The same kind in both formats; pandoc gives @misc no CSL type of its own.
        EXPECT_EQ(theirs.value("type", ""), item["type"] == "document" ? "" : item["type"]) << item["id"];
    }

    // A second parser (told that @online, biblatex's type, is a type): as many entries, each key once.
    ASSERT_EQ(0, RunCommand("/usr/bin/python3 -c 'import bibtexparser,sys; from bibtexparser.bparser import BibTexParser; "
                     "d=bibtexparser.load(open(sys.argv[1]), BibTexParser(ignore_nonstandard_types=False)); "
                     "k=[e[\"ID\"] for e in d.entries]; print(len(k), len(set(x.lower() for x in k)))' " + Quoted(bib),
                     output, false));
    EXPECT_EQ(output, std::to_string(ours.size()) + " " + std::to_string(ours.size()) + "\n");
}

TEST_F(ExportTest, RisPassesAStrictLineCheck)
{
    const json ours = OurCsl();
    const std::string text = supporttest::ReadWholeFile(Export(EExportFormat::Ris, "ours.ris"));
    ASSERT_NE(text.substr(0, 3), "\xEF\xBB\xBF");
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    const std::regex tagged("[A-Z][A-Z0-9]  - .*");
    size_t records = 0, notes = 0;
    std::string previous = "ER";
    std::set<std::string> files, guids;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "a line without CRLF at " << start;
        const std::string line = text.substr(start, end - start);
        start = end + 2;
        ASSERT_TRUE(std::regex_match(line, tagged)) << line;
        ASSERT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
        const std::string tag = line.substr(0, 2), value = line.substr(6);
        // TY opens a record right after the previous one's ER, and only there.
        EXPECT_EQ(tag == "TY", previous == "ER") << line;
        records += tag == "TY";
        notes += tag == "N1";
        if (tag == "L1")
            files.insert(value);
        if (tag == "AN")
            guids.insert(value);
        EXPECT_TRUE(tag != "ER" || line == "ER  - ") << line;
        previous = tag;
    }
    EXPECT_EQ(previous, "ER");
    EXPECT_EQ(records, ours.size());
    EXPECT_EQ(notes, 3u);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(fs::is_regular_file(m_home.Root() / "sync/alice" / *files.begin())) << *files.begin();
    EXPECT_EQ(guids.size(), ours.size());
}

// The checked values on their own: what is a DOI, and where a list of authors is split.
TEST(ExportModelTest, DoisAndAuthorLists)
{
    const std::pair<std::u16string, std::u16string> dois[] = {
        {u"10.1000/182", u"10.1000/182"},         {u" https://doi.org/10.1000/ABC ", u"10.1000/ABC"},
        {u"DOI:10.1000.5/x", u"10.1000.5/x"},     {u"0123456789ABCDEF0123456789ABCDEF", u""},
        {u"10.1000/", u""},                       {u"10./x", u""},
        {u"10.abc/x", u""},                       {u"10.1000/a b", u""},
        {u"10.1000/{x}", u""},                    {u"11.1000/x", u""}};
    for (const auto& [text, doi] : dois)
        EXPECT_EQ(CheckedDoi(text), doi) << U8(text);
    const std::pair<std::u16string, std::vector<std::string>> lists[] = {
        {u"张三;李四；王五;", {"张三", "李四", "王五"}},
        {u"张三，李四、王五", {"张三", "李四", "王五"}},
        {u"欧阳·修", {"欧阳·修"}},
        {u"Smith, John", {"Smith|John"}},
        {u"Smith, John; 张三", {"Smith|John", "张三"}},
        {u"张, 三；Li, Si", {"张|三", "Li|Si"}},
        {u"John von Neumann", {"Neumann|John von"}},
        {u"", {}}};
    for (const auto& [text, names] : lists) {
        std::vector<std::string> split;
        for (const SExportName& name : SplitAuthors(text))
            split.push_back(name.literal.empty() ? U8(name.family) + "|" + U8(name.given) : U8(name.literal));
        EXPECT_EQ(split, names) << U8(text);
    }
}

} // namespace
