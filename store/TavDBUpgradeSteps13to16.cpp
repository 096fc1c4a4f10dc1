// Upgrade steps to versions 13, 14 and 16, and the operations they use: the web-page
// folder, and the look-ups of a literature by its DOI. Step 15 lives in its own file.
//
// Every value taken from the unit is put into a statement as a quoted literal, so that an
// apostrophe in a title, a time text, a DOI or a GUID neither fails nor changes a statement.
// Each step runs inside one transaction (joining the driver's when there is one): a process
// killed in the middle leaves the unit as it was before the step.
#include "store/TavDB.h"

#include "store/StepTransaction.h"
#include "support/Guid.h"
#include "support/LastError.h"
#include "support/Md5.h"
#include "support/TextConvert.h"


#include <ctime>
#include <functional>
#include <optional>
#include <set>
#include <vector>

namespace {

constexpr char16_t kCancelLine[] = u"导入学习单元取消";
constexpr char16_t kWebFolderName[] = u"网页资料";
constexpr char16_t kFlag[] = u"bit Default 0 not null";

std::u16string Num(int64_t value) { return ToWide(std::to_string(value)); }

// One row of an id column followed by text columns.
struct SIdRow {
    int32_t id = 0;
    std::vector<std::u16string> texts;
};

// Reads every row of `sql` before anything is changed, pausing after each row as the upgrade
// does to leave the disk to the desktop application. The step's cancel test runs at every pause,
// not only for the rows that need a change: a table of thousands of rows that need none would
// otherwise keep a cancelling user waiting for the whole read. Nothing when it cancelled.
std::optional<std::vector<SIdRow>> ReadIdRows(CTavDB& store, const std::u16string& sql,
                                              const std::function<bool()>& cancelStep)
{
    std::vector<SIdRow> rows;
    CSqliteQuery query = store.Database().ExecuteQuery(sql);
    const int32_t columns = query.NumFields();
    while (!query.IsEof()) {
        SIdRow row;
        row.id = query.GetIntField(0);
        for (int32_t column = 1; column < columns; ++column)
            row.texts.push_back(query.GetStringValue(column));
        rows.push_back(std::move(row));
        query.NextRow();
        store.Pause();
        if (IsCancelRequested()) {
            query = CSqliteQuery(); // finished before the step's rollback
            if (cancelStep())
                return std::nullopt;
        }
    }
    return rows;
}

} // namespace

void CTavDB::AddColumnsWhenMissing(const char16_t* table,
                                   std::initializer_list<std::pair<const char16_t*, const char16_t*>> columns)
{
    for (const auto& [column, declaration] : columns)
        AddColumnWhenMissing(table, column,
                             u"alter table " + std::u16string(table) + u" add column " + column + u" " + declaration);
}

bool CTavDB::CancelUpgradeStep()
{
    if (!IsCancelRequested())
        return false;
    Report(m_totalSteps, m_totalSteps, kCancelLine);
    // Undo the step's unfinished work: a half-done step (web pages already copied, note items
    // already moved) would otherwise be done a second time by the next run.
    try {
        if (m_db.IsOpen() && m_db.InTransaction())
            m_db.ExecuteStatement(u"rollback");
    } catch (const CSqliteException& e) {
        LogSqliteError(u"TavDB", u"CTavDB::CancelUpgradeStep", __LINE__, e);
    }
    return true;
}

std::u16string CTavDB::MakeWebPageDoi(const std::u16string& title)
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    const std::u16string key = title + Num(utc.tm_year + 1900) + Num(utc.tm_mon + 1) + Num(utc.tm_mday) +
                               Num(utc.tm_hour) + Num(utc.tm_min) + Num(utc.tm_sec);
    Md5Provider md5;
    std::u16string digest;
    if (!md5.HashText(key, digest))
        return {};
    // Two pages of the same title saved within one second would get the same DOI, which
    // LiteraInfo keeps unique (and the library takes for the same literature): make another.
    for (int32_t n = 1; m_db.Scalar(u"select count(*) from LiteraInfo where DOI = ?", digest) > 0;
         ++n) {
        if (!md5.HashText(key + u"_" + Num(n), digest))
            return {};
    }
    return digest;
}

