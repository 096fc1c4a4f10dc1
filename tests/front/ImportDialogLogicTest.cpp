// The import dialog's behaviour with a recording window and a scripted import on the worker.
#include "app/importer/ImportDialogLogic.h"
#include "builder/UnitBuilder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <mutex>
#include <thread>

namespace {

using EControl = IImportFrontEnd::EControl;
using Clock = std::chrono::steady_clock;
using Texts = std::vector<std::u16string>;

// Records what the window is asked to show. The test thread plays the user-interface thread:
// posted reports wait in a queue until it pumps them.
class CRecordingFrontEnd : public IImportFrontEnd {
public:
    std::u16string pathText, accountText, cancelText, log;
    bool enabled[3] = {true, true, true}; // Browse, Start, Log
    int32_t maximum = -1, position = -1;
    bool closed = false, answer = true;
    Clock::time_point closedAt;
    Texts questions, notices;
    std::optional<std::u16string> chosenFile;

    bool AskYesNo(const std::u16string& text, const std::u16string& caption) override
    {
        questions.push_back(caption + u"|" + text);
        return answer;
    }
    void ShowNotice(const std::u16string& text, const std::u16string& caption) override
    {
        notices.push_back(caption + u"|" + text);
    }
    std::optional<std::u16string> ChooseFile(const std::u16string& filter, const std::u16string& extension) override
    {
        questions.push_back(u"file|" + filter + u"|" + extension);
        return chosenFile;
    }
    void SetPathText(const std::u16string& text) override { pathText = text; }
    void SetAccountText(const std::u16string& text) override { accountText = text; }
    void SetCancelText(const std::u16string& text) override { cancelText = text; }
    void EnableControl(EControl control, bool on) override { enabled[static_cast<int>(control)] = on; }
    void SetProgress(int32_t max, int32_t pos) override { std::tie(maximum, position) = std::tie(max, pos); }
    void ClearLog() override { log.clear(); }
    void AppendLog(const std::u16string& text) override { log += text; }
    void CloseDialog() override { std::tie(closed, closedAt) = std::make_tuple(true, Clock::now()); }
    void PostProgress(std::unique_ptr<SProgressRecord> record) override
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(record));
        m_posted.notify_all();
    }

    // Waits until `count` reports are queued (by default: the worker's final one), then, when
    // `logic` is given, hands every queued report to it; false when they do not come.
    bool Pump(CImportDialogLogic* logic, size_t count = SIZE_MAX)
    {
        std::unique_lock lock(m_mutex);
        if (!m_posted.wait_for(lock, std::chrono::seconds(30), [&] {
                return count != SIZE_MAX ? m_queue.size() >= count : !m_queue.empty() && m_queue.back()->finished;
            }))
            return false;
        std::deque<std::unique_ptr<SProgressRecord>> records;
        if (logic != nullptr)
            records.swap(m_queue);
        lock.unlock();
        for (auto& record : records)
            logic->OnProgressMessage(std::move(record));
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

// Stands in for the store's Init: kSteps lines, testing the cancel flag before each as the store
// does. Each step waits for a permit, so that the test decides where the import stands.
struct CScriptedImport {
    std::atomic<int> permits{kSteps}, runs{0};
    std::u16string lastPath, lastAccount;
    Clock::time_point cancelSeenAt{};

    CImportDialogLogic::ImportRunner Runner()
    {
        return [this](const std::u16string& path, const std::u16string& account, const ProgressCallback& callback) {
            ++runs;
            std::tie(lastPath, lastAccount) = std::tie(path, account);
            for (int32_t step = 0; step < kSteps; ++step) {
                while (permits.load() <= step && !IsCancelRequested())
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                if (IsCancelRequested()) {
                    cancelSeenAt = Clock::now();
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
        testkit::SignInAccount(u"zhang.san");
        std::ofstream(testkit::U8(m_path)) << "unit";
    }
    void TearDown() override { g_cancelFlag.store(0); }

    // Browse, Start and Log enabled, and the cancel button's text.
    void ExpectState(bool browse, bool start, bool log, const std::u16string& cancel)
    {
        EXPECT_EQ((std::vector<bool>{m_front.enabled[0], m_front.enabled[1], m_front.enabled[2]}),
                  (std::vector<bool>{browse, start, log}));
        EXPECT_EQ(m_front.cancelText, cancel);
    }
    void Start(CImportDialogLogic& logic, int permits)
    {
        m_import.permits = permits;
        logic.SetPath(m_path);
        logic.OnInitDialog();
        logic.OnStartImport();
    }

    testkit::ScopedHomeEnv m_home;
    const std::u16string m_path = testkit::U16((m_home.Home() / "单元 a.tav").string());
    CRecordingFrontEnd m_front;
    CScriptedImport m_import;
    CImportDialogLogic m_logic{m_front, m_import.Runner()};
};

TEST_F(ImportDialogLogicTest, AccountLineShowsTheNameButTheImportUsesItUnchanged)
{
    const struct {
        std::u16string signedIn, shown;
    } cases[] = {{u"zhang.san", u"zhang.san"}, {u"vexaarbora", u"vexaarbora"}, {u"张三", u"张三"},
                 {u"localarbora", u""},        {u"LocalArbora", u""},          {u"", u""}};
    for (const auto& c : cases) {
        testkit::SignInAccount(c.signedIn);
        m_logic.OnInitDialog();
        EXPECT_EQ(m_front.accountText, u"当前账号：" + c.shown);
    }
    testkit::SignInAccount(u"localarbora");
    Start(m_logic, kSteps);
    ASSERT_TRUE(m_front.Pump(&m_logic));
    EXPECT_EQ(m_import.lastAccount, u"localarbora");
    EXPECT_EQ(m_import.lastPath, m_path);
}

TEST_F(ImportDialogLogicTest, WithoutAUnitStartOnlyTellsTheUserAndEscClosesWithoutAQuestion)
{
    m_logic.OnInitDialog();
    m_logic.OnStartImport();
    m_front.chosenFile = testkit::U16((m_home.Home() / "missing.tav").string());
    m_logic.OnBrowse();
    m_logic.OnStartImport();
    EXPECT_EQ(m_front.notices, (Texts{u"学习单元升级|请打开一个学习单元，才能进行升级", u"学习单元升级|学习单元不存在"}));
    EXPECT_EQ(m_import.runs, 0);
    ExpectState(true, true, true, u"取消");
    m_logic.OnCancel();
    EXPECT_EQ(m_front.questions, (Texts{u"file|学习单元文件(*.tav)|tav"}));
    EXPECT_TRUE(m_front.closed);
    EXPECT_EQ(m_front.log, kCancelLine);
}

TEST_F(ImportDialogLogicTest, ProgressRecordSetsTheBarAndAppendsOneLine)
{
    const struct {
        int32_t position, maximum, shownMaximum;
    } cases[] = {{3, 40, 40}, {0, 0, 0}, {5, 0x10028, 40}};
    std::u16string expectedLog;
    for (const auto& c : cases) {
        const std::u16string text = u"行 " + std::u16string(1, u'0' + c.position);
        auto record = std::make_unique<SProgressRecord>(SProgressRecord{c.position, c.maximum, text});
        EXPECT_EQ(m_logic.OnProgressMessage(std::move(record)), 0);
        expectedLog += text + u"\r\n";
        EXPECT_EQ(std::make_pair(m_front.maximum, m_front.position), std::make_pair(c.shownMaximum, c.position));
        EXPECT_EQ(m_front.log, expectedLog);
    }
    EXPECT_EQ(m_logic.OnProgressMessage(nullptr), 0);
    EXPECT_EQ(m_front.log, expectedLog);
}

TEST_F(ImportDialogLogicTest, StatesFromIdleThroughImportToFinishedAndAgain)
{
    m_logic.SetPath(m_path);
    m_logic.OnInitDialog();
    EXPECT_EQ(m_front.pathText, m_path);
    ExpectState(true, true, true, u"取消");
    Start(m_logic, 0);
    ExpectState(false, false, false, u"取消");
    EXPECT_FALSE(m_logic.IsImportFinished());
    m_logic.OnOK();
    m_import.permits = kSteps;
    ASSERT_TRUE(m_front.Pump(&m_logic));
    ExpectState(true, false, true, u"完成");
    EXPECT_EQ(m_front.log, kAllSteps);
    EXPECT_EQ((std::vector<int32_t>{m_front.maximum, m_front.position}), (std::vector<int32_t>{kSteps, kSteps}));

    // Only choosing a file enables the start button again; a second import clears the log.
    m_logic.OnBrowse();
    ExpectState(true, false, true, u"完成");
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
    EXPECT_EQ(m_front.questions.back(), u"提示|当前正在导入学习单元，是否取消导入？");
    EXPECT_FALSE(m_front.closed || g_cancelFlag.load() != 0);
    m_import.permits = kSteps;
    ASSERT_TRUE(m_front.Pump(&m_logic));
    EXPECT_EQ(m_import.runs, 2);
    EXPECT_EQ(m_front.log, kAllSteps);
    ExpectState(true, false, true, u"完成");
    m_logic.OnCancel();
    EXPECT_EQ(m_front.questions.size(), 3u);
    EXPECT_TRUE(m_front.closed);
    EXPECT_EQ(m_front.log, kAllSteps + kCancelLine);
    EXPECT_EQ(g_cancelFlag.load(), 1);
}

// A cancel confirmed before each step, or after the last, closes the dialog within a second of
// the worker seeing the flag; a worker that has seen it posts its last report without waiting
// for the joining user-interface thread, and no final updates follow. Destroying the dialog
// cancels and joins the worker too.
TEST_F(ImportDialogLogicTest, CancelConfirmedAtAnyMomentClosesPromptly)
{
    const auto start = [this](CRecordingFrontEnd& front, CScriptedImport& import, int32_t stepsDone) {
        import.permits = stepsDone;
        auto logic = std::make_unique<CImportDialogLogic>(front, import.Runner());
        logic->SetPath(m_path);
        logic->OnInitDialog();
        logic->OnStartImport();
        EXPECT_TRUE(front.Pump(nullptr, static_cast<size_t>(stepsDone)));
        return logic;
    };
    for (int32_t stepsDone = 0; stepsDone <= kSteps; ++stepsDone) {
        SCOPED_TRACE(stepsDone);
        CRecordingFrontEnd front;
        CScriptedImport import;
        auto logic = start(front, import, stepsDone);
        logic->OnCancel();
        EXPECT_TRUE(front.closed);
        EXPECT_EQ(front.log, kCancelLine);
        EXPECT_EQ(import.runs, 1);
        if (stepsDone < kSteps) {
            EXPECT_LT(front.closedAt - import.cancelSeenAt, std::chrono::seconds(1));
            front.Pump(logic.get(), 1);
            EXPECT_EQ(front.cancelText, u"取消");
        }
        g_cancelFlag.store(0);
    }
    CRecordingFrontEnd front;
    CScriptedImport import;
    start(front, import, 1).reset();
    EXPECT_EQ(g_cancelFlag.load(), 1);
    EXPECT_EQ(front.Queued(), 2u); // step 1 and the cancel line; no final updates
}

} // namespace
