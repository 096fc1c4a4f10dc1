#include "store/TavDB.h"

#include "library/OvDataMiddle.h"
#include "store/StepTransaction.h"
#include "support/Guid.h"
#include "support/LastError.h"
#include "support/Log.h"
#include "support/TextConvert.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

namespace {

bool PathExists(const std::u16string& path)
{
    std::error_code error;
    return !path.empty() && std::filesystem::exists(std::filesystem::path(WideToUtf8(path)), error);
}

} // namespace

bool CTavDB::SameTextIgnoringCase(const std::u16string& left, const std::u16string& right)
{
    if (left.size() != right.size())
        return false;
    for (size_t i = 0; i < left.size(); ++i) {
        char16_t a = left[i];
        char16_t b = right[i];
        if (a >= u'A' && a <= u'Z')
            a = static_cast<char16_t>(a - u'A' + u'a');
        if (b >= u'A' && b <= u'Z')
            b = static_cast<char16_t>(b - u'A' + u'a');
        if (a != b)
            return false;
    }
    return true;
}

CTavDB::CTavDB()
{
    m_db.SetBusyTimeout(60000);
    // A learning unit has no triggers: one that a file brings along never runs here. And once a
    // write failed, nothing more is written until the driver has undone the step it belongs to.
    m_db.SetTriggersAllowed(false);
    m_db.SetHaltWritesOnFailure(true);
    IOvDataMiddle::Initialize(-1);
    m_upgradeSteps = {&CTavDB::UpdateVersionTo2,  &CTavDB::UpdateVersionTo3,  &CTavDB::UpdateVersionTo4,
                      &CTavDB::UpdateVersionTo5,  &CTavDB::UpdateVersionTo6,  &CTavDB::UpdateVersionTo7,
                      &CTavDB::UpdateVersionTo8,  &CTavDB::UpdateVersionTo9,  &CTavDB::UpdateVersionTo10,
                      &CTavDB::UpdateVersionTo11, &CTavDB::UpdateVersionTo12, &CTavDB::UpdateVersionTo13,
                      &CTavDB::UpdateVersionTo14, &CTavDB::UpdateVersionTo15, &CTavDB::UpdateVersionTo16};
}

CTavDB::~CTavDB()
{
    IOvDataMiddle::Uninitialize();
    // Maps, callback and connection go with the members; the connection closes itself.
}

void CTavDB::Report(int32_t position, int32_t maximum, const std::u16string& text) const
{
    ReportProgress(m_callback, position, maximum, text);
}

void CTavDB::LogSqliteError(const char16_t* sourceFile, const char16_t* function, int line, const CSqliteException& e) const
{
    SetLastErrorCode(static_cast<uint32_t>(kTavSqliteError));
    CxLog::Instance().Log(sourceFile, function, line, 3, e.ErrorMessage());
    m_report.notes.push_back(std::u16string(function) + u": " + e.ErrorMessageText());
}

void CTavDB::SetPageCacheKilobytes(int64_t kilobytes)
{
    try {
        m_db.ExecuteStatement(u"pragma cache_size = -" + ToWide(std::to_string(kilobytes)));
    } catch (const CSqliteException& e) {
        LogWarning(u"CTavDB::SetPageCacheKilobytes", __LINE__, e.ErrorMessageText());
    }
}

void CTavDB::UseLargePageCache()
{
    // Every page of a unit is decrypted when it is read, and the upgrade's steps walk whole
    // tables one after the other: with a cache smaller than the unit, each walk read and
    // decrypted most pages again (10 reads per page of a 120 MiB unit). The cache holds the
    // whole unit, at least 64 MiB.
    std::error_code error;
    const auto size = std::filesystem::file_size(std::filesystem::path(WideToUtf8(m_path)), error);
    const int64_t unitKilobytes = error ? 0 : static_cast<int64_t>(size / 1024);
    SetPageCacheKilobytes(std::max<int64_t>(64 * 1024, unitKilobytes + unitKilobytes / 8));
}

void CTavDB::UseImportPageCache()
{
    // Once the literature is in, the notes and labels are read once each: a cache of the whole
    // unit would only hold pages beside the records the import keeps. Until then it stays,
    // because the reading-state rows the literature reader writes and then reads back one by
    // one would not fit a small one (every page spilled, read and decrypted again).
    SetPageCacheKilobytes(16 * 1024);
}

