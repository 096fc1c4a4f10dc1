// Which tables and columns a learning unit had at each layout version, reconstructed from what
// each upgrade step adds: a column that step n adds did not exist before version n. Declarations
// are those of the version-16 layout.
#include "builder/UnitBuilder.h"

#include <strings.h>

#include <sstream>

namespace testkit {
namespace {

constexpr int kAlways = 99;

// A table exists at the versions where one of its columns does.
struct ColumnDef {
    std::string name;
    std::string declaration;
    int since = 1;
    int until = kAlways;
    bool addedByUpgrade = true;  // false: only a freshly made version-16 unit has it
};

bool Exists(const ColumnDef& column, int version) { return column.since <= version && version <= column.until; }

struct TableDef {
    std::string head;  // "create table Name (" as the layout spells it
    std::string name;
    std::vector<ColumnDef> columns;
    std::string constraint;
    std::vector<std::string> indexes;
};

// One version-16 "create table" each, continued on lines indented by four (after a '|' without a
// space). Items are separated by ';': "a|b|c declaration" gives several columns one declaration;
// "@since[-until][!]" sets the versions of the columns after it ('!': neither the table-creation
// pass nor a step adds them to an older unit); "*" copies the columns the table before had at the
// current since-version. Before version 3 LiteraInfo.Meeting stood where the media columns came
// later (the table-creation pass copies it into Media for DataType 4).
const char* const kHistory = R"(
create table VersionInfo (ID Integer primary key; VersionNum Integer; TavId Text; @12; UserKey|FileType VARCHAR)
create table Category (CategoryId Integer primary key; Name Text not null; ParentID Integer Default 0; @14;
    CategoryGuid|ParentGuid Text; VersionInfo Integer; IsModify bit Default 0 not null; CategoryLiteraVersion Integer;
    IsRelateModify bit Default 0 not null; @16; Path Text; RecycleID|RecycleParentId Integer; LocalModifyTime|
    ServerModifyTime Text; Recycled|IsRemoved bit Default 0 not null)
create table CategoryLitera (CategoryId Integer not null; pkid Integer; @14; CategoryGuid|LiterGuid Text; @16;
    LocalModifyTime|ServerModifyTime Text; IsRemoved|Recycled bit default 0 not null; RecycleID Integer; Path|DOI Text;
    primary key (CategoryId, pkid); create index IDIndex on CategoryLitera(CategoryId))
CREATE TABLE LiteraInfo (pkid integer primary key; DOI text not null UNIQUE; Title|Author|Organ|Keyword|Summary|ETitle|
    EAuthor|ESummary|EKeyword|Quotation|Fund|CDNum|LiteratureNum|Source|SSource|ESource|Pub_Year|Period|CN|ISSN|
    FileName|ClassNum|SubjectNum|SubColumnNum|SubjectName|SpecialNum|UpdateTime|SubSpecialNum|FirstDuty text null; SCI|
    EI|Core varchar(2) null; CETitle|ComplexKeyword|CESummary|Topic|PubTime|NavNum|MarkKeyword|SrcDatabase text null;
    PageCount integer null; FileSize|CEAuthor|CEPeriodical|AuthorResume|Property|SYS_VSM|ffd|Lang|Publisher|FilePath
    text null; DataType integer Default 5 not null; IsSubscibe bit Default 0 not null; RecentReadTime varchar(50) null;
    ClassUser text null; Recycle|IsDownload bit Default 0 not null; FeedLink varchar(255) null; Link|Category|
    BookshelfUserClass|LiteratureUserClass|WebUserClass text null; ReadStatus bit Default 0 not null; PubLocate|Roll|
    Edition text null; InsertTime varchar(50) null; Page text null; LinkMD5 varchar(32) null; UserID varchar(255) null;
    PDLOnlineClass text null; Classified|IsRead bit Default 0 not null; LastReadTime text null; ReferenceNum integer
    null; IsGetAuthors bit Default 0 not null; AuthorsList text null; IsHaveAdjunct bit Default 0 not null; Degree|
    Teacher text null; IsHaveContent bit Default 0 not null; ImportantDegree integer Default 0 not null; Tav text null;
    NoteSets text; Content|Adjunct|md5|Remark text null; DocExt varchar(255) null; @1-2!; Meeting text null; @3;
    MediaEn|EPubLocate|EPublisher|Media|Country|Version|Prints|CountryEn|VersionEn|MediaAddressEn|DegreeType|Department|
    ApplicationNum|PublicationDate|InternationalClassification|DutyPersonEn|ModifiedDate|City text null; @4;
    LastReadPage text null; @5; LCID text Default '2052' not null; @7; Locked integer; @14; LiterGuid|InternationalDOI
    text null; VersionInfo integer; IsModify bit Default 0 not null; @16!; TableName text null; @16; KnowledgeID text
    null; @16!; OdataCode text null; @16; LocalModifyTime|ServerModifyTime Text; IsRemoved|Recycled bit Default 0 not
    null; create index DOIIndex on LiteraInfo(DOI))
CREATE TABLE LiteraInfo_Temp (@3; *)
create table NoteType (ID Integer primary key; Type Text UNIQUE; @12; TypeRemarks Text)
create table NoteContent (ID Integer primary key; TypeID Integer; CreateTime TIMESTAMP default (datetime('now',
    'localtime')); ModifyTime datetime; Title|Content|DOI Text; PosID Text UNIQUE; Comments Text; Recycled int Default
    0; @5; Adjunct BLOB; Path Text; @6; Source|Importance|Location|ContentText Text; @14; NoteGuid|LiterGuid Text;
    VersionInfo Integer; IsModify bit; NoteLabelVersion Integer; IsLabelModify bit; @15; IsPublic bit Default 0 not
    null; IsCompiled bit; UnitID Text; @16; LocalModifyTime|ServerModifyTime Text; IsRemoved bit Default 0 not null;
    KnowledgeID Text null; create index PosIDIndex on NoteContent(PosID))
create table NoteLabel (@5-5; LabelID Integer not null; NoteID Text not null; CreateTime TIMESTAMP default
    (datetime('now', 'localtime')); primary key (LabelID, NoteID); create index LabelIndex on NoteLabel(LabelID))
create table Label (LabelText|NoteID Text not null; @14; NoteGuid Text; @1; CreateTime TIMESTAMP default
    (datetime('now', 'localtime')); @16; LocalModifyTime|ServerModifyTime Text; IsRemoved bit Default 0 not null;
    primary key (LabelText, NoteID))
create table NoteRelation(@6; NoteID|SubNoteID Text not null; CreateTime TIMESTAMP default (datetime('now',
    'localtime')); primary key (NoteID, SubNoteID))
create table NoteReply (@16; ReplyID Text primary key; TavID|UserID Text not Null; Title Text; Content|NoteID Text not
    Null; CreateTime|ModifyTime Text; VersionInfo int Default 0)
create table NoteSort (ID Integer primary key; Type Integer not null; SortID Integer; desc int Default 1; NodeText Text)
create table SortType (ID Integer primary key; Type Text UNIQUE)
create table LiteraStyles (DataType integer primary key; StyleName|Format Text)
CREATE TABLE LiteraRelate (@12; Pkid Integer primary key; ReadingProgress|Locked Integer null; LastReadPos|MarkPos|
    Remark|Adjunct|LastReadTime VARCHAR null; @13; CreateTime bit Default 0 not null; FileType Integer; @14; LiterGuid
    Text null; VersionInfo Integer; IsModify bit Default 0 not null; @12; IsRead bit Default 0 not null)
CREATE TABLE Trash (@7; ID Integer primary key; Path text null; pkid Integer null; DOI text null; IsDoc|ParentID
    Integer; DelTime text null; @12; FolderId Integer; @14; TrashGuid|LiterGuid Text null; @16!; CategoryGuid Text null;
    @14; TrashParentGuid Text null; VersionInfo Integer; IsModify bit Default 0 not null)
CREATE TABLE DownInfo (@7; ID Integer primary key; pkid Integer; Title|Link|Pub_Year text null; DownStyle Integer;
    ShowTxt|Path|DownTime|ErrorUrl text null; Status|Expand Integer; @14; LiterGuid Text)
CREATE TABLE WebPage_Info (pkid integer primary key; Title|Author|Link text null; @1-12!; DOI text null; @1; FilePath
    text null; IsDownload bit Default 0 not null; CreateTime|LastReadTime text null; Recycle bit Default 0 not null)
CREATE TABLE WebPage_Category (CategoryId Integer primary key; Name Text not null; ParentID Integer Default 0)
CREATE TABLE WebPage_CategoryInfo (CategoryId Integer not null; pkid Integer; primary key (CategoryId, pkid))
CREATE TABLE WebPage_Trash (ID Integer primary key; Path text null; pkid Integer null; IsWebPage|ParentID Integer;
    DelTime text null)
create table PushLiteraInfo(@9; pkid integer primary key; Title|Author|Media|Pub_Year|Period|DOI|DataType|FileName|
    SrcDataBase text null; DownTimes|CitedTimes integer not null default 0; OdataCode text null)
create table PushItem(@9; pkid integer primary key; LiteratureID|PushType integer null; UpDateTime text null)
create table PushRelation(@9; PushItemID|PushLiteratureID integer null; Position integer not null; primary key
    (PushItemID, PushLiteratureID))
)";

const std::vector<TableDef>& History()
{
    static const std::vector<TableDef> history = [] {
        std::string text = kHistory;
        for (size_t at; (at = text.find("\n    ")) != std::string::npos;)
            text.replace(at, 5, text[at - 1] == '|' ? "" : " ");
        std::vector<TableDef> tables;
        std::istringstream lines(text.substr(1));
        for (std::string line; std::getline(lines, line);) {
            TableDef& table = tables.emplace_back();
            const size_t open = line.find('(');
            table.head = line.substr(0, open + 1);
            table.name = table.head.substr(13, table.head.find_first_of(" (", 13) - 13);
            ColumnDef next;
            std::istringstream items(line.substr(open + 1, line.size() - open - 2));
            for (std::string item; std::getline(items >> std::ws, item, ';');) {
                if (item[0] == '@') {
                    next.since = std::stoi(item.substr(1));
                    const size_t dash = item.find('-');
                    next.until = dash == std::string::npos ? kAlways : std::stoi(item.substr(dash + 1));
                    next.addedByUpgrade = item.back() != '!';
                } else if (item.starts_with("primary key")) {
                    table.constraint = item;
                } else if (item.starts_with("create index")) {
                    table.indexes.push_back(item);
                } else if (item == "*") {
                    for (const ColumnDef& column : tables[tables.size() - 2].columns)
                        if (Exists(column, next.since))
                            table.columns.push_back({column.name, column.declaration, next.since, next.until});
                } else {
                    next.declaration = item.substr(item.find(' ') + 1);
                    std::istringstream names(item.substr(0, item.find(' ')));
                    while (std::getline(names, next.name, '|'))
                        table.columns.push_back(next);
                }
            }
        }
        return tables;
    }();
    return history;
}

// The columns of a table (named in any case) at a version; upgradedOnly leaves out those marked '!'.
std::vector<std::string> Names(const std::string& table, int version, bool upgradedOnly = false)
{
    std::vector<std::string> names;
    for (const TableDef& def : History())
        for (const ColumnDef& column : def.columns)
            if (strcasecmp(def.name.c_str(), table.c_str()) == 0 && Exists(column, version) &&
                (column.addedByUpgrade || !upgradedOnly))
                names.push_back(column.name);
    return names;
}

}  // namespace

std::vector<std::string> LayoutTables(int32_t version)
{
    std::vector<std::string> names;
    for (const TableDef& table : History())
        if (!Names(table.name, version).empty())
            names.push_back(table.name);
    return names;
}

std::vector<std::string> LayoutColumns(int32_t version, const std::string& table) { return Names(table, version); }

std::vector<std::string> UpgradedColumns(const std::string& table) { return Names(table, kNewestVersion, true); }

std::vector<std::string> LayoutStatements(int32_t version)
{
    std::vector<std::string> statements;
    for (const TableDef& table : History()) {
        std::string sql = table.head;
        for (const ColumnDef& column : table.columns)
            if (Exists(column, version))
                sql += (sql.back() == '(' ? "" : ",") + column.name + " " + column.declaration;
        if (sql.back() == '(')
            continue;
        statements.push_back(sql + (table.constraint.empty() ? "" : ", " + table.constraint) + ")");
        statements.insert(statements.end(), table.indexes.begin(), table.indexes.end());
    }
    return statements;
}

}  // namespace testkit