int CTavDB::UpdateVersionTo13()
{
    CStepTransaction transaction(m_db);
    // Errors in the reading-state columns and the pkid maximum pass to the caller.
    if (!IsColumnExist(u"LiteraRelate", u"CreateTime")) {
        Report(m_currentStep, m_totalSteps, u"更新题录附件信息表时间字段");
        m_db.ExecuteStatement(u"alter table LiteraRelate add column CreateTime text");
        m_db.ExecuteStatement(u"update LiteraRelate set CreateTime = datetime('now','localtime')");
    }
    if (!IsColumnExist(u"LiteraRelate", u"FileType")) {
        Report(m_currentStep, m_totalSteps, u"更新题录附件信息表类型字段");
        m_db.ExecuteStatement(u"alter table LiteraRelate add column FileType Integer");
        m_db.ExecuteStatement(u"update LiteraRelate set FileType = 0");
    }
    int32_t pkid = m_db.ExecuteScalar(u"select max(pkid) from LiteraInfo");

    Report(m_currentStep, m_totalSteps, u"更新网页资料信息表");
    if (FillWebLiteratureInfo() == 0)
        return 0;
    int32_t folderId = 0;
    if (!m_webLiteratures.empty()) {
        Report(m_currentStep, m_totalSteps, u"创建网页资料文献夹");
        folderId = CreateFolder();
    }

    try {
        std::map<int32_t, std::shared_ptr<SPersonalRecycleInfo>> recycled;
        std::vector<std::shared_ptr<SPersonalRecycleInfo>> trashRows;
        {
            CSqliteQuery query = m_db.ExecuteQuery(u"select ID,DelTime,pkid from WebPage_Trash ");
            while (!query.IsEof()) {
                auto record = std::make_shared<SPersonalRecycleInfo>();
                record->ID = query.GetIntField(0);
                record->DelTime = query.GetStringValue(1);
                record->pkid = query.GetIntField(2);
                trashRows.push_back(record);
                query.NextRow();
            }
        }
        int32_t row = 0;
        for (const auto& record : trashRows) {
            recycled[record->pkid] = record;
            Report(m_currentStep, m_totalSteps, u"获取网页回收站信息:" + Num(++row));
            if (CancelUpgradeStep())
                return 0;
        }
        if (CancelUpgradeStep())
            return 0;

        int32_t count = 0;
        for (const auto& [oldPkid, page] : m_webLiteratures) {
            Report(m_currentStep, m_totalSteps, u"更新网页回收站信息:" + Num(++count));
            if (CancelUpgradeStep())
                return 0;
            ++pkid;
            const std::u16string doi = MakeWebPageDoi(page->Title);
            if (doi.empty())
                continue;
            m_db.Run(u"insert into LiteraInfo(pkid, DOI, Title, Author, Link, FilePath, LastReadTime, DataType) "
                     u"values (?, ?, ?, ?, ?, ?, ?, 6)",
                     pkid, doi, page->Title, page->Author, page->Link, page->FilePath, page->LastReadTime);
            m_db.Run(u"insert into LiteraRelate (pkid, LastReadTime) values (?, ?)", pkid, page->LastReadTime);
            m_db.Run(u"update LiteraRelate set CreateTime = ?, FileType = 1 where pkid = ?", page->CreateTime, pkid);
            const auto trash = recycled.find(oldPkid);
            if (trash != recycled.end())
                m_db.Run(u"insert into Trash(Path,pkid,IsDoc,ParentID,DelTime,DOI) values (?, ?, 1, 0, ?, ?)",
                         std::u16string(kWebFolderName) + u"\\", pkid, trash->second->DelTime, doi);
            else
                m_db.Run(u"insert into CategoryLitera(CategoryId,pkid) values (?, ?)", folderId, pkid);
        }
        m_db.ExecuteStatement(u"delete from WebPage_Trash");
        WriteVersionNum(13);
        return 1;
    } catch (const CSqliteException& e) {
        LogSqliteError(u"TavDB", u"CTavDB::UpdateVersionTo13", __LINE__, e);
        return 0;
    }
}

