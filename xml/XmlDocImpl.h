#pragma once
// Internal declarations shared by the CXmlDoc source files (not part of the public interface).
#include "xml/XmlDoc.h"

#include <string>
#include <string_view>

namespace xmlchars {

// White space: tab, line feed, carriage return, space.
inline bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

// Characters that end a name inside a tag: white space and ! " ' / ; < = > ? backslash.
inline bool IsNameEnd(char16_t c) {
    switch (c) {
    case u' ': case u'\t': case u'\n': case u'\r':
    case u'!': case u'"': case u'\'': case u'/': case u';':
    case u'<': case u'=': case u'>': case u'?': case u'\\':
        return true;
    default:
        return false;
    }
}

// Characters that may begin an element name right after "<": A-Z, a-z, "_", ":" and every
// code unit from "a" (97) upwards.
inline bool IsNameStart(char16_t c) { return c >= u'a' || (c >= u'A' && c <= u'Z') || c == u'_' || c == u':'; }

// Characters that end a sought name in FindTag (besides the end of the text).
inline bool IsSoughtNameEnd(char16_t c) { return c == u' ' || c == u'/' || c == u'=' || c == u'[' || c == u']'; }

inline bool IsQuote(char16_t c) { return c == u'"' || c == u'\''; }

}  // namespace xmlchars

// One node of the tokenizer.
struct SXmlToken {
    int type = CXmlDoc::NT_END;
    size_t start = 0;      // offset of the node's first character
    size_t end = 0;        // offset just after the node
    size_t nameStart = 0;  // start and end tags: the name
    size_t nameLen = 0;
    bool empty = false;    // start tag written as an empty element ("/>")
};

// One attribute of a start tag, as the attribute scanner sees it.
struct SXmlAttrSpan {
    size_t nameStart = 0, nameEnd = 0;
    size_t valueStart = 0, valueEnd = 0;  // the value without quotes
    bool hasValue = false;                // "=" was written
    bool quoted = false;
    size_t end = 0;                       // just after the attribute (after a closing quote)
};

// Outcome of parsing one text into an index.
struct SXmlParseOutcome {
    bool overflow = false;   // the text does not fit the index: nothing usable was built
    uint32_t maxLevel = 0;   // deepest level of any element
};

struct CXmlDocImpl {
    static constexpr uint32_t kStartTagMask = 0x3FFFFF;
    static uint32_t StartTagLen(const SXmlElemRecord& r) { return r.tagLens & kStartTagMask; }
    static uint32_t EndTagLen(const SXmlElemRecord& r) { return r.tagLens >> 22; }
    static void SetTagLens(SXmlElemRecord& r, uint32_t startLen, uint32_t endLen) {
        r.tagLens = (startLen & kStartTagMask) | (endLen << 22);
    }
    static uint32_t Level(const SXmlElemRecord& r) { return r.flags & CXmlDoc::kLevelMask; }
    static void SetLevel(SXmlElemRecord& r, uint32_t level) {
        r.flags = (r.flags & ~CXmlDoc::kLevelMask) | (level & CXmlDoc::kLevelMask);
    }

    // Tokenizer: the node that starts at offset. Syntax problems are recorded in result.
    static void NextNode(const char16_t* text, size_t length, size_t offset, SXmlToken& node,
                         std::u16string& result);

    // Parses text into index (record 0 = the document); nextFree receives the next unused
    // record index. Problems go to result. Refuses (outcome.overflow) what does not fit.
    static SXmlParseOutcome Parse(const char16_t* text, size_t length, CXmlElemIndex& index,
                                  int32_t& nextFree, std::u16string& result, int32_t maxDocLength,
                                  int32_t maxRecords);
    static bool WellFormed(const CXmlElemIndex& index, int32_t nextFree);

    // Result entries: "<name a="v" .../>" appended while the result is shorter than the cap.
    static void AddResult(std::u16string& result, const char16_t* name,
                          const char16_t* attr1 = nullptr, std::u16string_view value1 = {},
                          const char16_t* attr2 = nullptr, std::u16string_view value2 = {},
                          const char16_t* attr3 = nullptr, std::u16string_view value3 = {});
    static std::u16string Number(size_t n);

    // Reading helpers.
    static bool IsElementPos(const CXmlDoc& d, int32_t pos);
    static size_t NameEnd(const std::u16string& doc, size_t nameStart, size_t limit);
    // Scans the next attribute of the start tag of pos from cursor (0 = after the name).
    static bool ScanAttrib(const CXmlDoc& d, int32_t pos, size_t& cursor, SXmlAttrSpan& span);

    // Editing helpers.
    static bool Replace(CXmlDoc& d, size_t offset, size_t oldLen, const std::u16string& text,
                        int32_t growFrom);
    static bool InsertMarkup(CXmlDoc& d, const std::u16string& markup, int flags,
                             uint32_t extraLevels, int32_t extraRecords, size_t& markupAt);
    static void LinkAfter(CXmlDoc& d, int32_t rec, int32_t parent, int32_t after);
    static void Unlink(CXmlDoc& d, int32_t rec);
    static bool EnsureRecords(CXmlDoc& d, int32_t count);
    static bool ValidTagName(const char16_t* name, size_t& length);
    static bool ValidAttribName(const char16_t* name, size_t& length);

    static std::u16string Encode(const char16_t* text, size_t length, bool attribute, int flags);
};
