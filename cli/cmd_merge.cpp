#include <CLI/CLI.hpp>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "export/merge.h"

namespace qv::cli {
namespace {

struct MergeRun {
    std::string dedup = "member";
    std::string out;
    TaskInput input;
    LeadOptions leads;
    exporting::MergeOptions options;
};

int Merge(const std::vector<TaskFile>& tasks, const std::string& out,
          const exporting::MergeOptions& options, Streams& streams) {
    const exporting::ExportFormat format = *exporting::ExportFormatOf(out);
    try {
        exporting::MergeSummary summary = exporting::MergeTasks(tasks, out, format, options);
        for (const auto& [name, reason] : summary.skipped)
            streams.err << "已跳过任务“" << name << "”：" << reason << '\n';
        for (const std::string& note : summary.notes) streams.err << note << '\n';
        streams.out << exporting::MergeSummaryText(summary, format) << '\n';
        return 0;
    } catch (const std::exception& e) {
        streams.err << "合并导出失败。\n" << e.what() << '\n';
        return 1;
    }
}

}  // namespace

void AddMergeCommand(CLI::App& app, Context& ctx) {
    auto run = std::make_shared<MergeRun>();
    auto* cmd = app.add_subcommand(
        "merge",
        "Write the records of several data files as one spreadsheet, each company once, with a "
        "first column naming the tasks that held it (.xls, .xlsx, .csv or contact cards .vcf by "
        "OUT's extension)");
    cmd->add_option("--dedup", run->dedup,
                    "how records of one company are found: member (MemberID, else company name; "
                    "the default), name (company name) or none (every record)")
        ->check(CLI::IsMember({"member", "name", "none"}, CLI::ignore_case));
    cmd->add_flag("--skip-bad", run->options.skip_bad,
                  "leave out, and name on stderr, a file that is not a data file, is damaged or "
                  "is being collected, instead of failing");
    run->leads.Add(*cmd);
    cmd->add_option("out", run->out, "file to write: .xls, .xlsx, .csv or .vcf")
        ->required()
        ->check(OutputSpreadsheet());
    AddTaskInput(*cmd, run->input);
    cmd->callback([run, &ctx] {
        const std::map<std::string, exporting::DedupRule> rules{
            {"member", exporting::DedupRule::ByMemberId},
            {"name", exporting::DedupRule::ByCompanyName},
            {"none", exporting::DedupRule::None}};
        run->options.rule = rules.at(run->dedup);
        std::optional<exporting::ExportOptions> output =
            run->leads.Options(*exporting::ExportFormatOf(run->out), ctx);
        if (!output) {
            ctx.exit_code = 2;
            return;
        }
        run->options.output = std::move(*output);
        ctx.exit_code = Merge(run->input.Tasks(ctx), run->out, run->options, ctx.streams);
    });
}

}  // namespace qv::cli
