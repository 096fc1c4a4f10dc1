// Parsing: well-formedness answer, result entries, index structure and the refusal of
// documents that do not fit the index.
#include "xml/XmlDoc.h"
#include "xml/XmlTestUtil.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string Repeat(const std::u16string& s, size_t n) {
    std::u16string out;
    out.reserve(s.size() * n);
    for (size_t i = 0; i < n; ++i) out += s;
    return out;
}

TEST(XmlParse, NullAndEmptyTextGiveAnEmptyDocument) {
    CXmlDoc doc;
    EXPECT_FALSE(doc.SetDoc(static_cast<const char16_t*>(nullptr)));
    EXPECT_EQ(doc.GetDoc(), u"");
    EXPECT_FALSE(doc.FindTag(u"a"));
    EXPECT_FALSE(doc.SetDoc(u""));
    EXPECT_EQ(doc.GetResult(), u"");  // nothing to complain about in an empty text
    EXPECT_EQ(doc.CheckIndex(), "");
}

TEST(XmlParse, WellFormedDocumentIsIndexed) {
    CXmlDoc doc;
    const std::u16string text = u"<?xml version=\"1.0\"?>\r\n<!-- c --><a x='1'><b/><c>t<![CDATA[<x>]]></c></a>\r\n";
    EXPECT_TRUE(doc.SetDoc(text));
    EXPECT_EQ(doc.GetResult(), u"");
    EXPECT_EQ(doc.CheckIndex(), "");
    const SXmlElemRecord& root = doc.Record(doc.Record(0).child);
    EXPECT_EQ(root.start, text.find(u"<a"));
    EXPECT_EQ(root.length, text.find(u"</a>") + 4 - root.start);
    EXPECT_EQ(root.tagLens & 0x3FFFFF, 9u);   // <a x='1'>
    EXPECT_EQ(root.tagLens >> 22, 4u);        // </a>
    EXPECT_EQ(root.flags & 0xFFFF, 0u);
    const SXmlElemRecord& b = doc.Record(root.child);
    EXPECT_EQ(b.flags & 0xFFFF, 1u);
    EXPECT_NE(b.flags & CXmlDoc::kFlagFirst, 0u);
    EXPECT_EQ(b.length, 4u);
    // the first child's previous-sibling word holds the last child
    const SXmlElemRecord& c = doc.Record(b.next);
    EXPECT_EQ(b.prev, b.next);
    EXPECT_EQ(c.prev, root.child);
    EXPECT_EQ(c.next, 0);
    EXPECT_EQ(doc.Record(0).length, text.size());
}

TEST(XmlParse, TwoTopLevelElementsAreIndexedButNotWellFormed) {
    CXmlDoc doc;
    EXPECT_FALSE(doc.SetDoc(u"<a/><b/>"));
    EXPECT_EQ(doc.GetResult(), u"<root_has_sibling/>");
    EXPECT_TRUE(doc.FindTag(u"b"));
    doc.ResetPos();
    EXPECT_TRUE(doc.FindTag(u"a"));
    EXPECT_FALSE(doc.IsWellFormed());
}

TEST(XmlParse, UnendedElementKeepsItsStartTagAndGivesUpItsChildren) {
    CXmlDoc doc;
    EXPECT_FALSE(doc.SetDoc(u"<a><b><c/><d></d></a>"));
    EXPECT_EQ(doc.GetResult(), u"<unended_start_tag tagname=\"b\" offset=\"3\" offset2=\"17\"/>");
    EXPECT_EQ(doc.CheckIndex(), "");
    ASSERT_TRUE(Enter(doc, u"a"));
    ASSERT_TRUE(doc.FindTag(u"b"));
    const SXmlElemRecord& b = doc.Record(doc.GetMainPos());
    EXPECT_EQ(b.length, 3u);
    EXPECT_NE(b.flags & CXmlDoc::kFlagNonEnded, 0u);
    EXPECT_EQ(b.child, 0);
    // c and d follow b as siblings under a, at b's level
    ASSERT_TRUE(doc.FindTag(u"c"));
    EXPECT_EQ(doc.Record(doc.GetMainPos()).flags & 0xFFFF, 1u);
    ASSERT_TRUE(doc.FindTag(u"d"));
    EXPECT_EQ(doc.Record(doc.GetMainPos()).parent, doc.GetParentPos());
    EXPECT_EQ(doc.GetParentPos(), doc.Record(0).child);
    EXPECT_NE(doc.Record(0).flags & CXmlDoc::kFlagIllFormed, 0u);
}

