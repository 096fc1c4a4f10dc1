#include "app/importer/ImportDialogLogic.h"
#include "builder/UnitBuilder.h"
#include "front/RecordingFrontEnd.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

namespace {

using EControl = IImportFrontEnd::EControl;
using Clock = std::chrono::steady_clock;

constexpr int32_t kSteps = 4;

// Stands in for the store's Init: kSteps lines, testing the cancel flag before each, as the
// store does. Each step waits for a permit from the test, so that the test decides where the
// import stands when the user acts.
class CScriptedImport {
public:
    CImportDialogLogic::ImportRunner Runner()
    {
        return [this](const std::u16string& path, const std::u16string& account, const ProgressCallback& callback) {
            ++runs;
            lastPath = path;
            lastAccount = account;
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

    std::atomic<int> permits{kSteps};
    std::atomic<int> runs{0};
    std::u16string lastPath, lastAccount;
    Clock::time_point cancelSeenAt{};
};

const std::u16string kAllSteps = u"step 1\r\nstep 2\r\nstep 3\r\nstep 4\r\n";

class ImportDialogLogicTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_cancelFlag.store(0);
        testkit::SignInAccount(u"zhang.san");
        std::ofstream(m_unit) << "unit";
    }
    void TearDown() override { g_cancelFlag.store(0); }

    void ExpectState(bool browse, bool start, bool log, const std::u16string& cancel)
    {
        EXPECT_EQ(m_front.Enabled(EControl::Browse), browse);
        EXPECT_EQ(m_front.Enabled(EControl::Start), start);
        EXPECT_EQ(m_front.Enabled(EControl::Log), log);
        EXPECT_EQ(m_front.cancelText, cancel);
    }

    // Starts an import on a new logic whose worker holds after `stepsDone` steps.
    std::unique_ptr<CImportDialogLogic> StartHeld(CRecordingFrontEnd& front, CScriptedImport& import, int32_t stepsDone)
    {
        import.permits = stepsDone;
        auto logic = std::make_unique<CImportDialogLogic>(front, import.Runner());
        logic->SetPath(m_path);
        logic->OnInitDialog();
        logic->OnStartImport();
        EXPECT_TRUE(front.WaitForQueued(static_cast<size_t>(stepsDone)));
        return logic;
    }

