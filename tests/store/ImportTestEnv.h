#pragma once
// A private home with a sync folder and the account "alice", a store whose library calls are
// recorded on their way to the real service, and helpers to run Init and read the library.
#include "builder/UnitBuilder.h"
#include "library/LibraryReader.h"
#include "library/OvDataMiddle.h"
#include "store/TavDB.h"
#include "support/SyncPathOverride.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace importtest {

namespace fs = std::filesystem;

struct Line {
    int32_t position;
    int32_t maximum;
    std::u16string text;
};

struct Call {
    std::string operation;
    std::u16string a; // folder: name; literature: DOI; relate: LiterGuid; note: PosID
    std::u16string b; // folder: parent GUID; literature: folder GUID; note: LiterGuid
    std::u16string result; // the GUID the service filled in, when any
};

// Forwards every call to the process-wide service and records it.
class CRecordingLibrary : public IOvDataMiddle {
public:
    std::vector<Call> calls;
    // Called after AddLiterature, with the record the service filled in.
    std::function<void(SLiteratureInfo&)> afterAddLiterature;

    size_t Count(const std::string& operation) const
    {
        size_t n = 0;
        for (const Call& call : calls)
            n += call.operation == operation ? 1 : 0;
        return n;
    }
    std::vector<Call> Of(const std::string& operation) const
    {
        std::vector<Call> found;
        for (const Call& call : calls)
            if (call.operation == operation)
                found.push_back(call);
        return found;
    }

    std::u16string GetErrorText(int32_t code) override { return Real().GetErrorText(code); }
    int32_t DeleteLearningUnit(const std::u16string& tavGuid, const std::u16string& user) override
    {
        calls.push_back({"DeleteLearningUnit", tavGuid, {}, {}});
        return Real().DeleteLearningUnit(tavGuid, user);
    }
    int32_t CreateLearningUnit(std::shared_ptr<STavInfo>& info, const std::u16string& user, int32_t r1, int32_t r2) override
    {
        const int32_t result = Real().CreateLearningUnit(info, user, r1, r2);
        calls.push_back({"CreateLearningUnit", info->Name, {}, info->TavGuid});
        return result;
    }
    int32_t CompleteLearningUnit(const std::u16string& tavGuid, const std::u16string& user) override
    {
        calls.push_back({"CompleteLearningUnit", tavGuid, {}, {}});
        return Real().CompleteLearningUnit(tavGuid, user);
    }
    int32_t AddFolder(std::shared_ptr<SLiteratureFolder>& folder, const std::u16string& tavGuid, const std::u16string& user,
                      int32_t reserved) override
    {
        const std::u16string parent = folder->ParentGuid;
        const int32_t result = Real().AddFolder(folder, tavGuid, user, reserved);
        calls.push_back({"AddFolder", folder->Name, parent, folder->FolderGuid});
        return result;
    }
    int32_t AddLiteratureRelate(std::shared_ptr<SLiteratureRelate> relate, const std::u16string& tavGuid,
                                const std::u16string& user, const std::u16string& folderGuid, int32_t reserved) override
    {
        calls.push_back({"AddLiteratureRelate", relate->LiterGuid, folderGuid, {}});
        return Real().AddLiteratureRelate(relate, tavGuid, user, folderGuid, reserved);
    }
    int32_t AddLiterature(std::shared_ptr<SLiteratureInfo>& literature, const std::u16string& tavGuid,
                          const std::u16string& user, const std::u16string& folderGuid, int32_t r1, int32_t r2) override
    {
        const int32_t result = Real().AddLiterature(literature, tavGuid, user, folderGuid, r1, r2);
        if (afterAddLiterature)
            afterAddLiterature(*literature);
        calls.push_back({"AddLiterature", literature->DOI, folderGuid, literature->LiterGuid});
        return result;
    }
    int32_t StoreAttachment(std::u16string& storedPath, const std::u16string& sourcePath, const std::u16string& user,
                            const std::u16string& tavGuid) override
    {
        calls.push_back({"StoreAttachment", sourcePath, {}, {}});
        return Real().StoreAttachment(storedPath, sourcePath, user, tavGuid);
    }
    int32_t AddNote(std::shared_ptr<SNoteInfo> note, const std::list<std::u16string>& labels, const std::u16string& tavGuid,
                    const std::u16string& user, int32_t reserved) override
    {
        calls.push_back({"AddNote", note->PosID, note->LiterGuid, {}});
        return Real().AddNote(note, labels, tavGuid, user, reserved);
    }
    int32_t UpdateNote(std::shared_ptr<SNoteInfo> note, const std::u16string& tavGuid, const std::u16string& user,
                       int32_t reserved) override
    {
        calls.push_back({"UpdateNote", note->PosID, note->LiterGuid, {}});
        return Real().UpdateNote(note, tavGuid, user, reserved);
    }
    int32_t GetNote(std::shared_ptr<SNoteInfo>& note, const std::u16string& tavGuid, const std::u16string& user,
                    const std::u16string& posId, int32_t reserved) override
    {
        return Real().GetNote(note, tavGuid, user, posId, reserved);
    }

private:
    static IOvDataMiddle& Real() { return IOvDataMiddle::Instance(); }
};

class RecordingStore : public CTavDB {
public:
    RecordingStore() { SetPauseMilliseconds(0); }
    CRecordingLibrary recorder;

protected:
    IOvDataMiddle& Library() override { return recorder; }
};

class ImportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_cancelFlag.store(0);
        m_sync = m_dir.Path() / "sync";
        fs::create_directories(m_sync);
        SetSyncPathOverride(Utf8ToWide(m_sync.string()));
        OvSysUser::Instance().SetUser(u"alice");
    }
    void TearDown() override
    {
        g_cancelFlag.store(0);
        SetSyncPathOverride(u"");
        OvSysUser::Instance().ClearOverride();
    }

    fs::path Build(const testkit::UnitSpec& spec, const std::string& name = "unit.tav")
    {
        const fs::path unit = m_dir.Path() / "units" / name;
        testkit::BuildUnit(unit, spec);
        return unit;
    }

    // Runs Init on `unit` with the account of the unit's owner; `onLine` may set the cancel flag.
    int Run(RecordingStore& store, const fs::path& unit, const std::function<void(const Line&)>& onLine = {})
    {
        m_lines.clear();
        std::u16string tavId;
        return store.Init(Utf8ToWide(unit.string()), tavId, u"owner1",
                          [this, onLine](int32_t position, int32_t maximum, const std::u16string& text) {
                              m_lines.push_back({position, maximum, text});
                              if (onLine)
                                  onLine(m_lines.back());
                              return 1;
                          });
    }

    // The lines from the import's first one ("导入学习单元《...》") on.
    std::vector<Line> ImportLines() const
    {
        for (size_t i = 0; i < m_lines.size(); ++i)
            if (m_lines[i].text.rfind(u"导入学习单元《", 0) == 0)
                return {m_lines.begin() + static_cast<std::ptrdiff_t>(i), m_lines.end()};
        return {};
    }
    const Line* Find(const std::u16string& text) const
    {
        for (const Line& line : m_lines)
            if (line.text == text)
                return &line;
        return nullptr;
    }

    std::vector<SLibraryEntry> Entries()
    {
        std::vector<SLibraryEntry> entries;
        CLibraryReader(u"alice").ListEntries(entries);
        return entries;
    }
    fs::path UserFolder() const { return m_sync / "alice"; }

    testkit::ScopedHomeEnv m_home;
    testkit::TempDir m_dir;
    fs::path m_sync;
    std::vector<Line> m_lines;
};

} // namespace importtest
