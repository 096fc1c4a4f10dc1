// Readers of the learning unit that the import uses: folders, literature (with the file path
// repair and the reading-state row every literature needs), reading state, notes and labels,
// with the caches that keep each table read at most once per store object.
#include "store/TavDB.h"
#include "store/StepTransaction.h"

#include "support/FilePathParts.h"
#include "support/LastError.h"
#include "support/Log.h"
#include "support/TextConvert.h"

#include <filesystem>
#include <unordered_set>

namespace {

bool IsRegularFile(const std::u16string& path)
{
    std::error_code error;
    return !path.empty() && std::filesystem::is_regular_file(std::filesystem::path(WideToUtf8(path)), error);
}

// Column 1 of each row of `sql`, grouped by column 0: one pass for what a query per key read.
// Database errors pass to the caller.
CTavDB::IdSetCache ReadIdsByKey(CSqliteDB& db, const std::u16string& sql)
{
    CTavDB::IdSetCache byKey;
    CSqliteQuery query = db.ExecuteQuery(sql);
    for (; !query.IsEof(); query.NextRow()) {
        auto& ids = byKey[query.GetIntField(0)];
        if (!ids)
            ids = std::make_shared<CTavDB::IdSet>();
        ids->insert(query.GetIntField(1));
    }
    return byKey;
}

// Subfolders by parent. Only whole numbers match a folder, as the comparisons with a folder's id did.
const char16_t kChildFoldersSql[] =
    u"select ParentID, CategoryId from Category where Recycled = 0 and typeof(ParentID)='integer'";

// The 53 columns after pkid, in the order of the statement; each goes to the field of its name.
struct LiteratureColumn {
    const char16_t* name;
    std::u16string SPersonalLiteratureInfo::* text; // null for the two integer columns
    int32_t SPersonalLiteratureInfo::* number;
};

using L = SPersonalLiteratureInfo;
const LiteratureColumn kLiteratureColumns[] = {
    {u"Title", &L::Title, nullptr}, {u"Author", &L::Author, nullptr}, {u"Source", &L::Source, nullptr},
    {u"DataType", &L::DataType, nullptr}, {u"SrcDatabase", &L::SrcDatabase, nullptr},
    {u"PubTime", &L::PubTime, nullptr}, {u"Keyword", &L::Keyword, nullptr}, {u"Summary", &L::Summary, nullptr},
    {u"FilePath", &L::FilePath, nullptr}, {u"Link", &L::Link, nullptr}, {u"Pub_Year", &L::Pub_Year, nullptr},
    {u"Period", &L::Period, nullptr}, {u"PageCount", &L::PageCount, nullptr}, {u"Page", &L::Page, nullptr},
    {u"ReferenceNum", &L::ReferenceNum, nullptr}, {u"Roll", &L::Roll, nullptr}, {u"City", &L::City, nullptr},
    {u"Organ", &L::Organ, nullptr}, {u"Degree", &L::Degree, nullptr}, {u"Teacher", &L::Teacher, nullptr},
    {u"ImportantDegree", &L::ImportantDegree, nullptr}, {u"MediaEn", &L::MediaEn, nullptr},
    {u"EPubLocate", &L::EPubLocate, nullptr}, {u"EPublisher", &L::EPublisher, nullptr},
    {u"ETitle", &L::ETitle, nullptr}, {u"Media", &L::Media, nullptr}, {u"ISSN", &L::ISSN, nullptr},
    {u"Country", &L::Country, nullptr}, {u"Version", &L::Version, nullptr}, {u"Prints", &L::Prints, nullptr},
    {u"PubLocate", &L::PubLocate, nullptr}, {u"EAuthor", &L::EAuthor, nullptr},
    {u"CountryEn", &L::CountryEn, nullptr}, {u"VersionEn", &L::VersionEn, nullptr},
    {u"MediaAddressEn", &L::MediaAddressEn, nullptr}, {u"DegreeType", &L::DegreeType, nullptr},
    {u"Department", &L::Department, nullptr}, {u"ApplicationNum", &L::ApplicationNum, nullptr},
    {u"PublicationDate", &L::PublicationDate, nullptr},
    {u"InternationalClassification", &L::InternationalClassification, nullptr},
    {u"DutyPersonEn", &L::DutyPersonEn, nullptr}, {u"ModifiedDate", &L::ModifiedDate, nullptr},
    {u"Publisher", &L::Publisher, nullptr}, {u"DOI", &L::DOI, nullptr}, {u"LCID", &L::LCID, nullptr},
    {u"LiterGuid", &L::LiterGuid, nullptr}, {u"InternationalDOI", &L::InternationalDOI, nullptr},
    {u"VersionInfo", nullptr, &L::VersionInfo}, {u"IsModify", nullptr, &L::IsModify},
    {u"FileName", &L::FileName, nullptr}, {u"TableName", &L::TableName, nullptr},
    {u"KnowledgeID", &L::KnowledgeID, nullptr}, {u"OdataCode", &L::OdataCode, nullptr},
};

std::u16string LiteratureStatement()
{
    std::u16string sql = u"select pkid";
    for (const LiteratureColumn& column : kLiteratureColumns)
        sql += std::u16string(u",") + column.name;
    return sql + u" from LiteraInfo";
}

} // namespace

