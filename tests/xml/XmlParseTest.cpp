#include "xml/XmlTestUtil.h"

#include <gtest/gtest.h>

namespace {

TEST(XmlParse, ResultEntriesAndTheElementsFound)
{
    const struct {
        std::u16string text, result, outline;
    } rows[] = {
        {u"", u"", u""},
        {u"just text", u"<no_root_element/>", u""},
        {u"<?xml version=\"1.0\"?>\r\n<!-- c --><a x='1'><b/><c>t<![CDATA[<x>]]></c></a>\r\n", u"", u"a(b c)"},
        {u"<!DOCTYPE r [<!ELEMENT r (#PCDATA)><!ATTLIST r a CDATA '>'><!-- <x> --><!ENTITY e 'v'>]>"
         u"<r><?pi <a> ?><!-- <b> --><![CDATA[ <c> ]]></r>", u"", u"r"},
        {u"<r><a b=c/><x/></a></r>", u"", u"r(a(x))"}, // the slash belongs to the unquoted value
        {u"<a/><b/>", u"<root_has_sibling/>", u"a b"},
        {u"<a><b><c/><d></d></a>", u"<unended_start_tag tagname=\"b\" offset=\"3\" offset2=\"17\"/>", u"a(b c d)"},
        {u"<a><b><c><d/>", u"<unended_start_tag tagname=\"c\" offset=\"6\" offset2=\"13\"/><unended_start_tag "
         u"tagname=\"b\" offset=\"3\" offset2=\"13\"/><unended_start_tag tagname=\"a\" offset=\"0\" offset2=\"13\"/>"
         u"<root_has_sibling/>", u"a b c d"},
        {u"<a></x></a>", u"<lone_end_tag tagname=\"x\" offset=\"3\"/>", u"a"},
        {u"<a></A>", u"<lone_end_tag tagname=\"A\" offset=\"3\"/><unended_start_tag tagname=\"a\" offset=\"0\" "
         u"offset2=\"7\"/>", u"a"},
        {u"<r>a < b</r>", u"<first_tag_syntax offset=\"5\"/>", u"r"},
        {u"<r><!x></r>", u"<exclamation_tag_syntax offset=\"3\"/>", u"r"},
        {u"<r><![X[y]]></r>", u"<cdata_section_syntax offset=\"3\"/>", u"r"},
        {u"<!DOCTYPE r [<!X>]><r/>", u"<doctype_tag_syntax offset=\"13\"/>", u"r"},
        {u"<r><!-- open", u"<unterminated_tag_syntax type=\"comment\" offset=\"3\"/><unended_start_tag tagname=\"r\" "
         u"offset=\"0\" offset2=\"12\"/>", u"r"},
        {u"<r/><?pi", u"<unterminated_tag_syntax type=\"processing_instruction\" offset=\"4\"/>", u"r"},
        {u"<r></r", u"<unterminated_tag_syntax type=\"end_tag\" offset=\"3\"/><unended_start_tag tagname=\"r\" "
         u"offset=\"0\" offset2=\"6\"/>", u"r"},
        {u"<r a='>", u"<unterminated_tag_syntax type=\"start_tag\" offset=\"0\"/><no_root_element/>", u""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.text.begin(), row.text.end()));
        CXmlDoc doc;
        const bool wellFormed = !row.text.empty() && row.result.empty();
        EXPECT_EQ(doc.SetDoc(row.text), wellFormed);
        EXPECT_EQ(doc.IsWellFormed(), wellFormed);
        EXPECT_EQ(doc.GetResult(), row.result);
        EXPECT_EQ(Outline(doc), row.outline);
        EXPECT_EQ(doc.CheckIndex(), "");
    }
}

TEST(XmlParse, RecordFieldsOfWellAndIllFormedElements)
{
    CXmlDoc doc;
    const std::u16string text = u"<?xml version=\"1.0\"?>\r\n<a x='1'><b/><c>t</c></a>\r\n";
    ASSERT_TRUE(doc.SetDoc(text) && At(doc, u"a"));
    EXPECT_EQ(doc.Record(doc.GetMainPos()).tagLens, 9u | 4u << 22); // <a x='1'> and </a>
    // An unended element keeps its start tag and gives up its children; a lone end tag marks its parent.
    EXPECT_FALSE(doc.SetDoc(u"<a></x><b><c/></a>"));
    EXPECT_NE(doc.Record(0).flags & CXmlDoc::kFlagIllFormed, 0u);
    ASSERT_TRUE(At(doc, u"a/b"));
    const SXmlElemRecord& unended = doc.Record(doc.GetMainPos());
    EXPECT_EQ(unended.length, 3u);
    EXPECT_EQ(unended.child, 0);
    EXPECT_NE(unended.flags & CXmlDoc::kFlagNonEnded, 0u);
    EXPECT_NE(doc.Record(doc.GetParentPos()).flags & CXmlDoc::kFlagIllData, 0u);
    EXPECT_EQ(doc.Record(doc.GetParentPos()).length, 18u);
}

