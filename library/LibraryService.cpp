#include "library/LibraryService.h"

#include "library/LibraryColumns.h"
#include "library/LibraryErrors.h"
#include "library/LibraryFiles.h"
#include "library/LibraryKnownRows.h"
#include "library/LibrarySql.h"
#include "support/Guid.h"
#include "support/Log.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool Exists(CLibraryDatabase& library, const std::u16string& sql, const std::vector<SqlValue>& values)
{
    return !library.Statements().Run(library.Db(), sql, values).IsEof();
}

bool NoteExists(CLibraryDatabase& library, const std::u16string& tavGuid, const std::u16string& posId)
{
    return Exists(library, u"select 1 from Note where TavGuid=? and PosID=?", {tavGuid, posId});
}

// The statements with a column list, built once: an import runs each of them thousands of times.
const std::u16string& InsertLiteratureSql()
{
    static const std::u16string sql = u"insert into Literature(LiterGuid,TavGuid,DoiKey,AddTime," +
                                      LiteratureColumns().Names() + u") values(?,?,?,?," +
                                      LiteratureColumns().Placeholders() + u")";
    return sql;
}

const std::u16string& InsertRelateSql()
{
    static const std::u16string sql = u"insert or replace into LiteratureRelate(LiterGuid,TavGuid," +
                                      RelateColumns().Names() + u") values(?,?," + RelateColumns().Placeholders() + u")";
    return sql;
}

const std::u16string& InsertNoteSql()
{
    static const std::u16string sql =
        u"insert into Note(TavGuid,PosID," + NoteColumns().Names() + u") values(?,?," + NoteColumns().Placeholders() + u")";
    return sql;
}

const std::u16string& UpdateNoteSql()
{
    static const std::u16string sql =
        u"update Note set " + NoteColumns().AssignmentPlaceholders() + u" where TavGuid=? and PosID=?";
    return sql;
}

const std::u16string& SelectNoteSql()
{
    static const std::u16string sql = u"select " + NoteColumns().Names() + u" from Note where TavGuid=? and PosID=?";
    return sql;
}

// DOIs compare without regard to ASCII case and surrounding blanks.
std::u16string DoiKey(const std::u16string& doi)
{
    const auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\u3000'; };
    size_t begin = 0;
    size_t end = doi.size();
    while (begin < end && blank(doi[begin]))
        ++begin;
    while (end > begin && blank(doi[end - 1]))
        --end;
    std::u16string key = doi.substr(begin, end - begin);
    for (char16_t& c : key) {
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    }
    return key;
}

// The literature of the entry that `literature` stands for: the one with the same DOI, or,
// without a DOI, the one with the same title, authors, source, time, file and link.
std::u16string FindSameLiterature(CLibraryDatabase& library, const std::u16string& tavGuid,
                                  const SLiteratureInfo& literature, const std::u16string& doiKey)
{
    std::u16string sql = u"select LiterGuid from Literature where TavGuid=? and DoiKey=?";
    std::vector<SqlValue> values {tavGuid, doiKey};
    if (doiKey.empty()) {
        if (literature.Title.empty())
            return std::u16string();
        sql += u" and Title=? and Author=? and Source=? and PubTime=? and FilePath=? and Link=?";
        values.insert(values.end(), {literature.Title, literature.Author, literature.Source, literature.PubTime,
                                     literature.FilePath, literature.Link});
    }
    CBoundQuery query = library.Statements().Run(library.Db(), sql + u" order by rowid limit 1", values);
    return query.IsEof() ? std::u16string() : query.GetStringValue(0);
}

} // namespace

bool CLibraryService::KnownOrFound(CLibraryKnownRows::Kind kind, const std::u16string& tavGuid,
                                   const std::u16string& guid, const std::u16string& sql,
                                   const std::vector<SqlValue>& values)
{
    if (m_batchTransactionOpen && m_known.Has(kind, tavGuid, guid))
        return true;
    if (!Exists(m_database, sql, values))
        return false;
    RememberMade(kind, tavGuid, guid);
    return true;
}

