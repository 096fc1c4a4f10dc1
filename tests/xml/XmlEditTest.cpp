#include "xml/XmlTestUtil.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr int kFlat = CXmlDoc::XML_NO_LINE_BREAK;
using Change = std::function<bool(CXmlDoc&)>;
Change Add(const char16_t* name, const char16_t* value = nullptr, int flags = 0)
{
    return [=](CXmlDoc& d) { return d.AddTag(name, value, flags); };
}
Change Set(const char16_t* name, const char16_t* value)
{
    return [=](CXmlDoc& d) { return d.SetAttrib(name, value); };
}

TEST(XmlEdit, EachChangeWritesTheTextAndKeepsTheIndexInStep)
{
    // Each row: the text, the path to the element changed, the change, the text after it.
    for (const auto& [before, path, change, after] :
         std::initializer_list<std::tuple<const char16_t*, const char16_t*, Change, const char16_t*>>{
             {u"", u"", Add(u"Comments"), u"<Comments/>\r\n"},
             {u"<a/>", u"a/", Add(u"b"), u"<a>\r\n<b/>\r\n</a>"},
             {u"<a x=\"1\"//>", u"a/", Add(u"b"), u"<a x=\"1\">\r\n<b/>\r\n</a>"},
             {u"<r><a></a><z/></r>", u"r/a/", Add(u"b"), u"<r><a>\r\n<b/>\r\n</a><z/></r>"},
             // Without a main element at the end; after it, white space is skipped only before markup.
             {u"<r><a/><c/></r>", u"r/", Add(u"z", u"v"), u"<r><a/><c/><z>v</z>\r\n</r>"},
             {u"<r>\r\n <a/>\r\n <c/>\r\n</r>", u"r/a", Add(u"b"), u"<r>\r\n <a/>\r\n <b/>\r\n<c/>\r\n</r>"},
             {u"<r><a/> t<c/></r>", u"r/a", Add(u"b", nullptr, kFlat), u"<r><a/><b/> t<c/></r>"},
             {u"<r/>", u"r/", Add(u"t", u"a<b & \"c\"", kFlat), u"<r><t>a&lt;b &amp; \"c\"</t></r>"},
             {u"<r/>", u"r/", Add(u"c", u"x]]>y<z>", kFlat | CXmlDoc::XML_CDATA),
              u"<r><c><![CDATA[x]]]]><![CDATA[>y<z>]]></c></r>"},
             // An element without its end tag gets one when something is added into it.
             {u"<r><open><x/></r>", u"r/open/", Add(u"in"), u"<r><open>\r\n<in/>\r\n</open><x/></r>"},
             {u"<r><e a=\"1\" b=two c/></r>", u"r/e", Set(u"a", u"say \"hi\" & 'bye' <now>"),
              u"<r><e a=\"say &quot;hi&quot; &amp; &apos;bye&apos; &lt;now&gt;\" b=two c/></r>"},
             {u"<r><e a=\"1\" b=two c/><f/></r>", u"r/e", Set(u"b", u"2"), u"<r><e a=\"1\" b=\"2\" c/><f/></r>"},
             {u"<r  ><e/></r>", u"r", Set(u"k", u"1"), u"<r k=\"1\"  ><e/></r>"},
             {u"<r><g c /></r>", u"r/g", Set(u"c", u"1"), u"<r><g c=\"1\" /></r>"},
             {u"<r><f x=y/>t</f></r>", u"r/f", Set(u"k", u"1"), u"<r><f x=y/ k=\"1\">t</f></r>"},
             {u"<r>\r\n<a/>\r\n<b><c/></b>\r\n<e/></r>", u"r/b", [](CXmlDoc& d) { return d.RemoveTag(); },
              u"<r>\r\n<a/>\r\n\r\n<e/></r>"},
             {u"<NoteItems/>", u"NoteItems/",
              [](CXmlDoc& d) { return d.AddSubDoc(u"<?xml?>\r\n<Item id=\"a\"><p>&amp;</p></Item>\r\n<!-- c -->"); },
              u"<NoteItems>\r\n<Item id=\"a\"><p>&amp;</p></Item>\r\n</NoteItems>"}}) {
        CXmlDoc doc;
        doc.SetDoc(before);
        ASSERT_TRUE(At(doc, path));
        EXPECT_TRUE(change(doc));
        EXPECT_EQ(doc.GetDoc(), after);
        EXPECT_EQ(Inconsistency(doc), "");
    }
}