void CTavDB::Pause()
{
    ++m_rowsDone;
    if (m_activity)
        m_activity(m_rowsDone);
    if (m_pauseMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(m_pauseMs));
}

int CTavDB::Init(const std::u16string& path, std::u16string& tavId, const std::u16string& userKey, ProgressCallback callback)
{
    m_userKey = userKey;
    m_callback = std::move(callback);
    m_totalSteps = 0;
    m_currentStep = 0;
    m_markPosByLiterGuid.clear();
    m_report = SRunReport();
    m_writeStopped = false;
    m_runStart = GetLocalTimeText();
    m_versionBeforeUpgrade = 0;
    m_rowsDone = 0;

    auto cancelled = [this]() {
        if (!IsCancelRequested())
            return false;
        Report(m_totalSteps, m_totalSteps, u"导入学习单元取消");
        return true;
    };

    if (cancelled())
        return 0;

    Report(0, 0, u"判断路径是否存在");
    if (!PathExists(path)) {
        Report(0, 0, u"学习单元路径不存在");
        return 0;
    }

    Report(0, 0, u"打开学习单元");
    if (!AdmitUnit(path))
        return kTavSqliteError;
    try {
        m_db.Open(path);
    } catch (const CSqliteException& e) {
        // Not even opened: report it like the other open failures instead of ending the worker.
        LogSqliteError(u"TavDBSql", u"CTavDB::Init", __LINE__, e);
        return kTavSqliteError;
    }

    try {
        const int32_t keyed = m_db.ChangeKey(kTavDatabaseKey, kTavDatabaseKeyLength);
        if (IsWriteFailureCode(keyed))
            return RefuseUnit(UnitProblemOfSqliteCode(keyed), m_db.WriteFailure().text);
        if (keyed != 0) {
            m_db.Close();
            m_db.Open(path);
            m_db.SetKey(kTavDatabaseKey, kTavDatabaseKeyLength);
        }
        if (InitDbVersion() == 0)
            return kTavSqliteError;
        if (tavId.empty())
            tavId = m_tavId;
        UpdateUUid(tavId);
    } catch (const CSqliteException&) {
        try {
            m_db.Close();
            m_db.Open(path);
            m_db.ChangeKey(kTavDatabaseKey, kTavDatabaseKeyLength);
            if (InitDbVersion() == 0)
                return kTavSqliteError;
            if (tavId.empty())
                tavId = m_tavId;
            else
                UpdateUUid(tavId);
        } catch (const CSqliteException& e) {
            LogSqliteError(u"TavDBSql", u"CTavDB::Init", __LINE__, e);
            return kTavSqliteError;
        }
    }

    m_path = path;
    m_versionBeforeUpgrade = GetVersionNum();
    UseLargePageCache();
    BackupNewerLayout();

    struct CreationGroup {
        const char16_t* line;
        std::initializer_list<int (CTavDB::*)()> operations;
    };
    const CreationGroup groups[] = {
        {u"创建文献夹信息表", {&CTavDB::CreateCategoryTable}},
        {u"创建文献夹与文献关系表", {&CTavDB::CreateCategoryLitera}},
        {u"创建下载信息表", {&CTavDB::CreateDownInfoTable}},
        {u"创建标签信息表", {&CTavDB::CreateLabelTable}},
        {u"创建题录信息表", {&CTavDB::CreateLiteraInfo, &CTavDB::CreateLiteraInfoTempTable}},
        {u"创建题录附件信息表", {&CTavDB::CreateLiteraRelate}},
        {u"创建题录类型信息表", {&CTavDB::CreateLiteraStyles}},
        {u"创建笔记信息表",
         {&CTavDB::CreateNoteContent, &CTavDB::CreateNoteReply, &CTavDB::CreateNoteRelationTable,
          &CTavDB::CreateNoteSort, &CTavDB::CreateSortType, &CTavDB::CreateNoteType}},
        {u"创建推送信息表",
         {&CTavDB::CreatePushItemTable, &CTavDB::CreatePushLiteraInfoTable, &CTavDB::CreatePushRelationTable,
          &CTavDB::CreateTrashTable}},
        {nullptr,
         {&CTavDB::CreateWebPageCategoryTable, &CTavDB::CreateWebPageCategoryInfoTable,
          &CTavDB::CreateWebPageInfoTable, &CTavDB::CreateWebPageTrashTable}},
    };
    m_db.ClearWriteFailure();
    try {
        // The whole creation pass is one transaction: a killed process leaves no half-made table set.
        CStepTransaction transaction(m_db);
        for (const CreationGroup& group : groups) {
            if (group.line != nullptr)
                Report(0, 0, group.line);
            if (group.line != nullptr && cancelled())
                return 0;
            for (auto operation : group.operations)
                (this->*operation)();
        }
        if (!CommitWrites(transaction, u"the table-creation pass")) {
            Report(m_totalSteps, m_totalSteps, u"更新学习单元失败");
            return kTavSqliteError;
        }
    } catch (const CSqliteException& e) {
        // The folder table probes let their errors through.
        LogSqliteError(u"TavDBSql", u"CTavDB::Init", __LINE__, e);
        return kTavSqliteError;
    }
    if (cancelled())
        return 0;

    Report(0, 0, u"开始更新学习单元版本...");
    try {
        UpdateVersion();
    } catch (const CSqliteException& e) {
        // Step 2 lets its error through to here.
        LogSqliteError(u"TavDBSql", u"CTavDB::Init", __LINE__, e);
        return kTavSqliteError;
    }
    if (WriteStopped()) {
        Report(m_totalSteps, m_totalSteps, u"更新学习单元失败");
        return kTavSqliteError;
    }

    const std::u16string owner = GetUserKey();
    if (!owner.empty() && !m_userKey.empty() && !SameTextIgnoringCase(owner, m_userKey)) {
        try {
            m_db.Close();
        } catch (const CSqliteException&) {
        }
        Report(m_totalSteps, m_totalSteps, u"导入学习单元失败，您没有权限读取该学习单元数据。");
        SetLastErrorCode(static_cast<uint32_t>(kTavImportFailed));
        return kTavImportFailed;
    }

    m_currentStep += 1;
    // A cancel seen by the upgrade ends the run here, as the import's first test would: a
    // cancelled run is no failure.
    if (cancelled())
        return 0;
    const int imported = ImportToPersonalLibrary(path);
    // A cancelled import returns 0 too, but it is no completed one: its cancel line stays the last.
    if (m_importCancelled)
        return 0;
    if (imported != 0) {
        Report(m_totalSteps, m_totalSteps, u"更新学习单元失败");
        return kTavImportFailed;
    }
    Report(m_totalSteps, m_totalSteps, u"更新学习单元完成");
    return 0;
}

