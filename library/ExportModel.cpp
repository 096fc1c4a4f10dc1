// The mapping of our literature onto the export formats, and the items built from an entry.
#include "library/ExportModel.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace {

using Member = std::u16string SLiteratureInfo::*;

// Our fields against each format's, in one place. `sources` are read in order; the first
// that holds text gives the value.
struct SFieldRow {
    SExportFieldNames names;
    Member sources[2];
};

// clang-format off
const SFieldRow kFieldRows[] = {
    //  field                       CSL-JSON            BibTeX       RIS     our fields
    {{EExportField::Title,     "title",            "title",     "TI"}, {&SLiteratureInfo::Title, nullptr}},
    {{EExportField::Container, "container-title",  "journal",   "T2"}, {&SLiteratureInfo::Source, &SLiteratureInfo::Media}},
    {{EExportField::Volume,    "volume",           "volume",    "VL"}, {&SLiteratureInfo::Roll, nullptr}},
    {{EExportField::Issue,     "issue",            "number",    "IS"}, {&SLiteratureInfo::Period, nullptr}},
    {{EExportField::Pages,     "page",             "pages",     "SP"}, {&SLiteratureInfo::Page, nullptr}},
    {{EExportField::Doi,       "DOI",              "doi",       "DO"}, {&SLiteratureInfo::DOI, &SLiteratureInfo::InternationalDOI}},
    {{EExportField::Issn,      "ISSN",             "issn",      "SN"}, {&SLiteratureInfo::ISSN, nullptr}},
    {{EExportField::Publisher, "publisher",        "publisher", "PB"}, {&SLiteratureInfo::Publisher, &SLiteratureInfo::EPublisher}},
    {{EExportField::Place,     "publisher-place",  "address",   "CY"}, {&SLiteratureInfo::PubLocate, &SLiteratureInfo::City}},
    {{EExportField::Edition,   "edition",          "edition",   "ET"}, {&SLiteratureInfo::Version, nullptr}},
    {{EExportField::Keywords,  "keyword",          "keywords",  "KW"}, {&SLiteratureInfo::Keyword, nullptr}},
    {{EExportField::Abstract,  "abstract",         "abstract",  "AB"}, {&SLiteratureInfo::Summary, nullptr}},
    {{EExportField::Url,       "URL",              "url",       "UR"}, {&SLiteratureInfo::Link, nullptr}},
    {{EExportField::Language,  "language",         "langid",    "LA"}, {&SLiteratureInfo::LCID, nullptr}},
    {{EExportField::Degree,    "genre",            "type",      "M3"}, {&SLiteratureInfo::Degree, &SLiteratureInfo::DegreeType}},
    {{EExportField::School,    "publisher",        "school",    "PB"}, {&SLiteratureInfo::Organ, &SLiteratureInfo::Department}},
};

// Kinds against each format's types; a thesis of known level is @phdthesis or @mastersthesis.
const SExportKindNames kKindRows[] = {
    {EExportKind::JournalArticle,   "article-journal",   "article",       "JOUR"},
    {EExportKind::Book,             "book",              "book",          "BOOK"},
    {EExportKind::ProceedingsPaper, "paper-conference",  "inproceedings", "CONF"},
    {EExportKind::Thesis,           "thesis",            "thesis",        "THES"},
    {EExportKind::Report,           "report",            "techreport",    "RPRT"},
    // A newspaper article is an @article: it carries the paper's name as its journal.
    {EExportKind::NewspaperArticle, "article-newspaper", "article",       "NEWS"},
    {EExportKind::WebPage,          "webpage",           "online",        "ELEC"},
    {EExportKind::Other,            "document",          "misc",          "GEN"},
};
// clang-format on

using F = EExportField;

// The fields each kind carries, in every format alike: what biber's data model allows for the
// BibTeX type of the kind (no publisher on an article, no volume on a thesis, no language on
// a web page, ...), besides the title, DOI, keywords, abstract and URL every kind has.
const std::map<EExportKind, std::set<F>> kKindFields = {
    {EExportKind::JournalArticle,   {F::Container, F::Volume, F::Issue, F::Pages, F::Issn, F::Language}},
    {EExportKind::NewspaperArticle, {F::Container, F::Volume, F::Issue, F::Pages, F::Issn, F::Language}},
    {EExportKind::Book,             {F::Volume, F::Pages, F::Publisher, F::Place, F::Edition, F::Language}},
    {EExportKind::ProceedingsPaper, {F::Container, F::Volume, F::Pages, F::Publisher, F::Place, F::Language}},
    {EExportKind::Thesis,           {F::Pages, F::Place, F::Degree, F::School, F::Language}},
    {EExportKind::Report,           {F::Pages, F::Place, F::School, F::Language}},
    {EExportKind::WebPage,          {}},
    {EExportKind::Other,            {F::Place, F::Language}},
};

