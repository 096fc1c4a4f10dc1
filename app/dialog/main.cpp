// arbora-data-update: started by the desktop application with a URL-encoded ImportTav element
// naming the learning unit. Shows the import dialog, or ends at once when there is nothing to
// do. The exit status is 0 on every path the user takes; when the display connection breaks, Qt
// ends the process with status 1, after the running import was cancelled and joined (see
// CWorkerExitGuard).
#include "app/dialog/ArboraDataUpdateDlg.h"
#include "app/dialog/QtTranslations.h"
#include "app/startup/CommandLine.h"

#include <QApplication>

#include <string>
#include <vector>

int main(int argc, char** argv)
{
    // Read before QApplication takes its own options out of argv.
    const SStartupPlan plan = PlanStartup(std::vector<std::string>(argv, argv + argc));
    if (!plan.showDialog)
        return 0;
    QApplication application(argc, argv);
    InstallQtChineseTranslations(application);
    CArboraDataUpdateDlg dialog(plan.path);
    dialog.exec();
    return 0;
}
