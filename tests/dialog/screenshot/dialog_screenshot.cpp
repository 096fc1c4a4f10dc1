// Renders the import dialog offscreen to PNG files: idle with a unit named, and halfway through
// importing it (the worker holds at a report meanwhile). Run with HOME and the XDG folders on a
// scratch folder: dialog_screenshot <unit.tav> <output folder>
#include "app/dialog/ArboraDataUpdateDlg.h"
#include "builder/UnitBuilder.h"
#include "store/TavDB.h"
#include "support/SyncPathOverride.h"

#include <QTest>
#include <QtWidgets>

#include <cstdio>
#include <thread>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: dialog_screenshot <unit.tav> <output folder>\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    application.setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 9));
    const std::filesystem::path out = argv[2];
    std::filesystem::create_directories(out);
    testkit::SignInAccount(u"demo");
    SetSyncPathOverride(testkit::U16(std::string(std::getenv("HOME") ? std::getenv("HOME") : "/tmp") + "/sync"));
    constexpr int kHoldAtReport = 80;
    std::atomic<int> reports{0};
    std::atomic<bool> release{false};
    CArboraDataUpdateDlg dialog(testkit::U16(argv[1]), [&](const std::u16string& path, const std::u16string& account,
                                                            const ProgressCallback& callback,
                                                            const ActivityCallback& activity) {
        std::u16string tavId;
        CTavDB store;
        store.SetActivityCallback(activity);
        return store.Init(path, tavId, account, [&](int32_t position, int32_t maximum, const std::u16string& text) {
            const int32_t result = callback(position, maximum, text);
            if (++reports == kHoldAtReport)
                while (!release)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
            return result;
        });
    });
    const auto save = [&](const char* name) {
        QTest::qWait(100);
        return dialog.grab().save(QString::fromStdString((out / name).string()));
    };
    dialog.show();
    bool saved = save("dialog-idle.png");
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("control1003")), Qt::LeftButton);
    auto* log = dialog.findChild<QPlainTextEdit*>(QStringLiteral("control1004"));
    const bool halfway = QTest::qWaitFor([&] { return log->blockCount() > kHoldAtReport; }, 60000);
    saved = halfway && save("dialog-importing.png") && saved;
    release = true;
    auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("control2"));
    if (!halfway || !QTest::qWaitFor([&] { return cancel->text() == QStringLiteral("完成"); }, 120000))
        std::fprintf(stderr, "dialog_screenshot: the import did not get halfway or did not finish\n");
    std::printf("%s\n", log->toPlainText().toStdString().c_str());
    return saved ? 0 : 1;
}
