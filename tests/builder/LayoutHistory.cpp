// Which tables and columns a learning unit had at each layout version, reconstructed from what
// each upgrade step adds: a column that step n adds did not exist before version n. Declarations
// are those of the version-16 layout.
#include "builder/UnitBuilder.h"

#include <strings.h>

namespace testkit {
namespace {

constexpr int kAlways = 99;

// A column exists at version v when since <= v <= until.
struct ColumnDef {
    std::string name;
    std::string declaration;
    int since = 1;
    int until = kAlways;
    bool addedByUpgrade = true;   // false: only a freshly made version-16 unit has it
};

struct TableDef {
    const char* name;
    const char* head;
    int since;
    int until;
    std::string columns;
    const char* constraint;
    std::vector<std::string> indexes;
};

// Columns are "name declaration" items separated by ';'. "a|b|c declaration" gives several
// columns one declaration. "@since[-until][!]" sets the versions of the columns after it; '!'
// marks columns that neither the table-creation pass nor a step adds to an older unit.
std::vector<ColumnDef> Parse(const std::string& text)
{
    std::vector<ColumnDef> columns;
    int since = 1;
    int until = kAlways;
    bool upgraded = true;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(';', at);
        end = end == std::string::npos ? text.size() : end;
        const std::string item = text.substr(at + (text[at] == ' ' ? 1 : 0), end - at - (text[at] == ' ' ? 1 : 0));
        at = end + 1;
        if (item[0] == '@') {
            since = std::stoi(item.substr(1));
            const size_t dash = item.find('-');
            until = dash == std::string::npos ? kAlways : std::stoi(item.substr(dash + 1));
            upgraded = item.back() != '!';
            continue;
        }
        const size_t space = item.find(' ');
        const std::string names = item.substr(0, space) + "|";
        for (size_t from = 0, bar; (bar = names.find('|', from)) != std::string::npos; from = bar + 1)
            columns.push_back(ColumnDef{names.substr(from, bar - from), item.substr(space + 1), since, until, upgraded});
    }
    return columns;
}

const std::string kStamp = "TIMESTAMP default (datetime('now', 'localtime'))";
const std::string kFlag = "bit Default 0 not null";

const std::string kLiteraInfoHead =
    "pkid integer primary key; DOI text not null UNIQUE; Title|Author|Organ|Keyword|Summary|ETitle|EAuthor|ESummary|"
    "EKeyword|Quotation|Fund|CDNum|LiteratureNum|Source|SSource|ESource|Pub_Year|Period|CN|ISSN|FileName|ClassNum|"
    "SubjectNum|SubColumnNum|SubjectName|SpecialNum|UpdateTime|SubSpecialNum|FirstDuty text null; SCI|EI|Core "
    "varchar(2) null; CETitle|ComplexKeyword|CESummary|Topic|PubTime|NavNum|MarkKeyword|SrcDatabase text null; "
    "PageCount integer null; FileSize|CEAuthor|CEPeriodical|AuthorResume|Property|SYS_VSM|ffd|Lang|Publisher|FilePath "
    "text null; DataType integer Default 5 not null; IsSubscibe " + kFlag + "; RecentReadTime varchar(50) null; "
    "ClassUser text null; Recycle|IsDownload " + kFlag + "; FeedLink varchar(255) null; Link|Category|"
    "BookshelfUserClass|LiteratureUserClass|WebUserClass text null; ReadStatus " + kFlag + "; PubLocate|Roll|Edition "
    "text null; InsertTime varchar(50) null; Page text null; LinkMD5 varchar(32) null; UserID varchar(255) null; "
    "PDLOnlineClass text null; Classified|IsRead " + kFlag + "; LastReadTime text null; ReferenceNum integer null; "
    "IsGetAuthors " + kFlag + "; AuthorsList text null; IsHaveAdjunct " + kFlag + "; Degree|Teacher text null; "
    "IsHaveContent " + kFlag + "; ImportantDegree integer Default 0 not null; Tav text null; NoteSets text; "
    "Content|Adjunct|md5|Remark text null; DocExt varchar(255) null; ";
// Before version 3 Meeting stood where the eighteen media columns came later (the table-creation
// pass copies it into Media for DataType 4 and drops it).
const std::string kMediaColumns = "@3; MediaEn|EPubLocate|EPublisher|Media|Country|Version|Prints|CountryEn|VersionEn|"
                                  "MediaAddressEn|DegreeType|Department|ApplicationNum|PublicationDate|"
                                  "InternationalClassification|DutyPersonEn|ModifiedDate|City text null";

const std::vector<TableDef>& History()
{
    static const std::vector<TableDef> tables = {
        {"VersionInfo", "create table VersionInfo (", 1, kAlways,
         "ID Integer primary key; VersionNum Integer; TavId Text; @12; UserKey|FileType VARCHAR", "", {}},
        {"Category", "create table Category (", 1, kAlways,
         "CategoryId Integer primary key; Name Text not null; ParentID Integer Default 0; @14; CategoryGuid|ParentGuid "
         "Text; VersionInfo Integer; IsModify " + kFlag + "; CategoryLiteraVersion Integer; IsRelateModify " + kFlag +
             "; @16; Path Text; RecycleID|RecycleParentId Integer; LocalModifyTime|ServerModifyTime Text; "
             "Recycled|IsRemoved " + kFlag,
         "", {}},
        {"CategoryLitera", "create table CategoryLitera (", 1, kAlways,
         "CategoryId Integer not null; pkid Integer; @14; CategoryGuid|LiterGuid Text; @16; LocalModifyTime|"
         "ServerModifyTime Text; IsRemoved|Recycled bit default 0 not null; RecycleID Integer; Path|DOI Text",
         "primary key (CategoryId, pkid)", {"create index IDIndex on CategoryLitera(CategoryId)"}},
        {"LiteraInfo", "CREATE TABLE LiteraInfo (", 1, kAlways,
         kLiteraInfoHead + "@1-2!; Meeting text null; " + kMediaColumns + "; @4; LastReadPage text null; @5; LCID text "
             "Default '2052' not null; @7; Locked integer; @14; LiterGuid|InternationalDOI text null; VersionInfo "
             "integer; IsModify " + kFlag + "; @16!; TableName text null; @16; KnowledgeID text null; @16!; OdataCode "
             "text null; @16; LocalModifyTime|ServerModifyTime Text; IsRemoved|Recycled " + kFlag,
         "", {"create index DOIIndex on LiteraInfo(DOI)"}},
        // Made by every run of the table-creation pass; an upgraded unit from version 3 on has it.
        {"LiteraInfo_Temp", "CREATE TABLE LiteraInfo_Temp (", 3, kAlways, kLiteraInfoHead + kMediaColumns.substr(4), "", {}},
        {"NoteType", "create table NoteType (", 1, kAlways,
         "ID Integer primary key; Type Text UNIQUE; @12; TypeRemarks Text", "", {}},
        {"NoteContent", "create table NoteContent (", 1, kAlways,
         "ID Integer primary key; TypeID Integer; CreateTime " + kStamp + "; ModifyTime datetime; Title|Content|DOI "
             "Text; PosID Text UNIQUE; Comments Text; Recycled int Default 0; @5; Adjunct BLOB; Path Text; @6; "
             "Source|Importance|Location|ContentText Text; @14; NoteGuid|LiterGuid Text; VersionInfo Integer; IsModify "
             "bit; NoteLabelVersion Integer; IsLabelModify bit; @15; IsPublic " + kFlag + "; IsCompiled bit; UnitID "
             "Text; @16; LocalModifyTime|ServerModifyTime Text; IsRemoved " + kFlag + "; KnowledgeID Text null",
         "", {"create index PosIDIndex on NoteContent(PosID)"}},
        // Made by step 5, dropped by step 6.
        {"NoteLabel", "create table NoteLabel (", 5, 5,
         "@5; LabelID Integer not null; NoteID Text not null; CreateTime " + kStamp, "primary key (LabelID, NoteID)",
         {"create index LabelIndex on NoteLabel(LabelID)"}},
        {"Label", "create table Label (", 1, kAlways,
         "LabelText|NoteID Text not null; @14; NoteGuid Text; @1; CreateTime " + kStamp + "; @16; LocalModifyTime|"
             "ServerModifyTime Text; IsRemoved " + kFlag,
         "primary key (LabelText, NoteID)", {}},
        {"NoteRelation", "create table NoteRelation(", 6, kAlways,
         "@6; NoteID|SubNoteID Text not null; CreateTime " + kStamp, "primary key (NoteID, SubNoteID)", {}},
        {"NoteReply", "create table NoteReply (", 16, kAlways,
         "@16; ReplyID Text primary key; TavID|UserID Text not Null; Title Text; Content|NoteID Text not Null; "
         "CreateTime|ModifyTime Text; VersionInfo int Default 0",
         "", {}},
        {"NoteSort", "create table NoteSort (", 1, kAlways,
         "ID Integer primary key; Type Integer not null; SortID Integer; desc int Default 1; NodeText Text", "", {}},
        {"SortType", "create table SortType (", 1, kAlways, "ID Integer primary key; Type Text UNIQUE", "", {}},
        {"LiteraStyles", "create table LiteraStyles (", 1, kAlways, "DataType integer primary key; StyleName|Format Text",
         "", {}},
        // Reading state moves out of LiteraInfo at step 12.
        {"LiteraRelate", "CREATE TABLE LiteraRelate (", 12, kAlways,
         "@12; Pkid Integer primary key; ReadingProgress|Locked Integer null; LastReadPos|MarkPos|Remark|Adjunct|"
         "LastReadTime VARCHAR null; @13; CreateTime " + kFlag + "; FileType Integer; @14; LiterGuid Text null; "
             "VersionInfo Integer; IsModify " + kFlag + "; @12; IsRead " + kFlag,
         "", {}},
        {"Trash", "CREATE TABLE Trash (", 7, kAlways,
         "@7; ID Integer primary key; Path text null; pkid Integer null; DOI text null; IsDoc|ParentID Integer; DelTime "
         "text null; @12; FolderId Integer; @14; TrashGuid|LiterGuid Text null; @16!; CategoryGuid Text null; @14; "
         "TrashParentGuid Text null; VersionInfo Integer; IsModify " + kFlag,
         "", {}},
        {"DownInfo", "CREATE TABLE DownInfo (", 7, kAlways,
         "@7; ID Integer primary key; pkid Integer; Title|Link|Pub_Year text null; DownStyle Integer; ShowTxt|Path|"
         "DownTime|ErrorUrl text null; Status|Expand Integer; @14; LiterGuid Text",
         "", {}},
        // Older layouts kept a DOI per page; the table-creation pass rebuilds the table without it.
        {"WebPage_Info", "CREATE TABLE WebPage_Info (", 1, kAlways,
         "pkid integer primary key; Title|Author|Link text null; @1-12!; DOI text null; @1; FilePath text null; "
         "IsDownload " + kFlag + "; CreateTime|LastReadTime text null; Recycle " + kFlag,
         "", {}},
        {"WebPage_Category", "CREATE TABLE WebPage_Category (", 1, kAlways,
         "CategoryId Integer primary key; Name Text not null; ParentID Integer Default 0", "", {}},
        {"WebPage_CategoryInfo", "CREATE TABLE WebPage_CategoryInfo (", 1, kAlways, "CategoryId Integer not null; pkid Integer",
         "primary key (CategoryId, pkid)", {}},
        {"WebPage_Trash", "CREATE TABLE WebPage_Trash (", 1, kAlways,
         "ID Integer primary key; Path text null; pkid Integer null; IsWebPage|ParentID Integer; DelTime text null", "", {}},
        {"PushLiteraInfo", "create table PushLiteraInfo(", 9, kAlways,
         "@9; pkid integer primary key; Title|Author|Media|Pub_Year|Period|DOI|DataType|FileName|SrcDataBase text null; "
         "DownTimes|CitedTimes integer not null default 0; OdataCode text null",
         "", {}},
        {"PushItem", "create table PushItem(", 9, kAlways,
         "@9; pkid integer primary key; LiteratureID|PushType integer null; UpDateTime text null", "", {}},
        {"PushRelation", "create table PushRelation(", 9, kAlways,
         "@9; PushItemID|PushLiteratureID integer null; Position integer not null",
         "primary key (PushItemID, PushLiteratureID)", {}},
    };
    return tables;
}

bool Exists(int since, int until, int version) { return since <= version && version <= until; }

const TableDef* FindTable(const std::string& name, int version)
{
    for (const TableDef& table : History())
        if (strcasecmp(table.name, name.c_str()) == 0)
            return Exists(table.since, table.until, version) ? &table : nullptr;
    return nullptr;
}

std::vector<ColumnDef> ColumnsAt(const std::string& table, int version, bool upgradedOnly)
{
    std::vector<ColumnDef> columns;
    if (const TableDef* def = FindTable(table, version))
        for (const ColumnDef& column : Parse(def->columns))
            if (Exists(column.since, column.until, version) && (column.addedByUpgrade || !upgradedOnly))
                columns.push_back(column);
    return columns;
}

std::vector<std::string> Names(const std::vector<ColumnDef>& columns)
{
    std::vector<std::string> names;
    for (const ColumnDef& column : columns)
        names.push_back(column.name);
    return names;
}

}  // namespace

std::vector<std::string> LayoutTables(int32_t version)
{
    std::vector<std::string> names;
    for (const TableDef& table : History())
        if (Exists(table.since, table.until, version))
            names.push_back(table.name);
    return names;
}

std::vector<std::string> LayoutColumns(int32_t version, const std::string& table)
{
    return Names(ColumnsAt(table, version, false));
}

std::vector<std::string> UpgradedColumns(const std::string& table)
{
    return Names(ColumnsAt(table, kNewestVersion, true));
}

std::vector<std::string> LayoutStatements(int32_t version)
{
    std::vector<std::string> statements;
    for (const TableDef& table : History()) {
        if (!Exists(table.since, table.until, version))
            continue;
        std::string sql = table.head;
        for (const ColumnDef& column : ColumnsAt(table.name, version, false))
            sql += (sql.back() == '(' ? "" : ",") + column.name + " " + column.declaration;
        statements.push_back(sql + (*table.constraint == '\0' ? "" : std::string(", ") + table.constraint) + ")");
        statements.insert(statements.end(), table.indexes.begin(), table.indexes.end());
    }
    return statements;
}

}  // namespace testkit