int CTavDB::FillLiteratureInfo()
{
    if (!m_literatures.empty())
        return 1;
    if (LiteraInfoAddTableNameField() == 0 || LiteraInfoAddKnowledgeInfoField() == 0 || LiteraInfoAddLockedField() == 0 ||
        LiteraInfoAddOdataCodeField() == 0)
        return 0;
    const std::u16string sql = LiteratureStatement();
    std::u16string contentsFolder;
    const bool hasContents = GetContentsFolder(contentsFolder, m_path) != 0;
    // The reading-state rows made below go in one commit: one synced commit per literature
    // made a large unit's import take minutes. The transaction commits however the loop ends,
    // so a failure keeps the rows made before it, as single commits would.
    CStepTransaction transaction(m_db);
    // Every literature without a reading-state row gets one: made here in one statement for
    // all of them (a statement per literature cost more than reading the literature), its
    // file type set below once the file path is repaired.
    const std::unordered_set<int32_t> withoutRelate = AddMissingLiteratureRelates();
    try {
        CSqliteQuery query = m_db.ExecuteQuery(sql);
        for (; !query.IsEof(); query.NextRow()) {
            auto info = std::make_shared<SPersonalLiteratureInfo>();
            info->pkid = query.GetIntField(0);
            int32_t index = 1;
            for (const LiteratureColumn& column : kLiteratureColumns) {
                if (column.text != nullptr)
                    (*info).*column.text = query.GetStringValue(index);
                else
                    (*info).*column.number = query.GetIntField(index);
                ++index;
            }
            if (info->DataType.empty())
                info->DataType = u"5";
            // A file that moved with the unit is found in its companion folder.
            if (!info->FilePath.empty() && !IsRegularFile(info->FilePath) && hasContents) {
                const std::u16string candidate = contentsFolder + u"/" + FilePathParts(info->FilePath).FileName();
                if (!SameTextIgnoringCase(candidate, info->FilePath) && IsRegularFile(candidate))
                    info->FilePath = candidate;
            }
            info->TavId = m_tavId;
            m_literatures[info->pkid] = info;
            if (withoutRelate.contains(info->pkid) && !info->FilePath.empty())
                SetLiteratureFileType(info->pkid, *info);
        }
        return 1;
    } catch (const CSqliteException& e) {
        SetLastErrorCode(static_cast<uint32_t>(kTavSqliteError));
        LogNote(u"TavDBSql", u"CTavDB::FillLiteratureInfo", __LINE__, 3, cxlog::Format(u"%s-%s", e.ErrorMessage(), sql));
        return 0;
    }
}

