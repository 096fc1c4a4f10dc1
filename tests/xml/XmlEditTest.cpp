// Changes: AddTag, SetAttrib, AddSubDoc and RemoveTag keep the text and the index in step.
#include "xml/XmlDoc.h"
#include "xml/XmlTestUtil.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// After every change the index must agree with the text, and parsing the text again must
// find the same elements.
void ExpectConsistent(const CXmlDoc& doc) {
    EXPECT_EQ(doc.CheckIndex(), "");
    CXmlDoc again;
    again.SetDoc(doc.GetDoc());
    EXPECT_EQ(again.NextFreeRecord() - 1, [&] {
        int32_t live = 0;
        for (int32_t r = 1; r < doc.NextFreeRecord(); ++r) {
            if ((doc.Record(r).flags & CXmlDoc::kFlagDeleted) == 0) ++live;
        }
        return live;
    }());
}

TEST(XmlEdit, AddTagOnAnEmptyDocumentCreatesTheRoot) {
    CXmlDoc doc;
    EXPECT_FALSE(doc.SetDoc(u""));
    ASSERT_TRUE(doc.AddTag(u"Comments"));
    EXPECT_EQ(doc.GetDoc(), u"<Comments/>\r\n");
    EXPECT_TRUE(doc.IsWellFormed());
    ExpectConsistent(doc);
    CXmlDoc fresh;  // never parsed at all
    ASSERT_TRUE(fresh.AddTag(u"a", nullptr, CXmlDoc::XML_EMPTY_SPACE | CXmlDoc::XML_NO_LINE_BREAK));
    EXPECT_EQ(fresh.GetDoc(), u"<a />");
}

TEST(XmlEdit, AddTagOpensAnEmptyParent) {
    CXmlDoc doc;
    doc.AddTag(u"Comments");
    ASSERT_TRUE(doc.IntoTag());
    ASSERT_TRUE(doc.AddTag(u"Note-Package"));
    EXPECT_EQ(doc.GetDoc(), u"<Comments>\r\n<Note-Package/>\r\n</Comments>\r\n");
    ASSERT_TRUE(doc.AddTag(u"Other"));  // after the main element
    EXPECT_EQ(doc.GetDoc(), u"<Comments>\r\n<Note-Package/>\r\n<Other/>\r\n</Comments>\r\n");
    doc.ResetMainPos();
    ASSERT_TRUE(doc.AddTag(u"Last", u"v"));  // no main position: at the end of the content
    EXPECT_EQ(doc.GetDoc(), u"<Comments>\r\n<Note-Package/>\r\n<Other/>\r\n<Last>v</Last>\r\n</Comments>\r\n");
    ExpectConsistent(doc);
    // without line breaks
    CXmlDoc flat;
    ASSERT_TRUE(flat.SetDoc(u"<a/>"));
    ASSERT_TRUE(Enter(flat, u"a"));
    ASSERT_TRUE(flat.AddTag(u"b", nullptr, CXmlDoc::XML_NO_LINE_BREAK));
    EXPECT_EQ(flat.GetDoc(), u"<a><b/></a>");
    ExpectConsistent(flat);
}

TEST(XmlEdit, AddTagIntoAnEmptyContentPutsALineBreakFirst) {
    CXmlDoc doc;
    ASSERT_TRUE(doc.SetDoc(u"<r><a></a><z/></r>"));
    ASSERT_TRUE(Enter(doc, u"r"));
    ASSERT_TRUE(Enter(doc, u"a"));
    ASSERT_TRUE(doc.AddTag(u"b"));
    EXPECT_EQ(doc.GetDoc(), u"<r><a>\r\n<b/>\r\n</a><z/></r>");
    ASSERT_TRUE(doc.OutOfTag());
    ASSERT_TRUE(doc.FindTag(u"z"));  // the sibling after the grown element moved along
    EXPECT_EQ(doc.GetSubDoc(), u"<z/>");
    ExpectConsistent(doc);
}

