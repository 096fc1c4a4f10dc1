#pragma once
// Small helpers shared by the CXmlDoc tests.
#include "xml/XmlDoc.h"

#include <gtest/gtest.h>

#include <string>

// Finds the element of that name at the current level and goes into it.
inline bool Enter(CXmlDoc& doc, const char16_t* name) { return doc.FindTag(name) && doc.IntoTag(); }

inline std::u16string Repeat(const std::u16string& s, size_t n)
{
    std::u16string out;
    for (size_t i = 0; i < n; ++i)
        out += s;
    return out;
}

// The elements as the index links them, e.g. "a(b c)", walked without recursion; with spans,
// each name is followed by its start and length in the text.
inline std::u16string Outline(const CXmlDoc& doc, bool spans = false)
{
    std::u16string out;
    for (int32_t n = doc.Record(0).child; n != 0;) {
        const SXmlElemRecord& r = doc.Record(n);
        out += doc.GetTagName(n);
        if (spans) {
            const std::string span = "@" + std::to_string(r.start) + "+" + std::to_string(r.length);
            out += std::u16string(span.begin(), span.end());
        }
        if (r.child != 0) {
            out += u"(";
            n = r.child;
            continue;
        }
        while (n != 0 && doc.Record(n).next == 0 && (n = doc.Record(n).parent) != 0)
            out += u")";
        if (n != 0) {
            out += u" ";
            n = doc.Record(n).next;
        }
    }
    return out;
}

// The index agrees with the text, and parsing the text again finds the same elements at the
// same places.
inline void ExpectConsistent(const CXmlDoc& doc)
{
    EXPECT_EQ(doc.CheckIndex(), "");
    CXmlDoc again;
    again.SetDoc(doc.GetDoc());
    EXPECT_EQ(Outline(again, true), Outline(doc, true));
}