namespace {

const char16_t kAddIsReadSql[] = u"alter table LiteraRelate add column IsRead bit Default 0 not null";
const char16_t kCopyReadingStateSql[] =
    u"insert into LiteraRelate(pkid,LiterGuid, locked,LastReadPos,MarkPos,Remark,Adjunct,LastReadTime)select  "
    u"pkid,LiterGuid,Locked,LastReadPage,NoteSets,Remark,Adjunct,LastReadTime from  LiteraInfo";
const char16_t kWithoutReadingState[] = u" where pkid not in (select pkid from LiteraRelate where pkid is not null)";

// 1 for a web page, 0 for a full-text document, 2 for any other file.
int32_t FileTypeOf(const std::u16string& filePath)
{
    const FilePathParts parts(filePath);
    const std::u16string extension = parts.Extension();
    if (extension.find(u"htm") != std::u16string::npos || extension.find(u"mht") != std::u16string::npos)
        return 1;
    return IsFullTextFile(parts) ? 0 : 2;
}

} // namespace

void CTavDB::AddLiteraRelateIsRead()
{
    // Probed once per store: the reading-state rows are made for every literature of the unit.
    if (m_literaRelateHasIsRead)
        return;
    if (!IsColumnExist(u"LiteraRelate", u"IsRead"))
        m_db.ExecuteStatement(kAddIsReadSql);
    m_literaRelateHasIsRead = true;
}

void CTavDB::LogReadingStateError(const CSqliteException& e, const std::u16string& sql)
{
    SetLastErrorCode(static_cast<uint32_t>(kTavSqliteError));
    LogNote(u"TavDBSql", u"CTavDB::UpdateToLiteratureRelate", __LINE__, 3, cxlog::Format(u"%s-->Sql:%s", e.ErrorMessage(), sql));
}

int CTavDB::UpdateToLiteratureRelate(int32_t pkid, const std::shared_ptr<SPersonalLiteratureInfo>& literature)
{
    std::u16string sql = kAddIsReadSql;
    try {
        AddLiteraRelateIsRead();
        sql = u"select count(pkid) from LiteraRelate where pkid = ?";
        if (m_db.Scalar(sql, pkid) != 0)
            return 1;
        sql = std::u16string(kCopyReadingStateSql) + u" where pkid = ?";
        m_db.Run(sql, pkid);
        if (literature && !literature->FilePath.empty()) {
            sql = u"update LiteraRelate set FileType = ? where pkid = ?";
            m_db.Run(sql, FileTypeOf(literature->FilePath), pkid);
        }
        return 1;
    } catch (const CSqliteException& e) {
        LogReadingStateError(e, sql);
        return 0;
    }
}

std::unordered_set<int32_t> CTavDB::AddMissingLiteratureRelates()
{
    std::unordered_set<int32_t> missing;
    std::u16string sql = kAddIsReadSql;
    try {
        AddLiteraRelateIsRead();
        sql = u"select pkid from LiteraInfo" + std::u16string(kWithoutReadingState);
        {
            CSqliteQuery query = m_db.ExecuteQuery(sql);
            for (; !query.IsEof(); query.NextRow())
                missing.insert(query.GetIntField(0));
        }
        if (missing.empty())
            return missing;
        sql = std::u16string(kCopyReadingStateSql) + kWithoutReadingState;
        m_db.ExecuteStatement(sql);
        return missing;
    } catch (const CSqliteException& e) {
        LogReadingStateError(e, sql);
        return {};
    }
}

void CTavDB::SetLiteratureFileType(int32_t pkid, const SPersonalLiteratureInfo& literature)
{
    const std::u16string sql = u"update LiteraRelate set FileType = ? where pkid = ?";
    try {
        m_db.Run(sql, FileTypeOf(literature.FilePath), pkid);
    } catch (const CSqliteException& e) {
        LogReadingStateError(e, sql);
    }
}

