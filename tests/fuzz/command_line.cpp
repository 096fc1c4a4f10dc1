// Fuzz target for start-up's command line: URL decoding, then the ImportTav lookup on the
// decoded text, as the program does. Decoding never grows the text, leaves unescaped text
// alone and undoes the desktop application's encoding; a path written into an ImportTav
// element is read back exactly.
#include "app/startup/CommandLine.h"
#include "front/UrlEncode.h"
#include "support/TextConvert.h"
#include "xml/XmlDoc.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>

static void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const std::string line = in.ConsumeRandomLengthString(size);
    const std::string decoded = UrlDecode(line);
    Require(decoded.size() <= line.size(), "decoding grew the text");
    Require(decoded == line || line.find_first_of("%+") != std::string::npos, "text without escapes changed");
    Require(UrlDecode(UrlEncode(line)) == line, "decoding does not undo the encoding");
    (void)FindImportTavPath(Utf8ToWide(decoded));

    const std::u16string path = Utf8ToWide(in.ConsumeRandomLengthString(64));
    if (path.find(u'\0') == std::u16string::npos) {
        const std::string element =
            "C:\\Program Files\\arbora.exe <ImportTav path=\"" + WideToUtf8(CXmlDoc::EncodeAttrib(path)) + "\"/>";
        const std::optional<std::u16string> found = FindImportTavPath(Utf8ToWide(UrlDecode(UrlEncode(element))));
        Require(found && *found == path, "path not read back");
    }
    return 0;
}
