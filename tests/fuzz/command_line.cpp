// Start-up's command line: URL decoding never grows the text and undoes the encoding, and a path
// written into an ImportTav element is read back exactly.
#include "app/startup/CommandLine.h"
#include "fuzz/FuzzCheck.h"
#include "support/TextConvert.h"
#include "xml/XmlDoc.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <string>

namespace {

// As the desktop application writes a command line: "+" for a blank, "%XX" for other bytes
// than letters, digits and "-_.\\:/".
std::string UrlEncode(const std::string& text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char byte : text) {
        if (std::isalnum(byte) || std::string_view("-_.\\:/").find(static_cast<char>(byte)) != std::string_view::npos)
            out += static_cast<char>(byte);
        else
            out += byte == ' ' ? std::string("+") : std::string{'%', kHex[byte >> 4], kHex[byte & 0xF]};
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const std::string line = in.ConsumeRandomLengthString(size);
    const std::string decoded = UrlDecode(line);
    REQUIRE(decoded.size() <= line.size());
    REQUIRE(decoded == line || line.find_first_of("%+") != std::string::npos);
    REQUIRE(UrlDecode(UrlEncode(line)) == line);
    (void)FindImportTavPath(Utf8ToWide(decoded));
    const std::u16string path = Utf8ToWide(in.ConsumeRandomLengthString(64));
    if (path.find(u'\0') == std::u16string::npos) {
        const std::string element =
            "C:\\Program Files\\arbora.exe <ImportTav path=\"" + WideToUtf8(CXmlDoc::EncodeAttrib(path)) + "\"/>";
        const std::optional<std::u16string> found = FindImportTavPath(Utf8ToWide(UrlDecode(UrlEncode(element))));
        REQUIRE(found && *found == path);
    }
    return 0;
}