bool CLibraryService::UnitExists(const std::u16string& tavGuid)
{
    return KnownOrFound(CLibraryKnownRows::Kind::Unit, tavGuid, {}, u"select 1 from LearningUnit where TavGuid=?",
                        {tavGuid});
}

bool CLibraryService::FolderExists(const std::u16string& tavGuid, const std::u16string& folderGuid)
{
    return KnownOrFound(CLibraryKnownRows::Kind::Folder, tavGuid, folderGuid,
                        u"select 1 from Folder where TavGuid=? and FolderGuid=?", {tavGuid, folderGuid});
}

bool CLibraryService::LiteratureExists(const std::u16string& tavGuid, const std::u16string& literGuid)
{
    return KnownOrFound(CLibraryKnownRows::Kind::Literature, tavGuid, literGuid,
                        u"select 1 from Literature where TavGuid=? and LiterGuid=?", {tavGuid, literGuid});
}

void CLibraryService::RememberMade(CLibraryKnownRows::Kind kind, const std::u16string& tavGuid, const std::u16string& guid)
{
    // Only while a batch is open: once it commits, another program may remove the row before
    // the next batch begins.
    if (m_batchTransactionOpen)
        m_known.Add(kind, tavGuid, guid);
}

void CLibraryService::ProtectWrites(CSqliteDB& db)
{
    if (m_batchTransactionOpen && !m_operationSavepoint) {
        ExecCached(db, u"savepoint operation");
        m_operationSavepoint = true;
    }
}

std::u16string CLibraryService::LastStorageMessage() const
{
    std::lock_guard lock(m_mutex);
    return m_lastStorageMessage;
}

int32_t CLibraryService::RunInTransaction(const char16_t* operation, const std::u16string& user, const Body& body,
                                          bool writes)
{
    if (m_batching) {
        if (user == m_batchUser)
            return RunInBatch(operation, user, body);
        // Another user's library replaces the open connection: the batch is committed first.
        CommitBatch();
    }
    const int32_t opened = m_database.Open(user, true);
    if (opened != kLibraryOk)
        return opened;
    CSqliteDB& db = m_database.Db();
    try {
        CLibraryTransaction transaction(db, writes ? CLibraryTransaction::Kind::Write : CLibraryTransaction::Kind::Read);
        const int32_t result = body(db);
        if (result == kLibraryOk)
            transaction.Commit();
        return result;
    } catch (const CSqliteException& e) {
        m_lastStorageMessage = e.ErrorMessageText();
        CxLog::Instance().Log(u"LibraryService", operation, __LINE__, 3, e.ErrorMessage());
        return kLibraryStorageError;
    }
}

int32_t CLibraryService::RunInBatch(const char16_t* operation, const std::u16string& user, const Body& body)
{
    if (!m_batchTransactionOpen) {
        const int32_t opened = m_database.Open(user, true);
        if (opened != kLibraryOk)
            return opened;
    }
    CSqliteDB& db = m_database.Db();
    try {
        if (!m_batchTransactionOpen) {
            ExecCached(db, u"begin immediate");
            m_batchTransactionOpen = true;
        }
    } catch (const CSqliteException& e) {
        FailBatch(operation, e.ErrorMessageText(), e.ErrorMessage());
        return kLibraryStorageError;
    }
    m_operationSavepoint = false;
    int32_t result = kLibraryStorageError;
    try {
        result = body(db);
    } catch (const CSqliteException& e) {
        m_lastStorageMessage = e.ErrorMessageText();
        CxLog::Instance().Log(u"LibraryService", operation, __LINE__, 3, e.ErrorMessage());
    }
    try {
        if (m_operationSavepoint) {
            // Undo this operation only; the batch's earlier operations stay.
            if (result != kLibraryOk)
                ExecCached(db, u"rollback to operation");
            ExecCached(db, u"release operation");
            m_operationSavepoint = false;
        }
    } catch (const CSqliteException& e) {
        m_operationSavepoint = false;
        FailBatch(operation, e.ErrorMessageText(), e.ErrorMessage());
        return kLibraryStorageError;
    }
    if (result != kLibraryOk && !db.InTransaction()) {
        // Some failures (a full disk, an I/O error) make SQLite roll the whole transaction back.
        FailBatch(operation, m_lastStorageMessage, u"the batch's transaction was rolled back");
        return result;
    }
    if (++m_batchPending >= kBatchOperations)
        CommitBatch();
    if (result == kLibraryOk && m_batchFailure != kLibraryOk)
        return m_batchFailure;
    return result;
}