TEST(XmlParse, NestedUnendedElementsAtTheEndOfTheDocument) {
    CXmlDoc doc;
    EXPECT_FALSE(doc.SetDoc(u"<a><b><c><d/>"));
    EXPECT_EQ(doc.GetResult(),
              u"<unended_start_tag tagname=\"c\" offset=\"6\" offset2=\"13\"/>"
              u"<unended_start_tag tagname=\"b\" offset=\"3\" offset2=\"13\"/>"
              u"<unended_start_tag tagname=\"a\" offset=\"0\" offset2=\"13\"/>"
              u"<root_has_sibling/>");
    EXPECT_EQ(doc.CheckIndex(), "");
    // everything ends up at the top level, in document order
    for (const char16_t* name : {u"a", u"b", u"c", u"d"}) {
        ASSERT_TRUE(doc.FindTag(nullptr)) << static_cast<char>(name[0]);
        EXPECT_EQ(doc.GetTagName(), name);
        EXPECT_EQ(doc.Record(doc.GetMainPos()).flags & 0xFFFF, 0u);
    }
    EXPECT_FALSE(doc.FindTag(nullptr));
}

TEST(XmlParse, LoneEndTagIsRecordedAndMarksTheParent) {
    CXmlDoc doc;
    EXPECT_FALSE(doc.SetDoc(u"<a></x></a>"));
    EXPECT_EQ(doc.GetResult(), u"<lone_end_tag tagname=\"x\" offset=\"3\"/>");
    ASSERT_TRUE(doc.FindTag(u"a"));
    EXPECT_NE(doc.Record(doc.GetMainPos()).flags & CXmlDoc::kFlagIllData, 0u);
    EXPECT_EQ(doc.Record(doc.GetMainPos()).length, 11u);
}

TEST(XmlParse, EndTagsMatchWithExactCase) {
    CXmlDoc doc;
    EXPECT_FALSE(doc.SetDoc(u"<a></A>"));
    EXPECT_EQ(doc.GetResult(),
              u"<lone_end_tag tagname=\"A\" offset=\"3\"/><unended_start_tag tagname=\"a\" offset=\"0\" offset2=\"7\"/>");
}

TEST(XmlParse, MarkupSyntaxErrorsAreRecordedWithTheirOffsets) {
    struct Case {
        std::u16string text;
        std::u16string result;
    };
    const Case cases[] = {
        {u"<r>a < b</r>", u"<first_tag_syntax offset=\"5\"/>"},
        {u"<r><!x></r>", u"<exclamation_tag_syntax offset=\"3\"/>"},
        {u"<r><!-x></r>", u"<comment_tag_syntax offset=\"3\"/>"},
        {u"<r><![X[y]]></r>", u"<cdata_section_syntax offset=\"3\"/>"},
        {u"<!DOCTYPE r [<!X>]><r/>", u"<doctype_tag_syntax offset=\"13\"/>"},
        {u"<r><!-- open", u"<unterminated_tag_syntax type=\"comment\" offset=\"3\"/>"
                         u"<unended_start_tag tagname=\"r\" offset=\"0\" offset2=\"12\"/>"},
        {u"<r><![CDATA[x", u"<unterminated_tag_syntax type=\"cdata_section\" offset=\"3\"/>"
                          u"<unended_start_tag tagname=\"r\" offset=\"0\" offset2=\"13\"/>"},
        {u"<r/><?pi", u"<unterminated_tag_syntax type=\"processing_instruction\" offset=\"4\"/>"},
        {u"<r/><!DOCTYPE", u"<unterminated_tag_syntax type=\"document_type\" offset=\"4\"/>"},
        {u"<r></r", u"<unterminated_tag_syntax type=\"end_tag\" offset=\"3\"/>"
                   u"<unended_start_tag tagname=\"r\" offset=\"0\" offset2=\"6\"/>"},
        {u"<r a='>", u"<unterminated_tag_syntax type=\"start_tag\" offset=\"0\"/><no_root_element/>"},
    };
    for (const Case& c : cases) {
        CXmlDoc doc;
        EXPECT_FALSE(doc.SetDoc(c.text));
        EXPECT_EQ(doc.GetResult(), c.result);
        EXPECT_EQ(doc.CheckIndex(), "");
    }
}

