// Which tables and columns a learning unit had at each layout version, reconstructed from what
// each upgrade step adds: a column that step n adds did not exist before version n. Declarations
// are those of the version-16 layout.
#include "builder/LayoutHistory.h"
#include "builder/RawDb.h"
#include "builder/UnitBuilder.h"

#include <initializer_list>

namespace testkit::layout {
namespace {

using Columns = std::vector<ColumnDef>;

// Several columns with one declaration, present from `since` on.
void Add(Columns& columns, std::initializer_list<const char*> names, const std::string& declaration, int since = 1,
         int until = kAlways, bool addedByUpgrade = true)
{
    for (const char* name : names)
        columns.push_back(ColumnDef{name, declaration, since, until, addedByUpgrade});
}

// Columns 1 to 110 of LiteraInfo (pkid .. City) and the version-1 Meeting column.
Columns LiteraInfoHead(bool withMeeting)
{
    Columns c;
    Add(c, {"pkid"}, "integer primary key");
    Add(c, {"DOI"}, "text not null UNIQUE");
    Add(c, {"Title", "Author", "Organ", "Keyword", "Summary", "ETitle", "EAuthor", "ESummary", "EKeyword", "Quotation",
            "Fund", "CDNum", "LiteratureNum", "Source", "SSource", "ESource", "Pub_Year", "Period", "CN", "ISSN",
            "FileName", "ClassNum", "SubjectNum", "SubColumnNum", "SubjectName", "SpecialNum", "UpdateTime",
            "SubSpecialNum", "FirstDuty"},
        "text null");
    Add(c, {"SCI", "EI", "Core"}, "varchar(2) null");
    Add(c, {"CETitle", "ComplexKeyword", "CESummary", "Topic", "PubTime", "NavNum", "MarkKeyword", "SrcDatabase"},
        "text null");
    Add(c, {"PageCount"}, "integer null");
    Add(c, {"FileSize", "CEAuthor", "CEPeriodical", "AuthorResume", "Property", "SYS_VSM", "ffd", "Lang", "Publisher",
            "FilePath"},
        "text null");
    Add(c, {"DataType"}, "integer Default 5 not null");
    Add(c, {"IsSubscibe"}, "bit Default 0 not null");
    Add(c, {"RecentReadTime"}, "varchar(50) null");
    Add(c, {"ClassUser"}, "text null");
    Add(c, {"Recycle", "IsDownload"}, "bit Default 0 not null");
    Add(c, {"FeedLink"}, "varchar(255) null");
    Add(c, {"Link", "Category", "BookshelfUserClass", "LiteratureUserClass", "WebUserClass"}, "text null");
    Add(c, {"ReadStatus"}, "bit Default 0 not null");
    Add(c, {"PubLocate", "Roll", "Edition"}, "text null");
    Add(c, {"InsertTime"}, "varchar(50) null");
    Add(c, {"Page"}, "text null");
    Add(c, {"LinkMD5"}, "varchar(32) null");
    Add(c, {"UserID"}, "varchar(255) null");
    Add(c, {"PDLOnlineClass"}, "text null");
    Add(c, {"Classified", "IsRead"}, "bit Default 0 not null");
    Add(c, {"LastReadTime"}, "text null");
    Add(c, {"ReferenceNum"}, "integer null");
    Add(c, {"IsGetAuthors"}, "bit Default 0 not null");
    Add(c, {"AuthorsList"}, "text null");
    Add(c, {"IsHaveAdjunct"}, "bit Default 0 not null");
    Add(c, {"Degree", "Teacher"}, "text null");
    Add(c, {"IsHaveContent"}, "bit Default 0 not null");
    Add(c, {"ImportantDegree"}, "integer Default 0 not null");
    Add(c, {"Tav"}, "text null");
    Add(c, {"NoteSets"}, "text");
    Add(c, {"Content", "Adjunct", "md5", "Remark"}, "text null");
    Add(c, {"DocExt"}, "varchar(255) null");
    // Before version 3 the layout had Meeting where the eighteen media columns came later (the
    // table-creation pass copies Meeting into Media for DataType 4 and drops it).
    if (withMeeting)
        Add(c, {"Meeting"}, "text null", 1, 2, false);
    Add(c, {"MediaEn", "EPubLocate", "EPublisher", "Media", "Country", "Version", "Prints", "CountryEn", "VersionEn",
            "MediaAddressEn", "DegreeType", "Department", "ApplicationNum", "PublicationDate",
            "InternationalClassification", "DutyPersonEn", "ModifiedDate", "City"},
        "text null", 3);
    return c;
}

Columns LiteraInfoColumns()
{
    Columns c = LiteraInfoHead(true);
    Add(c, {"LastReadPage"}, "text null", 4);                 // step 4
    Add(c, {"LCID"}, "text Default '2052' not null", 5);      // step 5
    Add(c, {"Locked"}, "integer", 7);                         // step 7
    Add(c, {"LiterGuid", "InternationalDOI"}, "text null", 14);  // step 14
    Add(c, {"VersionInfo"}, "integer", 14);
    Add(c, {"IsModify"}, "bit Default 0 not null", 14);
    Add(c, {"TableName"}, "text null", 16, kAlways, false);   // only the import's readers add it
    Add(c, {"KnowledgeID"}, "text null", 16);                 // step 16
    Add(c, {"OdataCode"}, "text null", 16, kAlways, false);   // only the import's readers add it
    Add(c, {"LocalModifyTime", "ServerModifyTime"}, "Text", 16);  // step 16
    Add(c, {"IsRemoved", "Recycled"}, "bit Default 0 not null", 16);
    return c;
}

Columns LiteraInfoTempColumns()
{
    Columns c = LiteraInfoHead(false);
    for (ColumnDef& column : c)
        column.since = 1;
    return c;
}

std::vector<TableDef> MakeHistory()
{
    std::vector<TableDef> t;
    const std::string stamp = "TIMESTAMP default (datetime('now', 'localtime'))";

    {
        TableDef d{"VersionInfo", "create table VersionInfo (", 1, kAlways, {}, "", {}};
        Add(d.columns, {"ID"}, "Integer primary key");
        Add(d.columns, {"VersionNum"}, "Integer");
        Add(d.columns, {"TavId"}, "Text");
        Add(d.columns, {"UserKey", "FileType"}, "VARCHAR", 12);  // step 12
        t.push_back(d);
    }
    {
        TableDef d{"Category", "create table Category (", 1, kAlways, {}, "", {}};
        Add(d.columns, {"CategoryId"}, "Integer primary key");
        Add(d.columns, {"Name"}, "Text not null");
        Add(d.columns, {"ParentID"}, "Integer Default 0");
        Add(d.columns, {"CategoryGuid", "ParentGuid"}, "Text", 14);  // step 14
        Add(d.columns, {"VersionInfo"}, "Integer", 14);
        Add(d.columns, {"IsModify"}, "bit Default 0 not null", 14);
        Add(d.columns, {"CategoryLiteraVersion"}, "Integer", 14);
        Add(d.columns, {"IsRelateModify"}, "bit Default 0 not null", 14);
        Add(d.columns, {"Path"}, "Text", 16);  // step 16
        Add(d.columns, {"RecycleID", "RecycleParentId"}, "Integer", 16);
        Add(d.columns, {"LocalModifyTime", "ServerModifyTime"}, "Text", 16);
        Add(d.columns, {"Recycled", "IsRemoved"}, "bit Default 0 not null", 16);
        t.push_back(d);
    }
    {
        TableDef d{"CategoryLitera", "create table CategoryLitera (", 1, kAlways, {}, "primary key (CategoryId, pkid)",
                   {"create index IDIndex on CategoryLitera(CategoryId)"}};
        Add(d.columns, {"CategoryId"}, "Integer not null");
        Add(d.columns, {"pkid"}, "Integer");
        Add(d.columns, {"CategoryGuid", "LiterGuid"}, "Text", 14);  // step 14
        Add(d.columns, {"LocalModifyTime", "ServerModifyTime"}, "Text", 16);  // step 16
        Add(d.columns, {"IsRemoved", "Recycled"}, "bit default 0 not null", 16);
        Add(d.columns, {"RecycleID"}, "Integer", 16);
        Add(d.columns, {"Path", "DOI"}, "Text", 16);
        t.push_back(d);
    }
    t.push_back(TableDef{"LiteraInfo", "CREATE TABLE LiteraInfo (", 1, kAlways, LiteraInfoColumns(), "",
                         {"create index DOIIndex on LiteraInfo(DOI)"}});
    // Made by every run of the table-creation pass; an upgraded unit from version 3 on has it.
    t.push_back(TableDef{"LiteraInfo_Temp", "CREATE TABLE LiteraInfo_Temp (", 3, kAlways, LiteraInfoTempColumns(), "", {}});
    {
        TableDef d{"NoteType", "create table NoteType (", 1, kAlways, {}, "", {}};
        Add(d.columns, {"ID"}, "Integer primary key");
        Add(d.columns, {"Type"}, "Text UNIQUE");
        Add(d.columns, {"TypeRemarks"}, "Text", 12);  // added by the table-creation pass
        t.push_back(d);
    }
    {
        TableDef d{"NoteContent", "create table NoteContent (", 1, kAlways, {}, "",
                   {"create index PosIDIndex on NoteContent(PosID)"}};
        Add(d.columns, {"ID"}, "Integer primary key");
        Add(d.columns, {"TypeID"}, "Integer");
        Add(d.columns, {"CreateTime"}, stamp);
        Add(d.columns, {"ModifyTime"}, "datetime");
        Add(d.columns, {"Title", "Content", "DOI"}, "Text");
        Add(d.columns, {"PosID"}, "Text UNIQUE");
        Add(d.columns, {"Comments"}, "Text");
        Add(d.columns, {"Recycled"}, "int Default 0");
        Add(d.columns, {"Adjunct"}, "BLOB", 5);  // step 5
        Add(d.columns, {"Path"}, "Text", 5);
        Add(d.columns, {"Source", "Importance", "Location", "ContentText"}, "Text", 6);  // step 6
        Add(d.columns, {"NoteGuid", "LiterGuid"}, "Text", 14);  // step 14
        Add(d.columns, {"VersionInfo"}, "Integer", 14);
        Add(d.columns, {"IsModify"}, "bit", 14);
        Add(d.columns, {"NoteLabelVersion"}, "Integer", 14);
        Add(d.columns, {"IsLabelModify"}, "bit", 14);
        Add(d.columns, {"IsPublic"}, "bit Default 0 not null", 15);  // step 15
        Add(d.columns, {"IsCompiled"}, "bit", 15);
        Add(d.columns, {"UnitID"}, "Text", 15);
        Add(d.columns, {"LocalModifyTime", "ServerModifyTime"}, "Text", 16);  // step 16
        Add(d.columns, {"IsRemoved"}, "bit Default 0 not null", 16);
        Add(d.columns, {"KnowledgeID"}, "Text null", 16);
        t.push_back(d);
    }
    {
        // Made by step 5, dropped by step 6.
        TableDef d{"NoteLabel", "create table NoteLabel (", 5, 5, {}, "primary key (LabelID, NoteID)",
                   {"create index LabelIndex on NoteLabel(LabelID)"}};
        Add(d.columns, {"LabelID"}, "Integer not null", 5);
        Add(d.columns, {"NoteID"}, "Text not null", 5);
        Add(d.columns, {"CreateTime"}, stamp, 5);
        t.push_back(d);
    }
    {
        TableDef d{"Label", "create table Label (", 1, kAlways, {}, "primary key (LabelText, NoteID)", {}};
        Add(d.columns, {"LabelText", "NoteID"}, "Text not null");
        Add(d.columns, {"NoteGuid"}, "Text", 14);  // step 14
        Add(d.columns, {"CreateTime"}, stamp);
        Add(d.columns, {"LocalModifyTime", "ServerModifyTime"}, "Text", 16);  // step 16
        Add(d.columns, {"IsRemoved"}, "bit Default 0 not null", 16);
        t.push_back(d);
    }
    {
        TableDef d{"NoteRelation", "create table NoteRelation(", 6, kAlways, {}, "primary key (NoteID, SubNoteID)", {}};
        Add(d.columns, {"NoteID", "SubNoteID"}, "Text not null", 6);
        Add(d.columns, {"CreateTime"}, stamp, 6);
        t.push_back(d);
    }
    {
        TableDef d{"NoteReply", "create table NoteReply (", 16, kAlways, {}, "", {}};
        Add(d.columns, {"ReplyID"}, "Text primary key", 16);
        Add(d.columns, {"TavID", "UserID"}, "Text not Null", 16);
        Add(d.columns, {"Title"}, "Text", 16);
        Add(d.columns, {"Content", "NoteID"}, "Text not Null", 16);
        Add(d.columns, {"CreateTime", "ModifyTime"}, "Text", 16);
        Add(d.columns, {"VersionInfo"}, "int Default 0", 16);
        t.push_back(d);
    }
    {
        TableDef d{"NoteSort", "create table NoteSort (", 1, kAlways, {}, "", {}};
        Add(d.columns, {"ID"}, "Integer primary key");
        Add(d.columns, {"Type"}, "Integer not null");
        Add(d.columns, {"SortID"}, "Integer");
        Add(d.columns, {"desc"}, "int Default 1");
        Add(d.columns, {"NodeText"}, "Text");
        t.push_back(d);
    }
    {
        TableDef d{"SortType", "create table SortType (", 1, kAlways, {}, "", {}};
        Add(d.columns, {"ID"}, "Integer primary key");
        Add(d.columns, {"Type"}, "Text UNIQUE");
        t.push_back(d);
    }
    {
        TableDef d{"LiteraStyles", "create table LiteraStyles (", 1, kAlways, {}, "", {}};
        Add(d.columns, {"DataType"}, "integer primary key");
        Add(d.columns, {"StyleName", "Format"}, "Text");
        t.push_back(d);
    }
    {
        // Made by step 12 (reading state moves out of LiteraInfo).
        TableDef d{"LiteraRelate", "CREATE TABLE LiteraRelate (", 12, kAlways, {}, "", {}};
        Add(d.columns, {"Pkid"}, "Integer primary key", 12);
        Add(d.columns, {"ReadingProgress", "Locked"}, "Integer null", 12);
        Add(d.columns, {"LastReadPos", "MarkPos", "Remark", "Adjunct", "LastReadTime"}, "VARCHAR null", 12);
        Add(d.columns, {"CreateTime"}, "bit Default 0 not null", 13);  // step 13
        Add(d.columns, {"FileType"}, "Integer", 13);
        Add(d.columns, {"LiterGuid"}, "Text null", 14);  // step 14
        Add(d.columns, {"VersionInfo"}, "Integer", 14);
        Add(d.columns, {"IsModify"}, "bit Default 0 not null", 14);
        Add(d.columns, {"IsRead"}, "bit Default 0 not null", 12);
        t.push_back(d);
    }
    {
        // Made by step 7.
        TableDef d{"Trash", "CREATE TABLE Trash (", 7, kAlways, {}, "", {}};
        Add(d.columns, {"ID"}, "Integer primary key", 7);
        Add(d.columns, {"Path"}, "text null", 7);
        Add(d.columns, {"pkid"}, "Integer null", 7);
        Add(d.columns, {"DOI"}, "text null", 7);
        Add(d.columns, {"IsDoc", "ParentID"}, "Integer", 7);
        Add(d.columns, {"DelTime"}, "text null", 7);
        Add(d.columns, {"FolderId"}, "Integer", 12);  // step 12
        Add(d.columns, {"TrashGuid", "LiterGuid"}, "Text null", 14);  // step 14
        Add(d.columns, {"CategoryGuid"}, "Text null", 16, kAlways, false);  // no step adds it
        Add(d.columns, {"TrashParentGuid"}, "Text null", 14);
        Add(d.columns, {"VersionInfo"}, "Integer", 14);
        Add(d.columns, {"IsModify"}, "bit Default 0 not null", 14);
        t.push_back(d);
    }
    {
        // Made by step 7.
        TableDef d{"DownInfo", "CREATE TABLE DownInfo (", 7, kAlways, {}, "", {}};
        Add(d.columns, {"ID"}, "Integer primary key", 7);
        Add(d.columns, {"pkid"}, "Integer", 7);
        Add(d.columns, {"Title", "Link", "Pub_Year"}, "text null", 7);
        Add(d.columns, {"DownStyle"}, "Integer", 7);
        Add(d.columns, {"ShowTxt", "Path", "DownTime", "ErrorUrl"}, "text null", 7);
        Add(d.columns, {"Status", "Expand"}, "Integer", 7);
        Add(d.columns, {"LiterGuid"}, "Text", 14);  // step 14
        t.push_back(d);
    }
    {
        TableDef d{"WebPage_Info", "CREATE TABLE WebPage_Info (", 1, kAlways, {}, "", {}};
        Add(d.columns, {"pkid"}, "integer primary key");
        Add(d.columns, {"Title", "Author", "Link"}, "text null");
        // Older layouts kept a DOI per page; the table-creation pass rebuilds the table without it.
        Add(d.columns, {"DOI"}, "text null", 1, 12, false);
        Add(d.columns, {"FilePath"}, "text null");
        Add(d.columns, {"IsDownload"}, "bit Default 0 not null");
        Add(d.columns, {"CreateTime", "LastReadTime"}, "text null");
        Add(d.columns, {"Recycle"}, "bit Default 0 not null");
        t.push_back(d);
    }
    {
        TableDef d{"WebPage_Category", "CREATE TABLE WebPage_Category (", 1, kAlways, {}, "", {}};
        Add(d.columns, {"CategoryId"}, "Integer primary key");
        Add(d.columns, {"Name"}, "Text not null");
        Add(d.columns, {"ParentID"}, "Integer Default 0");
        t.push_back(d);
    }
    {
        TableDef d{"WebPage_CategoryInfo", "CREATE TABLE WebPage_CategoryInfo (", 1, kAlways, {},
                   "primary key (CategoryId, pkid)", {}};
        Add(d.columns, {"CategoryId"}, "Integer not null");
        Add(d.columns, {"pkid"}, "Integer");
        t.push_back(d);
    }
    {
        TableDef d{"WebPage_Trash", "CREATE TABLE WebPage_Trash (", 1, kAlways, {}, "", {}};
        Add(d.columns, {"ID"}, "Integer primary key");
        Add(d.columns, {"Path"}, "text null");
        Add(d.columns, {"pkid"}, "Integer null");
        Add(d.columns, {"IsWebPage", "ParentID"}, "Integer");
        Add(d.columns, {"DelTime"}, "text null");
        t.push_back(d);
    }
    {
        // Push tables: step 9.
        TableDef d{"PushLiteraInfo", "create table PushLiteraInfo(", 9, kAlways, {}, "", {}};
        Add(d.columns, {"pkid"}, "integer primary key", 9);
        Add(d.columns, {"Title", "Author", "Media", "Pub_Year", "Period", "DOI", "DataType", "FileName", "SrcDataBase"},
            "text null", 9);
        Add(d.columns, {"DownTimes", "CitedTimes"}, "integer not null default 0", 9);
        Add(d.columns, {"OdataCode"}, "text null", 9);
        t.push_back(d);
    }
    {
        TableDef d{"PushItem", "create table PushItem(", 9, kAlways, {}, "", {}};
        Add(d.columns, {"pkid"}, "integer primary key", 9);
        Add(d.columns, {"LiteratureID", "PushType"}, "integer null", 9);
        Add(d.columns, {"UpDateTime"}, "text null", 9);
        t.push_back(d);
    }
    {
        TableDef d{"PushRelation", "create table PushRelation(", 9, kAlways, {},
                   "primary key (PushItemID, PushLiteratureID)", {}};
        Add(d.columns, {"PushItemID", "PushLiteratureID"}, "integer null", 9);
        Add(d.columns, {"Position"}, "integer not null", 9);
        t.push_back(d);
    }
    return t;
}

}  // namespace

const std::vector<TableDef>& History()
{
    static const std::vector<TableDef> history = MakeHistory();
    return history;
}

const TableDef* FindTable(const std::string& name)
{
    for (const TableDef& table : History())
        if (raw::SameName(table.name, name))
            return &table;
    return nullptr;
}

bool Exists(const TableDef& table, int version) { return table.since <= version && version <= table.until; }
bool Exists(const ColumnDef& column, int version) { return column.since <= version && version <= column.until; }

std::string CreateStatement(const TableDef& table, int version)
{
    std::string sql = table.head;
    bool first = true;
    for (const ColumnDef& column : table.columns) {
        if (!Exists(column, version))
            continue;
        if (!first)
            sql += ",";
        first = false;
        sql += column.name + " " + column.declaration;
    }
    if (!table.constraint.empty())
        sql += ", " + table.constraint;
    sql += ")";
    return sql;
}

}  // namespace testkit::layout

namespace testkit {

std::vector<std::string> LayoutTables(int32_t version)
{
    std::vector<std::string> names;
    for (const layout::TableDef& table : layout::History())
        if (layout::Exists(table, version))
            names.push_back(table.name);
    return names;
}

std::vector<std::string> LayoutColumns(int32_t version, const std::string& table)
{
    std::vector<std::string> names;
    const layout::TableDef* def = layout::FindTable(table);
    if (def == nullptr || !layout::Exists(*def, version))
        return names;
    for (const layout::ColumnDef& column : def->columns)
        if (layout::Exists(column, version))
            names.push_back(column.name);
    return names;
}

bool LayoutHasColumn(int32_t version, const std::string& table, const std::string& column)
{
    for (const std::string& name : LayoutColumns(version, table))
        if (raw::SameName(name, column))
            return true;
    return false;
}

std::vector<std::string> UpgradedColumns(const std::string& table)
{
    std::vector<std::string> names;
    const layout::TableDef* def = layout::FindTable(table);
    if (def == nullptr)
        return names;
    for (const layout::ColumnDef& column : def->columns)
        if (layout::Exists(column, kNewestVersion) && column.addedByUpgrade)
            names.push_back(column.name);
    return names;
}

}  // namespace testkit