int CTavDB::InitDbVersion()
{
    try {
        CSqliteQuery query = m_db.ExecuteQuery(u"Select versionNum,TavId From VersionInfo");
        while (!query.IsEof()) {
            m_tavId = query.GetStringValue(1);
            if (m_tavId.empty())
                m_tavId = NewGuidText();
            query.NextRow();
        }
        return 1;
    } catch (const CSqliteException& e) {
        LogSqliteError(u"TavDB", u"CTavDB::InitDbVersion", __LINE__, e);
        return 0;
    }
}

int CTavDB::UpdateUUid(const std::u16string& tavId)
{
    try {
        m_db.Run(u"update VersionInfo set TavId = ? where id = 1", tavId);
    } catch (const CSqliteException& e) {
        LogSqliteError(u"TavDBSql", u"CTavDB::UpdateUUid", __LINE__, e);
    }
    m_tavId = tavId;
    return 1;
}

std::u16string CTavDB::GetUserKey()
{
    std::u16string owner;
    bool fileTypeAdded = false;
    try {
        if (!IsColumnExist(u"VersionInfo", u"Userkey"))
            m_db.ExecuteStatement(u"alter table VersionInfo add column Userkey Text");
        if (!IsColumnExist(u"VersionInfo", u"FileType")) {
            fileTypeAdded = true;
            m_db.ExecuteStatement(u"alter table VersionInfo add column FileType Text");
        }
    } catch (const CSqliteException& e) {
        LogSqliteError(u"TavDB", u"CTavDB::GetUserKey", __LINE__, e);
        return owner;
    }
    try {
        CSqliteQuery query = m_db.ExecuteQuery(u"Select Userkey, FileType From VersionInfo");
        if (!query.IsEof()) {
            owner = query.GetStringValue(0);
            if (fileTypeAdded) {
                query = CSqliteQuery();
                m_db.ExecuteStatement(u"update VersionInfo set FileType = 'tav'");
            }
        }
    } catch (const CSqliteException& e) {
        LogSqliteError(u"TavDB", u"CTavDB::GetUserKey", __LINE__, e);
    }
    return owner;
}
