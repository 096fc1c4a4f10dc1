// Navigation and reading: FindTag name matching, moving in and out, attributes, sub-documents.
#include "xml/XmlDoc.h"
#include "xml/XmlTestUtil.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(XmlNavigate, FindTagMatchesWholeNamesWithExactCase) {
    CXmlDoc doc;
    ASSERT_TRUE(doc.SetDoc(u"<r><Items/><item/><Item id=\"1\"/><Item-x/><Item id=\"2\">t</Item></r>"));
    ASSERT_TRUE(Enter(doc, u"r"));
    ASSERT_TRUE(doc.FindTag(u"Item"));
    EXPECT_EQ(doc.GetAttrib(u"id"), u"1");
    ASSERT_TRUE(doc.FindTag(u"Item"));
    EXPECT_EQ(doc.GetAttrib(u"id"), u"2");
    EXPECT_FALSE(doc.FindTag(u"Item"));
    // a failed search leaves the position where it was
    EXPECT_EQ(doc.GetAttrib(u"id"), u"2");
    // the sought name ends at a space, "/", "=", "[" or "]"
    doc.ResetMainPos();
    ASSERT_TRUE(doc.FindTag(u"Item[@id='2']"));
    EXPECT_EQ(doc.GetAttrib(u"id"), u"1");
    doc.ResetMainPos();
    EXPECT_TRUE(doc.FindTag(u"Items "));
    // names that begin with "/" are refused; null or empty takes the next element
    EXPECT_FALSE(doc.FindTag(u"/r"));
    EXPECT_TRUE(doc.FindTag(u""));
    EXPECT_EQ(doc.GetTagName(), u"item");
    EXPECT_TRUE(doc.FindTag(nullptr));
    EXPECT_EQ(doc.GetTagName(), u"Item");
}

TEST(XmlNavigate, FindTagOnAnEmptyIndexFails) {
    CXmlDoc doc;
    EXPECT_FALSE(doc.FindTag(nullptr));
    doc.SetDoc(u"just text");
    EXPECT_FALSE(doc.FindTag(nullptr));
    EXPECT_EQ(doc.GetResult(), u"<no_root_element/>");
}

TEST(XmlNavigate, IntoAndOutOfTagRememberTheChild) {
    CXmlDoc doc;
    ASSERT_TRUE(doc.SetDoc(u"<a><b><c/></b><d/></a>"));
    EXPECT_FALSE(doc.IntoTag());   // no main element yet
    EXPECT_FALSE(doc.OutOfTag());  // already at the document level
    ASSERT_TRUE(doc.FindTag(u"a"));
    const int32_t a = doc.GetMainPos();
    ASSERT_TRUE(doc.IntoTag());
    EXPECT_EQ(doc.GetParentPos(), a);
    EXPECT_EQ(doc.GetMainPos(), 0);
    ASSERT_TRUE(doc.FindTag(u"b"));
    const int32_t b = doc.GetMainPos();
    ASSERT_TRUE(doc.IntoTag());
    ASSERT_TRUE(doc.FindTag(u"c"));
    ASSERT_TRUE(doc.OutOfTag());
    EXPECT_EQ(doc.GetMainPos(), b);
    EXPECT_EQ(doc.GetParentPos(), a);
    EXPECT_NE(doc.GetChildPos(), 0);
    ASSERT_TRUE(doc.IntoTag());  // back onto c
    EXPECT_EQ(doc.GetTagName(), u"c");
    ASSERT_TRUE(doc.OutOfTag());
    ASSERT_TRUE(doc.FindTag(u"d"));
    ASSERT_TRUE(doc.OutOfTag());
    EXPECT_EQ(doc.GetMainPos(), a);
    EXPECT_EQ(doc.GetParentPos(), 0);
    EXPECT_FALSE(doc.OutOfTag());
}

