// Round trips on note packages: parse, change, write, parse again, the way the note upgrade
// moves Item elements from a literature's NoteSet into a note's Comments.
#include "xml/XmlDoc.h"
#include "xml/XmlTestUtil.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

const char16_t* const kMarkPos =
    u"<NoteSet>\r\n"
    u"<Note-Package version=\"3\" title=\"A &amp; B\" owner='\u5F20\u4E09'>\r\n"
    u"<NoteItems count=\"3\" kind=\"pdf\">\r\n"
    u"<Item id=\"a\" page=\"1\" color=\"#ff0000\">first &lt;note&gt;<Rect x=\"1\" y=\"2\"/></Item>\r\n"
    u"<Item id=\"b\" page=\"2\"><![CDATA[second ]]]]><![CDATA[> note]]></Item>\r\n"
    u"<Item id=\"c\" page=\"3\"/>\r\n"
    u"</NoteItems>\r\n"
    u"</Note-Package>\r\n"
    u"</NoteSet>\r\n";

const char16_t* const kComments =
    u"<Comments>\r\n<Note-Package>\r\n<NoteItems>\r\n"
    u"<Comment id=\"a\"/>\r\n<Comment id=\"c\">text</Comment>\r\n"
    u"</NoteItems>\r\n</Note-Package>\r\n</Comments>\r\n";

void CopyAttributes(const CXmlDoc& from, CXmlDoc& to) {
    std::u16string name, value;
    for (int i = 0; from.GetAttribByIndex(i, name, value); ++i) {
        ASSERT_TRUE(to.SetAttrib(name, value, 0));
    }
}

// The ids named by the Comment elements of a note.
std::set<std::u16string> CommentIds(const std::u16string& comments) {
    std::set<std::u16string> ids;
    CXmlDoc doc;
    if (!doc.SetDoc(comments)) return ids;
    if (doc.FindTag(u"Comments")) doc.IntoTag();
    if (doc.FindTag(u"Note-Package")) doc.IntoTag();
    if (doc.FindTag(u"NoteItems")) doc.IntoTag();
    while (doc.FindTag(u"Comment")) ids.insert(doc.GetAttrib(u"id"));
    return ids;
}

// Builds the skeleton of a new Comments text from a NoteSet and remembers its Items by id.
std::u16string Skeleton(const std::u16string& markPos, std::map<std::u16string, std::u16string>& items) {
    CXmlDoc m;
    EXPECT_TRUE(m.SetDoc(markPos));
    CXmlDoc s;
    EXPECT_TRUE(m.FindTag(u"NoteSet"));
    m.IntoTag();
    s.AddTag(u"Comments", nullptr, 0);
    if (m.FindTag(u"Note-Package")) {
        s.IntoTag();
        s.AddTag(u"Note-Package", nullptr, 0);
        CopyAttributes(m, s);
        m.IntoTag();
    }
    if (m.FindTag(u"NoteItems")) {
        s.IntoTag();
        s.AddTag(u"NoteItems", nullptr, 0);
        CopyAttributes(m, s);
        m.IntoTag();
    }
    while (m.FindTag(u"Item")) items[m.GetAttrib(u"id")] = m.GetSubDoc();
    return s.GetDoc();
}

TEST(XmlNotePackage, ItemsMoveFromTheNoteSetIntoTheNote) {
    std::map<std::u16string, std::u16string> items;
    const std::u16string skeleton = Skeleton(kMarkPos, items);
    EXPECT_EQ(skeleton,
              u"<Comments>\r\n<Note-Package version=\"3\" title=\"A &amp; B\" owner=\"\u5F20\u4E09\">\r\n"
              u"<NoteItems count=\"3\" kind=\"pdf\"/>\r\n</Note-Package>\r\n</Comments>\r\n");
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[u"c"], u"<Item id=\"c\" page=\"3\"/>\r\n");

    // the note names a and c: its new Comments hold those Items, in that order
    CXmlDoc note;
    ASSERT_TRUE(note.SetDoc(skeleton));
    ASSERT_TRUE(Enter(note, u"Comments"));
    ASSERT_TRUE(Enter(note, u"Note-Package"));
    ASSERT_TRUE(Enter(note, u"NoteItems"));
    std::set<std::u16string> moved;
    for (const std::u16string& id : CommentIds(kComments)) {
        auto it = items.find(id);
        if (it != items.end()) {
            EXPECT_TRUE(note.AddSubDoc(it->second));
            moved.insert(id);
        }
    }
    const std::u16string newComments = note.GetDoc();
    EXPECT_EQ(newComments,
              u"<Comments>\r\n<Note-Package version=\"3\" title=\"A &amp; B\" owner=\"\u5F20\u4E09\">\r\n"
              u"<NoteItems count=\"3\" kind=\"pdf\">\r\n"
              u"<Item id=\"a\" page=\"1\" color=\"#ff0000\">first &lt;note&gt;<Rect x=\"1\" y=\"2\"/></Item>\r\n"
              u"<Item id=\"c\" page=\"3\"/>\r\n"
              u"</NoteItems>\r\n</Note-Package>\r\n</Comments>\r\n");

    // parse the written text again: well-formed, and the Items read back
    CXmlDoc again;
    ASSERT_TRUE(again.SetDoc(newComments));
    ASSERT_TRUE(Enter(again, u"Comments"));
    ASSERT_TRUE(again.FindTag(u"Note-Package"));
    EXPECT_EQ(again.GetAttrib(u"title"), u"A & B");
    ASSERT_TRUE(again.IntoTag() && Enter(again, u"NoteItems"));
    std::vector<std::u16string> ids;
    while (again.FindTag(u"Item")) ids.push_back(again.GetAttrib(u"id"));
    EXPECT_EQ(ids, (std::vector<std::u16string>{u"a", u"c"}));

    // trim the NoteSet: only b stays
    CXmlDoc m;
    ASSERT_TRUE(m.SetDoc(kMarkPos));
    ASSERT_TRUE(Enter(m, u"NoteSet"));
    ASSERT_TRUE(Enter(m, u"Note-Package"));
    ASSERT_TRUE(Enter(m, u"NoteItems"));
    while (m.FindTag(u"Item")) {
        if (moved.count(m.GetAttrib(u"id")) != 0) {
            ASSERT_TRUE(m.RemoveTag());
        }
    }
    EXPECT_EQ(m.CheckIndex(), "");
    CXmlDoc trimmed;
    ASSERT_TRUE(trimmed.SetDoc(m.GetDoc()));
    ASSERT_TRUE(Enter(trimmed, u"NoteSet"));
    ASSERT_TRUE(Enter(trimmed, u"Note-Package"));
    ASSERT_TRUE(Enter(trimmed, u"NoteItems"));
    ASSERT_TRUE(trimmed.FindTag(u"Item"));
    EXPECT_EQ(trimmed.GetAttrib(u"id"), u"b");
    EXPECT_EQ(trimmed.GetSubDoc(), u"<Item id=\"b\" page=\"2\"><![CDATA[second ]]]]><![CDATA[> note]]></Item>\r\n\r\n");  // c left its line break
    EXPECT_FALSE(trimmed.FindTag(u"Item"));
}

