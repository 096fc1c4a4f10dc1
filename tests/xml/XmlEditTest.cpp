// Changes: AddTag, SetAttrib, AddSubDoc and RemoveTag keep the text and the index in step.
#include "xml/XmlTestUtil.h"

#include <vector>

namespace {

constexpr int kFlat = CXmlDoc::XML_NO_LINE_BREAK;

TEST(XmlEdit, AddTagWhereTheMainPositionIs)
{
    CXmlDoc fresh; // never parsed at all
    ASSERT_TRUE(fresh.AddTag(u"a", nullptr, CXmlDoc::XML_EMPTY_SPACE | kFlat));
    EXPECT_EQ(fresh.GetDoc(), u"<a />");

    CXmlDoc doc;
    EXPECT_FALSE(doc.SetDoc(u""));
    ASSERT_TRUE(doc.AddTag(u"Comments"));
    EXPECT_TRUE(doc.IsWellFormed());
    ASSERT_TRUE(doc.IntoTag());
    ASSERT_TRUE(doc.AddTag(u"Note-Package")); // opens the empty parent
    ASSERT_TRUE(doc.AddTag(u"Other"));        // after the main element
    doc.ResetMainPos();
    ASSERT_TRUE(doc.AddTag(u"Last", u"v")); // no main position: at the end of the content
    EXPECT_EQ(doc.GetDoc(), u"<Comments>\r\n<Note-Package/>\r\n<Other/>\r\n<Last>v</Last>\r\n</Comments>\r\n");
    ExpectConsistent(doc);

    // Into an empty content a line break goes first; the sibling after the grown element moves along.
    ASSERT_TRUE(doc.SetDoc(u"<r><a></a><z/></r>"));
    ASSERT_TRUE(Enter(doc, u"r") && Enter(doc, u"a") && doc.AddTag(u"b"));
    EXPECT_EQ(doc.GetDoc(), u"<r><a>\r\n<b/>\r\n</a><z/></r>");
    ASSERT_TRUE(doc.OutOfTag() && doc.FindTag(u"z"));
    EXPECT_EQ(doc.GetSubDoc(), u"<z/>");
    ExpectConsistent(doc);

    // After the main element, white space is skipped only before markup.
    ASSERT_TRUE(doc.SetDoc(u"<r>\r\n  <a/>\r\n  <c/>\r\n</r>"));
    ASSERT_TRUE(Enter(doc, u"r") && doc.FindTag(u"a") && doc.AddTag(u"b"));
    EXPECT_EQ(doc.GetDoc(), u"<r>\r\n  <a/>\r\n  <b/>\r\n<c/>\r\n</r>");
    ASSERT_TRUE(doc.FindTag(nullptr));
    EXPECT_EQ(doc.GetTagName(), u"c");
    ExpectConsistent(doc);
    ASSERT_TRUE(doc.SetDoc(u"<r><a/> text<c/></r>"));
    ASSERT_TRUE(Enter(doc, u"r") && doc.FindTag(u"a") && doc.AddTag(u"b", nullptr, kFlat));
    EXPECT_EQ(doc.GetDoc(), u"<r><a/><b/> text<c/></r>");
    ExpectConsistent(doc);
}

TEST(XmlEdit, AddTagValuesAreEncodedOrWrittenAsCDataAndBadNamesRefused)
{
    CXmlDoc doc;
    ASSERT_TRUE(doc.AddTag(u"r") && doc.IntoTag());
    ASSERT_TRUE(doc.AddTag(u"t", u"a<b & \"c\"", kFlat));
    ASSERT_TRUE(doc.AddTag(u"k", u"&amp; & x", kFlat | CXmlDoc::XML_WITH_REFS));
    ASSERT_TRUE(doc.AddTag(u"c", u"x]]>y<z>", kFlat | CXmlDoc::XML_CDATA));
    const std::u16string written =
        u"<r><t>a&lt;b &amp; \"c\"</t><k>&amp; &amp; x</k><c><![CDATA[x]]]]><![CDATA[>y<z>]]></c></r>\r\n";
    EXPECT_EQ(doc.GetDoc(), written);
    ExpectConsistent(doc);
    for (const char16_t* bad : {u"", u"1a", u"a b", u"a>", u"a/", u"-x", u"a\"b", static_cast<const char16_t*>(nullptr)})
        EXPECT_FALSE(doc.AddTag(bad));
    EXPECT_EQ(doc.GetDoc(), written);
}

TEST(XmlEdit, SetAttribReplacesOrAddsBeforeTheEndOfTheStartTag)
{
    CXmlDoc doc;
    ASSERT_TRUE(doc.SetDoc(u"<r  ><e a=\"1\" b=two c d='4'/><f x=y/>t</f><g /></r>"));
    ASSERT_TRUE(doc.FindTag(u"r") && doc.SetAttrib(u"k", u"1") && doc.IntoTag() && doc.FindTag(u"e"));
    const int32_t e = doc.GetMainPos();
    EXPECT_TRUE(doc.SetAttrib(u"a", u"say \"hi\" & 'bye' <now>"));
    EXPECT_TRUE(doc.SetAttrib(u"b", u"2"));
    EXPECT_TRUE(doc.SetAttrib(u"c", u"3"));
    EXPECT_TRUE(doc.SetAttrib(u"d", u""));
    EXPECT_TRUE(doc.SetAttrib(u"new", u"n"));
    EXPECT_EQ(doc.GetAttrib(u"a"), u"say \"hi\" & 'bye' <now>");
    ASSERT_TRUE(doc.FindTag(u"f") && doc.SetAttrib(u"k", u"3") && doc.FindTag(u"g") && doc.SetAttrib(u"k", u"4"));
    EXPECT_TRUE(doc.SetAttrib(e, u"a", u"short"));
    EXPECT_EQ(doc.GetDoc(), u"<r k=\"1\"  ><e a=\"short\" b=\"2\" c=\"3\" d=\"\" new=\"n\"/><f x=y/ k=\"3\">t</f>"
                            u"<g k=\"4\" /></r>");
    ExpectConsistent(doc);
    for (const auto& [pos, name] : {std::pair{0, u"a"}, {12345, u"a"}, {e, u"a b"}, {e, u""}, {e, u"q\""}})
        EXPECT_FALSE(doc.SetAttrib(pos, name, u"v"));
}

TEST(XmlEdit, RemoveTagMovesToThePreviousSiblingAndDeletesDescendants)
{
    CXmlDoc doc;
    ASSERT_TRUE(doc.SetDoc(u"<r>\r\n<i/>\r\n<a/>\r\n<b><c><d/></c></b>\r\n<i><x/></i>\r\n<e/>\r\n</r>"));
    ASSERT_TRUE(Enter(doc, u"r"));
    EXPECT_FALSE(doc.RemoveTag()); // no main element
    ASSERT_TRUE(doc.FindTag(u"b"));
    const int32_t b = doc.GetMainPos();
    ASSERT_TRUE(doc.RemoveTag());
    EXPECT_EQ(doc.GetTagName(), u"a");
    for (int32_t r = b; r < b + 3; ++r) {
        EXPECT_NE(doc.Record(r).flags & CXmlDoc::kFlagDeleted, 0u);
        EXPECT_EQ(doc.GetSubDoc(r), u"");
        EXPECT_FALSE(doc.SetAttrib(r, u"x", u"1"));
    }
    doc.ResetMainPos();
    while (doc.FindTag(u"i"))
        ASSERT_TRUE(doc.RemoveTag());
    doc.ResetMainPos();
    ASSERT_TRUE(doc.FindTag(nullptr) && doc.RemoveTag()); // a: the first child, so e becomes the first
    EXPECT_EQ(doc.GetMainPos(), 0);
    ASSERT_TRUE(doc.FindTag(nullptr));
    EXPECT_NE(doc.Record(doc.GetMainPos()).flags & CXmlDoc::kFlagFirst, 0u);
    // New records take fresh indexes; deleted ones are never reused.
    const int32_t next = doc.NextFreeRecord();
    ASSERT_TRUE(doc.AddTag(u"n"));
    EXPECT_EQ(doc.GetMainPos(), next);
    EXPECT_EQ(doc.GetDoc(), u"<r>\r\n\r\n\r\n\r\n\r\n<e/>\r\n<n/>\r\n</r>");
    ExpectConsistent(doc);
}

TEST(XmlEdit, AddSubDocInsertsMarkup)
{
    CXmlDoc doc;
    ASSERT_TRUE(doc.SetDoc(u"<NoteItems/>"));
    ASSERT_TRUE(Enter(doc, u"NoteItems"));
    ASSERT_TRUE(doc.AddSubDoc(u"<?xml version=\"1.0\"?>\r\n<Item id=\"a\"><p>x &amp; y</p></Item>\r\n<!-- c -->"));
    EXPECT_EQ(doc.GetAttrib(u"id"), u"a");
    ASSERT_TRUE(doc.AddSubDoc(u"<Item id=\"b\"/>\r\n"));
    EXPECT_EQ(doc.GetDoc(), u"<NoteItems>\r\n<Item id=\"a\"><p>x &amp; y</p></Item>\r\n<Item id=\"b\"/>\r\n</NoteItems>");
    EXPECT_EQ(Outline(doc), u"NoteItems(Item(p) Item)");
    ExpectConsistent(doc);
    // Ill-formed markup goes in unchanged, the main position on its first element.
    ASSERT_TRUE(doc.SetDoc(u"<r><z/></r>") && Enter(doc, u"r"));
    EXPECT_FALSE(doc.AddSubDoc(u"t<a/><b><c/></b>"));
    EXPECT_EQ(doc.GetDoc(), u"<r><z/>t<a/><b><c/></b></r>");
    EXPECT_EQ(doc.GetTagName(), u"a");
    EXPECT_EQ(Outline(doc), u"r(z a b(c))");
    EXPECT_FALSE(doc.AddSubDoc(u""));
    EXPECT_FALSE(doc.AddSubDoc(static_cast<const char16_t*>(nullptr)));
    EXPECT_EQ(doc.CheckIndex(), "");
}

TEST(XmlEdit, ChangesInsideAnIllFormedDocument)
{
    CXmlDoc doc;
    EXPECT_FALSE(doc.SetDoc(u"<r><open><x/></r>"));
    ASSERT_TRUE(Enter(doc, u"r") && Enter(doc, u"open"));
    // Adding into an element without an end tag gives it one.
    ASSERT_TRUE(doc.AddTag(u"in"));
    EXPECT_EQ(doc.GetDoc(), u"<r><open>\r\n<in/>\r\n</open><x/></r>");
    ASSERT_TRUE(doc.OutOfTag());
    EXPECT_EQ(doc.Record(doc.GetMainPos()).flags & CXmlDoc::kFlagNonEnded, 0u);
    ASSERT_TRUE(doc.FindTag(u"x") && doc.RemoveTag());
    ExpectConsistent(doc);
    EXPECT_TRUE(CXmlDoc().SetDoc(doc.GetDoc()));
}

TEST(XmlEdit, ChangesThatWouldOverflowAFieldAreRefused)
{
    const std::u16string longName = u"n" + std::u16string(1020, u'x'); // its end tag would be 1024 long
    CXmlDoc doc;
    EXPECT_TRUE(doc.AddTag(longName)); // no end tag needed
    ASSERT_TRUE(doc.IntoTag());
    EXPECT_FALSE(doc.AddTag(u"child")); // opening the parent would need that end tag
    EXPECT_FALSE(doc.AddTag(longName, u"value"));
    EXPECT_EQ(doc.GetDoc(), u"<" + longName + u"/>\r\n");
    ASSERT_TRUE(doc.OutOfTag());
    const std::u16string big(0x3FFFFF - longName.size() - 8, u'v');
    EXPECT_TRUE(doc.SetAttrib(u"a", big.c_str())); // the start tag exactly at its 22-bit limit
    EXPECT_EQ(doc.Record(doc.GetMainPos()).tagLens & 0x3FFFFF, 0x3FFFFFu);
    EXPECT_FALSE(doc.SetAttrib(u"b", u""));
    EXPECT_FALSE(doc.SetAttrib(u"a", (big + u"v").c_str()));
    EXPECT_TRUE(doc.SetAttrib(u"a", u"short"));
    EXPECT_EQ(doc.CheckIndex(), "");

    // Levels 1..65535 fit under r; one level more does not.
    const std::u16string deep = Repeat(u"<d>", 65535) + Repeat(u"</d>", 65535);
    ASSERT_TRUE(doc.SetDoc(u"<r/>") && Enter(doc, u"r"));
    EXPECT_TRUE(doc.AddSubDoc(deep));
    ASSERT_TRUE(doc.IntoTag());
    const std::u16string before = doc.GetDoc();
    EXPECT_FALSE(doc.AddSubDoc(deep));
    EXPECT_EQ(doc.GetDoc(), before);
    EXPECT_EQ(doc.CheckIndex(), "");
}

TEST(XmlEdit, CopiedAndMovedDocumentsAreIndependent)
{
    CXmlDoc a;
    ASSERT_TRUE(a.SetDoc(u"<r><x/></r>") && Enter(a, u"r") && a.FindTag(u"x"));
    CXmlDoc b = a;
    ASSERT_TRUE(b.AddTag(u"y"));
    EXPECT_EQ(a.GetDoc(), u"<r><x/></r>");
    EXPECT_EQ(b.GetDoc(), u"<r><x/><y/>\r\n</r>");
    CXmlDoc c = std::move(a);
    EXPECT_EQ(c.GetTagName(), u"x");
    EXPECT_EQ(c.CheckIndex(), "");
    // The moved-from object answers like an empty document and can be built up again.
    EXPECT_EQ(a.CheckIndex(), ""); // NOLINT(bugprone-use-after-move)
    EXPECT_FALSE(a.FindTag(nullptr) || a.IntoTag() || a.RemoveTag() || a.IsWellFormed());
    EXPECT_EQ(a.GetAttrib(1, u"x"), u"");
    ASSERT_TRUE(a.AddTag(u"n"));
    EXPECT_EQ(a.GetDoc(), u"<n/>\r\n");
    b = std::move(c);
    EXPECT_EQ(b.GetDoc(), u"<r><x/></r>");
    EXPECT_FALSE(c.FindTag(nullptr)); // NOLINT(bugprone-use-after-move)
    ASSERT_TRUE(c.SetDoc(u"<again/>") && c.FindTag(u"again"));
}

// The note upgrade's round trip: Items move from a literature's NoteSet into a note's
// Comments, the NoteSet loses them, and every written text parses again unchanged.
TEST(XmlEdit, NotePackageRoundTrip)
{
    const std::u16string markPos =
        u"<NoteSet>\r\n<Note-Package version=\"3\" title=\"A &amp; B\" owner='张三'>\r\n"
        u"<NoteItems count=\"3\">\r\n"
        u"<Item id=\"a\" page=\"1\">first &lt;note&gt;<Rect x=\"1\"/></Item>\r\n"
        u"<Item id=\"b\" page=\"2\"><![CDATA[second ]]]]><![CDATA[> note]]></Item>\r\n"
        u"<Item id=\"c\" page=\"3\"/>\r\n"
        u"</NoteItems>\r\n</Note-Package>\r\n</NoteSet>\r\n";
    CXmlDoc from;
    CXmlDoc to;
    ASSERT_TRUE(from.SetDoc(markPos) && Enter(from, u"NoteSet"));
    ASSERT_TRUE(to.AddTag(u"Comments", nullptr, 0) && to.IntoTag());
    std::u16string name, value;
    for (const char16_t* level : {u"Note-Package", u"NoteItems"}) {
        ASSERT_TRUE(from.FindTag(level) && to.AddTag(level, nullptr, 0));
        for (int i = 0; from.GetAttribByIndex(i, name, value); ++i)
            ASSERT_TRUE(to.SetAttrib(name, value, 0));
        ASSERT_TRUE(from.IntoTag() && to.IntoTag());
    }
    while (from.FindTag(u"Item")) {
        if (from.GetAttrib(u"id") != u"b") {
            ASSERT_TRUE(to.AddSubDoc(from.GetSubDoc()));
            ASSERT_TRUE(from.RemoveTag());
        }
    }
    EXPECT_EQ(to.GetDoc(), u"<Comments>\r\n<Note-Package version=\"3\" title=\"A &amp; B\" owner=\"张三\">\r\n"
                           u"<NoteItems count=\"3\">\r\n"
                           u"<Item id=\"a\" page=\"1\">first &lt;note&gt;<Rect x=\"1\"/></Item>\r\n"
                           u"<Item id=\"c\" page=\"3\"/>\r\n</NoteItems>\r\n</Note-Package>\r\n</Comments>\r\n");
    ExpectConsistent(to);
    ExpectConsistent(from);
    ASSERT_TRUE(from.SetDoc(from.GetDoc()));
    EXPECT_EQ(Outline(from), u"NoteSet(Note-Package(NoteItems(Item)))");
    // Changing and writing again: a second pass over the written text changes nothing more.
    std::u16string text = to.GetDoc();
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_TRUE(to.SetDoc(text) && Enter(to, u"Comments") && to.FindTag(u"Note-Package"));
        ASSERT_TRUE(to.SetAttrib(u"version", u"4") && to.SetAttrib(u"note", u"\"q\" & <a>"));
        EXPECT_TRUE(pass == 0 || to.GetDoc() == text);
        text = to.GetDoc();
    }
    EXPECT_EQ(to.GetAttrib(u"note"), u"\"q\" & <a>");
}

} // namespace
