// Bad and truncated input: every prefix of a document parses, navigates and reads without
// touching memory outside the text (run under AddressSanitizer), and changes on ill-formed
// documents keep the index consistent.
#include "xml/XmlDoc.h"
#include "xml/XmlTestUtil.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

// Visits every element (no recursion) and reads everything that can be read.
void ReadEverything(CXmlDoc& doc) {
    doc.ResetPos();
    int guard = 0;
    for (;;) {
        ASSERT_LT(++guard, 100000);
        if (doc.FindTag(nullptr)) {
            std::u16string name, value;
            for (int i = 0; doc.GetAttribByIndex(i, name, value); ++i) {
                EXPECT_EQ(doc.GetAttrib(name), value);  // no name is written twice here
            }
            (void)doc.GetSubDoc();
            (void)doc.GetTagName();
            ASSERT_TRUE(doc.IntoTag());
            continue;
        }
        if (!doc.OutOfTag()) {
            break;
        }
    }
}

TEST(XmlRobustness, EveryPrefixOfADocumentIsSafe) {
    const std::u16string text =
        u"<?xml version=\"1.0\"?><!DOCTYPE n [<!ENTITY e \"x\"><!-- c -->]>"
        u"<NoteSet a=\"&amp;&#x41;&#65;&Oslash;\" b='&lt' c=d/ e>\r\n<Note-Package v=1>"
        u"<Item id=\"1\"><![CDATA[a]]b]]></Item><!-- x --><?p q?><Item id='2'/>text &amp; more"
        u"</Note-Package></NoteSet>\r\n";
    for (size_t n = 0; n <= text.size(); ++n) {
        CXmlDoc doc;
        const bool ok = doc.SetDoc(text.substr(0, n));
        EXPECT_EQ(ok, n >= text.size() - 2) << n;  // only the whole element is well-formed
        ASSERT_EQ(doc.CheckIndex(), "") << n;
        ReadEverything(doc);
        // and a change on whatever was indexed
        doc.ResetPos();
        if (doc.FindTag(nullptr)) {
            EXPECT_TRUE(doc.SetAttrib(u"z", u"1"));
            ASSERT_TRUE(doc.IntoTag());
            EXPECT_TRUE(doc.AddTag(u"added"));
            EXPECT_EQ(doc.CheckIndex(), "") << n;
        }
    }
}

TEST(XmlRobustness, TruncatedReferencesStopAtTheEndOfTheText) {
    // exact-size buffers, so that a read past the end is caught
    for (const char16_t* s : {u"&", u"&#", u"&#x", u"&#x4", u"&lt", u"&amp", u"a&quot", u"&#1234567", u"&thetasym"}) {
        const size_t n = std::char_traits<char16_t>::length(s);
        auto buffer = std::make_unique<char16_t[]>(n);
        std::char_traits<char16_t>::copy(buffer.get(), s, n);
        EXPECT_EQ(CXmlDoc::DecodeText(buffer.get(), n), s);
    }
}

TEST(XmlRobustness, MarkupCutShortAtEveryKindOfTag) {
    for (const char16_t* s : {u"<", u"<!", u"<!-", u"<![", u"<!D", u"<?", u"</", u"<a", u"<a b", u"<a b=", u"<a b='",
                              u"<a b=c", u"<a/", u"<!DOCTYPE x [", u"<!DOCTYPE x [<!", u"<!DOCTYPE x [<!E",
                              u"<!DOCTYPE x [<!--", u"<!DOCTYPE x '", u"<r><![CDATA[", u"<r>&"}) {
        CXmlDoc doc;
        EXPECT_FALSE(doc.SetDoc(s));
        EXPECT_EQ(doc.CheckIndex(), "");
        EXPECT_FALSE(doc.GetResult().empty());
        ReadEverything(doc);
    }
}

TEST(XmlRobustness, OddAttributeSyntaxIsReadConsistently) {
    CXmlDoc doc;
    doc.SetDoc(u"<a =x b=\"1\" / c ?d='2'e=3 f='>'/>");
    ASSERT_TRUE(doc.FindTag(u"a"));
    std::u16string name, value, all;
    for (int i = 0; doc.GetAttribByIndex(i, name, value); ++i) {
        all += name + u"=" + value + u";";
    }
    EXPECT_EQ(all, u"b=1;c=;d=2;e=3;f=>;");
    // the element is empty: nothing after it is inside it
    EXPECT_EQ(doc.Record(doc.GetMainPos()).length, doc.GetDoc().size());
    EXPECT_TRUE(doc.SetAttrib(u"f", u"<"));
    EXPECT_TRUE(doc.SetAttrib(u"g", u"new"));
    EXPECT_EQ(doc.GetDoc(), u"<a =x b=\"1\" / c ?d='2'e=3 f=\"&lt;\" g=\"new\"/>");
    EXPECT_EQ(doc.CheckIndex(), "");
}

TEST(XmlRobustness, ChangesInsideAnIllFormedDocument) {
    CXmlDoc doc;
    EXPECT_FALSE(doc.SetDoc(u"<r><open><x/></r>"));  // open is unended
    ASSERT_TRUE(Enter(doc, u"r"));
    ASSERT_TRUE(Enter(doc, u"open"));
    // adding into an element without an end tag gives it one
    ASSERT_TRUE(doc.AddTag(u"in"));
    EXPECT_EQ(doc.GetDoc(), u"<r><open>\r\n<in/>\r\n</open><x/></r>");
    EXPECT_EQ(doc.CheckIndex(), "");
    ASSERT_TRUE(doc.OutOfTag());
    EXPECT_EQ(doc.Record(doc.GetMainPos()).flags & CXmlDoc::kFlagNonEnded, 0u);
    ASSERT_TRUE(doc.FindTag(u"x"));
    ASSERT_TRUE(doc.RemoveTag());
    EXPECT_EQ(doc.GetDoc(), u"<r><open>\r\n<in/>\r\n</open></r>");
    CXmlDoc again;
    EXPECT_TRUE(again.SetDoc(doc.GetDoc()));
}

TEST(XmlRobustness, LoneEndTagsUnderDeepNestingStayLinear) {
    // a deep stack and many end tags that match nothing
    std::u16string text;
    for (int i = 0; i < 20000; ++i) text += u"<a>";
    for (int i = 0; i < 200000; ++i) text += u"</b>";
    CXmlDoc doc;
    EXPECT_FALSE(doc.SetDoc(text));
    EXPECT_EQ(doc.CheckIndex(), "");
    EXPECT_GE(doc.GetResult().size(), 1000u);
}

}  // namespace