TEST(XmlEdit, RefusedChangesLeaveTheDocumentAsItWas)
{
    CXmlDoc doc;
    ASSERT_TRUE(doc.SetDoc(u"<r><e a=\"1\"/></r>") && At(doc, u"r/e"));
    const int32_t e = doc.GetMainPos();
    for (const char16_t* bad : {u"", u"1a", u"a b", u"a>", u"-x", static_cast<const char16_t*>(nullptr)})
        EXPECT_FALSE(doc.AddTag(bad));
    for (const auto& [pos, name] : {std::pair{0, u"a"}, {12345, u"a"}, {e, u"a b"}, {e, u""}, {e, u"q\""}})
        EXPECT_FALSE(doc.SetAttrib(pos, name, u"v"));
    EXPECT_FALSE(doc.AddSubDoc(u""));
    EXPECT_EQ(doc.GetDoc(), u"<r><e a=\"1\"/></r>");
    // Ill-formed markup goes in as it is, the main position on its first element.
    EXPECT_FALSE(doc.AddSubDoc(u"t<a/><b><c/></b>"));
    EXPECT_EQ(doc.GetDoc(), u"<r><e a=\"1\"/>t<a/><b><c/></b></r>");
    EXPECT_EQ(doc.GetTagName(), u"a");
    EXPECT_EQ(Outline(doc), u"r(e a b(c))");
    EXPECT_EQ(doc.CheckIndex(), "");

    const std::u16string longName = u"n" + std::u16string(1020, u'x'); // its end tag would be 1024 long
    doc.SetDoc(u"");
    ASSERT_TRUE(doc.AddTag(longName) && doc.IntoTag());
    EXPECT_FALSE(doc.AddTag(u"child")); // opening the parent would need that end tag
    EXPECT_FALSE(doc.AddTag(longName, u"value"));
    EXPECT_EQ(doc.GetDoc(), u"<" + longName + u"/>\r\n");
    ASSERT_TRUE(doc.OutOfTag());
    const std::u16string big(0x3FFFFF - longName.size() - 8, u'v');
    EXPECT_TRUE(doc.SetAttrib(u"a", big.c_str())); // the start tag exactly at its 22-bit limit
    EXPECT_EQ(doc.Record(doc.GetMainPos()).tagLens & 0x3FFFFF, 0x3FFFFFu);
    EXPECT_FALSE(doc.SetAttrib(u"b", u""));
    EXPECT_FALSE(doc.SetAttrib(u"a", (big + u"v").c_str()));
    const std::u16string hugeName = u"h" + std::u16string(0x3FFFFF - 4, u'x'); // "<h...x/>" at the same limit
    EXPECT_TRUE(doc.AddTag(hugeName));
    EXPECT_FALSE(doc.AddTag(hugeName + u"x"));
    // Levels 1..65535 fit under r; one level more does not.
    const std::u16string deep = Repeat(u"<d>", 65535) + Repeat(u"</d>", 65535);
    ASSERT_TRUE(doc.SetDoc(u"<r/>") && At(doc, u"r/"));
    EXPECT_TRUE(doc.AddSubDoc(deep));
    ASSERT_TRUE(doc.IntoTag());
    const std::u16string before = doc.GetDoc();
    EXPECT_FALSE(doc.AddSubDoc(deep));
    EXPECT_TRUE(doc.GetDoc() == before);
    EXPECT_EQ(doc.CheckIndex(), "");
}

TEST(XmlEdit, RemoveTagMovesToThePreviousSiblingAndNeverReusesRecordsAndCopiesAreIndependent)
{
    CXmlDoc doc;
    ASSERT_TRUE(doc.SetDoc(u"<r><i/><a/><b><c/><d/></b><i><x/></i><e/></r>") && At(doc, u"r/"));
    EXPECT_FALSE(doc.RemoveTag()); // no main element
    ASSERT_TRUE(doc.FindTag(u"b"));
    const int32_t b = doc.GetMainPos();
    ASSERT_TRUE(doc.RemoveTag());
    EXPECT_EQ(doc.GetTagName(), u"a");
    for (int32_t r = b; r < b + 3; ++r) // b and its children
        EXPECT_TRUE((doc.Record(r).flags & CXmlDoc::kFlagDeleted) && doc.GetSubDoc(r).empty() &&
                    !doc.SetAttrib(r, u"x", u"1")) << r;
    doc.ResetMainPos();
    while (doc.FindTag(u"i"))
        ASSERT_TRUE(doc.RemoveTag());
    doc.ResetMainPos();
    ASSERT_TRUE(doc.FindTag(nullptr) && doc.RemoveTag()); // a: the first child, so e becomes the first
    EXPECT_EQ(doc.GetMainPos(), 0);
    const int32_t next = doc.NextFreeRecord();
    ASSERT_TRUE(doc.AddTag(u"n"));
    EXPECT_EQ(doc.GetMainPos(), next);
    EXPECT_EQ(doc.GetDoc(), u"<r><e/><n/>\r\n</r>");
    EXPECT_EQ(Inconsistency(doc), "");
    // Copies and moves are independent; the moved-from object answers like an empty document.
    CXmlDoc copy = doc;
    ASSERT_TRUE(copy.AddTag(u"y"));
    CXmlDoc moved = std::move(doc);
    EXPECT_EQ(moved.GetDoc(), u"<r><e/><n/>\r\n</r>");
    EXPECT_EQ(moved.GetTagName(), u"n");
    EXPECT_FALSE(doc.FindTag(nullptr) || doc.IntoTag() || doc.RemoveTag() || doc.IsWellFormed()); // NOLINT
    ASSERT_TRUE(doc.AddTag(u"n"));
    EXPECT_EQ(doc.GetDoc(), u"<n/>\r\n");
}

} // namespace