int CTavDB::FillLiteratureFolder()
{
    if (!m_folders.empty())
        return 1;
    if (TableAddColumn(u"CategoryLitera") == 0)
        return 0;
    try {
        for (const char16_t* column : {u"Recycled", u"Path", u"RecycleID"}) {
            if (!IsColumnExist(u"CategoryLitera", column))
                m_db.ExecuteStatement(u"alter table CategoryLitera add column " + std::u16string(column) +
                                      u" bit Default 0 not null");
        }
        if (ImportCancelCheckpoint())
            return 0;
        // The subfolders and the literature counts of all folders in one pass each: a count per
        // folder scanned the tables once per folder (neither column has an index of its own).
        IdSetCache children = ReadIdsByKey(m_db, kChildFoldersSql);
        std::map<int32_t, int32_t> literatureCounts;
        CSqliteQuery query = m_db.ExecuteQuery(u"select CategoryId, count(*) from CategoryLitera where Recycled = 0 and "
                                  u"typeof(CategoryId)='integer' group by CategoryId");
        for (; !query.IsEof(); query.NextRow())
            literatureCounts[query.GetIntField(0)] += query.GetIntField(1);
        const auto childCount = [&children](int32_t id) {
            const auto found = children.find(id);
            return found == children.end() ? 0 : static_cast<int32_t>(found->second->size());
        };
        query = m_db.ExecuteQuery(
            u"select CategoryId,Name,ParentID,CategoryGuid,\t\t\t\t\t\t  ParentGuid,VersionInfo,IsModify,CategoryLiteraVersion, "
            u"IsRelateModify, IsRemoved from Category where Recycled=0");
        for (; !query.IsEof(); query.NextRow()) {
            if (ImportCancelCheckpoint())
                return 0;
            auto folder = std::make_shared<SPersonalLiteratureFolder>();
            folder->CategoryId = query.GetIntField(0);
            folder->Name = query.GetStringValue(1);
            folder->ParentID = query.GetIntField(2);
            folder->CategoryGuid = query.GetStringValue(3);
            folder->ParentGuid = query.GetStringValue(4);
            folder->VersionInfo = query.GetIntField(5);
            folder->IsModify = query.GetIntField(6);
            folder->CategoryLiteraVersion = query.GetIntField(7);
            folder->IsRelateModify = query.GetIntField(8);
            folder->IsRemoved = query.GetIntField(9);
            folder->ChildCount = childCount(folder->CategoryId);
            const auto counted = literatureCounts.find(folder->CategoryId);
            folder->LiteratureCount = counted == literatureCounts.end() ? 0 : counted->second;
            folder->TavId = m_tavId;
            folder->Zeroed = 0;
            m_folders[folder->CategoryId] = folder;
        }
        query = CSqliteQuery();
        auto root = std::make_shared<SPersonalLiteratureFolder>();
        root->CategoryId = 0;
        root->ParentID = 0;
        root->ChildCount = childCount(0);
        root->LiteratureCount = 0;
        root->TavId = m_tavId;
        root->IsRemoved = 0;
        root->Zeroed = 0;
        m_folders[0] = root;
        for (auto& [parent, ids] : children)
            m_folderChildIds[parent] = std::move(ids);
        return 1;
    } catch (const CSqliteException& e) {
        LogSqliteError(u"TavDBSql", u"CTavDB::FillLiteratureFolder", __LINE__, e);
        return 0;
    }
}

int CTavDB::FillNoteInfo()
{
    if (!m_notes.empty())
        return 1;
    if (NoteContentAddIsPublicField() == 0 || NoteContentAddIsCompiledField() == 0 || NoteContentAddUnitIdField() == 0 ||
        NoteContentAddKnowledgeIdField() == 0)
        return 0;
    try {
        CSqliteQuery query = m_db.ExecuteQuery(
            u"select ID,TypeID,CreateTime,ModifyTime,Title,Content,LiterGuid,PosID,Comments,Adjunct,Path,Source,Importance,"
            u"Location,ContentText, recycled,NoteGuid,VersionInfo,IsModify,NoteLabelVersion, IsLabelModify,IsPublic,"
            u"IsCompiled,UnitID,KnowledgeID, IsRemoved from NoteContent");
        for (; !query.IsEof(); query.NextRow()) {
            auto note = std::make_shared<SPersonalNoteInfo>();
            note->ID = query.GetIntField(0);
            note->TypeID = query.GetIntField(1);
            note->CreateTime = query.GetStringValue(2);
            note->ModifyTime = query.GetStringValue(3);
            note->Title = query.GetStringValue(4);
            note->Content = query.GetStringValue(5);
            note->LiterGuid = query.GetStringValue(6);
            note->PosID = query.GetStringValue(7);
            note->Comments = query.GetStringValue(8);
            note->Adjunct = query.GetStringValue(9);
            note->Path = query.GetStringValue(10);
            note->Source = query.GetStringValue(11);
            note->Importance = query.GetIntField(12);
            note->Location = query.GetStringValue(13);
            note->ContentText = query.GetStringValue(14);
            note->recycled = query.GetIntField(15);
            note->NoteGuid = query.GetStringValue(16);
            note->VersionInfo = query.GetIntField(17);
            note->IsModify = query.GetIntField(18);
            note->NoteLabelVersion = query.GetIntField(19);
            note->IsLabelModify = query.GetIntField(20);
            const int32_t isPublic = query.GetIntField(21);
            note->IsPublic = isPublic == 0 ? 3 : isPublic == 1 ? 2 : isPublic;
            note->IsCompiled = query.GetIntField(22);
            note->UnitID = query.GetStringValue(23);
            note->KnowledgeID = query.GetStringValue(24);
            note->IsRemoved = query.GetIntField(25);
            note->TavId = m_tavId;
            note->UserKey = m_userKey;
            m_notes[note->ID] = note;
        }
        return 1;
    } catch (const CSqliteException& e) {
        LogSqliteError(u"TavDBSql", u"CTavDB::FillNoteInfo", __LINE__, e);
        return 0;
    }
}

