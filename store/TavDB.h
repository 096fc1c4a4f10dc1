#pragma once
// The learning-unit store: one object per import, owning the connection to one unit file
// and everything the upgrade and the import keep between steps.
#include "store/Progress.h"
#include "sqlite/SqliteDB.h"
#include "store/Records.h"
#include "store/RunReport.h"
#include "store/StepTransaction.h"
#include "store/StoreCodes.h"

class IOvDataMiddle;

#include <array>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// The fixed database key of every learning unit (12 bytes, no terminator).
inline constexpr char kTavDatabaseKey[] = "3A7F0C52E9B4";
inline constexpr int32_t kTavDatabaseKeyLength = 12;
// The layout version this tool brings every unit to.
inline constexpr int32_t kTavCurrentVersion = 16;

// Local time as "%04d-%02d-%02d %02d:%02d:%02d".
std::u16string GetLocalTimeText();

class CStepTransaction;

class CTavDB {
public:
    CTavDB();
    CTavDB(const CTavDB&) = delete;
    CTavDB& operator=(const CTavDB&) = delete;
    virtual ~CTavDB();

    // ---- Driver ----
    int Init(const std::u16string& path, std::u16string& tavId, const std::u16string& userKey, ProgressCallback callback);
    int InitDbVersion();
    int UpdateUUid(const std::u16string& tavId);
    std::u16string GetUserKey();

    // Pause used between the bulk statements of the upgrade (10 ms by default; 0 for speed).
    // Every pause counts one row done on the activity callback; the caller tests the cancel flag
    // right after it, so that a cancel never waits more than one pause.
    void SetPauseMilliseconds(int32_t milliseconds) { m_pauseMs = milliseconds; }
    int32_t PauseMilliseconds() const { return m_pauseMs; }
    void SetActivityCallback(ActivityCallback activity) { m_activity = std::move(activity); }
    void Pause();
    // A page cache that holds the whole unit for the upgrade's table walks (at least 64 MiB),
    // and a small one for the import, which reads each table once.
    void UseLargePageCache();
    void UseImportPageCache();

    // ---- Layout: creation, column and utility operations ----
    int CreateCategoryTable();
    int CreateCategoryLitera();
    int CreateLiteraInfo();
    int CreateLiteraInfoTempTable();
    int CreateNoteType();
    int CreateNoteContent();
    int CreateLiteraStyles();
    int CreateNoteSort();
    int CreateNoteLabelTable();
    int CreateLabelTable();
    int CreateNoteRelationTable();
    int CreateNoteReply();
    int CreateSortType();
    int CreateLiteraRelate();
    int CreateTrashTable();
    int CreateDownInfoTable();
    int CreateWebPageInfoTable();
    int CreateWebPageCategoryTable();
    int CreateWebPageCategoryInfoTable();
    int CreateWebPageTrashTable();
    int CreatePushLiteraInfoTable();
    int CreatePushItemTable();
    int CreatePushRelationTable();
    int LiteraInfoAddTableNameField();
    int LiteraInfoAddKnowledgeInfoField();
    int LiteraInfoAddLockedField();
    int LiteraInfoAddOdataCodeField();
    int NoteContentAddIsPublicField();
    int NoteContentAddIsCompiledField();
    int NoteContentAddUnitIdField();
    int NoteContentAddKnowledgeIdField();
    int TableAddColumn(const std::u16string& table);
    int IsColumnExist(const std::u16string& table, const std::u16string& column);
    int DropTable(const std::u16string& name);
    // BEGIN layout helpers (owned by the layout code; add private helpers below in its section)
private:
    // Runs each statement on its own, in order.
    void ExecuteLayoutStatements(std::initializer_list<std::u16string_view> statements);
    // Column probe and add statement; true when the column was added.
    bool AddColumnWhenMissing(const std::u16string& table, const std::u16string& column, const std::u16string& statement);
    // A creation operation whose table needs nothing beyond its creation statements (the
    // creation statement, then indexes and default rows) when it is missing.
    int CreateTableWhenMissing(const char16_t* function, int line, const char16_t* table,
                               std::initializer_list<std::u16string_view> statements);
    // A column operation: one probe and its add statement.
    int AddColumnOperation(const char16_t* function, int line, const char16_t* table, const char16_t* column,
                           const char16_t* statement);
    // Brings an existing LiteraInfo up to date (the columns of later layouts).
    void UpgradeExistingLiteraInfo();
    // Rebuilds WebPage_Info without its DOI column, all or nothing.
    void RebuildWebPageInfoWithoutDoi();
    // Runs body under the layout operations' handler: a caught SQLite error is logged under
    // function and gives 0; other exceptions pass through.
    template <typename Body>
    int RunLayoutOperation(const char16_t* sourceFile, const char16_t* function, int line, Body&& body)
    {
        try {
            return body();
        } catch (const CSqliteException& e) {
            LogSqliteError(sourceFile, function, line, e);
            return 0;
        }
    }
public:
    // END layout helpers

