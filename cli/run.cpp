#include <CLI/CLI.hpp>
#include <exception>

#include "cli/commands.h"
#include "core/version.h"

namespace qv::cli {

const Profile& Context::LocatedProfile() {
    if (!profile) profile = LocateProfile();
    return *profile;
}

const Profile& Context::PreparedProfile() {
    PrepareProfile(LocatedProfile());
    return *profile;
}

int Run(int argc, const char* const* argv, Streams streams, std::optional<Profile> profile) {
    CLI::App app{"quorvane-cli: collect, inspect and convert Quorvane data from the command line"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("quorvane-cli ") + ProgramVersion(), "Print the version and exit");
    app.set_help_all_flag("--help-all", "Print the help of every command and exit");
    Context ctx{streams, 0, std::move(profile)};
    AddTaskCommands(app, ctx);
    AddCrawlCommand(app, ctx);
    AddCipherCommands(app, ctx);
    AddDumpCommand(app, ctx);
    AddSearchUrlCommand(app, ctx);
    AddPageCommands(app, ctx);
    AddSettingCommand(app, ctx);
    AddCategoriesCommand(app, ctx);
    AddFailuresCommand(app, ctx);
    AddExportCommand(app, ctx);
    AddMergeCommand(app, ctx);
    AddFindCommand(app, ctx);
    AddChangeCommands(app, ctx);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int code = app.exit(e, streams.out, streams.err);
        return code == 0 ? 0 : 2;
    } catch (const std::exception& e) {
        streams.err << e.what() << '\n';
        return 1;
    }
    return ctx.exit_code;
}

}  // namespace qv::cli
