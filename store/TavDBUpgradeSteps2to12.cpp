// Upgrade steps to layout versions 2 to 12. Each step runs its statements one by one and
// writes its own version number last, so VersionNum always names the last step that finished.
#include "store/TavDB.h"

#include "support/TextConvert.h"

#include <initializer_list>
#include <string>
#include <string_view>

namespace {

// The columns of LiteraInfo_Temp in their order, grouped by declaration: the 110-column
// layout that step 3 rebuilds LiteraInfo into.
struct ColumnGroup {
    std::u16string_view names; // comma-separated
    std::u16string_view declaration;
};

constexpr ColumnGroup kLiteraInfoTempColumns[] = {
    {u"pkid", u"integer primary key"},
    {u"DOI", u"text not null UNIQUE"},
    {u"Title,Author,Organ,Keyword,Summary,ETitle,EAuthor,ESummary,EKeyword,Quotation,Fund,CDNum,"
     u"LiteratureNum,Source,SSource,ESource,Pub_Year,Period,CN,ISSN,FileName,ClassNum,SubjectNum,"
     u"SubColumnNum,SubjectName,SpecialNum,UpdateTime,SubSpecialNum,FirstDuty",
     u"text null"},
    {u"SCI,EI,Core", u"varchar(2) null"},
    {u"CETitle,ComplexKeyword,CESummary,Topic,PubTime,NavNum,MarkKeyword,SrcDatabase", u"text null"},
    {u"PageCount", u"integer null"},
    {u"FileSize,CEAuthor,CEPeriodical,AuthorResume,Property,SYS_VSM,ffd,Lang,Publisher,FilePath", u"text null"},
    {u"DataType", u"integer Default 5 not null"},
    {u"IsSubscibe", u"bit Default 0 not null"},
    {u"RecentReadTime", u"varchar(50) null"},
    {u"ClassUser", u"text null"},
    {u"Recycle,IsDownload", u"bit Default 0 not null"},
    {u"FeedLink", u"varchar(255) null"},
    {u"Link,Category,BookshelfUserClass,LiteratureUserClass,WebUserClass", u"text null"},
    {u"ReadStatus", u"bit Default 0 not null"},
    {u"PubLocate,Roll,Edition", u"text null"},
    {u"InsertTime", u"varchar(50) null"},
    {u"Page", u"text null"},
    {u"LinkMD5", u"varchar(32) null"},
    {u"UserID", u"varchar(255) null"},
    {u"PDLOnlineClass", u"text null"},
    {u"Classified,IsRead", u"bit Default 0 not null"},
    {u"LastReadTime", u"text null"},
    {u"ReferenceNum", u"integer null"},
    {u"IsGetAuthors", u"bit Default 0 not null"},
    {u"AuthorsList", u"text null"},
    {u"IsHaveAdjunct", u"bit Default 0 not null"},
    {u"Degree,Teacher", u"text null"},
    {u"IsHaveContent", u"bit Default 0 not null"},
    {u"ImportantDegree", u"integer Default 0 not null"},
    {u"Tav", u"text null"},
    {u"NoteSets", u"text"},
    {u"Content,Adjunct,md5,Remark", u"text null"},
    {u"DocExt", u"varchar(255) null"},
    {u"MediaEn,EPubLocate,EPublisher,Media,Country,Version,Prints,CountryEn,VersionEn,MediaAddressEn,"
     u"DegreeType,Department,ApplicationNum,PublicationDate,InternationalClassification,DutyPersonEn,"
     u"ModifiedDate,City",
     u"text null"},
};

// Calls `visit(name, declaration)` for every column of LiteraInfo_Temp, in order.
template <typename Visit>
void ForEachTempColumn(Visit visit)
{
    for (const ColumnGroup& group : kLiteraInfoTempColumns) {
        std::u16string_view rest = group.names;
        while (!rest.empty()) {
            const size_t comma = rest.find(u',');
            visit(rest.substr(0, comma), group.declaration);
            rest = comma == std::u16string_view::npos ? std::u16string_view() : rest.substr(comma + 1);
        }
    }
}

std::u16string LiteraInfoTempCreateStatement()
{
    std::u16string sql = u"CREATE TABLE LiteraInfo_Temp (";
    bool first = true;
    ForEachTempColumn([&](std::u16string_view name, std::u16string_view declaration) {
        if (!first)
            sql += u",";
        first = false;
        sql.append(name).append(u" ").append(declaration);
    });
    return sql + u")";
}

std::u16string LiteraInfoCopyStatement()
{
    std::u16string columns;
    ForEachTempColumn([&](std::u16string_view name, std::u16string_view) {
        if (!columns.empty())
            columns += u",";
        columns.append(name);
    });
    return u"insert into LiteraInfo_Temp select " + columns + u" from LiteraInfo";
}

// Runs each statement on its own, in order.
void RunStatements(CSqliteDB& db, std::initializer_list<std::u16string_view> statements)
{
    for (std::u16string_view sql : statements)
        db.ExecuteStatement(std::u16string(sql));
}

} // namespace