    // ---- Upgrade driver, backup, steps 2 to 12 ----
    void UpdateVersion();
    int32_t GetVersionNum();
    int BackupUnit();
    int UpdateVersionTo2();
    int UpdateVersionTo3();
    int UpdateVersionTo4();
    int UpdateVersionTo5();
    int UpdateVersionTo6();
    int UpdateVersionTo7();
    int UpdateVersionTo8();
    int UpdateVersionTo9();
    int UpdateVersionTo10();
    int UpdateVersionTo11();
    int UpdateVersionTo12();
    // BEGIN upgrade 2-12 helpers
protected:
    // `pragma cache_size` in KiB on the unit's connection; a failure is only logged.
    void SetPageCacheKilobytes(int64_t kilobytes);
    // Runs one entry of m_upgradeSteps inside its own transaction, committed however the step
    // ends unless writing failed; false when writing failed (the step is then undone).
    bool RunUpgradeStep(size_t index);
    // Runs a step's body; an SQLite error is logged under `function` and gives 0.
    int RunGuardedStep(const char16_t* function, int line, const std::function<void()>& body);
    // Copies the unit file to `target` whole or not at all; false (logged) when it failed.
    bool CopyDurably(const std::u16string& source, const std::u16string& target) const;
    // Removes (and logs) a backup copy whose bytes differ from the unit's.
    void VerifyBackup(const std::u16string& target) const;
    // "update VersionInfo set VersionNum = <version> where ID = 1".
    void WriteVersionNum(int32_t version);

public:
    // END upgrade 2-12 helpers

    // ---- Steps 13 to 16 and the readers the upgrade uses ----
    int UpdateVersionTo13();
    int UpdateVersionTo14();
    int UpdateVersionTo15();
    int UpdateVersionTo16();
    // BEGIN upgrade 13-16 and readers
    // Makes the top-level folder "网页资料" (or the first free "网页资料_n"); its CategoryId, 0 on error.
    int32_t CreateFolder();
    // The LiterGuid of the literature with this DOI; an empty one is made and written wherever
    // the literature is referred to. Empty text when no literature has the DOI or on error.
    std::u16string GetLiterGuidByDOI(const std::u16string& doi);
    // The pkid of the literature with this DOI; 0 when there is none or on error.
    int32_t GetPkidByDOI(const std::u16string& doi);
    // Reads WebPage_Info into m_webLiteratures (once; creates the table when missing).
    int FillWebLiteratureInfo();
    // Moves literature filed at the root (CategoryId 0) into the top-level folder "要学习的文献".
    void ReplaceLiteraInTav();
    // CategoryId of the top-level folder of that name; -1 when there is none or on error.
    int32_t GetFolderIdByName(const std::u16string& name);
    // The companion folder of a unit file: the path without its extension, then "_contents".
    // 0 (folder untouched) when the file name has no extension.
    static int GetContentsFolder(std::u16string& folder, const std::u16string& path);
    const std::map<int32_t, std::shared_ptr<SPersonalWebLiteratureInfo>>& WebLiteratures() const { return m_webLiteratures; }

protected:
    // Cancel test inside an upgrade step: reports the cancel line and undoes the step's
    // unfinished changes, so that a later run does the whole step again exactly once.
    bool CancelUpgradeStep();
    // The eight sections of step 14; false ends the step.
    bool UpdateCategoryGuids();
    bool UpdateLiteratureGuids();
    bool UpdateCategoryLiteraGuids();
    bool UpdateLiteraRelateGuids();
    bool UpdateDownInfoGuids();
    bool UpdateNoteGuids();
    bool UpdateLabelGuids();
    bool UpdateTrashGuids();
    // Adds each missing column by "alter table <table> add column <column> <declaration>".
    void AddColumnsWhenMissing(const char16_t* table,
                               std::initializer_list<std::pair<const char16_t*, const char16_t*>> columns);
    // Step 15 for one literature item; false stops the walk over the literature items.
    bool MoveNoteItemsOfLiterature(const std::u16string& literGuid);
    // A DOI for a web page that no literature has yet.
    std::u16string MakeWebPageDoi(const std::u16string& title);

public:
    // END upgrade 13-16 and readers

