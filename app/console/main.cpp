// tavtool: console front end over the learning-unit store.
#include "app/console/ConsoleCommands.h"

#include <CLI/CLI.hpp>

#include <clocale>

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    CLI::App app{"tavtool: brings a learning unit (.tav) up to date and imports it into your personal library."};
    app.require_subcommand(1);

    ImportOptions importOptions;
    CLI::App* import = app.add_subcommand("import", "Open, upgrade to layout version 16 and import a learning unit.");
    import->add_option("UNIT", importOptions.unitPath, "Path of the learning unit (.tav file).")->required();
    import->add_option("--account", importOptions.account,
                       "Account to import as (default: the account the desktop application is signed in with).");
    import->add_option("--sync-dir", importOptions.syncDir,
                       "Sync folder that holds the personal libraries (default: the desktop application's setting).");
    import->add_flag("--no-pause", importOptions.noPause, "Skip the short pauses between bulk upgrade statements.");

    InspectOptions inspectOptions;
    CLI::App* inspect = app.add_subcommand("inspect", "Show a read-only summary of a learning unit; never changes it.");
    inspect->add_option("UNIT", inspectOptions.unitPath, "Path of the learning unit (.tav file).")->required();

    CLI11_PARSE(app, argc, argv);
    if (import->parsed())
        return RunImportCommand(importOptions);
    return RunInspectCommand(inspectOptions);
}
