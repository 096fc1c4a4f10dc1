// tavtool: console front end over the learning-unit store.
#include "app/console/ConsoleCommands.h"

#include <CLI/CLI.hpp>

#include <clocale>

namespace {

void AddAccountOptions(CLI::App* command, std::string& account, std::string& syncDir)
{
    command->add_option("--account", account,
                        "Account whose personal library is used (default: the account the desktop application is "
                        "signed in with).");
    command->add_option("--sync-dir", syncDir,
                        "Sync folder that holds the personal libraries (default: the desktop application's setting).");
}

} // namespace

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    CLI::App app{"tavtool: brings a learning unit (.tav) up to date and imports it into your personal library."};
    app.require_subcommand(1);

    ImportOptions importOptions;
    CLI::App* import = app.add_subcommand("import", "Open, upgrade to layout version 16 and import a learning unit.");
    import->add_option("UNIT", importOptions.unitPath, "Path of the learning unit (.tav file).")->required();
    AddAccountOptions(import, importOptions.account, importOptions.syncDir);
    import->add_flag("--no-pause", importOptions.noPause, "Skip the short pauses between bulk upgrade statements, literature and folders.");
    import->add_flag("--replace", importOptions.replace,
                     "Once the import has completed, remove the library's earlier entries of the same unit.");

    InspectOptions inspectOptions;
    CLI::App* inspect = app.add_subcommand("inspect", "Show a read-only summary of a learning unit; never changes it.");
    inspect->add_option("UNIT", inspectOptions.unitPath, "Path of the learning unit (.tav file).")->required();

    LibraryOptions libraryOptions;
    CLI::App* library = app.add_subcommand("library", "List, show, remove or export the entries of your personal library.");
    library->require_subcommand(1);
    CLI::App* list = library->add_subcommand("list", "One line per entry: TavGuid, created, complete or not, counts, name.");
    CLI::App* show = library->add_subcommand("show", "An entry's folders, literature, reading state, notes and labels.");
    CLI::App* remove = library->add_subcommand("remove", "Remove an entry with its attachment files.");
    CLI::App* exportCommand =
        library->add_subcommand("export", "Write an entry's literature as CSL-JSON, BibTeX or RIS.");
    for (CLI::App* command : {show, exportCommand}) {
        command->add_option("ENTRY", libraryOptions.entry, "TavGuid of the entry, or its first digits.")->required();
    }
    CLI::Option* removeEntry =
        remove->add_option("ENTRY", libraryOptions.entry, "TavGuid of the entry, or its first digits.");
    CLI::Option* incomplete =
        remove->add_flag("--incomplete", libraryOptions.incomplete, "Remove every incomplete entry instead.");
    removeEntry->excludes(incomplete);
    show->add_flag("--json", libraryOptions.json, "Print the entry as one JSON document.");
    exportCommand->add_option("--format", libraryOptions.format, "csl-json (default), bibtex or ris.")
        ->check(CLI::IsMember({"csl-json", "bibtex", "ris"}));
    exportCommand->add_option("--output", libraryOptions.output,
                              "File to write (replaced as a whole); default: standard output.");
    for (CLI::App* command : {list, show, remove, exportCommand})
        AddAccountOptions(command, libraryOptions.account, libraryOptions.syncDir);

    CLI11_PARSE(app, argc, argv);
    if (import->parsed())
        return RunImportCommand(importOptions);
    if (library->parsed()) {
        libraryOptions.action = show->parsed()            ? LibraryAction::Show
                                : remove->parsed()        ? LibraryAction::Remove
                                : exportCommand->parsed() ? LibraryAction::Export
                                                          : LibraryAction::List;
        return RunLibraryCommand(libraryOptions);
    }
    return RunInspectCommand(inspectOptions);
}
