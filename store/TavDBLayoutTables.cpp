// Creation operations: each creates its table with indexes and default rows when missing;
// a few also bring an older copy of their table up to date.
#include "store/TavDB.h"

#include "support/Guid.h"

namespace {

constexpr const char16_t* kCreateCategory =
    u"create table Category (CategoryId Integer primary key,Name Text not null,ParentID Integer Default 0,"
    u"CategoryGuid Text,ParentGuid Text,VersionInfo Integer,IsModify bit Default 0 not null,"
    u"CategoryLiteraVersion Integer,IsRelateModify bit Default 0 not null,Path Text,RecycleID Integer,"
    u"RecycleParentId Integer,LocalModifyTime Text,ServerModifyTime Text,Recycled bit Default 0 not null,"
    u"IsRemoved bit Default 0 not null)";

constexpr const char16_t* kCreateCategoryLitera =
    u"create table CategoryLitera (CategoryId Integer not null,pkid Integer,CategoryGuid Text,LiterGuid Text,"
    u"LocalModifyTime Text,ServerModifyTime Text,IsRemoved bit default 0 not null,Recycled bit default 0 not null,"
    u"RecycleID Integer,Path Text,DOI Text,primary key (CategoryId, pkid))";

constexpr const char16_t* kCreateNoteContent =
    u"create table NoteContent (ID Integer primary key,TypeID Integer,"
    u"CreateTime TIMESTAMP default (datetime('now', 'localtime')),ModifyTime datetime,Title Text,Content Text,"
    u"DOI Text,PosID Text UNIQUE,Comments Text,Recycled int Default 0,Adjunct BLOB,Path Text,Source Text,"
    u"Importance Text,Location Text,ContentText Text,NoteGuid Text,LiterGuid Text,VersionInfo Integer,"
    u"IsModify bit,NoteLabelVersion Integer,IsLabelModify bit,IsPublic bit Default 0 not null,IsCompiled bit,"
    u"UnitID Text,LocalModifyTime Text,ServerModifyTime Text,IsRemoved bit Default 0 not null,KnowledgeID Text null)";

constexpr const char16_t* kCreateLiteraRelate =
    u"CREATE TABLE LiteraRelate (Pkid Integer primary key,ReadingProgress Integer null,Locked Integer null,"
    u"LastReadPos VARCHAR null,MarkPos VARCHAR null,Remark VARCHAR null,Adjunct VARCHAR null,"
    u"LastReadTime VARCHAR null,CreateTime bit Default 0 not null,FileType Integer,LiterGuid Text null,"
    u"VersionInfo Integer,IsModify bit Default 0 not null,IsRead bit Default 0 not null)";

constexpr const char16_t* kCreateTrash =
    u"CREATE TABLE Trash (ID Integer primary key,Path text null,pkid Integer null,DOI text null,IsDoc Integer,"
    u"ParentID Integer,DelTime text null,FolderId Integer,TrashGuid Text null,LiterGuid Text null,"
    u"CategoryGuid Text null,TrashParentGuid Text null,VersionInfo Integer,IsModify bit Default 0 not null)";

constexpr const char16_t* kCreateDownInfo =
    u"CREATE TABLE DownInfo (ID Integer primary key,pkid Integer,Title text null,Link text null,"
    u"Pub_Year text null,DownStyle Integer,ShowTxt text null,Path text null,DownTime text null,"
    u"ErrorUrl text null,Status Integer,Expand Integer,LiterGuid Text)";

// The web-page table without DOI, under either name (the rebuild writes it as WebPage_Info1).
constexpr const char16_t* kWebPageInfoColumns =
    u" (pkid integer primary key,Title text null ,Author text null ,Link text null ,FilePath text null ,"
    u"IsDownload bit Default 0 not null ,CreateTime text null,LastReadTime text null ,"
    u"Recycle bit Default 0 not null)";

} // namespace

int CTavDB::CreateCategoryTable()
{
    // The probe is not covered by the handler: its failure goes to the caller.
    if (m_db.TableExists(u"Category"))
        return 1;
    return RunLayoutOperation(u"TavDB", u"CTavDB::CreateCategoryTable", __LINE__, [&] {
        m_db.ExecuteStatement(kCreateCategory);
        const std::u16string guid = NewGuidText();
        const std::u16string time = GetLocalTimeText();
        m_db.Run(u"insert into Category (Name, ParentID,CategoryGuid,LocalModifyTime,Recycled,IsRemoved)"
                 u"values ('要学习的文献', 0, ?, ?, 0, 0)",
                 guid, time);
        return 1;
    });
}