TEST(XmlEdit, AddTagAfterTheMainElementSkipsWhiteSpaceBeforeMarkupOnly) {
    CXmlDoc doc;
    ASSERT_TRUE(doc.SetDoc(u"<r>\r\n  <a/>\r\n  <c/>\r\n</r>"));
    ASSERT_TRUE(Enter(doc, u"r"));
    ASSERT_TRUE(doc.FindTag(u"a"));
    ASSERT_TRUE(doc.AddTag(u"b"));
    EXPECT_EQ(doc.GetDoc(), u"<r>\r\n  <a/>\r\n  <b/>\r\n<c/>\r\n</r>");
    ASSERT_TRUE(doc.FindTag(nullptr));
    EXPECT_EQ(doc.GetTagName(), u"c");
    ExpectConsistent(doc);
    ASSERT_TRUE(doc.SetDoc(u"<r><a/> text<c/></r>"));
    ASSERT_TRUE(Enter(doc, u"r"));
    ASSERT_TRUE(doc.FindTag(u"a"));
    ASSERT_TRUE(doc.AddTag(u"b", nullptr, CXmlDoc::XML_NO_LINE_BREAK));
    EXPECT_EQ(doc.GetDoc(), u"<r><a/><b/> text<c/></r>");
    ExpectConsistent(doc);
}

TEST(XmlEdit, AddTagValuesAreEncodedOrWrittenAsCData) {
    CXmlDoc doc;
    ASSERT_TRUE(doc.AddTag(u"r"));
    ASSERT_TRUE(doc.IntoTag());
    ASSERT_TRUE(doc.AddTag(u"t", u"a<b & \"c\"", CXmlDoc::XML_NO_LINE_BREAK));
    ASSERT_TRUE(doc.AddTag(u"k", u"&amp; & x", CXmlDoc::XML_NO_LINE_BREAK | CXmlDoc::XML_WITH_REFS));
    ASSERT_TRUE(doc.AddTag(u"c", u"x]]>y<z>", CXmlDoc::XML_NO_LINE_BREAK | CXmlDoc::XML_CDATA));
    EXPECT_EQ(doc.GetDoc(),
              u"<r><t>a&lt;b &amp; \"c\"</t><k>&amp; &amp; x</k><c><![CDATA[x]]]]><![CDATA[>y<z>]]></c></r>\r\n");
    ExpectConsistent(doc);
    // names that would break the markup are refused and change nothing
    const std::u16string before = doc.GetDoc();
    for (const char16_t* bad : {u"", u"1a", u"a b", u"a>", u"a/", u"-x", u"a\"b"}) {
        EXPECT_FALSE(doc.AddTag(bad));
    }
    EXPECT_FALSE(doc.AddTag(static_cast<const char16_t*>(nullptr)));
    EXPECT_EQ(doc.GetDoc(), before);
}

TEST(XmlEdit, SetAttribReplacesOrAddsAndShiftsTheRest) {
    CXmlDoc doc;
    ASSERT_TRUE(doc.SetDoc(u"<r><e a=\"1\" b=two c d='4'/><f x=\"1\"/></r>"));
    ASSERT_TRUE(Enter(doc, u"r"));
    ASSERT_TRUE(doc.FindTag(u"e"));
    const int32_t e = doc.GetMainPos();
    EXPECT_TRUE(doc.SetAttrib(u"a", u"say \"hi\" & 'bye' <now>"));
    EXPECT_TRUE(doc.SetAttrib(u"b", u"2"));
    EXPECT_TRUE(doc.SetAttrib(u"c", u"3"));
    EXPECT_TRUE(doc.SetAttrib(u"d", u""));
    EXPECT_TRUE(doc.SetAttrib(u"new", u"n"));
    EXPECT_EQ(doc.GetDoc(),
              u"<r><e a=\"say &quot;hi&quot; &amp; &apos;bye&apos; &lt;now&gt;\" b=\"2\" c=\"3\" d=\"\" new=\"n\"/>"
              u"<f x=\"1\"/></r>");
    EXPECT_EQ(doc.GetAttrib(u"a"), u"say \"hi\" & 'bye' <now>");
    EXPECT_EQ(doc.GetAttrib(u"new"), u"n");
    ASSERT_TRUE(doc.FindTag(u"f"));
    EXPECT_EQ(doc.GetAttrib(u"x"), u"1");
    EXPECT_TRUE(doc.SetAttrib(e, u"a", u"short"));
    EXPECT_EQ(doc.GetAttrib(u"x"), u"1");
    ExpectConsistent(doc);
    // bad names, bad positions
    EXPECT_FALSE(doc.SetAttrib(0, u"a", u"v"));
    EXPECT_FALSE(doc.SetAttrib(12345, u"a", u"v"));
    EXPECT_FALSE(doc.SetAttrib(e, u"a b", u"v"));
    EXPECT_FALSE(doc.SetAttrib(e, u"", u"v"));
    EXPECT_FALSE(doc.SetAttrib(e, u"q\"", u"v"));
}

