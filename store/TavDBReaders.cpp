// Small readers and utilities of the store that the upgrade uses: the companion folder of a
// unit, the web-page reader and the root-literature move.
#include "store/TavDB.h"

#include "support/Guid.h"
#include "support/TextConvert.h"

namespace {

const char16_t kStudyFolderName[] = u"要学习的文献";

} // namespace

int CTavDB::GetContentsFolder(std::u16string& folder, const std::u16string& path)
{
    // Only a dot in the file name counts: a dot in a folder name ("/home/a.b/unit") is no
    // extension, and cutting there would put the companion folder outside the unit's folder.
    const size_t lastSeparator = path.find_last_of(u"/\\");
    const size_t nameStart = lastSeparator == std::u16string::npos ? 0 : lastSeparator + 1;
    const size_t dot = path.rfind(u'.');
    if (dot == std::u16string::npos || dot < nameStart)
        return 0;
    folder = path.substr(0, dot) + u"_contents";
    return 1;
}

int32_t CTavDB::GetFolderIdByName(const std::u16string& name)
{
    try {
        CSqliteCachedStatement query = m_db.Prepare(u"select CategoryId from Category where ParentID = 0 and Name = ?");
        if (!query->BindAll(name).Step())
            return -1;
        return query->GetInt(0);
    } catch (const CSqliteException& e) {
        LogSqliteError(u"TavDBSql", u"CTavDB::GetFolderIdByName", __LINE__, e);
        return -1;
    }
}

int CTavDB::FillWebLiteratureInfo()
{
    if (!m_webLiteratures.empty())
        return 1;
    try {
        if (m_db.ExecuteScalar(u"select count(*) from sqlite_master where type='table' and name='WebPage_Info'") <= 0)
            CreateWebPageInfoTable();
        CSqliteQuery query =
            m_db.ExecuteQuery(u"select pkid,Title,Author,Link,FilePath,CreateTime,LastReadTime from WebPage_Info");
        while (!query.IsEof()) {
            auto page = std::make_shared<SPersonalWebLiteratureInfo>();
            page->pkid = query.GetIntField(0);
            page->Title = query.GetStringValue(1);
            page->Author = query.GetStringValue(2);
            page->Link = query.GetStringValue(3);
            page->FilePath = query.GetStringValue(4);
            page->CreateTime = query.GetStringValue(5);
            page->LastReadTime = query.GetStringValue(6);
            page->TavId = m_tavId;
            m_webLiteratures[page->pkid] = std::move(page);
            query.NextRow();
        }
        return 1;
    } catch (const CSqliteException& e) {
        LogSqliteError(u"TavDBSql", u"CTavDB::FillWebLiteratureInfo", __LINE__, e);
        return 0;
    }
}

void CTavDB::ReplaceLiteraInTav()
{
    if (m_tavId == u"TempRead")
        return;
    try {
        {
            CSqliteQuery roots = m_db.ExecuteQuery(u"select pkid from CategoryLitera where CategoryId = '0'");
            if (roots.IsEof())
                return;
        }
        int32_t id = GetFolderIdByName(kStudyFolderName);
        if (id <= 0) {
            // The folder gets a GUID like every other folder after the upgrade, when the
            // layout has the column for it.
            if (IsColumnExist(u"Category", u"CategoryGuid"))
                m_db.Run(u"insert into Category(Name, ParentID, CategoryGuid) values(?, 0, ?)", kStudyFolderName, NewGuidText());
            else
                m_db.Run(u"insert into Category(Name, ParentID) values(?, 0)", kStudyFolderName);
            id = GetFolderIdByName(kStudyFolderName);
        }
        if (id <= 0)
            return;
        const std::u16string idText = ToWide(std::to_string(id));
        m_db.Run(u"delete from CategoryLitera where CategoryId = 0 and pkid in (select pkid from CategoryLitera where CategoryId = ?)",
                 idText);
        // A moved link names its new folder's GUID too, as every other link does after the upgrade.
        if (IsColumnExist(u"CategoryLitera", u"CategoryGuid") && IsColumnExist(u"Category", u"CategoryGuid"))
            m_db.Run(u"update CategoryLitera Set CategoryId = ?, CategoryGuid = (select CategoryGuid from Category where CategoryId = ?) "
                     u"where CategoryId = 0",
                     idText, id);
        else
            m_db.Run(u"update CategoryLitera Set CategoryId = ? where CategoryId = 0", idText);
    } catch (const CSqliteException& e) {
        LogSqliteError(u"TavDBSql", u"CTavDB::ReplaceLiteraInTav", __LINE__, e);
    }
}
