// The real widgets driven with QTest: wiring of buttons, keys, queued progress and the modal
// question. The behaviour itself is tested without a window in tests/front.
#include "app/dialog/ArboraDataUpdateDlg.h"
#include "app/startup/CommandLine.h"
#include "builder/UnitBuilder.h"
#include "front/UrlEncode.h"
#include "store/TavDB.h"
#include "support/IniFile.h"
#include "support/SyncSettings.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

namespace {

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_cancelFlag.store(0);
        testkit::SignInAccount(u"owner1");
        WriteIniValue(SyncroSetFilePath(), u"SyncroSet", u"SyncPath", testkit::U16((m_home.Home() / "sync").string()));
        std::filesystem::create_directories(m_unit.parent_path());
        testkit::BuildUnit(m_unit, testkit::SampleSpec(9));
    }
    void TearDown() override { g_cancelFlag.store(0); }

    template <typename Widget = QPushButton>
    static Widget* Control(QDialog& dialog, const char* name)
    {
        auto* widget = dialog.findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    testkit::ScopedHomeEnv m_home;
    const std::filesystem::path m_unit = m_home.Home() / "单元" / "sample.tav";
};

// The path from the command line is ready to start; Enter never closes, Esc before an import closes at once.
TEST_F(DialogTest, CommandLinePathEnterAndEsc)
{
    const SStartupPlan plan =
        PlanStartup({"/usr/bin/arbora-data-update", UrlEncode("<ImportTav path=\"" + m_unit.string() + "\"/>")});
    int runs = 0;
    CArboraDataUpdateDlg dialog(plan.path, [&](const std::u16string&, const std::u16string&, const ProgressCallback&) {
        return ++runs;
    });
    dialog.show();
    EXPECT_EQ(Control<QLineEdit>(dialog, "control1000")->text().toStdString(), m_unit.string());
    EXPECT_TRUE(Control(dialog, "control1003")->isEnabled());
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("学习单元导入"));
    EXPECT_FALSE(dialog.windowIcon().isNull());
    for (const char* name : {"control1000", "control1003", "control1004", "control2"}) {
        auto* widget = Control<QWidget>(dialog, name);
        widget->setFocus();
        QTest::keyClick(widget, Qt::Key_Return);
        QTest::keyClick(widget, Qt::Key_Enter);
        EXPECT_TRUE(dialog.isVisible()) << name;
    }
    EXPECT_EQ(runs, 0);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(Control<QPlainTextEdit>(dialog, "control1004")->toPlainText(), QStringLiteral("导入学习单元取消...\n"));
}

TEST_F(DialogTest, StartImportsARealUnitAndFillsTheLog)
{
    std::mutex mutex;
    QStringList reported;
    CArboraDataUpdateDlg dialog(testkit::U16(m_unit.string()), [&](const std::u16string& path,
                                                                   const std::u16string& account,
                                                                   const ProgressCallback& callback) {
        CTavDB store;
        std::u16string tavId;
        return store.Init(path, tavId, account, [&](int32_t position, int32_t maximum, const std::u16string& text) {
            std::lock_guard lock(mutex);
            reported << QString::fromStdU16String(text);
            return callback(position, maximum, text);
        });
    });
    dialog.show();
    auto* start = Control(dialog, "control1003");
    auto* bar = Control<QProgressBar>(dialog, "control1002");
    EXPECT_EQ(Control<QLabel>(dialog, "control1005")->text(), QStringLiteral("当前账号：owner1"));
    QTest::mouseClick(start, Qt::LeftButton);
    EXPECT_FALSE(start->isEnabled() || Control(dialog, "control1001")->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Control(dialog, "control2")->text() == QStringLiteral("完成"); }, 120000));
    std::lock_guard lock(mutex);
    ASSERT_GT(reported.size(), 10);
    EXPECT_EQ(Control<QPlainTextEdit>(dialog, "control1004")->toPlainText(), reported.join(QLatin1Char('\n')) + '\n');
    EXPECT_TRUE(Control<QPlainTextEdit>(dialog, "control1004")->isEnabled() && !start->isEnabled());
    EXPECT_GT(bar->maximum(), 1);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_TRUE(dialog.isVisible());
}

// Reports the worker sends while the user-interface thread already waits in the join do not block it.
TEST_F(DialogTest, CancelDuringAnImportAsksWaitsForTheWorkerAndCloses)
{
    std::atomic<bool> workerReturned{false};
    CArboraDataUpdateDlg dialog(testkit::U16(m_unit.string()), [&](const std::u16string&, const std::u16string&,
                                                                   const ProgressCallback& callback) {
        ReportProgress(callback, 1, 3, u"第一步");
        while (!IsCancelRequested())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        for (int i = 0; i < 50; ++i)
            ReportProgress(callback, 3, 3, u"导入学习单元取消");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        workerReturned = true;
        return 0;
    });
    dialog.show();
    auto* log = Control<QPlainTextEdit>(dialog, "control1004");
    QTest::mouseClick(Control(dialog, "control1003"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return log->toPlainText() == QStringLiteral("第一步\n"); }, 10000));
    QString question;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        question = box->windowTitle() + QLatin1Char('|') + box->text();
        box->button(QMessageBox::Yes)->click();
    });
    QTest::mouseClick(Control(dialog, "control2"), Qt::LeftButton);
    EXPECT_EQ(question, QStringLiteral("提示|当前正在导入学习单元，是否取消导入？"));
    EXPECT_TRUE(workerReturned);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(log->toPlainText(), QStringLiteral("第一步\n导入学习单元取消...\n"));
}

} // namespace
