#pragma once
// The console commands: thin wrappers that run the core and print its results.
#include <string>

struct ImportOptions {
    std::string unitPath;
    std::string account;
    std::string syncDir;
    bool noPause = false;
};

struct InspectOptions {
    std::string unitPath;
};

int RunImportCommand(const ImportOptions& options);
int RunInspectCommand(const InspectOptions& options);