void CTavDB::WriteVersionNum(int32_t version)
{
    m_db.Run(u"update VersionInfo set VersionNum = ? where ID = 1", version);
}

int CTavDB::RunGuardedStep(const char16_t* function, int line, const std::function<void()>& body)
{
    try {
        body();
        return 1;
    } catch (const CSqliteException& e) {
        LogSqliteError(u"TavDB", function, line, e);
        return 0;
    }
}

// Step 2 has no handler of its own: its error ends the whole upgrade and reaches the driver's caller.
int CTavDB::UpdateVersionTo2()
{
    m_db.ExecuteStatement(u"update LiteraInfo set Media = Source");
    WriteVersionNum(2);
    return 1;
}

int CTavDB::UpdateVersionTo3()
{
    return RunGuardedStep(u"CTavDB::UpdateVersionTo3", __LINE__, [this] {
        m_db.ExecuteStatement(LiteraInfoTempCreateStatement());
        m_db.ExecuteStatement(LiteraInfoCopyStatement());
        RunStatements(m_db, {u"drop table LiteraInfo", u"alter table LiteraInfo_Temp rename to LiteraInfo",
                             u"create index DOIIndex on LiteraInfo(DOI)"});
        WriteVersionNum(3);
    });
}

int CTavDB::UpdateVersionTo4()
{
    return RunGuardedStep(u"CTavDB::UpdateVersionTo4", __LINE__, [this] {
        if (!IsColumnExist(u"LiteraInfo", u"LastReadPage"))
            m_db.ExecuteStatement(u"alter table LiteraInfo add column LastReadPage text");
        WriteVersionNum(4);
    });
}

int CTavDB::UpdateVersionTo5()
{
    return RunGuardedStep(u"CTavDB::UpdateVersionTo5", __LINE__, [this] {
        if (!IsColumnExist(u"LiteraInfo", u"LCID"))
            m_db.ExecuteStatement(u"alter table LiteraInfo add column LCID text");
        CreateNoteLabelTable();
        m_db.ExecuteStatement(u"Insert into NoteLabel (LabelID, NoteID) select TypeID, PosID from NoteContent");
        if (!IsColumnExist(u"NoteContent", u"Adjunct")) {
            m_db.ExecuteStatement(u"alter table NoteContent add column Adjunct BLOB");
            // Path comes with Adjunct in every older layout; it is not probed on its own.
            m_db.ExecuteStatement(u"alter table NoteContent add column Path text");
        }
        WriteVersionNum(5);
    });
}

int CTavDB::UpdateVersionTo6()
{
    return RunGuardedStep(u"CTavDB::UpdateVersionTo6", __LINE__, [this] {
        const std::u16string_view addedColumns[] = {u"Source", u"Importance", u"Location"};
        for (std::u16string_view column : addedColumns) {
            if (!IsColumnExist(u"NoteContent", std::u16string(column)))
                m_db.ExecuteStatement(u"alter table NoteContent add column " + std::u16string(column) + u" text");
        }
        m_db.ExecuteStatement(u"update NoteContent set Location = ID + 1");
        if (!IsColumnExist(u"NoteContent", u"ContentText"))
            m_db.ExecuteStatement(u"alter table NoteContent add column ContentText text");
        DropTable(u"NoteLabel");
        DropTable(u"Label");
        CreateLabelTable();
        CreateNoteRelationTable();
        // Each note gets its note type's name as its label.
        m_db.ExecuteStatement(u"Insert into Label(LabelText, NoteID) Select Type, PosID from NoteType, NoteContent "
                              u"Where NoteType.ID = NoteContent.TypeID");
        DropTable(u"NoteSort");
        CreateNoteSort();
        CreateSortType();
        RunStatements(m_db, {u"delete from SortType", u"insert into SortType (ID, Type) values (1, '笔记标题');",
                             u"insert into SortType (ID, Type) values (2, '笔记上次学习时间');",
                             u"insert into SortType (ID, Type) values (3, '笔记创建时间');",
                             u"insert into SortType (ID, Type) values (4, '按空间位置');"});
        WriteVersionNum(6);
    });
}

