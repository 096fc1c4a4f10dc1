// The import dialog's behaviour with a recording window and a scripted import on the worker.
#include "app/importer/ImportDialogLogic.h"
#include "builder/UnitBuilder.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <fstream>
#include <mutex>

namespace {

using Texts = std::vector<std::u16string>;

// Records what the window is asked to show. The test thread plays the user-interface thread:
// posted reports wait in a queue until it pumps them.
class CRecordingFrontEnd : public IImportFrontEnd {
public:
    std::u16string pathText, accountText, cancelText, log;
    std::vector<bool> enabled = {true, true, true}; // Browse, Start, Log
    int32_t maximum = -1, position = -1;
    bool closed = false, answer = true;
    Texts said; // questions, notices and file choices
    std::optional<std::u16string> chosenFile;

    bool AskYesNo(const std::u16string& text, const std::u16string& caption) override
    {
        said.push_back(caption + u"|" + text);
        return answer;
    }
    void ShowNotice(const std::u16string& text, const std::u16string& caption) override { AskYesNo(text, caption); }
    std::optional<std::u16string> ChooseFile(const std::u16string& filter, const std::u16string& extension) override
    {
        said.push_back(u"file|" + filter + u"|" + extension);
        return chosenFile;
    }
    void SetPathText(const std::u16string& text) override { pathText = text; }
    void SetAccountText(const std::u16string& text) override { accountText = text; }
    void SetCancelText(const std::u16string& text) override { cancelText = text; }
    void EnableControl(EControl control, bool on) override { enabled[static_cast<size_t>(control)] = on; }
    void SetProgress(int32_t max, int32_t pos) override { std::tie(maximum, position) = std::tie(max, pos); }
    void ClearLog() override { log.clear(); }
    void AppendLog(const std::u16string& text) override { log += text; }
    void CloseDialog() override { closed = true; }
    void PostProgress(std::unique_ptr<SProgressRecord> record) override
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(record));
        m_posted.notify_all();
    }

    // Waits until `count` reports are queued (by default: the worker's final one), then hands them
    // to `logic` when one is given; false when they do not come.
    bool Pump(CImportDialogLogic* logic, size_t count = SIZE_MAX)
    {
        std::unique_lock lock(m_mutex);
        if (!m_posted.wait_for(lock, std::chrono::seconds(30), [&] {
                return count != SIZE_MAX ? m_queue.size() >= count : !m_queue.empty() && m_queue.back()->finished;
            }))
            return false;
        for (; logic != nullptr && !m_queue.empty(); m_queue.pop_front())
            logic->OnProgressMessage(std::move(m_queue.front()));
        return true;
    }
    size_t Queued()
    {
        std::lock_guard lock(m_mutex);
        return m_queue.size();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::unique_ptr<SProgressRecord>> m_queue;
};

constexpr int32_t kSteps = 4;
const std::u16string kAllSteps = u"step 1\r\nstep 2\r\nstep 3\r\nstep 4\r\n";
const std::u16string kCancelLine = u"导入学习单元取消...\r\n";

// Stands in for the store's Init: kSteps reports, each after a permit from the test, testing the
// cancel flag before each as the store does.
struct CScriptedImport {
    std::atomic<int> permits{kSteps}, runs{0};
    std::u16string lastPath, lastAccount;

    CImportDialogLogic::ImportRunner Runner()
    {
        return [this](const std::u16string& path, const std::u16string& account, const ProgressCallback& callback) {
            ++runs;
            std::tie(lastPath, lastAccount) = std::tie(path, account);
            for (int32_t step = 0; step < kSteps; ++step) {
                while (permits.load() <= step && !IsCancelRequested())
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                if (IsCancelRequested()) {
                    ReportProgress(callback, kSteps, kSteps, u"导入学习单元取消");
                    return 0;
                }
                ReportProgress(callback, step + 1, kSteps, u"step " + std::u16string(1, u'1' + step));
            }
            return 0;
        };
    }
};

class ImportDialogLogicTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_cancelFlag.store(0);
        std::ofstream(testkit::U8(m_path)) << "unit";
    }
    void TearDown() override { g_cancelFlag.store(0); }

    // Browse, Start and Log enabled, and the cancel button's text.
    void ExpectState(bool browse, bool start, bool log, const std::u16string& cancel)
    {
        EXPECT_EQ(m_front.enabled, (std::vector<bool>{browse, start, log}));
        EXPECT_EQ(m_front.cancelText, cancel);
    }

    testkit::ScopedHomeEnv m_home;
    const std::u16string m_path = testkit::U16((m_home.Home() / "单元 a.tav").string());
    CRecordingFrontEnd m_front;
    CScriptedImport m_import;
    CImportDialogLogic m_logic{m_front, m_import.Runner()};
};