int32_t CTavDB::CreateFolder()
{
    try {
        std::u16string name = kWebFolderName;
        for (int32_t n = 1;; ++n) {
            if (m_db.Scalar(u"select count(CategoryId) from Category where Name = ?", name) <= 0)
                break;
            name = std::u16string(kWebFolderName) + u"_" + Num(n);
        }
        const std::u16string guid = NewGuidText();
        AddColumnsWhenMissing(u"Category", {{u"CategoryGuid", u"Text"}, {u"IsModify", kFlag}});
        m_db.Run(u"insert into Category(Name,ParentID,CategoryGuid,IsModify) values(?, 0, ?, 1)", name, guid);
        return m_db.Scalar(u"select CategoryId from Category where Name = ?", name);
    } catch (const CSqliteException& e) {
        LogSqliteError(u"TavDB", u"CTavDB::CreateFolder", __LINE__, e);
        return 0;
    }
}

int32_t CTavDB::GetPkidByDOI(const std::u16string& doi)
{
    try {
        CSqliteCachedStatement query = m_db.Prepare(u"select pkid from LiteraInfo where DOI = ?");
        if (!query->BindAll(doi).Step()) {
            SetLastErrorCode(static_cast<uint32_t>(kTavSqliteError));
            return 0;
        }
        return query->GetInt(0);
    } catch (const CSqliteException& e) {
        LogSqliteError(u"TavDB", u"CTavDB::GetPkidByDOI", __LINE__, e);
        return 0;
    }
}

std::u16string CTavDB::GetLiterGuidByDOI(const std::u16string& doi)
{
    try {
        std::u16string guid;
        {
            CSqliteCachedStatement query = m_db.Prepare(u"select LiterGuid from LiteraInfo where DOI = ?");
            if (!query->BindAll(doi).Step()) {
                SetLastErrorCode(static_cast<uint32_t>(kTavSqliteError));
                return {};
            }
            guid = query->GetText(0);
        }
        if (!guid.empty())
            return guid;

        const int32_t pkid = GetPkidByDOI(doi);
        guid = NewGuidText();
        m_db.Run(u"update LiteraInfo set LiterGuid = ? where DOI = ?", guid, doi);
        // Before version 16 CategoryLitera has no Recycled column; every link is live then.
        if (IsColumnExist(u"CategoryLitera", u"Recycled"))
            m_db.Run(u"update CategoryLitera set LiterGuid = ? where Pkid = ? and Recycled = 0", guid, pkid);
        else
            m_db.Run(u"update CategoryLitera set LiterGuid = ? where Pkid = ?", guid, pkid);
        m_db.Run(u"update DownInfo set LiterGuid = ? where Pkid = ?", guid, pkid);
        m_db.Run(u"update LiteraRelate set LiterGuid = ? where Pkid = ?", guid, pkid);
        m_db.Run(u"update NoteContent set LiterGuid = ? where DOI = ?", guid, doi);
        m_db.Run(u"update Trash set LiterGuid = ? where DOI = ?", guid, doi);
        return guid;
    } catch (const CSqliteException& e) {
        LogSqliteError(u"TavDB", u"CTavDB::GetLiterGuidByDOI", __LINE__, e);
        return {};
    }
}

// ---- Step 14: a GUID for every row, copied into the tables that refer to it ----

