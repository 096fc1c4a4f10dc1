#include "app/importer/ImportDialogLogic.h"

#include "app/importer/WorkerExitGuard.h"

#include "store/TavDB.h"
#include "support/SyncSettings.h"
#include "support/TextConvert.h"

#include <exception>
#include <filesystem>

namespace {

int RunStoreInit(const std::u16string& path, const std::u16string& account, const ProgressCallback& callback,
                 const ActivityCallback& activity)
{
    CTavDB store;
    store.SetActivityCallback(activity);
    std::u16string tavId;
    return store.Init(path, tavId, account, callback);
}

// Often enough to look alive, rarely enough not to flood the user-interface thread.
constexpr std::chrono::milliseconds kActivityInterval{200};

bool EqualsIgnoringAsciiCase(const std::u16string& a, const std::u16string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

} // namespace

CImportDialogLogic::CImportDialogLogic(IImportFrontEnd& frontEnd, ImportRunner runner)
    : m_frontEnd(frontEnd), m_runner(runner ? std::move(runner) : ImportRunner(RunStoreInit))
{
    CWorkerExitGuard::Add(this, [this] { StopWorker(); });
}

CImportDialogLogic::~CImportDialogLogic()
{
    CWorkerExitGuard::Remove(this);
    StopWorker();
}

std::u16string CImportDialogLogic::AccountLineName(const std::u16string& syncroName)
{
    // The local pseudo-account is no name a user would recognise.
    return EqualsIgnoringAsciiCase(syncroName, u"localarbora") ? std::u16string() : syncroName;
}

void CImportDialogLogic::OnInitDialog()
{
    m_frontEnd.SetAccountText(u"当前账号：" + AccountLineName(GetSyncroName()));
    if (!m_path.empty()) {
        m_pathText = m_path;
        m_frontEnd.SetPathText(m_pathText);
    }
    m_frontEnd.EnableControl(IImportFrontEnd::EControl::Browse, true);
    m_frontEnd.EnableControl(IImportFrontEnd::EControl::Start, true);
    m_frontEnd.SetCancelText(u"取消");
}

void CImportDialogLogic::OnBrowse()
{
    std::optional<std::u16string> chosen = m_frontEnd.ChooseFile(u"学习单元文件(*.tav)", u"tav");
    if (!chosen)
        return;
    m_pathText = std::move(*chosen);
    m_frontEnd.SetPathText(m_pathText);
    m_frontEnd.EnableControl(IImportFrontEnd::EControl::Start, true);
}

void CImportDialogLogic::OnStartImport()
{
    const std::u16string path = m_pathText;
    if (path.empty()) {
        m_frontEnd.ShowNotice(u"请打开一个学习单元，才能进行升级", u"学习单元升级");
        return;
    }
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::path(WideToUtf8(path)), error)) {
        m_frontEnd.ShowNotice(u"学习单元不存在", u"学习单元升级");
        return;
    }
    m_frontEnd.EnableControl(IImportFrontEnd::EControl::Browse, false);
    const std::u16string account = GetSyncroName();
    m_importFinished.store(0);
    g_cancelFlag.store(0);
    JoinWorker();
    m_logText.clear();
    m_frontEnd.ClearLog();
    m_frontEnd.SetStatusText(u"");
    m_frontEnd.SetCancelText(u"取消");
    m_worker = std::thread([this, path, account] { ImportThread(path, account); });
    m_frontEnd.EnableControl(IImportFrontEnd::EControl::Start, false);
}

int32_t CImportDialogLogic::ImportThread(const std::u16string& path, const std::u16string& account)
{
    const ProgressCallback callback = [this](int32_t position, int32_t maximum, const std::u16string& text) {
        return OnImportProgress(position, maximum, text);
    };
    const ActivityCallback activity = [this](int64_t rowsDone) { OnImportActivity(rowsDone); };
    m_lastActivityPost = {};
    try {
        m_runner(path, account, callback, activity);
    } catch (const std::exception& e) {
        // The dialog must still reach its finished state; the reason goes to the log box.
        OnImportProgress(0, 0, Utf8ToWide(e.what()));
    }
    m_importFinished.store(1);
    // The final control updates are posted like the progress lines, so the worker never waits
    // for a user-interface thread that may be joining it. After a cancel the dialog is closing
    // and they are skipped.
    if (g_cancelFlag.load() == 0) {
        auto done = std::make_unique<SProgressRecord>();
        done->kind = SProgressRecord::EKind::Finished;
        m_frontEnd.PostProgress(std::move(done));
    }
    return 1;
}

int32_t CImportDialogLogic::OnImportProgress(int32_t position, int32_t maximum, const std::u16string& text)
{
    auto record = std::make_unique<SProgressRecord>();
    record->position = position;
    record->maximum = maximum;
    record->text = text;
    m_frontEnd.PostProgress(std::move(record));
    return 1;
}

void CImportDialogLogic::OnImportActivity(int64_t rowsDone)
{
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastActivityPost < kActivityInterval)
        return;
    m_lastActivityPost = now;
    auto record = std::make_unique<SProgressRecord>();
    record->kind = SProgressRecord::EKind::Activity;
    record->rowsDone = rowsDone;
    m_frontEnd.PostProgress(std::move(record));
}

int32_t CImportDialogLogic::OnProgressMessage(std::unique_ptr<SProgressRecord> record)
{
    if (!record)
        return 0;
    switch (record->kind) {
    case SProgressRecord::EKind::Finished:
        m_frontEnd.EnableControl(IImportFrontEnd::EControl::Browse, true);
        m_frontEnd.SetCancelText(u"完成");
        break;
    case SProgressRecord::EKind::Activity:
        m_frontEnd.SetStatusText(u"已处理记录：" + Utf8ToWide(std::to_string(record->rowsDone)));
        break;
    case SProgressRecord::EKind::Line:
        m_frontEnd.SetProgress(record->maximum & 0xFFFF, record->position);
        AppendLogLine(record->text);
        break;
    }
    return 0;
}

void CImportDialogLogic::OnCancel()
{
    if (m_importFinished.load() == 0 &&
        !m_frontEnd.AskYesNo(u"当前正在导入学习单元，是否取消导入？", u"提示"))
        return;
    CancelAndClose();
}

void CImportDialogLogic::OnWindowGone()
{
    CancelAndClose();
}

void CImportDialogLogic::CancelAndClose()
{
    g_cancelFlag.store(1);
    AppendLogLine(u"导入学习单元取消...");
    JoinWorker();
    m_frontEnd.CloseDialog();
}

void CImportDialogLogic::StopWorker()
{
    g_cancelFlag.store(1);
    if (m_worker.joinable() && m_worker.get_id() != std::this_thread::get_id())
        m_worker.join();
}

void CImportDialogLogic::AppendLogLine(const std::u16string& line)
{
    m_logText = line + u"\r\n";
    m_frontEnd.AppendLog(m_logText);
}

void CImportDialogLogic::JoinWorker()
{
    if (m_worker.joinable())
        m_worker.join();
}
