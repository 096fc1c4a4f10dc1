#include "app/console/ConsoleAccount.h"
#include "app/console/ConsoleCommands.h"
#include "app/console/ConsoleProgress.h"
#include "store/TavDB.h"
#include "support/TextConvert.h"

#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

extern "C" void OnInterrupt(int)
{
    // The worker sees the flag at its next step; a second Ctrl-C ends the process.
    g_cancelFlag.store(1);
    std::signal(SIGINT, SIG_DFL);
}

// What became of the entries that earlier imports of this unit had left: the run's last words.
void PrintEarlierEntries(const std::vector<SEarlierEntry>& earlier, bool replace)
{
    bool kept = false;
    for (const SEarlierEntry& entry : earlier) {
        const std::string named = WideToUtf8(entry.TavGuid.substr(0, 8)) + " of " + WideToUtf8(entry.CreateTime) +
                                  " (" + WideToUtf8(entry.Name) + ")";
        if (!entry.Complete)
            std::printf(entry.Removed ? "removed the earlier incomplete entry %s\n"
                                      : "could not remove the earlier incomplete entry %s\n",
                        named.c_str());
        else if (entry.Removed)
            std::printf("replaced the earlier entry %s\n", named.c_str());
        else if (replace)
            std::printf("could not remove the earlier entry %s\n", named.c_str());
        else {
            std::printf("this unit was imported before: entry %s\n", named.c_str());
            kept = true;
        }
    }
    if (kept)
        std::printf("the earlier entries are kept beside the new one; tavtool import --replace removes them once the new "
                    "import has completed\n");
}

} // namespace

int RunImportCommand(const ImportOptions& options)
{
    const std::u16string account = ApplyAccountOptions(options.account, options.syncDir);

    CConsoleProgress progress(stdout, ::isatty(STDOUT_FILENO) != 0);
    g_cancelFlag.store(0);
    std::signal(SIGINT, OnInterrupt);

    int result = 0;
    SRunReport report;
    std::vector<SEarlierEntry> earlier;
    std::thread worker([&]() {
        CTavDB store;
        if (options.noPause)
            store.SetPauseMilliseconds(0);
        store.SetReplaceEarlierEntries(options.replace);
        std::u16string tavId;
        result = store.Init(Utf8ToWide(options.unitPath), tavId, account,
                            [&progress](int32_t position, int32_t maximum, const std::u16string& text) {
                                return progress.OnProgress(position, maximum, text);
                            });
        report = store.RunReport();
        earlier = store.EarlierEntries();
    });
    worker.join();
    std::signal(SIGINT, SIG_DFL);
    progress.Finish();

    PrintEarlierEntries(earlier, options.replace);

    // A run is never shown as clean when the store logged warnings or errors on the way.
    if (!report.notes.empty()) {
        std::fprintf(stderr, "tavtool: the run logged %zu warning(s) and error(s):\n", report.notes.size());
        for (const std::u16string& note : report.notes)
            std::fprintf(stderr, "  %s\n", WideToUtf8(note).c_str());
    }

    std::error_code error;
    if (result == 0 && !std::filesystem::exists(options.unitPath, error)) {
        std::fprintf(stderr, "tavtool: no such learning unit: %s\n", options.unitPath.c_str());
        return 2;
    }
    if (result != 0) {
        const std::u16string cause = DescribeRunFailure(report);
        std::fprintf(stderr, "tavtool: import failed: %s%s%s\n", WideToUtf8(DescribeStoreResult(result)).c_str(),
                     cause.empty() ? "" : ": ", WideToUtf8(cause).c_str());
        return 1;
    }
    if (g_cancelFlag.load() != 0) {
        std::fprintf(stderr, "tavtool: import cancelled\n");
        return 130;
    }
    return 0;
}