TEST(XmlParse, LimitsRefuseWithoutTruncatingAndLargeOrRepeatedParses)
{
    CXmlDoc doc;
    // Levels up to 65535 (parsed without recursion), end tags up to 1023 and start tags up to 0x3FFFFF characters.
    const std::u16string value(0x3FFFFF - 9, u'v');
    const std::u16string overflow = u"<index_overflow type=";
    for (const auto& [text, result] : {
             std::pair<std::u16string, std::u16string>{Repeat(u"<a>", 65536) + Repeat(u"</a>", 65536), u""},
             {Repeat(u"<a>", 65537) + Repeat(u"</a>", 65537), overflow + u"\"nesting_level\" offset=\"196608\"/>"},
             {u"<a></a" + Repeat(u" ", 1019) + u">", u""},
             {u"<a></a" + Repeat(u" ", 1020) + u">", overflow + u"\"end_tag_length\" offset=\"3\"/>"},
             {u"<a b=\"" + value + u"\"/>", u""},
             {u"<a b=\"" + value + u"v\"/>", overflow + u"\"start_tag_length\" offset=\"0\"/>"}}) {
        EXPECT_EQ(doc.SetDoc(text), result.empty());
        EXPECT_EQ(doc.GetResult(), result);
        EXPECT_EQ(doc.GetDoc().size(), result.empty() ? text.size() : 0);
        EXPECT_EQ(doc.CheckIndex(), "");
    }
    EXPECT_FALSE(doc.SetDoc(Repeat(u"<a>", 65536)));
    EXPECT_EQ(doc.Record(65536).flags & CXmlDoc::kLevelMask, 0u); // unended: each closes at the end, at the top level
    ASSERT_TRUE(doc.SetDoc(Repeat(u"<a>", 65536) + Repeat(u"</a>", 65536)));
    EXPECT_EQ(doc.Record(65536).flags & CXmlDoc::kLevelMask, 65535u);

    doc.SetLimits(100, 4);
    EXPECT_FALSE(doc.SetDoc(u"<a>" + Repeat(u"x", 94) + u"</a>"));
    EXPECT_EQ(doc.GetResult(), overflow + u"\"document_length\" offset=\"0\"/>");
    EXPECT_FALSE(doc.SetDoc(u"<a><b/><c/><d/></a>"));
    EXPECT_EQ(doc.GetResult(), overflow + u"\"record_count\" offset=\"11\"/>");
    // Changes are refused the same way.
    ASSERT_TRUE(doc.SetDoc(u"<a><b/><c/></a>") && doc.FindTag(u"a"));
    EXPECT_FALSE(doc.AddTag(u"d"));
    EXPECT_FALSE(doc.SetAttrib(u"x", std::u16string(90, u'y').c_str()));
    EXPECT_EQ(doc.GetDoc(), u"<a><b/><c/></a>");
    EXPECT_EQ(doc.CheckIndex(), "");
    doc.SetLimits(CXmlDoc::kMaxDocLength, CXmlDoc::kMaxRecords);
    // Entries are added while the result is shorter than 1000 characters; the index still marks the rest.
    EXPECT_FALSE(doc.SetDoc(u"<r>" + Repeat(u"</x>", 500) + u"</r>"));
    EXPECT_GE(doc.GetResult().size(), 1000u);
    EXPECT_LT(doc.GetResult().size(), 1040u);
    EXPECT_TRUE(doc.GetResult().ends_with(u"/>"));
    // Many small elements: the index spans several full segments.
    ASSERT_TRUE(doc.SetDoc(u"<r>" + Repeat(u"<i a=\"1\"/>", 200000) + u"</r>"));
    EXPECT_EQ(doc.NextFreeRecord(), 200002);
    EXPECT_GE(doc.Index().SegmentCount(), 4u);
    for (size_t s = 0; s + 1 < doc.Index().SegmentCount(); ++s)
        EXPECT_EQ(doc.Index().SegmentLength(s), 65536u);
    EXPECT_EQ(doc.CheckIndex(), "");
    ASSERT_TRUE(At(doc, u"r/i"));
    // A smaller text in the same object: old records and positions are gone.
    EXPECT_FALSE(doc.SetDoc(u"<x><y></x>"));
    EXPECT_EQ(doc.GetMainPos(), 0);
    EXPECT_EQ(doc.NextFreeRecord(), 3);
    EXPECT_EQ(doc.GetSubDoc(5), u"");
    EXPECT_EQ(Outline(doc), u"x(y)");
}

} // namespace
