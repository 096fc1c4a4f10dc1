// Writes a learning unit of a chosen layout version from a UnitSpec.
#include "builder/UnitBuilder.h"

#include <fstream>
#include <map>
#include <random>
#include <set>

namespace testkit {
namespace {

// An SQL literal; empty text is NULL unless it is a value of a "not null" column.
struct Value {
    Value(int number) : sql(std::to_string(number)) {}
    Value(const char16_t* text) : Value(std::u16string(text)) {}
    Value(const std::u16string& text, bool nullWhenEmpty = true) : sql("'")
    {
        for (char c : U8(text))
            sql += c == '\'' ? std::string("''") : std::string(1, c);
        sql = text.empty() && nullWhenEmpty ? "NULL" : sql + "'";
    }
    std::string sql;
};

Value NotNull(const std::u16string& text) { return Value(text, false); }

std::u16string NewGuid()
{
    static std::mt19937_64 engine{std::random_device{}()};
    std::u16string guid;
    for (int i = 0; i < 32; ++i)
        guid += u"0123456789ABCDEF"[engine() % 16];
    return guid;
}

std::u16string EscapeXml(const std::u16string& text)
{
    std::u16string out;
    for (char16_t c : text)
        out += c == u'&' ? u"&amp;" : c == u'<' ? u"&lt;" : c == u'>' ? u"&gt;"
             : c == u'"' ? u"&quot;" : std::u16string(1, c);
    return out;
}

std::u16string Attributes(const XmlAttributes& attributes)
{
    std::u16string out;
    for (const auto& [name, value] : attributes)
        out += u" " + name + u"=\"" + EscapeXml(value) + u"\"";
    return out;
}

void WriteDefaultRows(UnitReader& db, const auto& insert)
{
    const std::pair<const char16_t*, const char16_t*> types[] = {
        {u"知识点", u"KnowledgePoint"}, {u"注释", u"Note"}, {u"问题", u"Question"}, {u"读后感", u"Impression"}};
    int id = 1;
    for (const auto& [type, remarks] : types)
        insert("NoteType", {{"ID", id++}, {"Type", type}, {"TypeRemarks", remarks}});

    db.Execute("insert into LiteraStyles values (1, '专著', '(Author).(Title)[M].(PubLocate):(Publisher),(Year).'), "
               "(2, '论文集', '(Author).(Title)[C].(PubLocate):(Publisher),(Year).'), "
               "(3, '学位论文', '(Author).(Title)[D].(PubLocate):(Publisher),(Year).'), "
               "(4, '报告', '(Author).(Title)[R].(PubLocate):(Publisher),(Year).'), "
               "(5, '期刊文章', '(Author).(Title)[J].(Source),(Year),(Roll)((Period)).'), "
               "(6, '报纸文章', '(Author).(Title)[N].(Source),(PubTime)((Edition)).'), "
               "(7, '各种未定义类型的文献', '(Author).(Title)[Z].(PubLocate):(Publisher),(Year).')");

    db.Execute("insert into SortType values (0, '笔记标题'), (1, '笔记上次学习时间'), (2, '笔记创建时间'), "
               "(3, '按空间位置'), (4, '按文献标题')");
    db.Execute("insert into NoteSort (Type, SortID, NodeText) values (1, 4, '今天'), (2, 4, '本周'), (3, 4, '本月'), "
               "(4, 2, NULL), (5, 4, '所有标签'), (7, 4, '加星标签'), (8, 4, '所有笔记'), (9, 4, '回收站')");
}

const char16_t* kDelTime = u"2016-03-04 05:06:07";

}  // namespace

std::u16string MakeNotePackage(const std::vector<NoteItemSpec>& items, const XmlAttributes& packageAttributes,
                               const XmlAttributes& itemsAttributes)
{
    std::u16string xml = u"<NoteSet><Note-Package" + Attributes(packageAttributes) + u"><NoteItems" +
                         Attributes(itemsAttributes) + u">";
    for (const NoteItemSpec& item : items)
        xml += u"<Item id=\"" + EscapeXml(item.first) + u"\" page=\"1\">" + EscapeXml(item.second) + u"</Item>";
    return xml + u"</NoteItems></Note-Package></NoteSet>";
}

std::u16string MakeNoteComments(const std::vector<std::u16string>& commentIds)
{
    std::u16string xml = u"<Comments><Note-Package><NoteItems>";
    for (const std::u16string& id : commentIds)
        xml += u"<Comment id=\"" + EscapeXml(id) + u"\"/>";
    return xml + u"</NoteItems></Note-Package></Comments>";
}

std::filesystem::path ContentsFolder(const std::filesystem::path& unitPath)
{
    const std::string text = unitPath.string();
    return text.substr(0, text.rfind('.')) + "_contents";
}

void BuildUnit(const std::filesystem::path& path, const UnitSpec& spec)
{
    if (spec.version < 1 || spec.version > kNewestVersion)
        throw TestkitError("layout version out of range: " + std::to_string(spec.version));
    std::error_code ignored;
    std::filesystem::create_directories(path.parent_path(), ignored);
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        std::filesystem::remove(path.string() + suffix, ignored);
    // An empty file opened with the key becomes an encrypted unit.
    std::ofstream(path, std::ios::binary).close();
    UnitReader db(path, spec.encrypted ? KeyMode::WithKey : KeyMode::WithoutKey);
    // Inserts a row, leaving out every cell whose column the unit's version does not have.
    std::map<std::string, std::set<std::string>> layout;
    const auto insert = [&](const std::string& table, const std::vector<std::pair<std::string, Value>>& cells) {
        std::set<std::string>& columns = layout[table];
        if (columns.empty())
            for (const std::string& column : LayoutColumns(spec.version, table))
                columns.insert(column);
        std::string names;
        std::string values;
        for (const auto& [column, value] : cells)
            if (columns.count(column) != 0) {
                names += (names.empty() ? "" : ",") + column;
                values += (values.empty() ? "" : ",") + value.sql;
            }
        if (!columns.empty())
            db.Execute("insert into " + table + " (" + names + ") values (" + values + ")");
    };
    db.Execute("begin");
    for (const std::string& statement : LayoutStatements(spec.version))
        db.Execute(statement);
    if (spec.defaultRows)
        WriteDefaultRows(db, insert);
    insert("VersionInfo", {{"ID", 1}, {"VersionNum", spec.version}, {"TavId", spec.tavId}, {"UserKey", spec.owner},
                           {"FileType", u"tav"}});
    const auto guidOr = [&](const std::u16string& given) {
        return given.empty() && spec.autoGuids ? NewGuid() : given;
    };

    std::map<int32_t, FolderSpec> folders;  // with their GUIDs; folder 0 (the top) has none
    for (FolderSpec f : spec.folders) {
        f.guid = guidOr(f.guid);
        folders[f.id] = f;
    }
    for (const FolderSpec& f : spec.folders) {
        insert("Category", {{"CategoryId", f.id}, {"Name", NotNull(f.name)}, {"ParentID", f.parentId},
                            {"CategoryGuid", folders[f.id].guid}, {"ParentGuid", folders[f.parentId].guid},
                            {"Recycled", f.recycled}});
        if (f.recycled)
            insert("Trash", {{"Path", f.name + u"\\"}, {"IsDoc", 0}, {"ParentID", 0}, {"DelTime", kDelTime},
                             {"FolderId", f.id}, {"TrashGuid", guidOr(u"")}, {"CategoryGuid", folders[f.id].guid}});
    }

    std::map<std::u16string, std::u16string> guidByDoi;
    std::map<int32_t, std::u16string> guidByPkid;
    for (const LiteratureSpec& l : spec.literature) {
        const std::u16string guid = guidByPkid[l.pkid] = guidByDoi[l.doi] = guidOr(l.literGuid);
        insert("LiteraInfo", {{"pkid", l.pkid}, {"DOI", NotNull(l.doi)}, {"Title", l.title}, {"Author", l.author},
                              {"Source", l.source}, {"Media", l.source}, {"DataType", l.dataType},
                              {"Meeting", l.meeting}, {"FilePath", l.filePath}, {"LiterGuid", guid},
                              {"LastReadPage", l.lastReadPage}, {"Locked", l.locked}, {"NoteSets", l.notePackage},
                              {"Remark", l.remark}, {"LastReadTime", l.lastReadTime}, {"IsRead", l.isRead},
                              {"Recycled", l.recycled}});
        for (int32_t folder : l.folderIds)
            insert("CategoryLitera", {{"CategoryId", folder}, {"pkid", l.pkid}, {"CategoryGuid", folders[folder].guid},
                                      {"LiterGuid", guid}, {"Recycled", folders[folder].recycled}, {"DOI", l.doi}});
        const int32_t folder = l.folderIds.empty() ? 0 : l.folderIds.front();
        if (l.recycled)
            insert("Trash", {{"Path", folders[folder].name + u"\\"}, {"pkid", l.pkid}, {"DOI", l.doi}, {"IsDoc", 1},
                             {"ParentID", 0}, {"DelTime", kDelTime}, {"FolderId", folder}, {"TrashGuid", guidOr(u"")},
                             {"LiterGuid", guid}});
        if (l.readingStateRow)
            insert("LiteraRelate", {{"Pkid", l.pkid}, {"Locked", l.locked}, {"LastReadPos", l.lastReadPage},
                                    {"MarkPos", l.notePackage}, {"Remark", l.remark}, {"LastReadTime", l.lastReadTime},
                                    {"CreateTime", u"2015-01-02 03:04:05"}, {"FileType", 0}, {"LiterGuid", guid},
                                    {"IsRead", l.isRead}});
    }

    // Notes; version 5 also kept their type as a label link.
    std::map<std::u16string, std::u16string> noteGuidByPos;
    for (const NoteSpec& n : spec.notes) {
        const std::u16string guid = noteGuidByPos[n.posId] = guidOr(u"");
        insert("NoteContent", {{"ID", n.id}, {"TypeID", n.typeId}, {"ModifyTime", u"2016-01-02 03:04:05"},
                               {"Title", n.title}, {"Content", n.content}, {"DOI", n.doi}, {"PosID", n.posId},
                               {"Comments", n.comments}, {"Location", n.location}, {"NoteGuid", guid},
                               {"LiterGuid", guidByDoi[n.doi]}, {"IsModify", 0}, {"IsLabelModify", 0}});
        insert("NoteLabel", {{"LabelID", n.typeId}, {"NoteID", n.posId}});
    }
    for (const auto& [text, posId] : spec.labels)
        insert("Label", {{"LabelText", NotNull(text)}, {"NoteID", NotNull(posId)}, {"NoteGuid", noteGuidByPos[posId]}});
    if (spec.defaultRows)
        db.Execute("insert into NoteSort (Type, SortID, NodeText) "
                   "select 6, 4, LabelText from Label group by LabelText");

    for (const FolderSpec& f : spec.webFolders)
        insert("WebPage_Category", {{"CategoryId", f.id}, {"Name", NotNull(f.name)}, {"ParentID", f.parentId}});
    for (const WebPageSpec& p : spec.webPages) {
        insert("WebPage_Info", {{"pkid", p.pkid}, {"Title", p.title}, {"Author", p.author}, {"Link", p.link},
                                {"DOI", p.doi}, {"FilePath", p.filePath}, {"IsDownload", 1},
                                {"CreateTime", p.createTime}, {"LastReadTime", p.lastReadTime},
                                {"Recycle", p.recycled}});
        for (int32_t folder : p.folderIds)
            insert("WebPage_CategoryInfo", {{"CategoryId", folder}, {"pkid", p.pkid}});
        if (p.recycled)
            insert("WebPage_Trash", {{"Path", u"网页\\"}, {"pkid", p.pkid}, {"IsWebPage", 1}, {"ParentID", 0},
                                     {"DelTime", p.delTime.empty() ? kDelTime : p.delTime}});
    }
    for (const DownloadSpec& d : spec.downloads)
        insert("DownInfo", {{"ID", d.id}, {"pkid", d.pkid}, {"Title", d.title}, {"Link", d.link}, {"DownStyle", 0},
                            {"Path", d.path}, {"DownTime", u"2016-02-03 04:05:06"}, {"Status", d.status}, {"Expand", 0},
                            {"LiterGuid", guidByPkid[d.pkid]}});
    db.Execute("commit");

    for (const auto& [relativePath, content] : spec.companionFiles) {
        const std::filesystem::path target = ContentsFolder(path) / relativePath;
        std::filesystem::create_directories(target.parent_path());
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        if (!out)
            throw TestkitError("cannot write " + target.string());
    }
}

}  // namespace testkit
