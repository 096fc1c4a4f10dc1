// The upgrade driver: reads the stored layout version, backs the unit up and runs the
// upgrade steps from that version to the current one, each inside its own transaction.
#include "store/TavDB.h"

#include "store/StepTransaction.h"
#include "support/FilePathParts.h"
#include "support/Log.h"
#include "support/TextConvert.h"

#include <sqlite3.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

constexpr char16_t kCancelLine[] = u"导入学习单元取消";

// `head` followed by the number and "...".
std::u16string VersionLine(std::u16string_view head, int32_t version)
{
    return std::u16string(head) + ToWide(std::to_string(version)) + u"...";
}

void LogBackupWarning(int line, std::u16string_view what, const std::u16string& path, const std::u16string& reason)
{
    CxLog::Instance().Log(u"TavDB", u"CTavDB::BackupUnit", line, 1, u"%s %s: %s", what, path, reason);
}

std::u16string Reason(const std::error_code& error) { return ToWide(error.message()); }

// "<name>_<version>_YYYYMMDD_HHMMSS.back" for the local time now.
std::u16string BackupFileName(const std::u16string& unitName, int32_t version)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "_%d_%04d%02d%02d_%02d%02d%02d.back", version, local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return unitName + ToWide(stamp);
}

} // namespace

int32_t CTavDB::GetVersionNum()
{
    int32_t version = 0;
    try {
        CSqliteQuery query = m_db.ExecuteQuery(u"Select versionNum From VersionInfo");
        while (!query.IsEof()) {
            version = query.IsNullField(0) ? 0 : query.GetIntField(0);
            query.NextRow();
        }
    } catch (const CSqliteException& e) {
        LogSqliteError(u"TavDB", u"CTavDB::GetVersionNum", __LINE__, e);
        return 0;
    }
    return version;
}

int CTavDB::BackupUnit()
{
    namespace fs = std::filesystem;
    const int32_t version = GetVersionNum();
    if (m_path.empty()) {
        LogBackupWarning(__LINE__, u"no backup: the unit has no path", m_path, u"");
        return 1;
    }
    const std::u16string unitName = FilePathParts(m_path).BaseName();

    // A unit file without an extension keeps its companion folder beside it too, rather than
    // scattering backups into the root folder.
    std::u16string contents;
    if (GetContentsFolder(contents, m_path) == 0)
        contents = m_path + u"_contents";
    const std::u16string folder = contents + u"/TavBackup";

    std::error_code error;
    fs::create_directories(fs::path(WideToUtf8(folder)), error);
    if (!error && !fs::is_directory(fs::path(WideToUtf8(folder)), error) && !error)
        error = std::make_error_code(std::errc::not_a_directory);
    if (error) {
        LogBackupWarning(__LINE__, u"backup folder cannot be made", folder, Reason(error));
        return 1;
    }

    // Only committed pages are in the file: with a transaction open on this connection the
    // copy would be a mix of old and new pages.
    if (m_db.IsOpen() && sqlite3_get_autocommit(m_db.Handle()) == 0) {
        LogBackupWarning(__LINE__, u"no backup while a transaction is open on", m_path, u"");
        return 1;
    }
    // A unit in write-ahead-log mode keeps committed pages in its log: fold them into the file.
    try {
        if (m_db.IsOpen()) {
            CSqliteQuery mode = m_db.ExecuteQuery(u"pragma journal_mode");
            const bool wal = !mode.IsEof() && mode.GetStringValue(0) == u"wal";
            mode = CSqliteQuery();
            if (wal)
                m_db.ExecuteQuery(u"pragma wal_checkpoint(TRUNCATE)");
        }
    } catch (const CSqliteException& e) {
        LogBackupWarning(__LINE__, u"backup may miss the write-ahead log of", m_path, e.ErrorMessageText());
    }

    const std::u16string target = folder + u"/" + BackupFileName(unitName, version);
    fs::copy_file(fs::path(WideToUtf8(m_path)), fs::path(WideToUtf8(target)), fs::copy_options::overwrite_existing,
                  error);
    if (error)
        LogBackupWarning(__LINE__, u"backup copy failed", target, Reason(error));
    return 1;
}

void CTavDB::RunUpgradeStep(size_t index)
{
    const UpgradeStep step = m_upgradeSteps[index];
    if (step == nullptr)
        return;
    // Committed when the step ends, also when it fails or its error escapes: a failed statement
    // keeps what came before it, while a process killed mid-step leaves the unit untouched.
    CStepTransaction transaction(m_db);
    (this->*step)();
}

void CTavDB::UpdateVersion()
{
    const int32_t version = GetVersionNum();
    if (version <= 0) {
        Report(10, 10, u"学习单元已经是最新版本，不需要升级");
        return;
    }
    if (version < kTavCurrentVersion) {
        Report(0, 10, u"备份学习单元");
        BackupUnit();
    }

    const int32_t remaining = kTavCurrentVersion - version;
    m_totalSteps = remaining + 21;
    Report(0, remaining, u"准备升级学习单元数据");
    if (IsCancelRequested()) {
        Report(m_totalSteps, m_totalSteps, kCancelLine);
        return;
    }

    m_currentStep = 0;
    const int32_t stepCount = static_cast<int32_t>(m_upgradeSteps.size());
    for (int32_t index = version - 1; index < stepCount; ++index) {
        const int32_t target = index + 2;
        Report(m_currentStep, remaining, VersionLine(u"升级学习单元数据到版本", target));
        if (IsCancelRequested()) {
            Report(m_currentStep, m_totalSteps, kCancelLine);
            return;
        }
        RunUpgradeStep(static_cast<size_t>(index));
        Report(m_currentStep, remaining, VersionLine(u"学习单元数据升级到版本", target));
        ++m_currentStep;
    }

    Report(m_currentStep, remaining, u"更新文献夹信息");
    CStepTransaction transaction(m_db);
    ReplaceLiteraInTav();
}
