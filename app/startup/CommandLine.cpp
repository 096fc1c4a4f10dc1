#include "app/startup/CommandLine.h"

#include "support/SyncSettings.h"
#include "support/TextConvert.h"
#include "xml/XmlDoc.h"

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

std::string UrlDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
            continue;
        }
        if (c == '%' && text.size() - i > 2) {
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += c;
    }
    return out;
}

std::string JoinCommandLine(const std::vector<std::string>& arguments)
{
    std::string line;
    for (const std::string& argument : arguments) {
        if (&argument != &arguments.front())
            line += ' ';
        line += argument;
    }
    return line;
}

std::optional<std::u16string> FindImportTavPath(const std::u16string& decodedCommandLine)
{
    CXmlDoc doc;
    doc.SetDoc(decodedCommandLine);
    if (!doc.FindTag(u"ImportTav"))
        return std::nullopt;
    return doc.GetAttrib(u"path");
}

SStartupPlan PlanStartup(const std::vector<std::string>& arguments)
{
    SetAppKeyNames(u"Orvane", u"Vexa Arbora");
    const std::u16string decoded = Utf8ToWide(UrlDecode(JoinCommandLine(arguments)));
    SStartupPlan plan;
    if (std::optional<std::u16string> path = FindImportTavPath(decoded)) {
        plan.showDialog = true;
        plan.path = std::move(*path);
    } else {
        plan.showDialog = !GetSyncroName().empty();
    }
    return plan;
}
