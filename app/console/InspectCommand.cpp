#include "app/console/ConsoleCommands.h"
#include "store/TavDB.h"
#include "store/UnitInspector.h"
#include "support/TextConvert.h"

#include <cstdio>

int RunInspectCommand(const InspectOptions& options)
{
    const SUnitSummary summary = InspectUnit(Utf8ToWide(options.unitPath));
    if (!summary.opened) {
        std::fprintf(stderr, "tavtool: cannot read %s: %s\n", options.unitPath.c_str(), WideToUtf8(summary.error).c_str());
        if (!summary.quickCheck.empty())
            std::fprintf(stderr, "tavtool: quick check: %s\n", WideToUtf8(summary.quickCheck).c_str());
        return 1;
    }
    std::printf("unit:            %s\n", options.unitPath.c_str());
    if (summary.newerLayout)
        std::printf("layout version:  %lld (newer than this tool knows: %d)\n", static_cast<long long>(summary.version),
                    kTavCurrentVersion);
    else
        std::printf("layout version:  %lld\n", static_cast<long long>(summary.version));
    std::printf("quick check:     %s\n", WideToUtf8(summary.quickCheck).c_str());
    std::printf("TavId:           %s\n", WideToUtf8(summary.tavId).c_str());
    std::printf("owner:           %s\n", summary.owner.empty() ? "(none)" : WideToUtf8(summary.owner).c_str());
    std::printf("encrypted:       %s\n", summary.encrypted ? "yes" : "no");
    std::printf("rows:\n");
    for (const auto& [table, count] : summary.rowCounts)
        std::printf("  %-16s %lld\n", WideToUtf8(table).c_str(), static_cast<long long>(count));
    std::printf("the upgrade would:\n");
    if (summary.quickCheck != u"ok") {
        std::printf("  nothing: a unit that fails the quick check is refused\n");
        return 0;
    }
    if (!summary.encrypted)
        std::printf("  encrypt the file with the unit key\n");
    for (const auto& table : summary.missingTables)
        std::printf("  create table %s\n", WideToUtf8(table).c_str());
    if (!summary.pendingSteps.empty()) {
        std::printf("  back the file up and run the steps to version");
        for (int32_t step : summary.pendingSteps)
            std::printf(" %d", step);
        std::printf("\n");
    } else if (summary.newerLayout) {
        std::printf("  back the file up and run no step: the layout is newer than this tool knows\n");
    } else if (summary.version <= 0) {
        std::printf("  nothing: the version record reads 0 (treated as up to date)\n");
    } else {
        std::printf("  no upgrade step: the layout is current\n");
    }
    return 0;
}