int CTavDB::UpdateVersionTo14()
{
    CStepTransaction transaction(m_db);
    struct Section {
        const char16_t* line;
        bool (CTavDB::*run)();
    };
    static const Section sections[] = {
        {u"更新文献夹信息表", &CTavDB::UpdateCategoryGuids},
        {u"更新文献信息表", &CTavDB::UpdateLiteratureGuids},
        {u"更新文献夹与文献关联表", &CTavDB::UpdateCategoryLiteraGuids},
        {u"更新题录附件信息表", &CTavDB::UpdateLiteraRelateGuids},
        {u"更新下载信息表", &CTavDB::UpdateDownInfoGuids},
        {u"更新笔记信息表", &CTavDB::UpdateNoteGuids},
        {u"更新笔记标签信息表", &CTavDB::UpdateLabelGuids},
        {u"更新资料回收站信息表", &CTavDB::UpdateTrashGuids},
    };
    if (CancelUpgradeStep())
        return 0;
    bool first = true;
    for (const Section& section : sections) {
        Report(m_currentStep, m_totalSteps, section.line);
        if (!first && CancelUpgradeStep())
            return 0;
        first = false;
        try {
            if (!(this->*section.run)())
                return 0;
        } catch (const CSqliteException& e) {
            LogSqliteError(u"TavDB", u"CTavDB::UpdateVersionTo14", __LINE__, e);
            return 0;
        }
    }
    // Not guarded: an error here reaches the driver's caller.
    WriteVersionNum(14);
    return 1;
}

bool CTavDB::UpdateCategoryGuids()
{
    AddColumnsWhenMissing(u"Category", {{u"CategoryGuid", u"Text"},
                                        {u"ParentGuid", u"Text"},
                                        {u"VersionInfo", u"Integer"},
                                        {u"IsModify", kFlag},
                                        {u"CategoryLiteraVersion", u"Integer"},
                                        {u"IsRelateModify", kFlag}});

    const auto folders =
        ReadIdRows(*this, u"select CategoryId, CategoryGuid from Category", [this] { return CancelUpgradeStep(); });
    if (!folders)
        return false;
    for (const SIdRow& row : *folders) {
        if (!row.texts[0].empty())
            continue;
        Report(m_currentStep, m_totalSteps, u"更新文献夹信息表ID：" + Num(row.id));
        if (CancelUpgradeStep())
            return false;
        m_db.Run(u"update Category set CategoryGuid = ? where CategoryId = ?", NewGuidText(), row.id);
    }

    // One update gives every child of a parent its GUID; later children of it are done then,
    // unless the parent had no GUID to give (their ParentGuid is still empty).
    std::set<int32_t> parentsDone;
    const auto parents =
        ReadIdRows(*this, u"select ParentID, ParentGuid from Category", [this] { return CancelUpgradeStep(); });
    if (!parents)
        return false;
    for (const SIdRow& row : *parents) {
        if (row.id == 0 || !row.texts[0].empty() || parentsDone.count(row.id) != 0)
            continue;
        Report(m_currentStep, m_totalSteps, u"更新文献夹信息表父ID：" + Num(row.id));
        if (CancelUpgradeStep())
            return false;
        const std::u16string parentGuid = m_db.ScalarText(u"select CategoryGuid from Category where CategoryId = ?", row.id);
        m_db.Run(u"update Category set ParentGuid = ? where ParentID = ?", parentGuid, row.id);
        if (!parentGuid.empty())
            parentsDone.insert(row.id);
    }
    return true;
}

bool CTavDB::UpdateLiteratureGuids()
{
    AddColumnsWhenMissing(u"LiteraInfo",
                          {{u"LiterGuid", u"Text"}, {u"InternationalDOI", u"Text"}, {u"VersionInfo", u"Integer"}, {u"IsModify", kFlag}});

    const auto literature =
        ReadIdRows(*this, u"select Pkid, LiterGuid from LiteraInfo", [this] { return CancelUpgradeStep(); });
    if (!literature)
        return false;
    for (const SIdRow& row : *literature) {
        if (!row.texts[0].empty())
            continue;
        Report(m_currentStep, m_totalSteps, u"更新文献信息表ID：" + Num(row.id));
        if (CancelUpgradeStep())
            return false;
        m_db.Run(u"update LiteraInfo set LiterGuid = ? where Pkid = ?", NewGuidText(), row.id);
    }
    return true;
}

