#pragma once
// The personal library service on top of the user's own SQLite library (CLibraryDatabase).
// Every operation opens (or reuses) the current user's library, runs as one transaction and
// returns a LibraryResult.
#include "library/LibraryDatabase.h"
#include "library/LibraryKnownRows.h"
#include "library/LibraryStatements.h"
#include "library/OvDataMiddle.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

class CLibraryService : public IOvDataMiddle {
public:
    CLibraryService() = default;
    ~CLibraryService() override = default;
    CLibraryService(const CLibraryService&) = delete;
    CLibraryService& operator=(const CLibraryService&) = delete;

    std::u16string GetErrorText(int32_t code) override;
    int32_t DeleteLearningUnit(const std::u16string& tavGuid, const std::u16string& user) override;
    int32_t CreateLearningUnit(std::shared_ptr<STavInfo>& info, const std::u16string& user, int32_t reserved1, int32_t reserved2) override;
    int32_t CompleteLearningUnit(const std::u16string& tavGuid, const std::u16string& user) override;
    int32_t AddFolder(std::shared_ptr<SLiteratureFolder>& folder, const std::u16string& tavGuid, const std::u16string& user, int32_t reserved) override;
    // The reading state belongs to the literature, whichever folder it is filed in: the folder
    // argument is not used.
    int32_t AddLiteratureRelate(std::shared_ptr<SLiteratureRelate> relate, const std::u16string& tavGuid, const std::u16string& user, const std::u16string& folderGuid, int32_t reserved) override;
    int32_t AddLiterature(std::shared_ptr<SLiteratureInfo>& literature, const std::u16string& tavGuid, const std::u16string& user, const std::u16string& folderGuid, int32_t reserved1, int32_t reserved2) override;
    int32_t StoreAttachment(std::u16string& storedPath, const std::u16string& sourcePath, const std::u16string& user, const std::u16string& tavGuid) override;
    // A note without PosID receives a new one (written back into the record).
    int32_t AddNote(std::shared_ptr<SNoteInfo> note, const std::list<std::u16string>& labels, const std::u16string& tavGuid, const std::u16string& user, int32_t reserved) override;
    int32_t UpdateNote(std::shared_ptr<SNoteInfo> note, const std::u16string& tavGuid, const std::u16string& user, int32_t reserved) override;
    int32_t GetNote(std::shared_ptr<SNoteInfo>& note, const std::u16string& tavGuid, const std::u16string& user, const std::u16string& posId, int32_t reserved) override;

    // Between these, operations for the batch's user share one commit per kBatchOperations
    // operations; a busy library thus pays a commit per thousands of operations, not per
    // operation. A failed operation is undone alone: one that writes more than one statement
    // runs its writes inside a savepoint, a single statement SQLite undoes itself. A removal
    // commits at once, before its files go.
    int32_t BeginBatch(const std::u16string& user) override;
    int32_t EndBatch() override;
    // Defined in LibraryReimport.cpp.
    int32_t SettleEarlierEntries(const std::u16string& tavGuid, const std::u16string& user, bool replaceComplete,
                                 std::vector<SEarlierEntry>& earlier) override;
    static constexpr int kBatchOperations = 5000;
    // The SQLite message of the last storage error (for diagnostics).
    std::u16string LastStorageMessage() const;

private:
    using Body = std::function<int32_t(CSqliteDB&)>;
    // Opens the user's library and runs `body` in one transaction, committed when it returns
    // kLibraryOk; a failed statement is logged under `operation`. The caller holds m_mutex.
    int32_t RunInTransaction(const char16_t* operation, const std::u16string& user, const Body& body, bool writes = true);
    // RunInTransaction while a batch is open for `user`.
    int32_t RunInBatch(const char16_t* operation, const std::u16string& user, const Body& body);
    // Commits the batch's pending operations; a failure is remembered for EndBatch. Caller holds m_mutex.
    void CommitBatch();
    // Rolls the batch back and remembers the failure for EndBatch.
    void FailBatch(const char16_t* operation, const std::u16string& storageMessage, const std::u16string& logText);
    // Called by an operation before the first of several writes: inside a batch, its writes
    // then go into a savepoint of their own, undone if the operation fails.
    void ProtectWrites(CSqliteDB& db);

    // Existence checks, answered from m_known while a batch is open.
    bool KnownOrFound(CLibraryKnownRows::Kind kind, const std::u16string& tavGuid, const std::u16string& guid,
                      const std::u16string& sql, const std::vector<SqlValue>& values);
    bool UnitExists(const std::u16string& tavGuid);
    bool FolderExists(const std::u16string& tavGuid, const std::u16string& folderGuid);
    bool LiteratureExists(const std::u16string& tavGuid, const std::u16string& literGuid);
    // A row the open batch made or found (nothing outside a batch).
    void RememberMade(CLibraryKnownRows::Kind kind, const std::u16string& tavGuid, const std::u16string& guid = {});

    mutable std::mutex m_mutex;
    CLibraryDatabase m_database;
    std::u16string m_lastStorageMessage;
    bool m_batching = false;
    std::u16string m_batchUser;
    bool m_batchTransactionOpen = false;
    int m_batchPending = 0;
    int32_t m_batchFailure = 0;
    bool m_operationSavepoint = false;
    CLibraryKnownRows m_known;
};