int CTavDB::CreateCategoryLitera()
{
    // The probe is not covered by the handler: its failure goes to the caller.
    if (m_db.TableExists(u"CategoryLitera"))
        return 1;
    return RunLayoutOperation(u"TavDB", u"CTavDB::CreateCategoryLitera", __LINE__, [&] {
        ExecuteLayoutStatements({kCreateCategoryLitera, u"create index IDIndex on CategoryLitera(CategoryId)"});
        return 1;
    });
}

int CTavDB::CreateNoteType()
{
    return RunLayoutOperation(u"TavDB", u"CTavDB::CreateNoteType", __LINE__, [&] {
        if (!m_db.TableExists(u"NoteType")) {
            ExecuteLayoutStatements({
                u"create table NoteType (ID Integer primary key,Type Text UNIQUE, TypeRemarks Text)",
                u"insert into NoteType (Type, TypeRemarks) values ('知识点', 'KnowledgePoint')",
                u"insert into NoteType (Type, TypeRemarks) values ('注释', 'Note')",
                u"insert into NoteType (Type, TypeRemarks) values ('问题', 'Question')",
                u"insert into NoteType (Type, TypeRemarks) values ('读后感', 'Impression')",
            });
        } else if (AddColumnWhenMissing(u"NoteType", u"TypeRemarks", u"alter table NoteType add column TypeRemarks Text")) {
            ExecuteLayoutStatements({
                u"update NoteType set TypeRemarks = 'KnowledgePoint' where Type = '知识点'",
                u"update NoteType set TypeRemarks = 'Note' where Type = '注释'",
                u"update NoteType set TypeRemarks = 'Question' where Type = '问题'",
                u"update NoteType set TypeRemarks = 'Impression' where Type = '读后感'",
            });
        }
        return 1;
    });
}

int CTavDB::CreateNoteContent()
{
    return CreateTableWhenMissing(u"CTavDB::CreateNoteContent", __LINE__, u"NoteContent",
                                  {kCreateNoteContent, u"create index PosIDIndex on NoteContent(PosID)"});
}

int CTavDB::CreateLiteraStyles()
{
    return CreateTableWhenMissing(
        u"CTavDB::CreateLiteraStyles", __LINE__, u"LiteraStyles",
        {
            u"create table LiteraStyles (DataType integer primary key ,StyleName Text ,Format Text)",
            u"Insert into LiteraStyles (DataType, StyleName, Format) values (1, '专著', '(Author).(Title)[M].(PubLocate):(Publisher),(Year).')",
            u"Insert into LiteraStyles (DataType, StyleName, Format) values (2, '论文集', '(Author).(Title)[C].(PubLocate):(Publisher),(Year).')",
            u"Insert into LiteraStyles (DataType, StyleName, Format) values (3, '学位论文', '(Author).(Title)[D].(PubLocate):(Publisher),(Year).')",
            u"Insert into LiteraStyles (DataType, StyleName, Format) values (4, '报告', '(Author).(Title)[R].(PubLocate):(Publisher),(Year).')",
            u"Insert into LiteraStyles (DataType, StyleName, Format) values (5, '期刊文章', '(Author).(Title)[J].(Source),(Year),(Roll)((Period)).')",
            u"Insert into LiteraStyles (DataType, StyleName, Format) values (6, '报纸文章', '(Author).(Title)[N].(Source),(PubTime)((Edition)).')",
            u"Insert into LiteraStyles (DataType, StyleName, Format) values (7, '各种未定义类型的文献', '(Author).(Title)[Z].(PubLocate):(Publisher),(Year).')",
        });
}

int CTavDB::CreateNoteSort()
{
    // The label rows come last: without a Label table that statement fails and the operation
    // gives 0 with the eight fixed rows in place. They are copied inside the database, so a
    // label text never becomes part of a statement.
    return CreateTableWhenMissing(
        u"CTavDB::CreateNoteSort", __LINE__, u"NoteSort",
        {
            u"create table NoteSort (ID Integer primary key,Type Integer not null, SortID Integer, desc int Default 1, NodeText Text)",
            u"insert into NoteSort (Type, SortID, NodeText) values (1, 4, '今天');",
            u"insert into NoteSort (Type, SortID, NodeText) values (2, 4, '本周');",
            u"insert into NoteSort (Type, SortID, NodeText) values (3, 4, '本月');",
            u"insert into NoteSort (Type, SortID) values (4, 2)",
            u"insert into NoteSort (Type, SortID, NodeText) values (5, 4, '所有标签');",
            u"insert into NoteSort (Type, SortID, NodeText) values (7, 4, '加星标签');",
            u"insert into NoteSort (Type, SortID, NodeText) values (8, 4, '所有笔记');",
            u"insert into NoteSort (Type, SortID, NodeText) values (9, 4, '回收站');",
            u"Insert into NoteSort(Type, SortID, NodeText) select 6, 4 , LabelText from Label group by LabelText;",
        });
}

