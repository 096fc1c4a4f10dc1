#pragma once
// What a run of the store went through beyond its progress lines: why it failed, when the
// cause is known, and every warning and error it logged, so that a front end can show a run
// that was not clean as such.
#include <cstdint>
#include <string>
#include <vector>

enum class EUnitProblem {
    None,
    ReadOnlyFile,   // the unit's file may not be written
    ReadOnlyFolder, // its folder may not be written (no journal, no encrypted copy)
    DiskFull,
    WriteError,     // an I/O error, or a change that could not be committed
    NotADatabase,   // no SQLite database, another key, or no version record
    Damaged,        // fails SQLite's quick check, or SQLite found it corrupt
    EmptyFile,
    ForeignObject,  // a table of the layout is a view or a virtual table
    FilesNotCopied, // files of the import could not be written into the library
};

struct SRunReport {
    EUnitProblem cause = EUnitProblem::None;
    std::u16string detail;              // SQLite's text or the check's finding
    int64_t newerVersion = 0;           // the stored version when newer than this tool's
    std::vector<std::u16string> notes;  // warnings and errors logged during the run, in order
};

// A short English text for a cause ("the disk is full"); empty for None.
std::u16string DescribeUnitProblem(EUnitProblem problem);
// The cause behind an SQLite result code (primary or extended); None when it names none.
EUnitProblem UnitProblemOfSqliteCode(int32_t code);
// The cause, the detail and a newer layout in one text, e.g.
// "the disk is full (database or disk is full)"; empty when nothing is known.
std::u16string DescribeRunFailure(const SRunReport& report);