void CLibraryService::CommitBatch()
{
    if (!m_batchTransactionOpen)
        return;
    m_known.Clear();
    try {
        ExecCached(m_database.Db(), u"commit");
        m_batchTransactionOpen = false;
        m_batchPending = 0;
    } catch (const CSqliteException& e) {
        FailBatch(u"CLibraryService::CommitBatch", e.ErrorMessageText(), e.ErrorMessage());
    }
}

void CLibraryService::FailBatch(const char16_t* operation, const std::u16string& storageMessage,
                                const std::u16string& logText)
{
    m_lastStorageMessage = storageMessage;
    CxLog::Instance().Log(u"LibraryService", operation, __LINE__, 3, u"%s", logText);
    if (m_batchTransactionOpen && m_database.Db().InTransaction()) {
        try {
            m_database.Db().ExecuteStatement(u"rollback");
        } catch (const CSqliteException&) {
            // SQLite may have rolled the transaction back itself already.
        }
    }
    m_known.Clear();
    m_batchTransactionOpen = false;
    m_batchPending = 0;
    m_batchFailure = kLibraryStorageError;
}

int32_t CLibraryService::BeginBatch(const std::u16string& user)
{
    std::lock_guard lock(m_mutex);
    if (m_batching)
        CommitBatch();
    m_batching = true;
    m_batchUser = user;
    m_batchFailure = kLibraryOk;
    return kLibraryOk;
}

int32_t CLibraryService::EndBatch()
{
    std::lock_guard lock(m_mutex);
    if (!m_batching)
        return kLibraryOk;
    CommitBatch();
    m_batching = false;
    const int32_t failure = m_batchFailure;
    m_batchFailure = kLibraryOk;
    return failure;
}

std::u16string CLibraryService::GetErrorText(int32_t code)
{
    return LibraryErrorText(code);
}

int32_t CLibraryService::CreateLearningUnit(std::shared_ptr<STavInfo>& info, const std::u16string& user, int32_t, int32_t)
{
    if (!info)
        return kLibraryBadArgument;
    // Random, unlike the other GUIDs the library makes: a user names an entry by the first few
    // digits of its GUID, and entries made in the same hour would share them.
    const std::u16string tavGuid = NewGuidText();
    if (!IsLibraryGuid(tavGuid))
        return kLibraryNoGuid;
    std::lock_guard lock(m_mutex);
    const int32_t result = RunInTransaction(u"CLibraryService::CreateLearningUnit", user, [&](CSqliteDB& db) {
        m_database.Statements().Exec(db, u"insert into LearningUnit(TavGuid,Name,Complete,CreateTime,SourceTavId,"
                                         u"SourcePath,SourceVersion,ImportStart) values(?,?,0,?,?,?,?,?)",
                                     {tavGuid, info->Name, LibraryTimeText(), info->SourceTavId, info->SourcePath,
                                      int64_t {info->SourceVersion}, info->ImportStart});
        return static_cast<int32_t>(kLibraryOk);
    });
    if (result == kLibraryOk) {
        RememberMade(CLibraryKnownRows::Kind::Unit, tavGuid);
        info->TavGuid = tavGuid;
    }
    return result;
}