TEST(XmlParse, WellFormedMarkupNodesAreNotErrors) {
    CXmlDoc doc;
    EXPECT_TRUE(doc.SetDoc(u"<!DOCTYPE r [<!ELEMENT r (#PCDATA)><!ATTLIST r a CDATA '>'><!-- <x> --><!ENTITY e 'v'>]>"
                           u"<r><?pi <a> ?><!-- <b> --><![CDATA[ <c> ]]></r>"));
    EXPECT_EQ(doc.GetResult(), u"");
    ASSERT_TRUE(doc.FindTag(u"r"));
    EXPECT_TRUE(doc.IntoTag());
    EXPECT_FALSE(doc.FindTag(nullptr));  // nothing inside the markup nodes is an element
}

TEST(XmlParse, QuotedGreaterThanDoesNotEndAStartTag) {
    CXmlDoc doc;
    EXPECT_TRUE(doc.SetDoc(u"<a b=\"x>y\" c='>'/>"));
    ASSERT_TRUE(doc.FindTag(u"a"));
    EXPECT_EQ(doc.GetAttrib(u"b"), u"x>y");
    EXPECT_EQ(doc.GetAttrib(u"c"), u">");
    EXPECT_EQ(doc.Record(doc.GetMainPos()).length, 18u);
}

TEST(XmlParse, SlashEndingAnUnquotedValueBelongsToTheValue) {
    CXmlDoc doc;
    // b=c/ : not an empty element, so it needs its end tag
    EXPECT_TRUE(doc.SetDoc(u"<r><a b=c/><x/></a></r>"));
    ASSERT_TRUE(Enter(doc, u"r"));
    ASSERT_TRUE(doc.FindTag(u"a"));
    EXPECT_EQ(doc.GetAttrib(u"b"), u"c/");
    ASSERT_TRUE(doc.IntoTag());
    EXPECT_TRUE(doc.FindTag(u"x"));
    // with a space before the slash the element is empty
    EXPECT_TRUE(doc.SetDoc(u"<r><a b=c /></r>"));
    ASSERT_TRUE(Enter(doc, u"r"));
    ASSERT_TRUE(doc.FindTag(u"a"));
    EXPECT_EQ(doc.GetAttrib(u"b"), u"c");
}

TEST(XmlParse, ResultTextStopsGrowingAtItsCap) {
    CXmlDoc doc;
    EXPECT_FALSE(doc.SetDoc(u"<r>" + Repeat(u"</x>", 500) + u"</r>"));
    const std::u16string& result = doc.GetResult();
    // entries are added while the text is shorter than 1000 characters
    EXPECT_GE(result.size(), 1000u);
    EXPECT_LT(result.size(), 1000u + 40u);
    EXPECT_EQ(result.substr(result.size() - 2), u"/>");
    // later problems are still marked in the index
    EXPECT_NE(doc.Record(0).flags & CXmlDoc::kFlagIllFormed, 0u);
}

TEST(XmlParse, DeepNestingIsParsedWithoutRecursion) {
    const size_t depth = 65536;  // levels 0..65535: the deepest the level field holds
    CXmlDoc doc;
    EXPECT_TRUE(doc.SetDoc(Repeat(u"<a>", depth) + Repeat(u"</a>", depth)));
    EXPECT_EQ(doc.CheckIndex(), "");
    EXPECT_EQ(doc.Record(static_cast<int32_t>(depth)).flags & 0xFFFF, 65535u);
    // unended all the way down: every element is closed at the end, no stack growth
    EXPECT_FALSE(doc.SetDoc(Repeat(u"<a>", depth)));
    EXPECT_EQ(doc.CheckIndex(), "");
    EXPECT_EQ(doc.Record(static_cast<int32_t>(depth)).flags & 0xFFFF, 0u);
}

TEST(XmlParse, NestingBeyondTheLevelFieldIsRefused) {
    const size_t depth = 65537;
    CXmlDoc doc;
    EXPECT_FALSE(doc.SetDoc(Repeat(u"<a>", depth) + Repeat(u"</a>", depth)));
    EXPECT_EQ(doc.GetResult(), u"<index_overflow type=\"nesting_level\" offset=\"196608\"/>");
    EXPECT_EQ(doc.GetDoc(), u"");
    EXPECT_FALSE(doc.FindTag(nullptr));
    EXPECT_EQ(doc.CheckIndex(), "");
}