bool CTavDB::UpdateCategoryLiteraGuids()
{
    AddColumnsWhenMissing(u"CategoryLitera", {{u"CategoryGuid", u"Text"}, {u"LiterGuid", u"Text"}});
    m_db.ExecuteStatement(
        u"update CategoryLitera set LiterGuid = (select LiterGuid from LiteraInfo where CategoryLitera.pkid = LiteraInfo.pkid)");
    m_db.ExecuteStatement(u"update CategoryLitera set CategoryGuid = (select CategoryGuid from Category where "
                          u"CategoryLitera.CategoryId = Category.CategoryId)");
    return true;
}

bool CTavDB::UpdateLiteraRelateGuids()
{
    AddColumnsWhenMissing(u"LiteraRelate", {{u"LiterGuid", u"Text"}, {u"VersionInfo", u"Integer"}, {u"IsModify", kFlag}});
    m_db.ExecuteStatement(
        u"update LiteraRelate set LiterGuid = (select LiterGuid from LiteraInfo where LiteraRelate.pkid = LiteraInfo.pkid)");
    return true;
}

bool CTavDB::UpdateDownInfoGuids()
{
    AddColumnsWhenMissing(u"DownInfo", {{u"LiterGuid", u"Text"}});
    m_db.ExecuteStatement(
        u"update DownInfo set LiterGuid = (select LiterGuid from LiteraInfo where DownInfo.pkid = LiteraInfo.pkid)");
    return true;
}

bool CTavDB::UpdateNoteGuids()
{
    AddColumnsWhenMissing(u"NoteContent", {{u"NoteGuid", u"Text"},
                                           {u"LiterGuid", u"Text"},
                                           {u"VersionInfo", u"Integer"},
                                           {u"IsModify", kFlag},
                                           {u"NoteLabelVersion", u"Integer"},
                                           {u"IsLabelModify", kFlag}});

    const auto notes =
        ReadIdRows(*this, u"select ID, NoteGuid, DOI,LiterGuid from NoteContent", [this] { return CancelUpgradeStep(); });
    if (!notes)
        return false;
    for (const SIdRow& row : *notes) {
        const std::u16string& noteGuid = row.texts[0];
        const std::u16string& doi = row.texts[1];
        const std::u16string& literGuid = row.texts[2];
        if (noteGuid.empty()) {
            Report(m_currentStep, m_totalSteps, u"更新笔记信息表ID：" + Num(row.id));
            if (CancelUpgradeStep())
                return false;
            m_db.Run(u"update NoteContent set NoteGuid = ? where ID = ?", NewGuidText(), row.id);
        }
        if (!doi.empty() && literGuid.empty()) {
            Report(m_currentStep, m_totalSteps, u"更新笔记信息表文献ID：" + Num(row.id));
            if (CancelUpgradeStep())
                return false;
            const std::u16string guid = GetLiterGuidByDOI(doi);
            m_db.Run(u"update NoteContent set LiterGuid = ? where ID = ?", guid, row.id);
        }
    }
    return true;
}

bool CTavDB::UpdateLabelGuids()
{
    AddColumnsWhenMissing(u"Label", {{u"NoteGuid", u"Text"}});
    m_db.ExecuteStatement(
        u"update Label set NoteGuid = (select NoteGuid from NoteContent where Label.NoteID = NoteContent.PosID)");
    return true;
}