int CTavDB::UpdateVersionTo7()
{
    return RunGuardedStep(u"CTavDB::UpdateVersionTo7", __LINE__, [this] {
        m_db.ExecuteStatement(u"CREATE TABLE Trash (ID Integer primary key,Path text null,pkid Integer null,"
                              u"DOI text null,IsDoc Integer,ParentID Integer,DelTime text null)");
        CreateDownInfoTable();
        m_db.ExecuteStatement(u"alter table LiteraInfo add column Locked integer Default 0");
        RunStatements(m_db, {u"delete from SortType", u"insert into SortType (ID, Type) values (0, '笔记标题');",
                             u"insert into SortType (ID, Type) values (1, '笔记上次学习时间');",
                             u"insert into SortType (ID, Type) values (2, '笔记创建时间');",
                             u"insert into SortType (ID, Type) values (3, '按空间位置');",
                             u"insert into SortType (ID, Type) values (4, '按文献标题');"});
        WriteVersionNum(7);
    });
}

int CTavDB::UpdateVersionTo8()
{
    return RunGuardedStep(u"CTavDB::UpdateVersionTo8", __LINE__, [this] { WriteVersionNum(8); });
}

int CTavDB::UpdateVersionTo9()
{
    return RunGuardedStep(u"CTavDB::UpdateVersionTo9", __LINE__, [this] {
        CreatePushLiteraInfoTable();
        CreatePushRelationTable();
        CreatePushItemTable();
        WriteVersionNum(9);
    });
}

int CTavDB::UpdateVersionTo10()
{
    return RunGuardedStep(u"CTavDB::UpdateVersionTo10", __LINE__, [this] { WriteVersionNum(10); });
}

int CTavDB::UpdateVersionTo11()
{
    return RunGuardedStep(u"CTavDB::UpdateVersionTo11", __LINE__, [this] { WriteVersionNum(11); });
}

int CTavDB::UpdateVersionTo12()
{
    return RunGuardedStep(u"CTavDB::UpdateVersionTo12", __LINE__, [this] {
        if (!IsColumnExist(u"Trash", u"FolderId"))
            m_db.ExecuteStatement(u"alter table Trash add column FolderId Integer");
        if (m_db.ExecuteScalar(u"select count(*) from sqlite_master where type='table' and name='LiteraRelate'") <= 0) {
            Report(m_currentStep, m_totalSteps, u"创建题录附件信息表");
            m_db.ExecuteStatement(u"CREATE TABLE LiteraRelate (pkid Integer primary key,ReadingProgress Integer null,"
                                  u"Locked Integer null,LastReadPos VARCHAR null,MarkPos VARCHAR null,"
                                  u"Remark VARCHAR null,Adjunct VARCHAR null,LastReadTime VARCHAR null,"
                                  u"IsRead bit Default 0 not null)");
        }
        Report(m_currentStep, m_totalSteps, u"更新题录附件信息表");
        m_db.ExecuteStatement(u"insert into LiteraRelate(pkid,locked,lastreadpos,MarkPos,Remark,Adjunct,LastReadTime,"
                              u"IsRead)select  pkid,locked,lastreadpage,NoteSets,Remark,Adjunct,LastReadTime,IsRead "
                              u"from  LiteraInfo");
        const std::u16string_view versionColumns[] = {u"UserKey", u"FileType"};
        for (std::u16string_view column : versionColumns) {
            if (!IsColumnExist(u"VersionInfo", std::u16string(column))) {
                Report(m_currentStep, m_totalSteps, u"更新学习单元版本信息表");
                m_db.ExecuteStatement(u"alter table VersionInfo add column " + std::u16string(column) + u" VARCHAR");
            }
        }
        WriteVersionNum(12);
    });
}