TEST(XmlParse, TagsLongerThanTheirFieldsAreRefused) {
    CXmlDoc doc;
    // end tag length: 10 bits
    EXPECT_TRUE(doc.SetDoc(u"<a></a" + Repeat(u" ", 1023 - 4) + u">"));
    EXPECT_FALSE(doc.SetDoc(u"<a></a" + Repeat(u" ", 1024 - 4) + u">"));
    EXPECT_EQ(doc.GetResult(), u"<index_overflow type=\"end_tag_length\" offset=\"3\"/>");
    // start tag length: 22 bits
    const std::u16string value(0x3FFFFF - 9, u'v');
    EXPECT_TRUE(doc.SetDoc(u"<a b=\"" + value + u"\"/>"));
    EXPECT_FALSE(doc.SetDoc(u"<a b=\"" + value + u"v\"/>"));
    EXPECT_EQ(doc.GetResult(), u"<index_overflow type=\"start_tag_length\" offset=\"0\"/>");
    EXPECT_EQ(doc.GetDoc(), u"");
}

TEST(XmlParse, DocumentsBeyondTheLimitsAreRefusedNotTruncated) {
    CXmlDoc doc;
    doc.SetLimits(100, 4);
    EXPECT_FALSE(doc.SetDoc(u"<a>" + Repeat(u"x", 94) + u"</a>"));
    EXPECT_EQ(doc.GetResult(), u"<index_overflow type=\"document_length\" offset=\"0\"/>");
    EXPECT_EQ(doc.GetDoc(), u"");
    EXPECT_TRUE(doc.SetDoc(u"<a><b/><c/></a>"));  // records 1..3
    EXPECT_FALSE(doc.SetDoc(u"<a><b/><c/><d/></a>"));
    EXPECT_EQ(doc.GetResult(), u"<index_overflow type=\"record_count\" offset=\"11\"/>");
    // the changes are refused the same way
    EXPECT_TRUE(doc.SetDoc(u"<a><b/><c/></a>"));
    ASSERT_TRUE(doc.FindTag(u"a"));
    const std::u16string before = doc.GetDoc();
    EXPECT_FALSE(doc.AddTag(u"d"));
    EXPECT_EQ(doc.GetDoc(), before);
    EXPECT_FALSE(doc.SetAttrib(u"x", std::u16string(90, u'y').c_str()));
    EXPECT_EQ(doc.GetDoc(), before);
    EXPECT_EQ(doc.CheckIndex(), "");
}

TEST(XmlParse, IndexGrowsInSegments) {
    // many small elements: the index outgrows its first guess and spans several segments
    CXmlDoc doc;
    const size_t count = 200000;
    EXPECT_TRUE(doc.SetDoc(u"<r>" + Repeat(u"<i/>", count) + u"</r>"));
    EXPECT_EQ(doc.NextFreeRecord(), static_cast<int32_t>(count + 2));
    EXPECT_GE(doc.Index().SegmentCount(), 4u);
    for (size_t s = 0; s + 1 < doc.Index().SegmentCount(); ++s) {
        EXPECT_EQ(doc.Index().SegmentLength(s), 65536u);
    }
    EXPECT_EQ(doc.CheckIndex(), "");
    ASSERT_TRUE(Enter(doc, u"r"));
    size_t found = 0;
    while (doc.FindTag(u"i")) ++found;
    EXPECT_EQ(found, count);
}

}  // namespace

namespace {

TEST(XmlParse, ParsingAgainStartsOverWithNothingLeftFromBefore) {
    CXmlDoc doc;
    ASSERT_TRUE(doc.SetDoc(u"<r>" + Repeat(u"<i a=\"1\"><j/></i>", 300) + u"</r>"));
    ASSERT_TRUE(Enter(doc, u"r"));
    ASSERT_TRUE(doc.FindTag(u"i"));
    // a smaller text in the same object: old records and positions are gone
    EXPECT_FALSE(doc.SetDoc(u"<x><y></x>"));
    EXPECT_EQ(doc.GetResult(), u"<unended_start_tag tagname=\"y\" offset=\"3\" offset2=\"6\"/>");
    EXPECT_EQ(doc.GetMainPos(), 0);
    EXPECT_EQ(doc.NextFreeRecord(), 3);
    EXPECT_EQ(doc.CheckIndex(), "");
    EXPECT_FALSE(doc.FindTag(u"i"));
    EXPECT_EQ(doc.GetSubDoc(5), u"");
    ASSERT_TRUE(Enter(doc, u"x"));
    ASSERT_TRUE(doc.FindTag(u"y"));
    EXPECT_EQ(doc.Record(doc.GetMainPos()).child, 0);
    EXPECT_FALSE(doc.FindTag(nullptr));
    // and a larger one again
    ASSERT_TRUE(doc.SetDoc(u"<r>" + Repeat(u"<k/>", 5000) + u"</r>"));
    EXPECT_EQ(doc.CheckIndex(), "");
    EXPECT_EQ(doc.GetResult(), u"");
}

}  // namespace
