#include "xml/XmlTestUtil.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

std::vector<std::u16string> Attributes(const CXmlDoc& doc)
{
    std::vector<std::u16string> all;
    std::u16string name, value;
    for (int i = 0; doc.GetAttribByIndex(i, name, value); ++i)
        all.push_back(name + u"=" + value);
    return all;
}

TEST(XmlNavigate, FindTagIntoTagAndOutOfTag)
{
    CXmlDoc doc;
    ASSERT_TRUE(doc.SetDoc(u"<a><b><Items/><item/><Item id=\"1\"/><Item-x/><Item id=\"2\"/></b><d/></a>"));
    EXPECT_FALSE(doc.IntoTag());  // no main element yet
    EXPECT_FALSE(doc.OutOfTag()); // already at the document level
    ASSERT_TRUE(At(doc, u"a/b/"));
    const int32_t a = doc.Record(0).child;
    // Whole names with exact case; a failed search leaves the position where it was.
    ASSERT_TRUE(doc.FindTag(u"Item") && doc.FindTag(u"Item"));
    EXPECT_FALSE(doc.FindTag(u"Item"));
    EXPECT_EQ(doc.GetAttrib(u"id"), u"2");
    // The sought name ends at a space, "/", "=", "[" or "]"; "/" first is refused; empty takes the next.
    doc.ResetMainPos();
    ASSERT_TRUE(doc.FindTag(u"Item[@id='2']"));
    EXPECT_EQ(doc.GetAttrib(u"id"), u"1");
    doc.ResetMainPos();
    EXPECT_TRUE(doc.FindTag(u"Items ") && !doc.FindTag(u"/a"));
    EXPECT_TRUE(doc.FindTag(u""));
    // Out of the element remembers it as the child, and into it goes back there.
    ASSERT_TRUE(doc.OutOfTag());
    EXPECT_EQ(doc.GetTagName(), u"b");
    EXPECT_EQ(doc.GetParentPos(), a);
    ASSERT_TRUE(doc.IntoTag());
    EXPECT_EQ(doc.GetTagName(), u"item");
    ASSERT_TRUE(doc.OutOfTag() && doc.FindTag(u"d") && doc.OutOfTag());
    EXPECT_EQ(doc.GetMainPos(), a);
    EXPECT_EQ(doc.GetParentPos(), 0);
    EXPECT_FALSE(doc.OutOfTag());
}

TEST(XmlNavigate, AttributesAreReadAndDecoded)
{
    CXmlDoc doc;
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
    doc.SetDoc(u"<a =x b=\"1\" / c ?d='2'e=3 f='>'/>");
    ASSERT_TRUE(doc.FindTag(u"a"));
    EXPECT_EQ(Attributes(doc), (std::vector<std::u16string>{u"b=1", u"c=", u"d=2", u"e=3", u"f=>"}));
    // A sub-document takes the white space after it only when markup follows.
    ASSERT_TRUE(doc.SetDoc(u"<r>\r\n  <a><b/></a>\r\n  <c/>  text<d/> \r\n</r>") && At(doc, u"r/"));
    for (const char16_t* sub : {u"<a><b/></a>\r\n  ", u"<c/>", u"<d/> \r\n"})
        EXPECT_TRUE(doc.FindTag(nullptr) && doc.GetSubDoc() == sub) << doc.GetSubDoc().size();
    EXPECT_EQ(doc.GetSubDoc(0), u"");
}

TEST(XmlNavigate, ReferencesDecodeOnlyWhenWholeAndEncodingEscapes)
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
    EXPECT_EQ(CXmlDoc::EncodeText(u"&amp; &#65; &x:y-1.z; &\u5B66; &_a; &Z; & &; &1a; &a b; &a", CXmlDoc::XML_WITH_REFS),
              u"&amp; &#65; &x:y-1.z; &\u5B66; &_a; &Z; &amp; &amp;; &amp;1a; &amp;a b; &amp;a");
}

} // namespace
