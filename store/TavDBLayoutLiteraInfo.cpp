// The literature table: its 120-column layout, the 110-column rebuild target, and the
// upgrade of an existing table from older layouts.
#include "store/TavDB.h"

#include "support/Log.h"

#include <array>
#include <span>
#include <string_view>

namespace {

struct Column {
    const char16_t* name;
    const char16_t* declaration;
};

constexpr const char16_t* kText = u"text null";
constexpr const char16_t* kFlag = u"bit Default 0 not null";

// The current layout, in column order.
constexpr std::array<Column, 120> kLiteraInfoColumns{{
    {u"pkid", u"integer primary key"},
    {u"DOI", u"text not null UNIQUE"},
    {u"Title", kText}, {u"Author", kText}, {u"Organ", kText}, {u"Keyword", kText}, {u"Summary", kText},
    {u"ETitle", kText}, {u"EAuthor", kText}, {u"ESummary", kText}, {u"EKeyword", kText}, {u"Quotation", kText},
    {u"Fund", kText}, {u"CDNum", kText}, {u"LiteratureNum", kText}, {u"Source", kText}, {u"SSource", kText},
    {u"ESource", kText}, {u"Pub_Year", kText}, {u"Period", kText}, {u"CN", kText}, {u"ISSN", kText},
    {u"FileName", kText}, {u"ClassNum", kText}, {u"SubjectNum", kText}, {u"SubColumnNum", kText},
    {u"SubjectName", kText}, {u"SpecialNum", kText}, {u"UpdateTime", kText}, {u"SubSpecialNum", kText},
    {u"FirstDuty", kText},
    {u"SCI", u"varchar(2) null"}, {u"EI", u"varchar(2) null"}, {u"Core", u"varchar(2) null"},
    {u"CETitle", kText}, {u"ComplexKeyword", kText}, {u"CESummary", kText}, {u"Topic", kText},
    {u"PubTime", kText}, {u"NavNum", kText}, {u"MarkKeyword", kText}, {u"SrcDatabase", kText},
    {u"PageCount", u"integer null"},
    {u"FileSize", kText}, {u"CEAuthor", kText}, {u"CEPeriodical", kText}, {u"AuthorResume", kText},
    {u"Property", kText}, {u"SYS_VSM", kText}, {u"ffd", kText}, {u"Lang", kText}, {u"Publisher", kText},
    {u"FilePath", kText},
    {u"DataType", u"integer Default 5 not null"},
    {u"IsSubscibe", kFlag},
    {u"RecentReadTime", u"varchar(50) null"},
    {u"ClassUser", kText},
    {u"Recycle", kFlag}, {u"IsDownload", kFlag},
    {u"FeedLink", u"varchar(255) null"},
    {u"Link", kText}, {u"Category", kText}, {u"BookshelfUserClass", kText}, {u"LiteratureUserClass", kText},
    {u"WebUserClass", kText},
    {u"ReadStatus", kFlag},
    {u"PubLocate", kText}, {u"Roll", kText}, {u"Edition", kText},
    {u"InsertTime", u"varchar(50) null"},
    {u"Page", kText},
    {u"LinkMD5", u"varchar(32) null"},
    {u"UserID", u"varchar(255) null"},
    {u"PDLOnlineClass", kText},
    {u"Classified", kFlag}, {u"IsRead", kFlag},
    {u"LastReadTime", kText},
    {u"ReferenceNum", u"integer null"},
    {u"IsGetAuthors", kFlag},
    {u"AuthorsList", kText},
    {u"IsHaveAdjunct", kFlag},
    {u"Degree", kText}, {u"Teacher", kText},
    {u"IsHaveContent", kFlag},
    {u"ImportantDegree", u"integer Default 0 not null"},
    {u"Tav", kText},
    {u"NoteSets", u"text"},
    {u"Content", kText}, {u"Adjunct", kText}, {u"md5", kText}, {u"Remark", kText},
    {u"DocExt", u"varchar(255) null"},
    // 93 to 110: the eighteen columns an older table gets in one block.
    {u"MediaEn", kText}, {u"EPubLocate", kText}, {u"EPublisher", kText}, {u"Media", kText}, {u"Country", kText},
    {u"Version", kText}, {u"Prints", kText}, {u"CountryEn", kText}, {u"VersionEn", kText},
    {u"MediaAddressEn", kText}, {u"DegreeType", kText}, {u"Department", kText}, {u"ApplicationNum", kText},
    {u"PublicationDate", kText}, {u"InternationalClassification", kText}, {u"DutyPersonEn", kText},
    {u"ModifiedDate", kText}, {u"City", kText},
    {u"LastReadPage", kText},
    {u"LCID", u"text Default '2052' not null"},
    {u"Locked", u"integer"},
    {u"LiterGuid", kText}, {u"InternationalDOI", kText},
    {u"VersionInfo", u"integer"},
    {u"IsModify", kFlag},
    {u"TableName", kText}, {u"KnowledgeID", kText}, {u"OdataCode", kText},
}};

// LiteraInfo_Temp holds pkid to City; the eighteen-column block is MediaEn to City.
constexpr size_t kTempColumnCount = 110;
constexpr size_t kBlockFirst = 92;
constexpr size_t kBlockCount = 18;
static_assert(kLiteraInfoColumns.back().name != nullptr, "every column of the layout is listed");
static_assert(std::u16string_view(kLiteraInfoColumns[kBlockFirst].name) == u"MediaEn" &&
              std::u16string_view(kLiteraInfoColumns[kBlockFirst + kBlockCount - 1].name) == u"City" &&
              kBlockFirst + kBlockCount == kTempColumnCount);

std::u16string CreateStatement(std::u16string_view head, std::span<const Column> columns)
{
    std::u16string statement(head);
    for (size_t i = 0; i < columns.size(); ++i) {
        if (i > 0)
            statement += u',';
        statement += columns[i].name;
        statement += u' ';
        statement += columns[i].declaration;
    }
    statement += u')';
    return statement;
}

} // namespace

