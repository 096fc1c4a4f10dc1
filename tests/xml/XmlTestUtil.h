#pragma once
// Helpers of the CXmlDoc tests and fuzz target (no test framework here).
#include "xml/XmlDoc.h"

#include <algorithm>
#include <string>

// "r/a" finds r, goes into it and finds a; a final "/" goes into the last element found.
inline bool At(CXmlDoc& doc, std::u16string_view path)
{
    doc.ResetPos();
    for (size_t start = 0, end = 0; end != path.size(); start = end + 1) {
        end = std::min(path.find(u'/', start), path.size());
        const std::u16string name(path.substr(start, end - start));
        if ((start != 0 && !doc.IntoTag()) || (!name.empty() && !doc.FindTag(name)))
            return false;
    }
    return true;
}

inline std::u16string Repeat(const std::u16string& s, size_t n)
{
    std::u16string out;
    while (n-- > 0)
        out += s;
    return out;
}

// The elements as the index links them, e.g. "a(b c)"; with spans, each name is followed by
// "@start+length/start tag length,end tag length". Without recursion: nesting goes 65,535 deep.
inline std::u16string Outline(const CXmlDoc& doc, bool spans = false)
{
    std::u16string out;
    for (int32_t n = doc.Record(0).child; n != 0;) {
        const SXmlElemRecord& r = doc.Record(n);
        const std::string span = "@" + std::to_string(r.start) + "+" + std::to_string(r.length) + "/" +
                                 std::to_string(r.tagLens & 0x3FFFFF) + "," + std::to_string(r.tagLens >> 22);
        out += doc.GetTagName(n) + (spans ? std::u16string(span.begin(), span.end()) : u"") + (r.child ? u"(" : u"");
        if (r.child != 0) {
            n = r.child;
            continue;
        }
        while (doc.Record(n).next == 0 && (n = doc.Record(n).parent) != 0)
            out += u")";
        if (n != 0) {
            out += u" ";
            n = doc.Record(n).next;
        }
    }
    return out;
}

// Empty when the index agrees with the text and, for a clean document, parsing the text again finds the same
// elements at the same places.
inline std::string Inconsistency(const CXmlDoc& doc, bool clean = true)
{
    CXmlDoc again;
    again.SetDoc(doc.GetDoc());
    const std::string index = doc.CheckIndex() + again.CheckIndex();
    return !index.empty() || !clean || Outline(again, true) == Outline(doc, true) ? index : "parsed again differently";
}