    // ---- Readers of folders, literature, reading state, notes and labels ----
    using IdSet = std::set<int32_t>;
    using IdSetCache = std::map<int32_t, std::shared_ptr<IdSet>>;
    // Each fills its cache once; a non-empty cache answers 1 without reading.
    int FillLiteratureInfo();
    int FillLiteratureFolder();
    int FillNoteInfo();
    // The reading state of one literature; 0 (last error 0x20001F49) when it has no row.
    int GetLiteratureRelate(std::shared_ptr<SPersonalLiteratureLiteraRelate>& relate, int32_t pkid);
    // The distinct label texts of one note (by its PosID).
    int GetLabelInfoByNote(std::list<std::u16string>& labels, const std::u16string& noteId);
    // Every non-recycled folder below parentId, at any depth.
    int GetAllSubCategoryIds(IdSet& ids, int32_t parentId);
    // The pkids of a folder's literature, or of the whole unit for -1.
    int GetLiteratureInfoIdList(std::shared_ptr<IdSet>& ids, int32_t categoryId);
    // The integers of column 0 of `sql`, cached in `cache` under `key`.
    int GetIdList(std::shared_ptr<IdSet>& ids, int32_t key, IdSetCache& cache, const std::u16string& sql);
    int GetLiteratureFolder(std::shared_ptr<SPersonalLiteratureFolder>& folder, int32_t categoryId);
    int GetLiteratureInfo(std::shared_ptr<SPersonalLiteratureInfo>& info, int32_t pkid);
    // Gives the literature its LiteraRelate row when it has none, with FileType from its file.
    int UpdateToLiteratureRelate(int32_t pkid, const std::shared_ptr<SPersonalLiteratureInfo>& literature);
    // The reading-state rows of every literature that has none, in one statement; returns their
    // pkids (none after a failure, which is logged).
    std::unordered_set<int32_t> AddMissingLiteratureRelates();
    void SetLiteratureFileType(int32_t pkid, const SPersonalLiteratureInfo& literature);
    void AddLiteraRelateIsRead();
    // Error code and log line of a failed reading-state statement.
    void LogReadingStateError(const CSqliteException& e, const std::u16string& sql);

