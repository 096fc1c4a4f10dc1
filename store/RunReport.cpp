#include "store/RunReport.h"

#include "support/TextConvert.h"

#include <sqlite3.h>

std::u16string DescribeUnitProblem(EUnitProblem problem)
{
    switch (problem) {
    case EUnitProblem::None: return {};
    case EUnitProblem::ReadOnlyFile: return u"the learning unit's file is read-only";
    case EUnitProblem::ReadOnlyFolder: return u"the folder of the learning unit cannot be written";
    case EUnitProblem::DiskFull: return u"the disk is full";
    case EUnitProblem::WriteError: return u"the learning unit could not be written";
    case EUnitProblem::NotADatabase: return u"not a learning unit, or encrypted with another key";
    case EUnitProblem::Damaged: return u"the learning unit is damaged";
    case EUnitProblem::EmptyFile: return u"the file is empty";
    case EUnitProblem::ForeignObject: return u"a table of the layout is a view or a virtual table";
    case EUnitProblem::FilesNotCopied: return u"files could not be copied into the library";
    }
    return {};
}

EUnitProblem UnitProblemOfSqliteCode(int32_t code)
{
#ifndef SQLITE_READONLY_DIRECTORY
    constexpr int32_t SQLITE_READONLY_DIRECTORY = SQLITE_READONLY | (6 << 8);
#endif
    // Of the read-only codes only the plain one and the folder's mean that the file may not be
    // written; the others (a journal a read-only connection cannot roll back, a lock) say that
    // writing went wrong.
    if (code == SQLITE_READONLY_DIRECTORY)
        return EUnitProblem::ReadOnlyFolder;
    if ((code & 0xFF) == SQLITE_READONLY && code != SQLITE_READONLY)
        return EUnitProblem::WriteError;
    switch (code & 0xFF) {
    case SQLITE_FULL: return EUnitProblem::DiskFull;
    case SQLITE_READONLY: return EUnitProblem::ReadOnlyFile;
    case SQLITE_CANTOPEN: return EUnitProblem::ReadOnlyFolder;
    case SQLITE_IOERR: return EUnitProblem::WriteError;
    case SQLITE_NOTADB: return EUnitProblem::NotADatabase;
    case SQLITE_CORRUPT: return EUnitProblem::Damaged;
    default: return EUnitProblem::None;
    }
}

std::u16string DescribeRunFailure(const SRunReport& report)
{
    std::u16string text = DescribeUnitProblem(report.cause);
    if (!text.empty() && !report.detail.empty())
        text += u" (" + report.detail + u")";
    if (report.newerVersion > 0) {
        if (!text.empty())
            text += u"; ";
        text += u"the layout version " + ToWide(std::to_string(report.newerVersion)) +
                u" is newer than this tool knows";
    }
    return text;
}
