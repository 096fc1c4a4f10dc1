#pragma once
// The console commands: thin wrappers that run the core and print its results.
#include <cstdio>
#include <string>

struct ImportOptions {
    std::string unitPath;
    std::string account;
    std::string syncDir;
    bool noPause = false;
    bool replace = false; // remove the earlier entries of the unit once this import completed
};

struct InspectOptions {
    std::string unitPath;
};

enum class LibraryAction { List, Show, Remove, Export };

struct LibraryOptions {
    LibraryAction action = LibraryAction::List;
    std::string entry; // a TavGuid or the start of one (show, remove, export)
    std::string account;
    std::string syncDir;
    bool json = false;
    bool incomplete = false;        // remove: every incomplete entry instead of ENTRY
    std::string format = "csl-json"; // export: csl-json, bibtex or ris
    std::string output;             // export: the file to write; empty: standard output
};

int RunImportCommand(const ImportOptions& options);
int RunInspectCommand(const InspectOptions& options);
// Results go to `out`, messages to `err`. 0 on success, 1 on any failure.
int RunLibraryCommand(const LibraryOptions& options, std::FILE* out = stdout, std::FILE* err = stderr);