TEST(XmlNotePackage, ANoteWithoutCommentsGetsTheBareSkeleton) {
    std::map<std::u16string, std::u16string> items;
    const std::u16string skeleton = Skeleton(u"<NoteSet><Note-Package/></NoteSet>", items);
    EXPECT_TRUE(items.empty());
    EXPECT_EQ(skeleton, u"<Comments>\r\n<Note-Package/>\r\n</Comments>\r\n");
    EXPECT_TRUE(CommentIds(u"<Comments/>").empty());
    EXPECT_TRUE(CommentIds(u"<Comments><Comment id='x'>").empty());  // not well-formed: passed over
}

TEST(XmlNotePackage, RepeatedRoundTripsKeepTheTextStable) {
    // change, write, parse again: a second pass over the written text changes nothing more
    std::u16string text = kMarkPos;
    for (int pass = 0; pass < 3; ++pass) {
        CXmlDoc doc;
        ASSERT_TRUE(doc.SetDoc(text)) << pass;
        ASSERT_TRUE(Enter(doc, u"NoteSet"));
        ASSERT_TRUE(doc.FindTag(u"Note-Package"));
        ASSERT_TRUE(doc.SetAttrib(u"version", u"4"));
        ASSERT_TRUE(doc.SetAttrib(u"note", u"\"quoted\" & <angled>"));
        ASSERT_TRUE(doc.IntoTag() && Enter(doc, u"NoteItems"));
        ASSERT_TRUE(doc.FindTag(u"Item"));
        ASSERT_TRUE(doc.SetAttrib(u"page", u"10"));
        EXPECT_EQ(doc.CheckIndex(), "");
        const std::u16string written = doc.GetDoc();
        if (pass > 0) {
            EXPECT_EQ(written, text);
        }
        text = written;
    }
    CXmlDoc doc;
    ASSERT_TRUE(doc.SetDoc(text));
    ASSERT_TRUE(Enter(doc, u"NoteSet") && doc.FindTag(u"Note-Package"));
    EXPECT_EQ(doc.GetAttrib(u"note"), u"\"quoted\" & <angled>");
    EXPECT_EQ(doc.GetAttrib(u"version"), u"4");
}

TEST(XmlNotePackage, ManyItemsMovedAndRemoved) {
    std::u16string markPos = u"<NoteSet><Note-Package><NoteItems>\r\n";
    for (int i = 0; i < 500; ++i) {
        markPos += u"<Item id=\"" + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) +
                   std::u16string(1, static_cast<char16_t>(u'a' + i / 26)) + u"\"><p/></Item>\r\n";
    }
    markPos += u"</NoteItems></Note-Package></NoteSet>";
    std::map<std::u16string, std::u16string> items;
    const std::u16string skeleton = Skeleton(markPos, items);
    ASSERT_EQ(items.size(), 500u);
    CXmlDoc note;
    ASSERT_TRUE(note.SetDoc(skeleton));
    ASSERT_TRUE(Enter(note, u"Comments") && Enter(note, u"Note-Package") &&
                Enter(note, u"NoteItems"));
    for (const auto& [id, markup] : items) {
        if (id[0] % 2 == 0) {
            ASSERT_TRUE(note.AddSubDoc(markup));
        }
    }
    EXPECT_EQ(note.CheckIndex(), "");
    CXmlDoc again;
    ASSERT_TRUE(again.SetDoc(note.GetDoc()));
    ASSERT_TRUE(Enter(again, u"Comments") && Enter(again, u"Note-Package") &&
                Enter(again, u"NoteItems"));
    size_t count = 0;
    while (again.FindTag(u"Item")) {
        EXPECT_EQ(again.GetAttrib(u"id")[0] % 2, 0);
        ++count;
    }
    EXPECT_GT(count, 200u);
    EXPECT_LT(count, 300u);
}

}  // namespace
