// The upgrade driver: reads the stored layout version, backs the unit up and runs the
// upgrade steps from that version to the current one, each inside its own transaction.
#include "store/TavDB.h"

#include "store/StepTransaction.h"
#include "store/UnitFileChecks.h"
#include "support/ContainedPath.h"
#include "support/DurableFile.h"
#include "support/FilePathParts.h"
#include "support/Log.h"
#include "support/TextConvert.h"


#include <climits>
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

std::u16string BackupWarning(std::u16string_view what, const std::u16string& path, const std::u16string& reason)
{
    return cxlog::Format(u"%s %s: %s", what, path, reason);
}

std::u16string Reason(const std::error_code& error) { return ToWide(error.message()); }

// "<name>_<version>_YYYYMMDD_HHMMSS.back" for the local time now.
std::u16string BackupFileName(const std::u16string& unitName, int64_t version)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "_%lld_%04d%02d%02d_%02d%02d%02d.back", static_cast<long long>(version), local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return unitName + ToWide(stamp);
}

} // namespace

int32_t CTavDB::GetVersionNum()
{
    int64_t version = 0;
    try {
        version = ReadVersionNum(m_db);
    } catch (const CSqliteException& e) {
        LogSqliteError(u"TavDB", u"CTavDB::GetVersionNum", __LINE__, e);
        return 0;
    }
    // Read whole: a number beyond 32 bits is a layout newer than any this tool knows (or, below
    // zero, one that cannot be used), never a version that wraps round into 1..16.
    if (version > INT32_MAX)
        return INT32_MAX;
    if (version < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(version);
}

int CTavDB::BackupUnit()
{
    namespace fs = std::filesystem;
    // The whole number, for the backup's name (a newer layout's may not fit 32 bits).
    int64_t version = 0;
    try {
        version = ReadVersionNum(m_db);
    } catch (const CSqliteException& e) {
        LogSqliteError(u"TavDB", u"CTavDB::BackupUnit", __LINE__, e);
    }
    if (m_path.empty()) {
        LogWarning(u"CTavDB::BackupUnit", __LINE__, BackupWarning(u"no backup: the unit has no path", m_path, u""));
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
    // A link in place of the companion folder or of its backup folder may lead anywhere (units
    // travel between people): no backup then, rather than one written outside the unit's folder.
    for (const std::u16string& step : {contents, folder}) {
        if (fs::is_symlink(fs::symlink_status(fs::path(WideToUtf8(step)), error))) {
            LogWarning(u"CTavDB::BackupUnit", __LINE__,
                       BackupWarning(u"no backup made: the backup folder is reached through a link", step, u""));
            return 1;
        }
    }
    fs::create_directories(fs::path(WideToUtf8(folder)), error);
    if (!error && !fs::is_directory(fs::path(WideToUtf8(folder)), error) && !error)
        error = std::make_error_code(std::errc::not_a_directory);
    if (error) {
        LogWarning(u"CTavDB::BackupUnit", __LINE__, BackupWarning(u"no backup made: the backup folder cannot be made", folder, Reason(error)));
        return 1;
    }

    // Only committed pages are in the file: with a transaction open on this connection the
    // copy would be a mix of old and new pages.
    if (m_db.IsOpen() && m_db.InTransaction()) {
        LogWarning(u"CTavDB::BackupUnit", __LINE__, BackupWarning(u"no backup made: a transaction is open on", m_path, u""));
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
        LogWarning(u"CTavDB::BackupUnit", __LINE__, BackupWarning(u"backup may miss the write-ahead log of", m_path, e.ErrorMessageText()));
    }

    const std::u16string target = folder + u"/" + BackupFileName(unitName, version);
    if (CopyDurably(m_path, target))
        VerifyBackup(target);
    return 1;
}

bool CTavDB::CopyDurably(const std::u16string& source, const std::u16string& target) const
{
    namespace fs = std::filesystem;
    // Whole or absent under the final name: copy beside it, make the copy durable, rename.
    const std::string final = WideToUtf8(target);
    const std::string temporary = final + ".part";
    std::error_code error;
    // A link left under the temporary name would be written through.
    fs::remove(fs::path(temporary), error);
    fs::copy_file(fs::path(WideToUtf8(source)), fs::path(temporary), fs::copy_options::overwrite_existing, error);
    if (!error && !SyncPath(temporary))
        error = std::make_error_code(std::errc::io_error);
    if (!error)
        fs::rename(fs::path(temporary), fs::path(final), error);
    if (error) {
        std::error_code ignored;
        fs::remove(fs::path(temporary), ignored);
        LogWarning(u"CTavDB::BackupUnit", __LINE__, BackupWarning(u"no backup made: backup copy failed", target, Reason(error)));
        return false;
    }
    SyncParentFolder(final);
    return true;
}

void CTavDB::VerifyBackup(const std::u16string& target) const
{
    // The unit passed its quick check before anything was written; a copy that holds the same
    // bytes reads back as the unit does. Comparing costs a fraction of decrypting and checking
    // every page of the copy again.
    std::string problem;
    if (SameFileBytes(std::filesystem::path(WideToUtf8(m_path)), std::filesystem::path(WideToUtf8(target)), problem))
        return;
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::path(WideToUtf8(target)), ignored);
    LogWarning(u"CTavDB::BackupUnit", __LINE__,
               BackupWarning(u"no backup made: the copy does not read back", target, Utf8ToWide(problem)));
}

bool CTavDB::RunUpgradeStep(size_t index)
{
    const UpgradeStep step = m_upgradeSteps[index];
    if (step == nullptr)
        return true;
    // Committed when the step ends, also when it fails or its error escapes: a failed statement
    // keeps what came before it, while a process killed mid-step leaves the unit untouched.
    // A step whose writes failed is undone instead, so that a rerun does it whole.
    m_db.ClearWriteFailure();
    CStepTransaction transaction(m_db);
    try {
        (this->*step)();
    } catch (const CSqliteException&) {
        if (m_db.WriteFailure().code == 0)
            throw;
    }
    return CommitWrites(transaction, u"the step to version " + ToWide(std::to_string(index + 2)));
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
        if (!RunUpgradeStep(static_cast<size_t>(index)))
            return; // the version stays at the last step written whole; no later step runs
        Report(m_currentStep, remaining, VersionLine(u"学习单元数据升级到版本", target));
        ++m_currentStep;
    }

    Report(m_currentStep, remaining, u"更新文献夹信息");
    m_db.ClearWriteFailure();
    CStepTransaction transaction(m_db);
    ReplaceLiteraInTav();
    CommitWrites(transaction, u"the folder update");
}