TEST(XmlEdit, SetAttribGoesBeforeTheClosingOfTheStartTag) {
    CXmlDoc doc;
    ASSERT_TRUE(doc.SetDoc(u"<a  ><b /><c x=y/>t</c></a>"));
    ASSERT_TRUE(doc.FindTag(u"a"));
    ASSERT_TRUE(doc.SetAttrib(u"k", u"1"));
    ASSERT_TRUE(doc.IntoTag());
    ASSERT_TRUE(doc.FindTag(u"b"));
    ASSERT_TRUE(doc.SetAttrib(u"k", u"2"));
    ASSERT_TRUE(doc.FindTag(u"c"));
    ASSERT_TRUE(doc.SetAttrib(u"k", u"3"));
    EXPECT_EQ(doc.GetDoc(), u"<a k=\"1\"  ><b k=\"2\" /><c x=y/ k=\"3\">t</c></a>");
    EXPECT_EQ(doc.GetAttrib(u"x"), u"y/");
    ExpectConsistent(doc);
}

TEST(XmlEdit, RemoveEveryItemInALoop) {
    CXmlDoc doc;
    ASSERT_TRUE(doc.SetDoc(u"<NoteItems>\r\n<Item id=\"a\"/>\r\n<Other/>\r\n<Item id=\"b\"><x/></Item>\r\n"
                           u"<Item id=\"c\"/>\r\n<Tail/>\r\n</NoteItems>"));
    ASSERT_TRUE(Enter(doc, u"NoteItems"));
    EXPECT_FALSE(doc.RemoveTag());  // no main element
    int removed = 0;
    while (doc.FindTag(u"Item")) {
        ASSERT_TRUE(doc.RemoveTag());
        ++removed;
        EXPECT_EQ(doc.CheckIndex(), "");
    }
    EXPECT_EQ(removed, 3);
    EXPECT_EQ(doc.GetDoc(), u"<NoteItems>\r\n\r\n<Other/>\r\n\r\n\r\n<Tail/>\r\n</NoteItems>");
    doc.ResetMainPos();
    ASSERT_TRUE(doc.FindTag(nullptr));
    EXPECT_EQ(doc.GetTagName(), u"Other");
    ASSERT_TRUE(doc.FindTag(nullptr));
    EXPECT_EQ(doc.GetTagName(), u"Tail");
    EXPECT_FALSE(doc.FindTag(nullptr));
    ExpectConsistent(doc);
}