std::set<F> KindFields(EExportKind kind)
{
    std::set<F> fields = {F::Title, F::Doi, F::Keywords, F::Abstract, F::Url};
    const auto more = kKindFields.find(kind);
    if (more != kKindFields.end())
        fields.insert(more->second.begin(), more->second.end());
    return fields;
}

bool IsHex(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// The MD5 text the upgrade gives a saved web page in place of a DOI.
bool IsMd5Text(const std::u16string& text)
{
    return text.size() == 32 && std::all_of(text.begin(), text.end(), IsHex);
}

bool ContainsCjk(const std::u16string& text)
{
    return std::any_of(text.begin(), text.end(), IsCjk);
}

// ASCII letters in lower case; every other character as '?', so that no ASCII text matches it.
std::string LowerAscii(const std::u16string& text)
{
    std::string lower;
    for (char16_t c : text)
        lower.push_back(c < 0x80 ? static_cast<char>(c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c) : '?');
    return lower;
}

bool ContainsAscii(const std::u16string& haystack, const char* needle)
{
    return LowerAscii(haystack).find(needle) != std::string::npos;
}

EExportKind KindOf(const SLiteratureInfo& info, const std::shared_ptr<SLiteratureRelate>& relate)
{
    const std::u16string type = OneLineText(info.DataType);
    if (type == u"1")
        return EExportKind::Book;
    if (type == u"2")
        return EExportKind::ProceedingsPaper;
    if (type == u"3")
        return EExportKind::Thesis;
    if (type == u"4")
        return EExportKind::Report;
    if (type == u"5" || type.empty())
        return EExportKind::JournalArticle;
    if (type == u"6") {
        // The upgrade turns saved web pages into type 6 with an MD5 text as DOI and file type 1.
        const bool webPage = IsMd5Text(OneLineText(info.DOI)) || (relate && relate->FileType == 1);
        return webPage ? EExportKind::WebPage : EExportKind::NewspaperArticle;
    }
    return EExportKind::Other;
}

EThesisLevel ThesisLevelOf(const std::u16string& degree)
{
    if (degree.find(u"博士") != std::u16string::npos || ContainsAscii(degree, "doctor") ||
        ContainsAscii(degree, "phd") || ContainsAscii(degree, "ph.d"))
        return EThesisLevel::Doctoral;
    if (degree.find(u"硕士") != std::u16string::npos || ContainsAscii(degree, "master"))
        return EThesisLevel::Masters;
    return EThesisLevel::Unknown;
}

// Up to three numbers of a date text ("2017-06-06", "2017/6/6", "2017年6月", "2017").
void ParseDate(const std::u16string& text, int32_t& year, int32_t& month, int32_t& day)
{
    std::vector<int32_t> numbers;
    int32_t value = -1;
    int digits = 0;
    for (size_t i = 0; i <= text.size() && numbers.size() < 3; ++i) {
        const char16_t c = i < text.size() ? text[i] : u' ';
        if (c >= u'0' && c <= u'9' && digits < 6) {
            value = (value < 0 ? 0 : value * 10) + (c - u'0');
            ++digits;
        } else if (value >= 0) {
            numbers.push_back(value);
            value = -1;
            digits = 0;
        }
    }
    if (numbers.empty() || numbers[0] < 1000 || numbers[0] > 2999)
        return;
    year = numbers[0];
    if (numbers.size() > 1 && numbers[1] >= 1 && numbers[1] <= 12) {
        month = numbers[1];
        if (numbers.size() > 2 && numbers[2] >= 1 && numbers[2] <= 31)
            day = numbers[2];
    }
}

// A BCP 47 tag for the Windows language ids the units hold. The default 2052 (Chinese) is also
// what English literature carries, so it counts only for a title with Chinese in it.
std::u16string LanguageTag(const std::u16string& lcid, const std::u16string& title)
{
    static const std::map<std::u16string, std::u16string> tags = {
        {u"2052", u"zh-CN"}, {u"1028", u"zh-TW"}, {u"3076", u"zh-HK"}, {u"1033", u"en-US"}, {u"2057", u"en-GB"},
        {u"1041", u"ja-JP"}, {u"1042", u"ko-KR"}, {u"1031", u"de-DE"}, {u"1036", u"fr-FR"}, {u"1049", u"ru-RU"}};
    const auto found = tags.find(lcid);
    if (found == tags.end())
        return std::u16string();
    if (found->second.rfind(u"zh", 0) == 0 && !ContainsCjk(title))
        return std::u16string();
    return found->second;
}

std::vector<std::u16string> SplitKeywords(const std::u16string& text)
{
    std::vector<std::u16string> keywords;
    std::u16string current;
    for (size_t i = 0; i <= text.size(); ++i) {
        const char16_t c = i < text.size() ? text[i] : u';';
        if (c == u';' || c == u'；' || c == u',' || c == u'，' || c == u'、') {
            current = OneLineText(current);
            if (!current.empty() && std::find(keywords.begin(), keywords.end(), current) == keywords.end())
                keywords.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    return keywords;
}

std::u16string NoteText(const SLibraryNote& note)
{
    const SNoteInfo& info = *note.Note;
    std::u16string text = OneLineText(info.ContentText);
    if (text.empty())
        text = OneLineText(info.Title);
    if (text.empty())
        text = OneLineText(info.Content);
    if (!note.Labels.empty()) {
        std::u16string labels;
        for (const std::u16string& label : note.Labels)
            labels += (labels.empty() ? u"" : u", ") + OneLineText(label);
        text += (text.empty() ? u"" : u" ") + (u"[labels: " + labels + u"]");
    }
    return text;
}

// The stored file as a link: relative to `outputFolder` when it lies below it.
std::u16string FileLink(const std::u16string& stored, const std::filesystem::path& outputFolder)
{
    const std::filesystem::path file = ToFsPath(stored);
    if (outputFolder.empty())
        return stored;
    const std::filesystem::path relative = file.lexically_normal().lexically_relative(outputFolder.lexically_normal());
    if (relative.empty() || *relative.begin() == "..")
        return stored;
    return FromFsPath(relative);
}

SExportItem BuildItem(const SLiteratureInfo& info, const SLibraryEntryContents& contents,
                      const std::set<std::u16string>& storedFiles, const std::filesystem::path& outputFolder)
{
    SExportItem item;
    const auto relate = contents.Relates.find(info.LiterGuid);
    item.kind = KindOf(info, relate == contents.Relates.end() ? nullptr : relate->second);
    item.literGuid = info.LiterGuid;
    item.authors = SplitAuthors(info.Author);
    item.englishTitle = OneLineText(info.ETitle);
    item.englishAuthors = info.EAuthor;
    ParseDate(info.Pub_Year, item.year, item.month, item.day);
    for (const std::u16string* text : {&info.PubTime, &info.PublicationDate}) {
        int32_t year = 0, month = 0, day = 0;
        ParseDate(*text, year, month, day);
        if (year != 0 && (item.year == 0 || (year == item.year && month != 0))) {
            std::tie(item.year, item.month, item.day) = std::make_tuple(year, month, day);
            break;
        }
    }
    const std::set<F> carried = KindFields(item.kind);
    for (const SFieldRow& row : kFieldRows) {
        if (carried.count(row.names.field) == 0)
            continue;
        std::u16string value;
        for (Member source : row.sources) {
            if (source == nullptr || !value.empty())
                continue;
            value = OneLineText(info.*source);
            if (row.names.field == F::Doi)
                value = CheckedDoi(value);
        }
        if (row.names.field == F::Language)
            value = LanguageTag(value, info.Title);
        if (row.names.field == F::Keywords) {
            item.keywords = SplitKeywords(info.Keyword);
            continue;
        }
        if (!value.empty())
            item.fields[row.names.field] = value;
    }
    if (item.kind == EExportKind::Thesis) {
        item.thesisLevel = ThesisLevelOf(item.fields.count(F::Degree) ? item.fields[F::Degree] : u"");
        // A thesis names its school; a publisher in the record stands for it.
        if (!item.fields.count(F::School) && !OneLineText(info.Publisher).empty())
            item.fields[F::School] = OneLineText(info.Publisher);
    }
    if (item.kind == EExportKind::Report && !item.fields.count(F::School) && !OneLineText(info.Publisher).empty())
        item.fields[F::School] = OneLineText(info.Publisher);
    for (const SLibraryNote& note : contents.Notes) {
        if (note.Note->LiterGuid == info.LiterGuid) {
            const std::u16string text = NoteText(note);
            if (!text.empty())
                item.annotations.push_back(text);
        }
    }
    if (!info.FilePath.empty() && storedFiles.count(info.FilePath) != 0)
        item.files.push_back(FileLink(info.FilePath, outputFolder));
    return item;
}

} // namespace

const SExportFieldNames& ExportFieldNames(EExportField field)
{
    for (const SFieldRow& row : kFieldRows) {
        if (row.names.field == field)
            return row.names;
    }
    return kFieldRows[0].names;
}

const SExportKindNames& ExportKindNames(EExportKind kind)
{
    for (const SExportKindNames& row : kKindRows) {
        if (row.kind == kind)
            return row;
    }
    return kKindRows[0];
}

std::string DateText(const SExportItem& item, const char* withDay, const char* withMonth)
{
    char text[32];
    if (item.day != 0)
        std::snprintf(text, sizeof text, withDay, item.year, item.month, item.day);
    else
        std::snprintf(text, sizeof text, withMonth, item.year, item.month);
    return text;
}

bool IsCjk(char16_t c)
{
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x3400 && c <= 0x4DBF);
}

std::u16string OneLineText(const std::u16string& text)
{
    std::u16string line;
    bool blank = false;
    for (char16_t c : text) {
        if (c < 0x20 || c == 0x7F || c == u' ' || c == 0x3000 || c == 0xFEFF) {
            blank = !line.empty();
            continue;
        }
        if (blank)
            line.push_back(u' ');
        blank = false;
        line.push_back(c);
    }
    return line;
}

std::u16string CheckedDoi(const std::u16string& text)
{
    std::u16string doi = OneLineText(text);
    for (const std::string prefix : {"https://doi.org/", "http://doi.org/", "https://dx.doi.org/", "http://dx.doi.org/", "doi:"}) {
        if (LowerAscii(doi).rfind(prefix, 0) == 0) {
            doi = OneLineText(doi.substr(prefix.size()));
            break;
        }
    }
    // "10." registrant digits (dotted), "/", a suffix of printable characters without blanks or braces.
    if (doi.size() < 6 || doi.compare(0, 3, u"10.") != 0)
        return std::u16string();
    size_t i = 3;
    bool digit = false;
    for (; i < doi.size() && doi[i] != u'/'; ++i) {
        if (doi[i] >= u'0' && doi[i] <= u'9')
            digit = true;
        else if (doi[i] != u'.' || !digit)
            return std::u16string();
    }
    if (!digit || doi[i - 1] == u'.' || i + 1 >= doi.size())
        return std::u16string();
    for (size_t j = i + 1; j < doi.size(); ++j) {
        const char16_t c = doi[j];
        if (c <= u' ' || c == u'{' || c == u'}' || c == u'"' || c == 0x7F)
            return std::u16string();
    }
    return doi;
}

std::vector<SExportItem> BuildExportItems(const SLibraryEntryContents& contents,
                                          const std::filesystem::path& outputFolder)
{
    std::set<std::u16string> storedFiles;
    for (const SLibraryAttachment& attachment : contents.Attachments)
        storedFiles.insert(attachment.StoredPath);
    std::map<std::u16string, const SLiteratureInfo*> byGuid;
    std::map<std::u16string, size_t> addIndex;
    for (const auto& info : contents.Literature) {
        addIndex.emplace(info->LiterGuid, addIndex.size());
        byGuid.emplace(info->LiterGuid, info.get());
    }
    // Folder walk order; within a folder, and for literature in no folder at the end, by title.
    std::vector<std::vector<const SLiteratureInfo*>> groups;
    std::set<std::u16string> placed;
    auto byTitle = [](const SLiteratureInfo* a, const SLiteratureInfo* b) {
        return std::tie(a->Title, a->LiterGuid) < std::tie(b->Title, b->LiterGuid);
    };
    for (const SLibraryFolderNode& node : contents.Folders) {
        const auto filed = contents.FolderLiterature.find(node.Folder->FolderGuid);
        if (filed == contents.FolderLiterature.end())
            continue;
        std::vector<const SLiteratureInfo*> group;
        for (const std::u16string& guid : filed->second) {
            const auto found = byGuid.find(guid);
            if (found != byGuid.end() && placed.insert(guid).second)
                group.push_back(found->second);
        }
        std::sort(group.begin(), group.end(), byTitle);
        groups.push_back(std::move(group));
    }
    std::vector<const SLiteratureInfo*> unfiled;
    for (const auto& info : contents.Literature) {
        if (placed.insert(info->LiterGuid).second)
            unfiled.push_back(info.get());
    }
    std::sort(unfiled.begin(), unfiled.end(), byTitle);
    groups.push_back(std::move(unfiled));

    std::vector<SExportItem> items;
    for (const auto& group : groups) {
        for (const SLiteratureInfo* info : group) {
            items.push_back(BuildItem(*info, contents, storedFiles, outputFolder));
            items.back().addIndex = addIndex[info->LiterGuid];
        }
    }
    AssignKeys(items);
    return items;
}
