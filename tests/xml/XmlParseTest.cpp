// Parsing (result entries, records, limits), then moving through the elements and reading them.
#include "xml/XmlTestUtil.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

namespace {

TEST(XmlParse, ResultEntriesAndTheElementsFound)
{
    // Each row: the text, the result entries, the elements found.
    for (const auto& [text, result, outline] : std::initializer_list<std::array<std::u16string, 3>>{
             {u"", u"", u""},
             {u"just text", u"<no_root_element/>", u""},
             {u"<?xml version=\"1.0\"?>\r\n<!-- c --><a x='1'><b/><c>t<![CDATA[<x>]]></c></a>\r\n", u"", u"a(b c)"},
             {u"<!DOCTYPE r [<!ELEMENT r (#PCDATA)><!ATTLIST r a CDATA '>'><!-- <x> --><!ENTITY e 'v'>]>"
              u"<r><?pi <a> ?><!-- <b> --><![CDATA[ <c> ]]></r>", u"", u"r"},
             {u"<r><a b=c/><x/></a></r>", u"", u"r(a(x))"}, // the slash belongs to the unquoted value
             {u"<a/><b/>", u"<root_has_sibling/>", u"a b"},
             {u"<a><b><c/><d></d></a>", u"<unended_start_tag tagname=\"b\" offset=\"3\" offset2=\"17\"/>",
              u"a(b c d)"},
             {u"<a><b><c><d/>", u"<unended_start_tag tagname=\"c\" offset=\"6\" offset2=\"13\"/><unended_start_tag "
              u"tagname=\"b\" offset=\"3\" offset2=\"13\"/><unended_start_tag tagname=\"a\" offset=\"0\" "
              u"offset2=\"13\"/><root_has_sibling/>", u"a b c d"},
             {u"<a></x></a>", u"<lone_end_tag tagname=\"x\" offset=\"3\"/>", u"a"},
             {u"<a></A>", u"<lone_end_tag tagname=\"A\" offset=\"3\"/><unended_start_tag tagname=\"a\" offset=\"0\" "
              u"offset2=\"7\"/>", u"a"},
             {u"<r>a < b</r>", u"<first_tag_syntax offset=\"5\"/>", u"r"},
             {u"<r><!x></r>", u"<exclamation_tag_syntax offset=\"3\"/>", u"r"},
             {u"<r><![X[y]]></r>", u"<cdata_section_syntax offset=\"3\"/>", u"r"},
             {u"<!DOCTYPE r [<!X>]><r/>", u"<doctype_tag_syntax offset=\"13\"/>", u"r"},
             {u"<r><!-- open", u"<unterminated_tag_syntax type=\"comment\" offset=\"3\"/><unended_start_tag "
              u"tagname=\"r\" offset=\"0\" offset2=\"12\"/>", u"r"},
             {u"<r/><?pi", u"<unterminated_tag_syntax type=\"processing_instruction\" offset=\"4\"/>", u"r"},
             {u"<r></r", u"<unterminated_tag_syntax type=\"end_tag\" offset=\"3\"/><unended_start_tag tagname=\"r\" "
              u"offset=\"0\" offset2=\"6\"/>", u"r"},
             {u"<r a='>", u"<unterminated_tag_syntax type=\"start_tag\" offset=\"0\"/><no_root_element/>", u""}}) {
        SCOPED_TRACE(std::string(text.begin(), text.end()));
        CXmlDoc doc;
        const bool wellFormed = !text.empty() && result.empty();
        EXPECT_EQ(doc.SetDoc(text), wellFormed);
        EXPECT_EQ(doc.IsWellFormed(), wellFormed);
        EXPECT_EQ(doc.GetResult(), result);
        EXPECT_EQ(Outline(doc), outline);
        EXPECT_EQ(doc.CheckIndex(), "");
    }
    // Records hold each element's place and tag lengths; an unended element keeps only its start tag.
    CXmlDoc doc;
    doc.SetDoc(u"<?xml version=\"1.0\"?>\r\n<a x='1'><b/><c>t</c></a>\r\n");
    EXPECT_EQ(Outline(doc, true), u"a@23+25/9,4(b@32+4/4,0 c@36+8/3,4)");
    doc.SetDoc(u"<a></x><b><c/></a>");
    EXPECT_EQ(Outline(doc, true), u"a@0+18/3,4(b@7+3/3,0 c@10+4/4,0)");
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
    ASSERT_TRUE(doc.SetDoc(u"<r>" + Repeat(u"<i a=\"1\"/>", 200000) + u"</r>") && At(doc, u"r/i"));
    EXPECT_EQ(doc.NextFreeRecord(), 200002);
    EXPECT_GE(doc.Index().SegmentCount(), 4u);
    for (size_t s = 0; s + 1 < doc.Index().SegmentCount(); ++s)
        EXPECT_EQ(doc.Index().SegmentLength(s), 65536u);
    EXPECT_EQ(doc.CheckIndex(), "");
    // A smaller text in the same object: old records and positions are gone.
    EXPECT_FALSE(doc.SetDoc(u"<x><y></x>"));
    EXPECT_TRUE(doc.GetMainPos() == 0 && doc.NextFreeRecord() == 3 && doc.GetSubDoc(5).empty());
    EXPECT_EQ(Outline(doc), u"x(y)");
}

std::vector<std::u16string> Attributes(const CXmlDoc& doc)
{
    std::vector<std::u16string> all;
    std::u16string name, value;
    for (int i = 0; doc.GetAttribByIndex(i, name, value); ++i)
        all.push_back(name + u"=" + value);
    return all;
}

TEST(XmlParse, FindTagIntoTagOutOfTagAndAttributes)
{
    CXmlDoc doc;
    ASSERT_TRUE(doc.SetDoc(u"<a><b><Items/><item/><Item id=\"1\"/><Item-x/><Item id=\"2\"/></b><d/></a>"));
    EXPECT_FALSE(doc.IntoTag() || doc.OutOfTag()); // no main element yet, and already at the document level
    ASSERT_TRUE(At(doc, u"a/b/"));
    const int32_t a = doc.Record(0).child;
    // Whole names with exact case; a failed search leaves the position where it was.
    ASSERT_TRUE(doc.FindTag(u"Item") && doc.FindTag(u"Item") && !doc.FindTag(u"Item"));
    EXPECT_EQ(doc.GetAttrib(u"id"), u"2");
    // The sought name ends at a space, "/", "=", "[" or "]"; "/" first is refused; empty takes the next.
    doc.ResetMainPos();
    ASSERT_TRUE(doc.FindTag(u"Item[@id='2']"));
    EXPECT_EQ(doc.GetAttrib(u"id"), u"1");
    doc.ResetMainPos();
    EXPECT_TRUE(doc.FindTag(u"Items ") && !doc.FindTag(u"/a") && doc.FindTag(u""));
    // Out of the element remembers it as the child, and into it goes back there.
    ASSERT_TRUE(doc.OutOfTag());
    EXPECT_TRUE(doc.GetTagName() == u"b" && doc.GetParentPos() == a);
    ASSERT_TRUE(doc.IntoTag());
    EXPECT_EQ(doc.GetTagName(), u"item");
    ASSERT_TRUE(doc.OutOfTag() && doc.FindTag(u"d") && doc.OutOfTag());
    EXPECT_TRUE(doc.GetMainPos() == a && doc.GetParentPos() == 0 && !doc.OutOfTag());

    // Attributes: quoted either way, unquoted, without a value; references decoded.
    ASSERT_TRUE(doc.SetDoc(u"<e a=\"a &lt; b\" b='&#x41;&#65;' c=&bogus; d = 'x' e f=plain/ g=\"&Oslash;\" h='x>y'/>"));
    EXPECT_TRUE(Attributes(doc).empty()); // no main element yet
    ASSERT_TRUE(doc.FindTag(u"e"));
    EXPECT_EQ(Attributes(doc), (std::vector<std::u16string>{u"a=a < b", u"b=AA", u"c=&bogus;", u"d=x", u"e=",
                                                           u"f=plain/", u"g=\u00D8", u"h=x>y"}));
    std::u16string name, value;
    EXPECT_FALSE(doc.GetAttribByIndex(-1, name, value));
    EXPECT_EQ(doc.GetAttrib(u"g"), u"\u00D8");
    for (const auto& [pos, name] : {std::pair{doc.GetMainPos(), u"A"}, {0, u"a"}, {999, u"a"}, {-1, u"a"},
                                     {doc.GetMainPos(), static_cast<const char16_t*>(nullptr)}})
        EXPECT_EQ(doc.GetAttrib(pos, name), u"");
    doc.SetDoc(u"<a = 'x y' b=\"1\" / c ?d='2'e=3 f='>'/>"); // a value without a name is skipped
    ASSERT_TRUE(doc.FindTag(u"a"));
    EXPECT_EQ(Attributes(doc), (std::vector<std::u16string>{u"b=1", u"c=", u"d=2", u"e=3", u"f=>"}));
    // A sub-document takes the white space after it only when markup follows.
    ASSERT_TRUE(doc.SetDoc(u"<r>\r\n  <a><b/></a>\r\n  <c/>  text<d/> \r\n</r>") && At(doc, u"r/"));
    for (const char16_t* sub : {u"<a><b/></a>\r\n  ", u"<c/>", u"<d/> \r\n"})
        EXPECT_TRUE(doc.FindTag(nullptr) && doc.GetSubDoc() == sub) << doc.GetSubDoc().size();
    EXPECT_EQ(doc.GetSubDoc(0), u"");
}

TEST(XmlParse, ReferencesDecodeOnlyWhenWholeAndEncodingEscapes)
{
    for (const auto& [text, decoded] : std::initializer_list<std::pair<std::u16string, std::u16string>>{
             {u"&#65;&#x41;&#X41;&#x1F600;&#128512;&#x10FFFF;", u"AAA\U0001F600\U0001F600\U0010FFFF"},
             {u"&#0;&#x110000;&#xD800;&#;&#x;&#12a;&#-1;&#x41", u"&#0;&#x110000;&#xD800;&#;&#x;&#12a;&#-1;&#x41"},
             // Names ignore case, except for the pairs whose case tells them apart.
             {u"&lt;&gt;&amp;&quot;&apos;&LT;&Amp;&NBSP;&Copy;", u"<>&\"'<&\u00A0\u00A9"},
             {u"&Oslash;&oslash;&OSLASH;&Omega;&omega;&Sigma;&sigmaf;", u"\u00D8\u00F8\u00D8\u03A9\u03C9\u03A3\u03C2"},
             {u"&rArr;&rarr;&RARR;&Rarr;&ETH;&eth;&Eth;&THORN;&thorn;", u"⇒→⇒→ÐðÐÞþ"},
             {u"&AElig;&aelig;&Yuml;&yuml;&Dagger;&dagger;&thetasym;&euro;&lang;&frac34;", u"ÆæŸÿ‡†ϑ€\u2329¾"},
             // No ";" within nine characters, a non-ASCII character, or an unknown name.
             {u"a & b&abcdefghij;&lé;&lt;&bogus;&thetasyms;&&amp;;", u"a & b&abcdefghij;&lé;<&bogus;&thetasyms;&&;"}})
        EXPECT_EQ(CXmlDoc::DecodeText(text), decoded);
    EXPECT_EQ(CXmlDoc::LookupNamedReference(u"", 0), 0u);
    EXPECT_EQ(CXmlDoc::DecodeText(nullptr, 4), u"");
    // Cut references stop at the end of the text: exact-size buffers catch a read past it.
    for (const std::u16string cut : {u"&", u"&#", u"&#x4", u"&lt", u"a&quot", u"&#1234567", u"&thetasym", u"x&amp;"}) {
        auto buffer = std::make_unique<char16_t[]>(cut.size());
        std::copy(cut.begin(), cut.end(), buffer.get());
        EXPECT_EQ(CXmlDoc::DecodeText(buffer.get(), cut.size()), cut == u"x&amp;" ? u"x&" : cut);
    }
    EXPECT_EQ(CXmlDoc::EncodeText(u"a<b>&\"c'&amp;"), u"a&lt;b&gt;&amp;\"c'&amp;amp;");
    EXPECT_EQ(CXmlDoc::EncodeAttrib(u"a<b>&\"c'"), u"a&lt;b&gt;&amp;&quot;c&apos;");
    // With the flag, whole references are kept and every other '&' is escaped.
    const int refs = CXmlDoc::XML_WITH_REFS;
    EXPECT_EQ(CXmlDoc::EncodeText(u"&amp; &#65; &x:y-1.z; &\u5B66; &_a; &Z; & &; &1a; &a b; &a", refs),
              u"&amp; &#65; &x:y-1.z; &\u5B66; &_a; &Z; &amp; &amp;; &amp;1a; &amp;a b; &amp;a");
}

} // namespace