TEST(XmlEdit, RemoveTagMovesToThePreviousSiblingAndDeletesDescendants) {
    CXmlDoc doc;
    ASSERT_TRUE(doc.SetDoc(u"<r><a/><b><c><d/></c></b><e/></r>"));
    ASSERT_TRUE(Enter(doc, u"r"));
    ASSERT_TRUE(doc.FindTag(u"b"));
    const int32_t b = doc.GetMainPos();
    ASSERT_TRUE(doc.RemoveTag());
    EXPECT_EQ(doc.GetTagName(), u"a");
    for (int32_t r = b; r < b + 3; ++r) {
        EXPECT_NE(doc.Record(r).flags & CXmlDoc::kFlagDeleted, 0u);
        EXPECT_EQ(doc.GetSubDoc(r), u"");
        EXPECT_FALSE(doc.SetAttrib(r, u"x", u"1"));
    }
    ASSERT_TRUE(doc.RemoveTag());  // a: the first child; e becomes the first
    EXPECT_EQ(doc.GetMainPos(), 0);
    ASSERT_TRUE(doc.FindTag(nullptr));
    EXPECT_EQ(doc.GetTagName(), u"e");
    EXPECT_NE(doc.Record(doc.GetMainPos()).flags & CXmlDoc::kFlagFirst, 0u);
    // new records take fresh indexes; deleted ones are never reused
    const int32_t next = doc.NextFreeRecord();
    ASSERT_TRUE(doc.AddTag(u"n"));
    EXPECT_EQ(doc.GetMainPos(), next);
    EXPECT_EQ(doc.GetDoc(), u"<r><e/><n/>\r\n</r>");
    ExpectConsistent(doc);
}

TEST(XmlEdit, AddSubDocInsertsOneWellFormedElement) {
    CXmlDoc doc;
    ASSERT_TRUE(doc.SetDoc(u"<NoteItems/>"));
    ASSERT_TRUE(Enter(doc, u"NoteItems"));
    ASSERT_TRUE(doc.AddSubDoc(u"<?xml version=\"1.0\"?>\r\n<Item id=\"a\"><p>x &amp; y</p></Item>\r\n<!-- c -->"));
    EXPECT_EQ(doc.GetAttrib(u"id"), u"a");
    ASSERT_TRUE(doc.AddSubDoc(u"<Item id=\"b\"/>\r\n"));
    EXPECT_EQ(doc.GetDoc(),
              u"<NoteItems>\r\n<Item id=\"a\"><p>x &amp; y</p></Item>\r\n<Item id=\"b\"/>\r\n</NoteItems>");
    ASSERT_TRUE(doc.IntoTag());
    EXPECT_FALSE(doc.FindTag(nullptr));  // b is empty
    ASSERT_TRUE(doc.OutOfTag());
    doc.ResetMainPos();
    ASSERT_TRUE(Enter(doc, u"Item"));
    ASSERT_TRUE(doc.FindTag(u"p"));
    EXPECT_EQ(doc.Record(doc.GetMainPos()).flags & CXmlDoc::kLevelMask, 2u);
    ExpectConsistent(doc);
}

TEST(XmlEdit, AddSubDocWithIllFormedMarkupInsertsItUnchanged) {
    CXmlDoc doc;
    ASSERT_TRUE(doc.SetDoc(u"<r><z/></r>"));
    ASSERT_TRUE(Enter(doc, u"r"));
    EXPECT_FALSE(doc.AddSubDoc(u"t<a/><b><c/></b>"));
    EXPECT_EQ(doc.GetDoc(), u"<r><z/>t<a/><b><c/></b></r>");
    EXPECT_EQ(doc.GetTagName(), u"a");  // the first inserted element
    ASSERT_TRUE(doc.FindTag(nullptr));
    EXPECT_EQ(doc.GetTagName(), u"b");
    ASSERT_TRUE(doc.IntoTag());
    ASSERT_TRUE(doc.FindTag(u"c"));
    EXPECT_EQ(doc.CheckIndex(), "");
    EXPECT_FALSE(doc.AddSubDoc(u""));
    EXPECT_FALSE(doc.AddSubDoc(static_cast<const char16_t*>(nullptr)));
}

TEST(XmlEdit, CopiesAreIndependent) {
    CXmlDoc a;
    ASSERT_TRUE(a.SetDoc(u"<r><x/></r>"));
    ASSERT_TRUE(a.FindTag(u"r"));
    CXmlDoc b = a;
    ASSERT_TRUE(b.IntoTag());
    ASSERT_TRUE(b.AddTag(u"y"));
    EXPECT_EQ(a.GetDoc(), u"<r><x/></r>");
    EXPECT_EQ(b.GetDoc(), u"<r><x/><y/>\r\n</r>");
    EXPECT_EQ(a.CheckIndex(), "");
    EXPECT_EQ(b.CheckIndex(), "");
}

}  // namespace