int CTavDB::GetLiteratureRelate(std::shared_ptr<SPersonalLiteratureLiteraRelate>& relate, int32_t pkid)
{
    try {
        CSqliteCachedStatement query = m_db.Prepare(
            u"select ReadingProgress, Locked, LastReadPos, MarkPos, Remark,Adjunct, LastReadTime, IsRead, CreateTime, "
            u"FileType,LiterGuid, VersionInfo, IsModify from LiteraRelate where pkid = ?");
        if (!query->BindAll(pkid).Step()) {
            SetLastErrorCode(static_cast<uint32_t>(kTavNoReadingState));
            return 0;
        }
        if (!relate)
            relate = std::make_shared<SPersonalLiteratureLiteraRelate>();
        relate->RowId = -1;
        relate->pkid = pkid;
        relate->ReadingProgress = query->GetInt(0);
        relate->Locked = query->GetInt(1);
        relate->LastReadPos = query->GetInt(2);
        relate->MarkPos = query->GetText(3);
        relate->Remark = query->GetText(4);
        relate->Adjunct = query->GetText(5);
        relate->LastReadTime = query->GetText(6);
        relate->IsRead = query->GetInt(7);
        relate->CreateTime = query->GetText(8);
        relate->FileType = query->GetInt(9);
        relate->LiterGuid = query->GetText(10);
        relate->VersionInfo = query->GetInt(11);
        relate->IsModify = query->GetInt(12);
        relate->TavId = m_tavId;
        return 1;
    } catch (const CSqliteException& e) {
        LogSqliteError(u"TavDBSql", u"CTavDB::GetLiteratureRelate", __LINE__, e);
        return 0;
    }
}

int CTavDB::GetLabelInfoByNote(std::list<std::u16string>& labels, const std::u16string& noteId)
{
    labels.clear();
    if (!m_labelsRead) {
        // One pass over the table: NoteID has no index of its own, so a query per note read the
        // whole table once per note (most of a large import's time).
        try {
            CSqliteQuery query = m_db.ExecuteQuery(
                u"select NoteID, LabelText from Label where IsRemoved=0 group by NoteID, LabelText");
            std::map<std::u16string, std::list<std::u16string>> byNote;
            for (; !query.IsEof(); query.NextRow())
                byNote[query.GetStringValue(0)].push_back(query.GetStringValue(1));
            m_labelsByNote = std::move(byNote);
            m_labelsRead = true;
        } catch (const CSqliteException& e) {
            LogSqliteError(u"TavDBSql", u"CTavDB::GetLabelInfoByNote", __LINE__, e);
            return 0;
        }
    }
    if (const auto found = m_labelsByNote.find(noteId); found != m_labelsByNote.end())
        labels = found->second;
    return 1;
}

