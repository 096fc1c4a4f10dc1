// Authors as the unit writes them: split only where the unit separates them, Chinese names
// kept whole.
#include "library/ExportModel.h"

#include <algorithm>

namespace {

bool IsListSeparator(char16_t c)
{
    return c == u',' || c == u'，' || c == u'、';
}

// An all-Chinese list: every character is Chinese, a list comma, a blank or a middle dot.
bool IsChineseList(const std::u16string& text)
{
    return std::any_of(text.begin(), text.end(), IsCjk) && std::all_of(text.begin(), text.end(), [](char16_t c) {
               return IsListSeparator(c) || IsCjk(c) || c == u' ' || c == u'·' || c == 0x3000;
           });
}

std::vector<std::u16string> SplitOn(const std::u16string& text, bool (*separator)(char16_t))
{
    std::vector<std::u16string> parts;
    std::u16string current;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || separator(text[i])) {
            current = OneLineText(current);
            if (!current.empty())
                parts.push_back(current);
            current.clear();
        } else {
            current.push_back(text[i]);
        }
    }
    return parts;
}

SExportName NameOf(const std::u16string& text)
{
    SExportName name;
    // The source's own comma parts a name in any script; without it a Chinese name stays whole.
    const size_t comma = text.find(u',');
    if (comma == std::u16string::npos && std::any_of(text.begin(), text.end(), IsCjk)) {
        name.literal = text;
        return name;
    }
    if (comma != std::u16string::npos) {
        name.family = OneLineText(text.substr(0, comma));
        name.given = OneLineText(text.substr(comma + 1));
    } else {
        // "Given Family", as BibTeX itself reads a name without a comma.
        const size_t space = text.rfind(u' ');
        name.family = space == std::u16string::npos ? text : text.substr(space + 1);
        name.given = space == std::u16string::npos ? std::u16string() : text.substr(0, space);
    }
    if (name.family.empty()) {
        name.literal = OneLineText(text);
        name.family.clear();
        name.given.clear();
    }
    return name;
}

} // namespace

std::vector<SExportName> SplitAuthors(const std::u16string& text)
{
    const std::u16string line = OneLineText(text);
    std::vector<std::u16string> parts;
    if (line.find(u';') != std::u16string::npos || line.find(u'；') != std::u16string::npos)
        parts = SplitOn(line, [](char16_t c) { return c == u';' || c == u'；'; });
    else if (IsChineseList(line))
        parts = SplitOn(line, IsListSeparator);
    else
        parts = SplitOn(line, [](char16_t) { return false; });
    std::vector<SExportName> names;
    for (const std::u16string& part : parts)
        names.push_back(NameOf(part));
    return names;
}