int32_t CLibraryService::DeleteLearningUnit(const std::u16string& tavGuid, const std::u16string& user)
{
    if (!IsLibraryGuid(tavGuid))
        return kLibraryBadArgument;
    std::lock_guard lock(m_mutex);
    const int32_t result = RunInTransaction(u"CLibraryService::DeleteLearningUnit", user, [&](CSqliteDB& db) {
        if (!UnitExists(tavGuid))
            return static_cast<int32_t>(kLibraryUnitNotFound);
        ProtectWrites(db);
        for (const char16_t* table : {u"NoteLabel", u"Note", u"LiteratureRelate", u"FolderLiterature", u"Literature",
                                      u"Folder", u"Attachment", u"LearningUnit"})
            m_database.Statements().Exec(db, u"delete from " + std::u16string(table) + u" where TavGuid=?", {tavGuid});
        return static_cast<int32_t>(kLibraryOk);
    });
    if (result != kLibraryOk && result != kLibraryUnitNotFound)
        return result;
    if (m_batching) {
        CommitBatch();
        if (m_batchFailure != kLibraryOk)
            return m_batchFailure;
    }
    // The files go after the rows: a failed removal leaves files nobody refers to, never rows
    // that point at missing files. Files left by an entry that is already gone go too.
    std::error_code error;
    fs::remove_all(ToFsPath(m_database.AttachmentFolder(tavGuid)), error);
    if (error)
        return kLibraryRemoveFailed;
    return result;
}

int32_t CLibraryService::CompleteLearningUnit(const std::u16string& tavGuid, const std::u16string& user)
{
    if (!IsLibraryGuid(tavGuid))
        return kLibraryBadArgument;
    std::lock_guard lock(m_mutex);
    return RunInTransaction(u"CLibraryService::CompleteLearningUnit", user, [&](CSqliteDB& db) {
        if (!UnitExists(tavGuid))
            return static_cast<int32_t>(kLibraryUnitNotFound);
        m_database.Statements().Exec(db, u"update LearningUnit set Complete=1,CompleteTime=? where TavGuid=?",
                                     {LibraryTimeText(), tavGuid});
        return static_cast<int32_t>(kLibraryOk);
    });
}

int32_t CLibraryService::AddFolder(std::shared_ptr<SLiteratureFolder>& folder, const std::u16string& tavGuid,
                                   const std::u16string& user, int32_t)
{
    if (!folder || !IsLibraryGuid(tavGuid))
        return kLibraryBadArgument;
    // Time-ordered, as are LiterGuids: an import's rows then go to the end of the indexes that
    // begin with them instead of to a random page each.
    const std::u16string folderGuid = NewOrderedGuidText();
    if (!IsLibraryGuid(folderGuid))
        return kLibraryNoGuid;
    // A folder without parent is a top-level folder, like one whose parent is the entry.
    const std::u16string parentGuid = folder->ParentGuid.empty() ? tavGuid : folder->ParentGuid;
    std::lock_guard lock(m_mutex);
    const int32_t result = RunInTransaction(u"CLibraryService::AddFolder", user, [&](CSqliteDB& db) {
        if (!UnitExists(tavGuid))
            return static_cast<int32_t>(kLibraryUnitNotFound);
        if (parentGuid != tavGuid && !FolderExists(tavGuid, parentGuid))
            return static_cast<int32_t>(kLibraryFolderNotFound);
        m_database.Statements().Exec(db, u"insert into Folder(FolderGuid,TavGuid,ParentGuid,Name) values(?,?,?,?)",
                                     {folderGuid, tavGuid, parentGuid, folder->Name});
        return static_cast<int32_t>(kLibraryOk);
    });
    if (result == kLibraryOk) {
        RememberMade(CLibraryKnownRows::Kind::Folder, tavGuid, folderGuid);
        folder->FolderGuid = folderGuid;
        folder->ParentGuid = parentGuid;
        folder->TavGuid = tavGuid;
    }
    return result;
}

