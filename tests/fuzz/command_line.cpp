// Start-up's command line: URL decoding never grows the text and changes only escapes and "+", and a
// path written into an ImportTav element is read back exactly.
#include "app/startup/CommandLine.h"
#include "fuzz/FuzzCheck.h"
#include "support/TextConvert.h"
#include "xml/XmlDoc.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const std::string line = in.ConsumeRandomLengthString(size);
    const std::string decoded = UrlDecode(line);
    REQUIRE(decoded.size() <= line.size());
    REQUIRE(decoded == line || line.find_first_of("%+") != std::string::npos);
    (void)FindImportTavPath(Utf8ToWide(decoded));
    const std::u16string path = Utf8ToWide(in.ConsumeRandomLengthString(64));
    if (path.find(u'\0') == std::u16string::npos) {
        const std::u16string element = u"C:\\Program Files\\arbora.exe <ImportTav path=\"" +
                                       CXmlDoc::EncodeAttrib(path) + u"\"/>";
        const std::optional<std::u16string> found = FindImportTavPath(element);
        REQUIRE(found && *found == path);
    }
    return 0;
}