int CTavDB::CreateNoteLabelTable()
{
    return CreateTableWhenMissing(
        u"CTavDB::CreateNoteLabelTable", __LINE__, u"NoteLabel",
        {
            u"create table NoteLabel (LabelID Integer not null,NoteID Text not null,"
            u"CreateTime TIMESTAMP default(datetime('now', 'localtime')),primary key (LabelID, NoteID))",
            u"create index LabelIndex on NoteLabel(LabelID)",
        });
}

int CTavDB::CreateLabelTable()
{
    return CreateTableWhenMissing(
        u"CTavDB::CreateLabelTable", __LINE__, u"Label",
        {u"create table Label (LabelText Text not null,NoteID Text not null,NoteGuid Text,"
         u"CreateTime TIMESTAMP default(datetime('now', 'localtime')),LocalModifyTime Text,ServerModifyTime Text,"
         u"IsRemoved bit Default 0 not null,primary key (LabelText, NoteID))"});
}

int CTavDB::CreateNoteRelationTable()
{
    return CreateTableWhenMissing(
        u"CTavDB::CreateNoteRelationTable", __LINE__, u"NoteRelation",
        {u"create table NoteRelation(NoteID Text not null,SubNoteID Text not null,"
         u"CreateTime TIMESTAMP default(datetime('now', 'localtime')),primary key (NoteID, SubNoteID))"});
}

int CTavDB::CreateNoteReply()
{
    return CreateTableWhenMissing(
        u"CTavDB::CreateNoteReply", __LINE__, u"NoteReply",
        {u"create table NoteReply (ReplyID Text primary key,TavID Text not Null,UserID Text not Null,Title Text,"
         u"Content Text not Null,NoteID Text not Null,CreateTime Text,ModifyTime Text,VersionInfo int Default 0)"});
}

int CTavDB::CreateSortType()
{
    return CreateTableWhenMissing(u"CTavDB::CreateSortType", __LINE__, u"SortType",
                                  {
                                      u"create table SortType (ID Integer primary key, Type Text UNIQUE)",
                                      u"insert into SortType (ID, Type) values (0, '笔记标题');",
                                      u"insert into SortType (ID, Type) values (1, '笔记上次学习时间');",
                                      u"insert into SortType (ID, Type) values (2, '笔记创建时间');",
                                      u"insert into SortType (ID, Type) values (3, '按空间位置');",
                                      u"insert into SortType (ID, Type) values (4, '按文献标题');",
                                  });
}

int CTavDB::CreateLiteraRelate()
{
    return CreateTableWhenMissing(u"CTavDB::CreateLiteraRelate", __LINE__, u"LiteraRelate", {kCreateLiteraRelate});
}

int CTavDB::CreateTrashTable()
{
    return CreateTableWhenMissing(u"CTavDB::CreateTrashTable", __LINE__, u"Trash", {kCreateTrash});
}

int CTavDB::CreateDownInfoTable()
{
    return RunLayoutOperation(u"TavDB", u"CTavDB::CreateDownInfoTable", __LINE__, [&] {
        if (!m_db.TableExists(u"DownInfo")) {
            m_db.ExecuteStatement(kCreateDownInfo);
            return 1;
        }
        // A table from an older layout gets the three later columns, so that every unit
        // leaves with the same DownInfo.
        AddColumnWhenMissing(u"DownInfo", u"ErrorUrl", u"alter table DownInfo add column ErrorUrl text null;");
        AddColumnWhenMissing(u"DownInfo", u"Status", u"alter table DownInfo add column Status Integer;");
        AddColumnWhenMissing(u"DownInfo", u"Expand", u"alter table DownInfo add column Expand Integer;");
        return 1;
    });
}