int32_t CLibraryService::AddLiterature(std::shared_ptr<SLiteratureInfo>& literature, const std::u16string& tavGuid,
                                       const std::u16string& user, const std::u16string& folderGuid, int32_t, int32_t)
{
    if (!literature || !IsLibraryGuid(tavGuid))
        return kLibraryBadArgument;
    std::u16string literGuid = NewOrderedGuidText();
    if (!IsLibraryGuid(literGuid))
        return kLibraryNoGuid;
    const std::u16string doiKey = DoiKey(literature->DOI);
    std::lock_guard lock(m_mutex);
    const int32_t result = RunInTransaction(u"CLibraryService::AddLiterature", user, [&](CSqliteDB& db) {
        if (!UnitExists(tavGuid))
            return static_cast<int32_t>(kLibraryUnitNotFound);
        if (!FolderExists(tavGuid, folderGuid))
            return static_cast<int32_t>(kLibraryFolderNotFound);
        const std::u16string same = FindSameLiterature(m_database, tavGuid, *literature, doiKey);
        if (!same.empty()) {
            literGuid = same;
        } else {
            std::vector<SqlValue> values {&literGuid, &tavGuid, &doiKey, LibraryTimeText()};
            LiteratureColumns().Bind(values, *literature, user);
            ProtectWrites(db);
            m_database.Statements().Exec(db, InsertLiteratureSql(), values);
        }
        m_database.Statements().Exec(db, u"insert or ignore into FolderLiterature(FolderGuid,LiterGuid,TavGuid) values(?,?,?)",
                                     {folderGuid, literGuid, tavGuid});
        return static_cast<int32_t>(kLibraryOk);
    });
    if (result == kLibraryOk) {
        RememberMade(CLibraryKnownRows::Kind::Literature, tavGuid, literGuid);
        literature->LiterGuid = literGuid;
        literature->TavGuid = tavGuid;
    }
    return result;
}

int32_t CLibraryService::AddLiteratureRelate(std::shared_ptr<SLiteratureRelate> relate, const std::u16string& tavGuid,
                                             const std::u16string& user, const std::u16string&, int32_t)
{
    if (!relate || !IsLibraryGuid(tavGuid))
        return kLibraryBadArgument;
    std::lock_guard lock(m_mutex);
    return RunInTransaction(u"CLibraryService::AddLiteratureRelate", user, [&](CSqliteDB& db) {
        if (!UnitExists(tavGuid))
            return static_cast<int32_t>(kLibraryUnitNotFound);
        if (!LiteratureExists(tavGuid, relate->LiterGuid))
            return static_cast<int32_t>(kLibraryLiteratureNotFound);
        // One reading state per literature: a later one replaces the earlier.
        std::vector<SqlValue> values {&relate->LiterGuid, &tavGuid};
        RelateColumns().Bind(values, *relate, user);
        m_database.Statements().Exec(db, InsertRelateSql(), values);
        return static_cast<int32_t>(kLibraryOk);
    });
}

int32_t CLibraryService::StoreAttachment(std::u16string& storedPath, const std::u16string& sourcePath,
                                         const std::u16string& user, const std::u16string& tavGuid)
{
    if (!IsLibraryGuid(tavGuid))
        return kLibraryBadArgument;
    std::error_code error;
    const fs::path source = ToFsPath(sourcePath);
    if (sourcePath.empty() || !fs::is_regular_file(source, error))
        return kLibrarySourceMissing;
    std::lock_guard lock(m_mutex);
    fs::path stored;
    bool created = false;
    int32_t copied = kLibraryOk;
    const int32_t result = RunInTransaction(u"CLibraryService::StoreAttachment", user, [&](CSqliteDB& db) {
        if (!UnitExists(tavGuid))
            return static_cast<int32_t>(kLibraryUnitNotFound);
        copied = CopyAttachmentInto(source, ToFsPath(m_database.AttachmentFolder(tavGuid)), stored, created);
        if (copied != kLibraryOk)
            return copied;
        m_database.Statements().Exec(db, u"insert or replace into Attachment(TavGuid,StoredPath,SourcePath) values(?,?,?)",
                                     {tavGuid, FromFsPath(stored), sourcePath});
        return static_cast<int32_t>(kLibraryOk);
    });
    if (result != kLibraryOk) {
        // No row refers to a file copied for a rolled-back operation.
        if (created)
            fs::remove(stored, error);
        return result;
    }
    storedPath = FromFsPath(stored);
    return kLibraryOk;
}

