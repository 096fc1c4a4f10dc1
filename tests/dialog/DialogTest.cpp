// The real widgets driven with QTest: the wiring of buttons, keys, queued progress and the modal
// question. The behaviour itself is tested without a window in tests/front. Qt runs offscreen (or
// on the platform QT_QPA_PLATFORM names), its runtime folder a temporary one like HOME and the XDG
// folders.
#include "app/dialog/ArboraDataUpdateDlg.h"
#include "app/dialog/QtTranslations.h"
#include "builder/UnitBuilder.h"

#include <QTest>
#include <QtWidgets>

#include <gtest/gtest.h>

#include <cstdio>
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

TEST(DialogTest, PathEnterStartAndACancelThatAsksAndWaitsForTheWorker)
{
    const testkit::ScopedHomeEnv home;
    testkit::SignInAccount(u"owner1");
    const std::filesystem::path unit = home.Home() / "单元 a.tav";
    std::ofstream(unit) << "unit";
    // One report, then, once cancelled, more reports while the user-interface thread waits in the join.
    std::atomic<bool> returned{false};
    CArboraDataUpdateDlg dialog(testkit::U16(unit.string()), [&](const std::u16string&, const std::u16string&,
                                                                  const ProgressCallback& callback,
                                                                  const ActivityCallback& activity) {
        ReportProgress(callback, 1, 3, u"第1步");
        activity(1234);
        while (!IsCancelRequested())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        for (int i = 0; i < 50; ++i)
            ReportProgress(callback, 3, 3, u"导入学习单元取消");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        returned = true;
        return 0;
    });
    dialog.show();
    EXPECT_EQ(Control<QLineEdit>(dialog, "control1000")->text().toStdString(), unit.string());
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
    // The log stays readable during the run; the rows done show beside it.
    EXPECT_TRUE(log->isEnabled() && log->isReadOnly());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return Control<QLabel>(dialog, "control1006")->text() == QStringLiteral("已处理记录：1234"); }, 10000));

    QString question;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        question = box->windowTitle() + QLatin1Char('|') + box->text();
        box->button(QMessageBox::Yes)->click();
    });
    QTest::mouseClick(Control(dialog, "control2"), Qt::LeftButton);
    EXPECT_EQ(question, QStringLiteral("提示|当前正在导入学习单元，是否取消导入？"));
    EXPECT_TRUE(returned);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(log->toPlainText(), QStringLiteral("第1步\n导入学习单元取消...\n"));
}

// A window destroyed while the cancel question is open: nobody can answer it any more, so the
// question goes, the import is cancelled as if confirmed, and the dialog closes once the worker has
// returned; so does an open file choice. Both offer Qt's own buttons in Chinese.
TEST(DialogTest, AWindowGoneUnderAQuestionOrFileChoiceEndsItCancelsAndCloses)
{
    const testkit::ScopedHomeEnv home;
    const std::filesystem::path unit = home.Home() / "a.tav";
    std::ofstream(unit) << "unit";
    std::atomic<bool> returned{false};
    CArboraDataUpdateDlg dialog(testkit::U16(unit.string()), [&](const std::u16string&, const std::u16string&,
                                                                  const ProgressCallback& callback,
                                                                  const ActivityCallback&) {
        ReportProgress(callback, 1, 3, u"第1步");
        while (!IsCancelRequested())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        returned = true;
        return 0;
    });
    dialog.show();
    QTest::mouseClick(Control(dialog, "control1003"), Qt::LeftButton);
    auto* log = Control<QPlainTextEdit>(dialog, "control1004");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !log->toPlainText().isEmpty(); }, 10000));

    QStringList buttons;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (QAbstractButton* button : box->buttons())
            buttons << button->text();
        dialog.OnWindowGone();
    });
    QTest::mouseClick(Control(dialog, "control2"), Qt::LeftButton);
    buttons.sort();
    EXPECT_EQ(buttons, (QStringList{QStringLiteral("否(&N)"), QStringLiteral("是(&Y)")}));
    EXPECT_TRUE(returned);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(log->toPlainText(), QStringLiteral("第1步\n导入学习单元取消...\n"));

    // Idle with the file choice open: it goes as well, and it speaks Chinese too.
    CArboraDataUpdateDlg idle(u"");
    idle.show();
    QStringList fileButtons;
    QTimer::singleShot(0, [&] {
        auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(chooser, nullptr);
        for (QAbstractButton* button : chooser->findChild<QDialogButtonBox*>()->buttons())
            fileButtons << button->text();
        idle.OnWindowGone();
    });
    QTest::mouseClick(Control(idle, "control1001"), Qt::LeftButton);
    fileButtons.sort();
    EXPECT_EQ(fileButtons, (QStringList{QStringLiteral("取消"), QStringLiteral("打开(&O)")}));
    EXPECT_FALSE(idle.isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) // offscreen unless a display is asked for
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const testkit::TempDir runtime;
    std::filesystem::permissions(runtime.Path(), std::filesystem::perms::owner_all);
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtime.Path().string()));
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    if (!InstallQtChineseTranslations(application)) {
        std::fprintf(stderr, "Qt's Chinese translations (qt6-translations-l10n) are missing\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
