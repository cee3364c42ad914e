#include <CLI/CLI.hpp>
#include <exception>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "core/database.h"
#include "core/run_journal.h"

namespace qv::cli {
namespace {

int ListFailures(const std::string& file, Streams& streams) {
    std::vector<FailedPage> failures;
    try {
        // Opened like dump: reading leaves the file as it was.
        Connection connection(file, DatabaseKind::Project);
        failures = ReadFailedPages(connection);
    } catch (const std::exception& e) {
        streams.err << "failures: " << file << " is not a data file: " << e.what() << '\n';
        return 1;
    }
    for (const FailedPage& f : failures) streams.out << f.url << '\t' << f.cause << '\n';
    return 0;
}

}  // namespace

void AddFailuresCommand(CLI::App& app, Context& ctx) {
    auto* cmd = app.add_subcommand(
        "failures", "Print URL<TAB>cause of every page that failed in a data file's last run");
    auto file = std::make_shared<std::string>();
    cmd->add_option("file", *file, "Task data file (.db)")->required();
    cmd->callback([file, &ctx] { ctx.exit_code = ListFailures(*file, ctx.streams); });
}

}  // namespace qv::cli