TEST(XmlNavigate, AttributesAreReadAndDecoded) {
    CXmlDoc doc;
    ASSERT_TRUE(doc.SetDoc(u"<e a=\"a &lt; b\" b='&#x41;&#65;' c=&bogus; d = \"x\" e f=plain/ g=\"&Oslash;&oslash;\"/>"));
    ASSERT_TRUE(doc.FindTag(u"e"));
    EXPECT_EQ(doc.GetAttrib(u"a"), u"a < b");
    EXPECT_EQ(doc.GetAttrib(u"b"), u"AA");
    EXPECT_EQ(doc.GetAttrib(u"c"), u"&bogus;");
    EXPECT_EQ(doc.GetAttrib(u"d"), u"x");
    EXPECT_EQ(doc.GetAttrib(u"e"), u"");
    EXPECT_EQ(doc.GetAttrib(u"f"), u"plain/");
    EXPECT_EQ(doc.GetAttrib(u"g"), u"\u00D8\u00F8");
    EXPECT_EQ(doc.GetAttrib(u"missing"), u"");
    EXPECT_EQ(doc.GetAttrib(u"A"), u"");  // exact case
    EXPECT_EQ(doc.GetAttrib(0, u"a"), u"");
    EXPECT_EQ(doc.GetAttrib(999, u"a"), u"");
    EXPECT_EQ(doc.GetAttrib(-1, u"a"), u"");
    EXPECT_EQ(doc.GetAttrib(doc.GetMainPos(), static_cast<const char16_t*>(nullptr)), u"");
}

TEST(XmlNavigate, AttributesByIndexInWrittenOrder) {
    CXmlDoc doc;
    ASSERT_TRUE(doc.SetDoc(u"<Note-Package version=\"2\" owner='A &amp; B' empty checked=yes />"));
    std::u16string name, value;
    EXPECT_FALSE(doc.GetAttribByIndex(0, name, value));  // no main element yet
    ASSERT_TRUE(doc.FindTag(u"Note-Package"));
    std::vector<std::u16string> seen;
    for (int i = 0; doc.GetAttribByIndex(i, name, value); ++i) {
        seen.push_back(name + u"=" + value);
    }
    EXPECT_EQ(seen, (std::vector<std::u16string>{u"version=2", u"owner=A & B", u"empty=", u"checked=yes"}));
    EXPECT_FALSE(doc.GetAttribByIndex(-1, name, value));
}

TEST(XmlNavigate, CommandLineElementAfterAProgramPath) {
    CXmlDoc doc;
    // the program path is plain text before the element
    doc.SetDoc(u"\"C:\\Program Files\\tool.exe\" <ImportTav path=\"D:\\\u5B66\u4E60\\a&amp;b &quot;1&quot; &#x5B66;.tav\"/>");
    ASSERT_TRUE(doc.FindTag(u"ImportTav"));
    EXPECT_EQ(doc.GetAttrib(u"path"), u"D:\\\u5B66\u4E60\\a&b \"1\" \u5B66.tav");
}

TEST(XmlNavigate, SubDocumentTakesTrailingWhiteSpaceOnlyBeforeMarkup) {
    CXmlDoc doc;
    ASSERT_TRUE(doc.SetDoc(u"<r>\r\n  <a x=\"1\"><b/></a>\r\n  <c/>  text<d/> \r\n</r>"));
    ASSERT_TRUE(Enter(doc, u"r"));
    ASSERT_TRUE(doc.FindTag(u"a"));
    EXPECT_EQ(doc.GetSubDoc(), u"<a x=\"1\"><b/></a>\r\n  ");
    ASSERT_TRUE(doc.FindTag(u"c"));
    EXPECT_EQ(doc.GetSubDoc(), u"<c/>");  // text follows: no white space
    ASSERT_TRUE(doc.FindTag(u"d"));
    EXPECT_EQ(doc.GetSubDoc(), u"<d/> \r\n");
    EXPECT_EQ(doc.GetSubDoc(0), u"");
    // at the end of the document the trailing white space comes along as well
    ASSERT_TRUE(doc.SetDoc(u"<r/>\r\n"));
    ASSERT_TRUE(doc.FindTag(u"r"));
    EXPECT_EQ(doc.GetSubDoc(), u"<r/>\r\n");
}

}  // namespace
