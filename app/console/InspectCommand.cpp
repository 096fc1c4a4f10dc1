#include "app/console/ConsoleCommands.h"
#include "store/UnitInspector.h"
#include "support/TextConvert.h"

#include <cstdio>

int RunInspectCommand(const InspectOptions& options)
{
    const SUnitSummary summary = InspectUnit(Utf8ToWide(options.unitPath));
    if (!summary.opened) {
        std::fprintf(stderr, "tavtool: cannot read %s: %s\n", options.unitPath.c_str(), WideToUtf8(summary.error).c_str());
        return 1;
    }
    std::printf("unit:            %s\n", options.unitPath.c_str());
    std::printf("layout version:  %d\n", summary.version);
    std::printf("TavId:           %s\n", WideToUtf8(summary.tavId).c_str());
    std::printf("owner:           %s\n", summary.owner.empty() ? "(none)" : WideToUtf8(summary.owner).c_str());
    std::printf("encrypted:       %s\n", summary.encrypted ? "yes" : "no");
    std::printf("rows:\n");
    for (const auto& [table, count] : summary.rowCounts)
        std::printf("  %-16s %lld\n", WideToUtf8(table).c_str(), static_cast<long long>(count));
    std::printf("the upgrade would:\n");
    if (!summary.encrypted)
        std::printf("  encrypt the file with the unit key\n");
    for (const auto& table : summary.missingTables)
        std::printf("  create table %s\n", WideToUtf8(table).c_str());
    if (!summary.pendingSteps.empty()) {
        std::printf("  back the file up and run the steps to version");
        for (int32_t step : summary.pendingSteps)
            std::printf(" %d", step);
        std::printf("\n");
    } else if (summary.version <= 0) {
        std::printf("  nothing: the version record reads 0 (treated as up to date)\n");
    } else {
        std::printf("  no upgrade step: the layout is current\n");
    }
    return 0;
}
