// Encoding of written text and decoding of references.
#include "xml/XmlDoc.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string Decode(const std::u16string& s) { return CXmlDoc::DecodeText(s); }

TEST(XmlEncode, TextAndAttributeModes) {
    EXPECT_EQ(CXmlDoc::EncodeText(u"a<b>&\"c'"), u"a&lt;b&gt;&amp;\"c'");
    EXPECT_EQ(CXmlDoc::EncodeAttrib(u"a<b>&\"c'"), u"a&lt;b&gt;&amp;&quot;c&apos;");
}

TEST(XmlEncode, ExistingReferencesAreKeptOnlyWithTheFlag) {
    const int keep = CXmlDoc::XML_WITH_REFS;
    EXPECT_EQ(CXmlDoc::EncodeText(u"&amp; &#65; &x:y-1.z; &\u5B66; &_a;", keep), u"&amp; &#65; &x:y-1.z; &\u5B66; &_a;");
    EXPECT_EQ(CXmlDoc::EncodeText(u"& &; &1a; &a b; &a", keep), u"&amp; &amp;; &amp;1a; &amp;a b; &amp;a");
    EXPECT_EQ(CXmlDoc::EncodeText(u"&amp;"), u"&amp;amp;");
}

TEST(XmlEncode, CharacterReferences) {
    EXPECT_EQ(Decode(u"&#65;&#x41;&#X41;&#x6C34;"), u"AAA\u6C34");
    // above U+FFFF: a surrogate pair
    EXPECT_EQ(Decode(u"&#x1F600;&#128512;"), u"\U0001F600\U0001F600");
    EXPECT_EQ(Decode(u"&#x10FFFF;"), u"\U0010FFFF");
    // zero, beyond Unicode, lone surrogates, empty and broken numbers stay as written
    for (const char16_t* s : {u"&#0;", u"&#x110000;", u"&#xD800;", u"&#;", u"&#x;", u"&#12a;", u"&#xG1;", u"&#-1;"}) {
        EXPECT_EQ(Decode(s), s);
    }
}

TEST(XmlEncode, NamedReferencesIgnoreCaseExceptForCasePairs) {
    EXPECT_EQ(Decode(u"&lt;&gt;&amp;&quot;&apos;"), u"<>&\"'");
    EXPECT_EQ(Decode(u"&LT;&Amp;&NBSP;&Copy;"), u"<&\u00A0\u00A9");
    EXPECT_EQ(Decode(u"&Oslash;&oslash;&OSLASH;"), u"\u00D8\u00F8\u00D8");
    EXPECT_EQ(Decode(u"&Omega;&omega;&Sigma;&sigmaf;"), u"\u03A9\u03C9\u03A3\u03C2");
    EXPECT_EQ(Decode(u"&rArr;&rarr;&RARR;&Rarr;"), u"\u21D2\u2192\u21D2\u2192");
    EXPECT_EQ(Decode(u"&ETH;&eth;&Eth;&THORN;&thorn;"), u"\u00D0\u00F0\u00D0\u00DE\u00FE");
    EXPECT_EQ(Decode(u"&AElig;&aelig;&Yuml;&yuml;&Dagger;&dagger;&Prime;&prime;"),
              u"\u00C6\u00E6\u0178\u00FF\u2021\u2020\u2033\u2032");
    EXPECT_EQ(Decode(u"&thetasym;&alefsym;&euro;&diams;&image;&weierp;&real;"),
              u"\u03D1\u2135\u20AC\u2666\u2111\u2118\u211C");
}

TEST(XmlEncode, EveryEntryOfTheTableIsFound) {
    // spot checks across the whole table, one per group and the extremes
    const struct {
        const char16_t* name;
        uint32_t code;
    } cases[] = {{u"nbsp", 0xA0},   {u"yuml", 0xFF},     {u"quot", 34},       {u"euro", 0x20AC},
                 {u"fnof", 0x192},  {u"piv", 0x3D6},    {u"hellip", 0x2026}, {u"crarr", 0x21B5},
                 {u"forall", 0x2200}, {u"there4", 0x2234}, {u"sdot", 0x22C5}, {u"lang", 0x2329},
                 {u"rang", 0x232A}, {u"loz", 0x25CA},    {u"apos", 39},       {u"frac34", 0xBE}};
    for (const auto& c : cases) {
        EXPECT_EQ(CXmlDoc::LookupNamedReference(c.name, std::char_traits<char16_t>::length(c.name)), c.code)
            << static_cast<char>(c.name[0]);
    }
    EXPECT_EQ(CXmlDoc::LookupNamedReference(u"bogus", 5), 0u);
    EXPECT_EQ(CXmlDoc::LookupNamedReference(u"thetasyms", 9), 0u);
    EXPECT_EQ(CXmlDoc::LookupNamedReference(u"", 0), 0u);
}

TEST(XmlEncode, AmpersandWithoutAReferenceStaysPlain) {
    // no ";" within nine characters, a non-ASCII character, or text that ends early
    EXPECT_EQ(Decode(u"a & b"), u"a & b");
    EXPECT_EQ(Decode(u"&abcdefghij;"), u"&abcdefghij;");
    EXPECT_EQ(Decode(u"&l\u00E9;&lt;"), u"&l\u00E9;<");
    EXPECT_EQ(Decode(u"&bogus;&amp;"), u"&bogus;&");
    EXPECT_EQ(Decode(u"&"), u"&");
    EXPECT_EQ(Decode(u"&lt"), u"&lt");
    EXPECT_EQ(Decode(u"&#x41"), u"&#x41");
    EXPECT_EQ(Decode(u"&&amp;;"), u"&&;");
    EXPECT_EQ(CXmlDoc::DecodeText(nullptr, 4), u"");
    // a reference that ends exactly at the last character
    const std::u16string s = u"x&amp;";
    EXPECT_EQ(CXmlDoc::DecodeText(s.data(), s.size()), u"x&");
    EXPECT_EQ(CXmlDoc::DecodeText(s.data(), s.size() - 1), u"x&amp");
}

}  // namespace
