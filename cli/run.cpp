#include <CLI/CLI.hpp>
#include <exception>

#include "cli/commands.h"

namespace qv::cli {

int Run(int argc, const char* const* argv, Streams streams) {
    CLI::App app{"quorvane-cli: collect, inspect and convert Quorvane data from the command line"};
    app.require_subcommand(1);
    Context ctx{streams};
    AddCipherCommands(app, ctx);
    AddDumpCommand(app, ctx);
    AddSearchUrlCommand(app, ctx);
    AddPageCommands(app, ctx);
    AddCrawlCommand(app, ctx);
    AddSettingCommand(app, ctx);
    AddCategoriesCommand(app, ctx);
    AddFailuresCommand(app, ctx);
    AddExportCommand(app, ctx);
    AddMergeCommand(app, ctx);
    AddFindCommand(app, ctx);
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
