// Ready-made unit contents for tests, the benchmark and the demo sample.
#include "builder/UnitBuilder.h"

#include <algorithm>

namespace testkit {

UnitSpec SampleSpec(int32_t version)
{
    UnitSpec spec{.version = version, .tavId = u"7C1D2E3F4A5B6C7D8E9F0A1B2C3D4E5F", .owner = u"owner1"};
    spec.folders = {{.id = 1, .name = u"基础"}, {.id = 2, .name = u"子文件夹", .parentId = 1},
                    {.id = 3, .name = u"孙文件夹", .parentId = 2}, {.id = 4, .name = u"方法"},
                    {.id = 5, .name = u"回收的文件夹", .recycled = true}, {.id = 6, .name = u"子二", .parentId = 1}};

    // Literature 1 owns items a, b, c and N2 (N2 matches note N2's PosID); literature 2 owns
    // x (with an apostrophe in its text) and y; literature 5 has notes but no note package.
    spec.literature = {
        {.pkid = 1, .doi = u"10.1000/a1", .title = u"文献一", .author = u"张三", .source = u"期刊甲",
         .filePath = u"D:\\单元\\a1.pdf", .folderIds = {1}, .lastReadPage = u"3", .locked = 1,
         .notePackage = MakeNotePackage({{u"a", u"第一条"}, {u"b", u"第二条"}, {u"c", u"第三条"}, {u"N2", u"按位置"}}),
         .remark = u"备注一", .lastReadTime = u"2016-04-05 06:07:08", .isRead = 1},
        {.pkid = 2, .doi = u"10.1000/o'brien", .title = u"O'Brien's study", .author = u"O'Brien",
         .source = u"Journal B", .folderIds = {2, 3}, .lastReadPage = u"7",
         .notePackage = MakeNotePackage({{u"x", u"it's marked"}, {u"y", u"kept"}}),
         .lastReadTime = u"2016-04-06 06:07:08"},
        {.pkid = 3, .doi = u"10.1000/a3", .title = u"会议文献", .source = u"会议录", .dataType = 4, .meeting = u"会议丙",
         .folderIds = {0}},
        {.pkid = 4, .doi = u"10.1000/a4", .title = u"回收的文献", .folderIds = {4}, .recycled = true},
        {.pkid = 5, .doi = u"10.1000/a5", .title = u"无笔记包", .folderIds = {6}},
        {.pkid = 6, .doi = u"10.1000/a6", .title = u"回收夹中的文献", .folderIds = {5}},
    };

    spec.notes = {
        {.id = 1, .posId = u"N1", .typeId = 1, .doi = u"10.1000/a1", .title = u"笔记一", .content = u"内容一",
         .comments = MakeNoteComments({u"a", u"c"}), .location = u"11"},
        {.id = 2, .posId = u"N2", .typeId = 2, .doi = u"10.1000/a1", .title = u"笔记二", .content = u"内容二",
         .comments = MakeNoteComments({}), .location = u"12"},
        {.id = 3, .posId = u"N3", .typeId = 3, .doi = u"10.1000/o'brien", .title = u"Note's three", .content = u"c3",
         .comments = MakeNoteComments({u"x", u"zz"}), .location = u"13"},
        {.id = 4, .posId = u"N4", .typeId = 4, .doi = u"10.1000/o'brien", .title = u"笔记四", .content = u"c4",
         .comments = MakeNoteComments({u"nomatch"}), .location = u"14"},
        {.id = 5, .posId = u"N5", .typeId = 1, .doi = u"10.1000/a1", .title = u"空注释", .content = u"c5",
         .location = u"15"},
        {.id = 6, .posId = u"N6", .typeId = 2, .doi = u"10.1000/a5", .title = u"无包笔记", .content = u"c6",
         .comments = MakeNoteComments({u"q"}), .location = u"16"},
    };

    spec.labels = {{u"重要", u"N1"}, {u"待读", u"N1"}, {u"重要", u"N3"}, {u"复习", u"N4"}};
    spec.webFolders = {{.id = 1, .name = u"网页收藏"}};
    spec.webPages = {
        {.pkid = 3, .title = u"网页一", .author = u"网站", .link = u"http://example.com/1",
         .filePath = u"webpage/p3/index.html", .createTime = u"2016-05-01 10:00:00",
         .lastReadTime = u"2016-05-02 11:00:00", .doi = u"web-3", .folderIds = {1}},
        {.pkid = 7, .title = u"It's a page", .link = u"http://example.com/7", .filePath = u"webpage/p7/index.html",
         .createTime = u"2016-05-03 10:00:00", .lastReadTime = u"2016-05-04 11:00:00", .doi = u"web-7",
         .recycled = true, .delTime = u"2016-06-01 08:00:00"},
    };

    spec.downloads = {
        {.id = 1, .pkid = 1, .title = u"文献一", .link = u"http://example.com/a1.pdf", .path = u"a1.pdf", .status = 1},
        {.id = 2, .pkid = 2, .title = u"O'Brien's study", .link = u"http://example.com/a2.pdf"}};
    spec.companionFiles = {
        {"a1.pdf", "%PDF-1.4\n% sample attachment\n"}, {"webpage/p3/index.html", "<html><body>page 3</body></html>\n"},
        {"webpage/p7/index.html", "<html><body>page 7</body></html>\n"}, {"Notes/N1.txt", "note file of N1\n"}};
    return spec;
}

UnitSpec BulkSpec(int32_t version, int literature, int notes, int folders, int webPages)
{
    const auto number = [](int n) { return U16(std::to_string(n)); };
    UnitSpec spec{.version = version, .tavId = u"0F1E2D3C4B5A69788796A5B4C3D2E1F0"};
    const int topLevel = std::max(1, folders / 10);
    for (int i = 1; i <= folders; ++i)
        spec.folders.push_back(
            {.id = i, .name = u"文件夹" + number(i), .parentId = i > topLevel ? 1 + (i - 1) % topLevel : 0});

    // Notes are dealt round-robin over the literature; each literature's package holds one
    // item per note plus one item no note names.
    const int shelves = std::max(literature, 1);
    for (int i = 1; i <= literature; ++i) {
        std::vector<NoteItemSpec> items;
        for (int n = i; n <= notes; n += shelves)
            items.push_back({u"i" + number(n), u"批注 " + number(n)});
        items.push_back({u"free" + number(i), u"unclaimed"});
        spec.literature.push_back({.pkid = i, .doi = u"10.5555/bulk." + number(i), .title = u"大量文献 " + number(i),
                                   .author = u"作者" + number(i), .source = u"期刊",
                                   .filePath = u"D:\\单元\\bulk" + number(i) + u".pdf",
                                   .folderIds = {folders > 0 ? 1 + (i - 1) % folders : 0},
                                   .lastReadPage = number(i % 40), .notePackage = MakeNotePackage(items),
                                   .lastReadTime = u"2016-04-05 06:07:08"});
    }
    for (int n = 1; n <= notes; ++n) {
        if (n % 5 == 0)
            spec.labels.push_back({u"标签" + number(n % 20), u"P" + number(n)});
        spec.notes.push_back({.id = n, .posId = u"P" + number(n), .typeId = 1 + n % 4,
                              .doi = u"10.5555/bulk." + number(1 + (n - 1) % shelves), .title = u"笔记 " + number(n),
                              .content = u"笔记内容 " + number(n), .comments = MakeNoteComments({u"i" + number(n)}),
                              .location = number(n)});
    }
    for (int p = 1; p <= webPages; ++p)
        spec.webPages.push_back({.pkid = p, .title = u"网页 " + number(p), .link = u"http://example.com/" + number(p),
                                 .filePath = u"webpage/p" + number(p) + u"/index.html",
                                 .createTime = u"2016-05-01 10:00:00", .lastReadTime = u"2016-05-02 11:00:00",
                                 .recycled = p % 10 == 0});
    return spec;
}

}  // namespace testkit