int CTavDB::CreateLiteraInfo()
{
    return RunLayoutOperation(u"TavDB", u"CTavDB::CreateLiteraInfo", __LINE__, [&] {
        if (m_db.TableExists(u"LiteraInfo")) {
            UpgradeExistingLiteraInfo();
            return 1;
        }
        m_db.ExecuteStatement(CreateStatement(u"CREATE TABLE LiteraInfo (", kLiteraInfoColumns));
        m_db.ExecuteStatement(u"create index DOIIndex on LiteraInfo(DOI)");
        return 1;
    });
}

int CTavDB::CreateLiteraInfoTempTable()
{
    return RunLayoutOperation(u"TavDB", u"CTavDB::CreateLiteraInfoTempTable", __LINE__, [&] {
        if (!m_db.TableExists(u"LiteraInfo_Temp"))
            m_db.ExecuteStatement(CreateStatement(u"CREATE TABLE LiteraInfo_Temp (",
                                                  std::span(kLiteraInfoColumns).first(kTempColumnCount)));
        return 1;
    });
}

void CTavDB::UpgradeExistingLiteraInfo()
{
    if (!IsColumnExist(u"LiteraInfo", u"MediaEn")) {
        // Each column is probed on its own, so that a table that already has one of them
        // (Media, say) still gets the others instead of stopping at the first duplicate.
        for (const Column& column : std::span(kLiteraInfoColumns).subspan(kBlockFirst, kBlockCount))
            AddColumnWhenMissing(u"LiteraInfo", column.name,
                                 u"alter table LiteraInfo add column " + std::u16string(column.name) + u" text");
        // Fails (and ends the operation) when there is no Meeting column to take the value from.
        m_db.ExecuteStatement(u"update LiteraInfo set Media = Meeting where DataType = 4");
        try {
            m_db.ExecuteStatement(u"alter table LiteraInfo drop column Meeting");
        } catch (const CSqliteException& e) {
            // Engines before 3.35 have no DROP COLUMN. The value already lives in Media, so the
            // leftover column is harmless; the columns below must still come in this run, as
            // the readers select them.
            LogWarning(u"CTavDB::CreateLiteraInfo", __LINE__, u"Meeting kept: " + e.ErrorMessageText());
        }
    }
    AddColumnWhenMissing(u"LiteraInfo", u"LastReadPage", u"alter table LiteraInfo add column LastReadPage text");
    AddColumnWhenMissing(u"LiteraInfo", u"LCID", u"alter table LiteraInfo add column LCID text");
}