    // ---- Import into the personal library ----
    int ImportToPersonalLibrary(const std::u16string& path);
    int ImportFolderTree(int32_t& counter, int32_t parentId, const std::u16string& parentGuid, const std::u16string& tavGuid);
    int ImportAttachmentFile(std::u16string& storedPath, const std::u16string& unitPath, const std::u16string& filePath,
                             const std::u16string& user, const std::u16string& tavGuid);
    // Copies the folder `source` into `target` as its subfolder, replacing files; 1 on success.
    int CopyFolder(const std::u16string& source, const std::u16string& target, std::u16string& errorText);
    static int CopyLiteratureInfo(std::shared_ptr<SLiteratureInfo>& target, const std::shared_ptr<SPersonalLiteratureInfo>& source);
    static int CopyLiteratureRelate(std::shared_ptr<SLiteratureRelate>& target,
                                    const std::shared_ptr<SPersonalLiteratureLiteraRelate>& source);
    int ImportNotesAndLabels(const std::u16string& tavGuid);
    static int CopyNoteInfo(std::shared_ptr<SNoteInfo>& target, const std::shared_ptr<SPersonalNoteInfo>& source);
    // This note's item of its literature's note-set, packed as a Comments text; empty when none.
    std::u16string ExtractNoteComments(const std::u16string& oldLiterGuid, const std::u16string& posId);
    // A note-set cut into what ExtractNoteComments needs, parsed once per literature.
    struct SNoteSetItems {
        std::u16string prefix;
        std::u16string suffix;
        std::map<std::u16string, std::u16string> itemById;   // first Item of each id, serialized
    };
    static SNoteSetItems SplitNoteSet(const std::u16string& noteSet);
    // The user whose library the import writes to, read at its first use in a run.
    const std::u16string& ImportUser();
    // True once a cancel checkpoint of the import has seen the flag (the import then returns 0).
    bool ImportCancelled() const { return m_importCancelled; }
    // With `replace`, a completed import also removes the library's complete earlier entries of
    // the same unit (incomplete ones go in any case).
    void SetReplaceEarlierEntries(bool replace) { m_replaceEarlier = replace; }
    // The earlier entries of this unit that the last completed import found, and what became of them.
    const std::vector<SEarlierEntry>& EarlierEntries() const { return m_earlierEntries; }

    // ASCII letters fold; other text compares as is.
    static bool SameTextIgnoringCase(const std::u16string& left, const std::u16string& right);

    // ---- Checks before writing, and what a run went through ----
    // Why the last run failed (when known) and the warnings and errors it logged.
    const SRunReport& RunReport();

protected:
    // Looks at the unit file through a read-only connection before anything is written to it:
    // refuses (false, cause set and logged) a file that is empty, not a regular file, read-only
    // or in a folder that cannot be written, that reads neither plainly nor with the key, that
    // fails the quick check, that holds a view or virtual table in place of a layout table, or
    // that has no version record. Notes a layout newer than this tool's.
    bool AdmitUnit(const std::u16string& path);
    // Records and logs why the run cannot go on; returns kTavSqliteError.
    int RefuseUnit(EUnitProblem cause, const std::u16string& detail);
    // A unit of a newer layout gets no upgrade step, hence no backup from the upgrade: back it
    // up before the creation pass changes it.
    void BackupNewerLayout();
    // After a step or the creation pass: true when its writes were committed. On a write
    // failure (or a commit that did not happen) its transaction is rolled back, the stop is
    // recorded and logged with `what`, and false is returned.
    bool CommitWrites(CStepTransaction& transaction, const std::u16string& what);
    // True once a write failure stopped the run.
    bool WriteStopped() const { return m_writeStopped; }
    // Logs a line and keeps it for the run report (levels 1 and above: warnings and errors).
    void LogNote(const char16_t* sourceFile, const char16_t* function, int line, int32_t level,
                 const std::u16string& text) const;
    // A warning (level 1) of source file TavDB.
    void LogWarning(const char16_t* function, int line, const std::u16string& text) const
    {
        LogNote(u"TavDB", function, line, 1, text);
    }

public:
    // Accessors for front ends and tests.
    const std::u16string& TavId() const { return m_tavId; }
    const std::u16string& Path() const { return m_path; }
    int32_t TotalSteps() const { return m_totalSteps; }
    int32_t CurrentStep() const { return m_currentStep; }
    CSqliteDB& Database() { return m_db; }

protected:
    using UpgradeStep = int (CTavDB::*)();

