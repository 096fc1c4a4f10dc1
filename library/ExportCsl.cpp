// CSL-JSON: an array of items as citeproc processors and reference managers read them.
#include "library/ExportModel.h"

#include "support/TextConvert.h"

#include <nlohmann/json.hpp>

using nlohmann::ordered_json;

namespace {

std::string U8(const std::u16string& text)
{
    return WideToUtf8(text);
}

ordered_json NameJson(const SExportName& name)
{
    // A Chinese name is one unit: styles must not take it apart into family and given names.
    if (!name.literal.empty())
        return {{"literal", U8(name.literal)}};
    ordered_json person = {{"family", U8(name.family)}};
    if (!name.given.empty())
        person["given"] = U8(name.given);
    return person;
}

std::u16string Joined(const std::vector<std::u16string>& parts, const std::u16string& separator)
{
    std::u16string text;
    for (const std::u16string& part : parts)
        text += (text.empty() ? u"" : separator) + part;
    return text;
}

ordered_json ItemJson(const SExportItem& item)
{
    ordered_json json;
    json["id"] = item.key;
    json["type"] = ExportKindNames(item.kind).csl;
    if (!item.authors.empty()) {
        ordered_json authors = ordered_json::array();
        for (const SExportName& name : item.authors)
            authors.push_back(NameJson(name));
        json["author"] = std::move(authors);
    }
    if (item.year != 0) {
        ordered_json parts = {item.year};
        if (item.month != 0)
            parts.push_back(item.month);
        if (item.day != 0)
            parts.push_back(item.day);
        json["issued"] = {{"date-parts", ordered_json::array({parts})}};
    }
    for (const auto& [field, value] : item.fields) {
        if (field == EExportField::Pages) {
            std::u16string first, last;
            SplitPages(value, first, last);
            json[ExportFieldNames(field).csl] = U8(last.empty() ? first : first + u"-" + last);
        } else {
            json[ExportFieldNames(field).csl] = U8(value);
        }
    }
    if (!item.keywords.empty())
        json[ExportFieldNames(EExportField::Keywords).csl] = U8(Joined(item.keywords, u", "));
    // Notes go to the annotation, never to "note", which styles print.
    if (!item.annotations.empty())
        json["annote"] = U8(Joined(item.annotations, u"\n"));
    ordered_json custom = {{"tavGuid", U8(item.literGuid)}};
    if (!item.files.empty()) {
        ordered_json files = ordered_json::array();
        for (const std::u16string& file : item.files)
            files.push_back(U8(file));
        custom["attachments"] = std::move(files);
    }
    json["custom"] = std::move(custom);
    return json;
}

} // namespace

std::string WriteCslJson(const std::vector<SExportItem>& items)
{
    ordered_json document = ordered_json::array();
    for (const SExportItem& item : items)
        document.push_back(ItemJson(item));
    return document.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

void SplitPages(const std::u16string& pages, std::u16string& first, std::u16string& last)
{
    first = pages;
    last.clear();
    const size_t dash = pages.find_first_of(u"-–—~～－");
    if (dash == std::u16string::npos || dash == 0)
        return;
    size_t end = dash;
    while (end < pages.size() && std::u16string_view(u"-–—~～－").find(pages[end]) != std::u16string_view::npos)
        ++end;
    first = OneLineText(pages.substr(0, dash));
    last = OneLineText(pages.substr(end));
    if (last.empty())
        first = pages;
}