TEST_F(ImportDialogLogicTest, StatesFromIdleThroughImportToFinishedAndAgain)
{
    // The account line hides the local account's name; without a unit, Start only tells the user.
    for (const auto& [signedIn, shown] : std::vector<std::pair<std::u16string, std::u16string>>{
             {u"张三", u"张三"}, {u"localarbora", u""}, {u"LocalArbora", u""}, {u"zhang.san", u"zhang.san"}}) {
        testkit::SignInAccount(signedIn);
        m_logic.OnInitDialog();
        EXPECT_EQ(m_front.accountText, u"当前账号：" + shown);
    }
    m_logic.OnStartImport();
    m_front.chosenFile = testkit::U16((m_home.Home() / "missing.tav").string());
    m_logic.OnBrowse();
    m_logic.OnStartImport();
    EXPECT_EQ(m_front.said, (Texts{u"学习单元升级|请打开一个学习单元，才能进行升级", u"file|学习单元文件(*.tav)|tav",
                                   u"学习单元升级|学习单元不存在"}));
    EXPECT_EQ(m_import.runs, 0);

    testkit::SignInAccount(u"LocalArbora");
    m_logic.SetPath(m_path);
    m_logic.OnInitDialog();
    EXPECT_EQ(m_front.pathText, m_path);
    ExpectState(true, true, true, u"取消");
    m_import.permits = 0;
    m_logic.OnStartImport();
    ExpectState(false, false, false, u"取消");
    EXPECT_FALSE(m_logic.IsImportFinished());
    m_import.permits = kSteps;
    ASSERT_TRUE(m_front.Pump(&m_logic));
    ExpectState(true, false, true, u"完成");
    EXPECT_EQ(m_import.lastAccount + u"|" + m_import.lastPath, u"LocalArbora|" + m_path);
    EXPECT_EQ(m_front.log, kAllSteps);
    EXPECT_EQ(std::make_pair(m_front.maximum, m_front.position), std::make_pair(kSteps, kSteps));

    // Choosing a file enables the start button again; a second import clears the log.
    m_front.chosenFile = m_path;
    m_logic.OnBrowse();
    ExpectState(true, true, true, u"完成");
    m_import.permits = 1;
    m_logic.OnStartImport();
    ExpectState(false, false, false, u"取消");
    EXPECT_EQ(m_front.log, u"");

    // A cancel answered "no" leaves the import running; closing it once finished asks nothing.
    m_front.answer = false;
    m_logic.OnCancel();
    EXPECT_EQ(m_front.said.back(), u"提示|当前正在导入学习单元，是否取消导入？");
    EXPECT_FALSE(m_front.closed || g_cancelFlag.load() != 0);
    m_import.permits = kSteps;
    ASSERT_TRUE(m_front.Pump(&m_logic));
    EXPECT_EQ(std::make_pair(m_import.runs.load(), m_front.log), std::make_pair(2, kAllSteps));
    const size_t said = m_front.said.size();
    m_logic.OnCancel();
    EXPECT_EQ(m_front.said.size(), said);
    EXPECT_TRUE(m_front.closed);
    EXPECT_EQ(m_front.log, kAllSteps + kCancelLine);
    EXPECT_EQ(g_cancelFlag.load(), 1);
}

// A cancel confirmed before each step, or after the last, closes the dialog once the worker has
// ended, with no final updates after it; destroying the dialog cancels and joins the worker too.
TEST_F(ImportDialogLogicTest, CancelConfirmedAtAnyMomentClosesAfterTheWorker)
{
    for (int32_t round = 0; round <= kSteps + 1; ++round) {
        SCOPED_TRACE(round);
        const int32_t stepsDone = round <= kSteps ? round : 1; // the last round destroys the dialog
        g_cancelFlag.store(0);
        CRecordingFrontEnd front;
        CScriptedImport import;
        import.permits = stepsDone;
        auto logic = std::make_unique<CImportDialogLogic>(front, import.Runner());
        logic->SetPath(m_path);
        logic->OnInitDialog();
        logic->OnStartImport();
        ASSERT_TRUE(front.Pump(nullptr, static_cast<size_t>(stepsDone)));
        if (round > kSteps) {
            logic.reset();
            EXPECT_EQ(g_cancelFlag.load(), 1);
            EXPECT_EQ(front.Queued(), 2u); // step 1 and the cancel line; no final updates
            continue;
        }
        logic->OnCancel();
        EXPECT_TRUE(front.closed);
        EXPECT_EQ(front.log, kCancelLine);
        EXPECT_EQ(import.runs, 1);
        if (stepsDone < kSteps) {
            front.Pump(logic.get(), 1);
            EXPECT_EQ(front.cancelText, u"取消");
        }
    }
}

} // namespace
