#pragma once
// The personal library service: the operations through which imported data reaches the
// user's library. The implementation keeps the library in <sync folder><user>/library.db.
#include "library/LibraryRecords.h"

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>

class IOvDataMiddle {
public:
    virtual ~IOvDataMiddle() = default;

    // Process-wide service object; Initialize(-1) when a store is built, Uninitialize when it goes.
    // Calls nest: the object lives from the first Initialize to the matching last Uninitialize.
    // Instance, while none lives, answers every operation with kLibraryNotInitialized.
    static int32_t Initialize(int32_t mode);
    static void Uninitialize();
    static IOvDataMiddle& Instance();

    virtual std::u16string GetErrorText(int32_t code) = 0;
    virtual int32_t DeleteLearningUnit(const std::u16string& tavGuid, const std::u16string& user) = 0;
    virtual int32_t CreateLearningUnit(std::shared_ptr<STavInfo>& info, const std::u16string& user, int32_t reserved1, int32_t reserved2) = 0;
    virtual int32_t CompleteLearningUnit(const std::u16string& tavGuid, const std::u16string& user) = 0;
    virtual int32_t AddFolder(std::shared_ptr<SLiteratureFolder>& folder, const std::u16string& tavGuid, const std::u16string& user, int32_t reserved) = 0;
    virtual int32_t AddLiteratureRelate(std::shared_ptr<SLiteratureRelate> relate, const std::u16string& tavGuid, const std::u16string& user, const std::u16string& folderGuid, int32_t reserved) = 0;
    virtual int32_t AddLiterature(std::shared_ptr<SLiteratureInfo>& literature, const std::u16string& tavGuid, const std::u16string& user, const std::u16string& folderGuid, int32_t reserved1, int32_t reserved2) = 0;
    virtual int32_t StoreAttachment(std::u16string& storedPath, const std::u16string& sourcePath, const std::u16string& user, const std::u16string& tavGuid) = 0;
    virtual int32_t AddNote(std::shared_ptr<SNoteInfo> note, const std::list<std::u16string>& labels, const std::u16string& tavGuid, const std::u16string& user, int32_t reserved) = 0;
    virtual int32_t UpdateNote(std::shared_ptr<SNoteInfo> note, const std::u16string& tavGuid, const std::u16string& user, int32_t reserved) = 0;
    virtual int32_t GetNote(std::shared_ptr<SNoteInfo>& note, const std::u16string& tavGuid, const std::u16string& user, const std::u16string& posId, int32_t reserved) = 0;

    // A bulk of operations for `user` follows, until EndBatch: the service may group their commits.
    // Each operation stays all-or-nothing; EndBatch commits what is pending and returns nonzero when
    // any grouped commit failed (then operations that had answered 0 may be lost). Services that do
    // not group commits keep these defaults.
    virtual int32_t BeginBatch(const std::u16string& /*user*/) { return 0; }
    virtual int32_t EndBatch() { return 0; }

    // After the entry `tavGuid` completed: the user's other entries of the same unit (same source
    // TavId), oldest first, in `earlier`. Incomplete ones are removed with their files (they hold
    // a part of what the new entry holds); complete ones too when `replaceComplete` is set.
    // Nothing is removed while `tavGuid` itself is not complete. Services that do not record
    // sources find nothing.
    virtual int32_t SettleEarlierEntries(const std::u16string& /*tavGuid*/, const std::u16string& /*user*/,
                                         bool /*replaceComplete*/, std::vector<SEarlierEntry>& earlier)
    {
        earlier.clear();
        return 0;
    }
};

// The current user whose library receives the import: the signed-in account, unless a
// front end overrides it. Safe to set from one thread while another reads.
class OvSysUser {
public:
    static OvSysUser& Instance();
    std::u16string GetUser() const;
    void SetUser(const std::u16string& user);
    void ClearOverride();

private:
    mutable std::mutex m_mutex;
    std::u16string m_override;
    bool m_overridden = false;
};