bool CTavDB::UpdateTrashGuids()
{
    AddColumnsWhenMissing(u"Trash", {{u"TrashGuid", u"Text"},
                                     {u"LiterGuid", u"Text"},
                                     {u"TrashParentGuid", u"Text"},
                                     {u"VersionInfo", u"Integer"},
                                     {u"IsModify", kFlag}});

    const auto trash =
        ReadIdRows(*this, u"select ID, TrashGuid from Trash", [this] { return CancelUpgradeStep(); });
    if (!trash)
        return false;
    for (const SIdRow& row : *trash) {
        if (row.texts[0].empty()) {
            Report(m_currentStep, m_totalSteps, u"更新资料回收站信息表ID：" + Num(row.id));
            m_db.Run(u"update Trash set TrashGuid = ? where ID = ?", NewGuidText(), row.id);
        }
        if (CancelUpgradeStep())
            return false;
    }

    std::set<int32_t> parentsDone;
    const auto trashParents =
        ReadIdRows(*this, u"select ParentID, TrashParentGuid from Trash", [this] { return CancelUpgradeStep(); });
    if (!trashParents)
        return false;
    for (const SIdRow& row : *trashParents) {
        if (row.id != 0 && row.texts[0].empty() && parentsDone.count(row.id) == 0) {
            Report(m_currentStep, m_totalSteps, u"更新资料回收站信息表父ID：" + Num(row.id));
            const std::u16string parentGuid = m_db.ScalarText(u"select TrashGuid from Trash where ID = ?", row.id);
            m_db.Run(u"update Trash set TrashParentGuid = ? where ParentID = ?", parentGuid, row.id);
            if (!parentGuid.empty())
                parentsDone.insert(row.id);
        }
        if (CancelUpgradeStep())
            return false;
    }
    m_db.ExecuteStatement(u"update Trash set LiterGuid = (select LiterGuid from LiteraInfo where LiteraInfo.Pkid = Trash.Pkid)");
    return true;
}

// ---- Step 16: the synchronisation columns ----

int CTavDB::UpdateVersionTo16()
{
    CStepTransaction transaction(m_db);
    // Every change of this step is guarded by a probe, so a rerun cannot repeat any of it:
    // what was added before a cancel stays, as it does after a failure.
    auto section = [this](const char16_t* line) {
        Report(m_currentStep, m_totalSteps, line);
        if (!IsCancelRequested())
            return true;
        Report(m_totalSteps, m_totalSteps, kCancelLine);
        return false;
    };
    try {
        if (!section(u"更新题录信息") || TableAddColumn(u"LiteraInfo") == 0)
            return 0;
        AddColumnsWhenMissing(u"LiteraInfo", {{u"Recycled", kFlag}, {u"KnowledgeID", kFlag}});

        if (!section(u"更新文献夹信息") || TableAddColumn(u"Category") == 0)
            return 0;
        AddColumnsWhenMissing(u"Category",
                              {{u"Recycled", kFlag}, {u"Path", u"Text null"}, {u"RecycleParentId", kFlag}, {u"RecycleID", kFlag}});

        if (!section(u"更新笔记信息") || TableAddColumn(u"NoteContent") == 0)
            return 0;
        AddColumnsWhenMissing(u"NoteContent", {{u"KnowledgeID", u"Text null"}});

        if (!section(u"更新文献分类信息") || TableAddColumn(u"CategoryLitera") == 0)
            return 0;
        AddColumnsWhenMissing(u"CategoryLitera",
                              {{u"Recycled", kFlag}, {u"Path", kFlag}, {u"RecycleID", kFlag}, {u"DOI", u"Text null"}});

        if (!section(u"更新标签信息") || TableAddColumn(u"Label") == 0)
            return 0;

        if (!section(u"更新笔记回复信息"))
            return 0;
        CreateNoteReply();

        WriteVersionNum(16);
        return 1;
    } catch (const CSqliteException&) {
        // The column operations log their own errors.
        return 0;
    }
}
