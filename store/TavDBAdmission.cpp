// What the driver checks before it writes to a unit, and how it stops when writing fails.
#include "store/TavDB.h"

#include "store/StepTransaction.h"
#include "store/UnitFileChecks.h"
#include "support/LastError.h"
#include "support/Log.h"
#include "support/TextConvert.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace {

// The file may not be written: no write permission at all (which even root honours here, as
// the user meant the file to stay as it is), or none for this process.
bool IsReadOnlyFile(const std::string& path, const struct stat& status)
{
    return (status.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0;
}

// A rollback journal or an encrypted copy cannot be made beside the file.
bool IsReadOnlyFolder(const std::string& path)
{
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty())
        folder = ".";
    return ::access(folder.c_str(), W_OK | X_OK) != 0;
}

} // namespace

const SRunReport& CTavDB::RunReport()
{
    // A write failure that no check turned into a cause still names one.
    if (m_report.cause == EUnitProblem::None && m_db.WriteFailure().code != 0) {
        m_report.cause = UnitProblemOfSqliteCode(m_db.WriteFailure().code);
        m_report.detail = m_db.WriteFailure().text;
    }
    return m_report;
}

void CTavDB::LogNote(const char16_t* sourceFile, const char16_t* function, int line, int32_t level,
                     const std::u16string& text) const
{
    CxLog::Instance().Log(sourceFile, function, line, level, text);
    if (level >= 1)
        m_report.notes.push_back(std::u16string(function) + u": " + text);
}

int CTavDB::RefuseUnit(EUnitProblem cause, const std::u16string& detail)
{
    m_report.cause = cause;
    m_report.detail = detail;
    SetLastErrorCode(static_cast<uint32_t>(kTavSqliteError));
    const std::u16string text = u"learning unit refused: " + DescribeUnitProblem(cause) +
                                (detail.empty() ? u"" : u" (" + detail + u")");
    CxLog::Instance().Log(u"TavDB", u"CTavDB::RefuseUnit", __LINE__, 3, text);
    m_report.notes.push_back(u"CTavDB::RefuseUnit: " + text);
    return kTavSqliteError;
}

bool CTavDB::AdmitUnit(const std::u16string& path)
{
    const auto refuse = [this](EUnitProblem cause, const std::u16string& detail) {
        RefuseUnit(cause, detail);
        return false;
    };
    const std::string native = WideToUtf8(path);
    struct stat status {};
    if (::stat(native.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return refuse(EUnitProblem::NotADatabase, u"not a regular file");
    if (status.st_size == 0)
        return refuse(EUnitProblem::EmptyFile, {});
    if (IsReadOnlyFile(native, status))
        return refuse(EUnitProblem::ReadOnlyFile, {});
    if (IsReadOnlyFolder(native))
        return refuse(EUnitProblem::ReadOnlyFolder, {});

    bool encrypted = false;
    std::u16string error;
    // A run killed while writing leaves a hot journal behind. Only a connection that may write
    // rolls it back (a read-only one fails with SQLITE_READONLY_ROLLBACK, as if the file were
    // read-only), so the file, known to be writable by now, is opened for writing once first.
    std::error_code noJournal;
    if (std::filesystem::exists(native + "-journal", noJournal)) {
        CSqliteDB recovery;
        const int32_t recovered = OpenUnitFile(recovery, path, EUnitOpen::ReadWrite, encrypted, error);
        // Another key, or no database at all, is for the look below to say.
        if (recovered != 0 && UnitProblemOfSqliteCode(recovered) != EUnitProblem::NotADatabase)
            return refuse(EUnitProblem::WriteError,
                          u"the journal of an interrupted run could not be rolled back: " + error);
    }
    CSqliteDB db;
    const int32_t opened = OpenUnitFile(db, path, EUnitOpen::ReadOnly, encrypted, error);
    if (opened != 0) {
        const EUnitProblem cause = UnitProblemOfSqliteCode(opened);
        return refuse(cause == EUnitProblem::None ? EUnitProblem::NotADatabase : cause, error);
    }
    try {
        // Before the quick check: a virtual table of an unknown kind would make it fail as if
        // the file were damaged.
        const std::u16string foreign = FindForeignLayoutObject(db);
        if (!foreign.empty())
            return refuse(EUnitProblem::ForeignObject, foreign);
        const std::u16string check = QuickCheck(db);
        if (check != u"ok")
            return refuse(EUnitProblem::Damaged, check);
        if (!db.TableExists(u"VersionInfo"))
            return refuse(EUnitProblem::NotADatabase, u"no VersionInfo table");
        const int64_t version = ReadVersionNum(db);
        if (version > kTavCurrentVersion)
            m_report.newerVersion = version;
    } catch (const CSqliteException& e) {
        const EUnitProblem cause = UnitProblemOfSqliteCode(e.ErrorCode());
        return refuse(cause == EUnitProblem::None ? EUnitProblem::Damaged : cause, e.ErrorMessageText());
    }
    return true;
}

void CTavDB::BackupNewerLayout()
{
    if (m_report.newerVersion <= kTavCurrentVersion)
        return;
    CxLog::Instance().Log(u"TavDB", u"CTavDB::BackupNewerLayout", __LINE__, 0,
                          u"layout version %s is newer than %d: backing the unit up before it is changed",
                          ToWide(std::to_string(m_report.newerVersion)), kTavCurrentVersion);
    BackupUnit();
}

bool CTavDB::CommitWrites(CStepTransaction& transaction, const std::u16string& what)
{
    std::u16string reason;
    if (m_db.WriteFailure().code != 0) {
        transaction.Rollback();
        reason = m_db.WriteFailure().text;
    } else if (!transaction.Commit() && !IsCancelRequested()) {
        reason = m_db.WriteFailure().code != 0 ? m_db.WriteFailure().text : u"its changes could not be committed";
    } else {
        return true;
    }
    m_writeStopped = true;
    if (m_report.cause == EUnitProblem::None) {
        const EUnitProblem cause = UnitProblemOfSqliteCode(m_db.WriteFailure().code);
        m_report.cause = cause == EUnitProblem::None ? EUnitProblem::WriteError : cause;
        m_report.detail = reason;
    }
    SetLastErrorCode(static_cast<uint32_t>(kTavSqliteError));
    const std::u16string text = u"upgrade stopped: " + what + u" could not be written: " + reason;
    CxLog::Instance().Log(u"TavDB", u"CTavDB::CommitWrites", __LINE__, 3, text);
    m_report.notes.push_back(u"CTavDB::CommitWrites: " + text);
    return false;
}
