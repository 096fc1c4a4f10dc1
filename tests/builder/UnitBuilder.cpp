// Writes a learning unit of a chosen layout version from a UnitSpec.
#include "builder/UnitBuilder.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <set>

namespace testkit {
namespace {

// Values are SQL literals.
using Value = std::string;

Value Int(int64_t value) { return std::to_string(value); }

Value Str(const std::u16string& text)
{
    std::string quoted = "'";
    for (char c : U8(text))
        quoted += c == '\'' ? std::string("''") : std::string(1, c);
    return quoted + "'";
}

// Empty text writes NULL.
Value Text(const std::u16string& text) { return text.empty() ? "NULL" : Str(text); }

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::u16string NewGuid()
{
    static std::mt19937_64 engine{std::random_device{}()};
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%016llX%016llX", static_cast<unsigned long long>(engine()),
                  static_cast<unsigned long long>(engine()));
    return U16(buffer);
}

std::u16string EscapeXml(const std::u16string& text)
{
    std::u16string out;
    for (char16_t c : text) {
        switch (c) {
        case u'&': out += u"&amp;"; break;
        case u'<': out += u"&lt;"; break;
        case u'>': out += u"&gt;"; break;
        case u'"': out += u"&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::u16string Attributes(const XmlAttributes& attributes)
{
    std::u16string out;
    for (const auto& [name, value] : attributes)
        out += u" " + name + u"=\"" + EscapeXml(value) + u"\"";
    return out;
}

using Cells = std::vector<std::pair<std::string, Value>>;

// Inserts rows, leaving out every cell whose column the unit's version does not have.
class UnitWriter {
public:
    UnitWriter(UnitReader& db, int32_t version) : m_db(db), m_version(version) {}

    void Insert(const std::string& table, const Cells& cells)
    {
        auto found = m_columns.find(table);
        if (found == m_columns.end()) {
            std::set<std::string> names;
            for (const std::string& name : LayoutColumns(m_version, table))
                names.insert(Lower(name));
            found = m_columns.emplace(table, std::move(names)).first;
        }
        if (found->second.empty())
            return;
        std::string names;
        std::string values;
        for (const auto& [column, value] : cells) {
            if (found->second.count(Lower(column)) == 0)
                continue;
            names += (names.empty() ? "" : ",") + (column == "desc" ? std::string("\"desc\"") : column);
            values += (values.empty() ? "" : ",") + value;
        }
        m_db.Execute("insert into " + table + " (" + names + ") values (" + values + ")");
    }

private:
    UnitReader& m_db;
    int32_t m_version;
    std::map<std::string, std::set<std::string>> m_columns;
};

void WriteDefaultRows(UnitWriter& w)
{
    const std::pair<const char16_t*, const char16_t*> types[] = {
        {u"知识点", u"KnowledgePoint"}, {u"注释", u"Note"}, {u"问题", u"Question"}, {u"读后感", u"Impression"}};
    int64_t id = 1;
    for (const auto& [type, remarks] : types)
        w.Insert("NoteType", {{"ID", Int(id++)}, {"Type", Text(type)}, {"TypeRemarks", Text(remarks)}});

    const std::pair<const char16_t*, const char16_t*> styles[] = {
        {u"专著", u"(Author).(Title)[M].(PubLocate):(Publisher),(Year)."},
        {u"论文集", u"(Author).(Title)[C].(PubLocate):(Publisher),(Year)."},
        {u"学位论文", u"(Author).(Title)[D].(PubLocate):(Publisher),(Year)."},
        {u"报告", u"(Author).(Title)[R].(PubLocate):(Publisher),(Year)."},
        {u"期刊文章", u"(Author).(Title)[J].(Source),(Year),(Roll)((Period))."},
        {u"报纸文章", u"(Author).(Title)[N].(Source),(PubTime)((Edition))."},
        {u"各种未定义类型的文献", u"(Author).(Title)[Z].(PubLocate):(Publisher),(Year)."}};
    int64_t dataType = 1;
    for (const auto& [name, format] : styles)
        w.Insert("LiteraStyles", {{"DataType", Int(dataType++)}, {"StyleName", Text(name)}, {"Format", Text(format)}});

    const char16_t* sortTypes[] = {u"笔记标题", u"笔记上次学习时间", u"笔记创建时间", u"按空间位置", u"按文献标题"};
    for (int64_t i = 0; i < 5; ++i)
        w.Insert("SortType", {{"ID", Int(i)}, {"Type", Text(sortTypes[i])}});

    const std::pair<int64_t, const char16_t*> sorts[] = {{1, u"今天"},     {2, u"本周"},     {3, u"本月"},
                                                         {4, u""},         {5, u"所有标签"}, {7, u"加星标签"},
                                                         {8, u"所有笔记"}, {9, u"回收站"}};
    for (const auto& [type, text] : sorts)
        w.Insert("NoteSort", {{"Type", Int(type)}, {"SortID", Int(type == 4 ? 2 : 4)}, {"NodeText", Text(text)}});
}

void WriteVersionRow(UnitWriter& w, const UnitSpec& spec)
{
    if (!spec.versionRow)
        return;
    w.Insert("VersionInfo", {{"ID", Int(1)}, {"VersionNum", Int(spec.version)}, {"TavId", Text(spec.tavId)},
        {"UserKey", Text(spec.owner)}, {"FileType", Text(spec.fileType)}});
}

const char16_t* kDelTime = u"2016-03-04 05:06:07";

}  // namespace

std::u16string MakeNotePackage(const std::vector<NoteItemSpec>& items, const XmlAttributes& packageAttributes,
                               const XmlAttributes& itemsAttributes)
{
    std::u16string xml = u"<NoteSet><Note-Package" + Attributes(packageAttributes) + u"><NoteItems" +
                         Attributes(itemsAttributes) + u">";
    for (const NoteItemSpec& item : items)
        xml += u"<Item id=\"" + EscapeXml(item.id) + u"\" page=\"1\">" + EscapeXml(item.text) + u"</Item>";
    xml += u"</NoteItems></Note-Package></NoteSet>";
    return xml;
}

std::u16string MakeNoteComments(const std::vector<std::u16string>& commentIds)
{
    std::u16string xml = u"<Comments><Note-Package><NoteItems>";
    for (const std::u16string& id : commentIds)
        xml += u"<Comment id=\"" + EscapeXml(id) + u"\"/>";
    xml += u"</NoteItems></Note-Package></Comments>";
    return xml;
}

std::filesystem::path ContentsFolder(const std::filesystem::path& unitPath)
{
    const std::string text = unitPath.string();
    const auto dot = text.rfind('.');
    return std::filesystem::path((dot == std::string::npos ? text : text.substr(0, dot)) + "_contents");
}

void BuildUnit(const std::filesystem::path& path, const UnitSpec& spec)
{
    if (spec.version < 1 || spec.version > kNewestVersion)
        throw TestkitError("layout version out of range: " + std::to_string(spec.version));
    std::error_code ignored;
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path(), ignored);
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        std::filesystem::remove(path.string() + suffix, ignored);

    const int32_t v = spec.version;
    {
        // An empty file opened with the key becomes an encrypted unit.
        std::ofstream(path, std::ios::binary).close();
        UnitReader db(path, spec.encrypted ? KeyMode::WithKey : KeyMode::WithoutKey);
        UnitWriter w(db, v);
        db.Execute("begin");
        for (const std::string& statement : LayoutStatements(v))
            db.Execute(statement);
        if (spec.defaultRows)
            WriteDefaultRows(w);
        WriteVersionRow(w, spec);

        // Folders, with GUIDs where the version has them.
        std::map<int32_t, std::u16string> folderGuids;
        std::map<int32_t, std::u16string> folderNames;
        std::set<int32_t> recycledFolders;
        for (const FolderSpec& f : spec.folders) {
            folderGuids[f.id] = f.guid.empty() && spec.autoGuids ? NewGuid() : f.guid;
            folderNames[f.id] = f.name;
            if (f.recycled)
                recycledFolders.insert(f.id);
        }
        for (const FolderSpec& f : spec.folders) {
            w.Insert("Category", {{"CategoryId", Int(f.id)}, {"Name", Str(f.name)}, {"ParentID", Int(f.parentId)},
                {"CategoryGuid", Text(folderGuids[f.id])},
                {"ParentGuid", Text(f.parentId != 0 ? folderGuids[f.parentId] : u"")}, {"IsModify", Int(0)},
                {"IsRelateModify", Int(0)}, {"Recycled", Int(f.recycled ? 1 : 0)}, {"IsRemoved", Int(0)}});
            if (f.recycled)
                w.Insert("Trash", {{"Path", Str(f.name + u"\\")}, {"IsDoc", Int(0)}, {"ParentID", Int(0)},
                    {"DelTime", Text(kDelTime)}, {"FolderId", Int(f.id)},
                    {"TrashGuid", Text(spec.autoGuids ? NewGuid() : u"")}, {"CategoryGuid", Text(folderGuids[f.id])}});
        }

        // Literature, its folder links, recycle-bin rows and reading state.
        std::map<std::u16string, std::u16string> guidByDoi;
        std::map<int32_t, std::u16string> guidByPkid;
        for (const LiteratureSpec& l : spec.literature) {
            const std::u16string guid = l.literGuid.empty() && spec.autoGuids ? NewGuid() : l.literGuid;
            guidByDoi[l.doi] = guid;
            guidByPkid[l.pkid] = guid;
            w.Insert("LiteraInfo", {{"pkid", Int(l.pkid)}, {"DOI", Str(l.doi)}, {"Title", Text(l.title)},
                {"Author", Text(l.author)}, {"Source", Text(l.source)}, {"Media", Text(l.source)},
                {"DataType", Int(l.dataType)}, {"Meeting", Text(l.meeting)}, {"FilePath", Text(l.filePath)},
                {"LiterGuid", Text(guid)}, {"LastReadPage", Text(l.lastReadPage)}, {"Locked", Int(l.locked)},
                {"NoteSets", Text(l.notePackage)}, {"Remark", Text(l.remark)}, {"Adjunct", Text(l.adjunct)},
                {"LastReadTime", Text(l.lastReadTime)}, {"IsRead", Int(l.isRead)}, {"IsModify", Int(0)},
                {"Recycled", Int(l.recycled ? 1 : 0)}});
            for (int32_t folder : l.folderIds)
                w.Insert("CategoryLitera", {{"CategoryId", Int(folder)}, {"pkid", Int(l.pkid)},
                    {"CategoryGuid", Text(folder != 0 ? folderGuids[folder] : u"")}, {"LiterGuid", Text(guid)},
                    {"Recycled", Int(recycledFolders.count(folder) ? 1 : 0)}, {"DOI", Text(l.doi)}});
            if (l.recycled) {
                const int32_t folder = l.folderIds.empty() ? 0 : l.folderIds.front();
                w.Insert("Trash", {{"Path", Str(folderNames[folder] + u"\\")}, {"pkid", Int(l.pkid)},
                    {"DOI", Text(l.doi)}, {"IsDoc", Int(1)}, {"ParentID", Int(0)}, {"DelTime", Text(kDelTime)},
                    {"FolderId", Int(folder)}, {"TrashGuid", Text(spec.autoGuids ? NewGuid() : u"")},
                    {"LiterGuid", Text(guid)}});
            }
            if (l.readingStateRow)
                w.Insert("LiteraRelate", {{"Pkid", Int(l.pkid)}, {"Locked", Int(l.locked)},
                    {"LastReadPos", Text(l.lastReadPage)}, {"MarkPos", Text(l.notePackage)}, {"Remark", Text(l.remark)},
                    {"Adjunct", Text(l.adjunct)}, {"LastReadTime", Text(l.lastReadTime)},
                    {"CreateTime", Text(u"2015-01-02 03:04:05")}, {"FileType", Int(l.fileType)},
                    {"LiterGuid", Text(guid)}, {"IsModify", Int(0)}, {"IsRead", Int(l.isRead)}});
        }

        // Notes; version 5 also kept their type as a label link.
        std::map<std::u16string, std::u16string> noteGuidByPos;
        for (const NoteSpec& n : spec.notes) {
            const std::u16string guid = n.noteGuid.empty() && spec.autoGuids ? NewGuid() : n.noteGuid;
            noteGuidByPos[n.posId] = guid;
            const auto literature = guidByDoi.find(n.doi);
            w.Insert("NoteContent", {{"ID", Int(n.id)}, {"TypeID", Int(n.typeId)},
                {"ModifyTime", Text(u"2016-01-02 03:04:05")}, {"Title", Text(n.title)}, {"Content", Text(n.content)},
                {"DOI", Text(n.doi)}, {"PosID", Text(n.posId)}, {"Comments", Text(n.comments)},
                {"Location", Text(n.location)}, {"NoteGuid", Text(guid)},
                {"LiterGuid", Text(literature != guidByDoi.end() ? literature->second : u"")}, {"IsModify", Int(0)},
                {"IsLabelModify", Int(0)}, {"IsPublic", Int(0)}, {"IsRemoved", Int(0)}});
            w.Insert("NoteLabel", {{"LabelID", Int(n.typeId)}, {"NoteID", Text(n.posId)}});
        }
        for (const LabelSpec& l : spec.labels)
            w.Insert("Label", {{"LabelText", Str(l.text)}, {"NoteID", Str(l.notePosId)},
                {"NoteGuid", Text(noteGuidByPos[l.notePosId])}, {"IsRemoved", Int(0)}});
        if (spec.defaultRows)
            db.Execute("Insert into NoteSort(Type, SortID, NodeText) select 6, 4 , LabelText from Label group by LabelText");

        // Web pages, their folders and their recycle bin.
        for (const WebFolderSpec& f : spec.webFolders)
            w.Insert("WebPage_Category", {{"CategoryId", Int(f.id)}, {"Name", Str(f.name)}, {"ParentID", Int(f.parentId)}});
        for (const WebPageSpec& p : spec.webPages) {
            w.Insert("WebPage_Info", {{"pkid", Int(p.pkid)}, {"Title", Text(p.title)}, {"Author", Text(p.author)},
                {"Link", Text(p.link)}, {"DOI", Text(p.doi)}, {"FilePath", Text(p.filePath)}, {"IsDownload", Int(1)},
                {"CreateTime", Text(p.createTime)}, {"LastReadTime", Text(p.lastReadTime)},
                {"Recycle", Int(p.recycled ? 1 : 0)}});
            for (int32_t folder : p.folderIds)
                w.Insert("WebPage_CategoryInfo", {{"CategoryId", Int(folder)}, {"pkid", Int(p.pkid)}});
            if (p.recycled)
                w.Insert("WebPage_Trash", {{"Path", Text(u"网页\\")}, {"pkid", Int(p.pkid)}, {"IsWebPage", Int(1)},
                    {"ParentID", Int(0)}, {"DelTime", Text(p.delTime.empty() ? std::u16string(kDelTime) : p.delTime)}});
        }

        for (const DownloadSpec& d : spec.downloads)
            w.Insert("DownInfo", {{"ID", Int(d.id)}, {"pkid", Int(d.pkid)}, {"Title", Text(d.title)},
                {"Link", Text(d.link)}, {"DownStyle", Int(0)}, {"Path", Text(d.path)},
                {"DownTime", Text(u"2016-02-03 04:05:06")}, {"Status", Int(d.status)}, {"Expand", Int(0)},
                {"LiterGuid", Text(guidByPkid[d.pkid])}});
        db.Execute("commit");
    }

    if (!spec.companionFiles.empty()) {
        const std::filesystem::path contents = ContentsFolder(path);
        for (const CompanionFile& file : spec.companionFiles) {
            const std::filesystem::path target = contents / file.relativePath;
            std::filesystem::create_directories(target.parent_path());
            std::ofstream out(target, std::ios::binary | std::ios::trunc);
            out.write(file.content.data(), static_cast<std::streamsize>(file.content.size()));
            if (!out)
                throw TestkitError("cannot write " + target.string());
        }
    }
}

}  // namespace testkit
