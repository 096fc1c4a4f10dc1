// Start-up's reading of the desktop application's command line, and the import dialog's behaviour
// with a recording window and a scripted import on the worker.
#include "app/importer/ImportDialogLogic.h"
#include "app/startup/CommandLine.h"
#include "builder/UnitBuilder.h"
#include "library/LibraryReader.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <fstream>
#include <mutex>

#include <sys/wait.h>

namespace {

using Texts = std::vector<std::u16string>;

// URL decoding turns escapes and "+" back and passes everything else. A named unit opens the dialog
// with it; without ImportTav only a signed-in account opens it, empty.
TEST(StartupTest, DecodesTheLineAndImportTavPathOrASignedInAccountOpensTheDialog)
{
    const std::pair<std::string, std::string> decodings[] = {
        {"%41", "A"}, {"%2B", "+"}, {"a+b", "a b"}, {"%E5%AD%A6", "\xE5\xAD\xA6"}, {"%e5%ad%a6", "\xE5\xAD\xA6"},
        {"C:\\p\\x.exe", "C:\\p\\x.exe"}, {"%", "%"}, {"%4", "%4"}, {"100%", "100%"},
        {"%4G%G4%zz", "%4G%G4%zz"}, {"%%41", "%A"}, {"%00x", std::string("\0x", 2)}, {"%ff%7F", "\xFF\x7F"},
    };
    for (const auto& [encoded, decoded] : decodings)
        EXPECT_EQ(UrlDecode(encoded), decoded) << encoded;
    EXPECT_EQ(JoinCommandLine({"/bin/p", "a", "", "b c"}), "/bin/p a  b c");

    const testkit::ScopedHomeEnv home;
    const std::pair<std::vector<std::string>, std::optional<std::u16string>> cases[] = {
        // As the desktop application writes it: a blank as "+", bytes but letters, digits and "-_.\:/" as "%XX".
        {{"%3CImportTav+path%3D%22D:\\%E5%AD%A6\\a+b.tav%22/%3E"}, u"D:\\学\\a b.tav"},
        {{"%3CImportTav+path%3D%22/u/R%26amp%3BD.tav%22/%3E"}, u"/u/R&D.tav"},
        // Arguments are joined by blanks, as the one command-line text of Windows.
        {{"<ImportTav", "path=\"/u/a", "b.tav\"", "/>"}, u"/u/a b.tav"},
        {{"%3Cimport/%3E%3CImportTav%20path%3D'/x.tav'%3E"}, u"/x.tav"}, // ill-formed, still found
        {{"%3CImportTav/%3E"}, u""},
        {{"%3CImportTav+path%3D%22/x.tav%22/%3E", "--extra"}, u"/x.tav"},
        {{}, std::nullopt},
        {{"--help"}, std::nullopt},
        {{"%3CImport+path%3D%22/x.tav%22/%3E"}, std::nullopt},
        {{"%3CImportTav"}, std::nullopt},
    };
    for (const auto& [arguments, path] : cases) {
        std::vector<std::string> line{"/opt/Vexa Arbora/arbora-data-update"};
        line.insert(line.end(), arguments.begin(), arguments.end());
        for (const std::u16string account : {u"", u"zhang.san"}) {
            testkit::SignInAccount(account);
            const SStartupPlan plan = PlanStartup(line);
            EXPECT_EQ(plan.showDialog, path.has_value() || !account.empty()) << line.back();
            EXPECT_EQ(plan.path, path.value_or(u"")) << line.back();
        }
    }
}

constexpr int32_t kSteps = 4;
constexpr int kBurst = 500;
const std::u16string kAllSteps = u"step 1\r\nstep 2\r\nstep 3\r\nstep 4\r\n";
const std::u16string kCancelLine = u"导入学习单元取消...\r\n";

// Records what the window is asked to show, and plays the store's Init: kSteps reports, each after
// a permit from the test, testing the cancel flag before each as the store does. The test thread
// plays the user-interface thread: posted reports wait in a queue until it pumps them.
class CScriptedWindow : public IImportFrontEnd {
public:
    std::u16string pathText, accountText, cancelText, log, lastRun, status;
    std::vector<bool> enabled = {true, true}; // Browse, Start
    int32_t maximum = -1, position = -1;
    bool closed = false, answer = true;
    Texts said; // questions, notices and file choices
    std::optional<std::u16string> chosenFile;
    std::atomic<int> permits{kSteps}, runs{0}, activityPosts{0};

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
    void SetStatusText(const std::u16string& text) override { status = text; }
    void CloseDialog() override { closed = true; }
    void PostProgress(std::unique_ptr<SProgressRecord> record) override
    {
        std::lock_guard lock(m_mutex);
        activityPosts += record->kind == SProgressRecord::EKind::Activity ? 1 : 0;
        m_queue.push_back(std::move(record));
        m_posted.notify_all();
    }

