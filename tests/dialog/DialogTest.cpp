// The real widgets driven with QTest: the wiring of buttons, keys, queued progress and the modal
// question. The behaviour itself is tested without a window in tests/front.
#include "app/dialog/ArboraDataUpdateDlg.h"
#include "builder/UnitBuilder.h"

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

#include <fstream>
#include <thread>

namespace {

template <typename Widget = QPushButton>
Widget* Control(QDialog& dialog, const char* name)
{
    auto* widget = dialog.findChild<Widget*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

// A worker that reports `steps` lines, then, with `waitForCancel`, waits for the cancel and sends
// more reports while the user-interface thread already waits in the join.
CImportDialogLogic::ImportRunner Worker(int steps, bool waitForCancel, std::atomic<bool>& returned)
{
    return [=, &returned](const std::u16string&, const std::u16string&, const ProgressCallback& callback) {
        for (int i = 1; i <= steps; ++i)
            ReportProgress(callback, i, 3, u"第" + std::u16string(1, u'0' + i) + u"步");
        while (waitForCancel && !IsCancelRequested())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        for (int i = 0; waitForCancel && i < 50; ++i)
            ReportProgress(callback, 3, 3, u"导入学习单元取消");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        returned = true;
        return 0;
    };
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_cancelFlag.store(0);
        testkit::SignInAccount(u"owner1");
        std::ofstream(m_unit) << "unit";
    }

    testkit::ScopedHomeEnv m_home;
    const std::filesystem::path m_unit = m_home.Home() / "单元 a.tav";
    std::atomic<bool> m_returned{false};
};

TEST_F(DialogTest, PathEnterStartAndACancelThatAsksAndWaits)
{
    CArboraDataUpdateDlg dialog(testkit::U16(m_unit.string()), Worker(1, true, m_returned));
    dialog.show();
    EXPECT_EQ(Control<QLineEdit>(dialog, "control1000")->text().toStdString(), m_unit.string());
    EXPECT_EQ(Control<QLabel>(dialog, "control1005")->text(), QStringLiteral("当前账号：owner1"));
    auto* log = Control<QPlainTextEdit>(dialog, "control1004");
    for (const char* name : {"control1000", "control1003", "control1004", "control2"}) {
        auto* widget = Control<QWidget>(dialog, name);
        widget->setFocus();
        QTest::keyClick(widget, Qt::Key_Return);
        QTest::keyClick(widget, Qt::Key_Enter);
        EXPECT_TRUE(dialog.isVisible() && log->toPlainText().isEmpty()) << name; // Enter neither closes nor starts
    }
    QTest::mouseClick(Control(dialog, "control1003"), Qt::LeftButton);
    EXPECT_FALSE(Control(dialog, "control1003")->isEnabled() || Control(dialog, "control1001")->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return log->toPlainText() == QStringLiteral("第1步\n"); }, 10000));
    EXPECT_EQ(Control<QProgressBar>(dialog, "control1002")->value(), 1);

    QString question;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        question = box->windowTitle() + QLatin1Char('|') + box->text();
        box->button(QMessageBox::Yes)->click();
    });
    QTest::mouseClick(Control(dialog, "control2"), Qt::LeftButton);
    EXPECT_EQ(question, QStringLiteral("提示|当前正在导入学习单元，是否取消导入？"));
    EXPECT_TRUE(m_returned);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(log->toPlainText(), QStringLiteral("第1步\n导入学习单元取消...\n"));
}

TEST_F(DialogTest, FinishedImportFillsTheBarAndEscClosesWithoutAQuestion)
{
    CArboraDataUpdateDlg dialog(testkit::U16(m_unit.string()), Worker(3, false, m_returned));
    dialog.show();
    QTest::mouseClick(Control(dialog, "control1003"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Control(dialog, "control2")->text() == QStringLiteral("完成"); }, 10000));
    EXPECT_EQ(Control<QProgressBar>(dialog, "control1002")->maximum(), 3);
    EXPECT_TRUE(dialog.isVisible() && !Control(dialog, "control1003")->isEnabled());
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(Control<QPlainTextEdit>(dialog, "control1004")->toPlainText(),
              QStringLiteral("第1步\n第2步\n第3步\n导入学习单元取消...\n"));
}

} // namespace
