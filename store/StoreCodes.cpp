#include "store/StoreCodes.h"

#include <cstdio>

std::u16string DescribeStoreResult(int32_t code)
{
    const char16_t* words = u"unknown result";
    switch (code) {
    case 0: words = u"success"; break;
    case kTavSqliteError: words = u"the learning unit cannot be opened or read (database error)"; break;
    case kTavImportFailed: words = u"the account may not read the learning unit, or the import failed"; break;
    case kTavNoReadingState: words = u"a literature has no reading-state row"; break;
    default: break;
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
    std::u16string text(hex, hex + std::char_traits<char>::length(hex));
    text += u": ";
    text += words;
    return text;
}