    testkit::ScopedHomeEnv m_home;
    const std::u16string m_path = testkit::U16((m_home.Home() / "单元 a.tav").string());
    const std::filesystem::path m_unit = m_home.Home() / "单元 a.tav";
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
    m_logic.SetPath(m_path);
    m_logic.OnInitDialog();
    m_logic.OnStartImport();
    ASSERT_TRUE(m_front.Pump(m_logic, true));
    EXPECT_EQ(m_import.lastAccount, u"localarbora");
    EXPECT_EQ(m_import.lastPath, m_path);
}

TEST_F(ImportDialogLogicTest, StartWithoutAUnitOnlyTellsTheUser)
{
    m_logic.OnInitDialog();
    m_logic.OnStartImport();
    m_front.chosenFile = testkit::U16((m_home.Home() / "missing.tav").string());
    m_logic.OnBrowse();
    m_logic.OnStartImport();
    EXPECT_EQ(m_front.notices, (std::vector<std::u16string>{u"学习单元升级|请打开一个学习单元，才能进行升级",
                                                            u"学习单元升级|学习单元不存在"}));
    EXPECT_EQ(m_import.runs, 0);
    ExpectState(true, true, true, u"取消");
}

TEST_F(ImportDialogLogicTest, ProgressRecordSetsTheBarAndAppendsOneLine)
{
    const struct {
        int32_t position, maximum;
        int32_t shownMaximum;
    } cases[] = {{3, 40, 40}, {0, 0, 0}, {5, 0x10028, 40}};
    std::u16string expectedLog;
    for (const auto& c : cases) {
        EXPECT_EQ(m_logic.OnProgressMessage(std::make_unique<SProgressRecord>(
                      SProgressRecord{c.position, c.maximum, u"行 " + std::u16string(1, u'0' + c.position)})),
                  0);
        expectedLog += u"行 " + std::u16string(1, u'0' + c.position) + u"\r\n";
        EXPECT_EQ(m_front.maximum, c.shownMaximum);
        EXPECT_EQ(m_front.position, c.position);
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
    m_logic.OnOK();

    m_import.permits = 0;
    m_logic.OnStartImport();
    ExpectState(false, false, false, u"取消");
    EXPECT_FALSE(m_logic.IsImportFinished());
    m_logic.OnOK();
    m_import.permits = kSteps;
    ASSERT_TRUE(m_front.Pump(m_logic, true));
    ExpectState(true, false, true, u"完成");
    EXPECT_EQ(m_front.log, kAllSteps);
    EXPECT_EQ(m_front.maximum, kSteps);
    EXPECT_EQ(m_front.position, kSteps);

    // Only choosing a file enables the start button again; a second import clears the log.
    m_front.chosenFile.reset();
    m_logic.OnBrowse();
    ExpectState(true, false, true, u"完成");
    m_front.chosenFile = m_path;
    m_logic.OnBrowse();
    EXPECT_EQ(m_front.questions.back(), u"file|学习单元文件(*.tav)|tav");
    ExpectState(true, true, true, u"完成");
    m_logic.OnStartImport();
    ExpectState(false, false, false, u"取消");
    EXPECT_EQ(m_front.log, u"");
    ASSERT_TRUE(m_front.Pump(m_logic, true));
    EXPECT_EQ(m_import.runs, 2);
    EXPECT_EQ(m_front.log, kAllSteps);
    EXPECT_TRUE(m_front.questions.size() == 2 && !m_front.closed);

    // Closing a finished import asks nothing.
    m_logic.OnCancel();
    EXPECT_EQ(m_front.questions.size(), 2u);
    EXPECT_TRUE(m_front.closed);
    EXPECT_EQ(m_front.log, kAllSteps + u"导入学习单元取消...\r\n");
    EXPECT_EQ(g_cancelFlag.load(), 1);
}

TEST_F(ImportDialogLogicTest, EscBeforeAnyImportClosesWithoutAQuestion)
{
    m_logic.OnInitDialog();
    m_logic.OnCancel();
    EXPECT_TRUE(m_front.questions.empty());
    EXPECT_TRUE(m_front.closed);
    EXPECT_EQ(m_front.log, u"导入学习单元取消...\r\n");
}

TEST_F(ImportDialogLogicTest, CancelQuestionAnsweredNoLeavesTheImportRunning)
{
    m_logic.SetPath(m_path);
    m_logic.OnInitDialog();
    m_import.permits = 1;
    m_logic.OnStartImport();
    m_front.answer = false;
    m_logic.OnCancel();
    EXPECT_EQ(m_front.questions, std::vector<std::u16string>{u"提示|当前正在导入学习单元，是否取消导入？"});
    EXPECT_FALSE(m_front.closed);
    EXPECT_EQ(g_cancelFlag.load(), 0);
    m_import.permits = kSteps;
    ASSERT_TRUE(m_front.Pump(m_logic, true));
    EXPECT_EQ(m_front.log, kAllSteps);
    EXPECT_EQ(m_front.cancelText, u"完成");
}

// The user confirms a cancel before each step, and after the last one (the worker then ends
// with or without its final updates, racing the join); every time the dialog closes within a
// second of the worker seeing the flag, and a worker that has already tested the flag posts
// its final updates without waiting for the joining user-interface thread.
TEST_F(ImportDialogLogicTest, CancelConfirmedAtAnyMomentClosesPromptly)
{
    for (int32_t stepsDone = 0; stepsDone <= kSteps; ++stepsDone) {
        SCOPED_TRACE(stepsDone);
        CRecordingFrontEnd front;
        CScriptedImport import;
        {
            auto logic = StartHeld(front, import, stepsDone);
            logic->OnCancel();
            EXPECT_TRUE(front.closed);
            EXPECT_EQ(front.log, u"导入学习单元取消...\r\n");
            EXPECT_EQ(import.runs, 1);
            if (stepsDone < kSteps) {
                EXPECT_LT(front.closedAt - import.cancelSeenAt, std::chrono::seconds(1));
                front.Pump(*logic);
                EXPECT_EQ(front.cancelText, u"取消"); // no final updates after a cancel
            }
        }
        g_cancelFlag.store(0);
    }
}

TEST_F(ImportDialogLogicTest, DestroyingTheDialogStopsAndJoinsTheWorker)
{
    CRecordingFrontEnd front;
    CScriptedImport import;
    StartHeld(front, import, 1).reset();
    EXPECT_EQ(g_cancelFlag.load(), 1);
    EXPECT_EQ(front.Queued(), 2u); // step 1 and the cancel line; no final updates
}

} // namespace