int CTavDB::CreateWebPageInfoTable()
{
    return RunLayoutOperation(u"TavDB", u"CTavDB::CreateWebPageInfoTable", __LINE__, [&] {
        if (!m_db.TableExists(u"WebPage_Info")) {
            if (m_db.TableExists(u"WebPage_Info1")) {
                // An older tool stopped between dropping WebPage_Info and renaming its rebuilt
                // copy: the copy holds the pages, so finish the rename instead of starting empty.
                m_db.ExecuteStatement(u"alter table WebPage_Info1 rename to WebPage_Info");
            } else {
                m_db.ExecuteStatement(std::u16string(u"CREATE TABLE WebPage_Info") + kWebPageInfoColumns + u";");
            }
            return 1;
        }
        if (IsColumnExist(u"WebPage_Info", u"DOI"))
            RebuildWebPageInfoWithoutDoi();
        return 1;
    });
}

void CTavDB::RebuildWebPageInfoWithoutDoi()
{
    // A savepoint makes the four statements one unit (inside the driver's transaction or on
    // their own): a failure part-way leaves neither a copy behind nor a table missing.
    m_db.ExecuteStatement(u"savepoint WebPageInfoRebuild");
    try {
        ExecuteLayoutStatements({
            std::u16string(u"CREATE TABLE WebPage_Info1") + kWebPageInfoColumns,
            u"insert into WebPage_Info1(pkid,Title,Author,Link,FilePath,IsDownload,CreateTime,LastReadTime,Recycle)"
            u"select pkid,Title,Author,Link,FilePath,IsDownload,CreateTime,LastReadTime,Recycle from WebPage_Info",
            u"drop table WebPage_Info",
            u"alter table WebPage_Info1 rename to WebPage_Info",
        });
    } catch (const CSqliteException&) {
        try {
            m_db.ExecuteStatement(u"rollback to WebPageInfoRebuild");
            m_db.ExecuteStatement(u"release WebPageInfoRebuild");
        } catch (const CSqliteException&) {
            // The original error is the one worth reporting.
        }
        throw;
    }
    m_db.ExecuteStatement(u"release WebPageInfoRebuild");
}

int CTavDB::CreateWebPageCategoryTable()
{
    return CreateTableWhenMissing(
        u"CTavDB::CreateWebPageCategoryTable", __LINE__, u"WebPage_Category",
        {u"CREATE TABLE WebPage_Category (CategoryId Integer primary key,Name Text not null,ParentID Integer Default 0);"});
}

int CTavDB::CreateWebPageCategoryInfoTable()
{
    return CreateTableWhenMissing(
        u"CTavDB::CreateWebPageCategoryInfoTable", __LINE__, u"WebPage_CategoryInfo",
        {u"CREATE TABLE WebPage_CategoryInfo (CategoryId Integer not null,pkid Integer, primary key (CategoryId, pkid));"});
}

int CTavDB::CreateWebPageTrashTable()
{
    return CreateTableWhenMissing(
        u"CTavDB::CreateWebPageTrashTable", __LINE__, u"WebPage_Trash",
        {u"CREATE TABLE WebPage_Trash (ID Integer primary key,Path text null,pkid Integer null,IsWebPage Integer, "
         u"ParentID Integer,DelTime text null);"});
}

int CTavDB::CreatePushLiteraInfoTable()
{
    return CreateTableWhenMissing(
        u"CTavDB::CreatePushLiteraInfoTable", __LINE__, u"PushLiteraInfo",
        {u"create table PushLiteraInfo(pkid integer primary key,Title text null,Author text null,Media text null,"
         u"Pub_Year text null,Period text null,DOI text null,DataType text null,FileName text null,"
         u"SrcDataBase text null,DownTimes integer not null default 0,CitedTimes integer not null default 0,"
         u"OdataCode text null);"});
}

int CTavDB::CreatePushItemTable()
{
    return CreateTableWhenMissing(
        u"CTavDB::CreatePushItemTable", __LINE__, u"PushItem",
        {u"create table PushItem(pkid integer primary key,LiteratureID integer null,PushType integer null,"
         u"UpDateTime text null);"});
}

int CTavDB::CreatePushRelationTable()
{
    return CreateTableWhenMissing(
        u"CTavDB::CreatePushRelationTable", __LINE__, u"PushRelation",
        {u"create table PushRelation(PushItemID integer null,PushLiteratureID integer null,Position integer not null,"
         u"primary key (PushItemID, PushLiteratureID));"});
}
