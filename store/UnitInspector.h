#pragma once
// A read-only look at a learning unit: what it holds and what the upgrade would do to it.
// Never writes to the file or its companion folder.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct SUnitSummary {
    bool opened = false;
    std::u16string error;    // why the unit could not be read, when !opened
    bool encrypted = false;
    int64_t version = 0;
    bool newerLayout = false;   // a layout version above the one this tool knows
    std::u16string quickCheck;  // "ok", or what PRAGMA quick_check found
    std::u16string foreignObject; // a layout table held as a view or virtual table, e.g. "WebPage_Info is a view"
    std::u16string tavId;
    std::u16string owner;
    std::vector<std::pair<std::u16string, int64_t>> rowCounts; // main tables present, with their rows
    std::vector<std::u16string> missingTables;                 // tables the creation pass would add
    std::vector<int32_t> pendingSteps;                         // versions the upgrade would still reach
};

SUnitSummary InspectUnit(const std::u16string& path);
