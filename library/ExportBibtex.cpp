// BibTeX as biber and BibTeX read it back: every value in braces, text escaped, verbatim fields
// (url, doi, file) as they are, each entry with the fields its type allows.
#include "library/ExportModel.h"

#include "support/TextConvert.h"

#include <vector>

namespace {

// Marks which braces of `text` pair up with one another.
std::vector<bool> PairedBraces(const std::u16string& text)
{
    std::vector<bool> paired(text.size(), false);
    std::vector<size_t> open;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'{') {
            open.push_back(i);
        } else if (text[i] == u'}' && !open.empty()) {
            paired[i] = paired[open.back()] = true;
            open.pop_back();
        }
    }
    return paired;
}

// Text escaped for a braced BibTeX value. Special characters become their LaTeX commands; a
// brace pair becomes \{...\} (still balanced, as BibTeX counts braces), a lone brace a command
// without a brace character, which would otherwise end or break the value.
std::string EscapeText(const std::u16string& text)
{
    const std::vector<bool> paired = PairedBraces(text);
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        switch (c) {
        case u'#': case u'$': case u'%': case u'&': case u'_':
            out += u'\\';
            out += c;
            break;
        case u'~':
            out += u"\\textasciitilde{}";
            break;
        case u'^':
            out += u"\\textasciicircum{}";
            break;
        case u'\\':
            out += u"\\textbackslash{}";
            break;
        case u'{':
            out += paired[i] ? u"\\{" : u"\\textbraceleft{}";
            break;
        case u'}':
            out += paired[i] ? u"\\}" : u"\\textbraceright{}";
            break;
        default:
            out += c;
        }
    }
    return WideToUtf8(out);
}

// url, doi and file are read verbatim: nothing escaped, but a brace would end the value.
std::string Verbatim(const std::u16string& text)
{
    std::u16string out;
    for (char16_t c : text) {
        if (c == u'{')
            out += u"%7B";
        else if (c == u'}')
            out += u"%7D";
        else
            out += c;
    }
    return WideToUtf8(out);
}

bool HasWord(const std::u16string& text, const std::u16string& word)
{
    const std::u16string padded = u" " + text + u" ";
    return padded.find(u" " + word + u" ") != std::u16string::npos;
}

// A name part that BibTeX's name parser must take as one piece.
std::string NamePart(const std::u16string& part)
{
    const std::string escaped = EscapeText(part);
    const bool guarded = part.find(u',') != std::u16string::npos || HasWord(part, u"and") || HasWord(part, u"AND");
    return guarded ? "{" + escaped + "}" : escaped;
}

std::string NameText(const SExportName& name)
{
    if (!name.literal.empty())
        return "{" + EscapeText(name.literal) + "}";
    if (name.given.empty())
        return NamePart(name.family);
    return NamePart(name.family) + ", " + NamePart(name.given);
}

class CBibtexEntry {
public:
    CBibtexEntry(const char* type, const std::string& key)
        : m_text("@" + std::string(type) + "{" + key + ",\n")
    {
    }
    void Field(const char* name, const std::string& value)
    {
        if (!value.empty())
            m_text += "  " + std::string(name) + " = {" + value + "},\n";
    }
    std::string Text() { return m_text + "}\n"; }

private:
    std::string m_text;
};

const char* EntryType(const SExportItem& item)
{
    if (item.kind == EExportKind::Thesis) {
        if (item.thesisLevel == EThesisLevel::Doctoral)
            return "phdthesis";
        if (item.thesisLevel == EThesisLevel::Masters)
            return "mastersthesis";
    }
    return ExportKindNames(item.kind).bibtex;
}

// biblatex names a language by its babel name, not by its BCP 47 tag.
std::string BabelLanguage(const std::u16string& tag)
{
    static const std::pair<const char16_t*, const char*> names[] = {
        {u"en-US", "american"}, {u"en-GB", "british"}, {u"de", "ngerman"}, {u"fr", "french"}, {u"ru", "russian"},
        {u"ja", "japanese"}, {u"ko", "korean"}, {u"zh", "chinese"}};
    for (const auto& [prefix, name] : names) {
        if (tag.rfind(prefix, 0) == 0)
            return name;
    }
    return std::string();
}

std::string FieldValue(EExportField field, const std::u16string& value)
{
    if (field == EExportField::Language)
        return BabelLanguage(value);
    if (field == EExportField::Url || field == EExportField::Doi)
        return Verbatim(value);
    if (field == EExportField::Pages) {
        std::u16string first, last;
        SplitPages(value, first, last);
        return EscapeText(last.empty() ? first : first + u"--" + last);
    }
    return EscapeText(value);
}

std::string Joined(const std::vector<std::string>& parts, const std::string& separator)
{
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : separator) + part;
    return text;
}

std::string EntryText(const SExportItem& item)
{
    CBibtexEntry entry(EntryType(item), item.key);
    // biblatex tells a newspaper's article from a journal's by the subtype.
    if (item.kind == EExportKind::NewspaperArticle)
        entry.Field("entrysubtype", "newspaper");
    std::vector<std::string> names;
    for (const SExportName& name : item.authors)
        names.push_back(NameText(name));
    entry.Field("author", Joined(names, " and "));
    if (item.year != 0) {
        if (item.month != 0)
            entry.Field("date", DateText(item, "%04d-%02d-%02d", "%04d-%02d"));
        else
            entry.Field("year", std::to_string(item.year));
    }
    for (const auto& [field, value] : item.fields) {
        const char* name = ExportFieldNames(field).bibtex;
        if (field == EExportField::Container && item.kind == EExportKind::ProceedingsPaper)
            name = "booktitle";
        // @phdthesis and @mastersthesis say their degree by their type.
        if (field == EExportField::Degree && item.thesisLevel != EThesisLevel::Unknown)
            continue;
        entry.Field(name, FieldValue(field, value));
    }
    std::vector<std::string> keywords;
    for (const std::u16string& keyword : item.keywords)
        keywords.push_back(EscapeText(keyword));
    entry.Field(ExportFieldNames(EExportField::Keywords).bibtex, Joined(keywords, ", "));
    std::vector<std::string> notes;
    for (const std::u16string& note : item.annotations)
        notes.push_back(EscapeText(note));
    entry.Field("annote", Joined(notes, " | "));
    std::vector<std::string> files;
    for (const std::u16string& file : item.files)
        files.push_back(":" + Verbatim(file) + ":" + (file.size() > 4 && file.substr(file.size() - 4) == u".pdf" ? "PDF" : ""));
    entry.Field("file", Joined(files, ";"));
    // The literature GUID as an alias key, so that a later import elsewhere recognises the item.
    entry.Field("ids", FoldToAscii(item.literGuid).empty() ? std::string() : WideToUtf8(item.literGuid));
    return entry.Text();
}

} // namespace

std::string WriteBibtex(const std::vector<SExportItem>& items)
{
    std::string text;
    for (const SExportItem& item : items)
        text += (text.empty() ? "" : "\n") + EntryText(item);
    return text;
}