    // The personal library service the import talks to (the process-wide one).
    virtual IOvDataMiddle& Library();
    // Cancel checkpoint of the import: reports the cancel line when the flag is set.
    bool ImportCancelCheckpoint();
    // Rollback checkpoint: a set flag removes the entry again and reports the cancel line.
    bool RollbackCheckpoint(const std::u16string& tavGuid);
    // The literature of one folder; false when a cancel checkpoint saw the flag.
    bool ImportFolderLiterature(int32_t categoryId, const std::u16string& folderGuid, const std::u16string& tavGuid);
    // One literature of a folder; false when a cancel checkpoint saw the flag.
    bool ImportLiterature(int32_t pkid, const std::u16string& folderGuid, const std::u16string& tavGuid);
    // The folder of the unit's companion folder named `name` ("<folder><title>_contents/<name>").
    // "<folder>/<name>_contents" beside the unit at `unitPath`.
    static std::u16string CompanionFolder(const std::u16string& unitPath);
    std::u16string CompanionSubfolder(const std::u16string& name) const;
    // Copies a companion subfolder into "<sync folder><user>/".
    void CopyCompanionSubfolder(const std::u16string& name);
    // Where the entry comes from: the unit's TavId, path, layout version before the upgrade, start of the run.
    void DescribeSource(STavInfo& unit, const std::u16string& path) const;
    // After the entry completed: settles the earlier entries of the same unit and says what became of them.
    void SettleEarlierEntries(const std::u16string& tavGuid);
    // A file that should have reached the library and did not: logged, kept for the run
    // report, and the import will not be completed.
    void NoteUnwrittenFile(const char16_t* function, const std::u16string& path, const std::u16string& reason);

    // Reports one line through the callback, when there is one.
    void Report(int32_t position, int32_t maximum, const std::u16string& text) const;
    // Logs a caught SQLite error under this store's conventions and sets the last-error code.
    void LogSqliteError(const char16_t* sourceFile, const char16_t* function, int line, const CSqliteException& e) const;

    std::array<UpgradeStep, 15> m_upgradeSteps{};
    std::u16string m_tavId;
    std::u16string m_userKey;
    std::u16string m_path;
    CSqliteDB m_db;
    // Record caches and maps of the readers and the import.
    std::map<int32_t, std::shared_ptr<SPersonalLiteratureFolder>> m_folders;
    std::map<int32_t, std::shared_ptr<SPersonalLiteratureInfo>> m_literatures;
    std::map<int32_t, std::shared_ptr<SPersonalWebLiteratureInfo>> m_webLiteratures;
    std::map<int32_t, std::shared_ptr<SPersonalNoteInfo>> m_notes;
    IdSetCache m_folderChildIds;
    IdSetCache m_folderLiteratureIds;
    // Keyed by LiterGuid and only ever looked up: hashed, as a tree of 100,000 GUIDs costs a
    // string comparison per level for every note.
    std::unordered_map<std::u16string, std::u16string> m_markPosByLiterGuid;
    std::unordered_map<std::u16string, SNoteSetItems> m_noteSetItems;
    // Note PosID -> its labels, read from the Label table at the first look-up.
    std::map<std::u16string, std::list<std::u16string>> m_labelsByNote;
    bool m_labelsRead = false;
    // m_folderLiteratureIds holds the links of every folder (read in one pass).
    bool m_folderLiteratureRead = false;
    // LiteraRelate is known to have its IsRead column (probed or added once).
    bool m_literaRelateHasIsRead = false;
    ProgressCallback m_callback;
    int32_t m_totalSteps = 0;
    int32_t m_currentStep = 0;
    int32_t m_folderCount = 0;
    // Learning-unit LiterGuid -> library LiterGuid of the literature imported so far.
    std::unordered_map<std::u16string, std::u16string> m_newLiterGuids;
    // Literature without a LiterGuid whose reading state was sent.
    std::set<int32_t> m_importedPkidsWithoutGuid;
    // Folders the current walk has entered: a folder is walked once, whatever its links say.
    std::set<int32_t> m_walkedFolderIds;
    std::u16string m_importUser; // the library's user for this import (ImportUser)
    // Open while the literature walk reads the unit (see ImportLiterature).
    std::optional<CStepTransaction> m_literatureReads;
    bool m_importCancelled = false;
    bool m_replaceEarlier = false;
    std::vector<SEarlierEntry> m_earlierEntries;
    std::u16string m_runStart;
    int32_t m_versionBeforeUpgrade = 0;
    // Files of this import that could not be copied into the library.
    int32_t m_unwrittenFiles = 0;
    int32_t m_pauseMs = 10;
    ActivityCallback m_activity;
    int64_t m_rowsDone = 0;
    mutable SRunReport m_report;
    bool m_writeStopped = false;
};