int32_t CLibraryService::AddNote(std::shared_ptr<SNoteInfo> note, const std::list<std::u16string>& labels,
                                 const std::u16string& tavGuid, const std::u16string& user, int32_t)
{
    if (!note || !IsLibraryGuid(tavGuid))
        return kLibraryBadArgument;
    const std::u16string posId = note->PosID.empty() ? NewGuidText() : note->PosID;
    if (posId.empty())
        return kLibraryNoGuid;
    std::lock_guard lock(m_mutex);
    const int32_t result = RunInTransaction(u"CLibraryService::AddNote", user, [&](CSqliteDB& db) {
        if (!UnitExists(tavGuid))
            return static_cast<int32_t>(kLibraryUnitNotFound);
        if (!note->LiterGuid.empty() && !LiteratureExists(tavGuid, note->LiterGuid))
            return static_cast<int32_t>(kLibraryLiteratureNotFound);
        std::vector<SqlValue> values {&tavGuid, &posId};
        NoteColumns().Bind(values, *note, user);
        if (!labels.empty())
            ProtectWrites(db);
        try {
            m_database.Statements().Exec(db, InsertNoteSql(), values);
        } catch (const CSqliteException& e) {
            // A PosID already taken: the table's key refuses the row (no other constraint can),
            // which spares a look-up before every note.
            if (e.IsConstraint())
                return static_cast<int32_t>(kLibraryNoteExists);
            throw;
        }
        int64_t position = 0;
        for (const std::u16string& label : labels) {
            m_database.Statements().Exec(db, u"insert into NoteLabel(TavGuid,PosID,Position,Label) values(?,?,?,?)",
                                         {tavGuid, posId, position++, label});
        }
        return static_cast<int32_t>(kLibraryOk);
    });
    if (result == kLibraryOk) {
        note->PosID = posId;
        note->TavGuid = tavGuid;
    }
    return result;
}

int32_t CLibraryService::UpdateNote(std::shared_ptr<SNoteInfo> note, const std::u16string& tavGuid,
                                    const std::u16string& user, int32_t)
{
    if (!note || !IsLibraryGuid(tavGuid))
        return kLibraryBadArgument;
    std::lock_guard lock(m_mutex);
    return RunInTransaction(u"CLibraryService::UpdateNote", user, [&](CSqliteDB& db) {
        if (!UnitExists(tavGuid))
            return static_cast<int32_t>(kLibraryUnitNotFound);
        if (!NoteExists(m_database, tavGuid, note->PosID))
            return static_cast<int32_t>(kLibraryNoteNotFound);
        if (!note->LiterGuid.empty() && !LiteratureExists(tavGuid, note->LiterGuid))
            return static_cast<int32_t>(kLibraryLiteratureNotFound);
        std::vector<SqlValue> values;
        NoteColumns().Bind(values, *note, user);
        values.insert(values.end(), {&tavGuid, &note->PosID});
        m_database.Statements().Exec(db, UpdateNoteSql(), values);
        return static_cast<int32_t>(kLibraryOk);
    });
}

int32_t CLibraryService::GetNote(std::shared_ptr<SNoteInfo>& note, const std::u16string& tavGuid,
                                 const std::u16string& user, const std::u16string& posId, int32_t)
{
    if (!IsLibraryGuid(tavGuid))
        return kLibraryBadArgument;
    std::lock_guard lock(m_mutex);
    SNoteInfo found;
    const int32_t result = RunInTransaction(
        u"CLibraryService::GetNote", user,
        [&](CSqliteDB& db) {
            CBoundQuery query = m_database.Statements().Run(db, SelectNoteSql(), {tavGuid, posId});
            if (query.IsEof())
                return static_cast<int32_t>(kLibraryNoteNotFound);
            NoteColumns().Read(query, 0, found);
            return static_cast<int32_t>(kLibraryOk);
        },
        false);
    if (result != kLibraryOk)
        return result;
    found.TavGuid = tavGuid;
    found.PosID = posId;
    if (note)
        *note = found;
    else
        note = std::make_shared<SNoteInfo>(found);
    return kLibraryOk;
}