namespace {

TEST(XmlEdit, MovedFromDocumentIsEmptyAndUsable) {
    CXmlDoc a;
    ASSERT_TRUE(a.SetDoc(u"<r><x/></r>"));
    ASSERT_TRUE(Enter(a, u"r"));
    ASSERT_TRUE(a.FindTag(u"x"));
    CXmlDoc b = std::move(a);
    EXPECT_EQ(b.GetTagName(), u"x");
    EXPECT_EQ(b.CheckIndex(), "");
    // the old object answers like an empty document and can be built up again
    EXPECT_EQ(a.CheckIndex(), "");  // NOLINT(bugprone-use-after-move)
    EXPECT_FALSE(a.FindTag(nullptr));
    EXPECT_FALSE(a.IntoTag());
    EXPECT_FALSE(a.RemoveTag());
    EXPECT_FALSE(a.IsWellFormed());
    EXPECT_EQ(a.GetAttrib(1, u"x"), u"");
    ASSERT_TRUE(a.AddTag(u"n"));
    EXPECT_EQ(a.GetDoc(), u"<n/>\r\n");
    EXPECT_EQ(a.CheckIndex(), "");
    CXmlDoc c;
    c = std::move(b);
    EXPECT_EQ(c.GetDoc(), u"<r><x/></r>");
    EXPECT_FALSE(b.FindTag(nullptr));  // NOLINT(bugprone-use-after-move)
    ASSERT_TRUE(b.SetDoc(u"<again/>"));
    EXPECT_TRUE(b.FindTag(u"again"));
}

}  // namespace

namespace {

TEST(XmlEdit, ChangesThatWouldOverflowATagFieldAreRefused) {
    // an end tag "</name>" must fit 10 bits
    const std::u16string longName = u"n" + std::u16string(1020, u'x');  // "</...>" is 1024 long
    CXmlDoc doc;
    EXPECT_TRUE(doc.AddTag(longName));  // no end tag needed
    ASSERT_TRUE(doc.IntoTag());
    const std::u16string before = doc.GetDoc();
    EXPECT_FALSE(doc.AddTag(u"child"));  // opening the parent would need that end tag
    EXPECT_EQ(doc.GetDoc(), before);
    EXPECT_FALSE(doc.AddTag(longName, u"value"));
    EXPECT_EQ(doc.GetDoc(), before);
    EXPECT_EQ(doc.CheckIndex(), "");
    // a start tag must fit 22 bits
    ASSERT_TRUE(doc.OutOfTag());
    const std::u16string big(0x3FFFFF - longName.size() - 8, u'v');
    EXPECT_TRUE(doc.SetAttrib(u"a", big.c_str()));  // <name a="..."/> exactly at the limit
    EXPECT_EQ(doc.Record(doc.GetMainPos()).tagLens & 0x3FFFFF, 0x3FFFFFu);
    EXPECT_FALSE(doc.SetAttrib(u"b", u""));
    EXPECT_FALSE(doc.SetAttrib(u"a", (big + u"v").c_str()));
    EXPECT_TRUE(doc.SetAttrib(u"a", u"short"));
    EXPECT_EQ(doc.CheckIndex(), "");
}

TEST(XmlEdit, AddSubDocRefusesMarkupNestedBeyondTheLevelField) {
    std::u16string deep;
    for (int i = 0; i < 65535; ++i) deep += u"<d>";
    for (int i = 0; i < 65535; ++i) deep += u"</d>";
    CXmlDoc doc;
    ASSERT_TRUE(doc.SetDoc(u"<r/>"));
    ASSERT_TRUE(Enter(doc, u"r"));
    // levels 1..65535 fit under r; one level more does not
    EXPECT_TRUE(doc.AddSubDoc(deep));
    ASSERT_TRUE(doc.IntoTag());
    const std::u16string before = doc.GetDoc();
    EXPECT_FALSE(doc.AddSubDoc(deep));
    EXPECT_EQ(doc.GetDoc(), before);
    EXPECT_EQ(doc.CheckIndex(), "");
}

}  // namespace
