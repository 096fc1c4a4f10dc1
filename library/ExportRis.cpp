// RIS: tagged lines "XY  - value", CRLF, TY first and ER last in every record.
#include "library/ExportModel.h"

#include "support/TextConvert.h"


namespace {

class CRisRecord {
public:
    void Line(const char* tag, const std::u16string& value)
    {
        // Every value is already one line; an empty one is left out rather than written bare.
        if (!value.empty())
            m_text += std::string(tag) + "  - " + WideToUtf8(value) + "\r\n";
    }
    std::string Text() { return m_text + "ER  - \r\n"; }

private:
    std::string m_text;
};

} // namespace

std::string WriteRis(const std::vector<SExportItem>& items)
{
    std::string text;
    for (const SExportItem& item : items) {
        CRisRecord record;
        record.Line("TY", Utf8ToWide(ExportKindNames(item.kind).ris));
        for (const SExportName& name : item.authors)
            record.Line("AU", !name.literal.empty() ? name.literal
                               : name.given.empty() ? name.family
                                                    : name.family + u", " + name.given);
        if (item.year != 0) {
            record.Line("PY", ToWide(std::to_string(item.year)));
            if (item.month != 0)
                record.Line("DA", ToWide(DateText(item, "%04d/%02d/%02d/", "%04d/%02d//")));
        }
        for (const auto& [field, value] : item.fields) {
            if (field == EExportField::Pages) {
                std::u16string first, last;
                SplitPages(value, first, last);
                record.Line("SP", first);
                record.Line("EP", last);
            } else {
                record.Line(ExportFieldNames(field).ris, value);
            }
        }
        for (const std::u16string& keyword : item.keywords)
            record.Line(ExportFieldNames(EExportField::Keywords).ris, keyword);
        // One N1 per note, labels included.
        for (const std::u16string& note : item.annotations)
            record.Line("N1", note);
        for (const std::u16string& file : item.files)
            record.Line("L1", file);
        record.Line("AN", item.literGuid);
        record.Line("ID", ToWide(item.key));
        text += record.Text();
    }
    return text;
}