int CTavDB::GetAllSubCategoryIds(IdSet& ids, int32_t parentId)
{
    // One read of the parent links, then a walk with a work list and a record of the folders
    // already reached: links that come back to a folder (a folder that is its own parent, a
    // CategoryId 0) end the walk there, and a deep chain costs no stack.
    IdSetCache childrenOf;
    try {
        childrenOf = ReadIdsByKey(m_db, kChildFoldersSql);
    } catch (const CSqliteException& e) {
        LogSqliteError(u"TavDBSql", u"CTavDB::GetAllSubCategoryIds", __LINE__, e);
        return 0;
    }
    std::set<int32_t> reached{parentId};
    std::vector<int32_t> pending{parentId};
    while (!pending.empty()) {
        const int32_t current = pending.back();
        pending.pop_back();
        const auto children = childrenOf.find(current);
        if (children == childrenOf.end())
            continue;
        for (const int32_t child : *children->second) {
            if (!reached.insert(child).second)
                continue;
            ids.insert(child);
            pending.push_back(child);
        }
    }
    return 1;
}

int CTavDB::GetLiteratureInfoIdList(std::shared_ptr<IdSet>& ids, int32_t categoryId)
{
    if (categoryId == -1 && m_tavId == u"TempRead")
        return GetIdList(ids, categoryId, m_folderLiteratureIds, u"select pkid from LiteraInfo");
    if (!m_folderLiteratureRead) {
        // Every folder's links in one pass: a query per folder scanned the links once per folder.
        IdSetCache byFolder;
        try {
            byFolder = ReadIdsByKey(
                m_db, u"select CategoryId, pkid from CategoryLitera where Recycled = 0 and typeof(CategoryId)='integer'");
        } catch (const CSqliteException& e) {
            LogSqliteError(u"TavDBSql", u"CTavDB::GetLiteratureInfoIdList", __LINE__, e);
            return 0;
        }
        m_folderLiteratureIds = std::move(byFolder);
        m_folderLiteratureRead = true;
    }
    const auto linked = [this](int32_t folder) {
        const auto found = m_folderLiteratureIds.find(folder);
        return found == m_folderLiteratureIds.end() ? std::make_shared<IdSet>() : found->second;
    };
    if (categoryId != -1) {
        ids = linked(categoryId);
        return 1;
    }
    // The whole unit: the literature of every folder below the root.
    IdSet folders;
    if (GetAllSubCategoryIds(folders, 0) == 0)
        return 0;
    ids = std::make_shared<IdSet>();
    for (const int32_t folder : folders) {
        const auto pkids = linked(folder);
        ids->insert(pkids->begin(), pkids->end());
    }
    return 1;
}

int CTavDB::GetIdList(std::shared_ptr<IdSet>& ids, int32_t key, IdSetCache& cache, const std::u16string& sql)
{
    if (const auto found = cache.find(key); found != cache.end()) {
        ids = found->second;
        return 1;
    }
    auto fresh = std::make_shared<IdSet>();
    cache[key] = fresh;
    ids = fresh;
    try {
        CSqliteQuery query = m_db.ExecuteQuery(sql);
        for (; !query.IsEof(); query.NextRow())
            fresh->insert(query.GetIntField(0));
        return 1;
    } catch (const CSqliteException& e) {
        LogSqliteError(u"TavDBSql", u"CTavDB::GetIdList", __LINE__, e);
        return 0;
    }
}

namespace {

// Lets `out` share the cached record of `key`; 0 when the cache has none.
template <typename Record>
int ShareCached(const std::map<int32_t, std::shared_ptr<Record>>& cache, int32_t key, std::shared_ptr<Record>& out)
{
    const auto found = cache.find(key);
    if (found == cache.end())
        return 0;
    out = found->second;
    return 1;
}

} // namespace

int CTavDB::GetLiteratureFolder(std::shared_ptr<SPersonalLiteratureFolder>& folder, int32_t categoryId)
{
    return FillLiteratureFolder() == 0 ? 0 : ShareCached(m_folders, categoryId, folder);
}

int CTavDB::GetLiteratureInfo(std::shared_ptr<SPersonalLiteratureInfo>& info, int32_t pkid)
{
    return FillLiteratureInfo() == 0 ? 0 : ShareCached(m_literatures, pkid, info);
}
