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
        Connection connection(file, DatabaseKind::ReadOnly);
        failures = ReadFailedPages(connection);
    } catch (const DatabaseError& e) {
        streams.err << "failures: " << DataFileErrorText(file, e) << '\n';
        return 1;
    }
    for (const FailedPage& f : failures) {
        // A damaged value (another tool's, or a broken disk's) is named; the row is still listed.
        if (!f.damaged.empty())
            streams.err << "failures: " << file << "：失败记录 " << f.id << " 的 " << f.damaged
                        << " 已损坏，无法解密，其余内容照常列出\n";
        streams.out << f.url << '\t' << f.cause << '\n';
    }
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
