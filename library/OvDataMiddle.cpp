#include "library/OvDataMiddle.h"

#include "library/LibraryErrors.h"
#include "library/LibraryService.h"
#include "support/SyncSettings.h"

#include <mutex>

namespace {

// Answers every operation with kLibraryNotInitialized: what Instance hands out while no
// Initialize is in force, so that a caller gets a code and a text instead of a crash.
class CUnavailableLibrary final : public IOvDataMiddle {
public:
    std::u16string GetErrorText(int32_t code) override { return LibraryErrorText(code); }
    int32_t DeleteLearningUnit(const std::u16string&, const std::u16string&) override { return kLibraryNotInitialized; }
    int32_t CreateLearningUnit(std::shared_ptr<STavInfo>&, const std::u16string&, int32_t, int32_t) override { return kLibraryNotInitialized; }
    int32_t CompleteLearningUnit(const std::u16string&, const std::u16string&) override { return kLibraryNotInitialized; }
    int32_t AddFolder(std::shared_ptr<SLiteratureFolder>&, const std::u16string&, const std::u16string&, int32_t) override { return kLibraryNotInitialized; }
    int32_t AddLiteratureRelate(std::shared_ptr<SLiteratureRelate>, const std::u16string&, const std::u16string&, const std::u16string&, int32_t) override { return kLibraryNotInitialized; }
    int32_t AddLiterature(std::shared_ptr<SLiteratureInfo>&, const std::u16string&, const std::u16string&, const std::u16string&, int32_t, int32_t) override { return kLibraryNotInitialized; }
    int32_t StoreAttachment(std::u16string&, const std::u16string&, const std::u16string&, const std::u16string&) override { return kLibraryNotInitialized; }
    int32_t AddNote(std::shared_ptr<SNoteInfo>, const std::list<std::u16string>&, const std::u16string&, const std::u16string&, int32_t) override { return kLibraryNotInitialized; }
    int32_t UpdateNote(std::shared_ptr<SNoteInfo>, const std::u16string&, const std::u16string&, int32_t) override { return kLibraryNotInitialized; }
    int32_t GetNote(std::shared_ptr<SNoteInfo>&, const std::u16string&, const std::u16string&, const std::u16string&, int32_t) override { return kLibraryNotInitialized; }
};

struct ServiceState {
    std::mutex mutex;
    int32_t count = 0;
    std::unique_ptr<CLibraryService> service;
};

ServiceState& State()
{
    static ServiceState state;
    return state;
}

} // namespace

int32_t IOvDataMiddle::Initialize(int32_t)
{
    // Every store object initialises and uninitialises once: the service lives while at
    // least one of them does.
    ServiceState& state = State();
    std::lock_guard lock(state.mutex);
    if (state.count++ == 0)
        state.service = std::make_unique<CLibraryService>();
    return kLibraryOk;
}

void IOvDataMiddle::Uninitialize()
{
    ServiceState& state = State();
    std::lock_guard lock(state.mutex);
    if (state.count == 0)
        return;
    if (--state.count == 0)
        state.service.reset();
}

IOvDataMiddle& IOvDataMiddle::Instance()
{
    ServiceState& state = State();
    std::lock_guard lock(state.mutex);
    if (state.service)
        return *state.service;
    static CUnavailableLibrary unavailable;
    return unavailable;
}

OvSysUser& OvSysUser::Instance()
{
    static OvSysUser user;
    return user;
}

std::u16string OvSysUser::GetUser() const
{
    {
        std::lock_guard lock(m_mutex);
        if (m_overridden)
            return m_override;
    }
    return GetSyncroName();
}

void OvSysUser::SetUser(const std::u16string& user)
{
    std::lock_guard lock(m_mutex);
    m_override = user;
    m_overridden = true;
}

void OvSysUser::ClearOverride()
{
    std::lock_guard lock(m_mutex);
    m_override.clear();
    m_overridden = false;
}