    // Before each step a burst of rows on the side channel, as a store's row loop gives them.
    int Import(const std::u16string& path, const std::u16string& account, const ProgressCallback& callback,
               const ActivityCallback& activity)
    {
        ++runs;
        lastRun = account + u"|" + path;
        for (int32_t step = 0; step < kSteps; ++step) {
            while (permits.load() <= step && !IsCancelRequested())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (IsCancelRequested()) {
                ReportProgress(callback, kSteps, kSteps, u"导入学习单元取消");
                return 0;
            }
            for (int row = 1; row <= kBurst; ++row)
                activity(step * kBurst + row);
            ReportProgress(callback, step + 1, kSteps, u"step " + std::u16string(1, u'1' + step));
        }
        return 0;
    }
    std::unique_ptr<CImportDialogLogic> MakeLogic()
    {
        return std::make_unique<CImportDialogLogic>(*this, std::bind_front(&CScriptedWindow::Import, this));
    }

    // Waits until `count` reports are queued (by default: the worker's final one), then hands them
    // to `logic` when one is given; returns how many were queued, 0 when they do not come.
    size_t Pump(CImportDialogLogic* logic, size_t count = SIZE_MAX)
    {
        std::unique_lock lock(m_mutex);
        if (!m_posted.wait_for(lock, std::chrono::seconds(30), [&] {
                return count != SIZE_MAX ? m_queue.size() >= count : !m_queue.empty() && m_queue.back()->kind == SProgressRecord::EKind::Finished;
            }))
            return 0;
        const size_t queued = m_queue.size();
        for (; logic != nullptr && !m_queue.empty(); m_queue.pop_front())
            logic->OnProgressMessage(std::move(m_queue.front()));
        return queued;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::unique_ptr<SProgressRecord>> m_queue;
};

TEST(ImportDialogLogicTest, StatesFromIdleThroughImportToFinishedAndCancelsAtAnyMoment)
{
    const testkit::ScopedHomeEnv home;
    const std::u16string path = testkit::U16((home.Home() / "单元 a.tav").string());
    std::ofstream(testkit::U8(path)) << "unit";
    CScriptedWindow window;
    auto logic = window.MakeLogic();
    // Browse and Start enabled, and the cancel button's text.
    const auto expectState = [&](bool browse, bool start, const std::u16string& cancel) {
        EXPECT_EQ(window.enabled, (std::vector<bool>{browse, start}));
        EXPECT_EQ(window.cancelText, cancel);
    };
    // The account line hides the local account's name; without a unit, Start only tells the user.
    for (const auto& [signedIn, shown] : std::vector<std::pair<std::u16string, std::u16string>>{
             {u"张三", u"张三"}, {u"localarbora", u""}, {u"LocalArbora", u""}, {u"zhang.san", u"zhang.san"}}) {
        testkit::SignInAccount(signedIn);
        logic->OnInitDialog();
        EXPECT_EQ(window.accountText, u"当前账号：" + shown);
    }
    logic->OnStartImport();
    window.chosenFile = testkit::U16((home.Home() / "missing.tav").string());
    logic->OnBrowse();
    logic->OnStartImport();
    EXPECT_EQ(window.said, (Texts{u"学习单元升级|请打开一个学习单元，才能进行升级", u"file|学习单元文件(*.tav)|tav",
                                   u"学习单元升级|学习单元不存在"}));
    EXPECT_EQ(window.runs, 0);

    testkit::SignInAccount(u"LocalArbora");
    logic->SetPath(path);
    logic->OnInitDialog();
    EXPECT_EQ(window.pathText, path);
    expectState(true, true, u"取消");
    window.permits = 0;
    logic->OnStartImport();
    expectState(false, false, u"取消");
    EXPECT_FALSE(logic->IsImportFinished());
    window.permits = kSteps;
    ASSERT_NE(window.Pump(logic.get()), 0u);
    expectState(true, false, u"完成");
    // The rows of the side channel show beside the log, not in it, and a burst of them is handed
    // over once, not row by row.
    EXPECT_EQ(window.status.rfind(u"已处理记录：", 0), 0u);
    EXPECT_EQ((std::stoi(testkit::U8(window.status.substr(6))) - 1) % kBurst, 0);
    EXPECT_TRUE(window.activityPosts >= 1 && window.activityPosts <= kSteps) << window.activityPosts;
    EXPECT_EQ(window.lastRun, u"LocalArbora|" + path);
    EXPECT_EQ(window.log, kAllSteps);
    EXPECT_EQ(std::make_pair(window.maximum, window.position), std::make_pair(kSteps, kSteps));

    // Choosing a file enables the start button again; a second import clears the log.
    window.chosenFile = path;
    logic->OnBrowse();
    expectState(true, true, u"完成");
    window.permits = 1;
    logic->OnStartImport();
    expectState(false, false, u"取消");
    EXPECT_EQ(window.log + window.status, u"");

    // A cancel answered "no" leaves the import running; closing it once finished asks nothing.
    window.answer = false;
    logic->OnCancel();
    EXPECT_EQ(window.said.back(), u"提示|当前正在导入学习单元，是否取消导入？");
    EXPECT_FALSE(window.closed || g_cancelFlag.load() != 0);
    window.permits = kSteps;
    ASSERT_NE(window.Pump(logic.get()), 0u);
    EXPECT_EQ(std::make_pair(window.runs.load(), window.log), std::make_pair(2, kAllSteps));
    const size_t said = window.said.size();
    logic->OnCancel();
    EXPECT_EQ(window.said.size(), said);
    EXPECT_TRUE(window.closed);
    EXPECT_EQ(window.log, kAllSteps + kCancelLine);
    EXPECT_EQ(g_cancelFlag.load(), 1);

    // A cancel confirmed before each step, or after the last, closes the dialog once the worker has
    // ended, with no final updates after it; destroying the dialog cancels and joins the worker too,
    // and so does a window that is gone, without a question nobody could answer.
    for (int32_t round = 0; round <= kSteps + 2; ++round) {
        SCOPED_TRACE(round);
        const bool windowGone = round == kSteps + 2;
        // The last two rounds destroy the dialog and lose the window after step 1.
        const int32_t stepsDone = round <= kSteps ? round : 1;
        CScriptedWindow front;
        front.permits = stepsDone;
        auto roundLogic = front.MakeLogic();
        roundLogic->SetPath(path);
        roundLogic->OnInitDialog();
        roundLogic->OnStartImport();
        // The steps, the first row before them and, after the last, the final updates.
        const auto posted = static_cast<size_t>(stepsDone + (stepsDone > 0 ? 1 : 0));
        ASSERT_GE(front.Pump(nullptr, stepsDone == kSteps ? SIZE_MAX : posted), posted);
        if (round == kSteps + 1) {
            roundLogic.reset();
            EXPECT_EQ(g_cancelFlag.load(), 1);
            EXPECT_EQ(front.Pump(nullptr, 3), 3u); // rows, step 1 and the cancel line; no final updates
            continue;
        }
        if (windowGone)
            roundLogic->OnWindowGone();
        else
            roundLogic->OnCancel();
        EXPECT_EQ(front.said.size(), round < kSteps && !windowGone ? 1u : 0u);
        EXPECT_TRUE(front.closed);
        EXPECT_EQ(front.log, kCancelLine);
        EXPECT_EQ(front.runs, 1);
        if (stepsDone < kSteps) {
            front.Pump(roundLogic.get(), 1);
            EXPECT_EQ(front.cancelText, u"取消");
        }
    }
}

// exit() while the worker imports, as Qt ends the process when the display connection breaks:
// the exit guard cancels and joins the worker before any exit handler tears down what it uses, so
// the process ends with its own status and not by a signal, and the cancel has removed the
// half-made entry from the library.
TEST(ImportDialogLogicTest, AnExitDuringAnImportCancelsAndJoinsTheWorkerFirst)
{
    const testkit::ScopedHomeEnv home;
    testkit::SignInAccount(u"alice");
    const std::filesystem::path unit = home.Home() / "bulk.tav";
    testkit::BuildUnit(unit, testkit::BulkSpec(16, 40, 0, 4, 0));
    const std::string command =
        std::string("'") + ARBORA_EXIT_CHILD + "' '" + unit.string() + "' '导入文献《' 2>&1";
    FILE* child = popen(command.c_str(), "r");
    ASSERT_NE(child, nullptr);
    std::string out;
    for (char buffer[4096]; const size_t n = fread(buffer, 1, sizeof buffer, child);)
        out.append(buffer, n);
    const int status = pclose(child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 5) << status << "\n" << out;
    EXPECT_NE(out.find("\n导入文献《"), std::string::npos) << out;
    EXPECT_TRUE(out.size() > 1 && out.substr(out.rfind('\n', out.size() - 2) + 1) == "导入学习单元取消\n") << out;
    std::vector<SLibraryEntry> entries;
    CLibraryReader(u"alice").ListEntries(entries);
    EXPECT_TRUE(entries.empty()) << entries.size();
}

} // namespace
