#pragma once
// The literature of one library entry as the export formats see it: one kind, checked fields,
// names, a citation key, notes and attachment links per item. The mapping of our fields and
// kinds onto CSL-JSON, BibTeX and RIS lives in ExportModel.cpp, in one place.
#include "library/LibraryReader.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

// The literature types of the layout's LiteraStyles (DataType 1 to 7), with saved web pages apart.
enum class EExportKind { JournalArticle, Book, ProceedingsPaper, Thesis, Report, NewspaperArticle, WebPage, Other };

enum class EExportField {
    Title, Container, Volume, Issue, Pages, Doi, Issn, Publisher, Place, Edition, Keywords, Abstract, Url,
    Language, Degree, School
};

// One row of the field table: our field against each format's name for it.
struct SExportFieldNames {
    EExportField field;
    const char* csl;
    const char* bibtex;
    const char* ris;
};

struct SExportKindNames {
    EExportKind kind;
    const char* csl;
    const char* bibtex;
    const char* ris;
};

const SExportFieldNames& ExportFieldNames(EExportField field);
const SExportKindNames& ExportKindNames(EExportKind kind);

// A person as the source gives it: `literal` (one unit, never split) or family and given.
struct SExportName {
    std::u16string literal;
    std::u16string family;
    std::u16string given;
};

enum class EThesisLevel { Unknown, Masters, Doctoral };

struct SExportItem {
    EExportKind kind = EExportKind::Other;
    EThesisLevel thesisLevel = EThesisLevel::Unknown;
    std::u16string literGuid;
    std::string key;
    std::vector<SExportName> authors;
    int32_t year = 0, month = 0, day = 0; // 0: not known
    // Only the fields the item has data for and its kind carries; every value on one line.
    std::map<EExportField, std::u16string> fields;
    std::vector<std::u16string> keywords;
    std::vector<std::u16string> annotations; // one per note, labels included
    std::vector<std::u16string> files;       // attachment files, relative to the output where below it
    // For the key only: the English title and authors, and the item's place in the order of adding.
    std::u16string englishTitle;
    std::u16string englishAuthors;
    size_t addIndex = 0;
};

// The entry's literature in export order (folder walk order, then title), keys assigned.
// `outputFolder` empty: attachment paths stay absolute.
std::vector<SExportItem> BuildExportItems(const SLibraryEntryContents& contents,
                                          const std::filesystem::path& outputFolder);

// ---- Helpers of the model, exposed for the writers and the tests ----
// The DOI in `text` when it is one ("10." registrant "/" suffix; a doi.org or "doi:" prefix removed), else empty.
std::u16string CheckedDoi(const std::u16string& text);
// Authors as the unit separates them: ";" and "；", or commas and "、" in an all-Chinese list.
std::vector<SExportName> SplitAuthors(const std::u16string& text);
// True for a character of the CJK scripts (Han, kana, Hangul, their punctuation).
bool IsCjk(char16_t c);
// `text` with line breaks, tabs and other control characters as single blanks, trimmed.
std::u16string OneLineText(const std::u16string& text);
// Latin letters folded to ASCII lower case ("Müller" -> "muller"); characters that do not fold are dropped.
std::string FoldToAscii(const std::u16string& text);
// Citation keys for `items` in place: ASCII, unique without regard to case; a collision is
// settled by a suffix from the GUID for every item but the one added first (addIndex), so that
// the keys already handed out stay when items are added.
void AssignKeys(std::vector<SExportItem>& items);

// ---- The three formats (ExportCsl.cpp, ExportBibtex.cpp, ExportRis.cpp): UTF-8, no byte-order mark ----
std::string WriteCslJson(const std::vector<SExportItem>& items);
std::string WriteBibtex(const std::vector<SExportItem>& items);
// CRLF line ends, as the importers of RIS expect.
std::string WriteRis(const std::vector<SExportItem>& items);
// The item's date by `withDay` or `withMonth` (printf formats of year, month[, day]); call only
// with the month known.
std::string DateText(const SExportItem& item, const char* withDay, const char* withMonth);
// "12-34" (also with an en dash, a tilde or a full-width hyphen) as its first and last page; a
// single page gives an empty `last`.
void SplitPages(const std::u16string& pages, std::u16string& first, std::u16string& last);
